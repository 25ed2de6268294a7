// Major-cycle cost with 35 trains running round a ring of plain line (looking ahead,
// braking for the train in front, occupying and clearing circuits), with allocations
// counted per cycle.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "fakes/allocation_counter.h"
#include "fakes/interlocking_fixtures.h"
#include "sim/sim.h"

namespace {

void BM_TrainsOnARing(benchmark::State& state) {
    kestra::Sim sim({}, 1);
    kestra::test::RailwayBuilder b(sim);
    const int trains = static_cast<int>(state.range(0));
    const int subroutes = 2 * trains;
    std::vector<kestra::TULC*> ring;
    for (int i = 0; i < subroutes; ++i)
        ring.push_back(&b.Subroute(b.Circuit("R" + std::to_string(i)), "AB", nullptr, 300));
    for (int i = 0; i < subroutes; ++i) kestra::LinkSubroutes(*ring[i], *ring[(i + 1) % subroutes]);
    for (int i = 0; i < trains; ++i) {
        kestra::TTRN& t = sim.Trains.Create("1A" + std::to_string(10 + i));
        t.Place(nullptr, *ring[2 * i], nullptr);
        t.Length = 100;
        t.Speed = 0;
    }
    for (int i = 0; i < 600; ++i) sim.MajorCycleTick();
    const long before = kestra::test::AllocationCount();
    for (auto _ : state) sim.MajorCycleTick();
    state.counters["allocs_per_cycle"] =
        benchmark::Counter(static_cast<double>(kestra::test::AllocationCount() - before),
                           benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_TrainsOnARing)->Arg(35);

}  // namespace

BENCHMARK_MAIN();
