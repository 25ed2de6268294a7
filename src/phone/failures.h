#pragma once
// Trackside equipment that fails at random: points lose detection, track circuits show
// occupied with no train, signal lamps go out, a level crossing's barriers will not come
// down. Each piece of equipment offers itself at
// its own moments (a circuit as its last occupant leaves, points as they are called to a
// position they do not yet lie in, a signal as its aspect changes, a crossing as its
// barriers start to lower); a failure is then
// drawn against the current simulation's chance for that kind, announced a little
// later, and put right by a technician ten to twenty minutes after it struck, who
// telephones the signaller to say so.

#include <cstdint>
#include <string>
#include <vector>

#include "interlocking/level_crossing.h"
#include "interlocking/points.h"
#include "interlocking/signal.h"
#include "interlocking/track_circuit.h"

namespace kestra {

class Sim;
class TSSIObject;
class ValueReader;
class ValueWriter;

// The kinds of equipment, numbered as in the saved record.
enum FailureKind : std::int32_t {
    FailPoints = 0,
    FailSignal = 1,
    FailTrack = 2,
    // A level crossing's barriers: drawn against the signal failure chance, as signalling
    // equipment, and seen when the barriers should have come down.
    FailCrossing = 3,
};

// One current failure.
struct TFailure {
    TSSIObject* Equipment = nullptr;
    FailureKind Kind = FailPoints;
    // Major cycles left until the repair, and since the failure.
    std::int32_t RepairCycles = 0;
    std::int32_t AgeCycles = 0;
};

// Major cycles from a failure to its detection message, by kind.
inline constexpr std::int32_t kPointsDetectionCycles = 20;
inline constexpr std::int32_t kSignalDetectionCycles = 1;
inline constexpr std::int32_t kTrackDetectionCycles = 60;
inline constexpr std::int32_t kCrossingDetectionCycles = 2 * LevelCrossingLowerTime;
// Major cycles from a failure of this kind to its detection.
std::int32_t DetectionCycles(FailureKind kind);
// The repair comes 1200 + random 0..1199 major cycles after the failure.
inline constexpr std::int32_t kRepairBaseCycles = 1200;
inline constexpr std::int32_t kRepairRandomCycles = 1200;
// The most failures the settings allow at once.
inline constexpr std::int32_t kMaxFailuresSetting = 10;

class TFailureList final : public TrackFailureOffer,
                           public SignalFailureOffer,
                           public PointsFailureOffer,
                           public LevelCrossingFailureOffer {
  public:
    explicit TFailureList(Sim& sim);
    TFailureList(const TFailureList&) = delete;
    TFailureList& operator=(const TFailureList&) = delete;

    // The equipment's failure opportunities. Nothing fails while the settings' maximum
    // number of failures is current, in a network client, or equipment without a
    // location; otherwise the kind's chance decides.
    void OfferFailure(TTCS& circuit) override;
    void OfferFailure(TSIG& signal) override;
    void OfferFailure(TPTS& points) override;
    void OfferFailure(TLevelCrossing& crossing) override;

    // Once per major cycle, after the lists: ages every failure, announces it when its
    // detection time comes, and repairs it when its time is up.
    void FailuresCycle();
    // Forgets every failure (the equipment is reset by its own list) and sets every
    // chance and the maximum to 0.
    void ResetFailures();
    // The settings of the current simulation (kept in the options).
    void SetFailureSettings(std::int32_t maximum, float track, float signal, float points);

    // The saved section: the three chances, the maximum, then each failure's kind,
    // equipment position, repair and age cycles.
    bool SaveFailures(ValueWriter& writer) const;
    // Reads the section and appends its failures. A damaged section (a count larger than
    // the bytes left, an unknown kind, equipment that does not exist or is named twice,
    // times out of range, settings out of range) changes nothing and answers false.
    bool LoadFailures(ValueReader& reader);

    const std::vector<TFailure>& Failures() const { return failures_; }
    int Count() const { return static_cast<int>(failures_.size()); }

  private:
    // True when a new failure may be drawn at all.
    bool MayFail() const;
    // Draws against the chance: r = random 0..99999, a failure when r / 100000 <= chance.
    bool Draw(float chance);
    void Create(TSSIObject& equipment, FailureKind kind);
    void Announce(const TFailure& failure);
    void Repair(const TFailure& failure);

    Sim& sim_;
    std::vector<TFailure> failures_;
};

// The location name of a piece of equipment ("" when it has none).
std::string EquipmentLocationName(const TSSIObject& equipment, FailureKind kind);

}  // namespace kestra
