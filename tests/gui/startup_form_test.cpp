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
#include "fakes/fakes.h"
#include "persist/saved_simulation.h"

namespace kestra::app {
namespace {

namespace fs = std::filesystem;

const std::string kTimetable = std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT";

class StartupFormTest : public ::testing::Test {
  public:
    StartupFormTest() {
        area::BuildArea(*t);
        area::SetAreaTitle(*t);
        folder = fs::temp_directory_path() / "kestra_startup_form";
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

}  // namespace
}  // namespace kestra::app
