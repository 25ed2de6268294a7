#pragma once
// Temporary speed restrictions over a whole track circuit or a stretch of a subroute.

#include <cmath>
#include <cstdint>
#include <string>

#include "core/ssi_object.h"

namespace kestra {

class TTSR : public TSSIObject {
  public:
    TTSR() = default;
    explicit TTSR(TSSIObject* owner) : Owner(owner) {}
    // Clears the identity, speeds, positions and owner.
    void MakeBlank();
    void CopyRestriction(const TTSR& other);
    // The saved record, written in the record of its owner: two floats and two
    // integers. The identity is not saved.
    bool Save(ValueWriter& writer) override;
    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    // The fewest bytes a record can take: four values of at least two bytes each.
    static constexpr std::size_t MinRecordBytes = 8;
    // Whether a position along the owning subroute lies in the restricted stretch.
    bool Covers(std::int32_t position) const {
        return position >= FromPosition && position <= ToPosition;
    }

    double FreightSpeed = 0;    // m/s
    double PassengerSpeed = 0;  // m/s
    std::int32_t FromPosition = 0;
    std::int32_t ToPosition = 0;
    TSSIObject* Owner = nullptr;
};

// Speeds are shown and entered in miles per hour: m/s x 2.25.
inline double MphToMetresPerSecond(double mph) {
    return mph / 2.25;
}
// Rounded to the nearest whole mile an hour, a half to the even one (10 m/s is 22).
inline std::int32_t MetresPerSecondToMph(double ms) {
    return static_cast<std::int32_t>(std::nearbyint(ms * 2.25));
}

// A list of restrictions that owns them; new ones go to the front.
class TTSRList : public TTypedList<TTSR> {
  public:
    TTSR& InsertFront(std::unique_ptr<TTSR> tsr);
    // Places a new restriction on the owner of this list, at the front.
    TTSR& Place(std::unique_ptr<TTSR> tsr, TSSIObject* owner);
    // Takes a restriction off this list and frees it; nothing when it is not here.
    void Remove(TTSR* tsr);
    // Moves a restriction of this list to the front of another owner's list and gives
    // back the moved restriction (identity and fields kept, owner changed).
    TTSR* MoveTo(TTSR* tsr, TTSRList& destination, TSSIObject* newOwner);
};

}  // namespace kestra
