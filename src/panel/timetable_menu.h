#pragma once
// The timetable menu's file commands: merging a timetable file into the working
// timetable, and saving the working timetable under a name the signaller chooses. Both
// ask for the file through the dialogs port, so they run the same with real dialogs and
// in tests.

#include <string>

namespace kestra {

class Sim;

// The filter both timetable file dialogs offer.
inline constexpr const char* TimetableFileFilter = "Timetables (*.WTT)|*.WTT|All files (*.*)|*.*";
// Open takes the readable text form as well.
inline constexpr const char* TimetableOpenFilter =
    "Timetables (*.WTT *.txt)|*.WTT;*.txt|All files (*.*)|*.*";

// "&Open (merge with current)": on a client, the refusal. Otherwise the chosen file is
// read whole first; only when every record reads are its categories (those not already
// known) and its train timetables added, the timetables after the current ones, with the
// current timetable's header kept. True when timetables were added.
bool TimetableOpenMerge(Sim& sim);

// "Save As...": on a client, the refusal. Otherwise, paused while the dialog is open,
// the timetable takes the chosen file's name (without folder and extension) and is
// written; the message line says whether it was saved. True when it was.
bool TimetableSaveAs(Sim& sim);

// The file name of a path without its folder and its extension.
std::string FileBaseName(const std::string& path);

}  // namespace kestra
