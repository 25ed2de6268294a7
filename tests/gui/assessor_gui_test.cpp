// The assessor's control panel under the offscreen platform, on the built-in area: each
// kind of injection through the window's own controls has its effect and is logged;
// the SPAD and restriction dialogs refuse bad numbers; the report is saved and read
// back; the panel is offered only with the assessor's switch, and not on a client.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <fstream>
#include <memory>
#include <sstream>

#include "area/area_builder.h"
#include "assessor_form.h"
#include "display_form.h"
#include "fakes/fakes.h"
#include "interlocking/level_crossing.h"
#include "interlocking/points.h"
#include "interlocking/signal.h"
#include "interlocking/speed_restriction.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "qt_surface.h"
#include "sim/sim.h"
#include "trains/train.h"

namespace kestra::app {
namespace {

// With KESTRA_SHOTS set to a folder, the windows are saved there as pictures.
void Shot(QWidget& w, const char* name) {
    const QByteArray folder = qgetenv("KESTRA_SHOTS");
    if (!folder.isEmpty()) w.grab().save(QString(folder) + "/" + name + ".png");
}

// Selects the entry whose text is given; false when there is none.
bool Select(QListWidget* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    if (found.isEmpty()) return false;
    list->setCurrentItem(found.front());
    return true;
}

class AssessorGui : public ::testing::Test {
  protected:
    AssessorGui() {
        Ports ports;
        ports.Dialog = &dialogs;
        ports.Time = &clock;
        sim = std::make_unique<Sim>(ports, 5);
        area::BuildArea(*sim);
        sim->SimTime = 8 * 3600;
        assessor = std::make_unique<TAssessor>(*sim, "2026-01-01 08:00:00");
        form = std::make_unique<TACPForm>(*sim, *assessor);
        form->show();
    }
    bool Logged(const std::string& text) const {
        const auto& log = assessor->ActionLog();
        return !log.empty() && log.back() == "08:00:00   " + text &&
               form->LogList->count() == static_cast<int>(log.size());
    }
    test::RecordingDialogs dialogs;
    test::ManualClock clock;
    std::unique_ptr<Sim> sim;
    std::unique_ptr<TAssessor> assessor;
    std::unique_ptr<TACPForm> form;
};

TEST_F(AssessorGui, TakingControlAndPointsDetection) {
    form->TakeControlCheck->click();
    EXPECT_TRUE(sim->AssessorInControl);
    form->Pages->setCurrentIndex(2);
    EXPECT_FALSE(form->PointDetails->isEnabled());  // nothing selected yet
    TPTS* p = sim->Points.At(0);
    ASSERT_TRUE(Select(form->PointsList, QString::fromStdString(p->ID)));
    EXPECT_TRUE(form->PointDetails->isEnabled());
    EXPECT_TRUE(form->NormalDetectionCheck->isChecked());
    form->NormalDetectionCheck->click();
    EXPECT_TRUE(p->FailedNormal);
    EXPECT_TRUE(Logged("Points " + p->ID + " failed normal detection"));
    form->ReverseDetectionCheck->click();
    EXPECT_TRUE(p->FailedReverse);
    EXPECT_TRUE(Logged("Points " + p->ID + " failed reverse detection"));
    Shot(*form, "assessor_points");
}

TEST_F(AssessorGui, SignalLampProving) {
    TSIG* s = sim->Signals.FindID("SVM27");
    ASSERT_TRUE(Select(form->SignalList, "SVM27"));
    EXPECT_TRUE(form->LampProvingCheck->isChecked());
    form->LampProvingCheck->click();
    EXPECT_FALSE(s->LampProved);
    EXPECT_TRUE(Logged("Signal SVM27 failed lamp proving"));
}

TEST_F(AssessorGui, TrackCircuitOccupationAndMarking) {
    TTCS* c = sim->TrackCircuits.At(4);
    ASSERT_TRUE(Select(form->CircuitList, QString::fromStdString(c->ID)));
    form->OccupyClicked();
    form->OccupyClicked();
    form->UnoccupyClicked();
    EXPECT_EQ(c->OccupyCount, 1);
    EXPECT_EQ(form->OccupancyLabel->text(), "Occupancy count: 1");
    EXPECT_TRUE(Logged("Track " + c->ID + " cleared"));
    form->IsolationChanged(5);
    EXPECT_EQ(c->ISOType, IsoBET);
}

TEST_F(AssessorGui, PowerFailureOverALocation) {
    TLOC* quillby = sim->Locations.FindID("QLBY");
    ASSERT_TRUE(Select(form->LocationList, QString::fromStdString(quillby->Name)));
    EXPECT_TRUE(form->PowerOptions->isEnabled());
    form->FailAllClicked();
    EXPECT_TRUE(Logged("Power failure placed over Quillby area"));
    int occupied = 0;
    sim->TrackCircuits.ForEach([&](TTCS& c) {
        if (c.Location == quillby && c.OccupyCount == 1) ++occupied;
    });
    EXPECT_GT(occupied, 0);
    form->FixAllClicked();
    EXPECT_TRUE(Logged("Power failure removed from Quillby area"));
    sim->TrackCircuits.ForEach([&](TTCS& c) {
        if (c.Location == quillby) {
            EXPECT_EQ(c.OccupyCount, 0) << c.ID;
        }
    });
}

TEST_F(AssessorGui, TrainPauseAndAuthorityToPassASignal) {
    TTRN& t = sim->Trains.Create("1A23");
    form->Refresh();
    ASSERT_TRUE(Select(form->TrainList, "1A23"));
    form->PauseTrainCheck->click();
    EXPECT_TRUE(t.Paused);
    EXPECT_TRUE(Logged("Train 1A23 paused"));
    TACPSPADForm dialog(*sim, form.get());
    dialog.StopAtDistanceRadio->setChecked(true);
    EXPECT_TRUE(dialog.OverrunEdit->isEnabled());
    dialog.OverrunEdit->setText("0");
    EXPECT_FALSE(dialog.OkClicked());
    ASSERT_FALSE(dialogs.Errors.empty());
    EXPECT_EQ(dialogs.Errors.back(), "Invalid overrun value");
    dialog.OverrunEdit->setText("120");
    ASSERT_TRUE(dialog.OkClicked());
    form->ApplySPAD(dialog);
    EXPECT_EQ(t.PassMode, PassNextAndStop);
    EXPECT_DOUBLE_EQ(t.PassDistance, 120.0);
    EXPECT_TRUE(Logged("Train 1A23 SPAD (StopAtDistance 120m)"));
}

// Trains leave while the panel is open: the selection stays on its train, not on
// whichever train moved into its place in the list.
TEST_F(AssessorGui, TheTrainSelectedStaysSelectedWhenAnotherLeaves) {
    sim->Trains.Create("1A01");
    TTRN& kept = sim->Trains.Create("1A02");
    sim->Trains.Create("1A03");
    form->Refresh();
    ASSERT_TRUE(Select(form->TrainList, "1A02"));
    sim->Trains.Destroy(sim->Trains.FindID("1A01"));
    sim->Trains.Pack();
    form->Refresh();
    ASSERT_EQ(form->TrainList->count(), 2);
    EXPECT_EQ(form->SelectedTrain(), &kept);
    form->PauseTrainCheck->click();
    EXPECT_TRUE(kept.Paused);
    EXPECT_FALSE(sim->Trains.FindID("1A03")->Paused);
}

// Every page's tab is in view: none hides behind scroll buttons.
TEST_F(AssessorGui, EveryTabIsInView) {
    const QTabBar* bar = form->Pages->tabBar();
    ASSERT_NE(bar, nullptr);
    for (int i = 0; i < bar->count(); ++i) {
        const QRect r = bar->tabRect(i);
        EXPECT_TRUE(bar->rect().contains(r)) << bar->tabText(i).toStdString();
    }
}

TEST_F(AssessorGui, SpeedRestrictionThroughTheEditor) {
    TTCS* c = sim->TrackCircuits.At(2);
    {
        TTSREditForm editor(*sim, TSRDraft{}, form.get());
        EXPECT_TRUE(editor.CircuitRadio->isChecked());
        editor.IdentityEdit->setText("");
        EXPECT_FALSE(editor.OkClicked());
        EXPECT_EQ(dialogs.Errors.back(), "An identity must be entered");
        editor.IdentityEdit->setText("WORKS");
        EXPECT_FALSE(editor.OkClicked());
        EXPECT_EQ(dialogs.Errors.back(), "A track circuit or subroute must be selected");
        editor.CircuitCombo->setCurrentIndex(
            editor.CircuitCombo->findText(QString::fromStdString(c->ID)));
        editor.FreightEdit->setText("fast");
        EXPECT_FALSE(editor.OkClicked());
        EXPECT_EQ(dialogs.Errors.back(), "Invalid number");
        editor.FreightEdit->setText("20");
        editor.PassengerEdit->setText("30");
        ASSERT_TRUE(editor.OkClicked());
        form->ApplyAddTSR(editor);
    }
    ASSERT_EQ(c->TSRs.Count(), 1);
    EXPECT_EQ(c->TSRs.At(0)->ID, "WORKS");
    EXPECT_TRUE(Logged("Temporary speed restriction added to track " + c->ID));
    ASSERT_EQ(form->TSRList->count(), 1);
    form->TSRList->setCurrentRow(0);
    form->DeleteTSRClicked();
    EXPECT_EQ(c->TSRs.Count(), 0);
    EXPECT_EQ(form->TSRList->count(), 0);
    EXPECT_TRUE(Logged("Temporary speed restriction removed from track " + c->ID));
}

TEST_F(AssessorGui, LevelCrossingBarrierFailure) {
    TLevelCrossing* lx = sim->LevelCrossings.FindID("QLBYLC");
    ASSERT_TRUE(Select(form->CrossingList, "QUILLBY LC"));
    EXPECT_TRUE(form->BarriersWorkingCheck->isChecked());
    form->BarriersWorkingCheck->click();
    EXPECT_TRUE(lx->BarrierFailed);
    EXPECT_TRUE(Logged("Level crossing QUILLBY LC barriers failed"));
}

TEST_F(AssessorGui, TheReportIsSavedAndReadBack) {
    assessor->LogAction("Track T1 occupied");
    form->AssessorNameEdit->setText("Ann Assessor");
    form->AssesseeNameEdit->setText("Ben Trainee");
    form->CommentsEdit->setPlainText("Kept calm\nLate on 2T05");
    const QString path = QString::fromStdString(::testing::TempDir()) + "kestra_acp_report.TXT";
    ASSERT_TRUE(form->SaveReportTo(path));
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string report = text.str();
    for (const char* line :
         {"Name of person doing the assessing: Ann Assessor\r\n",
          "Name of person being assessed:      Ben Trainee\r\n", "Kept calm\r\nLate on 2T05\r\n",
          "08:00:00   Track T1 occupied\r\n", "END OF REPORT\r\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line;
    EXPECT_FALSE(form->SaveReportTo("/nonexistent-folder/r.TXT"));
    EXPECT_EQ(dialogs.Errors.back(),
              "Error during saving of logfile. Try another filename or a different location.");
}

TEST(AssessorGuiGate, OfferedOnlyWithTheAssessorsSwitchAndNotOnAClient) {
    test::RecordingSurface recording;
    Ports ports;
    ports.Surface = &recording;
    Sim sim(ports, 1);
    area::BuildArea(sim);
    QtPanelSurface surface;
    TDisplayForm form(sim, surface);
    EXPECT_EQ(form.ShowAssessorPanel(), nullptr);
    form.SetAssessorMode(true);
    TACPForm* panel = form.ShowAssessorPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->windowTitle(), "Assessor Control Panel");
    EXPECT_EQ(form.ShowAssessorPanel(), panel);  // one panel for the program's run
    panel->hide();
    std::vector<std::string> lines;
    sim.Messages().LineObserver = [&](const std::string& text, int) { lines.push_back(text); };
    sim.ClientMode = true;
    EXPECT_EQ(form.ShowAssessorPanel(), nullptr);
    sim.Messages().LineObserver = nullptr;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "NOT AVAILABLE IN CLIENT MODE!");
}

}  // namespace
}  // namespace kestra::app
