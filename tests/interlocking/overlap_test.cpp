#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"

namespace kestra {
namespace {

using test::DoubleJunction;
using test::LastMessage;
using test::PlainLine;
using test::RailwayBuilder;
using test::TestSim;

class JunctionOverlapTest : public ::testing::Test {
  protected:
    JunctionOverlapTest() : build(*t), j(BuildDoubleJunction(build)) {}
    void Seconds(int n) { t.Ticks(2 * n); }
    TestSim t;
    RailwayBuilder build;
    DoubleJunction j;
};

TEST_F(JunctionOverlapTest, RouteTakesTheFirstOverlapWhosePointsLieRight) {
    j.S0SA->SetRoute();
    EXPECT_EQ(j.SA->CurrentOverlap, j.SAStraight);
    EXPECT_TRUE(j.SAStraight->IsSet());
    EXPECT_FALSE(j.SADiverging->IsSet());
    EXPECT_EQ(j.TJab->Overlap, j.SAStraight);
    EXPECT_EQ(j.SA->RouteIn, j.S0SA);
}

TEST_F(JunctionOverlapTest, PointsLyingReverseMakeTheDivergingOverlapTheFirstChoice) {
    j.P1->CallReverse();
    Seconds(4);
    j.S0SA->SetRoute();
    EXPECT_EQ(j.SA->CurrentOverlap, j.SADiverging);
    EXPECT_TRUE(j.P1->ControlledReverse);
}

TEST_F(JunctionOverlapTest, ConflictingRouteSwingsTheOverlapOutOfItsWay) {
    j.S0SA->SetRoute();
    Seconds(2);
    ASSERT_TRUE(j.SA->OverlapProved());
    // The down branch crosses the straight overlap on the flat.
    const RouteRequestResult r = RouteRequest(*t, *j.SBd, *j.SD, 0);
    EXPECT_TRUE(r.Set);
    EXPECT_TRUE(j.SBdSD->RouteSet);
    EXPECT_EQ(j.SA->CurrentOverlap, j.SADiverging);
    EXPECT_EQ(j.TJab->Overlap, nullptr);
    EXPECT_EQ(j.TJac->Overlap, j.SADiverging);
    EXPECT_TRUE(j.P1->ControlledReverse);
    EXPECT_TRUE(j.P1->MovedForOverlap);
    // The signal need not wait for overlap points still moving after a swing.
    EXPECT_TRUE(j.SA->OverlapProved());
    Seconds(4);
    EXPECT_FALSE(j.P1->MovedForOverlap);
    EXPECT_TRUE(j.SA->OverlapProved());
}

TEST_F(JunctionOverlapTest, KeyingPointsInTheOverlapSwingsItToTheKeyedPosition) {
    j.S0SA->SetRoute();
    j.P1->KeyReverseAction();
    EXPECT_TRUE(j.P1->KeyedReverse);
    EXPECT_TRUE(j.P1->ControlledReverse);
    EXPECT_EQ(j.SA->CurrentOverlap, j.SADiverging);
    EXPECT_EQ(t->PointsKeyedReverse, nullptr);  // recorded only while the key acts
}

TEST_F(JunctionOverlapTest, KeyedPointsHoldTheOverlapWhereItIs) {
    j.S0SA->SetRoute();
    j.P1->KeyNormalAction();
    // The diverging alternative needs P1 reverse, which the key forbids.
    EXPECT_FALSE(j.SA->CanSwingOverlap());
    EXPECT_FALSE(RouteRequest(*t, *j.SBd, *j.SD, 0).Set);
    EXPECT_EQ(t->Messages().MessageHistory.back().Text, "Conflicting subroute(s)");
}

TEST_F(JunctionOverlapTest, ApplicableOnlyWithItsRoutes) {
    j.SADiverging->Routes.Add({}, j.S0SA);
    EXPECT_FALSE(j.SADiverging->IsApplicable());
    t->RouteBeingSet = j.S0SA;
    EXPECT_TRUE(j.SADiverging->IsApplicable());
    t->RouteBeingSet = nullptr;
    j.S0SA->MarkSet();
    EXPECT_TRUE(j.SADiverging->IsApplicable());
    EXPECT_TRUE(j.SAStraight->IsApplicable());  // no routes listed: any
}

TEST_F(JunctionOverlapTest, OverlapUnderEvaluationIsNotAvailableAndHookMayRefuse) {
    EXPECT_TRUE(j.SAStraight->IsAvailable());
    t->OverlapEvaluation.Add({}, j.SAStraight);
    EXPECT_FALSE(j.SAStraight->IsAvailable());
    EXPECT_TRUE(j.SAStraight->IsAvailableQuiet());
    t->OverlapEvaluation.Remove(j.SAStraight);
    t->Hooks.OverlapHook = [&](TOVL& o) { return &o != j.SAStraight; };
    EXPECT_FALSE(j.SAStraight->IsAvailable());
    EXPECT_FALSE(j.SAStraight->IsAvailableQuiet());
    j.S0SA->SetRoute();
    EXPECT_EQ(j.SA->CurrentOverlap, j.SADiverging);
}

TEST_F(JunctionOverlapTest, SwingWithoutACandidateOnlyTraces) {
    std::vector<std::string> trace;
    t->TraceHook = [&](const std::string& line) { trace.push_back(line); };
    j.SA->SwingOverlap();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_NE(trace[0].find("SA set alternative overlap error"), std::string::npos);
}

TEST_F(JunctionOverlapTest, ProvedNeedsClearCircuitsAndDetectedPoints) {
    j.S0SA->SetRoute();
    EXPECT_TRUE(j.SA->OverlapProved());
    j.P1->SetFailedNormal(true);  // detection lost: not a movement for the overlap
    EXPECT_FALSE(j.SAStraight->IsProved());
    EXPECT_FALSE(j.SA->OverlapProved());
    j.P1->SetFailedNormal(false);
    EXPECT_TRUE(j.SA->OverlapProved());
    j.TJ->Occupy();
    EXPECT_FALSE(j.SA->OverlapProved());
}

class PlainOverlapTest : public ::testing::Test {
  protected:
    PlainOverlapTest() : build(*t), line(BuildPlainLine(build)) {}
    TestSim t;
    RailwayBuilder build;
    PlainLine line;
};

TEST_F(PlainOverlapTest, SignalWithoutOverlapsNeedsNone) {
    TSIG& s3 = *line.S3;
    EXPECT_TRUE(s3.FullOverlapAvailable());
    EXPECT_TRUE(s3.FullOverlapAvailableQuiet());
    EXPECT_TRUE(s3.RestrictedOverlapAvailable());
    EXPECT_TRUE(s3.OverlapProved());
    EXPECT_TRUE(s3.OverlapClearAvailable());
    EXPECT_TRUE(s3.CanSwingOverlap());
    EXPECT_EQ(s3.RestrictedOverlapCount(), 0);
    line.S2S3->SetRoute();
    EXPECT_EQ(s3.CurrentOverlap, nullptr);
}

TEST_F(PlainOverlapTest, OnlyOverlapCanNeverSwing) {
    line.S1S2->SetRoute();
    EXPECT_FALSE(line.S2->CanSwingOverlap());
    // A move across T3 that the overlap stands in the way of.
    TSIG& x = build.Signal("X", nullptr);
    TULC& across = build.Subroute(*line.T3, "CD");
    build.Route(x, *line.S3, {&across});
    const RouteRequestResult r = RouteRequest(*t, x, *line.S3, 0);
    EXPECT_FALSE(r.Set);
    EXPECT_FALSE(r.NoRoute);
    EXPECT_EQ(t->Messages().MessageHistory.back().Text, "Cannot swing overlap");
}

// S2 gets two more overlaps over T3 through points Q: one needs Q reverse (a movement,
// listed first), one needs it normal (no movement).
class OverlapCostTest : public PlainOverlapTest {
  protected:
    OverlapCostTest() {
        q = &build.Points("Q", *line.T3);
        viaReverse = &build.Subroute(*line.T3, "QR");
        viaReverse->AddReversePoints(*q);
        viaNormal = &build.Subroute(*line.T3, "QN");
        viaNormal->AddNormalPoints(*q);
        reverseOverlap = &build.Overlap(*line.S2, {viaReverse});
        normalOverlap = &build.Overlap(*line.S2, {viaNormal});
        line.S1S2->SetRoute();
    }
    TPTS* q;
    TULC *viaReverse, *viaNormal;
    TOVL *reverseOverlap, *normalOverlap;
};

TEST_F(OverlapCostTest, SwingPrefersTheCheapestAlternative) {
    EXPECT_EQ(line.S2->CurrentOverlap, line.S2Overlap);
    EXPECT_EQ(reverseOverlap->Cost(), 51);
    EXPECT_EQ(normalOverlap->Cost(), 50);
    ASSERT_TRUE(line.S2->CanSwingOverlap());
    EXPECT_EQ(line.S2->SwingCandidate, normalOverlap);
    line.S2->SwingOverlap();
    EXPECT_EQ(line.S2->CurrentOverlap, normalOverlap);
    EXPECT_EQ(line.T3ab->Overlap, nullptr);
    EXPECT_EQ(viaNormal->Overlap, normalOverlap);
}

TEST_F(OverlapCostTest, PointsBeingKeyedTakeAwayThePenalty) {
    t->PointsKeyedReverse = q;
    EXPECT_EQ(reverseOverlap->Cost(), 0);
    ASSERT_TRUE(line.S2->CanSwingOverlap());
    EXPECT_EQ(line.S2->SwingCandidate, reverseOverlap);
    t->PointsKeyedReverse = nullptr;
}

TEST_F(OverlapCostTest, RestrictedAndFullNeverSwingToEachOther) {
    for (bool candidateRestricted : {false, true}) {
        for (bool currentRestricted : {false, true}) {
            normalOverlap->Restricted = candidateRestricted;
            line.S2Overlap->Restricted = currentRestricted;
            EXPECT_EQ(normalOverlap->CanSwingTo(*line.S2Overlap),
                      candidateRestricted == currentRestricted)
                << candidateRestricted << currentRestricted;
            EXPECT_TRUE(t->OverlapEvaluation.Empty());
            EXPECT_EQ(t->OverlapSwungTo, nullptr);
        }
    }
}

TEST_F(OverlapCostTest, RestrictedOverlapIsNeverLaidOverLockedTrack) {
    line.S2Overlap->Clear();
    normalOverlap->Restricted = true;
    reverseOverlap->Restricted = true;
    EXPECT_EQ(line.S2->RestrictedOverlapCount(), 2);
    // The normal one's points lie right, but another route holds the circuit.
    TULC& across = build.Subroute(*line.T3, "XX");
    across.Lock();
    line.S2->SetRestrictedOverlap();
    EXPECT_EQ(line.S2->CurrentOverlap, nullptr);
    EXPECT_EQ(viaNormal->Overlap, nullptr);
    across.Release();
    line.S2->SetRestrictedOverlap();
    EXPECT_EQ(line.S2->CurrentOverlap, normalOverlap);
    EXPECT_EQ(viaNormal->Overlap, normalOverlap);
}

// --- swings chosen for the route or overlap being set --------------------------------
//
// A small yard of separate circuits on which the signals' overlaps and the routes are
// laid out exactly as each case needs. Y is a signal whose overlap stands in the way;
// N-X is the route requested.
class SwingYardTest : public ::testing::Test {
  protected:
    SwingYardTest() : build(*t), checker(*t) {
        y = &build.Signal("Y");
        n = &build.Signal("N");
        x = &build.Signal("X");
    }
    // A subroute over a circuit of the yard, the circuit made on first use.
    TULC& Sub(const std::string& circuit, const std::string& id) {
        TTCS*& c = circuits[circuit];
        if (!c) c = &build.Circuit(circuit);
        return build.Subroute(*c, id);
    }
    // Y's overlap in use, set as a swing sets it.
    void SetInUse(TOVL& o) { o.SetBySwing(); }
    std::vector<std::string> Broken() { return checker.Check(); }

    TestSim t;
    RailwayBuilder build;
    test::InterlockingInvariants checker;
    std::map<std::string, TTCS*> circuits;
    TSIG *y, *n, *x;
};

// The route request tests the route (Y's swing found for it: Yc), then tests X's
// overlap again with no route under test, which finds Yb, cheaper but over the route's
// own circuit D. The swing made while setting the route must be chosen for the route.
TEST_F(SwingYardTest, SwingIsChosenForTheRouteBeingSetNotByAnEarlierTest) {
    TULC& cy = Sub("C", "AB");
    TULC& cr = Sub("C", "AC");
    TULC& dy = Sub("D", "AB");
    TULC& dr = Sub("D", "AC");
    TULC& ey = Sub("E", "AB");
    TPTS& pe = build.Points("PE", *circuits["E"]);
    ey.AddReversePoints(pe);
    TULC& ox = Sub("F", "AB");
    SetConflicting(ox, cy);  // X's overlap crosses Y's on the flat
    TOVL& ya = build.Overlap(*y, {&cy});
    TOVL& yb = build.Overlap(*y, {&dy});
    TOVL& yc = build.Overlap(*y, {&ey});
    build.Overlap(*x, {&ox});
    TROU& nx = build.Route(*n, *x, {&cr, &dr});
    SetInUse(ya);
    ASSERT_LT(yb.Cost(), yc.Cost());

    const RouteRequestResult r = RouteRequest(*t, *n, *x, 0);
    ASSERT_TRUE(r.Set) << t->LastFailReason;
    EXPECT_TRUE(nx.RouteSet);
    EXPECT_EQ(y->CurrentOverlap, &yc);
    EXPECT_EQ(dy.Overlap, nullptr);
    EXPECT_TRUE(pe.ControlledReverse);
    EXPECT_EQ(Broken(), std::vector<std::string>{});
}

// X's overlap runs over two circuits, G then H. Y's overlap on G could swing only onto
// H the opposite way: setting X's overlap must not push Y's onto the track it is about
// to take, so the overlap is not available and Y keeps its own.
TEST_F(SwingYardTest, SwingNeverPutsAnotherOverlapOnTheTrackOfTheOverlapBeingSet) {
    TULC& gy = Sub("G", "BC");
    TULC& g1 = Sub("G", "AB");
    TULC& h2 = Sub("H", "AB");
    TULC& hy = Sub("H", "BA");
    SetOpposites(h2, hy);
    TULC& m = Sub("M", "AB");
    TOVL& ya = build.Overlap(*y, {&gy});
    build.Overlap(*y, {&hy});
    TOVL& ox = build.Overlap(*x, {&g1, &h2});
    TROU& nx = build.Route(*n, *x, {&m});
    SetInUse(ya);

    const RouteRequestResult r = RouteRequest(*t, *n, *x, 0);
    EXPECT_FALSE(r.Set);
    EXPECT_FALSE(nx.RouteSet);
    EXPECT_EQ(LastMessage(t), "No overlap available");
    EXPECT_EQ(y->CurrentOverlap, &ya);
    EXPECT_TRUE(ya.IsSet());
    EXPECT_FALSE(ox.IsSet());
    EXPECT_TRUE(m.Free);
    EXPECT_EQ(Broken(), std::vector<std::string>{});
    // Set without the check (as ARS sets a route it has tested), the route is given back
    // rather than left without its overlap.
    EXPECT_FALSE(nx.SetRoute());
    EXPECT_FALSE(nx.RouteSet);
    EXPECT_TRUE(m.Free);
    EXPECT_EQ(Broken(), std::vector<std::string>{});
    // Taken directly, the overlap gives up at its first subroute...
    EXPECT_FALSE(ox.SetWithRoute());
    EXPECT_EQ(g1.Overlap, nullptr);
    EXPECT_EQ(gy.Overlap, &ya);
    // ...and, with Y's overlap on H instead, at its second, giving back the first.
    ya.Clear();
    y->Overlaps.At(1)->SetBySwing();
    ASSERT_EQ(hy.Overlap, y->Overlaps.At(1));
    EXPECT_FALSE(ox.SetWithRoute());
    EXPECT_EQ(g1.Overlap, nullptr);
    EXPECT_EQ(h2.Overlap, nullptr);
    EXPECT_EQ(Broken(), std::vector<std::string>{});
    y->Overlaps.At(1)->Clear();
    ya.SetBySwing();

    // With a third way for Y's overlap, clear of X's, the route and both overlaps set.
    TULC& ky = Sub("K", "AB");
    TOVL& yc = build.Overlap(*y, {&ky});
    ASSERT_TRUE(RouteRequest(*t, *n, *x, 0).Set) << t->LastFailReason;
    EXPECT_EQ(y->CurrentOverlap, &yc);
    EXPECT_TRUE(ox.IsSet());
    EXPECT_EQ(hy.Overlap, nullptr);
    EXPECT_EQ(gy.Overlap, nullptr);
    EXPECT_EQ(Broken(), std::vector<std::string>{});
}

// Y's cheapest alternative lies beside a third signal's overlap on circuit K: a swing
// never brings two overlaps onto one circuit, so Y goes the dearer way.
TEST_F(SwingYardTest, SwingNeverJoinsAnotherSignalsOverlapOnItsCircuit) {
    TSIG& z = build.Signal("Z");
    TULC& cy = Sub("C", "AB");
    TULC& cr = Sub("C", "AC");
    TULC& kz = Sub("K", "AB");
    TULC& ky = Sub("K", "CB");
    TULC& ey = Sub("E", "AB");
    TPTS& pe = build.Points("PE", *circuits["E"]);
    ey.AddReversePoints(pe);
    TOVL& ya = build.Overlap(*y, {&cy});
    TOVL& yb = build.Overlap(*y, {&ky});
    TOVL& yc = build.Overlap(*y, {&ey});
    TOVL& za = build.Overlap(z, {&kz});
    build.Route(*n, *x, {&cr});
    SetInUse(ya);
    SetInUse(za);
    ASSERT_LT(yb.Cost(), yc.Cost());

    ASSERT_TRUE(RouteRequest(*t, *n, *x, 0).Set) << t->LastFailReason;
    EXPECT_EQ(y->CurrentOverlap, &yc);
    EXPECT_EQ(ky.Overlap, nullptr);
    EXPECT_EQ(kz.Overlap, &za);
    EXPECT_EQ(Broken(), std::vector<std::string>{});
}

// X's overlap and Y's run onto the same subroute S (their lines converge). X's overlap
// takes S only by swinging Y's away; with nowhere to swing, it is not available.
TEST_F(SwingYardTest, OverlapTakesASubrouteHeldByAnotherSignalOnlyBySwingingIt) {
    TULC& sy = Sub("S", "AB");
    TULC& m = Sub("M", "AB");
    TOVL& ya = build.Overlap(*y, {&sy});
    TOVL& ox = build.Overlap(*x, {&sy});
    TROU& nx = build.Route(*n, *x, {&m});
    SetInUse(ya);

    EXPECT_FALSE(RouteRequest(*t, *n, *x, 0).Set);
    EXPECT_EQ(LastMessage(t), "No overlap available");
    EXPECT_FALSE(nx.RouteSet);
    EXPECT_EQ(sy.Overlap, &ya);
    EXPECT_FALSE(x->FullOverlapAvailableQuiet());  // ARS's form says the same
    // Taken directly, it gives up rather than overwrite Y's holding.
    EXPECT_FALSE(ox.SetWithRoute());
    EXPECT_EQ(sy.Overlap, &ya);
    EXPECT_EQ(Broken(), std::vector<std::string>{});

    TULC& ey = Sub("E", "AB");
    TOVL& yb = build.Overlap(*y, {&ey});
    EXPECT_TRUE(x->FullOverlapAvailableQuiet());
    ASSERT_TRUE(RouteRequest(*t, *n, *x, 0).Set) << t->LastFailReason;
    EXPECT_EQ(sy.Overlap, &ox);
    EXPECT_EQ(x->CurrentOverlap, &ox);
    EXPECT_EQ(y->CurrentOverlap, &yb);
    EXPECT_EQ(Broken(), std::vector<std::string>{});
}

// The route needs both Y's and Z's overlaps out of its way, and each could go only to
// spare circuit Q. Each swing passes on its own, but once Y's has gone there Z's has
// nowhere left: the route is refused and given back, with nothing locked.
TEST_F(SwingYardTest, RouteIsGivenBackWhenASwingHasNoAlternativeLeftAtTheMoment) {
    TSIG& z = build.Signal("Z");
    TULC& cy = Sub("C", "AB");
    TULC& cr = Sub("C", "AC");
    TULC& dz = Sub("D", "AB");
    TULC& dr = Sub("D", "AC");
    TULC& qy = Sub("Q", "AB");
    TULC& qz = Sub("Q", "CB");
    TOVL& ya = build.Overlap(*y, {&cy});
    TOVL& yb = build.Overlap(*y, {&qy});
    TOVL& za = build.Overlap(z, {&dz});
    build.Overlap(z, {&qz});
    TROU& nx = build.Route(*n, *x, {&cr, &dr});
    SetInUse(ya);
    SetInUse(za);
    ASSERT_TRUE(nx.IsAvailable()) << t->LastFailReason;

    const RouteRequestResult r = RouteRequest(*t, *n, *x, 0);
    EXPECT_FALSE(r.Set);
    EXPECT_FALSE(nx.RouteSet);
    EXPECT_EQ(LastMessage(t), "Cannot swing overlap");
    EXPECT_TRUE(cr.Free);
    EXPECT_TRUE(dr.Free);
    EXPECT_EQ(n->CurrentRoute, nullptr);
    EXPECT_EQ(z.CurrentOverlap, &za);
    EXPECT_EQ(qz.Overlap, nullptr);
    // Y's overlap did move; where it went it is whole and alone.
    EXPECT_EQ(y->CurrentOverlap, &yb);
    EXPECT_EQ(Broken(), std::vector<std::string>{});
}

// Flank protection: the main route needs points F normal; an overlap over the siding
// holds F reverse and must swing off it before F is called.
TEST(SwingOffFlankPoints, OverlapOnTheFlankPointsSwingsBeforeTheRouteCallsThem) {
    TestSim t;
    RailwayBuilder build(*t);
    test::LoopWithFlank loop = BuildLoopWithFlank(build);
    test::InterlockingInvariants checker(*t);
    TSIG& y = build.Signal("Y");
    TULC& spare = build.Subroute(build.Circuit("TSpare"), "AB");
    TOVL& onSiding = build.Overlap(y, {loop.TSidac});
    TOVL& away = build.Overlap(y, {&spare});
    // Set as a swing sets it, with no route into Y: no cycle runs, or the overlap would
    // release by itself.
    onSiding.SetBySwing();
    ASSERT_TRUE(loop.F->ControlledReverse);

    ASSERT_TRUE(RouteRequest(*t, *loop.SL, *loop.SXm, 0).Set) << t->LastFailReason;
    EXPECT_EQ(y.CurrentOverlap, &away);
    EXPECT_EQ(loop.TSidac->Overlap, nullptr);
    EXPECT_TRUE(loop.F->ControlledNormal);
    EXPECT_EQ(checker.Check(), std::vector<std::string>{});
}

}  // namespace
}  // namespace kestra
