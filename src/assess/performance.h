#pragma once
// The signaller's performance: a points score against the most that could have been
// scored, penalties for bad handling, and the counters of the analysis. One set of
// counters per simulation, all 0 when a new simulation starts.

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

class TTRN;
class ValueReader;
class ValueWriter;

// How the platform a train stopped at compares with the booked one.
enum PlatformScoreKind : std::uint8_t {
    PlatformBooked = 0,
    PlatformAdjacent = 1,
    PlatformWrong = 2,
};

// Points each event costs.
inline constexpr std::int32_t kWrongRoutePenalty = 10;
inline constexpr std::int32_t kGoodsLinePenalty = 50;
inline constexpr std::int32_t kWrongRouteStandingPenalty = 1;
inline constexpr std::int32_t kRouteCancelledPenalty = 50;
inline constexpr std::int32_t kJoinAbandonedPenalty = 25;
inline constexpr std::int32_t kTrainRemovedPenalty = 50;
inline constexpr std::int32_t kTrainShortenedPenalty = 50;

struct TPerformance {
    // --- counters, in the order of the saved record
    std::int32_t MinutesLost = 0;
    std::int32_t MinutesRecovered = 0;
    std::int32_t RoutesCancelledApproaching = 0;
    std::int32_t WrongRoutes = 0;
    std::int32_t PointsOnTime = 0;
    std::int32_t PointsOneMinute = 0;
    std::int32_t PointsTwoMinutes = 0;
    std::int32_t PointsThreeToFive = 0;
    std::int32_t PointsOverFive = 0;
    std::int32_t PlatformCorrect = 0;
    std::int32_t PlatformOpposite = 0;
    std::int32_t PlatformIncorrect = 0;
    std::int32_t JoinsAbandoned = 0;
    std::int32_t TrainsRemoved = 0;
    std::int32_t TrainsShortened = 0;
    std::int32_t Score = 0;
    std::int32_t MaxScore = 0;
    std::int32_t OtherPointsLost = 0;

    static constexpr int kCounterCount = 18;

    void Reset() { *this = TPerformance{}; }

    // A report at a timing point with minutesLost minutes lost in the area (the
    // lateness there less the lateness on entry, each negative counting as 0).
    void ScoreTimingPoint(std::int32_t minutesLost);
    // A stop at a trip's booked platform, one facing it, or another.
    void ScorePlatform(PlatformScoreKind kind);
    // Takes points off the score, never below 0.
    void Penalise(std::int32_t points);
    // The minutes-lost account of a train with a timetable: its lateness at its last
    // departure or pass against the lateness of its previous account (its lateness on
    // entry the first time), so each minute is charged or credited once.
    void AccountMinutes(TTRN& train);

    // The 18 counters in order.
    bool Save(ValueWriter& writer) const;
    // Reads the 18 counters; on a bad record the counters stay as they were.
    bool Load(ValueReader& reader);

    // The lines of the analysis window.
    std::vector<std::string> AnalysisLines() const;
    // The counts behind the score, from the timing points to the miscellaneous points
    // lost, ending in a blank line: the analysis window and the assessor's report both
    // show them.
    std::vector<std::string> ScoringLines() const;
};

// Whole minutes the minutes-late figure lost in the area: the lateness at a point less
// the lateness on entry, negative figures counting as 0 on both sides.
std::int32_t MinutesLostInArea(std::int32_t minutesLate, std::int32_t entryDelaySeconds);

}  // namespace kestra
