// Counts heap allocations made by the describer's part of the major cycle on the
// built-in area: every berth trying its every-cycle steps, queues mirroring, and
// descriptions stepping as circuits occupy and clear. The global allocator is replaced
// in this program only.
#include <gtest/gtest.h>

#include "area/area_builder.h"
#include "fakes/allocation_counter.h"
#include "fakes/fakes.h"
#include "trains/berth.h"

namespace kestra {
namespace {

TEST(BerthAllocTest, DescriberCycleAllocatesNothing) {
    test::TestSim t;
    const auto area = area::BuildArea(*t);
    ASSERT_GE(t->Berths.Count(), 4);
    ASSERT_GE(t->TrackCircuits.Count(), 2);
    TTCS* a = t->TrackCircuits.At(0);
    TTCS* b = t->TrackCircuits.At(1);
    // Every berth described; the first few get every-cycle steps (one whose condition
    // is false, one that copies what is already there) and queues.
    int n = 0;
    t->Berths.ForEach([&](TBER& berth) {
        berth.Interpose("1A23");
        if (++n > 4) return;
        TBERStep never;
        never.ToBerth = t->Berths.At(0);
        never.Conditions = {nullptr, &berth};  // not described: false
        berth.Steps.push_back(never);
        berth.Queue.push_back({t->Berths.At(1), nullptr});
    });
    TBERStep step;  // a description stepping back and forth on circuit a
    step.ToBerth = t->Berths.At(3);
    step.Trigger = a;
    t->Berths.At(2)->Steps.push_back(step);
    step.ToBerth = t->Berths.At(2);
    step.Trigger = b;
    t->Berths.At(3)->Steps.push_back(step);
    t->Berths.At(3)->CancelDescription();
    t.Ticks(8);  // warm up
    const long before = test::AllocationCount();
    for (int cycle = 0; cycle < 400; ++cycle) {
        TTCS* c = cycle % 40 < 20 ? a : b;
        if (cycle % 20 == 0) c->Occupy();
        if (cycle % 20 == 10) c->Vacate();
        t->MajorCycleTick();
    }
    EXPECT_EQ(test::AllocationCount() - before, 0);
    EXPECT_EQ(t->Berths.CountDescription("1A23"), t->Berths.Count() - 1);
}

}  // namespace
}  // namespace kestra
