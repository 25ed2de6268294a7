#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/straight_line.h"
#include "fakes/train_invariants.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"
#include "timetable/timetable.h"
#include "trains/train.h"

namespace kestra {
namespace {

using test::RailwayBuilder;
using test::TestSim;

constexpr std::int32_t kTen = 10 * 3600;  // 10:00:00

// A straight up line with a long platform:
//   U0 -S1- U1 U2 -S2- U3 U4 -S3- U5 (leaves the area)
// Every subroute is 400 m with a reverse twin D (direction down, the U line up). Ostby's
// platform 1 is on U3, trains drawing up at 390 m: room for two trains of 100 m. A path
// from Ostby to Farley starting up, and one from Farley to Ostby starting down, give new
// services their first direction.
class ActivitiesLine : public ::testing::Test, public test::StraightLine {
  public:
    ActivitiesLine() : build(*t), checker(*t), trains(*t) {
        BuildStraightLine(build);
        for (int i = 0; i < 6; ++i) {
            U[i]->Direction = DirUp;
            D[i]->Direction = DirDown;
        }

        ostby = &t->Locations.Create("OST");
        ostby->Name = "Ostby";
        ostby->KeyLocation = true;
        ostby->StandardDwell = 35;
        ostby->MinimumDwell = 25;
        platform1.Location = ostby;
        platform1.Position = 390;
        platform1.Platform = "1";
        U[3]->StopPoints.Add("", &platform1);
        farley = &t->Locations.Create("FAR");
        farley->Name = "Farley";
        farley->KeyLocation = true;
        TPTH& up = t->Paths.Create();
        up.FromLocation = ostby;
        up.ToLocation = farley;
        up.StartDirection = up.EndDirection = DirUp;
        TPTH& down = t->Paths.Create();
        down.FromLocation = farley;
        down.ToLocation = ostby;
        down.StartDirection = down.EndDirection = DirDown;
        t->Options().LocationReporting = ReportAlways;
        t->TraceHook = [this](const std::string& s) { traced.push_back(s); };
        t.Ticks(2);  // every signal arms itself
    }
    ~ActivitiesLine() override { U[3]->StopPoints.Clear(); }

    // No trains, no timetables and nothing traced, for the next case of a table.
    void StartAfresh() {
        t->Trains.ForEach([](TTRN& train) { train.VacateAll(); });
        t->Trains.Reset();
        t->Timetable.Reset();
        traced.clear();
    }
    void Seconds(int n) {
        for (int i = 0; i < 2 * n; ++i) Tick();
    }
    void Tick() {
        t.Ticks(1);
        for (const std::string& s : checker.Check()) ADD_FAILURE() << s;
        for (const std::string& s : trains.Check()) ADD_FAILURE() << s << " at " << t->SimTime;
    }

    // A timetable in the working timetable: a stop at `from` (arriving arr, departing
    // dep), then `to` passed ten minutes later (when given), with the activities given
    // on the first trip.
    TTimetable& AddTimetable(const std::string& id, std::int32_t arr, std::int32_t dep,
                             std::vector<TTimetableActivity> activities = {}, TLOC* from = nullptr,
                             TLOC* to = nullptr, std::int32_t length = 100) {
        auto timetable = std::make_unique<TTimetable>(*t, id);
        timetable->MaxSpeed = 100;
        timetable->Length = length;
        timetable->PowerTypes = PowerDiesel;
        TTimetableTrip stop;
        stop.Location = from ? from : ostby;
        stop.ArrTime = arr;
        stop.DepTime = dep;
        stop.Platform = "1";
        stop.DownDirection = false;
        stop.Activities.Items = std::move(activities);
        timetable->Trips.Items = {stop};
        if (to) {
            TTimetableTrip next;
            next.Location = to;
            next.DepTime = dep + 600;
            next.IsPass = true;
            timetable->Trips.Items.push_back(next);
        }
        return t->Timetable.InsertOwned(t->Timetable.Count(), std::move(timetable));
    }

    // A train with that timetable standing on U3 with its head at headPos, stopped in
    // the second before now: the next second is its arrival.
    TTRN& StandingOnU3(const TTimetable& timetable, double headPos, std::uint8_t state) {
        TTRN& train = t->Trains.Create(timetable.ID);
        train.Place(nullptr, *U[2], nullptr);
        train.SetTimetable(&timetable);
        // Head on U3, the rest on U2 as far as the length reaches.
        train.Occupied.insert(train.Occupied.begin(), U[3]);
        C[3]->Occupy();
        train.HeadULC = U[3];
        train.HeadPos = headPos;
        train.Speed = 0;
        train.ComputeTail();
        train.LastLocation = ostby;
        train.SetState(state);
        return train;
    }

    int CountOn(const TTCS& c) const { return c.OccupyCount; }
    // The arrival reports in the message history (these tests post fewer than its 15).
    std::vector<std::string> Arrivals() {
        std::vector<std::string> out;
        for (const auto& m : t->Messages().MessageHistory) {
            if (m.Text.find("arrived at") != std::string::npos) out.push_back(m.Text);
        }
        return out;
    }

    TestSim t;
    RailwayBuilder build;
    test::InterlockingInvariants checker;
    test::TrainInvariants trains;
    TLOC* ostby;
    TLOC* farley;
    TULCLOC platform1;
    std::vector<std::string> traced;
};

TTimetableActivity Activity(std::uint8_t kind, const std::string& headcode) {
    TTimetableActivity a;
    a.ActivityKind = kind;
    a.Headcode = headcode;
    return a;
}

bool TracedWith(const std::vector<std::string>& traced, const std::string& text) {
    return std::any_of(traced.begin(), traced.end(),
                       [&](const std::string& s) { return s.find(text) != std::string::npos; });
}

// --- next service

TEST_F(ActivitiesLine, NextServiceTakesTheNewDescriptionTimetableAndDepartureTime) {
    struct Case {
        const char* name;
        TLOC* nextFrom;      // where the next service starts
        TLOC* nextTo;        // and where it goes
        std::uint8_t faces;  // the direction the train faces afterwards
    };
    const Case cases[] = {
        {"same direction", ostby, farley, DirUp},
        // The next service's first path starts down: the train turns round.
        {"reverses", farley, ostby, DirDown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        t->Trains.ForEach([](TTRN& train) { train.VacateAll(); });
        t->Trains.Reset();
        t->Timetable.Reset();
        t->SimTime = kTen - 1;
        const TTimetable& first =
            AddTimetable("1A01", kTen, kTen + 60, {Activity(ActNextTrain, "2B02")}, ostby);
        // The new service leaves at 10:30, well after the stop's own departure.
        AddTimetable("2B02", 0, kTen + 1800, {}, c.nextFrom, c.nextTo);
        TTRN& train = StandingOnU3(first, 390, TsAtStation);
        Seconds(1);
        EXPECT_EQ(train.ID, "2B02");
        ASSERT_NE(train.Timetable, nullptr);
        EXPECT_EQ(train.Timetable->ID, "2B02");
        ASSERT_NE(train.CurTrip, nullptr);
        EXPECT_EQ(train.CurTrip, &train.Timetable->Trips.Items.front());
        EXPECT_EQ(train.State, TsAtStation);
        EXPECT_GE(train.Timer, kTen + 1800);
        EXPECT_EQ(train.Direction(), c.faces);
        ASSERT_FALSE(train.Occupied.empty());
        EXPECT_EQ(train.Occupied.front(), c.faces == DirUp ? U[3] : D[3]);
    }
}

TEST_F(ActivitiesLine, NextServiceDrawsItsDelayAndAPassengerTrainIsNeverEarly) {
    // Every draw gives a delay, from 30 s early to 5 min late.
    t->Options().DelayProbability = 1.0f;
    struct Case {
        const char* headcode;
        bool mayBeEarly;
    };
    const Case cases[] = {{"2B02", false}, {"6B02", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headcode);
        bool early = false;
        for (std::uint32_t seed = 1; seed <= 60; ++seed) {
            t->Rand.Seed(seed);
            t->Trains.ForEach([](TTRN& train) { train.VacateAll(); });
            t->Trains.Reset();
            t->Timetable.Reset();
            t->SimTime = kTen - 1;
            const TTimetable& first =
                AddTimetable("1A01", kTen, kTen + 60, {Activity(ActNextTrain, c.headcode)}, ostby);
            AddTimetable(c.headcode, 0, kTen + 1800, {}, ostby, farley);
            TTRN& train = StandingOnU3(first, 390, TsAtStation);
            Seconds(1);
            ASSERT_NE(train.Timetable, nullptr);
            const std::int32_t delay = train.Timetable->Delay;
            if (!c.mayBeEarly) {
                EXPECT_GE(delay, 0) << "seed " << seed;
            }
            early = early || delay < 0;
            // Raised to the new first departure, then the delay added.
            EXPECT_EQ(train.Timer, kTen + 1800 + delay) << "seed " << seed;
        }
        EXPECT_EQ(early, c.mayBeEarly);
    }
}

TEST_F(ActivitiesLine, NextServiceNotInTheTimetableLeavesATerminatedTrainWithoutOne) {
    t->SimTime = kTen - 1;
    const TTimetable& first =
        AddTimetable("1A01", kTen, kTen + 60, {Activity(ActNextTrain, "2Z99")}, ostby);
    TTRN& train = StandingOnU3(first, 390, TsAtStation);
    Seconds(1);
    EXPECT_EQ(train.ID, "2Z99");
    EXPECT_EQ(train.State, TsTerminated);
    EXPECT_EQ(train.Timetable, nullptr);
    // Nothing of the train points into the freed copy.
    EXPECT_EQ(train.CurTrip, nullptr);
    EXPECT_EQ(train.CurActivity, nullptr);
    EXPECT_EQ(train.TripIndex, -1);
    // It stands on, and later seconds read nothing freed (the sanitizer build checks).
    Seconds(30);
    EXPECT_EQ(train.State, TsTerminated);
    EXPECT_EQ(t->Trains.FindTrain("2Z99"), &train);
}

// --- divide

TEST_F(ActivitiesLine, DivideMakesANewPortionBehindOrInFront) {
    struct Case {
        const char* name;
        std::uint8_t kind;
        TLOC* newTo;  // where the new portion goes (its first direction)
        double oldHead, newHead;
        std::int32_t oldLength, newLength;
        std::uint8_t newFaces;
    };
    const Case cases[] = {
        // 200 m at 390 on U3: the old keeps the front 120 m; the rear 80 m starts
        // 5 m behind it at 265 m.
        {"new rear", ActDividesNewRear, farley, 390, 265, 120, 80, DirUp},
        // The new rear goes back the way it came: it turns round on the spot.
        {"new rear reversing", ActDividesNewRear, nullptr, 390, 0, 120, 80, DirDown},
        // The new front takes the head; the old stands 85 m behind it.
        {"new front", ActDividesNewFront, farley, 305, 390, 120, 80, DirUp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartAfresh();
        t->SimTime = kTen - 1;
        const TTimetable& main =
            AddTimetable("1A01", kTen, kTen + 60, {Activity(c.kind, "2N01")}, ostby, farley, 200);
        if (c.newTo)
            AddTimetable("2N01", 0, kTen + 300, {}, ostby, c.newTo, 80);
        else
            AddTimetable("2N01", 0, kTen + 300, {}, farley, ostby, 80);
        // The new portion's working comes back from Farley to Ostby: its path starts
        // down, and the other way it starts up.
        TTRN& train = StandingOnU3(main, 390, TsAtStation);
        Seconds(2);  // arrival: the divide activity; then the divide
        TTRN* n = t->Trains.FindTrain("2N01");
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(t->Trains.TrainsInArea(), 2);
        EXPECT_EQ(train.Length, c.oldLength);
        EXPECT_EQ(n->Length, c.newLength);
        EXPECT_EQ(train.HeadULC, U[3]);
        EXPECT_DOUBLE_EQ(train.HeadPos, c.oldHead);
        EXPECT_EQ(n->Direction(), c.newFaces);
        if (c.newFaces == DirUp) {
            EXPECT_EQ(n->HeadULC, U[3]);
            EXPECT_DOUBLE_EQ(n->HeadPos, c.newHead);
        } else {
            // Reversed: its head is where its tail was, on the down line.
            EXPECT_EQ(n->HeadULC, D[3]);
            EXPECT_EQ(n->SignalAhead, nullptr);
        }
        ASSERT_NE(n->Timetable, nullptr);
        EXPECT_EQ(n->Timetable->ID, "2N01");
        EXPECT_EQ(n->TripIndex, 0);
        EXPECT_EQ(n->LastLocation, ostby);
        EXPECT_TRUE(n->State == TsAtStation || n->State == TsReadyToStart) << int(n->State);
        // The activity went: the old train stops again without dividing again.
        EXPECT_TRUE(train.CurTrip && train.CurTrip->Activities.Items.empty());
        EXPECT_TRUE(traced.empty()) << traced.front();
        // Both circuits the two stand on are held once per train (the checker runs
        // each cycle); here, both portions share U3.
        EXPECT_EQ(CountOn(*C[3]), 2);
    }
}

TEST_F(ActivitiesLine, DivideShortensTheOldPortionToNoLessThan20Metres) {
    t->SimTime = kTen - 1;
    const TTimetable& main = AddTimetable(
        "1A01", kTen, kTen + 60, {Activity(ActDividesNewRear, "2N01")}, ostby, farley, 100);
    AddTimetable("2N01", 0, kTen + 300, {}, ostby, farley, 150);
    TTRN& train = StandingOnU3(main, 390, TsAtStation);
    Seconds(2);
    EXPECT_EQ(train.Length, 20);
    const TTRN* n = t->Trains.FindTrain("2N01");
    ASSERT_NE(n, nullptr);
    EXPECT_DOUBLE_EQ(n->HeadPos, 365);
}

TEST_F(ActivitiesLine, DivideWithTheHeadcodeMissingIsTracedAndMakesNoTrain) {
    t->SimTime = kTen - 1;
    const TTimetable& main = AddTimetable(
        "1A01", kTen, kTen + 60, {Activity(ActDividesNewRear, "2N01")}, ostby, farley, 200);
    TTRN& train = StandingOnU3(main, 390, TsAtStation);
    Seconds(3);
    EXPECT_TRUE(TracedWith(traced, "1A01 cannot divide - 2N01 not in timetable"));
    EXPECT_EQ(t->Trains.TrainsInArea(), 1);
    EXPECT_EQ(train.Length, 200);
    EXPECT_EQ(train.State, TsAtStation);
    EXPECT_EQ(train.CurActivity, nullptr);
}

TEST_F(ActivitiesLine, ADivideWithNoRoomBehindLeavesNoTrainWithoutAPlace) {
    t->SimTime = kTen - 1;
    const TTimetable& main = AddTimetable(
        "1A01", kTen, kTen + 60, {Activity(ActDividesNewRear, "2N01")}, ostby, farley, 100);
    AddTimetable("2N01", 0, kTen + 300, {}, ostby, farley, 50);
    // A train whose only subroute is U3, its head 30 m in: the rear portion would start
    // 25 m before U3, where the train holds no track.
    TTRN& train = t->Trains.Create("1A01");
    train.Place(nullptr, *U[3], nullptr);
    train.SetTimetable(&main);
    train.HeadPos = 30;
    train.Speed = 0;
    train.ComputeTail();
    train.LastLocation = ostby;
    train.SetState(TsDividing);
    train.CurActivity = &train.CurTrip->Activities.Items.front();
    Seconds(1);
    EXPECT_TRUE(TracedWith(traced, "1A01 cannot divide - internal error"));
    // The portion that had nowhere to stand is gone, and is never counted.
    EXPECT_EQ(t->Trains.FindTrain("2N01"), nullptr);
    EXPECT_EQ(t->Trains.TrainsInArea(), 1);
    EXPECT_EQ(CountOn(*C[3]), 1);
    EXPECT_EQ(train.State, TsAtStation);
}

// --- the train in front and joining

// A front train of 100 m with its head 120 m into U3 and a train of 100 m that closed up
// 10 m behind it, its head on U3 and the rest on U2, both up.
class JoinLine : public ActivitiesLine {
  public:
    // The two timetables: `frontTrips`/`behindTrips` give each a second trip, and
    // `frontNext`/`behindNext` a next-train activity.
    void MakeTrains(bool frontTrips, bool behindTrips, bool frontNext = false,
                    bool behindNext = false) {
        t->SimTime = kTen - 1;
        std::vector<TTimetableActivity> fa = {Activity(ActJoins, "2B01")};
        if (frontNext) fa.push_back(Activity(ActNextTrain, "5Z98"));
        std::vector<TTimetableActivity> ba = {Activity(ActJoins, "2F01")};
        if (behindNext) ba.push_back(Activity(ActNextTrain, "5Z99"));
        const TTimetable& ft =
            AddTimetable("2F01", kTen - 60, kTen + 600, fa, ostby, frontTrips ? farley : nullptr);
        const TTimetable& bt =
            AddTimetable("2B01", kTen, kTen + 600, ba, ostby, behindTrips ? farley : nullptr);
        front = &StandingOnU3(ft, 120, TsWaitingForJoin);
        behind = &StandingOnU3(bt, 10, TsTrainInFront);
        front->TrainBehind = behind;
        behind->TrainInFront = front;
    }
    TTRN* front = nullptr;
    TTRN* behind = nullptr;
};

TEST_F(JoinLine, WhichTrainGoesOn) {
    struct Case {
        const char* name;
        bool frontTrips, behindTrips, frontNext, behindNext;
        const char* survivor;
        std::uint8_t state;
    };
    const Case cases[] = {
        {"both have trips: the front", true, true, false, false, "2F01", TsAtStation},
        {"only the behind has trips", false, true, false, false, "2B01", TsAtStation},
        {"only the front has trips", true, false, false, false, "2F01", TsAtStation},
        {"neither; the behind works on", false, false, false, true, "2B01", TsAtStation},
        {"neither; the front works on", false, false, true, false, "2F01", TsAtStation},
        {"neither, no next working", false, false, false, false, "2F01", TsTerminated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartAfresh();
        MakeTrains(c.frontTrips, c.behindTrips, c.frontNext, c.behindNext);
        Seconds(1);  // the train behind sees it is at the platform: joining
        ASSERT_EQ(behind->State, TsJoining);
        ASSERT_NE(behind->CurActivity, nullptr);
        Seconds(1);  // the join
        ASSERT_EQ(t->Trains.Count(), 1);
        TTRN* survivor = t->Trains.At(0);
        ASSERT_NE(survivor, nullptr);
        EXPECT_EQ(survivor->ID, c.survivor);
        EXPECT_EQ(survivor->State, c.state);
        EXPECT_EQ(survivor->Length, 200);
        EXPECT_EQ(survivor->HeadULC, U[3]);
        EXPECT_DOUBLE_EQ(survivor->HeadPos, 120);
        EXPECT_EQ(survivor->TrainInFront, nullptr);
        EXPECT_EQ(survivor->TrainBehind, nullptr);
        // Both stood on U3 and the train behind on U2 as well: each circuit once.
        EXPECT_EQ(CountOn(*C[3]), 1);
        EXPECT_EQ(CountOn(*C[2]), 1);
        EXPECT_TRUE(traced.empty()) << traced.front();
    }
}

TEST_F(JoinLine, TheJoinedHeadcodeIsRemembered) {
    MakeTrains(false, true);
    Seconds(2);
    ASSERT_EQ(t->Trains.Count(), 1);
    TTRN* survivor = t->Trains.At(0);
    ASSERT_NE(survivor, nullptr);
    EXPECT_EQ(survivor->ID, "2B01");
    const auto& joined = survivor->JoinedHeadcodes;
    EXPECT_NE(std::find(joined.begin(), joined.end(), "2F01"), joined.end());
}

TEST_F(JoinLine, AFrontTrainFacingTheOtherWayIsTurnedRoundOrTheJoinIsGivenUp) {
    struct Case {
        const char* name;
        bool canReverse;
        int trainsAfter;
    };
    const Case cases[] = {{"turned round", true, 1}, {"cannot reverse", false, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartAfresh();
        MakeTrains(true, false);
        front->Reverse();  // it faces down now, its head at 380 m on D3
        ASSERT_EQ(front->Direction(), DirDown);
        behind->TrainInFront = front;
        front->TrainBehind = behind;
        behind->CurActivity = &behind->CurTrip->Activities.Items.front();
        behind->SetState(TsJoining);
        if (!c.canReverse) D[3]->Opposite = nullptr;
        Seconds(1);
        D[3]->Opposite = U[3];
        EXPECT_EQ(t->Trains.Count(), c.trainsAfter);
        if (c.canReverse) {
            TTRN* survivor = t->Trains.At(0);
            ASSERT_NE(survivor, nullptr);
            EXPECT_EQ(survivor->ID, "2F01");
            EXPECT_EQ(survivor->Direction(), DirUp);
            EXPECT_EQ(survivor->HeadULC, U[3]);
            EXPECT_TRUE(traced.empty()) << traced.front();
        } else {
            EXPECT_TRUE(TracedWith(traced, "2B01 cannot reverse 2F01 for joining"));
            EXPECT_EQ(behind->State, TsMoving);
            EXPECT_EQ(behind->CurActivity, nullptr);
            // The activity is gone from the trip: it is not tried again.
            EXPECT_TRUE(behind->CurTrip->Activities.Items.empty());
        }
    }
}

// --- the arrival is reported once

TEST_F(JoinLine, AJoinedTrainReportsItsArrivalOnce) {
    MakeTrains(true, false);
    // The front train arrived before: it reports now, once.
    front->SetState(TsAtStation);
    Seconds(1);
    ASSERT_EQ(front->State, TsWaitingForJoin);
    ASSERT_EQ(Arrivals().size(), 1U);
    const std::int32_t maxScore = t->Performance.MaxScore;
    Seconds(3);  // the join, then the survivor's stop again
    ASSERT_EQ(t->Trains.Count(), 1);
    EXPECT_EQ(t->Trains.At(0)->ID, "2F01");
    EXPECT_EQ(Arrivals().size(), 1U) << Arrivals().back();
    EXPECT_EQ(t->Performance.MaxScore, maxScore);
}

TEST_F(ActivitiesLine, ADividedTrainReportsItsArrivalOnce) {
    t->SimTime = kTen - 1;
    const TTimetable& main = AddTimetable(
        "1A01", kTen, kTen + 60, {Activity(ActDividesNewRear, "2N01")}, ostby, farley, 200);
    // The new portion has no booked arrival: it has nothing to report here.
    AddTimetable("2N01", 0, kTen + 300, {}, ostby, farley, 80);
    StandingOnU3(main, 390, TsAtStation);
    Seconds(1);
    ASSERT_EQ(Arrivals().size(), 1U);
    const std::int32_t score = t->Performance.Score;
    const std::int32_t maxScore = t->Performance.MaxScore;
    Seconds(3);
    ASSERT_NE(t->Trains.FindTrain("2N01"), nullptr);
    EXPECT_EQ(Arrivals().size(), 1U) << Arrivals().back();
    EXPECT_EQ(t->Performance.Score, score);
    EXPECT_EQ(t->Performance.MaxScore, maxScore);
}

// --- the checker sees what the activities must not leave behind

TEST_F(ActivitiesLine, TheTrainCheckerSeesWhatTheActivitiesMustNotLeave) {
    t->SimTime = kTen - 1;
    const TTimetable& main =
        AddTimetable("1A01", kTen, kTen + 60, {Activity(ActJoins, "2F01")}, ostby, farley);
    const TTimetable& other = AddTimetable("2F01", kTen, kTen + 60, {}, ostby, farley);
    TTRN& train = StandingOnU3(main, 390, TsAtStation);
    ASSERT_NE(train.CurTrip, nullptr);
    ASSERT_TRUE(trains.Check().empty());
    // A train in no list, for a link to a freed one.
    TTRN loose(*t, "9Z99");
    TTimetableActivity strayActivity;

    struct Case {
        const char* name;
        std::function<void()> plant, undo;
        const char* reported;
    };
    TULC* head = train.HeadULC;
    TTimetableTrip* trip = train.CurTrip;
    const Case cases[] = {
        {"a train that lost its place but stays",
         [&] {
             train.VacateAll();
             train.HeadULC = nullptr;
         },
         [&] {
             train.HeadULC = head;
             train.Occupied = {head};
             C[3]->Occupy();
         },
         "has no head subroute"},
        {"one subroute held twice",
         [&] {
             train.Occupied.push_back(head);
             C[3]->Occupy();
         },
         [&] {
             train.Occupied.pop_back();
             C[3]->Vacate();
         },
         "holds one subroute twice"},
        {"a link to a train not in the list", [&] { train.TrainInFront = &loose; },
         [&] { train.TrainInFront = nullptr; }, "linked to a train not in the list"},
        {"a joining train with nothing in front", [&] { train.State = TsJoining; },
         [&] { train.State = TsAtStation; }, "joining with no train in front"},
        {"a trip in another timetable",
         [&] { train.CurTrip = const_cast<TTimetableTrip*>(&other.Trips.Items.front()); },
         [&] { train.CurTrip = trip; }, "trip outside its own timetable"},
        {"a trip with no timetable", [&] { train.Timetable.swap(loose.Timetable); },
         [&] { train.Timetable.swap(loose.Timetable); }, "trip outside its own timetable"},
        {"an activity outside the trip", [&] { train.CurActivity = &strayActivity; },
         [&] { train.CurActivity = nullptr; }, "activity outside its trip"},
        {"an activity with no trip",
         [&] {
             train.CurTrip = nullptr;
             train.CurActivity = &trip->Activities.Items.front();
         },
         [&] {
             train.CurTrip = trip;
             train.CurActivity = nullptr;
         },
         "activity but no trip"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.plant();
        const std::vector<std::string> found = trains.Check();
        c.undo();
        EXPECT_TRUE(std::any_of(found.begin(), found.end(), [&](const std::string& s) {
            return s.find(c.reported) != std::string::npos;
        })) << (found.empty() ? std::string("nothing reported") : found.front());
        EXPECT_TRUE(trains.Check().empty());
    }
}

}  // namespace
}  // namespace kestra
