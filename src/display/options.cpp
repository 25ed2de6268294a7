#include "display/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "sim/sim.h"

namespace kestra {

namespace {

// A whole decimal number filling the text, or nothing.
std::optional<std::int64_t> ParseInteger(std::string_view text) {
    std::int64_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

std::optional<bool> ParseBool(std::string_view text) {
    if (text == "1" || text == "true" || text == "True" || text == "TRUE") return true;
    if (text == "0" || text == "false" || text == "False" || text == "FALSE") return false;
    return std::nullopt;
}

// Reads one stored value through a parser; the default when missing or malformed.
class Reader {
  public:
    explicit Reader(SettingsStore& store) : store_(store) {}

    bool Bool(const std::string& name, bool fallback) {
        const auto text = store_.Read(name);
        if (!text) return fallback;
        return ParseBool(*text).value_or(fallback);
    }

    // An integer within [low, high]; anything else is taken as missing.
    std::int64_t Int(const std::string& name, std::int64_t fallback, std::int64_t low,
                     std::int64_t high) {
        const auto text = store_.Read(name);
        if (!text) return fallback;
        const auto value = ParseInteger(*text);
        if (!value || *value < low || *value > high) return fallback;
        return *value;
    }

    std::string String(const std::string& name, const std::string& fallback) {
        return store_.Read(name).value_or(fallback);
    }

  private:
    SettingsStore& store_;
};

const char* BoolText(bool value) {
    return value ? "true" : "false";
}

// A bar position for a fraction at a given scale, to the nearest whole step.
std::int32_t ToPosition(float value, float scale) {
    return static_cast<std::int32_t>(std::lround(static_cast<double>(value) * scale));
}

// The new value of a setting shown on a bar: an untouched bar keeps the exact current
// value, so that "Ok" never nudges a value the bar cannot show exactly (1.25 x 250, say).
float FromPosition(std::int32_t position, float current, float scale) {
    if (position == ToPosition(current, scale)) return current;
    return static_cast<float>(position) / scale;
}

}  // namespace

void LoadOptions(Sim& sim) {
    Reader in(sim.Settings());
    Options& o = sim.Options();

    auto& records = sim.Messages().Options;
    const auto& defaults = DefaultMessageOptions();
    for (int i = 0; i < EventTypeCount; ++i) {
        const std::string n = std::to_string(i);
        TMessageOption& r = records[i];
        r = defaults[i];
        r.Colour = static_cast<Colour>(in.Int("Colour" + n, defaults[i].Colour, 0, 0xFFFFFF));
        r.Popup = in.Bool("Popup" + n, defaults[i].Popup);
        r.Sound = in.Bool("Beep" + n, defaults[i].Sound);
        // A type the signaller may not switch off stays on whatever the store says, so
        // that failures and waiting trains are never silently dropped.
        r.Disabled = r.CanDisable && in.Bool("Disabled" + n, defaults[i].Disabled);
        r.SoundFilename = in.String("SoundFilename" + n, defaults[i].SoundFilename);
    }

    // An interval the speed bar cannot give (negative, zero, absurdly slow) is taken as
    // missing: a zero interval would spin the timer.
    sim.MajorCycleInterval = static_cast<std::int32_t>(
        in.Int("Speed", DefaultMajorCycleInterval, MinMajorCycleInterval, MaxMajorCycleInterval));
    o.ShowTrackBreaks = in.Bool("ShowTrackBreaks", false);
    o.ShowAutos = in.Bool("ShowAutos", true);
    o.ShowPoints = in.Bool("ShowPoints", false);
    o.ShowShunts = in.Bool("ShowShunts", false);
    o.BERMode = static_cast<std::int32_t>(in.Int("BERMode", BerModeARSState, 0, 1));
    o.MousePageFlip = in.Bool("MousePageFlip", true);
    o.NoSignalPopupMenu = in.Bool("NoSignalPopupMenu", true);
    o.LocationReporting =
        static_cast<std::int32_t>(in.Int("LocationReporting", ReportTwoMinutesLate, 0, 3));
    for (int i = 0; i < ARSClassCount; ++i) o.ARS[i] = in.Bool("ARS" + std::to_string(i), true);
    o.ACI = in.Bool("ACI", true);
    o.ARSClickMode =
        static_cast<std::int32_t>(in.Int("ARSClickMode", ARSClickTimetableSummary, 0, 2));
    o.LastIPAddress = in.String("LastIPAddress", "");
}

void SaveOptions(Sim& sim) {
    SettingsStore& out = sim.Settings();
    const Options& o = sim.Options();
    const auto& records = sim.Messages().Options;
    for (int i = 0; i < EventTypeCount; ++i) {
        const std::string n = std::to_string(i);
        const TMessageOption& r = records[i];
        out.Write("Colour" + n, std::to_string(r.Colour));
        out.Write("Popup" + n, BoolText(r.Popup));
        out.Write("Beep" + n, BoolText(r.Sound));
        out.Write("Disabled" + n, BoolText(r.Disabled));
        out.Write("SoundFilename" + n, r.SoundFilename);
    }
    out.Write("Speed", std::to_string(sim.MajorCycleInterval));
    out.Write("ShowAutos", BoolText(o.ShowAutos));
    out.Write("ShowPoints", BoolText(o.ShowPoints));
    out.Write("ShowShunts", BoolText(o.ShowShunts));
    out.Write("ShowTrackBreaks", BoolText(o.ShowTrackBreaks));
    out.Write("MousePageFlip", BoolText(o.MousePageFlip));
    out.Write("NoSignalPopupMenu", BoolText(o.NoSignalPopupMenu));
    out.Write("BERMode", std::to_string(o.BERMode));
    out.Write("LocationReporting", std::to_string(o.LocationReporting));
    out.Write("ARSClickMode", std::to_string(o.ARSClickMode));
    for (int i = 0; i < ARSClassCount; ++i)
        out.Write("ARS" + std::to_string(i), BoolText(o.ARS[i]));
    out.Write("ACI", BoolText(o.ACI));
    out.Write("LastIPAddress", o.LastIPAddress);
}

namespace {
constexpr float FailureScale = 10000.0f;
constexpr float DelayProbabilityScale = 1000.0f;
constexpr float DelayAmountScale = 250.0f;
}  // namespace

OptionsFormValues OptionsToForm(const Sim& sim) {
    const Options& o = sim.Options();
    OptionsFormValues f;
    f.SpeedPosition =
        std::clamp(SpeedIntervalToPosition(sim.MajorCycleInterval), 0, SpeedPositionMax);
    f.ShowTrackBreaks = o.ShowTrackBreaks;
    f.ShowAutos = o.ShowAutos;
    f.ShowPoints = o.ShowPoints;
    f.ShowShunts = o.ShowShunts;
    f.BERMode = o.BERMode;
    f.MousePageFlip = o.MousePageFlip;
    f.NoSignalPopupMenu = o.NoSignalPopupMenu;
    f.LocationReporting = o.LocationReporting;
    f.ARS = o.ARS;
    f.ACI = o.ACI;
    f.ARSClickMode = o.ARSClickMode;
    f.PointsFailurePosition = ToPosition(o.PointsFailureChance, FailureScale);
    f.SignalFailurePosition = ToPosition(o.SignalFailureChance, FailureScale);
    f.TrackFailurePosition = ToPosition(o.TrackFailureChance, FailureScale);
    f.MaxFailures = o.MaxFailures;
    f.DelayProbabilityPosition = ToPosition(o.DelayProbability, DelayProbabilityScale);
    f.DelayAmountPosition = ToPosition(o.DelayAmount, DelayAmountScale);
    return f;
}

bool ApplyOptionsForm(Sim& sim, const OptionsFormValues& f) {
    Options& o = sim.Options();
    const std::int32_t oldPosition = SpeedIntervalToPosition(sim.MajorCycleInterval);
    if (f.SpeedPosition != oldPosition) {
        sim.MajorCycleInterval =
            SpeedPositionToInterval(std::clamp(f.SpeedPosition, 0, SpeedPositionMax));
    }
    o.ShowTrackBreaks = f.ShowTrackBreaks;
    o.ShowAutos = f.ShowAutos;
    o.ShowPoints = f.ShowPoints;
    o.ShowShunts = f.ShowShunts;
    o.BERMode = std::clamp(f.BERMode, 0, 1);
    o.MousePageFlip = f.MousePageFlip;
    o.NoSignalPopupMenu = f.NoSignalPopupMenu;
    o.LocationReporting = std::clamp(f.LocationReporting, 0, 3);
    o.ARS = f.ARS;
    o.ACI = f.ACI;
    o.ARSClickMode = std::clamp(f.ARSClickMode, 0, 2);

    o.PointsFailureChance =
        FromPosition(f.PointsFailurePosition, o.PointsFailureChance, FailureScale);
    o.SignalFailureChance =
        FromPosition(f.SignalFailurePosition, o.SignalFailureChance, FailureScale);
    o.TrackFailureChance = FromPosition(f.TrackFailurePosition, o.TrackFailureChance, FailureScale);
    o.MaxFailures = std::clamp(f.MaxFailures, 0, 10);

    const float probability =
        FromPosition(f.DelayProbabilityPosition, o.DelayProbability, DelayProbabilityScale);
    const float amount = FromPosition(f.DelayAmountPosition, o.DelayAmount, DelayAmountScale);
    const bool delaysChanged = probability != o.DelayProbability || amount != o.DelayAmount;
    if (delaysChanged) {
        o.DelayProbability = probability;
        o.DelayAmount = amount;
        if (sim.EntryDelays) sim.EntryDelays->GenerateDelays();
    }
    SaveOptions(sim);
    return delaysChanged;
}

}  // namespace kestra
