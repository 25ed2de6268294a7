// Major-cycle cost on the built-in area while the end-to-end trains run plays: the
// beginner's timetable's first half hour, its routes set by the signaller's commands of
// tests/golden/trains_three.cmd at their times. Allocations counted per cycle (train
// entry and route setting included).
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/allocation_counter.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "timetable/timetable_text.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void BM_BuiltInAreaWithTrains(benchmark::State& state) {
    kestra::Sim sim({}, 1);
    kestra::area::BuildArea(sim);
    std::string error;
    if (!kestra::ImportTimetableText(
            sim, ReadFile(std::string(KESTRA_SOURCE_DIR) + "/data/VLM/beginner.txt"), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    sim.SimTime = sim.Timetable.StartTime;
    std::istringstream cmd(
        ReadFile(std::string(KESTRA_SOURCE_DIR) + "/tests/golden/trains_three.cmd"));
    std::vector<kestra::runner::HeadlessCommand> commands;
    if (!kestra::runner::ParseCommands(cmd, commands, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::size_t next = 0;
    const long before = kestra::test::AllocationCount();
    for (auto _ : state) {
        while (next < commands.size() && commands[next].Time <= sim.SimTime) {
            const auto& c = commands[next++];
            kestra::TSIG* from = sim.Signals.FindID(c.Args[0]);
            kestra::TSIG* to = c.Args.size() > 1 ? sim.Signals.FindID(c.Args[1]) : nullptr;
            if (c.Verb == "route" && from && to) kestra::RouteRequest(sim, *from, *to, 0);
        }
        sim.MajorCycleTick();
    }
    state.counters["allocs_per_cycle"] =
        benchmark::Counter(static_cast<double>(kestra::test::AllocationCount() - before),
                           benchmark::Counter::kAvgIterations);
    state.counters["trains_in_area"] = static_cast<double>(sim.Trains.Count());
}
// Half an hour of simulated time from the timetable's start.
BENCHMARK(BM_BuiltInAreaWithTrains)->Iterations(3600);

}  // namespace
BENCHMARK_MAIN();
