#pragma once
// The Options dialog: speed, display, control, message, ARS and failure settings.
// "Ok" stores and saves everything; "Cancel" stores nothing, except that changes to
// the event types on the message page take effect as they are made.

#include <QDialog>

#include "sim/sim.h"
#include "display/options.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace kestra::app {

class TOptionsForm : public QDialog {
    Q_OBJECT
  public:
    TOptionsForm(Sim& sim, QWidget* parent = nullptr);

    // The controls' values as the dialog would store them.
    OptionsFormValues Values() const;

    // The controls, named for their role, for the program and its tests.
    QTabWidget* Pages;
    QSlider* SpeedTrackBar;
    QLabel* SpeedReadoutLabel;
    // What a speed position means, e.g. "2:1 (250 ms a cycle)".
    static QString SpeedReadout(int position);
    QCheckBox* ShowTrackBreaksBox;
    QCheckBox* ShowAutosBox;
    QCheckBox* ShowPointsBox;
    QCheckBox* ShowShuntsBox;
    QRadioButton* BERModeButtons[2];
    QCheckBox* MousePageFlipBox;
    QCheckBox* NoSignalPopupMenuBox;
    QRadioButton* LocationReportingButtons[4];
    QComboBox* EventCombo;
    QFrame* ColourPanel;
    QPushButton* ChangeColourButton;
    QCheckBox* PopupBox;
    QCheckBox* SoundBox;
    QLineEdit* SoundFileEdit;
    QPushButton* SoundFileButton;
    QCheckBox* DisableBox;
    QListWidget* ARSClassList;
    QCheckBox* ACIBox;
    QRadioButton* ARSClickModeButtons[3];
    QScrollBar* PointsFailureBar;
    QScrollBar* SignalFailureBar;
    QScrollBar* TrackFailureBar;
    QSpinBox* MaxFailuresSpin;
    QScrollBar* DelayProbabilityBar;
    QScrollBar* DelayAmountBar;
    QPushButton* OkButton;
    QPushButton* CancelButton;

  private:
    void Load();
    void ShowEventType(int type);
    void StoreEventFlags();
    void ChooseColour();
    void ChooseSoundFile();
    void Accept();
    TMessageOption& Selected();
    Sim& sim_;
    bool loading_ = false;
};

}  // namespace kestra::app
