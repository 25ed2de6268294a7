#pragma once
// The telephone windows: the outstanding calls ("Telephone Calls"), answering one
// ("Answer Call"), placing a call from the phone book ("Place Call"), and the incident
// log ("Incident Report").

#include <QDialog>
#include <QTimer>

#include "sim/sim.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace kestra::app {

// The answer window for one call, shown modally. While open it is the call on show:
// that call stops ringing. A call withdrawn meanwhile is not answered.
class TAnswerCallForm : public QDialog {
    Q_OBJECT
  public:
    TAnswerCallForm(Sim& sim, TCall& call, QWidget* parent = nullptr);
    ~TAnswerCallForm() override;

    QLabel* MessageLabel = nullptr;
    QListWidget* RepliesList = nullptr;
    QPushButton* ReplyButton = nullptr;

    // "Reply": with a reply selected, asks for confirmation where the reply needs it,
    // then answers and closes. Without a selection, or with the confirmation refused,
    // nothing happens and the window stays.
    void ReplyClicked();

  private:
    Sim& sim_;
};

class TPlaceCallForm;

class TTelephoneForm : public QDialog {
    Q_OBJECT
  public:
    explicit TTelephoneForm(Sim& sim, QWidget* parent = nullptr);

    QListWidget* CallsList = nullptr;
    QPushButton* AnswerButton = nullptr;
    QPushButton* PlaceCallButton = nullptr;
    QPushButton* CloseButton = nullptr;

    // Rebuilds the list from the calls, keeping the selection on the same call.
    void Refresh();
    // Opens the answer window on the selected call (the first when none is selected);
    // closes this window too when no call is left afterwards.
    void AnswerCall();
    // Opens the place-call window and hides this one.
    void PlaceCall();
    TPlaceCallForm* PlaceCallWindow() const { return placeCall_; }
    // The answer window while it is open (for tests that answer it).
    TAnswerCallForm* OpenAnswerWindow() const { return answer_; }
    // The call a list row shows.
    TCall* CallAt(int row) const;

  private:
    Sim& sim_;
    QTimer refresh_;
    TPlaceCallForm* placeCall_ = nullptr;
    TAnswerCallForm* answer_ = nullptr;
};

class TPlaceCallForm : public QDialog {
    Q_OBJECT
  public:
    explicit TPlaceCallForm(Sim& sim, QWidget* parent = nullptr);

    QListWidget* PartyList = nullptr;
    QLabel* StatusLabel = nullptr;
    QListWidget* RequestList = nullptr;
    QPlainTextEdit* ResponseText = nullptr;
    QPushButton* DialButton = nullptr;
    QPushButton* SendButton = nullptr;
    QPushButton* HangUpButton = nullptr;
    QPushButton* HangUpCloseButton = nullptr;
    // The ringing time; fires once.
    QTimer RingingTimer;

    void Dial();
    void Connect();
    void Send();
    void HangUp();
    // Enables the controls for the line's state.
    void UpdateControls();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    Sim& sim_;
};

class TIncidentForm : public QDialog {
    Q_OBJECT
  public:
    explicit TIncidentForm(Sim& sim, QWidget* parent = nullptr);

    QPlainTextEdit* LogText = nullptr;
    // Shows the log as it is now (new lines are appended as they come).
    void Refresh();

  private:
    Sim& sim_;
    QTimer refresh_;
    std::size_t shown_ = 0;
};

// Fills the sound of every event type that has none with the program's own sound from
// the first folder that holds it; returns the folder used, empty when none had them.
std::string UseStandardSounds(Sim& sim, const std::vector<std::string>& folders);

}  // namespace kestra::app
