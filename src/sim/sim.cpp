#include "sim/sim.h"

#include <cstdio>

#include "ars/ars_train.h"
#include "core/time_format.h"
#include "display/palette.h"
#include "panel/commands.h"
#include "timetable/timetable_file.h"

namespace kestra {

Sim::Sim(Ports ports, std::uint32_t seed)
    : Rand(seed),
      surface_(ports.Surface ? ports.Surface : &nullSurface_),
      dialogs_(ports.Dialog ? ports.Dialog : &nullDialogs_),
      sound_(ports.Audio ? ports.Audio : &nullSound_),
      settings_(ports.Settings ? ports.Settings : &memorySettings_),
      clock_(ports.Time ? ports.Time : &systemClock_),
      panel_(*this),
      messages_(*this) {
    FlashGrey = ClGrey;
    FlashRed = ClRed;
    FlashWhite = ClWhite;
    TrainDescriber = &Berths;
    TrackFailures = &Failures;
    SignalFailures = &Failures;
    PointsFailures = &Failures;
    CrossingFailures = &Failures;
    arsTrains_ = std::make_unique<TARSTrainList>(*this);
    Berths.ARS = arsTrains_.get();
    ARSEvents = arsTrains_.get();
}

Sim::~Sim() {
    arsTrains_->ClearAll();
    // Objects refer to each other across lists; free the lists in reverse order of
    // declaration so that no destructor runs against a freed neighbour.
    Berths.FreeObjects();
    Subroutes.FreeObjects();
    TrackCircuits.FreeObjects();
    Signals.FreeObjects();
    Routes.FreeObjects();
    OverlapEvaluation.Clear();
    Overlaps.FreeObjects();
    Points.FreeObjects();
    Labels.FreeObjects();
    ARSSubAreas.FreeObjects();
}

void Sim::SetSurface(PanelSurface* surface) { surface_ = surface ? surface : &nullSurface_; }

void Sim::SetFlashColours() {
    FlashGrey = FlashPhase ? ClGrey : ClBlack;
    FlashRed = FlashPhase ? ClRed : ClBlack;
    FlashWhite = FlashPhase ? ClWhite : ClBlack;
}

void Sim::ResumeSimulation() {
    --PauseCount;
    if (PauseCount <= 0) {
        PauseCount = 0;
        panel_.RedrawStatus();
    }
}

void Sim::CancelModes() {
    Operator.OverrideMode = false;
    Operator.ReminderMode = false;
    Operator.IsolationMode = false;
    Operator.InterposeMode = false;
    Operator.CancelTDMode = false;
    OVRTimerRunning = false;
    panel_.RedrawStatus();
}

std::string Sim::FormatSimTime() const { return FormatClock(SimTime); }

void Sim::Trace(const std::string& text) {
    if (TraceHook) TraceHook(FormatSimTime() + ": " + text);
}

void Sim::BroadcastClock() {
    if (!IsBroadcasting()) return;
    char buf[24];
    std::snprintf(buf, sizeof buf, "LA%08X%08X", static_cast<std::uint32_t>(SimTime),
                  static_cast<std::uint32_t>(MajorCycleInterval));
    Broadcaster->Broadcast(buf);
}

// The major cycle. The order of the stages is fixed; subsystems take their places:
//  fast cycle:  ARS sub-areas, berths, flags, signals, points, routes, trains,
//               track circuits, subroutes, timetable; failures; level crossings;
//               the area's cycle hook; then the deferred route requests.
//  every second event: the clock, then the one-second cycle of entry points, berths,
//               flags, points, routes, signals, track circuits, trains, timetable,
//               subroutes, level crossings; the other events run the ARS cycle.
void Sim::MajorCycleTick() {
    if (IsPaused()) {
        panel_.RedrawStatus();
        return;
    }
    if (TimetableFinished()) {
        EndOfTimetable();
        return;
    }

    FlashPhase = !FlashPhase;
    SetFlashColours();
    Guarded([this] { ARSSubAreas.MajorCycle(); });
    Guarded([this] { Berths.MajorCycle(); });
    Guarded([this] { Flags.MajorCycle(); });
    Guarded([this] {
        Signals.MajorCycle();
        Points.MajorCycle();
        Routes.MajorCycle();
        TrackCircuits.MajorCycle();
        Subroutes.MajorCycle();
        Timetable.MajorCycle();
        Failures.FailuresCycle();
        LevelCrossings.MajorCycle();
        if (Hooks.CycleHook) Hooks.CycleHook();
    });
    Requests.RunRequests();

    if (FlashPhase) {
        if (!ClientMode) ++SimTime;
        if (SimTime % 60 == 0) panel_.RedrawStatus();
        Guarded([this] { EntryPoints.OneSecond(); });
        Guarded([this] { Flags.OneSecond(); });
        Guarded([this] {
            Points.OneSecond();
            Routes.OneSecond();
            Signals.OneSecond();
            TrackCircuits.OneSecond();
            Trains.OneSecond();
            Timetable.OneSecond();
            Subroutes.OneSecond();
            LevelCrossings.OneSecond();
        });
        Guarded([this] { Record.Sample(*this); });
    } else {
        Guarded([this] { arsTrains_->ARSCycle(); });
    }
    panel_.UpdateTelephoneIndicator();
}

void Sim::EndOfTimetable() {
    PauseSimulation();
    dialogs_->ShowInformation("End of timetable!");
    if (ClientMode)
        PostEventMessage(NotInClientMode, EvGeneral);
    else
        dialogs_->ShowAnalysis(Performance.AnalysisLines());
    ResetSimulation();
    panel_.RedrawPanel();
    StartupTimerRunning = true;
    ResumeSimulation();
}

std::array<TSSIList*, 8> Sim::ObjectSections() {
    return {&Berths, &Overlaps, &Labels, &Points, &Routes, &Signals, &TrackCircuits, &Subroutes};
}

bool Sim::SaveObjectSections(ValueWriter& writer) {
    for (TSSIList* list : ObjectSections()) {
        if (!list->Save(writer)) return false;
    }
    return true;
}

bool Sim::LoadObjectSections(ValueReader& reader) {
    return LoadAllOrNothing([&](LoadCommits& commits) {
        for (TSSIList* list : ObjectSections()) {
            if (!list->StageLoad(reader, commits)) return false;
        }
        return true;
    });
}

namespace {
// A timetable's name becomes a file name in the data folder: nothing that leaves the
// folder or a name the file system would read otherwise.
bool UsableAsFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':') return false;
    }
    return true;
}
}  // namespace

void Sim::SaveEditedTimetable() {
    if (!UsableAsFileName(Timetable.Name)) {
        Dialog().ShowError("The timetable's name \"" + Timetable.Name +
                           "\" cannot be used as a file name: the timetable was not saved");
        return;
    }
    const std::string path = SimData.AreaID + "/" + Timetable.Name + ".WTT";
    if (!SaveTimetableFile(*this, path)) Dialog().ShowError("Error saving timetable " + path);
}

void Sim::ResetSimulation() {
    // Edits made in the timetable editors would be lost with the timetable.
    if (Timetable.Modified && Dialog().Confirm("Timetable not saved! Do you want to save it now?"))
        SaveEditedTimetable();
    messages_.ClearMessages();
    SimTime = 0;
    Performance.Reset();
    Record.Reset();
    Calls.ClearCalls();
    Incidents.ClearIncidents();
    Failures.ResetFailures();
    Overlaps.Reset();
    arsTrains_->ClearAll();
    Berths.Reset();
    Labels.Reset();
    ARSSubAreas.Reset();
    Points.Reset();
    Routes.Reset();
    Signals.Reset();
    TrackCircuits.Reset();
    // The categories go with the timetable that brought them.
    Categories.FreeObjects();
    Timetable.Reset();
    Trains.Reset();
    Subroutes.Reset();
    EntryPoints.Reset();
    Flags.Reset();
    LevelCrossings.Reset();
    if (Hooks.ResetHook) Hooks.ResetHook();
}

}  // namespace kestra
