// The interlocking in the steady state of the major cycle: routes set and held,
// overlaps held, points lying reverse, circuits occupying and clearing. Allocations
// are counted by the global allocator, replaced in this program only.
#include <gtest/gtest.h>

#include "fakes/allocation_counter.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace kestra {
namespace {

TEST(InterlockingAllocTest, MajorCycleWithRoutesAndOverlapsAllocatesNothing) {
    test::TestSim t;
    test::RailwayBuilder build(*t);
    test::DoubleJunction j = BuildDoubleJunction(build);
    test::LoopWithFlank loop = BuildLoopWithFlank(build);
    loop.L1->AutoNormalise = 1;
    // F lies reverse with a vehicle standing over it: it tries to return every second
    // and is refused each time.
    loop.F->AutoNormalise = 1;
    loop.F->CallReverse();
    loop.TSid->Occupy();
    ASSERT_TRUE(RouteRequest(*t, *j.S0, *j.SA, 0).Set);
    ASSERT_TRUE(RouteRequest(*t, *j.SBd, *j.SD, 0).Set);  // swings SA's overlap
    ASSERT_TRUE(RouteRequest(*t, *loop.SL, *loop.SXl, 0).Set);
    t.Ticks(20);  // warm up: points settle, signals clear
    const long before = test::AllocationCount();
    for (int cycle = 0; cycle < 400; ++cycle) {
        // Circuits beyond the routes occupy and clear; the routes stay set.
        TTCS& c = cycle % 2 ? *j.TM2 : *loop.TL3;
        if (c.OccupyCount == 0)
            c.Occupy();
        else
            c.Vacate();
        t->MajorCycleTick();
    }
    EXPECT_EQ(test::AllocationCount() - before, 0);
    EXPECT_TRUE(j.SBdSD->RouteSet);
    EXPECT_TRUE(loop.F->ControlledReverse);
    EXPECT_EQ(t->LastFailReason, "Point(s) locked reverse by another route F");
}

// ARS sets routes all day: setting a route that was set before, over points that must
// move and across an overlap that swings, allocates nothing.
TEST(InterlockingAllocTest, SettingARouteAgainAllocatesNothing) {
    test::TestSim t;
    test::RailwayBuilder build(*t);
    test::DoubleJunction j = BuildDoubleJunction(build);
    ASSERT_TRUE(RouteRequest(*t, *j.S0, *j.SA, 0).Set);
    for (TROU* r : {j.SBdSD, j.SMdSD}) {  // each set and given back once
        ASSERT_TRUE(r->SetRoute());
        r->Unset();
        t.Ticks(10);
    }
    const long before = test::AllocationCount();
    for (int i = 0; i < 20; ++i) {
        TROU& r = i % 2 ? *j.SBdSD : *j.SMdSD;
        ASSERT_TRUE(r.SetRoute()) << i;
        r.Unset();
        t.Ticks(10);  // the points move back and forth
    }
    EXPECT_EQ(test::AllocationCount() - before, 0);
}

}  // namespace
}  // namespace kestra
