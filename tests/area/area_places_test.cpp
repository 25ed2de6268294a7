// The built-in area's places made ready for trains: entry sections long enough to stop
// in, paths that join their ends through real routes and end in their arrival berth,
// every key location on some way in and out, paths found by their codes, code rules
// that complete a timetable given without codes, stopping points everywhere a train
// may be booked, and the objects built from it all.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
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

TEST_F(AreaPlacesTest, EveryPathJoinsItsEndsThroughRoutesAndEndsInItsArrivalBerth) {
    ASSERT_FALSE(m->Paths.empty());
    // Gaps the layout still has, each named here until the layout closes it: a new gap
    // fails, and so does a closed one left on the list.
    const std::vector<std::string> knownGaps = {
        "path 9 to HRNFE : does not arrive",
        "path 16 to VLMC 5: ends in no berth",
        "path 24 to HRNFQ : does not arrive",
    };
    std::vector<std::string> gaps;
    for (std::size_t i = 0; i < m->Paths.size(); ++i) {
        const PathInfo& p = m->Paths[i];
        const std::string what = "path " + std::to_string(i) + " to " +
                                 m->Locations[p.ToLocation].Code + " " + p.ToPlatform;
        std::vector<int> routes;
        for (int o : p.Objects)
            if (o < 0) routes.push_back(-1 - o);
        ASSERT_FALSE(routes.empty()) << what;
        for (std::size_t r = 0; r + 1 < routes.size(); ++r)
            EXPECT_EQ(m->Routes[routes[r]].Exit, m->Routes[routes[r + 1]].Entrance) << what;
        const RouteInfo& first = m->Routes[routes.front()];
        if (p.Entry >= 0) {
            EXPECT_EQ(first.Entrance, m->Entries[p.Entry].FirstSignal) << what;
        } else {
            // From a platform (or the timing point's track) of the from-location.
            const int circuit = m->Signals[first.Entrance].BerthCircuit;
            EXPECT_EQ(m->Circuits[circuit].Location, p.FromLocation) << what;
        }
        EXPECT_EQ(p.StartDirection, m->Subroutes[first.Subroutes.front()].Direction) << what;
        const RouteInfo& last = m->Routes[routes.back()];
        EXPECT_EQ(p.EndDirection, m->Subroutes[last.Subroutes.back()].Direction) << what;
        // Every route runs in its own direction throughout.
        for (int r : routes)
            for (int s : m->Routes[r].Subroutes)
                EXPECT_EQ(m->Subroutes[s].Direction,
                          m->Subroutes[m->Routes[r].Subroutes.front()].Direction)
                    << what;
        if (p.Objects.back() < 0) {
            gaps.push_back(what + ": ends in no berth");
        } else {
            EXPECT_EQ(p.Objects.back(), m->Signals[last.Exit].Berth) << what;
        }
        // The last route reaches the destination's platform or timing track.
        bool arrives = false;
        for (int s : last.Subroutes) {
            const int c = m->Subroutes[s].Circuit;
            if (m->Circuits[c].Location == p.ToLocation) arrives = true;
        }
        if (!arrives) gaps.push_back(what + ": does not arrive");
    }
    EXPECT_EQ(gaps, knownGaps);
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
    const std::vector<std::string> knownGaps = {
        "OSTGL leads to no exit",
        "SKLBJ is reached from no entry point",
        "SKLBJ leads to no exit",
        "path 21 leads to no exit",
    };
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
    }
    EXPECT_EQ(gaps, knownGaps);
}

TEST_F(AreaPlacesTest, FindPathOverTheWholeTable) {
    ASSERT_EQ(sim.Paths.Count(), static_cast<int>(m->Paths.size()));
    for (int i = 0; i < sim.Paths.Count(); ++i) {
        const TPTH& p = *sim.Paths.At(i);
        PathQuery q{p.Entry,      p.FromLocation, p.FromPlatform, p.FromPath, p.FromLine,
                    p.ToLocation, p.ToPlatform,   p.ToPath,       p.ToLine};
        const TPTH* found = sim.Paths.FindPath(q);
        ASSERT_NE(found, nullptr) << "path " << i;
        // The first of the paths with these ends and codes: this one, or one earlier
        // that no code tells apart.
        EXPECT_LE(sim.Paths.IndexOf(found), i) << "path " << i;
        EXPECT_EQ(found->ToLocation, p.ToLocation);
        if (!p.ToPlatform.empty()) {
            EXPECT_EQ(found->ToPlatform, p.ToPlatform) << "path " << i;
        }
        // A different destination platform never finds it.
        if (!p.ToPlatform.empty()) {
            q.ToPlatform = "9";
            const TPTH* other = sim.Paths.FindPath(q);
            EXPECT_TRUE(other == nullptr || other->ToPlatform.empty()) << "path " << i;
        }
    }
}

TEST_F(AreaPlacesTest, ATimetableGivingOnlyLocationsAndPlatformsGetsItsCodesFromTheRules) {
    struct Stop {
        const char* location;
        const char* platform;
    };
    const std::vector<std::vector<Stop>> journeys = {
        {{"OSTWK", "1"}, {"VLMC", "2"}, {"HRNF", "1"}, {"HRNFE", ""}},
        {{"HRNF", "2"}, {"VLMC", "3"}, {"OSTWK", "2"}, {"WESTL", ""}},
        {{"QLBY", "2"}, {"VLMC", "5"}},
    };
    const std::vector<const char*> entries = {"WEST", "EAST", "TARROW"};
    for (std::size_t j = 0; j < journeys.size(); ++j) {
        TENT* entry = sim.EntryPoints.FindID(entries[j]);
        ASSERT_NE(entry, nullptr) << entries[j];
        std::vector<std::string> path(journeys[j].size()), line(journeys[j].size());
        std::string scratchPath, scratchLine;
        std::vector<TLOC*> locs;
        for (const Stop& s : journeys[j]) {
            locs.push_back(sim.Locations.FindID(s.location));
            ASSERT_NE(locs.back(), nullptr) << s.location;
        }
        sim.CodeRules.CheckInsertion({entry, nullptr, &scratchPath, &scratchLine}, true,
                                     {nullptr, locs[0], &path[0], &line[0]});
        for (std::size_t k = 0; k + 1 < locs.size(); ++k)
            sim.CodeRules.CheckInsertion({nullptr, locs[k], &path[k], &line[k]}, false,
                                         {nullptr, locs[k + 1], &path[k + 1], &line[k + 1]});
        EXPECT_NE(sim.Paths.FindPath({entry, nullptr, "", "", "", locs[0], journeys[j][0].platform,
                                      path[0], line[0]}),
                  nullptr)
            << entries[j] << " to " << journeys[j][0].location;
        for (std::size_t k = 0; k + 1 < locs.size(); ++k) {
            EXPECT_NE(sim.Paths.FindPath({nullptr, locs[k], journeys[j][k].platform, path[k],
                                          line[k], locs[k + 1], journeys[j][k + 1].platform,
                                          path[k + 1], line[k + 1]}),
                      nullptr)
                << journeys[j][k].location << " to " << journeys[j][k + 1].location << " line "
                << line[k + 1];
            EXPECT_FALSE(line[k + 1].empty()) << "no rule filled " << journeys[j][k + 1].location;
        }
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
