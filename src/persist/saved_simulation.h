#pragma once
// The saved-simulation file: a header that names the format, its version and the area,
// the clock, the scoring record and the area's rates, then one section per object list
// in a fixed order. A load either restores the whole saved game or leaves a reset
// simulation behind; it never leaves half of one.

#include <cstdint>
#include <string>
#include <vector>

#include "core/value_stream.h"

namespace kestra {

class Sim;

inline constexpr const char* SavedSimulationMagic = "KESTRA";
inline constexpr std::int32_t SavedSimulationVersion = 2;
// The extension the file dialogs offer for saved games.
inline constexpr const char* SavedSimulationExtension = "ZRV";

// What a load that failed tells its caller.
struct SimulationLoadError {
    // The text of the error box already shown for this failure (a header check), or
    // empty when the failure showed none.
    std::string Box;
    // Why the load failed, for a log or a terminal.
    std::string Reason;
};

// Counts and identities of the objects the area built, as one text: a saved game is
// readable only by an area that builds the same objects in the same order.
std::string AreaFingerprint(Sim& sim);

// The whole saved game as bytes. False (bytes incomplete) when a section fails.
bool WriteSavedSimulation(Sim& sim, ValueWriter& writer);
// Writes the saved game to path: 0 on success, 1 on failure. The file is written
// beside the target and put in its place only once complete, so a failed save leaves
// any earlier file whole.
int SaveSimulation(Sim& sim, const std::string& path);

// Reads a saved game: 0 on success, 1 on failure. The simulation is reset first; on
// failure it is reset again, with the header checks' error boxes shown through the
// simulation's dialogs. error (when given) says why.
int LoadSimulation(Sim& sim, const std::string& path, SimulationLoadError* error = nullptr);
int LoadSimulationBytes(Sim& sim, const std::vector<std::uint8_t>& bytes,
                        SimulationLoadError* error = nullptr);

}  // namespace kestra
