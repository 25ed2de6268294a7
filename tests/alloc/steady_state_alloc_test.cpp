// Counts heap allocations made by the major cycle in the steady state. The global
// allocator is replaced in this program only.
#include <gtest/gtest.h>

#include "fakes/allocation_counter.h"
#include "fakes/busy_circuits.h"
#include "fakes/fakes.h"

namespace kestra {
namespace {

TEST(SteadyStateAllocTest, MajorCycleOfBusyCircuitsAllocatesNothing) {
    constexpr int kCircuits = 200;
    test::TestSim t;
    t->SimData.ScreenCount = 2;
    test::AddBusyCircuits(*t, kCircuits);
    t.Ticks(4);  // warm up
    const long before = test::AllocationCount();
    for (int cycle = 0; cycle < 400; ++cycle) {
        // Circuits occupy and clear as trains pass, so the clearing path runs too.
        test::PassOverCircuit(*t, cycle, kCircuits);
        t->MajorCycleTick();
    }
    EXPECT_EQ(test::AllocationCount() - before, 0);
}

}  // namespace
}  // namespace kestra
