// The describer's steps, derived from the routes rather than listed: a description
// stands in the berth in rear of the signal its train approaches and steps into the
// berth of the route's exit as the train enters the route; it leaves over the boundary
// past a signal from which no route leads; and it changes ends where a train reverses.

#include <algorithm>

#include "area/area_model.h"
#include "area/area_model_internal.h"

namespace kestra::area {

namespace {

StepObject Object(StepObjectKind kind, int index, bool negated = false) {
    StepObject o;
    o.Kind = kind;
    o.Index = index;
    o.Negated = negated;
    return o;
}

}  // namespace

void AreaModel::FindBerthSteps() {
    // The berth a route delivers its train to: the exit's own, or, at a stop marker
    // with no room for one, the berth on the circuit the route ends on (the berth of
    // the signal that leads back out).
    auto arrivalBerth = [&](const RouteInfo& r) {
        const SignalInfo& exit = Signals[r.Exit];
        if (exit.Berth >= 0) return exit.Berth;
        if (r.Subroutes.empty()) return -1;
        const int last = Subroutes[r.Subroutes.back()].Circuit;
        for (std::size_t b = 0; b < Berths.size(); ++b)
            if (Berths[b].Circuit == last) return static_cast<int>(b);
        return -1;
    };

    auto platformOfCircuit = [&](int circuit) {
        for (std::size_t p = 0; p < Platforms.size(); ++p) {
            const std::vector<int>& cs = Platforms[p].Circuits;
            if (std::find(cs.begin(), cs.end(), circuit) != cs.end()) return static_cast<int>(p);
        }
        return -1;
    };
    // A call-on route runs into a platform where a train already stands in front of the
    // exit: the description goes into the platform's other berth, the one nearest the
    // entrance, so that it stands in the platform beside the train it is to join rather
    // than stay behind on the approach. This step comes first; it fires only while the
    // exit's berth shows a description.
    for (std::size_t ri = 0; ri < Routes.size(); ++ri) {
        const RouteInfo& r = Routes[ri];
        if (r.Class != ClassCallOn || r.Subroutes.empty()) continue;
        const int from = Signals[r.Entrance].Berth;
        const int exitBerth = Signals[r.Exit].Berth;
        if (from < 0 || exitBerth < 0) continue;
        const int platform = platformOfCircuit(Berths[exitBerth].Circuit);
        if (platform < 0) continue;
        const bool towardsRight = Signals[r.Exit].RightFacing;
        int twin = -1;
        for (std::size_t b = 0; b < Berths.size(); ++b) {
            if (static_cast<int>(b) == exitBerth || static_cast<int>(b) == from) continue;
            if (platformOfCircuit(Berths[b].Circuit) != platform) continue;
            // In rear of the exit, as the train arrives; the nearest the entrance.
            const bool inRear = towardsRight ? Berths[b].X < Berths[exitBerth].X
                                             : Berths[b].X > Berths[exitBerth].X;
            if (!inRear) continue;
            if (twin < 0 ||
                (towardsRight ? Berths[b].X < Berths[twin].X : Berths[b].X > Berths[twin].X))
                twin = static_cast<int>(b);
        }
        if (twin < 0) continue;
        BerthStepInfo step;
        step.From = from;
        step.To = twin;
        step.Trigger = Object(StepObjectKind::Circuit, Subroutes[r.Subroutes.front()].Circuit);
        step.Conditions.push_back(Object(StepObjectKind::Route, static_cast<int>(ri)));
        step.Conditions.push_back(Object(StepObjectKind::Berth, exitBerth));
        step.Route = static_cast<int>(ri);
        BerthSteps.push_back(step);
    }

    // Into the exit's berth of every route, as the train enters the route: the first
    // circuit becoming occupied while that route is set.
    for (std::size_t ri = 0; ri < Routes.size(); ++ri) {
        const RouteInfo& r = Routes[ri];
        const int from = Signals[r.Entrance].Berth;
        if (from < 0 || r.Subroutes.empty()) continue;
        BerthStepInfo step;
        step.From = from;
        step.To = arrivalBerth(r);
        // Nowhere to take the train: the description stays where it is rather than
        // leave the describer inside the area (the validation test names the route).
        if (step.To < 0) continue;
        step.Trigger = Object(StepObjectKind::Circuit, Subroutes[r.Subroutes.front()].Circuit);
        step.Conditions.push_back(Object(StepObjectKind::Route, static_cast<int>(ri)));
        // An automatic signal's route is always set: a train running the other way
        // through its section on a wrong-road route (locked against it) is not one
        // that passed the signal.
        if (r.Class == ClassAuto && Subroutes[r.Subroutes.front()].Opposite >= 0)
            step.Conditions.push_back(
                Object(StepObjectKind::Subroute, Subroutes[r.Subroutes.front()].Opposite, true));
        step.Route = static_cast<int>(ri);
        BerthSteps.push_back(step);
    }

    // Out of the area: past a signal from which no route leads (the fringe signals at
    // the boundary), the description leaves as the train enters the track beyond.
    for (const SignalInfo& s : Signals) {
        if (s.Berth < 0 || !s.Routes.empty() || s.AheadCircuit < 0) continue;
        if (s.Type == SignalType::Marker) continue;
        BerthStepInfo step;
        step.From = s.Berth;
        step.Trigger = Object(StepObjectKind::Circuit, s.AheadCircuit);
        BerthSteps.push_back(step);
    }

    // Reversals and the second berths of platforms: a train standing at one berth that
    // leaves by a signal facing the other way (platform ends, the bay, sidings), or a
    // portion standing at the rear berth of a platform that leaves past the signal at
    // its front. Setting a route from that signal takes the description over, while the
    // train stands on the arrival berth's circuit and the departure berth is empty. The
    // arrival berth is either on the departure berth's circuit or on the same platform,
    // in rear of the departure signal.
    auto platformOf = [&](int circuit) {
        for (std::size_t p = 0; p < Platforms.size(); ++p) {
            const std::vector<int>& cs = Platforms[p].Circuits;
            if (std::find(cs.begin(), cs.end(), circuit) != cs.end()) return static_cast<int>(p);
        }
        return -1;
    };
    for (std::size_t y = 0; y < Signals.size(); ++y) {
        const SignalInfo& dep = Signals[y];
        if (dep.Berth < 0 || dep.Routes.empty() || dep.Type == SignalType::Automatic) continue;
        const BerthInfo& depBerth = Berths[dep.Berth];
        const int platform = platformOf(depBerth.Circuit);
        for (std::size_t b = 0; b < Berths.size(); ++b) {
            const BerthInfo& arrival = Berths[b];
            if (static_cast<int>(b) == dep.Berth) continue;
            if (arrival.Signal >= 0 && Signals[arrival.Signal].RightFacing == dep.RightFacing)
                continue;
            const bool sameCircuit = arrival.Circuit == depBerth.Circuit;
            const bool inRear = dep.RightFacing ? arrival.X < depBerth.X : arrival.X > depBerth.X;
            const bool samePlatform =
                platform >= 0 && platformOf(arrival.Circuit) == platform && inRear;
            if (!(sameCircuit && arrival.Signal >= 0) && !samePlatform) continue;
            for (int ri : dep.Routes) {
                BerthStepInfo step;
                step.From = static_cast<int>(b);
                step.To = dep.Berth;
                step.Trigger = Object(StepObjectKind::Route, ri);
                step.Conditions.push_back(Object(StepObjectKind::Circuit, arrival.Circuit));
                step.Conditions.push_back(Object(StepObjectKind::Berth, dep.Berth, true));
                BerthSteps.push_back(step);
            }
        }
    }
}

}  // namespace kestra::area
