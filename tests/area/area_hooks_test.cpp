// The built-in area's hooks at work on its own railway: engineering possessions, the
// flashing yellows of Skelbrook Junction, overlaps held beyond a signal that is off,
// permissive moves never head-on, the plunger taken back on a cancel, and the slots it
// leaves to the engine.

#include <gtest/gtest.h>

#include <cstddef>

#include "area/area_builder.h"
#include "core/value_stream.h"
#include "fakes/fakes.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "panel/messages.h"

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

TEST_F(AreaHooks, TheAreaSetsItsHooksAndLeavesTheRestToTheEngine) {
    const ::kestra::AreaHooks& h = t->Hooks;
    struct Slot {
        const char* Name;
        bool Set;
    };
    const Slot slots[] = {
        {"CycleHook", bool(h.CycleHook)},
        {"RedrawHook", bool(h.RedrawHook)},
        {"ScenarioHook", bool(h.ScenarioHook)},
        {"LoadHook", bool(h.LoadHook)},
        {"SaveHook", bool(h.SaveHook)},
        {"PointsNormalHook", bool(h.PointsNormalHook)},
        {"PointsReverseHook", bool(h.PointsReverseHook)},
        {"PointsNormalCallHook", bool(h.PointsNormalCallHook)},
        {"PointsReverseCallHook", bool(h.PointsReverseCallHook)},
        {"OverlapReleaseHook", bool(h.OverlapReleaseHook)},
        {"RouteAvailableHook", bool(h.RouteAvailableHook)},
        {"RouteProvedHook", bool(h.RouteProvedHook)},
        {"RouteSetHook", bool(h.RouteSetHook)},
        {"AutoButtonHook", bool(h.AutoButtonHook)},
        {"AspectHook", bool(h.AspectHook)},
        {"SignalRouteCheckHook", bool(h.SignalRouteCheckHook)},
        {"RouteCancelHook", bool(h.RouteCancelHook)},
        {"ARSRouteChoiceHook", bool(h.ARSRouteChoiceHook)},
        {"WrongRouteHook", bool(h.WrongRouteHook)},
    };
    for (const Slot& s : slots) EXPECT_TRUE(s.Set) << s.Name;
    const Slot unset[] = {
        {"LeftClickHook", bool(h.LeftClickHook)},     {"RightClickHook", bool(h.RightClickHook)},
        {"ResetHook", bool(h.ResetHook)},             {"OverlapHook", bool(h.OverlapHook)},
        {"SubrouteReleaseHook", bool(h.SubrouteReleaseHook)}, {"SubrouteEnteredHook", bool(h.SubrouteEnteredHook)},
        {"SpeedLimitHook", bool(h.SpeedLimitHook)},   {"DelayHook", bool(h.DelayHook)},
    };
    for (const Slot& s : unset) EXPECT_FALSE(s.Set) << s.Name;
    // The area's part of a saved simulation is empty: nothing written, nothing read.
    ValueWriter writer;
    EXPECT_TRUE(h.SaveHook(writer));
    EXPECT_TRUE(writer.Bytes().empty());
    ValueReader reader(writer.Bytes());
    EXPECT_TRUE(h.LoadHook(reader));
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
    ASSERT_TRUE(junction.Collar & CollarGeneral);
    TROU& into = *Route("R23-103M");
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
    EXPECT_FALSE(t->Hooks.WrongRouteHook(train, Route("R15-23M")));
}

TEST_F(AreaHooks, ARouteOutsideThePossessionIsUntouchedByIt) {
    t->Hooks.ScenarioHook(2);
    // The branch is open: the junction signal is collared, so the route is set in the
    // override mode, and it proves and clears.
    t->Operator.OverrideMode = true;
    ASSERT_TRUE(Request("23", "25")) << t->LastFailReason;
    t->Operator.OverrideMode = false;
    t.Ticks(12);
    EXPECT_TRUE(Route("R23-25M")->IsProved());
    EXPECT_NE(Signal("23").Aspect, AspDanger);
}

// --- Skelbrook Junction's flashing yellows ---------------------------------------------------

TEST_F(AreaHooks, SignalsInRearOfTheJunctionSetForTheBranchShowFlashingYellows) {
    ASSERT_TRUE(Request("11", "15"));
    ASSERT_TRUE(Request("15", "23"));
    ASSERT_TRUE(Request("23", "25"));
    t.Ticks(20);
    EXPECT_EQ(Signal("23").Aspect, AspSingleYellow);
    EXPECT_EQ(Signal("15").Aspect, AspFlashingSingleYellow);
    EXPECT_EQ(Signal("11").Aspect, AspFlashingDoubleYellow);
}

TEST_F(AreaHooks, SetForTheMainLineTheSameSignalsShowSteadyAspects) {
    ASSERT_TRUE(Request("11", "15"));
    ASSERT_TRUE(Request("15", "23"));
    ASSERT_TRUE(Request("23", "103"));
    t.Ticks(20);
    EXPECT_GE(Signal("23").Aspect, AspDoubleYellow);
    EXPECT_EQ(Signal("15").Aspect, AspGreen);
    EXPECT_EQ(Signal("11").Aspect, AspGreen);
}

TEST_F(AreaHooks, TheJunctionSignalItselfShowsNoMoreThanASingleYellowForTheBranch) {
    // Even with the branch clear well ahead.
    ASSERT_TRUE(Request("23", "25"));
    ASSERT_TRUE(Request("25", "27"));
    ASSERT_TRUE(Request("27", "111"));
    t.Ticks(20);
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
    ASSERT_TRUE(Request("15", "23"));
    starter.SetTRTS(true);
    t->QueueRequest("QD", &starter, nullptr, 0);
    t.Ticks(2);
    EXPECT_FALSE(starter.TRTSOperated);
}

}  // namespace
}  // namespace kestra
