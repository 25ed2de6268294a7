// The start-up and new-scenario dialogs under the offscreen platform: the timetables
// offered, a new game started through the pages, a saved game loaded, and "Exit".

#include "startup_form.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <filesystem>
#include <fstream>
#include <memory>

#include "area/area_builder.h"
#include "display_form.h"
#include "fakes/fakes.h"
#include "persist/game_menu.h"
#include "persist/saved_simulation.h"
#include "qt_surface.h"

namespace kestra::app {
namespace {

namespace fs = std::filesystem;

const std::string kTimetable = std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT";

class StartupFormTest : public ::testing::Test {
  public:
    StartupFormTest() {
        area::BuildArea(*t);
        area::SetAreaTitle(*t);
        // A folder of each test's own: ctest runs them side by side.
        folder = fs::temp_directory_path() /
                 ("kestra_startup_form_" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~StartupFormTest() override { fs::remove_all(folder); }

    QStringList Offered(TNewSimForm& form) {
        QStringList names;
        for (int i = 0; i < form.Timetables()->count(); ++i)
            names << form.Timetables()->item(i)->text();
        return names;
    }
    // Saves a picture of the window beside the test program, to look at.
    static void Picture(QWidget& w, const char* name) {
        w.show();
        w.grab().save(QString(KESTRA_BINARY_DIR) + "/" + name);
    }

    test::TestSim t;
    fs::path folder;
};

TEST_F(StartupFormTest, AnEmptyFolderOffersOnlyNone) {
    TNewSimForm form(*t, folder.string());
    EXPECT_EQ(Offered(form), QStringList{"(None)"});
    EXPECT_EQ(form.Pages()->currentIndex(), 0);
    EXPECT_EQ(form.OkButton()->text(), "&Next >");
    EXPECT_EQ(form.Scenarios()->count(), static_cast<int>(area::ScenarioNames().size()));
    EXPECT_EQ(form.Scenarios()->currentRow(), 0);
    EXPECT_EQ(form.TimetableDescription()->toPlainText(), "Nothing selected");
    EXPECT_FALSE(form.StartTime()->isEnabled());
}

TEST_F(StartupFormTest, BadTimetablesAreLeftOut) {
    fs::copy_file(kTimetable, folder / "standard.WTT");
    fs::copy_file(kTimetable, folder / "Late.wtt");
    std::ofstream(folder / "broken.WTT") << "nothing";
    TNewSimForm form(*t, folder.string());
    EXPECT_EQ(Offered(form), (QStringList{"(None)", "Late", "standard"}));
    form.Timetables()->setCurrentRow(0);
    EXPECT_EQ(form.TimetableDescription()->toPlainText(), "Play with no timetable");
    form.Timetables()->setCurrentRow(2);
    EXPECT_TRUE(form.StartTime()->isEnabled());
    EXPECT_EQ(form.StartTime()->text(), "06:00");
    EXPECT_TRUE(t.dialogs.Errors.empty());
}

TEST_F(StartupFormTest, ATextTimetableIsOfferedWithItsHeader) {
    std::ofstream(folder / "hand.txt")
        << "name Hand\ndescription Three trains written by hand\nstart 07:30\n"
           "train 2D01 - WEST 07:31 accel 3 speed 75 length 80 power diesel\n"
           "  OSTWK 07:33 07:34 plat 1\n";
    std::ofstream(folder / "readme.txt") << "not a timetable\n";
    TNewSimForm form(*t, folder.string());
    EXPECT_EQ(Offered(form), (QStringList{"(None)", "hand"}));
    form.Timetables()->setCurrentRow(1);
    EXPECT_EQ(form.TimetableDescription()->toPlainText(), "Three trains written by hand");
    EXPECT_TRUE(form.StartTime()->isEnabled());
    EXPECT_EQ(form.StartTime()->text(), "07:30");
    EXPECT_TRUE(t.dialogs.Errors.empty());
    Picture(form, "new_scenario_text_timetable.png");
}

TEST_F(StartupFormTest, StandardWithATimetableAtEightStartsTheGame) {
    fs::copy_file(kTimetable, folder / "standard.WTT");
    TNewSimForm form(*t, folder.string());
    Picture(form, "new_scenario_scenario.png");
    form.Scenarios()->setCurrentRow(1);  // Standard
    form.OkClicked();
    EXPECT_EQ(form.Pages()->currentIndex(), 1);
    EXPECT_EQ(form.OkButton()->text(), "&Ok");
    EXPECT_EQ(form.result(), QDialog::Rejected) << "Next does not close the dialog";
    form.Timetables()->setCurrentRow(1);
    form.StartTime()->setText("8:00");
    form.OkClicked();
    ASSERT_EQ(t.dialogs.Errors.size(), 1u);
    EXPECT_EQ(t.dialogs.Errors[0], "Invalid time (HH:MM)");
    form.StartTime()->setText("08:00");
    Picture(form, "new_scenario_timetable.png");
    form.OkClicked();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(t->SimTime, 8 * 3600);
    EXPECT_GT(t->Timetable.Count(), 0);
    EXPECT_EQ(t->Options().MaxFailures, 2);
    int early = 0, gone = 0;
    t->Timetable.ForEach([&](TTimetable& tt) {
        if (tt.EntryPoint && tt.EntryTime < 8 * 3600) {
            ++early;
            gone += tt.Entered ? 1 : 0;
        }
    });
    EXPECT_GT(early, 0);
    EXPECT_EQ(gone, early) << "the delays were drawn at eight";
}

TEST_F(StartupFormTest, LoadGameAndExit) {
    const std::string saved = (folder / "game.ZRV").string();
    {
        test::TestSim other;
        area::BuildArea(*other);
        other->SimTime = 40000;
        ASSERT_EQ(SaveSimulation(*other, saved), 0);
    }
    TStartupForm form(*t, folder.string());
    Picture(form, "startup.png");
    EXPECT_EQ(form.NewButton()->toolTip(), "Start a new game");
    EXPECT_EQ(form.LoadButton()->toolTip(), "Load a saved game");
    EXPECT_EQ(form.ExitButton()->toolTip(), "Exit Kestra");
    t.dialogs.FileAnswer = saved;
    form.LoadGameClicked();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(t->SimTime, 40000);
    ASSERT_FALSE(t.dialogs.FileChoices.empty());
    EXPECT_EQ(t.dialogs.FileChoices[0].InitialFolder, folder.string());

    TStartupForm again(*t, folder.string());
    again.show();
    again.ExitButton()->click();
    EXPECT_EQ(again.result(), QDialog::Rejected);
}

// "Network Play" is offered only with a network to play over; the dialog closes once
// the player has named a server, and stays while they cancel.
TEST_F(StartupFormTest, NetworkPlayConnectsAndCloses) {
    TStartupForm alone(*t, folder.string());
    EXPECT_FALSE(alone.NetworkButton()->isEnabled());

    int asked = 0;
    bool answer = false;
    TStartupForm form(*t, folder.string(), nullptr, [&] {
        ++asked;
        return answer;
    });
    EXPECT_TRUE(form.NetworkButton()->isEnabled());
    EXPECT_EQ(form.NetworkButton()->toolTip(), "Connect to a server and play with other players");
    form.show();
    form.NetworkButton()->click();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(form.isVisible());
    answer = true;
    form.NetworkButton()->click();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

// A game played, saved with the menu's "Save As...", and loaded from the start-up
// dialog by another program shows the same panel.
TEST_F(StartupFormTest, ASavedGameLoadsToTheSamePanel) {
    fs::copy_file(kTimetable, folder / "standard.WTT");
    NewGameChoice choice;
    choice.Scenario = 1;
    choice.Timetable = "standard";
    choice.StartTime = "06:30";
    ASSERT_TRUE(StartNewGame(*t, folder.string(), choice));
    QtPanelSurface played;
    t->SetSurface(&played);
    TDisplayForm form(*t, played);
    for (int i = 0; i < 1200; ++i) t->MajorCycleTick();
    ASSERT_GT(t->Trains.Count(), 0);
    const std::string saved = (folder / "game.ZRV").string();
    t.dialogs.FileAnswer = saved;
    form.RunMenuCommand(MenuCommand::SaveAs);
    EXPECT_EQ(test::LastMessage(t), "Simulation saved ok");

    test::TestSim other;
    area::BuildArea(*other);
    area::SetAreaTitle(*other);
    QtPanelSurface loaded;
    other->SetSurface(&loaded);
    TStartupForm start(*other, folder.string());
    other.dialogs.FileAnswer = saved;
    start.LoadGameClicked();
    ASSERT_EQ(start.result(), QDialog::Accepted);
    EXPECT_EQ(other->SimTime, t->SimTime);
    // The message line is not kept with a game, nor the flash phase.
    t->Messages().ClearMessages();
    other->FlashPhase = t->FlashPhase;
    other->FlashGrey = t->FlashGrey;
    other->FlashRed = t->FlashRed;
    other->FlashWhite = t->FlashWhite;
    for (Sim* s : {t.sim.get(), other.sim.get()}) {
        s->Display().CurrentScreen = 1;
        s->Display().RedrawPanel();
    }
    played.Image().save(QString(KESTRA_BINARY_DIR) + "/played.png");
    loaded.Image().save(QString(KESTRA_BINARY_DIR) + "/loaded.png");
    EXPECT_TRUE(played.Image() == loaded.Image());
}

}  // namespace
}  // namespace kestra::app
