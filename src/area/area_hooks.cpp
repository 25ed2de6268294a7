// The area's hooks: what this railway does differently from the engine's defaults.
//
// Engineering possessions. A track circuit marked for engineering work ("Eng", alone or
// with another marking) is taken out of normal use: its points are clipped (they do not
// move, and overlaps are not swung onto them), no route is set through it except in the
// override mode, a main route through it never proves (trains enter a possession only
// at caution, on a shunt or call-on aspect), ARS never chooses a route through it, and a
// train sent into it has been given a wrong route. The line-closure scenario uses this
// for Greyhallow Tunnel.
//
// Skelbrook Junction is a high-speed junction with flashing yellows: while signal 23 is
// set for the branch it shows at most a single yellow, the signal in rear shows a
// flashing single yellow instead of a double yellow, and the one before that (its own
// aspect rules) a flashing double yellow.
//
// Permissive moves (shunt and call-on routes) are checked without the opposite-direction
// test over their occupied part; this railway never lets one run head-on against a
// route already locked the other way over that part.
//
// An overlap beyond a signal that shows a proceed aspect is not given up by time while
// a train or a route still needs it: while a subroute leading up to the signal is
// locked. Once nothing leads up to it (the route into it cancelled and released), the
// overlap goes by the engine's own rules, even beyond an automatic signal, which
// shows a proceed aspect nearly always. A cancelled route takes back the
// train-ready-to-start plunger of its signal. A call-on route into an occupied platform
// is announced.

#include <algorithm>
#include <span>

#include "area/area_builder.h"
#include "sim/sim.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "panel/messages.h"

namespace kestra::area {

namespace {

bool UnderEngineering(const TTCS* circuit) {
    if (!circuit) return false;
    return circuit->ISOType == IsoEng || circuit->ISOType == IsoEngTI ||
           circuit->ISOType == IsoEngBET;
}

bool RouteThroughPossession(const TROU& route) {
    for (int i = 0; i < route.AllSubroutes.Count(); ++i) {
        const TULC* s = route.AllSubroutes.At(i);
        if (s && UnderEngineering(s->TrackCircuit)) return true;
    }
    return false;
}

// The route turns the points of a high-speed junction onto its diverging road.
bool DivergesAtJunction(const BuiltArea& area, const TROU* route) {
    if (!route || !route->RouteSet || !area.Model) return false;
    for (std::size_t p = 0; p < area.Model->Points.size(); ++p) {
        if (!area.Model->Points[p].FlashingYellowJunction) continue;
        for (int i = 0; i < route->Subroutes.Count(); ++i) {
            if (route->Subroutes.At(i)->ReversePoints.Contains(area.Points[p])) return true;
        }
    }
    return false;
}

// A subroute leading up to the overlap's signal is still locked: a route into the
// signal is set, or a train is on its way to the signal or standing at it.
bool OverlapStillNeeded(const TOVL& overlap) {
    if (overlap.Subroutes.Count() == 0) return false;
    const TULC* first = overlap.Subroutes.At(0);
    for (int i = 0; i < first->Previous.Count(); ++i) {
        const TULC* inRear = first->Previous.At(i);
        if (inRear && inRear->IsRouteLocked()) return true;
    }
    return false;
}

}  // namespace

void InstallAreaHooks(Sim& sim, BuiltArea& area) {
    AreaHooks& h = sim.Hooks;
    Sim* s = &sim;
    BuiltArea* a = &area;

    // The scenarios of the description the area was built from.
    h.ScenarioHook = [s, a](int index) {
        if (!a->Model) return;
        const std::span<const ScenarioSpec> scenarios = a->Model->Description().Scenarios;
        if (index < 0 || index >= static_cast<int>(scenarios.size())) return;
        const ScenarioSpec& sc = scenarios[index];
        Options& o = s->Options();
        o.MaxFailures = sc.MaxFailures;
        o.PointsFailureChance = sc.PointsChance;
        o.SignalFailureChance = sc.SignalChance;
        o.TrackFailureChance = sc.TrackChance;
        o.DelayAmount = sc.DelayAmount;
        o.DelayProbability = sc.DelayProbability;
        a->Scenario = index;
        if (sc.State == ScenarioState::LineClosure) {
            for (TSIG* sig : a->ClosureSignals)
                sig->SetCollar(static_cast<std::uint8_t>(sig->Collar | CollarGeneral));
            for (TTCS* c : a->ClosureCircuits) c->SetISOType(IsoEng);
        }
    };

    // Clipped points in a possession.
    auto clipped = [s](TPTS& p) {
        return UnderEngineering(p.TrackCircuit) && !s->Operator.OverrideMode;
    };
    h.PointsNormalHook = [clipped](TPTS& p, bool&) { return !clipped(p); };
    h.PointsReverseHook = [clipped](TPTS& p, bool&) { return !clipped(p); };
    h.PointsNormalCallHook = [](TPTS& p, bool& noSwing) {
        if (UnderEngineering(p.TrackCircuit)) noSwing = true;
    };
    h.PointsReverseCallHook = [](TPTS& p, bool& noSwing) {
        if (UnderEngineering(p.TrackCircuit)) noSwing = true;
    };

    h.OverlapReleaseHook = [](TULC& sub) {
        const TOVL* o = sub.Overlap;
        if (!o || !o->Signal || !o->Signal->ShowsProceed()) return true;
        return !OverlapStillNeeded(*o);
    };

    h.RouteAvailableHook = [s](TROU& route) {
        for (int i = 0; i < route.PermissiveSubroutes.Count(); ++i) {
            const TULC* p = route.PermissiveSubroutes.At(i);
            if (p->Opposite && p->Opposite->IsRouteLocked()) {
                s->LastFailReason = "Subroute locked in opposite direction";
                return false;
            }
        }
        if (s->Operator.OverrideMode || !RouteThroughPossession(route)) return true;
        s->LastFailReason = "Route passes through an engineering possession";
        return false;
    };
    h.RouteProvedHook = [](TROU& route) {
        if (route.Class == RcShunt || route.Class == RcCallOn) return true;
        return !RouteThroughPossession(route);
    };
    h.RouteSetHook = [s](TROU& route) {
        if (route.Class == RcCallOn)
            s->PostEventMessage("Call-on route set into occupied platform", EvTips);
    };

    h.AutoButtonHook = [s](TSIG& sig) { s->Trace(sig.ID + " automatic working selected"); };

    h.AspectHook = [a](TSIG& sig, std::int32_t& aspect) {
        if (DivergesAtJunction(*a, sig.CurrentRoute)) {
            aspect = std::min<std::int32_t>(aspect, AspSingleYellow);
            return;
        }
        const TSIG* next = sig.NextSignal;
        if (next && next->Aspect == AspSingleYellow && aspect == AspDoubleYellow &&
            (sig.AspectFlags & AfFlashingSingleYellow) &&
            DivergesAtJunction(*a, next->CurrentRoute))
            aspect = AspFlashingSingleYellow;
    };

    h.RouteCancelHook = [](TSIG& sig) { sig.SetTRTS(false); };

    h.ARSRouteChoiceHook = [](TROU*& candidate, TARSTrain&) {
        if (candidate && RouteThroughPossession(*candidate)) candidate = nullptr;
    };
    h.WrongRouteHook = [](TTRN&, TROU* route) { return route && RouteThroughPossession(*route); };
}

}  // namespace kestra::area
