#pragma once
// Points: one switch with its normal and reverse positions, its detection, the
// signaller's keys and reminder, and the points that move together with it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ssi_object.h"
#include "interlocking/interlocking_lists.h"
#include "display/label.h"

namespace kestra {

class Sim;
class TTCS;

// The random-failure check offered points whenever they really move. A failure sets
// FailedNormal or FailedReverse according to the position called.
class PointsFailureOffer {
  public:
    virtual ~PointsFailureOffer() = default;
    virtual void OfferFailure(TPTS& points) = 0;
};

// Roles of a points' extra panel elements.
enum PointsElementRole : std::uint8_t {
    PerGlyph = 10,  // repeats the points glyph (and takes clicks)
    PerKey = 11,    // the key indicator "N" / "R" with the reminder brackets
    PerLabel = 12,  // a fixed label (takes clicks)
};

// The parameters the area gives a points in one call.
struct PointsSetup {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    bool SwapGlyphs = false;
    bool AutoNormalise = false;
    std::uint8_t Orientation = 0;
    std::vector<TPTS*> Paired;
    std::vector<TPTS*> NormalAlsoNormal;
    std::vector<TPTS*> NormalAlsoReverse;
    std::vector<TPTS*> ReverseAlsoNormal;
    std::vector<TPTS*> ReverseAlsoReverse;
    std::vector<TULC*> FlankNormalSubroutes;
    std::vector<TULC*> FlankReverseSubroutes;
    TSSIObject* Location = nullptr;
};

class TPTS : public TSSIObject {
  public:
    explicit TPTS(Sim& sim, std::string id = {});
    ~TPTS() override;

    bool CheckLeftClick(int x, int y) override;
    bool CheckRightClick(int x, int y) override;
    void Draw() override;
    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void MajorCycle() override;
    void OneSecond() override;
    void Reset() override;
    bool Save(ValueWriter& writer) override;

    // The area's set-up call. Filling the flank lists also enters this points in each
    // subroute's flank points list.
    void Configure(const PointsSetup& setup);
    // Places the points in a circuit (and the circuit lists it back).
    void SetTrackCircuit(TTCS& circuit);

    // --- derived states
    bool IsDetectedNormal() const { return DetectedNormal && !FailedNormal; }
    bool IsDetectedReverse() const { return DetectedReverse && !FailedReverse; }
    bool InCorrespondence() const {
        return IsDetectedNormal() == ControlledNormal && IsDetectedReverse() == ControlledReverse;
    }

    // --- queries (they set only the transient evaluation guards and LastFailReason)
    bool IsFreeToGoNormal();
    bool IsFreeToGoReverse();
    bool CanMoveNormal();
    bool CanMoveReverse();
    bool IsSetNormal();
    bool IsSetReverse();

    // --- commands
    void CallNormal();
    void CallReverse();
    void CallNormalTimed(std::int32_t seconds);
    void CallReverseTimed(std::int32_t seconds);
    void SetControlledNormal();
    void SetControlledReverse();
    void SetDetectedNormal(bool flag);
    void SetDetectedReverse(bool flag);
    void SetFailedNormal(bool flag);
    void SetFailedReverse(bool flag);
    void SetReminder(bool flag);
    void SetKeyedNormal(bool flag);
    void SetKeyedReverse(bool flag);
    // Broadcasts "PA" with the position flags and the reminder.
    void SendState();
    // Applies a received "PA" body: the flags character and the reminder character.
    void ApplyState(std::string_view body);

    // --- the signaller's actions (normal panel mode; a client sends them to the server)
    // Left click: key normal, or take the key off.
    void KeyNormalAction();
    // Right click: key reverse, or take the key off.
    void KeyReverseAction();
    // Reminder mode, left click: applies the reminder to keyed points.
    void ReminderOnAction();
    // Reminder mode, right click: removes the reminder.
    void ReminderOffAction();

    // Whether a panel cell is one of this points' click positions.
    bool ClaimsCell(int x, int y) const;
    Sim& sim() const { return sim_; }

    // --- fields, in declaration order
    bool Busy = false;
    bool EvaluatingNormal = false;
    bool EvaluatingReverse = false;
    bool ControlledNormal = true;
    bool ControlledReverse = false;
    bool DetectedNormal = true;
    bool DetectedReverse = false;
    bool FailedNormal = false;
    bool FailedReverse = false;
    bool Reminder = false;
    bool KeyedNormal = false;
    bool KeyedReverse = false;
    std::int32_t MoveTimer = 0;
    std::uint8_t AutoNormalise = 0;
    std::int32_t AutoNormalTimer = 0;
    TPTSList Paired;
    TULCList FlankNormalSubroutes;
    TULCList FlankReverseSubroutes;
    std::uint8_t SwapGlyphs = 0;
    TSSIObject* Location = nullptr;
    TPTSList NormalAlsoNormal;
    TPTSList NormalAlsoReverse;
    std::uint8_t Orientation = 0;
    TTCS* TrackCircuit = nullptr;
    TPELList ExtraElements;
    TPTSList ReverseAlsoNormal;
    TPTSList ReverseAlsoReverse;
    bool MovedForOverlap = false;
    TULCList NormalSubroutes;
    TULCList ReverseSubroutes;
    std::int32_t X = 0;
    std::int32_t Y = 0;

  private:
    bool CanMove(bool normal);
    bool IsFreeToGo(bool normal);
    bool IsSet(bool normal);
    // Moves the points; seconds < 0 draws the movement time at random.
    void Call(bool normal, std::int32_t seconds);
    void KeyAction(bool normal);
    void ReminderOnPairs(bool flag);
    bool IsRouteLocked() const;
    bool IsOverlapLocked() const;
    void Redraw();

    Sim& sim_;
};

}  // namespace kestra
