// Places: the berths in rear of the signals, platforms and the locations they belong
// to, entry points, ARS sub-areas and the paths of trains through the area.

#include <algorithm>
#include <set>

#include "area/area_model.h"
#include "area/area_model_internal.h"

namespace kestra::area {

using namespace model;

void AreaModel::PlaceBerths() {
    for (std::size_t si = 0; si < Signals.size(); ++si) {
        SignalInfo& s = Signals[si];
        const int x0 = s.RightFacing ? s.PostX - 3 : s.PostX;
        bool ok = true;
        for (int x = x0; x < x0 + 4; ++x) {
            const int c = CellAt(x, s.TrackY);
            if (c < 0 || Cells[c].Kind != CellKind::Plain || Cells[c].Joint || Cells[c].BerthCell ||
                Segments[Cells[c].Segments[0]].Circuit != s.BerthCircuit) {
                ok = false;
                break;
            }
        }
        // A stop marker has a berth where there is room, so that a train that ends its
        // route there has its description shown.
        if (!ok && s.Type == SignalType::Marker) continue;
        if (!ok) {
            Error("no room for the berth of signal " + s.Plate +
                  " (four plain cells of its track in rear)");
            continue;
        }
        for (int x = x0; x < x0 + 4; ++x) Cells[CellAt(x, s.TrackY)].BerthCell = true;
        BerthInfo b;
        b.ID = "B" + s.Plate;
        b.X = x0;
        b.Y = s.TrackY;
        b.Circuit = s.BerthCircuit;
        b.Signal = static_cast<int>(si);
        b.External = s.Fringe;
        s.Berth = static_cast<int>(Berths.size());
        Berths.push_back(b);
    }
}

void AreaModel::FindPlatformsAndLocations() {
    for (const LocationSpec& tableRow : d_.Locations) {
        LocationInfo l;
        l.Code = tableRow.Code;
        l.Name = tableRow.Name;
        l.Key = HasOption(tableRow.Options, "key");
        l.NonStation = HasOption(tableRow.Options, "nonstation");
        l.ARSWaitsForTime = HasOption(tableRow.Options, "ars-wait");
        l.X0 = tableRow.X0;
        l.Y0 = tableRow.Y0;
        l.X1 = tableRow.X1;
        l.Y1 = tableRow.Y1;
        Locations.push_back(l);
    }
    auto locationAt = [&](int x, int y) {
        for (std::size_t i = 0; i < Locations.size(); ++i) {
            const LocationInfo& l = Locations[i];
            if (x >= l.X0 && x <= l.X1 && y >= l.Y0 && y <= l.Y1) return static_cast<int>(i);
        }
        return -1;
    };
    for (std::size_t pi = 0; pi < Platforms.size(); ++pi) {
        PlatformInfo& p = Platforms[pi];
        auto hasTrack = [&](int y) {
            for (int x = p.BandX0; x <= p.BandX1; ++x)
                if (CellAt(x, y) >= 0) return true;
            return false;
        };
        int face = p.Face;
        if (face == 0) {
            const bool up = hasTrack(p.BandY - 1), down = hasTrack(p.BandY + 1);
            if (up == down) {
                Error("platform " + p.Code + " has track on " +
                      (up ? "both sides" : "neither side") + " of its band");
                continue;
            }
            face = up ? -1 : 1;
        }
        const int trackRow = p.BandY + face;
        p.TrackY = trackRow;
        std::vector<int> circuits;
        for (int x = p.BandX0; x <= p.BandX1; ++x) {
            const int c = CellAt(x, trackRow);
            if (c < 0) continue;
            const int circuit = Segments[Cells[c].Segments[0]].Circuit;
            if (std::find(circuits.begin(), circuits.end(), circuit) == circuits.end())
                circuits.push_back(circuit);
        }
        if (circuits.empty()) {
            Error("platform " + p.Code + " has no track beside it");
            continue;
        }
        p.Circuit = circuits.front();
        p.Circuits = circuits;
        for (int c : circuits) {
            Circuits[c].Platform = true;
            p.Subroutes.insert(p.Subroutes.end(), Circuits[c].Subroutes.begin(),
                               Circuits[c].Subroutes.end());
        }
        p.Location = locationAt(p.CodeX, p.BandY);
        if (p.Location < 0) {
            Error("platform " + p.Code + " lies in no location");
            continue;
        }
        Locations[p.Location].Platforms.push_back(static_cast<int>(pi));
    }
    for (Circuit& c : Circuits) c.Location = locationAt(c.MinX, c.MinY);
    for (PointsInfo& p : Points) p.Location = locationAt(Cells[p.Cell].X, Cells[p.Cell].Y);
    for (SignalInfo& s : Signals) s.Location = locationAt(s.PostX, s.TrackY);
}

void AreaModel::FindEntries() {
    for (const EntrySpec& tableRow : d_.Entries) {
        EntryInfo e;
        e.Code = tableRow.Code;
        e.Name = tableRow.Name;
        e.FirstSignal = SignalByPlate(tableRow.FirstSignal);
        if (e.FirstSignal < 0) {
            Error(std::string("entry point ") + tableRow.Code + " names an unknown signal");
            continue;
        }
        const SignalInfo& s = Signals[e.FirstSignal];
        // Back from the signal to the area boundary.
        int current = -1;
        for (int sub : Circuits[s.BerthCircuit].Subroutes) {
            if (Subroutes[sub].EndSignal == e.FirstSignal) current = sub;
        }
        std::vector<int> chain;
        while (current >= 0 && chain.size() < 10) {
            chain.push_back(current);
            const SubrouteInfo& sub = Subroutes[current];
            if (Circuits[sub.Circuit].Ends[sub.From].Boundary) break;
            current = sub.Previous.size() == 1 ? sub.Previous.front() : -1;
        }
        if (chain.empty() || !Circuits[Subroutes[chain.back()].Circuit]
                                  .Ends[Subroutes[chain.back()].From]
                                  .Boundary) {
            Error("entry point " + e.Code + ": no plain track from the area boundary to signal " +
                  s.Plate);
            continue;
        }
        std::reverse(chain.begin(), chain.end());
        e.Subroutes = chain;
        e.Berth = s.Berth;
        Entries.push_back(e);
    }
}

void AreaModel::FindSubAreas() {
    for (SubAreaInfo& s : SubAreas) {
        const SubAreaSpec* tableRow = nullptr;
        for (const SubAreaSpec& sp : d_.SubAreas)
            if (sp.Digit == s.Digit) tableRow = &sp;
        if (!tableRow) {
            Error(std::string("sub-area indicator ") + s.Digit + " is not in the sub-area table");
            continue;
        }
        s.Label = tableRow->Label;
        s.LabelPlacement = tableRow->LabelPlacement;
        auto inside = [&](int x, int y) {
            return (x >= tableRow->X0 && x <= tableRow->X1 && y >= tableRow->Y0 &&
                    y <= tableRow->Y1) ||
                   (tableRow->X3 > 0 && x >= tableRow->X2 && x <= tableRow->X3 &&
                    y >= tableRow->Y2 && y <= tableRow->Y3);
        };
        for (std::size_t r = 0; r < Routes.size(); ++r) {
            const SignalInfo& e = Signals[Routes[r].Entrance];
            if (Routes[r].Class == ClassAuto) continue;
            if (inside(e.PostX, e.TrackY)) {
                s.Routes.push_back(static_cast<int>(r));
                Routes[r].SubAreas.push_back(static_cast<int>(&s - SubAreas.data()));
            }
        }
    }
    std::sort(SubAreas.begin(), SubAreas.end(),
              [](const SubAreaInfo& a, const SubAreaInfo& b) { return a.Digit < b.Digit; });
    for (RouteInfo& r : Routes) r.SubAreas.clear();
    for (std::size_t i = 0; i < SubAreas.size(); ++i)
        for (int r : SubAreas[i].Routes) Routes[r].SubAreas.push_back(static_cast<int>(i));
    for (const SubAreaSpec& sp : d_.SubAreas) {
        if (std::none_of(SubAreas.begin(), SubAreas.end(),
                         [&](const SubAreaInfo& s) { return s.Digit == sp.Digit; }))
            Error(std::string("sub-area ") + sp.Label + " has no indicator in the picture");
    }
}

void AreaModel::FindPaths() {
    for (const PathSpec& tableRow : d_.Paths) {
        PathInfo p;
        p.Line = tableRow.Line ? tableRow.Line : "";
        p.FromPlatform = tableRow.FromPlatform ? tableRow.FromPlatform : "";
        p.ToPlatform = tableRow.ToPlatform ? tableRow.ToPlatform : "";
        std::vector<int> starts;
        for (std::size_t e = 0; e < Entries.size(); ++e) {
            if (Entries[e].Code == tableRow.From) {
                p.Entry = static_cast<int>(e);
                starts.push_back(Entries[e].FirstSignal);
            }
        }
        std::set<int> fromCircuits;
        if (p.Entry < 0) {
            p.FromLocation = LocationByCode(tableRow.From);
            if (p.FromLocation < 0) {
                Error(std::string("path from unknown place ") + tableRow.From);
                continue;
            }
            for (int pl : Locations[p.FromLocation].Platforms) {
                if (p.FromPlatform.empty() || Platforms[pl].Code == p.FromPlatform)
                    fromCircuits.insert(Platforms[pl].Circuits.begin(),
                                        Platforms[pl].Circuits.end());
            }
            for (std::size_t s = 0; s < Signals.size(); ++s) {
                if (fromCircuits.count(Signals[s].BerthCircuit) && !Signals[s].Routes.empty())
                    starts.push_back(static_cast<int>(s));
            }
        }
        p.ToLocation = LocationByCode(tableRow.To);
        if (p.ToLocation < 0) {
            Error(std::string("path to unknown location ") + tableRow.To);
            continue;
        }
        const LocationInfo& to = Locations[p.ToLocation];
        std::set<int> goal;
        for (int pl : to.Platforms) {
            if (p.ToPlatform.empty() || Platforms[pl].Code == p.ToPlatform)
                goal.insert(Platforms[pl].Circuits.begin(), Platforms[pl].Circuits.end());
        }
        if (to.Platforms.empty()) {
            // A timing point without platforms: any circuit with track inside it.
            for (std::size_t c = 0; c < Circuits.size(); ++c) {
                for (int cell : Circuits[c].Cells) {
                    const TrackCell& tc = Cells[cell];
                    if (tc.X >= to.X0 && tc.X <= to.X1 && tc.Y >= to.Y0 && tc.Y <= to.Y1)
                        goal.insert(static_cast<int>(c));
                }
            }
        }
        // Breadth first over main routes, fewest routes first, then fewest points turned.
        struct State {
            int Signal;
            std::vector<int> Routes;
            int Reverse;
        };
        std::vector<State> frontier;
        for (int s : starts) frontier.push_back({s, {}, 0});
        std::set<int> visited(starts.begin(), starts.end());
        std::vector<int> best;
        for (int depth = 0; depth < 12 && best.empty() && !frontier.empty(); ++depth) {
            std::vector<State> next;
            std::vector<std::pair<int, std::vector<int>>> reached;
            for (const State& st : frontier) {
                for (int r : Signals[st.Signal].Routes) {
                    const RouteInfo& route = Routes[r];
                    if (route.Class != ClassMain && route.Class != ClassAuto) continue;
                    // A path from a platform leaves it, never runs back along it.
                    if (depth == 0 && p.Entry < 0 &&
                        fromCircuits.count(Subroutes[route.Subroutes.front()].Circuit))
                        continue;
                    std::vector<int> routes = st.Routes;
                    routes.push_back(r);
                    const int reverse = st.Reverse + route.ReversePoints;
                    bool arrived = false;
                    for (int s : route.Subroutes)
                        if (goal.count(Subroutes[s].Circuit)) arrived = true;
                    if (arrived) {
                        reached.push_back({reverse, routes});
                        continue;
                    }
                    if (visited.insert(route.Exit).second)
                        next.push_back({route.Exit, routes, reverse});
                }
            }
            if (!reached.empty()) {
                std::stable_sort(reached.begin(), reached.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
                best = reached.front().second;
            }
            frontier = std::move(next);
        }
        if (best.empty()) {
            Error(std::string("no path from ") + tableRow.From + " to " + tableRow.To + " " +
                  p.ToPlatform);
            continue;
        }
        for (int r : best) {
            const RouteInfo& route = Routes[r];
            const int b = Signals[route.Entrance].Berth;
            if (b >= 0) p.Objects.push_back(b);
            p.Objects.push_back(-1 - r);
        }
        // The berth the train arrives in: in front of the last route's exit.
        const int arrival = Signals[Routes[best.back()].Exit].Berth;
        if (arrival >= 0) p.Objects.push_back(arrival);
        p.ToLine = p.Line;
        p.StartDirection = Subroutes[Routes[best.front()].Subroutes.front()].Direction;
        p.EndDirection = Subroutes[Routes[best.back()].Subroutes.back()].Direction;
        Paths.push_back(p);
    }
}

}  // namespace kestra::area
