#include "fakes/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "panel_font.h"

namespace kestra::test {

void RecordingSurface::PutGlyph(int px, int py, std::uint8_t code, Colour fg, Colour bg,
                                PanelFont font) {
    ++GlyphCount;
    // Every code the engine draws must have a glyph in the font it is drawn with.
    const font::Face& face = font == PanelFont::Small ? font::Small : font::Normal;
    if (!face.HasGlyph(code)) {
        ADD_FAILURE() << "code " << static_cast<int>(code) << " drawn in the " << face.Family
                      << " font has no glyph (see fonts/glyphs.txt)";
    }
    if (font == PanelFont::Small) {
        small_[{px, py}] = Cell{code, fg, bg, true};
        return;
    }
    if (px < 0 || py < 0 || px % 8 != 0 || py % 16 != 0) return;
    const int c = px / 8;
    const int r = py / 16;
    if (c < 128 && r < 48) cells_[r][c] = Cell{code, fg, bg, true};
}

void RecordingSurface::Fill(Colour colour) {
    ++FillCount;
    LastFill = colour;
    for (auto& row : cells_) {
        for (auto& cell : row) cell = Cell{};
    }
    small_.clear();
}

void RecordingSurface::PutText(int px, int py, const std::string& text, Colour fg, Colour bg) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        PutGlyph(px + static_cast<int>(i) * 8, py, static_cast<std::uint8_t>(text[i]), fg, bg,
                 PanelFont::Normal);
    }
}

const Cell& RecordingSurface::At(int column, int row) const {
    return cells_[row][column];
}

std::optional<Cell> RecordingSurface::SmallAt(int px, int py) const {
    auto it = small_.find({px, py});
    if (it == small_.end()) return std::nullopt;
    return it->second;
}

std::string RecordingSurface::RowText(int row, int from, int count) const {
    std::string s;
    for (int c = from; c < from + count && c < 128; ++c) {
        const Cell& cell = cells_[row][c];
        s += cell.Drawn ? static_cast<char>(cell.Code) : ' ';
    }
    return s;
}

void RecordingSurface::Clear() {
    Fill(0);
}

TestSim::TestSim() {
    Ports ports;
    ports.Surface = &surface;
    ports.Dialog = &dialogs;
    ports.Audio = &sound;
    ports.Settings = &settings;
    ports.Time = &clock;
    sim = std::make_unique<Sim>(ports, 12345);
}

void TestSim::Ticks(int n) {
    for (int i = 0; i < n; ++i) sim->MajorCycleTick();
}

std::vector<std::string> MessageTexts(TestSim& t) {
    std::vector<std::string> texts;
    for (const auto& m : t->Messages().MessageHistory) texts.push_back(m.Text);
    return texts;
}

std::string LastMessage(TestSim& t) {
    const auto& history = t->Messages().MessageHistory;
    return history.empty() ? std::string() : history.back().Text;
}

int CloseLevelCrossingsFor(Sim& sim, const TROU& route) {
    (void)sim;
    // The crossings the route runs over, and those the overlap it holds beyond its exit
    // runs over: the signal waits for them all.
    std::vector<const TLevelCrossing*> crossings(route.LevelCrossings.begin(),
                                                 route.LevelCrossings.end());
    const TOVL* overlap = route.OverlapInUse();
    if (overlap) {
        for (const TLevelCrossing* lx : overlap->LevelCrossings)
            if (std::find(crossings.begin(), crossings.end(), lx) == crossings.end())
                crossings.push_back(lx);
    }
    int cycles = 0;
    for (const TLevelCrossing* lx : crossings) {
        for (int i = 0; i < lx->Circuits.Count(); ++i) {
            TTCS* c = lx->Circuits.At(i);
            bool used = false;
            for (int j = 0; j < route.AllSubroutes.Count(); ++j)
                used = used || route.AllSubroutes.At(j)->TrackCircuit == c;
            for (int j = 0; overlap && j < overlap->Subroutes.Count(); ++j)
                used = used || overlap->Subroutes.At(j)->TrackCircuit == c;
            if (!used) c->Occupy();
        }
        cycles = 2 * LevelCrossingLowerTime + 6;
    }
    return cycles;
}

}  // namespace kestra::test
