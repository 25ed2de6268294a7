// The describer's berths as objects: placed where the model put them, on their track
// circuits, with the steps the model derived from the routes; once the places exist,
// the locations each berth serves and the links ARS follows from it.

#include "area/area_builder.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"
#include "trains/berth.h"

namespace kestra::area {

namespace {

TSSIObject* StepTarget(const BuiltArea& area, const StepObject& o) {
    switch (o.Kind) {
        case StepObjectKind::Circuit:
            return area.Circuits[o.Index];
        case StepObjectKind::Route:
            return area.Routes[o.Index];
        case StepObjectKind::Signal:
            return area.Signals[o.Index];
        case StepObjectKind::Berth:
            return area.Berths[o.Index];
        case StepObjectKind::Subroute:
            return area.Subroutes[o.Index];
        case StepObjectKind::None:
            break;
    }
    return nullptr;
}

}  // namespace

void BuildBerths(Sim& sim, const AreaModel& m, BuiltArea& area) {
    area.Berths.clear();
    for (const BerthInfo& info : m.Berths) {
        TBER& b = sim.Berths.Create(sim, info.ID);
        b.X = info.X;
        b.Y = info.Y;
        b.EmptyStyle = EmptyTrack;
        b.External = info.External;
        if (info.Circuit >= 0) {
            b.TrackCircuit = area.Circuits[info.Circuit];
            b.TrackCircuit->Berths.Add(b.ID, &b);
        }
        area.Berths.push_back(&b);
    }
    for (const BerthStepInfo& info : m.BerthSteps) {
        auto* from = static_cast<TBER*>(area.Berths[info.From]);
        TBERStep step;
        step.ToBerth = info.To >= 0 ? static_cast<TBER*>(area.Berths[info.To]) : nullptr;
        step.Trigger = StepTarget(area, info.Trigger);
        step.OnRelease = info.OnRelease;
        for (const StepObject& c : info.Conditions) {
            if (c.Negated) step.Conditions.push_back(nullptr);
            step.Conditions.push_back(StepTarget(area, c));
        }
        from->Steps.push_back(std::move(step));
    }
}

void LinkBerthsForARS(Sim& sim, BuiltArea& area) {
    for (TSSIObject* o : area.Berths) {
        auto* b = static_cast<TBER*>(o);
        b->ARSRoutes.Clear();
        for (const ARSLink& link : sim.Paths.ARSRoutes(b)) b->ARSRoutes.Add({}, link.Next);
        b->Locations.Clear();
    }
    sim.Locations.ForEach([](TLOC& l) {
        for (int i = 0; i < l.Berths.Count(); ++i) {
            if (auto* b = dynamic_cast<TBER*>(l.Berths.GetItem(i))) b->Locations.Add(l.ID, &l);
        }
    });
}

}  // namespace kestra::area
