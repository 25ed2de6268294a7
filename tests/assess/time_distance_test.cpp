// The time-distance graph's data on the built-in area: the lines' distances from the
// paths, and each train's points coloured by its lateness.

#include "assess/time_distance.h"

#include <gtest/gtest.h>

#include "area/area_builder.h"
#include "area/area_graph_lines.h"
#include "fakes/fakes.h"
#include "interlocking/subroute.h"
#include "sim/sim.h"

namespace kestra {
namespace {

TEST(TimeDistance, EachLineRunsFromItsFirstPlaceToItsLastAlongItsDirection) {
    test::TestSim t;
    area::BuildArea(*t);
    for (const GraphLineSpec& graphLine : area::TimeDistanceLines()) {
        SCOPED_TRACE(graphLine.Name);
        const GraphLineGeometry g = BuildLineGeometry(*t, graphLine);
        ASSERT_EQ(g.Stations.size(), graphLine.Places.size());
        for (std::size_t i = 1; i < g.Stations.size(); ++i)
            EXPECT_GT(g.Stations[i].Metres, g.Stations[i - 1].Metres + 300)
                << g.Stations[i].Label << ": each section has track";
        EXPECT_DOUBLE_EQ(g.LengthMetres, g.Stations.back().Metres);
        int down = 0, up = 0;
        for (std::size_t k = 0; k < g.From.size(); ++k) {
            if (g.From[k] < 0) continue;
            EXPECT_LE(g.From[k], g.LengthMetres + 1e-6);
            EXPECT_LE(g.To[k], g.LengthMetres + 1e-6);
            EXPECT_GE(g.To[k], 0.0);
            (g.To[k] > g.From[k] ? down : up) += 1;
        }
        EXPECT_EQ(down > 0, graphLine.ShowDown);
        EXPECT_EQ(up > 0, graphLine.ShowUp);
    }
}

TEST(TimeDistance, PointsTakeTheLatenessOfTheLastReportOrOfTheBookedTimePassed) {
    test::TestSim t;
    area::BuildArea(*t);
    const GraphLineSpec graphLine = area::TimeDistanceLines().front();
    const GraphLineGeometry g = BuildLineGeometry(*t, graphLine);
    std::int32_t subroute = -1;
    for (std::size_t k = 0; k < g.From.size() && subroute < 0; ++k)
        if (g.From[k] >= 0) subroute = static_cast<std::int32_t>(k);
    ASSERT_GE(subroute, 0);
    TRunRecord& r = t->Record;
    r.Traces.push_back({"2A01", {{"OSTWK", 1000}, {"OSTWK", 1060}, {"VLMC", 2000}}});
    r.Traces.push_back({"2B02", {}});
    TimingReport report;
    report.Train = "2A01";
    report.Booked = 1000;
    report.Actual = 1250;
    report.MinutesLate = 4;
    report.Trace = 0;
    r.Reports.push_back(report);
    for (const std::int32_t time : {900, 1000, 1200, 1300, 1400, 1410, 2400})
        r.Samples.push_back({time, 0, subroute, 0.0f});
    r.Samples.push_back({2410, 1, subroute, 0.0f});  // another trace, no booking
    r.Samples.push_back({2420, 0, -1, 0.0f});        // off the line: ignored
    const TimeDistanceGraph graph = BuildTimeDistanceGraph(*t, graphLine);
    ASSERT_EQ(graph.Trains.size(), 2u);
    const GraphTrain& a = graph.Trains[0];
    EXPECT_EQ(a.Train, "2A01");
    // Samples more than three apart are not joined: only 1400 and 1410 make one line.
    ASSERT_EQ(a.Actual.size(), 6u);
    EXPECT_EQ(a.Actual[4].size(), 2u);
    std::vector<std::int32_t> late;
    for (const auto& run : a.Actual)
        for (const GraphPoint& p : run) late.push_back(p.MinutesLate);
    // 900, 1000: not yet due; 1200: 200 s past its booked 1000 with no report yet; 1300:
    // the report's 4; 1400, 1410: 340 and 350 s past the departure booked at 1060 after
    // that report; 2400: 1340 s past it.
    EXPECT_EQ(late, (std::vector<std::int32_t>{0, 0, 3, 4, 5, 5, 22}));
    ASSERT_EQ(a.Booked.size(), 3u);
    EXPECT_EQ(a.Booked[0].Metres, g.Stations[1].Metres);
    EXPECT_EQ(a.Booked[2].Metres, g.Stations[2].Metres);
    EXPECT_EQ(graph.FirstTime, 900);
    EXPECT_EQ(graph.LastTime, 2410);

    const std::pair<std::int32_t, int> bands[] = {{-3, 0}, {0, 0}, {1, 1}, {2, 1},
                                                  {3, 2},  {5, 2}, {6, 3}, {60, 3}};
    for (const auto& [minutes, band] : bands) EXPECT_EQ(LatenessBand(minutes), band) << minutes;
}

}  // namespace
}  // namespace kestra
