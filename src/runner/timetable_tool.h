#pragma once
// The timetable commands of the program, run without a window on the built-in area:
//   --timetable-import FILE.txt OUT.wtt   text form to a timetable file
//   --timetable-export FILE.wtt OUT.txt   timetable file to text form
//   --timetable-check FILE                validates every train (FILE is WTT or text)
//   --running-times FILE                  the running times of the area's paths for each
//                                         category of FILE
//   --timetable-analyse FILE              the analysis report; exit 1 when it finds problems
//   --timetable-repeat FILE HEADCODE COUNT INTERVAL OUT
//                                         FILE with COUNT copies of a train added, every
//                                         INTERVAL minutes (OUT ending .txt: text form)
//   --timetable-return FILE HEADCODE NEWHEADCODE TURNROUND OUT [ENTRY]
//                                         FILE with the return working of a train added
//   --area-reference                      the area's entry points, locations and paths as
//                                         Markdown tables
// Every FILE may be a timetable file or the text form, told apart by content, and is
// loaded exactly as the game loads it.

#include <iosfwd>
#include <string>
#include <vector>

namespace kestra {
class Sim;
}

namespace kestra::runner {

// The area's identifiers a timetable is written with, as Markdown tables: entry points,
// locations with their platform, line and path codes, and every path with its codes at
// both ends. docs/timetables.md carries this text between its "generated" markers.
void WriteAreaReference(const Sim& sim, std::ostream& out);

// True when args name one of the timetable commands.
bool IsTimetableCommand(const std::vector<std::string>& args);
// Runs the command in args; returns the exit status: 0 on success (for a check: every
// train valid), 1 when a check finds invalid trains or a file cannot be read or
// written, 2 on bad arguments.
int RunTimetableTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestra::runner
