// The headless runner: its options and commands files, reproducible runs, and the
// golden run of the built-in area compared with its stored result.

#include "runner/headless.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fakes/golden.h"

namespace kestra::runner {
namespace {

const std::string kGolden = std::string(KESTRA_SOURCE_DIR) + "/tests/golden/";

struct RunResult {
    int Status;
    std::string Out;
    std::string Err;
};

RunResult RunArgs(const std::vector<std::string>& args) {
    HeadlessOptions options;
    std::string error;
    if (!ParseHeadlessArgs(args, options, error)) return {-1, "", error};
    std::ostringstream out, err;
    const int status = RunHeadless(options, out, err);
    return {status, out.str(), err.str()};
}

std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

TEST(HeadlessRunner, ClockTimes) {
    const struct {
        const char* Text;
        std::int32_t Seconds;
    } cases[] = {{"06:00", 21600},    {"06:00:30", 21630}, {"00:00:00", 0},  {"25:10", 90600},
                 {"6:00", -1},        {"06:60", -1},       {"06:00:60", -1}, {"06", -1},
                 {"06:00:00:00", -1}, {"ab:cd", -1},       {"", -1},         {"06:00x", -1}};
    for (const auto& c : cases) EXPECT_EQ(ParseClockTime(c.Text), c.Seconds) << c.Text;
}

TEST(HeadlessRunner, BadOptionsAreRefused) {
    const std::vector<std::vector<std::string>> cases = {
        {"--seed", "7"},               // neither --ticks nor --until
        {"--ticks"},                   // no value
        {"--ticks", "-3"},             // negative
        {"--ticks", "12x"},            // not a number
        {"--until", "6pm"},            // not a time
        {"--ticks", "1", "--colour"},  // unknown option
    };
    for (const auto& args : cases) {
        HeadlessOptions o;
        std::string error;
        EXPECT_FALSE(ParseHeadlessArgs(args, o, error)) << args.back();
        EXPECT_FALSE(error.empty());
    }
}

TEST(HeadlessRunner, CommandFileErrorsNameTheirLine) {
    const struct {
        const char* Text;
        const char* Error;
    } cases[] = {
        {"06:00:00 route SVM1 SVM3\n06:00:01 fly SVM1\n", "line 2: unknown command fly"},
        {"# comment\n\n06:00 route SVM1\n", "line 3: usage: route ENTRANCE EXIT"},
        {"06:00:10 cancel SVM1\n06:00:05 cancel SVM3\n", "line 2: time goes backwards"},
        {"6.00 cancel SVM1\n", "line 1: bad time 6.00"},
        {"06:00:10\n", "line 1: no command"},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.Text);
        std::vector<HeadlessCommand> commands;
        std::string error;
        EXPECT_FALSE(ParseCommands(in, commands, error)) << c.Text;
        EXPECT_EQ(error, c.Error);
    }
    std::istringstream good("# start\n06:00:05 route SVM1 SVM3\n\n06:00:05 points P503 reverse\n");
    std::vector<HeadlessCommand> commands;
    std::string error;
    ASSERT_TRUE(ParseCommands(good, commands, error)) << error;
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1].Line, 4);
    EXPECT_EQ(commands[1].Time, 21605);
    EXPECT_EQ(commands[1].Args, (std::vector<std::string>{"P503", "reverse"}));
}

TEST(HeadlessRunner, CommandsNamingNoObjectStopTheRunBeforeItStarts) {
    const struct {
        const char* Text;
        const char* Error;
    } cases[] = {
        {"06:00:00 route SVM1 SVM999\n", "line 1: no signal SVM999"},
        {"06:00:00 points P1 reverse\n", "line 1: no points P1"},
        {"06:00:00 points P503 over\n", "line 1: points wants normal or reverse, not over"},
        {"06:00:00 click 999 3 left\n", "line 1: no panel cell 999 3"},
        {"06:00:00 click 3 3 middle\n", "line 1: click wants left or right, not middle"},
        {"06:00:00 button XYZ\n", "line 1: no button XYZ"},
    };
    for (const auto& c : cases) {
        const std::string path = WriteTemp("bad.cmd", c.Text);
        const RunResult r = RunArgs({"--ticks", "4", "--commands", path});
        EXPECT_EQ(r.Status, 2) << c.Text;
        EXPECT_NE(r.Err.find(c.Error), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "");
    }
    EXPECT_EQ(RunArgs({"--ticks", "4", "--commands", "/nonexistent/x.cmd"}).Status, 2);
}

// The same seed and the same commands give the same run; a different command gives a
// different state, so the digest really covers what the commands change.
TEST(HeadlessRunner, SameSeedAndCommandsGiveTheSameDigest) {
    const std::string one = WriteTemp("one.cmd", "00:00:05 route SVM1 SVM3\n");
    const std::string two = WriteTemp("two.cmd", "00:00:05 route SVM3 SVM101\n");
    const RunResult a = RunArgs({"--ticks", "400", "--seed", "7", "--digest", "--commands", one});
    const RunResult b = RunArgs({"--ticks", "400", "--seed", "7", "--digest", "--commands", one});
    const RunResult c = RunArgs({"--ticks", "400", "--seed", "7", "--digest", "--commands", two});
    ASSERT_EQ(a.Status, 0) << a.Err;
    EXPECT_EQ(a.Out, b.Out);
    EXPECT_NE(a.Out.find("digest "), std::string::npos);
    EXPECT_NE(a.Out, c.Out);
}

TEST(HeadlessRunner, RunsUntilTheClockReachesTheEndTime) {
    const RunResult r = RunArgs({"--start", "06:00", "--until", "06:01:30"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("simtime 06:01:30\n"), std::string::npos) << r.Out;
    // The clock moves on the first cycle of each pair: 90 seconds take 179 cycles.
    EXPECT_NE(r.Out.find("ticks 179\n"), std::string::npos) << r.Out;
}

// The golden run: the built-in area with a fixed seed and a fixed commands file. Its
// log, summary and digest are stored; KESTRA_UPDATE_GOLDEN=1 rewrites the stored result
// on purpose (see the README).
TEST(HeadlessGolden, VellmoorRoutesMatchTheStoredResult) {
    const RunResult r = RunArgs({"--start", "06:00", "--until", "06:06", "--seed", "7", "--log",
                                 "--digest", "--commands", kGolden + "vellmoor_routes.cmd", "--ars", "none"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string stored = kGolden + "vellmoor_routes.out";
    const std::string actual = r.Out + "--- refusals\n" + r.Err;
    test::ExpectMatchesStored(actual, stored);
}

}  // namespace
}  // namespace kestra::runner
