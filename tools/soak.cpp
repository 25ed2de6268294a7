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

#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"
#include "fakes/random_signaller.h"

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
                 "[--area-only] [--fixtures-only]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned from = 1;
    long count = 2000;
    int steps = 3000;
    int fixtureSteps = 3000;
    bool area = true, fixtures = true;
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
        } else {
            return Usage();
        }
    }

    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
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
