#pragma once
// Sectional running times: how long a train of given characteristics needs along one of
// the area's paths with every signal showing proceed, worked second by second the way a
// moving train accelerates, holds and brakes. Timetables written against these times
// can be kept by a signaller who never checks a train.

#include <cstdint>
#include <string>

namespace kestra {

class TPTH;
class TTimetable;
class TTrainCategory;
struct TSimData;

// What the running of a train depends on.
struct RunningCharacteristics {
    std::int32_t AccelBrake = 0;  // profile 0..4
    std::int32_t MaxSpeed = 0;    // mph
    std::int32_t Length = 0;      // m
    bool IsFreight = false;

    static RunningCharacteristics Of(const TTrainCategory& category);
    static RunningCharacteristics Of(const TTimetable& timetable);
};

// How a train starts and ends a section.
enum class SectionStart : std::uint8_t {
    Standing,  // departs from a stand at the path's start
    Running,   // passes the start (or enters the area) at the line speed
};
enum class SectionEnd : std::uint8_t {
    Stopping,  // comes to a stand at the end of the path
    Passing,   // runs through the end at whatever speed it has
};

// Whole seconds from start to end of the path's routes; -1 for a path without routes or
// a train that cannot move (no speed).
std::int32_t MinimumRunningTime(const TPTH& path, const TSimData& data,
                                const RunningCharacteristics& train, SectionStart start,
                                SectionEnd end);

// The departure of a train at a station is up to this many seconds after its booked
// time even when it is ready, so a booked section needs that much more than the
// running time.
inline constexpr std::int32_t DepartureSpread = 14;

// Checks a validated timetable's booked times against the running times of its paths:
// each section between key trips (and from the entry) must allow at least the running
// time, plus DepartureSpread after a stop. False with the first short section named in
// message. A timetable whose paths cannot be computed is reported the same way.
bool CheckRunningTimes(TTimetable& timetable, std::string& message);

}  // namespace kestra
