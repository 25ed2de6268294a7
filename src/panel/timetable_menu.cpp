#include "panel/timetable_menu.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "panel/commands.h"
#include "panel/messages.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_start.h"

namespace kestra {

std::string FileBaseName(const std::string& path) {
    // Both separators, so that a path typed the other system's way still gives its name.
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

bool TimetableOpenMerge(Sim& sim) {
    if (sim.ClientMode) {
        sim.PostEventMessage(NotInClientMode, EvGeneral);
        return false;
    }
    FileChoice choice;
    choice.InitialFolder = sim.SimData.AreaID;
    choice.Filter = TimetableOpenFilter;
    choice.DefaultExtension = "WTT";
    const std::optional<std::string> path = sim.Dialog().OpenFile(choice);
    if (!path) return false;
    std::vector<std::uint8_t> bytes;
    // A file that cannot be opened is a failure with nothing shown.
    if (!ReadFileBytes(*path, bytes)) return false;
    TimetableLoad load;
    std::string error;
    if (!ReadAnyTimetable(sim, bytes, load, error)) {
        // A timetable file's reader has shown its own box for a wrong magic or version.
        if (load.RecordFailed) sim.Messages().PostErrorLine("Error reading from file");
        if (DetectTimetableFormat(bytes) != TimetableFormat::File)
            sim.Dialog().ShowError("The timetable was not loaded: " + error);
        return false;
    }
    for (auto& c : load.NewCategories) sim.Categories.Adopt(std::move(c));
    load.NewCategories.clear();
    for (auto& t : load.Timetables) sim.Timetable.InsertOwned(sim.Timetable.Count(), std::move(t));
    load.Timetables.clear();
    return true;
}

bool TimetableSaveAs(Sim& sim) {
    if (sim.ClientMode) {
        sim.PostEventMessage(NotInClientMode, EvGeneral);
        return false;
    }
    sim.PauseSimulation();
    FileChoice choice;
    choice.InitialFolder = sim.SimData.AreaID;
    choice.Filter = TimetableFileFilter;
    choice.DefaultExtension = "WTT";
    choice.ProposedName = sim.Timetable.Name + ".WTT";
    const std::optional<std::string> path = sim.Dialog().SaveFile(choice);
    bool saved = false;
    if (path) {
        sim.Timetable.Name = FileBaseName(*path);
        saved = SaveTimetableFile(sim, *path);
        if (saved) {
            sim.PostEventMessage("Timetable saved ok", EvGeneral);
        } else {
            sim.PostEventMessage("Timetable failed to save", EvGeneral);
            sim.Dialog().ShowError("Error saving timetable");
        }
    }
    sim.ResumeSimulation();
    return saved;
}

}  // namespace kestra
