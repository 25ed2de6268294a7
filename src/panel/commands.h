#pragma once
// The signaller's commands: mouse presses offered to the panel's objects in a fixed
// order, the button bar, the keys, the signalling modes and the signal pop-up menu.
// Windows and dialogs are the front end's; a command that needs one says so in its
// answer.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "panel/menus.h"

namespace kestra {

class Sim;
class TSIG;
class TBER;
struct Options;

// What the window must open or show after a command.
enum class UiAction {
    None,
    MainMenu,
    SignalMenu,
    BerthMenu,
    Telephone,
    PerformanceAnalysis,
    TrainList,
    OptionsDialog,
    TimetableEdit,
    IncidentReport,
    SendMessage,
    SaveAs,
    InterposeBySignal,
};

// The mouse buttons the panel tells apart. Only the left and right buttons click; the
// middle (wheel) button and any other do nothing on the panel.
enum class MouseButton { Left, Right, Other };

// Keys the panel answers.
enum class PanelKey { Digit, F1, F2, F3, F4, F5, F6, F7, F10, F11, P, CtrlS, CtrlI, Other };

// The train-describer menu command a left click on a description runs, as the option
// "ARSClickMode" chooses.
MenuCommand DescriptionClickCommand(const Options& options);

class OperatorCommands {
  public:
    explicit OperatorCommands(Sim& sim) : sim_(sim) {}

    // A press of a mouse button at a panel pixel.
    UiAction MousePress(int px, int py, MouseButton button);
    // A press of the left (true) or right (false) button.
    UiAction MousePress(int px, int py, bool left) {
        return MousePress(px, py, left ? MouseButton::Left : MouseButton::Right);
    }
    // A key with no modifier (digits carry their value).
    UiAction KeyPress(PanelKey key, int digit = 0);

    // The button bar's mode buttons, and the menu's override item.
    void PressOverrideButton();
    void PressReminderButton();
    void PressIsolationButton();
    void OverrideMenuItem();
    // "Interpose By Signal" with the entered description, and "Cancel By Signal".
    void StartInterposeBySignal(const std::string& description);
    void StartCancelBySignal();
    // The override timer ran out: every mode ends.
    void OVRTimerEvent();
    // Selects a screen (0 the overview) when it exists and is not shown.
    void SelectScreen(int screen);

    // --- the signal pop-up menu, for the signal last right-clicked
    std::string SignalMenuCaption() const;
    bool SignalMenuCaptionVisible() const;
    bool SignalMenuCancelEnabled() const;
    bool SignalMenuGeneralChecked() const;
    bool SignalMenuTractionChecked() const;
    void SignalMenuCancelRoute();
    void SignalMenuGeneralReminder();
    void SignalMenuTractionReminder();
    // Interpose or cancel the description of the signal's berth; false with the error
    // box shown when the signal has none.
    bool SignalMenuInterposeTD(const std::string& description);
    bool SignalMenuCancelTD();

    // --- the train-describer pop-up menu, for the berth last clicked
    // "Interpose": asks for the description (proposing the berth's own) and interposes
    // it; an external berth is refused. False when nothing was interposed.
    bool BerthMenuInterpose();
    // "Cancel": clears the berth; an external berth is refused.
    bool BerthMenuCancel();
    // The ARS items of the menu for the berth last clicked: make the train ARS or
    // non-ARS, ask whether it is ARS, its routesetting status or its timetable, and run
    // it to a special timing pattern (asked for). A client sends the request to the
    // server ("AA" .. "AF"). Nothing happens for a berth without an ARS train.
    void BerthMenuARS(MenuCommand command);
    // "Find Description": asks for a description and shows the screen of the one berth
    // that holds it. Returns the panel pixel to move the pointer to (the middle of the
    // description), or nothing with the reason on the message line.
    std::optional<std::pair<int, int>> FindDescription();
    // Interpose into and cancel a given berth as the menu does, with its refusals.
    bool InterposeInto(TBER& berth, const std::string& description);
    bool CancelBerth(TBER& berth);

  private:
    // Offers a click at a panel cell to the claiming lists in their order.
    bool OfferClick(int column, int row, bool left);
    Sim& sim_;
};

// The client's refusal of a command it may not use.
inline constexpr const char* NotInClientMode = "Not available in client mode!";

}  // namespace kestra
