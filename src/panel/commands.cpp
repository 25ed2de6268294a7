#include "panel/commands.h"

#include <algorithm>

#include "ars/ars_train.h"
#include "ars/ars_train_info.h"
#include "core/ascii_text.h"
#include "display/options.h"
#include "interlocking/state_message.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "panel/messages.h"
#include "panel/panel.h"
#include "sim/sim.h"
#include "trains/berth.h"

namespace kestra {

MenuCommand DescriptionClickCommand(const Options& options) {
    switch (options.ARSClickMode) {
        case ARSClickRoutesettingStatus:
            return MenuCommand::BerthQueryRoutesetting;
        case ARSClickPopupInformation:
            return MenuCommand::BerthPopupARSInformation;
        default:
            return MenuCommand::BerthQueryTimetable;
    }
}

bool OperatorCommands::OfferClick(int column, int row, bool left) {
    // Signals first, so that a signal drawn over points or a berth wins; then points,
    // berths and ARS sub-areas.
    auto offer = [&](TSSIList& list) {
        return left ? list.CheckLeftClick(column, row) : list.CheckRightClick(column, row);
    };
    return offer(sim_.Signals) || offer(sim_.Points) || offer(sim_.Berths) ||
           offer(sim_.ARSSubAreas);
}

UiAction OperatorCommands::MousePress(int px, int py, MouseButton button) {
    // The middle button is not a click: with "right-click cancels route" it would
    // otherwise cancel a route the signaller never meant to touch.
    if (button != MouseButton::Left && button != MouseButton::Right) return UiAction::None;
    const bool left = button == MouseButton::Left;
    TOperatorState& op = sim_.Operator;
    op.SelectedBerth = nullptr;
    op.PopupMenu = PopupMenuKind::None;
    if (px < 0 || py < 0 || px >= PanelWidth || py >= PanelHeight) return UiAction::None;
    const int screen = sim_.Display().CurrentScreen;
    const int row = py / CellHeight;
    const int column = px / CellWidth + (screen - 1) * ScreenColumns;
    const int neighbour = (px % CellWidth >= CellWidth / 2) ? column + 1 : column - 1;

    if (row == ButtonBarRow) {
        if ((px / CellWidth) % ButtonPitch == 0)
            return UiAction::None;  // the gap between two buttons
        const int b = px / (ButtonPitch * CellWidth);
        switch (b) {
            case 0:
                return UiAction::MainMenu;
            case 1:
                PressOverrideButton();
                return UiAction::None;
            case 2:
                PressReminderButton();
                return UiAction::None;
            case 3:
                PressIsolationButton();
                return UiAction::None;
            default:
                SelectScreen(b - FixedButtons);
                return UiAction::None;
        }
    }
    if (row == StatusRow) {
        const int statusColumn = px / CellWidth;
        const bool telephone =
            statusColumn == TelephoneColumn || statusColumn == TelephoneColumn + 1;
        const bool score = statusColumn >= ScoreColumn && statusColumn < ScoreColumn + ScoreCells;
        if ((telephone || score) && sim_.ClientMode) {
            sim_.PostEventMessage(NotInClientMode, EvGeneral);
            return UiAction::None;
        }
        if (telephone) return UiAction::Telephone;
        if (score) return UiAction::PerformanceAnalysis;
        return UiAction::None;
    }
    if (!left) {
        if (!OfferClick(column, row, false) && !OfferClick(neighbour, row, false)) {
            if (sim_.Hooks.RightClickHook) sim_.Hooks.RightClickHook(column, row);
        }
        if (op.PopupMenu == PopupMenuKind::Signal) return UiAction::SignalMenu;
        if (op.PopupMenu == PopupMenuKind::Berth) return UiAction::BerthMenu;
        return UiAction::None;
    }
    if (screen == 0) {
        // A click on a miniature shows its screen.
        const int target = sim_.Display().MiniatureAt(px, py);
        if (target > 0) SelectScreen(target);
        return UiAction::None;
    }
    if (!OfferClick(column, row, true) && !OfferClick(neighbour, row, true)) {
        if (sim_.Hooks.LeftClickHook) sim_.Hooks.LeftClickHook(column, row);
    }
    // A left click on a description shows what the options choose: the timetable
    // summary, the routesetting status or the information window.
    if (op.SelectedBerth != nullptr) BerthMenuARS(DescriptionClickCommand(sim_.Options()));
    return UiAction::None;
}

UiAction OperatorCommands::KeyPress(PanelKey key, int digit) {
    const bool client = sim_.ClientMode;
    auto refuseOnClient = [&](UiAction action) {
        if (!client) return action;
        sim_.PostEventMessage(NotInClientMode, EvGeneral);
        return UiAction::None;
    };
    switch (key) {
        case PanelKey::Digit:
            SelectScreen(digit);
            return UiAction::None;
        case PanelKey::F2:
            return refuseOnClient(UiAction::TrainList);
        case PanelKey::F3:
            return UiAction::OptionsDialog;
        case PanelKey::F4:
            return refuseOnClient(UiAction::TimetableEdit);
        case PanelKey::F5:
            return refuseOnClient(UiAction::PerformanceAnalysis);
        case PanelKey::F6:
            return refuseOnClient(UiAction::Telephone);
        case PanelKey::F7:
            return refuseOnClient(UiAction::IncidentReport);
        case PanelKey::F10:
            return UiAction::SendMessage;
        case PanelKey::P:
            if (sim_.IsPaused())
                sim_.ResumeSimulation();
            else
                sim_.PauseSimulation();
            sim_.Display().RedrawStatus();
            return UiAction::None;
        case PanelKey::CtrlS:
            return refuseOnClient(UiAction::SaveAs);
        case PanelKey::CtrlI:
            return UiAction::InterposeBySignal;
        default:
            return UiAction::None;
    }
}

void OperatorCommands::OVRTimerEvent() {
    sim_.CancelModes();
}

void OperatorCommands::SelectScreen(int screen) {
    sim_.Display().SelectScreen(screen);
}

void OperatorCommands::PressOverrideButton() {
    TOperatorState& op = sim_.Operator;
    if (op.OverrideMode) {
        sim_.CancelModes();
        return;
    }
    if (op.SelectedEntrance != nullptr) {
        sim_.PostEventMessage("Press the OVR button before starting routesetting", EvTips);
        return;
    }
    op.OverrideMode = true;
    sim_.OVRTimerRunning = true;
    sim_.Display().RedrawStatus();
}

void OperatorCommands::OverrideMenuItem() {
    if (sim_.Operator.OverrideMode) {
        sim_.CancelModes();
        return;
    }
    sim_.Operator.OverrideMode = true;
    sim_.OVRTimerRunning = true;
    sim_.Display().RedrawStatus();
}

void OperatorCommands::PressReminderButton() {
    const bool wasOn = sim_.Operator.ReminderMode;
    sim_.CancelModes();
    if (!wasOn) {
        sim_.Operator.ReminderMode = true;
        sim_.Display().RedrawStatus();
    }
}

void OperatorCommands::PressIsolationButton() {
    const bool wasOn = sim_.Operator.IsolationMode;
    sim_.CancelModes();
    if (!wasOn) {
        sim_.Operator.IsolationMode = true;
        sim_.Display().RedrawStatus();
    }
}

void OperatorCommands::StartInterposeBySignal(const std::string& description) {
    sim_.CancelModes();
    sim_.Operator.InterposeDescription = description;
    sim_.Operator.InterposeMode = true;
    sim_.OVRTimerRunning = true;
    sim_.Display().RedrawStatus();
}

void OperatorCommands::StartCancelBySignal() {
    sim_.CancelModes();
    sim_.Operator.CancelTDMode = true;
    sim_.OVRTimerRunning = true;
    sim_.Display().RedrawStatus();
}

// ------------------------------------------------------------------ signal pop-up menu

std::string OperatorCommands::SignalMenuCaption() const {
    const TSIG* s = sim_.Operator.SelectedSignal;
    // The identity without its first character, the letter every signal ID begins with.
    if (s == nullptr || s->ID.empty()) return {};
    return s->ID.substr(1);
}

bool OperatorCommands::SignalMenuCaptionVisible() const {
    const TSIG* s = sim_.Operator.SelectedSignal;
    return s != nullptr && !s->IsMarker();
}

bool OperatorCommands::SignalMenuCancelEnabled() const {
    const TSIG* s = sim_.Operator.SelectedSignal;
    return s != nullptr && s->HasSetRoute() && s->CurrentRoute->Class != RcAutomatic;
}

bool OperatorCommands::SignalMenuGeneralChecked() const {
    const TSIG* s = sim_.Operator.SelectedSignal;
    return s != nullptr && (s->Collar & CollarGeneral) != 0;
}

bool OperatorCommands::SignalMenuTractionChecked() const {
    const TSIG* s = sim_.Operator.SelectedSignal;
    return s != nullptr && (s->Collar & CollarTraction) != 0;
}

void OperatorCommands::SignalMenuCancelRoute() {
    if (TSIG* s = sim_.Operator.SelectedSignal) sim_.QueueRequest("QD", s, nullptr, 0);
}

void OperatorCommands::SignalMenuGeneralReminder() {
    if (TSIG* s = sim_.Operator.SelectedSignal)
        s->SetCollar(static_cast<std::uint8_t>(s->Collar ^ CollarGeneral));
}

void OperatorCommands::SignalMenuTractionReminder() {
    if (TSIG* s = sim_.Operator.SelectedSignal)
        s->SetCollar(static_cast<std::uint8_t>(s->Collar ^ CollarTraction));
}

bool OperatorCommands::SignalMenuInterposeTD(const std::string& description) {
    TSIG* s = sim_.Operator.SelectedSignal;
    SignalBerthTarget* berth = s ? s->SignalBerth() : nullptr;
    if (berth == nullptr) {
        sim_.Dialog().ShowError("Cannot interpose: Signal has no associated berth");
        return false;
    }
    berth->InterposeDescription(AsciiUpper(description));
    return true;
}

bool OperatorCommands::SignalMenuCancelTD() {
    TSIG* s = sim_.Operator.SelectedSignal;
    SignalBerthTarget* berth = s ? s->SignalBerth() : nullptr;
    if (berth == nullptr) {
        sim_.Dialog().ShowError("Cannot cancel TD: Signal has no associated berth");
        return false;
    }
    berth->CancelDescription();
    return true;
}

// ------------------------------------------------------------ train-describer pop-up menu

namespace {
TBER* SelectedBerth(Sim& sim) {
    return dynamic_cast<TBER*>(sim.Operator.SelectedBerth);
}
}  // namespace

bool OperatorCommands::InterposeInto(TBER& berth, const std::string& description) {
    if (berth.External) {
        sim_.PostEventMessage("Cannot interpose into external berth", EvTips);
        return false;
    }
    berth.Interpose(description);
    return true;
}

bool OperatorCommands::CancelBerth(TBER& berth) {
    if (berth.External) {
        sim_.PostEventMessage("Cannot cancel external berth", EvTips);
        return false;
    }
    berth.CancelDescription();
    return true;
}

bool OperatorCommands::BerthMenuInterpose() {
    TBER* b = SelectedBerth(sim_);
    if (b == nullptr) return false;
    if (b->External) return InterposeInto(*b, {});  // refused before anything is asked
    const std::optional<std::string> text =
        sim_.Dialog().InputBox("Interpose", "Enter new description", b->Description);
    return text && InterposeInto(*b, *text);
}

bool OperatorCommands::BerthMenuCancel() {
    TBER* b = SelectedBerth(sim_);
    return b != nullptr && CancelBerth(*b);
}

void OperatorCommands::BerthMenuARS(MenuCommand command) {
    TBER* b = SelectedBerth(sim_);
    if (b == nullptr) return;
    const std::string description = b->Description;
    if (sim_.ClientMode && command == MenuCommand::BerthPopupARSInformation) {
        // The server answers with the window's contents.
        sim_.SendToServer("AO" + TBER::FormatDescription(description) +
                          Hex4(sim_.Berths.IndexOf(b)));
        return;
    }
    if (sim_.ClientMode) {
        const char* code = nullptr;
        switch (command) {
            case MenuCommand::BerthMakeARS: code = "AA"; break;
            case MenuCommand::BerthMakeNonARS: code = "AB"; break;
            case MenuCommand::BerthIsARS: code = "AC"; break;
            case MenuCommand::BerthQueryRoutesetting: code = "AE"; break;
            case MenuCommand::BerthQueryTimetable: code = "AF"; break;
            default: return;
        }
        sim_.SendToServer(std::string(code) + Hex4(sim_.Berths.IndexOf(b)) +
                          TBER::FormatDescription(description));
        return;
    }
    TARSTrainList& ars = sim_.ARSTrains();
    switch (command) {
        case MenuCommand::BerthMakeARS: ars.MakeARS(*b, description); break;
        case MenuCommand::BerthMakeNonARS: ars.MakeNonARS(*b, description); break;
        case MenuCommand::BerthIsARS: ars.QueryIsARS(*b, description); break;
        case MenuCommand::BerthQueryRoutesetting: ars.QueryStatus(*b, description); break;
        case MenuCommand::BerthQueryTimetable: ars.ShowTimetableSummary(*b, description); break;
        case MenuCommand::BerthPopupARSInformation: ShowARSInformation(sim_, *b, description); break;
        case MenuCommand::BerthRunToSpecialTiming: {
            const std::optional<std::string> answer = sim_.Dialog().InputBox(
                "Run To Special Timing Pattern",
                "Enter special timing pattern for ARS to run train to:", "");
            if (answer && !answer->empty()) ars.RunToPattern(*b, AsciiUpper(answer->substr(0, 4)));
            break;
        }
        default: break;
    }
}

std::optional<std::pair<int, int>> OperatorCommands::FindDescription() {
    const std::optional<std::string> answer =
        sim_.Dialog().InputBox("Find Train", "Enter description", "");
    if (!answer) return std::nullopt;
    // Berths hold four characters, blank-padded: look for the answer as it would stand.
    const std::string text = AsciiUpper(*answer);
    const std::string wanted = TBER::FormatDescription(text);
    const int count = sim_.Berths.CountDescription(wanted);
    TBER* b = sim_.Berths.FindDescription(wanted);
    if (count >= 2) {
        sim_.PostEventMessage("Description " + text + " is duplicated", EvGeneral);
        return std::nullopt;
    }
    if (b == nullptr || (b->X == 0 && b->Y == 0) || text.empty()) {
        sim_.PostEventMessage("Description " + text + " not found", EvGeneral);
        return std::nullopt;
    }
    const int screen = b->X / ScreenColumns + 1;
    if (screen <= sim_.Display().ScreenCount()) {
        sim_.Display().CurrentScreen = screen;
        sim_.Display().RedrawPanel();
    }
    const int length = static_cast<int>(std::min<std::size_t>(text.size(), 4));
    return std::make_pair((b->X % ScreenColumns) * CellWidth + (length * CellWidth) / 2,
                          (b->Y % ScreenRows) * CellHeight + CellHeight / 2);
}

}  // namespace kestra
