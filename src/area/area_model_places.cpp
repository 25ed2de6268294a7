// Places: the berths in rear of the signals, platforms and the locations they belong
// to, entry points, ARS sub-areas and the paths of trains through the area.

#include <algorithm>
#include <set>
#include <sstream>

#include "area/area_model.h"
#include "area/area_model_internal.h"

namespace kestra::area {

using namespace model;

namespace {
// Most routes a path takes between two signals its table row names.
constexpr int kMostRoutesBetweenPlates = 16;
}  // namespace

void AreaModel::PlaceBerths() {
    // Four plain cells of one circuit from x0 that no joint or other berth takes.
    auto fits = [&](int x0, int y, int circuit) {
        for (int x = x0; x < x0 + kBerthCells; ++x) {
            const int c = CellAt(x, y);
            if (c < 0 || Cells[c].Kind != CellKind::Plain || Cells[c].Joint || Cells[c].BerthCell ||
                Segments[Cells[c].Segments[0]].Circuit != circuit)
                return false;
        }
        return true;
    };
    auto add = [&](BerthInfo b) {
        for (int x = b.X; x < b.X + kBerthCells; ++x) Cells[CellAt(x, b.Y)].BerthCell = true;
        Berths.push_back(std::move(b));
        return static_cast<int>(Berths.size()) - 1;
    };
    for (std::size_t si = 0; si < Signals.size(); ++si) {
        SignalInfo& s = Signals[si];
        // In rear of the signal, its post over the berth's nearer end.
        const int rear = s.RightFacing ? -1 : 1;
        int x0 = s.RightFacing ? s.PostX - (kBerthCells - 1) : s.PostX;
        bool ok = fits(x0, s.TrackY, s.BerthCircuit);
        // A stop marker at buffer stops stands on the buffer cell itself: its berth moves
        // back along the track onto the first plain cells, so that a train ending its
        // route there is described at the buffer-stop end of the track.
        for (int shift = 1; !ok && s.Type == SignalType::Marker && shift <= kBerthCells; ++shift) {
            x0 += rear;
            ok = fits(x0, s.TrackY, s.BerthCircuit);
        }
        if (!ok && s.Type == SignalType::Marker) continue;
        if (!ok) {
            Error("no room for the berth of signal " + s.Plate +
                  " (four plain cells of its track in rear)");
            continue;
        }
        BerthInfo b;
        b.ID = "B" + s.Plate;
        b.X = x0;
        b.Y = s.TrackY;
        b.Circuit = s.BerthCircuit;
        b.Signal = static_cast<int>(si);
        b.External = s.Fringe;
        s.Berth = add(std::move(b));
    }
    // A platform with a berth at one end only gets a second one on a circuit of its own
    // that has none, so that the two portions of a train dividing or joining there can
    // both be described.
    for (const PlatformInfo& p : Platforms) {
        if (p.Location < 0) continue;
        int berths = 0, bare = -1;
        for (int c : p.Circuits) {
            const bool has = std::any_of(Berths.begin(), Berths.end(),
                                         [&](const BerthInfo& b) { return b.Circuit == c; });
            berths += has;
            if (!has && bare < 0) bare = c;
        }
        if (berths != 1 || bare < 0) continue;
        int x0 = -1;
        for (int x = p.BandX0 - (kBerthCells - 1); x0 < 0 && x <= p.BandX1; ++x)
            if (fits(x, p.TrackY, bare)) x0 = x;
        if (x0 < 0) {
            Error("no room for the second berth of platform " + Locations[p.Location].Code + " " +
                  p.Code);
            continue;
        }
        BerthInfo b;
        b.ID = "B" + Locations[p.Location].Code + p.Code;
        b.X = x0;
        b.Y = p.TrackY;
        b.Circuit = bare;
        add(std::move(b));
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
        std::set<int> held;
        std::istringstream codes(tableRow->Locations ? tableRow->Locations : "");
        for (std::string code; codes >> code;) {
            const int l = LocationByCode(code);
            if (l < 0)
                Error("sub-area " + s.Label + " names unknown location " + code);
            else
                held.insert(l);
        }
        // A route lies in the sub-area when any of its track does.
        for (std::size_t r = 0; r < Routes.size(); ++r) {
            if (Routes[r].Class == ClassAuto) continue;
            const bool crosses = std::any_of(
                Routes[r].Subroutes.begin(), Routes[r].Subroutes.end(),
                [&](int sub) { return held.count(Circuits[Subroutes[sub].Circuit].Location) > 0; });
            if (crosses) s.Routes.push_back(static_cast<int>(r));
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
    // ARS sets a route only where the signaller can switch it off: in an area with
    // sub-areas, every route the signaller sets lies in some sub-area.
    for (const RouteInfo& r : Routes) {
        if (!d_.SubAreas.empty() && r.Class != ClassAuto && r.SubAreas.empty())
            Error("route " + r.ID + " crosses the track of no ARS sub-area");
    }
}

int AreaModel::RoutesBetween(int from, int to, std::vector<int>& routes) const {
    // Breadth first over main and automatic routes: the fewest routes, and of those the
    // fewest points turned; ties go to the route made first.
    struct State {
        int Signal;
        std::vector<int> Routes;
        int Reverse;
    };
    std::vector<State> frontier{{from, {}, 0}};
    std::set<int> visited{from};
    for (int depth = 0; depth < kMostRoutesBetweenPlates && !frontier.empty(); ++depth) {
        std::vector<State> next;
        const State* best = nullptr;
        std::vector<State> reached;
        for (const State& st : frontier) {
            for (int r : Signals[st.Signal].Routes) {
                const RouteInfo& route = Routes[r];
                if (route.Class != ClassMain && route.Class != ClassAuto) continue;
                if (route.WrongRoad) continue;
                State moved{route.Exit, st.Routes, st.Reverse + route.ReversePoints};
                moved.Routes.push_back(r);
                if (route.Exit == to) {
                    reached.push_back(std::move(moved));
                } else if (route.Exit >= 0 && visited.insert(route.Exit).second) {
                    next.push_back(std::move(moved));
                }
            }
        }
        for (const State& st : reached)
            if (!best || st.Reverse < best->Reverse) best = &st;
        if (best) {
            routes.insert(routes.end(), best->Routes.begin(), best->Routes.end());
            return static_cast<int>(best->Routes.size());
        }
        frontier = std::move(next);
    }
    return 0;
}

void AreaModel::FindPaths() {
    for (std::size_t row = 0; row < d_.Paths.size(); ++row) {
        const PathSpec& tableRow = d_.Paths[row];
        const std::string entryCode = tableRow.Entry ? tableRow.Entry : "";
        const std::string fromCode = tableRow.From ? tableRow.From : "";
        const std::string toCode = tableRow.To ? tableRow.To : "";
        const std::string what = "path " + std::to_string(row) + " (" +
                                 (entryCode.empty() ? fromCode : entryCode) + " to " + toCode + ")";
        PathInfo p;
        p.Line = tableRow.Line ? tableRow.Line : "";
        p.FromPlatform = tableRow.FromPlatform ? tableRow.FromPlatform : "";
        p.ToPlatform = tableRow.ToPlatform ? tableRow.ToPlatform : "";
        p.FromPath = OptionValue(tableRow.Codes, "from-path");
        p.FromLine = OptionValue(tableRow.Codes, "from-line");
        p.ToPath = OptionValue(tableRow.Codes, "to-path");
        p.ToLine = OptionValue(tableRow.Codes, "to-line");
        std::vector<int> plates;
        if (!entryCode.empty()) {
            p.Entry = EntryByCode(entryCode);
            if (p.Entry < 0 || !fromCode.empty()) {
                Error(what + ": starts at an unknown entry point or at two places");
                continue;
            }
            // An entering train starts at the entry's first signal.
            plates.push_back(Entries[p.Entry].FirstSignal);
            // A path from an entry point is found with empty codes at its start.
            if (!p.FromPlatform.empty() || !p.FromPath.empty() || !p.FromLine.empty()) {
                Error(what + ": an entry point has no platform, path or line code");
                continue;
            }
        } else {
            p.FromLocation = LocationByCode(fromCode);
            if (p.FromLocation < 0) {
                Error(what + ": starts at an unknown location");
                continue;
            }
        }
        p.ToLocation = LocationByCode(toCode);
        if (p.ToLocation < 0) {
            Error(what + ": ends at an unknown location");
            continue;
        }
        bool known = true;
        std::istringstream words(tableRow.Signals ? tableRow.Signals : "");
        for (std::string plate; words >> plate;) {
            const int s = SignalByPlate(plate);
            if (s < 0) {
                Error(what + ": no signal " + plate);
                known = false;
            } else if (plates.empty() || plates.back() != s) {
                plates.push_back(s);
            }
        }
        if (!known) continue;
        if (plates.size() < 2) {
            Error(what + ": names no signal it arrives at");
            continue;
        }
        std::vector<int> routes;
        for (std::size_t i = 0; known && i + 1 < plates.size(); ++i) {
            if (RoutesBetween(plates[i], plates[i + 1], routes) == 0) {
                Error(what + ": no way from signal " + Signals[plates[i]].Plate + " to signal " +
                      Signals[plates[i + 1]].Plate);
                known = false;
            }
        }
        if (!known) continue;
        // The ends must lie where the table says: the start at the from-location's
        // platform (or track), the arrival at the to-location's.
        if (p.FromLocation >= 0 &&
            !SignalStandsAt(plates.front(), p.FromLocation, p.FromPlatform)) {
            Error(what + ": signal " + Signals[plates.front()].Plate + " is not at " + fromCode +
                  " " + p.FromPlatform);
            continue;
        }
        if (!RouteArrivesAt(routes.back(), p.ToLocation, p.ToPlatform)) {
            Error(what + ": its last route does not arrive at " + toCode + " " + p.ToPlatform);
            continue;
        }
        for (int r : routes) {
            const int b = Signals[Routes[r].Entrance].Berth;
            if (b >= 0) p.Objects.push_back(b);
            p.Objects.push_back(-1 - r);
        }
        // The berth the train arrives in: in front of the signal it arrives at, or, at a
        // stop marker with no berth of its own, the one nearest the end of the route's
        // track (the berth of the signal that leads back out).
        int arrival = Signals[plates.back()].Berth;
        const std::vector<int>& last = Routes[routes.back()].Subroutes;
        for (auto sub = last.rbegin(); arrival < 0 && sub != last.rend(); ++sub)
            for (std::size_t b = 0; arrival < 0 && b < Berths.size(); ++b)
                if (Berths[b].Circuit == Subroutes[*sub].Circuit) arrival = static_cast<int>(b);
        if (arrival < 0) {
            Error(what + ": ends in no berth");
            continue;
        }
        p.Objects.push_back(arrival);
        p.StartDirection = Subroutes[Routes[routes.front()].Subroutes.front()].Direction;
        p.EndDirection = Subroutes[Routes[routes.back()].Subroutes.back()].Direction;
        Paths.push_back(p);
    }
}

bool AreaModel::SignalStandsAt(int signal, int location, const std::string& platform) const {
    const SignalInfo& s = Signals[signal];
    if (s.BerthCircuit < 0) return false;
    if (platform.empty())
        return s.Location == location || Circuits[s.BerthCircuit].Location == location;
    for (int pl : Locations[location].Platforms) {
        const PlatformInfo& p = Platforms[pl];
        if (p.Code == platform &&
            std::find(p.Circuits.begin(), p.Circuits.end(), s.BerthCircuit) != p.Circuits.end())
            return true;
    }
    return false;
}

bool AreaModel::RouteArrivesAt(int route, int location, const std::string& platform) const {
    const RouteInfo& r = Routes[route];
    if (platform.empty()) {
        if (r.Exit >= 0 && Signals[r.Exit].Location == location) return true;
        return std::any_of(r.Subroutes.begin(), r.Subroutes.end(), [&](int sub) {
            return Circuits[Subroutes[sub].Circuit].Location == location;
        });
    }
    for (int pl : Locations[location].Platforms) {
        const PlatformInfo& p = Platforms[pl];
        if (p.Code != platform) continue;
        for (int sub : r.Subroutes)
            if (std::find(p.Circuits.begin(), p.Circuits.end(), Subroutes[sub].Circuit) !=
                p.Circuits.end())
                return true;
    }
    return false;
}

}  // namespace kestra::area
