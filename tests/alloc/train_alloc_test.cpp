// Counts heap allocations made by the trains' cycle in the steady state: 35 trains
// running round a ring of plain line, looking ahead, braking for the train in front,
// occupying and clearing circuits. The global allocator is replaced in this program only.
#include <gtest/gtest.h>

#include <string>

#include "fakes/allocation_counter.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace kestra {
namespace {

TEST(TrainAllocTest, ThirtyFiveTrainsRunningRoundARingAllocateNothing) {
    constexpr int kSubroutes = 70;
    constexpr int kTrains = 35;
    test::TestSim t;
    test::RailwayBuilder b(*t);
    std::vector<TULC*> ring;
    for (int i = 0; i < kSubroutes; ++i) {
        TTCS& c = b.Circuit("R" + std::to_string(i));
        ring.push_back(&b.Subroute(c, "AB", nullptr, 300));
    }
    for (int i = 0; i < kSubroutes; ++i) LinkSubroutes(*ring[i], *ring[(i + 1) % kSubroutes]);
    for (int i = 0; i < kTrains; ++i) {
        TTRN& train = t->Trains.Create("1A" + std::to_string(10 + i));
        train.Place(nullptr, *ring[2 * i], nullptr);
        train.Length = 100;
        train.Speed = 0;
    }
    t.Ticks(600);  // every train under way and every list at its working size
    const long before = test::AllocationCount();
    t.Ticks(400);
    EXPECT_EQ(test::AllocationCount() - before, 0);
    int moving = 0;
    t->Trains.ForEach([&](TTRN& train) { moving += train.Speed > 0 ? 1 : 0; });
    EXPECT_GT(moving, 0);
    EXPECT_EQ(t->Trains.TrainsInArea(), kTrains);
}

}  // namespace
}  // namespace kestra
