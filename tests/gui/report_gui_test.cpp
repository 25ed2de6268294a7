// The assessment windows under the offscreen platform, on a short run of the standard
// day under ARS: the train list with each command and its refusal, a train leaving while
// the list is open, the performance analysis, the time-distance graph and the
// punctuality report.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "area/area_builder.h"
#include "area/area_graph_lines.h"
#include "fakes/fakes.h"
#include "graph_view.h"
#include "report_forms.h"
#include "sim/sim.h"
#include "timetable/timetable_start.h"
#include "trains/train.h"

namespace kestra::app {
namespace {

const std::string kTimetable = std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT";

// With KESTRA_SHOTS set to a folder, the windows are saved there as pictures.
void Shot(QWidget& w, const char* name) {
    const QByteArray folder = qgetenv("KESTRA_SHOTS");
    if (!folder.isEmpty()) w.grab().save(QString(folder) + "/" + name + ".png");
}

// The standard day from 06:00, ARS everywhere, run for the minutes given.
class ReportGui : public ::testing::Test {
  protected:
    void Run(int minutes) {
        if (!built_) {
            area::BuildArea(*t);
            std::string error;
            ASSERT_TRUE(StartWithTimetable(*t, kTimetable, -1, &error)) << error;
            t->ARSSubAreas.ForEach([](TARS& a) {
                a.SetCollared(false);
                a.SetSelected(true);
            });
            built_ = true;
        }
        t.Ticks(minutes * 120);
        ASSERT_EQ(t->ErrorsCaught, 0);
    }
    TTRN* FindTrain(const std::function<bool(const TTRN&)>& wanted) {
        TTRN* found = nullptr;
        t->Trains.ForEach([&](TTRN& train) {
            if (!found && train.State != TsLeaving && wanted(train)) found = &train;
        });
        return found;
    }
    test::TestSim t;
    bool built_ = false;
};

TEST_F(ReportGui, TheTrainListShowsEveryTrainAndCarriesTheCommands) {
    Run(30);
    TTrainListForm form(*t);
    form.show();
    Shot(form, "train-list");
    ASSERT_GT(t->Trains.TrainsInArea(), 2);
    EXPECT_EQ(form.StringGrid->rowCount(), t->Trains.TrainsInArea());
    EXPECT_EQ(form.StringGrid->horizontalHeaderItem(3)->text(), "Status");
    EXPECT_EQ(form.StringGrid->horizontalHeaderItem(6)->toolTip(),
              "Indicates whether driver has been authorised to pass next signal at danger");
    // The pop-up menu: three submenus, eight items, in order.
    QStringList captions;
    for (QAction* sub : form.TrainPopupMenu->actions())
        for (QAction* item : sub->menu()->actions()) captions << item->text();
    ASSERT_EQ(captions.size(), 8);
    EXPECT_EQ(captions.front(), "Go &non-stop through next station");
    EXPECT_EQ(captions.back(), "&Adjust Length");
    for (int r = 1; r < form.StringGrid->rowCount(); ++r)
        EXPECT_LE(form.StringGrid->item(r - 1, 0)->text(), form.StringGrid->item(r, 0)->text());

    // A moving train: the red-signal commands are refused with their texts.
    TTRN* moving = FindTrain([](const TTRN& tr) { return tr.State == TsMoving && tr.Speed > 1; });
    ASSERT_NE(moving, nullptr);
    ASSERT_TRUE(form.SelectTrain(moving->ID));
    const std::pair<TrainCommand, const char*> refused[] = {
        {TrainCommand::AuthorisePass,
         "Cannot authorise train to pass signal at danger: Not stopped at red signal"},
        {TrainCommand::ExamineLine,
         "Cannot tell driver to examine the line: Not stopped at red signal"},
        {TrainCommand::Reverse, "Cannot reverse train: Train in motion"},
        {TrainCommand::AbandonJoin,
         "Cannot ignore joining trains: Not waiting for a joining train"},
    };
    for (const auto& [command, text] : refused) {
        t.dialogs.Errors.clear();
        EXPECT_EQ(form.RunCommand(command), TrainCommandResult::Refused) << text;
        ASSERT_EQ(t.dialogs.Errors.size(), 1u) << text;
        EXPECT_EQ(t.dialogs.Errors.front(), text);
    }

    // The same length again still costs 50 points; a longer one is refused.
    t->Performance.Score = 200;
    t.dialogs.InputAnswer = std::to_string(moving->Length);
    ASSERT_TRUE(form.SelectTrain(moving->ID));
    EXPECT_EQ(form.RunCommand(TrainCommand::AdjustLength), TrainCommandResult::Done);
    EXPECT_EQ(t->Performance.Score, 150);
    EXPECT_EQ(t->Performance.TrainsShortened, 1);
    t.dialogs.Errors.clear();
    t.dialogs.InputAnswer = std::to_string(moving->Length + 1);
    ASSERT_TRUE(form.SelectTrain(moving->ID));
    EXPECT_EQ(form.RunCommand(TrainCommand::AdjustLength), TrainCommandResult::Refused);
    ASSERT_EQ(t.dialogs.Errors.size(), 1u);
    EXPECT_EQ(t.dialogs.Errors.front(),
              "Cannot make train longer than it is, or less than 20m long");

    // Non-stop on a timetabled train with trips left marks the column.
    ASSERT_TRUE(form.SelectTrain(moving->ID));
    if (moving->Timetable && moving->TripIndex >= 0 &&
        moving->TripIndex + 1 < moving->Timetable->Trips.Count()) {
        EXPECT_EQ(form.RunCommand(TrainCommand::NonStop), TrainCommandResult::Done);
        ASSERT_TRUE(form.SelectTrain(moving->ID));
        EXPECT_EQ(form.StringGrid->item(form.StringGrid->currentRow(), 7)->text(), "Y");
    }

    // Removing a train closes the window and costs 50 points.
    const std::string removed = moving->ID;
    const int before = t->Trains.TrainsInArea();
    t.dialogs.ConfirmAnswer = true;
    ASSERT_TRUE(form.SelectTrain(removed));
    EXPECT_EQ(form.RunCommand(TrainCommand::Remove), TrainCommandResult::Removed);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(t->Performance.TrainsRemoved, 1);
    t.Ticks(2);
    EXPECT_EQ(t->Trains.TrainsInArea(), before - 1);
    EXPECT_EQ(t->Berths.CountDescription(removed), 0) << "its description went with it";
    t.Ticks(600);
    EXPECT_EQ(t->ErrorsCaught, 0);
}

TEST_F(ReportGui, ATrainLeavingWhileTheListIsOpenIsNotTouched) {
    Run(20);
    t->Performance.Score = 100;
    t.dialogs.ConfirmAnswer = true;
    t.dialogs.InputAnswer = "20";
    for (const TrainMenuItem& item : TrainMenuItems) {
        SCOPED_TRACE(item.Caption);
        TTRN* train = nullptr;
        // More trains come in while the game runs.
        for (int minute = 0; minute < 60 && !train; ++minute) {
            train = FindTrain([](const TTRN&) { return true; });
            if (!train) t.Ticks(120);
        }
        ASSERT_NE(train, nullptr);
        TTrainListForm form(*t);
        form.show();
        const std::string id = train->ID;
        ASSERT_TRUE(form.SelectTrain(id));
        // The train goes while the window shows its row (the list is not filled again).
        train->VacateAll();
        train->SetState(TsLeaving);
        t.Ticks(2);
        ASSERT_EQ(t->Trains.FindTrain(id), nullptr);
        t.dialogs.Errors.clear();
        EXPECT_EQ(form.RunCommand(item.Command), TrainCommandResult::Gone);
        ASSERT_EQ(t.dialogs.Errors.size(), 1u);
        EXPECT_EQ(t.dialogs.Errors.front(), TrainGoneMessage);
        // The list is filled again without the train.
        EXPECT_FALSE(form.SelectTrain(id));
        EXPECT_TRUE(form.isVisible());
    }
    EXPECT_EQ(t->Performance.Score, 100);
    EXPECT_EQ(t->Performance.TrainsRemoved + t->Performance.TrainsShortened, 0);
    t.Ticks(240);
    EXPECT_EQ(t->ErrorsCaught, 0);
}

TEST_F(ReportGui, TheAnalysisWindowShowsTheLinesAndClosesOnEnter) {
    Run(40);
    const std::vector<std::string> lines = t->Performance.AnalysisLines();
    ASSERT_GT(t->Performance.MaxScore, 0);
    TPerformanceForm form(lines, &*t);
    form.show();
    Shot(form, "performance-analysis");
    EXPECT_EQ(form.windowTitle(), "Performance Analysis");
    EXPECT_TRUE(form.Details->isReadOnly());
    const QStringList shown = form.Details->toPlainText().split('\n');
    ASSERT_EQ(shown.size(), static_cast<int>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(shown[static_cast<int>(i)].toStdString(), lines[i]);
    EXPECT_EQ(form.OkButton->text(), "&Ok");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(form.Details, &enter);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ReportGui, TheGraphFollowsTheGameZoomsAndSavesAPicture) {
    Run(50);
    TGraphForm form(*t);
    form.show();
    ASSERT_EQ(form.LineChooser().count(), 3);
    for (int i = 0; i < 3; ++i) {
        form.LineChooser().setCurrentIndex(i);
        EXPECT_FALSE(form.View().Graph().Trains.empty()) << form.View().Graph().Name;
    }
    form.LineChooser().setCurrentIndex(0);
    // Following, the view ends a little after the clock.
    EXPECT_GT(form.View().To(), t->SimTime);
    EXPECT_LT(form.View().From(), t->SimTime);
    Shot(form, "graph-window");
    const std::int32_t span = form.View().To() - form.View().From();
    form.View().ZoomAbout(0.5, form.View().width() / 2);
    EXPECT_LT(form.View().To() - form.View().From(), span);
    const std::int32_t from = form.View().From();
    form.View().Pan(600);
    EXPECT_EQ(form.View().From(), from + 600);

    const std::string path = ::testing::TempDir() + "kestra_graph.png";
    std::string error;
    ASSERT_TRUE(form.SaveAs(path, error)) << error;
    QImage image(QString::fromStdString(path));
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), 1200);
    EXPECT_EQ(image.height(), 800);
    // Some of the picture is the colour of trains on time.
    int green = 0;
    for (int x = 0; x < image.width(); x += 2)
        for (int y = 0; y < image.height(); y += 2)
            green += image.pixelColor(x, y).green() > 120 && image.pixelColor(x, y).red() < 80;
    EXPECT_GT(green, 20);
    const QByteArray folder = qgetenv("KESTRA_SHOTS");
    if (!folder.isEmpty()) image.save(QString(folder) + "/graph-down-main.png");
}

TEST_F(ReportGui, ThePunctualityReportListsEveryReportAndSavesTheCsv) {
    Run(40);
    ASSERT_FALSE(t->Record.Reports.empty());
    TPunctualityForm form(*t);
    form.show();
    Shot(form, "punctuality");
    EXPECT_EQ(form.Reports->rowCount(), static_cast<int>(t->Record.Reports.size()));
    EXPECT_EQ(form.Reports->item(0, 0)->text().toStdString(), t->Record.Reports.front().Train);
    EXPECT_TRUE(form.Summary->toPlainText().startsWith("Trains:"));
    const std::string path = ::testing::TempDir() + "kestra_punctuality.csv";
    std::string error;
    ASSERT_TRUE(form.SaveCsv(path, error)) << error;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), PunctualityCsv(t->Record));
    EXPECT_FALSE(form.SaveCsv(::testing::TempDir() + "no/such/folder/x.csv", error));
}

}  // namespace
}  // namespace kestra::app
