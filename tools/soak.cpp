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
//
//   kestra_soak --timetable FILE.WTT --until HH:MM --ars all|NAME,NAME [--from N]
//               [--count N] [--past-finish]
//
// lets the railway run itself: the timetable under ARS (the sub-areas named, or all)
// and no signaller at all, entry delays drawn from each seed, with the interlocking,
// train, describer, call and ARS invariants checked after every cycle. --past-finish
// runs on past the timetable's finish up to the given time, to see the last trains out.
// Each seed prints the trains entered, left and still in the area, the longest wait at
// a red signal, the errors the cycle stages caught and the routes ARS set; a seed is
// BROKEN (with the command that replays it) when an invariant broke, a stage caught an
// error, the log shows a train "ROUTED OFF PLANNED PATH", or the railway locked up: a
// train stood at one red signal for more than 600 s, or a train is still in the area at
// the end that was not booked to end its working there. At the end comes a histogram of
// the lateness of every train as it left the area (its last timing report, in whole
// minutes) over all seeds.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "fakes/describer_invariants.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/invariant_harness.h"
#include "fakes/path_signaller.h"
#include "fakes/random_signaller.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "trains/train.h"

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
                 "[--scenario N]\n"
                 "       kestra_soak --timetable FILE.WTT --until HH:MM --ars all|NAME,NAME "
                 "[--from N] [--count N] [--past-finish]\n";
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
    test::InvariantHarness harness({.Describer = true, .Rules = {false, true}, .Limit = 1});
    harness.Attach(options);
    std::ostringstream out, err;
    runner::RunHeadless(options, out, err);
    std::string broken = harness.Broken().empty() ? std::string() : harness.Broken().front();
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

// Lateness at exit in whole minutes, counted in buckets over every seed.
struct ExitLateness {
    static constexpr std::array<const char*, 9> kNames = {
        "early", "0", "1", "2-3", "4-5", "6-10", "11-20", ">20", "no report"};
    std::array<long, kNames.size()> Counts{};

    void Note(std::int32_t minutes, bool reported) {
        std::size_t k = kNames.size() - 1;
        if (reported) {
            k = minutes < 0     ? 0
                : minutes == 0  ? 1
                : minutes == 1  ? 2
                : minutes <= 3  ? 3
                : minutes <= 5  ? 4
                : minutes <= 10 ? 5
                : minutes <= 20 ? 6
                                : 7;
        }
        ++Counts[k];
    }
    void Print(std::ostream& out) const {
        long total = 0, most = 1;
        for (long c : Counts) {
            total += c;
            most = std::max(most, c);
        }
        out << "lateness at exit (minutes late leaving the area, " << total << " trains):\n";
        for (std::size_t k = 0; k < kNames.size(); ++k) {
            std::string name = kNames[k];
            name.resize(10, ' ');
            out << "  " << name << ' ' << Counts[k] << '\t'
                << std::string(static_cast<std::size_t>(Counts[k] * 50 / most), '#') << '\n';
        }
    }
};

// Longest a train stood at one red signal a railway left to itself may keep it.
constexpr std::int32_t kGridlockSeconds = 600;

// What one seed of a timetable under ARS did, and what went wrong in it.
struct ARSSeed {
    std::string Summary;
    std::vector<std::string> Faults;
};

// One seed of the timetable run by ARS alone.
ARSSeed RunARS(const std::string& wtt, const std::string& until, const std::string& ars,
               bool pastFinish, unsigned seed, ExitLateness& lateness) {
    ARSSeed run;
    runner::HeadlessOptions options;
    std::string error;
    std::vector<std::string> args = {"--timetable",        wtt,     "--until", until,  "--seed",
                                     std::to_string(seed), "--ars", ars,       "--log"};
    if (pastFinish) args.push_back("--past-finish");
    if (!runner::ParseHeadlessArgs(args, options, error)) {
        run.Faults.push_back("cannot run: " + error);
        return run;
    }
    test::InvariantHarness harness(
        {.Describer = true, .Rules = {false, false}, .Calls = true, .ARS = true, .Limit = 5});

    // The trains on a subroute out of the area at the last cycle: one gone by the next
    // has run out, and its last timing report gives its lateness.
    struct Leaving {
        const TTRN* Train;
        std::string ID;
    };
    std::vector<Leaving> leaving, still;
    // The longest stand at one red signal, with who and where.
    struct Wait {
        const TTRN* Train;
        const TSIG* Signal;
        std::int32_t Since;
    };
    std::vector<Wait> waits, next;
    std::int32_t longest = 0;
    std::string longestWho;
    std::vector<std::string> stranded;
    int ranOut = 0;
    options.EachCycle = [&](Sim& sim) {
        still.clear();
        for (const Leaving& l : leaving) {
            bool present = false;
            sim.Trains.ForEach(
                [&](const TTRN& t) { present = present || (&t == l.Train && t.ID == l.ID); });
            if (present) continue;
            ++ranOut;
            const auto& reports = sim.Record.Reports;
            const auto last = std::find_if(reports.rbegin(), reports.rend(),
                                           [&](const auto& r) { return r.Train == l.ID; });
            lateness.Note(last == reports.rend() ? 0 : last->MinutesLate, last != reports.rend());
        }
        leaving.clear();
        next.clear();
        sim.Trains.ForEach([&](const TTRN& t) {
            if (t.HeadULC && t.HeadULC->LeavesArea) leaving.push_back({&t, t.ID});
            if (t.State != TsAtRed || !t.SignalAhead) return;
            std::int32_t since = sim.SimTime;
            for (const Wait& w : waits)
                if (w.Train == &t && w.Signal == t.SignalAhead) since = w.Since;
            next.push_back({&t, t.SignalAhead, since});
            if (sim.SimTime - since > longest) {
                longest = sim.SimTime - since;
                longestWho =
                    t.ID + " at " + t.SignalAhead->ID + " from " + FormatClock(since).substr(0, 8);
            }
        });
        std::swap(waits, next);
    };
    options.AfterRun = [&](Sim& sim) {
        // A train still in the area must have ended its working here as booked.
        sim.Trains.ForEach([&](const TTRN& t) {
            if (!t.HeadULC || t.State == TsTerminated) return;
            stranded.push_back(t.ID + " (" + TrainStatusText(t.State, t.Speed) +
                               (t.SignalAhead ? ", signal ahead " + t.SignalAhead->ID : "") +
                               (t.LastLocation ? ", last at " + t.LastLocation->ID : "") + ")");
        });
    };
    harness.Attach(options);
    std::ostringstream out, err;
    const int status = runner::RunHeadless(options, out, err);
    const std::string text = out.str();
    auto value = [&](const std::string& name) {
        const std::size_t at = text.find("\n" + name + " ");
        return at == std::string::npos
                   ? -1L
                   : std::strtol(text.c_str() + at + name.size() + 2, nullptr, 10);
    };
    std::ostringstream summary;
    summary << "entered " << value("trains_entered") << " left " << value("trains_left")
            << " in_area " << value("trains_in_area") << " longest_wait_at_red "
            << value("longest_wait_at_red") << " errors_caught " << value("errors_caught")
            << " ars_routes_set " << value("ars_routes_set") << " exits_seen " << ranOut;
    if (longest > 0) summary << " (longest: " << longestWho << ")";
    run.Summary = summary.str();

    if (status != 0) run.Faults.push_back("run failed: " + err.str());
    for (const std::string& b : harness.Broken()) run.Faults.push_back("invariant: " + b);
    if (value("errors_caught") != 0)
        run.Faults.push_back("errors caught: " + std::to_string(value("errors_caught")));
    for (std::size_t at = text.find("ROUTED OFF PLANNED PATH"); at != std::string::npos;
         at = text.find("ROUTED OFF PLANNED PATH", at + 1)) {
        const std::size_t begin = text.rfind('\n', at) + 1;
        run.Faults.push_back("log: " + text.substr(begin, text.find('\n', at) - begin));
        if (run.Faults.size() > 10) break;
    }
    if (longest > kGridlockSeconds)
        run.Faults.push_back("gridlock: " + longestWho + ", " + std::to_string(longest) +
                             " s at red");
    for (const std::string& t : stranded) run.Faults.push_back("left in the area: " + t);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned from = 1;
    long count = 2000;
    int steps = 3000;
    int fixtureSteps = 3000;
    bool area = true, fixtures = true;
    bool pastFinish = false;
    std::string timetable, until, scenario, ars;
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
        } else if (a == "--ars" && i + 1 < argc) {
            ars = argv[++i];
        } else if (a == "--past-finish") {
            pastFinish = true;
        } else {
            return Usage();
        }
    }

    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    if (!ars.empty() || pastFinish) {
        if (timetable.empty() || until.empty() || ars.empty() || !scenario.empty()) return Usage();
        const Clock::time_point start = Clock::now();
        long broken = 0;
        ExitLateness lateness;
        for (long k = 0; k < count; ++k) {
            const unsigned seed = from + static_cast<unsigned>(k);
            const ARSSeed run = RunARS(timetable, until, ars, pastFinish, seed, lateness);
            std::cout << "seed " << seed << ": " << run.Summary << "\n";
            if (run.Faults.empty()) continue;
            ++broken;
            for (const std::string& f : run.Faults) std::cout << "  " << f << "\n";
            std::cout << "BROKEN with seed " << seed << "  replay: kestra_soak --timetable "
                      << timetable << " --until " << until << " --ars " << ars << " --from " << seed
                      << " --count 1" << (pastFinish ? " --past-finish" : "") << "\n";
        }
        lateness.Print(std::cout);
        std::cout << "ARS: " << count << " runs, " << broken << " broken, " << seconds(start)
                  << " s\n";
        return broken > 0 ? 1 : 0;
    }
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
