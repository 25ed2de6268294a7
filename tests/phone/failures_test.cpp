// Trackside failures on the double junction of the interlocking tests: the chance and
// the maximum, each kind's effect and its safety, detection and repair times, the
// technician's call, and the saved record.

#include "phone/failures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/value_stream.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"
#include "interlocking/route.h"
#include "places/location.h"
#include "sim/sim.h"

namespace kestra {
namespace {

using test::DoubleJunction;
using test::RailwayBuilder;
using test::TestSim;

class FailuresTest : public ::testing::Test {
  protected:
    FailuresTest() : build(*t), j(BuildDoubleJunction(build)), checker(*t) {
        junction = &t->Locations.Create();
        junction->ID = "JCT";
        junction->Name = "Alder Junction";
        for (TTCS* c : {j.TJ, j.TA, j.TX}) c->Location = junction;
        for (TPTS* p : {j.P1, j.P2}) p->Location = junction;
        for (TSIG* s : {j.S0, j.SA, j.SM, j.SB}) s->Location = junction;
        t.Ticks(2);
    }
    // Runs major cycles with every interlocking invariant checked after each.
    void Cycles(int n) {
        for (int i = 0; i < n; ++i) {
            t.Ticks(1);
            for (const std::string& s : checker.Check()) ADD_FAILURE() << s;
        }
    }
    void Settings(std::int32_t maximum, float track, float signal, float points) {
        t->Failures.SetFailureSettings(maximum, track, signal, points);
    }
    // A train's last axle leaving the circuit: its failure opportunity.
    void TrainPasses(TTCS& c) {
        c.Occupy();
        c.Vacate();
    }
    int Incidents(const std::string& text) const {
        return static_cast<int>(
            std::count_if(t.sim->Incidents.Lines.begin(), t.sim->Incidents.Lines.end(),
                          [&](const std::string& l) { return l.find(text) != std::string::npos; }));
    }
    bool Set(TSIG& from, TSIG& to) { return RouteRequest(*t, from, to, 0).Set; }

    TestSim t;
    RailwayBuilder build;
    DoubleJunction j;
    test::InterlockingInvariants checker;
    TLOC* junction = nullptr;
};

TEST_F(FailuresTest, NothingFailsWithAMaximumOfNoneOrWithoutALocation) {
    struct Case {
        const char* name;
        std::int32_t maximum;
        bool located;
    };
    const Case cases[] = {{"maximum 0", 0, true}, {"no location", 10, false}};
    for (const Case& c : cases) {
        Settings(c.maximum, 1.0f, 1.0f, 1.0f);
        for (TTCS* x : {j.TJ, j.TA}) x->Location = c.located ? junction : nullptr;
        j.P1->Location = c.located ? junction : nullptr;
        j.SA->Location = j.S0->Location = c.located ? junction : nullptr;
        for (int i = 0; i < 20; ++i) {
            TrainPasses(*j.TJ);
            TrainPasses(*j.TA);
        }
        Cycles(4);  // the circuits show clear again
        ASSERT_TRUE(Set(*j.SA, *j.SB)) << c.name;  // P1 moves, SA clears
        ASSERT_TRUE(Set(*j.S0, *j.SA)) << c.name;
        Cycles(20);
        EXPECT_EQ(t->Failures.Count(), 0) << c.name;
        EXPECT_TRUE(j.TJ->IsClear()) << c.name;
        EXPECT_TRUE(j.SA->ShowsProceed() && j.SA->LampProved) << c.name;
        EXPECT_TRUE(j.P1->IsDetectedReverse()) << c.name;
        EXPECT_TRUE(t->Incidents.Lines.empty()) << c.name;
        j.S0->RequestCancel();
        j.SA->RequestCancel();
        Cycles(200);
        j.P1->CallNormal();
        Cycles(20);
    }
}

TEST_F(FailuresTest, TheMaximumLimitsTheFailuresAtOnce) {
    Settings(2, 1.0f, 0.0f, 0.0f);
    for (TTCS* c : {j.TJ, j.TA, j.TX}) TrainPasses(*c);
    EXPECT_EQ(t->Failures.Count(), 2);
    EXPECT_EQ(j.TX->OccupyCount, 0) << "the third did not fail";
}

TEST_F(FailuresTest, ATrackCircuitStaysOccupiedUntilRepairedAndClearsThreeCyclesAfter) {
    Settings(1, 1.0f, 0.0f, 0.0f);
    TrainPasses(*j.TJ);
    ASSERT_EQ(t->Failures.Count(), 1);
    EXPECT_EQ(j.TJ->OccupyCount, 1);
    const std::int32_t repair = t->Failures.Failures()[0].RepairCycles;
    EXPECT_GE(repair, 1200);
    EXPECT_LE(repair, 2399);
    // Detection 30 s (60 cycles) later, once.
    Cycles(59);
    EXPECT_EQ(Incidents("Track circuit failure detected in the Alder Junction area"), 0);
    Cycles(1);
    EXPECT_EQ(Incidents("Track circuit failure detected in the Alder Junction area"), 1);
    EXPECT_EQ(test::LastMessage(t), "Track circuit failure detected in the Alder Junction area");
    Cycles(repair - 61);
    EXPECT_TRUE(j.TJ->IsOccupied()) << "still failed the cycle before its repair";
    EXPECT_EQ(t->Calls.Count(), 0);
    Cycles(1);
    EXPECT_EQ(t->Failures.Count(), 0);
    ASSERT_EQ(t->Calls.Count(), 1);
    const TCall& call = t->Calls.At(0);
    EXPECT_EQ(call.Caller, "Technician");
    EXPECT_EQ(call.Message, "Track circuit failure in the Alder Junction area fixed.");
    ASSERT_EQ(call.Replies.size(), 1u);
    EXPECT_EQ(call.Replies[0].Text, "Ok");
    EXPECT_FALSE(call.Replies[0].Confirm);
    EXPECT_FALSE(call.OnReply);
    EXPECT_EQ(Incidents("Track circuit failure in the Alder Junction area fixed."), 1);
    EXPECT_EQ(j.TJ->OccupyCount, 0);
    Cycles(2);
    EXPECT_FALSE(j.TJ->IsClear());
    Cycles(1);
    EXPECT_TRUE(j.TJ->IsClear()) << "clear three major cycles after the repair";
    EXPECT_EQ(Incidents("detected"), 1) << "announced once";
    // The call ends when answered.
    ASSERT_TRUE(t->Calls.Reply(t->Calls.At(0), 0));
    EXPECT_EQ(t->Calls.Count(), 0);
}

TEST_F(FailuresTest, FailedEquipmentDoesNotFailAgain) {
    Settings(5, 1.0f, 1.0f, 0.0f);
    TrainPasses(*j.TX);
    ASSERT_EQ(t->Failures.Count(), 1);
    TrainPasses(*j.TX);  // a train over the failed circuit leaves it
    EXPECT_EQ(t->Failures.Count(), 1);
    EXPECT_EQ(j.TX->OccupyCount, 1);
    ASSERT_TRUE(Set(*j.S0, *j.SA));
    Cycles(6);
    ASSERT_EQ(t->Failures.Count(), 2) << "S0's lamp failed as it cleared";
    j.S0->RequestCancel();
    Cycles(6);
    EXPECT_FALSE(j.S0->ShowsProceed());
    EXPECT_EQ(t->Failures.Count(), 2) << "its aspect changed again, but it is failed already";
}

TEST_F(FailuresTest, RepairsComeSixHundredToElevenHundredAndNinetyNineAndAHalfSecondsLater) {
    Settings(1, 1.0f, 0.0f, 0.0f);
    std::int32_t shortest = 1 << 30, longest = 0;
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        t->Rand.Seed(seed);
        t->Failures.ResetFailures();
        Settings(1, 1.0f, 0.0f, 0.0f);
        j.TJ->Reset();
        TrainPasses(*j.TJ);
        ASSERT_EQ(t->Failures.Count(), 1);
        shortest = std::min(shortest, t->Failures.Failures()[0].RepairCycles);
        longest = std::max(longest, t->Failures.Failures()[0].RepairCycles);
    }
    EXPECT_GE(shortest, 1200);
    EXPECT_LE(longest, 2399);
    EXPECT_LT(shortest, 1300);
    EXPECT_GT(longest, 2300);
}

TEST_F(FailuresTest, FailedPointsLoseTheDetectionCalledAndProveNoRoute) {
    Settings(1, 0.0f, 0.0f, 1.0f);
    ASSERT_TRUE(Set(*j.SA, *j.SB));  // P1 called reverse
    ASSERT_EQ(t->Failures.Count(), 1);
    EXPECT_TRUE(j.P1->FailedReverse);
    EXPECT_FALSE(j.P1->FailedNormal);
    Cycles(19);
    EXPECT_EQ(Incidents("Points failure detected in the Alder Junction area"), 0);
    Cycles(1);
    EXPECT_EQ(Incidents("Points failure detected in the Alder Junction area"), 1) << "after 10 s";
    Cycles(200);
    EXPECT_FALSE(j.P1->IsDetectedReverse());
    EXPECT_FALSE(j.SA->ShowsProceed()) << "no route proves over points without detection";
    const std::int32_t left = t->Failures.Failures()[0].RepairCycles;
    Cycles(left);
    EXPECT_EQ(t->Failures.Count(), 0);
    EXPECT_FALSE(j.P1->FailedReverse);
    Cycles(4);
    EXPECT_TRUE(j.SA->ShowsProceed()) << "the route proves once the points are repaired";
    ASSERT_EQ(t->Calls.Count(), 1);
    EXPECT_EQ(t->Calls.At(0).Message, "Points failure in the Alder Junction area fixed.");
}

TEST_F(FailuresTest, NoSignalClearsIntoASignalWhoseLampHasFailed) {
    Settings(1, 0.0f, 1.0f, 0.0f);
    ASSERT_TRUE(Set(*j.SA, *j.SM));
    Cycles(8);
    ASSERT_EQ(t->Failures.Count(), 1) << "SA's lamp failed as it cleared";
    EXPECT_FALSE(j.SA->LampProved);
    EXPECT_EQ(Incidents("Signal lamp failure detected in the Alder Junction area"), 1)
        << "detected within half a second";
    ASSERT_TRUE(Set(*j.S0, *j.SA));
    Cycles(20);
    EXPECT_FALSE(j.S0->ShowsProceed());
    Cycles(t->Failures.Failures()[0].RepairCycles + 4);
    EXPECT_TRUE(j.SA->LampProved);
    EXPECT_TRUE(j.S0->ShowsProceed());
    ASSERT_GE(t->Calls.Count(), 1);
    EXPECT_EQ(t->Calls.At(0).Message, "Signal failure in the Alder Junction area fixed.");
}

TEST_F(FailuresTest, TwoFailuresSavedAndLoadedKeepTheirCyclesAndAreNotAnnouncedAgain) {
    Settings(2, 1.0f, 0.0f, 1.0f);
    TrainPasses(*j.TA);
    ASSERT_TRUE(Set(*j.SA, *j.SB));
    ASSERT_EQ(t->Failures.Count(), 2);
    Cycles(100);  // both announced
    const std::vector<TFailure> before = t->Failures.Failures();
    ValueWriter w;
    ASSERT_TRUE(t->Failures.SaveFailures(w));
    const std::vector<std::uint8_t> bytes = w.TakeBytes();

    TestSim other;
    RailwayBuilder otherBuild(*other);
    DoubleJunction k = BuildDoubleJunction(otherBuild);
    TLOC& place = other->Locations.Create();
    place.Name = "Alder Junction";
    k.TA->Location = &place;
    k.P1->Location = &place;
    ValueReader r(bytes.data(), bytes.size());
    ASSERT_TRUE(other->Failures.LoadFailures(r));
    ASSERT_EQ(other->Failures.Count(), 2);
    const std::vector<TFailure>& after = other->Failures.Failures();
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(after[i].Kind, before[i].Kind);
        EXPECT_EQ(after[i].RepairCycles, before[i].RepairCycles);
        EXPECT_EQ(after[i].AgeCycles, before[i].AgeCycles);
    }
    EXPECT_EQ(after[0].Equipment, k.TA);
    EXPECT_EQ(after[1].Equipment, k.P1);
    EXPECT_EQ(other->Options().MaxFailures, 2);
    EXPECT_EQ(other->Options().TrackFailureChance, 1.0f);
    EXPECT_EQ(other->Options().SignalFailureChance, 0.0f);
    other->Options().MaxFailures = 0;  // nothing new strikes while the two run out
    // Running on: no detection message again, and both are repaired.
    k.TA->Occupy();  // the circuit's own record would bring the failure's occupant
    const std::int32_t longest = std::max(after[0].RepairCycles, after[1].RepairCycles);
    for (int i = 0; i < longest; ++i) other.Ticks(1);
    EXPECT_EQ(other->Failures.Count(), 0);
    for (const std::string& line : other->Incidents.Lines)
        EXPECT_EQ(line.find("detected"), std::string::npos) << line;
    EXPECT_EQ(other->Calls.Count(), 2);
}

TEST_F(FailuresTest, ADamagedFailureRecordChangesNothing) {
    auto record = [](double chance, std::int32_t maximum, std::vector<std::int32_t> fields,
                     std::int32_t count) {
        ValueWriter w;
        w.WriteFloat(chance);
        w.WriteFloat(chance);
        w.WriteFloat(chance);
        w.WriteInteger(maximum);
        w.WriteInteger(count);
        for (std::int32_t f : fields) w.WriteInteger(f);
        return w.TakeBytes();
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    const std::int32_t tj = t->TrackCircuits.IndexOf(j.TJ);
    const Case cases[] = {
        {"a chance above 1", record(2.0, 1, {}, 0)},
        {"a maximum above 10", record(0.1, 11, {}, 0)},
        {"a negative count", record(0.1, 1, {}, -1)},
        {"a count beyond the bytes", record(0.1, 1, {2, tj, 100, 5}, 1000000)},
        {"an unknown kind", record(0.1, 1, {3, 0, 100, 5}, 1)},
        {"equipment out of range", record(0.1, 1, {2, 9999, 100, 5}, 1)},
        {"no repair left", record(0.1, 1, {2, tj, 0, 5}, 1)},
        {"a negative age", record(0.1, 1, {2, tj, 100, -1}, 1)},
        {"a repair too far off", record(0.1, 1, {2, tj, 5000, 0}, 1)},
        {"the same circuit twice", record(0.1, 2, {2, tj, 100, 5, 2, tj, 90, 6}, 2)},
        {"cut short", record(0.1, 1, {2, tj, 100}, 1)},
    };
    Settings(3, 0.5f, 0.5f, 0.5f);
    for (const Case& c : cases) {
        ValueReader r(c.bytes.data(), c.bytes.size());
        EXPECT_FALSE(t->Failures.LoadFailures(r)) << c.name;
        EXPECT_EQ(t->Failures.Count(), 0) << c.name;
        EXPECT_EQ(t->Options().MaxFailures, 3) << c.name;
        EXPECT_EQ(t->Options().TrackFailureChance, 0.5f) << c.name;
    }
    const std::vector<std::uint8_t> good = record(0.1, 1, {2, tj, 100, 5}, 1);
    ValueReader r(good.data(), good.size());
    EXPECT_TRUE(t->Failures.LoadFailures(r));
    EXPECT_EQ(t->Failures.Count(), 1);
}

TEST_F(FailuresTest, ANewSimulationForgetsFailuresAndTheirSettings) {
    Settings(2, 1.0f, 0.0f, 0.0f);
    TrainPasses(*j.TJ);
    ASSERT_EQ(t->Failures.Count(), 1);
    t->ResetSimulation();
    EXPECT_EQ(t->Failures.Count(), 0);
    EXPECT_EQ(t->Options().MaxFailures, 0);
    EXPECT_EQ(t->Options().TrackFailureChance, 0.0f);
    EXPECT_EQ(j.TJ->OccupyCount, 0) << "the circuit is reset by its own list";
}

// The invariant checker reports equipment a failure should hold that it does not.
TEST_F(FailuresTest, TheCheckerReportsFailedEquipmentThatWorks) {
    Settings(1, 0.0f, 0.0f, 1.0f);
    ASSERT_TRUE(Set(*j.SBd, *j.SD));  // P2 called reverse fails
    Settings(2, 0.0f, 1.0f, 0.0f);
    ASSERT_TRUE(Set(*j.S0, *j.SA));  // S0 clears, and its lamp fails
    t.Ticks(6);
    Settings(3, 1.0f, 0.0f, 0.0f);
    TrainPasses(*j.TX);
    ASSERT_EQ(t->Failures.Count(), 3);
    EXPECT_TRUE(checker.Check().empty());
    auto reports = [&](const std::string& fragment) {
        const std::vector<std::string> found = checker.Check();
        return std::any_of(found.begin(), found.end(), [&](const std::string& s) {
            return s.find(fragment) != std::string::npos;
        });
    };
    j.TX->Vacate();
    EXPECT_TRUE(reports("failed track circuit TX shows clear"));
    j.TX->Occupy();
    j.P2->SetFailedReverse(false);
    EXPECT_TRUE(reports("failed points P2 keep their detection"));
    j.P2->SetFailedReverse(true);
    TSIG* failed = nullptr;
    for (const TFailure& f : t->Failures.Failures())
        if (f.Kind == FailSignal) failed = static_cast<TSIG*>(f.Equipment);
    ASSERT_NE(failed, nullptr);
    failed->LampProved = true;
    EXPECT_TRUE(reports("failed signal " + failed->ID + " shows its lamps proved"));
    failed->LampProved = false;
    EXPECT_TRUE(checker.Check().empty());
}

}  // namespace
}  // namespace kestra
