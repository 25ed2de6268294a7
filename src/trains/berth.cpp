#include "trains/berth.h"

#include <algorithm>
#include <cstdio>

#include "core/ascii_text.h"
#include "display/options.h"
#include "display/palette.h"
#include "interlocking/route.h"
#include "interlocking/subroute.h"
#include "sim/sim.h"

namespace kestra {

namespace {

// The undescribed train's description and the glyphs of an empty berth.
constexpr std::string_view kTrackGlyphs = "aaaa";
constexpr std::string_view kCrosses = "xxxx";
constexpr std::string_view kSlashes = "\\\\\\\\";
constexpr std::string_view kBlanks = "    ";
constexpr int kBerthCells = 4;
// Columns a click may hit: the first three of the four.
constexpr int kClickCells = 3;
// The score lost for a non-described train sent to a fringe box.
constexpr std::int32_t kFringePenalty = 10;

// Colours of a berth whose description has just stepped away.
constexpr BerthColour kSteppedColour = ClCyan;
// Colours of a berth emptied by ARS's direct move, and of a new berth.
constexpr BerthColour kNewColour = ClPink;
constexpr BerthColour kPlainText = ClBlack;
constexpr BerthColour kPlainBack = ClWhite;

void WriteLE32(std::string& out, BerthColour value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

BerthColour ReadLE32(std::string_view in) {
    BerthColour v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<BerthColour>(static_cast<unsigned char>(in[static_cast<std::size_t>(i)]))
             << (8 * i);
    return v;
}

}  // namespace

bool BerthConditionTruth(const TSSIObject& object) {
    if (auto* c = dynamic_cast<const TTCS*>(&object)) return c->IsOccupied();
    if (auto* r = dynamic_cast<const TROU*>(&object)) return r->RouteSet;
    if (auto* s = dynamic_cast<const TSIG*>(&object)) return s->ShowsProceed();
    if (auto* b = dynamic_cast<const TBER*>(&object)) return b->HasDescription();
    if (auto* u = dynamic_cast<const TULC*>(&object)) return u->IsRouteLocked();
    return true;
}

bool BerthConditionsHold(const std::vector<TSSIObject*>& conditions) {
    bool negate = false;
    for (const TSSIObject* o : conditions) {
        if (o == nullptr) {
            negate = true;
            continue;
        }
        const bool value = BerthConditionTruth(*o) != negate;
        negate = false;
        if (!value) return false;
    }
    return true;
}

// ---------------------------------------------------------------- the berth

TBER::TBER(Sim& sim, std::string id) : TSSIObject(std::move(id)), sim_(sim) {
    Kind = KindBerth;
    Colour = kNewColour;
    BackColour = kPlainBack;
    TextColour = kPlainText;
}

std::string TBER::FormatDescription(std::string_view description) {
    std::string out(description.substr(0, kBerthCells));
    out.resize(kBerthCells, ' ');
    return out;
}

void TBER::Reset() {
    Description.clear();
    Colour = kNewColour;
    // Black on white, as a new berth: a description interposed after a reset must be
    // legible in the delay mode (grey on grey would hide it).
    TextColour = kPlainText;
    BackColour = kPlainBack;
    Draw();
}

bool TBER::HitAt(int x, int y) const {
    auto hits = [&](int bx, int by) { return y == by && x >= bx && x < bx + kClickCells; };
    if (hits(X, Y)) return true;
    for (int i = 0; i < Positions.Count(); ++i) {
        if (const TPEL* p = Positions.At(i); p && hits(p->X, p->Y)) return true;
    }
    return false;
}

bool TBER::Click(int x, int y, bool right) {
    if (!HitAt(x, y)) return false;
    TOperatorState& op = sim_.Operator;
    // "Interpose By Signal" and "Cancel By Signal" also take a click on the berth itself:
    // a berth no signal stands in front of (a platform's second berth, a bay's
    // buffer-stop end) could otherwise never be described or emptied from the panel.
    if (!right && (op.InterposeMode || op.CancelTDMode)) {
        if (External)
            sim_.PostEventMessage(op.InterposeMode ? "Cannot interpose into external berth"
                                                   : "Cannot cancel external berth",
                                  EvTips);
        else if (op.InterposeMode)
            Interpose(op.InterposeDescription);
        else
            CancelDescription();
        sim_.CancelModes();
        return true;
    }
    if (!HasDescription()) return false;
    sim_.Operator.SelectedBerth = this;
    sim_.Operator.SelectedDescription = Description;
    if (right) sim_.Operator.PopupMenu = PopupMenuKind::Berth;
    return true;
}

bool TBER::CheckLeftClick(int x, int y) {
    return Click(x, y, false);
}
bool TBER::CheckRightClick(int x, int y) {
    return Click(x, y, true);
}

void TBER::DrawAt(int x, int y) {
    Panel& panel = sim_.Display();
    if (HasDescription()) {
        const std::string_view text = std::string_view(Description).substr(0, kBerthCells);
        if (sim_.Options().BERMode == BerModeDelay) {
            // Never the description in its own background: fall back to the plain colours.
            const bool hidden = TextColour == BackColour;
            const BerthColour fg = hidden ? kPlainText : TextColour;
            const BerthColour bg = hidden ? kPlainBack : BackColour;
            panel.DrawText2Bg(x, y, fg, bg, bg, text);
        } else {
            panel.DrawText(x, y, Colour, text);
        }
        return;
    }
    switch (EmptyStyle) {
        case EmptyTrack:
            if (TrackCircuit == nullptr) {
                panel.DrawText2Bg(x, y, ClGrey, ClBlack, ClBlack, "****");
                return;
            } else {
                BerthColour fg = ClGrey;
                bool clear = true;
                for (int i = 0; i < ClearULCs.Count(); ++i) {
                    if (const TULC* u = ClearULCs.At(i); u && !u->IsCompletelyFree()) clear = false;
                }
                if (!clear)
                    fg = ClGrey;
                else if (TrackCircuit->IsOccupied())
                    fg = ClRed;
                else if (TrackCircuit->FirstRouteLockedSubroute() != nullptr ||
                         TrackCircuit->HasOverlapLock())
                    fg = ClWhite;
                panel.DrawText2Bg(x, y, fg, TrackCircuit->ISOColour1, TrackCircuit->ISOColour2,
                                  kTrackGlyphs);
            }
            return;
        case EmptyCrosses:
            panel.DrawText(x, y, ClGrey, kCrosses);
            return;
        case EmptySlashes:
            panel.DrawText(x, y, ClGrey, kSlashes);
            return;
        default:
            panel.DrawText(x, y, ClGrey, kBlanks);
            return;
    }
}

void TBER::Draw() {
    if (X != 0 || Y != 0) DrawAt(X, Y);
    for (int i = 0; i < Positions.Count(); ++i) {
        if (const TPEL* p = Positions.At(i)) DrawAt(p->X, p->Y);
    }
}

bool TBER::Save(ValueWriter& writer) {
    writer.WriteInteger(static_cast<std::int32_t>(Colour));
    writer.WriteInteger(static_cast<std::int32_t>(BackColour));
    writer.WriteInteger(static_cast<std::int32_t>(TextColour));
    writer.WriteString(Description);
    return true;
}

bool TBER::StageLoad(ValueReader& reader, LoadCommits& commits) {
    const auto colour = static_cast<BerthColour>(reader.ReadInteger());
    const auto back = static_cast<BerthColour>(reader.ReadInteger());
    const auto text = static_cast<BerthColour>(reader.ReadInteger());
    std::string description = reader.ReadString();
    // A colour has no top byte; anything else is not a colour this program wrote.
    if ((colour | back | text) > 0xFFFFFFu) return false;
    commits.Add([this, colour, back, text, d = std::move(description)]() mutable {
        Colour = colour;
        BackColour = back;
        TextColour = text;
        Description = std::move(d);
    });
    return true;
}

void TBER::MajorCycle() {
    TrySteps(nullptr, true);
    if (!Queue.empty() && UpdateFromQueue()) {
        Draw();
        // A client shows what the server's queue shows.
        SendBerthState();
    }
}

bool TBER::UpdateFromQueue() {
    const TBER* chosen = nullptr;
    for (const TBERQueueEntry& e : Queue) {
        if (e.Berth == nullptr) continue;
        const bool routeSet = e.Route == nullptr || e.Route->RouteSet;
        if (e.Berth->HasDescription()) {
            if (routeSet) chosen = e.Berth;
            break;  // chosen, or blocked by its route
        }
        if (!routeSet) break;
    }
    bool changed = false;
    if (chosen != nullptr) {
        if (Description != chosen->Description) {
            Description = chosen->Description;
            changed = true;
        }
        if (Colour != chosen->Colour) Colour = chosen->Colour, changed = true;
        if (TextColour != chosen->TextColour) TextColour = chosen->TextColour, changed = true;
        if (BackColour != chosen->BackColour) BackColour = chosen->BackColour, changed = true;
    } else if (HasDescription()) {
        Description.clear();
        changed = true;
    }
    return changed;
}

bool TBER::TrySteps(const TSSIObject* object, bool state) {
    // By index: a step fired here raises triggers that may come back to this berth.
    for (std::size_t i = 0; i < Steps.size(); ++i) {
        const TBERStep& step = Steps[i];
        if (step.Trigger != object || step.OnRelease == state) continue;
        if (!BerthConditionsHold(step.Conditions)) continue;
        PerformStep(step);
        return true;
    }
    return false;
}

void TBER::PerformStep(const TBERStep& step) {
    TBER* to = step.ToBerth;
    // An every-cycle step moves a train the describer knows of: with no event behind
    // it, an empty berth has nothing to step, and stepping "****" again and again would
    // never end.
    if (step.Trigger == nullptr && !HasDescription()) return;
    // A copy with nowhere to go changes nothing.
    if (step.CopyOnly && to == nullptr) return;
    // A step never writes over another train's description: that train is still
    // there. The moving description stays where it is, for the signaller to see.
    if (to != nullptr && to != this && to->HasDescription()) {
        if (!HasDescription()) return;  // an undescribed move leaves it alone
        if (!step.CopyOnly || to->Description != Description) return;
    }
    if (step.CopyOnly && to != nullptr && HasDescription() && to->Description == Description &&
        to->Colour == Colour && to->TextColour == TextColour && to->BackColour == BackColour)
        return;  // the copy is already there

    TBERList& list = sim_.Berths;
    if (to != nullptr) {
        if (!HasDescription()) {
            Description = sim_.SimData.NonDescribed;
            if (step.CopyOnly) {
                // The source keeps the "****" it gave: show it and tell the clients.
                Draw();
                SendBerthState();
            }
        }
        to->Description = Description;
        to->Colour = Colour;
        to->TextColour = TextColour;
        to->BackColour = BackColour;
        to->Draw();
        if (!step.CopyOnly) {
            if (list.ARS) list.ARS->DescriptionMoved(*this, *to, step.ARSTag);
            if (to->External && to->Description == sim_.SimData.NonDescribed) {
                sim_.PostEventMessage("Non-described train sent to fringe signalbox!", EvTips);
                sim_.Performance.Penalise(kFringePenalty);
                sim_.Performance.OtherPointsLost += kFringePenalty;
            }
        }
        to->SendBerthState();
    } else if (list.ARS) {
        list.ARS->DescriptionLeft(*this);
    }
    if (!step.CopyOnly) {
        Description.clear();
        Colour = kSteppedColour;
        TextColour = kPlainText;
        BackColour = kPlainBack;
        Draw();
        SendBerthState();
    }
    list.RaiseTrigger(to, true);
    if (!step.CopyOnly) list.RaiseTrigger(this, false);
}

void TBER::Interpose(std::string_view description) {
    if (sim_.ClientMode) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "BB%04X", sim_.Berths.IndexOf(this) & 0xFFFF);
        sim_.SendToServer(std::string(buf) + FormatDescription(description));
        return;
    }
    const std::string text = AsciiUpper(FormatDescription(description));
    if (text.find_first_not_of(' ') == std::string::npos) {
        // Nothing to show: a berth of four blanks would look empty and yet step and
        // hold its place as a train. Interposing nothing empties the berth.
        CancelDescription();
        return;
    }
    Description = text;
    Draw();
    if (sim_.Berths.ARS) sim_.Berths.ARS->DescriptionInterposed(*this);
    SendBerthState();
    sim_.Berths.RaiseTrigger(this, true);
}

void TBER::CancelDescription() {
    if (sim_.ClientMode) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "BC%04X", sim_.Berths.IndexOf(this) & 0xFFFF);
        sim_.SendToServer(buf);
        return;
    }
    if (HasDescription()) {
        if (sim_.Berths.ARS) sim_.Berths.ARS->DescriptionCancelled(*this);
        Description.clear();
        Draw();
        SendBerthState();
    }
    sim_.Berths.RaiseTrigger(this, false);
}

void TBER::SetColours(BerthColour colour, BerthColour text, BerthColour back) {
    if (Colour == colour && TextColour == text && BackColour == back) return;
    Colour = colour;
    TextColour = text;
    BackColour = back;
    Draw();
    SendBerthState();
}

// Each colour state replaces whichever was shown before: the test is on both colours
// it sets, so early gives way to very late and late to no path, and back again.
void TBER::SetARSColour() {
    SetColours(ClCyan, TextColour, BackColour);
}
void TBER::SetARSRunningToColour() {
    SetColours(ClOrange, TextColour, BackColour);
}
void TBER::SetNonARSColour() {
    SetColours(ClPink, TextColour, BackColour);
}
void TBER::SetEarly() {
    SetColours(Colour, ClWhite, ClGreen);
}
void TBER::SetOnTime() {
    SetColours(Colour, ClBlack, ClWhite);
}
void TBER::SetLate() {
    SetColours(Colour, ClBlack, ClYellow);
}
void TBER::SetVeryLate() {
    SetColours(Colour, ClWhite, ClRed);
}
void TBER::SetNoARSPath() {
    SetColours(Colour, ClBlack, ClGrey);
}

void TBER::SendBerthState() {
    if (!sim_.IsBroadcasting()) return;
    const int index = sim_.Berths.IndexOf(this);
    if (index < 0) return;
    char head[8];
    std::snprintf(head, sizeof head, "BA%04X", index & 0xFFFF);
    std::string rec(head);
    rec += FormatDescription(Description);
    WriteLE32(rec, Colour);
    WriteLE32(rec, BackColour);
    WriteLE32(rec, TextColour);
    sim_.Broadcast(rec);
}

void TBER::ApplyState(std::string_view body) {
    if (body.size() < 16) return;
    std::string_view d = body.substr(0, kBerthCells);
    while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
    // Four blanks mean no description; a real one keeps its four characters.
    Description = d.empty() ? std::string() : std::string(body.substr(0, kBerthCells));
    Colour = ReadLE32(body.substr(4, 4)) & 0xFFFFFFu;
    BackColour = ReadLE32(body.substr(8, 4)) & 0xFFFFFFu;
    TextColour = ReadLE32(body.substr(12, 4)) & 0xFFFFFFu;
    Draw();
}

// ---------------------------------------------------------------- the list

void TBERList::BerthTDTrigger(TSSIObject& source, bool active) {
    RaiseTrigger(&source, active);
}

void TBERList::RaiseTrigger(TSSIObject* source, bool active) {
    if (Empty()) return;
    TBER* first = At(0);
    if (first == nullptr || first->sim().ClientMode) return;
    if (depth_ >= kMaxTriggerDepth) return;
    // The depth falls again however the steps end: an error thrown out of one step must
    // not leave the describer a level deeper for good.
    struct DepthGuard {
        int& depth;
        explicit DepthGuard(int& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
        DepthGuard(const DepthGuard&) = delete;
        DepthGuard& operator=(const DepthGuard&) = delete;
    } guard(depth_);
    for (int i = 0; i < Count(); ++i) {
        if (TBER* b = At(i)) b->TrySteps(source, active);
    }
}

void TBERList::MoveDescription(TBER& from, TBER& to) {
    if (&from == &to) return;
    to.Description = from.Description;
    to.Colour = from.Colour;
    to.TextColour = from.TextColour;
    to.BackColour = from.BackColour;
    to.Draw();
    from.Description.clear();
    from.Colour = kNewColour;
    from.TextColour = kPlainText;
    from.BackColour = kPlainBack;
    from.Draw();
    to.SendBerthState();
    from.SendBerthState();
    RaiseTrigger(&to, true);
    RaiseTrigger(&from, false);
}

void TBERList::HandleClientMessage(std::string_view payload) {
    if (payload.size() < 6) return;
    const int index = ParseHex4(payload.substr(2, 4));
    if (index < 0 || index >= Count()) return;
    TBER* b = At(index);
    if (b == nullptr) return;
    const std::string_view code = payload.substr(0, 2);
    const std::string_view body = payload.substr(6);
    if (code == "BA") {
        // State comes from the server only: a server takes no description from a client.
        if (b->sim().ClientMode) b->ApplyState(body);
    } else if (code == "BB") {
        if (!b->sim().ClientMode) b->Interpose(body);
    } else if (code == "BC") {
        if (!b->sim().ClientMode) b->CancelDescription();
    }
}

int TBERList::CountDescription(std::string_view description) const {
    int n = 0;
    ForEach([&](TBER& b) {
        if (b.HasDescription() && b.Description == description) ++n;
    });
    return n;
}

TBER* TBERList::FindDescription(std::string_view description) const {
    TBER* found = nullptr;
    ForEach([&](TBER& b) {
        if (found == nullptr && b.HasDescription() && b.Description == description) found = &b;
    });
    return found;
}

}  // namespace kestra
