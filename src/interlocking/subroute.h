#pragma once
// Subroutes: the locking elements of the interlocking. One subroute is the passage
// over one track circuit in one direction with the points positions it needs. It is
// free, locked by a route, held by an overlap, or both; it releases behind the train.
// It also carries the track data trains run on.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ssi_object.h"
#include "interlocking/interlocking_lists.h"
#include "interlocking/speed_restriction.h"
#include "display/label.h"

namespace kestra {

class Sim;
class TTCS;

// The track data the area gives a subroute in one call.
struct SubrouteSetup {
    std::uint8_t Direction = 1;
    std::int32_t Length = 0;
    float FreightSpeed = 0;
    float PassengerSpeed = 0;
    std::uint8_t LeavesArea = 0;
    std::int32_t SignalOffset = 0;
    TTCS* TrackCircuit = nullptr;
    std::int32_t PassageTime = 0;
    std::int32_t ClearTime = 0;
};

class TULC : public TSSIObject {
  public:
    explicit TULC(Sim& sim, std::string id = {});
    ~TULC() override;

    void Draw() override;
    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void MajorCycle() override;
    void Reset() override;
    bool Save(ValueWriter& writer) override;

    // The area's set-up call; enters the subroute in its circuit's list.
    void Configure(const SubrouteSetup& setup);
    // Points the move needs; each points lists this subroute back.
    void AddNormalPoints(TPTS& points);
    void AddReversePoints(TPTS& points);
    // Flank protection; each points lists this subroute back.
    void AddFlankNormalPoints(TPTS& points);
    void AddFlankReversePoints(TPTS& points);

    // --- derived states
    bool IsFree() const { return Free; }
    bool IsRouteLocked() const { return !Free && !AlwaysPassable; }
    bool IsOverlapHeld() const { return Overlap != nullptr; }
    bool IsCompletelyFree() const { return Free && Overlap == nullptr; }
    bool IsPassable() const { return AlwaysPassable || LeavesArea != 0 || IsRouteLocked(); }
    bool HasNoPoints() const;
    bool PointsControlledInPosition() const;
    bool PointsDetectedInPosition() const;
    bool IsParallelFree() const;
    bool IsCircuitClear() const;
    // Circuit clear, route points set, flank points controlled.
    bool IsProved() const;

    // --- checks
    // The signaller's check; sets LastFailReason on refusal.
    bool CheckFreeToSet();
    // The same without the opposite-direction test (shunt and call-on permissive parts).
    bool CheckFreeToSetIgnoreParallel();
    // The quiet automatic check.
    bool CheckFreeToSetARSIgnoreOVL();
    // The quiet check of a subroute an overlap is to take.
    bool CheckOverlapQuiet();

    // --- element operations
    void Lock();
    void Release();
    void SetOverlap(TOVL* overlap);
    void ClearOverlap();
    // Broadcasts "UA" with the locking and the holding overlap.
    void SendState();
    // Applies a received "UA" body: "0"/"1" and 4 hex digits of the overlap or "----".
    void ApplyState(std::string_view body);
    // Sets this subroute as part of a route: swings overlaps on the circuit, locks it
    // and calls its route and flank points. False, with nothing locked or called, when
    // an overlap in the way cannot swing now.
    bool RequestRoute();
    // Takes the subroute into an overlap set with a route, swinging other overlaps out
    // of its way; false, with nothing taken, when one of them cannot swing now.
    bool LockForOverlap(TOVL& overlap);
    // Takes the subroute into an overlap that is swung to or set by itself.
    void LockForSwing(TOVL& overlap);
    // Asks the holding overlap's signal to swing it away.
    void SwingOverlapIfSet();

    // --- the way ahead and behind, for trains, signals and the describer
    TULC* NextSubroute() const;
    TULC* PreviousPassable() const;
    TULC* PreviousForDescriber() const;
    TULC* PreviousDetected() const;
    TSIG* NextSignal() const;
    bool MayPassEnd() const;
    bool ApproachOccupied() const;
    double LineSpeed(bool freight) const { return freight ? FreightSpeed : PassengerSpeed; }
    double EffectiveLineSpeed(bool freight) const {
        const double s = LineSpeed(freight);
        return Scale < 1.0f ? s * Scale : s;
    }
    double Scaled(double value) const { return value * Scale; }
    double Unscaled(double value) const { return value / Scale; }
    // Seconds a train must stand on this subroute's circuit before an overlap of the
    // signal at its end releases by time.
    std::int32_t OverlapReleaseTime(const TOVL& overlap) const;

    // --- drawing (called by the circuit)
    void DrawArrows();
    void DrawLocking();
    // Redraws the circuit this subroute lies on.
    void RedrawCircuit();

    Sim& sim() const { return sim_; }

    // --- fields, in declaration order
    bool Free = true;
    TOVL* Overlap = nullptr;
    bool AlwaysPassable = false;
    TULCList Conflicts;
    std::uint8_t Direction = 1;
    TSIG* StartSignal = nullptr;
    TULCList Previous;
    std::uint8_t LeavesArea = 0;
    TSIG* EndSignal = nullptr;
    TULCList Next;
    TPTSList FlankNormalPoints;
    TPTSList FlankReversePoints;
    bool GoodsLine = false;
    float Scale = 1.0f;
    std::int32_t Length = 0;
    // Station stopping points, owned (their class belongs to train stops).
    TTypedList<TSSIObject> StopPoints;
    float FreightSpeed = 0;
    float PassengerSpeed = 0;
    std::int32_t PassageTime = 0;
    std::int32_t SignalOffset = 0;
    TTCS* TrackCircuit = nullptr;
    TULC* Opposite = nullptr;
    TPELList Elements;
    TPTSList NormalPoints;
    TPTSList ReversePoints;
    std::int32_t ClearTime = 0;
    TTSRList TSRs;
    std::int32_t ArrowX = 0;
    std::int32_t ArrowY = 0;
    std::uint8_t ArrowDirection = 0;

  private:
    // Step 5 of the signaller's check: every conflict free, or held by the overlap
    // being swung to or by one that can swing.
    bool ConflictsFreeOrSwingable() const;
    // Steps 2 and 3 of the signaller's checks: the route and flank points can go to
    // the positions this subroute needs (sets the refusal reason otherwise).
    bool RouteAndFlankPointsFreeToGo();
    // Swings the overlaps of the given subroutes that are held by an overlap other
    // than this one's.
    void SwingOtherOverlaps(bool circuit, bool conflicts, const TOVL* keep);
    // Swings the overlaps (other than keep) that hold this subroute's points, route or
    // flank, the other way.
    void SwingOverlapsOffPoints(const TOVL* keep);
    // Whether an overlap other than keep still holds another subroute of the circuit, a
    // conflicting subroute, or this subroute's points the other way.
    bool OtherOverlapInTheWay(const TOVL* keep) const;
    void CallPoints(bool forOverlap);
    void ReleaseRouteLocking();
    void ReleaseOverlap();

    Sim& sim_;
};

// Links a subroute to its successor: b enters a's Next and a enters b's Previous; when
// a ends at a signal, b starts there (and the signal lists b among the subroutes that
// start at it, taking b's circuit as its first circuit ahead if it has none).
void LinkSubroutes(TULC& a, TULC& b);
// Makes two subroutes over one circuit each other's opposite.
void SetOpposites(TULC& a, TULC& b);
// Enters each subroute in the other's conflicts.
void SetConflicting(TULC& a, TULC& b);
// The signal at the end of a subroute; the signal lists it among its subroutes to here.
void SetEndSignal(TULC& subroute, TSIG& signal);

}  // namespace kestra
