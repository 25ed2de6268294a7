// Counts heap allocations made by the major cycle in the steady state. The global
// allocator is replaced in this program only.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "fakes/fakes.h"

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

namespace kestra {
namespace {

TEST(SteadyStateAllocTest, MajorCycleOfBusyCircuitsAllocatesNothing) {
    test::TestSim t;
    t->SimData.ScreenCount = 2;
    for (int i = 0; i < 200; ++i) {
        TTCS& c = t->TrackCircuits.Create(*t, "T" + std::to_string(i));
        TPEL& l = t->Labels.Create(*t);
        l.X = i % 256;
        l.Y = i % 40;
        l.Text = "aaaa";
        c.TrackElements.Add("", &l);
    }
    t.Ticks(4);  // warm up
    const long before = g_allocations.load();
    for (int cycle = 0; cycle < 400; ++cycle) {
        // Circuits occupy and clear as trains pass, so the clearing path runs too.
        TTCS& c = *t->TrackCircuits.At(cycle % 200);
        if (c.OccupyCount == 0) c.Occupy(); else c.Vacate();
        t->MajorCycleTick();
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
}

}  // namespace
}  // namespace kestra
