#include "timetable/timetable_start.h"

#include "sim/sim.h"
#include "timetable/timetable_file.h"

namespace kestra {

bool StartWithTimetable(Sim& sim, const std::string& path, std::int32_t startTime,
                        std::string* error) {
    if (!LoadTimetableFile(sim, path, error)) return false;
    sim.SimTime = startTime >= 0 ? startTime : sim.Timetable.StartTime;
    // The delays are drawn against the new clock: a train whose entry time has already
    // passed is marked as never entering rather than rushing in at once.
    sim.Timetable.GenerateDelays();
    sim.Display().RedrawStatus();
    return true;
}

}  // namespace kestra
