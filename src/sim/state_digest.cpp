#include "sim/state_digest.h"

#include <cstdio>

#include "core/value_stream.h"
#include "persist/saved_simulation.h"
#include "sim/sim.h"

namespace kestra {

std::vector<std::uint8_t> StateRecord(Sim& sim) {
    // Exactly what a saved game holds, so a digest taken after a load equals the one
    // taken before the save.
    ValueWriter w;
    if (!WriteSavedSimulation(sim, w)) w.WriteString("<save failed>");
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
