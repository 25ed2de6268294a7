#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"

namespace kestra {
namespace {

using test::DoubleJunction;
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

}  // namespace
}  // namespace kestra
