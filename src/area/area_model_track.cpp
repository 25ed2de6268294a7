// Track cells: every track character of the picture becomes a cell with its ports and
// glyph, joined to its neighbours by segments and links; then the points and signals of
// the tables are placed on them, the joints marked, and the track divided into circuits
// with their ends.

#include <algorithm>
#include <bit>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <tuple>

#include "area/area_model.h"
#include "area/area_model_internal.h"

namespace kestra::area {

using namespace model;

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

// Connections between the cells, in stages: the diagonal legs, the horizontal ports,
// each cell's kind and glyph from its ports, then the segments and their links.
void AreaModel::ConnectCells() {
    SetDiagonalPorts();
    SetHorizontalPorts();
    ClassifyCells();
    MakeSegments();
    LinkSegments();
}

// Diagonals and crossings first: they decide the legs of the cells they meet.
void AreaModel::SetDiagonalPorts() {
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
                Error("crossing at " + Where(c) + " needs one diagonal through it");
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
            const int n = CellAt(c.X + kDX[p], c.Y + kDY[p]);
            if (n >= 0 && IsHorizontalChar(Cells[n].Source)) Cells[n].Ports |= 1 << kOpposite[p];
        }
    }
}

void AreaModel::SetHorizontalPorts() {
    auto takesFromLeft = [](char c) {
        return IsHorizontalChar(c) || c == '+' || c == ']' || c == '.';
    };
    auto takesFromRight = [](char c) {
        return IsHorizontalChar(c) || c == '+' || c == '[' || c == '.';
    };
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
                Error("line end '.' at " + Where(c) + " needs track on exactly one side");
                continue;
            }
            c.Ports = (1 << PtL) | (1 << PtR);
            c.Kind = CellKind::Stub;
            c.Glyph = leftTrack ? GlEndLeft : GlEndRight;
        }
    }
}

// Each cell's kind and glyph from its ports.
void AreaModel::ClassifyCells() {
    for (TrackCell& c : Cells) {
        const bool l = c.Ports & (1 << PtL), r = c.Ports & (1 << PtR);
        const int legs = std::popcount(static_cast<unsigned>(c.Ports >> 2));
        switch (c.Source) {
            case '/':
                c.Glyph = GlDiagonalUp;
                break;
            case '\\':
                c.Glyph = GlDiagonalDown;
                break;
            case '+':
                c.Glyph = (c.Ports & (1 << PtUR)) ? GlCrossingUp : GlCrossingDown;
                if (!l || !r) Error("crossing at " + Where(c) + " needs track on both sides");
                break;
            case ']':
                c.Kind = CellKind::Buffer;
                c.Glyph = GlBufferRight;
                c.Ports = 1 << PtL;
                if (!l) Error("buffer stops at " + Where(c) + " have no track from the left");
                break;
            case '[':
                c.Kind = CellKind::Buffer;
                c.Glyph = GlBufferLeft;
                c.Ports = 1 << PtR;
                if (!r) Error("buffer stops at " + Where(c) + " have no track from the right");
                break;
            case '.':
                break;
            default:
                ClassifyHorizontalCell(c, l, r, legs);
        }
    }
}

// Plain track, points or a bend, by the ends and legs of a horizontal cell.
void AreaModel::ClassifyHorizontalCell(TrackCell& c, bool l, bool r, int legs) {
    if (l && r && legs == 0) {
        c.Kind = CellKind::Plain;
        c.Glyph = c.Joint ? GlBreakLeft : GlTrack;
        if (IsPointsLetter(c.Source))
            Error("points " + std::string(1, c.Source) + " at " + Where(c) +
                  " have no diverging leg");
    } else if (l && r && legs == 1) {
        c.Kind = CellKind::Points;
        if (!IsPointsLetter(c.Source)) Error("unnamed points at " + Where(c));
    } else if ((l != r) && legs == 1 && !IsPointsLetter(c.Source) && c.Source != '|') {
        c.Kind = CellKind::Bend;
        if (l && (c.Ports & (1 << PtUR)))
            c.Glyph = GlBendUpRight;
        else if (l && (c.Ports & (1 << PtDR)))
            c.Glyph = GlBendDownRight;
        else if (r && (c.Ports & (1 << PtUL)))
            c.Glyph = GlBendUpLeft;
        else if (r && (c.Ports & (1 << PtDL)))
            c.Glyph = GlBendDownLeft;
        else
            Error("track at " + Where(c) + " turns back on itself");
    } else {
        Error("track at " + Where(c) + " does not join up (" + std::to_string(l + r) + " ends, " +
              std::to_string(legs) + " legs)");
    }
}

// Segments: one per cell, two for a crossing.
void AreaModel::MakeSegments() {
    for (std::size_t i = 0; i < Cells.size(); ++i) {
        TrackCell& c = Cells[i];
        Segment s;
        s.Cell = static_cast<int>(i);
        s.Ports = c.Kind == CellKind::Crossing ? static_cast<std::uint8_t>((1 << PtL) | (1 << PtR))
                                               : c.Ports;
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
}

// Each port of a segment to the port of the segment it meets, or out of the area.
void AreaModel::LinkSegments() {
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
            Error("track at " + Where(c) + " leads nowhere");
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
        if (byKey.count({tableRow.Screen, tableRow.Key}))
            Error("points key " + std::string(1, tableRow.Key) + " used twice");
        byKey[{tableRow.Screen, tableRow.Key}] = static_cast<int>(Points.size());
        Points.push_back(p);
    }
    for (std::size_t i = 0; i < Cells.size(); ++i) {
        TrackCell& c = Cells[i];
        if (c.Kind != CellKind::Points) continue;
        const int screen = c.X / kScreenColumns + 1;
        auto it = byKey.find({screen, c.Source});
        if (it == byKey.end()) {
            Error("points " + std::string(1, c.Source) + " on screen " + std::to_string(screen) +
                  " are not in the points table");
            continue;
        }
        PointsInfo& p = Points[it->second];
        if (p.Cell >= 0) {
            Error("points " + p.ID + " drawn twice");
            continue;
        }
        p.Cell = static_cast<int>(i);
        c.Points = it->second;
        const int leg = (c.Ports & (1 << PtUR))   ? PtUR
                        : (c.Ports & (1 << PtDR)) ? PtDR
                        : (c.Ports & (1 << PtUL)) ? PtUL
                                                  : PtDL;
        p.DivergingPort = leg;
        p.ToePort = (leg == PtUR || leg == PtDR) ? PtL : PtR;
        p.StraightPort = p.ToePort == PtL ? PtR : PtL;
        switch (leg) {
            case PtDL:
                p.Orientation = 0;
                c.Glyph = GlPointsDownLeft;
                break;
            case PtUR:
                p.Orientation = 1;
                c.Glyph = GlPointsUpRight;
                break;
            case PtDR:
                p.Orientation = 2;
                c.Glyph = GlPointsDownRight;
                break;
            default:
                p.Orientation = 3;
                c.Glyph = GlPointsUpLeft;
                break;
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
        if (specs.count(tableRow.Plate))
            Error(std::string("signal ") + tableRow.Plate + " listed twice");
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
            s.Kind = SkRouteWorked;
            s.AspectFlags |= AfRed;
        } else if (k == 'A') {
            s.Type = SignalType::Automatic;
            s.Kind = SkAutomatic;
        } else if (k == 'S') {
            s.Type = SignalType::Shunt;
            s.Kind = SkRouteWorked;  // without a red lamp it works as a shunt signal
            s.AspectFlags = AfPositionLight;
        } else {
            s.Type = SignalType::Marker;
            s.Kind = SkDrawnOnly;
            s.AspectFlags = AfRed;
        }
        if (HasOption(tableRow.Options, "pl")) s.AspectFlags |= AfPositionLight;
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
            Error("signal " + s.Plate + " does not stand at a joint of its track (row " +
                  std::to_string(t) + ")");
            continue;
        }
        if (buffer && s.Type != SignalType::Marker)
            Error("signal " + s.Plate + " at buffer stops must be a marker");
        const bool aboveTrack = t > s.PostY;
        if (s.RightFacing)
            s.Orientation = aboveTrack ? 0 : 2;
        else
            s.Orientation = aboveTrack ? 1 : 3;
        // The head and the buttons beyond it.
        const bool pl = s.AspectFlags & AfPositionLight, yy = s.AspectFlags & AfDoubleYellow;
        switch (s.Type) {
            case SignalType::Main:
                s.HeadWidth = 2 + (pl ? 1 : 0) + (yy ? 1 : 0);
                break;
            case SignalType::Automatic:
                s.HeadWidth = 2 + (yy ? 1 : 0);
                break;
            case SignalType::Shunt:
                s.HeadWidth = 2;
                break;
            case SignalType::Marker:
                s.HeadWidth = 2;
                break;
        }
        const int dir = s.RightFacing ? 1 : -1;
        if (s.Type == SignalType::Marker)
            s.HeadX = s.PostX;
        else
            s.HeadX = s.RightFacing ? s.PostX : s.PostX - (s.HeadWidth - 1);
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
        if (!seen.count(tableRow.Plate))
            Error(std::string("signal ") + tableRow.Plate + " is in the table but not drawn");
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
        if (!addJoint(static_cast<int>(i), PtL))
            Error("joint at " + std::to_string(c.X) + "," + std::to_string(c.Y) +
                  " has no track to its left");
    }
    for (const SignalInfo& s : Signals) {
        const int c = CellAt(s.PostX, s.TrackY);
        if (c < 0 || Cells[c].Kind == CellKind::Buffer) continue;
        if (!addJoint(c, s.RightFacing ? PtR : PtL))
            Error("signal " + s.Plate + " has no track beyond it");
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
    std::function<int(int)> find = [&](int a) {
        return parent[a] == a ? a : parent[a] = find(parent[a]);
    };
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
    for (std::size_t s = 0; s < Segments.size(); ++s)
        groups[find(static_cast<int>(s))].push_back(static_cast<int>(s));
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
    std::sort(list.begin(), list.end(),
              [&](const auto& a, const auto& b) { return key(a) < key(b); });
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
                    if (!l.Boundary &&
                        (l.Segment < 0 || Segments[l.Segment].Circuit == static_cast<int>(ci)))
                        continue;
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
        if (s.BerthCircuit == s.AheadCircuit)
            Error("signal " + s.Plate + " has the same circuit on both sides");
    }
}

}  // namespace kestra::area
