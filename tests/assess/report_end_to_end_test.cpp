// The report of a day: the standard timetable runs headless under ARS with --report, and
// the files it writes are checked against the run: the punctuality CSV holds one row
// per timing-point report, each agreeing with the message the log shows; the analysis
// file is the analysis of the game as it ended, its buckets add up to the reports and
// its score's percentage is the panel's; and every line's graph is drawn from trains
// that ran on it, inside its distance and time.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "assess/time_distance.h"
#include "core/time_format.h"
#include "fakes/fakes.h"
#include "panel/panel.h"
#include "runner/headless.h"
#include "sim/sim.h"

namespace kestra {
namespace {

const std::string kTimetable = std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT";

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The message line shows its texts in capitals.
std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');) out.push_back(field);
    return out;
}

struct DayReport {
    int status = -1;
    std::string out, err;
    std::vector<TimeDistanceGraph> graphs;
    std::vector<std::string> analysis;
    std::string panelScore;
    std::int64_t timingReports = 0;
    std::filesystem::path folder;
};

DayReport RunDay(const std::string& until) {
    DayReport day;
    day.folder = std::filesystem::path(::testing::TempDir()) / "kestra_report_day";
    std::filesystem::remove_all(day.folder);
    runner::HeadlessOptions o;
    std::string error;
    if (!runner::ParseHeadlessArgs({"--timetable", kTimetable, "--ars", "all", "--seed", "4",
                                    "--until", until, "--log", "--report", day.folder.string()},
                                   o, error)) {
        day.err = error;
        return day;
    }
    test::RecordingSurface surface;
    o.Surface = &surface;
    // Every report goes to the message line, so the log shows each one.
    o.BeforeCycle = [](Sim& sim, std::vector<runner::HeadlessCommand>&) {
        sim.Options().LocationReporting = ReportAlways;
    };
    o.DrawGraph = [&](const TimeDistanceGraph& graph, const std::string& path, std::string&) {
        day.graphs.push_back(graph);
        std::ofstream(path) << graph.Name;
        return true;
    };
    o.AfterRun = [&](Sim& sim) {
        day.analysis = sim.Performance.AnalysisLines();
        sim.Display().RedrawStatus();
        day.panelScore = surface.RowText(StatusRow, ScoreColumn, ScoreCells);
        const TPerformance& p = sim.Performance;
        day.timingReports = p.PointsOnTime + p.PointsOneMinute + p.PointsTwoMinutes +
                            p.PointsThreeToFive + p.PointsOverFive;
    };
    std::ostringstream out, err;
    day.status = runner::RunHeadless(o, out, err);
    day.out = out.str();
    day.err = err.str();
    return day;
}

TEST(ReportEndToEnd, TheStandardDayUnderARSWritesAReportThatAgreesWithTheRun) {
    const DayReport day = RunDay("08:30");
    ASSERT_EQ(day.status, 0) << day.err;
    EXPECT_NE(day.out.find("errors_caught 0\n"), std::string::npos) << day.out;
    for (const char* name : {"analysis.txt", "punctuality.csv", "punctuality.txt",
                             "graph-down-main.png", "graph-up-main.png", "graph-branch.png"})
        EXPECT_TRUE(std::filesystem::exists(day.folder / name)) << name;

    // Every timing-point report of the log, in order.
    const std::regex report(
        R"(^(\d\d:\d\d:\d\d) (\S+) (arrived at|departed from|passed) (.+?) (on time|(\d+) min\(s\) (late|early))( \(.*\))?$)",
        std::regex::icase);
    std::vector<std::vector<std::string>> logged;
    for (const std::string& line : Lines(day.out)) {
        std::smatch m;
        if (!std::regex_match(line, m, report)) continue;
        std::int32_t minutes = 0;
        if (m[6].matched) minutes = std::stoi(m[6]) * (Upper(m[7]) == "EARLY" ? -1 : 1);
        logged.push_back({m[2], m[4], Upper(m[3]), m[1], std::to_string(minutes)});
    }
    const std::vector<std::string> csv = Lines(ReadFile(day.folder / "punctuality.csv"));
    ASSERT_FALSE(csv.empty());
    EXPECT_EQ(csv.front(), "train,location,event,booked,actual,minutes_late");
    ASSERT_GT(logged.size(), 50u) << "a morning's reports";
    ASSERT_EQ(csv.size() - 1, logged.size());
    EXPECT_EQ(static_cast<std::int64_t>(logged.size()), day.timingReports)
        << "one scored timing point per report";
    std::map<std::string, int> trains;
    for (std::size_t i = 0; i < logged.size(); ++i) {
        const std::vector<std::string> row = Split(csv[i + 1]);
        ASSERT_EQ(row.size(), 6u) << csv[i + 1];
        const std::vector<std::string>& l = logged[i];
        EXPECT_EQ(Upper(row[0]), l[0]) << csv[i + 1];
        EXPECT_EQ(Upper(row[1]), l[1]) << csv[i + 1];
        EXPECT_EQ(Upper(row[2]), l[2]) << csv[i + 1];
        EXPECT_EQ(row[4], l[3]) << csv[i + 1];
        EXPECT_EQ(row[5], l[4]) << csv[i + 1];
        // The booked time and the lateness agree: whole minutes of actual less booked.
        const std::int32_t late = (runner::ParseClockTime(row[4]) - runner::ParseClockTime(row[3]));
        EXPECT_EQ(late / 60, std::stoi(row[5])) << csv[i + 1];
        ++trains[row[0]];
    }
    EXPECT_GT(trains.size(), 10u);

    // The analysis file is the game's analysis; its buckets add up to the reports; its
    // score's percentage is the panel's.
    const std::vector<std::string> analysis = Lines(ReadFile(day.folder / "analysis.txt"));
    EXPECT_EQ(analysis, day.analysis);
    const std::string points =
        "Trains passing timing points: " + std::to_string(day.timingReports) +
        " total timing points";
    EXPECT_NE(std::find(analysis.begin(), analysis.end(), points), analysis.end()) << points;
    std::int64_t buckets = 0;
    for (std::size_t i = 0; i < analysis.size(); ++i) {
        std::smatch m;
        static const std::regex bucket(
            R"(^\t(On time|1 min late|2 mins late|5 mins late|Over 5 mins late): (\d+) \(\d+%\)$)");
        if (std::regex_match(analysis[i], m, bucket)) buckets += std::stoi(m[2]);
    }
    EXPECT_EQ(buckets, day.timingReports);
    ASSERT_FALSE(analysis.empty());
    std::smatch total;
    ASSERT_TRUE(std::regex_match(analysis.back(), total,
                                 std::regex(R"(^TOTAL SCORE \d+ OUT OF \d+ \((\d+)%\)$)")))
        << analysis.back();
    char panel[8];
    std::snprintf(panel, sizeof panel, "%3.3d%%", std::stoi(total[1]));
    EXPECT_EQ(day.panelScore, panel);

    // The graphs: each line's, from trains that ran on it, inside its length and the run.
    ASSERT_EQ(day.graphs.size(), 3u);
    for (const TimeDistanceGraph& g : day.graphs) {
        SCOPED_TRACE(g.Name);
        EXPECT_GT(g.LengthMetres, 2000);
        EXPECT_GE(g.Stations.size(), 4u);
        EXPECT_FALSE(g.Trains.empty());
        EXPECT_GE(g.FirstTime, 6 * 3600);
        // Booked times may lie beyond the run's end (a late train's later booked calls);
        // the actual running may not.
        int booked = 0;
        for (const GraphTrain& t : g.Trains) {
            booked += t.Booked.empty() ? 0 : 1;
            for (const auto& run : t.Actual) {
                ASSERT_FALSE(run.empty()) << t.Train;
                for (std::size_t i = 0; i < run.size(); ++i) {
                    EXPECT_GE(run[i].Metres, 0.0) << t.Train;
                    EXPECT_LE(run[i].Metres, g.LengthMetres) << t.Train;
                    EXPECT_LE(run[i].Time, 8 * 3600 + 30 * 60) << t.Train;
                    EXPECT_LE(run[i].Time, g.LastTime) << t.Train;
                    if (i > 0) {
                        EXPECT_GT(run[i].Time, run[i - 1].Time) << t.Train;
                    }
                }
            }
        }
        EXPECT_GT(booked, 0);
    }
    // The Down main's trains run away from the west: later, further.
    for (const GraphTrain& t : day.graphs[0].Trains)
        for (const auto& run : t.Actual)
            if (run.size() > 1) {
                EXPECT_GE(run.back().Metres, run.front().Metres) << t.Train;
            }
}

}  // namespace
}  // namespace kestra
