// Entry points: when a train may enter, the countdown that spaces entering trains, its
// saved state, and the descriptions of trains that enter without a timetable.

#include "places/entry_point.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/value_stream.h"
#include "fakes/interlocking_fixtures.h"
#include "sim/sim.h"

namespace kestra {
namespace {

// The west end of a plain line: trains enter over T0 up to signal S1.
class EntryPointTest : public ::testing::Test {
  protected:
    EntryPointTest() : builder(sim), line(test::BuildPlainLine(builder)) {
        entry = &sim.EntryPoints.Create(sim, "WEST");
        entry->Name = "West main line";
        entry->ULCs.Add("", line.T0ab);
    }
    Sim sim;
    test::RailwayBuilder builder;
    test::PlainLine line;
    TENT* entry = nullptr;
};

TEST_F(EntryPointTest, EntersOnlyWithCountdownRunOutAndRouteFreeAndProved) {
    EXPECT_TRUE(entry->CanEnter());
    entry->Countdown = 1;
    EXPECT_FALSE(entry->CanEnter()) << "countdown still running";
    entry->Countdown = 0;
    EXPECT_TRUE(entry->CanEnter());
    // The opposing route D1-D2 takes its overlap over T0 the other way.
    ASSERT_TRUE(line.D1D2->SetRoute());
    EXPECT_FALSE(entry->CanEnter()) << "opposing overlap on the entry circuit: not free to set";
}

TEST_F(EntryPointTest, NoEntryOntoAnOccupiedEntryCircuit) {
    line.T0->Occupy();
    EXPECT_FALSE(entry->CanEnter()) << "entry circuit occupied: not proved";
}

TEST_F(EntryPointTest, CheckLeavesTheSignallersRefusalReasonAlone) {
    ASSERT_TRUE(line.D1D2->SetRoute());
    sim.LastFailReason = "earlier refusal";
    EXPECT_FALSE(entry->CanEnter());
    EXPECT_EQ(sim.LastFailReason, "earlier refusal");
}

TEST_F(EntryPointTest, CountdownRunsOnlyWhileTheEntryRouteIsFreeAndProved) {
    // A second entry point over T1, occupied: it never counts down.
    TENT& blocked = sim.EntryPoints.Create(sim, "BLOCKED");
    blocked.ULCs.Add("", line.T1ab);
    blocked.Countdown = 3;
    line.T1->Occupy();
    blocked.OneSecond();
    blocked.OneSecond();
    EXPECT_EQ(blocked.Countdown, 3) << "blocked entry never counts down";
    EXPECT_FALSE(blocked.CanEnter());
    entry->Countdown = 3;
    entry->OneSecond();
    EXPECT_EQ(entry->Countdown, 2);
    entry->OneSecond();
    entry->OneSecond();
    entry->OneSecond();
    EXPECT_EQ(entry->Countdown, 0) << "stops at zero";
    EXPECT_TRUE(entry->CanEnter());
}

TEST_F(EntryPointTest, TheSimulationsSecondCycleCountsDown) {
    entry->Countdown = 2;
    for (int tick = 0; tick < 4; ++tick) sim.MajorCycleTick();
    EXPECT_EQ(entry->Countdown, 0);
}

TEST_F(EntryPointTest, CountdownAfterEntryIsBelowTwentySecondsAndResetClearsIt) {
    std::set<int> seen;
    for (int i = 0; i < 400; ++i) {
        entry->StartCountdown();
        ASSERT_GE(entry->Countdown, 0);
        ASSERT_LT(entry->Countdown, kEntrySpacingSeconds);
        seen.insert(entry->Countdown);
    }
    EXPECT_GT(seen.size(), 10u) << "the spacing is drawn, not fixed";
    entry->Countdown = 7;
    sim.ResetSimulation();
    EXPECT_EQ(entry->Countdown, 0);
}

TEST_F(EntryPointTest, CountdownIsSavedAndACorruptValueLeavesItAlone) {
    entry->Countdown = 12;
    ValueWriter writer;
    ASSERT_TRUE(entry->Save(writer));
    entry->Countdown = 0;
    {
        ValueReader reader(writer.Bytes());
        ASSERT_TRUE(entry->Load(reader));
    }
    EXPECT_EQ(entry->Countdown, 12);
    for (int bad : {-1, kEntrySpacingSeconds, 100000}) {
        ValueWriter w;
        w.WriteInteger(bad);
        ValueReader reader(w.Bytes());
        EXPECT_FALSE(entry->Load(reader)) << bad;
        EXPECT_EQ(entry->Countdown, 12) << bad;
    }
}

TEST(UntimetabledDescriptions, ConsecutiveCounterValuesAndRoundAgainAfter99) {
    TENTList list;
    const auto nothingInUse = [](std::string_view) { return false; };
    EXPECT_EQ(list.NextUntimetabledDescription(nothingInUse), "**00");
    EXPECT_EQ(list.NextUntimetabledDescription(nothingInUse), "**01");
    for (int i = 2; i < 99; ++i) list.NextUntimetabledDescription(nothingInUse);
    EXPECT_EQ(list.NextUntimetabledDescription(nothingInUse), "**99");
    EXPECT_EQ(list.NextUntimetabledDescription(nothingInUse), "**00");
    list.Reset();
    EXPECT_EQ(list.UntimetabledCounter(), 0);
}

TEST(UntimetabledDescriptions, ADescriptionStillInUseIsNeverGivenTwice) {
    TENTList list;
    std::set<std::string, std::less<>> inUse;
    const auto used = [&](std::string_view d) { return inUse.count(d) > 0; };
    // Trains **00 and **02 are still running when the counter comes round.
    for (int i = 0; i < 100; ++i) {
        const std::string d = list.NextUntimetabledDescription(used);
        if (d == "**00" || d == "**02") inUse.insert(d);
    }
    EXPECT_EQ(list.NextUntimetabledDescription(used), "**01");
    EXPECT_EQ(list.NextUntimetabledDescription(used), "**03");
    // Every description taken: none is given.
    for (int i = 0; i < 100; ++i) {
        char d[8];
        std::snprintf(d, sizeof d, "**%2.2d", i);
        inUse.insert(d);
    }
    EXPECT_EQ(list.NextUntimetabledDescription(used), "");
}

}  // namespace
}  // namespace kestra
