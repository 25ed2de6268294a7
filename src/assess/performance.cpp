#include "assess/performance.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "core/value_stream.h"
#include "trains/train.h"

namespace kestra {

namespace {

// The counters in the order of the saved record.
std::array<std::int32_t*, TPerformance::kCounterCount> CountersOf(TPerformance& p) {
    return {&p.MinutesLost,
            &p.MinutesRecovered,
            &p.RoutesCancelledApproaching,
            &p.WrongRoutes,
            &p.PointsOnTime,
            &p.PointsOneMinute,
            &p.PointsTwoMinutes,
            &p.PointsThreeToFive,
            &p.PointsOverFive,
            &p.PlatformCorrect,
            &p.PlatformOpposite,
            &p.PlatformIncorrect,
            &p.JoinsAbandoned,
            &p.TrainsRemoved,
            &p.TrainsShortened,
            &p.Score,
            &p.MaxScore,
            &p.OtherPointsLost};
}

// Nearest whole per cent of part in whole.
int Percent(std::int32_t part, std::int32_t whole) {
    return static_cast<int>(std::lround(part * 100.0 / whole));
}

std::string Format(const char* format, std::int32_t a) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a);
    return buf;
}

std::string Format(const char* format, std::int32_t a, std::int32_t b) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

std::string Format(const char* format, std::int32_t a, std::int32_t b, std::int32_t c) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

}  // namespace

std::int32_t MinutesLostInArea(std::int32_t minutesLate, std::int32_t entryDelaySeconds) {
    const std::int32_t late = minutesLate < 0 ? 0 : minutesLate;
    const std::int32_t entry = entryDelaySeconds < 0 ? 0 : entryDelaySeconds / 60;
    return late - entry;
}

void TPerformance::ScoreTimingPoint(std::int32_t minutesLost) {
    MaxScore += 10;
    if (minutesLost <= 0) {
        Score += 10;
        ++PointsOnTime;
    } else if (minutesLost == 1) {
        Score += 8;
        ++PointsOneMinute;
    } else if (minutesLost == 2) {
        Score += 4;
        ++PointsTwoMinutes;
    } else if (minutesLost <= 5) {
        Score += 2;
        ++PointsThreeToFive;
    } else {
        ++PointsOverFive;
    }
}

void TPerformance::ScorePlatform(PlatformScoreKind kind) {
    MaxScore += 5;
    switch (kind) {
        case PlatformBooked:
            Score += 5;
            ++PlatformCorrect;
            break;
        case PlatformAdjacent:
            Score += 3;
            ++PlatformOpposite;
            break;
        default:
            ++PlatformIncorrect;
            break;
    }
}

void TPerformance::Penalise(std::int32_t points) {
    Score = Score > points ? Score - points : 0;
}

void TPerformance::AccountMinutes(TTRN& train) {
    if (!train.Timetable) return;
    const std::int32_t a = train.MinutesAccounted >= 0 ? train.MinutesAccounted
                           : train.Timetable->Delay < 0 ? 0
                                                        : train.Timetable->Delay / 60;
    const std::int32_t b = train.Lateness / 60;
    if (b > a) MinutesLost += b - a;
    if (b < a) MinutesRecovered += a - b;
    train.MinutesAccounted = b < 0 ? 0 : b;
}

bool TPerformance::Save(ValueWriter& writer) const {
    TPerformance copy = *this;
    try {
        for (std::int32_t* counter : CountersOf(copy)) writer.WriteInteger(*counter);
    } catch (const WriteError&) {
        return false;
    }
    return true;
}

bool TPerformance::Load(ValueReader& reader) {
    TPerformance read;
    try {
        for (std::int32_t* counter : CountersOf(read)) *counter = reader.ReadInteger();
    } catch (const ReadError&) {
        return false;
    }
    *this = read;
    return true;
}

std::vector<std::string> TPerformance::ScoringLines() const {
    std::vector<std::string> lines;
    const std::int32_t t =
        PointsOnTime + PointsOneMinute + PointsTwoMinutes + PointsThreeToFive + PointsOverFive;
    lines.push_back(Format("Trains passing timing points: %d total timing points", t));
    if (t > 0) {
        lines.push_back(Format("\tOn time: %d (%d%%)", PointsOnTime, Percent(PointsOnTime, t)));
        lines.push_back(
            Format("\t1 min late: %d (%d%%)", PointsOneMinute, Percent(PointsOneMinute, t)));
        lines.push_back(
            Format("\t2 mins late: %d (%d%%)", PointsTwoMinutes, Percent(PointsTwoMinutes, t)));
        // The bucket counts 3 to 5 minutes; its label has always said 5.
        lines.push_back(
            Format("\t5 mins late: %d (%d%%)", PointsThreeToFive, Percent(PointsThreeToFive, t)));
        lines.push_back(
            Format("\tOver 5 mins late: %d (%d%%)", PointsOverFive, Percent(PointsOverFive, t)));
    }
    lines.emplace_back();

    lines.emplace_back("Minutes lost/gained overall:");
    lines.push_back(Format("\tTotal minutes lost by you: %d", MinutesLost));
    lines.push_back(Format("\tTotal minutes recovered by you: %d", MinutesRecovered));
    lines.emplace_back();

    const std::int32_t p = PlatformCorrect + PlatformOpposite + PlatformIncorrect;
    lines.push_back(Format("Trains using the correct platforms: %d occasions", p));
    if (p > 0) {
        lines.push_back(
            Format("\tCorrect: %d (%d%%)", PlatformCorrect, Percent(PlatformCorrect, p)));
        lines.push_back(
            Format("\tOpposite: %d (%d%%)", PlatformOpposite, Percent(PlatformOpposite, p)));
        lines.push_back(
            Format("\tIncorrect: %d (%d%%)", PlatformIncorrect, Percent(PlatformIncorrect, p)));
    }
    lines.emplace_back();

    lines.emplace_back("Miscellaneous:");
    lines.push_back(
        Format("\tTotal routes cancelled with trains approaching: %d", RoutesCancelledApproaching));
    lines.push_back(Format("\tTotal wrong routes set for trains: %d", WrongRoutes));
    lines.push_back(Format("\tTotal joining moves abandoned: %d", JoinsAbandoned));
    lines.push_back(Format("\tTotal trains removed: %d", TrainsRemoved));
    lines.push_back(Format("\tTotal trains shortened: %d", TrainsShortened));
    lines.push_back(Format("\tOther points lost: %d", OtherPointsLost));
    lines.emplace_back();

    return lines;
}

std::vector<std::string> TPerformance::AnalysisLines() const {
    std::vector<std::string> lines;
    lines.emplace_back("Analysis of your performance and score");
    lines.emplace_back();
    for (std::string& line : ScoringLines()) lines.push_back(std::move(line));

    if (MaxScore >= 1)
        lines.push_back(
            Format("TOTAL SCORE %d OUT OF %d (%d%%)", Score, MaxScore, Percent(Score, MaxScore)));
    return lines;
}

}  // namespace kestra
