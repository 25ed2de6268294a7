#pragma once
// The simulation: owns every class list, the request queue and the simulation state,
// and runs the major cycle. Nothing outside it holds state, so several simulations
// (a server and a client, say) can live in one process.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ars/ars_subarea.h"
#include "assess/performance.h"
#include "assess/running_record.h"
#include "core/hooks.h"
#include "core/ports.h"
#include "core/random.h"
#include "core/request_queue.h"
#include "interlocking/level_crossing.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "display/label.h"
#include "panel/messages.h"
#include "panel/operator_state.h"
#include "display/options.h"
#include "panel/panel.h"
#include "phone/failures.h"
#include "phone/phone_book.h"
#include "phone/telephone.h"
#include "places/code_rules.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "timetable/timetable.h"
#include "trains/train.h"
#include "trains/train_entry.h"
#include "trains/berth.h"

namespace kestra {

class TARSTrainList;

namespace area {
// What the area built: its tables and its references to the objects it made (the area
// defines it; the simulation only keeps it alive).
struct BuiltArea;
}  // namespace area

// Area constants, filled with defaults at start and completed by the area.
struct TSimData {
    std::array<float, 5> AccelerationByPower{0.35f, 0.40f, 0.45f, 0.62f, 0.80f};
    std::array<std::int32_t, 10> ClassPriority{16, 48, 32, 16, 16, 16, 16, 8, 4, 16};
    Colour BackgroundColour = 0;
    std::array<float, 5> BrakingByPower{0.434f, 0.464f, 0.484f, 0.504f, 0.509f};
    std::string AreaName;
    std::int32_t MaxTrains = 35;
    std::string NonDescribed = "****";
    std::int32_t ScreenCount = 1;
    std::string AreaID;
    std::string AreaTitle;
    bool ARSLabelLetter = true;
    // Drivers waiting at a red signal give its number in their calls.
    bool SignalInDriverCalls = true;
};

// Timer interval in milliseconds for a speed track-bar position 0..950.
inline std::int32_t SpeedPositionToInterval(std::int32_t position) {
    return (1000 - position) / 2;
}
// The interval used when the "Speed" setting is missing.
inline constexpr std::int32_t DefaultMajorCycleInterval = 250;

class Sim {
public:
    explicit Sim(Ports ports = {}, std::uint32_t seed = 1);
    ~Sim();
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;

    // --- ports
    PanelSurface& Surface() { return *surface_; }
    Dialogs& Dialog() { return *dialogs_; }
    kestra::Sound& Audio() { return *sound_; }
    SettingsStore& Settings() { return *settings_; }
    kestra::Clock& Time() { return *clock_; }
    void SetSurface(PanelSurface* surface);

    // --- the main cycle
    // One event of the major-cycle timer.
    void MajorCycleTick();
    // Returns every list to its start state for a new simulation.
    void ResetSimulation();
    // Saves the edited timetable in the data folder under its name, as the reset's
    // question offers; a name that is no plain file name is refused with a message.
    void SaveEditedTimetable();
    // True once the clock has passed the finish of a timetable that holds trains.
    bool TimetableFinished() const {
        return !RunPastFinish && SimTime > Timetable.FinishTime && Timetable.Count() > 0;
    }
    // Set by headless runs that watch the last trains clear the area: the game goes on
    // past the timetable's finish instead of ending there.
    bool RunPastFinish = false;
    void PauseSimulation() { ++PauseCount; }
    void ResumeSimulation();
    bool IsPaused() const { return PauseCount > 0; }
    // Passes "HH:MM:SS: text" to the trace hook, when one is attached.
    void Trace(const std::string& text);
    std::string FormatSimTime() const;
    // Uniform integer 0 .. n-1 from the program's single generator.
    std::int32_t RandomInt(std::int32_t n) { return Rand.Next(n); }

    // --- deferred route requests
    void QueueRequest(const std::string& command, RouteRequestTarget* entrance,
                      RouteRequestTarget* exit, std::uint8_t flag) {
        Requests.QueueRequest(command, entrance, exit, flag);
    }
    void QueueDelayedRequest(const std::string& command, RouteRequestTarget* entrance,
                             RouteRequestTarget* exit, std::uint8_t flag, std::int32_t delay) {
        Requests.QueueDelayedRequest(command, entrance, exit, flag, delay);
    }

    // --- state messages to clients
    // True when a state message would go anywhere: a server with a broadcaster.
    bool IsBroadcasting() const { return Broadcaster != nullptr && !ClientMode; }
    void Broadcast(const std::string& payload) {
        if (IsBroadcasting()) Broadcaster->Broadcast(payload);
    }
    // "LA" with the clock and the timer interval.
    void BroadcastClock();

    // --- saved state
    // The object lists' sections of a saved simulation, in file order: berths, overlaps,
    // panel labels, points, routes, signals, track circuits, subroutes.
    bool SaveObjectSections(ValueWriter& writer);
    // Reads those sections. Every record is read and checked before any is applied, so
    // a load that fails anywhere leaves every object exactly as it was.
    bool LoadObjectSections(ValueReader& reader);

    // --- the signaller's modes
    // Ends every signalling mode and the override timer, and shows it on the status line.
    void CancelModes();

    // --- multiplayer client
    // Sends a request to the server; nothing happens until a network is attached.
    void SendToServer(const std::string& payload) {
        if (ServerLink) ServerLink(payload);
    }
    std::function<void(const std::string&)> ServerLink;

    // --- drawing
    kestra::Panel& Display() { return panel_; }
    kestra::Messages& Messages() { return messages_; }
    // Reports to the signaller with an event type.
    void PostEventMessage(const std::string& text, int type) { messages_.PostEventMessage(text, type); }
    // The player's options and the current simulation's failure and delay settings.
    kestra::Options& Options() { return options_; }
    const kestra::Options& Options() const { return options_; }

    // --- simulation state
    std::int32_t SimTime = 0;
    std::int32_t PauseCount = 0;
    bool ClientMode = false;
    bool FlashPhase = false;
    Colour FlashGrey;
    Colour FlashRed;
    Colour FlashWhite;
    std::string LastFailReason;
    TSimData SimData;
    std::function<void(const std::string&)> TraceHook;
    std::int32_t MajorCycleInterval = DefaultMajorCycleInterval;
    // The assessor has taken control of the random events: no random equipment failures
    // are drawn and drivers kept at a red signal do not telephone. A new simulation
    // leaves it as it is.
    bool AssessorInControl = false;
    // The score and the counters of the performance analysis.
    TPerformance Performance;
    // The timing-point reports and the trains' positions, for the time-distance graph
    // and the punctuality report.
    TRunRecord Record;
    TOperatorState Operator;
    // The override timer runs while a mode that ends by itself is on.
    bool OVRTimerRunning = false;
    // Set when the start-up dialog is due (the timetable has ended); the window raises
    // it and clears this.
    bool StartupTimerRunning = false;
    Random Rand;
    AreaHooks Hooks;
    // What the area built, owned here for as long as the simulation lives: its hooks
    // work on it.
    std::shared_ptr<area::BuiltArea> Area;
    RequestQueue Requests;

    // Automatic route setting's trains and route requests.
    TARSTrainList& ARSTrains() { return *arsTrains_; }

    // --- links to subsystems that plug in (none until they exist)
    StateBroadcaster* Broadcaster = nullptr;
    TrainDescriberTrigger* TrainDescriber = nullptr;
    TrackFailureOffer* TrackFailures = nullptr;
    SignalFailureOffer* SignalFailures = nullptr;
    SignalARSEvents* ARSEvents = nullptr;
    EntryDelayGenerator* EntryDelays = &Timetable;
    PointsFailureOffer* PointsFailures = nullptr;
    LevelCrossingFailureOffer* CrossingFailures = nullptr;

    // --- class lists
    TPELList Labels;
    // The ARS sub-areas, in the order the area made them (the order messages name them by).
    TARSList ARSSubAreas;
    TTCSList TrackCircuits;
    // The berths of the train describer, which is told of every circuit, route, signal
    // and berth change (TrainDescriber points at this list).
    TBERList Berths;
    TPTSList Points;
    TULCList Subroutes;
    TOVLList Overlaps;
    // Overlaps whose swing test is running (normally empty).
    TOVLList OverlapEvaluation;
    TROUList Routes;
    TSIGList Signals;
    TLongRouteList LongRoutes;
    // The area's flags and level crossings (the crossings refer to routes and circuits).
    TFLGList Flags;
    TLevelCrossingList LevelCrossings;
    // Entry points, locations, paths, code rules and timing insertions: area data, of
    // which only the entry points' countdowns change.
    TENTList EntryPoints;
    TLOCList Locations;
    TPTHList Paths;
    TRLEList CodeRules;
    TINSList TimingInsertions;
    // The train categories and the working timetable: one of each, owned here.
    TTrainCategoryList Categories;
    TTimetableList Timetable;
    // Drivers' calls to the signaller and the incident log. Declared before the trains,
    // which withdraw their calls when they are freed.
    TCallList Calls{*this};
    TIncidentLog Incidents{*this};
    // The current equipment failures, which the circuits, signals and points offer
    // themselves to (the three failure links above point here).
    TFailureList Failures{*this};
    // The parties the signaller can telephone (the area fills it) and the line used.
    TPhoneBook PhoneBook;
    TPlaceCall PlaceCall{*this};
    // The trains in the area.
    TTRNList Trains{*this};
    // Lets the timetable's trains in; tests may attach a port of their own instead.
    TrainEntryService EntryService{*this};
    TrainEntryPort* TrainEntry = &EntryService;

    // --- the interlocking's transient references, set only while a check or a
    // command runs and none at all other times
    // The route whose availability is under test or which is being set.
    TROU* RouteBeingSet = nullptr;
    // The overlap in use that a swing test moves from: its subroutes are not counted
    // as conflicts.
    TOVL* OverlapSwungTo = nullptr;
    // The overlap under test or being set beyond a signal: a swing must not move
    // another overlap onto its track.
    TOVL* OverlapBeingSet = nullptr;
    // The points the signaller is keying, normal or reverse.
    TPTS* PointsKeyedNormal = nullptr;
    TPTS* PointsKeyedReverse = nullptr;
    // Above 0 while a quiet check runs: refusals then leave LastFailReason alone.
    std::int32_t QuietChecks = 0;
    // Exceptions caught and discarded by the cycle stages since the simulation began.
    std::int64_t ErrorsCaught = 0;

private:
    // The lists of the object sections, in file order.
    std::array<TSSIList*, 8> ObjectSections();
    void SetFlashColours();
    // "End of timetable!", the performance analysis, and a new simulation.
    void EndOfTimetable();
    // Runs one cycle stage; an error inside skips the rest of that stage only.
    template <class F>
    void Guarded(F&& stage) {
        try {
            stage();
        } catch (const std::exception&) {
            ++ErrorsCaught;
        }
    }

    NullSurface nullSurface_;
    NullDialogs nullDialogs_;
    NullSound nullSound_;
    MemorySettings memorySettings_;
    SystemClock systemClock_;
    PanelSurface* surface_;
    Dialogs* dialogs_;
    kestra::Sound* sound_;
    SettingsStore* settings_;
    kestra::Clock* clock_;
    kestra::Panel panel_;
    kestra::Messages messages_;
    kestra::Options options_;
    std::unique_ptr<TARSTrainList> arsTrains_;
};

}  // namespace kestra
