// Subroutes: the passages through each circuit from end to end, their links to the
// subroutes beyond, the conflicts of diamond crossings and flank protection.

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>

#include "area/area_model.h"
#include "area/area_model_internal.h"

namespace kestra::area {

using namespace model;

// Every passage through every circuit, from each of its ends to another, is a
// subroute; then each gets its opposite, its track data and its end signal.
void AreaModel::FindSubroutes() {
    for (std::size_t ci = 0; ci < Circuits.size(); ++ci) {
        Circuit& circuit = Circuits[ci];
        std::map<std::pair<int, int>, int> made;
        for (std::size_t ei = 0; ei < circuit.Ends.size(); ++ei)
            FindSubroutesFromEnd(static_cast<int>(ci), static_cast<int>(ei), made);
        PairOppositeSubroutes(circuit);
    }
    for (SubrouteInfo& s : Subroutes) SetSubrouteTrackData(s);
}

// Passages through a segment from an entry port: the port left by, and the position of
// the points used (0 normal, 1 reverse, -1 no points).
void AreaModel::Passages(int seg, int in, std::vector<std::pair<int, int>>& out) const {
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
        if (q != in && (ports & (1 << q)) && IsRightPort(q) != IsRightPort(in))
            out.push_back({q, -1});
    }
}

// Walks every way through a circuit from one of its ends; each way that reaches another
// end is a subroute. made holds the pairs of ends already joined.
void AreaModel::FindSubroutesFromEnd(int ci, int ei, std::map<std::pair<int, int>, int>& made) {
    Circuit& circuit = Circuits[ci];
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
        if (l.Segment < 0 || Segments[l.Segment].Circuit != ci) return;
        stack.push_back({l.Segment, l.Port, {start.Segment, l.Segment}, {}});
    } else {
        direction =
            IsRightPort(start.Port) ? 2 : 1;  // entering through a left-hand port runs right
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
                    if (circuit.Ends[k].DeadEnd && circuit.Ends[k].Segment == f.Seg)
                        return static_cast<int>(k);
                return -1;
            }();
            ways.clear();
            ways.push_back({endIndex, -2});
        } else {
            Passages(f.Seg, f.In, ways);
        }
        for (auto [out, pos] : ways) {
            Frame g = f;
            if (pos >= 0) g.Needs.push_back({cell.Points, pos == 1});
            const int exitEnd = pos == -2 ? out : EndIndexAt(ci, f.Seg, out);
            if (exitEnd >= 0) {
                if (exitEnd == ei) continue;
                if (made.count({ei, exitEnd})) {
                    Error("circuit " + circuit.ID + " has two ways from " +
                          circuit.Ends[ei].Letter + " to " + circuit.Ends[exitEnd].Letter);
                    continue;
                }
                made[{ei, exitEnd}] = static_cast<int>(Subroutes.size());
                AddSubroute(ci, ei, exitEnd, direction, g.Segs, g.Needs);
                continue;
            }
            const Link& l = LinkOf(f.Seg, out);
            if (l.Segment < 0 || Segments[l.Segment].Circuit != ci) continue;
            g.Seg = l.Segment;
            g.In = l.Port;
            g.Segs.push_back(l.Segment);
            stack.push_back(std::move(g));
        }
    }
}

void AreaModel::AddSubroute(int ci, int from, int to, std::uint8_t direction,
                            const std::vector<int>& segments,
                            const std::vector<PointsNeed>& needs) {
    Circuit& circuit = Circuits[ci];
    SubrouteInfo s;
    s.Circuit = ci;
    s.From = from;
    s.To = to;
    s.ID = std::string(1, circuit.Ends[from].Letter) + circuit.Ends[to].Letter;
    s.Direction = direction;
    for (int sg : segments) {
        s.Cells.push_back(Segments[sg].Cell);
        const TrackCell& tc = Cells[Segments[sg].Cell];
        if (tc.Kind == CellKind::Crossing && sg == tc.DiagonalSegment)
            s.CrossingCells.push_back(Segments[sg].Cell);
    }
    s.Points = needs;
    s.LeavesArea = circuit.Ends[to].Boundary;
    circuit.Subroutes.push_back(static_cast<int>(Subroutes.size()));
    Subroutes.push_back(std::move(s));
}

void AreaModel::PairOppositeSubroutes(const Circuit& circuit) {
    for (int a : circuit.Subroutes) {
        for (int b : circuit.Subroutes) {
            if (Subroutes[a].From == Subroutes[b].To && Subroutes[a].To == Subroutes[b].From)
                Subroutes[a].Opposite = b;
        }
    }
}

// Length, speeds, goods line, gradient, timings and the signal at its end.
void AreaModel::SetSubrouteTrackData(SubrouteInfo& s) const {
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
    const double g =
        s.Cells.empty() ? 0.0 : static_cast<double>(gradient) / static_cast<double>(s.Cells.size());
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
    if (s.EndSignal >= 0)
        s.SignalOffset = 10;
    else if (to.DeadEnd)
        s.SignalOffset = 10;
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
            if (std::find(s.Cells.begin(), s.Cells.end(), static_cast<int>(ci)) == s.Cells.end())
                continue;
            const bool diag = std::find(s.CrossingCells.begin(), s.CrossingCells.end(),
                                        static_cast<int>(ci)) != s.CrossingCells.end();
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
                    if (std::find(list.begin(), list.end(), nc.Points) == list.end())
                        list.push_back(nc.Points);
                }
                break;
            }
        }
    }
    for (std::size_t i = 0; i < Subroutes.size(); ++i) {
        const SubrouteInfo& s = Subroutes[i];
        for (const PointsNeed& n : s.Points) {
            (n.Reverse ? Points[n.Points].ReverseSubroutes : Points[n.Points].NormalSubroutes)
                .push_back(static_cast<int>(i));
        }
        for (int p : s.FlankNormal) Points[p].FlankNormalSubroutes.push_back(static_cast<int>(i));
        for (int p : s.FlankReverse) Points[p].FlankReverseSubroutes.push_back(static_cast<int>(i));
    }
    for (PointsInfo& p : Points) p.Circuit = Segments[Cells[p.Cell].Segments[0]].Circuit;
}

}  // namespace kestra::area
