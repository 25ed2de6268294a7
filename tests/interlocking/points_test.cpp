#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "display/palette.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace kestra {
namespace {

using test::CrossoverPair;
using test::LastMessage;
using test::LoopWithFlank;
using test::RailwayBuilder;
using test::TestSim;

// Records the points offered to the random-failure check.
class PointsFailureProbe : public PointsFailureOffer {
  public:
    void OfferFailure(TPTS& p) override { offered.push_back(p.ID); }
    std::vector<std::string> offered;
};

class PointsTest : public ::testing::Test {
  protected:
    PointsTest() : build(*t), x(BuildCrossoverPair(build)), loop(BuildLoopWithFlank(build)) {
        t->PointsFailures = &failures;
    }
    // Runs whole simulated seconds: two major cycles each.
    void Seconds(int n) { t.Ticks(2 * n); }

    TestSim t;
    RailwayBuilder build;
    CrossoverPair x;
    LoopWithFlank loop;
    PointsFailureProbe failures;
};

TEST_F(PointsTest, CallToPositionAlreadyDetectedStartsNoMovement) {
    TPTS& p = *x.X1;
    p.CallNormal();
    EXPECT_EQ(p.MoveTimer, 0);
    EXPECT_TRUE(p.IsDetectedNormal());
    EXPECT_TRUE(failures.offered.empty());  // only a real movement is offered to failures
}

TEST_F(PointsTest, PairedEndsMoveTogetherWithOneTimeAndDetectOnArrival) {
    x.X1->CallReverse();
    const int time = x.X1->MoveTimer;
    EXPECT_TRUE(time == 3 || time == 4);
    EXPECT_EQ(x.X2->MoveTimer, time);
    for (TPTS* p : {x.X1, x.X2}) {
        EXPECT_TRUE(p->ControlledReverse);
        EXPECT_FALSE(p->ControlledNormal);
        EXPECT_FALSE(p->IsDetectedNormal());
        EXPECT_FALSE(p->IsDetectedReverse());
        EXPECT_FALSE(p->InCorrespondence());
    }
    EXPECT_EQ(failures.offered, (std::vector<std::string>{"X2", "X1"}));
    Seconds(time - 1);
    EXPECT_FALSE(x.X1->IsDetectedReverse());
    Seconds(1);
    EXPECT_TRUE(x.X1->IsDetectedReverse());
    EXPECT_TRUE(x.X2->IsDetectedReverse());
    EXPECT_TRUE(x.X1->IsSetReverse());
}

TEST_F(PointsTest, FailureFlagsAreSharedByPairedEndsAndTakeDetectionAway) {
    x.X1->SetFailedNormal(true);
    EXPECT_TRUE(x.X2->FailedNormal);
    EXPECT_FALSE(x.X2->IsDetectedNormal());
    EXPECT_FALSE(x.X1->IsSetNormal());
    x.X2->SetFailedNormal(false);
    EXPECT_FALSE(x.X1->FailedNormal);
    EXPECT_TRUE(x.X1->IsSetNormal());
}

TEST_F(PointsTest, MovementRefusedWhileCircuitOccupiedWithReasonNamingPoints) {
    x.X1->CallReverse();
    Seconds(4);
    x.TU->Occupy();
    EXPECT_FALSE(x.X1->CanMoveNormal());
    EXPECT_EQ(t->LastFailReason, "Point(s) locked reverse by another route X1");
    x.TU->Vacate();
    t.Ticks(3);
    x.TW->Occupy();  // the paired end's circuit stops both
    EXPECT_FALSE(x.X1->CanMoveReverse());
    EXPECT_EQ(t->LastFailReason, "Point(s) locked normal by another route");
}

TEST_F(PointsTest, KeyedReverseIsNeverFreeToGoNormal) {
    x.X1->KeyReverseAction();
    Seconds(4);
    EXPECT_TRUE(x.X1->KeyedReverse);
    EXPECT_TRUE(x.X2->KeyedReverse);
    EXPECT_TRUE(x.X1->IsDetectedReverse());
    EXPECT_FALSE(x.X1->IsFreeToGoNormal());
    EXPECT_FALSE(x.X1->CanMoveNormal());
    EXPECT_TRUE(x.X1->IsFreeToGoReverse());
    EXPECT_FALSE(x.U1U2->IsAvailable());
}

// One click in each panel mode, on points in a given keyed and reminder state.
// A case names only what is set; every other flag is false and the message empty.
struct ClickCase {
    const char* name;
    bool keyedNormal = false, keyedReverse = false, reminder = false;
    bool reminderMode = false, isolationMode = false;
    bool left = false;
    bool expectKeyedNormal = false, expectKeyedReverse = false, expectReminder = false;
    const char* message = "";
};

void PrintTo(const ClickCase& c, std::ostream* os) {
    *os << c.name;
}

class PointsClickTest : public PointsTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(PointsClickTest, ClickActsOnPointsAndPairAndLeavesModes) {
    const ClickCase& c = GetParam();
    for (TPTS* p : {x.X1, x.X2}) {
        p->KeyedNormal = c.keyedNormal;
        p->KeyedReverse = c.keyedReverse;
        p->Reminder = c.reminder;
    }
    t->Operator.ReminderMode = c.reminderMode;
    t->Operator.IsolationMode = c.isolationMode;
    const bool claimed =
        c.left ? t->Points.CheckLeftClick(20, 5) : t->Points.CheckRightClick(20, 5);
    EXPECT_TRUE(claimed);
    for (TPTS* p : {x.X1, x.X2}) {
        EXPECT_EQ(p->KeyedNormal, c.expectKeyedNormal) << p->ID;
        EXPECT_EQ(p->KeyedReverse, c.expectKeyedReverse) << p->ID;
        EXPECT_EQ(p->Reminder, c.expectReminder) << p->ID;
    }
    EXPECT_EQ(LastMessage(t), c.message);
    EXPECT_FALSE(t->Operator.ReminderMode);
    EXPECT_FALSE(t->Operator.IsolationMode);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PointsClickTest,
    ::testing::Values(
        ClickCase{.name = "KeyNormal", .left = true, .expectKeyedNormal = true},
        ClickCase{.name = "KeyReverse", .expectKeyedReverse = true},
        ClickCase{.name = "LeftTakesNormalKeyOff", .keyedNormal = true, .left = true},
        ClickCase{.name = "LeftTakesReverseKeyOff", .keyedReverse = true, .left = true},
        ClickCase{.name = "RightTakesNormalKeyOff", .keyedNormal = true},
        ClickCase{.name = "ReminderBlocksKey",
                  .keyedNormal = true,
                  .reminder = true,
                  .left = true,
                  .expectKeyedNormal = true,
                  .expectReminder = true,
                  .message = "Cannot move point with reminder applied"},
        ClickCase{.name = "ReminderOnKeyed",
                  .keyedReverse = true,
                  .reminderMode = true,
                  .left = true,
                  .expectKeyedReverse = true,
                  .expectReminder = true},
        ClickCase{.name = "ReminderNeedsKey",
                  .reminderMode = true,
                  .left = true,
                  .message = "Point must be keyed before setting reminder"},
        ClickCase{.name = "ReminderOffUnkeyed", .reminder = true, .reminderMode = true},
        ClickCase{.name = "CannotIsolate",
                  .isolationMode = true,
                  .left = true,
                  .message = "Cannot isolate point"},
        ClickCase{.name = "RightInIsolationKeysReverse",
                  .isolationMode = true,
                  .expectKeyedReverse = true}),
    [](const ::testing::TestParamInfo<ClickCase>& info) { return info.param.name; });

TEST_F(PointsTest, ClicksOffThePointsAndTheirElementsAreNotClaimed) {
    EXPECT_FALSE(t->Points.CheckLeftClick(22, 5));
    TPEL& label = t->Labels.Create(*t);
    label.X = 50;
    label.Y = 9;
    label.Role = PerLabel;
    x.X1->ExtraElements.Add({}, &label);
    EXPECT_TRUE(t->Points.CheckLeftClick(50, 9));
    EXPECT_TRUE(x.X1->KeyedNormal);
}

TEST_F(PointsTest, AutoNormaliseReturnsUnlockedPointsAfterSixQuietSeconds) {
    TPTS& l1 = *loop.L1;
    l1.AutoNormalise = 1;
    // The route into the loop lays L1 reverse and holds it there while it is set.
    auto setLoopRoute = [&] { loop.SLSXl->SetRoute(); };
    auto unsetLoopRoute = [&] {
        loop.SLSXl->Unset();
        loop.SL->CurrentRoute = nullptr;  // its subroutes release at the next cycle
    };
    setLoopRoute();
    Seconds(10);
    ASSERT_TRUE(l1.IsDetectedReverse());
    EXPECT_EQ(l1.AutoNormalTimer, 0);
    // Released: the count runs; locking again within six seconds restarts it.
    unsetLoopRoute();
    Seconds(4);
    EXPECT_EQ(l1.AutoNormalTimer, 4);
    setLoopRoute();
    Seconds(1);
    EXPECT_EQ(l1.AutoNormalTimer, 0);
    unsetLoopRoute();
    Seconds(5);
    EXPECT_TRUE(l1.ControlledReverse);
    Seconds(1);
    EXPECT_TRUE(l1.ControlledNormal);
    // Once: lying normal, it stays.
    Seconds(10);
    EXPECT_TRUE(l1.IsDetectedNormal());
}

TEST_F(PointsTest, LinkedPointsAreCalledAndCheckedTogether) {
    // F moves with L1: normal with normal, reverse with reverse.
    loop.L1->NormalAlsoNormal.Add({}, loop.F);
    loop.L1->ReverseAlsoReverse.Add({}, loop.F);
    loop.L1->CallReverse();
    EXPECT_TRUE(loop.F->ControlledReverse);
    Seconds(4);
    loop.TSidac->Lock();  // the siding holds F reverse, so L1 may not go normal either
    EXPECT_FALSE(loop.L1->CanMoveNormal());
    EXPECT_FALSE(loop.L1->IsFreeToGoNormal());
    loop.TSidac->Release();
    EXPECT_TRUE(loop.L1->IsFreeToGoNormal());
}

TEST_F(PointsTest, PointsHooksDecideOrSkipTheLockingTest) {
    int asked = 0;
    t->Hooks.PointsReverseHook = [&](TPTS&, bool&) {
        ++asked;
        return false;
    };
    EXPECT_FALSE(x.X1->CanMoveReverse());
    EXPECT_GT(asked, 0);
    // A handled answer skips the engine's own test, even with the circuit occupied.
    t->Hooks.PointsReverseHook = [](TPTS&, bool& handled) {
        handled = true;
        return true;
    };
    x.TU->Occupy();
    EXPECT_TRUE(x.X1->CanMoveReverse());
    // The call hook may stop overlaps being swung.
    bool calledWhileNotControlled = false;
    t->Hooks.PointsReverseCallHook = [&](TPTS& p, bool&) {
        calledWhileNotControlled = !p.ControlledReverse;
    };
    x.X1->CallReverse();
    EXPECT_TRUE(calledWhileNotControlled);
}

TEST_F(PointsTest, SaveLoadRoundTripAndCorruptRecordsRefused) {
    x.X1->CallReverse();
    x.X1->SetKeyedReverse(true);
    x.X1->SetReminder(true);
    x.X1->SetFailedReverse(true);
    ValueWriter w;
    ASSERT_TRUE(x.X1->Save(w));
    x.X1->Reset();
    x.X2->Reset();
    ValueReader r(w.Bytes());
    ASSERT_TRUE(x.X1->Load(r));
    EXPECT_TRUE(r.AtEnd());
    EXPECT_TRUE(x.X1->ControlledReverse);
    EXPECT_FALSE(x.X1->DetectedNormal);
    EXPECT_TRUE(x.X1->KeyedReverse);
    EXPECT_TRUE(x.X1->Reminder);
    EXPECT_TRUE(x.X2->FailedReverse);  // applied through the pairing
    EXPECT_GE(x.X1->MoveTimer, 3);

    auto load = [&](std::int32_t timer, std::int32_t autoTimer, std::int32_t flags) {
        ValueWriter bad;
        bad.WriteInteger(timer);
        bad.WriteInteger(autoTimer);
        bad.WriteInteger(flags);
        ValueReader br(bad.Bytes());
        return x.X2->Load(br);
    };
    EXPECT_FALSE(load(-1, 0, 1 | 4));
    EXPECT_FALSE(load(0, 7, 1 | 4));
    EXPECT_FALSE(load(0, 0, 1 | 2));  // controlled both ways
    EXPECT_TRUE(load(0, 0, 2 | 8));
    ValueWriter truncated;
    truncated.WriteInteger(0);
    ValueReader tr(truncated.Bytes());
    EXPECT_FALSE(x.X2->Load(tr));
}

TEST_F(PointsTest, ResetReturnsPointsNormalAndUnkeyed) {
    x.X1->CallReverse();
    x.X1->SetKeyedReverse(true);
    x.X1->SetReminder(true);
    x.X1->SetFailedNormal(true);
    t->ResetSimulation();
    EXPECT_TRUE(x.X1->ControlledNormal && x.X1->IsDetectedNormal());
    EXPECT_FALSE(x.X1->KeyedReverse || x.X1->Reminder || x.X1->FailedNormal || x.X2->FailedNormal);
    EXPECT_EQ(x.X1->MoveTimer, 0);
}

TEST_F(PointsTest, StateMessagesToClientsAndRequestsFromThem) {
    t->Broadcaster = &t.broadcaster;
    x.X1->SetKeyedReverse(true);
    ASSERT_FALSE(t.broadcaster.Sent.empty());
    const std::string pa = t.broadcaster.Sent.back();
    ASSERT_EQ(pa.size(), 8u);
    EXPECT_EQ(pa.substr(0, 6), "PA0000");
    EXPECT_EQ(static_cast<unsigned char>(pa[6]), 1u | 4u | 128u);
    EXPECT_EQ(pa[7], 0);

    // A client mirrors it.
    TestSim client;
    RailwayBuilder cb(*client);
    BuildCrossoverPair(cb);
    client->ClientMode = true;
    client->Points.HandleClientMessage(pa);
    EXPECT_TRUE(client->Points.At(0)->KeyedReverse);
    client->Points.HandleClientMessage("PA0099" + pa.substr(6));  // outside the list: ignored
    // A click on the client goes to the server as a request and changes nothing here.
    std::vector<std::string> requests;
    client->ServerLink = [&](const std::string& p) { requests.push_back(p); };
    client->Points.CheckLeftClick(20, 5);
    client->Operator.ReminderMode = true;
    client->Points.CheckRightClick(20, 5);
    EXPECT_EQ(requests, (std::vector<std::string>{"PB0000", "PE0000"}));
    EXPECT_FALSE(client->Points.At(0)->KeyedNormal);
    client->Points.HandleClientMessage("PB0000");  // requests are for the server only
    EXPECT_FALSE(client->Points.At(0)->KeyedNormal);

    // The server acts on requests.
    t->Points.HandleClientMessage(pa.substr(0, 6) + std::string(2, '\0'));  // state: client only
    EXPECT_TRUE(x.X1->ControlledNormal);
    t->Points.HandleClientMessage("PB0000");  // keyed reverse: the key comes off
    EXPECT_FALSE(x.X1->KeyedReverse);
    t->Points.HandleClientMessage("PB0000");
    EXPECT_TRUE(x.X1->KeyedNormal);
    t->Points.HandleClientMessage("PD0000");
    EXPECT_TRUE(x.X1->Reminder);
    t->Points.HandleClientMessage("PE0000");
    EXPECT_FALSE(x.X1->Reminder);
    t->Points.HandleClientMessage("CA000010");
    EXPECT_TRUE(x.X2->FailedNormal);
    EXPECT_FALSE(x.X2->FailedReverse);
    t->Points.HandleClientMessage("CA00001x");  // malformed: ignored
    EXPECT_TRUE(x.X1->FailedNormal);
}

// Colour and glyph of the points in each state. X1 lies at (20, 5) with orientation 0:
// plain "g", normal "a", reverse "k".
TEST_F(PointsTest, DrawingShowsLockingOccupationAndPosition) {
    TPTS& p = *x.X1;
    auto cell = [&] {
        p.Draw();
        return t.surface.At(20, 5);
    };
    EXPECT_EQ(cell().Code, 'g');  // at rest, position not shown
    EXPECT_EQ(cell().Fg, ClGrey);
    t->Options().ShowPoints = true;
    EXPECT_EQ(cell().Code, 'a');
    t->Options().ShowPoints = false;

    x.TUab->Lock();
    EXPECT_EQ(cell().Code, 'a');
    EXPECT_EQ(cell().Fg, ClWhite);
    x.TU->Occupy();
    EXPECT_EQ(cell().Fg, ClRed);
    x.TUab->Release();
    EXPECT_EQ(cell().Fg, ClRed);                // occupied, no route on the circuit
    TULC& other = build.Subroute(*x.TU, "XY");  // a move over the circuit not using X1
    other.Lock();  // another route on the circuit: its own lighting shows it
    EXPECT_EQ(cell().Fg, ClGrey);
    other.Release();
    x.TU->Vacate();
    t.Ticks(3);

    p.CallReverse();  // moving: plain glyph, flashing grey
    t->FlashPhase = true;
    t->FlashGrey = ClGrey;
    EXPECT_EQ(cell().Code, 'g');
    EXPECT_EQ(cell().Fg, ClGrey);
    t->FlashGrey = ClBlack;
    EXPECT_EQ(cell().Fg, ClBlack);
    Seconds(4);
    p.SwapGlyphs = 1;
    p.SetKeyedReverse(true);
    EXPECT_EQ(cell().Code, 'a');  // reverse shown with the swapped glyph
    EXPECT_EQ(cell().Bg, ClYellow);
}

TEST_F(PointsTest, KeyIndicatorFlashesUntilCalledAndShowsReminderBrackets) {
    TPEL& key = t->Labels.Create(*t);
    key.X = 60;
    key.Y = 10;
    key.Role = PerKey;
    x.X1->ExtraElements.Add({}, &key);
    x.X1->KeyedReverse = true;  // keyed, not yet called
    t->FlashGrey = ClBlack;
    x.X1->Draw();
    EXPECT_EQ(t.surface.At(60, 10).Code, 'R');
    EXPECT_EQ(t.surface.At(60, 10).Fg, ClBlack);
    x.X1->CallReverse();
    x.X1->Reminder = true;
    x.X1->Draw();
    EXPECT_EQ(t.surface.At(60, 10).Fg, ClGrey);
    EXPECT_EQ(t.surface.At(59, 10).Code, ']');
    EXPECT_EQ(t.surface.At(61, 10).Code, '[');
    EXPECT_EQ(t.surface.At(61, 10).Fg, ClYellow);
}

}  // namespace
}  // namespace kestra

namespace kestra {
namespace {

// The colour of X1's glyph in each combination of locking, occupation and movement.
// The flashing colours are given sentinel values so that flashing shows as such.
struct ColourCase {
    const char* name;
    bool routeLocked, overlapHeld, otherRoute, occupied, moving;
    Colour expected;
};

void PrintTo(const ColourCase& c, std::ostream* os) {
    *os << c.name;
}

class PointsColourTest : public PointsTest, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(PointsColourTest, ColourTellsLockingOccupationAndCorrespondence) {
    const ColourCase& c = GetParam();
    if (c.routeLocked) x.TUab->Free = false;
    if (c.overlapHeld) x.TUab->Overlap = &build.Overlap(*x.U1, {x.TUab});
    if (c.otherRoute) build.Subroute(*x.TU, "XY").Free = false;
    if (c.occupied) x.TU->OccupyCount = 1;
    if (c.moving) x.X1->DetectedNormal = false;
    t->FlashWhite = ClViolet;
    t->FlashRed = ClOrange;
    t->FlashGrey = ClSkyBlue;
    x.X1->Draw();
    EXPECT_EQ(t.surface.At(20, 5).Fg, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    States, PointsColourTest,
    ::testing::Values(ColourCase{"AtRest", false, false, false, false, false, ClGrey},
                      ColourCase{"RouteLocked", true, false, false, false, false, ClWhite},
                      ColourCase{"RouteLockedOccupied", true, false, false, true, false, ClRed},
                      ColourCase{"OverlapHeld", false, true, false, false, false, ClWhite},
                      ColourCase{"OverlapHeldOccupied", false, true, false, true, false, ClRed},
                      ColourCase{"Occupied", false, false, false, true, false, ClRed},
                      ColourCase{"OccupiedUnderAnotherRoute", false, false, true, true, false,
                                 ClGrey},
                      ColourCase{"MovingFree", false, false, false, false, true, ClSkyBlue},
                      ColourCase{"MovingLocked", true, false, false, false, true, ClViolet},
                      ColourCase{"MovingOccupied", true, false, false, true, true, ClOrange}),
    [](const ::testing::TestParamInfo<ColourCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kestra
