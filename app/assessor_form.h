#pragma once
// The assessor's control panel ("Assessor Control Panel"): a non-modal window from which
// an assessor watching a trainee takes control of the random events and injects faults
// by hand, with the action log and the assessor's report. Offered only when the program
// runs with --assessor. Its dialogs: "Pass next signal irrespective of aspect" and
// "Edit Temporary Speed Restriction".

#include <QDialog>
#include <QTimer>
#include <memory>

#include "assess/assessor.h"
#include "sim/sim.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace kestra::app {

// "Pass next signal irrespective of aspect": what the train does after passing.
class TACPSPADForm : public QDialog {
    Q_OBJECT
  public:
    explicit TACPSPADForm(Sim& sim, QWidget* parent = nullptr);

    QRadioButton* KeepGoingRadio = nullptr;
    QRadioButton* StopAtDistanceRadio = nullptr;
    QRadioButton* StopNextSignalRadio = nullptr;
    QLineEdit* OverrunEdit = nullptr;

    // "Ok": refuses an overrun that is not a whole number 1..9999 ("Invalid overrun
    // value", the dialog stays); otherwise accepts.
    bool OkClicked();
    SPADChoice Choice() const;
    std::int32_t Overrun() const;

  private:
    Sim& sim_;
};

// "Edit Temporary Speed Restriction".
class TTSREditForm : public QDialog {
    Q_OBJECT
  public:
    TTSREditForm(Sim& sim, const TSRDraft& draft, QWidget* parent = nullptr);

    QRadioButton* CircuitRadio = nullptr;
    QRadioButton* SubrouteRadio = nullptr;
    QComboBox* CircuitCombo = nullptr;
    QComboBox* SubrouteCombo = nullptr;
    QLineEdit* IdentityEdit = nullptr;
    QLineEdit* FreightEdit = nullptr;
    QLineEdit* PassengerEdit = nullptr;
    QLineEdit* FromEdit = nullptr;
    QLineEdit* ToEdit = nullptr;

    // "Ok": checks the fields (the message of the first fault, the dialog stays) and
    // accepts with the draft filled.
    bool OkClicked();
    const TSRDraft& Draft() const { return draft_; }

  private:
    void OwnerChosen();
    Sim& sim_;
    TSRDraft draft_;
    // The identity the last owner proposed: one typed over it is kept.
    QString proposed_;
};

class TACPForm : public QDialog {
    Q_OBJECT
  public:
    TACPForm(Sim& sim, TAssessor& assessor, QWidget* parent = nullptr);

    QTabWidget* Pages = nullptr;
    // General
    QCheckBox* TakeControlCheck = nullptr;
    // Log
    QLineEdit* AssessorNameEdit = nullptr;
    QLineEdit* AssesseeNameEdit = nullptr;
    QPlainTextEdit* CommentsEdit = nullptr;
    QListWidget* LogList = nullptr;
    QPushButton* SaveButton = nullptr;
    // Points
    QListWidget* PointsList = nullptr;
    QGroupBox* PointDetails = nullptr;
    QCheckBox* NormalDetectionCheck = nullptr;
    QCheckBox* ReverseDetectionCheck = nullptr;
    // Power failures
    QListWidget* LocationList = nullptr;
    QGroupBox* PowerOptions = nullptr;
    QPushButton* FailAllButton = nullptr;
    QPushButton* FixAllButton = nullptr;
    // Signals
    QListWidget* SignalList = nullptr;
    QGroupBox* SignalDetails = nullptr;
    QCheckBox* LampProvingCheck = nullptr;
    // Track circuits
    QListWidget* CircuitList = nullptr;
    QGroupBox* CircuitDetails = nullptr;
    QComboBox* IsolationsCombo = nullptr;
    QLabel* OccupancyLabel = nullptr;
    QPushButton* OccupyButton = nullptr;
    QPushButton* UnoccupyButton = nullptr;
    // Trains
    QListWidget* TrainList = nullptr;
    QGroupBox* TrainDetails = nullptr;
    QPushButton* PassSignalButton = nullptr;
    QCheckBox* PauseTrainCheck = nullptr;
    // TSRs
    QListWidget* TSRList = nullptr;
    QPushButton* AddTSRButton = nullptr;
    QPushButton* EditTSRButton = nullptr;
    QPushButton* DeleteTSRButton = nullptr;
    // Level crossings
    QListWidget* CrossingList = nullptr;
    QGroupBox* CrossingDetails = nullptr;
    QCheckBox* BarriersWorkingCheck = nullptr;
    QLabel* CrossingStateLabel = nullptr;

    // Refills every list from the simulation (each time the panel is shown).
    void Refresh();
    // The actions, each on the selected entry (nothing without one).
    void NormalDetectionClicked();
    void ReverseDetectionClicked();
    void LampProvingClicked();
    void IsolationChanged(int index);
    void OccupyClicked();
    void UnoccupyClicked();
    void FailAllClicked();
    void FixAllClicked();
    void PauseTrainClicked();
    // Gives the selected train the authority chosen in a SPAD dialog that has been
    // accepted (the button opens the dialog and calls this).
    void ApplySPAD(const TACPSPADForm& dialog);
    void PassSignalClicked();
    // Adds, edits or deletes with an editor that has been accepted.
    void ApplyAddTSR(const TTSREditForm& editor);
    void ApplyEditTSR(const TTSREditForm& editor);
    void AddTSRClicked();
    void EditTSRClicked();
    void DeleteTSRClicked();
    void BarriersWorkingClicked();
    // "Save to file" to a chosen path; false (with the message) on a write error.
    bool SaveReportTo(const QString& path);
    void SaveClicked();

    TPTS* SelectedPoints() const;
    TSIG* SelectedSignal() const;
    TTCS* SelectedCircuit() const;
    TLOC* SelectedLocation() const;
    TTRN* SelectedTrain() const;
    TTSR* SelectedTSR() const;
    TLevelCrossing* SelectedCrossing() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void ShowSelection();
    void RefreshLog();
    void RefreshTrains();
    void RefreshTSRs();
    Sim& sim_;
    TAssessor& assessor_;
    // The train list follows trains entering and leaving while the panel is open.
    QTimer trainTimer_;
};

}  // namespace kestra::app
