// The describer on the panel: clicks on berths, the train-describer pop-up menu with its
// refusals on the fringe box's berths, interpose and cancel by signal, Find Description.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "panel/commands.h"
#include "panel/menus.h"
#include "runner/headless.h"
#include "trains/berth.h"

namespace kestra::test {
namespace {

class BerthPanelTest : public ::testing::Test {
  protected:
    BerthPanelTest() : build(*t), line(BuildPlainLine(build)), commands(*t) {
        Own = &Make("B1", 10, line.T0);
        Fringe = &Make("B3", 30, line.T4);
        Fringe->External = true;
        Far = &Make("B9", ScreenColumns + 40, line.T2);  // on screen 2
        t->SimData.ScreenCount = 2;
        t->Display().CurrentScreen = 1;
    }

    TBER& Make(const std::string& id, int x, TTCS* circuit) {
        TBER& b = t->Berths.Create(*t, id);
        b.X = x;
        b.Y = kRow;
        b.TrackCircuit = circuit;
        circuit->Berths.Add(id, &b);
        return b;
    }

    // A press in the middle of the given cell of screen 1.
    UiAction Press(int column, bool left) {
        return commands.MousePress(column * CellWidth + 2, kRow * CellHeight + 4, left);
    }

    static constexpr int kRow = 7;
    TestSim t;
    RailwayBuilder build;
    PlainLine line;
    OperatorCommands commands;
    TBER* Own = nullptr;
    TBER* Fringe = nullptr;
    TBER* Far = nullptr;
};

TEST_F(BerthPanelTest, RightClickOnADescribedBerthOpensTheDescriberMenu) {
    EXPECT_EQ(Press(10, false), UiAction::None) << "an empty berth claimed the click";
    Own->Interpose("1A23");
    EXPECT_EQ(Press(11, false), UiAction::BerthMenu);
    EXPECT_EQ(t->Operator.SelectedBerth, Own);
    EXPECT_EQ(t->Operator.SelectedDescription, "1A23");
    EXPECT_EQ(Press(11, true), UiAction::None);
    EXPECT_EQ(t->Operator.SelectedBerth, Own) << "a left click selects the berth too";
    Press(20, true);
    EXPECT_EQ(t->Operator.SelectedBerth, nullptr) << "a press elsewhere drops the selection";
}

// A left click on a description shows what "ARSClickMode" chooses; a click on an empty
// berth or one that interposes shows nothing.
TEST_F(BerthPanelTest, LeftClickOnADescriptionShowsWhatTheOptionChooses) {
    struct Case {
        std::int32_t mode;
        std::string message;
    };
    const Case cases[] = {
        {ARSClickTimetableSummary, "1A23   Location Arr  Dep/Pass Pth Plt Lin Activites     "},
        {ARSClickRoutesettingStatus, "1A23 Off planned path"},
        {ARSClickPopupInformation, "1A23 has no/invalid timetable data"},
    };
    Own->Interpose("1A23");  // no timetable: an ARS train off its path
    for (const Case& c : cases) {
        t->Options().ARSClickMode = c.mode;
        t->PostEventMessage("before", EvGeneral);
        Press(11, true);
        EXPECT_EQ(LastMessage(t), c.message) << "mode " << c.mode;
        Press(20, true);  // an empty cell
        EXPECT_EQ(LastMessage(t), c.message) << "a click beside the berth showed something";
    }
    t->PostEventMessage("before", EvGeneral);
    Own->CancelDescription();
    Press(11, true);
    EXPECT_EQ(LastMessage(t), "before") << "an empty berth showed something";
    t->Operator.InterposeMode = true;
    t->Operator.InterposeDescription = "2B45";
    Press(11, true);
    EXPECT_EQ(Own->Description, "2B45");
    // The interpose's own word on the new description is the last: nothing after it.
    EXPECT_EQ(LastMessage(t), "2B45 not in timetable") << "the interposing click showed more";
}

TEST_F(BerthPanelTest, InterposeAsksWithTheBerthsDescriptionAndUpperCases) {
    Own->Interpose("1A23");
    Press(10, false);
    t.dialogs.InputAnswer = "2b4567";
    EXPECT_TRUE(commands.BerthMenuInterpose());
    ASSERT_EQ(t.dialogs.Inputs.size(), 1u);
    EXPECT_EQ(t.dialogs.Inputs[0], "Interpose|Enter new description|1A23");
    EXPECT_EQ(Own->Description, "2B45");
    // Cancelled input box: nothing changes.
    t.dialogs.InputAnswer.reset();
    EXPECT_FALSE(commands.BerthMenuInterpose());
    EXPECT_EQ(Own->Description, "2B45");
    EXPECT_TRUE(commands.BerthMenuCancel());
    EXPECT_EQ(Own->Description, "");
}

TEST_F(BerthPanelTest, TheFringeBoxsBerthsAreRefused) {
    Fringe->Interpose("1A23");
    Press(30, false);
    ASSERT_EQ(t->Operator.SelectedBerth, Fringe);
    t.dialogs.InputAnswer = "9Z99";
    EXPECT_FALSE(commands.BerthMenuInterpose());
    EXPECT_EQ(LastMessage(t), "Cannot interpose into external berth");
    EXPECT_TRUE(t.dialogs.Inputs.empty()) << "asked for a description it cannot take";
    EXPECT_FALSE(commands.BerthMenuCancel());
    EXPECT_EQ(LastMessage(t), "Cannot cancel external berth");
    EXPECT_EQ(Fringe->Description, "1A23");
}

TEST_F(BerthPanelTest, MenuDoesNothingWithoutASelectedBerth) {
    t.dialogs.InputAnswer = "1A23";
    EXPECT_FALSE(commands.BerthMenuInterpose());
    EXPECT_FALSE(commands.BerthMenuCancel());
    EXPECT_EQ(t->Berths.CountDescription("1A23"), 0);
}

TEST_F(BerthPanelTest, SignalMenuInterposesIntoAndCancelsTheSignalsBerth) {
    t->Operator.SelectedSignal = line.S1;
    EXPECT_TRUE(commands.SignalMenuInterposeTD("7d89"));
    EXPECT_EQ(Own->Description, "7D89");
    EXPECT_TRUE(commands.SignalMenuCancelTD());
    EXPECT_EQ(Own->Description, "");
    t->Operator.SelectedSignal = line.D1;  // no berth on its circuit
    EXPECT_FALSE(commands.SignalMenuInterposeTD("7d89"));
    ASSERT_FALSE(t.dialogs.Errors.empty());
    EXPECT_EQ(t.dialogs.Errors.back(), "Cannot interpose: Signal has no associated berth");
}

TEST_F(BerthPanelTest, FindDescriptionShowsTheOneBerthThatHoldsIt) {
    Far->Interpose("1A23");
    t.dialogs.InputAnswer = "1a23";
    const auto pixel = commands.FindDescription();
    ASSERT_TRUE(pixel.has_value());
    EXPECT_EQ(t->Display().CurrentScreen, 2);
    EXPECT_EQ(pixel->first, 40 * CellWidth + 16);
    EXPECT_EQ(pixel->second, kRow * CellHeight + 8);

    t.dialogs.InputAnswer = "zz";
    EXPECT_FALSE(commands.FindDescription().has_value());
    EXPECT_EQ(LastMessage(t), "Description ZZ not found");

    Own->Interpose("1A23");
    t.dialogs.InputAnswer = "1A23";
    EXPECT_FALSE(commands.FindDescription().has_value());
    EXPECT_EQ(LastMessage(t), "Description 1A23 is duplicated");
}

TEST(BerthMenu, DescriberAndARSCommandsAreOffered) {
    for (const MenuItem& item : MainMenuItems) {
        const bool describer = std::string(item.Menu) == "Train &Describer" ||
                               item.Command == MenuCommand::SignalInterposeTD ||
                               item.Command == MenuCommand::SignalCancelTD;
        EXPECT_TRUE(!describer || item.Available) << item.Caption;
    }
    ASSERT_EQ(BerthMenuItems.size(), 9u);
    EXPECT_STREQ(BerthMenuItems[0].Caption, "&Interpose");
    EXPECT_TRUE(BerthMenuItems[0].Available);
    EXPECT_STREQ(BerthMenuItems[1].Caption, "&Cancel");
    EXPECT_TRUE(BerthMenuItems[1].Available);
    // Every ARS command, the information window included, is offered.
    for (std::size_t i = 2; i < BerthMenuItems.size(); ++i)
        EXPECT_TRUE(BerthMenuItems[i].Available) << BerthMenuItems[i].Caption;
}

}  // namespace
}  // namespace kestra::test

namespace kestra::test {
namespace {

// The headless runner's describer commands go through the panel's refusals, and a berth
// the area does not have stops the run before it starts.
TEST(BerthHeadless, InterposeAndCancelCommandsPlayThroughThePanel) {
    auto run = [](const std::string& commands) {
        const std::string path =
            ::testing::TempDir() + "berth_headless_" + std::to_string(commands.size()) + ".cmd";
        {
            std::ofstream f(path);
            f << commands;
        }
        runner::HeadlessOptions o;
        std::string error;
        EXPECT_TRUE(runner::ParseHeadlessArgs(
            {"--start", "06:00", "--ticks", "20", "--commands", path}, o, error))
            << error;
        std::ostringstream out, err;
        const int status = runner::RunHeadless(o, out, err);
        return std::make_pair(status, err.str());
    };
    const auto ok = run("06:00:02 interpose 11 1a23\n06:00:03 cancel-berth B11\n");
    EXPECT_EQ(ok.first, 0);
    EXPECT_EQ(ok.second, "");
    const auto fringe = run("06:00:02 interpose 100 1a23\n06:00:03 cancel-berth 100\n");
    EXPECT_EQ(fringe.first, 0);
    EXPECT_NE(fringe.second.find("line 1: refused: CANNOT INTERPOSE INTO EXTERNAL BERTH"),
              std::string::npos)
        << fringe.second;
    EXPECT_NE(fringe.second.find("line 2: refused: CANNOT CANCEL EXTERNAL BERTH"),
              std::string::npos)
        << fringe.second;
    EXPECT_EQ(run("06:00:02 interpose NOSUCH 1a23\n").first, 2);
    EXPECT_EQ(run("06:00:02 interpose 11\n").first, 2) << "a description is required";
}

}  // namespace
}  // namespace kestra::test
