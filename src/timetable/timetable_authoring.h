#pragma once
// Tools for writing timetables: a train repeated at a fixed interval, and the return
// working of a train. Both make ordinary train timetables that validate; nothing is
// added to the working timetable until the caller adopts them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestra {

class Sim;
class TENT;
class TTimetable;

// The headcode step numbers after headcode: its trailing digits plus step, written in
// the same number of digits. Empty when the headcode does not end in a digit or the
// number would need more digits.
std::string NumberedHeadcode(const std::string& headcode, int step);

// count copies of original, the first interval minutes after it and each one interval
// after the one before, with headcodes numbered on from original's (skipping any the
// working timetable or an earlier copy already uses), times shifted, category and
// characteristics kept, not yet entered. Activities are not copied: a partner train
// belongs to one working. False with the reason in error (count or interval out of
// range, no free headcode, a copy that does not validate).
bool RepeatTrain(Sim& sim, const TTimetable& original, int count, int intervalMinutes,
                 std::vector<std::unique_ptr<TTimetable>>& copies, std::string& error);

// The train that works back from where original ends: its stations in reverse order,
// each platform the one a path of the area gives for the opposite way, the times from
// the area's running times for the train's characteristics with the original's dwell
// at each station, starting turnroundMinutes after the original's last time.
//  - An original that ends with a stop forms the return working there (a next-service
//    activity is added to original's last trip when it has no activity); one that leaves
//    the area makes a return that enters from entry (or, when entry is none, the one
//    entry point with a path to the first station; with several, error lists them).
//  - An original that entered from the edge makes a return that leaves the area beyond
//    the original's first station; one that started in the area makes a return that
//    ends there.
// The result validates; None with the reason in error when it cannot be made.
std::unique_ptr<TTimetable> MakeReturnWorking(Sim& sim, TTimetable& original,
                                              const std::string& headcode, int turnroundMinutes,
                                              TENT* entry, std::string& error);

}  // namespace kestra
