// A new simulation with a timetable: the file loaded, the clock at the start time, and
// every train's entry delay drawn against that clock.

#include "timetable/timetable_start.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The game takes a timetable file or the text form, told apart by content; the check
// and the game load through the same reader, so what one refuses the other does too.
TEST(TimetableStart, TheTextFormStartsAGameAsAFileDoes) {
    const fs::path dir = fs::temp_directory_path() / "kestra_start_text";
    fs::create_directories(dir);
    WriteText(dir / "day.txt",
              "name Text day\nstart 07:30\ncategory S speed 60 length 80\n"
              "train 2P01 S W 07:40\n  A 07:42 07:43\n  B 07:50 07:51 plat 1\n  C 08:00 -\n");
    TimetableFixture f;
    std::string error;
    ASSERT_TRUE(StartWithTimetable(*f.sim, (dir / "day.txt").string(), -1, &error)) << error;
    EXPECT_EQ(f.sim->Timetable.Name, "Text day");
    EXPECT_EQ(f.sim->SimTime, 7 * 3600 + 1800);
    EXPECT_EQ(f.sim->Timetable.Count(), 1);
    fs::remove_all(dir);
}

TEST(TimetableStart, EmptyOrTrainlessOrBrokenFilesAreRefusedByGameAndCheckAlike) {
    struct Case {
        const char* Name;
        std::string Bytes;
        std::string Error;
    };
    const Case cases[] = {
        {"empty", "", "the file is empty: there is no timetable in it"},
        {"blanks and a byte-order mark", "\xEF\xBB\xBF \r\n\n\t",
         "the file is empty: there is no timetable in it"},
        {"comments only", "# nothing yet\n",
         "there is no train in the file: a timetable needs at least one \"train\" line"},
        {"a text error", "train 1A05 - W 10:00\n",
         "line 1: train 1A05: maximum speed 0 mph is not 1 to 250: name a category (none "
         "(define one with a \"category\" line)) or give \"speed N\" (mph)"},
    };
    const fs::path dir = fs::temp_directory_path() / "kestra_start_refused";
    fs::create_directories(dir);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path path = dir / "t.txt";
        WriteText(path, c.Bytes);
        TimetableFixture f;
        f.sim->SimTime = 123;
        std::string error;
        EXPECT_FALSE(StartWithTimetable(*f.sim, path.string(), -1, &error));
        EXPECT_EQ(error, c.Error);
        EXPECT_EQ(f.sim->SimTime, 123);
        EXPECT_EQ(f.sim->Timetable.Count(), 0);
        std::vector<std::uint8_t> bytes(c.Bytes.begin(), c.Bytes.end());
        EXPECT_NE(DetectTimetableFormat(bytes), TimetableFormat::File);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kestra
