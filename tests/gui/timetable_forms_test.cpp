// The timetable editor windows under the offscreen platform, on the built-in area with a
// small timetable: F4 opens the list (a client is refused), a trip time edited through
// the timetable and trip editors, an unreadable time refused, Cancel leaving the
// working timetable as it was, a category edited, the validation box, duplicating, the
// analysis window, and the question a reset asks once the list's Ok marked the
// timetable modified. With KESTRA_SHOTS set to a folder, each window is saved there.

#include "timetable_forms.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "display_form.h"
#include "fakes/fakes.h"
#include "places/location.h"
#include "qt_surface.h"
#include "sim/sim.h"
#include "timetable/timetable_text.h"
#include "timetable/timetable_validate.h"
#include "trains/train.h"

namespace kestra::app {
namespace {

namespace fs = std::filesystem;

void Shot(QWidget& w, const char* name) {
    const QByteArray folder = qgetenv("KESTRA_SHOTS");
    if (!folder.isEmpty()) w.grab().save(QString(folder) + "/" + name + ".png");
}

// Input boxes answered one after another from a queue; nothing left: cancelled.
class ScriptedDialogs : public test::RecordingDialogs {
  public:
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& proposal) override {
        Inputs.push_back(caption + "|" + prompt + "|" + proposal);
        if (Answers.empty()) return std::nullopt;
        std::optional<std::string> a = Answers.front();
        Answers.pop_front();
        return a;
    }
    std::deque<std::optional<std::string>> Answers;
};

const char* const kTimetable = R"(name None
description Two stoppers
start 07:00
finish 09:00
category STOP accel 3 speed 75 length 80 power diesel desc Stopping passenger
category FAST accel 2 speed 100 length 160 power diesel desc Fast passenger
train 2D01 STOP WEST 07:00
  OSTWK  07:01 07:02 plat 1 line DM
  VLMC   07:07 07:09 plat 2 line DM
  HRNF   07:16 07:17 plat 1 line DM
  HRNFE  -     07:19 pass line DM
train 2U01 STOP EAST 07:07
  HRNF   07:10 07:11 plat 2 line UM
  VLMC   07:18 07:20 plat 3 line UM
  OSTWK  07:24 07:25 plat 2 line UM path UM
  WESTL  -     07:27 pass line UM
)";

class TimetableForms : public ::testing::Test {
  protected:
    TimetableForms() {
        Ports ports;
        ports.Surface = &surface;
        ports.Dialog = &dialogs;
        ports.Audio = &sound;
        ports.Settings = &settings;
        sim = std::make_unique<Sim>(ports, 7);
        area::BuildArea(*sim);
        area::SetAreaTitle(*sim);
        std::string error;
        EXPECT_TRUE(ImportTimetableText(*sim, kTimetable, error)) << error;
        sim->Timetable.Modified = false;
        form = std::make_unique<TDisplayForm>(*sim, surface);
        folder = fs::temp_directory_path() /
                 ("kestra_tt_forms_" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~TimetableForms() override { fs::remove_all(folder); }

    TTimetableListForm* OpenList() {
        TTimetableListForm* list = form->ShowTimetableList();
        list->SetReportFolder(folder.string());
        return list;
    }
    // Selects the train whose entry begins with the headcode.
    static void SelectTrain(TTimetableListForm& list, const QString& headcode) {
        for (int i = 0; i < list.TrainList->count(); ++i) {
            if (list.TrainList->item(i)->text().startsWith(headcode)) {
                list.TrainList->setCurrentRow(i);
                return;
            }
        }
        ADD_FAILURE() << "no entry for " << headcode.toStdString();
    }
    // Runs what the open modal window should do once it is shown, then the action that
    // opens it.
    static void WhenShown(std::function<void()> inside, const std::function<void()>& open) {
        QTimer::singleShot(0, std::move(inside));
        open();
    }
    // Before an action that may open a message box: the box, when it comes, is answered
    // with button and its text kept.
    static void AnswerNextBox(QMessageBox::StandardButton button, std::string* text = nullptr) {
        QTimer::singleShot(0, [button, text] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            if (text) *text = box->text().toStdString();
            Shot(*box, "message_box");
            box->button(button)->click();
        });
    }
    // A train's timetable in the working timetable; none is a failure.
    const TTimetable& Train(const char* id) {
        const TTimetable* t = sim->Timetable.FindID(id);
        if (!t) {
            ADD_FAILURE() << "no timetable " << id;
            if (!none_) none_ = std::make_unique<TTimetable>(*sim, "none");
            return *none_;
        }
        return *t;
    }
    QString LocationName(const char* id) {
        return QString::fromStdString(sim->Locations.FindID(id)->Name);
    }
    QString LastMessage() {
        const auto& history = sim->Messages().MessageHistory;
        return history.empty() ? QString() : QString::fromStdString(history.back().Text);
    }

    QtPanelSurface surface;
    ScriptedDialogs dialogs;
    test::RecordingSound sound;
    MemorySettings settings;
    std::unique_ptr<Sim> sim;
    std::unique_ptr<TDisplayForm> form;
    fs::path folder;
    std::unique_ptr<TTimetable> none_;
};

TEST_F(TimetableForms, F4OpensTheListAndAClientIsRefused) {
    form->setFocus();
    QKeyEvent f4(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &f4);
    TTimetableListForm* list = form->ShowTimetableList();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(list->isModal());
    EXPECT_EQ(list->windowTitle(), "Timetable List");
    EXPECT_EQ(list->NoteLabel->text(),
              "NOTE: Timetable changes do not affect trains already in the area");
    // The name "None" shows as the area's custom timetable.
    EXPECT_EQ(list->NameEdit->text().toStdString(), sim->SimData.AreaTitle + " Custom Timetable");
    EXPECT_EQ(list->StartTimeEdit->text(), "07:00");
    EXPECT_EQ(list->FinishTimeEdit->text(), "09:00");
    ASSERT_EQ(list->TrainList->count(), 2);
    EXPECT_TRUE(list->TrainList->item(0)->text().startsWith("2D01 "));
    EXPECT_TRUE(list->TrainList->item(0)->text().contains(" enters 07:00"));
    ASSERT_EQ(list->CategoryList->count(), 2);
    EXPECT_EQ(list->CategoryList->item(0)->text(), "Fast passenger");
    // The name becomes a file name: characters no file name may hold are dropped.
    list->NameEdit->setText("Late");
    list->NameEdit->setCursorPosition(4);
    for (const char* typed : {"/", "?", "s"}) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, typed);
        QApplication::sendEvent(list->NameEdit, &key);
    }
    EXPECT_EQ(list->NameEdit->text(), "Lates");
    list->NameEdit->setText(QString::fromStdString(sim->SimData.AreaTitle + " Custom Timetable"));
    for (int page = 0; page < list->Pages->count(); ++page) {
        list->Pages->setCurrentIndex(page);
        Shot(*list, ("timetable_list_" + std::to_string(page)).c_str());
    }
    list->CancelButton->click();
    EXPECT_FALSE(list->isVisible());
    // The list's Cancel stores the header as it stands; the name becomes what it showed.
    EXPECT_EQ(sim->Timetable.Name, sim->SimData.AreaTitle + " Custom Timetable");
    EXPECT_FALSE(sim->Timetable.Modified);

    // A client may not edit: F4 and the menu item both answer with the refusal.
    sim->ClientMode = true;
    QApplication::sendEvent(form.get(), &f4);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(LastMessage(), "Not available in client mode!");
    form->RunMenuCommand(MenuCommand::TimetableEdit);
    EXPECT_FALSE(list->isVisible());
}

TEST_F(TimetableForms, ATripTimeEditedThroughTheEditorsAnUnreadableTimeRefusedOkTakesTheCopy) {
    TTimetableListForm* list = OpenList();
    SelectTrain(*list, "2D01");
    EXPECT_TRUE(list->EditTrainButton->isEnabled());
    const TTimetable* before = sim->Timetable.FindID("2D01");
    ASSERT_NE(before, nullptr);
    ASSERT_EQ(before->Trips.Count(), 4);
    bool tripFormShown = false, refusedStayedOpen = false;
    TTimetableEditForm* editor = list->EditForm();
    TTripEditForm* trip = editor->TripForm();
    WhenShown(
        [&] {
            EXPECT_TRUE(editor->isVisible());
            EXPECT_EQ(editor->windowTitle(), "Timetable Editor: 2D01");
            EXPECT_EQ(editor->CategoryBox->currentText(), "Stopping passenger");
            editor->Pages->setCurrentIndex(2);
            Shot(*editor, "timetable_editor");
            ASSERT_EQ(editor->TripList->count(), 4);
            editor->TripList->setCurrentRow(1);
            EXPECT_TRUE(editor->MoveUpButton->isEnabled());
            WhenShown(
                [&] {
                    tripFormShown = trip->isVisible();
                    EXPECT_EQ(trip->windowTitle(), "Timetable Trip Editor");
                    EXPECT_EQ(trip->LocationBox->currentText(), LocationName("VLMC"));
                    EXPECT_EQ(trip->ArrivalEdit->text(), "07:07  ");
                    EXPECT_EQ(trip->PlatformBox->currentText(), "2");
                    Shot(*trip, "trip_editor");
                    trip->ArrivalEdit->setText("7.08");
                    trip->OkButton->click();
                    refusedStayedOpen = trip->isVisible() && trip->HintLabel->isVisibleTo(trip);
                    trip->ArrivalEdit->setText("07:08 H");
                    trip->OkButton->click();
                    EXPECT_FALSE(trip->isVisible());
                },
                [&] { editor->EditButton->click(); });
            // The copy changed, the working timetable not yet.
            EXPECT_TRUE(editor->TripList->item(1)->text().contains("07:08"));
            EXPECT_EQ(sim->Timetable.FindID("2D01")->Trips.Items[1].ArrTime, 7 * 3600 + 7 * 60);
            editor->OkButton->click();
        },
        [&] { list->EditTrainButton->click(); });
    EXPECT_TRUE(tripFormShown);
    EXPECT_TRUE(refusedStayedOpen);
    const TTimetable* after = sim->Timetable.FindID("2D01");
    ASSERT_NE(after, nullptr);
    ASSERT_GE(after->Trips.Count(), 2);
    EXPECT_EQ(after->Trips.Items[1].ArrTime, 7 * 3600 + 8 * 60 + 30);
    EXPECT_EQ(sim->Timetable.Count(), 2);
    EXPECT_TRUE(sim->Timetable.Modified);
    EXPECT_EQ(sim->Timetable.EditorDefaults.MaxSpeed, 75) << "the characteristics are remembered";
    EXPECT_TRUE(list->TrainList->currentItem()->text().startsWith("2D01"));
}

TEST_F(TimetableForms, CancelLeavesTheWorkingTimetableAsItWas) {
    TTimetableListForm* list = OpenList();
    SelectTrain(*list, "2U01");
    const TTimetable* original = sim->Timetable.FindID("2U01");
    ASSERT_NE(original, nullptr);
    std::string boxText;
    TTimetableEditForm* editor = list->EditForm();
    WhenShown(
        [&] {
            editor->HeadcodeEdit->setText("2U99");
            editor->Pages->setCurrentIndex(2);
            editor->TripList->setCurrentRow(0);
            editor->DeleteButton->click();
            EXPECT_EQ(editor->TripList->count(), 3);
            editor->MoveDownButton->click();
            // The copy is validated on the way out, whichever way; it no longer starts
            // where its entry point leads, so the box asks; Cancel closes.
            AnswerNextBox(QMessageBox::Cancel, &boxText);
            editor->CancelButton->click();
        },
        [&] { list->EditTrainButton->click(); });
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(sim->Timetable.FindID("2U01"), original) << "the same timetable, not a copy";
    EXPECT_EQ(original->Trips.Count(), 4);
    EXPECT_EQ(sim->Timetable.FindID("2U99"), nullptr);
    EXPECT_FALSE(sim->Timetable.Modified);
    EXPECT_EQ(boxText.rfind("Timetable validation failed:\n", 0), 0u) << boxText;
}

TEST_F(TimetableForms, NextOnTheLastTripAddsANewOneBelowAndAFailedValidationAsks) {
    TTimetableListForm* list = OpenList();
    TTimetableEditForm* editor = list->EditForm();
    TTripEditForm* trip = editor->TripForm();
    std::string boxText;
    int tripsAdded = 0;
    WhenShown(
        [&] {
            EXPECT_EQ(editor->windowTitle(), "Timetable Editor: ");
            editor->HeadcodeEdit->setText("2d05");
            editor->HeadcodeEdit->textEdited("2d05");
            EXPECT_EQ(editor->HeadcodeEdit->text(), "2D05");
            editor->EntryPointBox->setCurrentIndex(editor->EntryPointBox->findText(
                QString::fromStdString(sim->EntryPoints.FindID("WEST")->Name)));
            EXPECT_GT(editor->EntryPointBox->currentIndex(), 0);
            editor->EntryTimeEdit->setText("08:00");
            // Choosing a category copies its characteristics and its description.
            const int stop = editor->CategoryBox->findText("Stopping passenger");
            editor->CategoryBox->setCurrentIndex(stop);
            editor->CategoryChosen(stop);
            EXPECT_EQ(editor->MaxSpeedEdit->text(), "75");
            EXPECT_EQ(editor->DescriptionEdit->text(), "Stopping passenger");
            // A change of a characteristic makes the train a custom one.
            editor->LengthEdit->setText("90");
            editor->LengthEdit->textEdited("90");
            EXPECT_EQ(editor->CategoryBox->currentText(), "(Custom)");
            editor->CategoryBox->setCurrentIndex(stop);
            editor->CategoryChosen(stop);
            editor->Pages->setCurrentIndex(1);
            Shot(*editor, "timetable_editor_characteristics");
            editor->Pages->setCurrentIndex(0);
            Shot(*editor, "timetable_editor_details");
            editor->Pages->setCurrentIndex(2);
            // Two lines written with Next; Cancel on the third ends the run.
            const std::vector<std::pair<QString, QString>> lines{{LocationName("OSTWK"), "08:03"},
                                                                 {LocationName("VLMC"), "08:09"}};
            std::size_t step = 0;
            std::function<void()> fill = [&] {
                if (step < lines.size()) {
                    const int at = trip->LocationBox->findText(lines[step].first);
                    EXPECT_GE(at, 1) << lines[step].first.toStdString();
                    trip->LocationBox->setCurrentIndex(at);
                    trip->LocationChosen();
                    trip->ArrivalEdit->setText(lines[step].second);
                    ++step;
                    ++tripsAdded;
                    QTimer::singleShot(0, fill);
                    trip->NextButton->click();
                } else {
                    trip->CancelButton->click();
                }
            };
            WhenShown(fill, [&] { editor->AddBelowButton->click(); });
            EXPECT_EQ(editor->TripList->count(), 2);
            // A train stopping at Vellmoor Central with no way on: when validation
            // refuses it, the box in the editor's words; Cancel closes the editor.
            AnswerNextBox(QMessageBox::Cancel, &boxText);
            editor->OkButton->click();
        },
        [&] { list->NewTrainButton->click(); });
    EXPECT_EQ(tripsAdded, 2);
    const TTimetable* added = sim->Timetable.FindID("2D05");
    ASSERT_NE(added, nullptr) << "Ok takes the copy over, valid or not";
    ASSERT_GE(added->Trips.Count(), 2);
    EXPECT_EQ(added->Trips.Items[0].DepTime, 8 * 3600 + 3 * 60) << "departs at its arrival";
    EXPECT_EQ(added->Category, sim->Categories.FindID("STOP"));
    // No platform at Ostwick: there is no path from the entry point.
    EXPECT_EQ(boxText.rfind("Timetable validation failed:\nTrain 2D05: ", 0), 0u) << boxText;
    EXPECT_NE(boxText.find("What to do: "), std::string::npos) << boxText;
    {
        EXPECT_NE(boxText.find("Press Ok to continue editing the timetable, or Cancel to close "
                               "the editor."),
                  std::string::npos);
    }
    EXPECT_TRUE(list->TrainList->currentItem()->text().startsWith("2D05"));
}

TEST_F(TimetableForms, ACategoryEditedWithTheLengthRefusedFirst) {
    TTimetableListForm* list = OpenList();
    list->Pages->setCurrentIndex(1);
    list->CategoryList->setCurrentRow(1);
    ASSERT_EQ(list->CategoryList->currentItem()->text(), "Stopping passenger");
    TTrainCategoryForm* editor = list->CategoryForm();
    bool stayedOpen = false;
    WhenShown(
        [&] {
            EXPECT_EQ(editor->windowTitle(), "Train Category");
            EXPECT_EQ(editor->LengthEdit->text(), "80");
            Shot(*editor, "train_category");
            editor->LengthEdit->setText("8O");
            editor->MaxSpeedEdit->setText("fast");
            editor->OkButton->click();
            stayedOpen = editor->isVisible();
            editor->LengthEdit->setText("100");
            editor->OkButton->click();
            editor->MaxSpeedEdit->setText("80");
            editor->OkButton->click();
        },
        [&] { list->EditCategoryButton->click(); });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(dialogs.Errors, (std::vector<std::string>{"Invalid numeric entry for Train Length",
                                                        "Invalid numeric entry for Max Speed"}));
    for (const char* id : {"2D01", "2U01"}) {
        EXPECT_EQ(Train(id).Length, 100) << id;
        EXPECT_EQ(Train(id).MaxSpeed, 80) << id;
    }
    EXPECT_TRUE(sim->Timetable.Modified);

    // Deleting it leaves the trains' characteristics, shown as custom.
    dialogs.ConfirmAnswer = true;
    list->CategoryList->setCurrentRow(1);
    list->DeleteCategoryButton->click();
    ASSERT_FALSE(dialogs.Confirms.empty());
    EXPECT_EQ(dialogs.Confirms.back(),
              "Deleting a train category will clear the Category field of all affected train "
              "timetables. Continue?");
    EXPECT_EQ(list->CategoryList->count(), 1);
    EXPECT_EQ(Train("2D01").Category, nullptr);
    EXPECT_EQ(Train("2D01").Length, 100);
}

TEST_F(TimetableForms, AnActivityAddedInTheTripEditor) {
    TTimetable& t = *sim->Timetable.FindID("2D01");
    TTimetableTrip copy = t.Trips.Items.back();
    TTripEditForm trip(*sim);
    TTimetableTripActivityForm* activity = trip.ActivityForm();
    WhenShown(
        [&] {
            EXPECT_EQ(activity->windowTitle(), "Trip Activity Editor");
            activity->KindButtons[3]->setChecked(true);
            activity->HeadcodeEdit->setText("2U");
            activity->OkButton->click();
            EXPECT_TRUE(activity->isVisible()) << "a headcode is four letters or digits";
            activity->HeadcodeEdit->setText("2U01");
            Shot(*activity, "trip_activity");
            activity->OkButton->click();
        },
        [&] {
            trip.Load(copy);
            trip.AddActivity();
        });
    ASSERT_EQ(trip.ActivitiesList->count(), 1);
    EXPECT_EQ(trip.ActivitiesList->item(0)->text(), "Joins 2U01");
    ASSERT_EQ(copy.Activities.Items.size(), 1u);
    EXPECT_EQ(copy.Activities.Items[0].ActivityKind, ActJoins);
    EXPECT_TRUE(t.Trips.Items.back().Activities.Items.empty()) << "the editor had a copy";
}

TEST_F(TimetableForms, DuplicateAskedTwiceAndTheListOkMarksModifiedForTheResetQuestion) {
    TTimetableListForm* list = OpenList();
    SelectTrain(*list, "2D01");
    dialogs.Answers = {std::string("2D03"), std::string("half")};
    list->DuplicateButton->click();
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0], "Invalid numeric input");
    EXPECT_EQ(sim->Timetable.Count(), 2);
    dialogs.Answers = {std::string("2D03"), std::string("30")};
    list->DuplicateButton->click();
    ASSERT_GE(dialogs.Inputs.size(), 4u);
    EXPECT_EQ(dialogs.Inputs[2], "Copy Train - Step 1 of 2|Enter new train's name:|2D01");
    EXPECT_EQ(dialogs.Inputs[3],
              "Copy Train - Step 2 of 2|Enter time difference (in minutes) of new service:|0");
    ASSERT_NE(sim->Timetable.FindID("2D03"), nullptr);
    EXPECT_EQ(Train("2D03").EntryTime, 7 * 3600 + 30 * 60);
    EXPECT_FALSE(Train("2D03").Entered);

    // Typing in the train list searches, without regard to case.
    dialogs.Answers = {std::string("2u")};
    QKeyEvent two(QEvent::KeyPress, Qt::Key_2, Qt::NoModifier, "2");
    QApplication::sendEvent(list->TrainList, &two);
    ASSERT_FALSE(dialogs.Inputs.empty());
    EXPECT_EQ(dialogs.Inputs.back(), "Find train|Train:|2");
    EXPECT_TRUE(list->TrainList->currentItem()->text().startsWith("2U01"));

    // An unreadable start time keeps the window open.
    list->StartTimeEdit->setText("");
    list->OkButton->click();
    EXPECT_TRUE(list->isVisible());
    list->StartTimeEdit->setText("06:30");
    list->OkButton->click();
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(sim->Timetable.StartTime, 6 * 3600 + 30 * 60);
    EXPECT_TRUE(sim->Timetable.Modified);
    dialogs.ConfirmAnswer = false;
    sim->ResetSimulation();
    ASSERT_FALSE(dialogs.Confirms.empty());
    EXPECT_EQ(dialogs.Confirms.back(), "Timetable not saved! Do you want to save it now?");
}

TEST_F(TimetableForms, AnEditTakenOverIsNotLostWhenTheListIsCancelled) {
    TTimetableListForm* list = OpenList();
    SelectTrain(*list, "2U01");
    TTimetableEditForm* editor = list->EditForm();
    WhenShown(
        [&] {
            editor->DescriptionEdit->setText("Renamed");
            editor->OkButton->click();
        },
        [&] { list->EditTrainButton->click(); });
    list->CancelButton->click();
    EXPECT_EQ(Train("2U01").Description, "Renamed");
    EXPECT_TRUE(sim->Timetable.Modified) << "a reset must ask before this edit is lost";
}

TEST_F(TimetableForms, TheAnalysisWindowShowsTheProblemsAndWritesTheReport) {
    TTimetableListForm* list = OpenList();
    list->Pages->setCurrentIndex(3);
    EXPECT_TRUE(list->AnalyseText->text().startsWith(
        "This feature allows you to find potential problems with timetable data."));
    // A train with no power is a problem the analysis names.
    sim->Timetable.FindID("2U01")->PowerTypes = 0;
    TTTAnalyseForm* analysis = list->AnalyseForm();
    QString shown;
    WhenShown(
        [&] {
            EXPECT_EQ(analysis->windowTitle(), "Timetable Analysis");
            shown = analysis->TextArea->toPlainText();
            Shot(*analysis, "timetable_analysis");
            analysis->CloseButton->click();
        },
        [&] { list->AnalyseButton->click(); });
    EXPECT_TRUE(shown.contains("2U01: No diesel/electric power defined")) << shown.toStdString();
    std::ifstream report(folder / "TT_Analysis.txt");
    ASSERT_TRUE(report.good());
    std::stringstream text;
    text << report.rdbuf();
    EXPECT_EQ(text.str().rfind("*** ANALYSIS SUMMARY ***", 0), 0u);
    EXPECT_NE(text.str().find("*** LOCATION SUMMARY ***"), std::string::npos);
    // The area has no export: the command says so.
    list->ExportButton->click();
    ASSERT_FALSE(dialogs.Infos.empty());
    EXPECT_EQ(dialogs.Infos.back(), "Export not available for this simulation");
}

TEST_F(TimetableForms, RepeatAndReturnWorkingFromTheList) {
    TTimetableListForm* list = OpenList();
    SelectTrain(*list, "2D01");
    dialogs.Answers = {std::string("2"), std::string("30")};
    list->RepeatButton->click();
    EXPECT_TRUE(dialogs.Errors.empty()) << dialogs.Errors.front();
    ASSERT_EQ(sim->Timetable.Count(), 4);
    SelectTrain(*list, "2D01");
    // Several entry points lead to where it ends: without one named, the tool says so.
    dialogs.Answers = {std::string("2u51"), std::string("5"), std::string()};
    list->ReturnButton->click();
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_NE(dialogs.Errors[0].find("say which one"), std::string::npos) << dialogs.Errors[0];
    dialogs.Answers = {std::string("2u51"), std::string("5"), std::string("Nowhere")};
    list->ReturnButton->click();
    ASSERT_EQ(dialogs.Errors.size(), 2u);
    EXPECT_EQ(dialogs.Errors[1].rfind("There is no entry point Nowhere: the entry points are ", 0),
              0u);
    dialogs.Errors.clear();
    dialogs.Answers = {std::string("2u51"), std::string("5"), std::string("east")};
    list->ReturnButton->click();
    EXPECT_TRUE(dialogs.Errors.empty()) << (dialogs.Errors.empty() ? "" : dialogs.Errors.front());
    EXPECT_EQ(sim->Timetable.Count(), 5);
    ASSERT_NE(sim->Timetable.FindID("2U51"), nullptr);
    EXPECT_EQ(Train("2U51").EntryPoint, sim->EntryPoints.FindID("EAST"));
    EXPECT_TRUE(sim->Timetable.Modified);
    std::string message;
    for (const char* id : {"2D02", "2D03", "2U51"}) {
        TTimetable& t = *sim->Timetable.FindID(id);
        EXPECT_TRUE(Validate(t, message)) << id << ": " << message;
    }
}

TEST_F(TimetableForms, ATrainWrittenWhileTheGameRunsEntersTheArea) {
    sim->SimTime = 7 * 3600 + 30 * 60;
    // The two trains of the timetable are long gone.
    sim->Timetable.ForEach([](TTimetable& t) { t.Entered = true; });
    TTimetableListForm* list = OpenList();
    SelectTrain(*list, "2D01");
    dialogs.Answers = {std::string("2D07"), std::string("31")};
    list->DuplicateButton->click();
    ASSERT_NE(sim->Timetable.FindID("2D07"), nullptr);
    EXPECT_EQ(sim->Trains.FindTrain("2D07"), nullptr);
    // The game goes on with the window open; two cycles make a second.
    for (int i = 0; i < 2 * 180 && !sim->Trains.FindTrain("2D07"); ++i) form->OnMajorCycle();
    EXPECT_NE(sim->Trains.FindTrain("2D07"), nullptr) << "the new train entered at 07:31";
    EXPECT_TRUE(Train("2D07").Entered);
    EXPECT_TRUE(list->isVisible());
}

TEST_F(TimetableForms, CtrlShiftIImportsAFileInTheOutsideLayout) {
    TTimetableListForm* list = OpenList();
    const fs::path file = folder / "outside.txt";
    std::ofstream(file) << "H2D09\n"
                           "LOSTWK        0802 1\n"
                           "LVLMC    0807 0809 2\n"
                           "LHRNF    0816 0817 1\n"
                           "LHRNFE        0819     P\n"
                           "E\n";
    dialogs.Answers = {file.string()};
    QKeyEvent key(QEvent::KeyPress, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
    QApplication::sendEvent(list, &key);
    ASSERT_FALSE(dialogs.Inputs.empty());
    EXPECT_EQ(dialogs.Inputs.back(), "Import Timetable|Enter name|");
    ASSERT_NE(sim->Timetable.FindID("2D09"), nullptr);
    EXPECT_EQ(list->TrainList->count(), 3);
}

}  // namespace
}  // namespace kestra::app
