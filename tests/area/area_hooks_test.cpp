// The built-in area's hooks at work on its own railway: engineering possessions, the
// flashing yellows of Skelbrook Junction, overlaps held beyond a signal that is off only
// while something leads up to it, permissive moves never head-on, the plunger taken back
// on a cancel; what the area built kept by the simulation, and the scenarios of the
// description it was built from.

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>

#include "area/area_builder.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_invariants.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "panel/messages.h"
#include "sim/sim.h"
#include "trains/train.h"

namespace kestra {
namespace {

using test::TestSim;

class AreaHooks : public ::testing::Test {
  protected:
    void SetUp() override {
        built = area::BuildArea(*t);
        // Signals arm themselves in their first cycle without a route.
        t.Ticks(2);
    }
    TSIG& Signal(const std::string& plate) {
        TSIG* s = t->Signals.FindID("SVM" + plate);
        EXPECT_NE(s, nullptr) << plate;
        return *s;
    }
    TROU* Route(const std::string& id) { return t->Routes.FindID(id); }
    bool Request(const std::string& from, const std::string& to, std::uint8_t flag = 0) {
        return RouteRequest(*t, Signal(from), Signal(to), flag).Set;
    }
    TestSim t;
    std::shared_ptr<area::BuiltArea> built;
};

// --- what the area built, and the scenarios of its own description -------------------------

TEST(AreaOwnership, TheSimulationKeepsWhatTheAreaBuiltForItsHooksAndFreesItWithThem) {
    std::weak_ptr<area::BuiltArea> built;
    {
        TestSim t;
        // The pointer the build returns is dropped at once: the simulation keeps the area.
        built = area::BuildArea(*t);
        ASSERT_FALSE(built.expired());
        EXPECT_EQ(t->Area, built.lock());
        t.Ticks(2);
        // The junction's hook works on the built tables: signal 23 set for the branch with
        // the branch clear ahead still shows no more than a single yellow.
        auto request = [&](const char* from, const char* to) {
            TSIG* a = t->Signals.FindID(std::string("SVM") + from);
            TSIG* b = t->Signals.FindID(std::string("SVM") + to);
            return a && b && RouteRequest(*t, *a, *b, 0).Set;
        };
        ASSERT_TRUE(request("23", "115"));
        ASSERT_TRUE(request("25", "27"));
        ASSERT_TRUE(request("27", "119"));
        t.Ticks(20 + test::CloseLevelCrossingsFor(*t, *t->Signals.FindID("SVM27")->CurrentRoute));
        ASSERT_GE(t->Signals.FindID("SVM25")->Aspect, AspDoubleYellow);
        EXPECT_EQ(t->Signals.FindID("SVM23")->Aspect, AspSingleYellow);
    }
    EXPECT_TRUE(built.expired()) << "the area outlived its simulation";
}

TEST(AreaScenarios, TheScenarioHookAppliesTheScenariosOfTheDescriptionTheAreaWasBuiltFrom) {
    static constexpr area::ScenarioSpec own[] = {
        {"Tunnel closed", "Closed.", 3, 0.5f, 0.25f, 0.125f, 2.0f, 0.5f,
         area::ScenarioState::LineClosure},
        {"Open", "Nothing closed.", 0, 0.0f, 0.0f, 0.0f, 0.5f, 0.05f, area::ScenarioState::None},
    };
    area::AreaDescription description = area::BuiltInDescription();
    description.Scenarios = own;
    TestSim t;
    const auto built = area::BuildArea(*t, description);
    ASSERT_TRUE(built->Model->Valid());
    ASSERT_FALSE(built->ClosureSignals.empty());
    auto collared = [&] {
        int n = 0;
        t->Signals.ForEach([&](TSIG& s) { n += (s.Collar & CollarGeneral) != 0; });
        return n;
    };
    // An index this area has no scenario for changes nothing, whatever the built-in
    // area's table holds at that index.
    t->Options().MaxFailures = 9;
    t->Hooks.ScenarioHook(2);
    EXPECT_EQ(t->Options().MaxFailures, 9);
    EXPECT_EQ(collared(), 0);
    t->Hooks.ScenarioHook(1);
    EXPECT_EQ(t->Options().MaxFailures, 0);
    EXPECT_FLOAT_EQ(t->Options().DelayProbability, 0.05f);
    EXPECT_EQ(collared(), 0);
    // The closure is this table's first scenario.
    t->Hooks.ScenarioHook(0);
    const Options& o = t->Options();
    EXPECT_EQ(o.MaxFailures, 3);
    EXPECT_FLOAT_EQ(o.PointsFailureChance, 0.5f);
    EXPECT_FLOAT_EQ(o.SignalFailureChance, 0.25f);
    EXPECT_FLOAT_EQ(o.TrackFailureChance, 0.125f);
    EXPECT_FLOAT_EQ(o.DelayAmount, 2.0f);
    EXPECT_FLOAT_EQ(o.DelayProbability, 0.5f);
    EXPECT_EQ(collared(), static_cast<int>(built->ClosureSignals.size()));
    for (TTCS* c : built->ClosureCircuits) EXPECT_EQ(c->ISOType, IsoEng) << c->ID;
}

// --- engineering possessions ---------------------------------------------------------------

TEST_F(AreaHooks, PointsInAPossessionAreClippedUnlessTheSignallerOverrides) {
    TPTS& p = *t->Points.FindID("P531");
    ASSERT_TRUE(p.CanMoveReverse());
    p.TrackCircuit->SetISOType(IsoEng);
    EXPECT_FALSE(p.CanMoveReverse());
    EXPECT_FALSE(p.IsFreeToGoReverse());
    t->Operator.OverrideMode = true;
    EXPECT_TRUE(p.CanMoveReverse());
    t->Operator.OverrideMode = false;
    // Other markings leave the points free.
    p.TrackCircuit->SetISOType(IsoTI);
    EXPECT_TRUE(p.CanMoveReverse());
}

TEST_F(AreaHooks, NoRouteIsSetIntoAPossessionAndAMainRouteInItNeverProves) {
    // The tunnel closed as the line-closure scenario closes it.
    t->Hooks.ScenarioHook(2);
    TSIG& junction = Signal("23");
    // The junction signal also leads to the branch, which stays open: no reminder on
    // it; the possession alone keeps routes out of the tunnel.
    EXPECT_FALSE(junction.Collar & CollarGeneral);
    TROU& into = *Route("R23-105M");
    EXPECT_FALSE(into.IsAvailable());
    // In the override mode the collars and the possession give way, but a main route
    // into the possession never proves: trains go in at caution only.
    t->Operator.OverrideMode = true;
    EXPECT_TRUE(into.IsAvailable()) << t->LastFailReason;
    into.SetRoute();
    t.Ticks(10);
    EXPECT_FALSE(into.IsProved());
    EXPECT_EQ(junction.Aspect, AspDanger);
    // ARS never chooses it and a train sent there has been given a wrong route.
    // (Their train arguments are not looked at: a stand-in serves.)
    alignas(std::max_align_t) unsigned char standIn[64] = {};
    TROU* candidate = &into;
    t->Hooks.ARSRouteChoiceHook(candidate, *reinterpret_cast<TARSTrain*>(standIn));
    EXPECT_EQ(candidate, nullptr);
    TTRN& train = *reinterpret_cast<TTRN*>(standIn);
    EXPECT_TRUE(t->Hooks.WrongRouteHook(train, &into));
    ASSERT_NE(Route("R15-103M"), nullptr);
    EXPECT_FALSE(t->Hooks.WrongRouteHook(train, Route("R15-103M")));
}

TEST_F(AreaHooks, ARouteOutsideThePossessionIsUntouchedByIt) {
    t->Hooks.ScenarioHook(2);
    // The branch is open: the junction signal is collared, so the route is set in the
    // override mode, and it proves and clears.
    t->Operator.OverrideMode = true;
    ASSERT_TRUE(Request("23", "115")) << t->LastFailReason;
    t->Operator.OverrideMode = false;
    t.Ticks(12);
    ASSERT_NE(Route("R23-115M"), nullptr);
    EXPECT_TRUE(Route("R23-115M")->IsProved());
    EXPECT_NE(Signal("23").Aspect, AspDanger);
}

// --- Skelbrook Junction's flashing yellows ---------------------------------------------------

// The automatic signal 103 stands between Vellmoor Central's starters and the junction.
TEST_F(AreaHooks, SignalsInRearOfTheJunctionSetForTheBranchShowFlashingYellows) {
    ASSERT_TRUE(Request("11", "15"));
    ASSERT_TRUE(Request("15", "103"));
    ASSERT_TRUE(Request("23", "115"));
    t.Ticks(20);
    EXPECT_EQ(Signal("23").Aspect, AspSingleYellow);
    EXPECT_EQ(Signal("103").Aspect, AspFlashingSingleYellow);
    EXPECT_EQ(Signal("15").Aspect, AspFlashingDoubleYellow);
}

TEST_F(AreaHooks, SetForTheMainLineTheSameSignalsShowSteadyAspects) {
    ASSERT_TRUE(Request("11", "15"));
    ASSERT_TRUE(Request("15", "103"));
    ASSERT_TRUE(Request("23", "105"));
    t.Ticks(20);
    EXPECT_GE(Signal("23").Aspect, AspDoubleYellow);
    EXPECT_EQ(Signal("103").Aspect, AspGreen);
    EXPECT_EQ(Signal("15").Aspect, AspGreen);
}

// The automatic 110 clears towards Central's home signal 20, whose overlap runs over
// the east throat's crossovers. A route out of the bay across that overlap holds 110 at
// danger from the moment it is set, not only once its train is moving over the
// crossing, when a train running up to 110 could no longer stop.
TEST_F(AreaHooks, AnAutomaticStaysAtDangerWhileARouteCrossesTheOverlapAhead) {
    t.Ticks(20);
    ASSERT_NE(Signal("110").Aspect, AspDanger) << "110 clears with nothing across the overlap";
    ASSERT_TRUE(Request("21", "103"));
    t.Ticks(20);
    EXPECT_EQ(Signal("110").Aspect, AspDanger);
    // Another automatic whose next signal's overlap is plain line is not held.
    EXPECT_NE(Signal("116").Aspect, AspDanger);
}

// A route across the overlap beyond an automatic's next signal is refused while a train
// needs that overlap. Signal 110's next signal is Central's home 20, whose overlap lies
// across the east throat; the departure 21-103 crosses it.
class AutomaticOverlapLocking : public AreaHooks {
  protected:
    void SetUp() override {
        AreaHooks::SetUp();
        t.Ticks(20);
        ASSERT_NE(Automatic().Aspect, AspDanger);
        ASSERT_NE(Automatic().CurrentRoute, nullptr);
        ASSERT_GT(Automatic().CurrentRoute->Subroutes.Count(), 0);
        ASSERT_GT(Automatic().SubroutesToHere.Count(), 0);
    }
    TSIG& Automatic() { return Signal("110"); }
    TULC& Approach() { return *Automatic().SubroutesToHere.At(0); }
    TULC& LastOfSection() {
        const TULCList& path = Automatic().CurrentRoute->Subroutes;
        return *path.At(path.Count() - 1);
    }
    // A train without timetable on the subroute, its head at the start, held where it
    // is (it takes no step of its own) with the braking of a passenger train.
    TTRN& TrainOn(TULC& subroute, double speed) {
        TTRN& train = t->Trains.Create("1A0" + std::to_string(t->Trains.Count()));
        train.Place(nullptr, subroute, nullptr);
        train.Decel = 0.5;
        train.Accel = 0.4;
        train.Speed = speed;
        train.Paused = true;
        return train;
    }
    bool Departure() { return Request("21", "103"); }
    static constexpr const char* kRefused = "Overlap locked by approaching train";
};

TEST_F(AutomaticOverlapLocking, ATrainTooCloseToStopAtTheAutomaticLocksTheOverlapAhead) {
    // The approach subroute is a few hundred metres: standing at its start, the train
    // could stop for the automatic put to danger; at speed it could not.
    ASSERT_GT(Approach().Length, 250);
    TTRN& train = TrainOn(Approach(), 0);
    ASSERT_TRUE(Departure()) << t->LastFailReason;
    t->QueueRequest("QD", &Signal("21"), nullptr, 0);
    t.Ticks(4);
    ASSERT_EQ(Signal("21").CurrentRoute, nullptr);
    train.Speed = 15;
    EXPECT_FALSE(Departure());
    EXPECT_EQ(t->LastFailReason, kRefused);
    // Other routes are not touched.
    EXPECT_TRUE(Request("11", "15")) << t->LastFailReason;
}

TEST_F(AutomaticOverlapLocking, AnAutomaticAlreadyAtDangerLetsTheRouteBeSet) {
    TrainOn(Approach(), 15);
    Automatic().SetAutoWorking(true);  // emergency replacement: held at danger
    t.Ticks(2);
    ASSERT_EQ(Automatic().Aspect, AspDanger);
    EXPECT_TRUE(Departure()) << t->LastFailReason;
}

TEST_F(AutomaticOverlapLocking, ATrainThatWillStopAtADangerSignalShortOfTheAutomaticDoesNotLockIt) {
    // Fast enough that its braking distance and the margin reach past 24 to 110; but 24,
    // with no route set, is at danger, and the train will stop there.
    TSIG& inRear = Signal("24");
    ASSERT_EQ(inRear.Aspect, AspDanger);
    ASSERT_GT(inRear.SubroutesToHere.Count(), 0);
    TrainOn(*inRear.SubroutesToHere.At(0), 25);
    EXPECT_TRUE(Departure()) << t->LastFailReason;
}

TEST_F(AutomaticOverlapLocking, ATrainPastTheAutomaticLocksTheOverlapAhead) {
    TrainOn(*Automatic().CurrentRoute->Subroutes.At(0), 10);
    EXPECT_FALSE(Departure());
    EXPECT_EQ(t->LastFailReason, kRefused);
}

TEST_F(AutomaticOverlapLocking, ATrainAtTheSignalAheadLocksTheOverlapUntilItHasStoodForItsRelease) {
    // Arrived at 20 at danger, but only just.
    TTRN& standing = TrainOn(LastOfSection(), 0);
    EXPECT_FALSE(Departure());
    EXPECT_EQ(t->LastFailReason, kRefused);
    // Once it has stood long enough for the overlap's timed release, the overlap may go.
    TTCS& berth = *LastOfSection().TrackCircuit;
    const std::int32_t release = LastOfSection().ClearTime * 2;
    for (int i = 0; i < 400 && !berth.IsOccupiedFor(release); ++i) t.Ticks(1);
    ASSERT_TRUE(berth.IsOccupiedFor(release));
    standing.Speed = 3;  // still drawing up: not yet
    EXPECT_FALSE(Departure());
    standing.Speed = 0;
    EXPECT_TRUE(Departure()) << t->LastFailReason;
}

// Single-line working through the tunnel: a Down train sent east along the Up main from
// 23 to 35 runs against the Up automatics, which are held at danger while the route is
// set, and no route the right way over that line is set meanwhile, nor the other way.
TEST_F(AreaHooks, SingleLineWorkingHoldsTheLinesAutomaticsAtDanger) {
    const char* const upAutomatics[] = {"112", "114", "116", "118"};
    t.Ticks(20);
    for (const char* a : upAutomatics) ASSERT_NE(Signal(a).Aspect, AspDanger) << a;
    test::InterlockingInvariants invariants(*t);
    ASSERT_TRUE(Request("23", "35")) << t->LastFailReason;
    for (int i = 0; i < 20; ++i) {
        t.Ticks(1);
        const std::vector<std::string> found = invariants.Check();
        ASSERT_TRUE(found.empty()) << found.front();
    }
    for (const char* a : upAutomatics) EXPECT_EQ(Signal(a).Aspect, AspDanger) << a;
    EXPECT_NE(Signal("105").Aspect, AspDanger) << "the Down line's automatics work on";
    EXPECT_FALSE(Request("34", "118"));
    // Were the automatic not held, the invariants would say so.
    Signal("114").MustBeFree.Clear();
    std::vector<std::string> broken;
    for (int i = 0; i < 6 && broken.empty(); ++i) {
        t.Ticks(1);
        broken = invariants.Check();
    }
    ASSERT_FALSE(broken.empty());
    EXPECT_NE(broken.front().find("SVM114"), std::string::npos) << broken.front();
}

TEST_F(AreaHooks, AWrongRoadRouteWaitsForTheLineToBeFreeOfRoutesTheRightWay) {
    ASSERT_TRUE(Request("34", "118")) << t->LastFailReason;
    EXPECT_FALSE(Request("23", "35"));
    ASSERT_TRUE(Request("23", "105")) << t->LastFailReason;
    EXPECT_FALSE(Request("42", "28"));
}

TEST_F(AreaHooks, TheJunctionSignalItselfShowsNoMoreThanASingleYellowForTheBranch) {
    // Even with the branch clear well ahead.
    ASSERT_TRUE(Request("23", "115"));
    ASSERT_TRUE(Request("25", "27"));
    ASSERT_TRUE(Request("27", "119"));
    t.Ticks(20 + test::CloseLevelCrossingsFor(*t, *Signal("27").CurrentRoute));
    EXPECT_GE(Signal("25").Aspect, AspDoubleYellow);
    EXPECT_EQ(Signal("23").Aspect, AspSingleYellow);
}

// --- overlaps, permissive moves, the plunger, call-on --------------------------------------

TEST_F(AreaHooks, AnOverlapIsNotGivenUpWhileItsSignalShowsAProceedAspect) {
    ASSERT_TRUE(Request("11", "15"));
    TSIG& exit = Signal("15");
    ASSERT_NE(exit.CurrentOverlap, nullptr);
    TULC& first = *exit.CurrentOverlap->Subroutes.At(0);
    exit.Aspect = AspGreen;
    EXPECT_FALSE(t->Hooks.OverlapReleaseHook(first));
    exit.Aspect = AspDanger;
    EXPECT_TRUE(t->Hooks.OverlapReleaseHook(first));
}

// An automatic signal shows a proceed aspect nearly always: that alone must not hold
// the overlap beyond it once nothing leads up to the signal any more.
TEST_F(AreaHooks, AnOverlapBeyondAnAutomaticSignalIsReleasedOnceTheRouteIntoItIsCancelled) {
    TSIG& entrance = Signal("23");
    TSIG& automatic = Signal("105");
    ASSERT_EQ(automatic.SignalKind, SkAutomatic) << "signal 105 is automatic";
    ASSERT_TRUE(Request("23", "105"));
    t.Ticks(12);
    ASSERT_NE(automatic.CurrentOverlap, nullptr);
    const TOVL& overlap = *automatic.CurrentOverlap;
    ASSERT_GT(overlap.Subroutes.Count(), 0);
    ASSERT_TRUE(automatic.ShowsProceed());
    t->QueueRequest("QD", &entrance, nullptr, 0);
    t.Ticks(10);
    ASSERT_EQ(entrance.CurrentRoute, nullptr);
    EXPECT_TRUE(automatic.ShowsProceed());
    EXPECT_EQ(automatic.CurrentOverlap, nullptr);
    for (int i = 0; i < overlap.Subroutes.Count(); ++i)
        EXPECT_EQ(overlap.Subroutes.At(i)->Overlap, nullptr) << overlap.Subroutes.At(i)->ID;
}

TEST_F(AreaHooks, ATrainStandingAtAnAutomaticSignalKeepsItsOverlapPastTheTimerUntilItHasGone) {
    TSIG& entrance = Signal("23");
    TSIG& automatic = Signal("105");
    ASSERT_TRUE(Request("23", "105"));
    t.Ticks(12);
    ASSERT_NE(automatic.CurrentOverlap, nullptr);
    const TOVL& overlap = *automatic.CurrentOverlap;
    TROU* route = entrance.CurrentRoute;
    ASSERT_NE(route, nullptr);
    ASSERT_GT(route->Subroutes.Count(), 0);
    TULC& atSignal = *route->Subroutes.At(route->Subroutes.Count() - 1);
    ASSERT_EQ(atSignal.EndSignal, &automatic);
    ASSERT_NE(atSignal.TrackCircuit, nullptr);
    // A train stands at the signal; the route behind it is cancelled. Its locking holds
    // where the train is, and so does the overlap, long past its timed release.
    atSignal.TrackCircuit->Occupy();
    t->QueueRequest("QD", &entrance, nullptr, 0);
    t.Ticks(240);
    ASSERT_TRUE(automatic.ShowsProceed());
    ASSERT_TRUE(atSignal.IsRouteLocked());
    EXPECT_EQ(automatic.CurrentOverlap, &overlap);
    EXPECT_EQ(overlap.Subroutes.At(0)->Overlap, &overlap);
    // The train has gone on: the locking in rear and then the overlap are given back.
    atSignal.TrackCircuit->Vacate();
    t.Ticks(10);
    EXPECT_FALSE(atSignal.IsRouteLocked());
    EXPECT_EQ(automatic.CurrentOverlap, nullptr);
    EXPECT_EQ(overlap.Subroutes.At(0)->Overlap, nullptr);
}

TEST_F(AreaHooks, APermissiveMoveIsRefusedHeadOnAgainstARouteLockedTheOtherWay) {
    // A route from the east through platform 3, and a train standing in it.
    ASSERT_TRUE(Request("20", "16"));
    TROU& callOn = *Route("R11-17MC");
    callOn.PermissiveSubroutes.At(callOn.PermissiveSubroutes.Count() - 1)->TrackCircuit->Occupy();
    t.Ticks(4);
    EXPECT_FALSE(t->Hooks.RouteAvailableHook(callOn));
    EXPECT_EQ(t->LastFailReason, "Subroute locked in opposite direction");
    EXPECT_FALSE(callOn.CallOnApplies());
    EXPECT_FALSE(Request("11", "17"));
    // The cancelled opposing route keeps its locking over the occupied platform; once
    // that is given back the hook lets the move be.
    t->QueueRequest("QD", &Signal("20"), nullptr, 0);
    t.Ticks(6);
    ASSERT_EQ(Signal("20").CurrentRoute, nullptr);
    EXPECT_FALSE(t->Hooks.RouteAvailableHook(callOn));
    callOn.PermissiveSubroutes.At(callOn.PermissiveSubroutes.Count() - 1)->TrackCircuit->Vacate();
    t.Ticks(8);
    EXPECT_TRUE(callOn.PermissiveSubroutes.IsFree());
    EXPECT_TRUE(t->Hooks.RouteAvailableHook(callOn));
}

TEST_F(AreaHooks, ACallOnIntoAnOccupiedPlatformIsSetAndAnnounced) {
    TROU& callOn = *Route("R11-15MC");
    callOn.PermissiveSubroutes.At(callOn.PermissiveSubroutes.Count() - 1)->TrackCircuit->Occupy();
    t.Ticks(4);
    EXPECT_TRUE(Request("11", "15")) << t->LastFailReason;
    EXPECT_EQ(Signal("11").CurrentRoute, &callOn);
    bool announced = false;
    for (const auto& m : t->Messages().MessageHistory)
        announced = announced || m.Text.find("Call-on route set") != std::string::npos;
    EXPECT_TRUE(announced);
}

TEST_F(AreaHooks, CancellingARouteTakesBackItsSignalsTrainReadyToStart) {
    TSIG& starter = Signal("15");
    ASSERT_TRUE(starter.HasTRTS());
    ASSERT_TRUE(Request("15", "103"));
    starter.SetTRTS(true);
    t->QueueRequest("QD", &starter, nullptr, 0);
    t.Ticks(2);
    EXPECT_FALSE(starter.TRTSOperated);
}

}  // namespace
}  // namespace kestra
