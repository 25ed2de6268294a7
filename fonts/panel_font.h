#pragma once
// The two panel fonts as plain data: "KESTRA" (8 x 16 cells) and "KESTRASMALL" (2 x 4
// cells, the overview). Generated at build time from fonts/kestra.bdf and
// fonts/kestrasmall.bdf; fonts/glyphs.txt says what every code means.

#include <cstdint>

namespace kestra::font {

struct Face {
    const char* Family;
    int Width;
    int Height;
    // Whether the code has a glyph.
    bool Present[256];
    // Row y of code c: bit 7 is the leftmost pixel. Rows past Height are zero.
    std::uint8_t Rows[256][16];

    bool HasGlyph(std::uint8_t code) const { return Present[code]; }
    bool Ink(std::uint8_t code, int x, int y) const { return (Rows[code][y] >> (7 - x)) & 1; }
};

extern const Face Normal;
extern const Face Small;

}  // namespace kestra::font
