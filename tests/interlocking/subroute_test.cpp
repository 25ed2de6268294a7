#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "display/palette.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace kestra {
namespace {

using test::DoubleJunction;
using test::PlainLine;
using test::RailwayBuilder;
using test::TestSim;

class SubrouteTest : public ::testing::Test {
  protected:
    SubrouteTest() : build(*t), line(BuildPlainLine(build)) {}
    // The circuits' and subroutes' own fast cycles, without the signals: the release
    // rules are looked at here apart from what the entrance signal makes of the train.
    void Cycles(int n) {
        for (int i = 0; i < n; ++i) {
            t->TrackCircuits.MajorCycle();
            t->Subroutes.MajorCycle();
        }
    }
    // Clears a circuit and lets the three clearing cycles pass.
    void Clear(TTCS& c) {
        c.Vacate();
        Cycles(3);
    }
    // What the entrance signal does once the train has passed it: the route goes.
    void TrainPassedEntrance(TROU& r) {
        r.Unset();
        r.Entrance->CurrentRoute = nullptr;
    }

    TestSim t;
    RailwayBuilder build;
    PlainLine line;
};

TEST_F(SubrouteTest, SetRouteHoldsEverySubrouteUntilUnsetThenReleasesBehindTheTrain) {
    line.S1S2->SetRoute();
    Cycles(10);
    EXPECT_TRUE(line.T1ab->IsRouteLocked());
    EXPECT_TRUE(line.T2ab->IsRouteLocked());

    // The train runs over both circuits; the first holds while its route is set.
    line.T1->Occupy();
    line.T2->Occupy();
    Clear(*line.T1);
    Cycles(5);
    EXPECT_TRUE(line.T1ab->IsRouteLocked());
    EXPECT_TRUE(line.T2ab->IsRouteLocked());

    TrainPassedEntrance(*line.S1S2);
    Cycles(1);
    EXPECT_TRUE(line.T1ab->IsFree());
    EXPECT_TRUE(line.T2ab->IsRouteLocked());  // still occupied
    Clear(*line.T2);
    Cycles(1);
    EXPECT_TRUE(line.T2ab->IsFree());
}

TEST_F(SubrouteTest, NeverReleasesBeforeTheSubrouteBehindIt) {
    line.S1S2->SetRoute();
    TrainPassedEntrance(*line.S1S2);
    line.T1->Occupy();  // the train is still on the first circuit
    Cycles(10);
    EXPECT_TRUE(line.T1ab->IsRouteLocked());
    EXPECT_TRUE(line.T2ab->IsRouteLocked());  // its own circuit is clear, but T1ab is not free
    Clear(*line.T1);
    Cycles(2);
    EXPECT_TRUE(line.T1ab->IsFree());
    EXPECT_TRUE(line.T2ab->IsFree());
}

TEST_F(SubrouteTest, CancelledWithoutTrainFreesRouteAndOverlapAndSignalForgetsIt) {
    line.S1S2->SetRoute();
    ASSERT_EQ(line.S2->CurrentOverlap, line.S2Overlap);
    ASSERT_EQ(line.T3ab->Overlap, line.S2Overlap);
    TrainPassedEntrance(*line.S1S2);
    t.Ticks(3);
    EXPECT_TRUE(line.T1ab->IsFree());
    EXPECT_TRUE(line.T2ab->IsFree());
    EXPECT_EQ(line.T3ab->Overlap, nullptr);
    EXPECT_EQ(line.S2->CurrentOverlap, nullptr);
    EXPECT_FALSE(line.S2->OverlapProved());
}

TEST_F(SubrouteTest, OppositeDirectionIsRefusedUnlessTheCheckIgnoresIt) {
    EXPECT_TRUE(line.T2ba->CheckFreeToSet());  // AB free: BA may lock
    line.T2ab->Lock();
    EXPECT_FALSE(line.T2ba->CheckFreeToSet());
    EXPECT_EQ(t->LastFailReason, "Subroute locked in opposite direction");
    EXPECT_TRUE(line.T2ba->CheckFreeToSetIgnoreParallel());
    line.T2ab->Release();
    line.T2ab->SetOverlap(line.S2Overlap);  // held by an overlap counts as not parallel free
    EXPECT_FALSE(line.T2ba->CheckFreeToSet());
}

TEST_F(SubrouteTest, AnotherRouteOnTheCircuitConflicts) {
    TULC& across = build.Subroute(*line.T2, "CD");
    across.Lock();
    EXPECT_FALSE(line.T2ab->CheckFreeToSet());
    EXPECT_EQ(t->LastFailReason, "Conflicting subroute(s)");
    EXPECT_FALSE(line.T2ab->CheckFreeToSetIgnoreParallel());
    across.Release();
    SetConflicting(across, *line.T1ab);
    across.SetOverlap(line.S2Overlap);  // a conflict held by an overlap that cannot swing
    EXPECT_FALSE(line.T1ab->CheckFreeToSet());
    EXPECT_EQ(t->LastFailReason, "Conflicting subroute(s)");
    EXPECT_FALSE(line.T1ab->CheckFreeToSetIgnoreParallel());
    t->OverlapSwungTo = line.S2Overlap;  // unless it is the overlap being swung away
    EXPECT_TRUE(line.T1ab->CheckFreeToSet());
    EXPECT_FALSE(line.T1ab->CheckFreeToSetIgnoreParallel());  // held by any overlap
    t->OverlapSwungTo = nullptr;
}

struct TimedReleaseCase {
    std::int32_t clearTime;
    std::int32_t ownReleaseTime;
    std::int32_t seconds;
};

void PrintTo(const TimedReleaseCase& c, std::ostream* os) {
    *os << "clear time " << c.clearTime << " s, own release time " << c.ownReleaseTime
        << " s: released after " << c.seconds << " s";
}

std::string TimedReleaseName(const ::testing::TestParamInfo<TimedReleaseCase>& info) {
    const TimedReleaseCase& c = info.param;
    return "Clear" + std::to_string(c.clearTime) + "Own" + std::to_string(c.ownReleaseTime) +
           "After" + std::to_string(c.seconds);
}

class OverlapTimedReleaseTest : public SubrouteTest,
                                public ::testing::WithParamInterface<TimedReleaseCase> {};

// A train stands at S2 on T2 after passing S1; S2's overlap on T3 releases once T2 has
// been occupied for the release time.
TEST_P(OverlapTimedReleaseTest, ReleasesAfterTrainHasStoodForTheTime) {
    const TimedReleaseCase& c = GetParam();
    line.T2ab->ClearTime = c.clearTime;
    line.S2Overlap->ReleaseTime = c.ownReleaseTime;
    line.S1S2->SetRoute();
    line.T2->Occupy();
    line.T2->StateTime = c.seconds;
    line.T3ab->MajorCycle();
    EXPECT_EQ(line.T3ab->Overlap, line.S2Overlap) << "the route into S2 is still set";
    TrainPassedEntrance(*line.S1S2);
    line.T2->StateTime = c.seconds - 1;
    line.T3ab->MajorCycle();
    EXPECT_EQ(line.T3ab->Overlap, line.S2Overlap) << "one second short";
    line.T2->StateTime = c.seconds;
    line.T3ab->MajorCycle();
    EXPECT_EQ(line.T3ab->Overlap, nullptr);
    EXPECT_EQ(line.S2->CurrentOverlap, nullptr);
}

// ClearTime x 1.25 to the nearest second, an exact half to the even number; an
// overlap's own release time overrides it.
INSTANTIATE_TEST_SUITE_P(Times, OverlapTimedReleaseTest,
                         ::testing::Values(TimedReleaseCase{13, 0, 16}, TimedReleaseCase{6, 0, 8},
                                           TimedReleaseCase{2, 0, 2}, TimedReleaseCase{10, 0, 12},
                                           TimedReleaseCase{14, 0, 18},
                                           TimedReleaseCase{13, 30, 30}),
                         TimedReleaseName);

// A train longer than S2's berth track stands at S2 with its tail still on T1, so the
// route from S1 stays set. Once the train has passed S1 (disarmed, it cannot clear for
// another train until the route goes) S2's overlap releases by time all the same; while
// S1 is armed it could still admit a train, and the overlap holds.
TEST_F(SubrouteTest, OverlapReleasesByTimeBehindALongTrainStillHoldingTheRouteIn) {
    line.T2ab->ClearTime = 10;
    ASSERT_TRUE(line.S1S2->SetRoute());
    ASSERT_EQ(line.S1->CurrentRoute, line.S1S2);
    line.T1->Occupy();
    line.T2->Occupy();
    line.T2->StateTime = 12;
    line.T3ab->MajorCycle();
    EXPECT_EQ(line.T3ab->Overlap, line.S2Overlap) << "S1 is still armed";
    line.S1->Armed = false;
    line.T2->StateTime = 12;
    line.T3ab->MajorCycle();
    EXPECT_EQ(line.T3ab->Overlap, line.S2Overlap) << "the train has not reached T2 by S1's count";
    line.S1->SetPassageState(1);
    line.T2->StateTime = 11;
    line.T3ab->MajorCycle();
    EXPECT_EQ(line.T3ab->Overlap, line.S2Overlap) << "one second short";
    line.T2->StateTime = 12;
    line.T3ab->MajorCycle();
    EXPECT_EQ(line.T3ab->Overlap, nullptr);
    EXPECT_TRUE(line.S1S2->RouteSet) << "the tail still holds the route";
}

TEST_F(SubrouteTest, OverlapWithoutTimedReleaseWaitsForTheTrain) {
    line.S2Overlap->TimedRelease = false;
    line.S1S2->SetRoute();
    TrainPassedEntrance(*line.S1S2);
    line.T2->Occupy();
    line.T2->StateTime = 1000;
    t.Ticks(4);
    EXPECT_EQ(line.T3ab->Overlap, line.S2Overlap);
    // The train runs on over the overlap and clears it.
    line.T3->Occupy();
    Clear(*line.T2);
    t.Ticks(1);
    EXPECT_EQ(line.T3ab->Overlap, line.S2Overlap);  // occupied
    Clear(*line.T3);
    t.Ticks(1);
    EXPECT_EQ(line.T3ab->Overlap, nullptr);
}

TEST_F(SubrouteTest, ReleaseHooksDecide) {
    line.S1S2->SetRoute();
    line.T1->Occupy();
    t->Hooks.SubrouteReleaseHook = [&](TULC& s, bool& force) {
        force = &s == line.T1ab;
        return &s == line.T1ab;
    };
    t.Ticks(1);
    EXPECT_TRUE(line.T1ab->IsFree());         // forced, although occupied and route set
    EXPECT_TRUE(line.T2ab->IsRouteLocked());  // the hook keeps it
    t->Hooks.SubrouteReleaseHook = nullptr;
    t->Hooks.OverlapReleaseHook = [](TULC&) { return false; };
    TrainPassedEntrance(*line.S1S2);
    t.Ticks(5);
    EXPECT_TRUE(line.T2ab->IsFree());
    EXPECT_EQ(line.T3ab->Overlap, line.S2Overlap);
}

TEST_F(SubrouteTest, EmptyListAnswersTrueToEveryCheck) {
    const TULCList empty;
    using Check = bool (TULCList::*)() const;
    for (Check c :
         {&TULCList::ArePointsControlledInPosition, &TULCList::ArePointsDetectedInPosition,
          &TULCList::AreTCsClear, &TULCList::IsCompletelyFree, &TULCList::IsFree,
          &TULCList::IsFreeToSet, &TULCList::IsFreeToSetARS, &TULCList::IsFreeToSetARSIgnoreOVL,
          &TULCList::IsFreeToSetIgnoreParallel, &TULCList::IsOverlapFree, &TULCList::IsParallelFree,
          &TULCList::IsLockedAndProved, &TULCList::RouteProved}) {
        EXPECT_TRUE((empty.*c)());
    }
    // The same checks on a list with one locked, occupied subroute mostly answer false.
    TULCList one;
    one.Add({}, line.T2ab);
    line.T2ab->Lock();
    line.T2->Occupy();
    EXPECT_FALSE(one.IsFree());
    EXPECT_FALSE(one.AreTCsClear());
    EXPECT_FALSE(one.RouteProved());
    EXPECT_FALSE(one.IsLockedAndProved());
    EXPECT_FALSE(one.IsFreeToSetARS());
}

TEST_F(SubrouteTest, QuietChecksLeaveNoReason) {
    t->LastFailReason = "before";
    line.T2->Occupy();
    EXPECT_FALSE(line.T2ab->CheckFreeToSetARSIgnoreOVL());
    line.T1ab->Lock();
    EXPECT_FALSE(line.T1ba->CheckOverlapQuiet());
    EXPECT_EQ(t->LastFailReason, "before");
    // Engineering marking stops the quiet checks unless the override is on.
    Clear(*line.T2);
    line.T1ab->Release();
    line.T2->SetISOType(IsoEng);
    EXPECT_FALSE(line.T2ab->CheckFreeToSetARSIgnoreOVL());
    t->Operator.OverrideMode = true;
    EXPECT_TRUE(line.T2ab->CheckFreeToSetARSIgnoreOVL());
}

TEST_F(SubrouteTest, StateMessagesCarryLockingAndOverlap) {
    t->Broadcaster = &t.broadcaster;
    line.T1ab->Lock();
    line.T3ab->SetOverlap(line.S2Overlap);
    const int t1ab = t->Subroutes.IndexOf(line.T1ab);
    const int t3ab = t->Subroutes.IndexOf(line.T3ab);
    char expect1[16], expect2[16];
    std::snprintf(expect1, sizeof expect1, "UA%04X1----", t1ab);
    std::snprintf(expect2, sizeof expect2, "UA%04X00000", t3ab);
    EXPECT_EQ(t.broadcaster.Sent, (std::vector<std::string>{expect1, expect2}));

    TestSim client;
    RailwayBuilder cb(*client);
    PlainLine mirror = BuildPlainLine(cb);
    client->ClientMode = true;
    for (const std::string& m : t.broadcaster.Sent) client->Subroutes.HandleClientMessage(m);
    EXPECT_TRUE(mirror.T1ab->IsRouteLocked());
    EXPECT_EQ(mirror.T3ab->Overlap, mirror.S2Overlap);
    client->Subroutes.HandleClientMessage(std::string(expect2).substr(0, 7) +
                                          "0063");  // overlap 0x63: none
    EXPECT_EQ(mirror.T3ab->Overlap, nullptr);
    client->Subroutes.HandleClientMessage("UAFFFF1----");  // outside the list
    client->Subroutes.HandleClientMessage(std::string(expect1).substr(0, 6) + "x----");
    EXPECT_TRUE(mirror.T1ab->IsRouteLocked());

    // A server takes no locking from a client.
    t->Subroutes.HandleClientMessage(std::string(expect1).substr(0, 6) + "0----");
    EXPECT_TRUE(line.T1ab->IsRouteLocked());
}

TEST_F(SubrouteTest, SaveLoadRoundTripAndCorruptRecords) {
    line.T3ab->Lock();
    line.T3ab->SetOverlap(line.S2Overlap);
    auto tsr = std::make_unique<TTSR>();
    tsr->PassengerSpeed = 10;
    tsr->FromPosition = 100;
    tsr->ToPosition = 200;
    line.T3ab->TSRs.InsertFront(std::move(tsr));
    ValueWriter w;
    ASSERT_TRUE(t->Subroutes.Save(w));
    t->ResetSimulation();
    EXPECT_TRUE(line.T3ab->IsFree());
    EXPECT_TRUE(line.T3ab->TSRs.Empty());
    ValueReader r(w.Bytes());
    ASSERT_TRUE(t->Subroutes.Load(r));
    EXPECT_TRUE(r.AtEnd());
    EXPECT_TRUE(line.T3ab->IsRouteLocked());
    EXPECT_EQ(line.T3ab->Overlap, line.S2Overlap);
    ASSERT_EQ(line.T3ab->TSRs.Count(), 1);
    EXPECT_EQ(line.T3ab->TSRs.At(0)->ToPosition, 200);
    EXPECT_EQ(line.T3ab->TSRs.At(0)->Owner, line.T3ab);

    auto load = [&](std::int32_t overlap, std::int32_t tsrs) {
        ValueWriter bad;
        bad.WriteBoolean(true);
        bad.WriteInteger(overlap);
        bad.WriteInteger(tsrs);
        ValueReader br(bad.Bytes());
        return line.T3ab->Load(br);
    };
    EXPECT_TRUE(load(77, 0));
    EXPECT_EQ(line.T3ab->Overlap, nullptr);  // outside the overlap list: none
    EXPECT_TRUE(line.T3ab->IsFree());
    EXPECT_FALSE(load(-1, 1000000));  // more restrictions than the record could hold
    EXPECT_FALSE(load(-1, -1));
}

TEST_F(SubrouteTest, DrawsArrowAndLockingOverTheCircuitMarking) {
    line.T2ab->ArrowX = 40;
    line.T2ab->ArrowY = 6;
    TPEL& element = t->Labels.Create(*t);
    element.X = 41;
    element.Y = 8;
    element.Text = "a";
    line.T2ab->Elements.Add({}, &element);
    line.T2->TrackElements.Add({}, &element);
    line.T2->SetISOType(IsoEngTI);

    line.T2->Draw();
    EXPECT_EQ(t.surface.RowText(6, 40, 2), "a\x8D");
    EXPECT_EQ(t.surface.At(40, 6).Fg, ClGrey);
    EXPECT_EQ(t.surface.At(41, 8).Fg, ClGrey);

    line.T2ab->Lock();  // redraws the circuit
    EXPECT_EQ(t.surface.At(40, 6).Fg, ClWhite);
    EXPECT_EQ(t.surface.At(41, 8).Fg, ClWhite);
    EXPECT_EQ(t.surface.At(41, 8).Bg, ClCyan);  // odd x + y: the first marking colour
    line.T2->Occupy();
    EXPECT_EQ(t.surface.At(41, 8).Fg, ClRed);

    line.T2ab->ArrowDirection = 1;
    line.T2->Draw();
    EXPECT_EQ(t.surface.RowText(6, 40, 2),
              "\x8C"
              "a");
}

class JunctionSubrouteTest : public ::testing::Test {
  protected:
    JunctionSubrouteTest() : build(*t), j(BuildDoubleJunction(build)) {}
    TestSim t;
    RailwayBuilder build;
    DoubleJunction j;
};

TEST_F(JunctionSubrouteTest, WayAheadFollowsThePointsDetection) {
    EXPECT_EQ(j.TAab->NextSubroute(), j.TJab);
    EXPECT_EQ(j.TAab->NextSignal(), j.SA);
    EXPECT_EQ(j.TJab->NextSignal(), j.SM);
    j.P1->CallReverse();
    EXPECT_EQ(j.TAab->NextSubroute(), nullptr);  // moving: no way ahead is proved
    t.Ticks(8);
    EXPECT_EQ(j.TAab->NextSubroute(), j.TJac);
    EXPECT_EQ(j.TJac->PreviousPassable(), nullptr);
    EXPECT_EQ(j.TJac->PreviousForDescriber(), j.TAab);
    j.TAab->Lock();
    EXPECT_EQ(j.TJac->PreviousPassable(), j.TAab);
    EXPECT_EQ(j.TXba->PreviousDetected(), j.TMdba);  // no points: detected in position
}

TEST_F(JunctionSubrouteTest, ApproachOccupiedLooksBackOverPassableTrack) {
    j.TJab->Lock();
    j.TAab->Lock();
    EXPECT_FALSE(j.TJab->ApproachOccupied());
    j.TA->Occupy();
    EXPECT_FALSE(j.TJab->ApproachOccupied());  // TA AB ends at SA, a main signal
    j.SA->SignalKind = 1;                      // a shunt signal is looked past
    EXPECT_TRUE(j.TJab->ApproachOccupied());
}

TEST_F(JunctionSubrouteTest, NextSignalEndsOnALoopWithoutSignals) {
    TTCS& a = build.Circuit("LA");
    TTCS& b = build.Circuit("LB");
    TULC& ab = build.Subroute(a, "AB");
    TULC& ba = build.Subroute(b, "AB");
    build.Chain({&ab, &ba, &ab});
    EXPECT_EQ(ab.NextSignal(), nullptr);
    ab.Lock();
    ba.Lock();
    EXPECT_FALSE(ab.ApproachOccupied());
}

}  // namespace
}  // namespace kestra
