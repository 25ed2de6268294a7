#pragma once
// The player's options: display, control, message and ARS preferences kept in the
// settings store between runs, and the failure and delay settings of the current
// simulation. Other subsystems read them straight from Sim::Options().

#include <array>
#include <cstdint>
#include <string>

namespace kestra {

class Sim;

// What a train description shows (setting "BERMode").
enum BerthMode : std::int32_t { BerModeARSState = 0, BerModeDelay = 1 };
// When trains report their location (setting "LocationReporting").
enum LocationReportingMode : std::int32_t {
    ReportNever = 0,
    ReportFiveMinutesLate = 1,
    ReportTwoMinutesLate = 2,
    ReportAlways = 3,
};
// What a click on a train description shows (setting "ARSClickMode").
enum ARSClickModes : std::int32_t {
    ARSClickTimetableSummary = 0,
    ARSClickRoutesettingStatus = 1,
    ARSClickPopupInformation = 2,
};

// Train classes 0 to 9 and "Other" for the per-class ARS switches.
inline constexpr int ARSClassCount = 11;

// The speed track bar: positions 0 ("Normal (1:1)") to 950 ("Fastest") in steps of 50.
inline constexpr std::int32_t SpeedPositionMax = 950;
inline constexpr std::int32_t SpeedPositionStep = 50;
// The timer intervals the track bar can give, in milliseconds.
inline constexpr std::int32_t MinMajorCycleInterval = 25;
inline constexpr std::int32_t MaxMajorCycleInterval = 500;

// Every setting of the Options dialog. The major-cycle interval (setting "Speed") is
// the simulation's own Sim::MajorCycleInterval, which the clock and the network use.
struct Options {
    // Display
    bool ShowTrackBreaks = false;
    bool ShowAutos = true;
    bool ShowPoints = false;
    bool ShowShunts = false;
    std::int32_t BERMode = BerModeARSState;
    // Control
    bool MousePageFlip = true;
    // True: a right click on a signal cancels its route instead of opening the menu.
    bool NoSignalPopupMenu = true;
    // Messages (the per-event-type records live in Messages::Options)
    std::int32_t LocationReporting = ReportTwoMinutesLate;
    // ARS
    std::array<bool, ARSClassCount> ARS{true, true, true, true, true, true,
                                        true, true, true, true, true};
    bool ACI = true;
    std::int32_t ARSClickMode = ARSClickTimetableSummary;
    // Start-up dialog
    std::string LastIPAddress;

    // Current simulation only; never written to the settings store.
    float PointsFailureChance = 0.0f;
    float SignalFailureChance = 0.0f;
    float TrackFailureChance = 0.0f;
    std::int32_t MaxFailures = 0;
    float DelayProbability = 0.0f;
    float DelayAmount = 1.0f;
};

// Draws a new entry delay for every train timetable. The timetable implements it.
class EntryDelayGenerator {
  public:
    virtual ~EntryDelayGenerator() = default;
    virtual void GenerateDelays() = 0;
};

// Reads every stored setting into the simulation; a missing or malformed value gives
// the default. The per-event-type message records start again from their defaults.
void LoadOptions(Sim& sim);
// Writes every stored setting, in a fixed order.
void SaveOptions(Sim& sim);

// Track-bar position for a timer interval and back.
inline std::int32_t SpeedIntervalToPosition(std::int32_t interval) {
    return 1000 - 2 * interval;
}

// The values of the Options dialog's controls, as positions of its bars and boxes.
struct OptionsFormValues {
    std::int32_t SpeedPosition = 0;
    bool ShowTrackBreaks = false;
    bool ShowAutos = true;
    bool ShowPoints = false;
    bool ShowShunts = false;
    std::int32_t BERMode = 0;
    bool MousePageFlip = true;
    bool NoSignalPopupMenu = true;
    std::int32_t LocationReporting = 2;
    std::array<bool, ARSClassCount> ARS{};
    bool ACI = true;
    std::int32_t ARSClickMode = 0;
    // Failures page: bars 0..100, spin box 0..10, delay bars 0..1000.
    std::int32_t PointsFailurePosition = 0;
    std::int32_t SignalFailurePosition = 0;
    std::int32_t TrackFailurePosition = 0;
    std::int32_t MaxFailures = 0;
    std::int32_t DelayProbabilityPosition = 0;
    std::int32_t DelayAmountPosition = 250;
};

// The controls as the dialog shows them from the current settings.
OptionsFormValues OptionsToForm(const Sim& sim);
// "Ok" of the dialog: stores every value, asks for new entry delays when the delay
// settings changed, and saves. Returns true when the delay settings changed.
bool ApplyOptionsForm(Sim& sim, const OptionsFormValues& form);

}  // namespace kestra
