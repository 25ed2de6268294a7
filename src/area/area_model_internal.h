#pragma once
// What the stages of the area model's derivation share: the geometry of ports, the
// track glyphs of the panel font, colour codes of glyph strings, the limits of the
// derivation and the readers of the description's option words. Included only by the
// model's own source files.

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_model.h"
#include "interlocking/signal.h"
#include "display/palette.h"

namespace kestra::area::model {

inline constexpr int kDX[PtCount] = {-1, 1, -1, 1, -1, 1};
inline constexpr int kDY[PtCount] = {0, 0, -1, -1, 1, 1};
inline constexpr int kOpposite[PtCount] = {PtR, PtL, PtDR, PtDL, PtUR, PtUL};

// Panel glyphs of the track.
inline constexpr std::uint8_t GlTrack = 'a';
inline constexpr std::uint8_t GlBreakLeft = 91;
inline constexpr std::uint8_t GlPointsDownLeft = 'g';
inline constexpr std::uint8_t GlPointsUpRight = 'd';
inline constexpr std::uint8_t GlPointsDownRight = 'e';
inline constexpr std::uint8_t GlPointsUpLeft = 'f';
inline constexpr std::uint8_t GlBendUpRight = 'h';
inline constexpr std::uint8_t GlBendDownRight = 'i';
inline constexpr std::uint8_t GlBendUpLeft = 'j';
inline constexpr std::uint8_t GlBendDownLeft = 'k';
inline constexpr std::uint8_t GlDiagonalUp = 0x90;
inline constexpr std::uint8_t GlDiagonalDown = 0x91;
inline constexpr std::uint8_t GlCrossingUp = 0x92;
inline constexpr std::uint8_t GlCrossingDown = 0x93;
inline constexpr std::uint8_t GlBufferRight = 0x96;
inline constexpr std::uint8_t GlBufferLeft = 0x97;
inline constexpr std::uint8_t GlEndLeft = 0x98;
inline constexpr std::uint8_t GlEndRight = 0x99;
inline constexpr std::uint8_t GlPlatform = 0x9A;
inline constexpr std::uint8_t GlTrackVertical = 0x95;
// Signal posts: the first of the four orientations (post glyph = GlPostFirst + orientation).
inline constexpr std::uint8_t GlPostFirst = 128;
inline constexpr std::uint8_t GlMarkerLeft = 140;
inline constexpr std::uint8_t GlMarkerRight = 141;
// A button face and a lamp, as the panel font draws them.
inline constexpr std::uint8_t GlButton = 'p';
inline constexpr std::uint8_t GlLamp = 'q';

// Colour codes inside glyph strings: the foreground code of a palette entry.
inline constexpr char FgGrey = static_cast<char>(GcFgFirst + 1);
inline constexpr char FgWhite = static_cast<char>(GcFgFirst + 2);
inline constexpr char FgViolet = static_cast<char>(GcFgFirst + 8);

// How far the derivation looks.
inline constexpr int kOverlapLength = 180;
inline constexpr int kMaxRouteCircuits = 16;
inline constexpr int kMaxOverlapCircuits = 3;
inline constexpr int kMaxOverlapsPerSignal = 3;
inline constexpr int kBerthCells = 4;

inline bool IsUpperOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}
inline bool IsPointsLetter(char c) {
    return c >= 'a' && c <= 'z';
}
inline bool IsTrackChar(char c) {
    return c == '-' || c == '|' || c == '/' || c == '\\' || c == '+' || c == '[' || c == ']' ||
           c == '.' || IsPointsLetter(c);
}
// Cells whose track runs horizontally (and can take diagonal legs).
inline bool IsHorizontalChar(char c) {
    return c == '-' || c == '|' || IsPointsLetter(c);
}

inline bool HasOption(const char* options, const std::string& name) {
    if (!options) return false;
    std::istringstream in(options);
    std::string word;
    while (in >> word) {
        if (word == name) return true;
    }
    return false;
}

inline std::string OptionValue(const char* options, const std::string& name) {
    if (!options) return {};
    std::istringstream in(options);
    std::string word;
    while (in >> word) {
        if (word.rfind(name + "=", 0) == 0) return word.substr(name.size() + 1);
    }
    return {};
}

inline std::uint8_t AspectFlagsOf(const char* aspects) {
    std::uint8_t f = 0;
    for (const char* p = aspects; p && *p; ++p) {
        switch (*p) {
            case 'R':
                f |= AfRed;
                break;
            case 'Y':
                f |= AfSingleYellow;
                break;
            case 'D':
                f |= AfDoubleYellow;
                break;
            case 'G':
                f |= AfGreen;
                break;
            case 'F':
                f |= AfFlashingSingleYellow | AfFlashingDoubleYellow;
                break;
            default:
                break;
        }
    }
    return f;
}

// No points is needed both ways by the two lists.
inline bool Consistent(const std::vector<PointsNeed>& needs, const std::vector<PointsNeed>& more) {
    for (const PointsNeed& a : more) {
        for (const PointsNeed& b : needs) {
            if (a.Points == b.Points && a.Reverse != b.Reverse) return false;
        }
    }
    return true;
}

inline std::string Where(const TrackCell& c) {
    return std::to_string(c.X) + "," + std::to_string(c.Y);
}

}  // namespace kestra::area::model
