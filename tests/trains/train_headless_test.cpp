// The trains end to end on the built-in area, run headless: a small timetable of three
// trains from different entry points and a signaller's commands file
// (tests/golden/trains_three.cmd) that routes each train as it approaches and the way is
// free; the message log and the summary compared with a stored result, and every
// invariant (interlocking, trains and describer) checked after every cycle.
// KESTRA_UPDATE_GOLDEN=1 rewrites the stored result on purpose.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "fakes/fakes.h"
#include "fakes/golden.h"
#include "fakes/invariant_harness.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_text.h"
#include "timetable/timetable_validate.h"

namespace kestra {
namespace {

const std::string kGolden = std::string(KESTRA_SOURCE_DIR) + "/tests/golden/";

// Down main from the west, up main from the east, and a branch train that terminates
// in the bay.
const char* const kTimetable = R"(name Trains
description Three trains for the end-to-end run.
start 07:00
finish 09:00

category STOP accel 3 speed 75 length 80 power diesel desc Stopping passenger
category BRANCH accel 3 speed 60 length 40 power diesel desc Branch passenger

train 2D01 STOP WEST 07:00
  OSTWK  07:01 07:02 plat 1 line DM
  VLMC   07:07 07:09 plat 2 line DM
  HRNF   07:16 07:17 plat 1 line DM
  HRNFE  -     07:19 pass line DM

train 2U01 STOP EAST 07:07
  HRNF   07:10 07:11 plat 2 line UM
  VLMC   07:18 07:20 plat 3 line UM
  OSTWK  07:25 07:26 plat 2 line UM
  WESTL  -     07:28 pass line UM

train 2T01 BRANCH TARROW 07:05
  QLBY   07:09 07:10 plat 2 line UB
  VLMC   07:17 -     plat 5 line UB
)";

// Writes the timetable as a WTT file. False, with the reason, when the area does not
// take it.
bool PrepareTimetable(const std::string& wtt, std::string& error) {
    Sim sim;
    area::BuildArea(sim);
    if (!ImportTimetableText(sim, kTimetable, error)) return false;
    sim.Timetable.ForEach([&](TTimetable& t) {
        std::string reason;
        if (error.empty() && !Validate(t, reason)) error = t.ID + ": " + reason;
    });
    if (!error.empty()) return false;
    if (!SaveTimetableFile(sim, wtt)) {
        error = "cannot write " + wtt;
        return false;
    }
    return true;
}

// Runs headless with the interlocking, train and describer invariants checked after
// every cycle; what broke (at most 20) goes to broken.
int RunChecked(runner::HeadlessOptions& options, std::ostringstream& out, std::ostringstream& err,
               std::vector<std::string>& broken) {
    test::InvariantHarness harness({.Describer = true});
    harness.Attach(options);
    const int status = runner::RunHeadless(options, out, err);
    broken = harness.Broken();
    options.BeforeCycle = nullptr;
    options.EachCycle = nullptr;
    options.AfterRun = nullptr;
    options.Surface = nullptr;
    return status;
}

TEST(TrainsEndToEnd, ThreeTrainsRunToTheirTimetableOnTheBuiltInArea) {
    const std::string wtt = ::testing::TempDir() + "kestra_trains.wtt";
    const std::string commands = kGolden + "trains_three.cmd";
    std::string error;
    ASSERT_TRUE(PrepareTimetable(wtt, error)) << error;

    runner::HeadlessOptions options;
    std::string parseError;
    ASSERT_TRUE(
        runner::ParseHeadlessArgs({"--timetable", wtt, "--commands", commands, "--until", "08:00",
                                   "--seed", "11", "--log", "--ars", "none", "--no-entry-delays"},
                                  options, parseError))
        << parseError;
    std::vector<std::string> broken;
    std::ostringstream out, err;
    ASSERT_EQ(RunChecked(options, out, err, broken), 0) << err.str();
    for (const std::string& b : broken) ADD_FAILURE() << b;
    // Every train ran: two out of the area, the branch train terminated in the bay.
    EXPECT_NE(out.str().find("trains_entered 3\ntrains_left 2\ntrains_in_area 1\n"),
              std::string::npos)
        << out.str();
    EXPECT_TRUE(err.str().empty()) << "the signaller's commands were refused:\n" << err.str();

    const std::string actual = out.str() + "--- refusals\n" + err.str();
    const std::string stored = kGolden + "trains_three.out";
    test::ExpectMatchesStored(actual, stored);
}

// Single-line working through Greyhallow Tunnel, the Down line taken as blocked: 2D01 is
// sent from Skelbrook east along the Up main (23 to 35, past the backs of the Up
// automatics), crosses back to the Down main at Harnforth into platform 1 and leaves;
// then 2U01, held at Harnforth meanwhile, runs west on the Up main behind it the right
// way. Both out of the area, no command refused, every invariant every cycle.
TEST(TrainsEndToEnd, TrainsRunSingleLineThroughTheTunnelOnTheUpMain) {
    const std::string wtt = ::testing::TempDir() + "kestra_single_line.wtt";
    std::string error;
    ASSERT_TRUE(PrepareTimetable(wtt, error)) << error;
    const std::string commands = ::testing::TempDir() + "kestra_single_line.cmd";
    {
        std::ofstream f(commands);
        f << "07:00:00 route SVM1 SVM3\n"
             "07:01:00 route SVM3 SVM101\n"
             "07:01:30 route SVM101 SVM11\n"
             "07:02:00 route SVM11 SVM15\n"
             "07:03:00 route SVM15 SVM103\n"
             "07:04:00 route SVM23 SVM35\n"
             "07:05:00 route SVM35 SVM31\n"
             "07:07:00 route SVM38 SVM36\n"
             "07:08:00 route SVM31 SVM113\n";
    }
    runner::HeadlessOptions options;
    std::string parseError;
    ASSERT_TRUE(
        runner::ParseHeadlessArgs({"--timetable", wtt, "--commands", commands, "--until", "07:40",
                                   "--seed", "11", "--log", "--ars", "none", "--no-entry-delays"},
                                  options, parseError))
        << parseError;
    // 2U01 waits at 36 until 2D01 has left, then goes on west into Central.
    bool upMainSet = false, downSeen = false, downLeft = false, sentUp = false;
    bool upAtCentral = false;
    int setCycles = 0;
    std::vector<std::string> proceed;
    options.BeforeCycle = [&](Sim& sim, std::vector<runner::HeadlessCommand>& cmds) {
        TSIG* s23 = sim.Signals.FindID("SVM23");
        TSIG* s35 = sim.Signals.FindID("SVM35");
        if (!s23 || !s35) return;
        const bool set =
            s23->CurrentRoute && s23->CurrentRoute->Exit == s35 && s23->CurrentRoute->RouteSet;
        setCycles = set ? setCycles + 1 : 0;
        upMainSet = upMainSet || set;
        if (setCycles > 2) {
            // The Up automatics face the wrong-road route: from the cycle after it is set
            // they stay at danger.
            for (const char* a : {"SVM112", "SVM114", "SVM116", "SVM118"})
                if (const TSIG* sig = sim.Signals.FindID(a); sig && sig->ShowsProceed())
                    proceed.push_back(sim.FormatSimTime() + " " + a);
        }
        const TTRN* down = sim.Trains.FindTrain("2D01");
        downSeen = downSeen || down;
        downLeft = downLeft || (downSeen && !down);
        if (const TTRN* up = sim.Trains.FindTrain("2U01"))
            upAtCentral = upAtCentral || (up->SignalAhead && up->SignalAhead->ID == "SVM16");
        if (sentUp || !downLeft) return;
        sentUp = true;
        for (const auto& [from, to] :
             std::vector<std::pair<std::string, std::string>>{{"SVM36", "SVM34"},
                                                              {"SVM34", "SVM118"},
                                                              {"SVM24", "SVM110"},
                                                              {"SVM20", "SVM16"}}) {
            runner::HeadlessCommand c;
            c.Time = sim.SimTime;
            c.Verb = "route";
            c.Args = {from, to};
            cmds.push_back(c);
        }
    };
    std::vector<std::string> broken;
    std::ostringstream out, err;
    ASSERT_EQ(RunChecked(options, out, err, broken), 0) << err.str();
    for (const std::string& b : broken) ADD_FAILURE() << b;
    EXPECT_TRUE(upMainSet);
    EXPECT_TRUE(proceed.empty()) << proceed.front() << " showed a proceed aspect";
    EXPECT_TRUE(downLeft) << "2D01 never left the area\n" << out.str();
    EXPECT_TRUE(upAtCentral) << "2U01 never ran up to Central's platform 3\n" << out.str();
    EXPECT_TRUE(err.str().empty()) << err.str();
}

}  // namespace
}  // namespace kestra
