// Beginning, keeping and resuming a game: the timetables the new game offers, the
// start-time field, the new game itself, and the save, load and new-simulation
// commands through the dialogs.

#include "persist/game_menu.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/fakes.h"
#include "persist/saved_simulation.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_start.h"

namespace kestra {
namespace {

namespace fs = std::filesystem;

const std::string kTimetable = std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT";

std::unique_ptr<test::TestSim> AreaSim() {
    auto t = std::make_unique<test::TestSim>();
    area::BuildArea(**t);
    return t;
}

fs::path EmptyFolder(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("kestra_game_menu_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(GameMenu, TheDataFolderIsTheCurrentFolderAndTheArea) {
    EXPECT_EQ(DataFolder("/home/p", "VLM"), "/home/p/VLM");
    EXPECT_EQ(DataFolder("/home/p/", "VLM"), "/home/p/VLM");
}

TEST(GameMenu, OnlyReadableTimetablesAreOfferedInOrder) {
    const fs::path dir = EmptyFolder("list");
    EXPECT_TRUE(ListTimetables(dir.string()).empty());
    EXPECT_TRUE(ListTimetables((dir / "missing").string()).empty());
    fs::copy_file(kTimetable, dir / "standard.WTT");
    fs::copy_file(kTimetable, dir / "Evening.wtt");
    fs::copy_file(kTimetable, dir / "busy.Wtt");
    fs::copy_file(kTimetable, dir / "standard.txt");
    fs::create_directory(dir / "folder.WTT");
    std::ofstream(dir / "broken.WTT") << "not a timetable";
    std::ofstream(dir / "empty.WTT");
    EXPECT_EQ(ListTimetables(dir.string()),
              (std::vector<std::string>{"Evening", "busy", "standard"}));
    EXPECT_EQ(TimetablePath(dir.string(), "Evening"), (dir / "Evening.wtt").string());
    fs::remove_all(dir);
}

TEST(GameMenu, TextTimetablesAreOfferedWhenTheyReadAsTheGameReadsThem) {
    const fs::path dir = EmptyFolder("text");
    auto t = AreaSim();
    std::ofstream(dir / "hand.txt")
        << "name Hand\ndescription Written by hand\nstart 07:30\n"
           "train 2D01 - WEST 07:31 accel 3 speed 75 length 80 power diesel\n"
           "  OSTWK 07:33 07:34 plat 1\n";
    std::ofstream(dir / "notes.txt") << "these are notes, not a timetable\n";
    std::ofstream(dir / "nothing.txt") << "name Header only\n";
    fs::copy_file(kTimetable, dir / "standard.WTT");
    fs::copy_file(kTimetable, dir / "standard.txt");
    // Without the simulation a text file cannot be read: only timetable files.
    EXPECT_EQ(ListTimetables(dir.string()), (std::vector<std::string>{"standard"}));
    EXPECT_EQ(ListTimetables(dir.string(), &**t), (std::vector<std::string>{"hand", "standard"}));
    EXPECT_EQ(TimetablePath(dir.string(), "standard"), (dir / "standard.WTT").string());
    EXPECT_EQ(TimetablePath(dir.string(), "hand"), (dir / "hand.txt").string());
    TTimetableHeader header;
    std::string error;
    ASSERT_TRUE(ReadAnyTimetableHeader(**t, (dir / "hand.txt").string(), header, &error)) << error;
    EXPECT_EQ(header.Name, "Hand");
    EXPECT_EQ(header.Description, "Written by hand");
    EXPECT_EQ(header.StartTime, 7 * 3600 + 30 * 60);
    EXPECT_FALSE(ReadAnyTimetableHeader(**t, (dir / "notes.txt").string(), header, &error));
    EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    ASSERT_TRUE(ReadAnyTimetableHeader(**t, (dir / "standard.WTT").string(), header, &error));
    EXPECT_EQ(header.StartTime, 6 * 3600);
    // A new game takes the text timetable.
    NewGameChoice choice;
    choice.Timetable = "hand";
    EXPECT_TRUE(StartNewGame(**t, dir.string(), choice));
    EXPECT_EQ((*t)->Timetable.Count(), 1);
    EXPECT_EQ((*t)->SimTime, 7 * 3600 + 30 * 60);
    fs::remove_all(dir);
}

TEST(GameMenu, TheStartTimeFieldTakesOnlyHoursAndMinutes) {
    const struct {
        const char* Text;
        std::int32_t Seconds;
    } cases[] = {
        {"08:00", 28800}, {"29:59", 107940}, {"00:00", 0},  {"7:05", -1}, {"24:60", -1},
        {"30:00", -1},    {"07:00 H", -1},   {"07-00", -1}, {"", -1},     {"0a:00", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseStartTimeField(c.Text), c.Seconds) << c.Text;
    EXPECT_EQ(StartTimeFieldText(25200), "07:00");
    EXPECT_EQ(StartTimeFieldText(25230), "07:00 H");
    EXPECT_EQ(ParseStartTimeField(StartTimeFieldText(25230)), -1);
}

TEST(GameMenu, ANewGameTakesTheScenarioTheTimetableAndTheTime) {
    const fs::path dir = EmptyFolder("new");
    fs::copy_file(kTimetable, dir / "standard.WTT");
    auto t = AreaSim();
    Sim& sim = **t;
    NewGameChoice choice;
    choice.Scenario = 1;  // Standard
    choice.Timetable = "standard";
    choice.StartTime = "8:00";
    EXPECT_FALSE(StartNewGame(sim, dir.string(), choice));
    ASSERT_EQ(t->dialogs.Errors.size(), 1u);
    EXPECT_EQ(t->dialogs.Errors[0], "Invalid time (HH:MM)");
    EXPECT_EQ(sim.Timetable.Count(), 0) << "nothing loaded by a refused try";

    choice.StartTime = "08:00";
    ASSERT_TRUE(StartNewGame(sim, dir.string(), choice));
    EXPECT_EQ(sim.SimTime, 8 * 3600);
    EXPECT_GT(sim.Timetable.Count(), 0);
    EXPECT_EQ(sim.Options().MaxFailures, 2);
    EXPECT_FLOAT_EQ(sim.Options().DelayProbability, 0.15f);
    // The delays are drawn: the trains due before eight never come.
    int gone = 0, waiting = 0;
    sim.Timetable.ForEach([&](TTimetable& tt) {
        if (!tt.EntryPoint) return;
        (tt.EntryTime < sim.SimTime ? gone : waiting) += tt.Entered ? 1 : 0;
    });
    EXPECT_GT(gone, 0);
    EXPECT_EQ(waiting, 0);

    sim.ResetSimulation();
    choice.StartTime.clear();
    ASSERT_TRUE(StartNewGame(sim, dir.string(), choice));
    EXPECT_EQ(sim.SimTime, sim.Timetable.StartTime);

    sim.ResetSimulation();
    choice.Timetable = NoTimetableEntry;
    choice.StartTime = "nonsense";
    ASSERT_TRUE(StartNewGame(sim, dir.string(), choice));
    EXPECT_EQ(sim.Timetable.Count(), 0);
    EXPECT_EQ(sim.SimTime, 0);

    choice.Timetable = "gone";
    choice.StartTime.clear();
    t->dialogs.Errors.clear();
    EXPECT_FALSE(StartNewGame(sim, dir.string(), choice));
    ASSERT_EQ(t->dialogs.Errors.size(), 1u);
    EXPECT_EQ(t->dialogs.Errors[0], "Error loading " + (dir / "gone.WTT").string());
    fs::remove_all(dir);
}

TEST(GameMenu, SaveAsAndLoadGoThroughTheFileDialogs) {
    const fs::path dir = EmptyFolder("save");
    auto t = AreaSim();
    Sim& sim = **t;
    sim.SimTime = 30000;
    t->dialogs.FileAnswer = (dir / "game.ZRV").string();
    ASSERT_TRUE(SaveGameAs(sim, dir.string()));
    ASSERT_EQ(t->dialogs.FileChoices.size(), 1u);
    EXPECT_EQ(t->dialogs.FileChoices[0].DefaultExtension, "ZRV");
    EXPECT_EQ(t->dialogs.FileChoices[0].Filter, "Kestra Files (*.ZRV)|*.ZRV|All Files (*.*)|*.*");
    EXPECT_EQ(test::LastMessage(*t), "Simulation saved ok");
    EXPECT_FALSE(sim.IsPaused());

    t->dialogs.FileAnswer = (dir / "no" / "such" / "folder.ZRV").string();
    EXPECT_FALSE(SaveGameAs(sim, dir.string()));
    EXPECT_EQ(test::LastMessage(*t), "Simulation failed to save");
    ASSERT_EQ(t->dialogs.Errors.size(), 1u);
    EXPECT_EQ(t->dialogs.Errors[0], "Error saving simulation");

    auto other = AreaSim();
    other->dialogs.FileAnswer = (dir / "game.ZRV").string();
    ASSERT_TRUE(LoadGame(**other, dir.string()));
    EXPECT_EQ((*other)->SimTime, 30000);

    // A timetable file is no saved game: its own box, the caller's, and a reset.
    fs::copy_file(kTimetable, dir / "standard.WTT");
    other->dialogs.FileAnswer = (dir / "standard.WTT").string();
    EXPECT_FALSE(LoadGame(**other, dir.string()));
    EXPECT_EQ(other->dialogs.Errors,
              (std::vector<std::string>{"Not a Kestra file", "Error loading simulation"}));
    EXPECT_EQ((*other)->SimTime, 0);

    other->dialogs.FileAnswer.reset();
    EXPECT_FALSE(LoadGame(**other, dir.string()));
    EXPECT_EQ(other->dialogs.Errors.size(), 2u) << "cancelled: nothing said";
    fs::remove_all(dir);
}

TEST(GameMenu, ANewSimulationAsksFirst) {
    auto t = AreaSim();
    Sim& sim = **t;
    sim.SimTime = 30000;
    t->dialogs.ConfirmAnswer = false;
    EXPECT_FALSE(NewSimulation(sim));
    EXPECT_EQ(sim.SimTime, 30000);
    EXPECT_FALSE(sim.StartupTimerRunning);
    t->dialogs.ConfirmAnswer = true;
    EXPECT_TRUE(NewSimulation(sim));
    ASSERT_EQ(t->dialogs.Confirms.size(), 2u);
    EXPECT_EQ(t->dialogs.Confirms[1], "Do you really want to start a new simulation?");
    EXPECT_EQ(t->dialogs.Analyses.size(), 1u);
    EXPECT_EQ(sim.SimTime, 0);
    EXPECT_TRUE(sim.StartupTimerRunning);
    EXPECT_FALSE(sim.IsPaused());
}

}  // namespace
}  // namespace kestra
