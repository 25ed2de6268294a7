#include "assess/performance.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/value_stream.h"
#include "fakes/fakes.h"
#include "sim/sim.h"
#include "sim/state_digest.h"
#include "timetable/timetable.h"
#include "trains/train.h"

namespace kestra {
namespace {

TEST(Performance, TimingPointScoreByMinutesLost) {
    struct Case {
        std::int32_t lost, score;
        std::int32_t TPerformance::*bucket;
    };
    const Case cases[] = {
        {-3, 10, &TPerformance::PointsOnTime},    {0, 10, &TPerformance::PointsOnTime},
        {1, 8, &TPerformance::PointsOneMinute},   {2, 4, &TPerformance::PointsTwoMinutes},
        {3, 2, &TPerformance::PointsThreeToFive}, {5, 2, &TPerformance::PointsThreeToFive},
        {6, 0, &TPerformance::PointsOverFive},    {60, 0, &TPerformance::PointsOverFive},
    };
    for (const Case& c : cases) {
        TPerformance p;
        p.ScoreTimingPoint(c.lost);
        EXPECT_EQ(p.MaxScore, 10) << c.lost;
        EXPECT_EQ(p.Score, c.score) << c.lost;
        EXPECT_EQ(p.*c.bucket, 1) << c.lost;
        const std::int32_t all = p.PointsOnTime + p.PointsOneMinute + p.PointsTwoMinutes +
                                 p.PointsThreeToFive + p.PointsOverFive;
        EXPECT_EQ(all, 1) << c.lost;
    }
}

TEST(Performance, MinutesLostInTheAreaDiscountEntryLateness) {
    struct Case {
        std::int32_t minutesLate, entryDelay, lost;
    };
    const Case cases[] = {
        {3, 180, 0},   // entered 3 late, still 3 late: full marks
        {5, 180, 2},   // 2 lost in the area: 4 points
        {0, -240, 0},  // entered early, on time
        {-2, 0, 0},    // early counts as 0
        {4, 59, 4},    // under a minute late on entry counts as 0
        {1, 300, -4},  // made up time: still full marks
    };
    for (const Case& c : cases)
        EXPECT_EQ(MinutesLostInArea(c.minutesLate, c.entryDelay), c.lost)
            << c.minutesLate << " late, entered " << c.entryDelay << " s";
    TPerformance p;
    p.ScoreTimingPoint(MinutesLostInArea(3, 180));
    p.ScoreTimingPoint(MinutesLostInArea(5, 180));
    EXPECT_EQ(p.Score, 10 + 4);
}

TEST(Performance, PlatformScore) {
    struct Case {
        PlatformScoreKind kind;
        std::int32_t score, correct, opposite, incorrect;
    };
    const Case cases[] = {
        {PlatformBooked, 5, 1, 0, 0}, {PlatformAdjacent, 3, 0, 1, 0}, {PlatformWrong, 0, 0, 0, 1}};
    for (const Case& c : cases) {
        TPerformance p;
        p.ScorePlatform(c.kind);
        EXPECT_EQ(p.MaxScore, 5);
        EXPECT_EQ(p.Score, c.score);
        EXPECT_EQ(p.PlatformCorrect, c.correct);
        EXPECT_EQ(p.PlatformOpposite, c.opposite);
        EXPECT_EQ(p.PlatformIncorrect, c.incorrect);
    }
}

TEST(Performance, PenaltiesNeverTakeTheScoreBelowZero) {
    struct Case {
        std::int32_t score, points, left;
    };
    const Case cases[] = {{30, 50, 0}, {50, 50, 0}, {51, 50, 1}, {0, 1, 0}, {200, 10, 190}};
    for (const Case& c : cases) {
        TPerformance p;
        p.Score = c.score;
        p.Penalise(c.points);
        EXPECT_EQ(p.Score, c.left) << c.score << " - " << c.points;
    }
}

TEST(Performance, MinutesAccountAgainstEntryLateness) {
    struct Case {
        std::int32_t entryDelay, lateness, lost, recovered;
    };
    const Case cases[] = {
        {0, 300, 5, 0}, {240, 60, 0, 3}, {-300, 0, 0, 0}, {119, 60, 0, 0}, {0, 59, 0, 0},
    };
    for (const Case& c : cases) {
        test::TestSim t;
        TTimetable timetable(*t, "1A01");
        TTRN& train = t->Trains.Create("1A01");
        train.SetTimetable(&timetable);
        train.Timetable->Delay = c.entryDelay;
        train.Lateness = c.lateness;
        TPerformance p;
        p.AccountMinutes(train);
        EXPECT_EQ(p.MinutesLost, c.lost) << c.entryDelay << " " << c.lateness;
        EXPECT_EQ(p.MinutesRecovered, c.recovered) << c.entryDelay << " " << c.lateness;
    }
    // Without a timetable there is nothing to account.
    test::TestSim t;
    TTRN& bare = t->Trains.Create("1A02");
    bare.Lateness = 600;
    TPerformance p;
    p.AccountMinutes(bare);
    EXPECT_EQ(p.MinutesLost, 0);
}

// Each account charges only the change since the train's previous one: a train kept
// 5 minutes late through three stops has lost 5 minutes, not 15.
TEST(Performance, EachAccountChargesOnlyTheChangeSinceTheLast) {
    struct Step {
        std::int32_t lateness, lost, recovered;  // lateness, then the totals after
    };
    struct Case {
        const char* name;
        std::int32_t entryDelay;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"kept late", 0, {{300, 5, 0}, {300, 5, 0}, {300, 5, 0}}},
        {"later and later", 0, {{120, 2, 0}, {300, 5, 0}, {420, 7, 0}}},
        {"made up time", 0, {{420, 7, 0}, {180, 7, 4}, {180, 7, 4}}},
        {"entered late, lost more", 240, {{240, 0, 0}, {360, 2, 0}, {360, 2, 0}}},
        {"entered late, recovered", 300, {{120, 0, 3}, {120, 0, 3}, {0, 0, 5}}},
    };
    for (const Case& c : cases) {
        test::TestSim t;
        TTimetable timetable(*t, "1A01");
        TTRN& train = t->Trains.Create("1A01");
        train.SetTimetable(&timetable);
        train.Timetable->Delay = c.entryDelay;
        TPerformance p;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            train.Lateness = c.steps[i].lateness;
            p.AccountMinutes(train);
            EXPECT_EQ(p.MinutesLost, c.steps[i].lost) << c.name << ", account " << i + 1;
            EXPECT_EQ(p.MinutesRecovered, c.steps[i].recovered) << c.name << ", account " << i + 1;
        }
    }
    // A next service starts its own account from its own lateness on entry.
    test::TestSim t;
    TTimetable first(*t, "2A01"), next(*t, "2A02");
    TTRN& train = t->Trains.Create("2A01");
    train.SetTimetable(&first);
    train.Timetable->Delay = 0;
    train.Lateness = 300;
    TPerformance p;
    p.AccountMinutes(train);
    train.SetTimetable(&next);
    train.Timetable->Delay = 300;
    p.AccountMinutes(train);
    EXPECT_EQ(p.MinutesLost, 5);
    EXPECT_EQ(p.MinutesRecovered, 0);
}

TEST(Performance, SavedRecordIsTheEighteenCountersInOrder) {
    TPerformance p;
    std::int32_t TPerformance::*order[] = {&TPerformance::MinutesLost,
                                           &TPerformance::MinutesRecovered,
                                           &TPerformance::RoutesCancelledApproaching,
                                           &TPerformance::WrongRoutes,
                                           &TPerformance::PointsOnTime,
                                           &TPerformance::PointsOneMinute,
                                           &TPerformance::PointsTwoMinutes,
                                           &TPerformance::PointsThreeToFive,
                                           &TPerformance::PointsOverFive,
                                           &TPerformance::PlatformCorrect,
                                           &TPerformance::PlatformOpposite,
                                           &TPerformance::PlatformIncorrect,
                                           &TPerformance::JoinsAbandoned,
                                           &TPerformance::TrainsRemoved,
                                           &TPerformance::TrainsShortened,
                                           &TPerformance::Score,
                                           &TPerformance::MaxScore,
                                           &TPerformance::OtherPointsLost};
    for (int i = 0; i < 18; ++i) p.*order[i] = 100 + i;
    ValueWriter w;
    ASSERT_TRUE(p.Save(w));
    const std::vector<std::uint8_t> bytes = w.TakeBytes();
    ValueReader r(bytes);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(r.ReadInteger(), 100 + i) << "counter " << i;
    EXPECT_EQ(r.Remaining(), 0u);

    TPerformance back;
    ValueReader again(bytes);
    ASSERT_TRUE(back.Load(again));
    for (int i = 0; i < 18; ++i) EXPECT_EQ(back.*order[i], 100 + i) << "counter " << i;
}

TEST(Performance, AShortRecordLeavesTheCountersAlone) {
    ValueWriter w;
    for (int i = 0; i < 17; ++i) w.WriteInteger(7);
    const std::vector<std::uint8_t> bytes = w.TakeBytes();
    TPerformance p;
    p.Score = 33;
    p.MaxScore = 40;
    ValueReader r(bytes);
    EXPECT_FALSE(p.Load(r));
    EXPECT_EQ(p.Score, 33);
    EXPECT_EQ(p.MaxScore, 40);
    EXPECT_EQ(p.MinutesLost, 0);
}

TEST(Performance, AnalysisLines) {
    TPerformance p;
    p.PointsOnTime = 6;
    p.PointsOneMinute = 1;
    p.PointsTwoMinutes = 1;
    p.PointsThreeToFive = 1;
    p.PointsOverFive = 0;
    p.MinutesLost = 7;
    p.MinutesRecovered = 2;
    p.PlatformCorrect = 2;
    p.PlatformOpposite = 1;
    p.WrongRoutes = 3;
    p.OtherPointsLost = 10;
    p.Score = 85;
    p.MaxScore = 105;
    const std::vector<std::string> expected = {
        "Analysis of your performance and score",
        "",
        "Trains passing timing points: 9 total timing points",
        "\tOn time: 6 (67%)",
        "\t1 min late: 1 (11%)",
        "\t2 mins late: 1 (11%)",
        "\t5 mins late: 1 (11%)",
        "\tOver 5 mins late: 0 (0%)",
        "",
        "Minutes lost/gained overall:",
        "\tTotal minutes lost by you: 7",
        "\tTotal minutes recovered by you: 2",
        "",
        "Trains using the correct platforms: 3 occasions",
        "\tCorrect: 2 (67%)",
        "\tOpposite: 1 (33%)",
        "\tIncorrect: 0 (0%)",
        "",
        "Miscellaneous:",
        "\tTotal routes cancelled with trains approaching: 0",
        "\tTotal wrong routes set for trains: 3",
        "\tTotal joining moves abandoned: 0",
        "\tTotal trains removed: 0",
        "\tTotal trains shortened: 0",
        "\tOther points lost: 10",
        "",
        "TOTAL SCORE 85 OUT OF 105 (81%)",
    };
    EXPECT_EQ(p.AnalysisLines(), expected);
}

TEST(Performance, AnEmptyAnalysisHasNoBreakdownsAndNoTotal) {
    const std::vector<std::string> lines = TPerformance{}.AnalysisLines();
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find('%'), std::string::npos) << line;
        EXPECT_EQ(line.find("TOTAL SCORE"), std::string::npos) << line;
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Trains passing timing points: 0 total timing points");
}

TEST(Performance, StateDigestCoversEveryCounter) {
    test::TestSim t;
    const std::string before = StateDigest(*t);
    t->Performance.TrainsShortened = 1;
    EXPECT_NE(StateDigest(*t), before);
}

}  // namespace
}  // namespace kestra
