#pragma once
// The main window: paints the panel image scaled by the largest whole factor that
// fits, crisp and centred on black, maps the mouse back to panel pixels, changes
// screens, and drives the major cycle from its timer.

#include <QTimer>
#include <QWidget>
#include <optional>
#include <string>

#include "assess/assessor.h"
#include "panel/commands.h"
#include "panel/menus.h"
#include "help_windows.h"
#include "qt_surface.h"
#include "sim/sim.h"

class QMenu;

namespace kestra::net {
class NetSession;
}

namespace kestra::app {

class TTelephoneForm;
class TIncidentForm;
class TTimetableListForm;
class TACPForm;
class TGraphForm;

class TDisplayForm : public QWidget {
    Q_OBJECT
  public:
    TDisplayForm(Sim& sim, QtPanelSurface& surface);

    // Where the panel lies in a window of the given size: scaled by the largest whole
    // factor that fits (at least 1) and centred.
    static QRect PanelRectFor(const QSize& window);
    QRect PanelRect() const { return PanelRectFor(size()); }
    // A window position as a panel pixel (outside the panel when the window is larger).
    QPoint ToPanel(const QPoint& window) const;
    // Opens the Options dialog and redraws the panel afterwards.
    void ShowOptions();
    // Paints the panel's changes since the last call.
    void FlushPanel();
    // Carries out a main-menu or signal-menu command.
    void RunMenuCommand(MenuCommand command);
    // The main menu ("MNU") and the signal pop-up menu, built from the menu table.
    QMenu* BuildMainMenu();
    QMenu* BuildSignalMenu();
    QMenu* BuildBerthMenu();
    OperatorCommands& Commands() { return commands_; }
    // The multiplayer session behind the network menu items; none: they stay disabled.
    void SetNetwork(net::NetSession* session) { network_ = session; }
    // Whether a network menu item can be chosen now (listening and connecting exclude
    // each other).
    bool NetworkItemEnabled(MenuCommand command) const;
    // Asks for the server's address ("HOST" or "HOST:PORT") and starts connecting to it;
    // false when the player cancelled.
    bool AskAndConnect();
    // Shows the start-up dialog with the simulation paused; closes the window when the
    // player chose "Exit". True when a game is ready to run.
    bool RunStartupDialog();
    // The area's data folder: the current folder and the area identifier.
    const std::string& DataFolder() const { return dataFolder_; }
    // The telephone window (F6, the panel's telephone symbol) and the incident log
    // (F7), made on first use and raised afterwards.
    TTelephoneForm* ShowTelephone();
    TIncidentForm* ShowIncidents();
    // The timetable list window ("&Timetable" > "&Edit", F4), made on first use, shown
    // (not modal) and raised afterwards.
    TTimetableListForm* ShowTimetableList();
    // The two-second ring timer, running while the panel says calls ring.
    const QTimer& RingTimer() const { return ringTimer_; }
    // Opens a Help window beside the panel (not modal) and returns it.
    THelpWindow* ShowHelp(HelpPage page);
    // The assessor's switch: off for players; --assessor turns it on, which offers
    // "Show Assessor Control Panel" (F11).
    void SetAssessorMode(bool on) { assessorMode_ = on; }
    bool AssessorMode() const { return assessorMode_; }
    // Opens the assessor's control panel (made on first use, kept for the program's
    // run); nothing unless the assessor's switch is on; in client mode the message.
    TACPForm* ShowAssessorPanel();
    TAssessor& Assessor() { return assessor_; }
    // The train list (F2), shown modally; the game runs on behind it.
    void ShowTrainList();
    // The time-distance graph (F8), made on first use and raised afterwards; it follows
    // the running game.
    TGraphForm* ShowGraph();
    // The punctuality report (F9), shown modally.
    void ShowPunctuality();

    // A key the panel answers, with the digit for the digit keys.
    struct PanelKeyPress {
        PanelKey Key;
        int Digit = 0;
        bool operator==(const PanelKeyPress&) const = default;
    };
    // What a key with the given modifiers means to the panel, or nothing. The digits,
    // function keys and P count only with none of Shift, Ctrl and Alt held; Ctrl+S and
    // Ctrl+I only with Ctrl alone.
    static std::optional<PanelKeyPress> PanelKeyFor(int key, Qt::KeyboardModifiers modifiers);
    // Shift+Esc closes the window (it has no title bar when full screen); Esc alone
    // does nothing.
    static bool IsCloseKey(int key, Qt::KeyboardModifiers modifiers);
    // The panel's name for a mouse button.
    static MouseButton PanelButton(Qt::MouseButton button);
    // One event of the major-cycle timer: the simulation's cycle, the ring timer and the
    // panel's changes.
    void OnMajorCycle();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // The commands of the menu table other than the network's.
    void RunPanelMenuCommand(MenuCommand command);
    // Opens what a command asked for.
    void Perform(UiAction action);
    // Starts the override timer when a command has just started a mode that ends by
    // itself, and stops it when the modes were cancelled.
    void SyncOverrideTimer(bool restart);
    // Starts or stops the ring timer as the panel's telephone indicator asks.
    void SyncRingTimer();
    Sim& sim_;
    QtPanelSurface& surface_;
    QTimer majorCycle_;
    // Ends the override, interpose and cancel-description modes 20 s after they start.
    QTimer ovrTimer_;
    QTimer ringTimer_;
    OperatorCommands commands_;
    net::NetSession* network_ = nullptr;
    std::string dataFolder_;
    TTelephoneForm* telephone_ = nullptr;
    TIncidentForm* incidents_ = nullptr;
    TTimetableListForm* timetableList_ = nullptr;
    bool assessorMode_ = false;
    // The assessor's log and its start time last as long as the program.
    TAssessor assessor_;
    TACPForm* acp_ = nullptr;
    TGraphForm* graph_ = nullptr;
};

}  // namespace kestra::app
