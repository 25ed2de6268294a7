#pragma once
// Track circuits: the train-detection sections of the railway.

#include <cstdint>
#include <string>

#include "core/ssi_object.h"
#include "interlocking/interlocking_lists.h"
#include "interlocking/speed_restriction.h"
#include "display/label.h"

namespace kestra {

class Sim;
class TTCS;
class TSIG;
class TULC;

// The train describer, told of every occupation and clearance.
class TrainDescriberTrigger {
public:
    virtual ~TrainDescriberTrigger() = default;
    virtual void BerthTDTrigger(TSSIObject& source, bool occupied) = 0;
};

// The random-failure check offered a circuit at its last vacate.
class TrackFailureOffer {
public:
    virtual ~TrackFailureOffer() = default;
    virtual void OfferFailure(TTCS& circuit) = 0;
};

// Marking shown on the track.
enum ISOTypes : std::uint8_t {
    IsoNone = 0,
    IsoEng = 1,
    IsoTI = 2,
    IsoEngTI = 3,
    IsoEngBET = 4,
    IsoBET = 5,
};

// Debug-window labels of the marking types.
const char* ISOTypeLabel(std::uint8_t type);

class TTCS : public TSSIObject {
public:
    explicit TTCS(Sim& sim, std::string id = {});

    void Draw() override;
    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void MajorCycle() override;
    void OneSecond() override;
    void Reset() override;
    bool Save(ValueWriter& writer) override;

    void Occupy();
    void Vacate();
    // The assessor's occupation: one more occupant, counted apart so that the assessor
    // takes away only what the assessor added and never a train's own occupation.
    void AssessorOccupy();
    // Takes one of the assessor's occupants away; false when the assessor added none.
    bool AssessorVacate();
    bool IsClear() const { return OccupyCount == 0 && ClearDelay >= 3; }
    bool IsOccupied() const { return !IsClear(); }
    bool IsClearFor(std::int32_t seconds) const { return IsClear() && StateTime >= seconds; }
    bool IsOccupiedFor(std::int32_t seconds) const {
        return IsOccupied() && StateTime >= seconds;
    }
    void SetISOType(std::uint8_t type);
    // Mirrors the server's state on a multiplayer client.
    void SetOccupiedState(bool occupied);
    // Broadcasts "TA" with the occupation and marking.
    void SendState();
    // Applies a received "TA" record body: "b" occupied and 1 hex marking type.
    void ApplyState(std::string_view body);

    TULC* FirstRouteLockedSubroute() const;
    TULC* FindSubrouteToSignal(const TSIG* signal) const;
    bool HasOverlapLock() const;

    Sim& sim() const { return sim_; }

    std::int32_t OccupyCount = 0;
    // Of OccupyCount, the occupants the assessor added.
    std::int32_t AssessorOccupants = 0;
    std::int32_t StateTime = 0;
    std::int32_t ClearDelay = 3;
    std::uint8_t ISOType = IsoNone;
    TSSIList Berths;
    Colour ISOColour1 = 0;
    Colour ISOColour2 = 0;
    std::uint8_t Electrification = 0;
    TSSIObject* Location = nullptr;
    TPELList TrackElements;
    TPTSList Points;
    TTSRList TSRs;
    TULCList Subroutes;

private:
    Sim& sim_;
};

class TTCSList : public TTypedList<TTCS> {
public:
    // True when every circuit is clear; an empty list is clear.
    bool IsClear() const;
    // A "TA" message from the server; positions outside the list are ignored.
    void HandleClientMessage(std::string_view payload);
};

// Reads 4 hexadecimal digits; -1 when malformed.
int ParseHex4(std::string_view text);

}  // namespace kestra
