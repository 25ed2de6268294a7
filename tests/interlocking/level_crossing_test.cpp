// Flags and level crossings: the state operations and their messages, the saved
// records, and Quillby's crossing worked by the routes over it: the barriers lower for
// a train approaching a route set over the road, the signal clears only with the
// barriers proved down, a barrier that fails holds the signal at danger, and the road
// opens once nothing needs it closed.

#include "interlocking/level_crossing.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/invariant_harness.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "persist/saved_simulation.h"
#include "phone/failures.h"
#include "runner/headless.h"
#include "sim/sim.h"

namespace kestra {
namespace {

// --- the lists' state operations and messages, on a bare simulation

struct SmallStates : ::testing::Test {
    SmallStates() {
        sim.Broadcaster = &sent;
        flag = &sim.Flags.Create(sim, "F1");
        lx = &sim.LevelCrossings.Create(sim, "LX1");
        lx->OnStateChange = [this](TLevelCrossing&) { ++changes; };
    }
    Sim sim;
    test::RecordingBroadcaster sent;
    TFLG* flag = nullptr;
    TLevelCrossing* lx = nullptr;
    int changes = 0;
};

TEST_F(SmallStates, ANewStateIsBroadcastAndTheSameStateSendsNothing) {
    flag->SetState(0);
    lx->SetState(LxOpen);
    EXPECT_TRUE(sent.Sent.empty());
    EXPECT_EQ(changes, 0);
    flag->SetState(0x1A5);  // only the low 8 bits travel
    lx->SetState(LxDown);
    ASSERT_EQ(sent.Sent.size(), 2u);
    EXPECT_EQ(sent.Sent[0], "FA0000A5");
    EXPECT_EQ(sent.Sent[1], "LX000002");
    EXPECT_EQ(changes, 1);
    lx->SetState(LxDown);
    EXPECT_EQ(sent.Sent.size(), 2u);
    EXPECT_EQ(changes, 1);
}

TEST_F(SmallStates, AClientAppliesOnlyWellFormedRecordsForItsOwnObjects) {
    sim.ClientMode = true;
    struct Case {
        const char* Record;
        std::uint8_t Crossing;
        std::int32_t Flag;
    };
    const Case cases[] = {
        {"LX000102", LxOpen, 0},     // beyond the list
        {"LX0000Z2", LxOpen, 0},     // not a number
        {"LX00000", LxOpen, 0},      // cut short
        {"LX000009", LxOpen, 0},     // no state a crossing has
        {"FAFFFF11", LxOpen, 0},     // beyond the list
        {"LX000003", LxRaising, 0},  // applied
        {"FA00007f", LxRaising, 0x7F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Record);
        sim.LevelCrossings.HandleClientMessage(c.Record);
        sim.Flags.HandleClientMessage(c.Record);
        EXPECT_EQ(lx->State, c.Crossing);
        EXPECT_EQ(flag->State, c.Flag);
    }
    // A client broadcasts nothing.
    EXPECT_TRUE(sent.Sent.empty());
}

TEST_F(SmallStates, RecordsReadBackAndAnImpossibleOneChangesNothing) {
    flag->State = -7;
    lx->State = LxLowering;
    lx->Timer = 9;
    lx->BarrierFailed = true;
    ValueWriter w;
    ASSERT_TRUE(sim.Flags.Save(w));
    ASSERT_TRUE(sim.LevelCrossings.Save(w));
    sim.Flags.Reset();
    sim.LevelCrossings.Reset();
    EXPECT_EQ(lx->State, LxOpen);
    EXPECT_FALSE(lx->BarrierFailed);
    ValueReader r(w.Bytes());
    ASSERT_TRUE(sim.Flags.Load(r));
    ASSERT_TRUE(sim.LevelCrossings.Load(r));
    EXPECT_EQ(flag->State, -7);
    EXPECT_EQ(lx->State, LxLowering);
    EXPECT_EQ(lx->Timer, 9);
    EXPECT_TRUE(lx->BarrierFailed);

    for (const auto& [state, timer] : {std::pair{9, 0}, {-1, 0}, {LxDown, -4}, {LxDown, 99999}}) {
        ValueWriter bad;
        bad.WriteInteger(state);
        bad.WriteInteger(timer);
        bad.WriteBoolean(false);
        ValueReader br(bad.Bytes());
        EXPECT_FALSE(sim.LevelCrossings.Load(br)) << state << " " << timer;
        EXPECT_EQ(lx->State, LxLowering);
        EXPECT_EQ(lx->Timer, 9);
    }
}

// --- Quillby's crossing in the built-in area

struct QuillbyCrossing : ::testing::Test {
    QuillbyCrossing() {
        area::BuildArea(sim);
        lx = sim.LevelCrossings.FindID("QLBYLC");
        down = sim.Signals.FindID("SVM27");
        up = sim.Signals.FindID("SVM46");
    }
    // The route over the crossing from the signal, set.
    TROU* SetRouteFrom(TSIG& entrance) {
        for (const TCrossingRoute& r : lx->RoutesOver()) {
            if (r.Route->Entrance != &entrance || r.Route->Class != RcMain) continue;
            if (RouteRequest(sim, entrance, *r.Route->Exit, 0).Set) return r.Route;
        }
        return nullptr;
    }
    // Runs major cycles (two make a second), checking the invariants after each.
    void Run(int cycles) {
        for (int i = 0; i < cycles; ++i) {
            sim.MajorCycleTick();
            for (const std::string& f : checker.Check())
                ADD_FAILURE() << sim.FormatSimTime() << " " << f;
        }
    }
    Sim sim;
    TLevelCrossing* lx = nullptr;
    TSIG* down = nullptr;
    TSIG* up = nullptr;
    test::InterlockingInvariants checker{sim};
};

TEST_F(QuillbyCrossing, StandsOnBothLinesAndIsWorkedByTheRoutesOverIt) {
    ASSERT_NE(lx, nullptr);
    ASSERT_NE(down, nullptr);
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(lx->Circuits.Count(), 2);
    EXPECT_EQ(lx->RoadRows, std::vector<std::int32_t>{36});
    ASSERT_NE(lx->Location, nullptr);
    EXPECT_EQ(lx->Location->ID, "QLBY");
    bool fromDown = false, fromUp = false;
    for (const TCrossingRoute& r : lx->RoutesOver()) {
        fromDown = fromDown || r.Route->Entrance == down;
        fromUp = fromUp || r.Route->Entrance == up;
        ASSERT_FALSE(r.UpToCrossing.empty());
        // The last subroute counted is the one over the road.
        EXPECT_GE(lx->Circuits.IndexOf(r.UpToCrossing.back()->TrackCircuit), 0) << r.Route->ID;
    }
    EXPECT_TRUE(fromDown);
    EXPECT_TRUE(fromUp);
}

// Without a train the route alone closes nothing, and its signal stays at danger: it
// may clear only over barriers proved down.
TEST_F(QuillbyCrossing, ARouteWithNoTrainLeavesTheRoadOpenAndTheSignalAtDanger) {
    ASSERT_NE(SetRouteFrom(*down), nullptr);
    Run(40);
    EXPECT_EQ(lx->State, LxOpen);
    EXPECT_EQ(down->Aspect, AspDanger);
}

// A train waiting at each signal in turn: lowering, proved down, the signal clears; the
// route cancelled, the road opens again.
TEST_F(QuillbyCrossing, ATrainApproachingEitherWayHasTheBarriersDownBeforeItsSignalClears) {
    for (TSIG* signal : {down, up}) {
        SCOPED_TRACE(signal->ID);
        ASSERT_NE(signal->BerthCircuit, nullptr);
        signal->BerthCircuit->AssessorOccupy();  // a train standing at the signal
        ASSERT_NE(SetRouteFrom(*signal), nullptr);
        Run(4);
        EXPECT_EQ(lx->State, LxLowering);
        // Points settle and the lights run their time: the signal holds at danger.
        Run(2 * LevelCrossingLowerTime - 8);
        EXPECT_EQ(lx->State, LxLowering);
        EXPECT_EQ(signal->Aspect, AspDanger);
        Run(12);
        EXPECT_EQ(lx->State, LxDown);
        EXPECT_NE(signal->Aspect, AspDanger);
        // While the signal shows proceed the barriers stay down.
        Run(20);
        EXPECT_EQ(lx->State, LxDown);
        // The train goes away; the route is given back and the road opens.
        signal->BerthCircuit->AssessorVacate();
        signal->RequestCancel();
        Run(2 * 130);
        EXPECT_EQ(signal->Aspect, AspDanger);
        EXPECT_EQ(lx->State, LxOpen);
    }
}

TEST_F(QuillbyCrossing, AFailedBarrierHoldsTheSignalAtDangerUntilRepaired) {
    lx->SetBarrierFailed(true);
    down->BerthCircuit->AssessorOccupy();
    ASSERT_NE(SetRouteFrom(*down), nullptr);
    Run(2 * LevelCrossingLowerTime + 10);
    EXPECT_EQ(lx->State, LxFailed);
    Run(200);
    EXPECT_EQ(lx->State, LxFailed);
    EXPECT_EQ(down->Aspect, AspDanger);
    // Repaired: the barriers go through their sequence again, then the signal clears.
    lx->SetBarrierFailed(false);
    Run(2);
    EXPECT_EQ(lx->State, LxLowering);
    EXPECT_EQ(down->Aspect, AspDanger);
    Run(2 * LevelCrossingLowerTime + 4);
    EXPECT_EQ(lx->State, LxDown);
    EXPECT_NE(down->Aspect, AspDanger);
}

// A train on the road itself closes it, route or no route.
TEST_F(QuillbyCrossing, ATrainOnTheCrossingKeepsTheRoadClosed) {
    TTCS* road = lx->Circuits.At(0);
    road->AssessorOccupy();
    Run(2 * LevelCrossingLowerTime + 4);
    EXPECT_EQ(lx->State, LxDown);
    road->AssessorVacate();
    Run(2 * LevelCrossingRaiseTime + 10);
    EXPECT_EQ(lx->State, LxOpen);
}

// The checker reports a proceed aspect over barriers that are not proved down.
TEST_F(QuillbyCrossing, TheCheckerReportsAProceedAspectOverBarriersNotDown) {
    down->BerthCircuit->AssessorOccupy();
    ASSERT_NE(SetRouteFrom(*down), nullptr);
    Run(2 * LevelCrossingLowerTime + 8);
    ASSERT_NE(down->Aspect, AspDanger);
    lx->State = LxRaising;  // planted: the barriers rise under a clear signal
    const std::vector<std::string> found = checker.Check();
    ASSERT_FALSE(found.empty());
    EXPECT_NE(found.front().find("level crossing QLBYLC"), std::string::npos) << found.front();
    lx->State = LxDown;
}

// Saved while the barriers are on their way down, loaded into a fresh simulation: the
// sequence goes on from where it was.
TEST_F(QuillbyCrossing, SavedAndLoadedMidSequenceTheSequenceGoesOn) {
    down->BerthCircuit->AssessorOccupy();
    ASSERT_NE(SetRouteFrom(*down), nullptr);
    Run(20);
    ASSERT_EQ(lx->State, LxLowering);
    const std::int32_t timer = lx->Timer;
    ASSERT_GT(timer, 0);
    ValueWriter w;
    ASSERT_TRUE(WriteSavedSimulation(sim, w));

    Sim loaded;
    area::BuildArea(loaded);
    ASSERT_EQ(LoadSimulationBytes(loaded, w.Bytes()), 0);
    TLevelCrossing* copy = loaded.LevelCrossings.FindID("QLBYLC");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->State, LxLowering);
    EXPECT_EQ(copy->Timer, timer);
    TSIG* copyDown = loaded.Signals.FindID("SVM27");
    for (int i = 0; i < 2 * (LevelCrossingLowerTime - timer) + 6; ++i) loaded.MajorCycleTick();
    EXPECT_EQ(copy->State, LxDown);
    EXPECT_NE(copyDown->Aspect, AspDanger);
}

// --- overlaps over the crossing: the Down starter 27's overlaps run east over the road
// and the Up home 46's run west over it, so the signals reading up to 27 and 46 count on
// the barriers as much as the routes over the road do: main signal 25 (its route to 27
// takes 27's overlap) and automatic 124 (its section ends at 46 and relies on 46's
// first overlap, locking none).

struct OverlapCase {
    const char* Signal;      // the signal reading towards the overlap
    const char* NextSignal;  // the signal whose overlap runs over the road
    bool Automatic;
};
constexpr OverlapCase kOverlapCases[] = {{"SVM25", "SVM27", false}, {"SVM124", "SVM46", true}};

struct QuillbyOverlaps : QuillbyCrossing, ::testing::WithParamInterface<OverlapCase> {
    QuillbyOverlaps() {
        signal = sim.Signals.FindID(GetParam().Signal);
        next = sim.Signals.FindID(GetParam().NextSignal);
    }
    // The circuit a train stands on waiting at the signal.
    TTCS* InRear() const {
        const TULC* s = signal ? signal->ApproachSubroute() : nullptr;
        return s ? s->TrackCircuit : nullptr;
    }
    // The route from the signal to the next one: set for a main signal, the permanent
    // one for an automatic.
    TROU* RouteToNext() {
        if (GetParam().Automatic) return signal->CurrentRoute;
        for (int i = 0; i < sim.Routes.Count(); ++i) {
            TROU* r = sim.Routes.At(i);
            if (r && r->Entrance == signal && r->Exit == next && r->Class == RcMain)
                return RouteRequest(sim, *signal, *next, 0).Set ? r : nullptr;
        }
        return nullptr;
    }
    // A train standing at the signal, its route to the next signal in place: the
    // overlap beyond the next signal is the one over the road.
    TROU* TrainWaiting() {
        TTCS* rear = InRear();
        if (!rear) return nullptr;
        rear->AssessorOccupy();
        TROU* route = RouteToNext();
        if (!route) return nullptr;
        const TOVL* overlap = route->OverlapInUse();
        if (!overlap || overlap->LevelCrossings.empty()) return nullptr;
        return route;
    }
    TSIG* signal = nullptr;
    TSIG* next = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Signals, QuillbyOverlaps, ::testing::ValuesIn(kOverlapCases),
                         [](const auto& info) { return std::string(info.param.Signal); });

// The crossing knows the overlaps over it, and nothing else: every overlap of 27 and
// 46 beyond the road, and no overlap of 25 (which ends in the platform).
TEST_F(QuillbyCrossing, KnowsTheOverlapsThatRunOverTheRoad) {
    bool of27 = false, of46 = false;
    for (const TCrossingOverlap& o : lx->OverlapsOver()) {
        ASSERT_NE(o.Overlap->Signal, nullptr);
        of27 = of27 || o.Overlap->Signal == down;
        of46 = of46 || o.Overlap->Signal == up;
        EXPECT_NE(o.Overlap->Signal->ID, "SVM25");
        EXPECT_FALSE(o.RoutesIn.empty()) << o.Overlap->Signal->ID;
        for (const TROU* r : o.RoutesIn) EXPECT_EQ(r->Exit, o.Overlap->Signal);
    }
    EXPECT_TRUE(of27);
    EXPECT_TRUE(of46);
}

// With a train waiting at the signal the barriers lower for it; the signal stays at
// danger until they are proved down and then clears.
TEST_P(QuillbyOverlaps, TheSignalClearsOnlyOnceTheBarriersAreDown) {
    ASSERT_NE(TrainWaiting(), nullptr);
    Run(4);
    EXPECT_EQ(lx->State, LxLowering);
    Run(2 * LevelCrossingLowerTime - 8);
    EXPECT_EQ(lx->State, LxLowering);
    EXPECT_EQ(signal->Aspect, AspDanger);
    Run(12);
    EXPECT_EQ(lx->State, LxDown);
    EXPECT_NE(signal->Aspect, AspDanger);
}

// No train, no closing of the road: the route alone (or the automatic's section) leaves
// the barriers up and the signal at danger.
TEST_P(QuillbyOverlaps, WithNoTrainTheRoadStaysOpenAndTheSignalAtDanger) {
    ASSERT_NE(RouteToNext(), nullptr);
    Run(2 * LevelCrossingLowerTime + 20);
    EXPECT_EQ(lx->State, LxOpen);
    EXPECT_EQ(signal->Aspect, AspDanger);
}

TEST_P(QuillbyOverlaps, AFailedBarrierHoldsTheSignalAtDanger) {
    lx->SetBarrierFailed(true);
    ASSERT_NE(TrainWaiting(), nullptr);
    Run(2 * LevelCrossingLowerTime + 10);
    EXPECT_EQ(lx->State, LxFailed);
    Run(200);
    EXPECT_EQ(signal->Aspect, AspDanger);
    lx->SetBarrierFailed(false);
    Run(2 * LevelCrossingLowerTime + 6);
    EXPECT_EQ(lx->State, LxDown);
    EXPECT_NE(signal->Aspect, AspDanger);
}

// The train passes the signal and runs on towards the next: the barriers stay down
// while it could still run into the overlap. For the main signal the overlap is then
// released (the route given back behind the train) and the road opens; for the
// automatic the train stands at the next signal, and once it has stood there for the
// overlap's release time the road opens though the train is still there.
TEST_P(QuillbyOverlaps, TheBarriersStayDownForATrainRunningOnAndRiseWhenTheOverlapIsDone) {
    TROU* route = TrainWaiting();
    ASSERT_NE(route, nullptr);
    const TOVL* overlap = route->OverlapInUse();
    ASSERT_NE(overlap, nullptr);
    Run(2 * LevelCrossingLowerTime + 8);
    ASSERT_NE(signal->Aspect, AspDanger);
    // The train's way: the circuit it waits on, then each circuit of the route.
    std::vector<TTCS*> way = {InRear()};
    for (int i = 0; i < route->Subroutes.Count(); ++i) {
        TTCS* c = route->Subroutes.At(i)->TrackCircuit;
        ASSERT_NE(c, nullptr);
        if (c != way.back()) way.push_back(c);
    }
    ASSERT_GE(way.size(), 2u);
    // It runs on circuit by circuit, past the signal (which goes back to danger) to the
    // next signal, where it stands. The barriers stay down all the way.
    for (std::size_t i = 1; i < way.size(); ++i) {
        way[i]->AssessorOccupy();
        Run(2);
        way[i - 1]->AssessorVacate();
        Run(30);
        EXPECT_EQ(signal->Aspect, AspDanger) << way[i]->ID;
        EXPECT_EQ(lx->State, LxDown) << way[i]->ID;
    }
    // Once it has stood there for the overlap's release time the overlap is released
    // (or, beyond an automatic, would be) and the road opens, the train still standing.
    const TULC* end = route->Subroutes.At(route->Subroutes.Count() - 1);
    Run(2 * end->OverlapReleaseTime(*overlap) + 2 * LevelCrossingRaiseTime + 8);
    if (!GetParam().Automatic) {
        EXPECT_FALSE(overlap->IsSet());
    }
    EXPECT_EQ(lx->State, LxOpen);
    EXPECT_EQ(signal->Aspect, AspDanger);
    EXPECT_TRUE(way.back()->IsOccupied());
}

// An automatic clears towards the overlap over the road only for a train coming: with
// the barriers down for a train on the crossing and none approaching, it stays at danger,
// so that it does not keep the road closed once that train has gone.
TEST_F(QuillbyCrossing, AnAutomaticDoesNotClearOverTheRoadWithNoTrainComing) {
    TSIG* automatic = sim.Signals.FindID("SVM124");
    ASSERT_NE(automatic, nullptr);
    TTCS* road = lx->Circuits.At(0);
    road->AssessorOccupy();
    Run(2 * LevelCrossingLowerTime + 4);
    ASSERT_EQ(lx->State, LxDown);
    EXPECT_EQ(automatic->Aspect, AspDanger);
    road->AssessorVacate();
    Run(2 * LevelCrossingRaiseTime + 10);
    EXPECT_EQ(lx->State, LxOpen);
    EXPECT_EQ(automatic->Aspect, AspDanger);
}

// The checker reports a signal clear towards an overlap over barriers that are up.
TEST_P(QuillbyOverlaps, TheCheckerReportsAProceedAspectTowardsAnOverlapOverTheRoad) {
    ASSERT_NE(TrainWaiting(), nullptr);
    Run(2 * LevelCrossingLowerTime + 8);
    ASSERT_NE(signal->Aspect, AspDanger);
    lx->State = LxRaising;  // planted: the barriers rise under the clear signal
    const std::vector<std::string> found = checker.Check();
    lx->State = LxDown;
    ASSERT_FALSE(found.empty());
    EXPECT_NE(found.front().find("signal " + signal->ID + " shows a proceed aspect towards"),
              std::string::npos)
        << found.front();
}

// A barrier failure drawn at random as the barriers start to lower (against the
// failure scenarios' signal chance): the crossing holds its signal at danger, the
// failure is announced and survives a save and load, and the technician's repair lets
// the barriers come down and the signal clear.
TEST_F(QuillbyCrossing, ARandomBarrierFailureHoldsTheSignalUntilTheTechnicianRepairsIt) {
    down->BerthCircuit->AssessorOccupy();
    Run(10);  // the signals settle while nothing can fail
    sim.Failures.SetFailureSettings(1, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(SetRouteFrom(*down), nullptr);
    Run(4);
    ASSERT_EQ(lx->State, LxLowering);
    ASSERT_EQ(sim.Failures.Count(), 1);
    EXPECT_EQ(sim.Failures.Failures()[0].Equipment, lx);
    EXPECT_EQ(sim.Failures.Failures()[0].Kind, FailCrossing);
    EXPECT_TRUE(lx->BarrierFailed);
    Run(2 * LevelCrossingLowerTime + 4);
    EXPECT_EQ(lx->State, LxFailed);
    EXPECT_EQ(down->Aspect, AspDanger);
    auto logged = [&](const std::string& text) {
        for (const std::string& line : sim.Incidents.Lines)
            if (line.find(text) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(logged("Level crossing failure detected in the Quillby area"));

    ValueWriter w;
    ASSERT_TRUE(WriteSavedSimulation(sim, w));
    Sim loaded;
    area::BuildArea(loaded);
    ASSERT_EQ(LoadSimulationBytes(loaded, w.Bytes()), 0);
    ASSERT_EQ(loaded.Failures.Count(), 1);
    EXPECT_EQ(loaded.Failures.Failures()[0].Equipment, loaded.LevelCrossings.FindID("QLBYLC"));
    EXPECT_TRUE(loaded.LevelCrossings.FindID("QLBYLC")->BarrierFailed);

    for (int i = 0; i < kRepairBaseCycles + kRepairRandomCycles && sim.Failures.Count() > 0; ++i)
        Run(1);
    EXPECT_EQ(sim.Failures.Count(), 0);
    EXPECT_FALSE(lx->BarrierFailed);
    EXPECT_TRUE(logged("Level crossing failure in the Quillby area fixed."));
    Run(2 * LevelCrossingLowerTime + 6);
    EXPECT_EQ(lx->State, LxDown);
    EXPECT_NE(down->Aspect, AspDanger);
}

// Barriers the assessor has failed already do not fail at random as well.
TEST_F(QuillbyCrossing, BarriersFailedAlreadyDoNotFailAtRandom) {
    lx->SetBarrierFailed(true);
    down->BerthCircuit->AssessorOccupy();
    Run(10);
    sim.Failures.SetFailureSettings(1, 0.0f, 1.0f, 0.0f);
    ASSERT_NE(SetRouteFrom(*down), nullptr);
    Run(4);
    ASSERT_EQ(lx->State, LxLowering);
    EXPECT_EQ(sim.Failures.Count(), 0);
}

// Real trains both ways under ARS (the beginner's timetable: branch trains up from
// Tarrow into Quillby and back down): the barriers go through their whole sequence for
// each, the signals over the crossing clear only with the barriers down, every
// invariant holds every cycle and no stage raises an error.
TEST(QuillbyCrossingTrains, TrainsBothWaysWaitForTheBarriers) {
    runner::HeadlessOptions o;
    std::string error;
    ASSERT_TRUE(runner::ParseHeadlessArgs(
        {"--timetable", std::string(KESTRA_BINARY_DIR) + "/VLM/beginner.WTT", "--ars", "all",
         "--seed", "3", "--until", "08:10"},
        o, error))
        << error;
    test::InvariantHarness harness({.ARS = true, .Limit = 10});
    std::vector<std::uint8_t> states;
    bool downCleared = false, upCleared = false;
    long errors = 0;
    o.EachCycle = [&](Sim& sim) {
        const TLevelCrossing* lx = sim.LevelCrossings.FindID("QLBYLC");
        if (!lx) return;
        if (states.empty() || states.back() != lx->State) states.push_back(lx->State);
        for (const char* plate : {"SVM27", "SVM46"}) {
            const TSIG* s = sim.Signals.FindID(plate);
            const bool over = s->CurrentRoute && !s->CurrentRoute->LevelCrossings.empty();
            if (over && s->ShowsProceed()) {
                EXPECT_EQ(lx->State, LxDown) << sim.FormatSimTime() << " " << plate;
                (plate[3] == '2' ? downCleared : upCleared) = true;
            }
        }
        errors = sim.ErrorsCaught;
    };
    harness.Attach(o);
    std::ostringstream out, err;
    ASSERT_EQ(runner::RunHeadless(o, out, err), 0) << err.str();
    for (const std::string& b : harness.Broken()) ADD_FAILURE() << b;
    EXPECT_EQ(errors, 0);
    EXPECT_TRUE(downCleared);
    EXPECT_TRUE(upCleared);
    // Open, lowering, down, raising, open: at least once for each direction.
    int sequences = 0;
    for (std::size_t i = 0; i + 4 < states.size(); ++i)
        if (states[i] == LxOpen && states[i + 1] == LxLowering && states[i + 2] == LxDown &&
            states[i + 3] == LxRaising && states[i + 4] == LxOpen)
            ++sequences;
    EXPECT_GE(sequences, 2);
}

}  // namespace
}  // namespace kestra
