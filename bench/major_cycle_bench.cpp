// Major-cycle cost over 200 track circuits, with allocations counted per cycle.
#include <benchmark/benchmark.h>

#include "fakes/allocation_counter.h"
#include "fakes/busy_circuits.h"
#include "sim/sim.h"

namespace {

void BM_MajorCycleTick(benchmark::State& state) {
    kestra::Sim sim({}, 1);
    sim.SimData.ScreenCount = 2;
    const int circuits = static_cast<int>(state.range(0));
    kestra::test::AddBusyCircuits(sim, circuits);
    int cycle = 0;
    for (int i = 0; i < 8; ++i) sim.MajorCycleTick();
    const long before = kestra::test::AllocationCount();
    for (auto _ : state) {
        kestra::test::PassOverCircuit(sim, cycle++, circuits);
        sim.MajorCycleTick();
    }
    state.counters["allocs_per_cycle"] =
        benchmark::Counter(static_cast<double>(kestra::test::AllocationCount() - before),
                           benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MajorCycleTick)->Arg(200);

}  // namespace

BENCHMARK_MAIN();
