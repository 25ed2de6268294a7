// A new simulation with a timetable: the file loaded, the clock at the start time, and
// every train's entry delay drawn against that clock.

#include "timetable/timetable_start.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "timetable/timetable_file.h"
#include "timetable_fixture.h"

namespace kestra {
namespace {

namespace fs = std::filesystem;
using testing_tt::TimetableFixture;

// A timetable 07:00 to 09:00 with an early train (06:30), a passenger train (07:10) and
// a freight train (07:30), saved to a file.
std::string SavedTimetable(const fs::path& dir) {
    TimetableFixture source;
    source.sim->Timetable.StartTime = 7 * 3600;
    source.sim->Timetable.FinishTime = 9 * 3600;
    source.EnteringTrain("2E01", 6 * 3600 + 30 * 60);
    source.EnteringTrain("2P01", 7 * 3600 + 10 * 60);
    source.EnteringTrain("6F01", 7 * 3600 + 30 * 60);
    fs::create_directories(dir);
    const std::string path = (dir / "start.WTT").string();
    EXPECT_TRUE(SaveTimetableFile(*source.sim, path));
    return path;
}

TEST(TimetableStart, TheClockStartsAtTheTimetablesStartAndDelaysAreDrawn) {
    const fs::path dir = fs::temp_directory_path() / "kestra_tt_start_own";
    const std::string path = SavedTimetable(dir);
    TimetableFixture f;
    f.sim->Options().DelayProbability = 0;
    ASSERT_TRUE(StartWithTimetable(*f.sim, path, -1));
    EXPECT_EQ(f.sim->SimTime, 7 * 3600);
    ASSERT_EQ(f.sim->Timetable.Count(), 3);
    // The train due before the start never enters; the others wait.
    EXPECT_TRUE(f.sim->Timetable.FindID("2E01")->Entered);
    EXPECT_FALSE(f.sim->Timetable.FindID("2P01")->Entered);
    EXPECT_FALSE(f.sim->Timetable.FindID("6F01")->Entered);
    // A freight-class train always draws a delay, and none of its draws is zero; with
    // probability 0 a passenger train draws none.
    EXPECT_NE(f.sim->Timetable.FindID("6F01")->Delay, 0);
    EXPECT_EQ(f.sim->Timetable.FindID("2P01")->Delay, 0);
    fs::remove_all(dir);
}

TEST(TimetableStart, AGivenStartTimeCountsForTheDelays) {
    const fs::path dir = fs::temp_directory_path() / "kestra_tt_start_given";
    const std::string path = SavedTimetable(dir);
    TimetableFixture f;
    ASSERT_TRUE(StartWithTimetable(*f.sim, path, 7 * 3600 + 20 * 60));
    EXPECT_EQ(f.sim->SimTime, 7 * 3600 + 20 * 60);
    EXPECT_TRUE(f.sim->Timetable.FindID("2P01")->Entered);
    EXPECT_FALSE(f.sim->Timetable.FindID("6F01")->Entered);
    fs::remove_all(dir);
}

TEST(TimetableStart, AFileThatDoesNotLoadChangesNothing) {
    TimetableFixture f;
    f.sim->SimTime = 123;
    std::string error;
    EXPECT_FALSE(StartWithTimetable(
        *f.sim, (fs::temp_directory_path() / "kestra_no_such_timetable.WTT").string(), -1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(f.sim->SimTime, 123);
    EXPECT_EQ(f.sim->Timetable.Count(), 0);
}

}  // namespace
}  // namespace kestra
