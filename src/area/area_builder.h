#pragma once
// Builds the area into a simulation: every object of the railway, created in batches,
// given its identifier and parameters, and wired, in the order the start-up requires.
// Installs the area's hooks and fills TSimData.

#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "area/area_description.h"
#include "area/area_model.h"

namespace kestra {
class Sim;
class TTCS;
class TPTS;
class TSIG;
class TULC;
class TROU;
class TOVL;
class TPEL;
class TENT;
class TLOC;
class TPTH;
class TRLE;
class TULCLOC;
class TSSIObject;
class TARS;
class TLevelCrossing;
}  // namespace kestra

namespace kestra::area {

// The area's direct references to the objects it made, by the model's indexes, for the
// hooks and the scenarios (and for tests that compare the objects with the model).
struct BuiltArea {
    std::shared_ptr<const AreaModel> Model;
    std::vector<TTCS*> Circuits;
    std::vector<TPTS*> Points;
    std::vector<TSIG*> Signals;
    std::vector<TULC*> Subroutes;
    std::vector<TROU*> Routes;
    std::vector<TOVL*> Overlaps;
    std::vector<TPEL*> Labels;
    // The describer's berths (TBER) by the model's berth indexes.
    std::vector<TSSIObject*> Berths;
    std::vector<TENT*> EntryPoints;
    std::vector<TLOC*> Locations;
    std::vector<TPTH*> Paths;
    std::vector<TRLE*> CodeRules;
    // Every stopping point, by the model's index (each owned by its subroute).
    std::vector<TULCLOC*> StopPoints;
    // The line-closure scenario's signals (general isolation reminder) and circuits
    // (engineering marking).
    std::vector<TSIG*> ClosureSignals;
    std::vector<TTCS*> ClosureCircuits;
    // The ARS sub-areas by the model's sub-area indexes.
    std::vector<TARS*> SubAreas;
    // The level crossings by the model's indexes.
    std::vector<TLevelCrossing*> LevelCrossings;
    // The scenario chosen last, -1 before any.
    int Scenario = -1;
};

// The refusal of a route across the overlap beyond an automatic signal's next signal
// while a train needs that overlap (the area's route-availability hook).
inline constexpr const char* kOverlapLockedByApproachingTrain =
    "Overlap locked by approaching train";

// The version of the built-in area, shown after its title.
inline constexpr const char* kAreaVersion = "1.0";

// Builds the built-in area into an empty simulation and installs its hooks; calls
// progress with 0, 10, 20 ... 100 as the build goes on (the splash window's bar). The
// simulation owns what was built (Sim::Area); the pointer returned shares it.
std::shared_ptr<BuiltArea> BuildArea(Sim& sim, std::function<void(int)> progress = {});
// Builds any area described in the same form.
std::shared_ptr<BuiltArea> BuildArea(Sim& sim, const AreaDescription& description,
                                     std::function<void(int)> progress = {});

// Entry points, locations with their stopping points, paths and code rules, made from
// the model once the routes exist; then the paths link berths and routes for ARS.
void BuildPlaces(Sim& sim, const AreaModel& model, BuiltArea& area);

// The describer's berths on their circuits with the steps the model derived; run once
// the routes exist (the permanent ones included) and before the places, which refer to
// the berths.
void BuildBerths(Sim& sim, const AreaModel& model, BuiltArea& area);
// Gives each berth the locations it serves and the links ARS follows from it, once the
// places and their paths exist.
void LinkBerthsForARS(Sim& sim, BuiltArea& area);

// The level crossings, worked by the routes over them; run once the routes (the
// permanent ones included) and the locations exist.
void BuildLevelCrossings(Sim& sim, const AreaModel& model, BuiltArea& area);

// The title procedure: the area's title followed by its version.
void SetAreaTitle(Sim& sim);

// The scenario table, in presentation order.
std::vector<std::string> ScenarioNames();
std::vector<std::string> ScenarioDescriptions();

// Installs the area's hooks on a simulation (BuildArea does it; exposed for tests). The
// hooks work on the area, which must live as long as they do: BuildArea hands it to the
// simulation to own.
void InstallAreaHooks(Sim& sim, BuiltArea& area);
// The area's telephone directory: the technician, the control centres beyond the
// fringes, the yard and the depot, once the entry points exist.
void FillPhoneBook(Sim& sim);

// One line per object kind present in the simulation: "signals 84" and so on.
void PrintAreaSummary(const Sim& sim, std::ostream& out);

}  // namespace kestra::area
