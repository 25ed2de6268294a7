// The interlocking in the steady state of the major cycle: routes set and held,
// overlaps held, points lying reverse, circuits occupying and clearing. Allocations
// are counted by the global allocator, replaced in this program only.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace {
std::atomic<long> g_allocations{0};
long AllocationCount() {
    return g_allocations.load();
}
}  // namespace

void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

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
    const long before = AllocationCount();
    for (int cycle = 0; cycle < 400; ++cycle) {
        // Circuits beyond the routes occupy and clear; the routes stay set.
        TTCS& c = cycle % 2 ? *j.TM2 : *loop.TL3;
        if (c.OccupyCount == 0)
            c.Occupy();
        else
            c.Vacate();
        t->MajorCycleTick();
    }
    EXPECT_EQ(AllocationCount() - before, 0);
    EXPECT_TRUE(j.SBdSD->RouteSet);
    EXPECT_TRUE(loop.F->ControlledReverse);
    EXPECT_EQ(t->LastFailReason, "Point(s) locked reverse by another route F");
}

}  // namespace
}  // namespace kestra
