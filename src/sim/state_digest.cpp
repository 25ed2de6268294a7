#include "sim/state_digest.h"

#include <cstdio>

#include "sim/sim.h"
#include "core/value_stream.h"

namespace kestra {

std::vector<std::uint8_t> StateRecord(Sim& sim) {
    ValueWriter w;
    w.WriteInteger(sim.SimTime);
    // The performance counters, as a saved simulation holds them after the clock.
    sim.Performance.Save(w);
    // Every list that keeps a saved record, in the order a saved simulation holds them.
    // The describer's berths (their descriptions and colours) come first, as they do there.
    TSSIList* lists[] = {&sim.Berths, &sim.TrackCircuits, &sim.Points, &sim.Subroutes,
                         &sim.Overlaps, &sim.Routes, &sim.Signals, &sim.Labels};
    for (TSSIList* list : lists) {
        if (!list->Save(w)) w.WriteString("<save failed>");
    }
    return w.TakeBytes();
}

std::string StateDigest(Sim& sim) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : StateRecord(sim)) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

}  // namespace kestra
