#include "ars/ars_subarea.h"

#include "display/palette.h"
#include "interlocking/state_message.h"
#include "interlocking/track_circuit.h"
#include "sim/sim.h"

namespace kestra {

namespace {
// The state cell shows a lamp; a switched-off sub-area shows a button face.
constexpr char kLampOn = 'q';
constexpr char kLampOff = 'p';
}  // namespace

TARS::TARS(Sim& sim) : sim_(sim) {}

void TARS::SetPlacement(int column, int row, std::uint8_t labelPlacement, std::string label) {
    Column = column;
    Row = row;
    LabelPlacement = labelPlacement <= ARSLabelLeft ? labelPlacement : std::uint8_t{ARSLabelAbove};
    Label = std::move(label);
}

void TARS::AddExtraPosition(int column, int row) {
    TPEL& p = ExtraPositions.Create(sim_);
    p.X = column;
    p.Y = row;
}

bool TARS::HitTest(int column, int row) const {
    auto near = [&](int c, int r) { return row == r && column >= c - 1 && column <= c + 1; };
    if (near(Column, Row)) return true;
    bool hit = false;
    ExtraPositions.ForEach([&](const TPEL& p) {
        if (!hit && near(p.X, p.Y)) hit = true;
    });
    return hit;
}

std::uint8_t TARS::StateBits() const {
    return static_cast<std::uint8_t>(
        (Selected ? ARSBitSelected : 0) | (Available ? ARSBitAvailable : 0) |
        (InEffect ? ARSBitInEffect : 0) | (Collared ? ARSBitCollared : 0));
}

void TARS::ApplyStateBits(std::uint8_t bits) {
    Selected = (bits & ARSBitSelected) != 0;
    Available = (bits & ARSBitAvailable) != 0;
    InEffect = Selected && (bits & ARSBitInEffect) != 0;
    Collared = (bits & ARSBitCollared) != 0;
    Draw();
}

void TARS::SetSelected(bool on) {
    Selected = on;
    InEffect = on && Available;
    Draw();
    SendState();
}

void TARS::SetCollared(bool on) {
    Collared = on;
    Draw();
    SendState();
}

void TARS::SetInEffect(bool on) {
    on = on && Selected;
    if (InEffect == on) return;
    InEffect = on;
    Draw();
    SendState();
}

bool TARS::SetInactive() {
    if (!InEffect) return false;
    SetInEffect(false);
    return true;
}

void TARS::SendState() {
    if (!sim_.IsBroadcasting()) return;
    const int index = sim_.ARSSubAreas.IndexOf(this);
    if (index < 0) return;
    std::string payload(TARSList::kState);
    payload += Hex4(index);
    payload += static_cast<char>(StateBits());
    sim_.Broadcast(payload);
}

bool TARS::CheckLeftClick(int x, int y) {
    return Click(x, y, true);
}
bool TARS::CheckRightClick(int x, int y) {
    return Click(x, y, false);
}

bool TARS::Click(int column, int row, bool left) {
    if (!HitTest(column, row)) return false;
    const TOperatorState& op = sim_.Operator;
    if (op.IsolationMode) {
        sim_.PostEventMessage(left ? kCannotIsolateSubarea : kCannotRemoveIsolationSubarea, EvTips);
    } else if (sim_.ClientMode) {
        std::string_view code =
            left ? (op.ReminderMode ? TARSList::kCollarOn : TARSList::kSwitchOn)
                 : (op.ReminderMode ? TARSList::kCollarOff : TARSList::kSwitchOff);
        sim_.SendToServer(std::string(code) + Hex4(sim_.ARSSubAreas.IndexOf(this)));
    } else if (op.ReminderMode) {
        SetCollared(left);
    } else if (!left) {
        SetSelected(false);  // allowed while collared
    } else if (Collared) {
        sim_.PostEventMessage(kSubareaCollared, EvTips);
    } else {
        SetSelected(true);
    }
    sim_.CancelModes();
    return true;
}

void TARS::Draw() {
    DrawAt(Column, Row, true);
    ExtraPositions.ForEach([&](const TPEL& p) { DrawAt(p.X, p.Y, false); });
}

void TARS::DrawAt(int column, int row, bool withLabel) {
    PaletteIndex state = PiGrey;
    char letter = kLampOff;
    if (Selected != InEffect) {
        state = sim_.FlashPhase ? PiPink : PiBlack;
        letter = kLampOn;
    } else if (InEffect) {
        state = PiPink;
        letter = kLampOn;
    }
    // Fixed size: drawing allocates nothing.
    const char glyphs[] = {
        static_cast<char>(GcNoSubstitute),
        ForegroundCode(Collared ? PiYellow : PiBlack),
        Collared ? ']' : ' ',
        ForegroundCode(state),
        'S',
        letter,
        ForegroundCode(Collared ? PiYellow : PiBlack),
        Collared ? '[' : ' ',
    };
    Panel& panel = sim_.Display();
    panel.DrawText(column - 2, row, ClBlack, std::string_view(glyphs, sizeof glyphs));
    if (!withLabel || Label.empty()) return;
    const int len = static_cast<int>(Label.size());
    int x = column - len / 2;
    int y = row;
    switch (LabelPlacement) {
        case ARSLabelAbove:
            y = row - 1;
            break;
        case ARSLabelRight:
            x = column + 3;
            break;
        case ARSLabelBelow:
            y = row + 1;
            break;
        default:
            x = column - 2 - len;
            break;
    }
    panel.DrawText(x, y, PaletteColour(state, panel.EightBitColour), Label);
}

void TARS::MajorCycle() {
    if (Selected != InEffect) Draw();
}

void TARS::Reset() {
    Selected = Available = InEffect = true;
    Collared = false;
}

bool TARS::Save(ValueWriter& writer) {
    WriteFlagSet(writer, {Selected, Available, InEffect});
    writer.WriteInteger(Collared ? 1 : 0);
    return true;
}

bool TARS::StageLoad(ValueReader& reader, LoadCommits& commits) {
    bool flags[3] = {};
    ReadFlagSet(reader, flags, 3);
    const bool collared = reader.ReadInteger() != 0;
    // A record claiming ARS in effect where it is not selected is read as not in effect.
    const bool selected = flags[0], available = flags[1], inEffect = flags[2] && flags[0];
    commits.Add([this, selected, available, inEffect, collared] {
        Selected = selected;
        Available = available;
        InEffect = inEffect;
        Collared = collared;
    });
    return true;
}

bool TARSList::SetInactive() {
    bool changed = false;
    ForEach([&](TARS& a) {
        if (a.SetInactive()) changed = true;
    });
    return changed;
}

bool TARSList::IsActive() const {
    return AllOf([](const TARS& a) { return a.InEffect; });
}

void TARSList::SwitchAllOffAndCollar() {
    ForEach([](TARS& a) {
        a.SetSelected(false);
        a.SetCollared(true);
    });
}

std::string TARSList::HandleClientMessage(std::string_view message) {
    if (message.size() < 6) return {};
    const std::string_view code = message.substr(0, 2);
    const int index = ParseHex4(message.substr(2, 4));
    if (index < 0 || index >= Count()) return {};
    TARS* a = At(index);
    if (a == nullptr) return {};
    const bool client = a->sim().ClientMode;
    if (code == kState) {
        // Exactly one flag character, and only the four flag bits.
        if (!client || message.size() != 7) return {};
        const auto bits = static_cast<std::uint8_t>(message[6]);
        if (bits > (ARSBitSelected | ARSBitAvailable | ARSBitInEffect | ARSBitCollared)) return {};
        a->ApplyStateBits(bits);
        return {};
    }
    // Requests carry the position only, and only a server acts on them.
    if (client || message.size() != 6) return {};
    if (code == kCollarOn) {
        a->SetCollared(true);
    } else if (code == kCollarOff) {
        a->SetCollared(false);
    } else if (code == kSwitchOn) {
        if (a->Collared) return kSubareaCollared;
        a->SetSelected(true);
    } else if (code == kSwitchOff) {
        a->SetSelected(false);
    }
    return {};
}

}  // namespace kestra
