// Overlaps beyond the signals, routes between consecutive signals with their
// alternatives and variants, and the permanent routes of automatic signals.

#include <algorithm>
#include <functional>
#include <map>
#include <tuple>

#include "area/area_model.h"
#include "area/area_model_internal.h"

namespace kestra::area {

using namespace model;

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
            [&](int fromSeg, int fromPort, std::vector<int>& path, std::vector<PointsNeed>& needs,
                int length) {
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
                                      sub.EndSignal >= 0 ||
                                      static_cast<int>(path.size()) >= kMaxOverlapCircuits;
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
        std::stable_sort(found.begin(), found.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
        if (found.size() > kMaxOverlapsPerSignal) found.resize(kMaxOverlapsPerSignal);
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
                           std::vector<PointsNeed>& needs, int depth, bool mainRoutes,
                           bool wrongRoad) {
    if (depth >= kMaxRouteCircuits) return;
    int circuit = -1;
    const int end = EnteredEnd(fromSeg, fromPort, circuit);
    if (end < 0) return;
    // A route runs past the back of a signal only into a platform or along a goods
    // line, which are worked both ways; anywhere else it would be wrong-road running
    // on a line signalled one way only.
    const Link& into = LinkOf(fromSeg, fromPort);
    const int back = signalAtEnd_[into.Segment * PtCount + into.Port];
    if (back >= 0 &&
        (Signals[back].Type == SignalType::Main || Signals[back].Type == SignalType::Automatic)) {
        const TrackCell& c = Cells[Segments[into.Segment].Cell];
        const ZoneSpec* z = ZoneAt(c.X, c.Y);
        if (!Circuits[circuit].Platform && (!z || !(z->GoodsLine || z->BothWays))) return;
        // Past the back of an automatic signal on a line worked both ways only for
        // single-line working, the route runs wrong road (the signals of that working
        // itself stand back to back with the line's own and do not count).
        if (!Circuits[circuit].Platform && !z->GoodsLine && z->SingleLineWorking &&
            Signals[back].Type == SignalType::Automatic)
            wrongRoad = true;
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
                if (!passThrough && !exit.ShuntOnly)
                    AddRoute(signal, x, ClassMain, path, wrongRoad);
                else if (passThrough)
                    WalkRoutes(signal, to.Segment, to.Port, path, needs, depth + 1, true,
                               wrongRoad);
            } else {
                const bool mainExit = exit.Type == SignalType::Main ||
                                      exit.Type == SignalType::Automatic ||
                                      (exit.Type == SignalType::Marker && !exit.ShuntOnly);
                // A main signal's shunt routes lead only where no main route goes.
                if (Signals[signal].Type == SignalType::Shunt || !mainExit)
                    AddRoute(signal, x, ClassShunt, path, wrongRoad);
            }
        } else if (!to.Boundary && !to.DeadEnd) {
            WalkRoutes(signal, to.Segment, to.Port, path, needs, depth + 1, mainRoutes, wrongRoad);
        }
        needs.resize(mark);
        path.pop_back();
    }
}

void AreaModel::AddRoute(int entrance, int exit, std::uint8_t cls,
                         const std::vector<int>& subroutes, bool wrongRoad) {
    RouteInfo r;
    r.Class = cls;
    r.WrongRoad = wrongRoad;
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
        for (int sub : Circuits[s.BerthCircuit].Subroutes)
            mph = std::max(mph, Subroutes[sub].PassengerMph);
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
        if (sig.Type == SignalType::Main)
            WalkRoutes(static_cast<int>(si), seg, port, path, needs, 0, true, false);
        if (sig.Type == SignalType::Shunt || (sig.AspectFlags & AfPositionLight))
            WalkRoutes(static_cast<int>(si), seg, port, path, needs, 0, false, false);
        // Order: main routes by the points they turn, then by length; shunt routes after.
        std::stable_sort(Routes.begin() + static_cast<long>(first), Routes.end(),
                         [](const RouteInfo& a, const RouteInfo& b) {
                             return std::make_tuple(a.Class, a.ReversePoints, a.Length) <
                                    std::make_tuple(b.Class, b.ReversePoints, b.Length);
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
                if (it == firstTo.end())
                    firstTo[r.Exit] = static_cast<int>(i);
                else if (Routes[it->second].Alternative < 0)
                    Routes[it->second].Alternative = static_cast<int>(i);
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
            if (sig.AspectFlags & AfPositionLight) {
                // Into an occupied platform: a call-on over the platform circuits at the end.
                std::size_t k = main.Subroutes.size();
                while (k > 0 && Circuits[Subroutes[main.Subroutes[k - 1]].Circuit].Platform) --k;
                if (k > 0 && k < main.Subroutes.size()) {
                    RouteInfo c = main;
                    c.Class = ClassCallOn;
                    c.ID = main.ID + "C";
                    c.Subroutes.assign(main.Subroutes.begin(),
                                       main.Subroutes.begin() + static_cast<long>(k));
                    c.Permissive.assign(main.Subroutes.begin() + static_cast<long>(k),
                                        main.Subroutes.end());
                    c.MainRoute = static_cast<int>(i);
                    c.Alternative = -1;
                    c.AutoAllowed = false;
                    c.ApproachTime = 30;
                    Routes[i].CallOnVariant = static_cast<int>(Routes.size());
                    Routes.push_back(c);
                }
            }
        }
        for (std::size_t i = first; i < Routes.size(); ++i)
            Signals[si].Routes.push_back(static_cast<int>(i));
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
            if (std::find(sig.ControlCircuits.begin(), sig.ControlCircuits.end(), c) ==
                sig.ControlCircuits.end())
                sig.ControlCircuits.push_back(c);
            if (Subroutes[s].Opposite >= 0) sig.MustBeFree.push_back(Subroutes[s].Opposite);
        }
        if (exit < 0) {
            if (!sig.Fringe)
                Error("automatic signal " + sig.Plate +
                      " has no signal ahead and is not a fringe signal");
            continue;
        }
        sig.NextSignal = exit;
        for (int s : path) Subroutes[s].AlwaysPassable = true;
        // The circuits of the next signal's first overlap must be clear as well.
        const SignalInfo& next = Signals[exit];
        if (!next.Overlaps.empty()) {
            for (int s : Overlaps[next.Overlaps.front()].Subroutes) {
                const int c = Subroutes[s].Circuit;
                if (std::find(sig.ControlCircuits.begin(), sig.ControlCircuits.end(), c) ==
                    sig.ControlCircuits.end())
                    sig.ControlCircuits.push_back(c);
            }
            // An automatic signal's route locks nothing, so no other route may run across
            // or against that overlap while the automatic clears towards it: the
            // subroutes on its circuits that a train from the next signal would not use
            // (entered from another end), and the roads crossing it at a diamond, must be
            // free. Otherwise a route set across the overlap (a move out of Central's bay
            // over the Up main) would drop the automatic to danger in front of a train
            // once its own train moved, too late for the driver to stop.
            auto mustBeFree = [&](int u) {
                if (std::find(sig.MustBeFree.begin(), sig.MustBeFree.end(), u) ==
                    sig.MustBeFree.end())
                    sig.MustBeFree.push_back(u);
                if (std::find(sig.OverlapGuard.begin(), sig.OverlapGuard.end(), u) ==
                    sig.OverlapGuard.end())
                    sig.OverlapGuard.push_back(u);
            };
            for (int s : Overlaps[next.Overlaps.front()].Subroutes) {
                const SubrouteInfo& own = Subroutes[s];
                for (int other : Circuits[own.Circuit].Subroutes)
                    if (Subroutes[other].From != own.From) mustBeFree(other);
                for (int x : own.Conflicts) mustBeFree(x);
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

}  // namespace kestra::area

namespace kestra::area {

void AreaModel::FindLevelCrossings() {
    for (const LevelCrossingSpec& crossingDesc : d_.LevelCrossings) {
        LevelCrossingInfo lx;
        lx.ID = crossingDesc.ID;
        lx.Name = crossingDesc.Name;
        lx.X = crossingDesc.X;
        lx.LabelX = crossingDesc.LabelX;
        lx.LabelY = crossingDesc.LabelY;
        lx.Location = crossingDesc.Location ? LocationByCode(crossingDesc.Location) : -1;
        for (int y = crossingDesc.Y0; y <= crossingDesc.Y1; ++y) {
            const int cell = CellAt(crossingDesc.X, y);
            if (cell < 0) {
                lx.RoadRows.push_back(y);
                continue;
            }
            if (Cells[cell].Kind != CellKind::Plain) {
                Error("level crossing " + lx.ID + " stands on track that is not plain line");
                continue;
            }
            lx.TrackCells.push_back(cell);
            for (int seg : Cells[cell].Segments) {
                if (seg < 0) continue;
                const int circuit = Segments[seg].Circuit;
                if (circuit >= 0 &&
                    std::find(lx.Circuits.begin(), lx.Circuits.end(), circuit) == lx.Circuits.end())
                    lx.Circuits.push_back(circuit);
            }
        }
        if (lx.TrackCells.empty()) Error("level crossing " + lx.ID + " crosses no track");
        // Every route whose subroutes run over a crossed cell, with its subroutes up to
        // and including the first that does.
        for (std::size_t r = 0; r < Routes.size(); ++r) {
            std::vector<int> subs = Routes[r].Subroutes;
            subs.insert(subs.end(), Routes[r].Permissive.begin(), Routes[r].Permissive.end());
            for (std::size_t i = 0; i < subs.size(); ++i) {
                const std::vector<int>& cells = Subroutes[subs[i]].Cells;
                const bool over = std::any_of(cells.begin(), cells.end(), [&](int c) {
                    return std::find(lx.TrackCells.begin(), lx.TrackCells.end(), c) !=
                           lx.TrackCells.end();
                });
                if (over) {
                    lx.Routes.push_back({static_cast<int>(r), static_cast<int>(i) + 1});
                    break;
                }
            }
        }
        // Every overlap whose subroutes run over a crossed cell: a train overrunning its
        // signal would run onto the road.
        for (std::size_t o = 0; o < Overlaps.size(); ++o) {
            const bool over =
                std::any_of(Overlaps[o].Subroutes.begin(), Overlaps[o].Subroutes.end(), [&](int s) {
                    const std::vector<int>& cells = Subroutes[s].Cells;
                    return std::any_of(cells.begin(), cells.end(), [&](int c) {
                        return std::find(lx.TrackCells.begin(), lx.TrackCells.end(), c) !=
                               lx.TrackCells.end();
                    });
                });
            if (over) lx.Overlaps.push_back(static_cast<int>(o));
        }
        LevelCrossings.push_back(std::move(lx));
    }
}

}  // namespace kestra::area
