// Drawing checks and the text picture: every cell the area draws, the cells drawn twice
// or off the panel, and the picture as text for tests and for reading.

#include <algorithm>
#include <map>

#include "area/area_model.h"
#include "area/area_model_internal.h"

namespace kestra::area {

using namespace model;

std::vector<DrawnCell> AreaModel::DrawnCells() const {
    std::vector<DrawnCell> out;
    for (const TrackCell& c : Cells) {
        out.push_back({c.X, c.Y, c.Glyph, "track"});
    }
    for (const LabelInfo& l : Labels) {
        int x = l.X;
        for (char ch : l.Text) {
            const auto g = static_cast<std::uint8_t>(ch);
            if (g >= GcFgFirst && g <= GcFgLast) continue;  // a colour code takes no cell
            out.push_back({x++, l.Y, g, "label \"" + l.Text + "\""});
        }
    }
    for (const SignalInfo& s : Signals) {
        const std::string owner = "signal " + s.Plate;
        const bool mirrored = !s.RightFacing;
        if (!s.HidePlate) {
            for (std::size_t i = 0; i < s.Plate.size(); ++i)
                out.push_back({s.PlateX + static_cast<int>(i), s.PostY,
                               static_cast<std::uint8_t>(s.Plate[i]), owner + " plate"});
        }
        if (s.Type == SignalType::Marker) {
            out.push_back({s.PostX, s.PostY, mirrored ? GlMarkerLeft : GlMarkerRight, owner});
            out.push_back({s.PostX + (mirrored ? -1 : 1), s.PostY, ' ', owner});
        } else {
            for (int i = 0; i < s.HeadWidth; ++i) {
                const int x = s.HeadX + i;
                const bool post = x == s.PostX;
                out.push_back(
                    {x, s.PostY,
                     post ? static_cast<std::uint8_t>(GlPostFirst + s.Orientation) : GlLamp,
                     owner});
            }
        }
        if (s.AutoButton) {
            out.push_back({s.AutoX, s.PostY, GlButton, owner + " auto button"});
            out.push_back({s.AutoX + 1, s.PostY, 'A', owner + " auto button"});
        }
        if (s.ER) {
            out.push_back({s.ERX, s.PostY, GlButton, owner + " replacement button"});
            out.push_back({s.ERX + 1, s.PostY, 'E', owner + " replacement button"});
        }
        if (s.Warner)
            out.push_back({s.WarnerX, s.PostY, mirrored ? GlMarkerLeft : GlMarkerRight,
                           owner + " warner button"});
        if (s.TRTS) out.push_back({s.TRTSX, s.PostY, GlButton, owner + " train ready to start"});
    }
    for (const SubAreaInfo& a : SubAreas) {
        const std::string owner = std::string("sub-area ") + a.Digit;
        out.push_back({a.Column - 2, a.Row, ']', owner});
        out.push_back({a.Column - 1, a.Row, 'S', owner});
        out.push_back({a.Column, a.Row, GlLamp, owner});
        out.push_back({a.Column + 1, a.Row, '[', owner});
        const int len = static_cast<int>(a.Label.size());
        int lx = 0, ly = a.Row;
        switch (a.LabelPlacement) {
            case LabelAbove:
                lx = a.Column - len / 2;
                ly = a.Row - 1;
                break;
            case LabelRight:
                lx = a.Column + 3;
                break;
            case LabelBelow:
                lx = a.Column - len / 2;
                ly = a.Row + 1;
                break;
            default:
                lx = a.Column - 2 - len;
                break;
        }
        for (int i = 0; i < len; ++i)
            out.push_back({lx + i, ly, static_cast<std::uint8_t>(a.Label[i]), owner + " label"});
    }
    for (const LevelCrossingInfo& lx : LevelCrossings) {
        const std::string owner = "level crossing " + lx.ID;
        for (int y : lx.RoadRows) out.push_back({lx.X, y, GlTrackVertical, owner});
        for (std::size_t i = 0; i < lx.Name.size(); ++i)
            out.push_back({lx.LabelX + static_cast<int>(i), lx.LabelY,
                           static_cast<std::uint8_t>(lx.Name[i]), owner + " name"});
    }
    return out;
}

std::vector<std::string> AreaModel::DrawingErrors() const {
    std::vector<std::string> errors;
    std::map<std::pair<int, int>, std::string> taken;
    for (const DrawnCell& d : DrawnCells()) {
        if (d.X < 0 || d.X >= kColumns || d.Y < kFirstRailwayRow || d.Y > kLastRailwayRow) {
            errors.push_back(d.Owner + " draws outside the panel at " + std::to_string(d.X) + "," +
                             std::to_string(d.Y));
            continue;
        }
        auto [it, fresh] = taken.insert({{d.X, d.Y}, d.Owner});
        if (!fresh && it->second != d.Owner) {
            errors.push_back(d.Owner + " draws over " + it->second + " at " + std::to_string(d.X) +
                             "," + std::to_string(d.Y));
        }
    }
    // A berth shows its description in place of four cells of plain track: any other
    // object under those cells (a signal, a button, points, a plate or a label) would be
    // hidden by the description, or write over it.
    auto plainTrack = [](const DrawnCell& d) {
        return d.Owner == "track" && (d.Glyph == GlTrack || d.Glyph == GlBreakLeft ||
                                      d.Glyph == ']' || d.Glyph == 'b' || d.Glyph == 'c');
    };
    std::multimap<std::pair<int, int>, const DrawnCell*> byCell;
    const std::vector<DrawnCell> drawn = DrawnCells();
    for (const DrawnCell& d : drawn) byCell.insert({{d.X, d.Y}, &d});
    for (const BerthInfo& b : Berths) {
        for (int x = b.X; x < b.X + kBerthCells; ++x) {
            const auto [from, to] = byCell.equal_range({x, b.Y});
            for (auto it = from; it != to; ++it) {
                const DrawnCell& d = *it->second;
                if (plainTrack(d)) continue;
                const std::string what = d.Owner == "track" ? "points or a junction" : d.Owner;
                errors.push_back("berth " + b.ID + " draws over " + what + " at " +
                                 std::to_string(x) + "," + std::to_string(b.Y));
            }
        }
    }
    // Nothing drawn in one piece may run from one screen onto the next.
    auto sameScreen = [](int x0, int x1) { return x0 / kScreenColumns == x1 / kScreenColumns; };
    for (const LabelInfo& l : Labels)
        if (!sameScreen(l.X, l.X + l.Cells - 1))
            errors.push_back("label \"" + l.Text + "\" runs over the screen edge");
    for (const SignalInfo& s : Signals) {
        const int a = std::min({s.HeadX, s.PostX - 1, s.AutoX ? s.AutoX : s.PostX,
                                s.WarnerX ? s.WarnerX : s.PostX, s.TRTSX ? s.TRTSX : s.PostX});
        const int b = std::max({s.HeadX + s.HeadWidth, s.PostX + 1, s.AutoX ? s.AutoX + 1 : s.PostX,
                                s.WarnerX ? s.WarnerX : s.PostX});
        if (!sameScreen(a, b)) errors.push_back("signal " + s.Plate + " runs over the screen edge");
    }
    for (const BerthInfo& b : Berths)
        if (!sameScreen(b.X, b.X + kBerthCells - 1))
            errors.push_back("berth " + b.ID + " runs over the screen edge");
    return errors;
}

std::string AreaModel::Render() const {
    std::vector<std::string> rows(kRows, std::string(kColumns, ' '));
    for (const DrawnCell& d : DrawnCells()) {
        if (d.Y < 0 || d.Y >= kRows || d.X < 0 || d.X >= kColumns) continue;
        char ch = '?';
        switch (d.Glyph) {
            case GlTrack:
                ch = '-';
                break;
            case GlBreakLeft:
                ch = '|';
                break;
            case GlDiagonalUp:
                ch = '/';
                break;
            case GlDiagonalDown:
                ch = '\\';
                break;
            case GlCrossingUp:
            case GlCrossingDown:
                ch = '+';
                break;
            case GlBufferRight:
                ch = ']';
                break;
            case GlBufferLeft:
                ch = '[';
                break;
            case GlEndLeft:
            case GlEndRight:
                ch = '.';
                break;
            case GlPlatform:
                ch = '=';
                break;
            case GlPointsUpRight:
            case GlPointsDownRight:
            case GlPointsUpLeft:
            case GlPointsDownLeft:
                ch = 'Y';
                break;
            case GlBendUpRight:
            case GlBendDownRight:
            case GlBendUpLeft:
            case GlBendDownLeft:
                ch = '~';
                break;
            // Posts of signals above their track (orientations 0 and 2) and below it.
            case GlPostFirst:
            case GlPostFirst + 2:
                ch = 'F';
                break;
            case GlPostFirst + 1:
            case GlPostFirst + 3:
                ch = 'T';
                break;
            case GlMarkerLeft:
                ch = '<';
                break;
            case GlMarkerRight:
                ch = '>';
                break;
            case GlButton:
            case GlLamp:
                ch = 'o';
                break;
            default:
                ch = d.Glyph >= 32 && d.Glyph < 127 ? static_cast<char>(d.Glyph) : '#';
        }
        rows[d.Y][d.X] = ch;
    }
    for (const BerthInfo& b : Berths)
        for (int i = 0; i < kBerthCells; ++i) rows[b.Y][b.X + i] = '_';
    std::string out;
    for (const std::string& r : rows) {
        std::string t = r;
        while (!t.empty() && t.back() == ' ') t.pop_back();
        out += t + "\n";
    }
    return out;
}

}  // namespace kestra::area
