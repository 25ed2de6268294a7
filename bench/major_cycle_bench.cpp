// Major-cycle cost over 200 track circuits, with allocations counted per cycle.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "sim/sim.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void BM_MajorCycleTick(benchmark::State& state) {
    kestra::Sim sim({}, 1);
    sim.SimData.ScreenCount = 2;
    const int circuits = static_cast<int>(state.range(0));
    for (int i = 0; i < circuits; ++i) {
        auto& c = sim.TrackCircuits.Create(sim, "T" + std::to_string(i));
        auto& l = sim.Labels.Create(sim);
        l.X = i % 256;
        l.Y = i % 40;
        l.Text = "aaaa";
        c.TrackElements.Add("", &l);
    }
    int cycle = 0;
    for (int i = 0; i < 8; ++i) sim.MajorCycleTick();
    const long before = g_allocations.load();
    for (auto _ : state) {
        auto& c = *sim.TrackCircuits.At(cycle++ % circuits);
        if (c.OccupyCount == 0) c.Occupy(); else c.Vacate();
        sim.MajorCycleTick();
    }
    state.counters["allocs_per_cycle"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MajorCycleTick)->Arg(200);

}  // namespace

BENCHMARK_MAIN();
