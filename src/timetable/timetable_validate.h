#pragma once
// Preparing a train's timetable for running: timing points inserted, missing codes
// filled from the area's code rules, and the paths between its key trips checked.

#include <cstdint>
#include <string>
#include <vector>

#include "timetable/timetable.h"

namespace kestra {

class TROU;

// Inserts timing points, fills codes and checks that every path exists. False with the
// first failure's text in message. Running it again on a validated timetable changes
// nothing more.
bool Validate(TTimetable& timetable, std::string& message);
// What to do about a failed validation's message, in a sentence.
std::string ValidationAdvice(const std::string& message);
// Step 1 of validation on its own: timing points the area's insertions ask for.
void InsertTimingPoints(TTimetable& timetable);
// Step 2 of validation on its own: empty path and line codes filled by the code rules.
void FillCodes(TTimetable& timetable);
// Fills the timetable's paths, from the entry (or the first key trip) through each pair
// of key trips, stopping at the first pair without a path; sets each key trip's
// direction from the paths found.
void ComputePaths(TTimetable& timetable);
// The start direction of the first path (1 down, 2 up), 0 when there is none.
std::uint8_t FirstPathDirection(TTimetable& timetable);
// Every route on the timetable's paths, in path order.
void RoutesOnPaths(TTimetable& timetable, std::vector<TROU*>& routes);

}  // namespace kestra
