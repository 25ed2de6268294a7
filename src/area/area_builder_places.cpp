// The places of the area as objects: entry points, locations and their stopping points,
// paths and code rules, from the area model.

#include <memory>

#include "area/area_builder.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/track_circuit.h"
#include "interlocking/subroute.h"
#include "places/code_rules.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"

namespace kestra::area {

namespace {

TSSIObject* BerthObject(const BuiltArea& area, int berth) {
    if (berth < 0 || berth >= static_cast<int>(area.Berths.size())) return nullptr;
    return area.Berths[berth];
}

void ConfigureEntries(Sim& sim, const AreaModel& m, BuiltArea& area) {
    for (const EntryInfo& info : m.Entries) {
        TENT& e = sim.EntryPoints.Create(sim);
        e.ID = info.Code;
        e.Name = info.Name;
        for (int s : info.Subroutes) e.ULCs.Add({}, area.Subroutes[s]);
        e.Berth = BerthObject(area, info.Berth);
        area.EntryPoints.push_back(&e);
    }
}

void ConfigureLocations(Sim& sim, const AreaModel& m, BuiltArea& area) {
    for (const LocationInfo& info : m.Locations) {
        TLOC& l = sim.Locations.Create();
        l.ID = info.Code;
        l.Name = info.Name;
        l.KeyLocation = info.Key;
        l.NonStation = info.NonStation;
        l.StopWhenInside = info.StopWhenInside;
        l.ARSWaitsForTime = info.ARSWaitsForTime;
        if (!info.NonStation) {
            l.StandardDwell = info.StandardDwell;
            l.MinimumDwell = info.MinimumDwell;
        }
        for (int p : info.Platforms) {
            const PlatformInfo& pl = m.Platforms[p];
            l.Platforms.push_back(pl.Code);
            for (int s : pl.Subroutes) l.PlatformSubroutes.push_back({pl.Code, area.Subroutes[s]});
        }
        l.Lines = info.Lines;
        l.Paths = info.PathCodes;
        for (const auto& [a, b] : info.Adjacent) l.AdjacentPlatforms.push_back({a, b});
        for (int b : info.Berths)
            if (TSSIObject* berth = BerthObject(area, b)) l.Berths.Add({}, berth);
        area.Locations.push_back(&l);
    }
}

// Circuits, points and signals belong to the location whose rectangle holds them: that
// is where a failure of theirs is reported. Equipment in none never fails at random.
void ConfigureEquipmentLocations(const AreaModel& m, BuiltArea& area) {
    auto location = [&](int l) -> TSSIObject* {
        return l >= 0 && l < static_cast<int>(area.Locations.size()) ? area.Locations[l] : nullptr;
    };
    for (std::size_t i = 0; i < m.Circuits.size() && i < area.Circuits.size(); ++i)
        area.Circuits[i]->Location = location(m.Circuits[i].Location);
    for (std::size_t i = 0; i < m.Points.size() && i < area.Points.size(); ++i)
        area.Points[i]->Location = location(m.Points[i].Location);
    for (std::size_t i = 0; i < m.Signals.size() && i < area.Signals.size(); ++i)
        area.Signals[i]->Location = location(m.Signals[i].Location);
}

void ConfigureStopPoints(const AreaModel& m, BuiltArea& area) {
    for (const StopPointInfo& info : m.StopPoints) {
        auto point = std::make_unique<TULCLOC>();
        point->Location = area.Locations[info.Location];
        point->Position = info.Position;
        point->Platform = info.Platform;
        TULCLOC* raw = point.get();
        area.Subroutes[info.Subroute]->StopPoints.Adopt(std::move(point));
        area.StopPoints.push_back(raw);
    }
    for (std::size_t i = 0; i < m.StopPoints.size(); ++i) {
        const StopPointInfo& info = m.StopPoints[i];
        TULCLOC& p = *area.StopPoints[i];
        if (info.Continuation >= 0) {
            p.ContinuationPoint = area.StopPoints[info.Continuation];
            p.ContinuationSubroute = area.Subroutes[m.StopPoints[info.Continuation].Subroute];
        }
        if (info.Previous >= 0) {
            p.PreviousPoint = area.StopPoints[info.Previous];
            p.PreviousSubroute = area.Subroutes[m.StopPoints[info.Previous].Subroute];
        }
    }
}

void ConfigurePaths(Sim& sim, const AreaModel& m, BuiltArea& area) {
    for (const PathInfo& info : m.Paths) {
        TPTH& p = sim.Paths.Create();
        p.Entry = info.Entry >= 0 ? area.EntryPoints[info.Entry] : nullptr;
        p.FromLocation = info.FromLocation >= 0 ? area.Locations[info.FromLocation] : nullptr;
        p.FromPlatform = info.FromPlatform;
        p.FromPath = info.FromPath;
        p.FromLine = info.FromLine;
        p.StartDirection = info.StartDirection;
        p.ToLocation = area.Locations[info.ToLocation];
        p.ToPlatform = info.ToPlatform;
        p.ToPath = info.ToPath;
        p.ToLine = info.ToLine;
        p.EndDirection = info.EndDirection;
        for (int o : info.Objects) {
            if (o < 0) {
                p.Objects.Add({}, area.Routes[-1 - o]);
            } else if (TSSIObject* berth = BerthObject(area, o)) {
                p.Objects.Add({}, berth);
            }
        }
        area.Paths.push_back(&p);
    }
}

void ConfigureCodeRules(Sim& sim, const AreaModel& m, BuiltArea& area) {
    auto entry = [&](int i) { return i >= 0 ? area.EntryPoints[i] : nullptr; };
    auto location = [&](int i) { return i >= 0 ? area.Locations[i] : nullptr; };
    for (const CodeRuleInfo& info : m.CodeRules) {
        TRLE& r = sim.CodeRules.Create();
        r.FromEntry = entry(info.FromEntry);
        r.FromLocation = location(info.FromLocation);
        r.SetsPath = info.SetsPath;
        r.Code = info.Code;
        r.Kind = info.Kind;
        r.ToEntry = entry(info.ToEntry);
        r.ToLocation = location(info.ToLocation);
        r.TestsPath = info.TestsPath;
        r.Condition = info.Condition;
        area.CodeRules.push_back(&r);
    }
}

}  // namespace

void BuildPlaces(Sim& sim, const AreaModel& model, BuiltArea& area) {
    ConfigureEntries(sim, model, area);
    ConfigureLocations(sim, model, area);
    ConfigureEquipmentLocations(model, area);
    ConfigureStopPoints(model, area);
    ConfigurePaths(sim, model, area);
    ConfigureCodeRules(sim, model, area);
    sim.Paths.InitPaths();
}

}  // namespace kestra::area
