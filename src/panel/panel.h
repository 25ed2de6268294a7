#pragma once
// The panel model: turns glyph strings into glyphs on the panel surface, for the
// current screen or as overview miniatures, and draws the furniture.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ports.h"

namespace kestra {

class Sim;

inline constexpr int CellWidth = 8;
inline constexpr int CellHeight = 16;
inline constexpr int ScreenColumns = 128;
inline constexpr int ScreenRows = 48;
inline constexpr int PanelWidth = 1024;
inline constexpr int PanelHeight = 768;

class Panel {
public:
    explicit Panel(Sim& sim) : sim_(sim) {}

    // Draws a glyph string starting at panel cell (x, y).
    void DrawText(int x, int y, Colour fg, std::string_view glyphs);
    // As DrawText, with background A on cells where x + y is even and B where it is odd.
    void DrawText2Bg(int x, int y, Colour fg, Colour bgB, Colour bgA, std::string_view glyphs);
    // Plain text at a screen cell of the current screen, for the furniture.
    void DrawStatusText(int column, int row, Colour bg, Colour fg, const std::string& text);
    // The status line: clock or "PAUSED", and the score.
    void RedrawStatus();

    // Glyph substitution that hides track-circuit break marks.
    static std::uint8_t SubstituteTrackBreak(std::uint8_t code);

    std::int32_t CurrentScreen = 1;
    bool NoSubstitute = false;
    bool EightBitColour = false;

private:
    void Interpret(int x, int y, Colour fg, Colour bg, bool twoBg, Colour bgB, Colour bgA,
                   std::string_view glyphs);
    Sim& sim_;
};

}  // namespace kestra
