// The built-in area's plans for the classes still to come (berths, entry points,
// locations and platforms, paths, ARS sub-areas) and its track data: consistent with the
// railway the objects were built from.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>

#include "area/area_builder.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "sim/sim.h"

namespace kestra {
namespace {

using namespace area;

class AreaData : public ::testing::Test {
  protected:
    void SetUp() override {
        built = BuildArea(sim);
        ASSERT_TRUE(built->Model->Valid());
    }
    const AreaModel& m() const { return *built->Model; }
    Sim sim;
    std::shared_ptr<BuiltArea> built;
};

TEST_F(AreaData, EveryEntryPointComesInFromTheBoundaryToItsFirstSignal) {
    ASSERT_GE(m().Entries.size(), 5u);
    std::set<std::string> codes;
    for (const EntryInfo& e : m().Entries) {
        SCOPED_TRACE(e.Code);
        EXPECT_TRUE(codes.insert(e.Code).second);
        ASSERT_FALSE(e.Subroutes.empty());
        const SubrouteInfo& first = m().Subroutes[e.Subroutes.front()];
        EXPECT_TRUE(m().Circuits[first.Circuit].Ends[first.From].Boundary);
        for (std::size_t i = 1; i < e.Subroutes.size(); ++i) {
            const auto& next = m().Subroutes[e.Subroutes[i - 1]].Next;
            EXPECT_NE(std::find(next.begin(), next.end(), e.Subroutes[i]), next.end());
        }
        EXPECT_EQ(m().Subroutes[e.Subroutes.back()].EndSignal, e.FirstSignal);
        EXPECT_EQ(e.Berth, m().Signals[e.FirstSignal].Berth);
        // On a clean railway the entry route is free to set and proved, as a train
        // coming in needs it.
        TULCList ulcs;
        for (int s : e.Subroutes) ulcs.Add({}, built->Subroutes[s]);
        EXPECT_TRUE(ulcs.IsFreeToSet()) << sim.LastFailReason;
        EXPECT_TRUE(ulcs.RouteProved());
        // And the first signal leads on into the railway.
        EXPECT_FALSE(built->Signals[e.FirstSignal]->Routes.Empty());
    }
}

TEST_F(AreaData, StationsHaveTheirPlatformsAndTheCentralStationABayThatEndsAtBufferStops) {
    std::map<std::string, std::set<std::string>> platforms;
    for (const PlatformInfo& p : m().Platforms) {
        SCOPED_TRACE(p.Code);
        ASSERT_GE(p.Location, 0);
        EXPECT_TRUE(platforms[m().Locations[p.Location].Code].insert(p.Code).second)
            << "platform number twice";
        ASSERT_FALSE(p.Circuits.empty());
        for (int c : p.Circuits) EXPECT_TRUE(m().Circuits[c].Platform);
        EXPECT_FALSE(p.Subroutes.empty());
    }
    EXPECT_EQ(platforms["VLMC"], (std::set<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(platforms["OSTWK"].size(), 2u);
    EXPECT_EQ(platforms["HRNF"].size(), 2u);
    EXPECT_EQ(platforms["QLBY"].size(), 2u);
    // The bay: its circuit ends at buffer stops with a marker to run up to.
    const auto bay =
        std::find_if(m().Platforms.begin(), m().Platforms.end(), [&](const PlatformInfo& p) {
            return m().Locations[p.Location].Code == "VLMC" && p.Code == "5";
        });
    ASSERT_NE(bay, m().Platforms.end());
    bool buffers = false;
    for (int c : bay->Circuits)
        for (const CircuitEnd& e : m().Circuits[c].Ends) buffers = buffers || e.DeadEnd;
    EXPECT_TRUE(buffers);
    for (const LocationInfo& l : m().Locations) {
        SCOPED_TRACE(l.Code);
        EXPECT_EQ(l.StandardDwell, 35);
        EXPECT_EQ(l.MinimumDwell, 25);
        if (!l.NonStation) {
            EXPECT_FALSE(l.Platforms.empty());
        }
    }
}

// A train ready to start may stand anywhere along the platform in rear of its signal
// (a short train at the buffer-stop end of the bay is off the berth circuit): the
// operated plunger stays operated until the whole platform is clear.
TEST_F(AreaData, EveryTrainReadyToStartCoversThePlatformInRearOfItsSignal) {
    int platformSignals = 0;
    for (std::size_t i = 0; i < m().Signals.size(); ++i) {
        const SignalInfo& info = m().Signals[i];
        if (!info.TRTS) continue;
        const TSIG& s = *static_cast<TSIG*>(built->Signals[i]);
        SCOPED_TRACE(s.ID);
        ASSERT_GE(info.BerthCircuit, 0);
        EXPECT_TRUE(s.TRTSCircuits.IndexOf(built->Circuits[info.BerthCircuit]) >= 0);
        for (const PlatformInfo& p : m().Platforms) {
            if (std::find(p.Circuits.begin(), p.Circuits.end(), info.BerthCircuit) ==
                p.Circuits.end())
                continue;
            ++platformSignals;
            for (int c : p.Circuits) EXPECT_GE(s.TRTSCircuits.IndexOf(built->Circuits[c]), 0);
        }
    }
    EXPECT_GT(platformSignals, 5);
}

TEST_F(AreaData, EveryPathJoinsItsEndsThroughBerthsAndRoutesInOrder) {
    ASSERT_GE(m().Paths.size(), 15u);
    for (const PathInfo& p : m().Paths) {
        const std::string from =
            p.Entry >= 0 ? m().Entries[p.Entry].Code : m().Locations[p.FromLocation].Code;
        SCOPED_TRACE(from + " " + p.FromPlatform + " to " + m().Locations[p.ToLocation].Code + " " +
                     p.ToPlatform);
        std::vector<int> routes;
        int previous = 0;  // 1 berth, 2 route
        for (int o : p.Objects) {
            if (o >= 0) {
                EXPECT_NE(previous, 1) << "two berths in a row";
                previous = 1;
            } else {
                routes.push_back(-1 - o);
                previous = 2;
            }
        }
        ASSERT_FALSE(routes.empty());
        EXPECT_GE(p.Objects.front(), 0) << "a path starts at a berth";
        const RouteInfo& first = m().Routes[routes.front()];
        if (p.Entry >= 0) {
            EXPECT_EQ(first.Entrance, m().Entries[p.Entry].FirstSignal);
        } else {
            // From a platform, or from the track of a timing point without platforms.
            const SignalInfo& start = m().Signals[first.Entrance];
            bool onPlatform = m().Locations[p.FromLocation].Platforms.empty() &&
                              (start.Location == p.FromLocation ||
                               m().Circuits[start.BerthCircuit].Location == p.FromLocation);
            for (int pl : m().Locations[p.FromLocation].Platforms) {
                const PlatformInfo& pi = m().Platforms[pl];
                if (!p.FromPlatform.empty() && pi.Code != p.FromPlatform) continue;
                onPlatform = onPlatform || std::count(pi.Circuits.begin(), pi.Circuits.end(),
                                                      m().Signals[first.Entrance].BerthCircuit);
            }
            EXPECT_TRUE(onPlatform) << "the path does not start from its platform";
        }
        for (std::size_t i = 1; i < routes.size(); ++i) {
            EXPECT_EQ(m().Routes[routes[i - 1]].Exit, m().Routes[routes[i]].Entrance);
        }
        // The last route reaches the platform (or the timing point) it is for.
        const LocationInfo& to = m().Locations[p.ToLocation];
        bool arrives = false;
        for (int s : m().Routes[routes.back()].Subroutes) {
            for (int cell : m().Circuits[m().Subroutes[s].Circuit].Cells) {
                const TrackCell& c = m().Cells[cell];
                arrives = arrives || (c.X >= to.X0 && c.X <= to.X1 && c.Y >= to.Y0 && c.Y <= to.Y1);
            }
        }
        EXPECT_TRUE(arrives);
        EXPECT_EQ(p.StartDirection, m().Subroutes[first.Subroutes.front()].Direction);
        EXPECT_EQ(p.EndDirection,
                  m().Subroutes[m().Routes[routes.back()].Subroutes.back()].Direction);
    }
}

TEST_F(AreaData, EveryRouteTheSignallerCanSetLiesInAnARSSubArea) {
    ASSERT_GE(m().SubAreas.size(), 4u);
    std::set<char> digits;
    for (const SubAreaInfo& s : m().SubAreas) {
        EXPECT_TRUE(digits.insert(s.Digit).second);
        EXPECT_FALSE(s.Routes.empty()) << s.Label;
        EXPECT_FALSE(s.Label.empty());
    }
    for (std::size_t r = 0; r < m().Routes.size(); ++r) {
        if (m().Routes[r].Class == ClassAuto) continue;
        // In the sub-area of every location whose track it crosses.
        EXPECT_GE(m().Routes[r].SubAreas.size(), 1u) << m().Routes[r].ID;
    }
}

TEST_F(AreaData, EveryBerthLiesOnTheTrackInRearOfItsSignal) {
    std::set<std::pair<int, int>> cells;
    for (const BerthInfo& b : m().Berths) {
        SCOPED_TRACE(b.ID);
        for (int x = b.X; x < b.X + 4; ++x) {
            EXPECT_TRUE(cells.insert({x, b.Y}).second) << "two berths on one cell";
            const int c = m().CellAt(x, b.Y);
            ASSERT_GE(c, 0);
            EXPECT_EQ(m().Cells[c].Kind, CellKind::Plain);
            EXPECT_FALSE(m().Cells[c].Joint);
        }
        if (b.Signal < 0) {
            // A platform's second berth: on the track of a platform.
            EXPECT_TRUE(m().Circuits[b.Circuit].Platform);
            EXPECT_FALSE(b.External);
            continue;
        }
        const SignalInfo& s = m().Signals[b.Signal];
        EXPECT_EQ(b.Circuit, s.BerthCircuit);
        EXPECT_EQ(b.Y, s.TrackY);
        EXPECT_EQ(b.External, s.Fringe);
        // The signal's post stands over an end of its berth; a stop marker's berth may
        // stand back from the buffer stops and the joint it stands at.
        const int rearEnd = s.RightFacing ? b.X + 3 : b.X;
        if (s.Type == SignalType::Marker)
            EXPECT_LE(std::abs(s.PostX - rearEnd), 4);
        else
            EXPECT_EQ(s.PostX, rearEnd);
    }
    int controlled = 0;
    for (const SignalInfo& s : m().Signals)
        controlled += (s.Type == SignalType::Main || s.Type == SignalType::Shunt);
    EXPECT_GE(static_cast<int>(m().Berths.size()), controlled);
}

// Line speeds of a secondary main line: up to 90 mph on the open line, slower through
// stations and junctions, walking pace in the yard; the tunnel climbs from Skelbrook.
TEST_F(AreaData, LineSpeedsAndGradientsAreThoseOfASecondaryMainLine) {
    float fastest = 0, slowest = 1000;
    int rising = 0, falling = 0;
    sim.Subroutes.ForEach([&](TULC& s) {
        fastest = std::max(fastest, s.PassengerSpeed);
        slowest = std::min(slowest, s.PassengerSpeed);
        rising += s.Scale < 1.0f;
        falling += s.Scale > 1.0f;
        EXPECT_GE(s.Scale, 0.7f);
        EXPECT_LE(s.Scale, 1.1f);
        if (s.GoodsLine) {
            EXPECT_LE(s.PassengerSpeed * 2.25f, 15.5f);
        }
    });
    EXPECT_NEAR(fastest * 2.25f, 90.0f, 0.5f);
    EXPECT_NEAR(slowest * 2.25f, 10.0f, 0.5f);
    EXPECT_GT(rising, 5);
    EXPECT_GT(falling, 5);
    // Running right into the tunnel climbs; the same circuits running left fall.
    const TTCS* tunnel = sim.TrackCircuits.FindID(
        m().Circuits[m().Subroutes[m().Routes[m().Signals[m().SignalByPlate("105")].Routes.front()]
                                       .Subroutes.front()]
                         .Circuit]
            .ID);
    ASSERT_NE(tunnel, nullptr);
    tunnel->Subroutes.ForEach([&](TULC& s) {
        if (s.Direction == 1) {
            EXPECT_LT(s.Scale, 1.0f);
        } else
            EXPECT_GT(s.Scale, 1.0f);
    });
}

// Block sections on the running lines: the open-line part (75 mph or more) of a route from
// one main or automatic signal to the next is no longer than about a fast train's braking
// distance plus its overlap, so headways stay even along the line (the Up main from
// Central's starters to Ostwick needs the automatic 106 for that).
TEST_F(AreaData, OpenLineSectionsBetweenRunningSignalsAreOfEvenLength) {
    constexpr int kLongestSection = 1800;
    int open = 0;
    for (const RouteInfo& r : m().Routes) {
        if (r.Class != ClassMain && r.Class != ClassAuto) continue;
        // Single-line working runs against the line's signalling, section or not.
        if (r.WrongRoad) continue;
        ASSERT_FALSE(r.Subroutes.empty()) << r.ID;
        int fast = 0;
        for (int s : r.Subroutes)
            if (m().Subroutes[s].PassengerMph >= 75) fast += m().Subroutes[s].Length;
        if (fast == 0) continue;
        ++open;
        EXPECT_LE(fast, kLongestSection) << r.ID << " runs " << fast << " m on the open line";
    }
    EXPECT_GT(open, 5);
}

// An automatic signal clears only while nothing runs through its section the other way:
// every subroute of its section, taken the other way, is one that must be free. (Over
// the tunnel the overlap ahead covers that too; the section's own entries must not
// depend on it.)
TEST_F(AreaData, AnAutomaticIsHeldByAnyRouteThroughItsSectionTheOtherWay) {
    int automatics = 0;
    for (const SignalInfo& s : m().Signals) {
        if (s.Type != SignalType::Automatic || s.Routes.empty()) continue;
        ++automatics;
        for (int u : m().Routes[s.Routes.front()].Subroutes) {
            const int opposite = m().Subroutes[u].Opposite;
            if (opposite < 0) continue;
            EXPECT_NE(std::find(s.MustBeFree.begin(), s.MustBeFree.end(), opposite),
                      s.MustBeFree.end())
                << s.Plate << ": " << m().Circuits[m().Subroutes[u].Circuit].ID;
        }
    }
    EXPECT_GT(automatics, 10);
}

// Single-line working through Greyhallow Tunnel: the wrong-road routes are exactly the
// two through the tunnel (Down trains east along the Up main, Up trains west along the
// Down main), the routes of the line's own direction that pass the backs of the
// single-line signals 28 and 35 are not, and no path of a train runs wrong road.
TEST_F(AreaData, OnlyTheTunnelsSingleLineRoutesRunWrongRoadAndNoPathTakesThem) {
    std::set<std::string> wrongRoad;
    for (const RouteInfo& r : m().Routes)
        if (r.WrongRoad) wrongRoad.insert(r.ID);
    EXPECT_EQ(wrongRoad, (std::set<std::string>{"R23-35M", "R42-28M"}));
    for (const char* id : {"R23-105M", "R34-118M", "R42-118M", "R28-110M", "R35-31M"}) {
        bool found = false;
        for (const RouteInfo& r : m().Routes) found = found || r.ID == id;
        EXPECT_TRUE(found) << id;
    }
    for (std::size_t p = 0; p < m().Paths.size(); ++p)
        for (int step : m().Paths[p].Objects)
            if (step < 0) {
                EXPECT_FALSE(m().Routes[-1 - step].WrongRoad)
                    << "path " << p << " runs over " << m().Routes[-1 - step].ID;
            }
}

// Automatic signals are numbered in the order a train meets them: rising along the Down
// lines (left to right), falling along the Up lines. Each line is followed from a signal
// on it over the straight road (main or automatic routes with no points reversed).
TEST_F(AreaData, AutomaticPlatesRunInOrderAlongEachLine) {
    struct LineCase {
        const char* Name;
        const char* Start;
        bool Down;
    };
    const LineCase cases[] = {
        {"Down main", "1", true},
        {"Down branch", "115", true},
        {"Up main", "38", false},
        {"Up branch", "44", false},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.Name);
        int sig = m().SignalByPlate(c.Start);
        ASSERT_GE(sig, 0);
        std::vector<int> plates;
        std::string seen;
        for (int step = 0; step < 40 && sig >= 0; ++step) {
            const SignalInfo& s = m().Signals[sig];
            seen += s.Plate + " ";
            if (s.Type == SignalType::Automatic) plates.push_back(std::stoi(s.Plate));
            int next = -1;
            for (int r : s.Routes) {
                const RouteInfo& route = m().Routes[r];
                if ((route.Class == ClassMain || route.Class == ClassAuto) &&
                    route.ReversePoints == 0) {
                    next = route.Exit;
                    break;
                }
            }
            sig = next;
        }
        SCOPED_TRACE(seen);
        ASSERT_GE(plates.size(), 3u);
        for (std::size_t i = 1; i < plates.size(); ++i) {
            if (c.Down)
                EXPECT_GT(plates[i], plates[i - 1]);
            else
                EXPECT_LT(plates[i], plates[i - 1]);
        }
    }
}

}  // namespace
}  // namespace kestra
