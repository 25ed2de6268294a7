// The timetable analysis: each kind of probable error it looks for, planted one at a
// time in an otherwise clean timetable, is reported with the train and the trip it lies
// in; and the location summary lists arrivals, departures and passes per platform.

#include "timetable/timetable_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "timetable_fixture.h"

namespace kestra {
namespace {

using testing_tt::TimetableFixture;

// 1A05 enters at W, calls at A and at B platform 1, and forms 2B01 there, which starts
// from B platform 1 and runs to C. Both are 200 m long and diesel.
struct CleanDay : TimetableFixture {
    TTimetable* In = nullptr;
    TTimetable* Out = nullptr;

    CleanDay() {
        In = &Train("1A05", W, 36000, {Trip(A, 36120, 36150), Trip(B, 36600, 36660, "1")});
        In->Description = "Express";
        In->Trips.Items[1].Activities.Items.push_back({ActNextTrain, "2B01"});
        Out = &Train("2B01", nullptr, 0, {Trip(B, 0, 37200, "1"), Trip(C, 37800, 37800)});
        Out->Description = "Stopper";
    }

    TTimetable& Train(const std::string& headcode, TENT* entry, std::int32_t time,
                      std::vector<TTimetableTrip> trips) {
        TTimetable& t = sim->Timetable.Create(*sim, headcode);
        t.EntryPoint = entry;
        t.EntryTime = time;
        t.MaxSpeed = 75;
        t.Length = 200;
        t.PowerTypes = PowerDiesel;
        t.Trips.Items = std::move(trips);
        return t;
    }
};

TEST(TimetableAnalysis, ACleanTimetableHasNoProblem) {
    CleanDay d;
    const TimetableAnalysis a = AnalyseTimetable(*d.sim);
    EXPECT_TRUE(a.Problems.empty()) << a.Problems.front();
}

TEST(TimetableAnalysis, EachPlantedFaultIsReportedWithItsTrainAndTrip) {
    struct Case {
        const char* Name;
        void (*Plant)(CleanDay&);
        std::vector<std::string> Problems;
    };
    const Case cases[] = {
        {"a train without trips",
         [](CleanDay& d) { d.Train("3X01", nullptr, 0, {}); },
         {"3X01: Invalid timetable data (Starting trip list must specify at least two key "
          "locations)",
          "3X01: Never used", "3X01: No trips defined"}},
        {"no power",
         [](CleanDay& d) { d.In->PowerTypes = 0; },
         {"1A05: No diesel/electric power defined"}},
        {"a stop at a place that is not a station",
         [](CleanDay& d) {
             d.T->NonStation = true;
             d.Out->Trips.Items.insert(d.Out->Trips.Items.begin() + 1, d.Trip(d.T, 37400, 37460));
         },
         {"2B01: Stops at non-station Tango (trip 2, Tango)"}},
        {"a pass there is no stop",
         [](CleanDay& d) {
             d.T->NonStation = true;
             TTimetableTrip pass = d.Trip(d.T, 0, 37400);
             pass.IsPass = true;
             d.Out->Trips.Items.insert(d.Out->Trips.Items.begin() + 1, pass);
         },
         {}},
        {"a next working that starts at another platform",
         [](CleanDay& d) { d.Out->Trips.Items[0].Platform = "2"; },
         {"1A05: Associated train 2B01 uses different platform (trip 2, Bravo)"}},
        {"a next working that starts at another location",
         [](CleanDay& d) {
             d.Out->Trips.Items = {d.Trip(d.A, 0, 37000), d.Trip(d.B, 37200, 37260, "1"),
                                   d.Trip(d.C, 37800, 37800)};
         },
         {"1A05: Associated train 2B01 starts from different location (trip 2, Bravo)"}},
        {"a join of trains of different lengths",
         [](CleanDay& d) {
             d.In->Trips.Items[1].Activities.Items[0].ActivityKind = ActJoins;
             d.Out->Length = 300;
         },
         {"1A05: Associated train 2B01 has a different length (trip 2, Bravo)"}},
        {"a divide naming a train that does not exist",
         [](CleanDay& d) {
             d.In->Trips.Items[1].Activities.Items[0] = {ActDividesNewRear, "9Z99"};
         },
         {"1A05: Associated train 9Z99 not defined (trip 2, Bravo)", "2B01: Never used"}},
        {"two next trains in one trip",
         [](CleanDay& d) {
             d.In->Trips.Items[1].Activities.Items.push_back({ActNextTrain, "2B01"});
         },
         {"1A05: More than one Next Train activity (trip 2, Bravo)",
          "2B01: Referenced by more than one train (1A05, 1A05)"}},
        {"a train formed by two trains",
         [](CleanDay& d) {
             TTimetable& other = d.Train(
                 "1A07", d.W, 36300, {d.Trip(d.A, 36420, 36450), d.Trip(d.B, 36900, 36960, "1")});
             other.Trips.Items[1].Activities.Items.push_back({ActNextTrain, "2B01"});
         },
         {"2B01: Referenced by more than one train (1A05, 1A07)"}},
        {"a path that does not exist",
         [](CleanDay& d) { d.In->Trips.Items[1].Platform = "3"; },
         {"1A05: Associated train 2B01 uses different platform (trip 2, Bravo)",
          "1A05: Invalid timetable data (Path not found from Alpha to Bravo using "
          "platform/line/path codes specified)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CleanDay d;
        c.Plant(d);
        EXPECT_EQ(AnalyseTimetable(*d.sim).Problems, c.Problems);
    }
}

TEST(TimetableAnalysis, TheAreaHookAddsLinesThatAreSortedIn) {
    CleanDay d;
    d.In->PowerTypes = 0;
    int calls = 0;
    d.sim->Hooks.AnalysisHook = [&](TTimetable& t, std::vector<std::string>& lines) {
        ++calls;
        if (t.ID == "2B01") lines.push_back("0A00: from the area");
    };
    const TimetableAnalysis a = AnalyseTimetable(*d.sim);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(a.Problems, (std::vector<std::string>{"0A00: from the area",
                                                    "1A05: No diesel/electric power defined"}));
}

TEST(TimetableAnalysis, TheReportListsEachPlatformsTrainsInTimeOrder) {
    CleanDay d;
    d.B->Platforms = {"1", "2"};
    const TimetableAnalysis a = AnalyseTimetable(*d.sim);
    const std::vector<std::string>& r = a.Report;
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(r[0], "*** ANALYSIS SUMMARY ***");
    EXPECT_EQ(r[1], "*** LOCATION SUMMARY ***");
    const auto bravo = std::find(r.begin(), r.end(), "BRAVO");
    ASSERT_NE(bravo, r.end());
    EXPECT_EQ(*(bravo - 1), std::string(40, '-'));
    // Platform 1: 1A05 arrives (its last trip: no departure listed), 2B01 departs (its
    // first trip: no arrival listed); platform 2 is empty.
    const std::vector<std::string> expected = {
        std::string(40, '-'),        "", "Platform 1", "", "10:10  A   1A05   Express",
        "10:20  D   2B01   Stopper", "", "Platform 2", "", ""};
    ASSERT_GE(r.end() - bravo, static_cast<std::ptrdiff_t>(expected.size() + 1));
    EXPECT_EQ(std::vector<std::string>(bravo + 1,
                                       bravo + 1 + static_cast<std::ptrdiff_t>(expected.size())),
              expected);

    const std::string path =
        (std::filesystem::temp_directory_path() / "kestra_tt_analysis.txt").string();
    ASSERT_TRUE(WriteAnalysisReport(path, r));
    std::ifstream in(path);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "*** ANALYSIS SUMMARY ***");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace kestra
