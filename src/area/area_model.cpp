#include "area/area_model.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <sstream>

namespace kestra::area {

namespace {

constexpr int kDX[PtCount] = {-1, 1, -1, 1, -1, 1};
constexpr int kDY[PtCount] = {0, 0, -1, -1, 1, 1};
constexpr int kOpposite[PtCount] = {PtR, PtL, PtDR, PtDL, PtUR, PtUL};

// Panel glyphs of the track.
constexpr std::uint8_t GlTrack = 'a';
constexpr std::uint8_t GlBreakLeft = 91;
constexpr std::uint8_t GlDiagonalUp = 0x90;
constexpr std::uint8_t GlDiagonalDown = 0x91;
constexpr std::uint8_t GlCrossingUp = 0x92;
constexpr std::uint8_t GlCrossingDown = 0x93;
constexpr std::uint8_t GlBufferRight = 0x96;
constexpr std::uint8_t GlBufferLeft = 0x97;
constexpr std::uint8_t GlEndLeft = 0x98;
constexpr std::uint8_t GlEndRight = 0x99;
constexpr std::uint8_t GlPlatform = 0x9A;
constexpr std::uint8_t GlMarkerLeft = 140;
constexpr std::uint8_t GlMarkerRight = 141;

// Colour codes inside glyph strings.
constexpr char FgGrey = static_cast<char>(211);
constexpr char FgWhite = static_cast<char>(212);
constexpr char FgViolet = static_cast<char>(218);

constexpr int kOverlapLength = 180;
constexpr int kMaxRouteCircuits = 10;
constexpr int kMaxOverlapCircuits = 3;

bool IsUpperOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool IsPointsLetter(char c) { return c >= 'a' && c <= 'z'; }
bool IsTrackChar(char c) {
    return c == '-' || c == '|' || c == '/' || c == '\\' || c == '+' || c == '[' || c == ']' ||
           c == '.' || IsPointsLetter(c);
}
// Cells whose track runs horizontally (and can take diagonal legs).
bool IsHorizontalChar(char c) { return c == '-' || c == '|' || IsPointsLetter(c); }

bool HasOption(const char* options, const std::string& name) {
    if (!options) return false;
    std::istringstream in(options);
    std::string word;
    while (in >> word) {
        if (word == name) return true;
    }
    return false;
}

std::string OptionValue(const char* options, const std::string& name) {
    if (!options) return {};
    std::istringstream in(options);
    std::string word;
    while (in >> word) {
        if (word.rfind(name + "=", 0) == 0) return word.substr(name.size() + 1);
    }
    return {};
}

std::uint8_t AspectFlagsOf(const char* aspects) {
    std::uint8_t f = 0;
    for (const char* p = aspects; p && *p; ++p) {
        switch (*p) {
            case 'R': f |= 1; break;
            case 'Y': f |= 4; break;
            case 'D': f |= 16; break;
            case 'G': f |= 64; break;
            case 'F': f |= 8 | 32; break;
            default: break;
        }
    }
    return f;
}

}  // namespace

int OppositePort(int p) { return kOpposite[p]; }
int PortDX(int p) { return kDX[p]; }
int PortDY(int p) { return kDY[p]; }

AreaModel::AreaModel(const AreaDescription& description) : d_(description) {
    ReadPicture();
    if (!Errors.empty()) return;
    ReadLabels();
    ReadCells();
    ConnectCells();
    ReadPoints();
    if (!Errors.empty()) return;
    ReadSignals();
    MarkJoints();
    FindCircuits();
    FindEnds();
    PlaceSignals();
    FindSubroutes();
    LinkSubroutes();
    FindConflictsAndFlank();
    if (!Errors.empty()) return;
    FindPlatformsAndLocations();
    FindOverlaps();
    FindRoutes();
    FindAutomaticWorking();
    PlaceBerths();
    FindEntries();
    FindSubAreas();
    FindPaths();
}

// --- the picture ------------------------------------------------------------------

void AreaModel::ReadPicture() {
    picture_.assign(kRows, std::string(kColumns, ' '));
    auto read = [&](std::span<const char* const> rows, int screen) {
        if (static_cast<int>(rows.size()) != kRows) {
            Error("screen " + std::to_string(screen) + " has " + std::to_string(rows.size()) +
                  " rows, not " + std::to_string(kRows));
            return;
        }
        for (int y = 0; y < kRows; ++y) {
            const std::string row = rows[y];
            if (static_cast<int>(row.size()) > kScreenColumns) {
                Error("screen " + std::to_string(screen) + " row " + std::to_string(y) +
                      " is wider than a screen");
                continue;
            }
            for (std::size_t i = 0; i < row.size(); ++i) {
                picture_[y][(screen - 1) * kScreenColumns + static_cast<int>(i)] = row[i];
            }
        }
    };
    read(d_.Screen1, 1);
    read(d_.Screen2, 2);
    labelled_.assign(kRows, std::vector<bool>(kColumns, false));
}

char AreaModel::SourceAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= kColumns || y >= kRows) return ' ';
    return picture_[y][x];
}

int AreaModel::CellAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= kColumns || y >= kRows) return -1;
    return cellIndex_[y * kColumns + x];
}

// Labels, plates, platform bands and sub-area indicators: everything in the picture
// that is not track.
void AreaModel::ReadLabels() {
    auto addLabel = [&](int x, int y, const std::string& text, LabelKind kind, char colour) {
        LabelInfo l;
        l.X = x;
        l.Y = y;
        l.Kind = kind;
        if (colour) l.Text.push_back(colour);
        l.Text += text;
        l.Cells = static_cast<int>(text.size());
        Labels.push_back(l);
    };
    for (int y = 0; y < kRows; ++y) {
        std::string& row = picture_[y];
        // Braced labels.
        for (int x = 0; x < kColumns; ++x) {
            if (row[x] != '{') continue;
            const std::size_t close = row.find('}', x);
            if (close == std::string::npos) {
                Error("unclosed label at " + std::to_string(x) + "," + std::to_string(y));
                break;
            }
            const std::string text = row.substr(x + 1, close - x - 1);
            for (char c : text) {
                if (c >= 'a' && c <= 'z') Error("lower-case letter in label \"" + text + "\"");
            }
            const bool name = std::all_of(text.begin(), text.end(), [](char c) {
                return (c >= 'A' && c <= 'Z') || c == ' ' || c == '\'' || c == '&';
            });
            addLabel(x + 1, y, text, name ? LabelKind::StationName : LabelKind::Text,
                     name ? FgWhite : FgGrey);
            for (std::size_t i = x; i <= close; ++i) labelled_[y][i] = true;
            x = static_cast<int>(close);
        }
        // Sub-area indicators.
        for (int x = 0; x + 1 < kColumns; ++x) {
            if (labelled_[y][x] || row[x] != '$') continue;
            if (!std::isdigit(static_cast<unsigned char>(row[x + 1]))) {
                Error("sub-area indicator without its digit at " + std::to_string(x));
                continue;
            }
            SubAreaInfo s;
            s.Digit = row[x + 1];
            s.Column = x + 1;
            s.Row = y;
            SubAreas.push_back(s);
            labelled_[y][x] = labelled_[y][x + 1] = true;
        }
        // Platform bands.
        for (int x = 0; x < kColumns; ++x) {
            if (labelled_[y][x] || row[x] != '=') continue;
            int end = x;
            while (end + 1 < kColumns && !labelled_[y][end + 1] &&
                   (row[end + 1] == '=' || IsUpperOrDigit(row[end + 1])))
                ++end;
            while (end > x && row[end] != '=') --end;
            PlatformInfo face;
            std::string glyphs;
            glyphs.push_back(FgViolet);
            std::vector<std::pair<int, std::string>> codes;
            for (int i = x; i <= end; ++i) {
                labelled_[y][i] = true;
                if (row[i] == '=') {
                    glyphs.push_back(static_cast<char>(GlPlatform));
                    continue;
                }
                if (codes.empty() || !IsUpperOrDigit(row[i - 1])) codes.push_back({i, {}});
                codes.back().second.push_back(row[i]);
                glyphs.push_back(FgWhite);
                glyphs.push_back(row[i]);
                glyphs.push_back(FgViolet);
            }
            LabelInfo band;
            band.X = x;
            band.Y = y;
            band.Text = glyphs;
            band.Cells = end - x + 1;
            band.Kind = LabelKind::Platform;
            Labels.push_back(band);
            if (codes.empty() || codes.size() > 2) {
                Error("platform band at " + std::to_string(x) + "," + std::to_string(y) +
                      " needs one or two platform numbers");
            }
            for (std::size_t k = 0; k < codes.size(); ++k) {
                PlatformInfo p;
                p.Code = codes[k].second;
                p.BandX0 = x;
                p.BandX1 = end;
                // One number: the face is decided by the track beside the band; two: the
                // first is the upper face, the second the lower.
                p.BandY = y;
                p.Face = codes.size() == 2 ? (k == 0 ? -1 : 1) : 0;
                p.CodeX = codes[k].first;
                Platforms.push_back(p);
            }
            x = end;
        }
    }
    // Plates beside signal posts, then the remaining bare labels.
    for (int y = 0; y < kRows; ++y) {
        std::string& row = picture_[y];
        for (int x = 0; x < kColumns; ++x) {
            if (labelled_[y][x] || (row[x] != '>' && row[x] != '<')) continue;
            SignalInfo s;
            s.RightFacing = row[x] == '>';
            s.PostX = x;
            s.PostY = y;
            int a = x, b = x;
            if (s.RightFacing) {
                while (a - 1 >= 0 && !labelled_[y][a - 1] && IsUpperOrDigit(row[a - 1])) --a;
                s.Plate = row.substr(a, x - a);
                s.PlateX = a;
                for (int i = a; i < x; ++i) labelled_[y][i] = true;
            } else {
                while (b + 1 < kColumns && !labelled_[y][b + 1] && IsUpperOrDigit(row[b + 1])) ++b;
                s.Plate = row.substr(x + 1, b - x);
                s.PlateX = x + 1;
                for (int i = x + 1; i <= b; ++i) labelled_[y][i] = true;
            }
            labelled_[y][x] = true;
            if (s.Plate.empty()) Error("signal at " + std::to_string(x) + "," + std::to_string(y) + " has no plate");
            Signals.push_back(s);
        }
    }
    for (int y = 0; y < kRows; ++y) {
        const std::string& row = picture_[y];
        for (int x = 0; x < kColumns; ++x) {
            if (labelled_[y][x] || !IsUpperOrDigit(row[x])) continue;
            int end = x;
            while (end + 1 < kColumns && !labelled_[y][end + 1] && IsUpperOrDigit(row[end + 1])) ++end;
            addLabel(x, y, row.substr(x, end - x + 1), LabelKind::Text, 0);
            for (int i = x; i <= end; ++i) labelled_[y][i] = true;
            x = end;
        }
    }
}

// --- track cells --------------------------------------------------------------------

void AreaModel::ReadCells() {
    cellIndex_.assign(kRows * kColumns, -1);
    for (int y = 0; y < kRows; ++y) {
        for (int x = 0; x < kColumns; ++x) {
            const char c = picture_[y][x];
            if (labelled_[y][x] || c == ' ' || c == '=') continue;
            if (!IsTrackChar(c)) {
                Error(std::string("unknown character '") + c + "' at " + std::to_string(x) + "," +
                      std::to_string(y));
                continue;
            }
            TrackCell cell;
            cell.X = x;
            cell.Y = y;
            cell.Source = c;
            cell.Joint = c == '|';
            cellIndex_[y * kColumns + x] = static_cast<int>(Cells.size());
            Cells.push_back(cell);
        }
    }
}

void AreaModel::ConnectCells() {
    auto at = [&](int x, int y) -> TrackCell* {
        const int i = CellAt(x, y);
        return i < 0 ? nullptr : &Cells[i];
    };
    auto where = [](const TrackCell& c) { return std::to_string(c.X) + "," + std::to_string(c.Y); };
    // Diagonals and crossings first: they decide the legs of the cells they meet.
    std::vector<std::uint8_t> diagonalPorts(Cells.size(), 0);
    for (std::size_t i = 0; i < Cells.size(); ++i) {
        TrackCell& c = Cells[i];
        if (c.Source == '/') {
            c.Kind = CellKind::Diagonal;
            diagonalPorts[i] = (1 << PtDL) | (1 << PtUR);
        } else if (c.Source == '\\') {
            c.Kind = CellKind::Diagonal;
            diagonalPorts[i] = (1 << PtUL) | (1 << PtDR);
        } else if (c.Source == '+') {
            c.Kind = CellKind::Crossing;
            auto src = [&](int x, int y) { return SourceAt(x, y); };
            const bool up = src(c.X - 1, c.Y + 1) == '/' || src(c.X + 1, c.Y - 1) == '/';
            const bool down = src(c.X - 1, c.Y - 1) == '\\' || src(c.X + 1, c.Y + 1) == '\\';
            if (up == down) {
                Error("crossing at " + where(c) + " needs one diagonal through it");
                continue;
            }
            diagonalPorts[i] = up ? ((1 << PtDL) | (1 << PtUR)) : ((1 << PtUL) | (1 << PtDR));
        }
    }
    for (std::size_t i = 0; i < Cells.size(); ++i) {
        TrackCell& c = Cells[i];
        c.Ports |= diagonalPorts[i];
        for (int p = PtUL; p <= PtDR; ++p) {
            if (!(diagonalPorts[i] & (1 << p))) continue;
            TrackCell* n = at(c.X + kDX[p], c.Y + kDY[p]);
            if (n && IsHorizontalChar(n->Source)) n->Ports |= 1 << kOpposite[p];
        }
    }
    // Horizontal ports.
    auto takesFromLeft = [](char c) { return IsHorizontalChar(c) || c == '+' || c == ']' || c == '.'; };
    auto takesFromRight = [](char c) { return IsHorizontalChar(c) || c == '+' || c == '[' || c == '.'; };
    for (TrackCell& c : Cells) {
        if (c.Kind == CellKind::Diagonal) continue;
        const char left = SourceAt(c.X - 1, c.Y);
        const char right = SourceAt(c.X + 1, c.Y);
        const bool leftTrack = CellAt(c.X - 1, c.Y) >= 0 && takesFromRight(left);
        const bool rightTrack = CellAt(c.X + 1, c.Y) >= 0 && takesFromLeft(right);
        if (takesFromLeft(c.Source) && (leftTrack || c.X == 0)) c.Ports |= 1 << PtL;
        if (takesFromRight(c.Source) && (rightTrack || c.X == kColumns - 1)) c.Ports |= 1 << PtR;
        if (c.Source == '.') {
            // A stub: track on one side, the area boundary on the other.
            if (leftTrack == rightTrack) {
                Error("line end '.' at " + where(c) + " needs track on exactly one side");
                continue;
            }
            c.Ports = (1 << PtL) | (1 << PtR);
            c.Kind = CellKind::Stub;
            c.Glyph = leftTrack ? GlEndLeft : GlEndRight;
        }
    }
    // Classify.
    for (TrackCell& c : Cells) {
        const bool l = c.Ports & (1 << PtL), r = c.Ports & (1 << PtR);
        const int legs = std::popcount(static_cast<unsigned>(c.Ports >> 2));
        switch (c.Source) {
            case '/': c.Glyph = GlDiagonalUp; break;
            case '\\': c.Glyph = GlDiagonalDown; break;
            case '+':
                c.Glyph = (c.Ports & (1 << PtUR)) ? GlCrossingUp : GlCrossingDown;
                if (!l || !r) Error("crossing at " + where(c) + " needs track on both sides");
                break;
            case ']':
                c.Kind = CellKind::Buffer;
                c.Glyph = GlBufferRight;
                c.Ports = 1 << PtL;
                if (!l) Error("buffer stops at " + where(c) + " have no track from the left");
                break;
            case '[':
                c.Kind = CellKind::Buffer;
                c.Glyph = GlBufferLeft;
                c.Ports = 1 << PtR;
                if (!r) Error("buffer stops at " + where(c) + " have no track from the right");
                break;
            case '.': break;
            default: {
                if (l && r && legs == 0) {
                    c.Kind = CellKind::Plain;
                    c.Glyph = c.Joint ? GlBreakLeft : GlTrack;
                    if (IsPointsLetter(c.Source)) Error("points " + std::string(1, c.Source) + " at " + where(c) + " have no diverging leg");
                } else if (l && r && legs == 1) {
                    c.Kind = CellKind::Points;
                    if (!IsPointsLetter(c.Source)) Error("unnamed points at " + where(c));
                } else if ((l != r) && legs == 1 && !IsPointsLetter(c.Source) && c.Source != '|') {
                    c.Kind = CellKind::Bend;
                    if (l && (c.Ports & (1 << PtUR))) c.Glyph = 'h';
                    else if (l && (c.Ports & (1 << PtDR))) c.Glyph = 'i';
                    else if (r && (c.Ports & (1 << PtUL))) c.Glyph = 'j';
                    else if (r && (c.Ports & (1 << PtDL))) c.Glyph = 'k';
                    else Error("track at " + where(c) + " turns back on itself");
                } else {
                    Error("track at " + where(c) + " does not join up (" + std::to_string(l + r) +
                          " ends, " + std::to_string(legs) + " legs)");
                }
            }
        }
    }
    // Segments: one per cell, two for a crossing.
    for (std::size_t i = 0; i < Cells.size(); ++i) {
        TrackCell& c = Cells[i];
        Segment s;
        s.Cell = static_cast<int>(i);
        s.Ports = c.Kind == CellKind::Crossing ? static_cast<std::uint8_t>((1 << PtL) | (1 << PtR)) : c.Ports;
        c.Segments[0] = static_cast<int>(Segments.size());
        Segments.push_back(s);
        if (c.Kind == CellKind::Crossing) {
            Segment d;
            d.Cell = static_cast<int>(i);
            d.Ports = c.Ports & ~((1 << PtL) | (1 << PtR));
            c.Segments[1] = c.DiagonalSegment = static_cast<int>(Segments.size());
            Segments.push_back(d);
        }
    }
    auto segmentWithPort = [&](const TrackCell& c, int port) {
        for (int k = 0; k < 2; ++k) {
            const int s = c.Segments[k];
            if (s >= 0 && (Segments[s].Ports & (1 << port))) return s;
        }
        return -1;
    };
    Links.assign(Segments.size() * PtCount, Link{});
    for (std::size_t si = 0; si < Segments.size(); ++si) {
        const Segment& s = Segments[si];
        const TrackCell& c = Cells[s.Cell];
        for (int p = 0; p < PtCount; ++p) {
            if (!(s.Ports & (1 << p))) continue;
            Link& link = Links[si * PtCount + p];
            const int nx = c.X + kDX[p], ny = c.Y + kDY[p];
            const int ni = CellAt(nx, ny);
            if (ni >= 0) {
                const int ns = segmentWithPort(Cells[ni], kOpposite[p]);
                if (ns >= 0) {
                    link.Segment = ns;
                    link.Port = kOpposite[p];
                    continue;
                }
            }
            if (nx < 0 || nx >= kColumns || c.Kind == CellKind::Stub) {
                link.Boundary = true;
                continue;
            }
            Error("track at " + where(c) + " leads nowhere");
        }
    }
}

void AreaModel::ReadPoints() {
    std::map<std::pair<int, char>, int> byKey;
    for (const PointsSpec& tableRow : d_.Points) {
        PointsInfo p;
        p.ID = tableRow.Id;
        p.Screen = tableRow.Screen;
        p.Key = tableRow.Key;
        p.Swap = HasOption(tableRow.Options, "swap");
        p.AutoNormalise = HasOption(tableRow.Options, "an");
        p.FlashingYellowJunction = HasOption(tableRow.Options, "fy");
        const std::string mph = OptionValue(tableRow.Options, "mph");
        if (!mph.empty()) p.DivergingMph = std::stoi(mph);
        if (byKey.count({tableRow.Screen, tableRow.Key})) Error("points key " + std::string(1, tableRow.Key) + " used twice");
        byKey[{tableRow.Screen, tableRow.Key}] = static_cast<int>(Points.size());
        Points.push_back(p);
    }
    for (std::size_t i = 0; i < Cells.size(); ++i) {
        TrackCell& c = Cells[i];
        if (c.Kind != CellKind::Points) continue;
        const int screen = c.X / kScreenColumns + 1;
        auto it = byKey.find({screen, c.Source});
        if (it == byKey.end()) {
            Error("points " + std::string(1, c.Source) + " on screen " + std::to_string(screen) + " are not in the points table");
            continue;
        }
        PointsInfo& p = Points[it->second];
        if (p.Cell >= 0) {
            Error("points " + p.ID + " drawn twice");
            continue;
        }
        p.Cell = static_cast<int>(i);
        c.Points = it->second;
        const int leg = (c.Ports & (1 << PtUR)) ? PtUR
                        : (c.Ports & (1 << PtDR)) ? PtDR
                        : (c.Ports & (1 << PtUL)) ? PtUL
                                                  : PtDL;
        p.DivergingPort = leg;
        p.ToePort = (leg == PtUR || leg == PtDR) ? PtL : PtR;
        p.StraightPort = p.ToePort == PtL ? PtR : PtL;
        switch (leg) {
            case PtDL: p.Orientation = 0; c.Glyph = 'g'; break;
            case PtUR: p.Orientation = 1; c.Glyph = 'd'; break;
            case PtDR: p.Orientation = 2; c.Glyph = 'e'; break;
            default: p.Orientation = 3; c.Glyph = 'f'; break;
        }
    }
    for (std::size_t i = 0; i < Points.size(); ++i) {
        if (Points[i].Cell < 0) Error("points " + Points[i].ID + " are not drawn");
    }
    for (const PointsSpec& tableRow : d_.Points) {
        const std::string pair = OptionValue(tableRow.Options, "pair");
        if (pair.empty()) continue;
        auto a = byKey.find({tableRow.Screen, tableRow.Key});
        auto b = byKey.find({tableRow.Screen, pair[0]});
        if (b == byKey.end()) {
            Error("points " + std::string(tableRow.Id) + " paired with unknown points " + pair);
            continue;
        }
        Points[a->second].Partner = b->second;
        Points[b->second].Partner = a->second;
    }
}

void AreaModel::ReadSignals() {
    std::map<std::string, const SignalSpec*> specs;
    for (const SignalSpec& tableRow : d_.Signals) {
        if (specs.count(tableRow.Plate)) Error(std::string("signal ") + tableRow.Plate + " listed twice");
        specs[tableRow.Plate] = &tableRow;
    }
    std::set<std::string> seen;
    for (SignalInfo& s : Signals) {
        auto it = specs.find(s.Plate);
        if (it == specs.end()) {
            Error("signal " + s.Plate + " is not in the signal table");
            continue;
        }
        if (!seen.insert(s.Plate).second) Error("signal " + s.Plate + " drawn twice");
        const SignalSpec& tableRow = *it->second;
        s.Options = tableRow.Options ? tableRow.Options : "";
        s.ID = std::string("S") + d_.SignalPrefix + s.Plate;
        const char k = tableRow.Kind[0];
        s.AspectFlags = AspectFlagsOf(tableRow.Aspects);
        if (k == 'M') {
            s.Type = SignalType::Main;
            s.Kind = 0;
            s.AspectFlags |= 1;
        } else if (k == 'A') {
            s.Type = SignalType::Automatic;
            s.Kind = 2;
        } else if (k == 'S') {
            s.Type = SignalType::Shunt;
            s.Kind = 0;
            s.AspectFlags = 2;
        } else {
            s.Type = SignalType::Marker;
            s.Kind = 5;
            s.AspectFlags = 1;
        }
        if (HasOption(tableRow.Options, "pl")) s.AspectFlags |= 2;
        s.AutoButton = HasOption(tableRow.Options, "auto");
        s.ER = HasOption(tableRow.Options, "er");
        s.Warner = HasOption(tableRow.Options, "warner");
        s.TRTS = HasOption(tableRow.Options, "trts");
        s.HidePlate = HasOption(tableRow.Options, "hide");
        s.ApproachLit = HasOption(tableRow.Options, "lit");
        s.Fringe = HasOption(tableRow.Options, "fringe");
        s.ShuntOnly = HasOption(tableRow.Options, "shunt");
        const bool far = HasOption(tableRow.Options, "far");
        // Which track: ">" above its track and "<" below it, unless it stands on the far side.
        const int near = s.RightFacing ? s.PostY + 1 : s.PostY - 1;
        const int other = s.RightFacing ? s.PostY - 1 : s.PostY + 1;
        const int t = far ? other : near;
        s.TrackY = t;
        const int c = CellAt(s.PostX, t);
        const bool buffer = c >= 0 && Cells[c].Kind == CellKind::Buffer;
        const int beyond = CellAt(s.PostX + (s.RightFacing ? 1 : -1), t);
        if (c < 0 || (!buffer && beyond < 0)) {
            Error("signal " + s.Plate + " does not stand at a joint of its track (row " + std::to_string(t) + ")");
            continue;
        }
        if (buffer && s.Type != SignalType::Marker) Error("signal " + s.Plate + " at buffer stops must be a marker");
        const bool aboveTrack = t > s.PostY;
        if (s.RightFacing) s.Orientation = aboveTrack ? 0 : 2;
        else s.Orientation = aboveTrack ? 1 : 3;
        // The head and the buttons beyond it.
        const bool pl = s.AspectFlags & 2, yy = s.AspectFlags & 16;
        switch (s.Type) {
            case SignalType::Main: s.HeadWidth = 2 + (pl ? 1 : 0) + (yy ? 1 : 0); break;
            case SignalType::Automatic: s.HeadWidth = 2 + (yy ? 1 : 0); break;
            case SignalType::Shunt: s.HeadWidth = 2; break;
            case SignalType::Marker: s.HeadWidth = 2; break;
        }
        const int dir = s.RightFacing ? 1 : -1;
        if (s.Type == SignalType::Marker) s.HeadX = s.PostX;
        else s.HeadX = s.RightFacing ? s.PostX : s.PostX - (s.HeadWidth - 1);
        int next = s.PostX + dir * (s.HeadWidth + 1);  // one blank cell after the lamps
        auto place = [&](int width) {
            const int x = s.RightFacing ? next : next - (width - 1);
            next += dir * width;
            return x;
        };
        if (s.AutoButton) s.AutoX = place(2);
        if (s.ER) s.ERX = place(2);
        if (s.Warner) s.WarnerX = place(1);
        if (s.TRTS) s.TRTSX = place(1);
        if (!buffer && (s.Type == SignalType::Main || s.Type == SignalType::Shunt)) {
            s.EntranceX = s.PostX + dir;
            s.EntranceY = t;
        }
    }
    for (const SignalSpec& tableRow : d_.Signals) {
        if (!seen.count(tableRow.Plate)) Error(std::string("signal ") + tableRow.Plate + " is in the table but not drawn");
    }
}

void AreaModel::MarkJoints() {
    auto addJoint = [&](int cellA, int portA) {
        const int segA = Cells[cellA].Segments[0];
        const Link& l = LinkOf(segA, portA);
        if (l.Segment < 0) return false;
        jointLinks_.push_back({segA * PtCount + portA, l.Segment * PtCount + l.Port});
        return true;
    };
    for (std::size_t i = 0; i < Cells.size(); ++i) {
        const TrackCell& c = Cells[i];
        if (c.Source != '|') continue;
        if (!addJoint(static_cast<int>(i), PtL)) Error("joint at " + std::to_string(c.X) + "," + std::to_string(c.Y) + " has no track to its left");
    }
    for (const SignalInfo& s : Signals) {
        const int c = CellAt(s.PostX, s.TrackY);
        if (c < 0 || Cells[c].Kind == CellKind::Buffer) continue;
        if (!addJoint(c, s.RightFacing ? PtR : PtL)) Error("signal " + s.Plate + " has no track beyond it");
    }
    // Crossovers: a diagonal run from one points to another has its joint at the upper one.
    for (const PointsInfo& p : Points) {
        const TrackCell& start = Cells[p.Cell];
        int leg = p.DivergingPort;
        int x = start.X + kDX[leg], y = start.Y + kDY[leg];
        int last = p.Cell;
        while (true) {
            const int ci = CellAt(x, y);
            if (ci < 0 || Cells[ci].Kind != CellKind::Diagonal) break;
            last = ci;
            x += kDX[leg];
            y += kDY[leg];
        }
        const int end = CellAt(x, y);
        if (end < 0 || Cells[end].Kind != CellKind::Points || last == p.Cell) continue;
        // Only once per crossover: from the upper points.
        if (start.Y > Cells[end].Y) continue;
        addJoint(p.Cell, leg);
    }
}

void AreaModel::FindCircuits() {
    std::vector<int> parent(Segments.size());
    std::iota(parent.begin(), parent.end(), 0);
    std::function<int(int)> find = [&](int a) { return parent[a] == a ? a : parent[a] = find(parent[a]); };
    std::set<int> joints;
    for (auto& [a, b] : jointLinks_) {
        joints.insert(a);
        joints.insert(b);
    }
    for (std::size_t s = 0; s < Segments.size(); ++s) {
        for (int p = 0; p < PtCount; ++p) {
            const Link& l = Links[s * PtCount + p];
            if (l.Segment < 0 || joints.count(static_cast<int>(s * PtCount + p))) continue;
            parent[find(static_cast<int>(s))] = find(l.Segment);
        }
    }
    std::map<int, std::vector<int>> groups;
    for (std::size_t s = 0; s < Segments.size(); ++s) groups[find(static_cast<int>(s))].push_back(static_cast<int>(s));
    std::vector<std::vector<int>> list;
    for (auto& [root, segs] : groups) list.push_back(segs);
    auto key = [&](const std::vector<int>& segs) {
        int mx = kColumns, my = kRows;
        for (int s : segs) {
            const TrackCell& c = Cells[Segments[s].Cell];
            if (c.X < mx || (c.X == mx && c.Y < my)) {
                mx = c.X;
                my = c.Y;
            }
        }
        return std::make_pair(mx, my);
    };
    std::sort(list.begin(), list.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
    for (std::size_t i = 0; i < list.size(); ++i) {
        Circuit c;
        c.ID = std::string(d_.CircuitPrefix) + std::to_string(101 + i);
        auto [mx, my] = key(list[i]);
        c.MinX = mx;
        c.MinY = my;
        std::set<int> cells;
        for (int s : list[i]) {
            Segments[s].Circuit = static_cast<int>(i);
            cells.insert(Segments[s].Cell);
        }
        c.Cells.assign(cells.begin(), cells.end());
        std::sort(c.Cells.begin(), c.Cells.end(), [&](int a, int b) {
            return std::make_pair(Cells[a].X, Cells[a].Y) < std::make_pair(Cells[b].X, Cells[b].Y);
        });
        Circuits.push_back(c);
    }
    // Cell lengths and electrification from the zones.
    for (TrackCell& cell : Cells) {
        const ZoneSpec* z = ZoneAt(cell.X, cell.Y);
        cell.MetresPerCell = z ? static_cast<float>(z->MetresPerCell) : 50.0f;
    }
    for (Circuit& c : Circuits) {
        const TrackCell& first = Cells[c.Cells.front()];
        const ZoneSpec* z = ZoneAt(first.X, first.Y);
        c.Electrification = z ? z->Electrification : 0;
    }
}

void AreaModel::FindEnds() {
    for (std::size_t ci = 0; ci < Circuits.size(); ++ci) {
        Circuit& c = Circuits[ci];
        std::vector<CircuitEnd> ends;
        for (int cell : c.Cells) {
            for (int k = 0; k < 2; ++k) {
                const int s = Cells[cell].Segments[k];
                if (s < 0 || Segments[s].Circuit != static_cast<int>(ci)) continue;
                if (Cells[cell].Kind == CellKind::Buffer) {
                    CircuitEnd e;
                    e.Segment = s;
                    e.DeadEnd = true;
                    e.X = Cells[cell].X;
                    e.Y = Cells[cell].Y;
                    ends.push_back(e);
                }
                for (int p = 0; p < PtCount; ++p) {
                    if (!(Segments[s].Ports & (1 << p))) continue;
                    const Link& l = LinkOf(s, p);
                    if (!l.Boundary && (l.Segment < 0 || Segments[l.Segment].Circuit == static_cast<int>(ci))) continue;
                    CircuitEnd e;
                    e.Segment = s;
                    e.Port = p;
                    e.Boundary = l.Boundary;
                    e.X = Cells[cell].X;
                    e.Y = Cells[cell].Y;
                    ends.push_back(e);
                }
            }
        }
        std::sort(ends.begin(), ends.end(), [](const CircuitEnd& a, const CircuitEnd& b) {
            return std::make_tuple(a.X, a.Y, a.Port) < std::make_tuple(b.X, b.Y, b.Port);
        });
        for (std::size_t i = 0; i < ends.size(); ++i) ends[i].Letter = static_cast<char>('A' + i);
        c.Ends = ends;
    }
}

int AreaModel::EndIndexAt(int circuit, int segment, int port) const {
    const Circuit& c = Circuits[circuit];
    for (std::size_t i = 0; i < c.Ends.size(); ++i) {
        if (c.Ends[i].Segment == segment && c.Ends[i].Port == port) return static_cast<int>(i);
    }
    return -1;
}

// Where a move leaving a segment by a port arrives: the circuit and its end index.
int AreaModel::EnteredEnd(int fromSegment, int fromPort, int& circuit) const {
    const Link& l = LinkOf(fromSegment, fromPort);
    circuit = -1;
    if (l.Segment < 0) return -1;
    circuit = Segments[l.Segment].Circuit;
    return EndIndexAt(circuit, l.Segment, l.Port);
}

void AreaModel::PlaceSignals() {
    signalAtEnd_.assign(Segments.size() * PtCount, -1);
    signalAtDeadEnd_.assign(Segments.size(), -1);
    for (std::size_t i = 0; i < Signals.size(); ++i) {
        SignalInfo& s = Signals[i];
        const int c = CellAt(s.PostX, s.TrackY);
        if (c < 0) continue;
        const int seg = Cells[c].Segments[0];
        s.BerthCircuit = Segments[seg].Circuit;
        if (Cells[c].Kind == CellKind::Buffer) {
            signalAtDeadEnd_[seg] = static_cast<int>(i);
            continue;
        }
        const int port = s.RightFacing ? PtR : PtL;
        signalAtEnd_[seg * PtCount + port] = static_cast<int>(i);
        const Link& l = LinkOf(seg, port);
        if (l.Segment >= 0) s.AheadCircuit = Segments[l.Segment].Circuit;
        if (s.BerthCircuit == s.AheadCircuit) Error("signal " + s.Plate + " has the same circuit on both sides");
    }
}

// --- subroutes ----------------------------------------------------------------------

int AreaModel::CellLengthOf(int cell) const {
    const TrackCell& c = Cells[cell];
    const double f = c.Kind == CellKind::Diagonal ? 1.4 : 1.0;
    return static_cast<int>(std::lround(c.MetresPerCell * f));
}

const ZoneSpec* AreaModel::ZoneAt(int x, int y) const {
    for (const ZoneSpec& z : d_.Zones) {
        if (x >= z.X0 && x <= z.X1 && y >= z.Y0 && y <= z.Y1) return &z;
    }
    return nullptr;
}

int AreaModel::GradientAt(int x, int y) const {
    for (const GradientSpec& g : d_.Gradients) {
        if (x >= g.X0 && x <= g.X1 && y >= g.Y0 && y <= g.Y1) return g.PerMille;
    }
    return 0;
}

void AreaModel::FindSubroutes() {
    // Passages through a segment from an entry port.
    auto passages = [&](int seg, int in, std::vector<std::pair<int, int>>& out) {
        out.clear();
        const TrackCell& c = Cells[Segments[seg].Cell];
        const std::uint8_t ports = Segments[seg].Ports;
        if (c.Kind == CellKind::Points) {
            const PointsInfo& p = Points[c.Points];
            const int normalLeg = p.Swap ? p.DivergingPort : p.StraightPort;
            const int reverseLeg = p.Swap ? p.StraightPort : p.DivergingPort;
            if (in == p.ToePort) {
                out.push_back({normalLeg, 0});
                out.push_back({reverseLeg, 1});
            } else if (in == normalLeg) {
                out.push_back({p.ToePort, 0});
            } else if (in == reverseLeg) {
                out.push_back({p.ToePort, 1});
            }
            return;
        }
        for (int q = 0; q < PtCount; ++q) {
            if (q != in && (ports & (1 << q)) && IsRightPort(q) != IsRightPort(in)) out.push_back({q, -1});
        }
    };
    for (std::size_t ci = 0; ci < Circuits.size(); ++ci) {
        Circuit& circuit = Circuits[ci];
        std::map<std::pair<int, int>, int> made;
        for (std::size_t ei = 0; ei < circuit.Ends.size(); ++ei) {
            const CircuitEnd& start = circuit.Ends[ei];
            struct Frame {
                int Seg, In;
                std::vector<int> Segs;
                std::vector<PointsNeed> Needs;
            };
            std::vector<Frame> stack;
            std::uint8_t direction;
            if (start.DeadEnd) {
                // From the buffer stops outwards.
                const int port = std::countr_zero(static_cast<unsigned>(Segments[start.Segment].Ports));
                direction = IsRightPort(port) ? 1 : 2;
                const Link& l = LinkOf(start.Segment, port);
                if (l.Segment < 0 || Segments[l.Segment].Circuit != static_cast<int>(ci)) continue;
                stack.push_back({l.Segment, l.Port, {start.Segment, l.Segment}, {}});
            } else {
                direction = IsRightPort(start.Port) ? 2 : 1;  // entering through a left-hand port runs right
                stack.push_back({start.Segment, start.Port, {start.Segment}, {}});
            }
            std::vector<std::pair<int, int>> ways;
            while (!stack.empty()) {
                Frame f = stack.back();
                stack.pop_back();
                const TrackCell& cell = Cells[Segments[f.Seg].Cell];
                if (cell.Kind == CellKind::Buffer && f.Segs.size() > 1) {
                    // Arrived at buffer stops.
                    const int endIndex = [&] {
                        for (std::size_t k = 0; k < circuit.Ends.size(); ++k)
                            if (circuit.Ends[k].DeadEnd && circuit.Ends[k].Segment == f.Seg) return static_cast<int>(k);
                        return -1;
                    }();
                    ways.clear();
                    ways.push_back({endIndex, -2});
                } else {
                    passages(f.Seg, f.In, ways);
                }
                for (auto [out, pos] : ways) {
                    Frame g = f;
                    if (pos >= 0) g.Needs.push_back({cell.Points, pos == 1});
                    int exitEnd = -1;
                    if (pos == -2) {
                        exitEnd = out;
                    } else {
                        exitEnd = EndIndexAt(static_cast<int>(ci), f.Seg, out);
                    }
                    if (exitEnd >= 0) {
                        if (exitEnd == static_cast<int>(ei)) continue;
                        if (made.count({static_cast<int>(ei), exitEnd})) {
                            Error("circuit " + circuit.ID + " has two ways from " + circuit.Ends[ei].Letter + " to " +
                                  circuit.Ends[exitEnd].Letter);
                            continue;
                        }
                        SubrouteInfo s;
                        s.Circuit = static_cast<int>(ci);
                        s.From = static_cast<int>(ei);
                        s.To = exitEnd;
                        s.ID = std::string(1, circuit.Ends[ei].Letter) + circuit.Ends[exitEnd].Letter;
                        s.Direction = direction;
                        for (int sg : g.Segs) {
                            s.Cells.push_back(Segments[sg].Cell);
                            const TrackCell& tc = Cells[Segments[sg].Cell];
                            if (tc.Kind == CellKind::Crossing && sg == tc.DiagonalSegment) s.CrossingCells.push_back(Segments[sg].Cell);
                        }
                        s.Points = g.Needs;
                        s.LeavesArea = circuit.Ends[exitEnd].Boundary;
                        made[{static_cast<int>(ei), exitEnd}] = static_cast<int>(Subroutes.size());
                        circuit.Subroutes.push_back(static_cast<int>(Subroutes.size()));
                        Subroutes.push_back(std::move(s));
                        continue;
                    }
                    const Link& l = LinkOf(f.Seg, out);
                    if (l.Segment < 0 || Segments[l.Segment].Circuit != static_cast<int>(ci)) continue;
                    g.Seg = l.Segment;
                    g.In = l.Port;
                    g.Segs.push_back(l.Segment);
                    stack.push_back(std::move(g));
                }
            }
        }
        for (int a : circuit.Subroutes) {
            for (int b : circuit.Subroutes) {
                if (Subroutes[a].From == Subroutes[b].To && Subroutes[a].To == Subroutes[b].From) Subroutes[a].Opposite = b;
            }
        }
    }
    // Track data.
    for (SubrouteInfo& s : Subroutes) {
        int length = 0, mph = 200, fmph = 200, gradient = 0;
        bool goods = false;
        for (int cell : s.Cells) {
            length += CellLengthOf(cell);
            const TrackCell& c = Cells[cell];
            const ZoneSpec* z = ZoneAt(c.X, c.Y);
            if (z) {
                mph = std::min(mph, z->PassengerMph);
                fmph = std::min(fmph, z->FreightMph);
                goods = goods || z->GoodsLine;
            }
            gradient += GradientAt(c.X, c.Y);
        }
        for (const PointsNeed& n : s.Points) {
            if (n.Reverse != Points[n.Points].Swap) {
                mph = std::min(mph, Points[n.Points].DivergingMph);
                fmph = std::min(fmph, Points[n.Points].DivergingMph);
            }
        }
        if (mph == 200) mph = 40;
        if (fmph == 200) fmph = 30;
        s.Length = std::max(20, length);
        s.PassengerMph = mph;
        s.FreightMph = std::min(fmph, mph);
        s.GoodsLine = goods;
        const double g = s.Cells.empty() ? 0.0 : static_cast<double>(gradient) / static_cast<double>(s.Cells.size());
        const double rising = s.Direction == 1 ? g : -g;
        // A rising gradient weakens acceleration and adds to braking; a falling one the opposite.
        s.Scale = static_cast<float>(rising > 0 ? std::max(0.7, 1.0 - rising * 0.02)
                                                : std::min(1.1, 1.0 - rising * 0.005));
        s.ClearTime = static_cast<int>(std::lround(2.0 * std::sqrt(static_cast<double>(s.Length))));
        s.PassageTime = 8;
        const Circuit& c = Circuits[s.Circuit];
        const CircuitEnd& to = c.Ends[s.To];
        if (to.DeadEnd) {
            s.EndSignal = signalAtDeadEnd_[to.Segment];
        } else if (!to.Boundary) {
            s.EndSignal = signalAtEnd_[to.Segment * PtCount + to.Port];
        }
        if (s.EndSignal >= 0) s.SignalOffset = 10;
        else if (to.DeadEnd) s.SignalOffset = 10;
    }
}

void AreaModel::LinkSubroutes() {
    for (std::size_t i = 0; i < Subroutes.size(); ++i) {
        SubrouteInfo& s = Subroutes[i];
        const CircuitEnd& to = Circuits[s.Circuit].Ends[s.To];
        if (to.Boundary || to.DeadEnd) continue;
        int circuit = -1;
        const int end = EnteredEnd(to.Segment, to.Port, circuit);
        if (end < 0) continue;
        for (int j : Circuits[circuit].Subroutes) {
            if (Subroutes[j].From == end) {
                s.Next.push_back(j);
                Subroutes[j].Previous.push_back(static_cast<int>(i));
            }
        }
    }
}

void AreaModel::FindConflictsAndFlank() {
    // Diamond crossings: the two roads lie in different circuits and may not be locked
    // together.
    for (std::size_t ci = 0; ci < Cells.size(); ++ci) {
        const TrackCell& c = Cells[ci];
        if (c.Kind != CellKind::Crossing) continue;
        std::vector<int> straight, diagonal;
        for (std::size_t i = 0; i < Subroutes.size(); ++i) {
            const SubrouteInfo& s = Subroutes[i];
            if (std::find(s.Cells.begin(), s.Cells.end(), static_cast<int>(ci)) == s.Cells.end()) continue;
            const bool diag = std::find(s.CrossingCells.begin(), s.CrossingCells.end(), static_cast<int>(ci)) != s.CrossingCells.end();
            (diag ? diagonal : straight).push_back(static_cast<int>(i));
        }
        for (int a : straight) {
            for (int b : diagonal) {
                if (Subroutes[a].Circuit == Subroutes[b].Circuit) continue;
                Subroutes[a].Conflicts.push_back(b);
                Subroutes[b].Conflicts.push_back(a);
            }
        }
    }
    // Flank protection: a route over the straight road of points whose diverging leg
    // runs to other points holds those other points away from the leg.
    for (SubrouteInfo& s : Subroutes) {
        for (const PointsNeed& n : s.Points) {
            const PointsInfo& p = Points[n.Points];
            const bool usesDiverging = n.Reverse != p.Swap;
            if (usesDiverging) continue;
            int port = p.DivergingPort;
            int cell = p.Cell;
            for (int step = 0; step < 8; ++step) {
                const TrackCell& c = Cells[cell];
                const int nx = c.X + kDX[port], ny = c.Y + kDY[port];
                const int next = CellAt(nx, ny);
                if (next < 0) break;
                const TrackCell& nc = Cells[next];
                if (nc.Kind == CellKind::Diagonal) {
                    cell = next;
                    continue;
                }
                if (nc.Kind == CellKind::Points && nc.Points != p.Partner) {
                    const PointsInfo& q = Points[nc.Points];
                    const int arrived = kOpposite[port];
                    if (arrived == q.ToePort) break;
                    const bool holdDiverging = arrived == q.StraightPort;
                    const bool holdReverse = holdDiverging != q.Swap;
                    std::vector<int>& list = holdReverse ? s.FlankReverse : s.FlankNormal;
                    if (std::find(list.begin(), list.end(), nc.Points) == list.end()) list.push_back(nc.Points);
                }
                break;
            }
        }
    }
    for (std::size_t i = 0; i < Subroutes.size(); ++i) {
        const SubrouteInfo& s = Subroutes[i];
        for (const PointsNeed& n : s.Points) {
            (n.Reverse ? Points[n.Points].ReverseSubroutes : Points[n.Points].NormalSubroutes).push_back(static_cast<int>(i));
        }
        for (int p : s.FlankNormal) Points[p].FlankNormalSubroutes.push_back(static_cast<int>(i));
        for (int p : s.FlankReverse) Points[p].FlankReverseSubroutes.push_back(static_cast<int>(i));
    }
    for (PointsInfo& p : Points) p.Circuit = Segments[Cells[p.Cell].Segments[0]].Circuit;
}

int AreaModel::SubrouteFrom(int circuit, int endIndex, int exitEnd) const {
    for (int s : Circuits[circuit].Subroutes) {
        if (Subroutes[s].From == endIndex && Subroutes[s].To == exitEnd) return s;
    }
    return -1;
}

// --- overlaps, routes and automatic working ------------------------------------------

namespace {
bool Consistent(const std::vector<PointsNeed>& needs, const std::vector<PointsNeed>& more) {
    for (const PointsNeed& a : more) {
        for (const PointsNeed& b : needs) {
            if (a.Points == b.Points && a.Reverse != b.Reverse) return false;
        }
    }
    return true;
}
}  // namespace

void AreaModel::FindOverlaps() {
    for (std::size_t si = 0; si < Signals.size(); ++si) {
        SignalInfo& sig = Signals[si];
        if (sig.Type != SignalType::Main && sig.Type != SignalType::Automatic) continue;
        const int cell = CellAt(sig.PostX, sig.TrackY);
        if (cell < 0 || Cells[cell].Kind == CellKind::Buffer) continue;
        const int seg = Cells[cell].Segments[0];
        const int port = sig.RightFacing ? PtR : PtL;
        std::vector<std::pair<std::vector<int>, int>> found;  // subroutes, reverse count
        std::function<void(int, int, std::vector<int>&, std::vector<PointsNeed>&, int)> walk =
            [&](int fromSeg, int fromPort, std::vector<int>& path, std::vector<PointsNeed>& needs, int length) {
                int circuit = -1;
                const int end = EnteredEnd(fromSeg, fromPort, circuit);
                if (end < 0) return;
                for (int s : Circuits[circuit].Subroutes) {
                    const SubrouteInfo& sub = Subroutes[s];
                    if (sub.From != end || !Consistent(needs, sub.Points)) continue;
                    path.push_back(s);
                    const std::size_t mark = needs.size();
                    needs.insert(needs.end(), sub.Points.begin(), sub.Points.end());
                    const CircuitEnd& to = Circuits[circuit].Ends[sub.To];
                    const int total = length + sub.Length;
                    const bool stop = to.Boundary || to.DeadEnd || total >= kOverlapLength ||
                                      sub.EndSignal >= 0 || static_cast<int>(path.size()) >= kMaxOverlapCircuits;
                    if (stop) {
                        int reverse = 0;
                        for (const PointsNeed& n : needs) reverse += n.Reverse ? 1 : 0;
                        found.push_back({path, reverse});
                    } else {
                        walk(to.Segment, to.Port, path, needs, total);
                    }
                    needs.resize(mark);
                    path.pop_back();
                }
            };
        std::vector<int> path;
        std::vector<PointsNeed> needs;
        walk(seg, port, path, needs, 0);
        std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        if (found.size() > 3) found.resize(3);
        for (auto& [subs, reverse] : found) {
            OverlapInfo o;
            o.Signal = static_cast<int>(si);
            o.Subroutes = subs;
            sig.Overlaps.push_back(static_cast<int>(Overlaps.size()));
            Overlaps.push_back(o);
        }
        if (sig.Warner) {
            // A restricted overlap: the first circuit beyond, when no points lie in it.
            int circuit = -1;
            const int end = EnteredEnd(seg, port, circuit);
            if (end >= 0) {
                for (int s : Circuits[circuit].Subroutes) {
                    if (Subroutes[s].From == end && Subroutes[s].Points.empty()) {
                        OverlapInfo o;
                        o.Signal = static_cast<int>(si);
                        o.Subroutes = {s};
                        o.Restricted = true;
                        sig.Overlaps.push_back(static_cast<int>(Overlaps.size()));
                        Overlaps.push_back(o);
                        break;
                    }
                }
            }
        }
    }
}

void AreaModel::WalkRoutes(int signal, int fromSeg, int fromPort, std::vector<int>& path,
                           std::vector<PointsNeed>& needs, int depth, bool mainRoutes) {
    if (depth >= kMaxRouteCircuits) return;
    int circuit = -1;
    const int end = EnteredEnd(fromSeg, fromPort, circuit);
    if (end < 0) return;
    // A route runs past the back of a signal only into a platform or along a goods
    // line, which are worked both ways; anywhere else it would be wrong-road running
    // on a line signalled one way only.
    const Link& into = LinkOf(fromSeg, fromPort);
    const int back = signalAtEnd_[into.Segment * PtCount + into.Port];
    if (back >= 0 && (Signals[back].Type == SignalType::Main || Signals[back].Type == SignalType::Automatic)) {
        const TrackCell& c = Cells[Segments[into.Segment].Cell];
        const ZoneSpec* z = ZoneAt(c.X, c.Y);
        if (!Circuits[circuit].Platform && (!z || !(z->GoodsLine || z->BothWays))) return;
    }
    for (int s : Circuits[circuit].Subroutes) {
        const SubrouteInfo& sub = Subroutes[s];
        if (sub.From != end || !Consistent(needs, sub.Points)) continue;
        path.push_back(s);
        const std::size_t mark = needs.size();
        needs.insert(needs.end(), sub.Points.begin(), sub.Points.end());
        const CircuitEnd& to = Circuits[circuit].Ends[sub.To];
        const int x = sub.EndSignal;
        if (x >= 0) {
            const SignalInfo& exit = Signals[x];
            if (mainRoutes) {
                const bool passThrough = exit.Type == SignalType::Shunt;
                if (!passThrough && !exit.ShuntOnly) AddRoute(signal, x, ClassMain, path);
                else if (passThrough) WalkRoutes(signal, to.Segment, to.Port, path, needs, depth + 1, true);
            } else {
                const bool mainExit = exit.Type == SignalType::Main || exit.Type == SignalType::Automatic ||
                                      (exit.Type == SignalType::Marker && !exit.ShuntOnly);
                // A main signal's shunt routes lead only where no main route goes.
                if (Signals[signal].Type == SignalType::Shunt || !mainExit) AddRoute(signal, x, ClassShunt, path);
            }
        } else if (!to.Boundary && !to.DeadEnd) {
            WalkRoutes(signal, to.Segment, to.Port, path, needs, depth + 1, mainRoutes);
        }
        needs.resize(mark);
        path.pop_back();
    }
}

void AreaModel::AddRoute(int entrance, int exit, std::uint8_t cls, const std::vector<int>& subroutes) {
    RouteInfo r;
    r.Class = cls;
    r.Entrance = entrance;
    r.Exit = exit;
    r.Subroutes = subroutes;
    for (int s : subroutes) {
        r.Length += Subroutes[s].Length;
        for (const PointsNeed& n : Subroutes[s].Points) r.ReversePoints += n.Reverse ? 1 : 0;
    }
    Routes.push_back(r);
}

void AreaModel::FindRoutes() {
    // The approach-locking time follows the speed of the line in rear of the signal.
    for (SignalInfo& s : Signals) {
        int mph = 0;
        for (int sub : Circuits[s.BerthCircuit].Subroutes) mph = std::max(mph, Subroutes[sub].PassengerMph);
        s.ApproachTime = mph >= 60 ? 120 : (mph >= 30 ? 60 : 30);
    }
    for (std::size_t si = 0; si < Signals.size(); ++si) {
        const SignalInfo& sig = Signals[si];
        if (sig.Type != SignalType::Main && sig.Type != SignalType::Shunt) continue;
        const int cell = CellAt(sig.PostX, sig.TrackY);
        if (cell < 0 || Cells[cell].Kind == CellKind::Buffer) continue;
        const int seg = Cells[cell].Segments[0];
        const int port = sig.RightFacing ? PtR : PtL;
        const std::size_t first = Routes.size();
        std::vector<int> path;
        std::vector<PointsNeed> needs;
        if (sig.Type == SignalType::Main) WalkRoutes(static_cast<int>(si), seg, port, path, needs, 0, true);
        if (sig.Type == SignalType::Shunt || (sig.AspectFlags & 2))
            WalkRoutes(static_cast<int>(si), seg, port, path, needs, 0, false);
        // Order: main routes by the points they turn, then by length; shunt routes after.
        std::stable_sort(Routes.begin() + static_cast<long>(first), Routes.end(), [](const RouteInfo& a, const RouteInfo& b) {
            return std::make_tuple(a.Class, a.ReversePoints, a.Length) < std::make_tuple(b.Class, b.ReversePoints, b.Length);
        });
        const std::size_t last = Routes.size();
        // Alternatives between the same two signals, and the variants.
        std::map<int, int> firstTo;
        std::map<int, int> countTo;
        for (std::size_t i = first; i < last; ++i) {
            RouteInfo& r = Routes[i];
            const SignalInfo& exit = Signals[r.Exit];
            const int n = ++countTo[r.Exit * 8 + r.Class];
            r.ID = "R" + sig.Plate + "-" + exit.Plate + (r.Class == ClassShunt ? "S" : "M");
            if (n > 1) r.ID += std::to_string(n);
            r.ApproachTime = r.Class == ClassShunt ? 30 : sig.ApproachTime;
            r.AutoAllowed = sig.AutoButton && r.Class == ClassMain && r.ReversePoints == 0;
            if (r.Class == ClassMain) {
                auto it = firstTo.find(r.Exit);
                if (it == firstTo.end()) firstTo[r.Exit] = static_cast<int>(i);
                else if (Routes[it->second].Alternative < 0) Routes[it->second].Alternative = static_cast<int>(i);
            }
        }
        for (std::size_t i = first; i < last; ++i) {
            if (Routes[i].Class != ClassMain) continue;
            const RouteInfo main = Routes[i];
            const SignalInfo& exit = Signals[main.Exit];
            // A warner route only where the main route is the first choice between its
            // two signals: the signaller asks for it at the exit's warner button, which
            // takes the first warner route that matches.
            if (exit.Warner && firstTo[main.Exit] == static_cast<int>(i)) {
                RouteInfo w = main;
                w.Class = ClassWarner;
                w.ID = main.ID + "W";
                w.MainRoute = static_cast<int>(i);
                w.Alternative = -1;
                w.AutoAllowed = false;
                Routes.push_back(w);
            }
            if (sig.AspectFlags & 2) {
                // Into an occupied platform: a call-on over the platform circuits at the end.
                std::size_t k = main.Subroutes.size();
                while (k > 0 && Circuits[Subroutes[main.Subroutes[k - 1]].Circuit].Platform) --k;
                if (k > 0 && k < main.Subroutes.size()) {
                    RouteInfo c = main;
                    c.Class = ClassCallOn;
                    c.ID = main.ID + "C";
                    c.Subroutes.assign(main.Subroutes.begin(), main.Subroutes.begin() + static_cast<long>(k));
                    c.Permissive.assign(main.Subroutes.begin() + static_cast<long>(k), main.Subroutes.end());
                    c.MainRoute = static_cast<int>(i);
                    c.Alternative = -1;
                    c.AutoAllowed = false;
                    c.ApproachTime = 30;
                    Routes[i].CallOnVariant = static_cast<int>(Routes.size());
                    Routes.push_back(c);
                }
            }
        }
        for (std::size_t i = first; i < Routes.size(); ++i) Signals[si].Routes.push_back(static_cast<int>(i));
    }
}

void AreaModel::FindAutomaticWorking() {
    for (std::size_t si = 0; si < Signals.size(); ++si) {
        SignalInfo& sig = Signals[si];
        if (sig.Type != SignalType::Automatic) continue;
        const int cell = CellAt(sig.PostX, sig.TrackY);
        int seg = Cells[cell].Segments[0];
        int port = sig.RightFacing ? PtR : PtL;
        std::vector<int> path;
        int exit = -1;
        for (int guard = 0; guard < 20; ++guard) {
            int circuit = -1;
            const int end = EnteredEnd(seg, port, circuit);
            if (end < 0) break;
            int chosen = -1;
            for (int s : Circuits[circuit].Subroutes) {
                if (Subroutes[s].From != end) continue;
                if (chosen >= 0 || !Subroutes[s].Points.empty()) {
                    Error("automatic signal " + sig.Plate + " does not stand on plain line");
                    chosen = -1;
                    break;
                }
                chosen = s;
            }
            if (chosen < 0) break;
            path.push_back(chosen);
            const SubrouteInfo& sub = Subroutes[chosen];
            const CircuitEnd& to = Circuits[circuit].Ends[sub.To];
            if (sub.EndSignal >= 0) {
                exit = sub.EndSignal;
                break;
            }
            if (to.Boundary || to.DeadEnd) break;
            seg = to.Segment;
            port = to.Port;
        }
        for (int s : path) {
            const int c = Subroutes[s].Circuit;
            if (std::find(sig.ControlCircuits.begin(), sig.ControlCircuits.end(), c) == sig.ControlCircuits.end())
                sig.ControlCircuits.push_back(c);
            if (Subroutes[s].Opposite >= 0) sig.MustBeFree.push_back(Subroutes[s].Opposite);
        }
        if (exit < 0) {
            if (!sig.Fringe) Error("automatic signal " + sig.Plate + " has no signal ahead and is not a fringe signal");
            continue;
        }
        sig.NextSignal = exit;
        for (int s : path) Subroutes[s].AlwaysPassable = true;
        // The circuits of the next signal's first overlap must be clear as well.
        const SignalInfo& next = Signals[exit];
        if (!next.Overlaps.empty()) {
            for (int s : Overlaps[next.Overlaps.front()].Subroutes) {
                const int c = Subroutes[s].Circuit;
                if (std::find(sig.ControlCircuits.begin(), sig.ControlCircuits.end(), c) == sig.ControlCircuits.end())
                    sig.ControlCircuits.push_back(c);
            }
        }
        RouteInfo r;
        r.Class = ClassAuto;
        r.Entrance = static_cast<int>(si);
        r.Exit = exit;
        r.Subroutes = path;
        r.ID = "R" + sig.Plate + "-" + next.Plate + "A";
        for (int s : path) r.Length += Subroutes[s].Length;
        r.ApproachTime = 0;
        sig.Routes.push_back(static_cast<int>(Routes.size()));
        Routes.push_back(r);
    }
}

// --- berths, platforms, locations, entries, sub-areas, paths ---------------------------

void AreaModel::PlaceBerths() {
    for (std::size_t si = 0; si < Signals.size(); ++si) {
        SignalInfo& s = Signals[si];
        if (s.Type == SignalType::Marker) continue;
        const int x0 = s.RightFacing ? s.PostX - 3 : s.PostX;
        bool ok = true;
        for (int x = x0; x < x0 + 4; ++x) {
            const int c = CellAt(x, s.TrackY);
            if (c < 0 || Cells[c].Kind != CellKind::Plain || Cells[c].Joint || Cells[c].BerthCell ||
                Segments[Cells[c].Segments[0]].Circuit != s.BerthCircuit) {
                ok = false;
                break;
            }
        }
        if (!ok) {
            Error("no room for the berth of signal " + s.Plate + " (four plain cells of its track in rear)");
            continue;
        }
        for (int x = x0; x < x0 + 4; ++x) Cells[CellAt(x, s.TrackY)].BerthCell = true;
        BerthInfo b;
        b.ID = "B" + s.Plate;
        b.X = x0;
        b.Y = s.TrackY;
        b.Circuit = s.BerthCircuit;
        b.Signal = static_cast<int>(si);
        b.External = s.Fringe;
        s.Berth = static_cast<int>(Berths.size());
        Berths.push_back(b);
    }
    for (std::size_t b = 0; b < Berths.size(); ++b) {
        for (std::size_t l = 0; l < Locations.size(); ++l) {
            const LocationInfo& loc = Locations[l];
            if (Berths[b].X >= loc.X0 && Berths[b].X <= loc.X1 && Berths[b].Y >= loc.Y0 && Berths[b].Y <= loc.Y1) {
                Locations[l].Berths.push_back(static_cast<int>(b));
                break;
            }
        }
    }
}

void AreaModel::FindPlatformsAndLocations() {
    for (const LocationSpec& tableRow : d_.Locations) {
        LocationInfo l;
        l.Code = tableRow.Code;
        l.Name = tableRow.Name;
        l.Key = HasOption(tableRow.Options, "key");
        l.NonStation = HasOption(tableRow.Options, "nonstation");
        l.ARSWaitsForTime = HasOption(tableRow.Options, "ars-wait");
        l.X0 = tableRow.X0;
        l.Y0 = tableRow.Y0;
        l.X1 = tableRow.X1;
        l.Y1 = tableRow.Y1;
        Locations.push_back(l);
    }
    auto locationAt = [&](int x, int y) {
        for (std::size_t i = 0; i < Locations.size(); ++i) {
            const LocationInfo& l = Locations[i];
            if (x >= l.X0 && x <= l.X1 && y >= l.Y0 && y <= l.Y1) return static_cast<int>(i);
        }
        return -1;
    };
    for (std::size_t pi = 0; pi < Platforms.size(); ++pi) {
        PlatformInfo& p = Platforms[pi];
        auto hasTrack = [&](int y) {
            for (int x = p.BandX0; x <= p.BandX1; ++x)
                if (CellAt(x, y) >= 0) return true;
            return false;
        };
        int face = p.Face;
        if (face == 0) {
            const bool up = hasTrack(p.BandY - 1), down = hasTrack(p.BandY + 1);
            if (up == down) {
                Error("platform " + p.Code + " has track on " + (up ? "both sides" : "neither side") + " of its band");
                continue;
            }
            face = up ? -1 : 1;
        }
        const int trackRow = p.BandY + face;
        p.TrackY = trackRow;
        std::vector<int> circuits;
        for (int x = p.BandX0; x <= p.BandX1; ++x) {
            const int c = CellAt(x, trackRow);
            if (c < 0) continue;
            const int circuit = Segments[Cells[c].Segments[0]].Circuit;
            if (std::find(circuits.begin(), circuits.end(), circuit) == circuits.end()) circuits.push_back(circuit);
        }
        if (circuits.empty()) {
            Error("platform " + p.Code + " has no track beside it");
            continue;
        }
        p.Circuit = circuits.front();
        p.Circuits = circuits;
        for (int c : circuits) {
            Circuits[c].Platform = true;
            p.Subroutes.insert(p.Subroutes.end(), Circuits[c].Subroutes.begin(), Circuits[c].Subroutes.end());
        }
        p.Location = locationAt(p.CodeX, p.BandY);
        if (p.Location < 0) {
            Error("platform " + p.Code + " lies in no location");
            continue;
        }
        Locations[p.Location].Platforms.push_back(static_cast<int>(pi));
    }
    for (Circuit& c : Circuits) c.Location = locationAt(c.MinX, c.MinY);
    for (PointsInfo& p : Points) p.Location = locationAt(Cells[p.Cell].X, Cells[p.Cell].Y);
    for (SignalInfo& s : Signals) s.Location = locationAt(s.PostX, s.TrackY);
}

int AreaModel::SignalByPlate(const std::string& plate) const {
    for (std::size_t i = 0; i < Signals.size(); ++i)
        if (Signals[i].Plate == plate) return static_cast<int>(i);
    return -1;
}

int AreaModel::LocationByCode(const std::string& code) const {
    for (std::size_t i = 0; i < Locations.size(); ++i)
        if (Locations[i].Code == code) return static_cast<int>(i);
    return -1;
}

void AreaModel::FindEntries() {
    for (const EntrySpec& tableRow : d_.Entries) {
        EntryInfo e;
        e.Code = tableRow.Code;
        e.Name = tableRow.Name;
        e.FirstSignal = SignalByPlate(tableRow.FirstSignal);
        if (e.FirstSignal < 0) {
            Error(std::string("entry point ") + tableRow.Code + " names an unknown signal");
            continue;
        }
        const SignalInfo& s = Signals[e.FirstSignal];
        // Back from the signal to the area boundary.
        int current = -1;
        for (int sub : Circuits[s.BerthCircuit].Subroutes) {
            if (Subroutes[sub].EndSignal == e.FirstSignal) current = sub;
        }
        std::vector<int> chain;
        while (current >= 0 && chain.size() < 10) {
            chain.push_back(current);
            const SubrouteInfo& sub = Subroutes[current];
            if (Circuits[sub.Circuit].Ends[sub.From].Boundary) break;
            current = sub.Previous.size() == 1 ? sub.Previous.front() : -1;
        }
        if (chain.empty() || !Circuits[Subroutes[chain.back()].Circuit].Ends[Subroutes[chain.back()].From].Boundary) {
            Error("entry point " + e.Code + ": no plain track from the area boundary to signal " + s.Plate);
            continue;
        }
        std::reverse(chain.begin(), chain.end());
        e.Subroutes = chain;
        e.Berth = s.Berth;
        Entries.push_back(e);
    }
}

void AreaModel::FindSubAreas() {
    for (SubAreaInfo& s : SubAreas) {
        const SubAreaSpec* tableRow = nullptr;
        for (const SubAreaSpec& sp : d_.SubAreas)
            if (sp.Digit == s.Digit) tableRow = &sp;
        if (!tableRow) {
            Error(std::string("sub-area indicator ") + s.Digit + " is not in the sub-area table");
            continue;
        }
        s.Label = tableRow->Label;
        s.LabelPlacement = tableRow->LabelPlacement;
        auto inside = [&](int x, int y) {
            return (x >= tableRow->X0 && x <= tableRow->X1 && y >= tableRow->Y0 && y <= tableRow->Y1) ||
                   (tableRow->X3 > 0 && x >= tableRow->X2 && x <= tableRow->X3 && y >= tableRow->Y2 && y <= tableRow->Y3);
        };
        for (std::size_t r = 0; r < Routes.size(); ++r) {
            const SignalInfo& e = Signals[Routes[r].Entrance];
            if (Routes[r].Class == ClassAuto) continue;
            if (inside(e.PostX, e.TrackY)) {
                s.Routes.push_back(static_cast<int>(r));
                Routes[r].SubAreas.push_back(static_cast<int>(&s - SubAreas.data()));
            }
        }
    }
    std::sort(SubAreas.begin(), SubAreas.end(), [](const SubAreaInfo& a, const SubAreaInfo& b) { return a.Digit < b.Digit; });
    for (RouteInfo& r : Routes) r.SubAreas.clear();
    for (std::size_t i = 0; i < SubAreas.size(); ++i)
        for (int r : SubAreas[i].Routes) Routes[r].SubAreas.push_back(static_cast<int>(i));
    for (const SubAreaSpec& sp : d_.SubAreas) {
        if (std::none_of(SubAreas.begin(), SubAreas.end(), [&](const SubAreaInfo& s) { return s.Digit == sp.Digit; }))
            Error(std::string("sub-area ") + sp.Label + " has no indicator in the picture");
    }
}

void AreaModel::FindPaths() {
    for (const PathSpec& tableRow : d_.Paths) {
        PathInfo p;
        p.Line = tableRow.Line ? tableRow.Line : "";
        p.FromPlatform = tableRow.FromPlatform ? tableRow.FromPlatform : "";
        p.ToPlatform = tableRow.ToPlatform ? tableRow.ToPlatform : "";
        std::vector<int> starts;
        for (std::size_t e = 0; e < Entries.size(); ++e) {
            if (Entries[e].Code == tableRow.From) {
                p.Entry = static_cast<int>(e);
                starts.push_back(Entries[e].FirstSignal);
            }
        }
        std::set<int> fromCircuits;
        if (p.Entry < 0) {
            p.FromLocation = LocationByCode(tableRow.From);
            if (p.FromLocation < 0) {
                Error(std::string("path from unknown place ") + tableRow.From);
                continue;
            }
            for (int pl : Locations[p.FromLocation].Platforms) {
                if (p.FromPlatform.empty() || Platforms[pl].Code == p.FromPlatform) fromCircuits.insert(Platforms[pl].Circuits.begin(), Platforms[pl].Circuits.end());
            }
            for (std::size_t s = 0; s < Signals.size(); ++s) {
                if (fromCircuits.count(Signals[s].BerthCircuit) && !Signals[s].Routes.empty()) starts.push_back(static_cast<int>(s));
            }
        }
        p.ToLocation = LocationByCode(tableRow.To);
        if (p.ToLocation < 0) {
            Error(std::string("path to unknown location ") + tableRow.To);
            continue;
        }
        const LocationInfo& to = Locations[p.ToLocation];
        std::set<int> goal;
        for (int pl : to.Platforms) {
            if (p.ToPlatform.empty() || Platforms[pl].Code == p.ToPlatform) goal.insert(Platforms[pl].Circuits.begin(), Platforms[pl].Circuits.end());
        }
        if (to.Platforms.empty()) {
            // A timing point without platforms: any circuit with track inside it.
            for (std::size_t c = 0; c < Circuits.size(); ++c) {
                for (int cell : Circuits[c].Cells) {
                    const TrackCell& tc = Cells[cell];
                    if (tc.X >= to.X0 && tc.X <= to.X1 && tc.Y >= to.Y0 && tc.Y <= to.Y1) goal.insert(static_cast<int>(c));
                }
            }
        }
        // Breadth first over main routes, fewest routes first, then fewest points turned.
        struct State {
            int Signal;
            std::vector<int> Routes;
            int Reverse;
        };
        std::vector<State> frontier;
        for (int s : starts) frontier.push_back({s, {}, 0});
        std::set<int> visited(starts.begin(), starts.end());
        std::vector<int> best;
        for (int depth = 0; depth < 12 && best.empty() && !frontier.empty(); ++depth) {
            std::vector<State> next;
            std::vector<std::pair<int, std::vector<int>>> reached;
            for (const State& st : frontier) {
                for (int r : Signals[st.Signal].Routes) {
                    const RouteInfo& route = Routes[r];
                    if (route.Class != ClassMain && route.Class != ClassAuto) continue;
                    // A path from a platform leaves it, never runs back along it.
                    if (depth == 0 && p.Entry < 0 && fromCircuits.count(Subroutes[route.Subroutes.front()].Circuit)) continue;
                    std::vector<int> routes = st.Routes;
                    routes.push_back(r);
                    const int reverse = st.Reverse + route.ReversePoints;
                    bool arrived = false;
                    for (int s : route.Subroutes)
                        if (goal.count(Subroutes[s].Circuit)) arrived = true;
                    if (arrived) {
                        reached.push_back({reverse, routes});
                        continue;
                    }
                    if (visited.insert(route.Exit).second) next.push_back({route.Exit, routes, reverse});
                }
            }
            if (!reached.empty()) {
                std::stable_sort(reached.begin(), reached.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
                best = reached.front().second;
            }
            frontier = std::move(next);
        }
        if (best.empty()) {
            Error(std::string("no path from ") + tableRow.From + " to " + tableRow.To + " " + p.ToPlatform);
            continue;
        }
        for (int r : best) {
            const RouteInfo& route = Routes[r];
            const int b = Signals[route.Entrance].Berth;
            if (b >= 0) p.Objects.push_back(b);
            p.Objects.push_back(-1 - r);
        }
        p.StartDirection = Subroutes[Routes[best.front()].Subroutes.front()].Direction;
        p.EndDirection = Subroutes[Routes[best.back()].Subroutes.back()].Direction;
        Paths.push_back(p);
    }
}

// --- drawing checks and the text picture -----------------------------------------------

std::vector<DrawnCell> AreaModel::DrawnCells() const {
    std::vector<DrawnCell> out;
    for (const TrackCell& c : Cells) {
        out.push_back({c.X, c.Y, c.Glyph, "track"});
    }
    for (const LabelInfo& l : Labels) {
        int x = l.X;
        for (char ch : l.Text) {
            const auto g = static_cast<std::uint8_t>(ch);
            if (g >= 210 && g <= 221) continue;
            out.push_back({x++, l.Y, g, "label \"" + l.Text + "\""});
        }
    }
    for (const SignalInfo& s : Signals) {
        const std::string owner = "signal " + s.Plate;
        const bool mirrored = !s.RightFacing;
        if (!s.HidePlate) {
            for (std::size_t i = 0; i < s.Plate.size(); ++i)
                out.push_back({s.PlateX + static_cast<int>(i), s.PostY, static_cast<std::uint8_t>(s.Plate[i]), owner + " plate"});
        }
        if (s.Type == SignalType::Marker) {
            out.push_back({s.PostX, s.PostY, mirrored ? GlMarkerLeft : GlMarkerRight, owner});
            out.push_back({s.PostX + (mirrored ? -1 : 1), s.PostY, ' ', owner});
        } else {
            for (int i = 0; i < s.HeadWidth; ++i) {
                const int x = s.HeadX + i;
                const bool post = x == s.PostX;
                out.push_back({x, s.PostY, post ? static_cast<std::uint8_t>(128 + s.Orientation) : static_cast<std::uint8_t>('q'), owner});
            }
        }
        if (s.AutoButton) {
            out.push_back({s.AutoX, s.PostY, 'p', owner + " auto button"});
            out.push_back({s.AutoX + 1, s.PostY, 'A', owner + " auto button"});
        }
        if (s.ER) {
            out.push_back({s.ERX, s.PostY, 'p', owner + " replacement button"});
            out.push_back({s.ERX + 1, s.PostY, 'E', owner + " replacement button"});
        }
        if (s.Warner) out.push_back({s.WarnerX, s.PostY, mirrored ? GlMarkerLeft : GlMarkerRight, owner + " warner button"});
        if (s.TRTS) out.push_back({s.TRTSX, s.PostY, 'p', owner + " train ready to start"});
    }
    for (const SubAreaInfo& a : SubAreas) {
        const std::string owner = std::string("sub-area ") + a.Digit;
        out.push_back({a.Column - 2, a.Row, ']', owner});
        out.push_back({a.Column - 1, a.Row, 'S', owner});
        out.push_back({a.Column, a.Row, 'q', owner});
        out.push_back({a.Column + 1, a.Row, '[', owner});
        const int len = static_cast<int>(a.Label.size());
        int lx = 0, ly = a.Row;
        switch (a.LabelPlacement) {
            case 0: lx = a.Column - len / 2; ly = a.Row - 1; break;
            case 1: lx = a.Column + 3; break;
            case 2: lx = a.Column - len / 2; ly = a.Row + 1; break;
            default: lx = a.Column - 2 - len; break;
        }
        for (int i = 0; i < len; ++i) out.push_back({lx + i, ly, static_cast<std::uint8_t>(a.Label[i]), owner + " label"});
    }
    return out;
}

std::vector<std::string> AreaModel::DrawingErrors() const {
    std::vector<std::string> errors;
    std::map<std::pair<int, int>, std::string> taken;
    for (const DrawnCell& d : DrawnCells()) {
        if (d.X < 0 || d.X >= kColumns || d.Y < kFirstRailwayRow || d.Y > kLastRailwayRow) {
            errors.push_back(d.Owner + " draws outside the panel at " + std::to_string(d.X) + "," + std::to_string(d.Y));
            continue;
        }
        auto [it, fresh] = taken.insert({{d.X, d.Y}, d.Owner});
        if (!fresh && it->second != d.Owner) {
            errors.push_back(d.Owner + " draws over " + it->second + " at " + std::to_string(d.X) + "," + std::to_string(d.Y));
        }
    }
    // Nothing drawn in one piece may run from one screen onto the next.
    auto sameScreen = [](int x0, int x1) { return x0 / kScreenColumns == x1 / kScreenColumns; };
    for (const LabelInfo& l : Labels)
        if (!sameScreen(l.X, l.X + l.Cells - 1)) errors.push_back("label \"" + l.Text + "\" runs over the screen edge");
    for (const SignalInfo& s : Signals) {
        const int a = std::min({s.HeadX, s.PostX - 1, s.AutoX ? s.AutoX : s.PostX, s.WarnerX ? s.WarnerX : s.PostX, s.TRTSX ? s.TRTSX : s.PostX});
        const int b = std::max({s.HeadX + s.HeadWidth, s.PostX + 1, s.AutoX ? s.AutoX + 1 : s.PostX, s.WarnerX ? s.WarnerX : s.PostX});
        if (!sameScreen(a, b)) errors.push_back("signal " + s.Plate + " runs over the screen edge");
    }
    for (const BerthInfo& b : Berths)
        if (!sameScreen(b.X, b.X + 3)) errors.push_back("berth " + b.ID + " runs over the screen edge");
    return errors;
}

std::string AreaModel::Render() const {
    std::vector<std::string> rows(kRows, std::string(kColumns, ' '));
    for (const DrawnCell& d : DrawnCells()) {
        if (d.Y < 0 || d.Y >= kRows || d.X < 0 || d.X >= kColumns) continue;
        char ch = '?';
        switch (d.Glyph) {
            case 'a': ch = '-'; break;
            case 91: ch = '|'; break;
            case 0x90: ch = '/'; break;
            case 0x91: ch = '\\'; break;
            case 0x92: case 0x93: ch = '+'; break;
            case 0x96: ch = ']'; break;
            case 0x97: ch = '['; break;
            case 0x98: case 0x99: ch = '.'; break;
            case 0x9A: ch = '='; break;
            case 'd': case 'e': case 'f': case 'g': ch = 'Y'; break;
            case 'h': case 'i': case 'j': case 'k': ch = '~'; break;
            case 128: case 130: ch = 'F'; break;
            case 129: case 131: ch = 'T'; break;
            case 140: ch = '<'; break;
            case 141: ch = '>'; break;
            case 'p': case 'q': ch = 'o'; break;
            default: ch = d.Glyph >= 32 && d.Glyph < 127 ? static_cast<char>(d.Glyph) : '#';
        }
        rows[d.Y][d.X] = ch;
    }
    for (const BerthInfo& b : Berths)
        for (int i = 0; i < 4; ++i) rows[b.Y][b.X + i] = '_';
    std::string out;
    for (const std::string& r : rows) {
        std::string t = r;
        while (!t.empty() && t.back() == ' ') t.pop_back();
        out += t + "\n";
    }
    return out;
}

}  // namespace kestra::area
