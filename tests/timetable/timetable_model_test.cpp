// The timetable model: times, lookups, validation with timing insertions and code
// filling, paths, random delays and the entry step.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "timetable/timetable_validate.h"
#include "timetable_fixture.h"

namespace kestra {
namespace {

using testing_tt::TimetableFixture;

TEST(TimetableModel, ShortHeadcodeIsCutAndRightAligned) {
    TimetableFixture f;
    EXPECT_EQ(TTimetable(*f.sim, "2A").ShortHeadcode(), "  2A");
    EXPECT_EQ(TTimetable(*f.sim, "1A05X").ShortHeadcode(), "1A05");
}

TEST(TimetableModel, TimeDifferenceMovesTimesPastMidnightWithoutWrapping) {
    TimetableFixture f;
    TTimetable& t = f.EnteringTrain("1A05", 86000);
    TTimetable copy(*f.sim, "x");
    copy.CopyFrom(t, 30);
    EXPECT_EQ(copy.EntryTime, 86000 + 1800);
    ASSERT_EQ(copy.Trips.Count(), 3);
    EXPECT_EQ(copy.Trips.Items[0].ArrTime, 86120 + 1800);
    EXPECT_EQ(copy.Trips.Items[2].ArrTime, 87200 + 1800);
    EXPECT_EQ(copy.Trips.Items[2].DepTime, 1800);  // every departure moves
    t.Trips.Items[2].ArrTime = 0;
    EXPECT_EQ(t.Trips.DuplicateTimeDifference(30).Items[2].ArrTime, 0);  // none stays none
    TTimetable back(*f.sim, "y");
    back.CopyFrom(copy, -30);
    EXPECT_EQ(back.EntryTime, copy.EntryTime);  // a negative shift leaves the entry time
    EXPECT_EQ(back.Trips.Items[0].ArrTime, 86120);
}

TEST(TimetableModel, FindByHeadcodeTakesTheNearestWithinADayEarlierWinningTies) {
    TimetableFixture f;
    TTimetable& early = f.EnteringTrain("2B01", 30000);  // first trip at 30120
    TTimetable& late = f.EnteringTrain("2B01", 40000);   // 40120
    TTimetable& other = f.EnteringTrain("2B02", 35000);
    (void)other;
    EXPECT_EQ(f.sim->Timetable.FindByHeadcode("2B01", 31000), &early);
    EXPECT_EQ(f.sim->Timetable.FindByHeadcode("2B01", 39000), &late);
    EXPECT_EQ(f.sim->Timetable.FindByHeadcode("2B01", 35120), &early);  // tie
    EXPECT_EQ(f.sim->Timetable.FindByHeadcode("2B01", 40120 + 86400), nullptr);
    EXPECT_EQ(f.sim->Timetable.FindByHeadcode("9Z99", 30000), nullptr);
}

TEST(TimetableModel, ValidatesAnEnteringTrainAndComputesItsPaths) {
    TimetableFixture f;
    TTimetable& t = f.EnteringTrain("1A05");
    std::string message;
    EXPECT_TRUE(Validate(t, message)) << message;
    ComputePaths(t);
    ASSERT_EQ(t.Paths.size(), 3u);
    EXPECT_EQ(FirstPathDirection(t), DirDown);
    EXPECT_TRUE(t.Trips.Items[1].DownDirection);
    EXPECT_FALSE(t.Trips.Items[2].DownDirection);  // B->C arrives in the up direction
}

TEST(TimetableModel, ValidationFailuresGiveTheirMessages) {
    struct Case {
        const char* Name;
        void (*Change)(TimetableFixture&, TTimetable&);
        std::string Message;
    };
    const Case cases[] = {
        {"no key trip on entry",
         [](TimetableFixture& f, TTimetable& t) {
             t.Trips.Items = {f.Trip(f.T, 0, t.EntryTime + 60)};
         },
         "Entering trip list must specify at least one key location"},
        {"one key trip starting inside",
         [](TimetableFixture& f, TTimetable& t) {
             t.EntryPoint = nullptr;
             t.Trips.Items = {f.Trip(f.A, 0, 100)};
         },
         "Starting trip list must specify at least two key locations"},
        {"no entry path",
         [](TimetableFixture& f, TTimetable& t) {
             t.Trips.Items.erase(t.Trips.Items.begin());
             (void)f;
         },
         "Path not found from entrance West to location Bravo using platform/line/path codes "
         "specified\r\n\r\nPossible alternatives:\r\n\tNone found.\n\r"},
        {"no platform 3 at B",
         [](TimetableFixture&, TTimetable& t) { t.Trips.Items[1].Platform = "3"; },
         "Path not found from Alpha to Bravo using platform/line/path codes specified\r\n\r\n"
         "Possible alternatives:\r\n\tPlat\tPath\tLine\t-\tPlat\tPath\tLine\n\r"
         "\t\t\t\t-\t1\t\t\n\r\t\t\t\t-\t2\t\t\n\r"},
        // The leg loop must reach the last pair of key trips.
        {"last leg without a path",
         [](TimetableFixture& f, TTimetable& t) {
             t.Trips.Items.push_back(f.Trip(f.A, t.EntryTime + 1500, t.EntryTime + 1560));
         },
         "Path not found from Charlie to Alpha using platform/line/path codes specified\r\n\r\n"
         "Possible alternatives:\r\n\tNone found.\n\r"},
        {"starting train whose only leg has no path",
         [](TimetableFixture& f, TTimetable& t) {
             t.EntryPoint = nullptr;
             t.Trips.Items = {f.Trip(f.C, 0, 100), f.Trip(f.A, 200, 0)};
         },
         "Path not found from Charlie to Alpha using platform/line/path codes specified\r\n\r\n"
         "Possible alternatives:\r\n\tNone found.\n\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TimetableFixture f;
        TTimetable& t = f.EnteringTrain("1A05");
        c.Change(f, t);
        std::string message;
        EXPECT_FALSE(Validate(t, message));
        EXPECT_EQ(message, c.Message);
    }
}

TEST(TimetableModel, TimingPointInsertedByFractionLessAllowancesOnceOnly) {
    struct Case {
        std::int32_t Eng, Path, Expected;
    };
    for (const Case& c : {Case{0, 0, 36300}, Case{2, 2, 36240}}) {
        SCOPED_TRACE(c.Expected);
        TimetableFixture f;
        f.sim->TimingInsertions.Add({f.B, nullptr, f.C, f.T, 512});
        TTimetable& t = f.EnteringTrain("1A05");
        t.Trips.Items[1].DepTime = 36000;  // B departs 10:00:00
        t.Trips.Items[2].ArrTime = 36600;  // C arrives 10:10:00
        t.Trips.Items[2].EngAllowance = c.Eng;
        t.Trips.Items[2].PathAllowance = c.Path;
        std::string message;
        ASSERT_TRUE(Validate(t, message)) << message;
        ASSERT_EQ(t.Trips.Count(), 4);
        const TTimetableTrip& inserted = t.Trips.Items[2];
        EXPECT_EQ(inserted.Location, f.T);
        EXPECT_TRUE(inserted.AutoInserted);
        EXPECT_TRUE(inserted.IsPass);
        EXPECT_EQ(inserted.DepTime, c.Expected);
        // Validating again inserts nothing more.
        ASSERT_TRUE(Validate(t, message)) << message;
        EXPECT_EQ(t.Trips.Count(), 4);
    }
}

TEST(TimetableModel, InsertionRoundsHalvesToEven) {
    TimetableFixture f;
    f.sim->TimingInsertions.Add({f.B, nullptr, f.C, f.T, 512});
    TTimetable& t = f.EnteringTrain("1A05");
    t.Trips.Items[1].DepTime = 36000;
    t.Trips.Items[2].ArrTime = 36001;  // half of 1 s is 0.5: to even, 0
    InsertTimingPoints(t);
    ASSERT_EQ(t.Trips.Count(), 4);
    EXPECT_EQ(t.Trips.Items[2].DepTime, 36000);
    t.Trips.Items.erase(t.Trips.Items.begin() + 2);
    t.Trips.Items[2].ArrTime = 36003;  // 1.5: to even, 2
    InsertTimingPoints(t);
    ASSERT_EQ(t.Trips.Count(), 4);
    EXPECT_EQ(t.Trips.Items[2].DepTime, 36002);
}

TEST(TimetableModel, IntermediateTripEarlierThanEveryKeyTripGoesFirst) {
    TimetableFixture f;
    TTimetable& t = f.EnteringTrain("1A05");
    t.Trips.Items[2].DepTime = t.Trips.Items[2].ArrTime;
    t.Trips.Items.push_back(f.Trip(f.T, 0, 100));
    InsertTimingPoints(t);
    ASSERT_EQ(t.Trips.Count(), 4);
    EXPECT_EQ(t.Trips.Items[0].Location, f.T);
}

TEST(TimetableModel, CodeRulesFillEmptyCodesAndMakeAPathFindable) {
    TimetableFixture f;
    // Only a path on line "DM" from A to B platform 1.
    f.sim->Paths.FreeObjects();
    f.AddPath(f.W, nullptr, "", f.A, "", DirDown, DirDown);
    TPTH& ab = f.AddPath(nullptr, f.A, "", f.B, "1", DirDown, DirDown);
    ab.FromLine = "DM";
    f.AddPath(nullptr, f.B, "", f.C, "", DirDown, DirDown);
    TTimetable& t = f.EnteringTrain("1A05");
    std::string message;
    EXPECT_FALSE(Validate(t, message));
    TRLE& rule = f.sim->CodeRules.Create();
    rule.FromLocation = f.A;
    rule.ToLocation = f.B;
    rule.Kind = RkForward;
    rule.SetsPath = false;
    rule.Code = "DM";
    EXPECT_TRUE(Validate(t, message)) << message;
    EXPECT_EQ(t.Trips.Items[0].Line, "DM");
}

TEST(TimetableModel, PassengerDelaysNeverWithProbabilityZeroAndNeverCompound) {
    TimetableFixture f;
    f.sim->Options().DelayProbability = 0.0f;
    f.sim->Options().DelayAmount = 2.0f;
    TTimetable& t = f.EnteringTrain("1A05");
    f.sim->SimTime = 0;
    t.Delay = 100;
    for (int i = 0; i < 500; ++i) {
        t.GenerateDelay();
        ASSERT_EQ(t.Delay, 100) << "draw " << i;
    }
}

TEST(TimetableModel, FreightAlwaysDrawsAndMayBeEarly) {
    TimetableFixture f;
    f.sim->Options().DelayProbability = 0.0f;
    TTimetable& t = f.EnteringTrain("6M21");
    bool early = false;
    for (int i = 0; i < 400; ++i) {
        t.Delay = 12345;
        t.GenerateDelay();
        ASSERT_NE(t.Delay, 12345);
        ASSERT_GE(t.Delay, -300);
        ASSERT_LT(t.Delay, 600);
        early = early || t.Delay < 0;
    }
    EXPECT_TRUE(early);
}

TEST(TimetableModel, ProbabilityOneAlwaysDrawsAndScalesOnlyNewDelays) {
    TimetableFixture f;
    f.sim->Options().DelayProbability = 1.0f;
    f.sim->Options().DelayAmount = 0.5f;
    TTimetable& t = f.EnteringTrain("1A05");
    for (int i = 0; i < 400; ++i) {
        t.Delay = 12345;
        t.GenerateDelay();
        ASSERT_NE(t.Delay, 12345);
        ASSERT_LT(t.Delay, 300);  // at most (299 + 300) x 0.5
    }
}

TEST(TimetableModel, PastEntryTimeTheTrainNeverEnters) {
    TimetableFixture f;
    TTimetable& t = f.EnteringTrain("1A05", 36000);
    f.sim->SimTime = 36001;
    t.GenerateDelay();
    EXPECT_TRUE(t.Entered);
}

// Records what the entry step asks of the trains.
class FakeTrains : public TrainEntryPort {
  public:
    int TrainsInArea() const override { return Trains; }
    bool CanEnter(TENT&) override { return Free; }
    void Enter(TENT& entry, TTimetable& t) override { Entered.push_back(entry.ID + ":" + t.ID); }
    void LogIncident(const std::string& text) override { Incidents.push_back(text); }
    int Trains = 0;
    bool Free = true;
    std::vector<std::string> Entered, Incidents;
};

struct EntryFixture : TimetableFixture {
    FakeTrains trains;
    std::vector<std::string> messages;
    EntryFixture() {
        sim->TrainEntry = &trains;
        sim->Messages().LineObserver = [this](const std::string& text, int) {
            messages.push_back(text);
        };
    }
};

TEST(TimetableEntry, EntersAtEntryTimePlusDelayOnceTheEntryIsFree) {
    EntryFixture f;
    TTimetable& t = f.EnteringTrain("1A05", 36000);
    t.Delay = 30;
    f.sim->SimTime = 36029;
    t.MajorCycle();
    EXPECT_TRUE(f.trains.Entered.empty());
    f.sim->SimTime = 36030;
    f.trains.Free = false;
    t.MajorCycle();
    EXPECT_FALSE(t.Entered);  // tried again next cycle
    f.trains.Free = true;
    t.MajorCycle();
    EXPECT_TRUE(t.Entered);
    EXPECT_EQ(f.trains.Entered, std::vector<std::string>{"W:1A05"});
    t.MajorCycle();
    EXPECT_EQ(f.trains.Entered.size(), 1u);
}

TEST(TimetableEntry, AtThirtyFiveTrainsTheTrainIsCancelledAndNeverRetried) {
    EntryFixture f;
    TTimetable& t = f.EnteringTrain("1A05", 36000);
    f.trains.Trains = 35;
    f.sim->SimTime = 36000;
    t.MajorCycle();
    EXPECT_TRUE(t.Entered);
    ASSERT_FALSE(f.messages.empty());
    EXPECT_NE(f.messages.back().find("TRAIN 1A05 HAS BEEN CANCELLED"), std::string::npos);
    f.trains.Trains = 0;
    t.MajorCycle();
    EXPECT_TRUE(f.trains.Entered.empty());
    // One fewer train: it enters.
    EntryFixture g;
    TTimetable& u = g.EnteringTrain("1A06", 36000);
    g.trains.Trains = 34;
    g.sim->SimTime = 36000;
    u.MajorCycle();
    EXPECT_EQ(g.trains.Entered.size(), 1u);
}

TEST(TimetableEntry, InvalidOrSTPOrUnattachedTimetablesDoNotEnter) {
    EntryFixture f;
    TTimetable& invalid = f.EnteringTrain("1A05", 36000);
    invalid.Trips.Items[1].Platform = "9";
    TTimetable& stp = f.EnteringTrain("1A06", 36000);
    stp.STP = true;
    f.sim->SimTime = 36000;
    invalid.MajorCycle();
    stp.MajorCycle();
    EXPECT_FALSE(invalid.Entered);
    EXPECT_FALSE(stp.Entered);
    f.sim->TrainEntry = nullptr;
    TTimetable& waiting = f.EnteringTrain("1A07", 36000);
    waiting.MajorCycle();
    EXPECT_FALSE(waiting.Entered);
    EXPECT_TRUE(f.trains.Entered.empty());
}

TEST(TimetableEntry, AsRequiredAtZeroPercentNeverRunsAtHundredAlways) {
    for (int percent : {0, 100}) {
        EntryFixture f;
        for (int i = 0; i < 50; ++i) {
            TTimetable& t = f.EnteringTrain("1Q" + std::to_string(i), 36000);
            t.AsRequired = true;
            t.AsRequiredPercent = percent;
        }
        f.sim->SimTime = 36000;
        f.sim->Timetable.MajorCycle();
        EXPECT_EQ(f.trains.Entered.size(), percent == 0 ? 0u : 50u);
    }
}

TEST(TimetableEntry, LateEntryWarningOnlyAtEntryTimeLessAMinuteAndOnlyOnce) {
    struct Case {
        std::int32_t Delay;
        bool Warned;
    };
    for (const Case& c : {Case{600, true}, Case{599, false}, Case{1000, true}}) {
        SCOPED_TRACE(c.Delay);
        EntryFixture f;
        TTimetable& t = f.EnteringTrain("2A", 36000);
        t.Delay = c.Delay;
        for (std::int32_t now = 35000; now < 36000; ++now) {
            f.sim->SimTime = now;
            t.MajorCycle();
            t.MajorCycle();
        }
        // The message line shows its text in capitals.
        const std::string expected = "TRAIN   2A WILL BE ABOUT " +
                                     std::to_string((c.Delay + 30) / 60) +
                                     " MINUTES LATE ENTERING YOUR AREA";
        int count = 0;
        for (const std::string& m : f.messages) count += m.find(expected) != std::string::npos;
        EXPECT_EQ(count, c.Warned ? 1 : 0);
        EXPECT_EQ(t.DelayWarned, c.Warned);
        EXPECT_EQ(f.trains.Incidents.size(), c.Warned ? 1u : 0u);
    }
}

}  // namespace
}  // namespace kestra
