// Route setting and release on the double junction: one request (checks, locking,
// points, overlap) and the release of its locking behind it, per iteration.
#include <benchmark/benchmark.h>

#include "sim/sim.h"
#include "fakes/interlocking_fixtures.h"

namespace {

using kestra::RouteRequest;
using kestra::test::BuildDoubleJunction;
using kestra::test::DoubleJunction;
using kestra::test::RailwayBuilder;

// What the entrance signal does when the route is cancelled with no train about: the
// route goes and its locking releases at the next cycle.
void Release(kestra::Sim& sim, kestra::TROU& route) {
    route.Unset();
    route.Entrance->CurrentRoute = nullptr;
    sim.MajorCycleTick();
}

// Alternately to the main line and to the branch, so that the junction points move on
// every request.
void BM_RouteSetAndRelease(benchmark::State& state) {
    kestra::Sim sim({}, 1);
    RailwayBuilder build(sim);
    DoubleJunction j = BuildDoubleJunction(build);
    bool branch = false;
    for (auto _ : state) {
        kestra::TSIG& exit = branch ? *j.SB : *j.SM;
        const kestra::RouteRequestResult r = RouteRequest(sim, *j.SA, exit, 0);
        if (!r.Set) state.SkipWithError("route refused");
        Release(sim, branch ? *j.SASB : *j.SASM);
        branch = !branch;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RouteSetAndRelease);

// A request through a flat crossing held by another route that swings an overlap: the
// down branch across the up overlap of SA, set and released.
void BM_RouteSetWithOverlapSwing(benchmark::State& state) {
    kestra::Sim sim({}, 1);
    RailwayBuilder build(sim);
    DoubleJunction j = BuildDoubleJunction(build);
    for (auto _ : state) {
        RouteRequest(sim, *j.S0, *j.SA, 0);  // SA's overlap straight over the crossing
        if (j.SA->CurrentOverlap != j.SAStraight) state.SkipWithError("overlap not straight");
        const kestra::RouteRequestResult r = RouteRequest(sim, *j.SBd, *j.SD, 0);
        if (!r.Set || j.SA->CurrentOverlap != j.SADiverging) state.SkipWithError("no swing");
        Release(sim, *j.SBdSD);
        Release(sim, *j.S0SA);
        // Untimed: the junction points back to normal, so that the next overlap is
        // laid straight again and has to swing.
        state.PauseTiming();
        j.P1->CallNormal();
        for (int i = 0; i < 10; ++i) sim.MajorCycleTick();
        state.ResumeTiming();
        if (j.SA->CurrentOverlap) state.SkipWithError("overlap not released");
    }
    state.SetItemsProcessed(2 * state.iterations());
}
BENCHMARK(BM_RouteSetWithOverlapSwing);

// A refused request: the checks alone, ending in a message.
void BM_RouteRequestRefused(benchmark::State& state) {
    kestra::Sim sim({}, 1);
    RailwayBuilder build(sim);
    DoubleJunction j = BuildDoubleJunction(build);
    RouteRequest(sim, *j.SBd, *j.SD, 0);  // the down branch crosses the up main
    for (auto _ : state) {
        const kestra::RouteRequestResult r = RouteRequest(sim, *j.SMd, *j.SD, 0);
        if (r.Set) state.SkipWithError("route set");
        sim.Messages().ClearMessages();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RouteRequestRefused);

}  // namespace

BENCHMARK_MAIN();
