#include "panel/panel.h"

#include <cstdio>

#include "core/sim.h"
#include "panel/palette.h"

namespace kestra {

Colour PaletteColour(int index, bool eightBit) {
    static constexpr Colour table[12] = {ClBlack,  ClGrey,   ClWhite, ClRed,    ClOrange, ClYellow,
                                         ClGreen,  ClSkyBlue, ClViolet, ClCyan,  ClPink,   ClDarkGreen};
    if (index < 0 || index > 11) return ClBlack;
    if (eightBit && table[index] == ClOrange) return ClOlive;
    if (eightBit && table[index] == ClPink) return ClMagenta;
    return table[index];
}

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
    const int overviewLimit = std::min(ScreenColumns * sim_.SimData.ScreenCount, 768);
    PanelSurface& surface = sim_.Surface();
    for (unsigned char code : glyphs) {
        switch (code) {
            case GcMoveDownLeft: --x; ++y; continue;
            case GcMoveDown: ++y; continue;
            case GcMoveDownRight: ++x; ++y; continue;
            case GcMoveLeft: --x; continue;
            case GcSkip: ++x; continue;
            case GcMoveUpLeft: --x; --y; continue;
            case GcMoveUp: --y; continue;
            case GcMoveUpRight: ++x; --y; continue;
            case GcNoSubstitute: NoSubstitute = !NoSubstitute; continue;
            default: break;
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
            if (x >= 0 && x < overviewLimit && y >= 0) {
                const int k = x / ScreenColumns;
                const int c = x % ScreenColumns;
                const int px = 280 * (k % 3) + 2 * c + 16;
                const int py = (y + (k < 3 ? 4 : 56)) * 4;
                surface.PutGlyph(px, py, code, fg, bg, PanelFont::Small);
            }
        } else {
            const std::uint8_t shown =
                (sim_.Options().ShowTrackBreaks || NoSubstitute) ? code : SubstituteTrackBreak(code);
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

void Panel::RedrawStatus() {
    if (sim_.IsPaused()) {
        DrawStatusText(1, 47, ClBlack, ClWhite, "PAUSED");
    } else {
        char buf[16];
        const std::int32_t t = sim_.SimTime;
        std::snprintf(buf, sizeof buf, "%2.2d:%2.2d ", (t / 3600) % 24, (t / 60) % 60);
        DrawStatusText(1, 47, ClBlack, ClSilver, buf);
        if (!sim_.ClientMode) sim_.BroadcastClock();
    }
    char score[16] = "    ";
    if (sim_.MaxScore >= 100) {
        const int pct = static_cast<int>((sim_.Score * 100.0) / sim_.MaxScore + 0.5);
        std::snprintf(score, sizeof score, "%3.3d%%", pct);
    }
    DrawStatusText(8, 47, ClBlack, ClSilver, score);
}

}  // namespace kestra
