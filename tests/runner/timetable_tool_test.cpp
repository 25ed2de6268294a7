// The timetable commands on the built-in area: the check and the analysis load a file as
// the game does and say by their exit status whether it is sound; the authoring commands
// write a timetable that loads and validates.

#include "runner/timetable_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "sim/sim.h"
#include "timetable/timetable.h"
#include "timetable/timetable_start.h"
#include "timetable/timetable_validate.h"

namespace kestra {
namespace {

namespace fs = std::filesystem;
const std::string kData = std::string(KESTRA_SOURCE_DIR) + "/data/VLM/";

struct ToolRun {
    int Status = -1;
    std::string Out, Err;
};

ToolRun RunTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    ToolRun r;
    r.Status = runner::RunTimetableTool(args, out, err);
    r.Out = out.str();
    r.Err = err.str();
    return r;
}

struct TempDir {
    // A folder of each test's own: ctest runs the tests side by side.
    fs::path Path = fs::temp_directory_path() /
                    ("kestra_tool_test_" +
                     std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    TempDir() {
        fs::remove_all(Path);
        fs::create_directories(Path);
    }
    ~TempDir() { fs::remove_all(Path); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path / name, std::ios::binary) << text;
        return (Path / name).string();
    }
};

TEST(TimetableTool, CheckAndAnalyseSayByTheirStatusWhetherTheFileIsSound) {
    TempDir dir;
    const std::string empty = dir.Write("empty.txt", "");
    const std::string invalid =
        dir.Write("invalid.txt",
                  "category S speed 60 length 80 power diesel\ntrain 2D99 S WEST 07:00\n"
                  "  OSTWK 07:02 07:03 plat 1\n  HRNF 07:20 07:21 plat 1\n");
    struct Case {
        std::vector<std::string> Args;
        int Status;
        std::string Says;  // in the output or the errors
    };
    const Case cases[] = {
        {{"--timetable-check", empty}, 1, "the file is empty"},
        {{"--timetable-analyse", empty}, 1, "the file is empty"},
        {{"--timetable-check", invalid}, 1, "what to do: give the two trips"},
        {{"--timetable-analyse", invalid}, 1, "2D99: Invalid timetable data (Path not found"},
        {{"--timetable-analyse", kData + "tunnel.txt"}, 0, "*** LOCATION SUMMARY ***"},
        {{"--timetable-analyse", kData + "beginner.txt"},
         1,
         "6Q01: Stops at non-station Ostwick Yard"},
        {{"--timetable-repeat", kData + "beginner.txt", "2D08", "x", "30", "out.txt"},
         2,
         "COUNT must be"},
        {{"--timetable-return", kData + "beginner.txt", "9Z99", "2U51", "5", "out.txt"},
         1,
         "no train 9Z99 in the timetable"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args[0] + " " + c.Args[1]);
        const ToolRun r = RunTool(c.Args);
        EXPECT_EQ(r.Status, c.Status) << r.Err;
        EXPECT_NE((r.Out + r.Err).find(c.Says), std::string::npos) << r.Out << r.Err;
    }
}

TEST(TimetableTool, RepeatAndReturnWriteATimetableThatLoadsAndValidates) {
    TempDir dir;
    const std::string more = (dir.Path / "more.txt").string();
    ToolRun r = RunTool({"--timetable-repeat", kData + "beginner.txt", "2D08", "3", "30", more});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out,
              "added 2D09 entering 09:15\nadded 2D10 entering 09:45\nadded 2D11 entering 10:15\n");
    r = RunTool({"--timetable-return", more, "2D08", "2U51", "5", more, "EAST"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    // Without the entry point, the two that lead to Harnforth are named.
    const ToolRun ambiguous = RunTool({"--timetable-return", more, "2D08", "2U52", "5", more});
    EXPECT_EQ(ambiguous.Status, 1);
    EXPECT_NE(ambiguous.Err.find("(EAST, QUARRY): say which one"), std::string::npos)
        << ambiguous.Err;
    Sim sim;
    area::BuildArea(sim);
    std::string error;
    ASSERT_TRUE(LoadAnyTimetable(sim, more, &error)) << error;
    EXPECT_EQ(sim.Timetable.Count(), 26 + 4);
    sim.Timetable.ForEach([&](TTimetable& t) {
        std::string message;
        EXPECT_TRUE(Validate(t, message)) << t.ID << ": " << message;
    });
    EXPECT_NE(sim.Timetable.FindID("2U51"), nullptr);
}

}  // namespace
}  // namespace kestra
