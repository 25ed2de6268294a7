// The train list: its rows, its commands with their refusals and penalties, and what a
// command does when its row's train has gone meanwhile.

#include "trains/train_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ars/ars_train.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/straight_line.h"
#include "fakes/train_invariants.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable.h"
#include "trains/berth.h"
#include "trains/train.h"

namespace kestra {
namespace {

using test::RailwayBuilder;
using test::TestSim;

constexpr std::int32_t kTen = 10 * 3600;

// The straight line of the train tests with a station, Ostby, whose platform 1 is on U3
// (trains draw up at 390 m), and a timing point Farley beyond.
class ListLine : public ::testing::Test, public test::StraightLine {
  public:
    ListLine() : build(*t), trains(*t) {
        BuildStraightLine(build);
        ostby = &t->Locations.Create("OST");
        ostby->Name = "Ostby";
        ostby->KeyLocation = true;
        ostby->StandardDwell = 35;
        ostby->MinimumDwell = 25;
        ostby->Platforms = {"1"};
        platform1.Location = ostby;
        platform1.Position = 390;
        platform1.Platform = "1";
        U[3]->StopPoints.Add("", &platform1);
        farley = &t->Locations.Create("FAR");
        farley->Name = "Farley";
        farley->KeyLocation = true;
        t.Ticks(2);
        t->SimTime = kTen;
    }
    ~ListLine() override { U[3]->StopPoints.Clear(); }

    void Seconds(int n) {
        for (int i = 0; i < 2 * n; ++i) {
            t.Ticks(1);
            for (const std::string& s : trains.Check()) ADD_FAILURE() << s;
        }
    }

    // A timetable stopping at Ostby (platform 1), then passing Farley unless lastAtOstby.
    std::unique_ptr<TTimetable> MakeTimetable(const std::string& id, bool lastAtOstby = false) {
        auto tt = std::make_unique<TTimetable>(*t, id);
        tt->MaxSpeed = 100;
        tt->Length = 100;
        tt->PowerTypes = PowerDiesel;
        tt->Description = "Ostby stopper";
        TTimetableTrip stop;
        stop.Location = ostby;
        stop.ArrTime = kTen + 60;
        stop.DepTime = kTen + 120;
        stop.Platform = "1";
        stop.DownDirection = true;
        tt->Trips.Items.push_back(stop);
        if (!lastAtOstby) {
            TTimetableTrip pass;
            pass.Location = farley;
            pass.DepTime = kTen + 600;
            pass.IsPass = true;
            pass.DownDirection = true;
            tt->Trips.Items.push_back(pass);
        }
        return tt;
    }

    // A train standing on U2 at S2 (or moving there) in the state given.
    TTRN& TrainAt(const std::string& id, std::uint8_t state, const TTimetable* tt = nullptr,
                  int subroute = 2, double headPos = 380) {
        TTRN& train = t->Trains.Create(id);
        train.Place(nullptr, *U[subroute], nullptr);
        if (tt) train.SetTimetable(tt);
        train.HeadPos = headPos;
        train.Speed = 0;
        train.ComputeTail();
        train.SignalAhead = S2;
        train.SetState(state);
        return train;
    }

    TrainListRow RowOf(const std::string& id) {
        for (const TrainListRow& r : TrainListRows(*t))
            if (r.Description == id) return r;
        ADD_FAILURE() << "no row for " << id;
        return {};
    }

    TestSim t;
    RailwayBuilder build;
    test::TrainInvariants trains;
    TLOC* ostby;
    TLOC* farley;
    TULCLOC platform1;
};

TEST_F(ListLine, RowsAreSortedAndFilledAsTheColumnsSay) {
    const auto tt = MakeTimetable("2B02");
    TTRN& b = TrainAt("2B02", TsAtRed, tt.get());
    b.LastLocation = ostby;
    b.PlatformUsed = "1";
    b.PassFlag = true;
    TTRN& a = TrainAt("1A01", TsMoving, nullptr, 0, 10);
    a.Speed = 10;  // 22.5 mph, shown as 22
    const std::vector<TrainListRow> rows = TrainListRows(*t);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Description, "1A01");
    EXPECT_EQ(rows[0].Train, &a);
    const std::array<std::string, kTrainListColumns> first{
        "1A01", "-", "Down", "Moving at 22mph", "-", "80m", "N", "N", ""};
    EXPECT_EQ(rows[0].Cells, first);
    const std::array<std::string, kTrainListColumns> second{
        "2B02", "2B02", "Down", "Waiting at red signal", "Ostby (platform 1)",
        "100m", "Y",    "N",    "Ostby stopper"};
    EXPECT_EQ(rows[1].Cells, second);
}

TEST_F(ListLine, StatusTextsOfTheSpecialStates) {
    auto tt = MakeTimetable("2C03");
    TTRN& train = TrainAt("2C03", TsMoving, tt.get());
    struct Case {
        std::uint8_t state;
        double speed;
        std::int32_t delay;
        const char* text;
    };
    const Case cases[] = {
        {TsMoving, 10.0, 0, "Moving at 22mph"},                      // 22.5 rounds to the even 22
        {TsMoving, 14.0 / 2.25 + 0.5 / 2.25, 0, "Moving at 14mph"},  // 14.5 to 14
        {TsMoving, 15.5 / 2.25, 0, "Moving at 16mph"},
        {TsMoving, 4.5, 0, "Moving at 10mph"},
        {TsAtStation, 0, 120, "Stopped at station (delayed)"},
        {TsAtStation, 0, 119, "Stopped at station"},
        {TsReadyToStart, 0, 0, "Waiting for right-away"},
        {10, 0, 0, "?"},
    };
    for (const Case& c : cases) {
        train.SetState(c.state);
        train.Speed = c.speed;
        train.Timetable->Delay = c.delay;
        EXPECT_EQ(TrainListStatus(train), c.text) << int(c.state) << " " << c.speed;
    }
    // Waiting for a join names the other train; ready to start behind a train says so.
    train.CurTrip->Activities.Items.push_back({ActJoins, "2J01"});
    train.SetTripIndex(1);
    train.SetTripIndex(0);
    train.SetState(TsWaitingForJoin);
    EXPECT_EQ(TrainListStatus(train), "Waiting for joining train 2J01");
    TTRN& front = TrainAt("2D04", TsAtRed, nullptr, 3, 100);
    train.TrainInFront = &front;
    train.SetState(TsReadyToStart);
    EXPECT_EQ(TrainListStatus(train), "Ready to depart but train in front");
    train.TrainInFront = nullptr;
}

// Each command refused where it does not apply, with its exact message, and nothing
// changed on the train or the score.
TEST_F(ListLine, EachCommandIsRefusedWithItsMessage) {
    const auto last = MakeTimetable("2E05", true);
    TTRN& moving = TrainAt("2E05", TsMoving, last.get());
    moving.Speed = 5;
    TTRN& bare = TrainAt("2F06", TsMoving, nullptr, 4, 200);
    t->Performance.Score = 30;
    struct Case {
        TTRN* train;
        TrainCommand command;
        const char* message;
        bool information;
    };
    const Case cases[] = {
        {&moving, TrainCommand::NonStop,
         "Cannot go non-stop through next station: Train terminates at next station", true},
        {&bare, TrainCommand::NonStop,
         "Cannot go non-stop through next station: Train has no timetable or has terminated", true},
        {&moving, TrainCommand::AbandonJoin,
         "Cannot ignore joining trains: Not waiting for a joining train", false},
        {&moving, TrainCommand::AuthorisePass,
         "Cannot authorise train to pass signal at danger: Not stopped at red signal", false},
        {&moving, TrainCommand::Reverse, "Cannot reverse train: Train in motion", false},
        {&moving, TrainCommand::ExamineLine,
         "Cannot tell driver to examine the line: Not stopped at red signal", false},
    };
    for (const Case& c : cases) {
        t.dialogs.Errors.clear();
        t.dialogs.Infos.clear();
        const TrainListRow row = RowOf(c.train->ID);
        EXPECT_EQ(RunTrainCommand(*t, row, c.command), TrainCommandResult::Refused) << c.message;
        const auto& shown = c.information ? t.dialogs.Infos : t.dialogs.Errors;
        ASSERT_EQ(shown.size(), 1u) << c.message;
        EXPECT_EQ(shown.front(), c.message);
        EXPECT_FALSE(c.train->SkipNextStop);
        EXPECT_EQ(c.train->PassMode, PassNone);
        EXPECT_EQ(c.train->CautionMode, CautionNone);
    }
    EXPECT_EQ(t->Performance.Score, 30);

    // A train in one-way track cannot reverse.
    t.dialogs.Errors.clear();
    TTRN& oneWay = TrainAt("2G07", TsAtRed, nullptr, 5, 2900);
    TULC* twin = U[5]->Opposite;
    U[5]->Opposite = nullptr;
    EXPECT_EQ(RunTrainCommand(*t, RowOf("2G07"), TrainCommand::Reverse),
              TrainCommandResult::Refused);
    U[5]->Opposite = twin;
    ASSERT_EQ(t.dialogs.Errors.size(), 1u);
    EXPECT_EQ(t.dialogs.Errors.front(), "Cannot reverse train: Train in one-way track");
    EXPECT_EQ(oneWay.HeadULC, U[5]);
}

TEST_F(ListLine, CommandsOnATrainAtARedSignal) {
    const auto tt = MakeTimetable("2H08");
    {
        TTRN& train = TrainAt("2H08", TsAtRed, tt.get());
        EXPECT_EQ(RunTrainCommand(*t, RowOf("2H08"), TrainCommand::ExamineLine),
                  TrainCommandResult::Done);
        EXPECT_EQ(train.CautionMode, CautionAsked);
        EXPECT_EQ(train.State, TsAtRed) << "examining the line leaves it waiting";
        EXPECT_EQ(RunTrainCommand(*t, RowOf("2H08"), TrainCommand::AuthorisePass),
                  TrainCommandResult::Done);
        EXPECT_EQ(train.PassMode, PassNext);
        EXPECT_EQ(train.State, TsMoving);
    }
    {
        TTRN& train = TrainAt("2J09", TsWrongRoute, tt.get());
        EXPECT_EQ(RunTrainCommand(*t, RowOf("2J09"), TrainCommand::NonStop),
                  TrainCommandResult::Done);
        EXPECT_TRUE(train.SkipNextStop);
        EXPECT_EQ(train.State, TsMoving) << "a train at a wrong route is set moving";
    }
    {
        TTRN& train = TrainAt("2K10", TsAtRed, tt.get());
        EXPECT_EQ(RunTrainCommand(*t, RowOf("2K10"), TrainCommand::Reverse),
                  TrainCommandResult::Done);
        EXPECT_EQ(train.HeadULC, D[2]) << "facing the other way on the same track";
        EXPECT_EQ(train.State, TsMoving);
    }
    {
        TTRN& train = TrainAt("2L11", TsAtRed, tt.get());
        EXPECT_EQ(RunTrainCommand(*t, RowOf("2L11"), TrainCommand::AbandonTimetable),
                  TrainCommandResult::Done);
        EXPECT_EQ(train.Timetable, nullptr);
        EXPECT_EQ(train.CurTrip, nullptr);
        EXPECT_EQ(train.TripIndex, -1);
        EXPECT_EQ(train.State, TsMoving);
    }
    EXPECT_EQ(t->Performance.Score, 0);
    EXPECT_TRUE(t.dialogs.Errors.empty());
}

// Abandoning a join erases the join activities the train's current activity pointed
// into: the pointer is reset, the stop goes on without a second arrival report, and
// the penalty is paid.
TEST_F(ListLine, AbandonJoinResetsTheCurrentActivity) {
    const auto tt = MakeTimetable("2M12");
    TTRN& train = TrainAt("2M12", TsAtStation, tt.get(), 3, 390);
    train.LastLocation = ostby;
    train.CurTrip->Activities.Items = {{ActJoins, "2N13"}};
    train.SetTripIndex(1);
    train.SetTripIndex(0);  // points the current activity at the join
    ASSERT_NE(train.CurActivity, nullptr);
    t->SimTime = kTen + 60;
    Seconds(1);
    ASSERT_EQ(train.State, TsWaitingForJoin);
    const std::int32_t maxScore = t->Performance.MaxScore;
    t->Performance.Score = 30;

    EXPECT_EQ(RunTrainCommand(*t, RowOf("2M12"), TrainCommand::AbandonJoin),
              TrainCommandResult::Done);
    const auto& items = train.CurTrip->Activities.Items;
    EXPECT_TRUE(items.empty());
    EXPECT_TRUE(train.CurActivity == nullptr || (train.CurActivity >= items.data() &&
                                                 train.CurActivity < items.data() + items.size()))
        << "the current activity points at an erased one";
    EXPECT_EQ(train.State, TsAtStation);
    EXPECT_EQ(t->Performance.Score, 5);
    EXPECT_EQ(t->Performance.JoinsAbandoned, 1);
    Seconds(2);
    EXPECT_EQ(t->Performance.MaxScore, maxScore) << "the arrival was reported once";
    EXPECT_NE(train.State, TsWaitingForJoin);
}

TEST_F(ListLine, AdjustLengthAsksAndCostsItsPenaltyEvenUnchanged) {
    TTRN& train = TrainAt("2P14", TsAtRed, nullptr, 2, 380);
    struct Case {
        std::optional<std::string> answer;
        std::int32_t length;
        const char* error;  // empty: accepted
    };
    const Case cases[] = {
        {"80", 80, ""},  // the same length still costs its penalty
        {"60", 60, ""},
        {"61", 60, "Cannot make train longer than it is, or less than 20m long"},
        {"19", 60, "Cannot make train longer than it is, or less than 20m long"},
        {"-5", 60, "Cannot make train longer than it is, or less than 20m long"},
        {"six", 60, "Invalid numeric input"},
        {std::nullopt, 60, ""},  // cancelled: nothing
        {"20", 20, ""},
    };
    std::int32_t shortened = 0;
    for (const Case& c : cases) {
        t->Performance.Score = 100;
        t.dialogs.Errors.clear();
        t.dialogs.Inputs.clear();
        t.dialogs.InputAnswer = c.answer;
        const std::int32_t before = train.Length;
        RunTrainCommand(*t, RowOf("2P14"), TrainCommand::AdjustLength);
        ASSERT_EQ(t.dialogs.Inputs.size(), 1u);
        EXPECT_EQ(t.dialogs.Inputs.front(),
                  "Adjust Train Length|Enter new length (metres)|" + std::to_string(before));
        EXPECT_EQ(train.Length, c.length) << c.answer.value_or("cancel");
        const bool accepted = c.answer && std::string(c.error).empty();
        if (accepted) ++shortened;
        EXPECT_EQ(t->Performance.Score, accepted ? 50 : 100) << c.answer.value_or("cancel");
        EXPECT_EQ(t->Performance.TrainsShortened, shortened);
        if (std::string(c.error).empty()) {
            EXPECT_TRUE(t.dialogs.Errors.empty());
        } else {
            ASSERT_EQ(t.dialogs.Errors.size(), 1u);
            EXPECT_EQ(t.dialogs.Errors.front(), c.error);
        }
    }
    EXPECT_NEAR(train.TailPos, train.HeadPos - 20, 1e-9);
}

// Removing a train takes its description out of the describer, and with it the ARS
// train, frees its track and costs 50 points (never below 0).
TEST_F(ListLine, RemoveTrainTakesItsDescriptionAndARSTrain) {
    TBER& berth = t->Berths.Create(*t, "B2");
    berth.TrackCircuit = C[2];
    TTRN& train = TrainAt("2Q15", TsAtRed, nullptr, 2, 380);
    berth.Interpose("2Q15");
    ASSERT_NE(t->ARSTrains().FindByDescription(TBER::FormatDescription("2Q15")), nullptr);
    t->Performance.Score = 30;

    t.dialogs.ConfirmAnswer = false;
    EXPECT_EQ(RunTrainCommand(*t, RowOf("2Q15"), TrainCommand::Remove),
              TrainCommandResult::Refused);
    ASSERT_EQ(t.dialogs.Confirms.size(), 1u);
    EXPECT_EQ(t.dialogs.Confirms.front(), "Do you really want to remove train 2Q15?");
    EXPECT_EQ(train.State, TsAtRed);

    t.dialogs.ConfirmAnswer = true;
    EXPECT_EQ(RunTrainCommand(*t, RowOf("2Q15"), TrainCommand::Remove),
              TrainCommandResult::Removed);
    EXPECT_FALSE(berth.HasDescription());
    EXPECT_EQ(t->ARSTrains().FindByDescription(TBER::FormatDescription("2Q15")), nullptr);
    EXPECT_EQ(C[2]->OccupyCount, 0);
    EXPECT_EQ(t->Performance.Score, 0);
    EXPECT_EQ(t->Performance.TrainsRemoved, 1);
    Seconds(1);
    EXPECT_EQ(t->Trains.TrainsInArea(), 0);
    EXPECT_EQ(t->Trains.LeftCount, 0) << "removed, not run out of the area";
}

// Two trains under one description: removing one leaves the other's berth alone.
TEST_F(ListLine, RemoveTrainLeavesTheDescriptionOfAnotherTrainWithTheSameOne) {
    TBER& mine = t->Berths.Create(*t, "B2");
    mine.TrackCircuit = C[2];
    TBER& other = t->Berths.Create(*t, "B4");
    other.TrackCircuit = C[4];
    TrainAt("2R16", TsAtRed, nullptr, 2, 380);
    TrainAt("2R16", TsAtRed, nullptr, 4, 380);
    mine.Interpose("2R16");
    other.Interpose("2R16");
    t.dialogs.ConfirmAnswer = true;
    const std::vector<TrainListRow> rows = TrainListRows(*t);
    ASSERT_EQ(rows.size(), 2u);
    const TrainListRow& first = rows[0].Train->HeadULC == U[2] ? rows[0] : rows[1];
    EXPECT_EQ(RunTrainCommand(*t, first, TrainCommand::Remove), TrainCommandResult::Removed);
    EXPECT_FALSE(mine.HasDescription());
    EXPECT_TRUE(other.HasDescription());
}

// A row kept while its train left the area acts on nothing, even when a new train
// has come in since; the new train is untouched.
TEST_F(ListLine, ARowWhoseTrainHasLeftActsOnNothing) {
    TTRN& leaving = TrainAt("2S17", TsAtRed, nullptr, 2, 380);
    const TrainListRow row = RowOf("2S17");
    leaving.VacateAll();
    leaving.SetState(TsLeaving);
    Seconds(1);
    ASSERT_EQ(t->Trains.TrainsInArea(), 0);
    TTRN& newcomer = TrainAt("2T18", TsAtRed, nullptr, 2, 380);
    t->Performance.Score = 100;
    for (const TrainMenuItem& item : TrainMenuItems) {
        t.dialogs.Errors.clear();
        t.dialogs.ConfirmAnswer = true;
        t.dialogs.InputAnswer = "40";
        EXPECT_EQ(RunTrainCommand(*t, row, item.Command), TrainCommandResult::Gone) << item.Caption;
        ASSERT_EQ(t.dialogs.Errors.size(), 1u) << item.Caption;
        EXPECT_EQ(t.dialogs.Errors.front(), TrainGoneMessage);
    }
    EXPECT_EQ(newcomer.State, TsAtRed);
    EXPECT_EQ(newcomer.Length, kUntimetabledLength);
    EXPECT_EQ(newcomer.PassMode, PassNone);
    EXPECT_EQ(t->Performance.Score, 100);
    // A train whose description changed (a next service) is not the row's either.
    const TrainListRow renamed = RowOf("2T18");
    newcomer.ID = "2U19";
    EXPECT_EQ(RunTrainCommand(*t, renamed, TrainCommand::AuthorisePass), TrainCommandResult::Gone);
    EXPECT_EQ(newcomer.PassMode, PassNone);
}

// Told to run through the last station of its working, a train that passes the stopping
// point in a second that also takes its head off the end of the subroute steps onto the
// next one (occupying its circuit) before it stands.
TEST_F(ListLine, NonStopThroughTheLastStopStillStepsTheHead) {
    ASSERT_TRUE(RouteRequest(*t, *S2, *S3, 0).Set) << t->LastFailReason;
    Seconds(3);
    const auto tt = MakeTimetable("2V20", true);
    TTRN& train = TrainAt("2V20", TsMoving, tt.get(), 3, 385);
    train.SkipNextStop = true;
    train.Speed = 20;
    Seconds(1);
    EXPECT_EQ(train.HeadULC, U[4]);
    EXPECT_LE(train.HeadPos, train.HeadULC->Length);
    EXPECT_GT(C[4]->OccupyCount, 0) << "the circuit the head ran onto";
    EXPECT_EQ(train.State, TsTerminated);
}

}  // namespace
}  // namespace kestra
