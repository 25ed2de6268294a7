// The timetable menu's Open (merge with current) and Save As, driven through the dialogs
// port as the program's file dialogs drive them.

#include "panel/timetable_menu.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "panel/commands.h"
#include "timetable/timetable_file.h"
#include "timetable_fixture.h"

namespace kestra {
namespace {

namespace fs = std::filesystem;
using testing_tt::TimetableFixture;

struct MenuFixture : TimetableFixture {
    fs::path dir;
    std::vector<std::string> messages;

    MenuFixture() {
        dir = fs::temp_directory_path() /
              ("kestra_tt_menu_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        sim->Messages().LineObserver = [this](const std::string& text, int) {
            messages.push_back(text);
        };
    }
    ~MenuFixture() { fs::remove_all(dir); }

    // A file holding category FRT and STOP and the trains 6F01 and 2B01.
    std::string OtherFile() {
        TimetableFixture other;
        other.sim->Timetable.Name = "Other";
        other.sim->Timetable.StartTime = 5 * 3600;
        TTrainCategory& stop = other.sim->Categories.Create("STOP");
        stop.MaxSpeed = 75;
        other.sim->Categories.Create("FRT").IsFreight = true;
        other.EnteringTrain("6F01", 40000);
        other.EnteringTrain("2B01", 41000);
        const std::string path = (dir / "other.WTT").string();
        EXPECT_TRUE(SaveTimetableFile(*other.sim, path));
        return path;
    }

    std::vector<std::string> Headcodes() const {
        std::vector<std::string> out;
        sim->Timetable.ForEach([&](TTimetable& t) { out.push_back(t.ID); });
        return out;
    }
};

TEST(TimetableMenu, OpenAppendsTheFilesTrainsAndKeepsTheHeader) {
    MenuFixture f;
    f.sim->Timetable.Name = "Mine";
    f.sim->Timetable.StartTime = 7 * 3600;
    f.sim->Categories.Create("STOP").MaxSpeed = 90;
    f.EnteringTrain("1A01", 36000);
    f.dialogs.FileAnswer = f.OtherFile();
    ASSERT_TRUE(TimetableOpenMerge(*f.sim));
    EXPECT_EQ(f.Headcodes(), (std::vector<std::string>{"1A01", "6F01", "2B01"}));
    EXPECT_EQ(f.sim->Timetable.Name, "Mine");
    EXPECT_EQ(f.sim->Timetable.StartTime, 7 * 3600);
    // One category per name: the list keeps its own STOP and gains FRT.
    ASSERT_EQ(f.sim->Categories.Count(), 2);
    EXPECT_EQ(f.sim->Categories.At(0)->MaxSpeed, 90);
    EXPECT_EQ(f.sim->Categories.At(1)->ID, "FRT");
    // The dialog opened in the area's folder on timetable files.
    ASSERT_EQ(f.dialogs.FileChoices.size(), 1u);
    EXPECT_EQ(f.dialogs.FileChoices[0].InitialFolder, "TST");
    EXPECT_EQ(f.dialogs.FileChoices[0].Filter,
              "Timetables (*.WTT *.txt)|*.WTT;*.txt|All files (*.*)|*.*");
}

TEST(TimetableMenu, OpenOfABrokenFileOrNoFileChangesNothing) {
    MenuFixture f;
    f.EnteringTrain("1A01", 36000);
    const std::string good = f.OtherFile();
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(good, bytes));
    bytes.resize(bytes.size() - 3);  // the last train's record cut short
    const std::string cut = (f.dir / "cut.WTT").string();
    ASSERT_TRUE(WriteFileReplacing(cut, bytes));
    struct Case {
        const char* Name;
        std::optional<std::string> Answer;
    };
    for (const Case& c : {Case{"cancelled", std::nullopt}, Case{"cut short", cut},
                          Case{"missing", (f.dir / "none.WTT").string()}}) {
        SCOPED_TRACE(c.Name);
        f.dialogs.FileAnswer = c.Answer;
        EXPECT_FALSE(TimetableOpenMerge(*f.sim));
        EXPECT_EQ(f.Headcodes(), std::vector<std::string>{"1A01"});
        EXPECT_EQ(f.sim->Categories.Count(), 0);
    }
}

// Open takes the text form as it takes a timetable file; a text file with a mistake is
// refused with its line in an error box, and nothing is merged.
TEST(TimetableMenu, OpenTakesTheTextFormAndShowsItsErrors) {
    MenuFixture f;
    f.EnteringTrain("1A01", 36000);
    const fs::path good = f.dir / "more.txt";
    std::ofstream(good) << "name Ignored\ncategory S speed 60\ntrain 2P01 S W 10:30\n"
                           "  A 10:32 10:33\n  B 10:40 10:41 plat 1\n";
    f.dialogs.FileAnswer = good.string();
    ASSERT_TRUE(TimetableOpenMerge(*f.sim));
    EXPECT_EQ(f.Headcodes(), (std::vector<std::string>{"1A01", "2P01"}));
    EXPECT_EQ(f.sim->Timetable.Name, "None");
    EXPECT_TRUE(f.dialogs.Errors.empty());

    const fs::path bad = f.dir / "bad.txt";
    std::ofstream(bad) << "train 2P02 S W 10:30\n  A 10:35 10:33\n";
    f.dialogs.FileAnswer = bad.string();
    EXPECT_FALSE(TimetableOpenMerge(*f.sim));
    EXPECT_EQ(f.Headcodes(), (std::vector<std::string>{"1A01", "2P01"}));
    ASSERT_EQ(f.dialogs.Errors.size(), 1u);
    EXPECT_EQ(f.dialogs.Errors[0],
              "The timetable was not loaded: line 2: train 2P02: arrives at A at 10:35 but "
              "departs at 10:33: the departure must not be before the arrival");
}

TEST(TimetableMenu, SaveAsTakesTheChosenNameAndWritesTheFile) {
    MenuFixture f;
    f.sim->Timetable.Name = "Draft";
    f.EnteringTrain("1A01", 36000);
    f.dialogs.FileAnswer = (f.dir / "Weekday.WTT").string();
    EXPECT_TRUE(TimetableSaveAs(*f.sim));
    EXPECT_EQ(f.sim->Timetable.Name, "Weekday");
    ASSERT_EQ(f.dialogs.FileChoices.size(), 1u);
    EXPECT_EQ(f.dialogs.FileChoices[0].ProposedName, "Draft.WTT");
    EXPECT_EQ(f.dialogs.FileChoices[0].DefaultExtension, "WTT");
    EXPECT_EQ(f.dialogs.FileChoices[0].InitialFolder, "TST");
    ASSERT_FALSE(f.messages.empty());
    EXPECT_NE(f.messages.back().find("TIMETABLE SAVED OK"), std::string::npos);
    EXPECT_EQ(f.sim->PauseCount, 0);
    // The file holds the timetable under its new name.
    TTimetableHeader header;
    ASSERT_TRUE(ReadTimetableHeader(*f.dialogs.FileAnswer, header));
    EXPECT_EQ(header.Name, "Weekday");
}

TEST(TimetableMenu, SaveAsFailureIsReportedAndCancelWritesNothing) {
    MenuFixture f;
    f.EnteringTrain("1A01", 36000);
    f.dialogs.FileAnswer = (f.dir / "no such folder" / "x.WTT").string();
    EXPECT_FALSE(TimetableSaveAs(*f.sim));
    ASSERT_FALSE(f.messages.empty());
    EXPECT_NE(f.messages.back().find("TIMETABLE FAILED TO SAVE"), std::string::npos);
    EXPECT_EQ(f.dialogs.Errors, std::vector<std::string>{"Error saving timetable"});
    EXPECT_EQ(f.sim->PauseCount, 0);
    f.messages.clear();
    f.dialogs.FileAnswer.reset();
    f.sim->Timetable.Name = "Kept";
    EXPECT_FALSE(TimetableSaveAs(*f.sim));
    EXPECT_EQ(f.sim->Timetable.Name, "Kept");
    EXPECT_TRUE(f.messages.empty());
    EXPECT_EQ(f.sim->PauseCount, 0);
}

TEST(TimetableMenu, AClientIsRefusedWithoutADialog) {
    MenuFixture f;
    f.sim->ClientMode = true;
    f.dialogs.FileAnswer = (f.dir / "x.WTT").string();
    EXPECT_FALSE(TimetableOpenMerge(*f.sim));
    EXPECT_FALSE(TimetableSaveAs(*f.sim));
    EXPECT_TRUE(f.dialogs.FileChoices.empty());
    EXPECT_FALSE(fs::exists(f.dir / "x.WTT"));
    ASSERT_EQ(f.messages.size(), 2u);
    EXPECT_NE(f.messages[0].find("NOT AVAILABLE IN CLIENT MODE!"), std::string::npos);
}

TEST(TimetableMenu, FileBaseNameDropsFolderAndExtension) {
    EXPECT_EQ(FileBaseName("VLM/Weekday.WTT"), "Weekday");
    EXPECT_EQ(FileBaseName("C:\\Kestra\\VLM\\Late.turn.WTT"), "Late.turn");
    EXPECT_EQ(FileBaseName("plain"), "plain");
    EXPECT_EQ(FileBaseName(".hidden"), ".hidden");
}

}  // namespace
}  // namespace kestra
