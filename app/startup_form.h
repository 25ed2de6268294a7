#pragma once
// The start-up dialog (new game, load game, network play, exit) and the new-scenario
// dialog with its scenario and timetable pages. What the choices do is the engine's
// (persist/game_menu.h); these windows only ask.

#include <QDialog>
#include <functional>
#include <string>

#include "sim/sim.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTextEdit;

namespace kestra::app {

// "New Scenario": the scenario page, then the timetable page with "(None)" and every
// readable timetable of the data folder, and the start time.
class TNewSimForm : public QDialog {
    Q_OBJECT
  public:
    TNewSimForm(Sim& sim, std::string dataFolder, QWidget* parent = nullptr);

    QTabWidget* Pages() const { return pages_; }
    QListWidget* Scenarios() const { return scenarios_; }
    QListWidget* Timetables() const { return timetables_; }
    QLineEdit* StartTime() const { return startTime_; }
    QPushButton* OkButton() const { return ok_; }
    QTextEdit* TimetableDescription() const { return timetableText_; }
    // The OK button (or a double click): next page, or start the game and close.
    void OkClicked();

  private:
    void PageChanged();
    void ScenarioSelected();
    void TimetableSelected();
    Sim& sim_;
    std::string folder_;
    QTabWidget* pages_;
    QListWidget* scenarios_;
    QTextEdit* scenarioText_;
    QListWidget* timetables_;
    QTextEdit* timetableText_;
    QLineEdit* startTime_;
    QPushButton* ok_;
};

// The start-up dialog. Accepted once a game is ready to run; rejected by "Exit".
class TStartupForm : public QDialog {
    Q_OBJECT
  public:
    // networkPlay asks for a server and connects to it, true once connected; without
    // one the "Network Play" button stays disabled.
    TStartupForm(Sim& sim, std::string dataFolder, QWidget* parent = nullptr,
                 std::function<bool()> networkPlay = {});

    QPushButton* NewButton() const { return new_; }
    QPushButton* LoadButton() const { return load_; }
    QPushButton* NetworkButton() const { return network_; }
    QPushButton* ExitButton() const { return exit_; }
    void NewGameClicked();
    void LoadGameClicked();
    void NetworkPlayClicked();

  private:
    Sim& sim_;
    std::string folder_;
    std::function<bool()> networkPlay_;
    QPushButton* new_;
    QPushButton* load_;
    QPushButton* network_;
    QPushButton* exit_;
};

// The splash window: a picture, "Please wait - initialising..." and a progress bar.
class TSplashForm : public QWidget {
    Q_OBJECT
  public:
    TSplashForm();
    // Sets the bar and lets the window repaint.
    void SetSplashProgress(int percent);
    int Progress() const;

  private:
    QProgressBar* bar_;
};

}  // namespace kestra::app
