#pragma once
// The commands that begin, keep and resume a game: a new game from a scenario, a
// timetable of the data folder and a start time; "Save As..." and "Load Game" through
// the file dialogs; and the start of a new simulation from the menu. The windows that
// ask the player are the front end's; what the answers do is here.

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

class Sim;

// The first entry of the new game's timetable list: play with no timetable.
inline constexpr const char* NoTimetableEntry = "(None)";
// What the file dialogs offer for saved games.
inline constexpr const char* SavedGameFilter = "Kestra Files (*.ZRV)|*.ZRV|All Files (*.*)|*.*";

// The area's data folder: the current folder joined with the area identifier.
std::string DataFolder(const std::string& currentFolder, const std::string& areaId);

// The timetable files of the folder whose header can be read, each as its name
// without folder and extension; the extension ".WTT" is matched in any case. Sorted
// by name, so the list is the same on every file system. Given the simulation, text
// timetables (".txt") that read as the game reads them are listed too.
std::vector<std::string> ListTimetables(const std::string& folder, Sim* sim = nullptr);
// The file of a listed timetable (its extension as it is on disk); a timetable file
// is preferred to a text timetable of the same name.
std::string TimetablePath(const std::string& folder, const std::string& name);

// The start-time field: exactly "HH:MM" with the hours' first digit 0 to 2 and the
// minutes' first digit 0 to 5, as seconds; -1 for anything else.
std::int32_t ParseStartTimeField(const std::string& text);
// A timetable's start time as the field shows it ("07:00", "07:00 H" on a half minute).
std::string StartTimeFieldText(std::int32_t seconds);

// What the new-game dialog chose.
struct NewGameChoice {
    int Scenario = -1;      // -1: none
    std::string Timetable;  // a name from ListTimetables, empty or NoTimetableEntry: none
    std::string StartTime;  // the start-time field; empty: the timetable's own start
};
// Starts the chosen game on a reset simulation: the scenario's settings, the
// timetable, the clock, the entry delays. False with the error box shown (and the
// simulation as the reset left it) when the time is not a time or the timetable cannot
// be loaded; the time is checked before anything is loaded, so a second try starts
// from the same state.
bool StartNewGame(Sim& sim, const std::string& folder, const NewGameChoice& choice);

// "Save As...": the save dialog, then the file; the outcome on the message line, and
// an error box when it failed. False when cancelled or failed.
bool SaveGameAs(Sim& sim, const std::string& folder);
// "Load Game": the open dialog, then the load; a failure shows "Error loading
// simulation" and leaves a reset simulation. False when cancelled or failed.
bool LoadGame(Sim& sim, const std::string& folder);
// "New Simulation": asks first; on Yes the performance analysis, a reset, and the
// start-up dialog is due. False when the player said No.
bool NewSimulation(Sim& sim);

}  // namespace kestra
