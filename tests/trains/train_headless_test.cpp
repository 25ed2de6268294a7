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
#include "fakes/describer_invariants.h"
#include "fakes/fakes.h"
#include "fakes/golden.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/train_invariants.h"
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

TEST(TrainsEndToEnd, ThreeTrainsRunToTheirTimetableOnTheBuiltInArea) {
    const std::string wtt = ::testing::TempDir() + "kestra_trains.wtt";
    const std::string commands = kGolden + "trains_three.cmd";
    std::string error;
    ASSERT_TRUE(PrepareTimetable(wtt, error)) << error;

    runner::HeadlessOptions options;
    std::string parseError;
    ASSERT_TRUE(runner::ParseHeadlessArgs(
        {"--timetable", wtt, "--commands", commands, "--until", "08:00", "--seed", "11", "--log"},
        options, parseError))
        << parseError;
    test::RecordingSurface surface;
    options.Surface = &surface;
    std::unique_ptr<test::InterlockingInvariants> interlocking;
    std::unique_ptr<test::TrainInvariants> trains;
    std::vector<std::string> broken, found;
    options.EachCycle = [&](Sim& sim) {
        if (!interlocking) {
            interlocking = std::make_unique<test::InterlockingInvariants>(sim);
            trains = std::make_unique<test::TrainInvariants>(sim);
        }
        if (!interlocking->CheckInto(found) && broken.size() < 20)
            for (auto& f : found) broken.push_back(sim.FormatSimTime() + " " + f);
        if (!trains->CheckInto(found) && broken.size() < 20)
            for (auto& f : found) broken.push_back(sim.FormatSimTime() + " " + f);
        if (broken.size() < 20)
            for (auto& f : test::CheckDescriber(sim, surface))
                broken.push_back(sim.FormatSimTime() + " " + f);
    };
    std::ostringstream out, err;
    ASSERT_EQ(runner::RunHeadless(options, out, err), 0) << err.str();
    trains.reset();
    interlocking.reset();
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

}  // namespace
}  // namespace kestra
