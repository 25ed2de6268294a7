#include "panel/commands.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/interlocking_invariants.h"

namespace kestra {
namespace {

using test::BuildPlainLine;
using test::PlainLine;
using test::RailwayBuilder;
using test::MessageTexts;
using test::TestSim;

// The plain line laid out on screen 1: up signals on row 5, down signals on row 7.
class CommandsTest : public ::testing::Test {
  protected:
    CommandsTest() {
        t->SimData.ScreenCount = 2;
        f = BuildPlainLine(b);
        Place(*f.S1, 10, 5);
        Place(*f.S2, 30, 5);
        Place(*f.S3, 50, 5);
        Place(*f.D1, 40, 7);
        Place(*f.D2, 20, 7);
        t->Options().NoSignalPopupMenu = false;
        t->Display().RedrawPanel();
        t.Ticks(2);
    }
    static void Place(TSIG& s, int x, int y) {
        s.X = x;
        s.Y = y;
        s.EntranceX = x + 3;
        s.EntranceY = y + 1;
    }
    // A press in the left quarter of a cell of screen 1.
    UiAction Click(int column, int row, bool left = true) {
        return cmd.MousePress(column * 8 + 1, row * 16 + 8, left);
    }

    TestSim t;
    RailwayBuilder b{*t};
    PlainLine f{};
    OperatorCommands cmd{*t};
};

TEST_F(CommandsTest, EntranceThenExitSetsTheRouteAndTheSignalClears) {
    Click(10, 5);
    EXPECT_EQ(t->Operator.SelectedEntrance, f.S1);
    Click(31, 5);  // anywhere on the exit's head
    EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
    EXPECT_TRUE(f.S1S2->RouteSet);
    t.Ticks(2);
    EXPECT_NE(f.S1->Aspect, AspDanger);
    // A right click cancels through the signal menu's "Cancel Route".
    EXPECT_EQ(Click(10, 5, false), UiAction::SignalMenu);
    EXPECT_EQ(t->Operator.SelectedSignal, f.S1);
    EXPECT_TRUE(cmd.SignalMenuCancelEnabled());
    EXPECT_EQ(cmd.SignalMenuCaption(), "1");  // "S1" without its first character
    cmd.SignalMenuCancelRoute();
    t.Ticks(3);
    EXPECT_FALSE(f.S1S2->RouteSet);
    EXPECT_EQ(f.S1->Aspect, AspDanger);
}

TEST_F(CommandsTest, NoRouteMakesTheSecondSignalTheNewEntrance) {
    Click(10, 5);
    Click(40, 7);  // D1: no route from S1, but D1 can be an entrance
    EXPECT_EQ(t->Operator.SelectedEntrance, f.D1);
    // The message line names the new entrance (D1's plate is 1).
    EXPECT_EQ(MessageTexts(t), (std::vector<std::string>{"Signal 1 is now the entrance"}));
    // Clicking the selected entrance with the right button only deselects it.
    Click(40, 7, false);
    EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
    EXPECT_FALSE(f.D1D2->RouteSet);
}

TEST_F(CommandsTest, NoRouteToASignalThatCannotBeAnEntrance) {
    f.S3->EntranceX = f.S3->EntranceY = 0;
    Click(30, 5);
    Click(50, 5);  // S2 to S3 exists: set
    EXPECT_TRUE(f.S2S3->RouteSet);
    Click(40, 7);
    Click(50, 5);  // D1 to S3: none, and S3 has no entrance marker
    EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
    EXPECT_EQ(MessageTexts(t), (std::vector<std::string>{"No route between selected signals"}));
}

TEST_F(CommandsTest, RefusalReachesTheMessageLine) {
    f.S1->SetCollar(CollarGeneral);
    Click(10, 5);
    Click(30, 5);
    EXPECT_FALSE(f.S1S2->RouteSet);
    EXPECT_EQ(MessageTexts(t), (std::vector<std::string>{"One or both signals are collared"}));
    // The override mode lets the signaller set it over the reminder, then ends.
    cmd.PressOverrideButton();
    ASSERT_TRUE(t->Operator.OverrideMode);
    Click(10, 5);
    Click(30, 5);
    EXPECT_TRUE(f.S1S2->RouteSet);
    EXPECT_FALSE(t->Operator.OverrideMode);
}

TEST_F(CommandsTest, ReminderAndIsolationModesApplyAndRemoveCollars) {
    cmd.PressReminderButton();
    Click(10, 5);
    EXPECT_EQ(f.S1->Collar, CollarGeneral);
    EXPECT_FALSE(t->Operator.ReminderMode);  // the command completes the mode
    cmd.PressIsolationButton();
    Click(10, 5);
    EXPECT_EQ(f.S1->Collar, 3);
    cmd.PressReminderButton();
    Click(10, 5, false);
    EXPECT_EQ(f.S1->Collar, CollarTraction);
    // The signal menu toggles the same bits.
    Click(10, 5, false);
    cmd.SignalMenuGeneralReminder();
    EXPECT_EQ(f.S1->Collar, 3);
    EXPECT_TRUE(cmd.SignalMenuGeneralChecked());
    cmd.SignalMenuTractionReminder();
    EXPECT_EQ(f.S1->Collar, CollarGeneral);
}

TEST_F(CommandsTest, ModeButtons) {
    cmd.PressIsolationButton();
    cmd.PressReminderButton();  // REM while ISO: isolation off, reminder on
    EXPECT_TRUE(t->Operator.ReminderMode);
    EXPECT_FALSE(t->Operator.IsolationMode);
    EXPECT_EQ(t.surface.RowText(47, 18, 12), "REMINDER    ");
    cmd.PressReminderButton();
    EXPECT_FALSE(t->Operator.ReminderMode);

    // ROV with an entrance selected is refused; the menu item sets the mode even then.
    Click(10, 5);
    cmd.PressOverrideButton();
    EXPECT_FALSE(t->Operator.OverrideMode);
    EXPECT_EQ(MessageTexts(t),
              (std::vector<std::string>{"Press the OVR button before starting routesetting"}));
    cmd.OverrideMenuItem();
    EXPECT_TRUE(t->Operator.OverrideMode);
    EXPECT_TRUE(t->OVRTimerRunning);
    EXPECT_EQ(t.surface.RowText(47, 18, 12), "REM.OVERRIDE");
    cmd.OVRTimerEvent();
    EXPECT_FALSE(t->Operator.OverrideMode);
    EXPECT_FALSE(t->OVRTimerRunning);
}

TEST_F(CommandsTest, ButtonBarAndKeys) {
    struct Case {
        int px;
        UiAction action;
        int screen;
    } cases[] = {
        {10, UiAction::MainMenu, 1},      {48, UiAction::None, 1},  // a gap column between buttons
        {4 * 48 + 10, UiAction::None, 0},                           // MSG
        {6 * 48 + 10, UiAction::None, 2},                           // VW2
        {7 * 48 + 10, UiAction::None, 2},                           // VW3 does not exist
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cmd.MousePress(c.px, 46 * 16 + 4, true), c.action) << c.px;
        EXPECT_EQ(t->Display().CurrentScreen, c.screen) << c.px;
    }
    cmd.KeyPress(PanelKey::Digit, 3);
    EXPECT_EQ(t->Display().CurrentScreen, 2);
    cmd.KeyPress(PanelKey::Digit, 0);
    EXPECT_EQ(t->Display().CurrentScreen, 0);
    EXPECT_EQ(cmd.KeyPress(PanelKey::F3), UiAction::OptionsDialog);
    cmd.KeyPress(PanelKey::P);
    EXPECT_TRUE(t->IsPaused());
    cmd.KeyPress(PanelKey::P);
    EXPECT_FALSE(t->IsPaused());

    t->ClientMode = true;
    EXPECT_EQ(cmd.KeyPress(PanelKey::F2), UiAction::None);
    EXPECT_EQ(cmd.KeyPress(PanelKey::F3), UiAction::OptionsDialog);
    EXPECT_EQ(cmd.MousePress(110, 47 * 16 + 4, true), UiAction::None);
    EXPECT_EQ(MessageTexts(t), (std::vector<std::string>{"Not available in client mode!",
                                                        "Not available in client mode!"}));
}

TEST_F(CommandsTest, NeighbourColumnIsTriedAfterTheExactCell) {
    // S2's head covers columns 30 to 33; a press in the right half of column 29 is
    // offered to column 29 first (nothing there), then to its neighbour 30.
    cmd.MousePress(29 * 8 + 6, 5 * 16 + 8, true);
    EXPECT_EQ(t->Operator.SelectedEntrance, f.S2);
    // In the left half of column 29 the neighbour is 28: nothing claims it.
    t->Operator.SelectedEntrance = nullptr;
    int hook = 0;
    t->Hooks.LeftClickHook = [&](int x, int y) {
        ++hook;
        EXPECT_EQ(x, 29);
        EXPECT_EQ(y, 5);
    };
    cmd.MousePress(29 * 8 + 1, 5 * 16 + 8, true);
    EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
    EXPECT_EQ(hook, 1);
}

TEST_F(CommandsTest, RightClickCancelsWhenTheOptionIsOn) {
    t->Options().NoSignalPopupMenu = true;
    Click(10, 5);
    Click(30, 5);
    ASSERT_TRUE(f.S1S2->RouteSet);
    EXPECT_EQ(Click(10, 5, false), UiAction::None);
    t.Ticks(3);
    EXPECT_FALSE(f.S1S2->RouteSet);
}

// The middle (wheel) button is not a click: with the default option a right click
// cancels a route, and a middle press must not.
TEST_F(CommandsTest, MiddleButtonDoesNothingOnThePanel) {
    t->Options().NoSignalPopupMenu = true;
    Click(10, 5);
    Click(30, 5);
    ASSERT_TRUE(f.S1S2->RouteSet);
    auto middle = [&](int px, int py) { return cmd.MousePress(px, py, MouseButton::Other); };
    EXPECT_EQ(middle(10 * 8 + 1, 5 * 16 + 8), UiAction::None);  // on the entrance's head
    t.Ticks(3);
    EXPECT_TRUE(f.S1S2->RouteSet);
    EXPECT_NE(f.S1->Aspect, AspDanger);
    middle(50 * 8 + 1, 5 * 16 + 8);  // S3 is not selected as an entrance either
    EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
    // Nor does it press buttons or open windows.
    EXPECT_EQ(middle(10, 46 * 16 + 4), UiAction::None);  // MNU
    middle(58, 46 * 16 + 4);                             // ROV
    EXPECT_FALSE(t->Operator.OverrideMode);
    middle(4 * 48 + 10, 46 * 16 + 4);  // MSG
    EXPECT_EQ(t->Display().CurrentScreen, 1);
    EXPECT_EQ(middle(110, 47 * 16 + 4), UiAction::None);  // telephone
    int hook = 0;
    t->Hooks.LeftClickHook = [&](int, int) { ++hook; };
    t->Hooks.RightClickHook = [&](int, int) { ++hook; };
    middle(90 * 8, 20 * 16);
    EXPECT_EQ(hook, 0);
    // The same presses with the right button do act: the route is cancelled.
    EXPECT_EQ(cmd.MousePress(10 * 8 + 1, 5 * 16 + 8, MouseButton::Right), UiAction::None);
    t.Ticks(3);
    EXPECT_FALSE(f.S1S2->RouteSet);
}

// The signal menu is titled with the signal's identity without its first character.
struct CaptionCase {
    const char* ID;
    const char* Caption;
};

void PrintTo(const CaptionCase& c, std::ostream* os) {
    *os << c.ID << " -> " << c.Caption;
}

class SignalMenuCaptionTest : public CommandsTest,
                              public ::testing::WithParamInterface<CaptionCase> {};

TEST_P(SignalMenuCaptionTest, IdentityWithoutItsFirstCharacter) {
    TSIG& s = b.Signal(GetParam().ID);
    Place(s, 70, 9);
    t->Display().RedrawPanel();
    EXPECT_EQ(Click(70, 9, false), UiAction::SignalMenu);
    ASSERT_EQ(t->Operator.SelectedSignal, &s);
    EXPECT_EQ(cmd.SignalMenuCaption(), GetParam().Caption);
}

const CaptionCase kCaptionCases[] = {
    {"SVM11", "VM11"}, {"SVM1", "VM1"}, {"SS127", "S127"}, {"S1", "1"}, {"S", ""},
};

INSTANTIATE_TEST_SUITE_P(Ids, SignalMenuCaptionTest, ::testing::ValuesIn(kCaptionCases),
                         [](const ::testing::TestParamInfo<CaptionCase>& info) {
                             return std::string(info.param.ID);
                         });

TEST_F(CommandsTest, SignalMenuCaptionWithoutASignalIsEmpty) {
    t->Operator.SelectedSignal = nullptr;
    EXPECT_EQ(cmd.SignalMenuCaption(), "");
}

// Who claims a press when a signal and points are both near it. S1's head covers
// columns 10 to 12 of row 5; the points are put beside or under it. Signals are asked
// before points, and every list is asked about the exact cell before any list is asked
// about the neighbour column (the next cell towards the half of the cell pressed).
struct ClickClaimCase {
    const char* Name;
    int PointsColumn;
    int PressColumn;
    int PressOffset;  // pixel within the cell: 0-3 left half, 4-7 right half
    MouseButton Button;
    bool SignalClaims;  // else the points claim it
};

void PrintTo(const ClickClaimCase& c, std::ostream* os) {
    *os << c.Name << ": points at column " << c.PointsColumn << ", press at column "
        << c.PressColumn << " + " << c.PressOffset << " px";
}

class ClickClaimTest : public CommandsTest, public ::testing::WithParamInterface<ClickClaimCase> {};

TEST_P(ClickClaimTest, FirstClaimWins) {
    const ClickClaimCase& c = GetParam();
    ASSERT_EQ(f.S1->HeadWidth, 3) << "the cases assume S1's head covers columns 10 to 12";
    TPTS& points = b.Points("P1", *f.T0, c.PointsColumn, 5);
    const UiAction action = cmd.MousePress(c.PressColumn * 8 + c.PressOffset, 5 * 16 + 8, c.Button);
    const bool left = c.Button == MouseButton::Left;
    if (c.SignalClaims) {
        if (left) {
            EXPECT_EQ(t->Operator.SelectedEntrance, f.S1);
        } else {
            EXPECT_EQ(action, UiAction::SignalMenu);
            EXPECT_EQ(t->Operator.SelectedSignal, f.S1);
        }
        EXPECT_FALSE(points.KeyedNormal);
        EXPECT_FALSE(points.KeyedReverse);
    } else {
        EXPECT_EQ(action, UiAction::None);
        EXPECT_EQ(t->Operator.SelectedEntrance, nullptr);
        EXPECT_EQ(t->Operator.SelectedSignal, nullptr);
        EXPECT_EQ(points.KeyedNormal, left);
        EXPECT_EQ(points.KeyedReverse, !left);
    }
}

const ClickClaimCase kClickClaimCases[] = {
    {.Name = "SharedCellLeftGoesToTheSignal",
     .PointsColumn = 11,
     .PressColumn = 11,
     .PressOffset = 1,
     .Button = MouseButton::Left,
     .SignalClaims = true},
    {.Name = "SharedCellRightGoesToTheSignal",
     .PointsColumn = 11,
     .PressColumn = 11,
     .PressOffset = 6,
     .Button = MouseButton::Right,
     .SignalClaims = true},
    {.Name = "ExactPointsBeatANeighbourSignalLeft",
     .PointsColumn = 13,
     .PressColumn = 13,
     .PressOffset = 1,
     .Button = MouseButton::Left,
     .SignalClaims = false},
    {.Name = "ExactPointsBeatANeighbourSignalRight",
     .PointsColumn = 13,
     .PressColumn = 13,
     .PressOffset = 2,
     .Button = MouseButton::Right,
     .SignalClaims = false},
    {.Name = "ExactSignalBeatsNeighbourPoints",
     .PointsColumn = 13,
     .PressColumn = 12,
     .PressOffset = 6,
     .Button = MouseButton::Left,
     .SignalClaims = true},
    {.Name = "NeighbourPointsWhenNothingIsExact",
     .PointsColumn = 13,
     .PressColumn = 14,
     .PressOffset = 0,
     .Button = MouseButton::Left,
     .SignalClaims = false},
    {.Name = "NeighbourSignalWhenNothingIsExact",
     .PointsColumn = 40,
     .PressColumn = 9,
     .PressOffset = 7,
     .Button = MouseButton::Right,
     .SignalClaims = true},
};

INSTANTIATE_TEST_SUITE_P(Claims, ClickClaimTest, ::testing::ValuesIn(kClickClaimCases),
                         [](const ::testing::TestParamInfo<ClickClaimCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(CommandsTest, InterposeBySignalWithoutBerthIsRefused) {
    cmd.StartInterposeBySignal("1A23");
    EXPECT_TRUE(t->Operator.InterposeMode);
    Click(10, 5);
    EXPECT_EQ(MessageTexts(t),
              (std::vector<std::string>{"Cannot interpose - signal has no associated berth"}));
    EXPECT_FALSE(t->Operator.InterposeMode);
    Click(10, 5, false);
    EXPECT_FALSE(cmd.SignalMenuInterposeTD("2b22"));
    EXPECT_EQ(t.dialogs.Errors,
              (std::vector<std::string>{"Cannot interpose: Signal has no associated berth"}));
}

// Random clicks through the signaller's commands, with trains occupying and clearing
// circuits, never break the interlocking, and after every cycle no signal shows a
// proceed aspect over a route that is not set, locked and proved.
TEST(CommandsInvariantTest, RandomClicksKeepTheInterlockingSafe) {
    TestSim t;
    t->SimData.ScreenCount = 1;
    RailwayBuilder b(*t);
    test::DoubleJunction j = test::BuildDoubleJunction(b);
    TSIG* signals[] = {j.S0, j.SA, j.SM, j.SB, j.SMd, j.SBd, j.SD};
    int x = 4;
    for (TSIG* s : signals) {
        s->X = x;
        s->Y = 10;
        s->EntranceX = x + 3;
        s->EntranceY = 11;
        x += 10;
    }
    TTCS* circuits[] = {j.T0, j.TA, j.TJ, j.TM1, j.TM2, j.TB1, j.TB2, j.TMd, j.TBd, j.TX, j.TD};
    t->Options().NoSignalPopupMenu = true;
    t->Display().RedrawPanel();
    OperatorCommands cmd(*t);
    test::InterlockingInvariants invariants(*t);
    int occupied[11] = {};
    int proceedSeen = 0;
    for (int step = 0; step < 4000; ++step) {
        const int r = t->RandomInt(100);
        if (r < 45) {
            TSIG* s = signals[t->RandomInt(7)];
            cmd.MousePress(s->X * 8 + 1, s->Y * 16 + 8, t->RandomInt(4) != 0);
        } else if (r < 47) {
            cmd.PressReminderButton();
        } else if (r < 49) {
            cmd.PressOverrideButton();
        } else if (r < 60) {
            // Trains come and go: an occupied circuit soon clears again.
            const int c = t->RandomInt(11);
            if (occupied[c] > 0) {
                circuits[c]->Vacate();
                --occupied[c];
            } else if (t->RandomInt(4) == 0) {
                circuits[c]->Occupy();
                ++occupied[c];
            }
        }
        // Signals look at their routes once a cycle: a train that has just occupied a
        // circuit puts them back to danger at the next one. So the aspects are checked
        // right after every cycle.
        const bool ticked = r >= 60;
        if (ticked) t->MajorCycleTick();
        std::vector<std::string> broken = invariants.Check();
        for (TSIG* s : signals) {
            if (!ticked || s->Aspect == AspDanger || s->SignalKind != 0) continue;
            ++proceedSeen;
            TROU* route = s->CurrentRoute;
            if (route == nullptr || !route->RouteSet || !route->Subroutes.IsLockedAndProved())
                broken.push_back(s->ID + " shows a proceed aspect over a route not set and proved");
        }
        ASSERT_TRUE(broken.empty()) << "step " << step << ": " << broken[0];
    }
    // The walk must really have cleared signals, or it proved nothing.
    EXPECT_GT(proceedSeen, 50);
}

}  // namespace
}  // namespace kestra
