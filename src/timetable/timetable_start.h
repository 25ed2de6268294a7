#pragma once
// Starting a new simulation with a timetable: what the new-game choice does once the
// player has picked a timetable file and a start time.

#include <cstdint>
#include <string>

namespace kestra {

class Sim;

// Loads the timetable file into the (freshly reset) working timetable; on success sets
// the clock to startTime, or to the timetable's own start time when startTime is
// negative, and has every train timetable draw its random entry delay. On failure
// nothing changes and error (when given) says why.
bool StartWithTimetable(Sim& sim, const std::string& path, std::int32_t startTime,
                        std::string* error = nullptr);

}  // namespace kestra
