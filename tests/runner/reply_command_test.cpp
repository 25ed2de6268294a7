// The headless runner's "reply" command on the built-in area: a train held at its
// starting signal telephones, the commands file answers it, and the log shows the call,
// the reply and the train's call again after the wait it was given.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "fakes/invariant_harness.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_text.h"

namespace kestra {
namespace {

// One train from the west, routed into Ostwick and no further: it stands at the
// platform's starting signal (SVM3) once its time is up.
const char* const kTimetable = R"(name Calls
description One train held at a red signal.
start 07:00
finish 09:00

category STOP accel 3 speed 75 length 80 power diesel desc Stopping passenger

train 2D01 STOP WEST 07:00
  OSTWK  07:01 07:02 plat 1 line DM
  VLMC   07:07 07:09 plat 2 line DM
)";

std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

// Seconds of the clock at the start of each log line that contains text.
std::vector<std::int32_t> TimesOf(const std::string& log, const std::string& text) {
    std::vector<std::int32_t> times;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.find(text) != std::string::npos && line.size() > 8)
            times.push_back(runner::ParseClockTime(line.substr(0, 8)));
    }
    return times;
}

TEST(HeadlessReply, AnsweringAHeldDriverFromTheCommandsFile) {
    std::string error;
    const std::string wtt = ::testing::TempDir() + "kestra_calls.wtt";
    {
        Sim sim;
        area::BuildArea(sim);
        ASSERT_TRUE(ImportTimetableText(sim, kTimetable, error)) << error;
        ASSERT_TRUE(SaveTimetableFile(sim, wtt));
    }
    const std::string commands = WriteFile("kestra_calls.cmd",
                                           "07:00:00 route SVM1 SVM3\n"
                                           "07:00:30 reply 2D01 1\n"
                                           "07:07:00 reply 9Z99 1\n"
                                           "07:07:00 reply 2D01 2\n");
    runner::HeadlessOptions options;
    ASSERT_TRUE(runner::ParseHeadlessArgs(
        {"--timetable", wtt, "--commands", commands, "--until", "07:16", "--seed", "5", "--log",
         "--ars", "none", "--no-entry-delays"},
        options, error))
        << error;
    test::InvariantHarness harness({.Calls = true, .Limit = 10});
    harness.Attach(options);
    std::ostringstream out, err;
    ASSERT_EQ(runner::RunHeadless(options, out, err), 0) << err.str();
    for (const std::string& b : harness.Broken()) ADD_FAILURE() << b;
    const std::string log = out.str();

    // Before the train phoned, and to a train that is not there, the reply is refused.
    EXPECT_NE(err.str().find("line 2: refused: no call from 2D01"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("line 3: refused: no call from 9Z99"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("line 4"), std::string::npos) << err.str();

    const auto calls = TimesOf(log, "incident: Driver of 2D01 waiting at red signal VM3");
    const auto replies =
        TimesOf(log, "TRAIN 2D01: WAIT 5 MINUTES FOR SIGNAL TO CLEAR BEFORE PHONING BACK");
    ASSERT_EQ(calls.size(), 2u) << log;
    ASSERT_EQ(replies.size(), 1u) << log;
    EXPECT_LT(calls[0], replies[0]);
    EXPECT_EQ(replies[0], 7 * 3600 + 7 * 60);
    EXPECT_GE(calls[1] - replies[0], 300) << log;
    EXPECT_LE(calls[1] - replies[0], 359) << log;
}

}  // namespace
}  // namespace kestra
