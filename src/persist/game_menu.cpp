#include "persist/game_menu.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "core/time_format.h"
#include "panel/commands.h"
#include "persist/saved_simulation.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_start.h"

namespace kestra {

namespace {

std::string UpperExtension(const std::filesystem::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

bool HasTimetableExtension(const std::filesystem::path& p) {
    return UpperExtension(p) == ".WTT";
}

bool HasTextTimetableExtension(const std::filesystem::path& p) {
    return UpperExtension(p) == ".TXT";
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string DataFolder(const std::string& currentFolder, const std::string& areaId) {
    return (std::filesystem::path(currentFolder) / areaId).string();
}

std::vector<std::string> ListTimetables(const std::string& folder, Sim* sim) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        if (!it->is_regular_file(kind)) continue;
        TTimetableHeader header;
        if (HasTimetableExtension(it->path())) {
            if (!ReadTimetableHeader(it->path().string(), header)) continue;
        } else if (sim && HasTextTimetableExtension(it->path())) {
            if (!ReadAnyTimetableHeader(*sim, it->path().string(), header)) continue;
        } else {
            continue;
        }
        names.push_back(it->path().stem().string());
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::string TimetablePath(const std::string& folder, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string text;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().stem().string() != name) continue;
        if (HasTimetableExtension(it->path())) return it->path().string();
        if (HasTextTimetableExtension(it->path())) text = it->path().string();
    }
    if (!text.empty()) return text;
    return (fs::path(folder) / (name + ".WTT")).string();
}

std::int32_t ParseStartTimeField(const std::string& t) {
    if (t.size() != 5 || t[0] < '0' || t[0] > '2' || !IsDigit(t[1]) || t[2] != ':' || t[3] < '0' ||
        t[3] > '5' || !IsDigit(t[4]))
        return -1;
    const int hours = (t[0] - '0') * 10 + (t[1] - '0');
    const int minutes = (t[3] - '0') * 10 + (t[4] - '0');
    return hours * 3600 + minutes * 60;
}

std::string StartTimeFieldText(std::int32_t seconds) {
    std::string text = FormatHalfMinuteH(seconds);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(text.begin());
    return text;
}

bool StartNewGame(Sim& sim, const std::string& folder, const NewGameChoice& choice) {
    const bool none = choice.Timetable.empty() || choice.Timetable == NoTimetableEntry;
    std::int32_t start = -1;
    if (!none && !choice.StartTime.empty()) {
        start = ParseStartTimeField(choice.StartTime);
        if (start < 0) {
            sim.Dialog().ShowError("Invalid time (HH:MM)");
            return false;
        }
    }
    if (choice.Scenario >= 0 && sim.Hooks.ScenarioHook) sim.Hooks.ScenarioHook(choice.Scenario);
    if (none) return true;
    const std::string path = TimetablePath(folder, choice.Timetable);
    if (!LoadAnyTimetable(sim, path)) {
        sim.Dialog().ShowError("Error loading " + path);
        return false;
    }
    sim.SimTime = start >= 0 ? start : sim.Timetable.StartTime;
    sim.Display().RedrawStatus();
    sim.Timetable.GenerateDelays();
    return true;
}

bool SaveGameAs(Sim& sim, const std::string& folder) {
    if (sim.ClientMode) {
        sim.PostEventMessage(NotInClientMode, EvGeneral);
        return false;
    }
    sim.PauseSimulation();
    FileChoice choice;
    choice.InitialFolder = folder;
    choice.Filter = SavedGameFilter;
    choice.DefaultExtension = SavedSimulationExtension;
    const std::optional<std::string> path = sim.Dialog().SaveFile(choice);
    bool saved = false;
    if (path) {
        saved = SaveSimulation(sim, *path) == 0;
        if (saved) {
            sim.PostEventMessage("Simulation saved ok", EvGeneral);
        } else {
            sim.PostEventMessage("Simulation failed to save", EvGeneral);
            sim.Dialog().ShowError("Error saving simulation");
        }
    }
    sim.ResumeSimulation();
    return saved;
}

bool LoadGame(Sim& sim, const std::string& folder) {
    FileChoice choice;
    choice.InitialFolder = folder;
    choice.Filter = SavedGameFilter;
    choice.DefaultExtension = SavedSimulationExtension;
    const std::optional<std::string> path = sim.Dialog().OpenFile(choice);
    if (!path) return false;
    if (LoadSimulation(sim, *path) != 0) {
        sim.Dialog().ShowError("Error loading simulation");
        sim.ResetSimulation();
        return false;
    }
    sim.Display().RedrawPanel();
    return true;
}

bool NewSimulation(Sim& sim) {
    sim.PauseSimulation();
    const bool yes = sim.Dialog().Confirm("Do you really want to start a new simulation?");
    if (yes) {
        if (sim.ClientMode)
            sim.PostEventMessage(NotInClientMode, EvGeneral);
        else
            sim.Dialog().ShowAnalysis(sim.Performance.AnalysisLines());
        sim.ResetSimulation();
        sim.StartupTimerRunning = true;
    }
    sim.ResumeSimulation();
    return yes;
}

}  // namespace kestra
