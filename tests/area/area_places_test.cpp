// The built-in area's places made ready for trains: entry sections long enough to stop
// in, paths that join their ends through real routes and end in their arrival berth,
// every key location on some way in and out, paths found by their codes, code rules
// that complete a timetable given without codes, stopping points everywhere a train
// may be booked, and the objects built from it all.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>

#include "area/area_builder.h"
#include "area/area_model.h"
#include "interlocking/route.h"
#include "interlocking/subroute.h"
#include "places/code_rules.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"

namespace kestra::area {
namespace {

class AreaPlacesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        area = BuildArea(sim);
        ASSERT_TRUE(area && area->Model);
        ASSERT_TRUE(area->Model->Valid()) << area->Model->Errors.front();
        m = area->Model.get();
    }
    Sim sim;
    std::shared_ptr<BuiltArea> area;
    const AreaModel* m = nullptr;
};

// Distance to stop from v (m/s) at the given rates, stepped second by second as trains
// brake: c := v + acceleration; add c and take off the braking rate until c runs out.
double BrakingDistance(double v, double accel, double decel) {
    double c = v + accel, sum = 0;
    while (c > 0) {
        sum += c;
        c -= decel;
    }
    return sum + 0.5;
}

TEST_F(AreaPlacesTest, EveryEntrySectionIsAtLeastOneBrakingDistance) {
    ASSERT_FALSE(m->Entries.empty());
    for (const EntryInfo& e : m->Entries) {
        ASSERT_FALSE(e.Subroutes.empty()) << e.Code;
        double length = 0, speed = 0;
        for (int s : e.Subroutes) {
            const SubrouteInfo& sub = m->Subroutes[s];
            length += sub.Length;
            speed = std::max({speed, sub.PassengerMph / 2.25, sub.FreightMph / 2.25});
        }
        length -= m->Subroutes[e.Subroutes.back()].SignalOffset;
        // The weakest brakes of every profile, with that profile's acceleration.
        double needed = 0;
        for (int profile = 0; profile < 5; ++profile)
            needed =
                std::max(needed, BrakingDistance(speed, sim.SimData.AccelerationByPower[profile],
                                                 sim.SimData.BrakingByPower[profile]));
        EXPECT_GE(length, needed) << "entry " << e.Code << " at " << speed * 2.25 << " mph";
    }
}

// The routes of a path, in order.
std::vector<int> RoutesOf(const PathInfo& p) {
    std::vector<int> routes;
    for (int o : p.Objects)
        if (o < 0) routes.push_back(-1 - o);
    return routes;
}

// The plates of the signals a path goes through: each route's entrance, then the last
// route's exit.
std::vector<std::string> PlatesOf(const AreaModel& m, const PathInfo& p) {
    std::vector<std::string> plates;
    const std::vector<int> routes = RoutesOf(p);
    for (int r : routes) plates.push_back(m.Signals[m.Routes[r].Entrance].Plate);
    if (!routes.empty()) plates.push_back(m.Signals[m.Routes[routes.back()].Exit].Plate);
    return plates;
}

// Whether the blank-separated plates appear in order among a path's signals.
bool PassesInOrder(const std::vector<std::string>& plates, const std::string& wanted) {
    std::istringstream in(wanted);
    auto at = plates.begin();
    for (std::string plate; in >> plate;) {
        at = std::find(at, plates.end(), plate);
        if (at == plates.end()) return false;
        ++at;
    }
    return true;
}

std::string Joined(const std::vector<std::string>& plates) {
    std::string out;
    for (const std::string& p : plates) out += (out.empty() ? "" : " ") + p;
    return out;
}

TEST_F(AreaPlacesTest, EveryPathJoinsItsEndsThroughRoutesAndEndsInItsArrivalBerth) {
    ASSERT_FALSE(m->Paths.empty());
    for (std::size_t i = 0; i < m->Paths.size(); ++i) {
        const PathInfo& p = m->Paths[i];
        SCOPED_TRACE("path " + std::to_string(i) + " to " + m->Locations[p.ToLocation].Code + " " +
                     p.ToPlatform + ": " + Joined(PlatesOf(*m, p)));
        const std::vector<int> routes = RoutesOf(p);
        ASSERT_FALSE(routes.empty());
        for (std::size_t r = 0; r + 1 < routes.size(); ++r)
            EXPECT_EQ(m->Routes[routes[r]].Exit, m->Routes[routes[r + 1]].Entrance);
        // Each route is there for trains, led by its entrance signal's berth.
        for (std::size_t k = 0; k < p.Objects.size(); ++k) {
            if (p.Objects[k] >= 0) continue;
            const RouteInfo& route = m->Routes[-1 - p.Objects[k]];
            EXPECT_TRUE(route.Class == ClassMain || route.Class == ClassAuto) << route.ID;
            const int berth = m->Signals[route.Entrance].Berth;
            if (berth >= 0) {
                ASSERT_GT(k, 0u) << route.ID;
                EXPECT_EQ(p.Objects[k - 1], berth) << route.ID;
            }
        }
        const RouteInfo& first = m->Routes[routes.front()];
        const SignalInfo& start = m->Signals[first.Entrance];
        if (p.Entry >= 0) {
            EXPECT_EQ(first.Entrance, m->Entries[p.Entry].FirstSignal);
        } else if (!p.FromPlatform.empty()) {
            bool onPlatform = false;
            for (int pl : m->Locations[p.FromLocation].Platforms) {
                const PlatformInfo& platform = m->Platforms[pl];
                if (platform.Code == p.FromPlatform &&
                    std::count(platform.Circuits.begin(), platform.Circuits.end(),
                               start.BerthCircuit))
                    onPlatform = true;
            }
            EXPECT_TRUE(onPlatform) << "starts at signal " << start.Plate;
        } else {
            EXPECT_TRUE(start.Location == p.FromLocation ||
                        m->Circuits[start.BerthCircuit].Location == p.FromLocation)
                << "starts at signal " << start.Plate;
        }
        // The right direction: every route runs the way the path starts, and a path
        // never turns round.
        for (int r : routes)
            for (int s : m->Routes[r].Subroutes)
                EXPECT_EQ(m->Subroutes[s].Direction, p.StartDirection) << m->Routes[r].ID;
        EXPECT_EQ(p.StartDirection, m->Subroutes[first.Subroutes.front()].Direction);
        const RouteInfo& last = m->Routes[routes.back()];
        EXPECT_EQ(p.EndDirection, m->Subroutes[last.Subroutes.back()].Direction);
        // Arrives at the destination's platform, or at its track or signal.
        bool arrives = false;
        for (int s : last.Subroutes) {
            const int c = m->Subroutes[s].Circuit;
            if (p.ToPlatform.empty()) {
                arrives = arrives || m->Circuits[c].Location == p.ToLocation;
            } else {
                for (int pl : m->Locations[p.ToLocation].Platforms)
                    if (m->Platforms[pl].Code == p.ToPlatform &&
                        std::count(m->Platforms[pl].Circuits.begin(),
                                   m->Platforms[pl].Circuits.end(), c))
                        arrives = true;
            }
        }
        if (p.ToPlatform.empty())
            arrives = arrives || m->Signals[last.Exit].Location == p.ToLocation;
        EXPECT_TRUE(arrives) << "does not arrive";
        // Ends in the berth where the train arrives: the exit signal's, or at a stop
        // marker without one, a berth on the track the last route ends on.
        ASSERT_GE(p.Objects.back(), 0) << "ends in no berth";
        const int exitBerth = m->Signals[last.Exit].Berth;
        if (exitBerth >= 0) {
            EXPECT_EQ(p.Objects.back(), exitBerth);
        } else {
            const int circuit = m->Berths[p.Objects.back()].Circuit;
            EXPECT_TRUE(std::any_of(last.Subroutes.begin(), last.Subroutes.end(),
                                    [&](int s) { return m->Subroutes[s].Circuit == circuit; }))
                << "arrival berth " << m->Berths[p.Objects.back()].ID;
        }
    }
}

TEST_F(AreaPlacesTest, EveryKeyLocationAndPathLiesOnAWayInAndOut) {
    // Locations holding track that leaves the area are exits.
    std::set<int> exits;
    for (const Circuit& c : m->Circuits)
        for (const CircuitEnd& e : c.Ends)
            if (e.Boundary && c.Location >= 0) exits.insert(c.Location);
    std::set<int> reached;
    for (const PathInfo& p : m->Paths)
        if (p.Entry >= 0) reached.insert(p.ToLocation);
    for (bool grew = true; grew;) {
        grew = false;
        for (const PathInfo& p : m->Paths)
            if (p.FromLocation >= 0 && reached.count(p.FromLocation) &&
                reached.insert(p.ToLocation).second)
                grew = true;
    }
    std::set<int> leads(exits);
    for (bool grew = true; grew;) {
        grew = false;
        for (const PathInfo& p : m->Paths)
            if (p.FromLocation >= 0 && leads.count(p.ToLocation) &&
                leads.insert(p.FromLocation).second)
                grew = true;
    }
    ASSERT_FALSE(exits.empty());
    std::vector<std::string> gaps;
    for (std::size_t l = 0; l < m->Locations.size(); ++l) {
        const LocationInfo& loc = m->Locations[l];
        if (!loc.Key) continue;
        const bool isEntry =
            std::any_of(m->Entries.begin(), m->Entries.end(), [&](const EntryInfo& e) {
                return m->Circuits[m->Signals[e.FirstSignal].BerthCircuit].Location == int(l);
            });
        if (!isEntry && !reached.count(l))
            gaps.push_back(loc.Code + " is reached from no entry point");
        if (!leads.count(l)) gaps.push_back(loc.Code + " leads to no exit");
    }
    for (std::size_t i = 0; i < m->Paths.size(); ++i) {
        const PathInfo& p = m->Paths[i];
        if (p.Entry < 0 && !reached.count(p.FromLocation))
            gaps.push_back("path " + std::to_string(i) + " is reached from no entry point");
        if (!leads.count(p.ToLocation))
            gaps.push_back("path " + std::to_string(i) + " leads to no exit");
        // Paths start and end at timing points.
        if (p.FromLocation >= 0 && !m->Locations[p.FromLocation].Key)
            gaps.push_back("path " + std::to_string(i) + " starts at no timing point");
        if (!m->Locations[p.ToLocation].Key)
            gaps.push_back("path " + std::to_string(i) + " ends at no timing point");
    }
    EXPECT_EQ(gaps, std::vector<std::string>{});
}

TEST_F(AreaPlacesTest, EveryPathIsTheFirstFoundByItsOwnCodes) {
    ASSERT_EQ(sim.Paths.Count(), static_cast<int>(m->Paths.size()));
    for (int i = 0; i < sim.Paths.Count(); ++i) {
        const TPTH& p = *sim.Paths.At(i);
        PathQuery q{p.Entry,      p.FromLocation, p.FromPlatform, p.FromPath, p.FromLine,
                    p.ToLocation, p.ToPlatform,   p.ToPath,       p.ToLine};
        const TPTH* found = sim.Paths.FindPath(q);
        ASSERT_NE(found, nullptr) << "path " << i;
        // No two paths between the same places with the same platforms and codes: the
        // second could never be found.
        EXPECT_EQ(found, &p) << "path " << i << " is hidden by path " << sim.Paths.IndexOf(found);
        // A different destination platform never finds it.
        if (!p.ToPlatform.empty()) {
            q.ToPlatform = "9";
            const TPTH* other = sim.Paths.FindPath(q);
            EXPECT_TRUE(other == nullptr || other->ToPlatform.empty()) << "path " << i;
        }
    }
}

// A timetable's step, by its places and codes, and the signals the path found for it must
// go through (in order), or none when no path may be found.
struct FindPathCase {
    const char* Entry;
    const char* From;
    const char* FromPlatform;
    const char* FromPath;
    const char* To;
    const char* ToPlatform;
    const char* ToPath;
    const char* Passes;  // nullptr: no path
};

TEST_F(AreaPlacesTest, FindPathTakesEachMoveTheRightWay) {
    const FindPathCase cases[] = {
        // Entries.
        {"WEST", "", "", "", "OSTWK", "1", "", "1 3"},
        {"EAST", "", "", "", "HRNF", "2", "", "38 36 34"},
        {"TARROW", "", "", "", "QLBY", "2", "", "44 46 32"},
        {"QUARRY", "", "", "", "HRNF", "2", "", "40 34"},
        {"QUARRY", "", "", "", "HRNF", "1", "", "40 42"},
        {"DEPOT", "", "", "", "VLMC", "1", "", "9 13"},
        {"OSTYD", "", "", "", "OSTGL", "", "", "5 7"},
        {"OSTYD", "", "", "", "VLMC", "3", "", "5 7 17"},
        // Down through Central and the tunnel, down the branch, out at either end.
        {"", "OSTWK", "1", "", "VLMC", "2", "", "3 11 15"},
        {"", "VLMC", "2", "", "HRNF", "1", "", "15 23 29 31"},
        {"", "VLMC", "5", "", "QLBY", "1", "", "21 23 25 27"},
        {"", "SKLBJ", "", "", "HRNF", "1", "", "23 29 31"},
        {"", "HRNF", "1", "", "HRNFE", "", "", "31 113"},
        // To the quarry: over the quarry line, not out on the East main.
        {"", "HRNF", "1", "", "HRNFQ", "", "", "31 117"},
        {"", "QLBY", "1", "", "TARW", "", "", "27 119"},
        // Turning back at Harnforth: from the Up platform out to the east or the quarry.
        {"", "HRNF", "2", "", "HRNFE", "", "", "33 113"},
        {"", "HRNF", "2", "", "HRNFQ", "", "", "33 117"},
        // Up through the tunnel and into any platform at Central, the bay included.
        {"", "HRNF", "2", "", "VLMC", "3", "", "34 24 20 16"},
        {"", "HRNF", "1", "", "SKLBJ", "", "", "42 24"},
        {"", "QLBY", "2", "", "VLMC", "5", "", "32 26 20 B1"},
        {"", "SKLBJ", "", "UM", "VLMC", "4", "", "24 20 18"},
        {"", "SKLBJ", "", "UB", "VLMC", "4", "", "26 20 18"},
        {"", "SKLBJ", "", "DM", "VLMC", "4", "", nullptr},
        // Westwards from Central: along the Up main, or through the loop when asked.
        {"", "VLMC", "3", "", "OSTWK", "2", "UM", "16 10 6 2"},
        {"", "VLMC", "3", "", "OSTWK", "2", "UG", "16 10 8 6 2"},
        // To the goods loop: into the loop, not past it on the Up main.
        {"", "VLMC", "4", "", "OSTGL", "", "", "18 10 8"},
        {"", "VLMC", "4", "", "OSTYD", "", "", "18 10 102"},
        {"", "OSTGL", "", "", "OSTWK", "2", "", "8 6 2"},
        {"", "OSTGL", "", "", "VLMC", "1", "", "7 13"},
        {"", "OSTWK", "2", "", "WESTL", "", "", "2 100"},
        {"", "VLMC", "1", "", "VLMDEP", "", "", "12 104"},
        // Turning back at Ostwick's Down platform.
        {"", "OSTWK", "1", "", "WESTL", "", "", "4 100"},
        // Moves the layout does not make.
        {"EAST", "", "", "", "HRNF", "1", "", nullptr},
        {"", "VLMC", "5", "", "OSTWK", "2", "", nullptr},
        {"", "VLMC", "2", "", "HRNF", "2", "", nullptr},
    };
    for (const FindPathCase& c : cases) {
        SCOPED_TRACE(std::string(*c.Entry ? c.Entry : c.From) + " " + c.FromPlatform + " to " +
                     c.To + " " + c.ToPlatform);
        TENT* entry = *c.Entry ? sim.EntryPoints.FindID(c.Entry) : nullptr;
        TLOC* from = *c.From ? sim.Locations.FindID(c.From) : nullptr;
        TLOC* to = sim.Locations.FindID(c.To);
        ASSERT_TRUE(entry || from);
        ASSERT_NE(to, nullptr);
        const TPTH* found = sim.Paths.FindPath(
            {entry, from, c.FromPlatform, c.FromPath, "", to, c.ToPlatform, c.ToPath, ""});
        if (!c.Passes) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        const PathInfo& info = m->Paths[sim.Paths.IndexOf(found)];
        EXPECT_TRUE(PassesInOrder(PlatesOf(*m, info), c.Passes))
            << "goes through " << Joined(PlatesOf(*m, info)) << ", not " << c.Passes;
        EXPECT_EQ(PlatesOf(*m, info).back(),
                  std::string(c.Passes).substr(std::string(c.Passes).rfind(' ') + 1))
            << "arrives elsewhere";
    }
}

TEST_F(AreaPlacesTest, ATimetableGivingOnlyLocationsAndPlatformsGetsItsCodesFromTheRules) {
    struct Stop {
        const char* Location;
        const char* Platform;
        const char* Passes;  // the signals the path to this stop goes through
    };
    struct Journey {
        const char* Entry;
        std::vector<Stop> Stops;
    };
    const std::vector<Journey> journeys = {
        {"WEST",
         {{"OSTWK", "1", "1 3"},
          {"VLMC", "2", "3 15"},
          {"HRNF", "1", "15 31"},
          {"HRNFE", "", "31 113"}}},
        // Along the Up main to Ostwick, not through the loop.
        {"EAST",
         {{"HRNF", "2", "38 34"},
          {"VLMC", "3", "34 16"},
          {"OSTWK", "2", "16 10 6 2"},
          {"WESTL", "", "2 100"}}},
        // Arriving at Skelbrook off the branch, the train goes on from the branch's signal.
        {"TARROW", {{"QLBY", "2", "44 32"}, {"SKLBJ", "", "32 26"}, {"VLMC", "5", "26 20"}}},
        {"EAST", {{"HRNF", "2", "38 34"}, {"SKLBJ", "", "34 24"}, {"VLMC", "4", "24 20 18"}}},
        // The tunnel closed: in from the east, back out the same way.
        {"EAST", {{"HRNF", "2", "38 34"}, {"HRNFE", "", "33 113"}}},
        {"", {{"VLMC", "5", ""}, {"QLBY", "1", "21 27"}, {"TARW", "", "27 119"}}},
        {"QUARRY", {{"HRNF", "2", "40 34"}, {"VLMC", "4", "34 18"}, {"OSTYD", "", "18 102"}}},
        {"OSTYD", {{"OSTGL", "", "5 7"}, {"VLMC", "3", "7 17"}, {"SKLBJ", "", "17 23"}}},
    };
    for (const Journey& j : journeys) {
        SCOPED_TRACE(std::string("from ") + (*j.Entry ? j.Entry : j.Stops.front().Location));
        TENT* entry = *j.Entry ? sim.EntryPoints.FindID(j.Entry) : nullptr;
        std::vector<std::string> path(j.Stops.size()), line(j.Stops.size());
        std::vector<TLOC*> locs;
        for (const Stop& s : j.Stops) {
            locs.push_back(sim.Locations.FindID(s.Location));
            ASSERT_NE(locs.back(), nullptr) << s.Location;
        }
        // As a timetable is prepared: the entry step, then each pair of stops.
        std::string scratchPath, scratchLine;
        if (entry)
            sim.CodeRules.CheckInsertion({entry, nullptr, &scratchPath, &scratchLine}, true,
                                         {nullptr, locs[0], &path[0], &line[0]});
        for (std::size_t k = 0; k + 1 < locs.size(); ++k)
            sim.CodeRules.CheckInsertion({nullptr, locs[k], &path[k], &line[k]}, k == 0 && !entry,
                                         {nullptr, locs[k + 1], &path[k + 1], &line[k + 1]});
        for (std::size_t k = entry ? 0 : 1; k < locs.size(); ++k) {
            SCOPED_TRACE(std::string("to ") + j.Stops[k].Location + " " + j.Stops[k].Platform);
            const TPTH* found =
                k == 0 ? sim.Paths.FindPath({entry, nullptr, "", "", "", locs[0],
                                             j.Stops[0].Platform, path[0], line[0]})
                       : sim.Paths.FindPath({nullptr, locs[k - 1], j.Stops[k - 1].Platform,
                                             path[k - 1], line[k - 1], locs[k], j.Stops[k].Platform,
                                             path[k], line[k]});
            ASSERT_NE(found, nullptr) << "path code '" << path[k] << "' line '" << line[k] << "'";
            const PathInfo& info = m->Paths[sim.Paths.IndexOf(found)];
            EXPECT_TRUE(PassesInOrder(PlatesOf(*m, info), j.Stops[k].Passes))
                << "goes through " << Joined(PlatesOf(*m, info));
        }
    }
}

TEST_F(AreaPlacesTest, SubAreasHoldTheRoutesCrossingTheirTrack) {
    // Every sub-area has its indicator and holds routes; every route a signaller sets
    // lies in the sub-area of each place whose track it crosses, and in no other.
    ASSERT_GE(m->SubAreas.size(), 4u);
    for (const SubAreaInfo& s : m->SubAreas) {
        EXPECT_GT(s.Column, 0) << s.Label;
        EXPECT_FALSE(s.Routes.empty()) << s.Label;
    }
    auto labelsOf = [&](const std::string& from, const std::string& to) {
        std::vector<std::string> labels;
        for (const RouteInfo& r : m->Routes) {
            if (r.Class != ClassMain || m->Signals[r.Entrance].Plate != from ||
                m->Signals[r.Exit].Plate != to)
                continue;
            for (int a : r.SubAreas) labels.push_back(m->SubAreas[a].Label);
            break;
        }
        return labels;
    };
    using Labels = std::vector<std::string>;
    EXPECT_EQ(labelsOf("1", "3"), Labels{"OSTWICK"});
    EXPECT_EQ(labelsOf("10", "106"), Labels{"GOODS LOOP YARD DEPOT"});
    EXPECT_EQ(labelsOf("2", "100"), Labels{"OSTWICK"});
    EXPECT_EQ(labelsOf("9", "13"), (Labels{"GOODS LOOP YARD DEPOT", "VELLMOOR CENTRAL"}));
    EXPECT_EQ(labelsOf("20", "16"), Labels{"VELLMOOR CENTRAL"});
    EXPECT_EQ(labelsOf("23", "115"), Labels{"SKELBROOK"});
    // Harnforth's routes in the Harnforth sub-area, the tunnel's plain line in none.
    EXPECT_EQ(labelsOf("31", "117"), Labels{"HARNFORTH"});
    EXPECT_EQ(labelsOf("38", "36"), Labels{"HARNFORTH"});
    EXPECT_EQ(labelsOf("44", "124"), Labels{"TARROW BRANCH"});
    for (const RouteInfo& r : m->Routes) {
        if (r.Class == ClassAuto) {
            EXPECT_TRUE(r.SubAreas.empty()) << r.ID;
            continue;
        }
        EXPECT_FALSE(r.SubAreas.empty()) << r.ID;
    }
}

TEST_F(AreaPlacesTest, StoppingPointsAtEveryPlatformFaceAndTimingPoint) {
    std::set<std::pair<int, std::string>> faces;
    std::set<int> timing;
    for (const TULCLOC* p : area->StopPoints) {
        ASSERT_NE(p->Location, nullptr);
        const int l = sim.Locations.IndexOf(p->Location);
        faces.insert({l, p->Platform});
        timing.insert(l);
        EXPECT_GE(p->Position, 0);
        if (p->ContinuationPoint) {
            EXPECT_EQ(p->ContinuationPoint->PreviousPoint, p);
        }
    }
    for (std::size_t l = 0; l < m->Locations.size(); ++l) {
        for (int pl : m->Locations[l].Platforms)
            EXPECT_TRUE(faces.count({int(l), m->Platforms[pl].Code}))
                << m->Locations[l].Code << " platform " << m->Platforms[pl].Code;
        if (m->Locations[l].Key) {
            EXPECT_TRUE(timing.count(int(l))) << m->Locations[l].Code;
        }
    }
}

TEST_F(AreaPlacesTest, LocationsHoldTheirPlatformBerthsOnlyAndFacingPlatforms) {
    for (std::size_t l = 0; l < m->Locations.size(); ++l) {
        std::set<int> platformCircuits;
        for (int p : m->Locations[l].Platforms)
            platformCircuits.insert(m->Platforms[p].Circuits.begin(),
                                    m->Platforms[p].Circuits.end());
        for (int b : m->Locations[l].Berths)
            EXPECT_TRUE(platformCircuits.count(m->Berths[b].Circuit))
                << m->Locations[l].Code << " berth " << m->Berths[b].ID;
    }
    const TLOC* central = sim.Locations.FindID("VLMC");
    ASSERT_NE(central, nullptr);
    EXPECT_TRUE(central->IsAdjacent("1", "2"));
    EXPECT_TRUE(central->IsAdjacent("4", "3"));
    EXPECT_FALSE(central->IsAdjacent("2", "3"));
    EXPECT_FALSE(central->Lines.empty());
}

TEST_F(AreaPlacesTest, EntryPointsAreBuiltAndReadyAndPathsLinkRoutesForARS) {
    ASSERT_EQ(sim.EntryPoints.Count(), static_cast<int>(m->Entries.size()));
    sim.EntryPoints.ForEach([&](TENT& e) {
        EXPECT_FALSE(e.ULCs.Empty()) << e.ID;
        EXPECT_TRUE(e.CanEnter()) << e.ID;
    });
    EXPECT_GT(sim.Paths.LinkedObjectCount(), 0) << "the paths were linked after they were made";
    // Along every path that keeps its direction, each berth and route leads ARS on to
    // the object after it.
    for (int i = 0; i < sim.Paths.Count(); ++i) {
        const TPTH& p = *sim.Paths.At(i);
        if (p.StartDirection != p.EndDirection) continue;
        for (int k = 0; k + 1 < p.Objects.Count(); ++k) {
            const std::vector<ARSLink>& links = sim.Paths.ARSRoutes(p.Objects.GetItem(k));
            EXPECT_TRUE(std::any_of(links.begin(), links.end(),
                                    [&](const ARSLink& l) {
                                        return l.Next == p.Objects.GetItem(k + 1) &&
                                               l.Direction == p.StartDirection;
                                    }))
                << "path " << i << " object " << k;
        }
    }
}

TEST_F(AreaPlacesTest, LineClosureRemindsOnlyTheTunnelsOwnSignals) {
    const int closed = m->LocationByCode("GRYTUN");
    ASSERT_GE(closed, 0);
    const LocationInfo& tunnel = m->Locations[closed];
    ASSERT_FALSE(area->ClosureSignals.empty());
    for (std::size_t s = 0; s < m->Signals.size(); ++s) {
        const SignalInfo& si = m->Signals[s];
        const bool inside = si.PostX >= tunnel.X0 && si.PostX <= tunnel.X1 &&
                            si.TrackY >= tunnel.Y0 && si.TrackY <= tunnel.Y1;
        const bool reminded = std::find(area->ClosureSignals.begin(), area->ClosureSignals.end(),
                                        area->Signals[s]) != area->ClosureSignals.end();
        EXPECT_EQ(reminded, inside) << "signal " << si.Plate;
    }
}

}  // namespace
}  // namespace kestra::area
