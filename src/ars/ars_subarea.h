#pragma once
// ARS sub-areas: the panel indicators with which the signaller switches automatic route
// setting on and off for the routes lying in each part of the area, and collars them
// so that ARS cannot be switched on by mistake.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ssi_object.h"
#include "display/label.h"
#include "interlocking/route.h"

namespace kestra {

class Sim;

// Where a sub-area's label stands beside its indicator.
enum ARSLabelPlacement : std::uint8_t {
    ARSLabelAbove = 0,
    ARSLabelRight = 1,
    ARSLabelBelow = 2,
    ARSLabelLeft = 3,
};

// The bits of a sub-area's saved flag set and of its "AD" state message.
enum ARSStateBits : std::uint8_t {
    ARSBitSelected = 1,
    ARSBitAvailable = 2,
    ARSBitInEffect = 4,
    ARSBitCollared = 8,
};

// One ARS sub-area. Found by its position in the simulation's list, never by ID.
class TARS : public TSSIObject, public ARSSubAreaLink {
  public:
    explicit TARS(Sim& sim);

    bool CheckLeftClick(int x, int y) override;
    bool CheckRightClick(int x, int y) override;
    void Draw() override;
    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void MajorCycle() override;
    void Reset() override;
    bool Save(ValueWriter& writer) override;

    // --- ARSSubAreaLink: what a route asks of the sub-areas it lies in
    bool IsInEffect() const override { return InEffect; }
    bool SetInactive() override;

    // The area definition's placement of the indicator and its label.
    void SetPlacement(int column, int row, std::uint8_t labelPlacement, std::string label);
    // A further place where the indicator is drawn and can be clicked.
    void AddExtraPosition(int column, int row);

    // The signaller's switch: on brings ARS into effect when the sub-area is available.
    void SetSelected(bool on);
    void SetCollared(bool on);
    // Drops out of (or back into) effect without touching the switch; never in effect
    // while not selected.
    void SetInEffect(bool on);
    // "AD" with the position and the four flags, to every client.
    void SendState();
    // The indicator's cells: the state cell and one either side, at the main position
    // or at any extra position.
    bool HitTest(int column, int row) const;
    // The flags as one value (ARSStateBits).
    std::uint8_t StateBits() const;
    // Applies flags received from the server; InEffect only with Selected.
    void ApplyStateBits(std::uint8_t bits);

    Sim& sim() const { return sim_; }

    // --- fields, in declaration order
    bool Selected = true;
    bool Available = true;
    bool InEffect = true;
    bool Collared = false;
    std::int32_t Column = 0;
    std::int32_t Row = 0;
    std::uint8_t LabelPlacement = ARSLabelAbove;
    TPELList ExtraPositions;
    std::string Label;

  private:
    bool Click(int column, int row, bool left);
    void DrawAt(int column, int row, bool withLabel);
    Sim& sim_;
};

// The area's sub-areas, in creation order; that order is the position messages carry.
class TARSList : public TTypedList<TARS> {
  public:
    // Takes every sub-area in effect out of effect; true when any changed.
    bool SetInactive();
    // True when every sub-area is in effect (so for an empty list too).
    bool IsActive() const;
    // Switches every sub-area off and collars it (a scenario without ARS).
    void SwitchAllOffAndCollar();
    // A sub-area message from the other end of the network. The simulation's role
    // decides what it accepts: a client only "AD" state messages, a server only the
    // client requests "AG", "AH", "AI" and "AJ". Anything else, a bad position or a
    // wrong length is ignored. Returns a text for the requesting client (a refusal),
    // empty when there is none.
    std::string HandleClientMessage(std::string_view message);

    // Message codes.
    static constexpr std::string_view kState = "AD";
    static constexpr std::string_view kSwitchOn = "AG";
    static constexpr std::string_view kSwitchOff = "AH";
    static constexpr std::string_view kCollarOn = "AI";
    static constexpr std::string_view kCollarOff = "AJ";
};

// Texts shown by the sub-areas.
inline constexpr const char* kSubareaCollared = "Subarea is collared";
inline constexpr const char* kCannotIsolateSubarea = "Cannot isolate subarea";
inline constexpr const char* kCannotRemoveIsolationSubarea = "Cannot remove isolation from subarea";

}  // namespace kestra
