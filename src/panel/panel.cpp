#include "panel/panel.h"

#include <algorithm>
#include <cstdio>

#include "core/ascii_text.h"
#include "sim/sim.h"
#include "display/palette.h"

namespace kestra {

std::uint8_t Panel::SubstituteTrackBreak(std::uint8_t code) {
    switch (code) {
        case 91:
        case 93:
        case 98:
        case 99:
            return 97;
        case 108:
        case 109:
        case 110:
        case 111:
            return static_cast<std::uint8_t>(code - 4);
        default:
            return code;
    }
}

void Panel::DrawText(int x, int y, Colour fg, std::string_view glyphs) {
    Interpret(x, y, fg, sim_.SimData.BackgroundColour, false, 0, 0, glyphs);
}

void Panel::DrawText2Bg(int x, int y, Colour fg, Colour bgB, Colour bgA, std::string_view glyphs) {
    Interpret(x, y, fg, sim_.SimData.BackgroundColour, true, bgB, bgA, glyphs);
}

void Panel::Interpret(int x, int y, Colour fg, Colour bg, bool twoBg, Colour bgB, Colour bgA,
                      std::string_view glyphs) {
    const bool overview = CurrentScreen == 0;
    int screenStart = 0;
    if (!overview) {
        if (x < 0 || x / ScreenColumns + 1 != CurrentScreen) return;
        screenStart = (CurrentScreen - 1) * ScreenColumns;
    }
    auto magentaFor = [this](Colour c) { return EightBitColour && c == ClPink ? ClMagenta : c; };
    NoSubstitute = false;
    fg = magentaFor(fg);
    if (twoBg && !overview) {
        bgB = magentaFor(bgB);
        bgA = magentaFor(bgA);
    }
    const bool substitute = !sim_.Options().ShowTrackBreaks;
    const int overviewLimit =
        std::min(ScreenColumns * std::min(sim_.SimData.ScreenCount, OverviewScreens), 768);
    PanelSurface& surface = sim_.Surface();
    for (unsigned char code : glyphs) {
        switch (code) {
            case GcMoveDownLeft:
                --x;
                ++y;
                continue;
            case GcMoveDown:
                ++y;
                continue;
            case GcMoveDownRight:
                ++x;
                ++y;
                continue;
            case GcMoveLeft:
                --x;
                continue;
            case GcSkip:
                ++x;
                continue;
            case GcMoveUpLeft:
                --x;
                --y;
                continue;
            case GcMoveUp:
                --y;
                continue;
            case GcMoveUpRight:
                ++x;
                --y;
                continue;
            case GcNoSubstitute:
                NoSubstitute = !NoSubstitute;
                continue;
            default:
                break;
        }
        if (code >= GcFgFirst && code <= GcFgLast) {
            fg = PaletteColour(code - GcFgFirst, EightBitColour);
            continue;
        }
        if (!twoBg && code >= GcBgFirst && code <= GcBgLast) {
            bg = PaletteColour(code - GcBgFirst, EightBitColour);
            continue;
        }
        if (overview) {
            // Miniatures: screens 1-3 side by side in the upper band, 4-6 in the lower.
            if (x >= 0 && x < overviewLimit && y >= 0 && y < ScreenRows) {
                const int k = x / ScreenColumns;
                const int c = x % ScreenColumns;
                const int px = 280 * (k % 3) + 2 * c + 16;
                const int py = (y + (k < 3 ? 4 : 56)) * 4;
                // A miniature glyph has no background of its own: text in the panel's
                // background colour on a coloured ground (a description black on white
                // or yellow in the describer's delay mode) would vanish, so it takes the
                // colour of its ground instead.
                Colour miniFg = fg;
                if (twoBg && fg == bg) miniFg = ((x + y) % 2 == 0) ? bgA : bgB;
                surface.PutGlyph(px, py, code, miniFg, bg, PanelFont::Small);
            }
        } else {
            const std::uint8_t shown =
                (substitute && !NoSubstitute) ? SubstituteTrackBreak(code) : code;
            const int col = x - screenStart;
            if (col >= 0 && col < ScreenColumns && y >= 0 && y < ScreenRows) {
                const Colour cellBg = twoBg ? (((x + y) % 2 == 0) ? bgA : bgB) : bg;
                surface.PutGlyph(col * CellWidth, y * CellHeight, shown, fg, cellBg,
                                 PanelFont::Normal);
            }
        }
        ++x;
    }
}

void Panel::DrawStatusText(int column, int row, Colour bg, Colour fg, const std::string& text) {
    sim_.Surface().PutText(column * CellWidth, row * CellHeight, text, fg, bg);
}

int Panel::ScreenCount() const {
    return std::clamp(sim_.SimData.ScreenCount, 1, 9);
}

void Panel::RedrawPanel() {
    sim_.Surface().Fill(sim_.SimData.BackgroundColour);
    DrawButtonBar();
    RedrawStatus();
    // Object layers in a fixed order, each list in its own order: ARS sub-areas, flags,
    // panel labels, signals, then track circuits (which draw their berths, points and
    // subroutes). On the overview these draws produce the miniatures.
    sim_.ARSSubAreas.Draw();
    sim_.Flags.Draw();
    sim_.Labels.Draw();
    sim_.Signals.Draw();
    sim_.TrackCircuits.Draw();
    // Level crossings over the track they cross.
    sim_.LevelCrossings.Draw();
    if (CurrentScreen == 0) {
        DrawOverviewFrames();
        DrawMessageHistory();
    } else {
        sim_.Messages().DrawMessageLine();
    }
    if (sim_.Hooks.RedrawHook) sim_.Hooks.RedrawHook();
}

// Five-cell buttons at a pitch of six from column 1: MNU, ROV, REM, ISO, then one per
// screen (MSG for the overview); the button of the shown screen has white text.
void Panel::DrawButtonBar() {
    static constexpr const char* fixed[FixedButtons] = {" MNU ", " ROV ", " REM ", " ISO "};
    for (int b = 0; b < FixedButtons; ++b)
        DrawStatusText(1 + ButtonPitch * b, ButtonBarRow, ClOrange, ClBlack, fixed[b]);
    for (int i = 0; i <= ScreenCount(); ++i) {
        char label[16];
        if (i == 0) {
            std::snprintf(label, sizeof label, " MSG ");
        } else {
            std::snprintf(label, sizeof label, " VW%d ", i);
        }
        DrawStatusText(1 + ButtonPitch * (FixedButtons + i), ButtonBarRow, ClOrange, i == CurrentScreen ? ClWhite : ClBlack,
                       label);
    }
}

SignallingMode Panel::StatusMode() const {
    const TOperatorState& op = sim_.Operator;
    if (op.OverrideMode) return SignallingMode::Override;
    if (op.ReminderMode) return SignallingMode::Reminder;
    if (op.IsolationMode) return SignallingMode::Isolation;
    if (op.InterposeMode) return SignallingMode::Interpose;
    if (op.CancelTDMode) return SignallingMode::CancelTD;
    return SignallingMode::None;
}

void Panel::RedrawStatus() {
    if (sim_.IsPaused()) {
        DrawStatusText(ClockColumn, StatusRow, ClBlack, ClWhite, "PAUSED");
    } else {
        char buf[16];
        const std::int32_t t = sim_.SimTime;
        std::snprintf(buf, sizeof buf, "%2.2d:%2.2d ", (t / 3600) % 24, (t / 60) % 60);
        DrawStatusText(ClockColumn, StatusRow, ClBlack, ClSilver, buf);
        if (!sim_.ClientMode) sim_.BroadcastClock();
    }

    char score[16] = "    ";
    if (sim_.Performance.MaxScore >= 100) {
        // Kept to three digits so that an out-of-range score cannot run into the
        // telephone indicator.
        const double pct = (sim_.Performance.Score * 100.0) / sim_.Performance.MaxScore;
        const int shown = std::clamp(static_cast<int>(pct + 0.5), 0, 999);
        std::snprintf(score, sizeof score, "%3.3d%%", shown);
    }
    DrawStatusText(ScoreColumn, StatusRow, ClBlack, ClSilver, score);

    static constexpr const char* banners[6] = {"            ", "REM.OVERRIDE", "REMINDER    ",
                                               "ISOLATION   ", "INTERPOSE TD", "CANCEL TD   "};
    DrawStatusText(BannerColumn, StatusRow, ClBlack, ClWhite, banners[static_cast<int>(StatusMode())]);

    UpdateTelephoneIndicator();
}

void Panel::UpdateTelephoneIndicator() {
    // The symbol follows the calls: flashing while any is unanswered, lit while one has
    // been answered and waits for its caller.
    if (sim_.Calls.HasUnansweredCalls())
        Telephone = TelephoneIndicator::Ringing;
    else if (sim_.Calls.HasAwaitingCalls())
        Telephone = TelephoneIndicator::InConversation;
    else
        Telephone = TelephoneIndicator::Idle;
    if (Telephone == TelephoneIndicator::Ringing) {
        // The ringing starts at once, on an odd second, then the timer repeats it.
        if (!RingTimerRunning) {
            RingTimerRunning = true;
            if (sim_.SimTime % 2 != 0) PlayRing();
        }
    } else {
        RingTimerRunning = false;
    }
    Colour fg = ClSilver;
    switch (Telephone) {
        case TelephoneIndicator::Idle:
            fg = ClSilver;
            break;
        case TelephoneIndicator::Ringing:
            fg = sim_.FlashPhase ? ClWhite : ClBlack;
            break;
        case TelephoneIndicator::InConversation:
            fg = ClWhite;
            break;
    }
    PanelSurface& surface = sim_.Surface();
    surface.PutGlyph(TelephoneColumn * CellWidth, StatusRow * CellHeight, FgTelephoneLeft, fg,
                     ClBlack, PanelFont::Normal);
    surface.PutGlyph((TelephoneColumn + 1) * CellWidth, StatusRow * CellHeight, FgTelephoneRight,
                     fg, ClBlack, PanelFont::Normal);
}

void Panel::RingTimerTick() {
    if (RingTimerRunning && !sim_.IsPaused()) PlayRing();
}

void Panel::PlayRing() {
    const TMessageOption& telephone = sim_.Messages().Options[EvTelephone];
    if (telephone.Sound && !telephone.SoundFilename.empty())
        sim_.Audio().PlayFile(telephone.SoundFilename);
}

namespace {

// One horizontal frame line: a left piece, then per frame a run of lines holding an
// optional title, a junction between frames, and a right piece.
std::string FrameLine(char left, char junction, char right, const char* const titles[3]) {
    const char h = static_cast<char>(FgHorizontal);
    std::string line;
    for (int f = 0; f < 3; ++f) {
        line += f == 0 ? left : junction;
        std::string run(OverviewFrameColumns - 1, h);
        if (titles) run.replace(1, 3, titles[f]);
        line += run;
    }
    line += right;
    return line;
}

}  // namespace

// Frames VW1-VW3 on rows 0-13 and VW4-VW6 on rows 13-26, silver on black.
void Panel::DrawOverviewFrames() {
    static const char* const upper[3] = {"VW1", "VW2", "VW3"};
    static const char* const lower[3] = {"VW4", "VW5", "VW6"};
    auto g = [](FurnitureGlyph f) { return static_cast<char>(f); };
    DrawStatusText(0, 0, ClBlack, ClSilver,
                   FrameLine(g(FgTopLeft), g(FgTopJunction), g(FgTopRight), upper));
    DrawStatusText(0, 13, ClBlack, ClSilver,
                   FrameLine(g(FgLeftJunction), g(FgCrossing), g(FgRightJunction), lower));
    DrawStatusText(0, 26, ClBlack, ClSilver,
                   FrameLine(g(FgBottomLeft), g(FgBottomJunction), g(FgBottomRight), nullptr));
    const std::string bar(1, g(FgVertical));
    for (int row = 1; row <= 25; ++row) {
        if (row == 13) continue;
        for (int f = 0; f <= 3; ++f)
            DrawStatusText(f * OverviewFrameColumns, row, ClBlack, ClSilver, bar);
    }
}

void Panel::DrawMessageHistory() {
    if (CurrentScreen != 0) return;
    const char h = static_cast<char>(FgHorizontal);
    const char v = static_cast<char>(FgVertical);
    std::string top(ScreenColumns, h);
    top.front() = static_cast<char>(FgTopLeft);
    top.back() = static_cast<char>(FgTopRight);
    top.replace(2, 8, "MESSAGES");
    DrawStatusText(0, HistoryTopRow, ClBlack, ClSilver, top);
    std::string side(ScreenColumns, ' ');
    side.front() = v;
    side.back() = v;
    for (int row = HistoryTopRow + 1; row < HistoryBottomRow; ++row)
        DrawStatusText(0, row, ClBlack, ClSilver, side);
    std::string bottom(ScreenColumns, h);
    bottom.front() = static_cast<char>(FgBottomLeft);
    bottom.back() = static_cast<char>(FgBottomRight);
    DrawStatusText(0, HistoryBottomRow, ClBlack, ClSilver, bottom);

    int row = HistoryTopRow + 1;
    for (const MessageText& m : sim_.Messages().MessageHistory) {
        if (row >= HistoryBottomRow) break;
        const std::string text = AsciiUpper(std::string_view(m.Text).substr(0, HistoryTextWidth));
        DrawStatusText(HistoryTextColumn, row++, ClBlack, m.Colour, text);
    }
}

bool Panel::SelectScreen(int screen) {
    if (screen < 0 || screen > ScreenCount() || screen == CurrentScreen) return false;
    CurrentScreen = screen;
    RedrawPanel();
    return true;
}

int Panel::WheelMoved(int angleDelta) {
    if (angleDelta == 0) return 0;
    // No real wheel turns further than this in one event; the bound keeps the sum safe.
    angleDelta = std::clamp(angleDelta, -16 * WheelNotch, 16 * WheelNotch);
    // Turning the other way starts a new movement.
    if ((angleDelta > 0) != (wheelRemainder_ > 0) && wheelRemainder_ != 0) wheelRemainder_ = 0;
    wheelRemainder_ += angleDelta;
    int stepped = 0;
    while (wheelRemainder_ >= WheelNotch) {
        wheelRemainder_ -= WheelNotch;
        if (WheelUp()) --stepped;
    }
    while (wheelRemainder_ <= -WheelNotch) {
        wheelRemainder_ += WheelNotch;
        if (WheelDown()) ++stepped;
    }
    return stepped;
}

int Panel::PageFlip(int px) {
    if (!sim_.Options().MousePageFlip) return 0;
    if (px > PanelWidth - 2) return SelectScreen(CurrentScreen + 1) ? -PanelWidth / 2 : 0;
    if (px <= 0) return CurrentScreen > 0 && SelectScreen(CurrentScreen - 1) ? PanelWidth / 2 : 0;
    return 0;
}

int Panel::ScreenButtonAt(int px, int py) const {
    if (px < 0 || py < 0 || py / CellHeight != ButtonBarRow) return -1;
    if ((px / CellWidth) % ButtonPitch == 0) return -1;  // gap column between buttons
    const int b = px / (ButtonPitch * CellWidth);
    if (b < FixedButtons || b - FixedButtons > ScreenCount()) return -1;
    return b - FixedButtons;
}

int Panel::MiniatureAt(int px, int py) const {
    if (px < 0 || py < 0 || px >= PanelWidth) return -1;
    const int column = px / CellWidth;
    const int row = py / CellHeight;
    const int frame = column / OverviewFrameColumns;
    if (frame > 2) return -1;
    if (row <= 12) return 1 + frame;
    if (row <= 25) return 4 + frame;
    return -1;
}

bool Panel::ScreenClick(int px, int py, bool leftButton) {
    const int button = ScreenButtonAt(px, py);
    if (button >= 0) return SelectScreen(button);
    if (CurrentScreen == 0 && leftButton && py / CellHeight < ButtonBarRow) {
        const int screen = MiniatureAt(px, py);
        if (screen > 0) return SelectScreen(screen);
    }
    return false;
}

}  // namespace kestra
