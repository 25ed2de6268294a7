#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"

namespace kestra {
namespace {

using test::DoubleJunction;
using test::LastMessage;
using test::LoopWithFlank;
using test::PlainLine;
using test::RailwayBuilder;
using test::TestSim;

class DescriberProbe : public TrainDescriberTrigger {
  public:
    void BerthTDTrigger(TSSIObject& source, bool on) override {
        log.push_back(source.ID + (on ? " set" : " unset"));
    }
    std::vector<std::string> log;
};

class ProbeSubArea : public ARSSubAreaLink {
  public:
    bool IsInEffect() const override { return inEffect; }
    bool SetInactive() override {
        const bool changed = inEffect;
        inEffect = false;
        return changed;
    }
    bool inEffect = true;
};

// The junction, with a warner route SA-SM and a shunt route S0-SA over TA beside it.
// Public: the refusal table arranges its cases through it.
class RouteTest : public ::testing::Test {
  public:
    RouteTest() : build(*t), j(BuildDoubleJunction(build)) {
        warner = &build.Route(*j.SA, *j.SM, {j.TJab, j.TM1ab}, RcWarner);
        shunt = &build.Route(*j.S0, *j.SA, {}, RcShunt, {j.TAab});
        t->TrainDescriber = &describer;
    }
    void Seconds(int n) { t.Ticks(2 * n); }

    TestSim t;
    RailwayBuilder build;
    DoubleJunction j;
    TROU* warner;
    TROU* shunt;
    DescriberProbe describer;
};

TEST_F(RouteTest, RequestSetsRouteLocksCallsPointsAndHandsItToTheSignals) {
    j.P1->CallReverse();
    Seconds(4);
    std::vector<TROU*> setHook;
    t->Hooks.RouteSetHook = [&](TROU& r) { setHook.push_back(&r); };
    t->Broadcaster = &t.broadcaster;
    j.SA->CancelRequested = true;

    const RouteRequestResult r = RouteRequest(*t, *j.SA, *j.SM, 0);
    EXPECT_TRUE(r.Set);
    EXPECT_FALSE(r.NoRoute);
    EXPECT_TRUE(j.SASM->RouteSet);
    EXPECT_FALSE(warner->RouteSet);  // flag 0 never takes the warner route
    EXPECT_TRUE(j.TJab->IsRouteLocked());
    EXPECT_TRUE(j.TM1ab->IsRouteLocked());
    EXPECT_TRUE(j.P1->ControlledNormal);
    EXPECT_EQ(j.SM->CurrentOverlap, j.SMOverlap);
    EXPECT_EQ(j.SM->RouteIn, j.SASM);
    EXPECT_EQ(j.SA->CurrentRoute, j.SASM);
    EXPECT_EQ(j.SA->NextSignal, j.SM);
    EXPECT_EQ(j.SA->ApproachTime, 120);
    EXPECT_FALSE(j.SA->CancelRequested);
    EXPECT_EQ(setHook, (std::vector<TROU*>{j.SASM}));
    EXPECT_EQ(describer.log, (std::vector<std::string>{"SA-SM set"}));
    EXPECT_NE(std::find(t.broadcaster.Sent.begin(), t.broadcaster.Sent.end(), "RA00011"),
              t.broadcaster.Sent.end());
    EXPECT_EQ(t->RouteBeingSet, nullptr);

    RouteProvedFlags flags;
    EXPECT_FALSE(j.SASM->IsProved(flags));  // P1 still moving
    Seconds(4);
    EXPECT_TRUE(j.SASM->IsProved(flags));
    j.SASM->Unset();
    EXPECT_FALSE(j.SASM->IsProved(flags));
    EXPECT_EQ(describer.log.back(), "SA-SM unset");
}

TEST_F(RouteTest, NoRouteBetweenSignalsIsReportedToTheCaller) {
    for (auto [entrance, exit, flag] : {std::tuple{j.S0, j.SM, 0}, std::tuple{j.SMd, j.SM, 0},
                                        std::tuple{j.SA, j.SB, 1}, std::tuple{j.SA, j.SM, 2}}) {
        const RouteRequestResult r =
            RouteRequest(*t, *entrance, *exit, static_cast<std::uint8_t>(flag));
        EXPECT_FALSE(r.Set);
        EXPECT_TRUE(r.NoRoute) << entrance->ID << "-" << exit->ID << " flag " << flag;
    }
    EXPECT_TRUE(t->Messages().MessageHistory.empty());
}

// One refusal of the signaller's check: what is arranged, the request, the reason.
struct RefusalCase {
    const char* name;
    std::function<void(RouteTest&)> arrange;
    std::function<TROU*(RouteTest&)> route;
    const char* reason;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class RouteRefusalTest : public RouteTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RouteRefusalTest, RefusedWithItsReasonAndNothingChanges) {
    const RefusalCase& c = GetParam();
    c.arrange(*this);
    TROU* route = c.route(*this);
    const bool wasSet = route->RouteSet;
    EXPECT_FALSE(route->IsAvailable());
    EXPECT_EQ(t->LastFailReason, c.reason);
    EXPECT_EQ(t->RouteBeingSet, nullptr);
    EXPECT_EQ(route->RouteSet, wasSet);
    // Through the request the reason becomes the message.
    const RouteRequestResult r =
        RouteRequest(*t, *route->Entrance, *route->Exit, route->Class == RcWarner ? 1 : 0);
    EXPECT_FALSE(r.Set);
    EXPECT_FALSE(r.NoRoute);
    EXPECT_EQ(route->RouteSet, wasSet);
    EXPECT_EQ(LastMessage(t), c.reason);
}

TROU* MainSASM(RouteTest& f) {
    return f.j.SASM;
}
TROU* WarnerSASM(RouteTest& f) {
    return f.warner;
}
void HasWarner(RouteTest& f) {
    f.j.SM->WarnerButtonX = 70;
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, RouteRefusalTest,
    ::testing::Values(
        RefusalCase{"WarnerCollared",
                    [](RouteTest& f) {
                        HasWarner(f);
                        f.j.SM->WarnerCollar = CollarGeneral;
                        f.j.SA->CurrentRoute = f.j.SASB;  // a later reason too: the first wins
                    },
                    WarnerSASM, "The exit signal warner button is collared"},
        RefusalCase{"EntranceCollared",
                    [](RouteTest& f) {
                        f.j.SA->Collar = CollarTraction;
                        f.j.SA->CurrentRoute = f.j.SASB;
                    },
                    MainSASM, "One or both signals are collared"},
        RefusalCase{"ExitCollaredWarnerButtonOnlyHelpsWarnerRoutes",
                    [](RouteTest& f) {
                        HasWarner(f);
                        f.j.SM->Collar = CollarGeneral;
                    },
                    MainSASM, "One or both signals are collared"},
        RefusalCase{"Overset", [](RouteTest& f) { f.j.SASB->SetRoute(); }, MainSASM,
                    "Cannot overset a different route"},
        RefusalCase{"PresetMode", [](RouteTest& f) { f.j.SA->PresetMode = true; }, MainSASM,
                    "Preset signal already working in preset mode"},
        RefusalCase{"PresetHasRoute",
                    [](RouteTest& f) {
                        f.j.SASB->SetRoute();
                        f.build.Route(*f.j.S0, *f.j.SM, {f.j.TAab, f.j.TJab, f.j.TM1ab});
                    },
                    [](RouteTest& f) { return f.j.S0->Routes.At(2); },
                    "Preset signal(s) already have a route set"},
        RefusalCase{"PointsLockedReverse", [](RouteTest& f) { f.j.SBdSD->SetRoute(); },
                    [](RouteTest& f) { return f.j.SMdSD; },
                    "Point(s) locked reverse by another route P2"},
        RefusalCase{"PointsLockedNormal", [](RouteTest& f) { f.j.SMdSD->SetRoute(); },
                    [](RouteTest& f) { return f.j.SBdSD; },
                    "Point(s) locked normal by another route"},
        RefusalCase{"PointsKeyed", [](RouteTest& f) { f.j.P1->KeyReverseAction(); }, MainSASM,
                    "Point(s) locked reverse by another route P1"},
        RefusalCase{"ConflictOnTheFlat", [](RouteTest& f) { f.j.SBdSD->SetRoute(); }, MainSASM,
                    "Conflicting subroute(s)"},
        RefusalCase{"PermissivePartConflicts",
                    [](RouteTest& f) {
                        SetConflicting(*f.j.TAab, *f.j.TM2ab);
                        f.j.TM2ab->SetOverlap(f.j.SMOverlap);
                    },
                    [](RouteTest& f) { return f.shunt; }, "Conflicting subroute(s)"},
        RefusalCase{"NoOverlap", [](RouteTest& f) { f.build.Subroute(*f.j.TM2, "XY").Lock(); },
                    MainSASM, "No overlap available"},
        RefusalCase{
            "AreaHookRefuses",
            [](RouteTest& f) { f.t->Hooks.RouteAvailableHook = [](TROU&) { return false; }; },
            MainSASM, "Route not available"},
        RefusalCase{"SamePointsBothWays",
                    [](RouteTest& f) {
                        TSIG& sy = f.build.Signal("SY");
                        f.build.Route(sy, *f.j.SB, {f.j.TJab, f.j.TJac, f.j.TB1ab});
                    },
                    [](RouteTest& f) { return f.t->Routes.At(f.t->Routes.Count() - 1); },
                    "Route not available"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

// ConflictsWith answers from a copy of ConflictingRoutes made when the list last
// changed: every kind of change to the list after a question must be seen by the next.
TEST_F(RouteTest, ConflictsWithSeesEveryChangeToTheConflictingRoutes) {
    TROU& r = *j.S0SA;
    TROU& b = *j.SBdSD;
    TROU& c = *j.SMdSD;
    TROUList& list = r.ConflictingRoutes;
    list.Clear();
    EXPECT_FALSE(r.ConflictsWith(b));
    list.Add(b.ID, &b);
    EXPECT_TRUE(r.ConflictsWith(b));
    EXPECT_FALSE(r.ConflictsWith(c));
    list.Insert(0, c.ID, &c);
    EXPECT_TRUE(r.ConflictsWith(c));
    list.Delete(1);  // b
    EXPECT_FALSE(r.ConflictsWith(b));
    EXPECT_TRUE(r.ConflictsWith(c));
    list.SetItem(0, nullptr);
    EXPECT_FALSE(r.ConflictsWith(c));
    list.Add(b.ID, &b);
    EXPECT_TRUE(r.ConflictsWith(b));
    list.Clear();
    EXPECT_FALSE(r.ConflictsWith(b));
    EXPECT_FALSE(b.ConflictsWith(r)) << "one route's list says nothing of another's";
}

// ConflictBits: a bit per conflicting route's ARSIndex, made again after a change to
// the list, and not complete while a route in it has no index.
TEST_F(RouteTest, ConflictBitsFollowTheConflictingRoutes) {
    TROU& r = *j.S0SA;
    TROU& b = *j.SBdSD;
    TROU& c = *j.SMdSD;
    const auto bit = [&](int index) {
        bool complete = false;
        const std::vector<std::uint64_t>& bits = r.ConflictBits(complete);
        const auto word = static_cast<std::size_t>(index / 64);
        return complete && word < bits.size() && ((bits[word] >> (index % 64)) & 1) != 0;
    };
    const auto complete = [&] {
        bool done = false;
        r.ConflictBits(done);
        return done;
    };
    r.ConflictingRoutes.Clear();
    b.ARSIndex = 3;
    c.ARSIndex = 130;
    EXPECT_TRUE(complete());
    EXPECT_FALSE(bit(3));
    r.ConflictingRoutes.Add(b.ID, &b);
    EXPECT_TRUE(bit(3));
    EXPECT_FALSE(bit(130));
    r.ConflictingRoutes.Add(c.ID, &c);
    EXPECT_TRUE(bit(130));
    r.ConflictingRoutes.Delete(0);  // b
    EXPECT_FALSE(bit(3));
    EXPECT_TRUE(bit(130));
    // A route with no index in the list: the bits can no longer rule anything out.
    r.ConflictingRoutes.Add(j.SASM->ID, j.SASM);
    EXPECT_FALSE(complete());
    r.ConflictingRoutes.Clear();
    EXPECT_TRUE(complete());
    EXPECT_FALSE(bit(130));
}

// PointsConsistent keeps what it derives from the route's subroutes alone (the points
// each way) between calls, but not whether the points are free: a route set over them,
// a change to a subroute's points or to the route's subroutes must each be seen.
TEST_F(RouteTest, PointsConsistentSeesPointsInUseAndChangesToTheSubroutes) {
    TROU& main = *j.SASM;  // over TJ "AB", P1 normal
    EXPECT_TRUE(main.PointsConsistent());
    ASSERT_TRUE(j.SASB->SetRoute());  // P1 locked reverse
    EXPECT_FALSE(main.PointsConsistent());
    j.SASB->Unset();
    Seconds(10);  // P1 has finished moving reverse
    EXPECT_TRUE(main.PointsConsistent());
    // One of its own subroutes needs P1 reverse as well: wanted both ways.
    j.TJab->ReversePoints.Add(j.P1->ID, j.P1);
    EXPECT_FALSE(main.PointsConsistent());
    j.TJab->ReversePoints.Delete(j.TJab->ReversePoints.Count() - 1);
    EXPECT_TRUE(main.PointsConsistent());
    // A subroute added to the route that needs P1 reverse: the same.
    main.AllSubroutes.Add(j.TJac->ID, j.TJac);
    EXPECT_FALSE(main.PointsConsistent());
    main.AllSubroutes.Delete(main.AllSubroutes.Count() - 1);
    EXPECT_TRUE(main.PointsConsistent());
}

TEST_F(RouteTest, OverrideModeLetsCollaredSignalsBeUsed) {
    j.SA->Collar = CollarGeneral;
    EXPECT_FALSE(j.SASM->IsAvailable());
    t->Operator.OverrideMode = true;
    EXPECT_TRUE(j.SASM->IsAvailable());
    EXPECT_FALSE(j.SASM->IsAvailableARS());  // ARS is never allowed past a collar
}

TEST_F(RouteTest, WarnerRouteToAnExitWithUncollaredWarnerButtonIgnoresTheSignalCollar) {
    HasWarner(*this);
    j.SM->Collar = CollarGeneral;
    EXPECT_TRUE(warner->IsAvailable());
    const RouteRequestResult r = RouteRequest(*t, *j.SA, *j.SM, 1);
    EXPECT_TRUE(r.Set);
    EXPECT_TRUE(warner->RouteSet);
    RouteProvedFlags flags;
    Seconds(1);
    EXPECT_TRUE(warner->IsProved(flags));
    EXPECT_TRUE(flags.ApproachWait);
    EXPECT_FALSE(flags.ShuntAspect);
}

TEST_F(RouteTest, ProvedFlagsFollowTheRouteClass) {
    struct Expect {
        std::uint8_t cls;
        bool shunt, wait;
    };
    for (const Expect& e :
         {Expect{RcMain, false, false}, Expect{RcShunt, true, true}, Expect{RcWarner, false, true},
          Expect{RcCallOn, true, true}, Expect{RcAutomatic, false, false}}) {
        j.S0SA->Class = e.cls;
        j.S0SA->RouteSet = true;
        RouteProvedFlags flags;
        flags.Spare = true;
        j.S0SA->IsProved(flags);
        EXPECT_EQ(flags.ShuntAspect, e.shunt) << int(e.cls);
        EXPECT_EQ(flags.ApproachWait, e.wait) << int(e.cls);
        EXPECT_FALSE(flags.Spare);
    }
    // The area's proving hook has the last word on a proved route.
    t->Hooks.RouteProvedHook = [](TROU&) { return false; };
    EXPECT_FALSE(j.S0SA->IsProved());
}

TEST_F(RouteTest, QuietCheckForARSLeavesTheReasonAndAcceptsAVariantInUse) {
    t->LastFailReason = "kept";
    j.TJ->Occupy();
    EXPECT_FALSE(j.SASM->IsAvailableARS());  // ARS wants the circuits clear
    EXPECT_EQ(t->LastFailReason, "kept");
    j.TJ->Vacate();
    t.Ticks(3);
    EXPECT_TRUE(j.SASM->IsAvailableARS());
    // The entrance holds a variant of this route: still available to ARS.
    warner->MainRoute = j.SASM;
    j.SA->CurrentRoute = warner;
    EXPECT_TRUE(j.SASM->IsAvailableARS());
    EXPECT_FALSE(j.SASB->IsAvailableARS());
    EXPECT_EQ(t->RouteBeingSet, nullptr);
}

TEST_F(RouteTest, CallOnVariantIsUsedWhenThePlatformIsOccupied) {
    TROU& callOn = build.Route(*j.SA, *j.SM, {j.TJab}, RcCallOn, {j.TM1ab});
    j.SASM->CallOnVariant = &callOn;
    callOn.MainRoute = j.SASM;
    j.TM1->Occupy();
    EXPECT_TRUE(callOn.CallOnApplies());
    EXPECT_TRUE(RouteRequest(*t, *j.SA, *j.SM, 0).Set);
    EXPECT_TRUE(callOn.RouteSet);
    EXPECT_FALSE(j.SASM->RouteSet);
    EXPECT_EQ(j.SA->CurrentRoute, &callOn);
    EXPECT_TRUE(j.TM1ab->IsRouteLocked());
    EXPECT_EQ(j.SM->CurrentOverlap, nullptr);  // a call-on route takes no overlap
    RouteProvedFlags flags;
    Seconds(1);
    EXPECT_TRUE(callOn.IsProved(flags));  // the occupied platform is not proved against
    EXPECT_TRUE(flags.ShuntAspect);
}

TEST_F(RouteTest, ResetLeavesExactlyTheAutomaticRoutesSet) {
    TROU& automatic = build.Route(*j.SMd, *j.SD, {j.TXba, j.TDba}, RcAutomatic);
    EXPECT_TRUE(automatic.RouteSet);
    EXPECT_FALSE(automatic.IsAvailable());  // never requested
    j.S0SA->SetRoute();
    automatic.RouteSet = false;
    t->ResetSimulation();
    t->Routes.ForEach([&](TROU& r) { EXPECT_EQ(r.RouteSet, &r == &automatic) << r.ID; });
}

TEST_F(RouteTest, SaveLoadKeepsRouteSetAndRejectsTruncatedRecords) {
    j.SASB->SetRoute();
    ValueWriter w;
    ASSERT_TRUE(t->Routes.Save(w));
    t->ResetSimulation();
    EXPECT_FALSE(j.SASB->RouteSet);
    ValueReader r(w.Bytes());
    ASSERT_TRUE(t->Routes.Load(r));
    EXPECT_TRUE(r.AtEnd());
    EXPECT_TRUE(j.SASB->RouteSet);
    EXPECT_FALSE(j.SASM->RouteSet);
    ValueReader empty(nullptr, 0);
    EXPECT_FALSE(j.S0SA->Load(empty));
}

TEST_F(RouteTest, ClientSendsTheRequestAndMirrorsRouteState) {
    t->Routes.HandleClientMessage("RA00021");  // a server takes no route state from a client
    EXPECT_FALSE(j.SASB->RouteSet);
    t->ClientMode = true;
    t->Operator.OverrideMode = true;
    std::vector<std::string> sent;
    t->ServerLink = [&](const std::string& p) { sent.push_back(p); };
    const RouteRequestResult r = RouteRequest(*t, *j.SA, *j.SM, 1);
    EXPECT_FALSE(r.Set);
    EXPECT_FALSE(r.NoRoute);
    EXPECT_EQ(sent, (std::vector<std::string>{"QC0001000211"}));
    EXPECT_FALSE(warner->RouteSet);

    t->Routes.HandleClientMessage("RA00021");
    EXPECT_TRUE(j.SASB->RouteSet);
    t->Routes.HandleClientMessage("RA0002x");
    t->Routes.HandleClientMessage(
        "RA9999"
        "0");
    EXPECT_TRUE(j.SASB->RouteSet);
    t->Routes.HandleClientMessage("RA00020");
    EXPECT_FALSE(j.SASB->RouteSet);
}

TEST_F(RouteTest, LongRouteQueuesItsRoutesThreeCyclesApart) {
    t->LongRoutes.push_back(TLongRoute{j.S0, j.SM, {j.S0SA, j.SASM}});
    const RouteRequestResult r = RouteRequest(*t, *j.S0, *j.SM, 0);
    EXPECT_TRUE(r.Set);
    ASSERT_EQ(t->Requests.Count(), 2);
    EXPECT_EQ(t->Requests.At(0).Command, "QC");
    EXPECT_EQ(t->Requests.At(0).Entrance, j.S0);
    EXPECT_EQ(t->Requests.At(0).Exit, j.SA);
    EXPECT_EQ(t->Requests.At(0).DelayCycles, 0);
    EXPECT_EQ(t->Requests.At(1).Entrance, j.SA);
    EXPECT_EQ(t->Requests.At(1).DelayCycles, 3);
    EXPECT_FALSE(j.S0SA->RouteSet);  // set later, from the queue
}

TEST_F(RouteTest, SubAreasAreCancelledWithAMessageOnlyWhenSomethingChanged) {
    ProbeSubArea a, b;
    j.SASM->ARSSubAreas = {&a, &b};
    ARSSubAreaLink* first = nullptr;
    EXPECT_TRUE(j.SASM->SubAreasInEffect(&first));
    b.inEffect = false;
    EXPECT_FALSE(j.SASM->SubAreasInEffect(&first));
    EXPECT_EQ(first, &b);
    j.SASM->CancelSubAreas();
    EXPECT_FALSE(a.inEffect);
    EXPECT_EQ(LastMessage(t), "ARS subarea(s) cancelled due to route cancel");
    t->Messages().ClearMessages();
    j.SASM->CancelSubAreas();
    EXPECT_TRUE(t->Messages().MessageHistory.empty());
}

// The loop, with routes SL - SOut along the main and, as its alternative, round the
// loop; both pass a main signal inside them.
class AlternativeRouteTest : public ::testing::Test {
  protected:
    AlternativeRouteTest() : build(*t), loop(BuildLoopWithFlank(build)) {
        main =
            &build.Route(*loop.SL, *loop.SOut, {loop.TP1ab, loop.TMainab, loop.TP2ab, loop.TL3ab});
        viaLoop =
            &build.Route(*loop.SL, *loop.SOut, {loop.TP1ac, loop.TLoopab, loop.TP2cb, loop.TL3ab});
        main->Alternative = viaLoop;
    }
    void Seconds(int n) { t.Ticks(2 * n); }
    TestSim t;
    RailwayBuilder build;
    LoopWithFlank loop;
    TROU* main;
    TROU* viaLoop;
};

TEST_F(AlternativeRouteTest, ClearLineTakesTheRouteItself) {
    EXPECT_TRUE(RouteRequest(*t, *loop.SL, *loop.SOut, 0).Set);
    EXPECT_TRUE(main->RouteSet);
    EXPECT_FALSE(viaLoop->RouteSet);
}

TEST_F(AlternativeRouteTest, OccupiedPathAheadTakesTheAlternative) {
    loop.TMain->Occupy();
    TSIG* next = nullptr;
    EXPECT_FALSE(main->ClearAhead(*loop.SL, &next));
    EXPECT_TRUE(RouteRequest(*t, *loop.SL, *loop.SOut, 0).Set);
    EXPECT_TRUE(viaLoop->RouteSet);
    EXPECT_FALSE(main->RouteSet);
}

TEST_F(AlternativeRouteTest, WithoutAnAlternativeTheRouteIsSetAnyway) {
    main->Alternative = nullptr;
    loop.TMain->Occupy();
    EXPECT_TRUE(RouteRequest(*t, *loop.SL, *loop.SOut, 0).Set);
    EXPECT_TRUE(main->RouteSet);
}

TEST_F(AlternativeRouteTest, UnavailableRouteFallsBackToItsAlternative) {
    loop.F->KeyReverseAction();  // the main route's flank points keyed the wrong way
    Seconds(4);
    EXPECT_FALSE(main->IsAvailable());
    EXPECT_TRUE(RouteRequest(*t, *loop.SL, *loop.SOut, 0).Set);
    EXPECT_TRUE(viaLoop->RouteSet);
}

TEST_F(AlternativeRouteTest, ClearAheadStopsAtTheNextSignal) {
    TSIG* next = nullptr;
    EXPECT_TRUE(main->ClearAhead(*loop.SL, &next));
    EXPECT_EQ(next, loop.SXm);
    loop.TL3->Occupy();  // beyond the next signal: not looked at from SL
    EXPECT_TRUE(main->ClearAhead(*loop.SL, &next));
    EXPECT_FALSE(main->ClearAhead(*loop.SXm, &next));
    EXPECT_EQ(main->RouteLength(), 800);
}

TEST_F(AlternativeRouteTest, MainRouteHoldsItsFlankPointsNormal) {
    loop.F->CallReverse();
    Seconds(4);
    ASSERT_TRUE(loop.F->IsDetectedReverse());
    EXPECT_TRUE(RouteRequest(*t, *loop.SL, *loop.SXm, 0).Set);
    EXPECT_TRUE(loop.F->ControlledNormal);  // called normal, though not on the route
    EXPECT_TRUE(loop.TMainab->IsProved());  // flank points need only be called
    // While the route holds it, F cannot be keyed over, nor taken by a siding move.
    loop.F->KeyReverseAction();
    EXPECT_TRUE(loop.F->KeyedReverse);
    EXPECT_TRUE(loop.F->ControlledNormal);
    loop.F->KeyReverseAction();  // the key comes off again
    TSIG& siding = build.Signal("SSid");
    build.Route(siding, *loop.SXm, {loop.TSidac});
    EXPECT_FALSE(RouteRequest(*t, siding, *loop.SXm, 0).Set);
    EXPECT_EQ(t->Messages().MessageHistory.back().Text, "Point(s) locked normal by another route");
}

}  // namespace
}  // namespace kestra

namespace kestra {
namespace {

// The plain line with S2 worked as a shunt signal inside a through route S1 - S3.
class PresetRouteTest : public ::testing::Test {
  protected:
    PresetRouteTest() : build(*t), line(BuildPlainLine(build)) {
        line.S2->SignalKind = 1;
        through = &build.Route(*line.S1, *line.S3, {line.T1ab, line.T2ab, line.T3ab, line.T4ab});
    }
    TestSim t;
    RailwayBuilder build;
    PlainLine line;
    TROU* through;
};

TEST_F(PresetRouteTest, ThroughRoutePutsTheIntermediateSignalIntoPresetMode) {
    line.S2->CancelRequested = true;
    EXPECT_TRUE(RouteRequest(*t, *line.S1, *line.S3, 0).Set);
    EXPECT_TRUE(through->RouteSet);
    EXPECT_TRUE(line.S2->PresetMode);
    EXPECT_EQ(line.S2->PresetRoute, through);
    EXPECT_EQ(line.S2->CurrentRoute, through);
    EXPECT_FALSE(line.S2->CancelRequested);
    EXPECT_FALSE(line.S1->PresetMode);

    // No route from the preset signal meanwhile: the through route is its current
    // route, and that test comes first.
    EXPECT_FALSE(line.S2S3->IsAvailable());
    EXPECT_EQ(t->LastFailReason, "Cannot overset a different route");

    // The through route needs its intermediate signal off.
    EXPECT_FALSE(through->PresetsOff());
    line.S2->Aspect = AspShunt;
    EXPECT_TRUE(through->PresetsOff());

    through->MarkPresetsEntered();
    EXPECT_TRUE(line.S2->PresetEntered);
    EXPECT_FALSE(line.S3->PresetEntered);  // the exit is not a preset signal
}

TEST_F(PresetRouteTest, MainSignalInsideARouteIsNoPresetButMustBeFree) {
    line.S2->SignalKind = 0;  // with its red lamp: a main signal
    line.S2S3->SetRoute();
    EXPECT_FALSE(through->PresetsFree());
    EXPECT_FALSE(RouteRequest(*t, *line.S1, *line.S3, 0).Set);
    EXPECT_EQ(t->Messages().MessageHistory.back().Text,
              "Preset signal(s) already have a route set");
    line.S2S3->Unset();
    line.S2->CurrentRoute = nullptr;
    t->Subroutes.MajorCycle();
    EXPECT_TRUE(RouteRequest(*t, *line.S1, *line.S3, 0).Set);
    EXPECT_FALSE(line.S2->PresetMode);
}

TEST_F(PresetRouteTest, UnsettingARouteTakesItsEntranceOutOfPresetMode) {
    line.S2->PresetMode = true;
    line.S2->PresetEntered = true;
    line.S2->PresetRoute = through;
    line.S2->CurrentRoute = through;
    line.S2S3->Unset();
    EXPECT_FALSE(line.S2->PresetMode);
    EXPECT_FALSE(line.S2->PresetEntered);
    EXPECT_EQ(line.S2->PresetRoute, nullptr);
    EXPECT_EQ(line.S2->CurrentRoute, nullptr);
}

// The warner route is exchanged for its main route only when the main route's full
// overlap can be taken: a main route left without one (its only overlap refused here by
// the area's overlap hook) would hold the signal at danger.
TEST(WarnerToMainExchange, KeepsTheWarnerRouteWhenNoFullOverlapCanBeTaken) {
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        TestSim t;
        RailwayBuilder b(*t);
        PlainLine f = BuildPlainLine(b);
        test::InterlockingInvariants checker(*t);
        TOVL& restricted = b.Overlap(*f.S2, {f.T3ab}, true);
        TROU& warner = b.Route(*f.S1, *f.S2, {f.T1ab, f.T2ab}, RcWarner);
        warner.MainRoute = f.S1S2;
        t.Ticks(2);
        ASSERT_TRUE(RouteRequest(*t, *f.S2, *f.S3, 0).Set) << t->LastFailReason;
        ASSERT_TRUE(RouteRequest(*t, *f.S1, *f.S2, 1).Set) << t->LastFailReason;
        ASSERT_TRUE(warner.RouteSet);
        if (refused) t->Hooks.OverlapHook = [&](TOVL& o) { return &o != f.S2Overlap; };
        t.Ticks(3);
        EXPECT_EQ(f.S1->CurrentRoute, refused ? &warner : f.S1S2);
        EXPECT_EQ(warner.RouteSet, refused);
        EXPECT_EQ(f.S1S2->RouteSet, !refused);
        EXPECT_EQ(f.S2->CurrentOverlap, refused ? &restricted : f.S2Overlap);
        EXPECT_EQ(checker.Check(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace kestra
