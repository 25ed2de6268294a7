#pragma once
// The headless runner: the built-in area with no window, driven by the clock and by a
// file of operator commands at simulated times. Tests, benchmarks and soak runs all go
// through it, so one seed and one commands file give one run, tick for tick.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace kestra {
class Sim;
class PanelSurface;
struct TimeDistanceGraph;
}  // namespace kestra

namespace kestra::runner {

// One operator command of a commands file.
struct HeadlessCommand {
    int Line = 0;
    std::int32_t Time = 0;
    std::string Verb;
    std::vector<std::string> Args;
};

struct HeadlessOptions {
    int Scenario = -1;        // -1: none applied
    std::int32_t Start = -1;  // simulated start time in seconds, -1: the area's default
    std::int32_t Until = -1;  // stop when the clock reaches this, -1: not used
    long Ticks = -1;          // major cycles to run, -1: not used
    std::uint32_t Seed = 0;
    bool SeedGiven = false;
    std::string CommandsFile;
    std::string TimetableFile;  // a WTT file, loaded as the working timetable
    std::string LoadFile;       // a saved game to start from
    std::string SaveFile;       // where the game is saved at the end of the run
    // Called after every major cycle (tests run their invariant checkers here).
    std::function<void(Sim&)> EachCycle;
    // Called once the run is over, while the simulation still lives (tests take their
    // invariant checkers off it here, before it goes).
    std::function<void(Sim&)> AfterRun;
    // Called before every major cycle, after the file's commands due have been played:
    // a scripted signaller adds commands here, which are played at once through the
    // same panel code, so a file written from them replays the run tick for tick.
    std::function<void(Sim&, std::vector<HeadlessCommand>&)> BeforeCycle;
    // The surface the panel is drawn on (tests read it back); none: drawn nowhere.
    PanelSurface* Surface = nullptr;
    bool Log = false;
    bool Digest = false;
    // ARS sub-areas switched on at the start: "all", "none", or labels separated by
    // commas (every other sub-area off); empty leaves them as the scenario set them.
    std::string ARS;
    // Lets every train in at its booked time (no entry delays drawn): replays a day
    // recorded that way, such as a stored commands file.
    bool NoEntryDelays = false;
    // Goes on past the timetable's finish instead of ending the game there, so a run
    // can watch the last trains clear the area.
    bool PastFinish = false;
    // A folder that receives the report of the run at its end: analysis.txt,
    // punctuality.csv, punctuality.txt and a graph-<line>.png per line of the area.
    std::string ReportDir;
    // Paints a time-distance graph into a PNG file (the program's front end does;
    // without it no picture is written). False with error set when it could not.
    std::function<bool(const TimeDistanceGraph&, const std::string& path, std::string& error)>
        DrawGraph;
};

// Writes the report of the simulation as it stands into the folder (made when missing).
// False with the reason on err when a file cannot be written.
bool WriteReport(Sim& sim, const std::string& folder, const HeadlessOptions& options,
                 std::ostream& err);

// Reads the options after --headless; false with error set on a bad option.
bool ParseHeadlessArgs(const std::vector<std::string>& args, HeadlessOptions& options,
                       std::string& error);
// Reads "HH:MM:SS verb args..." lines; blank lines and lines starting with '#' are
// skipped. Times must not go backwards. False with error naming the line otherwise.
bool ParseCommands(std::istream& in, std::vector<HeadlessCommand>& commands, std::string& error);
// "HH:MM:SS" or "HH:MM" to seconds, -1 when malformed.
std::int32_t ParseClockTime(const std::string& text);

// Runs a whole headless session: the log lines (with Log), then the summary, go to out;
// errors and refused commands go to err. Returns the process exit status: 0 when the
// run completed, 1 when a saved game is refused or cannot be saved (or the report cannot
// be written), 2 on bad options or a bad commands file.
int RunHeadless(const HeadlessOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kestra::runner
