#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"

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

    j.SAStraight->SetWithRoute();
    j.SADiverging->SetWithRoute();
    EXPECT_TRUE(Reports("overlaps set"));
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

// Thousands of seeded random steps on the junction: route requests, cancels, keying,
// occupations and clearances, and time. After every step the invariants must hold.
TEST_F(InvariantsTest, RandomWorkingOfTheJunctionNeverBreaksAnInvariant) {
    const char* seedEnv = std::getenv("KESTRA_SEED");
    std::mt19937 rng(seedEnv ? static_cast<unsigned>(std::atoi(seedEnv)) : 20261210u);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::vector<TSIG*> entrances{j.S0, j.SA, j.SMd, j.SBd};
    const std::vector<TSIG*> signals{j.S0, j.SA, j.SM, j.SB, j.SMd, j.SBd, j.SD};
    const std::vector<TPTS*> points{j.P1, j.P2};
    std::vector<TTCS*> circuits;
    t->TrackCircuits.ForEach([&](TTCS& c) { circuits.push_back(&c); });

    int routesSet = 0, refusals = 0, swings = 0, movements = 0;
    TOVL* lastSAOverlap = nullptr;
    std::vector<std::string> log;
    constexpr int kSteps = 10000;
    for (int step = 0; step < kSteps; ++step) {
        std::ostringstream what;
        const int action = pick(100);
        if (action < 30) {
            // Mostly the ends of a real route, sometimes two signals nothing joins.
            TSIG* e = entrances[pick(static_cast<int>(entrances.size()))];
            TSIG* x = signals[pick(static_cast<int>(signals.size()))];
            if (pick(4) != 0) {
                const TROU* r = t->Routes.At(pick(t->Routes.Count()));
                e = r->Entrance;
                x = r->Exit;
            }
            const RouteRequestResult r = RouteRequest(*t, *e, *x, 0);
            what << "request " << e->ID << "-" << x->ID << (r.Set ? " set" : r.NoRoute ? " none" : " refused");
            if (r.Set) ++routesSet;
            if (!r.Set && !r.NoRoute) ++refusals;
        } else if (action < 40) {
            TSIG* e = entrances[pick(static_cast<int>(entrances.size()))];
            t->QueueRequest("QD", e, nullptr, 0);
            what << "cancel " << e->ID;
        } else if (action < 55) {
            TPTS* p = points[pick(2)];
            const bool normal = pick(2) == 0;
            const bool before = p->ControlledNormal;
            if (normal) {
                p->KeyNormalAction();
            } else {
                p->KeyReverseAction();
            }
            if (p->ControlledNormal != before) ++movements;
            what << "key " << p->ID << (normal ? " normal" : " reverse");
        } else if (action < 70) {
            TTCS* c = circuits[pick(static_cast<int>(circuits.size()))];
            if (c->OccupyCount == 0) {
                c->Occupy();
                what << "occupy " << c->ID;
            } else {
                c->Vacate();
                what << "vacate " << c->ID;
            }
        } else {
            const int n = 1 + pick(4);
            t.Ticks(n);
            what << "ticks " << n;
        }
        if (j.SA->CurrentOverlap && lastSAOverlap && j.SA->CurrentOverlap != lastSAOverlap) ++swings;
        if (j.SA->CurrentOverlap) lastSAOverlap = j.SA->CurrentOverlap;
        log.push_back(what.str());
        if (log.size() > 12) log.erase(log.begin());

        const std::vector<std::string> broken = checker.Check();
        if (!broken.empty()) {
            std::ostringstream report;
            report << "after step " << step << ":\n";
            for (const std::string& l : log) report << "  " << l << "\n";
            for (const std::string& b : broken) report << "  BROKEN: " << b << "\n";
            FAIL() << report.str();
        }
    }
    // The run worked the junction for real: routes were set and refused, overlaps
    // swung and points moved.
    EXPECT_GT(routesSet, 500);
    EXPECT_GT(refusals, 500);
    EXPECT_GT(swings, 5);
    EXPECT_GT(movements, 20);
}

}  // namespace
}  // namespace kestra
