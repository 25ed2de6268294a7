#pragma once
// The panel palette and the fixed furniture colours.

#include <cstdint>

#include "core/ports.h"

namespace kestra {

inline constexpr Colour ClBlack = RGBHex(0x000000);
inline constexpr Colour ClGrey = RGBHex(0xA0A0A0);
inline constexpr Colour ClWhite = RGBHex(0xFFFFFF);
inline constexpr Colour ClRed = RGBHex(0xFF0000);
inline constexpr Colour ClOrange = RGBHex(0xFF8000);
inline constexpr Colour ClYellow = RGBHex(0xFFFF00);
inline constexpr Colour ClGreen = RGBHex(0x00FF00);
inline constexpr Colour ClSkyBlue = RGBHex(0x00A0FF);
inline constexpr Colour ClViolet = RGBHex(0x8000FF);
inline constexpr Colour ClCyan = RGBHex(0x00FFFF);
inline constexpr Colour ClPink = RGBHex(0xFFA0FF);
inline constexpr Colour ClDarkGreen = RGBHex(0x00C000);
// Substitutes on a display limited to 8 bits per pixel.
inline constexpr Colour ClOlive = RGBHex(0x808000);
inline constexpr Colour ClMagenta = RGBHex(0xFF00FF);
// Furniture only.
inline constexpr Colour ClSilver = RGBHex(0xC0C0C0);
inline constexpr Colour ClDarkGrey = RGBHex(0x505050);

// Glyph-string codes.
enum GlyphCode : std::uint8_t {
    GcMoveDownLeft = 201,
    GcMoveDown = 202,
    GcMoveDownRight = 203,
    GcMoveLeft = 204,
    GcSkip = 206,
    GcMoveUpLeft = 207,
    GcMoveUp = 208,
    GcMoveUpRight = 209,
    GcFgFirst = 210,  // 210..221 set the foreground
    GcFgLast = 221,
    GcBgFirst = 230,  // 230..240 set the background
    GcBgLast = 240,
    GcNoSubstitute = 255,
};

// The palette's twelve colours by index: a glyph string sets the foreground with
// GcFgFirst + index and the background with GcBgFirst + index.
enum PaletteIndex : std::uint8_t {
    PiBlack = 0,
    PiGrey = 1,
    PiWhite = 2,
    PiRed = 3,
    PiOrange = 4,
    PiYellow = 5,
    PiGreen = 6,
    PiSkyBlue = 7,
    PiViolet = 8,
    PiCyan = 9,
    PiPink = 10,
    PiDarkGreen = 11,
    PaletteSize = 12,
};

// The glyph-string code that sets the foreground, or the background, to a palette colour.
constexpr char ForegroundCode(PaletteIndex index) {
    return static_cast<char>(int{GcFgFirst} + int{index});
}
constexpr char BackgroundCode(PaletteIndex index) {
    return static_cast<char>(int{GcBgFirst} + int{index});
}

// Palette colour of a foreground code 210..221 (index 0..11) or background code 230..240;
// orange and pink have substitutes on an 8-bit display.
Colour PaletteColour(int index, bool eightBit);

}  // namespace kestra
