#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/palette.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace kestra {
namespace {

using test::BuildPlainLine;
using test::kMainAspects;
using test::MessageTexts;
using test::PlainLine;
using test::RailwayBuilder;
using test::TestSim;

// The plain line, run for one cycle so every signal has armed itself.
class PlainLineSignals : public ::testing::Test {
  protected:
    PlainLineSignals() {
        t->SimData.ScreenCount = 1;
        f = BuildPlainLine(b);
        t.Ticks(2);
    }
    // Ticks until the simulated clock has moved by that many seconds.
    void Seconds(int s) { t.Ticks(2 * s); }
    void SetRoute(TSIG& from, TSIG& to) {
        const RouteRequestResult r = RouteRequest(*t, from, to, 0);
        ASSERT_TRUE(r.Set) << t->LastFailReason;
    }

    TestSim t;
    RailwayBuilder b{*t};
    PlainLine f{};
};

TEST(AspectFromTest, DerivesFromTheSignalAhead) {
    TestSim t;
    RailwayBuilder b(*t);
    struct Case {
        const char* what;
        std::uint8_t flags;
        std::uint8_t nextAspect;
        bool repeating;
        std::uint8_t want;
    } cases[] = {
        {"4-aspect behind red", kMainAspects, AspDanger, false, AspSingleYellow},
        {"4-aspect behind single yellow", kMainAspects, AspSingleYellow, false, AspDoubleYellow},
        {"4-aspect behind double yellow", kMainAspects, AspDoubleYellow, false, AspGreen},
        {"3-aspect behind single yellow", AfRed | AfSingleYellow | AfGreen, AspSingleYellow, false,
         AspGreen},
        {"2-aspect red/yellow behind green", AfRed | AfSingleYellow, AspGreen, false,
         AspSingleYellow},
        {"2-aspect red/yellow behind single yellow", AfRed | AfSingleYellow, AspSingleYellow, false,
         AspSingleYellow},
        {"2-aspect red/yellow repeater behind single yellow", AfRed | AfSingleYellow,
         AspSingleYellow, true, AspSingleYellow},
        {"repeater behind single yellow", kMainAspects | AfFlashingSingleYellow, AspSingleYellow,
         true, AspFlashingSingleYellow},
        {"behind flashing single yellow", kMainAspects | AfFlashingDoubleYellow,
         AspFlashingSingleYellow, false, AspFlashingDoubleYellow},
        {"no red lamp: never below single yellow", AfSingleYellow | AfGreen, AspDanger, false,
         AspSingleYellow},
        {"green only", AfGreen, AspDanger, false, AspGreen},
    };
    TSIG& next = b.Signal("N");
    for (const Case& c : cases) {
        TSIG& s = b.Signal(std::string("S") + c.what, nullptr, 0, c.flags);
        next.Aspect = c.nextAspect;
        EXPECT_EQ(s.AspectFrom(next, c.repeating), c.want) << c.what;
    }
    TSIG& noRed = b.Signal("A", nullptr, 2, AfSingleYellow | AfGreen);
    EXPECT_EQ(noRed.BaseAspect, AspSingleYellow);
}

TEST(AspectFromTest, YellowRunRepeatsSingleYellow) {
    TestSim t;
    RailwayBuilder b(*t);
    TSIG& s = b.Signal("S");
    TSIG& n1 = b.Signal("N1");
    TSIG& n2 = b.Signal("N2");
    TSIG& n3 = b.Signal("N3");
    n1.NextSignal = &n2;
    n2.NextSignal = &n3;
    n1.Aspect = AspSingleYellow;
    n2.Aspect = AspSingleYellow;
    n3.Aspect = AspDanger;
    s.YellowRun = 2;
    EXPECT_EQ(s.AspectFrom(n1, false), AspSingleYellow);
    n3.Aspect = AspSingleYellow;  // a run of three is longer than the signal repeats
    EXPECT_EQ(s.AspectFrom(n1, false), AspDoubleYellow);
}

TEST_F(PlainLineSignals, ClearsThroughTheAspectSequenceAndReplacesBehindTheTrain) {
    SetRoute(*f.S1, *f.S2);
    t.Ticks(1);
    EXPECT_EQ(f.S1->Aspect, AspSingleYellow);  // S2 at danger ahead
    SetRoute(*f.S2, *f.S3);
    t.Ticks(2);
    EXPECT_EQ(f.S2->Aspect, AspSingleYellow);
    EXPECT_EQ(f.S1->Aspect, AspDoubleYellow);

    // The train runs from T0 past S1: on the berth circuit and the first circuit ahead
    // the signal goes back to danger at once.
    f.T0->Occupy();
    t.Ticks(1);
    EXPECT_EQ(f.S1->Aspect, AspDoubleYellow);
    f.T1->Occupy();
    t.Ticks(1);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
    EXPECT_TRUE(f.S1S2->RouteSet);
    // Passage: T1 and T2 occupied, then T1 clear with T2 occupied: the route unsets.
    f.T0->Vacate();
    f.T2->Occupy();
    t.Ticks(1);
    f.T1->Vacate();
    t.Ticks(8);
    EXPECT_FALSE(f.S1S2->RouteSet);
    EXPECT_EQ(f.S1->CurrentRoute, nullptr);
    // Sectional release: T1 is free once clear; T2 stays locked under the train.
    EXPECT_TRUE(f.T1ab->IsFree());
    EXPECT_FALSE(f.T2ab->IsFree());
    f.T2->Vacate();
    t.Ticks(8);
    EXPECT_TRUE(f.T2ab->IsFree());
}

// A route set before the signals' first cycle (a player quick off the mark at the start
// of a game, or a commands file's first line) clears its signal, which goes back to danger
// behind the train, and the route releases after it.
TEST(SignalFromResetTest, RouteSetBeforeTheFirstCycleClearsAndReplaces) {
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "after a reset" : "newly built");
        TestSim t;
        t->SimData.ScreenCount = 1;
        RailwayBuilder b(*t);
        const PlainLine f = BuildPlainLine(b);
        if (reset) t->Signals.Reset();
        const RouteRequestResult r = RouteRequest(*t, *f.S1, *f.S2, 0);
        ASSERT_TRUE(r.Set) << t->LastFailReason;
        t.Ticks(4);
        EXPECT_EQ(f.S1->Aspect, AspSingleYellow);
        EXPECT_TRUE(f.S1S2->RouteSet);
        f.T0->Occupy();
        f.T1->Occupy();
        t.Ticks(1);
        EXPECT_EQ(f.S1->Aspect, AspDanger);
        f.T0->Vacate();
        f.T2->Occupy();
        t.Ticks(1);
        f.T1->Vacate();
        t.Ticks(8);
        EXPECT_FALSE(f.S1S2->RouteSet);
    }
}

TEST_F(PlainLineSignals, CancelAtDangerReleasesAtOnceWithoutPenalty) {
    f.T1->Occupy();  // the route cannot be proved, so the signal stays at danger
    SetRoute(*f.S1, *f.S2);
    t.Ticks(1);
    ASSERT_EQ(f.S1->Aspect, AspDanger);
    f.T0->Occupy();  // a train approaching does not matter: the signal was never off
    t->Performance.Score = 500;
    t->QueueRequest("QD", f.S1, nullptr, 0);
    t.Ticks(2);
    EXPECT_FALSE(f.S1S2->RouteSet);
    EXPECT_EQ(f.S1->ApproachTimer, 255);
    EXPECT_TRUE(MessageTexts(t).empty());
    EXPECT_EQ(t->Performance.Score, 500);
}

TEST_F(PlainLineSignals, CancelInFrontOfATrainAppliesApproachLocking) {
    SetRoute(*f.S1, *f.S2);
    t.Ticks(2);
    ASSERT_NE(f.S1->Aspect, AspDanger);
    f.T0->Occupy();  // the train has just come onto the berth circuit
    t->Performance.Score = 30;
    t->QueueRequest("QD", f.S1, nullptr, 0);
    t.Ticks(2);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
    EXPECT_TRUE(f.S1S2->RouteSet);
    ASSERT_EQ(MessageTexts(t).size(), 1u);
    EXPECT_EQ(MessageTexts(t)[0], "120 seconds approach locking applied - train approaching");
    EXPECT_EQ(t->Performance.Score, 0);
    EXPECT_EQ(t->Performance.RoutesCancelledApproaching, 1);

    // The red lamp flashes while the timer runs.
    f.S1->X = 10;
    f.S1->Y = 5;
    std::vector<Colour> lamp;
    for (int i = 0; i < 2; ++i) {
        t.Ticks(1);
        lamp.push_back(t.surface.At(11, 5).Fg);
    }
    EXPECT_NE(lamp[0], lamp[1]);

    Seconds(110);
    EXPECT_TRUE(f.S1S2->RouteSet);
    Seconds(12);
    EXPECT_FALSE(f.S1S2->RouteSet);
    EXPECT_EQ(f.S1->ApproachTimer, 255);
    t.Ticks(2);
    EXPECT_EQ(t.surface.At(11, 5).Fg, ClRed);  // steady red again
}

TEST_F(PlainLineSignals, TrainStandingAtSignalGetsSixtySeconds) {
    f.T0->Occupy();
    Seconds(40);  // longer than the berth subroute's ClearTime of 28 s
    SetRoute(*f.S1, *f.S2);
    t.Ticks(2);
    ASSERT_NE(f.S1->Aspect, AspDanger);
    t->QueueRequest("QD", f.S1, nullptr, 0);
    t.Ticks(2);
    ASSERT_EQ(MessageTexts(t).size(), 1u);
    EXPECT_EQ(MessageTexts(t)[0], "60 seconds approach locking applied - train approaching");
    Seconds(55);
    EXPECT_TRUE(f.S1S2->RouteSet);
    Seconds(8);
    EXPECT_FALSE(f.S1S2->RouteSet);
}

TEST_F(PlainLineSignals, AutomaticWorkingReclearsForTheNextTrainUntilCancelled) {
    f.S1S2->AutoAllowed = true;
    SetRoute(*f.S1, *f.S2);
    t.Ticks(1);
    f.S1->ControlAction(SignalControl::Auto, true, false, false);
    EXPECT_TRUE(f.S1->AutoWorking);
    // A train passes.
    f.T0->Occupy();
    f.T1->Occupy();
    t.Ticks(1);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
    f.T0->Vacate();
    f.T2->Occupy();
    t.Ticks(1);
    f.T1->Vacate();
    f.T2->Vacate();
    f.T3->Occupy();
    t.Ticks(10);
    EXPECT_TRUE(f.S1S2->RouteSet);       // the route stays set
    EXPECT_EQ(f.S1->Aspect, AspDanger);  // but the train stands in S2's overlap
    f.T3->Vacate();
    t.Ticks(4);
    EXPECT_NE(f.S1->Aspect, AspDanger);  // gone: the signal has cleared again
    // Cancelling switches automatic working off and releases the route.
    t->QueueRequest("QD", f.S1, nullptr, 0);
    t.Ticks(4);
    EXPECT_FALSE(f.S1->AutoWorking);
    EXPECT_FALSE(f.S1S2->RouteSet);
}

TEST_F(PlainLineSignals, AutoButtonRefusals) {
    f.S1->SetAutoCollar(1);
    f.S1->ControlAction(SignalControl::Auto, true, false, false);
    SetRoute(*f.S1, *f.S2);
    f.S1->ControlAction(SignalControl::Auto, true, false, false);
    f.S1->SetAutoCollar(0);
    f.S1->ControlAction(SignalControl::Auto, true, false, false);
    EXPECT_EQ(MessageTexts(t),
              (std::vector<std::string>{"No route set from signal", "Auto button is collared",
                                        "Automatic working not available for this route"}));
    EXPECT_FALSE(f.S1->AutoWorking);
}

TEST_F(PlainLineSignals, CallOnVariantShowsPositionLightAfterTheApproachWait) {
    TROU& callOn = b.Route(*f.S1, *f.S2, {f.T1ab}, RcCallOn, {f.T2ab});
    f.S1S2->CallOnVariant = &callOn;
    callOn.MainRoute = f.S1S2;
    f.S1->AspectFlags |= AfPositionLight;
    f.T2->Occupy();  // a train already stands in the platform
    SetRoute(*f.S1, *f.S2);
    EXPECT_TRUE(callOn.RouteSet);
    EXPECT_FALSE(f.S1S2->RouteSet);
    t.Ticks(2);
    EXPECT_EQ(f.S1->Aspect, AspDanger);  // nobody waiting at the signal yet
    f.T0->Occupy();
    Seconds(27);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
    Seconds(3);  // the berth subroute's ClearTime is 28 s
    EXPECT_EQ(f.S1->Aspect, AspShunt);
}

TEST_F(PlainLineSignals, WarnerRouteClearsOnlyAfterTheTrainHasStood) {
    TROU& warner = b.Route(*f.S1, *f.S2, {f.T1ab, f.T2ab}, RcWarner);
    EXPECT_TRUE(RouteRequest(*t, *f.S1, *f.S2, 1).Set);
    EXPECT_TRUE(warner.RouteSet);
    t.Ticks(2);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
    f.T0->Occupy();
    Seconds(30);
    EXPECT_EQ(f.S1->Aspect, AspSingleYellow);
}

TEST(ShuntSignalTest, ClearsToPositionLightForAStandingTrainWithoutOverlap) {
    TestSim t;
    RailwayBuilder b(*t);
    TTCS& siding = b.Circuit("TS");
    TTCS& neck = b.Circuit("TN");
    TTCS& beyond = b.Circuit("TB");
    TSIG& shunt = b.Signal("SH", &siding, 1, AfRed | AfPositionLight);
    TSIG& exit = b.Signal("EX", &neck);
    TULC& sidingAB = b.Subroute(siding, "AB", &shunt, 100);
    TULC& neckAB = b.Subroute(neck, "AB", &exit, 100);
    TULC& beyondAB = b.Subroute(beyond, "AB");
    b.Chain({&sidingAB, &neckAB, &beyondAB});
    b.Overlap(exit, {&beyondAB});
    TROU& route = b.Route(shunt, exit, {&neckAB}, RcShunt);
    t.Ticks(2);
    beyond.Occupy();  // a shunt route needs no overlap
    ASSERT_TRUE(RouteRequest(*t, shunt, exit, 0).Set) << t->LastFailReason;
    t.Ticks(2);
    EXPECT_EQ(shunt.Aspect, AspDanger);
    siding.Occupy();
    t.Ticks(2 * sidingAB.ClearTime + 2);
    EXPECT_EQ(shunt.Aspect, AspShunt);
    // The move passes: the signal replaces and the route releases behind it.
    neck.Occupy();
    t.Ticks(1);
    EXPECT_EQ(shunt.Aspect, AspDanger);
    siding.Vacate();
    t.Ticks(2 * neckAB.PassageTime + 4);
    EXPECT_TRUE(route.RouteSet);
    neck.Vacate();  // a one-circuit route sees the move past once its circuit clears
    t.Ticks(8);
    EXPECT_FALSE(route.RouteSet);
}

// S1 - T1 - T2 - SP (an intermediate shunt signal) - T3 - T4 - S3, one route S1 to S3.
TEST(PresetSignalTest, ClearsWithItsThroughRouteAndLeavesPresetModeBehindTheTrain) {
    TestSim t;
    RailwayBuilder b(*t);
    TTCS* c[6];
    for (int i = 0; i < 6; ++i) c[i] = &b.Circuit("T" + std::to_string(i));
    TSIG& s1 = b.Signal("S1", c[0]);
    TSIG& sp = b.Signal("SP", c[2], 1, AfRed | AfPositionLight);
    TSIG& s3 = b.Signal("S3", c[4]);
    TULC* u[6];
    u[0] = &b.Subroute(*c[0], "AB", &s1);
    u[1] = &b.Subroute(*c[1], "AB");
    u[2] = &b.Subroute(*c[2], "AB", &sp);
    u[3] = &b.Subroute(*c[3], "AB");
    u[4] = &b.Subroute(*c[4], "AB", &s3);
    u[5] = &b.Subroute(*c[5], "AB");
    b.Chain({u[0], u[1], u[2], u[3], u[4], u[5]});
    b.Overlap(s3, {u[5]});
    TROU& through = b.Route(s1, s3, {u[1], u[2], u[3], u[4]});
    t.Ticks(2);
    ASSERT_TRUE(RouteRequest(*t, s1, s3, 0).Set) << t->LastFailReason;
    EXPECT_TRUE(sp.PresetMode);
    EXPECT_EQ(sp.CurrentRoute, &through);
    t.Ticks(4);
    EXPECT_NE(s1.Aspect, AspDanger);
    EXPECT_EQ(sp.Aspect, AspShunt);  // clears together with the entrance signal

    // The train enters: S1 replaces, the preset signal stays off for it.
    c[0]->Occupy();
    c[1]->Occupy();
    t.Ticks(2);
    EXPECT_EQ(s1.Aspect, AspDanger);
    EXPECT_TRUE(sp.PresetEntered);
    EXPECT_EQ(sp.Aspect, AspShunt);
    // Past the preset signal and clear of the subroutes to it: preset mode ends.
    c[0]->Vacate();
    c[2]->Occupy();
    t.Ticks(2);
    c[1]->Vacate();
    c[3]->Occupy();
    t.Ticks(2);
    c[2]->Vacate();
    t.Ticks(12);
    EXPECT_FALSE(sp.PresetMode);
    EXPECT_EQ(sp.Aspect, AspDanger);
    EXPECT_EQ(sp.CurrentRoute, nullptr);
}

TEST(SignalCollarTest, EveryControlInReminderAndIsolationModes) {
    TestSim t;
    RailwayBuilder b(*t);
    TSIG& s = b.Signal("S");
    TSIG& second = b.Signal("S7", nullptr, 7);  // a second head of S
    second.NextSignal = &s;
    struct Control {
        SignalControl control;
        std::uint8_t TSIG::*collar;
    } controls[] = {{SignalControl::Head, &TSIG::Collar},
                    {SignalControl::Auto, &TSIG::AutoCollar},
                    {SignalControl::Warner, &TSIG::WarnerCollar},
                    {SignalControl::ER, &TSIG::ERCollar}};
    for (const Control& c : controls) {
        s.ControlAction(c.control, true, true, false);  // left, reminder: general on
        EXPECT_EQ(s.*c.collar, CollarGeneral);
        s.ControlAction(c.control, true, false, true);  // left, isolation: traction on
        EXPECT_EQ(s.*c.collar, 3);
        EXPECT_EQ(second.*c.collar, 3);                  // the second head follows its signal
        s.ControlAction(c.control, false, true, false);  // right, reminder: general off
        EXPECT_EQ(s.*c.collar, CollarTraction);
        s.ControlAction(c.control, false, false, true);  // right, isolation: traction off
        EXPECT_EQ(s.*c.collar, 0);
        s.*c.collar = 5;  // values above 3 are left alone
        s.ControlAction(c.control, true, true, false);
        EXPECT_EQ(s.*c.collar, 5);
        s.*c.collar = 0;
    }
    // A collar on the second head reaches its signal too.
    second.SetCollar(CollarTraction);
    EXPECT_EQ(s.Collar, CollarTraction);
}

TEST(AutomaticSignalTest, FollowsCircuitsAndReleasesToCautionAfterStanding) {
    TestSim t;
    RailwayBuilder b(*t);
    TTCS& rear = b.Circuit("R");
    TTCS& ahead = b.Circuit("A");
    TTCS& further = b.Circuit("F");
    TSIG& auto1 = b.Signal("A1", &rear, 2);
    TULC& approach = b.Subroute(rear, "AB", &auto1, 100);  // ClearTime 20 s
    auto1.ControlCircuits.Add("", &ahead);
    auto1.AheadCircuits.Add("", &further);
    t.Ticks(2);
    EXPECT_EQ(auto1.Aspect, AspGreen);
    ahead.Occupy();
    t.Ticks(1);
    EXPECT_EQ(auto1.Aspect, AspDanger);
    ahead.Vacate();
    further.Occupy();
    t.Ticks(4);
    EXPECT_EQ(auto1.Aspect, AspDanger);  // something ahead, no train standing
    rear.Occupy();
    t.Ticks(2 * (approach.ClearTime - 1));
    EXPECT_EQ(auto1.Aspect, AspDanger);
    t.Ticks(4);
    EXPECT_EQ(auto1.Aspect, AspSingleYellow);
    // The emergency replacement button holds it at danger.
    further.Vacate();
    auto1.ControlAction(SignalControl::ER, false, false, false);
    t.Ticks(6);
    EXPECT_EQ(auto1.Aspect, AspDanger);
    auto1.ControlAction(SignalControl::ER, true, false, false);
    t.Ticks(1);
    EXPECT_EQ(auto1.Aspect, AspGreen);
}

TEST(SignalDrawingTest, HeadWidthsAndCollarBackgrounds) {
    TestSim t;
    RailwayBuilder b(*t);
    t->SimData.ScreenCount = 1;
    struct Case {
        std::uint8_t flags;
        int width;
    } cases[] = {
        {kMainAspects | AfPositionLight, 4},
        {AfRed | AfSingleYellow | AfGreen | AfPositionLight, 3},
        {AfRed | AfGreen, 2},
    };
    int y = 2;
    for (const Case& c : cases) {
        TSIG& s = b.Signal("S" + std::to_string(y), nullptr, 0, c.flags);
        s.X = 10;
        s.Y = y;
        s.Draw();
        EXPECT_EQ(s.HeadWidth, c.width);
        y += 2;
    }
    TSIG& s = *t->Signals.At(0);
    s.SetCollar(3);
    EXPECT_EQ(t.surface.At(10, 2).Bg, ClPink);  // the post
    EXPECT_EQ(t.surface.At(12, 2).Bg, ClCyan);  // the lamps
    s.SetCollar(1);
    EXPECT_EQ(t.surface.At(10, 2).Bg, ClCyan);
    EXPECT_EQ(t.surface.At(12, 2).Bg, ClCyan);
    EXPECT_EQ(t.surface.At(12, 2).Fg, ClRed);  // lit red lamp
    // A mirrored head puts the post last.
    TSIG& m = b.Signal("M", nullptr, 0, AfRed | AfGreen);
    m.HeadOrientation = 1;
    m.X = 40;
    m.Y = 9;
    m.Draw();
    EXPECT_EQ(t.surface.At(40, 9).Code, 'q');
    EXPECT_EQ(t.surface.At(41, 9).Code, 129);
}

TEST_F(PlainLineSignals, SaveAndLoadRoundTrip) {
    SetRoute(*f.S1, *f.S2);
    t.Ticks(2);
    f.S1->SetCollar(2);
    f.S1->SetERCollar(1);
    ValueWriter w;
    ASSERT_TRUE(t->Signals.Save(w));

    TestSim other;
    RailwayBuilder ob(*other);
    PlainLine g = BuildPlainLine(ob);
    ValueReader r(w.Bytes());
    ASSERT_TRUE(other->Signals.Load(r));
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(g.S1->CurrentRoute, g.S1S2);
    EXPECT_EQ(g.S1->Aspect, f.S1->Aspect);
    EXPECT_EQ(g.S1->Collar, 2);
    EXPECT_EQ(g.S1->ERCollar, 1);
    EXPECT_EQ(g.S2->RouteIn, g.S1S2);
    EXPECT_EQ(g.S2->CurrentOverlap, g.S2Overlap);
    ValueWriter again;
    ASSERT_TRUE(other->Signals.Save(again));
    EXPECT_EQ(again.Bytes(), w.Bytes());

    // A cut record fails cleanly.
    std::vector<std::uint8_t> cut(w.Bytes().begin(), w.Bytes().begin() + 20);
    ValueReader rc(cut);
    EXPECT_FALSE(other->Signals.Load(rc));
}

TEST_F(PlainLineSignals, ClientMirrorsSignalStateAndSendsRequests) {
    t->Broadcaster = &t.broadcaster;
    SetRoute(*f.S1, *f.S2);
    t.Ticks(2);
    f.S1->SetCollar(3);
    ASSERT_FALSE(t.broadcaster.Sent.empty());

    TestSim client;
    RailwayBuilder cb(*client);
    PlainLine g = BuildPlainLine(cb);
    client->ClientMode = true;
    std::vector<std::string> toServer;
    client->ServerLink = [&](const std::string& p) { toServer.push_back(p); };
    for (const auto& m : t.broadcaster.Sent) {
        if (m.rfind("SA", 0) == 0) client->Signals.HandleClientMessage(m);
    }
    EXPECT_EQ(g.S1->Aspect, f.S1->Aspect);
    EXPECT_EQ(g.S1->Collar, 3);
    EXPECT_EQ(g.S1->CurrentRoute, g.S1S2);

    // A client's clicks travel as requests: reminder mode on the head, then a cancel.
    g.S1->ControlAction(SignalControl::Head, true, true, false);
    g.S1->RequestCancel();
    EXPECT_EQ(toServer, (std::vector<std::string>{"SD0000", "QD0000"}));
    EXPECT_EQ(g.S1->Collar, 3);  // nothing changed locally

    // The server applies them as its own signaller's clicks.
    t->Signals.HandleClientMessage("SE0000");  // right click in reminder mode
    EXPECT_EQ(f.S1->Collar, 2);
    t->Signals.HandleClientMessage("QD0000");
    EXPECT_TRUE(f.S1->CancelRequested);
    t->Signals.HandleClientMessage("SE9999");  // beyond the list: ignored
}

}  // namespace
}  // namespace kestra
