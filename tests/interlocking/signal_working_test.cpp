// How signals worked by routes behave cycle by cycle: approach locking to the second,
// how far back a train counts as approaching, replacement, lamp proving, repeating and
// approach-lit signals, yellow runs, the route exchanges and the entrance selection.

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "display/palette.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace kestra {
namespace {

using test::BuildPlainLine;
using test::kMainAspects;
using test::kShuntAspects;
using test::MessageTexts;
using test::PlainLine;
using test::RailwayBuilder;
using test::TestSim;

constexpr std::uint8_t kThreeAspects = AfRed | AfSingleYellow | AfGreen;

// Whether the last "SA" record broadcast for a signal says its approach timer runs;
// nothing when no record was sent for it.
std::optional<bool> LastTimerBit(const TestSim& t, int index) {
    std::optional<bool> bit;
    for (const std::string& m : t.broadcaster.Sent) {
        if (m.size() < 8 || m.compare(0, 2, "SA") != 0) continue;
        const int i = static_cast<unsigned char>(m[2]) | (static_cast<unsigned char>(m[3]) << 8);
        if (i == index) bit = (static_cast<unsigned char>(m[4]) & 0x80) != 0;
    }
    return bit;
}

// A line worked in one direction, long enough for a train to approach from several
// signals back:
//   C0 | R3   C1 | R2   C2 | R1   C3 | S   C4   C5 | X   C6
// S is the entrance of the route S-X (C4, C5); X's overlap is C6. R1 to R3 are the
// signals a driver passes before S; each stands at the end of the circuit named.
struct ApproachLine {
    TTCS* C[7];
    TSIG *R3, *R2, *R1, *S, *X;
    TULC* U[7];
    TROU* SX;
};

ApproachLine BuildApproachLine(RailwayBuilder& b, std::uint8_t rearFlags) {
    ApproachLine f{};
    for (int i = 0; i < 7; ++i) f.C[i] = &b.Circuit("C" + std::to_string(i));
    f.R3 = &b.Signal("R3", f.C[0], 0, rearFlags);
    f.R2 = &b.Signal("R2", f.C[1], 0, rearFlags);
    f.R1 = &b.Signal("R1", f.C[2], 0, rearFlags);
    f.S = &b.Signal("S", f.C[3]);
    f.X = &b.Signal("X", f.C[5]);
    TSIG* ends[7] = {f.R3, f.R2, f.R1, f.S, nullptr, f.X, nullptr};
    for (int i = 0; i < 7; ++i) f.U[i] = &b.Subroute(*f.C[i], "AB", ends[i]);
    b.Chain({f.U[0], f.U[1], f.U[2], f.U[3], f.U[4], f.U[5], f.U[6]});
    b.Overlap(*f.X, {f.U[6]});
    f.SX = &b.Route(*f.S, *f.X, {f.U[4], f.U[5]});
    return f;
}

// ------------------------------------------------------------------ approach locking

// A cleared route cancelled in front of a train: the route stays locked until the
// approach time has run, counted in whole seconds of the simulated clock from the cycle
// that started the timer, and releases in the first cycle at which it is due.
struct ReleaseCase {
    const char* what;
    bool shunt;  // entrance is a shunt signal (no 60-second case)
    std::int32_t approachTime;
    int standSeconds;  // how long the train has stood on the berth circuit
    int dueSeconds;    // locking applied
    const char* message;
};

void PrintTo(const ReleaseCase& c, std::ostream* os) {
    *os << c.what;
}

class ApproachReleaseTime : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(ApproachReleaseTime, RouteReleasesAtTheCycleItIsDueAndNotBefore) {
    const ReleaseCase& c = GetParam();
    TestSim t;
    t->Broadcaster = &t.broadcaster;
    RailwayBuilder b(*t);
    PlainLine f = BuildPlainLine(b);
    TROU* route = f.S1S2;
    if (c.shunt) {
        f.S1->SignalKind = 1;
        f.S1->AspectFlags = kShuntAspects;
        f.S1->SetBaseAspectFromFlags();
        f.S1S2->Class = RcShunt;
    }
    route->ApproachTime = c.approachTime;
    t.Ticks(2);
    if (c.standSeconds > 0) {
        f.T0->Occupy();
        t.Ticks(2 * c.standSeconds);
    }
    ASSERT_TRUE(RouteRequest(*t, *f.S1, *f.S2, 0).Set) << t->LastFailReason;
    t.Ticks(3);
    ASSERT_NE(f.S1->Aspect, AspDanger);
    if (c.standSeconds == 0) f.T0->Occupy();  // the train has just reached the berth

    t->QueueRequest("QD", f.S1, nullptr, 0);
    t.Ticks(1);  // the cancel runs after this cycle's signals
    ASSERT_TRUE(f.S1->CancelRequested);
    const std::int32_t start = t->SimTime;
    t.Ticks(1);  // this cycle's signals start the timer
    ASSERT_EQ(f.S1->Aspect, AspDanger);
    ASSERT_LT(f.S1->ApproachTimer, 255);
    EXPECT_EQ(LastTimerBit(t, 0), std::optional<bool>(true)) << "clients see the timer run";
    EXPECT_EQ(MessageTexts(t), std::vector<std::string>{c.message});

    for (int guard = 0; t->SimTime - start < c.dueSeconds; ++guard) {
        ASSERT_LT(guard, 1000);
        ASSERT_TRUE(route->RouteSet) << "released early, " << t->SimTime - start << " s in";
        t.Ticks(1);
    }
    EXPECT_TRUE(route->RouteSet) << "released one cycle early";
    t.Ticks(1);
    EXPECT_FALSE(route->RouteSet) << "not released when due";
    EXPECT_EQ(f.S1->ApproachTimer, 255);
    EXPECT_EQ(LastTimerBit(t, 0), std::optional<bool>(false)) << "clients see the timer stop";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApproachReleaseTime,
    ::testing::Values(ReleaseCase{"moving train, full time", false, 120, 0, 120,
                                  "120 seconds approach locking applied - train approaching"},
                      ReleaseCase{"stood less than the berth ClearTime", false, 120, 24, 120,
                                  "120 seconds approach locking applied - train approaching"},
                      ReleaseCase{"standing train, 60 seconds", false, 120, 40, 60,
                                  "60 seconds approach locking applied - train approaching"},
                      ReleaseCase{"standing train, 61 s approach time", false, 61, 40, 60,
                                  "60 seconds approach locking applied - train approaching"},
                      ReleaseCase{"standing train, short approach time in full", false, 45, 40, 45,
                                  "45 seconds approach locking applied - train approaching"},
                      ReleaseCase{"shunt signal always takes the full time", true, 120, 40, 120,
                                  "120 seconds approach locking applied - train approaching"}),
    [](const ::testing::TestParamInfo<ReleaseCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// How far back a train counts as approaching: the walk goes back past the signals in
// rear until a driver would have seen green; a rear signal held by its own approach
// locking ends it too.
TEST(TrainApproachingTest, ReachesBackUntilTheAspectSequenceShowsGreen) {
    struct Case {
        const char* what;
        std::uint8_t rearFlags;
        int occupied;     // circuit index the train stands on
        bool rearLocked;  // R1 is itself approach-locked at danger
        bool approaching;
    } cases[] = {
        {"on the berth circuit", kMainAspects, 3, false, true},
        {"one signal back, 4-aspect", kMainAspects, 2, false, true},
        {"two signals back, 4-aspect (double yellow)", kMainAspects, 1, false, true},
        {"three signals back, 4-aspect (green)", kMainAspects, 0, false, false},
        {"one signal back, 3-aspect", kThreeAspects, 2, false, true},
        {"two signals back, 3-aspect (green)", kThreeAspects, 1, false, false},
        {"behind a rear signal held by approach locking", kMainAspects, 2, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestSim t;
        RailwayBuilder b(*t);
        ApproachLine f = BuildApproachLine(b, c.rearFlags);
        t.Ticks(2);
        ASSERT_TRUE(RouteRequest(*t, *f.S, *f.X, 0).Set) << t->LastFailReason;
        t.Ticks(3);
        ASSERT_NE(f.S->Aspect, AspDanger);
        f.C[c.occupied]->Occupy();
        if (c.rearLocked) f.R1->ApproachTimer = 10;
        t.Ticks(1);
        EXPECT_EQ(f.S->TrainApproaching(), c.approaching);
        t->QueueRequest("QD", f.S, nullptr, 0);
        t.Ticks(2);
        EXPECT_EQ(f.SX->RouteSet, c.approaching) << "locked only for an approaching train";
        EXPECT_EQ(f.S->ApproachTimer < 255, c.approaching);
        EXPECT_EQ(t->Performance.RoutesCancelledApproaching, c.approaching ? 1 : 0);
    }
}

// ------------------------------------------------------------------ fixture on the plain line

class SignalWorking : public ::testing::Test {
  protected:
    SignalWorking() {
        t->SimData.ScreenCount = 1;
        f = BuildPlainLine(b);
        t.Ticks(2);
    }
    void SetRoute(TSIG& from, TSIG& to, std::uint8_t flag = 0) {
        const RouteRequestResult r = RouteRequest(*t, from, to, flag);
        ASSERT_TRUE(r.Set) << t->LastFailReason;
    }

    TestSim t;
    RailwayBuilder b{*t};
    PlainLine f{};
};

// A train that runs past the signal while the approach locking runs releases the route
// as soon as its passage is complete, without waiting for the time.
TEST_F(SignalWorking, TrainPassingDuringApproachLockingReleasesTheRouteEarly) {
    SetRoute(*f.S1, *f.S2);
    t.Ticks(3);
    ASSERT_NE(f.S1->Aspect, AspDanger);
    f.T0->Occupy();
    t->QueueRequest("QD", f.S1, nullptr, 0);
    t.Ticks(2);
    ASSERT_LT(f.S1->ApproachTimer, 255);
    ASSERT_TRUE(f.S1S2->RouteSet);
    f.T1->Occupy();
    f.T2->Occupy();
    t.Ticks(2);
    EXPECT_TRUE(f.S1S2->RouteSet) << "not past yet";
    f.T0->Vacate();
    f.T1->Vacate();
    t.Ticks(12);  // T1 reads clear 3 s after the train has left it
    EXPECT_FALSE(f.S1S2->RouteSet);
    EXPECT_EQ(f.S1->ApproachTimer, 255);
}

// Replacement needs a train at the signal: the first circuit ahead occupied on its own
// (a failure, or a move from elsewhere) puts the signal to danger only while it lasts.
TEST_F(SignalWorking, FirstCircuitOccupiedWithoutATrainAtTheSignalDoesNotReplaceIt) {
    SetRoute(*f.S1, *f.S2);
    t.Ticks(3);
    ASSERT_NE(f.S1->Aspect, AspDanger);
    f.T1->Occupy();
    t.Ticks(2);
    EXPECT_EQ(f.S1->Aspect, AspDanger);  // the route is no longer proved
    EXPECT_TRUE(f.S1->Armed);
    f.T1->Vacate();
    t.Ticks(10);
    EXPECT_TRUE(f.S1S2->RouteSet);
    EXPECT_EQ(f.S1->Aspect, AspSingleYellow) << "the signal clears again once the circuit does";

    // With the train on the berth circuit as well, the same occupation is the train
    // passing: the signal stays at danger after the circuit clears.
    f.T0->Occupy();
    t.Ticks(1);
    ASSERT_NE(f.S1->Aspect, AspDanger);
    f.T1->Occupy();
    t.Ticks(1);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
    EXPECT_FALSE(f.S1->Armed);
    f.T1->Vacate();
    t.Ticks(10);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
}

// A failed lamp at the exit keeps the entrance at danger; the route stays set and the
// entrance clears when the lamp is proved again.
TEST_F(SignalWorking, ExitLampFailureHoldsTheEntranceAtDanger) {
    SetRoute(*f.S1, *f.S2);
    t.Ticks(3);
    ASSERT_NE(f.S1->Aspect, AspDanger);
    f.S2->SetLampProved(false);
    t.Ticks(1);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
    EXPECT_FALSE(f.S1->ProceedAllowed);
    t.Ticks(4);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
    EXPECT_TRUE(f.S1S2->RouteSet);
    f.S2->SetLampProved(true);
    t.Ticks(1);
    EXPECT_EQ(f.S1->Aspect, AspSingleYellow);
}

TEST(ShuntSignalWorkingTest, ExitLampFailureHoldsAShuntSignalAtDanger) {
    TestSim t;
    RailwayBuilder b(*t);
    TTCS& siding = b.Circuit("TS");
    TTCS& neck = b.Circuit("TN");
    TSIG& shunt = b.Signal("SH", &siding, 1, kShuntAspects);
    TSIG& exit = b.Signal("EX", &neck);
    TULC& sidingAB = b.Subroute(siding, "AB", &shunt, 100);
    TULC& neckAB = b.Subroute(neck, "AB", &exit, 100);
    b.Chain({&sidingAB, &neckAB});
    b.Route(shunt, exit, {&neckAB}, RcShunt);
    t.Ticks(2);
    siding.Occupy();
    ASSERT_TRUE(RouteRequest(*t, shunt, exit, 0).Set) << t->LastFailReason;
    t.Ticks(2 * sidingAB.ClearTime + 2);
    ASSERT_EQ(shunt.Aspect, AspShunt);
    exit.SetLampProved(false);
    t.Ticks(1);
    EXPECT_EQ(shunt.Aspect, AspDanger);
    exit.SetLampProved(true);
    t.Ticks(1);
    EXPECT_EQ(shunt.Aspect, AspShunt);
}

// An approach-lit signal is lit only while a route up to it holds its subroutes, as
// the exit of a route and as the entrance of one alike.
TEST_F(SignalWorking, ApproachLitSignalIsLitOnlyWhileARouteLeadsToIt) {
    f.S2->ApproachLit = true;
    t.Ticks(1);
    EXPECT_FALSE(f.S2->LampProved);
    // A route from it does not light it.
    SetRoute(*f.S2, *f.S3);
    t.Ticks(3);
    EXPECT_FALSE(f.S2->LampProved);
    EXPECT_EQ(f.S2->Aspect, AspSingleYellow);
    // Lit once a route leads to it, so the route into it may clear.
    SetRoute(*f.S1, *f.S2);
    t.Ticks(3);
    EXPECT_TRUE(f.S2->LampProved);
    EXPECT_EQ(f.S1->Aspect, AspDoubleYellow);
    // The route into it released (no train about): it goes out again.
    t->QueueRequest("QD", f.S1, nullptr, 0);
    t.Ticks(12);
    ASSERT_FALSE(f.S1S2->RouteSet);
    ASSERT_TRUE(f.S2S3->RouteSet);
    EXPECT_FALSE(f.S2->LampProved);
}

// A repeating signal follows its next signal by the repeating rule while its control
// circuits are clear, and shows its most restrictive aspect otherwise.
TEST(RepeatingSignalTest, FollowsTheNextSignalWhileItsCircuitsAreClear) {
    struct Case {
        const char* what;
        std::uint8_t kind;
        std::uint8_t flags;
        std::uint8_t nextAspect;
        bool occupied;
        std::uint8_t want;
    } cases[] = {
        {"behind single yellow: flashing single yellow", 3, kMainAspects | AfFlashingSingleYellow,
         AspSingleYellow, false, AspFlashingSingleYellow},
        {"without the flashing lamp: double yellow", 3, kMainAspects, AspSingleYellow, false,
         AspDoubleYellow},
        {"behind danger: single yellow", 4, kMainAspects, AspDanger, false, AspSingleYellow},
        {"behind green: green", 3, kMainAspects, AspGreen, false, AspGreen},
        {"circuit occupied: danger", 3, kMainAspects, AspGreen, true, AspDanger},
        {"no red lamp, circuit occupied: single yellow", 4, AfSingleYellow | AfGreen, AspGreen,
         true, AspSingleYellow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestSim t;
        RailwayBuilder b(*t);
        TTCS& control = b.Circuit("TC");
        TSIG& next = b.Signal("N", nullptr, 5);  // drawn only: keeps the aspect given
        TSIG& rep = b.Signal("RP", nullptr, c.kind, c.flags);
        rep.NextSignal = &next;
        rep.ControlCircuits.Add("", &control);
        next.Aspect = c.nextAspect;
        if (c.occupied) control.Occupy();
        t.Ticks(2);
        EXPECT_EQ(rep.Aspect, c.want);
        EXPECT_EQ(rep.ProceedAllowed, c.want != AspDanger);
    }
}

// A signal given a yellow run shows single yellow behind a run of single yellows no
// longer than its run, through the main rules; behind a longer run it steps up.
TEST_F(SignalWorking, YellowRunRepeatsSingleYellowThroughTheMainRules) {
    struct Case {
        std::int32_t yellowRun;
        bool secondYellow;  // a further single yellow beyond S2
        std::uint8_t want;
    } cases[] = {
        {0, false, AspDoubleYellow},
        {1, false, AspSingleYellow},
        {1, true, AspDoubleYellow},
        {2, true, AspSingleYellow},
    };
    TSIG& beyond = b.Signal("B", nullptr, 5);  // drawn only: keeps the aspect given
    beyond.Aspect = AspSingleYellow;
    SetRoute(*f.S1, *f.S2);
    SetRoute(*f.S2, *f.S3);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "YellowRun " << c.yellowRun << " second yellow " << c.secondYellow);
        f.S1->YellowRun = c.yellowRun;
        f.S2->NextSignal = c.secondYellow ? &beyond : nullptr;
        t.Ticks(3);
        ASSERT_EQ(f.S2->Aspect, AspSingleYellow);
        EXPECT_EQ(f.S1->Aspect, c.want);
    }
}

TEST(AspectFromRunTest, DoubleYellowRunRepeatsDoubleYellow) {
    TestSim t;
    RailwayBuilder b(*t);
    TSIG& s = b.Signal("S");
    TSIG& n1 = b.Signal("N1");
    TSIG& n2 = b.Signal("N2");
    n1.NextSignal = &n2;
    n1.Aspect = AspDoubleYellow;
    n2.Aspect = AspGreen;
    EXPECT_EQ(s.AspectFrom(n1, false), AspGreen);
    s.DoubleYellowRun = 1;
    EXPECT_EQ(s.AspectFrom(n1, false), AspDoubleYellow);
    n2.Aspect = AspDoubleYellow;  // a run of two is longer than the signal repeats
    EXPECT_EQ(s.AspectFrom(n1, false), AspGreen);
    s.DoubleYellowRun = 2;
    EXPECT_EQ(s.AspectFrom(n1, false), AspDoubleYellow);
    // A repeating signal has no runs.
    EXPECT_EQ(s.AspectFrom(n1, true), AspGreen);
}

// ------------------------------------------------------------------ route exchanges

// Automatic working selected on a warner route: the warner route is exchanged for its
// main route once the line ahead is clear, and after each train has passed on the main
// route it goes back to the alternative, with the exit's restricted overlap.
class RouteExchange : public SignalWorking {
  protected:
    RouteExchange() {
        restricted = &b.Overlap(*f.S2, {f.T3ab}, true);
        warner = &b.Route(*f.S1, *f.S2, {f.T1ab, f.T2ab}, RcWarner);
        warner->MainRoute = f.S1S2;
        warner->AutoAllowed = true;
        f.S1S2->Alternative = warner;
        f.S1S2->AutoAllowed = true;
    }
    TOVL* restricted = nullptr;
    TROU* warner = nullptr;
};

TEST_F(RouteExchange, WarnerToMainAndBackToTheAlternativeAfterEachTrain) {
    SetRoute(*f.S2, *f.S3);
    SetRoute(*f.S1, *f.S2, 1);
    ASSERT_TRUE(warner->RouteSet);
    f.S1->ControlAction(SignalControl::Auto, true, false, false);
    ASSERT_TRUE(f.S1->AutoWorking);
    ASSERT_TRUE(f.S1->AutoOnWarner);
    t.Ticks(3);
    // The line is clear: the main route replaces the warner route and clears.
    EXPECT_EQ(f.S1->CurrentRoute, f.S1S2);
    EXPECT_TRUE(f.S1S2->RouteSet);
    EXPECT_FALSE(warner->RouteSet);
    EXPECT_EQ(f.S2->RouteIn, f.S1S2);
    EXPECT_NE(f.S1->Aspect, AspDanger);

    // A train passes S1; until it is past (passage beyond state 1) the main route stays.
    f.T0->Occupy();
    f.T1->Occupy();
    t.Ticks(1);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
    EXPECT_EQ(f.S1->CurrentRoute, f.S1S2);
    f.T2->Occupy();
    t.Ticks(1);
    ASSERT_EQ(f.S1->PassageState, 1);
    EXPECT_EQ(f.S1->CurrentRoute, f.S1S2);
    f.T0->Vacate();
    f.T1->Vacate();
    t.Ticks(8);
    EXPECT_EQ(f.S1->CurrentRoute, warner);
    EXPECT_TRUE(warner->RouteSet);
    EXPECT_FALSE(f.S1S2->RouteSet);
    EXPECT_EQ(f.S2->RouteIn, warner);
    EXPECT_EQ(f.S2->CurrentOverlap, restricted);
}

TEST_F(RouteExchange, MainRouteWithAutoSelectedOnItselfStaysMain) {
    SetRoute(*f.S2, *f.S3);
    SetRoute(*f.S1, *f.S2);
    f.S1->ControlAction(SignalControl::Auto, true, false, false);
    ASSERT_TRUE(f.S1->AutoWorking);
    ASSERT_FALSE(f.S1->AutoOnWarner);
    t.Ticks(3);
    f.T0->Occupy();
    f.T1->Occupy();
    t.Ticks(1);
    f.T2->Occupy();
    t.Ticks(1);
    f.T0->Vacate();
    f.T1->Vacate();
    t.Ticks(8);
    EXPECT_EQ(f.S1->CurrentRoute, f.S1S2);
    EXPECT_TRUE(f.S1S2->RouteSet);
    EXPECT_FALSE(warner->RouteSet);
}

// ------------------------------------------------------------------ entrance selection

TEST_F(SignalWorking, ClickingTheSelectedEntranceAgainDeselectsItQuietly) {
    f.S1->X = 10;
    f.S1->Y = 5;
    f.S1->EntranceX = 9;
    f.S1->EntranceY = 6;
    f.S1->FirstCircuitAhead = f.T1;
    TSIG& second = b.Signal("S1b", nullptr, 7);  // a second head of S1
    second.NextSignal = f.S1;
    second.X = 20;
    second.Y = 5;
    f.S1->Draw();
    second.Draw();
    ASSERT_GT(f.S1->HeadWidth, 0);
    ASSERT_GT(second.HeadWidth, 0);

    struct Click {
        const char* what;
        int x, y;
    } clicks[] = {{"the head", 10, 5}, {"its second head", 20, 5}};
    for (const Click& c : clicks) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(f.S1->CheckLeftClick(10, 5));
        ASSERT_EQ(t->Operator.SelectedEntrance, f.S1);
        TSIG& target = c.x == 10 ? *f.S1 : second;
        EXPECT_TRUE(target.CheckLeftClick(c.x, c.y));
        EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
        EXPECT_TRUE(MessageTexts(t).empty());
        EXPECT_FALSE(f.S1S2->RouteSet);
    }
    // Selecting it and clicking an exit still sets the route.
    ASSERT_TRUE(f.S1->CheckLeftClick(10, 5));
    f.S2->ControlAction(SignalControl::Head, true, false, false);
    EXPECT_TRUE(f.S1S2->RouteSet);
    EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
    EXPECT_TRUE(MessageTexts(t).empty());
}

// The selected entrance is a whole cell that flashes between white (the track through
// it in black) and a gap, so that it shows on a route already set (white track) as well
// as on grey; a second click that finds no route moves the entrance and says which
// signal it now is.
TEST_F(SignalWorking, EntranceMarkerIsASolidCellAndAMovedEntranceIsNamed) {
    f.S1->X = 10;
    f.S1->Y = 5;
    f.S1->EntranceX = 12;
    f.S1->EntranceY = 6;
    f.S1->FirstCircuitAhead = f.T1;
    f.D1->X = 40;
    f.D1->Y = 7;
    f.D1->EntranceX = 38;
    f.D1->EntranceY = 6;
    f.D1->FirstCircuitAhead = f.T2;
    // The route ahead of S1 is already set, its track white.
    SetRoute(*f.S1, *f.S2);
    f.S1->Draw();
    f.D1->Draw();
    ASSERT_GT(f.D1->HeadWidth, 0);
    ASSERT_TRUE(f.S1->CheckLeftClick(10, 5));
    ASSERT_EQ(t->Operator.SelectedEntrance, f.S1);
    EXPECT_TRUE(MessageTexts(t).empty());
    for (const bool phase : {true, false}) {
        SCOPED_TRACE(phase ? "lit phase" : "dark phase");
        t->FlashPhase = phase;
        f.S1->Draw();
        const test::Cell& cell = t.surface.At(12, 6);
        ASSERT_TRUE(cell.Drawn);
        EXPECT_EQ(cell.Code, 'a');
        EXPECT_EQ(cell.Fg, ClBlack);
        EXPECT_EQ(cell.Bg, phase ? ClWhite : ClBlack);
    }
    // D1 faces the other way: no route joins S1 to it, so it becomes the entrance.
    ASSERT_TRUE(f.D1->CheckLeftClick(40, 7));
    EXPECT_EQ(t->Operator.SelectedEntrance, f.D1);
    EXPECT_EQ(test::LastMessage(t), "Signal 1 is now the entrance");
    t->FlashPhase = true;
    f.D1->Draw();
    EXPECT_EQ(t.surface.At(38, 6).Bg, ClWhite);
    // Clicking the new entrance again only drops it, with nothing more said.
    const std::size_t said = MessageTexts(t).size();
    ASSERT_TRUE(f.D1->CheckLeftClick(40, 7));
    EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
    EXPECT_EQ(MessageTexts(t).size(), said);
}

}  // namespace
}  // namespace kestra
