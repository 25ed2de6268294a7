// The standard day end to end on the built-in area, run headless from the timetable's
// start at 06:00 to 07:15: a stored commands file (tests/golden/standard_day.cmd) sets
// the routes, as a scripted signaller working the trains along their paths set them.
// The stretch holds a branch train turned back in the bay as its next service, a fast
// train divided at Vellmoor Central with its rear portion going down the branch, a
// branch train joined to a fast train, and freights through the goods loop at Ostwick.
// The message log, the summary, the state digest and what the trains did are compared
// with a stored result, and every invariant (interlocking, trains, describer) is checked
// after every cycle. KESTRA_UPDATE_GOLDEN=1 rewrites the stored result on purpose.
//
// The commands file is written by the disabled test StandardDay.WriteCommandsFile:
//   kestra_tests --gtest_also_run_disabled_tests --gtest_filter=StandardDay.DISABLED_*

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

#include "core/time_format.h"
#include "fakes/describer_invariants.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/path_signaller.h"
#include "fakes/train_invariants.h"
#include "places/location.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "trains/train.h"

namespace kestra {
namespace {

const std::string kGolden = std::string(KESTRA_SOURCE_DIR) + "/tests/golden/";
const std::string kTimetable = std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT";
const char* const kUntil = "07:15";
const char* const kSeed = "15";

// What the trains did, seen from outside after every cycle: a train made without an
// entry (a divided portion), a train gone without leaving (absorbed by a join), a new
// description on the same train (a next service), a change of direction, and each
// location a train reaches. One line each, with its time.
class DayObserver {
  public:
    void Observe(const Sim& sim) {
        now_.clear();
        sim.Trains.ForEach([&](TTRN& t) {
            now_.push_back({&t, t.ID, t.Timetable ? t.Timetable->ID : std::string(), t.Direction(),
                            t.LastLocation, t.State});
        });
        const bool entered = sim.Trains.EnteredCount != entered_;
        const bool left = sim.Trains.LeftCount != left_;
        for (const Seen& n : now_) {
            const Seen* before = Find(seen_, n.Train);
            if (!before) {
                if (!entered) Note(sim, "made " + n.ID + " (no entry)");
                if (n.Location) Note(sim, n.ID + " at " + n.Location->ID);
                continue;
            }
            if (before->ID != n.ID || before->Headcode != n.Headcode)
                Note(sim, "next service " + before->ID + " becomes " + n.ID +
                              (n.Headcode.empty() ? "" : " (" + n.Headcode + ")"));
            if (before->Direction != 0 && n.Direction != 0 && before->Direction != n.Direction)
                Note(sim,
                     n.ID + " reverses" + (n.Location ? " at " + n.Location->ID : std::string()));
            if (n.Location && n.Location != before->Location)
                Note(sim, n.ID + " at " + n.Location->ID);
            if (n.State == TsError && before->State != TsError) Note(sim, n.ID + " in error");
        }
        for (const Seen& b : seen_) {
            if (!Find(now_, b.Train) && !left) Note(sim, "gone " + b.ID + " (not left)");
        }
        seen_.swap(now_);
        entered_ = sim.Trains.EnteredCount;
        left_ = sim.Trains.LeftCount;
    }

    const std::vector<std::string>& Lines() const { return lines_; }
    bool Has(const std::string& text) const {
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }

  private:
    struct Seen {
        const TTRN* Train;
        std::string ID;
        std::string Headcode;
        std::uint8_t Direction;
        const TLOC* Location;
        std::uint8_t State;
    };
    static const Seen* Find(const std::vector<Seen>& list, const TTRN* train) {
        for (const Seen& s : list)
            if (s.Train == train) return &s;
        return nullptr;
    }
    void Note(const Sim& sim, const std::string& text) {
        lines_.push_back(sim.FormatSimTime() + " " + text);
    }

    std::vector<Seen> seen_, now_;
    std::vector<std::string> lines_;
    std::int32_t entered_ = 0, left_ = 0;
};

// One headless run of the stretch with every invariant checked after every cycle.
struct DayRun {
    std::string Out, Err;
    std::vector<std::string> Broken;
    DayObserver Moves;
    // Trains in the area at the end: description, state, whether they stand on track.
    std::vector<std::string> Trains;
    std::vector<std::string> Impossible;
    // When given, each train's line at the end says what the signaller makes of it.
    std::function<std::string(Sim&, const TTRN&)> Explain;
};

void RunDay(runner::HeadlessOptions options, DayRun& run) {
    test::RecordingSurface surface;
    options.Surface = &surface;
    std::unique_ptr<test::InterlockingInvariants> interlocking;
    std::unique_ptr<test::TrainInvariants> trains;
    std::vector<std::string> found;
    options.EachCycle = [&](Sim& sim) {
        if (!interlocking) {
            interlocking = std::make_unique<test::InterlockingInvariants>(sim);
            trains = std::make_unique<test::TrainInvariants>(sim);
        }
        if (!interlocking->CheckInto(found) && run.Broken.size() < 20)
            for (auto& f : found) run.Broken.push_back(sim.FormatSimTime() + " " + f);
        if (!trains->CheckInto(found) && run.Broken.size() < 20)
            for (auto& f : found) run.Broken.push_back(sim.FormatSimTime() + " " + f);
        if (run.Broken.size() < 20)
            for (auto& f : test::CheckDescriber(sim, surface, {false, true}))
                run.Broken.push_back(sim.FormatSimTime() + " " + f);
        run.Moves.Observe(sim);
        if (sim.SimTime + 1 >= options.Until) {
            // The last cycle: what each train is doing as the run ends.
            run.Trains.clear();
            run.Impossible.clear();
            sim.Trains.ForEach([&](TTRN& t) {
                run.Trains.push_back(t.ID + " " + TrainStatusText(t.State, t.Speed) +
                                     (t.LastLocation ? " last at " + t.LastLocation->ID : "") +
                                     (run.Explain ? ": " + run.Explain(sim, t) : ""));
                if (t.State == TsError) run.Impossible.push_back(t.ID + " is in the error state");
                if (!t.HeadULC && t.State != TsLeaving)
                    run.Impossible.push_back(t.ID + " stands without a head subroute");
                if (t.HeadULC && t.Occupied.empty())
                    run.Impossible.push_back(t.ID + " occupies nothing");
            });
        }
    };
    std::ostringstream out, err;
    const int status = runner::RunHeadless(options, out, err);
    trains.reset();
    interlocking.reset();
    run.Out = out.str();
    run.Err = err.str();
    EXPECT_EQ(status, 0) << run.Err;
}

runner::HeadlessOptions DayOptions(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--timetable", kTimetable, "--until", kUntil,
                                     "--seed",      kSeed,      "--log",   "--digest"};
    args.insert(args.end(), extra.begin(), extra.end());
    runner::HeadlessOptions options;
    std::string error;
    EXPECT_TRUE(runner::ParseHeadlessArgs(args, options, error)) << error;
    return options;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + '\n';
    return text;
}

// Writes tests/golden/standard_day.cmd from the scripted signaller's granted requests.
TEST(StandardDay, DISABLED_WriteCommandsFile) {
    test::PathSignaller signaller;
    runner::HeadlessOptions options = DayOptions({});
    options.BeforeCycle = [&](Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
        signaller.BeforeCycle(sim, commands);
    };
    DayRun run;
    run.Explain = [&](Sim& sim, const TTRN& t) { return signaller.Explain(sim, t); };
    RunDay(options, run);
    for (const std::string& b : run.Broken) ADD_FAILURE() << b;
    EXPECT_EQ(signaller.Refused(), 0) << run.Err;
    std::cout << Joined(run.Moves.Lines()) << Joined(run.Trains)
              << run.Out.substr(run.Out.find("seed "));
    const std::string heading =
        "# The signaller's commands for the standard day's end-to-end run from 06:00 to " +
        std::string(kUntil) +
        "\n# (tests/trains/standard_day_test.cpp), written by a scripted signaller that "
        "sets each\n# train's next route of its path as the train nears the signal, and "
        "the way out of a\n# stop shortly before the booked departure. Regenerate with "
        "the disabled test\n# StandardDay.DISABLED_WriteCommandsFile.\n";
    std::ofstream(kGolden + "standard_day.cmd") << signaller.CommandsFile(heading);
}

// The stored commands replayed: every command accepted, every invariant held, the
// five moves of the stretch made, no train left in a state it cannot be in, and the
// log, summary, digest and moves as stored.
TEST(StandardDay, StoredSignallingRunsTheMorningAsStored) {
    DayRun run;
    RunDay(DayOptions({"--commands", kGolden + "standard_day.cmd"}), run);
    for (const std::string& b : run.Broken) ADD_FAILURE() << b;
    EXPECT_TRUE(run.Err.empty()) << "the signaller's commands were refused:\n" << run.Err;
    EXPECT_TRUE(run.Impossible.empty()) << Joined(run.Impossible);
    EXPECT_FALSE(run.Trains.empty()) << "the run never reached its last cycle";

    const DayObserver& m = run.Moves;
    const std::string moves = Joined(m.Lines());
    // Bay turnback: the branch train into the bay leaves again as its next service,
    // back up the branch.
    EXPECT_TRUE(m.Has("next service 2T11 becomes 2T12")) << moves;
    EXPECT_TRUE(m.Has("2T12 at QLBY")) << moves;
    // Divide: the rear portion of the fast train is a new train that runs down the
    // branch; the front goes on east.
    EXPECT_TRUE(m.Has("made 2B01 (no entry)")) << moves;
    EXPECT_TRUE(m.Has("2B01 at QLBY")) << moves;
    EXPECT_TRUE(m.Has("1S01 at HRNF")) << moves;
    // Join: one of the two trains at platform 4 is absorbed, the other runs on west.
    EXPECT_TRUE(m.Has("gone 2J01 (not left)") || m.Has("gone 1J01 (not left)")) << moves;
    EXPECT_TRUE(m.Has("1J01 at WESTL") || m.Has("2J01 at WESTL")) << moves;
    // Freight through the goods loop at Ostwick and out of the area.
    EXPECT_TRUE(m.Has("6M01 at OSTGL")) << moves;
    EXPECT_TRUE(m.Has("6M01 at WESTL")) << moves;
    // Nothing vanished but by a join, and nothing went into the error state.
    EXPECT_FALSE(m.Has(" in error")) << moves;

    const std::string actual = run.Out + "--- moves\n" + moves + "--- trains at the end\n" +
                               Joined(run.Trains) + "--- refusals\n" + run.Err;
    const std::string stored = kGolden + "standard_day.out";
    if (const char* update = std::getenv("KESTRA_UPDATE_GOLDEN"); update && *update == '1') {
        std::ofstream(stored) << actual;
        GTEST_SKIP() << "stored result rewritten: " << stored;
    }
    std::ifstream in(stored);
    ASSERT_TRUE(in) << "no stored result " << stored;
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(actual, expected.str());
}

}  // namespace
}  // namespace kestra
