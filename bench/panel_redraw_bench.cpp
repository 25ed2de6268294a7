// A full RedrawPanel into the Qt panel image, with every cell of the shown screen
// drawn: the budget is 2 ms.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "sim/sim.h"
#include "display/palette.h"
#include "qt_surface.h"

namespace {

// Two screens whose every cell above the furniture holds track, as labels of track
// circuits (drawn over two backgrounds) and plain text labels, plus a full history.
struct FullPanel {
    FullPanel() : sim(Ports(), 1) {
        sim.SimData.ScreenCount = 2;
        for (int y = 0; y < 46; ++y) {
            for (int x = 0; x < 256; x += 16) {
                auto& tc = sim.TrackCircuits.Create(
                    sim, "T" + std::to_string(y) + "_" + std::to_string(x));
                auto& track = sim.Labels.Create(sim);
                track.X = x;
                track.Y = y;
                track.Text = std::string(12, 'a');
                tc.TrackElements.Add("", &track);
                auto& text = sim.Labels.Create(sim);
                text.X = x + 12;
                text.Y = y;
                text.Text = "1A23";
            }
        }
        for (int i = 0; i < 15; ++i)
            sim.Messages().MessageHistory.push_back({std::string(124, 'M'), kestra::ClCyan});
        for (int i = 0; i < 4; ++i)
            sim.Messages().MessageLine.push_back({std::string(60, 'L'), kestra::ClYellow});
        sim.SetSurface(&surface);
    }
    static kestra::Ports Ports() { return {}; }
    kestra::app::QtPanelSurface surface;
    kestra::Sim sim;
};

void BM_RedrawPanelScreen(benchmark::State& state) {
    FullPanel p;
    p.sim.Display().CurrentScreen = static_cast<int>(state.range(0));
    for (auto _ : state) {
        p.sim.Display().RedrawPanel();
        benchmark::DoNotOptimize(p.surface.Image().constBits());
        p.surface.TakeDirty();
    }
    state.SetLabel(state.range(0) == 0 ? "overview" : "screen 1, every cell drawn");
}
BENCHMARK(BM_RedrawPanelScreen)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
