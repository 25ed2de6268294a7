#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/call_invariants.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/straight_line.h"
#include "fakes/train_invariants.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable.h"
#include "trains/train.h"

namespace kestra {
namespace {

using test::RailwayBuilder;
using test::TestSim;

constexpr std::int32_t kTen = 10 * 3600;  // 10:00:00

// The straight up line of the train tests, with a station:
//   U0 (entry) -S1- U1 U2 -S2- U3 U4 -S3- U5 (leaves the area)
// Every subroute is 400 m with a reverse twin; line speed 30 m/s. Ostby is a key location
// with its platform 1 on U3 (trains draw up at 390 m), platform 2 facing it; standard
// dwell 35 s, minimum 25 s. Farley is a key location elsewhere, which the route S2-S3
// may be said to avoid.
class EventsLine : public ::testing::Test, public test::StraightLine {
  public:
    EventsLine() : build(*t), checker(*t), trains(*t), calls(*t) {
        BuildStraightLine(build);
        entry = &t->EntryPoints.Create(*t, "E1");
        entry->ULCs.Add("", U[0]);

        ostby = &t->Locations.Create("OST");
        ostby->Name = "Ostby";
        ostby->KeyLocation = true;
        ostby->StandardDwell = 35;
        ostby->MinimumDwell = 25;
        ostby->Platforms = {"1", "2"};
        ostby->AddAdjacentPair("1", "2");
        platform1.Location = ostby;
        platform1.Position = 390;
        platform1.Platform = "1";
        U[3]->StopPoints.Add("", &platform1);
        farley = &t->Locations.Create("FAR");
        farley->Name = "Farley";
        farley->KeyLocation = true;
        t->Options().LocationReporting = ReportAlways;
        t.Ticks(2);  // every signal arms itself
    }
    ~EventsLine() override { U[3]->StopPoints.Clear(); }

    void Seconds(int n) {
        for (int i = 0; i < 2 * n; ++i) Tick();
    }
    void Tick() {
        t.Ticks(1);
        for (const std::string& s : checker.Check()) ADD_FAILURE() << s;
        for (const std::string& s : trains.Check()) ADD_FAILURE() << s;
        for (const std::string& s : calls.Check()) ADD_FAILURE() << s;
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
        ASSERT_TRUE(S3->ShowsProceed());
    }

    // A timetable calling at Ostby (arriving arr, departing dep, platform booked), then
    // at Farley, so that trips remain after the stop.
    void MakeTimetable(const std::string& id, std::int32_t arr, std::int32_t dep,
                       const std::string& platform = "1", bool down = true,
                       std::int32_t length = 100) {
        timetable = std::make_unique<TTimetable>(*t, id);
        timetable->MaxSpeed = 100;
        timetable->Length = length;
        timetable->PowerTypes = PowerDiesel;
        TTimetableTrip stop;
        stop.Location = ostby;
        stop.ArrTime = arr;
        stop.DepTime = dep;
        stop.Platform = platform;
        stop.DownDirection = down;
        TTimetableTrip next;
        next.Location = farley;
        next.DepTime = dep + 600;
        next.IsPass = true;
        next.DownDirection = down;
        timetable->Trips.Items = {stop, next};
    }

    // A train with the timetable standing at Ostby's platform, stopped in the second
    // before `arrival`: the next second is its arrival.
    TTRN& StoppedAtOstby(const std::string& id, std::int32_t arrival) {
        t->SimTime = arrival - 1;
        TTRN& train = t->Trains.Create(id);
        train.Place(nullptr, *U[3], nullptr);
        train.SetTimetable(timetable.get());
        train.HeadPos = platform1.Position;
        train.Speed = 0;
        train.ComputeTail();
        train.LastLocation = ostby;
        train.SetState(TsAtStation);
        return train;
    }

    // A train standing at S2 in the state given, from the second now.
    TTRN& StandingAtS2(const std::string& id, std::uint8_t state = TsAtRed) {
        TTRN& train = t->Trains.Create(id);
        train.Place(nullptr, *U[2], nullptr);
        train.HeadPos = 380;
        train.Speed = 0;
        train.ComputeTail();
        train.SignalAhead = S2;
        train.SetState(state);
        return train;
    }

    // Removes every train, call and incident and reseeds, for the next draw.
    void Fresh(std::uint32_t seed) {
        t->Trains.ForEach([](TTRN& train) { train.VacateAll(); });
        t->Trains.Reset();
        t->Calls.ClearCalls();
        t->Incidents.ClearIncidents();
        t->Rand.Seed(seed);
    }

    // Seconds until the train has a call, up to limit (limit + 1 when none came).
    int SecondsToCall(const TTRN& train, int limit) {
        for (int s = 1; s <= limit; ++s) {
            Seconds(1);
            if (train.PendingCall) return s;
        }
        return limit + 1;
    }

    TestSim t;
    RailwayBuilder build;
    test::InterlockingInvariants checker;
    test::TrainInvariants trains;
    test::CallInvariants calls;
    TENT* entry;
    TLOC* ostby;
    TLOC* farley;
    TULCLOC platform1;
    std::unique_ptr<TTimetable> timetable;
    // A train that is in no list, and a call taken out of the list (planted faults).
    std::unique_ptr<TTRN> loose;
    std::unique_ptr<TCall> held;
};

// The line on its own, for tests that need a fresh one per case.
struct EventsCase : EventsLine {
    void TestBody() override {}
};

// --- departure times

TEST_F(EventsLine, DepartureTimeByLatenessAndClassOverManyDraws) {
    struct Case {
        const char* id;
        std::int32_t arrival;
        std::int32_t first, last;  // the departure time's range without a random delay
        bool mayBeDelayed;
    };
    const Case cases[] = {
        // Early passenger train: its booked time, plus up to 14 s.
        {"1A01", kTen - 120, kTen, kTen + 14, true},
        // Empty coaching stock keeps its booked times too.
        {"5A01", kTen - 120, kTen, kTen + 14, true},
        // Less than the standard dwell before departure: now + minimum dwell + 0..14.
        {"1A02", kTen - 20, kTen - 20 + 25, kTen - 20 + 39, false},
        // Freight leaves once it has stood its standard dwell, whatever its booked time.
        {"6M01", kTen - 120, kTen - 120 + 35, kTen - 120 + 49, false},
    };
    for (const Case& c : cases) {
        std::int32_t lowest = 1 << 30, highest = 0;
        for (std::uint32_t seed = 1; seed <= 300; ++seed) {
            Fresh(seed);
            MakeTimetable(c.id, kTen - 60, kTen);
            TTRN& train = StoppedAtOstby(c.id, c.arrival);
            Seconds(1);
            ASSERT_EQ(train.State, TsAtStation) << c.id;
            const bool delayed = !t->Incidents.Lines.empty();
            if (delayed) {
                EXPECT_TRUE(c.mayBeDelayed) << c.id << " seed " << seed;
                EXPECT_NE(
                    t->Incidents.Lines.back().find(std::string(c.id) + " delayed at Ostby due to "),
                    std::string::npos)
                    << t->Incidents.Lines.back();
                EXPECT_GE(train.Timer, c.first + 90) << c.id << " seed " << seed;
                EXPECT_LE(train.Timer, c.last + 119) << c.id << " seed " << seed;
                continue;
            }
            lowest = std::min(lowest, train.Timer);
            highest = std::max(highest, train.Timer);
        }
        EXPECT_EQ(lowest, c.first) << c.id;
        EXPECT_EQ(highest, c.last) << c.id;
    }
}

TEST_F(EventsLine, ReadyToStartFifteenSecondsBeforeDeparture) {
    MakeTimetable("1A01", kTen - 60, kTen);
    TTRN& train = StoppedAtOstby("1A01", kTen - 120);
    Seconds(1);
    ASSERT_EQ(train.State, TsAtStation);
    const std::int32_t departure = train.Timer;
    while (train.State == TsAtStation && t->SimTime < kTen + 400) Seconds(1);
    EXPECT_EQ(train.State, TsReadyToStart);
    EXPECT_EQ(t->SimTime, departure - 15);
    EXPECT_EQ(train.SignalAhead, S3);
}

TEST_F(EventsLine, ReversalAtAKeyLocationAddsTimeByLength) {
    struct Case {
        std::int32_t length;
        std::int32_t fewest, most;
    };
    const Case cases[] = {{200, 50, 64}, {40, 30, 30}};
    for (const Case& c : cases) {
        std::int32_t fewest = 1 << 30, most = 0;
        for (std::uint32_t seed = 1; seed <= 200; ++seed) {
            // The same draws with and without reversal: the difference is the reversal.
            Fresh(seed);
            MakeTimetable("6M01", 0, kTen, "1", true, c.length);
            TTRN& straight = StoppedAtOstby("6M01", kTen - 120);
            Seconds(1);
            const std::int32_t without = straight.Timer;
            Fresh(seed);
            MakeTimetable("6M01", 0, kTen, "1", false, c.length);
            TTRN& reversing = StoppedAtOstby("6M01", kTen - 120);
            Seconds(1);
            const std::int32_t added = reversing.Timer - without;
            fewest = std::min(fewest, added);
            most = std::max(most, added);
            EXPECT_EQ(reversing.HeadULC, D[3]) << "the train reversed";
        }
        EXPECT_EQ(fewest, c.fewest) << c.length << " m";
        EXPECT_EQ(most, c.most) << c.length << " m";
    }
}

TEST_F(EventsLine, ATrainThatCannotReverseIsTracedAndStays) {
    std::vector<std::string> traced;
    t->TraceHook = [&](const std::string& s) { traced.push_back(s); };
    MakeTimetable("6M01", 0, kTen, "1", false);
    TTRN& train = StoppedAtOstby("6M01", kTen - 120);
    U[3]->Opposite = nullptr;
    Seconds(1);
    U[3]->Opposite = D[3];
    ASSERT_FALSE(traced.empty());
    EXPECT_NE(traced.back().find("Warning: Cannot reverse 6M01 at Ostby"), std::string::npos)
        << traced.back();
    EXPECT_EQ(train.HeadULC, U[3]);
}

// --- reports

TEST_F(EventsLine, ArrivalReportWordingAndTimingPointScore) {
    struct Case {
        std::int32_t arrival;
        const char* text;
        std::int32_t score;
    };
    const Case cases[] = {
        // Timing point, then the booked platform's 5.
        {kTen + 90, "1A01 arrived at Ostby 1 min(s) late", 8 + 5},
        {kTen - 30, "1A01 arrived at Ostby on time", 10 + 5},
        {kTen - 150, "1A01 arrived at Ostby 2 min(s) early", 10 + 5},
        {kTen + 400, "1A01 arrived at Ostby 6 min(s) late", 0 + 5},
    };
    for (const Case& c : cases) {
        Fresh(1);
        t->Performance.Reset();
        MakeTimetable("1A01", kTen, kTen + 600);
        StoppedAtOstby("1A01", c.arrival);
        Seconds(1);
        EXPECT_EQ(test::LastMessage(t), c.text);
        EXPECT_EQ(t->Performance.MaxScore, 15) << c.text;
        EXPECT_EQ(t->Performance.Score, c.score) << c.text;
    }
}

TEST_F(EventsLine, LatenessOnEntryIsNotCountedAgainstTheSignaller) {
    struct Case {
        std::int32_t entryDelay, arrival, score;
    };
    const Case cases[] = {{180, kTen + 180, 10}, {180, kTen + 300, 4}, {-120, kTen, 10}};
    for (const Case& c : cases) {
        Fresh(1);
        t->Performance.Reset();
        MakeTimetable("1A01", kTen, kTen + 600, "");
        timetable->Delay = c.entryDelay;
        TTRN& train = StoppedAtOstby("1A01", c.arrival);
        train.Timetable->Delay = c.entryDelay;
        Seconds(1);
        EXPECT_EQ(t->Performance.MaxScore, 10);
        EXPECT_EQ(t->Performance.Score, c.score) << c.entryDelay << " " << c.arrival;
    }
}

TEST_F(EventsLine, PlatformWordingAndScore) {
    struct Case {
        const char* booked;
        const char* text;
        std::int32_t score, correct, opposite, incorrect;
    };
    const Case cases[] = {
        {"1", "1A01 arrived at Ostby on time", 15, 1, 0, 0},
        {"2", "1A01 arrived at Ostby on time (opposite platform)", 13, 0, 1, 0},
        {"3", "1A01 arrived at Ostby on time (wrong platform)", 10, 0, 0, 1},
    };
    for (const Case& c : cases) {
        Fresh(1);
        t->Performance.Reset();
        MakeTimetable("1A01", kTen, kTen + 600, c.booked);
        TTRN& train = StoppedAtOstby("1A01", kTen);
        Seconds(1);
        EXPECT_EQ(test::LastMessage(t), c.text);
        EXPECT_EQ(train.PlatformUsed, "1");
        EXPECT_EQ(t->Performance.MaxScore, 15);
        EXPECT_EQ(t->Performance.Score, c.score) << c.booked;
        EXPECT_EQ(t->Performance.PlatformCorrect, c.correct);
        EXPECT_EQ(t->Performance.PlatformOpposite, c.opposite);
        EXPECT_EQ(t->Performance.PlatformIncorrect, c.incorrect);
    }
}

TEST_F(EventsLine, ReportingLevelDecidesWhatIsPosted) {
    struct Case {
        std::int32_t level, minutesLate;
        bool posted;
    };
    const Case cases[] = {
        {ReportNever, 10, false},         {ReportFiveMinutesLate, 4, false},
        {ReportFiveMinutesLate, 5, true}, {ReportTwoMinutesLate, 1, false},
        {ReportTwoMinutesLate, 2, true},  {ReportAlways, -3, true},
    };
    for (const Case& c : cases) {
        Fresh(1);
        t->Messages().ClearMessages();
        t->Options().LocationReporting = c.level;
        MakeTimetable("1A01", kTen, kTen + 900, "");
        StoppedAtOstby("1A01", kTen + 60 * c.minutesLate);
        Seconds(1);
        const bool posted = test::LastMessage(t).find("arrived at Ostby") != std::string::npos;
        EXPECT_EQ(posted, c.posted) << "level " << c.level << ", " << c.minutesLate << " late";
    }
}

TEST_F(EventsLine, DepartureIsReportedAndItsLatenessAccounted) {
    MakeTimetable("6M01", 0, kTen);
    timetable->Delay = 0;
    TTRN& train = StoppedAtOstby("6M01", kTen + 170);
    train.Timetable->Delay = 0;
    SetRoute(*S3, *S4);
    Seconds(3);
    std::string report;
    for (int s = 0; s < 120 && train.State != TsMoving; ++s) Seconds(1);
    ASSERT_EQ(train.State, TsMoving);
    for (const std::string& m : test::MessageTexts(t))
        if (m.find("departed from Ostby") != std::string::npos) report = m;
    EXPECT_EQ(report.rfind("6M01 departed from Ostby ", 0), 0u) << report;
    EXPECT_EQ(train.Lateness % 60, 0);
    EXPECT_GE(train.Lateness, 180);
    ASSERT_NE(train.CurTrip, nullptr);
    EXPECT_EQ(train.CurTrip->Location, farley) << "on to the next trip";
}

TEST(EventsLineCases, PassingATimingPointReportsItUnlessToldNotTo) {
    struct Case {
        const char* name;
        bool noReports, autoInserted, reported;
    };
    const Case cases[] = {{"booked pass", false, false, true},
                          {"reports switched off", true, false, false},
                          {"auto-inserted timing", false, true, false}};
    for (const Case& c : cases) {
        EventsCase f;
        f.SetAllRoutes();
        f.t->SimTime = kTen - 60;
        f.MakeTimetable("1A01", 0, kTen + 60, "");
        f.timetable->Trips.Items[0].IsPass = true;
        f.timetable->Trips.Items[0].AutoInserted = c.autoInserted;
        TTRN& train = f.t->Trains.Create("1A01");
        train.Place(nullptr, *f.U[0], f.entry);
        train.SetTimetable(f.timetable.get());
        train.Speed = 0;
        train.NoReports = c.noReports;
        for (int s = 0; s < 200 && train.TripIndex == 0; ++s) f.Seconds(1);
        ASSERT_EQ(train.TripIndex, 1) << c.name << ": never passed Ostby";
        EXPECT_EQ(train.State, TsMoving) << c.name;
        const auto texts = test::MessageTexts(f.t);
        const bool posted =
            std::find(texts.begin(), texts.end(), "1A01 passed Ostby on time") != texts.end();
        EXPECT_EQ(posted, c.reported) << c.name;
        EXPECT_EQ(f.t->Performance.MaxScore, c.reported ? 10 : 0) << c.name;
        EXPECT_EQ(f.t->Performance.Score, c.reported ? 10 : 0) << c.name;
    }
}

TEST_F(EventsLine, AStopAtTheEdgeOfTheAreaEndsTheTrainThereWithItsMinutesAccounted) {
    TULCLOC edge;
    edge.Location = ostby;
    edge.Position = 2990;
    edge.Platform = "1";
    U[5]->StopPoints.Add("", &edge);
    MakeTimetable("1A01", 0, kTen, "");
    t->SimTime = kTen + 199;
    TTRN& train = t->Trains.Create("1A01");
    train.Place(nullptr, *U[5], nullptr);
    train.SetTimetable(timetable.get());
    train.Timetable->Delay = 0;
    train.HeadPos = edge.Position;
    train.Speed = 0;
    train.ComputeTail();
    train.LastLocation = ostby;
    train.SetState(TsAtStation);
    Seconds(1);
    U[5]->StopPoints.Clear();
    // 200 s after its departure less the minimum dwell of 25 s: 2 minutes late.
    EXPECT_EQ(test::LastMessage(t), "1A01 arrived at Ostby 2 min(s) late");
    EXPECT_EQ(t->Trains.TrainsInArea(), 0) << "gone from the area";
    EXPECT_EQ(C[5]->OccupyCount, 0);
    EXPECT_EQ(t->Performance.MinutesLost, 2);
    EXPECT_EQ(t->Performance.PointsTwoMinutes, 1);
}

TEST_F(EventsLine, MinutesAccountAtAStop) {
    struct Case {
        std::int32_t entryDelay, lateness, lost, recovered;
    };
    const Case cases[] = {{0, 300, 5, 0}, {240, 60, 0, 3}, {-300, 0, 0, 0}, {120, 120, 0, 0}};
    for (const Case& c : cases) {
        Fresh(1);
        t->Performance.Reset();
        MakeTimetable("6M01", 0, kTen);
        TTRN& train = StoppedAtOstby("6M01", kTen - 100);
        train.Timetable->Delay = c.entryDelay;
        train.Lateness = c.lateness;
        Seconds(1);
        EXPECT_EQ(t->Performance.MinutesLost, c.lost) << c.entryDelay << " " << c.lateness;
        EXPECT_EQ(t->Performance.MinutesRecovered, c.recovered)
            << c.entryDelay << " " << c.lateness;
    }
}

// --- calls at a red signal

TEST_F(EventsLine, DriverPhonesAfter105To134SecondsAtARedSignal) {
    int fewest = 1000, most = 0;
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        Fresh(seed);
        TTRN& train = StandingAtS2("2B01");
        const int s = SecondsToCall(train, 200);
        fewest = std::min(fewest, s);
        most = std::max(most, s);
        ASSERT_NE(train.PendingCall, nullptr);
        EXPECT_EQ(train.PendingCall->CallKind, 2);
        EXPECT_EQ(train.PendingCall->Message, "Driver of 2B01 waiting at red signal 2");
        EXPECT_EQ(train.PendingCall->Caller, "Train 2B01");
        ASSERT_EQ(train.PendingCall->Replies.size(), 6u);
        EXPECT_EQ(train.PendingCall->Replies[1].Text,
                  "Wait 5 minutes for signal to clear before phoning back");
        const bool confirm[6] = {false, false, false, true, false, true};
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(train.PendingCall->Replies[static_cast<std::size_t>(i)].Confirm, confirm[i]);
        EXPECT_EQ(t->Calls.Count(), 1);
        ASSERT_FALSE(t->Incidents.Lines.empty());
        EXPECT_NE(t->Incidents.Lines.back().find("Driver of 2B01 waiting at red signal"),
                  std::string::npos);
    }
    EXPECT_EQ(fewest, 105);
    EXPECT_EQ(most, 134);
}

TEST_F(EventsLine, WaitFiveMinutesPhonesAgainAfter300To359Seconds) {
    int fewest = 1000, most = 0;
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        Fresh(seed);
        TTRN& train = StandingAtS2("2B01");
        ASSERT_LE(SecondsToCall(train, 200), 200);
        ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, 1));
        EXPECT_EQ(train.PendingCall, nullptr);
        EXPECT_EQ(t->Calls.Count(), 0);
        EXPECT_EQ(test::LastMessage(t),
                  "Train 2B01: Wait 5 minutes for signal to clear before phoning back");
        const int s = SecondsToCall(train, 400);
        fewest = std::min(fewest, s);
        most = std::max(most, s);
        EXPECT_EQ(train.State, TsAtRed);
    }
    EXPECT_EQ(fewest, 300);
    EXPECT_EQ(most, 359);
}

TEST_F(EventsLine, OtherPlayersAreToldWhenADriverPhones) {
    t->Broadcaster = &t.broadcaster;
    TTRN& held = StandingAtS2("2B01");
    ASSERT_LE(SecondsToCall(held, 200), 200);
    const auto& sent = t.broadcaster.Sent;
    EXPECT_NE(std::find(sent.begin(), sent.end(), "MA012B01 waiting at red signal"), sent.end());

    Fresh(1);
    S2S3->ExcludedLocations.Add("", farley);
    MakeTimetable("1A01", 0, kTen);
    TTRN& wrong = StandingAtS2("1A01", TsWrongRoute);
    wrong.SetTimetable(timetable.get());
    SetRoute(*S2, *S3);
    ASSERT_LE(SecondsToCall(wrong, 100), 100);
    EXPECT_NE(std::find(sent.begin(), sent.end(), "MA011A01 has wrong route set"), sent.end());
    S2S3->ExcludedLocations.Clear();
}

TEST_F(EventsLine, TheCallIsWithdrawnWhenTheSignalClears) {
    TTRN& train = StandingAtS2("2B01");
    ASSERT_LE(SecondsToCall(train, 200), 200);
    SetRoute(*S2, *S3);
    SetRoute(*S3, *S4);
    int s = 0;
    while (train.State == TsAtRed && s < 30) {
        Seconds(1);
        ++s;
    }
    EXPECT_EQ(t->Calls.Count(), 0);
    EXPECT_EQ(train.PendingCall, nullptr);
    EXPECT_EQ(train.State, TsMoving);
}

TEST_F(EventsLine, RepliesToAWaitingCall) {
    struct Case {
        int reply;
        std::int32_t timerLow, timerHigh;  // 0, 0: not a wait
        std::uint8_t state, passMode, cautionMode;
    };
    const Case cases[] = {
        {0, 120, 179, TsAtRed, PassNone, CautionNone},
        {1, 300, 359, TsAtRed, PassNone, CautionNone},
        {2, 930, 1049, TsAtRed, PassNone, CautionNone},
        {3, 0, 0, TsMoving, PassNext, CautionNone},
        {4, 0, 0, TsMoving, PassNone, CautionAsked},
        {5, 0, 0, TsMoving, PassNext, CautionAsked},
    };
    for (const Case& c : cases) {
        for (std::uint32_t seed = 1; seed <= 40; ++seed) {
            Fresh(seed);
            TTRN& train = StandingAtS2("2B01");
            ASSERT_LE(SecondsToCall(train, 200), 200);
            ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, c.reply));
            EXPECT_EQ(train.State, c.state) << "reply " << c.reply;
            EXPECT_EQ(train.PassMode, c.passMode) << "reply " << c.reply;
            EXPECT_EQ(train.CautionMode, c.cautionMode) << "reply " << c.reply;
            if (c.timerHigh > 0) {
                EXPECT_GE(train.Timer, c.timerLow) << "reply " << c.reply;
                EXPECT_LE(train.Timer, c.timerHigh) << "reply " << c.reply;
            }
            EXPECT_EQ(t->Calls.Count(), 0);
            EXPECT_EQ(train.PendingCall, nullptr);
        }
    }
}

TEST_F(EventsLine, ASignalPassedAtDangerIsReportedByTheDriver) {
    SetAllRoutes();
    TTRN& train = t->Trains.Create("1A05");
    train.Place(nullptr, *U[0], entry);
    while (!(train.HeadULC == U[1] && train.HeadPos > 300)) Seconds(1);
    S2->RequestCancel();  // far too late to stop at it
    for (int s = 0; s < 120 && train.State == TsMoving; ++s) {
        t.Ticks(2);  // the train invariants would report the signal passed at danger
        for (const std::string& f : calls.Check()) ADD_FAILURE() << f;
    }
    ASSERT_EQ(train.State, TsAtRed);
    t.Ticks(2);
    ASSERT_NE(train.PendingCall, nullptr);
    const TCall& call = *train.PendingCall;
    EXPECT_EQ(call.CallKind, 1);
    EXPECT_EQ(call.Message,
              "Driver of 1A05 informing you that the previous signal was passed at danger");
    ASSERT_EQ(call.Replies.size(), 2u);
    EXPECT_FALSE(call.Replies[0].Confirm);
    EXPECT_EQ(call.Replies[1].Text, "Authorise driver to continue moving");
    EXPECT_TRUE(call.Replies[1].Confirm);
    EXPECT_EQ(train.PassMode, PassNone);
    EXPECT_EQ(t->Calls.Count(), 1) << "no second call while the first waits";
    ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, 1));
    EXPECT_EQ(train.State, TsMoving);
    EXPECT_EQ(t->Calls.Count(), 0);
}

TEST_F(EventsLine, ATrainExaminingTheLineReportsAtTheNextSignal) {
    TTRN& train = StandingAtS2("2B01");
    train.CautionMode = CautionExamining;
    Seconds(1);
    ASSERT_NE(train.PendingCall, nullptr);
    EXPECT_EQ(train.PendingCall->CallKind, 4);
    EXPECT_EQ(train.PendingCall->Message,
              "Driver of 2B01 informing you that, after examining the line, no obstruction was "
              "found");
    ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, 0));
    EXPECT_EQ(train.CautionMode, CautionNone);
    EXPECT_EQ(train.State, TsMoving);
}

TEST_F(EventsLine, TwoCallsInTheSameSecondAreBothKept) {
    TTRN& first = StandingAtS2("2B01");
    TTRN& second = t->Trains.Create("2B02");
    second.Place(nullptr, *U[4], nullptr);
    second.HeadPos = 380;
    second.Speed = 0;
    second.ComputeTail();
    second.SignalAhead = S3;
    second.SetState(TsAtRed);
    // The same draw for both: they phone in the same second.
    first.SubState = 1;
    second.SubState = 1;
    first.Timer = second.Timer = 10;
    Seconds(10);
    ASSERT_EQ(t->Calls.Count(), 2);
    EXPECT_EQ(t->Calls.At(0).CallTime, t->Calls.At(1).CallTime);
    EXPECT_EQ(t->Calls.At(0).Train, &first);
    EXPECT_EQ(t->Calls.At(1).Train, &second);
    // Answering one leaves the other.
    ASSERT_TRUE(t->Calls.Reply(*second.PendingCall, 0));
    ASSERT_EQ(t->Calls.Count(), 1);
    EXPECT_EQ(t->Calls.At(0).Train, &first);
}

TEST_F(EventsLine, ATrainThatLeavesTakesItsCallWithIt) {
    TTRN& train = StandingAtS2("2B01");
    ASSERT_LE(SecondsToCall(train, 200), 200);
    ASSERT_EQ(t->Calls.Count(), 1);
    train.SetState(TsLeaving);
    Seconds(1);
    EXPECT_EQ(t->Trains.TrainsInArea(), 0);
    EXPECT_EQ(t->Calls.Count(), 0);
}

TEST_F(EventsLine, ACallTakenAwayFromItsTrainLeavesTheTrainWithoutOne) {
    struct Case {
        const char* name;
        void (*takeAway)(Sim&, TCall&);
    };
    const Case cases[] = {
        {"removed", [](Sim& sim, TCall& call) { sim.Calls.RemoveCall(&call); }},
        {"all cleared", [](Sim& sim, TCall&) { sim.Calls.ClearCalls(); }},
    };
    for (const Case& c : cases) {
        Fresh(1);
        TTRN& train = StandingAtS2("2B01");
        ASSERT_LE(SecondsToCall(train, 200), 200);
        ASSERT_NE(train.PendingCall, nullptr);
        c.takeAway(*t, *train.PendingCall);
        EXPECT_EQ(train.PendingCall, nullptr) << c.name;
        EXPECT_TRUE(calls.Check().empty()) << c.name;
        Seconds(1);  // the driver phones again rather than waiting on a freed call
        EXPECT_NE(train.PendingCall, nullptr) << c.name;
    }
}

TEST_F(EventsLine, ANewSimulationClearsCallsIncidentsAndScore) {
    TTRN& train = StandingAtS2("2B01");
    ASSERT_LE(SecondsToCall(train, 200), 200);
    t->Performance.Score = 40;
    t->Performance.WrongRoutes = 2;
    t->ResetSimulation();
    EXPECT_EQ(t->Calls.Count(), 0);
    EXPECT_TRUE(t->Incidents.Lines.empty());
    EXPECT_EQ(t->Performance.Score, 0);
    EXPECT_EQ(t->Performance.WrongRoutes, 0);
}

// --- ready to start

TEST_F(EventsLine, ReadyToStartOperatesTRTSAndLeavesWhenTheSignalClears) {
    MakeTimetable("1A01", kTen - 60, kTen);
    TTRN& train = StoppedAtOstby("1A01", kTen - 120);
    while (train.State != TsReadyToStart && t->SimTime < kTen + 100) Seconds(1);
    ASSERT_EQ(train.State, TsReadyToStart);
    Seconds(2);
    EXPECT_TRUE(S3->TRTSOperated);
    EXPECT_EQ(test::LastMessage(t), "TRTS for 1A01 at Ostby");
    EXPECT_EQ(train.State, TsReadyToStart) << "held by the signal";
    SetRoute(*S3, *S4);
    int s = 0;
    while (train.State == TsReadyToStart && s < 60) {
        Seconds(1);
        ++s;
    }
    EXPECT_EQ(train.State, TsMoving);
    EXPECT_GE(s, 13) << "a passenger train closes its doors first";
}

TEST_F(EventsLine, ATrainHeldAtItsStartingSignalPhonesToo) {
    MakeTimetable("6M01", 0, kTen);
    TTRN& train = StoppedAtOstby("6M01", kTen - 120);
    while (train.State != TsReadyToStart && t->SimTime < kTen + 100) Seconds(1);
    ASSERT_EQ(train.State, TsReadyToStart);
    const int s = SecondsToCall(train, 200);
    EXPECT_GE(s, 105);
    EXPECT_LE(s, 135);
    ASSERT_NE(train.PendingCall, nullptr);
    EXPECT_EQ(train.PendingCall->Message, "Driver of 6M01 waiting at red signal 3");
    SetRoute(*S3, *S4);
    Seconds(2);
    EXPECT_EQ(train.PendingCall, nullptr);
    EXPECT_EQ(t->Calls.Count(), 0);
}

// --- wrong routes, traction, goods lines

TEST_F(EventsLine, AWrongRouteStopsTheTrainAndAbandoningTheTimetableLetsItGo) {
    S2S3->ExcludedLocations.Add("", farley);
    MakeTimetable("1A01", 0, kTen);
    // Through Ostby without calling: the next key trips are Ostby and Farley.
    timetable->Trips.Items[0].IsPass = true;
    timetable->Trips.Items[0].Platform.clear();
    SetAllRoutes();
    t->Performance.Score = 100;
    TTRN& train = t->Trains.Create("1A01");
    train.Place(nullptr, *U[0], entry);
    train.SetTimetable(timetable.get());
    ASSERT_NE(train.CurTrip, nullptr);
    for (int s = 0; s < 200 && train.State == TsMoving; ++s) Seconds(1);
    ASSERT_EQ(train.State, TsWrongRoute);
    EXPECT_EQ(train.HeadULC, U[2]);
    EXPECT_EQ(C[3]->OccupyCount, 0) << "stopped short of the signal";
    EXPECT_EQ(t->Performance.WrongRoutes, 1);
    EXPECT_EQ(t->Performance.Score, 90);
    const int s = SecondsToCall(train, 100);
    EXPECT_GE(s, 15);
    EXPECT_LE(s, 30);
    EXPECT_EQ(t->Performance.Score, 88) << "a point on standing, a point on phoning";
    ASSERT_NE(train.PendingCall, nullptr);
    EXPECT_EQ(train.PendingCall->Message, "Driver of 1A01 has an incorrect route set");
    ASSERT_EQ(train.PendingCall->Replies.size(), 2u);
    EXPECT_EQ(train.PendingCall->Replies[1].Text, "Abandon timetable");
    EXPECT_TRUE(train.PendingCall->Replies[1].Confirm);
    ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, 1));
    EXPECT_EQ(train.CurTrip, nullptr);
    for (int k = 0; k < 300 && t->Trains.Count() > 0; ++k) {
        Seconds(1);
        if (t->Trains.Count() > 0) {
            ASSERT_NE(train.State, TsWrongRoute) << "stopped again";
        }
    }
    EXPECT_EQ(t->Trains.Count(), 0) << "ran on out of the area";
    EXPECT_EQ(t->Performance.WrongRoutes, 1);
}

TEST_F(EventsLine, TheWrongRouteTestLooksAtTheNextTwoKeyLocations) {
    struct Case {
        const char* name;
        TLOC* excluded;
        bool danger, unset, noTimetable, skip, wrong;
    };
    TLOC& beyond = t->Locations.Create("BEY");
    beyond.KeyLocation = true;
    const Case cases[] = {
        {"next key location excluded", ostby, false, false, false, false, true},
        {"the one after excluded", farley, false, false, false, false, true},
        {"a later one excluded", &beyond, false, false, false, false, false},
        {"signal at danger", farley, true, false, false, false, false},
        {"route not set", farley, false, true, false, false, false},
        {"timetable abandoned", farley, false, false, true, false, false},
        {"told to skip its stop", farley, false, false, false, true, false},
    };
    SetAllRoutes();
    for (const Case& c : cases) {
        Fresh(1);
        MakeTimetable("1A01", 0, kTen);
        TTimetableTrip later;
        later.Location = &beyond;
        later.DepTime = kTen + 1200;
        timetable->Trips.Items.push_back(later);
        S2S3->ExcludedLocations.Clear();
        S2S3->ExcludedLocations.Add("", c.excluded);
        TTRN& train = StandingAtS2("1A01", TsMoving);
        train.SetTimetable(timetable.get());
        if (c.noTimetable) train.SetTripIndex(-1);
        train.SkipNextStop = c.skip;
        const auto aspect = S2->Aspect;
        if (c.danger) S2->Aspect = AspDanger;
        if (c.unset) S2S3->RouteSet = false;
        EXPECT_EQ(train.IsWrongRoute(*S2), c.wrong) << c.name;
        S2->Aspect = aspect;
        S2S3->RouteSet = true;
    }
    S2S3->ExcludedLocations.Clear();
}

TEST_F(EventsLine, AnExaminingTrainPastASignalAtDangerMakesOneCallAtATime) {
    TTRN& train = StandingAtS2("2B01");
    train.PassMode = PassCountingDown;
    train.CautionMode = CautionExamining;
    Seconds(1);
    ASSERT_EQ(t->Calls.Count(), 1);
    ASSERT_NE(train.PendingCall, nullptr);
    EXPECT_EQ(train.PendingCall->CallKind, 1) << "the signal passed at danger first";
}

TEST_F(EventsLine, ACorrectedRouteLetsTheTrainGoOn) {
    S2S3->ExcludedLocations.Add("", farley);
    MakeTimetable("1A01", 0, kTen);
    timetable->Trips.Items[0].IsPass = true;
    SetAllRoutes();
    TTRN& train = t->Trains.Create("1A01");
    train.Place(nullptr, *U[0], entry);
    train.SetTimetable(timetable.get());
    for (int s = 0; s < 200 && train.State == TsMoving; ++s) Seconds(1);
    ASSERT_EQ(train.State, TsWrongRoute);
    // The signaller finds the route acceptable after all (the area's idea changes).
    S2S3->ExcludedLocations.Clear();
    int s = 0;
    while (train.State != TsMoving && s < 30) {
        Seconds(1);
        ++s;
    }
    EXPECT_EQ(train.State, TsMoving);
    EXPECT_EQ(t->Calls.Count(), 0);
    Seconds(30);
    EXPECT_TRUE(train.HeadULC == U[3] || train.HeadULC == U[4]);
}

TEST(EventsLineCases, TractionMustSuitTheRoute) {
    struct Case {
        std::int32_t power;
        std::uint8_t supply;
        bool stops;
    };
    const Case cases[] = {
        {PowerDiesel, 0, false},
        {PowerOverhead, 1, false},
        {PowerOverhead, 0, true},
        {PowerThirdRail, 4, false},
        {PowerFourthRail, 2, true},
        {PowerThirdRail, 2, false},
        {PowerOverhead | PowerDiesel, 0, false},
    };
    for (const Case& c : cases) {
        EventsCase f;
        for (TTCS* circuit : f.C) circuit->Electrification = c.supply;
        f.SetAllRoutes();
        TTRN& train = f.t->Trains.Create("4E01");
        train.Place(nullptr, *f.U[0], f.entry);
        train.PowerTypes = c.power;
        for (int s = 0; s < 60 && train.State == TsMoving && train.HeadULC != f.U[3]; ++s)
            f.Seconds(1);
        EXPECT_EQ(train.State == TsNoTraction, c.stops) << c.power << " on " << int(c.supply);
        EXPECT_EQ(f.t->Performance.WrongRoutes, c.stops ? 1 : 0);
        if (c.stops) {
            ASSERT_LE(f.SecondsToCall(train, 100), 100);
            EXPECT_EQ(train.PendingCall->Message,
                      "Driver of 4E01 has an incorrect route set - traction is not suitable");
        }
    }
}

TEST_F(EventsLine, TheAreasWrongRouteTestStopsTheTrain) {
    t->Hooks.WrongRouteHook = [&](TTRN&, TROU* route) { return route == S2S3; };
    SetAllRoutes();
    TTRN& train = t->Trains.Create("4E01");
    train.Place(nullptr, *U[0], entry);
    for (int s = 0; s < 200 && train.State == TsMoving; ++s) Seconds(1);
    EXPECT_EQ(train.State, TsWrongRoute);
    EXPECT_EQ(train.SignalAhead, S2);
    EXPECT_EQ(t->Performance.WrongRoutes, 1);
}

TEST(EventsLineCases, APassengerTrainOnAGoodsLineIsPenalisedOnce) {
    struct Case {
        const char* id;
        bool penalised;
    };
    const Case cases[] = {
        {"1A01", true}, {"2A01", true}, {"9A01", true}, {"6M01", false}, {"5A01", false}};
    for (const Case& c : cases) {
        EventsCase f;
        f.U[3]->GoodsLine = true;
        f.U[4]->GoodsLine = true;
        f.t->Performance.Score = 200;
        f.SetAllRoutes();
        TTRN& train = f.t->Trains.Create(c.id);
        train.Place(nullptr, *f.U[0], f.entry);
        for (int s = 0; s < 400 && f.t->Trains.Count() > 0; ++s) f.Seconds(1);
        EXPECT_EQ(f.t->Trains.Count(), 0) << c.id << " was not stopped";
        EXPECT_EQ(f.t->Performance.Score, c.penalised ? 150 : 200) << c.id;
        EXPECT_EQ(f.t->Performance.WrongRoutes, c.penalised ? 1 : 0) << c.id;
        const auto texts = test::MessageTexts(f.t);
        const bool told =
            std::find(texts.begin(), texts.end(),
                      std::string(c.id) + " has been sent onto a goods line") != texts.end();
        EXPECT_EQ(told, c.penalised) << c.id;
    }
}

// --- the call invariants

TEST_F(EventsLine, TheCallInvariantsReportEachPlantedFault) {
    struct Plant {
        const char* name;
        void (*plant)(EventsLine&, TTRN&);
    };
    const Plant plants[] = {
        {"CallFromTrainNotInArea",
         [](EventsLine& f, TTRN&) {
             f.loose = std::make_unique<TTRN>(*f.t, "9Z99");
             auto call = std::make_unique<TCall>();
             call->Train = f.loose.get();
             f.t->Calls.AddCall(std::move(call));
         }},
        {"TwoCallsFromOneTrain",
         [](EventsLine& f, TTRN& train) {
             auto call = std::make_unique<TCall>();
             call->Train = &train;
             f.t->Calls.AddCall(std::move(call));
         }},
        {"CallNotPendingOnItsTrain", [](EventsLine&, TTRN& train) { train.PendingCall = nullptr; }},
        {"PendingCallNotInList",
         [](EventsLine& f, TTRN&) {
             // The list lets the call go; the train still holds it.
             f.held = std::move(f.t->Calls.Calls.front());
             f.t->Calls.Calls.erase(f.t->Calls.Calls.begin());
         }},
    };
    for (const Plant& p : plants) {
        Fresh(1);
        TTRN& train = StandingAtS2("2B01");
        ASSERT_LE(SecondsToCall(train, 200), 200);
        ASSERT_TRUE(calls.Check().empty());
        p.plant(*this, train);
        const auto found = calls.Check();
        const bool reported = std::any_of(found.begin(), found.end(), [&](const std::string& s) {
            return s.rfind(p.name, 0) == 0;
        });
        EXPECT_TRUE(reported) << p.name;
        t->Calls.ClearCalls();
        train.PendingCall = nullptr;
        held.reset();
        loose.reset();
    }
}

}  // namespace
}  // namespace kestra

namespace kestra {
namespace {

// --- answers that move a train on

// Told at its starting signal to pass it at danger or to examine the line, a train
// leaves its stop: it does not draw up at the same platform again, and its arrival is
// reported and scored once.
TEST_F(EventsLine, ATrainToldToGoOnFromItsStartingSignalLeavesItsStopOnce) {
    for (int reply : {3, 4, 5}) {
        Fresh(3);
        t->Messages().MessageHistory.clear();
        MakeTimetable("6R01", kTen - 60, kTen);
        TTRN& train = StoppedAtOstby("6R01", kTen - 120);
        while (train.State != TsReadyToStart && t->SimTime < kTen + 100) Seconds(1);
        ASSERT_EQ(train.State, TsReadyToStart) << "reply " << reply;
        ASSERT_LE(SecondsToCall(train, 200), 200) << "reply " << reply;
        const std::int32_t trip = train.TripIndex;
        ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, reply));
        EXPECT_EQ(train.TripIndex, trip + 1) << "reply " << reply << ": it has left its stop";
        bool stoppedAgain = false;
        for (int s = 0; s < 120 && train.HeadULC == U[3]; ++s) {
            Seconds(1);
            if (train.State == TsAtStation) stoppedAgain = true;
        }
        EXPECT_FALSE(stoppedAgain) << "reply " << reply;
        int arrivals = 0, departures = 0;
        for (const std::string& m : test::MessageTexts(t)) {
            if (m.find("6R01 arrived at Ostby") != std::string::npos) ++arrivals;
            if (m.find("6R01 departed from Ostby") != std::string::npos) ++departures;
        }
        EXPECT_EQ(arrivals, 1) << "reply " << reply;
        EXPECT_EQ(departures, 1) << "reply " << reply;
    }
}

// "Abandon timetable" at a route whose track lacks the train's traction lets the train
// run on past that signal: it is not stopped and penalised by the same test again.
TEST_F(EventsLine, AbandoningTheTimetableAtUnsuitableTractionLetsTheTrainGoOnOnce) {
    for (TTCS* circuit : C) circuit->Electrification = 0;
    SetAllRoutes();
    t->Performance.Score = 100;
    TTRN& train = t->Trains.Create("4E01");
    train.Place(nullptr, *U[0], entry);
    train.PowerTypes = PowerOverhead;
    for (int s = 0; s < 100 && train.State == TsMoving; ++s) Seconds(1);
    ASSERT_EQ(train.State, TsNoTraction);
    ASSERT_EQ(train.SignalAhead, S1);
    ASSERT_LE(SecondsToCall(train, 100), 100);
    ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, 1));
    EXPECT_EQ(t->Performance.WrongRoutes, 1);
    for (int s = 0; s < 200 && train.State == TsMoving; ++s) Seconds(1);
    // Past S1, where it stood; the next signal is a test of its own, and the train lacks
    // traction there too.
    EXPECT_EQ(train.State, TsNoTraction);
    EXPECT_EQ(train.SignalAhead, S2) << "stopped again at the signal it was let past";
    EXPECT_EQ(train.HeadULC, U[2]);
    EXPECT_EQ(t->Performance.WrongRoutes, 2);
}

// A driver who passed a signal at danger while examining the line reports both: the
// passed signal first, then, once that call is answered, the line examined. Until the
// second answer the train stays.
TEST_F(EventsLine, TheLineExaminedCallFollowsThePassedSignalCall) {
    SetRoute(*S2, *S3);
    Seconds(3);
    TTRN& train = StandingAtS2("2B01");
    train.PassMode = PassCountingDown;
    train.CautionMode = CautionExamining;
    Seconds(1);
    ASSERT_NE(train.PendingCall, nullptr);
    ASSERT_EQ(train.PendingCall->CallKind, 1);
    ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, 0));  // wait for further instructions
    Seconds(1);
    ASSERT_NE(train.PendingCall, nullptr) << "the line examined call is placed";
    EXPECT_EQ(train.PendingCall->CallKind, 4);
    Seconds(200);
    EXPECT_EQ(train.State, TsAtRed) << "no authority yet, though the signal shows proceed";
    ASSERT_NE(train.PendingCall, nullptr);
    ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, 0));
    EXPECT_EQ(train.State, TsMoving);
    EXPECT_EQ(train.CautionMode, CautionNone);
}

// Standing after examining the line, the driver waits for the signaller's answer even
// when the signal clears meanwhile.
TEST_F(EventsLine, AfterExaminingTheLineTheDriverWaitsForTheReplyWhateverTheSignalShows) {
    TTRN& train = StandingAtS2("2B01");
    train.CautionMode = CautionExamining;
    Seconds(1);
    ASSERT_NE(train.PendingCall, nullptr);
    SetRoute(*S2, *S3);
    Seconds(30);
    ASSERT_TRUE(S2->ShowsProceed());
    EXPECT_EQ(train.State, TsAtRed);
    ASSERT_NE(train.PendingCall, nullptr) << "the call stays";
    EXPECT_EQ(train.PendingCall->CallKind, 4);
    ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, 0));
    Seconds(10);
    EXPECT_NE(train.HeadULC, U[2]) << "gone on once answered";
}

// A train told to stop at the next signal, stood at one that shows proceed, goes on:
// its authority ends with the stop.
TEST_F(EventsLine, ATrainStoppedAtTheNextSignalGoesOnWhenItShowsProceed) {
    SetAllRoutes();
    TTRN& train = t->Trains.Create("1A09");
    train.Place(nullptr, *U[1], nullptr);
    train.Speed = 0;
    train.PassMode = PassStopAtNext;
    for (int s = 0; s < 300 && train.State == TsMoving; ++s) Seconds(1);
    ASSERT_EQ(train.State, TsAtRed);
    ASSERT_EQ(train.SignalAhead, S2);
    for (int s = 0; s < 120 && train.HeadULC == U[2]; ++s) Seconds(1);
    EXPECT_NE(train.HeadULC, U[2]) << "still standing at a green signal";
    EXPECT_EQ(train.PassMode, PassNone);
}

// A signal whose lamps fail while it shows proceed is dark: a driver treats it as a
// signal at danger, stops and telephones, and goes on only with authority.
TEST_F(EventsLine, ADarkSignalIsADangerSignalToTheDriver) {
    SetAllRoutes();
    // Beyond S1, which goes back to danger as the signal ahead of it goes dark.
    TTRN& train = t->Trains.Create("2B05");
    train.Place(nullptr, *U[1], nullptr);
    train.Speed = 0;  // from a stand, far enough back to stop
    S2->SetLampProved(false);  // the lamps go out with S2 showing proceed
    ASSERT_TRUE(S2->ShowsProceed());
    for (int s = 0; s < 300 && train.State == TsMoving; ++s) Seconds(1);
    ASSERT_EQ(train.State, TsAtRed);
    EXPECT_EQ(train.SignalAhead, S2);
    EXPECT_EQ(train.HeadULC, U[2]);
    EXPECT_EQ(C[3]->OccupyCount, 0) << "it stopped short of the dark signal";
    ASSERT_LE(SecondsToCall(train, 200), 200) << "the driver telephones";
    EXPECT_EQ(train.HeadULC, U[2]);
    ASSERT_TRUE(t->Calls.Reply(*train.PendingCall, 3));  // pass the signal at danger
    for (int s = 0; s < 60 && train.HeadULC == U[2]; ++s) Seconds(1);
    EXPECT_EQ(train.HeadULC, U[3]);
    // A train at a starting signal that goes dark stays too.
    Fresh(2);
    S3->SetLampProved(false);
    MakeTimetable("1A01", kTen - 60, kTen);
    TTRN& starter = StoppedAtOstby("1A01", kTen - 120);
    for (int s = 0; s < 300 && starter.State != TsReadyToStart; ++s) Seconds(1);
    ASSERT_EQ(starter.State, TsReadyToStart);
    Seconds(60);
    EXPECT_EQ(starter.State, TsReadyToStart);
    EXPECT_EQ(starter.HeadULC, U[3]);
}

}  // namespace
}  // namespace kestra
