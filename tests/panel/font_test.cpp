#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "panel_font.h"

namespace kestra {
namespace {

using font::Face;

// Codes of the railway glyphs and furniture that the panel and the objects draw.
const std::vector<std::uint8_t>& SystemGlyphs() {
    static const std::vector<std::uint8_t> codes = [] {
        std::vector<std::uint8_t> v;
        for (int c = 'a'; c <= 's'; ++c) v.push_back(static_cast<std::uint8_t>(c));
        for (int c : {'[', ']', '\\', 'x', '*', ' '}) v.push_back(static_cast<std::uint8_t>(c));
        for (int c = 0x80; c <= 0x8A; ++c) v.push_back(static_cast<std::uint8_t>(c));
        for (int c : {0x8C, 0x8D, 0xA6, 0xA7, 0xBD}) v.push_back(static_cast<std::uint8_t>(c));
        return v;
    }();
    return codes;
}

bool IsRailwayGlyph(int code) {
    return (code >= 'a' && code <= 's') || code == '[' || code == ']';
}

int InkCount(const Face& f, std::uint8_t code) {
    int n = 0;
    for (int y = 0; y < f.Height; ++y)
        for (int x = 0; x < f.Width; ++x) n += f.Ink(code, x, y);
    return n;
}

TEST(FontTest, FacesHaveTheirCellsAndTheSameCodes) {
    EXPECT_STREQ(font::Normal.Family, "KESTRA");
    EXPECT_EQ(font::Normal.Width, 8);
    EXPECT_EQ(font::Normal.Height, 16);
    EXPECT_STREQ(font::Small.Family, "KESTRASMALL");
    EXPECT_EQ(font::Small.Width, 2);
    EXPECT_EQ(font::Small.Height, 4);
    for (int c = 0; c < 256; ++c) EXPECT_EQ(font::Normal.Present[c], font::Small.Present[c]) << c;
}

TEST(FontTest, EveryCodeWithAMeaningHasAGlyphWithInk) {
    for (const Face* f : {&font::Normal, &font::Small}) {
        for (std::uint8_t code : SystemGlyphs()) {
            EXPECT_TRUE(f->HasGlyph(code)) << f->Family << " " << int(code);
            if (code != ' ') {
                EXPECT_GT(InkCount(*f, code), 0) << f->Family << " " << int(code);
            }
        }
        for (int c = 0x20; c < 0x7F; ++c)
            EXPECT_TRUE(f->HasGlyph(static_cast<std::uint8_t>(c))) << c;
    }
    EXPECT_EQ(InkCount(font::Normal, ' '), 0);
}

TEST(FontTest, ControlCodesOfGlyphStringsHaveNoGlyph) {
    for (int c : {201, 202, 203, 204, 206, 207, 208, 209, 210, 221, 230, 240, 255})
        EXPECT_FALSE(font::Normal.HasGlyph(static_cast<std::uint8_t>(c))) << c;
}

// Text characters keep the right-hand column and the top two rows clear, so that
// neighbouring characters never touch, and no two characters look alike.
TEST(FontTest, TextCharactersAreSpacedAndDistinct) {
    std::set<std::vector<std::uint8_t>> seen;
    for (int c = 0x21; c < 0x7F; ++c) {
        if (IsRailwayGlyph(c)) continue;
        const auto code = static_cast<std::uint8_t>(c);
        std::vector<std::uint8_t> rows(font::Normal.Rows[code], font::Normal.Rows[code] + 16);
        for (int y = 0; y < 16; ++y) EXPECT_FALSE(font::Normal.Ink(code, 7, y)) << char(c);
        EXPECT_EQ(rows[0] | rows[1], 0) << char(c);
        EXPECT_TRUE(seen.insert(rows).second) << "'" << char(c) << "' looks like another character";
    }
}

// The glyphs of a little layout painted on one canvas; true when all their ink is one
// 8-connected shape, that is, the pieces join.
bool JoinsUp(const std::vector<std::pair<std::pair<int, int>, std::uint8_t>>& cells) {
    const int cols = 8, rows = 8, ox = 2, oy = 4;
    const int w = cols * 8, h = rows * 16;
    std::vector<int> ink(w * h, 0);
    for (const auto& [pos, code] : cells) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x)
                if (font::Normal.Ink(code, x, y))
                    ink[((pos.second + oy) * 16 + y) * w + (pos.first + ox) * 8 + x] = 1;
    }
    int shapes = 0;
    std::vector<int> stack;
    for (int start = 0; start < w * h; ++start) {
        if (ink[start] != 1) continue;
        ++shapes;
        stack.push_back(start);
        ink[start] = 2;
        while (!stack.empty()) {
            const int p = stack.back();
            stack.pop_back();
            const int px = p % w, py = p / w;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = px + dx, ny = py + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h || ink[ny * w + nx] != 1) continue;
                    ink[ny * w + nx] = 2;
                    stack.push_back(ny * w + nx);
                }
        }
    }
    return shapes == 1;
}

TEST(FontTest, TrackPiecesJoinIntoLayouts) {
    using L = std::vector<std::pair<std::pair<int, int>, std::uint8_t>>;
    const std::pair<const char*, L> layouts[] = {
        {"plain run", {{{0, 0}, 'a'}, {{1, 0}, 'a'}, {{2, 0}, 'a'}}},
        {"up and over",
         {{{0, 0}, 'a'}, {{1, 0}, 'h'}, {{2, -1}, 0x90}, {{3, -2}, 'k'}, {{4, -2}, 'a'}}},
        {"down and over",
         {{{0, 0}, 'a'}, {{1, 0}, 'i'}, {{2, 1}, 0x91}, {{3, 2}, 'j'}, {{4, 2}, 'a'}}},
        {"crossover",
         {{{0, 0}, 'a'},
          {{1, 0}, 'e'},
          {{2, 0}, 'a'},
          {{2, 1}, 'f'},
          {{1, 1}, 'a'},
          {{3, 1}, 'a'}}},
        {"crossover up",
         {{{0, 1}, 'a'},
          {{1, 1}, 'd'},
          {{2, 1}, 'a'},
          {{2, 0}, 'g'},
          {{1, 0}, 'a'},
          {{3, 0}, 'a'}}},
        {"diamond",
         {{{0, 0}, 'a'}, {{1, 0}, 0x92}, {{2, 0}, 'a'}, {{0, 1}, 0x90}, {{2, -1}, 0x90}}},
        {"diamond down",
         {{{0, 0}, 'a'}, {{1, 0}, 0x93}, {{2, 0}, 'a'}, {{0, -1}, 0x91}, {{2, 1}, 0x91}}},
        {"scissors",
         {{{0, 0}, 0x90}, {{1, -1}, 0x94}, {{2, -2}, 0x90}, {{0, -2}, 0x91}, {{2, 0}, 0x91}}},
        {"vertical", {{{0, 0}, 0x95}, {{0, 1}, 0x95}, {{0, 2}, 0x95}}},
        {"buffer stops", {{{0, 0}, 0x97}, {{1, 0}, 'a'}, {{2, 0}, 0x96}}},
        {"frame",
         {{{0, 0}, 0x80},
          {{1, 0}, 0x85},
          {{2, 0}, 0x81},
          {{0, 1}, 0x86},
          {{1, 1}, 0x87},
          {{2, 1}, 0x88},
          {{0, 2}, 0x82},
          {{1, 2}, 0x84},
          {{2, 2}, 0x83}}},
        {"frame lines",
         {{{0, 0}, 0x80}, {{1, 0}, 0x89}, {{2, 0}, 0x81}, {{0, 1}, 0x8A}, {{2, 1}, 0x8A}}},
        {"signal post and lamps", {{{0, 0}, 0x80}, {{1, 0}, 'q'}, {{2, 0}, 'q'}}},
        {"mirrored signal", {{{0, 0}, 'p'}, {{1, 0}, 0x83}}},
        {"direction arrow", {{{0, 0}, 'a'}, {{1, 0}, 0x8D}}},
        {"arrow the other way", {{{0, 0}, 0x8C}, {{1, 0}, 'a'}}},
    };
    for (const auto& [name, cells] : layouts) EXPECT_TRUE(JoinsUp(cells)) << name;
    EXPECT_FALSE(JoinsUp({{{0, 0}, 'a'}, {{2, 0}, 'a'}})) << "the check sees a gap";
}

// Where horizontal track leaves a cell it has exactly the rows of plain track, so that
// any two pieces meet without a step.
TEST(FontTest, HorizontalTrackMeetsPlainTrackWithoutAStep) {
    // Rows 5 to 11 of an edge column: where horizontal track crosses it (diagonals leave
    // through the corners, outside these rows).
    auto edge = [](std::uint8_t code, int x) {
        std::vector<int> rows;
        for (int y = 5; y <= 11; ++y)
            if (font::Normal.Ink(code, x, y)) rows.push_back(y);
        return rows;
    };
    const auto left = edge('a', 0);
    const auto right = edge('a', 7);
    EXPECT_EQ(left, right);
    EXPECT_EQ(left.size(), 3u);
    for (int c :
         std::initializer_list<int>{']', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 0x92, 0x93, 0x96, 0x98})
        EXPECT_EQ(edge(static_cast<std::uint8_t>(c), 0), left) << "left edge of " << c;
    for (int c :
         std::initializer_list<int>{'[', 'b', 'd', 'e', 'f', 'g', 'j', 'k', 0x92, 0x93, 0x97, 0x99})
        EXPECT_EQ(edge(static_cast<std::uint8_t>(c), 7), right) << "right edge of " << c;
    // Break marks leave a gap at their end.
    for (int c : {'[', 'b', 'l', 'm'})
        EXPECT_TRUE(edge(static_cast<std::uint8_t>(c), 0).empty()) << c;
    for (int c : {']', 'c', 'n', 'o'})
        EXPECT_TRUE(edge(static_cast<std::uint8_t>(c), 7).empty()) << c;
}

TEST(FontTest, LitLampIsSolidAndUnlitLampIsARing) {
    EXPECT_TRUE(font::Normal.Ink('q', 4, 8));
    EXPECT_TRUE(font::Normal.Ink('q', 3, 7));
    EXPECT_FALSE(font::Normal.Ink('p', 4, 8));
    EXPECT_FALSE(font::Normal.Ink('p', 3, 7));
    EXPECT_GT(InkCount(font::Normal, 'q'), InkCount(font::Normal, 'p') + 10);
}

TEST(FontTest, SmallTrackIsALineAcrossTheCell) {
    EXPECT_TRUE(font::Small.Ink('a', 0, 1));
    EXPECT_TRUE(font::Small.Ink('a', 1, 1));
    EXPECT_EQ(InkCount(font::Small, 'a'), 2);
    EXPECT_EQ(InkCount(font::Small, ' '), 0);
}

}  // namespace
}  // namespace kestra
