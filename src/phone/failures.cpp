#include "phone/failures.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "core/value_stream.h"
#include "places/location.h"
#include "sim/sim.h"

namespace kestra {

namespace {

constexpr std::int32_t kDrawRange = 100000;
// Each failure of the saved section is four integers of at least two bytes each.
constexpr std::size_t kMinFailureBytes = 8;

TSSIObject* LocationOf(const TSSIObject& equipment, FailureKind kind) {
    switch (kind) {
        case FailPoints:
            return static_cast<const TPTS&>(equipment).Location;
        case FailSignal:
            return static_cast<const TSIG&>(equipment).Location;
        case FailTrack:
            return static_cast<const TTCS&>(equipment).Location;
        case FailCrossing:
            return static_cast<const TLevelCrossing&>(equipment).Location;
    }
    return nullptr;
}

const char* DetectedText(FailureKind kind) {
    switch (kind) {
        case FailPoints:
            return "Points failure detected in the ";
        case FailSignal:
            return "Signal lamp failure detected in the ";
        case FailTrack:
            return "Track circuit failure detected in the ";
        case FailCrossing:
            return "Level crossing failure detected in the ";
    }
    return "";
}

const char* FixedText(FailureKind kind) {
    switch (kind) {
        case FailPoints:
            return "Points failure in the ";
        case FailSignal:
            return "Signal failure in the ";
        case FailTrack:
            return "Track circuit failure in the ";
        case FailCrossing:
            return "Level crossing failure in the ";
    }
    return "";
}


// True while a failure holds the equipment.
bool IsFailed(const std::vector<TFailure>& failures, const TSSIObject& equipment) {
    return std::any_of(failures.begin(), failures.end(),
                       [&](const TFailure& f) { return f.Equipment == &equipment; });
}

bool ValidChance(double chance) {
    return std::isfinite(chance) && chance >= 0 && chance <= 1;
}

}  // namespace

std::int32_t DetectionCycles(FailureKind kind) {
    switch (kind) {
        case FailPoints:
            return kPointsDetectionCycles;
        case FailSignal:
            return kSignalDetectionCycles;
        case FailTrack:
            return kTrackDetectionCycles;
        case FailCrossing:
            return kCrossingDetectionCycles;
    }
    return 0;
}

std::string EquipmentLocationName(const TSSIObject& equipment, FailureKind kind) {
    const TSSIObject* location = LocationOf(equipment, kind);
    if (!location) return {};
    if (const auto* l = dynamic_cast<const TLOC*>(location)) return l->Name;
    return location->ID;
}

TFailureList::TFailureList(Sim& sim) : sim_(sim) {
    failures_.reserve(kMaxFailuresSetting);
}

bool TFailureList::MayFail() const {
    // No random failure while the assessor has taken control of the simulation.
    return !sim_.ClientMode && !sim_.AssessorInControl && Count() < sim_.Options().MaxFailures;
}

bool TFailureList::Draw(float chance) {
    const double x = static_cast<double>(sim_.RandomInt(kDrawRange)) / kDrawRange;
    return x <= chance;
}

void TFailureList::OfferFailure(TTCS& circuit) {
    if (!MayFail()) return;
    // Equipment already failed does not fail twice: two records would repair it at the
    // first one's time while the second still held it.
    if (!Draw(sim_.Options().TrackFailureChance) || !circuit.Location ||
        IsFailed(failures_, circuit))
        return;
    Create(circuit, FailTrack);
    // One more occupant: the circuit stays occupied when the train has gone.
    circuit.Occupy();
}

void TFailureList::OfferFailure(TSIG& signal) {
    if (!MayFail()) return;
    // An approach-lit signal's lamps follow its approach: its lamp proving is not a
    // failure record's to hold. A signal already failed does not fail again.
    if (!Draw(sim_.Options().SignalFailureChance) || !signal.Location || signal.ApproachLit ||
        IsFailed(failures_, signal))
        return;
    Create(signal, FailSignal);
    signal.SetLampProved(false);
}

void TFailureList::OfferFailure(TPTS& points) {
    if (!MayFail()) return;
    if (!Draw(sim_.Options().PointsFailureChance) || points.FailedNormal || points.FailedReverse ||
        !points.Location)
        return;
    Create(points, FailPoints);
    // The detection of the position the points were called to does not come back.
    if (points.ControlledNormal)
        points.SetFailedNormal(true);
    else
        points.SetFailedReverse(true);
}

void TFailureList::OfferFailure(TLevelCrossing& crossing) {
    if (!MayFail()) return;
    // Barriers already failed (by the assessor's hand, say) do not fail again.
    if (!Draw(sim_.Options().SignalFailureChance) || !crossing.Location || crossing.BarrierFailed ||
        IsFailed(failures_, crossing))
        return;
    Create(crossing, FailCrossing);
    // The barriers now lowering stop short: the crossing shows the failure when they
    // should have been proved down, and holds its signals at danger.
    crossing.SetBarrierFailed(true);
}

void TFailureList::Create(TSSIObject& equipment, FailureKind kind) {
    TFailure f;
    f.Equipment = &equipment;
    f.Kind = kind;
    f.RepairCycles = kRepairBaseCycles + sim_.RandomInt(kRepairRandomCycles);
    f.AgeCycles = 0;
    failures_.push_back(f);
}

void TFailureList::Announce(const TFailure& failure) {
    const std::string text = DetectedText(failure.Kind) +
                             EquipmentLocationName(*failure.Equipment, failure.Kind) + " area";
    sim_.Incidents.AddIncident(text);
    sim_.PostEventMessage(text, EvTracksideFailure);
}

void TFailureList::Repair(const TFailure& failure) {
    switch (failure.Kind) {
        case FailPoints: {
            auto& points = static_cast<TPTS&>(*failure.Equipment);
            points.SetFailedNormal(false);
            points.SetFailedReverse(false);
            break;
        }
        case FailTrack:
            // The failure's own occupant leaves; the circuit shows clear three major
            // cycles later, like any other.
            static_cast<TTCS&>(*failure.Equipment).Vacate();
            break;
        case FailSignal:
            static_cast<TSIG&>(*failure.Equipment).SetLampProved(true);
            break;
        case FailCrossing:
            static_cast<TLevelCrossing&>(*failure.Equipment).SetBarrierFailed(false);
            break;
    }
    auto call = std::make_unique<TCall>();
    call->Caller = "Technician";
    call->Message = FixedText(failure.Kind) +
                    EquipmentLocationName(*failure.Equipment, failure.Kind) + " area fixed.";
    call->Replies = {{"Ok", false}};
    const std::string message = call->Message;
    sim_.Calls.AddCall(std::move(call));
    sim_.Incidents.AddIncident(message);
}

void TFailureList::FailuresCycle() {
    if (sim_.ClientMode) return;
    // A repair may itself be a failure opportunity (a circuit's last occupant leaving):
    // only the failures current at the start of the cycle are stepped, and the repaired
    // ones are taken out afterwards.
    const std::size_t current = failures_.size();
    bool repaired = false;
    for (std::size_t i = 0; i < current; ++i) {
        TFailure& f = failures_[i];
        --f.RepairCycles;
        ++f.AgeCycles;
        if (f.AgeCycles == DetectionCycles(f.Kind)) Announce(f);
        if (f.RepairCycles <= 0) {
            const TFailure done = f;
            Repair(done);  // may append to failures_: f is not used after this
            repaired = true;
        }
    }
    if (repaired) {
        std::size_t i = 0;
        failures_.erase(
            std::remove_if(failures_.begin(), failures_.end(),
                           [&](const TFailure& f) { return i++ < current && f.RepairCycles <= 0; }),
            failures_.end());
    }
}

void TFailureList::ResetFailures() {
    failures_.clear();
    SetFailureSettings(0, 0.0f, 0.0f, 0.0f);
}

void TFailureList::SetFailureSettings(std::int32_t maximum, float track, float signal,
                                      float points) {
    kestra::Options& o = sim_.Options();
    o.MaxFailures = maximum;
    o.TrackFailureChance = track;
    o.SignalFailureChance = signal;
    o.PointsFailureChance = points;
}

bool TFailureList::SaveFailures(ValueWriter& writer) const {
    try {
        const kestra::Options& o = sim_.Options();
        writer.WriteFloat(o.PointsFailureChance);
        writer.WriteFloat(o.SignalFailureChance);
        writer.WriteFloat(o.TrackFailureChance);
        writer.WriteInteger(o.MaxFailures);
        writer.WriteInteger(Count());
        for (const TFailure& f : failures_) {
            std::int32_t position = -1;
            switch (f.Kind) {
                case FailPoints:
                    position = sim_.Points.IndexOf(f.Equipment);
                    break;
                case FailSignal:
                    position = sim_.Signals.IndexOf(f.Equipment);
                    break;
                case FailTrack:
                    position = sim_.TrackCircuits.IndexOf(f.Equipment);
                    break;
                case FailCrossing:
                    position = sim_.LevelCrossings.IndexOf(f.Equipment);
                    break;
            }
            writer.WriteInteger(f.Kind);
            writer.WriteInteger(position);
            writer.WriteInteger(f.RepairCycles);
            writer.WriteInteger(f.AgeCycles);
        }
    } catch (const WriteError&) {
        return false;
    }
    return true;
}

bool TFailureList::LoadFailures(ValueReader& reader) {
    try {
        const double points = reader.ReadFloat();
        const double signal = reader.ReadFloat();
        const double track = reader.ReadFloat();
        const std::int32_t maximum = reader.ReadInteger();
        if (!ValidChance(points) || !ValidChance(signal) || !ValidChance(track) || maximum < 0 ||
            maximum > kMaxFailuresSetting)
            return false;
        const std::int32_t count = reader.ReadInteger();
        if (count < 0 || static_cast<std::size_t>(count) > reader.Remaining() / kMinFailureBytes)
            return false;
        std::vector<TFailure> read;
        read.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) {
            TFailure f;
            const std::int32_t kind = reader.ReadInteger();
            const std::int32_t position = reader.ReadInteger();
            f.RepairCycles = reader.ReadInteger();
            f.AgeCycles = reader.ReadInteger();
            switch (kind) {
                case FailPoints:
                    f.Equipment = sim_.Points.GetItem(position);
                    break;
                case FailSignal:
                    f.Equipment = sim_.Signals.GetItem(position);
                    break;
                case FailTrack:
                    f.Equipment = sim_.TrackCircuits.GetItem(position);
                    break;
                case FailCrossing:
                    f.Equipment = sim_.LevelCrossings.GetItem(position);
                    break;
                default:
                    return false;
            }
            f.Kind = static_cast<FailureKind>(kind);
            // A failure still current was repaired in no cycle yet: between its first
            // and its last cycle.
            const std::int32_t longest = kRepairBaseCycles + kRepairRandomCycles - 1;
            if (!f.Equipment || f.RepairCycles < 1 || f.RepairCycles > longest || f.AgeCycles < 0 ||
                f.AgeCycles > longest - f.RepairCycles)
                return false;
            const auto same = [&](const TFailure& g) { return g.Equipment == f.Equipment; };
            if (std::any_of(read.begin(), read.end(), same) ||
                std::any_of(failures_.begin(), failures_.end(), same))
                return false;
            read.push_back(f);
        }
        SetFailureSettings(maximum, static_cast<float>(track), static_cast<float>(signal),
                           static_cast<float>(points));
        failures_.insert(failures_.end(), read.begin(), read.end());
    } catch (const ReadError&) {
        return false;
    }
    return true;
}

}  // namespace kestra
