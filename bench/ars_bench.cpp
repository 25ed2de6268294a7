// Automatic route setting on the built-in area.
//
// BM_StandardDayUnderARS: the whole standard day played headless with every sub-area
// under ARS and no signaller, from the timetable's start to its finish; wall time and
// major cycles per second.
//
// BM_ARSMajorCycleFullArea: one major cycle of the built-in area with the area full of
// trains under ARS, filled by a timetable made for it (two fills, below).
// Once 35 trains stand in the area (or the fill time is out) cycles are timed;
// allocations are counted per cycle over the timed cycles, and the counters show that
// the trains keep running meanwhile: trains in the area (average and fewest), trains
// moving (average) and trains that left the area.
//
// BM_ARSCycleAloneFullArea: the ARS cycle alone over the same trains, everything else
// held still: its own cost per working cycle, and its allocations once settled.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "ars/ars_subarea.h"
#include "ars/ars_train.h"
#include "fakes/allocation_counter.h"
#include "fakes/area_fill.h"
#include "runner/headless.h"
#include "sim/sim.h"
#include "timetable/timetable_start.h"
#include "trains/train.h"

namespace {

using namespace kestra;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Shifts every HH:MM of a timetable line by minutes.
std::string ShiftTimes(const std::string& line, int minutes) {
    std::string out = line;
    for (std::size_t i = 0; i + 5 <= out.size(); ++i) {
        const auto digit = [&](std::size_t k) { return out[k] >= '0' && out[k] <= '9'; };
        if (!(digit(i) && digit(i + 1) && out[i + 2] == ':' && digit(i + 3) && digit(i + 4)))
            continue;
        if (i > 0 && (digit(i - 1) || out[i - 1] == ':')) continue;
        int t = ((out[i] - '0') * 10 + (out[i + 1] - '0')) * 60 + (out[i + 3] - '0') * 10 +
                (out[i + 4] - '0') + minutes;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d:%02d", (t / 60) % 24, t % 60);
        out.replace(i, 5, buf, 5);
        i += 4;
    }
    return out;
}

// The fill timetable: the base timetable's header and categories, its trains that enter
// from outside with no divide, join or next working repeated copies times (copy c later
// by c * spacing minutes), the others once. Every copy gets a description of its own:
// the class digit and letter kept, the number the next one free from 50 up (then other
// letters), so no two trains share a description and ARS finds each one's timetable.
std::string FillTimetable(const std::string& base, int copies, int spacing) {
    const std::string source = ReadFile(std::string(KESTRA_SOURCE_DIR) + "/data/VLM/" + base);
    std::set<std::string> used;
    {
        std::stringstream scan(source);
        for (std::string line; std::getline(scan, line);)
            if (line.rfind("train ", 0) == 0 && line.size() >= 10) used.insert(line.substr(6, 4));
    }
    auto freshDescription = [&](const std::string& old) {
        for (char letter = old[1];; letter = letter == 'Z' ? 'A' : static_cast<char>(letter + 1)) {
            for (int number = 50; number < 150; ++number) {
                std::string d = old.substr(0, 1) + letter;
                d += static_cast<char>('0' + (number % 100) / 10);
                d += static_cast<char>('0' + number % 10);
                if (used.insert(d).second) return d;
            }
        }
    };
    std::stringstream in(source);
    std::vector<std::string> block;
    std::string out;
    auto flush = [&] {
        if (block.empty()) return;
        const std::string& first = block.front();
        bool plain = first.find(" - ") == std::string::npos;
        for (const std::string& l : block)
            plain = plain && l.find("divide") == std::string::npos &&
                    l.find("join") == std::string::npos && l.find("next") == std::string::npos;
        const int n = plain ? copies : 1;
        for (int c = 0; c < n; ++c) {
            for (std::size_t k = 0; k < block.size(); ++k) {
                std::string line = ShiftTimes(block[k], c * spacing);
                if (k == 0 && c > 0) line.replace(6, 4, freshDescription(line.substr(6, 4)));
                out += line + "\n";
            }
            out += "\n";
        }
        block.clear();
    };
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("train ", 0) == 0) {
            flush();
            block.push_back(line);
        } else if (!block.empty()) {
            if (line.empty())
                flush();
            else
                block.push_back(line);
        } else {
            out += line + "\n";
        }
    }
    flush();
    return out;
}

void SwitchARSOn(Sim& sim) {
    sim.ARSSubAreas.ForEach([](TARS& a) {
        a.SetCollared(false);
        a.SetSelected(true);
    });
}

void BM_StandardDayUnderARS(benchmark::State& state) {
    runner::HeadlessOptions o;
    std::string error;
    if (!runner::ParseHeadlessArgs(
            {"--timetable", std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT", "--ars", "all",
             "--seed", "1", "--until", "23:59"},
            o, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    long cycles = 0;
    o.EachCycle = [&](Sim&) { ++cycles; };
    std::string summary;
    double seconds = 0;
    for (auto _ : state) {
        std::ostringstream out, err;
        const auto start = std::chrono::steady_clock::now();
        const int status = runner::RunHeadless(o, out, err);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) {
            state.SkipWithError(err.str().c_str());
            return;
        }
        summary = out.str();
    }
    auto value = [&](const std::string& name) {
        const std::size_t at = summary.find("\n" + name + " ");
        return at == std::string::npos
                   ? -1.0
                   : std::strtod(summary.c_str() + at + name.size() + 2, nullptr);
    };
    state.counters["cycles"] =
        static_cast<double>(cycles) / static_cast<double>(state.iterations());
    state.counters["cycles_per_second"] = static_cast<double>(cycles) / seconds;
    state.counters["trains_entered"] = value("trains_entered");
    state.counters["ars_routes_set"] = value("ars_routes_set");
    state.counters["errors_caught"] = value("errors_caught");
}
BENCHMARK(BM_StandardDayUnderARS)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The two fills: 0, the beginner's main-line trains every minute each way for a quarter
// of an hour (the trains keep moving; the main lines hold about fifteen); 1, the fill
// of tests/fakes/area_fill.h, four flows every four minutes for four hours (35 trains: the area is
// as full as the train limit lets it be, and trains still run through it). The standard day
// repeated does not fill it: its joins, bay turnbacks and goods moves lock up the junctions with
// about twenty trains in.
struct Fill {
    const char* Base;  // null: the fill of tests/fakes/area_fill.h
    int Copies;
    int Spacing;
};
constexpr Fill kFills[] = {{"beginner.txt", 15, 1}, {nullptr, 60, 4}};

// A simulation under ARS with the fill timetable played until the area is full (not
// before 07:20, when the made fill's flows have begun). False
// with error when the timetable is refused.
bool FillArea(Sim& sim, const Fill& fill, int& most, std::string& error) {
    const std::string path =
        std::string(KESTRA_BINARY_DIR) + "/ars_fill_" + (fill.Base ? fill.Base : "made.txt");
    if (fill.Base) {
        std::ofstream(path) << FillTimetable(fill.Base, fill.Copies, fill.Spacing);
    } else {
        std::ofstream(path) << test::FullAreaTimetable(fill.Copies, fill.Spacing);
    }
    area::BuildArea(sim);
    SwitchARSOn(sim);
    if (!StartWithTimetable(sim, path, -1, &error)) return false;
    // Until 35 trains, or the most seen has not grown for twenty simulated minutes (the
    // area is as full as this timetable makes it), or three hours.
    most = 0;
    long mostAt = 0;
    for (long tick = 0;
         tick < 2 * 10800 && (sim.SimTime < 7 * 3600 + 1200 || tick - mostAt < 2 * 1200); ++tick) {
        sim.MajorCycleTick();
        const int n = sim.Trains.TrainsInArea();
        if (n > most) {
            most = n;
            mostAt = tick;
        }
        if (n >= 35) break;
    }
    return true;
}

void BM_ARSMajorCycleFullArea(benchmark::State& state) {
    Sim sim({}, 1);
    int most = 0;
    std::string error;
    if (!FillArea(sim, kFills[state.range(0)], most, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    long trainsSum = 0, arsSum = 0, movingSum = 0, fewest = 1000;
    const int leftBefore = sim.Trains.LeftCount;
    const long before = test::AllocationCount();
    // The trains are counted every tenth cycle, so that counting adds little to the time.
    long cycle = 0, samples = 0;
    for (auto _ : state) {
        sim.MajorCycleTick();
        if (cycle++ % 10 != 0) continue;
        ++samples;
        const int n = sim.Trains.TrainsInArea();
        trainsSum += n;
        fewest = std::min<long>(fewest, n);
        arsSum += sim.ARSTrains().Count();
        sim.Trains.ForEach([&](const TTRN& t) { movingSum += t.Speed > 0 ? 1 : 0; });
    }
    const auto n = static_cast<double>(state.iterations());
    const auto m = static_cast<double>(std::max(1L, samples));
    state.counters["allocs_per_cycle"] = static_cast<double>(test::AllocationCount() - before) / n;
    state.counters["trains_in_area"] = static_cast<double>(trainsSum) / m;
    state.counters["ars_trains"] = static_cast<double>(arsSum) / m;
    state.counters["moving"] = static_cast<double>(movingSum) / m;
    state.counters["fewest"] = static_cast<double>(fewest);
    state.counters["trains_left"] = sim.Trains.LeftCount - leftBefore;
    state.counters["errors_caught"] = static_cast<double>(sim.ErrorsCaught);
    state.counters["fill_most"] = most;
}
// Ten simulated minutes.
BENCHMARK(BM_ARSMajorCycleFullArea)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(1200);

// The ARS share alone: one working ARS cycle (two calls, as the main cycle makes them on
// alternate ticks) over the filled area with the rest of the world held still.
void BM_ARSCycleAloneFullArea(benchmark::State& state) {
    Sim sim({}, 1);
    int most = 0;
    std::string error;
    if (!FillArea(sim, kFills[state.range(0)], most, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    TARSTrainList& ars = sim.ARSTrains();
    for (int i = 0; i < 40; ++i) ars.ARSCycle();
    const long before = test::AllocationCount();
    for (auto _ : state) {
        ars.ARSCycle();
        ars.ARSCycle();
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["allocs_per_cycle"] = static_cast<double>(test::AllocationCount() - before) / n;
    state.counters["ars_trains"] = static_cast<double>(ars.Count());
}
BENCHMARK(BM_ARSCycleAloneFullArea)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(2000);

}  // namespace
BENCHMARK_MAIN();
