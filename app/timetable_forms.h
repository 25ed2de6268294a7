#pragma once
// The timetable editor windows: the timetable list (name, times, train categories, the
// train timetables, analysis and export), one train's timetable, one trip, one trip
// activity and one train category; and the timetable analysis window. Every editor
// below the list works on a copy its caller takes over on Ok and frees otherwise; the
// list works on the working timetable itself.

#include <QDialog>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "timetable/timetable.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTextEdit;

namespace kestra::app {

// An error box with Ok and Cancel; true for Ok.
bool AskOkCancel(QWidget* parent, const QString& text);

// The five acceleration and braking profiles as the editors name them, 0 to 4.
extern const std::array<const char*, 5> AccelBrakeNames;

// The train category editor ("Train Category").
class TTrainCategoryForm : public QDialog {
    Q_OBJECT
  public:
    explicit TTrainCategoryForm(Sim& sim, QWidget* parent = nullptr);
    // Shows the category's values; the form then stores into it on "&Ok".
    void Load(TTrainCategory& category);
    // Load, then modal; true when "&Ok" stored the values.
    bool Edit(TTrainCategory& category);
    // "&Ok": whole numbers needed in length and speed (the length first), else the
    // error box and the form stays open.
    void OkClicked();

    QLineEdit* DescriptionEdit = nullptr;
    QLineEdit* LengthEdit = nullptr;
    QLineEdit* MaxSpeedEdit = nullptr;
    std::array<QCheckBox*, 4> PowerBoxes{};
    QComboBox* AccelBrakeBox = nullptr;
    QCheckBox* FreightBox = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

  private:
    Sim& sim_;
    TTrainCategory* category_ = nullptr;
};

// The trip activity editor ("Trip Activity Editor").
class TTimetableTripActivityForm : public QDialog {
    Q_OBJECT
  public:
    explicit TTimetableTripActivityForm(Sim& sim, QWidget* parent = nullptr);
    void Load(TTimetableActivity& activity);
    bool Edit(TTimetableActivity& activity);
    // "&Ok": the kind and the headcode stored; a headcode that is not four letters or
    // digits keeps the form open with a hint.
    void OkClicked();

    std::array<QRadioButton*, 4> KindButtons{};
    QLineEdit* HeadcodeEdit = nullptr;
    QLabel* HintLabel = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

  private:
    Sim& sim_;
    TTimetableActivity* activity_ = nullptr;
};

// How the trip editor was left.
enum class TripEditResult { Ok, Cancel, Next };

// The trip editor ("Timetable Trip Editor") for one location line of a train.
class TTripEditForm : public QDialog {
    Q_OBJECT
  public:
    explicit TTripEditForm(Sim& sim, QWidget* parent = nullptr);
    void Load(TTimetableTrip& trip);
    TripEditResult Edit(TTimetableTrip& trip);
    TripEditResult Result() const { return result_; }
    // "Ok" and "&Next/Insert": the boxes stored when both times read and a location is
    // chosen; otherwise the form stays open and the hint says what is wrong.
    void Confirm(TripEditResult result);
    // The location list's choice changed: the code lists refilled and cleared.
    void LocationChosen();
    void AddActivity();
    void EditActivity();
    void EraseActivity();
    TTimetableTripActivityForm* ActivityForm() { return activityForm_; }

    QComboBox* LocationBox = nullptr;
    QLineEdit* ArrivalEdit = nullptr;
    QLineEdit* DepartureEdit = nullptr;
    QCheckBox* PassBox = nullptr;
    QComboBox* PlatformBox = nullptr;
    QComboBox* LineBox = nullptr;
    QComboBox* PathBox = nullptr;
    QLineEdit* EngineeringEdit = nullptr;
    QLineEdit* PathingEdit = nullptr;
    QListWidget* ActivitiesList = nullptr;
    QPushButton* AddActivityButton = nullptr;
    QPushButton* EditActivityButton = nullptr;
    QPushButton* EraseActivityButton = nullptr;
    QLabel* HintLabel = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* NextButton = nullptr;

  private:
    void FillCodes(const TLOC* location);
    void FillActivities();
    TLOC* ChosenLocation() const;
    Sim& sim_;
    TTimetableTrip* trip_ = nullptr;
    std::vector<TLOC*> locations_;  // in the location box's order after "(None)"
    TripEditResult result_ = TripEditResult::Cancel;
    TTimetableTripActivityForm* activityForm_ = nullptr;
};

// The timetable editor ("Timetable Editor: " and the headcode) for one train.
class TTimetableEditForm : public QDialog {
    Q_OBJECT
  public:
    explicit TTimetableEditForm(Sim& sim, QWidget* parent = nullptr);
    void Load(TTimetable& copy);
    // Load, then modal; true when the copy is to be taken over ("&Ok").
    bool Edit(TTimetable& copy);
    // Stores the boxes into the copy and remembers the characteristics.
    void StoreBoxes();
    // The trip commands; each refills the trip list and selects the trip concerned.
    void EditTrip();
    void AddBelow();
    void AddAbove();
    void MoveUp();
    void MoveDown();
    void DeleteTrip();
    void ClearAutoinsert();
    // A category chosen in the list (row 0: "(Custom)").
    void CategoryChosen(int row);
    // The player changed a characteristic: the train has no category any more.
    void CustomChanged();
    void FillTrips(int select);
    void UpdateTripButtons();
    void UpdateCaption();
    TTripEditForm* TripForm() { return tripForm_; }

    QTabWidget* Pages = nullptr;
    QLineEdit* HeadcodeEdit = nullptr;
    QComboBox* EntryPointBox = nullptr;
    QLineEdit* EntryTimeEdit = nullptr;
    QLineEdit* DescriptionEdit = nullptr;
    QCheckBox* AsRequiredBox = nullptr;
    QSpinBox* PercentBox = nullptr;
    QCheckBox* STPBox = nullptr;
    QComboBox* CategoryBox = nullptr;
    QComboBox* AccelBrakeBox = nullptr;
    QLineEdit* MaxSpeedEdit = nullptr;
    QLineEdit* LengthEdit = nullptr;
    QCheckBox* FreightBox = nullptr;
    std::array<QCheckBox*, 4> PowerBoxes{};
    QListWidget* TripList = nullptr;
    QPushButton* AddAboveButton = nullptr;
    QPushButton* AddBelowButton = nullptr;
    QPushButton* MoveUpButton = nullptr;
    QPushButton* MoveDownButton = nullptr;
    QPushButton* EditButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* ClearAutoinsertButton = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

  protected:
    // Closing, whichever way, validates the copy; a failure may keep the editor open.
    void done(int result) override;

  private:
    void ShowCharacteristics(std::int32_t accel, std::int32_t speed, std::int32_t length,
                             bool freight, std::int32_t power);
    // After a Next from the trip editor: the next row edited, or a new one added below.
    void NextAfter(int row);
    Sim& sim_;
    TTimetable* copy_ = nullptr;
    bool loading_ = false;
    TTripEditForm* tripForm_ = nullptr;
};

// The timetable analysis window ("Timetable Analysis").
class TTTAnalyseForm : public QDialog {
    Q_OBJECT
  public:
    explicit TTTAnalyseForm(Sim& sim, QWidget* parent = nullptr);
    // Runs the analysis: the problems shown, the whole report written to the file.
    void Analyse(const std::string& path);

    QPlainTextEdit* TextArea = nullptr;
    QPushButton* CloseButton = nullptr;

  private:
    Sim& sim_;
};

// The timetable list window ("Timetable List"), not modal, on top.
class TTimetableListForm : public QDialog {
    Q_OBJECT
  public:
    explicit TTimetableListForm(Sim& sim, QWidget* parent = nullptr);
    // What showing the window does: sort, fill the lists, show the header.
    void Refresh();
    void FillTrains(int select);
    void FillCategories(const std::string& selectID);
    void UpdateTrainButtons();
    // Where the reports are written (the current folder unless a test says otherwise).
    void SetReportFolder(const std::string& folder) { reportFolder_ = folder; }

    // The train commands.
    void EditTrain();
    void NewTrain();
    void DeleteTrain();
    void DuplicateTrain();
    void RepeatTrain();
    void ReturnWorking();
    void FindTrain(const QString& first);
    // The category commands.
    void EditCategory();
    void NewCategory();
    void DeleteCategory();
    void AnalyseNow();
    void Export();
    // Ctrl+Shift+I: asks for a file in the outside column layout and imports its trains.
    void ImportTrains();
    void SortChosen();

    TTimetableEditForm* EditForm() { return editForm_; }
    TTrainCategoryForm* CategoryForm() { return categoryForm_; }
    TTTAnalyseForm* AnalyseForm() { return analyseForm_; }

    QTabWidget* Pages = nullptr;
    QLabel* NoteLabel = nullptr;
    QLineEdit* NameEdit = nullptr;
    QTextEdit* DescriptionEdit = nullptr;
    QLineEdit* StartTimeEdit = nullptr;
    QLineEdit* FinishTimeEdit = nullptr;
    QListWidget* CategoryList = nullptr;
    QPushButton* EditCategoryButton = nullptr;
    QPushButton* NewCategoryButton = nullptr;
    QPushButton* DeleteCategoryButton = nullptr;
    QListWidget* TrainList = nullptr;
    QPushButton* EditTrainButton = nullptr;
    QPushButton* NewTrainButton = nullptr;
    QPushButton* DeleteTrainButton = nullptr;
    QPushButton* DuplicateButton = nullptr;
    QPushButton* RepeatButton = nullptr;
    QPushButton* ReturnButton = nullptr;
    std::array<QRadioButton*, 3> SortButtons{};
    QLabel* AnalyseText = nullptr;
    QLabel* ExportText = nullptr;
    QPushButton* AnalyseButton = nullptr;
    QPushButton* ExportButton = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

  protected:
    // Closing reads the time boxes; one that cannot be read keeps the window open.
    void done(int result) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    int SelectedTrain() const;
    TTrainCategory* SelectedCategory() const;
    std::string ReportPath(const char* name) const;
    Sim& sim_;
    std::string reportFolder_;
    TTimetableEditForm* editForm_ = nullptr;
    TTrainCategoryForm* categoryForm_ = nullptr;
    TTTAnalyseForm* analyseForm_ = nullptr;
};

}  // namespace kestra::app
