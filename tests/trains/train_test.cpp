#include "trains/train.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "display/palette.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/straight_line.h"
#include "fakes/train_invariants.h"
#include "places/location.h"
#include "timetable/timetable.h"
#include "trains/berth.h"
#include "trains/train_entry.h"

namespace kestra {
namespace {

using test::RailwayBuilder;
using test::TestSim;

// The straight line of the train tests (fakes/straight_line.h), entered at U0.
// Line speed 30 m/s passenger, 20 m/s freight.
class TrainLine : public ::testing::Test, public test::StraightLine {
  public:
    TrainLine() : build(*t), checker(*t), trains(*t) {
        BuildStraightLine(build);
        entry = &t->EntryPoints.Create(*t, "E1");
        entry->ULCs.Add("", U[0]);
        entry->Name = "Test Junction";
        t.Ticks(2);  // every signal arms itself
    }

    void Seconds(int n) {
        for (int i = 0; i < 2 * n; ++i) Tick();
    }
    // One major cycle, with every invariant checked after it.
    void Tick() {
        t.Ticks(1);
        for (const std::string& s : checker.Check()) ADD_FAILURE() << s;
        for (const std::string& s : trains.Check()) ADD_FAILURE() << s;
    }
    void SetRoute(TSIG& from, TSIG& to) {
        const RouteRequestResult r = RouteRequest(*t, from, to, 0);
        ASSERT_TRUE(r.Set) << t->LastFailReason;
    }
    void SetAllRoutes() {
        SetRoute(*S1, *S2);
        SetRoute(*S2, *S3);
        SetRoute(*S3, *S4);
        Seconds(3);
        ASSERT_TRUE(S1->ShowsProceed());
        ASSERT_TRUE(S3->ShowsProceed());
    }
    // A train without timetable standing at the start of the entry subroute.
    TTRN& StandingTrain(const std::string& id = "1A01") {
        TTRN& train = t->Trains.Create(id);
        train.Place(nullptr, *U[0], entry);
        train.Speed = 0;
        return train;
    }
    // Seconds until the train is no longer moving, has left the area (and been freed),
    // or the limit is reached.
    int RunWhileMoving(TTRN& train, int limit, std::vector<double>* speeds = nullptr) {
        const std::string id = train.ID;
        for (int s = 0; s < limit; ++s) {
            if (train.State != TsMoving) return s;
            Seconds(1);
            if (t->Trains.FindTrain(id) != &train) return s + 1;
            if (speeds) speeds->push_back(train.Speed);
        }
        return limit;
    }
    // A train put on U[1] at the speed, before metres short of U[2] (line speed 11 m/s),
    // run until its head is on U[2] and then taken off. Not run when braking at once, at
    // the rate the track gives (Decel / brakeScale), would not bring it under 11 m/s in
    // time.
    struct Arrival {
        bool Ran = false;
        double Speed = 0;
        double Decel = 0;
    };
    Arrival RunTowardsSlowerTrack(const std::string& id, double speed, double before,
                                  double brakeScale) {
        Arrival a;
        TTRN& train = StandingTrain(id);
        double v = speed;
        for (double d = before; d > 0 && v > 0; v -= train.Decel / brakeScale) d -= v;
        if (v <= 11) {
            train.HeadULC = U[1];
            train.Occupied = {U[1], U[0]};
            C[1]->Occupy();
            train.Speed = speed;
            train.HeadPos = U[1]->Length - before;
            train.ComputeTail();
            for (int s = 0; s < 60 && train.HeadULC != U[2] && train.State == TsMoving; ++s)
                Seconds(1);
            EXPECT_EQ(train.HeadULC, U[2]) << speed << " m/s, " << before << " m short";
            a = {true, train.Speed, train.Decel};
        }
        train.SetState(TsLeaving);
        Seconds(1);
        return a;
    }
    bool AllClear() const {
        return std::all_of(std::begin(C), std::end(C), [](TTCS* c) { return c->OccupyCount == 0; });
    }

    TestSim t;
    RailwayBuilder build;
    test::InterlockingInvariants checker;
    test::TrainInvariants trains;
    TENT* entry;
};

// A train never stops dead: no second takes off more than its braking rate, except
// the last, which may also shed what is left below one more second's braking.
void ExpectNeverStoppedDead(const std::vector<double>& speeds, double decel) {
    for (std::size_t s = 1; s < speeds.size(); ++s) {
        const bool last = speeds[s] == 0;
        const double allowed = last ? 2 * decel : decel;
        EXPECT_LE(speeds[s - 1] - speeds[s], allowed + 1e-6) << "second " << s;
    }
}

// --- characteristics

struct FactorCase {
    const char* name;
    double accel;
    double ratio;
    double factor;
};

TEST(TrainAcceleration, FactorByProfileAndSpeedRatio) {
    const FactorCase cases[] = {
        {"VeryLowFromRest", 0.35, 0.0, 0.5},
        {"VeryLowBand2", 0.35, 0.05, 1.24},
        {"LowFromRest", 0.4, 0.01, 1.25},
        {"MediumMid", 0.45, 0.55, 0.245},
        {"HighTop", 0.62, 0.95, 0.08},
        {"VeryHighFromRest", 0.8, 0.0, 1.6},
        {"LossOfPowerIsLowerColumn", 0.41, 0.25, 0.6},
    };
    for (const FactorCase& c : cases) {
        EXPECT_DOUBLE_EQ(AccelerationFactor(c.accel, c.ratio), c.factor) << c.name;
    }
}

TEST_F(TrainLine, FreightTrainFromRestFirstGainsHalfAMetrePerSecond) {
    SetAllRoutes();
    TTRN& train = StandingTrain("6M01");
    train.MaxSpeed = 75 / 2.25;
    train.Accel = 0.4;
    train.IsFreight = true;
    Seconds(1);
    EXPECT_NEAR(train.Speed, 0.5, 1e-9);
}

TEST_F(TrainLine, UntimetabledTrainStartsOutsideWithItsTailAndDefaults) {
    TTRN& train = t->Trains.Create("**00");
    train.Place(nullptr, *U[0], entry);
    EXPECT_EQ(train.TailPos, -80);
    EXPECT_EQ(train.Length, 80);
    EXPECT_NEAR(train.MaxSpeed, 55.555557, 1e-5);
    EXPECT_EQ(train.PowerTypes, PowerDiesel);
    EXPECT_DOUBLE_EQ(train.Speed, 30.0);  // the entry subroute's line speed
    EXPECT_EQ(C[0]->OccupyCount, 1);
    EXPECT_EQ(train.HeadULC, U[0]);
    EXPECT_EQ(train.TailULC, U[0]);
}

TEST_F(TrainLine, SetTimetableGivesFreightLineSpeedsAndTraction) {
    TTRN& train = StandingTrain();
    TTimetable timetable(*t, "6M02");
    timetable.MaxSpeed = 60;
    timetable.AccelBrake = AccelLow;
    timetable.IsFreight = true;
    timetable.PowerTypes = PowerOverhead;
    timetable.Length = 300;
    train.SetTimetable(&timetable);
    EXPECT_TRUE(train.IsFreight);
    EXPECT_EQ(train.PowerTypes, PowerOverhead);
    EXPECT_EQ(train.Length, 300);
    EXPECT_NEAR(train.Accel, 0.4, 1e-6);
    EXPECT_NEAR(train.Decel, 0.464, 1e-6);

    train.SetTimetable(nullptr);
    EXPECT_FALSE(train.IsFreight);
    EXPECT_EQ(train.PowerTypes, PowerDiesel);
    EXPECT_EQ(train.Length, 20);
}

// --- running

TEST_F(TrainLine, AcceleratesToLineSpeedAndHoldsIt) {
    SetAllRoutes();
    TTRN& train = StandingTrain();
    // The train runs out of the area within the run and is freed there.
    const double accel = train.Accel;
    std::vector<double> speeds;
    RunWhileMoving(train, 200, &speeds);
    ASSERT_GT(speeds.size(), 60u);
    const double line = 30.0;
    bool reached = false;
    double previous = 0;
    for (std::size_t s = 0; s < speeds.size(); ++s) {
        EXPECT_LE(speeds[s], line + 1e-9) << "second " << s;
        if (!reached) {
            EXPECT_GE(speeds[s], previous) << "second " << s;
            reached = speeds[s] > line - accel;
        } else {
            EXPECT_GT(speeds[s], line - accel) << "held at second " << s;
        }
        previous = speeds[s];
    }
    EXPECT_TRUE(reached);
}

TEST_F(TrainLine, BrakesToAStandAtARedSignalWithinTheStoppingWindow) {
    SetRoute(*S1, *S2);
    Seconds(3);
    TTRN& train = t->Trains.Create("2B01");
    train.Place(nullptr, *U[0], entry);  // running at line speed
    std::vector<double> speeds{train.Speed};
    RunWhileMoving(train, 300, &speeds);
    ASSERT_EQ(train.State, TsAtRed);
    EXPECT_EQ(train.Speed, 0);
    EXPECT_EQ(train.HeadULC, U[2]);
    EXPECT_EQ(train.SignalAhead, S2);
    const double short_of_stop = U[2]->Length - U[2]->SignalOffset - train.HeadPos;
    EXPECT_GE(short_of_stop, 0);
    EXPECT_LT(short_of_stop, 5);
    ExpectNeverStoppedDead(speeds, train.Decel);
    EXPECT_EQ(C[3]->OccupyCount, 0);
}

TEST_F(TrainLine, RestartsWhenTheRouteIsSet) {
    SetRoute(*S1, *S2);
    Seconds(3);
    TTRN& train = t->Trains.Create("2B02");
    train.Place(nullptr, *U[0], entry);
    RunWhileMoving(train, 300);
    ASSERT_EQ(train.State, TsAtRed);
    const double standing = train.HeadPos;
    for (int s = 0; s < 20; ++s) {
        Seconds(1);
        EXPECT_EQ(train.State, TsAtRed) << "a red signal holds the train, second " << s;
    }
    EXPECT_EQ(train.HeadPos, standing);
    SetRoute(*S2, *S3);
    SetRoute(*S3, *S4);
    int waited = 0;
    while (train.State != TsMoving && waited < 30) {
        Seconds(1);
        ++waited;
    }
    EXPECT_EQ(train.State, TsMoving);
    EXPECT_GE(waited, 3) << "the driver takes a few seconds to start";
    Seconds(5);
    EXPECT_GT(train.Speed, 0);
}

TEST_F(TrainLine, ObeysASpeedRestrictionOnTheWayAhead) {
    SetAllRoutes();
    auto tsr = std::make_unique<TTSR>();
    tsr->PassengerSpeed = 10;
    tsr->FreightSpeed = 10;
    tsr->FromPosition = 100;
    tsr->ToPosition = 300;
    U[4]->TSRs.Place(std::move(tsr), U[4]);
    TTRN& train = t->Trains.Create("1A02");
    train.Place(nullptr, *U[0], entry);
    bool inside = false;
    for (int s = 0; s < 200 && train.State == TsMoving; ++s) {
        Seconds(1);
        if (train.HeadULC == U[4] && train.HeadPos >= 100 && train.HeadPos <= 300) {
            inside = true;
            EXPECT_LE(train.Speed, 10 + 1e-9) << "at " << train.HeadPos;
        }
    }
    EXPECT_TRUE(inside);
}

TEST_F(TrainLine, AClimbingTrainGainsSpeedMoreSlowly) {
    SetAllRoutes();
    TTRN& level = StandingTrain("1A03");
    Seconds(1);
    const double onTheLevel = level.Speed;
    level.SetState(TsLeaving);
    Seconds(1);
    U[0]->Scale = 0.5f;
    TTRN& climbing = StandingTrain("1A04");
    Seconds(1);
    EXPECT_NEAR(climbing.Speed, onTheLevel * 0.5, 1e-9);
}

TEST_F(TrainLine, AboveTheEffectiveLineSpeedItAlwaysSlows) {
    // The head on a falling gradient, the tail on a rising one: the scales average out
    // at 1, so a correction of 1 minus their average would be nothing at all.
    SetAllRoutes();
    U[1]->Scale = 1.5f;
    U[0]->Scale = 0.5f;
    TTRN& train = StandingTrain();
    train.HeadULC = U[1];
    train.HeadPos = 10;
    train.Occupied = {U[1], U[0]};
    C[1]->Occupy();
    train.ComputeTail();
    ASSERT_EQ(train.TailULC, U[0]);
    train.Speed = 15.2;  // above the tail's effective 15 m/s
    Seconds(1);
    EXPECT_LT(train.Speed, 15.2);
    EXPECT_GE(train.Speed, 15 - 1e-9) << "never below the effective line speed";
}

// A train a little above a lower line speed just ahead, close enough that a second's
// braking would take it under that speed before it gets there: the look-ahead sees
// nothing to brake for, and it must not gain speed and run onto the slower track above
// its line speed.
TEST_F(TrainLine, GainsNoSpeedOntoALowerLineSpeedItReachesThisSecond) {
    SetAllRoutes();
    U[2]->PassengerSpeed = 11;
    TTRN& train = StandingTrain();
    train.HeadULC = U[1];
    train.Occupied = {U[1], U[0]};
    C[1]->Occupy();
    train.Speed = 11.3;
    // Short of U[2] by a little more than a second's running at its present speed.
    train.HeadPos = U[1]->Length - train.Speed - 0.2;
    train.ComputeTail();
    ASSERT_GT(train.Speed + train.Accel, 11 + train.Decel) << "gaining speed would show";
    // (Each second the train invariants check the line speed under the head.)
    for (int s = 0; s < 5 && train.HeadULC != U[2]; ++s) {
        Seconds(1);
        EXPECT_LE(train.Speed, 11.3 + 1e-9) << "second " << s;
    }
    EXPECT_EQ(train.HeadULC, U[2]);
}

// Coming down to a lower line speed a few seconds ahead, close to its braking curve:
// braking from the present speed would be in time, braking from a second's gain would
// not, so the train gains nothing and reaches the slower track within a second's braking
// of its line speed. Swept over speeds and distances, as only some meet the curve
// just so.
TEST_F(TrainLine, NearItsBrakingCurveItGainsNoSpeedTowardsALowerLineSpeed) {
    SetAllRoutes();
    U[2]->PassengerSpeed = 11;
    int runs = 0;
    for (double speed = 13.0; speed < 19.0; speed += 0.37) {
        for (double before = 60.0; before < 260.0; before += 9.0) {
            const Arrival a =
                RunTowardsSlowerTrack("1B" + std::to_string(runs % 100), speed, before, 1.0);
            if (!a.Ran) continue;
            EXPECT_LE(a.Speed, 11 + a.Decel + 1e-9) << speed << " m/s, " << before << " m short";
            ++runs;
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(runs, 50);
}

// Downhill the brakes do less: the look-ahead for a lower line speed reckons with the
// braking the train gets there, or it begins too late and runs onto the lower speed
// too fast (the invariants, checked every cycle, say so).
TEST_F(TrainLine, DownhillItBeginsBrakingForALowerLineSpeedInTime) {
    SetAllRoutes();
    U[0]->Scale = 1.3f;
    U[1]->Scale = 1.3f;
    U[2]->PassengerSpeed = 11;
    int runs = 0;
    for (double speed = 13.0; speed < 20.0; speed += 0.41) {
        for (double before = 60.0; before < 390.0; before += 11.0) {
            if (!RunTowardsSlowerTrack("1C" + std::to_string(runs % 100), speed, before, 1.3).Ran)
                continue;
            ++runs;
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(runs, 50);
}

TEST_F(TrainLine, ReversesOntoTheOppositeSubroutes) {
    SetAllRoutes();
    TTRN& train = StandingTrain();
    RunWhileMoving(train, 20);
    train.Speed = 0;
    train.SetState(TsAtRed);
    ASSERT_GE(train.Occupied.size(), 1u);
    const std::vector<TULC*> before = train.Occupied;
    const double headPos = train.HeadPos;
    const int occupied[6] = {C[0]->OccupyCount, C[1]->OccupyCount, C[2]->OccupyCount,
                             C[3]->OccupyCount, C[4]->OccupyCount, C[5]->OccupyCount};
    ASSERT_TRUE(train.CanReverse());
    train.Reverse();
    EXPECT_EQ(train.HeadULC, before.back()->Opposite);
    EXPECT_EQ(train.Direction(), 1);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(C[i]->OccupyCount, occupied[i]) << i;
    train.Reverse();
    EXPECT_EQ(train.HeadULC, before.front());
    EXPECT_NEAR(train.HeadPos, headPos, 1e-6);
}

// Booked to pass a timing point as its last call, a train runs on through it and out of
// the area; it does not end its working there at speed.
TEST_F(TrainLine, PassingItsLastTimingPointItRunsOnAndLeaves) {
    TLOC& point = t->Locations.Create("TP");
    TULCLOC stop;
    stop.Location = &point;
    stop.Position = 100;
    U[3]->StopPoints.Add("", &stop);
    TTimetable timetable(*t, "2D01");
    timetable.MaxSpeed = 60;
    TTimetableTrip pass;
    pass.Location = &point;
    pass.IsPass = true;
    pass.DepTime = t->SimTime + 60;
    timetable.Trips.Items = {pass};
    SetAllRoutes();
    TTRN& train = StandingTrain("2D01");
    train.SetTimetable(&timetable);
    ASSERT_NE(train.CurTrip, nullptr);
    ASSERT_EQ(train.CurTrip->Location, &point);
    bool terminated = false;
    for (int s = 0; s < 400 && t->Trains.Count() > 0; ++s) {
        Seconds(1);
        if (t->Trains.Count() > 0 && train.State == TsTerminated) terminated = true;
        if (terminated) break;
    }
    EXPECT_FALSE(terminated) << "ended its working at the timing point";
    EXPECT_EQ(t->Trains.Count(), 0) << "never left the area";
    EXPECT_TRUE(AllClear());
    U[3]->StopPoints.Clear();
}

TEST_F(TrainLine, FreesEveryCircuitAsItLeavesTheArea) {
    SetAllRoutes();
    TTRN& train = StandingTrain();
    bool spansTwo = false;
    for (int s = 0; s < 600 && t->Trains.TrainsInArea() > 0; ++s) {
        if (train.Occupied.size() > 1) spansTwo = true;
        Seconds(1);
    }
    EXPECT_TRUE(spansTwo);
    EXPECT_EQ(t->Trains.TrainsInArea(), 0);
    EXPECT_TRUE(AllClear());
}

TEST_F(TrainLine, CircuitsClearOnlyWhenTheWholeTrainIsPast) {
    SetAllRoutes();
    TTRN& train = StandingTrain();
    train.Length = 300;
    for (int s = 0; s < 100; ++s) {
        Seconds(1);
        if (train.HeadULC == U[1] && train.HeadPos < train.Length) {
            EXPECT_EQ(C[0]->OccupyCount, 1) << "head " << train.HeadPos << " on T1";
        }
        if (train.HeadULC == U[2]) break;
    }
    EXPECT_EQ(C[0]->OccupyCount, 0);
}

// --- faults mended

TEST_F(TrainLine, ASignalReplacedTooLateIsPassedAndTheTrainBrakesToAStandBeyond) {
    SetAllRoutes();
    TTRN& train = t->Trains.Create("1A05");
    train.Place(nullptr, *U[0], entry);
    while (!(train.HeadULC == U[1] && train.HeadPos > 300)) Seconds(1);
    S2->RequestCancel();  // far too late to stop at it
    t.Ticks(1);
    ASSERT_FALSE(S2->ShowsProceed());
    std::vector<double> speeds{train.Speed};
    bool passedAtDanger = false;
    for (int s = 0; s < 120 && train.State == TsMoving; ++s) {
        t.Ticks(2);
        speeds.push_back(train.Speed);
        const auto found = trains.Check();
        if (!found.empty()) passedAtDanger = true;
        checker.Check();
    }
    EXPECT_TRUE(passedAtDanger) << "the invariant checker reports the signal passed at danger";
    ExpectNeverStoppedDead(speeds, train.Decel);
    EXPECT_EQ(train.State, TsAtRed);
    EXPECT_EQ(train.Speed, 0);
    EXPECT_EQ(train.SignalAhead, S2);
    EXPECT_TRUE(train.HeadULC == U[3] || train.HeadULC == U[4]);
}

// The lamp of S3 fails while a train runs towards S2 at line speed: S2, whose route
// proves S3's lamp, goes back to danger. Close to S2 the train cannot stop: it runs
// past, brakes to a stand without gaining speed and its driver telephones; the checker
// tells this from an interlocking fault. Far from S2 it stops at it.
TEST_F(TrainLine, ASignalAFailureThrowsBackIsOverrunOnlyWhenTooLateToStop) {
    for (const bool tooLate : {true, false}) {
        SCOPED_TRACE(tooLate ? "too late to stop" : "in time to stop");
        struct Fresh : TrainLine {
            void TestBody() override {}
        };
        Fresh f;
        f.SetAllRoutes();
        TLOC& place = f.t->Locations.Create();
        place.Name = "Test Junction";
        f.S3->Location = &place;
        f.t->Failures.SetFailureSettings(1, 0, 1.0f, 0);
        TTRN& train = f.t->Trains.Create("1A05");
        train.Place(nullptr, *f.U[0], f.entry);
        // Too late: some 500 m short of S2 at line speed; in time: just entered.
        while (tooLate && !(train.HeadULC == f.U[1] && train.HeadPos > 300) &&
               train.State == TsMoving)
            f.Seconds(1);
        if (tooLate) {
            ASSERT_GT(train.Speed, 20);
        }
        f.t->Failures.OfferFailure(*f.S3);
        ASSERT_FALSE(f.S3->LampProved);
        // Every invariant is checked after each cycle and reports nothing.
        f.Tick();
        ASSERT_FALSE(f.S2->ShowsProceed());
        std::vector<double> speeds{train.Speed};
        for (int s = 0; s < 120 && train.State == TsMoving; ++s) {
            f.Seconds(1);
            speeds.push_back(train.Speed);
        }
        ExpectNeverStoppedDead(speeds, train.Decel);
        EXPECT_EQ(train.State, TsAtRed);
        if (!tooLate) {
            EXPECT_EQ(train.SignalAhead, f.S2);
            EXPECT_EQ(train.HeadULC, f.U[2]);
            continue;
        }
        // Past S2, short of S3 (whose dark lamp the driver now watches).
        EXPECT_TRUE(train.HeadULC == f.U[3] || train.HeadULC == f.U[4]);
        EXPECT_TRUE(train.SignalAhead == f.S2 || train.SignalAhead == f.S3);
        f.Seconds(1);
        ASSERT_NE(train.PendingCall, nullptr);
        EXPECT_EQ(train.PendingCall->Message,
                  "Driver of 1A05 informing you that the previous signal was passed at danger");
    }
}

// A train excused for running past such a signal must brake to a stand: one whose
// driver stops counting down the overrun is reported.
TEST_F(TrainLine, AnExcusedOverrunMustEndInAStand) {
    SetAllRoutes();
    TLOC& place = t->Locations.Create();
    place.Name = "Test Junction";
    S3->Location = &place;
    t->Failures.SetFailureSettings(1, 0, 1.0f, 0);
    TTRN& train = t->Trains.Create("1A05");
    train.Place(nullptr, *U[0], entry);
    while (!(train.HeadULC == U[1] && train.HeadPos > 300)) Seconds(1);
    t->Failures.OfferFailure(*S3);
    std::vector<std::string> reports;
    bool tampered = false;
    for (int s = 0; s < 240 && train.State == TsMoving; ++s) {
        t.Ticks(1);
        if (!tampered && train.HeadULC == U[3] && train.PassMode == PassCountingDown) {
            train.PassMode = PassNone;
            tampered = true;
        }
        for (const std::string& m : trains.Check()) reports.push_back(m);
    }
    ASSERT_TRUE(tampered);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), "train 1A05 runs on after overrunning a signal a failure threw back");
}

// What the excuse does not cover is still a signal passed at danger: a failure that
// has nothing to do with the signal, and a train that could have stopped.
TEST_F(TrainLine, AFailureExcusesNoOtherPassingAtDanger) {
    struct Fresh : TrainLine {
        void TestBody() override {}
    };
    struct Case {
        const char* name;
        bool tooLate;
        bool unrelated;
    };
    for (const Case c : {Case{"failure elsewhere", true, true},
                         Case{"train could have stopped", false, false}}) {
        SCOPED_TRACE(c.name);
        Fresh f;
        f.SetAllRoutes();
        TLOC& place = f.t->Locations.Create();
        place.Name = "Test Junction";
        f.S3->Location = &place;
        f.C[0]->Location = &place;
        TTRN& train = f.t->Trains.Create("1A05");
        train.Place(nullptr, *f.U[0], f.entry);
        while (c.tooLate && !(train.HeadULC == f.U[1] && train.HeadPos > 300) &&
               train.State == TsMoving)
            f.Seconds(1);
        f.trains.Check();
        if (c.unrelated) {
            // A circuit behind the train fails, and the signaller puts S2 back.
            f.t->Failures.SetFailureSettings(1, 1.0f, 0, 0);
            f.t->Failures.OfferFailure(*f.C[0]);
            ASSERT_EQ(f.t->Failures.Count(), 1);
            f.S2->RequestCancel();
        } else {
            f.t->Failures.SetFailureSettings(1, 0, 1.0f, 0);
            f.t->Failures.OfferFailure(*f.S3);
        }
        bool reported = false;
        for (int s = 0; s < 240 && !reported; ++s) {
            f.t.Ticks(1);
            f.checker.Check();
            // A driver who ignores the signal.
            if (!c.tooLate && train.State != TsMoving) {
                train.SetState(TsMoving);
                train.Speed = 5;
            }
            for (const std::string& m : f.trains.Check())
                reported = reported || m == "train 1A05 passed signal S2 at danger without authority";
        }
        EXPECT_TRUE(reported);
    }
}

TEST_F(TrainLine, ToldToStopAtTheNextSignalItRunsOnToOne) {
    // U1 has no signal at its end: the train must not stop there but at S2, although
    // S2 shows a proceed aspect.
    SetAllRoutes();
    TTRN& train = t->Trains.Create("1A09");
    train.Place(nullptr, *U[1], nullptr);
    train.Speed = 0;
    train.PassMode = PassStopAtNext;
    trains.Check();
    RunWhileMoving(train, 300);
    EXPECT_EQ(train.State, TsAtRed);
    EXPECT_EQ(train.HeadULC, U[2]);
    EXPECT_EQ(train.SignalAhead, S2);
    EXPECT_TRUE(S2->ShowsProceed());
}

TEST_F(TrainLine, ARemovedTrainLeavesNoLinkBehind) {
    SetAllRoutes();
    TTRN& front = StandingTrain("1A06");
    front.HeadULC = U[1];
    front.Occupied = {U[1]};
    C[0]->Vacate();
    C[1]->Occupy();
    front.HeadPos = 30;
    front.Length = 20;
    front.ComputeTail();
    front.SetState(TsTerminated);
    TTRN& behind = StandingTrain("1A07");
    behind.Length = 20;
    behind.HeadPos = 395;
    behind.ComputeTail();
    behind.FindTrainInFront();
    ASSERT_EQ(behind.TrainInFront, &front);
    ASSERT_EQ(front.TrainBehind, &behind);
    front.SetState(TsLeaving);
    Seconds(1);
    EXPECT_EQ(t->Trains.TrainsInArea(), 1);
    EXPECT_EQ(behind.TrainInFront, nullptr);
}

TEST_F(TrainLine, ATrainInErrorSaysSoAndFreesItsCircuits) {
    SetAllRoutes();
    t->Hooks.SpeedLimitHook = [](TTRN&, std::int32_t&) { throw std::runtime_error("fault"); };
    TTRN& train = StandingTrain("1A08");
    Seconds(kMaxTrainErrors);
    EXPECT_EQ(train.State, TsMoving);
    EXPECT_EQ(C[0]->OccupyCount, 1);
    Seconds(1);
    EXPECT_EQ(train.State, TsError);
    EXPECT_TRUE(AllClear());
    EXPECT_EQ(test::LastMessage(t), "Train 1A08 has failed and stopped: Error (1)");
    t->Hooks.SpeedLimitHook = nullptr;
    Seconds(5);
    EXPECT_TRUE(AllClear());
}

// --- the invariant checker sees each fault planted alone

TEST_F(TrainLine, TheTrainInvariantsReportEachPlantedFault) {
    struct Plant {
        const char* name;
        void (*plant)(TrainLine&, TTRN&);
        const char* expected;
    };
    const Plant plants[] = {
        {"CircuitWithoutTrain", [](TrainLine& f, TTRN&) { f.C[3]->Occupy(); },
         "circuit T3 occupied 1 times with 0 train subroutes on it"},
        {"AboveLineSpeed", [](TrainLine&, TTRN& train) { train.Speed = 31; },
         "train 1A20 above the line speed on T0"},
        {"AboveTopSpeed",
         [](TrainLine&, TTRN& train) {
             train.MaxSpeed = 10;
             train.Speed = 11;
         },
         "train 1A20 above its top speed"},
        {"TooManyTrains", [](TrainLine& f, TTRN&) { f.t->SimData.MaxTrains = 0; },
         "1 trains in the area, above the limit"},
    };
    // A fresh line for each plant.
    struct Fresh : TrainLine {
        void TestBody() override {}
    };
    for (const Plant& p : plants) {
        Fresh f;
        TTRN& train = f.t->Trains.Create("1A20");
        train.Place(nullptr, *f.U[0], f.entry);
        ASSERT_TRUE(f.trains.Check().empty()) << p.name;
        p.plant(f, train);
        const auto found = f.trains.Check();
        ASSERT_EQ(found.size(), 1u) << p.name;
        EXPECT_EQ(found[0], p.expected) << p.name;
    }
}

// --- entering

TEST_F(TrainLine, AnUntimetabledTrainEntersOnItsEntryRoute) {
    ASSERT_TRUE(entry->CanEnter());
    TTRN* train = t->EntryService.EnterTrain(*entry, nullptr);
    ASSERT_NE(train, nullptr);
    EXPECT_EQ(train->ID, "**00");
    EXPECT_EQ(train->HeadULC, U[0]);
    EXPECT_FALSE(U[0]->Free) << "the entry route is requested";
    EXPECT_EQ(C[0]->OccupyCount, 1);
    EXPECT_GE(entry->Countdown, 0);
    EXPECT_LT(entry->Countdown, kEntrySpacingSeconds);
    TTRN* second = t->EntryService.EnterTrain(*entry, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->ID, "**01");
}

TEST_F(TrainLine, AnEnteringTrainsDescriptionGoesIntoTheEntryBerth) {
    TBER& berth = t->Berths.Create(*t, "BE1");
    entry->Berth = &berth;
    TTRN* train = t->EntryService.EnterTrain(*entry, nullptr);
    ASSERT_NE(train, nullptr);
    EXPECT_EQ(berth.Description, "**00");
    EXPECT_EQ(berth.Colour, ClPink) << "no ARS for a train without timetable";
    EXPECT_EQ(t->Trains.EnteredCount, 1);
}

TEST_F(TrainLine, ATimetabledTrainWithAnInvalidTimetableRunsWithoutOne) {
    TTimetable timetable(*t, "1Z99");
    timetable.EntryPoint = entry;
    t->EntryService.Enter(*entry, timetable);
    TTRN* train = t->Trains.FindTrain("1Z99");
    ASSERT_NE(train, nullptr);
    EXPECT_EQ(train->Timetable, nullptr);
    EXPECT_EQ(test::LastMessage(t),
              "Train 1Z99 has entered the area (Test Junction) with an invalid timetable");
}

// --- saved record

TEST_F(TrainLine, TheTrainRecordReadsBackAsWritten) {
    SetAllRoutes();
    TTRN& a = StandingTrain("1A10");
    Seconds(30);
    TTRN& b = StandingTrain("1A11");
    Seconds(2);
    b.FindTrainInFront();
    a.PassFlag = true;
    a.JoinedHeadcodes = {"2C01"};
    ValueWriter w;
    ASSERT_TRUE(t->Trains.Save(w));
    const double headA = a.HeadPos, speedA = a.Speed;
    const auto occupiedA = a.Occupied;
    // The load replaces every train: a and b are freed by it.
    const bool bHadTrainInFront = b.TrainInFront != nullptr;

    ValueReader r(w.Bytes());
    ASSERT_TRUE(t->Trains.Load(r));
    EXPECT_TRUE(r.AtEnd());
    ASSERT_EQ(t->Trains.TrainsInArea(), 2);
    TTRN* la = t->Trains.FindTrain("1A10");
    TTRN* lb = t->Trains.FindTrain("1A11");
    ASSERT_NE(la, nullptr);
    ASSERT_NE(lb, nullptr);
    EXPECT_FLOAT_EQ(static_cast<float>(la->HeadPos), static_cast<float>(headA));
    EXPECT_FLOAT_EQ(static_cast<float>(la->Speed), static_cast<float>(speedA));
    EXPECT_EQ(la->Occupied, occupiedA);
    EXPECT_TRUE(la->PassFlag);
    EXPECT_EQ(la->JoinedHeadcodes, std::vector<std::string>{"2C01"});
    EXPECT_EQ(lb->TrainInFront, bHadTrainInFront ? la : nullptr);
    EXPECT_EQ(la->EntryPoint, entry);
}

TEST_F(TrainLine, ACorruptTrainRecordChangesNothing) {
    SetAllRoutes();
    StandingTrain("1A12");
    Seconds(10);
    ValueWriter w;
    ASSERT_TRUE(t->Trains.Save(w));
    std::vector<std::uint8_t> bytes = w.Bytes();
    const struct {
        const char* name;
        std::vector<std::uint8_t> data;
    } cases[] = {
        {"CutShort", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2)},
        {"HugeCount", {4, 0xff, 0xff, 0xff, 0x7f}},
        {"NegativeCount", {2, 0xff}},
    };
    TTRN* before = t->Trains.FindTrain("1A12");
    for (const auto& c : cases) {
        ValueReader r(c.data);
        EXPECT_FALSE(t->Trains.Load(r)) << c.name;
        EXPECT_EQ(t->Trains.FindTrain("1A12"), before) << c.name;
        EXPECT_EQ(t->Trains.TrainsInArea(), 1) << c.name;
    }
}

// Saves every train and reads them back into the same line.
bool SaveAndLoadTrains(test::TestSim& t) {
    ValueWriter w;
    if (!t->Trains.Save(w)) return false;
    ValueReader r(w.Bytes());
    return t->Trains.Load(r);
}

TEST_F(TrainLine, SpeedsAndPositionsReadBackExactly) {
    SetAllRoutes();
    TTRN& a = StandingTrain("1A20");
    Seconds(7);
    // Values no single-precision float holds.
    a.Speed = 12.345678901234567;
    a.Accel = 0.4000000001;
    a.Decel = 0.5090000001;
    a.MaxSpeed = 44.44444444444444;
    const double head = a.HeadPos + 1e-9, tail = a.TailPos - 1e-9;
    a.HeadPos = head;
    a.TailPos = tail;
    ASSERT_TRUE(SaveAndLoadTrains(t));
    const TTRN* l = t->Trains.FindTrain("1A20");
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->Speed, 12.345678901234567);
    EXPECT_EQ(l->Accel, 0.4000000001);
    EXPECT_EQ(l->Decel, 0.5090000001);
    EXPECT_EQ(l->MaxSpeed, 44.44444444444444);
    EXPECT_EQ(l->HeadPos, head);
    EXPECT_EQ(l->TailPos, tail);
}

TEST_F(TrainLine, TheArrivalReportedFlagIsKept) {
    for (const bool reported : {true, false}) {
        TTRN& a = StandingTrain("1A21");
        a.ArrivalAlreadyReported = reported;
        ASSERT_TRUE(SaveAndLoadTrains(t));
        const TTRN* l = t->Trains.FindTrain("1A21");
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->ArrivalAlreadyReported, reported);
        t->ResetSimulation();
    }
}

TEST_F(TrainLine, ADriversCallRingsAgainAfterALoad) {
    TTRN& a = StandingTrain("1A22");
    a.RaiseCallAgain(1);  // passed a signal at danger
    ASSERT_EQ(t->Calls.Count(), 1);
    const std::string message = t->Calls.At(0).Message;
    const auto incidents = t->Incidents.Lines.size();
    ASSERT_TRUE(SaveAndLoadTrains(t));
    TTRN* l = t->Trains.FindTrain("1A22");
    ASSERT_NE(l, nullptr);
    ASSERT_EQ(t->Calls.Count(), 1) << "the freed train took its call; the loaded one makes it";
    EXPECT_EQ(t->Calls.At(0).Message, message);
    EXPECT_EQ(l->PendingCall, &t->Calls.At(0));
    EXPECT_EQ(t->Incidents.Lines.size(), incidents) << "the log has the call already";
    // Answered, the call does what it did before the save: the driver may go on.
    l->SetState(TsAtRed);
    ASSERT_TRUE(t->Calls.Reply(t->Calls.At(0), 1));
    EXPECT_EQ(l->State, TsMoving);
    EXPECT_EQ(l->PendingCall, nullptr);
}

TEST_F(TrainLine, ARecordThatCannotStandIsRefused) {
    struct Case {
        const char* name;
        std::function<void(TTRN&)> spoil;
    };
    const Case cases[] = {
        {"HeadOnTrackOccupyingNothing", [](TTRN& x) { x.Occupied.clear(); }},
        {"ActivityIndexEqualToTheCount",
         [](TTRN& x) {
             x.Timetable = std::make_unique<TTimetable>(x.sim(), x.ID);
             x.Timetable->Trips.Items.resize(1);
             x.Timetable->Trips.Items[0].Activities.Items.push_back({ActNextTrain, "2B01", 0});
             x.SetTripIndex(0);
             x.ActivityIndex = 1;
         }},
        {"NegativeActivityIndex", [](TTRN& x) { x.ActivityIndex = -1; }},
        {"NotANumberSpeed", [](TTRN& x) { x.Speed = std::nan(""); }},
        {"NegativeSpeed", [](TTRN& x) { x.Speed = -1; }},
    };
    for (const Case& c : cases) {
        TTRN& a = StandingTrain("1A23");
        c.spoil(a);
        ValueWriter w;
        ASSERT_TRUE(t->Trains.Save(w)) << c.name;
        ValueReader r(w.Bytes());
        EXPECT_FALSE(t->Trains.Load(r)) << c.name;
        EXPECT_EQ(t->Trains.FindTrain("1A23"), &a) << c.name << ": nothing replaced";
        a.Occupied = {U[0]};
        t->ResetSimulation();
    }
    // The last activity of a trip is a place a train can be at.
    TTRN& a = StandingTrain("1A24");
    a.Timetable = std::make_unique<TTimetable>(*t, "1A24");
    a.Timetable->Trips.Items.resize(1);
    a.Timetable->Trips.Items[0].Activities.Items = {{ActNextTrain, "2B01", 0},
                                                     {ActNextTrain, "2B02", 0}};
    a.SetTripIndex(0);
    a.ActivityIndex = 1;
    ASSERT_TRUE(SaveAndLoadTrains(t));
    const TTRN* l = t->Trains.FindTrain("1A24");
    ASSERT_NE(l, nullptr);
    ASSERT_NE(l->CurActivity, nullptr);
    EXPECT_EQ(l->CurActivity->Headcode, "2B02");
}

TEST_F(TrainLine, ANewSimulationFreesEveryTrain) {
    SetAllRoutes();
    StandingTrain("1A13");
    StandingTrain("1A14");
    Seconds(3);
    t->ResetSimulation();
    EXPECT_EQ(t->Trains.TrainsInArea(), 0);
    EXPECT_TRUE(AllClear());
}

}  // namespace
}  // namespace kestra

namespace kestra {
namespace {

// A train creeping up to a red signal, a fraction of a metre short of it and slow
// enough to stop within the second, stands at it: it does not run onto the circuit
// beyond.
TEST_F(TrainLine, ASlowTrainJustShortOfARedSignalStandsAtIt) {
    struct Case {
        double shortOf;     // metres short of the signal
        double afterBrake;  // speed left after one second's braking, m/s
    };
    const Case cases[] = {{0.3, 0.4}, {0.05, 0.1}, {0.2, -1}};  // -1: one braking rate
    SetRoute(*S1, *S2);
    Seconds(3);
    for (const Case& c : cases) {
        TTRN& train = t->Trains.Create("2B07");
        train.Place(nullptr, *U[1], nullptr);
        train.HeadULC = U[2];
        train.Occupied = {U[2], U[1]};
        C[2]->Occupy();
        train.HeadPos = U[2]->Length - U[2]->SignalOffset - c.shortOf;
        train.ComputeTail();
        const double left = c.afterBrake < 0 ? train.Decel : c.afterBrake;
        train.Speed = left + train.Decel;
        ASSERT_GT(left, c.shortOf) << "the case must reach the signal within the second";
        Seconds(1);
        EXPECT_EQ(train.State, TsAtRed) << c.shortOf << " m short";
        EXPECT_EQ(train.HeadULC, U[2]) << c.shortOf << " m short";
        EXPECT_EQ(C[3]->OccupyCount, 0) << c.shortOf << " m short";
        EXPECT_EQ(train.Speed, 0);
        train.SetState(TsLeaving);
        Seconds(1);
        ASSERT_TRUE(AllClear());
    }
}

}  // namespace
}  // namespace kestra
