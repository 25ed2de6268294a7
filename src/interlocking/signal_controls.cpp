#include <string>
#include <string_view>

#include "display/palette.h"
#include "interlocking/overlap.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "sim/sim.h"

// The signaller's controls on a signal, and the signal's state and requests as they
// travel between server and client.

namespace kestra {

// ---------------------------------------------------------------- the signaller's clicks

namespace {

// Request codes a client sends for each control, button and mode:
// [control][left 0 / right 1][reminder 0, isolation 1, normal 2]; empty where the
// client acts through the route request, the cancel request or its own menu.
constexpr const char* kClientCodes[4][2][3] = {
    {{"SD", "SB", ""}, {"SE", "SC", ""}},
    {{"SI", "SH", "SF"}, {"SK", "SJ", "SG"}},
    {{"SM", "SL", ""}, {"SO", "SN", ""}},
    {{"SS", "SR", "SP"}, {"SU", "ST", "SQ"}},
};

bool InRow(int y, int rowY, int x, int from, int to) {
    return y == rowY && x >= from && x <= to;
}

// The number on a signal's plate: its identity after the leading letters of the area's
// prefix ("SVM11" is 11); the whole identity when it has no digits.
std::string_view PlateOf(std::string_view id) {
    std::size_t i = 0;
    while (i < id.size() && ((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= 'a' && id[i] <= 'z'))) ++i;
    return i < id.size() ? id.substr(i) : id;
}

}  // namespace

bool TSIG::HasEntranceMarker() const {
    if (EntranceX != 0 || EntranceY != 0) return true;
    bool found = false;
    Elements.ForEach([&](TPEL& e) {
        if (e.Role == SerEntrance) found = true;
    });
    return found;
}

void TSIG::Deselect() {
    TOperatorState& op = sim_.Operator;
    if (op.SelectedEntrance != this) return;
    op.SelectedEntrance = nullptr;
    Draw();
    if (FirstCircuitAhead) FirstCircuitAhead->Draw();
}

void TSIG::SelectAsEntrance() {
    sim_.Operator.SelectedEntrance = this;
    Draw();
}

bool TSIG::ClaimClick(int x, int y, bool left) {
    const TOperatorState& op = sim_.Operator;
    const bool reminder = op.ReminderMode;
    const bool isolation = op.IsolationMode;
    // 1. The head.
    const bool shuntOnly = ShownOnlyWithShunts();
    const bool onHead =
        HeadWidth == 1 ? InRow(y, Y, x, X - 1, X + 1) : InRow(y, Y, x, X, X + HeadWidth - 1);
    if (HeadWidth > 0 && onHead && (!shuntOnly || sim_.Options().ShowShunts)) {
        TSIG& target = ActingSignal();
        target.ControlAction(SignalControl::Head, left, reminder, isolation);
        return true;
    }
    // 2. to 4. The buttons.
    if ((AutoButtonX != 0 || AutoButtonY != 0) &&
        InRow(y, AutoButtonY, x, AutoButtonX, AutoButtonX + 1)) {
        ControlAction(SignalControl::Auto, left, reminder, isolation);
        return true;
    }
    if ((ERButtonX != 0 || ERButtonY != 0) && InRow(y, ERButtonY, x, ERButtonX, ERButtonX + 1)) {
        ControlAction(SignalControl::ER, left, reminder, isolation);
        return true;
    }
    if (HasWarnerButton() && InRow(y, WarnerButtonY, x, WarnerButtonX - 1, WarnerButtonX + 1)) {
        ControlAction(SignalControl::Warner, left, reminder, isolation);
        return true;
    }
    // 5. Further positions drawn for the signal.
    for (int i = 0; i < Elements.Count(); ++i) {
        TPEL* e = Elements.At(i);
        if (e == nullptr || y != e->Y || x < e->X || x >= e->X + e->Width) continue;
        switch (e->Role) {
            case SerHead4:
                ControlAction(SignalControl::Head, left, reminder, isolation);
                break;
            case SerWarner:
                ControlAction(SignalControl::Warner, left, reminder, isolation);
                break;
            case SerAuto:
                ControlAction(SignalControl::Auto, left, reminder, isolation);
                break;
            case SerER:
                ControlAction(SignalControl::ER, left, reminder, isolation);
                break;
            default:
                break;
        }
        return true;
    }
    return false;
}

bool TSIG::CheckLeftClick(int x, int y) {
    return ClaimClick(x, y, true);
}
bool TSIG::CheckRightClick(int x, int y) {
    return ClaimClick(x, y, false);
}

void TSIG::ControlAction(SignalControl control, bool left, bool reminder, bool isolation) {
    const int c = static_cast<int>(control);
    const int mode = reminder ? 0 : (isolation ? 1 : 2);
    if (sim_.ClientMode) {
        const char* code = kClientCodes[c][left ? 0 : 1][mode];
        if (code[0] != '\0') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%s%04X", code, sim_.Signals.IndexOf(this) & 0xFFFF);
            sim_.SendToServer(buf);
            return;
        }
    }
    if (reminder || isolation) {
        const std::uint8_t bit = reminder ? CollarGeneral : CollarTraction;
        auto change = [&](std::uint8_t value) -> std::uint8_t {
            if (value > 3) return value;
            return left ? static_cast<std::uint8_t>(value | bit)
                        : static_cast<std::uint8_t>(value & ~bit);
        };
        switch (control) {
            case SignalControl::Head:
                SetCollar(change(Collar));
                break;
            case SignalControl::Auto:
                SetAutoCollar(change(AutoCollar));
                break;
            case SignalControl::Warner:
                SetWarnerCollar(change(WarnerCollar));
                break;
            case SignalControl::ER:
                SetERCollar(change(ERCollar));
                break;
        }
        sim_.CancelModes();
        return;
    }
    switch (control) {
        case SignalControl::Head:
            if (left)
                HeadLeft();
            else
                HeadRight();
            break;
        case SignalControl::Auto:
            if (left) {
                if (!HasSetRoute()) {
                    sim_.PostEventMessage("No route set from signal", EvTips);
                } else if (AutoCollar != 0) {
                    sim_.PostEventMessage("Auto button is collared", EvTips);
                } else if (CurrentRoute->AutoAllowed) {
                    AutoOnWarner = CurrentRoute->Class == RcWarner;
                    SetAutoWorking(true);
                    if (sim_.Hooks.AutoButtonHook) sim_.Hooks.AutoButtonHook(*this);
                } else {
                    sim_.PostEventMessage("Automatic working not available for this route", EvTips);
                }
            } else {
                SetAutoWorking(false);
            }
            break;
        case SignalControl::Warner:
            if (left) {
                TSIG* entrance = sim_.Operator.SelectedEntrance;
                if (entrance != nullptr) {
                    entrance->Deselect();
                    const RouteRequestResult r = RouteRequest(sim_, *entrance, *this, 1);
                    if (r.NoRoute)
                        sim_.PostEventMessage("No route between selected signals", EvTips);
                    if (sim_.Operator.OverrideMode) sim_.CancelModes();
                }
            }
            break;
        case SignalControl::ER:
            if (!left) {
                SetAutoWorking(true);
            } else if (ERCollar != 0) {
                sim_.PostEventMessage("Emergency button is collared", EvTips);
            } else {
                SetAutoWorking(false);
            }
            break;
    }
}

void TSIG::HeadLeft() {
    TOperatorState& op = sim_.Operator;
    if (op.InterposeMode) {
        if (SignalBerthTarget* berth = SignalBerth())
            berth->InterposeDescription(op.InterposeDescription);
        else
            sim_.PostEventMessage("Cannot interpose - signal has no associated berth", EvTips);
        sim_.CancelModes();
        return;
    }
    if (op.CancelTDMode) {
        if (SignalBerthTarget* berth = SignalBerth())
            berth->CancelDescription();
        else
            sim_.PostEventMessage("Cannot cancel - signal has no associated berth", EvTips);
        sim_.CancelModes();
        return;
    }
    TSIG* entrance = op.SelectedEntrance;
    if (entrance == nullptr) {
        if (IsRouteWorked() && HasEntranceMarker() && FirstCircuitAhead) SelectAsEntrance();
        return;
    }
    TSIG& exit = ActingSignal();
    if (&exit == entrance) {
        // Clicking the selected entrance again only takes the selection back.
        entrance->Deselect();
        return;
    }
    const RouteRequestResult r = RouteRequest(sim_, *entrance, exit, 0);
    if (r.NoRoute) {
        if (HasEntranceMarker() && FirstCircuitAhead && entrance != this) {
            entrance->Deselect();
            SelectAsEntrance();
            // Say so: otherwise a second click that found no route looks like an exit
            // that was ignored, and the player cannot tell which signal is the entrance.
            sim_.PostEventMessage("Signal " + std::string(PlateOf(ID)) + " is now the entrance",
                                  EvTips);
        } else {
            entrance->Deselect();
            sim_.PostEventMessage("No route between selected signals", EvTips);
        }
    } else {
        entrance->Deselect();
        if (op.OverrideMode) sim_.CancelModes();
    }
}

void TSIG::HeadRight() {
    TOperatorState& op = sim_.Operator;
    if (op.SelectedEntrance == this) {
        Deselect();
        return;
    }
    if (sim_.Options().NoSignalPopupMenu) {
        sim_.QueueRequest("QD", this, nullptr, 0);
        return;
    }
    op.SelectedSignal = this;
    op.PopupMenu = PopupMenuKind::Signal;
}

SignalBerthTarget* TSIG::SignalBerth() {
    if (CachedBerth) return dynamic_cast<SignalBerthTarget*>(CachedBerth);
    if (BerthCircuit == nullptr) return nullptr;
    SignalBerthTarget* best = nullptr;
    int bestDistance = 0;
    for (int i = 0; i < BerthCircuit->Berths.Count(); ++i) {
        auto* b = dynamic_cast<SignalBerthTarget*>(BerthCircuit->Berths.GetItem(i));
        if (b == nullptr) continue;
        const int d = std::abs(b->BerthColumn() - X);
        if (best == nullptr || d < bestDistance) {
            best = b;
            bestDistance = d;
        }
    }
    if (best) CachedBerth = dynamic_cast<TSSIObject*>(best);
    return best;
}

void TSIG::QueuedRouteRequest(RouteRequestTarget* exit, std::uint8_t flag) {
    auto* x = dynamic_cast<TSIG*>(exit);
    if (x != nullptr) RouteRequest(sim_, *this, *x, flag);
}

void TSIG::RequestCancel() {
    if (sim_.ClientMode) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "QD%04X", sim_.Signals.IndexOf(this) & 0xFFFF);
        sim_.SendToServer(buf);
        return;
    }
    if (!IsRouteWorked()) return;
    if (PresetMode) {
        ReleaseAllowed = true;
    } else {
        CancelRequested = true;
        if (HasSetRoute()) CurrentRoute->CancelSubAreas();
    }
    if (sim_.Hooks.RouteCancelHook) sim_.Hooks.RouteCancelHook(*this);
}

// ---------------------------------------------------------------- client state

void TSIG::SendState() {
    if (!sim_.IsBroadcasting()) return;
    const int index = sim_.Signals.IndexOf(this);
    if (index < 0) return;
    std::string rec(8, '\0');
    rec[0] = 'S';
    rec[1] = 'A';
    rec[2] = static_cast<char>(index & 0xFF);
    rec[3] = static_cast<char>((index >> 8) & 0xFF);
    unsigned flags = Aspect & 0x0F;
    if (AutoWorking) flags |= 0x10;
    if (LampProved) flags |= 0x20;
    if (TRTSOperated) flags |= 0x40;
    if (ApproachTimer < 255) flags |= 0x80;
    rec[4] = static_cast<char>(flags);
    rec[5] = static_cast<char>((Collar & 3) | ((AutoCollar & 3) << 2) | ((WarnerCollar & 3) << 4) |
                               ((ERCollar & 3) << 6));
    const int route = CurrentRoute ? sim_.Routes.IndexOf(CurrentRoute) + 1 : 0;
    rec[6] = static_cast<char>(route & 0xFF);
    rec[7] = static_cast<char>((route >> 8) & 0xFF);
    sim_.Broadcast(rec);
}

void TSIG::ApplyState(std::string_view rec) {
    if (rec.size() < 8) return;
    const auto byte = [&](int i) {
        return static_cast<unsigned>(static_cast<unsigned char>(rec[i]));
    };
    const unsigned flags = byte(4);
    const unsigned collars = byte(5);
    Aspect = static_cast<std::uint8_t>(flags & 0x0F);
    AutoWorking = (flags & 0x10) != 0;
    LampProved = (flags & 0x20) != 0;
    TRTSOperated = (flags & 0x40) != 0;
    ApproachTimer = (flags & 0x80) != 0 ? 0 : 255;
    Collar = collars & 3;
    AutoCollar = (collars >> 2) & 3;
    WarnerCollar = (collars >> 4) & 3;
    ERCollar = (collars >> 6) & 3;
    const int route = static_cast<int>(byte(6) | (byte(7) << 8));
    CurrentRoute = route > 0 ? sim_.Routes.At(route - 1) : nullptr;
    Draw();
}

// ---------------------------------------------------------------- client messages

void TSIGList::HandleClientMessage(std::string_view payload) {
    if (payload.size() < 6) return;
    const std::string_view code = payload.substr(0, 2);
    if (code == "SA") {
        // The signal's position travels as a 16-bit number in this binary record.
        if (payload.size() < 8) return;
        const int index =
            static_cast<unsigned char>(payload[2]) | (static_cast<unsigned char>(payload[3]) << 8);
        // State comes from the server only: a server takes no aspect from a client.
        if (index < Count() && At(index)->sim().ClientMode) At(index)->ApplyState(payload);
        return;
    }
    const int index = ParseHex4(payload.substr(2, 4));
    if (index < 0 || index >= Count()) return;
    TSIG& sig = *At(index);
    Sim& sim = sig.sim();
    // Requests are for the server only.
    if (sim.ClientMode) return;
    const std::string_view rest = payload.substr(6);
    if (code == "QC") {
        // Entrance, exit, request flag and the client's override-reminder mode.
        if (rest.size() < 6) return;
        const int exitIndex = ParseHex4(rest.substr(0, 4));
        if (exitIndex < 0 || exitIndex >= Count()) return;
        const bool savedOverride = sim.Operator.OverrideMode;
        sim.Operator.OverrideMode = rest[5] == '1';
        const RouteRequestResult r = RouteRequest(sim, sig, *At(exitIndex), rest[4] == '1' ? 1 : 0);
        sim.Operator.OverrideMode = savedOverride;
        // The asking client is told, as the panel tells its own signaller.
        if (r.NoRoute) sim.PostEventMessage("No route between selected signals", EvTips);
        return;
    }
    if (code == "QD") {
        sig.RequestCancel();
        return;
    }
    if (code == "CB") {
        if (!rest.empty()) sig.SetLampProved(rest[0] == '1');
        return;
    }
    for (int c = 0; c < 4; ++c) {
        for (int b = 0; b < 2; ++b) {
            for (int m = 0; m < 3; ++m) {
                if (code == kClientCodes[c][b][m]) {
                    // Act exactly as a click by this copy's own signaller in that mode.
                    sig.ControlAction(static_cast<SignalControl>(c), b == 0, m == 0, m == 1);
                    return;
                }
            }
        }
    }
}

}  // namespace kestra
