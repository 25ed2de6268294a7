// The standard day with the area's trackside failures ("Standard" scenario), headless,
// worked by the scripted signaller alone (ARS off, trains entering at their booked
// times), over several seeds: every invariant is checked
// every cycle (the interlocking's, failure safety included, and the trains'), the
// technician's and the drivers' calls are answered through the runner's "reply"
// command, and across the seeds failures strike, are announced, repaired and
// telephoned about, and drivers held by them call the signaller.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/path_signaller.h"
#include "fakes/train_invariants.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "trains/train.h"

namespace kestra {
namespace {

const std::string kTimetable = std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT";
constexpr int kStandardScenario = 1;

struct SeedRun {
    std::string Log;
    std::vector<std::string> Broken;
    int MostFailuresAtOnce = 0;
    int TrainErrors = 0;
};

int Count(const std::string& log, const std::string& text) {
    int n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
}

SeedRun RunSeed(unsigned seed, const char* until) {
    SeedRun run;
    runner::HeadlessOptions options;
    std::string error;
    EXPECT_TRUE(runner::ParseHeadlessArgs(
        {"--timetable", kTimetable, "--until", until, "--seed", std::to_string(seed), "--scenario",
         std::to_string(kStandardScenario), "--log", "--ars", "none", "--no-entry-delays"},
        options, error))
        << error;
    test::PathSignaller signaller;
    options.BeforeCycle = [&](Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
        signaller.BeforeCycle(sim, commands);
        // Every call is answered with its first reply: the technician's "Ok", and the
        // drivers' waits and instructions to wait.
        for (int i = 0; i < sim.Calls.Count(); ++i) {
            const TCall& c = sim.Calls.At(i);
            if (!c.IsUnanswered() || sim.SimTime - c.CallTime < 20) continue;
            runner::HeadlessCommand reply;
            reply.Verb = "reply";
            reply.Args = {c.Train ? c.Train->ID : c.Caller, "1"};
            commands.push_back(reply);
        }
    };
    std::unique_ptr<test::InterlockingInvariants> interlocking;
    std::unique_ptr<test::TrainInvariants> trains;
    std::vector<std::string> found;
    options.AfterRun = [&](Sim&) {
        trains.reset();
        interlocking.reset();
    };
    options.EachCycle = [&](Sim& sim) {
        if (!interlocking) {
            interlocking = std::make_unique<test::InterlockingInvariants>(sim);
            trains = std::make_unique<test::TrainInvariants>(sim);
        }
        if (!interlocking->CheckInto(found) && run.Broken.size() < 10)
            for (auto& f : found) run.Broken.push_back(sim.FormatSimTime() + " " + f);
        if (!trains->CheckInto(found) && run.Broken.size() < 10)
            for (auto& f : found) run.Broken.push_back(sim.FormatSimTime() + " " + f);
        run.MostFailuresAtOnce = std::max(run.MostFailuresAtOnce, sim.Failures.Count());
        int errors = 0;
        sim.Trains.ForEach([&](TTRN& t) { errors += t.ErrorCount; });
        run.TrainErrors = std::max(run.TrainErrors, errors);
    };
    std::ostringstream out, err;
    EXPECT_EQ(runner::RunHeadless(options, out, err), 0) << err.str();
    run.Log = out.str();
    return run;
}

TEST(FailuresDay, FailuresStrikeAreRepairedAndNothingUnsafeHappens) {
    int detected = 0, fixed = 0, technicianAnswered = 0, driversCalled = 0;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const SeedRun run = RunSeed(seed, "07:15");
        for (const std::string& b : run.Broken) ADD_FAILURE() << b;
        EXPECT_LE(run.MostFailuresAtOnce, 2) << "the scenario allows two at once";
        EXPECT_EQ(run.TrainErrors, 0);
        detected += Count(run.Log, "failure detected in the ");
        fixed += Count(run.Log, " area fixed.");
        // The message line shows its lines in capitals.
        technicianAnswered += Count(run.Log, "TECHNICIAN: OK");
        driversCalled += Count(run.Log, "waiting at red signal");
    }
    EXPECT_GT(detected, 0);
    EXPECT_GT(fixed, 0);
    EXPECT_GT(technicianAnswered, 0);
    EXPECT_GT(driversCalled, 0);
}

// The same seed and scenario give the same failures; another seed others.
TEST(FailuresDay, FailuresFollowTheScenarioAndTheSeed) {
    const SeedRun a = RunSeed(3, "06:45");
    const SeedRun b = RunSeed(3, "06:45");
    EXPECT_EQ(a.Log, b.Log);
    runner::HeadlessOptions options;
    std::string error;
    ASSERT_TRUE(runner::ParseHeadlessArgs(
        {"--timetable", kTimetable, "--until", "06:45", "--seed", "3", "--scenario", "0", "--log"},
        options, error));
    std::ostringstream out, err;
    ASSERT_EQ(runner::RunHeadless(options, out, err), 0);
    EXPECT_EQ(Count(out.str(), "failure"), 0) << "the beginner's scenario has none";
}

}  // namespace
}  // namespace kestra
