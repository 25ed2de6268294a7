// The shared hookup of the invariant checkers: it keeps the run's own callbacks, catches
// a fault planted in the middle of a run with its time, stops collecting at its limit,
// and gives the simulation's hooks back as they were when it comes off.

#include "fakes/invariant_harness.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "interlocking/track_circuit.h"
#include "runner/headless.h"
#include "sim/sim.h"

namespace kestra {
namespace {

struct PlantedRun {
    int before = 0, each = 0, after = 0;
    bool hookedAtAfterRun = false;
    bool hookedAfterRun = true;
    std::string planted;
    std::vector<std::string> broken;
    long cycles = 0;
};

// The beginner's day for ticks cycles under ARS; at the cycle plantAt two free circuits
// are made to count an occupant that is not there.
PlantedRun RunWithPlantedFault(int ticks, int plantAt, std::size_t limit) {
    PlantedRun run;
    runner::HeadlessOptions o;
    std::string error;
    EXPECT_TRUE(runner::ParseHeadlessArgs(
        {"--timetable", std::string(KESTRA_BINARY_DIR) + "/VLM/beginner.WTT", "--ars", "all",
         "--seed", "1", "--ticks", std::to_string(ticks)},
        o, error))
        << error;
    test::InvariantHarness harness({.Describer = true, .Calls = true, .ARS = true, .Limit = limit});
    o.BeforeCycle = [&](Sim&, std::vector<runner::HeadlessCommand>&) { ++run.before; };
    o.EachCycle = [&](Sim& sim) {
        if (++run.each != plantAt) return;
        int planted = 0;
        sim.TrackCircuits.ForEach([&](TTCS& c) {
            if (planted == 2 || c.OccupyCount != 0) return;
            if (planted++ == 0) run.planted = c.ID;
            ++c.OccupyCount;
        });
    };
    o.AfterRun = [&](Sim& sim) {
        ++run.after;
        run.hookedAtAfterRun = static_cast<bool>(sim.Hooks.SubrouteEnteredHook) &&
                               static_cast<bool>(sim.Hooks.CycleHook);
    };
    harness.Attach(o);
    std::ostringstream out, err;
    EXPECT_EQ(runner::RunHeadless(o, out, err), 0) << err.str();
    run.hookedAfterRun = harness.Hooked();
    run.broken = harness.Broken();
    run.cycles = harness.Cycles();
    return run;
}

TEST(InvariantHarness, KeepsTheRunsCallbacksAndReportsAPlantedFaultWithItsTime) {
    const PlantedRun run = RunWithPlantedFault(60, 50, 20);
    EXPECT_EQ(run.before, 60);
    EXPECT_EQ(run.each, 60);
    EXPECT_EQ(run.after, 1);
    EXPECT_EQ(run.cycles, 60);
    EXPECT_TRUE(run.hookedAtAfterRun) << "the checkers came off before the run's own AfterRun";
    EXPECT_FALSE(run.hookedAfterRun) << "the checkers outlive the simulation";
    ASSERT_FALSE(run.planted.empty());
    ASSERT_FALSE(run.broken.empty()) << "the planted occupancy went unseen";
    bool named = false;
    for (const std::string& b : run.broken) {
        // "HH:MM:SS what"
        ASSERT_GT(b.size(), 9u) << b;
        EXPECT_EQ(b[2], ':') << b;
        EXPECT_EQ(b[8], ' ') << b;
        named = named || b.find("circuit " + run.planted + " occupied") != std::string::npos;
    }
    EXPECT_TRUE(named) << run.broken.front();
}

TEST(InvariantHarness, StopsCollectingAtItsLimit) {
    const PlantedRun run = RunWithPlantedFault(60, 40, 1);
    EXPECT_EQ(run.broken.size(), 1u);
    EXPECT_EQ(run.cycles, 60) << "the checks stop with the collecting";
}

void Entered(TTRN&, TULC&) {}
void Cycled() {}

TEST(InvariantHarness, GivesTheHooksBackAsTheyWere) {
    using EnteredFn = void (*)(TTRN&, TULC&);
    using CycleFn = void (*)();
    Sim sim;
    area::BuildArea(sim);
    sim.Hooks.SubrouteEnteredHook = &Entered;
    sim.Hooks.CycleHook = &Cycled;
    const bool normalCall = static_cast<bool>(sim.Hooks.PointsNormalCallHook);
    test::InvariantHarness harness;
    harness.Hook(sim);
    EXPECT_EQ(sim.Hooks.CycleHook.target<CycleFn>(), nullptr) << "the checkers are not on";
    sim.MajorCycleTick();
    harness.Check(sim);
    EXPECT_TRUE(harness.Broken().empty()) << harness.Report();
    harness.Unhook();
    const EnteredFn* entered = sim.Hooks.SubrouteEnteredHook.target<EnteredFn>();
    const CycleFn* cycle = sim.Hooks.CycleHook.target<CycleFn>();
    ASSERT_NE(entered, nullptr);
    ASSERT_NE(cycle, nullptr);
    EXPECT_EQ(*entered, &Entered);
    EXPECT_EQ(*cycle, &Cycled);
    EXPECT_EQ(static_cast<bool>(sim.Hooks.PointsNormalCallHook), normalCall);
}

}  // namespace
}  // namespace kestra
