#include "interlocking/points.h"

#include <utility>

#include "sim/sim.h"
#include "interlocking/overlap.h"
#include "interlocking/refusal.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/state_message.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "display/palette.h"

namespace kestra {

namespace {

constexpr const char* kLockedReverse = "Point(s) locked reverse by another route ";
constexpr const char* kLockedNormal = "Point(s) locked normal by another route";

// Whether a subroute that needs the points in the other position lets them go: not
// locked by a route, not held by an overlap that cannot swing, not part of the route
// now being set.
bool SubrouteLetsGo(Sim& sim, TULC& s) {
    if (!s.IsFree()) return false;
    if (s.Overlap) {
        TSIG* sig = s.Overlap->Signal;
        if (!sig || !sig->CanSwingOverlap()) return false;
    }
    if (sim.RouteBeingSet && sim.RouteBeingSet->AllSubroutes.Contains(&s)) return false;
    return true;
}

bool SubroutesAllowMove(Sim& sim, const TULCList& list) {
    for (int i = 0; i < list.Count(); ++i) {
        TULC* s = list.At(i);
        if (s && !SubrouteLetsGo(sim, *s)) return false;
    }
    return true;
}

}  // namespace

TPTS::TPTS(Sim& sim, std::string id) : TSSIObject(std::move(id)), sim_(sim) {}

TPTS::~TPTS() = default;

void TPTS::Configure(const PointsSetup& setup) {
    X = setup.X;
    Y = setup.Y;
    SwapGlyphs = setup.SwapGlyphs ? 1 : 0;
    AutoNormalise = setup.AutoNormalise ? 1 : 0;
    Orientation = setup.Orientation;
    for (TPTS* p : setup.Paired) Paired.Add({}, p);
    for (TPTS* p : setup.NormalAlsoNormal) NormalAlsoNormal.Add({}, p);
    for (TPTS* p : setup.NormalAlsoReverse) NormalAlsoReverse.Add({}, p);
    for (TPTS* p : setup.ReverseAlsoNormal) ReverseAlsoNormal.Add({}, p);
    for (TPTS* p : setup.ReverseAlsoReverse) ReverseAlsoReverse.Add({}, p);
    for (TULC* s : setup.FlankNormalSubroutes) {
        FlankNormalSubroutes.Add({}, s);
        s->FlankNormalPoints.Add({}, this);
    }
    for (TULC* s : setup.FlankReverseSubroutes) {
        FlankReverseSubroutes.Add({}, s);
        s->FlankReversePoints.Add({}, this);
    }
    Location = setup.Location;
}

void TPTS::SetTrackCircuit(TTCS& circuit) {
    TrackCircuit = &circuit;
    circuit.Points.AddUniqueObject({}, this);
}

// --- queries ---------------------------------------------------------------------

bool TPTS::IsFreeToGoNormal() {
    return IsFreeToGo(true);
}
bool TPTS::IsFreeToGoReverse() {
    return IsFreeToGo(false);
}
bool TPTS::CanMoveNormal() {
    return CanMove(true);
}
bool TPTS::CanMoveReverse() {
    return CanMove(false);
}
bool TPTS::IsSetNormal() {
    return IsSet(true);
}
bool TPTS::IsSetReverse() {
    return IsSet(false);
}

bool TPTS::IsFreeToGo(bool normal) {
    // An evaluation already running through these points answers for them, so that a
    // cycle of linked points ends.
    if (Busy) return normal ? !EvaluatingReverse : !EvaluatingNormal;
    const bool controlled = normal ? ControlledNormal : ControlledReverse;
    if (!controlled && !CanMove(normal)) return false;
    if (normal ? KeyedReverse : KeyedNormal) return false;
    Busy = true;
    (normal ? EvaluatingNormal : EvaluatingReverse) = true;
    bool result = normal ? Paired.IsFreeToGoNormal() : Paired.IsFreeToGoReverse();
    if (normal) {
        result =
            result && NormalAlsoNormal.IsFreeToGoNormal() && NormalAlsoReverse.IsFreeToGoReverse();
    } else {
        result = result && ReverseAlsoReverse.IsFreeToGoReverse() &&
                 ReverseAlsoNormal.IsFreeToGoNormal();
    }
    (normal ? EvaluatingNormal : EvaluatingReverse) = false;
    Busy = false;
    return result;
}

bool TPTS::CanMove(bool normal) {
    bool result;
    if (Busy) {
        result = normal ? !EvaluatingReverse : !EvaluatingNormal;
    } else {
        Busy = true;
        (normal ? EvaluatingNormal : EvaluatingReverse) = true;
        bool handled = false;
        if (normal ? KeyedReverse : KeyedNormal) {
            result = false;
        } else {
            bool hookAnswer = true;
            auto& hook = normal ? sim_.Hooks.PointsNormalHook : sim_.Hooks.PointsReverseHook;
            if (hook) hookAnswer = hook(*this, handled);
            result = hookAnswer && (normal ? Paired.CanMoveNormal() : Paired.CanMoveReverse());
        }
        if (!handled) {
            // The subroutes that need the other position must let the points go.
            const TULCList& route = normal ? ReverseSubroutes : NormalSubroutes;
            const TULCList& flank = normal ? FlankReverseSubroutes : FlankNormalSubroutes;
            result = result && (!TrackCircuit || TrackCircuit->IsClear()) &&
                     SubroutesAllowMove(sim_, route) && SubroutesAllowMove(sim_, flank);
            if (normal) {
                result = result && NormalAlsoNormal.CanMoveNormal() &&
                         NormalAlsoReverse.CanMoveReverse();
            } else {
                result = result && ReverseAlsoReverse.CanMoveReverse() &&
                         ReverseAlsoNormal.CanMoveNormal();
            }
        }
        (normal ? EvaluatingNormal : EvaluatingReverse) = false;
        Busy = false;
    }
    if (!result) {
        if (normal) {
            SetFailReason(sim_, kLockedReverse, ID);
        } else {
            SetFailReason(sim_, kLockedNormal);
        }
    }
    return result;
}

bool TPTS::IsSet(bool normal) {
    if (Busy) return true;
    if (normal ? !(ControlledNormal && IsDetectedNormal())
               : !(ControlledReverse && IsDetectedReverse()))
        return false;
    Busy = true;
    bool result;
    if (normal) {
        result = Paired.IsSetNormal() && NormalAlsoNormal.IsSetNormal() &&
                 NormalAlsoReverse.IsSetReverse();
    } else {
        result = Paired.IsSetReverse() && ReverseAlsoReverse.IsSetReverse() &&
                 ReverseAlsoNormal.IsSetNormal();
    }
    Busy = false;
    return result;
}

// --- commands --------------------------------------------------------------------

void TPTS::CallNormal() {
    Call(true, -1);
}
void TPTS::CallReverse() {
    Call(false, -1);
}
void TPTS::CallNormalTimed(std::int32_t seconds) {
    Call(true, seconds);
}
void TPTS::CallReverseTimed(std::int32_t seconds) {
    Call(false, seconds);
}

void TPTS::Call(bool normal, std::int32_t seconds) {
    // The call has come back to these points through a cycle of linked points.
    if (Busy) return;
    bool noOverlapSwing = false;
    auto& hook = normal ? sim_.Hooks.PointsNormalCallHook : sim_.Hooks.PointsReverseCallHook;
    if (hook && !(normal ? ControlledNormal : ControlledReverse)) hook(*this, noOverlapSwing);
    if (normal) {
        SetControlledNormal();
    } else {
        SetControlledReverse();
    }
    Busy = true;
    const bool mustMove = normal ? !DetectedNormal : !DetectedReverse;
    if (mustMove) {
        if (normal) {
            SetDetectedReverse(false);
        } else {
            SetDetectedNormal(false);
        }
        MoveTimer = seconds >= 0 ? seconds : 3 + sim_.RandomInt(2);
        for (int i = 0; i < Paired.Count(); ++i) {
            TPTS* p = Paired.At(i);
            if (!p) continue;
            if (normal) {
                p->CallNormalTimed(MoveTimer);
            } else {
                p->CallReverseTimed(MoveTimer);
            }
        }
    }
    const TPTSList& alsoNormal = normal ? NormalAlsoNormal : ReverseAlsoNormal;
    const TPTSList& alsoReverse = normal ? NormalAlsoReverse : ReverseAlsoReverse;
    for (int i = 0; i < alsoNormal.Count(); ++i) {
        if (TPTS* p = alsoNormal.At(i)) p->CallNormal();
    }
    for (int i = 0; i < alsoReverse.Count(); ++i) {
        if (TPTS* p = alsoReverse.At(i)) p->CallReverse();
    }
    if (!noOverlapSwing) {
        // Overlaps that hold the points in the other position move out of the way.
        (normal ? ReverseSubroutes : NormalSubroutes).SwingOverlapIfSet();
        (normal ? FlankReverseSubroutes : FlankNormalSubroutes).SwingOverlapIfSet();
    }
    Busy = false;
    if (mustMove && sim_.PointsFailures) sim_.PointsFailures->OfferFailure(*this);
}

void TPTS::SetControlledNormal() {
    if (ControlledNormal) return;
    ControlledNormal = true;
    ControlledReverse = false;
    Redraw();
    SendState();
}

void TPTS::SetControlledReverse() {
    if (ControlledReverse) return;
    ControlledReverse = true;
    ControlledNormal = false;
    Redraw();
    SendState();
}

void TPTS::SetDetectedNormal(bool flag) {
    if (DetectedNormal == flag) return;
    DetectedNormal = flag;
    Redraw();
    SendState();
}

void TPTS::SetDetectedReverse(bool flag) {
    if (DetectedReverse == flag) return;
    DetectedReverse = flag;
    Redraw();
    SendState();
}

void TPTS::SetFailedNormal(bool flag) {
    if (FailedNormal == flag) return;
    FailedNormal = flag;
    for (int i = 0; i < Paired.Count(); ++i) {
        if (TPTS* p = Paired.At(i)) p->SetFailedNormal(flag);
    }
    Redraw();
    SendState();
}

void TPTS::SetFailedReverse(bool flag) {
    if (FailedReverse == flag) return;
    FailedReverse = flag;
    for (int i = 0; i < Paired.Count(); ++i) {
        if (TPTS* p = Paired.At(i)) p->SetFailedReverse(flag);
    }
    Redraw();
    SendState();
}

void TPTS::SetReminder(bool flag) {
    if (Reminder == flag) return;
    Reminder = flag;
    Redraw();
    SendState();
}

void TPTS::SetKeyedNormal(bool flag) {
    if (KeyedNormal == flag) return;
    KeyedNormal = flag;
    Redraw();
    SendState();
}

void TPTS::SetKeyedReverse(bool flag) {
    if (KeyedReverse == flag) return;
    KeyedReverse = flag;
    Redraw();
    SendState();
}

void TPTS::SendState() {
    if (!sim_.IsBroadcasting()) return;
    const int index = sim_.Points.IndexOf(this);
    if (index < 0) return;
    const bool flags[8] = {ControlledNormal, ControlledReverse, DetectedNormal, DetectedReverse,
                           FailedNormal,     FailedReverse,     KeyedNormal,    KeyedReverse};
    unsigned bits = 0;
    for (int i = 0; i < 8; ++i) {
        if (flags[i]) bits |= 1u << i;
    }
    std::string payload = "PA" + Hex4(index);
    payload += static_cast<char>(bits);
    payload += static_cast<char>(Reminder ? 1 : 0);
    sim_.Broadcast(payload);
}

void TPTS::ApplyState(std::string_view body) {
    if (body.size() < 2) return;
    const auto bits = static_cast<unsigned char>(body[0]);
    ControlledNormal = (bits & 1) != 0;
    ControlledReverse = (bits & 2) != 0;
    DetectedNormal = (bits & 4) != 0;
    DetectedReverse = (bits & 8) != 0;
    FailedNormal = (bits & 16) != 0;
    FailedReverse = (bits & 32) != 0;
    KeyedNormal = (bits & 64) != 0;
    KeyedReverse = (bits & 128) != 0;
    Reminder = (static_cast<unsigned char>(body[1]) & 1) != 0;
    Redraw();
}

// --- cycles ----------------------------------------------------------------------

void TPTS::OneSecond() {
    if (sim_.ClientMode) return;
    if (MoveTimer > 0) {
        --MoveTimer;
        if (MoveTimer == 0) {
            if (ControlledNormal) {
                SetDetectedNormal(true);
            } else {
                SetDetectedReverse(true);
            }
            MovedForOverlap = false;
        }
    }
    if (AutoNormalise == 1) {
        const bool lyingReverse = ControlledNormal == DetectedNormal &&
                                  ControlledReverse == DetectedReverse && !DetectedNormal &&
                                  !ControlledNormal;
        // The cheap tests first: the movement test asks overlaps and sets reasons.
        if (lyingReverse && ReverseSubroutes.IsCompletelyFree() &&
            FlankReverseSubroutes.IsCompletelyFree() && CanMoveNormal()) {
            if (AutoNormalTimer < 6) {
                ++AutoNormalTimer;
                if (AutoNormalTimer == 6) CallNormal();
            }
        } else {
            AutoNormalTimer = 0;
        }
    }
}

void TPTS::MajorCycle() {
    const bool keyedAway =
        (KeyedNormal && !ControlledNormal) || (KeyedReverse && !ControlledReverse);
    if (!InCorrespondence() || keyedAway) Redraw();
}

void TPTS::Reset() {
    ControlledNormal = true;
    ControlledReverse = false;
    DetectedNormal = true;
    DetectedReverse = false;
    KeyedNormal = false;
    KeyedReverse = false;
    SetFailedNormal(false);
    SetFailedReverse(false);
    MoveTimer = 0;
    Reminder = false;
    AutoNormalTimer = 0;
    MovedForOverlap = false;
    Busy = EvaluatingNormal = EvaluatingReverse = false;
}

bool TPTS::Save(ValueWriter& writer) {
    writer.WriteInteger(MoveTimer);
    writer.WriteInteger(AutoNormalTimer);
    WriteFlagSet(writer, {ControlledNormal, ControlledReverse, DetectedNormal, DetectedReverse,
                          KeyedNormal, KeyedReverse, FailedNormal, FailedReverse, Reminder});
    return true;
}

bool TPTS::StageLoad(ValueReader& reader, LoadCommits& commits) {
    struct Record {
        std::int32_t moveTimer;
        std::int32_t autoTimer;
        bool flags[9];
    } rec;
    rec.moveTimer = reader.ReadInteger();
    rec.autoTimer = reader.ReadInteger();
    ReadFlagSet(reader, rec.flags, 9);
    // Out-of-range timers, or both positions called, detected or keyed at once, are
    // not a state points can be in: the record is corrupt.
    if (rec.moveTimer < 0 || rec.moveTimer > 255 || rec.autoTimer < 0 || rec.autoTimer > 6)
        return false;
    const bool* f = rec.flags;
    if ((f[0] && f[1]) || (f[2] && f[3]) || (f[4] && f[5])) return false;
    commits.Add([this, rec] {
        MoveTimer = rec.moveTimer;
        AutoNormalTimer = rec.autoTimer;
        ControlledNormal = rec.flags[0];
        ControlledReverse = rec.flags[1];
        DetectedNormal = rec.flags[2];
        DetectedReverse = rec.flags[3];
        KeyedNormal = rec.flags[4];
        KeyedReverse = rec.flags[5];
        SetFailedNormal(rec.flags[6]);
        SetFailedReverse(rec.flags[7]);
        Reminder = rec.flags[8];
    });
    return true;
}

// --- the signaller's actions -----------------------------------------------------

bool TPTS::ClaimsCell(int x, int y) const {
    if (X == x && Y == y && (X != 0 || Y != 0)) return true;
    for (int i = 0; i < ExtraElements.Count(); ++i) {
        const TPEL* e = ExtraElements.At(i);
        if (e && (e->Role == PerGlyph || e->Role == PerLabel) && e->X == x && e->Y == y)
            return true;
    }
    return false;
}

bool TPTS::CheckLeftClick(int x, int y) {
    if (!ClaimsCell(x, y)) return false;
    const int index = sim_.Points.IndexOf(this);
    if (sim_.Operator.ReminderMode) {
        if (sim_.ClientMode) {
            sim_.SendToServer("PD" + Hex4(index));
        } else {
            ReminderOnAction();
        }
    } else if (sim_.Operator.IsolationMode) {
        sim_.PostEventMessage("Cannot isolate point", EvTips);
    } else if (sim_.ClientMode) {
        sim_.SendToServer("PB" + Hex4(index));
    } else {
        KeyNormalAction();
    }
    // After any points click the panel leaves its special modes.
    sim_.CancelModes();
    return true;
}

bool TPTS::CheckRightClick(int x, int y) {
    if (!ClaimsCell(x, y)) return false;
    const int index = sim_.Points.IndexOf(this);
    if (sim_.Operator.ReminderMode) {
        if (sim_.ClientMode) {
            sim_.SendToServer("PE" + Hex4(index));
        } else {
            ReminderOffAction();
        }
    } else if (sim_.ClientMode) {
        sim_.SendToServer("PC" + Hex4(index));
    } else {
        KeyReverseAction();
    }
    // After any points click the panel leaves its special modes.
    sim_.CancelModes();
    return true;
}

void TPTS::ReminderOnPairs(bool flag) {
    SetReminder(flag);
    for (int i = 0; i < Paired.Count(); ++i) {
        if (TPTS* p = Paired.At(i)) p->SetReminder(flag);
    }
}

void TPTS::ReminderOnAction() {
    if (KeyedNormal || KeyedReverse) {
        ReminderOnPairs(true);
    } else {
        sim_.PostEventMessage("Point must be keyed before setting reminder", EvTips);
    }
}

void TPTS::ReminderOffAction() {
    ReminderOnPairs(false);
}

void TPTS::KeyNormalAction() {
    KeyAction(true);
}
void TPTS::KeyReverseAction() {
    KeyAction(false);
}

void TPTS::KeyAction(bool normal) {
    if (Reminder) {
        sim_.PostEventMessage("Cannot move point with reminder applied", EvTips);
        return;
    }
    auto forPair = [this](void (TPTS::*set)(bool), bool flag) {
        (this->*set)(flag);
        for (int i = 0; i < Paired.Count(); ++i) {
            if (TPTS* p = Paired.At(i)) (p->*set)(flag);
        }
    };
    // A click on keyed points takes the key off, whichever way they are keyed.
    if (normal ? KeyedNormal : KeyedReverse) {
        forPair(normal ? &TPTS::SetKeyedNormal : &TPTS::SetKeyedReverse, false);
        return;
    }
    if (normal ? KeyedReverse : KeyedNormal) {
        forPair(normal ? &TPTS::SetKeyedReverse : &TPTS::SetKeyedNormal, false);
        return;
    }
    forPair(normal ? &TPTS::SetKeyedReverse : &TPTS::SetKeyedNormal, false);
    forPair(normal ? &TPTS::SetKeyedNormal : &TPTS::SetKeyedReverse, true);
    // While the keyed points are recorded, the overlap logic treats them as already in
    // the keyed position when it chooses where to swing.
    TPTS*& keyed = normal ? sim_.PointsKeyedNormal : sim_.PointsKeyedReverse;
    TPTS* const saved = keyed;
    keyed = this;
    if (normal ? IsFreeToGoNormal() : IsFreeToGoReverse()) {
        if (normal) {
            CallNormal();
        } else {
            CallReverse();
        }
    }
    keyed = saved;
}

// --- drawing ---------------------------------------------------------------------

bool TPTS::IsRouteLocked() const {
    return !NormalSubroutes.IsFree() || !ReverseSubroutes.IsFree();
}

bool TPTS::IsOverlapLocked() const {
    return !NormalSubroutes.IsOverlapFree() || !ReverseSubroutes.IsOverlapFree();
}

void TPTS::Redraw() {
    Draw();
}

void TPTS::Draw() {
    if (X == 0 && Y == 0) return;
    static constexpr char kGlyphs[4][3] = {
        {'g', 'a', 'k'}, {'d', 'a', 'h'}, {'e', 'a', 'i'}, {'f', 'a', 'j'}};
    char plain = '?', normal = '?', reverse = '?';
    if (Orientation < 4) {
        plain = kGlyphs[Orientation][0];
        normal = kGlyphs[Orientation][1];
        reverse = kGlyphs[Orientation][2];
    }
    if (SwapGlyphs) std::swap(normal, reverse);

    const bool routeLocked = IsRouteLocked();
    const bool overlapLocked = IsOverlapLocked();
    const bool circuitClear = !TrackCircuit || TrackCircuit->IsClear();
    const bool otherRoute = TrackCircuit && !TrackCircuit->Subroutes.IsFree();

    Colour colour;
    if (!InCorrespondence()) {
        if (!circuitClear) {
            colour = sim_.FlashRed;
        } else if (routeLocked || overlapLocked) {
            colour = sim_.FlashWhite;
        } else {
            colour = sim_.FlashGrey;
        }
    } else if (routeLocked || overlapLocked) {
        // The overlap colour is white, as the route locking colour is.
        colour = circuitClear ? ClWhite : ClRed;
    } else if (circuitClear) {
        colour = ClGrey;
    } else {
        colour = otherRoute ? ClGrey : ClRed;
    }

    const bool showPosition =
        routeLocked || overlapLocked || sim_.Options().ShowPoints || KeyedNormal || KeyedReverse;
    char glyph = plain;
    if (IsDetectedNormal() && showPosition) {
        glyph = normal;
    } else if (IsDetectedReverse() && showPosition) {
        glyph = reverse;
    }

    Colour bgB = TrackCircuit ? TrackCircuit->ISOColour1 : ClBlack;
    Colour bgA = TrackCircuit ? TrackCircuit->ISOColour2 : ClBlack;
    const bool keyed = KeyedNormal || KeyedReverse;
    const bool keyedAway =
        (KeyedNormal && !ControlledNormal) || (KeyedReverse && !ControlledReverse);
    if (keyed) {
        bgA = bgB = (!keyedAway || sim_.FlashPhase) ? ClYellow : ClBlack;
    }

    Panel& panel = sim_.Display();
    const std::string_view glyphText(&glyph, 1);
    panel.DrawText2Bg(X, Y, colour, bgB, bgA, glyphText);
    for (int i = 0; i < ExtraElements.Count(); ++i) {
        const TPEL* e = ExtraElements.At(i);
        if (!e) continue;
        switch (e->Role) {
            case PerGlyph:
                panel.DrawText2Bg(e->X, e->Y, colour, bgB, bgA, glyphText);
                break;
            case PerKey: {
                // The brackets stand either side of the letter; 255 keeps them from
                // being taken for track-break marks.
                if (Reminder) {
                    panel.DrawText(e->X - 1, e->Y, ClYellow, "\xFF]");
                    panel.DrawText(e->X + 1, e->Y, ClYellow, "\xFF[");
                } else {
                    panel.DrawText(e->X - 1, e->Y, ClBlack, " ");
                    panel.DrawText(e->X + 1, e->Y, ClBlack, " ");
                }
                const char* letter = KeyedNormal ? "N" : (KeyedReverse ? "R" : " ");
                panel.DrawText(e->X, e->Y, keyedAway ? sim_.FlashGrey : ClGrey, letter);
                break;
            }
            case PerLabel:
                panel.DrawText(e->X, e->Y, ClGrey, e->Text);
                break;
            default:
                break;
        }
    }
}

// --- the list ------------------------------------------------------------------

TPTSList::TPTSList() = default;
TPTSList::~TPTSList() = default;

bool TPTSList::Contains(const TPTS* points) const {
    return IndexOf(points) >= 0;
}

bool TPTSList::IsSetNormal() const {
    return AllOf([](TPTS& p) { return p.IsSetNormal(); });
}
bool TPTSList::IsSetReverse() const {
    return AllOf([](TPTS& p) { return p.IsSetReverse(); });
}
bool TPTSList::IsFreeToGoNormal() const {
    return AllOf([](TPTS& p) { return p.IsFreeToGoNormal(); });
}
bool TPTSList::IsFreeToGoReverse() const {
    return AllOf([](TPTS& p) { return p.IsFreeToGoReverse(); });
}
bool TPTSList::ControlledNormal() const {
    return AllOf([](TPTS& p) { return p.ControlledNormal; });
}
bool TPTSList::ControlledReverse() const {
    return AllOf([](TPTS& p) { return p.ControlledReverse; });
}
bool TPTSList::CanMoveNormal() const {
    return AllOf([](TPTS& p) { return p.CanMoveNormal(); });
}
bool TPTSList::CanMoveReverse() const {
    return AllOf([](TPTS& p) { return p.CanMoveReverse(); });
}

void TPTSList::HandleClientMessage(std::string_view payload) const {
    if (payload.size() < 6) return;
    const int index = ParseHex4(payload.substr(2, 4));
    if (index < 0 || index >= Count()) return;
    TPTS* p = At(index);
    if (!p) return;
    const std::string_view code = payload.substr(0, 2);
    const std::string_view body = payload.substr(6);
    if (code == "PA") {
        // State comes from the server only: a server takes no points state from a client.
        if (p->sim().ClientMode) p->ApplyState(body);
    } else if (p->sim().ClientMode) {
        // Requests are for the server only.
        return;
    } else if (code == "PB") {
        p->KeyNormalAction();
    } else if (code == "PC") {
        p->KeyReverseAction();
    } else if (code == "PD") {
        p->ReminderOnAction();
    } else if (code == "PE") {
        p->ReminderOffAction();
    } else if (code == "CA") {
        if (body.size() < 2 || (body[0] != '0' && body[0] != '1') ||
            (body[1] != '0' && body[1] != '1'))
            return;
        p->SetFailedNormal(body[0] == '1');
        p->SetFailedReverse(body[1] == '1');
    }
}

}  // namespace kestra
