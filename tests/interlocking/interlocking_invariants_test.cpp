#include "fakes/interlocking_invariants.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/random_signaller.h"
#include "fakes/run_seeds.h"

namespace kestra {
namespace {

using test::DoubleJunction;
using test::InterlockingInvariants;
using test::RailwayBuilder;
using test::TestSim;

class InvariantsTest : public ::testing::Test {
  protected:
    InvariantsTest() : build(*t), j(BuildDoubleJunction(build)), checker(*t) {}
    bool Reports(const std::string& fragment) {
        for (const std::string& v : checker.Check()) {
            if (v.find(fragment) != std::string::npos) return true;
        }
        return false;
    }

    TestSim t;
    RailwayBuilder build;
    DoubleJunction j;
    InterlockingInvariants checker;
};

// The checker must be able to fail: each planted fault is reported.
TEST_F(InvariantsTest, EachPlantedFaultIsReported) {
    EXPECT_TRUE(checker.Check().empty());

    j.TJab->Lock();
    j.TXca->Lock();
    EXPECT_TRUE(Reports("both route-locked"));
    j.TXca->Release();

    j.TJac->Lock();
    EXPECT_TRUE(Reports("route-locked over both"));
    j.TJac->Release();

    j.P1->CallReverse();  // under the route locking of TJ AB
    EXPECT_TRUE(Reports("driven reverse under the route locking of TJ AB"));
    EXPECT_TRUE(Reports("with points P1 not called normal"));
    j.TJab->Release();

    j.TM1->Occupy();
    j.P1->CallNormal();  // not in the circuit: allowed
    j.TJ->Occupy();
    j.P1->CallReverse();
    EXPECT_TRUE(Reports("with circuit TJ occupied"));

    j.SASB->RouteSet = true;
    EXPECT_TRUE(Reports("route SA-SB set with TJ AC not locked"));
    j.SASB->RouteSet = false;

    j.TJ->Vacate();
    j.SAStraight->SetWithRoute();
    j.TJac->SetOverlap(j.SADiverging);  // planted: the interlocking would refuse it
    EXPECT_TRUE(Reports("overlaps set"));
}

// One railway per planted fault, with its checker already attached and looked once.
struct PlantedJunction {
    PlantedJunction() : build(*t), j(BuildDoubleJunction(build)), checker(*t) {}
    TestSim t;
    RailwayBuilder build;
    DoubleJunction j;
    InterlockingInvariants checker;
};

struct PlantedFault {
    const char* Name;
    // Plants the fault; the checker has seen the clean railway first.
    std::function<void(PlantedJunction&)> Plant;
    const char* Reported;
};

// Each condition of the checker, planted alone: deleting any one of them from the
// checker makes its row fail.
TEST(InvariantsPlanted, EachConditionIsReportedWhenItsFaultIsPlanted) {
    const std::vector<PlantedFault> cases = {
        {"PointsDrivenUnderAnOverlap",
         [](PlantedJunction& f) {
             // SA's overlap, which cannot swing while its circuit is occupied.
             f.j.SAStraight->SetBySwing();
             f.j.TJ->Occupy();
             ASSERT_TRUE(f.checker.Check().empty());
             f.j.P1->CallReverse();
         },
         "driven reverse under the overlap holding TJ AB"},
        {"MainRouteSetWithoutItsOverlap",
         [](PlantedJunction& f) {
             f.j.S0SA->MarkSet();
             f.j.TAab->Lock();
         },
         "route S0-SA set without its full overlap beyond SA"},
        // Only a train past the entrance excuses a missing overlap (it may have been
        // released by time while the train's tail holds the route): disarmed alone, or
        // a train in the route with the entrance still armed, is not enough.
        {"EntranceDisarmedWithNoTrainInTheRoute",
         [](PlantedJunction& f) {
             f.j.S0SA->MarkSet();
             f.j.S0->CurrentRoute = f.j.S0SA;
             f.j.S0->Armed = false;
             f.j.TAab->Lock();
         },
         "route S0-SA set without its full overlap beyond SA"},
        {"TrainInTheRouteWithTheEntranceArmed",
         [](PlantedJunction& f) {
             f.j.S0SA->MarkSet();
             f.j.S0->CurrentRoute = f.j.S0SA;
             f.j.S0->SetPassageState(1);
             f.j.TAab->Lock();
         },
         "route S0-SA set without its full overlap beyond SA"},
        {"TwoOverlapsOnOneCircuit",
         [](PlantedJunction& f) {
             f.j.TM2ab->SetOverlap(f.j.SMOverlap);
             f.build.Subroute(*f.j.TM2, "BA").SetOverlap(f.j.SDOverlap);
         },
         "circuit TM2 held by two overlaps"},
        {"TwoOverlapsOnConflictingSubroutes",
         [](PlantedJunction& f) {
             f.j.TJab->SetOverlap(f.j.SAStraight);
             f.j.TXca->SetOverlap(f.j.SDOverlap);
         },
         "held by the overlaps of"},
        {"ReleasedWhileOccupied",
         [](PlantedJunction& f) {
             f.j.TM1ab->Lock();
             ASSERT_TRUE(f.checker.Check().empty());
             f.j.TM1->Occupy();
             f.j.TM1ab->Release();
         },
         "TM1 AB released while its circuit reads occupied"},
        {"FirstSubrouteReleasedUnderASetRoute",
         [](PlantedJunction& f) {
             f.j.S0SA->SetRoute();
             ASSERT_TRUE(f.checker.Check().empty());
             f.j.TAab->Release();
         },
         "TA AB released while its route S0-SA is still set"},
        {"ReleasedBeforeTheSubrouteBehind",
         [](PlantedJunction& f) {
             f.j.TJab->Lock();
             f.j.TM1ab->Lock();
             ASSERT_TRUE(f.checker.Check().empty());
             f.j.TM1ab->Release();
         },
         "TM1 AB released before TJ AB behind it"},
        {"ProceedWithNoRoute", [](PlantedJunction& f) { f.j.SM->Aspect = AspGreen; },
         "signal SM shows a proceed aspect with no route"},
        {"ProceedOverARouteNotSet",
         [](PlantedJunction& f) {
             f.j.SA->CurrentRoute = f.j.SASM;
             f.j.SA->Aspect = AspSingleYellow;
         },
         "over SA-SM, which is not set"},
        {"ProceedOverARouteNotLocked",
         [](PlantedJunction& f) {
             f.j.SASM->MarkSet();
             f.j.SA->CurrentRoute = f.j.SASM;
             f.j.SM->SetFullOverlap();
             f.j.SA->Aspect = AspSingleYellow;
         },
         "over SA-SM with TJ AB not locked"},
        {"ProceedWithNoOverlap",
         [](PlantedJunction& f) {
             f.j.SASM->SetRoute();
             f.j.SMOverlap->Clear();
             f.j.SA->Aspect = AspSingleYellow;
         },
         "over SA-SM with no overlap set beyond SM"},
        {"ProceedOverARouteNoLongerProved",
         [](PlantedJunction& f) {
             f.j.SASM->SetRoute();
             f.j.TM1->Occupy();
             f.j.SA->Aspect = AspSingleYellow;
             // The signal has a cycle to react: not yet reported.
             ASSERT_TRUE(f.checker.Check().empty());
             f.t.Ticks(2);
             f.j.SA->Aspect = AspSingleYellow;  // it did not go back
         },
         "signal SA still shows a proceed aspect over SA-SM 2 cycles after"},
        {"ProceedWithAnOverlapNoLongerProved",
         [](PlantedJunction& f) {
             f.j.SASM->SetRoute();
             f.j.TM2->Occupy();
             f.j.SA->Aspect = AspSingleYellow;
             ASSERT_TRUE(f.checker.Check().empty());
             f.t.Ticks(2);
             f.j.SA->Aspect = AspSingleYellow;
         },
         "signal SA still shows a proceed aspect over SA-SM 2 cycles after"},
    };
    for (const PlantedFault& c : cases) {
        SCOPED_TRACE(c.Name);
        PlantedJunction f;
        ASSERT_TRUE(f.checker.Check().empty());
        c.Plant(f);
        const std::vector<std::string> broken = f.checker.Check();
        bool found = false;
        for (const std::string& b : broken)
            found = found || b.find(c.Reported) != std::string::npos;
        std::ostringstream all;
        for (const std::string& b : broken) all << "\n  " << b;
        EXPECT_TRUE(found) << "expected \"" << c.Reported << "\" among:" << all.str();
    }
}

// A clean working of the same states gives no report: the route set, proved and its
// signal cleared, the train past, everything released in order.
TEST(InvariantsPlanted, ARouteWorkedThroughIsClean) {
    PlantedJunction f;
    f.t.Ticks(2);  // the signals arm
    ASSERT_TRUE(RouteRequest(*f.t, *f.j.SA, *f.j.SM, 0).Set);
    for (int i = 0; i < 20; ++i) {
        f.t.Ticks(1);
        ASSERT_EQ(f.checker.Check(), std::vector<std::string>{}) << i;
    }
    EXPECT_NE(f.j.SA->Aspect, AspDanger);
    f.j.TA->Occupy();
    for (TTCS* c : {f.j.TJ, f.j.TM1}) {
        c->Occupy();
        f.t.Ticks(4);
        EXPECT_EQ(f.checker.Check(), std::vector<std::string>{});
    }
    f.j.TA->Vacate();
    f.j.TJ->Vacate();
    for (int i = 0; i < 20; ++i) {
        f.t.Ticks(1);
        ASSERT_EQ(f.checker.Check(), std::vector<std::string>{}) << i;
    }
    EXPECT_TRUE(f.j.TJab->Free);
    EXPECT_FALSE(f.j.SASM->RouteSet);
}

TEST_F(InvariantsTest, ChainsTheAreaPointsCallHooks) {
    int areaCalls = 0;
    {
        TestSim other;
        RailwayBuilder ob(*other);
        DoubleJunction oj = BuildDoubleJunction(ob);
        other->Hooks.PointsReverseCallHook = [&](TPTS&, bool&) { ++areaCalls; };
        {
            InterlockingInvariants attached(*other);
            oj.P1->CallReverse();
        }
        EXPECT_EQ(areaCalls, 1);
        oj.P1->CallNormal();
        oj.P1->CallReverse();
        EXPECT_EQ(areaCalls, 2);  // the area's own hook is back in place
    }
}

// Seeded random working of a whole railway (route requests, mostly between the ends of
// a real route, cancels, keying of points, occupations and clearances, and time) under
// the checker after every step. The fixed seed is a regression run; the fresh ones
// explore, and a failure names the seed to replay.
TEST_F(InvariantsTest, RandomWorkingOfTheJunctionNeverBreaksAnInvariant) {
    for (const test::RunSeed& seed : test::RunSeeds(20261210u, 2)) {
        SCOPED_TRACE(test::SeedNote(seed));
        TestSim sim;
        RailwayBuilder b(*sim);
        BuildDoubleJunction(b);
        InterlockingInvariants check(*sim);
        test::RandomSignaller signaller(sim, check, seed.Seed);
        const std::string broken = signaller.Work(10000);
        ASSERT_TRUE(broken.empty()) << broken;
        if (seed.Fresh) continue;
        // The regression run worked the junction for real: routes were set and refused,
        // SA's overlap swung and points moved.
        const test::SignallerCounts& n = signaller.Counts();
        EXPECT_GT(n.routesSet, 500);
        EXPECT_GT(n.refusals, 500);
        EXPECT_GT(n.overlapChanges, 5);
        EXPECT_GT(n.pointsMoved, 20);
    }
}

// The other fixture railways worked the same way: paired points, flank protection, and
// long overlaps whose alternatives part on circuits of their own.
TEST(InvariantsOtherRailways, RandomWorkingNeverBreaksAnInvariant) {
    for (const test::RunSeed& seed : test::RunSeeds(20261211u, 2)) {
        SCOPED_TRACE(test::SeedNote(seed));
        for (int railway = 0; railway < 3; ++railway) {
            SCOPED_TRACE(railway);
            TestSim t;
            RailwayBuilder build(*t);
            if (railway == 0) {
                BuildCrossoverPair(build);
            } else if (railway == 1) {
                BuildLoopWithFlank(build);
            } else {
                BuildLongOverlapJunction(build);
            }
            InterlockingInvariants checker(*t);
            test::RandomSignaller signaller(t, checker, seed.Seed);
            const std::string broken = signaller.Work(5000);
            ASSERT_TRUE(broken.empty()) << broken;
            if (seed.Fresh) continue;
            const test::SignallerCounts& n = signaller.Counts();
            EXPECT_GT(n.routesSet, 200);
            EXPECT_GT(n.refusals, 100);
            EXPECT_GT(n.pointsMoved, 3);
            if (railway == 2) {
                EXPECT_GT(n.overlapChanges, 1);
            }
        }
    }
}

}  // namespace
}  // namespace kestra
