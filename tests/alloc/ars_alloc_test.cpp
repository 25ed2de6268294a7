// Counts heap allocations made by the ARS cycle in the steady state: the beginner's day
// under ARS on the built-in area is played until several trains are on their way, then
// the rest of the world is held still and the ARS cycle alone runs on over the same
// trains (looking ahead, choosing, weighing priorities, timing, colouring their berths).
// Once the routes it chose are set and the statuses have settled, it allocates nothing.
// The global allocator is replaced in this program only.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "area/area_builder.h"
#include "ars/ars_subarea.h"
#include "ars/ars_train.h"
#include "fakes/allocation_counter.h"
#include "fakes/area_fill.h"
#include "sim/sim.h"
#include "timetable/timetable_start.h"

namespace kestra {
namespace {

TEST(ARSAllocTest, TheARSCycleOverRunningTrainsAllocatesNothingOnceSettled) {
    Sim sim({}, 1);
    area::BuildArea(sim);
    sim.ARSSubAreas.ForEach([](TARS& a) {
        a.SetCollared(false);
        a.SetSelected(true);
    });
    std::string error;
    ASSERT_TRUE(
        StartWithTimetable(sim, std::string(KESTRA_BINARY_DIR) + "/VLM/beginner.WTT", -1, &error))
        << error;
    // 07:00 to 07:40: main-line trains both ways and the branch shuttle under way.
    for (int tick = 0; tick < 2 * 2400; ++tick) sim.MajorCycleTick();
    TARSTrainList& ars = sim.ARSTrains();
    int timed = 0;
    ars.ForEach([&](const TARSTrain& t) { timed += t.IsARS && t.PathPosition >= 0 ? 1 : 0; });
    ASSERT_GE(timed, 3) << "too few ARS trains to weigh against each other";

    for (int i = 0; i < 40; ++i) ars.ARSCycle();  // the chosen routes set, statuses settled
    const long before = test::AllocationCount();
    for (int i = 0; i < 400; ++i) ars.ARSCycle();
    EXPECT_EQ(test::AllocationCount() - before, 0);
    EXPECT_EQ(sim.ErrorsCaught, 0);
    // The trains were weighed: each ARS train shows a routesetting status.
    int statused = 0;
    ars.ForEach([&](const TARSTrain& t) { statused += t.IsARS && t.Status != 0 ? 1 : 0; });
    EXPECT_GT(statused, 0);
}

// The area full: 35 trains under ARS (the timetable of the ARS benchmark), queued one
// behind another on every line, many wanting routes that conflict and weighed against
// each other every working cycle.
TEST(ARSAllocTest, TheARSCycleOverAFullAreaAllocatesNothingOnceSettled) {
    Sim sim({}, 1);
    area::BuildArea(sim);
    sim.ARSSubAreas.ForEach([](TARS& a) {
        a.SetCollared(false);
        a.SetSelected(true);
    });
    const std::string path = std::string(KESTRA_BINARY_DIR) + "/ars_alloc_full_area.txt";
    std::ofstream(path) << test::FullAreaTimetable(60, 4);
    std::string error;
    ASSERT_TRUE(StartWithTimetable(sim, path, -1, &error)) << error;
    for (long tick = 0; tick < 2 * 10800 && sim.Trains.TrainsInArea() < 35; ++tick)
        sim.MajorCycleTick();
    ASSERT_GE(sim.Trains.TrainsInArea(), 35);
    TARSTrainList& ars = sim.ARSTrains();

    for (int i = 0; i < 40; ++i) ars.ARSCycle();
    const long before = test::AllocationCount();
    for (int i = 0; i < 400; ++i) ars.ARSCycle();
    EXPECT_EQ(test::AllocationCount() - before, 0);
    EXPECT_EQ(sim.ErrorsCaught, 0);
    // Trains were weighed against each other.
    int weighed = 0;
    ars.ForEach([&](const TARSTrain& t) {
        weighed += t.Status == StGivingPriority || t.Status == StAlreadyOnStretch ? 1 : 0;
    });
    EXPECT_GT(weighed, 0);
}

}  // namespace
}  // namespace kestra
