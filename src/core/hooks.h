#pragma once
// The area's hook table: optional procedures through which the built-in area changes
// the engine's behaviour at fixed points. Every call site tests that the slot is set
// and otherwise behaves as it would with no area logic at all.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestra {

class ValueReader;
class ValueWriter;
class TPTS;
class TOVL;
class TULC;
class TROU;
class TSIG;
class TTRN;
class TARSTrain;
class TENT;
class TTimetable;

struct AreaHooks {
    std::function<void(int x, int y)> LeftClickHook;
    std::function<void(int x, int y)> RightClickHook;
    std::function<void()> CycleHook;
    std::function<void()> RedrawHook;
    std::function<void()> ResetHook;
    std::function<void(int scenario)> ScenarioHook;
    std::function<bool(ValueReader&)> LoadHook;
    std::function<bool(ValueWriter&)> SaveHook;
    std::function<bool(TPTS&, bool& handled)> PointsNormalHook;
    std::function<bool(TPTS&, bool& handled)> PointsReverseHook;
    std::function<void(TPTS&, bool& noOverlapSwing)> PointsNormalCallHook;
    std::function<void(TPTS&, bool& noOverlapSwing)> PointsReverseCallHook;
    std::function<bool(TOVL&)> OverlapHook;
    std::function<bool(TULC&)> OverlapReleaseHook;
    std::function<bool(TULC&, bool& force)> SubrouteReleaseHook;
    std::function<bool(TROU&)> RouteAvailableHook;
    std::function<bool(TROU&)> RouteProvedHook;
    std::function<void(TROU&)> RouteSetHook;
    std::function<void(TSIG&)> AutoButtonHook;
    std::function<void(TSIG&, std::int32_t& aspect)> AspectHook;
    std::function<void(TSIG&)> SignalRouteCheckHook;
    std::function<void(TSIG&)> RouteCancelHook;
    std::function<void(TROU*& candidate, TARSTrain&)> ARSRouteChoiceHook;
    std::function<bool(TTRN&, TROU*)> WrongRouteHook;
    std::function<void(TTRN&, TULC&)> SubrouteEnteredHook;
    std::function<void(TTRN&, std::int32_t& limit)> SpeedLimitHook;
    std::function<void(TENT*& entry, TTimetable&)> EntryHook;
    std::function<void(TTimetable&, std::int32_t& delay)> DelayHook;
    std::function<void(TTimetable&, std::vector<std::string>& lines)> AnalysisHook;
    std::function<void(std::string& exportText)> ExportHook;
};

}  // namespace kestra
