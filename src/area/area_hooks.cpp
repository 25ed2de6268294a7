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
//
// The timetable analysis also reports every stop of a train at a platform shorter than
// the train (the platform's length is that of the subroutes it runs over).
//
// Overlaps ahead of automatic signals. An automatic signal's route is always set and
// locks nothing; the automatic is held at danger while any route runs across or against
// the first overlap of the signal ahead. That alone would drop it to danger in the face
// of a train too close to stop, and leave a train that has passed it with no overlap
// at the signal ahead. So a route over that overlap is refused ("Overlap locked by
// approaching train") while a train needs it: a train between the automatic and the
// signal ahead, until it has stood at that signal for the overlap's timed release; or
// the automatic showing proceed to a train that could not stop at it (within its
// braking distance and a margin).

#include <algorithm>
#include <span>

#include "area/area_builder.h"
#include "area/area_model.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "panel/messages.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable.h"
#include "trains/train.h"

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

// Beyond its braking distance a train could still stop at a signal put to danger now,
// but it may be starting away or gaining speed: this much more is kept clear.
constexpr double kApproachMargin = 200.0;

// The distance from the train's head to the signal ahead of it along its way, or a
// negative number when the train would stop short of it (a signal at danger first) or
// the signal is further than limit.
double DistanceToSignal(const TTRN& train, const TSIG& signal, double limit) {
    const TULC* u = train.HeadULC;
    if (!u) return -1;
    double d = u->Length - train.HeadPos;
    for (int steps = 0; u && steps < 64; ++steps) {
        if (u->EndSignal == &signal) return std::max(0.0, d - u->SignalOffset);
        if (u->EndSignal && !u->EndSignal->ShowsProceed()) return -1;
        if (d > limit) return -1;
        u = u->NextSubroute();
        if (u) d += u->Length;
    }
    return -1;
}

// A train needs the overlap beyond the automatic's next signal: it runs in the
// automatic's section (or has not stood at the signal ahead long enough for the
// overlap's timed release), or it approaches the automatic at proceed too close to stop.
bool OverlapNeededByTrain(const Sim& sim, const TSIG& automatic) {
    const TROU* route = automatic.CurrentRoute;
    if (!route || route->Subroutes.Count() == 0) return false;
    const TULC* last = route->Subroutes.At(route->Subroutes.Count() - 1);
    // The overlap beyond the next signal; without one there is nothing to keep.
    const TSIG* next = automatic.NextSignal;
    if (!next || next->Overlaps.Count() == 0) return false;
    const TOVL* overlap = next->Overlaps.At(0);
    bool needed = false;
    sim.Trains.ForEach([&](TTRN& train) {
        if (needed || !train.HeadULC) return;
        bool inSection = false;
        for (const TULC* occupied : train.Occupied) {
            for (int i = 0; i < route->Subroutes.Count() && !inSection; ++i)
                inSection =
                    occupied && route->Subroutes.At(i)->TrackCircuit == occupied->TrackCircuit;
            if (inSection) break;
        }
        if (inSection) {
            // As long as the interlocking's own timed release of that overlap takes.
            const std::int32_t release = last->OverlapReleaseTime(*overlap);
            const bool standingAtSignal = train.Speed <= 0 && last->TrackCircuit &&
                                          last->TrackCircuit->IsOccupiedFor(release);
            needed = !standingAtSignal;
            return;
        }
        if (!automatic.ShowsProceed()) return;
        const double limit = train.BrakingDistance(train.Speed) + kApproachMargin;
        const double d = DistanceToSignal(train, automatic, limit);
        needed = d >= 0 && d <= limit;
    });
    return needed;
}

// The route runs across or against the overlap beyond an automatic's next signal while
// a train needs that overlap.
bool CrossesAnOverlapInUse(const Sim& sim, const BuiltArea& area, const TROU& route) {
    if (!area.Model) return false;
    const std::vector<SignalInfo>& signals = area.Model->Signals;
    for (std::size_t i = 0; i < signals.size() && i < area.Signals.size(); ++i) {
        bool crosses = false;
        for (int u : signals[i].OverlapGuard) {
            if (u < 0 || u >= static_cast<int>(area.Subroutes.size())) continue;
            crosses = route.AllSubroutes.Contains(area.Subroutes[u]);
            if (crosses) break;
        }
        if (crosses && area.Signals[i] && OverlapNeededByTrain(sim, *area.Signals[i])) return true;
    }
    return false;
}

// The length of a platform face: the subroutes it runs over, end to end.
std::int32_t PlatformLength(const TLOC& location, const std::string& code) {
    std::int32_t length = 0;
    for (const auto& [platform, subroute] : location.PlatformSubroutes) {
        if (platform == code && subroute) length += subroute->Length;
    }
    return length;
}

// A train that stops at a platform shorter than itself stands with its rear over the
// points or the signal behind it: every such stop is reported.
void AddPlatformLengthProblems(const TTimetable& t, std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < t.Trips.Items.size(); ++i) {
        const TTimetableTrip& trip = t.Trips.Items[i];
        if (!trip.Location || trip.IsPass || trip.Platform.empty()) continue;
        const std::int32_t platform = PlatformLength(*trip.Location, trip.Platform);
        if (platform <= 0 || t.Length <= platform) continue;
        lines.push_back(t.ID + ": Train of " + std::to_string(t.Length) +
                        " m is longer than platform " + trip.Platform + " at " +
                        trip.Location->Name + " (" + std::to_string(platform) + " m) (trip " +
                        std::to_string(i + 1) + ", " + trip.Location->Name + ")");
    }
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
        // Without ARS every sub-area is switched off as well as collared: a collar alone
        // only stops the signaller switching it on.
        if (sc.State == ScenarioState::NoARS) s->ARSSubAreas.SwitchAllOffAndCollar();
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

    h.RouteAvailableHook = [s, a](TROU& route) {
        // A quiet check (ARS asks every two seconds) leaves the signaller's last refusal
        // reason as it was.
        auto refuse = [s](const char* reason) {
            if (s->QuietChecks == 0) s->LastFailReason = reason;
            return false;
        };
        for (int i = 0; i < route.PermissiveSubroutes.Count(); ++i) {
            const TULC* p = route.PermissiveSubroutes.At(i);
            if (p->Opposite && p->Opposite->IsRouteLocked()) {
                return refuse("Subroute locked in opposite direction");
            }
        }
        if (CrossesAnOverlapInUse(*s, *a, route)) {
            return refuse(kOverlapLockedByApproachingTrain);
        }
        if (s->Operator.OverrideMode || !RouteThroughPossession(route)) return true;
        return refuse("Route passes through an engineering possession");
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

    h.AnalysisHook = [](TTimetable& t, std::vector<std::string>& lines) {
        AddPlatformLengthProblems(t, lines);
    };
}

}  // namespace kestra::area
