#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "fakes/fakes.h"
#include "display/palette.h"

namespace kestra {
namespace {

using test::TestSim;

class PanelTest : public ::testing::Test {
  protected:
    PanelTest() { t->SimData.ScreenCount = 2; }
    Panel& P() { return t->Display(); }
    const test::Cell& At(int column, int row) { return t.surface.At(column, row); }
    std::string Row(int row, int from, int count) { return t.surface.RowText(row, from, count); }
    TestSim t;
};

TEST_F(PanelTest, StringOnScreenTwoIsDrawnOnlyWhenScreenTwoIsShown) {
    P().CurrentScreen = 1;
    P().DrawText(130, 5, ClGrey, "AB");
    EXPECT_EQ(t.surface.GlyphCount, 0);
    P().CurrentScreen = 2;
    P().DrawText(130, 5, ClGrey, "AB");
    EXPECT_EQ(At(2, 5).Code, 'A');
    EXPECT_EQ(At(3, 5).Code, 'B');
    EXPECT_EQ(At(3, 5).Fg, ClGrey);
    EXPECT_EQ(At(3, 5).Bg, ClBlack);
}

TEST_F(PanelTest, StringRunningOffItsScreenIsClipped) {
    P().DrawText(126, 5, ClGrey, "ABCD");
    EXPECT_EQ(Row(5, 126, 2), "AB");
    EXPECT_EQ(t.surface.GlyphCount, 2);
    P().DrawText(10, 47, ClGrey,
                 "A\xCA"
                 "B");  // moving down off the bottom row
    EXPECT_EQ(t.surface.GlyphCount, 3);
}

// Every move code, from the cell (10, 10): "A", the move, "B".
TEST_F(PanelTest, MoveCodesFollowTheKeypad) {
    struct Case {
        std::uint8_t move;
        int bx, by;
    };
    const Case cases[] = {
        {201, 10, 11}, {202, 11, 11}, {203, 12, 11}, {204, 10, 10},
        {206, 12, 10}, {207, 10, 9},  {208, 11, 9},  {209, 12, 9},
    };
    for (const Case& c : cases) {
        t.surface.Clear();
        const std::string s = std::string("A") + static_cast<char>(c.move) + "B";
        P().DrawText(10, 10, ClGrey, s);
        EXPECT_EQ(At(c.bx, c.by).Code, 'B') << int(c.move);
        EXPECT_EQ(At(10, 10).Code, c.move == 204 ? 'B' : 'A') << int(c.move);
    }
}

TEST_F(PanelTest, ColourCodesSetForegroundAndBackground) {
    P().DrawText(0, 0, ClGrey,
                 "A\xD5"
                 "B\xE7"
                 "C");  // 213 red, 231 grey background
    EXPECT_EQ(At(0, 0).Fg, ClGrey);
    EXPECT_EQ(At(1, 0).Fg, ClRed);
    EXPECT_EQ(At(1, 0).Bg, ClBlack);
    EXPECT_EQ(At(2, 0).Fg, ClRed);
    EXPECT_EQ(At(2, 0).Bg, ClGrey);
    EXPECT_EQ(Row(0, 0, 3), "ABC");
}

TEST_F(PanelTest, PaletteCodesGiveTheirColours) {
    const Colour fg[12] = {ClBlack, ClGrey,    ClWhite,  ClRed,  ClOrange, ClYellow,
                           ClGreen, ClSkyBlue, ClViolet, ClCyan, ClPink,   ClDarkGreen};
    for (int i = 0; i < 12; ++i) {
        P().DrawText(0, 0, ClGrey, std::string(1, static_cast<char>(210 + i)) + "A");
        EXPECT_EQ(At(0, 0).Fg, fg[i]) << 210 + i;
        if (i < 11) {
            P().DrawText(0, 0, ClGrey, std::string(1, static_cast<char>(230 + i)) + "A");
            EXPECT_EQ(At(0, 0).Bg, fg[i]) << 230 + i;
        }
    }
}

TEST_F(PanelTest, EightBitDisplayReplacesOrangeAndPink) {
    P().EightBitColour = true;
    P().DrawText(0, 0, ClGrey,
                 "\xD6"
                 "A\xDC"
                 "B");  // 214, 220
    EXPECT_EQ(At(0, 0).Fg, ClOlive);
    EXPECT_EQ(At(1, 0).Fg, ClMagenta);
    P().DrawText(0, 1, ClPink, "A");
    EXPECT_EQ(At(0, 1).Fg, ClMagenta);
    P().DrawText2Bg(0, 2, ClGrey, ClPink, ClPink, "AB");
    EXPECT_EQ(At(0, 2).Bg, ClMagenta);
    EXPECT_EQ(At(1, 2).Bg, ClMagenta);
}

// Break-marked glyphs and what they become: hidden unless the option is on or the
// string escapes them with 255.
TEST_F(PanelTest, TrackBreakSubstitution) {
    struct Case {
        std::uint8_t drawn, hidden;
    };
    const Case cases[] = {{91, 97},   {93, 97},   {98, 97},   {99, 97}, {108, 104},
                          {109, 105}, {110, 106}, {111, 107}, {97, 97}, {'A', 'A'}};
    for (const Case& c : cases) {
        const std::string plain(1, static_cast<char>(c.drawn));
        t->Options().ShowTrackBreaks = false;
        P().DrawText(0, 0, ClGrey, plain);
        EXPECT_EQ(At(0, 0).Code, c.hidden) << int(c.drawn);
        P().DrawText(0, 0, ClGrey, "\xFF" + plain);
        EXPECT_EQ(At(0, 0).Code, c.drawn) << "escaped " << int(c.drawn);
        P().DrawText(0, 0, ClGrey, "\xFF\xFF" + plain);
        EXPECT_EQ(At(0, 0).Code, c.hidden) << "escaped twice " << int(c.drawn);
        t->Options().ShowTrackBreaks = true;
        P().DrawText(0, 0, ClGrey, plain);
        EXPECT_EQ(At(0, 0).Code, c.drawn) << "shown " << int(c.drawn);
    }
}

TEST_F(PanelTest, EscapeLastsToTheEndOfItsStringOnly) {
    P().DrawText(0, 0, ClGrey,
                 "\xFF"
                 "bb");
    EXPECT_EQ(Row(0, 0, 2), "bb");
    P().DrawText(0, 1, ClGrey, "bb");
    EXPECT_EQ(Row(1, 0, 2), "aa");
    P().DrawText2Bg(0, 2, ClGrey, ClBlack, ClBlack,
                    "\xFF"
                    "b");
    P().DrawText2Bg(1, 2, ClGrey, ClBlack, ClBlack, "b");
    EXPECT_EQ(Row(2, 0, 2), "ba");
}

TEST_F(PanelTest, TwoBackgroundsFormACheckerboard) {
    P().DrawText2Bg(10, 4, ClGrey, ClCyan, ClPink, "aaa");
    EXPECT_EQ(At(10, 4).Bg, ClPink);  // x + y even: background A
    EXPECT_EQ(At(11, 4).Bg, ClCyan);  // odd: background B
    EXPECT_EQ(At(12, 4).Bg, ClPink);
    P().DrawText2Bg(10, 5, ClGrey, ClCyan, ClPink, "a");
    EXPECT_EQ(At(10, 5).Bg, ClCyan);
}

TEST_F(PanelTest, TwoBackgroundFormDrawsBackgroundCodesAsGlyphs) {
    // 233 is a background code only in the single-background form; here it is an
    // ordinary code, and since no glyph is designed for it the surface reports it.
    EXPECT_NONFATAL_FAILURE(P().DrawText2Bg(0, 0, ClGrey, ClCyan, ClPink,
                                            "\xE9"
                                            "A"),
                            "has no glyph");
    EXPECT_EQ(At(0, 0).Code, 233);
    EXPECT_EQ(At(0, 0).Bg, ClPink);
    EXPECT_EQ(At(1, 0).Bg, ClCyan);
    EXPECT_EQ(At(1, 0).Code, 'A');
}

// Where the overview puts a glyph of panel cell (x, y).
TEST_F(PanelTest, OverviewMiniaturePlacement) {
    t->SimData.ScreenCount = 6;
    P().CurrentScreen = 0;
    struct Case {
        int x, y, px, py;
    };
    const Case cases[] = {
        {0, 0, 16, 16},    {127, 47, 270, 204}, {128, 0, 296, 16},   {300, 3, 664, 28},
        {384, 0, 16, 224}, {500, 10, 248, 264}, {767, 47, 830, 412},
    };
    for (const Case& c : cases) {
        P().DrawText(c.x, c.y, ClGrey, "b");
        const auto cell = t.surface.SmallAt(c.px, c.py);
        ASSERT_TRUE(cell.has_value()) << c.x << "," << c.y;
        EXPECT_EQ(cell->Code, 'b') << "no break substitution on the overview";
        EXPECT_EQ(cell->Fg, ClGrey);
    }
    EXPECT_EQ(t.surface.GlyphCount, 7);
    P().DrawText(768, 0, ClGrey, "a");
    EXPECT_EQ(t.surface.GlyphCount, 7);
}

TEST_F(PanelTest, OverviewShowsOnlyExistingScreensAndForegroundOnly) {
    P().CurrentScreen = 0;
    P().DrawText(255, 1, ClGrey, "aa");  // second glyph would be screen 3
    EXPECT_EQ(t.surface.GlyphCount, 1);
    P().DrawText2Bg(10, 4, ClRed, ClCyan, ClPink, "a");
    const auto cell = t.surface.SmallAt(36, 32);
    ASSERT_TRUE(cell.has_value());
    EXPECT_EQ(cell->Fg, ClRed);
    EXPECT_EQ(cell->Bg, ClBlack);
}

// Descriptions in the describer's delay mode on the overview: a miniature glyph has no
// ground of its own, so text in the panel's background colour takes its ground's colour
// rather than vanish; any other text keeps its own colour.
TEST_F(PanelTest, OverviewKeepsTextDrawnInTheBackgroundColourVisible) {
    P().CurrentScreen = 0;
    struct Case {
        Colour fg, ground, shown;
    };
    const Case cases[] = {
        {ClBlack, ClWhite, ClWhite},    // on time
        {ClBlack, ClYellow, ClYellow},  // late
        {ClBlack, ClGrey, ClGrey},      // no ARS path
        {ClWhite, ClRed, ClWhite},      // very late
        {ClGrey, ClBlack, ClGrey},      // an empty berth's track
    };
    int x = 10;
    for (const Case& c : cases) {
        P().DrawText2Bg(x, 4, c.fg, c.ground, c.ground, "2D11");
        for (int i = 0; i < 4; ++i) {
            const auto cell = t.surface.SmallAt(2 * (x + i) + 16, 32);
            ASSERT_TRUE(cell.has_value());
            EXPECT_EQ(cell->Fg, c.shown) << "text " << c.fg << " on " << c.ground;
            EXPECT_EQ(cell->Bg, ClBlack);
        }
        x += 6;
    }
    // Plain text keeps its colour even when it is the background's.
    P().DrawText(60, 4, ClBlack, "A");
    const auto cell = t.surface.SmallAt(2 * 60 + 16, 32);
    ASSERT_TRUE(cell.has_value());
    EXPECT_EQ(cell->Fg, ClBlack);
}

TEST_F(PanelTest, ButtonBarHasOneButtonPerScreen) {
    P().RedrawPanel();
    EXPECT_EQ(Row(46, 0, 44), "  MNU   ROV   REM   ISO   MSG   VW1   VW2   ");
    EXPECT_EQ(At(1, 46).Bg, ClOrange);
    EXPECT_EQ(At(2, 46).Fg, ClBlack);
    EXPECT_EQ(At(33, 46).Fg, ClWhite);  // VW1 is shown
    EXPECT_EQ(At(27, 46).Fg, ClBlack);
    EXPECT_FALSE(At(43, 46).Drawn);  // no VW3
    EXPECT_FALSE(At(6, 46).Drawn);   // the gap between buttons stays background
}

TEST_F(PanelTest, StatusLineShowsClockOrPaused) {
    t->SimTime = 86400 + 3 * 3600 + 5 * 60 + 59;
    P().RedrawStatus();
    EXPECT_EQ(Row(47, 1, 6), "03:05 ");
    EXPECT_EQ(At(1, 47).Fg, ClSilver);
    t->PauseSimulation();
    P().RedrawStatus();
    EXPECT_EQ(Row(47, 1, 6), "PAUSED");
    EXPECT_EQ(At(1, 47).Fg, ClWhite);
}

TEST_F(PanelTest, ScoreFieldShowsPercentageOnlyFromAHundredPoints) {
    struct Case {
        int score, max;
        const char* shown;
    };
    const Case cases[] = {{87, 99, "    "}, {87, 100, "087%"},  {1, 200, "001%"},
                          {0, 100, "000%"}, {300, 300, "100%"}, {5000, 100, "999%"}};
    for (const Case& c : cases) {
        t->Performance.Score = c.score;
        t->Performance.MaxScore = c.max;
        P().RedrawStatus();
        EXPECT_EQ(Row(47, 8, 4), c.shown) << c.score << "/" << c.max;
    }
}

TEST_F(PanelTest, ModeBannerShowsTheFirstModeThatApplies) {
    struct Case {
        bool over, rem, iso, inter, cancel;
        const char* banner;
    };
    const Case cases[] = {
        {false, false, false, false, false, "            "},
        {true, false, false, false, false, "REM.OVERRIDE"},
        {false, true, false, false, false, "REMINDER    "},
        {false, false, true, false, false, "ISOLATION   "},
        {false, false, false, true, false, "INTERPOSE TD"},
        {false, false, false, false, true, "CANCEL TD   "},
        {true, false, true, false, false, "REM.OVERRIDE"},
    };
    for (const Case& c : cases) {
        t->Operator.OverrideMode = c.over;
        t->Operator.ReminderMode = c.rem;
        t->Operator.IsolationMode = c.iso;
        t->Operator.InterposeMode = c.inter;
        t->Operator.CancelTDMode = c.cancel;
        P().RedrawStatus();
        EXPECT_EQ(Row(47, 18, 12), c.banner);
        EXPECT_EQ(At(18, 47).Fg, ClWhite);
    }
}

TEST_F(PanelTest, TelephoneIndicatorColours) {
    P().RedrawStatus();
    EXPECT_EQ(At(13, 47).Code, 0xA6);
    EXPECT_EQ(At(14, 47).Code, 0xA7);
    EXPECT_EQ(At(13, 47).Fg, ClSilver);  // no calls
    // A call answered and kept by its caller lights the symbol.
    TCall& answered = t->Calls.AddCall(std::make_unique<TCall>());
    answered.ReplyIndex = 0;
    t.Ticks(1);
    EXPECT_EQ(P().Telephone, TelephoneIndicator::InConversation);
    EXPECT_EQ(At(14, 47).Fg, ClWhite);
    // An unanswered call makes it flash.
    t->Calls.AddCall(std::make_unique<TCall>());
    std::vector<Colour> seen;
    for (int i = 0; i < 4; ++i) {
        t.Ticks(1);
        seen.push_back(At(13, 47).Fg);
        EXPECT_EQ(At(13, 47).Bg, ClBlack);
    }
    EXPECT_EQ(seen, (std::vector<Colour>{ClBlack, ClWhite, ClBlack, ClWhite}));
    // With the answer window open on the only unanswered call it stops flashing.
    ASSERT_TRUE(t->Calls.ShowCall(&t->Calls.At(1)));
    t.Ticks(2);
    EXPECT_EQ(At(13, 47).Fg, ClWhite);
    t->Calls.ClearCalls();
    t.Ticks(1);
    EXPECT_EQ(At(13, 47).Fg, ClSilver);
}

TEST_F(PanelTest, StatusLineIsRedrawnEveryMinuteAndWhilePaused) {
    t->SimTime = 59;
    t.Ticks(1);  // flash on: second 60
    EXPECT_EQ(Row(47, 1, 6), "00:01 ");
    t->PauseSimulation();
    t.Ticks(1);
    EXPECT_EQ(Row(47, 1, 6), "PAUSED");
    t->ResumeSimulation();
    EXPECT_EQ(Row(47, 1, 6), "00:01 ");
}

TEST_F(PanelTest, RedrawPanelDrawsLabelsAndTrackOfTheShownScreen) {
    TPEL& label = t->Labels.Create(*t);
    label.X = 3;
    label.Y = 2;
    label.Text = "PLATFORM";
    TPEL& hidden = t->Labels.Create(*t);
    hidden.X = 3;
    hidden.Y = 3;
    hidden.Text = "HIDDEN";
    hidden.Visible = false;
    TTCS& tc = t->TrackCircuits.Create(*t, "T1");
    TPEL& track = t->Labels.Create(*t);
    track.X = 140;
    track.Y = 20;
    track.Text = "aaa";
    tc.TrackElements.Add("", &track);
    t->SimData.BackgroundColour = ClBlack;

    P().RedrawPanel();
    EXPECT_EQ(t.surface.LastFill, ClBlack);
    EXPECT_EQ(Row(2, 3, 8), "PLATFORM");
    EXPECT_EQ(At(3, 2).Fg, ClGrey);
    EXPECT_FALSE(At(3, 3).Drawn);
    EXPECT_FALSE(At(12, 20).Drawn);
    ASSERT_TRUE(P().SelectScreen(2));
    EXPECT_EQ(Row(20, 12, 3), "aaa");
    EXPECT_FALSE(At(3, 2).Drawn);
}

TEST_F(PanelTest, RedrawPanelCallsTheAreaHookLast) {
    int calls = 0;
    t->Hooks.RedrawHook = [&] {
        ++calls;
        EXPECT_TRUE(At(1, 46).Drawn);
    };
    P().RedrawPanel();
    EXPECT_EQ(calls, 1);
}

TEST_F(PanelTest, OverviewFramesAndHistoryBox) {
    P().SelectScreen(0);
    const std::string top = Row(0, 0, 106);
    EXPECT_EQ(top.substr(0, 5), "\x80\x89VW1");
    EXPECT_EQ(top.substr(35, 5), "\x85\x89VW2");
    EXPECT_EQ(top.substr(70, 5), "\x85\x89VW3");
    EXPECT_EQ(top.substr(105, 1), "\x81");
    EXPECT_EQ(top.substr(5, 30), std::string(30, '\x89'));
    const std::string middle = Row(13, 0, 106);
    EXPECT_EQ(middle.substr(0, 5), "\x86\x89VW4");
    EXPECT_EQ(middle.substr(35, 5), "\x87\x89VW5");
    EXPECT_EQ(middle.substr(105, 1), "\x88");
    const std::string bottom = Row(26, 0, 106);
    EXPECT_EQ(bottom[0], '\x82');
    EXPECT_EQ(bottom[35], '\x84');
    EXPECT_EQ(bottom[70], '\x84');
    EXPECT_EQ(bottom[105], '\x83');
    EXPECT_FALSE(At(106, 0).Drawn);
    for (int row : {1, 12, 14, 25}) {
        for (int col : {0, 35, 70, 105}) EXPECT_EQ(At(col, row).Code, 0x8A) << row << "," << col;
        EXPECT_FALSE(At(1, row).Drawn) << "the frames' insides are left to the miniatures";
    }
    EXPECT_EQ(At(0, 0).Fg, ClSilver);

    EXPECT_EQ(Row(28, 0, 10), "\x80\x89MESSAGES");
    EXPECT_EQ(At(127, 28).Code, 0x81);
    EXPECT_EQ(At(0, 29).Code, 0x8A);
    EXPECT_EQ(At(127, 43).Code, 0x8A);
    EXPECT_EQ(Row(35, 1, 126), std::string(126, ' '));
    EXPECT_EQ(At(0, 44).Code, 0x82);
    EXPECT_EQ(At(64, 44).Code, 0x89);
    EXPECT_EQ(At(127, 44).Code, 0x83);
    // No message line on the overview.
    EXPECT_EQ(At(100, 45).Drawn, false);
    EXPECT_EQ(Row(46, 25, 5), " MSG ");
    EXPECT_EQ(At(26, 46).Fg, ClWhite);
}

TEST_F(PanelTest, OverviewWithTwoScreensFillsTwoFrames) {
    TPEL& a = t->Labels.Create(*t);
    a.X = 0;
    a.Y = 0;
    a.Text = "a";
    TPEL& b = t->Labels.Create(*t);
    b.X = 128;
    b.Y = 0;
    b.Text = "a";
    TPEL& c = t->Labels.Create(*t);
    c.X = 256;
    c.Y = 0;
    c.Text = "a";
    P().SelectScreen(0);
    EXPECT_TRUE(t.surface.SmallAt(16, 16).has_value());
    EXPECT_TRUE(t.surface.SmallAt(296, 16).has_value());
    EXPECT_FALSE(t.surface.SmallAt(576, 16).has_value());
}

TEST_F(PanelTest, WheelStopsAtTheOverviewAndTheLastScreen) {
    P().CurrentScreen = 0;
    EXPECT_FALSE(P().WheelUp());
    EXPECT_EQ(t.surface.FillCount, 0);
    EXPECT_TRUE(P().WheelDown());
    EXPECT_EQ(P().CurrentScreen, 1);
    EXPECT_EQ(t.surface.FillCount, 1);
    EXPECT_TRUE(P().WheelDown());
    EXPECT_FALSE(P().WheelDown());
    EXPECT_EQ(P().CurrentScreen, 2);
    EXPECT_TRUE(P().WheelUp());
    EXPECT_EQ(P().CurrentScreen, 1);
}

// Wheel movement reported in parts, as a high-resolution wheel or a touchpad does.
struct WheelCase {
    const char* Name;
    int StartScreen;
    std::vector<int> Deltas;
    int EndScreen;
    int Stepped;
};

void PrintTo(const WheelCase& c, std::ostream* os) {
    *os << c.Name << " from screen " << c.StartScreen << ":";
    for (int d : c.Deltas) *os << " " << d;
}

class PanelWheelTest : public PanelTest, public ::testing::WithParamInterface<WheelCase> {};

TEST_P(PanelWheelTest, StepsOneScreenPerNotchOfMovement) {
    const WheelCase& c = GetParam();
    t->SimData.ScreenCount = 4;
    P().CurrentScreen = c.StartScreen;
    int stepped = 0;
    for (int d : c.Deltas) stepped += P().WheelMoved(d);
    EXPECT_EQ(P().CurrentScreen, c.EndScreen);
    EXPECT_EQ(stepped, c.Stepped);
}

const WheelCase kWheelCases[] = {
    {"OneNotch", 1, {-120}, 2, 1},
    {"EightFifteensMakeOneNotch", 1, {-15, -15, -15, -15, -15, -15, -15, -15}, 2, 1},
    {"SevenFifteensAreNotANotch", 1, {-15, -15, -15, -15, -15, -15, -15}, 1, 0},
    {"JustUnderANotch", 1, {-119}, 1, 0},
    {"TwoNotchesInOneEvent", 1, {-240}, 3, 2},
    {"TwoNotchesUp", 3, {240}, 1, -2},
    {"RemainderCarriesOver", 1, {-130, -110}, 3, 2},
    {"RemainderBelowANotchStaysUnused", 1, {-130, -100}, 2, 1},
    {"TurningBackDropsTheRemainder", 1, {-100, 30, -100}, 1, 0},
    {"TurningBackAfterAStep", 2, {-200, 100, 20}, 2, 0},
    {"UpOnTheOverviewDoesNothing", 0, {120, 120}, 0, 0},
    {"DownOnTheLastScreenDoesNothing", 4, {-360}, 4, 0},
    {"HugeDeltasStopAtTheEnds", 1, {-2147483647, 2147483647}, 0, -1},
    {"ZeroDoesNothing", 2, {0, 0}, 2, 0},
};

INSTANTIATE_TEST_SUITE_P(Wheel, PanelWheelTest, ::testing::ValuesIn(kWheelCases),
                         [](const ::testing::TestParamInfo<WheelCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(PanelTest, SelectScreenRefusesMissingAndCurrentScreens) {
    EXPECT_FALSE(P().SelectScreen(1));
    EXPECT_FALSE(P().SelectScreen(3));
    EXPECT_FALSE(P().SelectScreen(-1));
    EXPECT_EQ(t.surface.FillCount, 0);
    EXPECT_TRUE(P().SelectScreen(0));
    EXPECT_EQ(P().CurrentScreen, 0);
}

TEST_F(PanelTest, ScreenButtonsUnderThePointer) {
    struct Case {
        int px, py, screen;
    };
    const Case cases[] = {
        {200, 46 * 16, 0},  {210, 46 * 16 + 15, 0}, {250, 46 * 16, 1},
        {300, 46 * 16, 2},  {340, 46 * 16, -1},  // VW3 does not exist
        {48, 46 * 16, -1},                       // gap column
        {240, 46 * 16, -1},                      // gap column 30
        {100, 46 * 16, -1},                      // REM
        {250, 45 * 16, -1},                      // not the button row
    };
    for (const Case& c : cases) EXPECT_EQ(P().ScreenButtonAt(c.px, c.py), c.screen) << c.px;
}

TEST_F(PanelTest, ClicksOnButtonsAndMiniaturesChangeScreen) {
    t->SimData.ScreenCount = 4;
    EXPECT_TRUE(P().ScreenClick(200, 46 * 16 + 4, false));  // MSG, any button
    EXPECT_EQ(P().CurrentScreen, 0);
    struct Case {
        int px, py, miniature;
        bool changes;
    };
    const Case cases[] = {
        {300, 5 * 16, 2, true},    {20, 12 * 16, 1, true},   {600, 0, 3, true},
        {10, 13 * 16, 4, true},    {300, 20 * 16, 5, false},  // screen 5 does not exist
        {900, 5 * 16, -1, false},                             // right of the frames
        {300, 27 * 16, -1, false},                            // below the frames
    };
    for (const Case& c : cases) {
        P().CurrentScreen = 0;
        EXPECT_EQ(P().MiniatureAt(c.px, c.py), c.miniature) << c.px << "," << c.py;
        EXPECT_EQ(P().ScreenClick(c.px, c.py, true), c.changes) << c.px << "," << c.py;
        EXPECT_EQ(P().CurrentScreen, c.changes ? c.miniature : 0);
    }
    P().CurrentScreen = 0;
    EXPECT_FALSE(P().ScreenClick(300, 5 * 16, false));  // right button on a miniature
    P().CurrentScreen = 1;
    EXPECT_FALSE(P().ScreenClick(300, 5 * 16, true));  // no miniatures on screen 1
}

TEST_F(PanelTest, PageFlipAtTheScreenEdges) {
    EXPECT_EQ(P().PageFlip(1023), -512);
    EXPECT_EQ(P().CurrentScreen, 2);
    EXPECT_EQ(P().PageFlip(1023), 0);  // no screen beyond the last
    EXPECT_EQ(P().PageFlip(1022), 0);
    EXPECT_EQ(P().PageFlip(0), 512);
    EXPECT_EQ(P().CurrentScreen, 1);
    EXPECT_EQ(P().PageFlip(-3), 512);
    EXPECT_EQ(P().CurrentScreen, 0);
    EXPECT_EQ(P().PageFlip(0), 0);
    t->Options().MousePageFlip = false;
    EXPECT_EQ(P().PageFlip(1023), 0);
    EXPECT_EQ(P().CurrentScreen, 0);
}

}  // namespace
}  // namespace kestra
