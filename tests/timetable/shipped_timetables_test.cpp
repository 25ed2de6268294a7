// The area's shipped timetables read and every train validates on the built-in area.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "runner/timetable_tool.h"

namespace kestra {
namespace {

TEST(ShippedTimetables, EveryTrainOfTheBeginnersTimetableValidates) {
    std::ostringstream out, err;
    const int status = runner::RunTimetableTool(
        {"--timetable-check", std::string(KESTRA_SOURCE_DIR) + "/data/VLM/beginner.txt"}, out, err);
    EXPECT_EQ(status, 0) << out.str() << err.str();
    EXPECT_NE(out.str().find(" invalid 0\n"), std::string::npos) << out.str() << err.str();
}

}  // namespace
}  // namespace kestra
