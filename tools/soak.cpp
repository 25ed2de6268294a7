// The soak program: thousands of seeded random runs of the built-in area and of every
// fixture railway of the tests, each worked by the random signaller under the
// interlocking invariant checker after every step. It is not part of the suite; run it
// after a change to the interlocking. Every seed that breaks an invariant is reported
// with the steps before the break and the command that replays it.
//
//   kestra_soak [--from N] [--count N] [--steps N] [--fixture-steps N] [--area-only]
//               [--fixtures-only]
//
// Seeds from..from+count-1 are played on the built-in area (--steps each) and on each
// fixture railway (--fixture-steps each). The exit status is 1 when anything broke.
//
//   kestra_soak --timetable FILE.WTT --until HH:MM [--from N] [--count N] [--scenario N]
//
// runs trains instead: the timetable from its start to the given time once per seed,
// worked by the scripted signaller of the end-to-end tests, with the interlocking,
// train and describer invariants checked after every cycle. With a scenario (its
// trackside failures among what it sets) every telephone call is answered with its
// first reply, and routes refused over failed equipment are expected, not faults.

#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/describer_invariants.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/path_signaller.h"
#include "fakes/random_signaller.h"
#include "fakes/train_invariants.h"
#include "runner/headless.h"
#include "sim/sim.h"

namespace {

using namespace kestra;

// The same mix as the area's session suite: more requests and cancels, longer waits.
constexpr test::SignallerMix kAreaMix{.requestBelow = 35,
                                      .cancelBelow = 47,
                                      .keyBelow = 55,
                                      .circuitBelow = 70,
                                      .maxTicks = 6,
                                      .anySignalsOneIn = 5,
                                      .logLength = 20};

struct Railway {
    const char* Name;
    std::function<void(test::RailwayBuilder&)> Build;
};

const std::vector<Railway>& Fixtures() {
    static const std::vector<Railway> fixtures = {
        {"plain-line", [](test::RailwayBuilder& b) { BuildPlainLine(b); }},
        {"double-junction", [](test::RailwayBuilder& b) { BuildDoubleJunction(b); }},
        {"crossover-pair", [](test::RailwayBuilder& b) { BuildCrossoverPair(b); }},
        {"loop-with-flank", [](test::RailwayBuilder& b) { BuildLoopWithFlank(b); }},
        {"long-overlap-junction", [](test::RailwayBuilder& b) { BuildLongOverlapJunction(b); }},
    };
    return fixtures;
}

struct Totals {
    long runs = 0;
    long broken = 0;
    long routesSet = 0;
    long refusals = 0;
    long overlapChanges = 0;
    long pointsMoved = 0;
};

void Count(Totals& totals, const test::SignallerCounts& n) {
    ++totals.runs;
    totals.routesSet += n.routesSet;
    totals.refusals += n.refusals;
    totals.overlapChanges += n.overlapChanges;
    totals.pointsMoved += n.pointsMoved;
}

void Report(const std::string& what, unsigned seed, int steps, const std::string& broken,
            const char* only) {
    std::cout << "BROKEN on " << what << ", " << broken << "  replay: kestra_soak --from " << seed
              << " --count 1 --steps " << steps << " --fixture-steps " << steps << " " << only
              << "\n";
}

void PrintTotals(const char* what, const Totals& t, double seconds) {
    std::cout << what << ": " << t.runs << " runs, " << t.broken << " broken, " << t.routesSet
              << " routes set, " << t.refusals << " refused, " << t.overlapChanges
              << " overlap swings, " << t.pointsMoved << " points movements, " << seconds << " s\n";
}

int Usage() {
    std::cerr << "usage: kestra_soak [--from N] [--count N] [--steps N] [--fixture-steps N] "
                 "[--area-only] [--fixtures-only]\n"
                 "       kestra_soak --timetable FILE.WTT --until HH:MM [--from N] [--count N] "
                 "[--scenario N]\n";
    return 2;
}

// One seed of a timetable worked by the scripted signaller; the first invariant broken
// (with its time), or empty. The run's summary lines go to summary.
std::string RunTrains(const std::string& wtt, const std::string& until, unsigned seed,
                      const std::string& scenario, std::string& summary) {
    runner::HeadlessOptions options;
    std::string error;
    std::vector<std::string> args = {"--timetable", wtt, "--until", until, "--seed",
                                     std::to_string(seed)};
    if (!scenario.empty()) args.insert(args.end(), {"--scenario", scenario, "--log"});
    if (!runner::ParseHeadlessArgs(args, options, error)) return "cannot run: " + error;
    test::RecordingSurface surface;
    options.Surface = &surface;
    test::PathSignaller signaller;
    options.BeforeCycle = [&](Sim& sim, std::vector<runner::HeadlessCommand>& commands) {
        signaller.BeforeCycle(sim, commands);
        if (scenario.empty()) return;
        for (int i = 0; i < sim.Calls.Count(); ++i) {
            const TCall& c = sim.Calls.At(i);
            if (!c.IsUnanswered() || sim.SimTime - c.CallTime < 20) continue;
            commands.push_back({0, sim.SimTime, "reply", {c.Train ? c.Train->ID : c.Caller, "1"}});
        }
    };
    std::unique_ptr<test::InterlockingInvariants> interlocking;
    std::unique_ptr<test::TrainInvariants> trains;
    std::vector<std::string> found;
    std::string broken;
    options.EachCycle = [&](Sim& sim) {
        if (!interlocking) {
            interlocking = std::make_unique<test::InterlockingInvariants>(sim);
            trains = std::make_unique<test::TrainInvariants>(sim);
        }
        if (!broken.empty()) return;
        if (!interlocking->CheckInto(found) || !trains->CheckInto(found)) {
            if (!found.empty()) broken = sim.FormatSimTime() + " " + found.front();
            return;
        }
        const std::vector<std::string> describer =
            test::CheckDescriber(sim, surface, {false, true});
        if (!describer.empty()) broken = sim.FormatSimTime() + " " + describer.front();
    };
    std::ostringstream out, err;
    runner::RunHeadless(options, out, err);
    trains.reset();
    interlocking.reset();
    const std::string text = out.str();
    const std::size_t at = text.find("trains_entered");
    summary = at == std::string::npos ? std::string() : text.substr(at);
    for (char& c : summary)
        if (c == '\n') c = ' ';
    if (!scenario.empty()) {
        int detected = 0, fixed = 0;
        for (std::size_t p = text.find("failure detected"); p != std::string::npos;
             p = text.find("failure detected", p + 1))
            ++detected;
        for (std::size_t p = text.find("area fixed."); p != std::string::npos;
             p = text.find("area fixed.", p + 1))
            ++fixed;
        summary += " failures_detected " + std::to_string(detected) + " repaired " +
                   std::to_string(fixed);
    }
    if (broken.empty() && scenario.empty() && signaller.Refused() > 0)
        broken = std::to_string(signaller.Refused()) + " requests refused";
    return broken;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned from = 1;
    long count = 2000;
    int steps = 3000;
    int fixtureSteps = 3000;
    bool area = true, fixtures = true;
    std::string timetable, until, scenario;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&](long& out) {
            if (i + 1 >= argc) return false;
            char* end = nullptr;
            out = std::strtol(argv[++i], &end, 10);
            return end && *end == '\0' && out >= 0;
        };
        long v = 0;
        if (a == "--from" && number(v)) {
            from = static_cast<unsigned>(v);
        } else if (a == "--count" && number(v)) {
            count = v;
        } else if (a == "--steps" && number(v)) {
            steps = static_cast<int>(v);
        } else if (a == "--fixture-steps" && number(v)) {
            fixtureSteps = static_cast<int>(v);
        } else if (a == "--area-only") {
            fixtures = false;
        } else if (a == "--fixtures-only") {
            area = false;
        } else if (a == "--timetable" && i + 1 < argc) {
            timetable = argv[++i];
        } else if (a == "--until" && i + 1 < argc) {
            until = argv[++i];
        } else if (a == "--scenario" && i + 1 < argc) {
            scenario = argv[++i];
        } else {
            return Usage();
        }
    }

    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    if (!timetable.empty() || !until.empty()) {
        if (timetable.empty() || until.empty()) return Usage();
        const Clock::time_point start = Clock::now();
        long broken = 0;
        for (long k = 0; k < count; ++k) {
            const unsigned seed = from + static_cast<unsigned>(k);
            std::string summary;
            const std::string fault = RunTrains(timetable, until, seed, scenario, summary);
            if (!fault.empty()) {
                ++broken;
                std::cout << "BROKEN with seed " << seed << ": " << fault
                          << "  replay: kestra_soak --timetable " << timetable << " --until "
                          << until << " --from " << seed << " --count 1"
                          << (scenario.empty() ? "" : " --scenario " + scenario) << "\n";
            }
            std::cout << "seed " << seed << ": " << summary << "\n";
        }
        std::cout << "trains: " << count << " runs, " << broken << " broken, " << seconds(start)
                  << " s\n";
        return broken > 0 ? 1 : 0;
    }
    Totals areaTotals, fixtureTotals;
    if (area) {
        const Clock::time_point start = Clock::now();
        for (long k = 0; k < count; ++k) {
            const unsigned seed = from + static_cast<unsigned>(k);
            test::TestSim t;
            auto built = area::BuildArea(*t);
            test::InterlockingInvariants checker(*t);
            test::RandomSignaller signaller(t, checker, seed, kAreaMix);
            const std::string broken = signaller.Work(steps);
            Count(areaTotals, signaller.Counts());
            if (!broken.empty()) {
                ++areaTotals.broken;
                Report("the built-in area", seed, steps, broken, "--area-only");
            }
        }
        PrintTotals("built-in area", areaTotals, seconds(start));
    }
    if (fixtures) {
        const Clock::time_point start = Clock::now();
        for (long k = 0; k < count; ++k) {
            const unsigned seed = from + static_cast<unsigned>(k);
            for (const Railway& r : Fixtures()) {
                test::TestSim t;
                test::RailwayBuilder build(*t);
                r.Build(build);
                test::InterlockingInvariants checker(*t);
                test::RandomSignaller signaller(t, checker, seed);
                const std::string broken = signaller.Work(fixtureSteps);
                Count(fixtureTotals, signaller.Counts());
                if (!broken.empty()) {
                    ++fixtureTotals.broken;
                    Report(std::string("fixture ") + r.Name, seed, fixtureSteps, broken,
                           "--fixtures-only");
                }
            }
        }
        PrintTotals("fixtures", fixtureTotals, seconds(start));
    }
    return areaTotals.broken + fixtureTotals.broken > 0 ? 1 : 0;
}
