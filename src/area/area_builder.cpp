#include "area/area_builder.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "core/sim.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "panel/label.h"

namespace kestra::area {

namespace {

// Labels the area makes, before they are created in one batch.
struct LabelPlan {
    int X = 0, Y = 0;
    std::string Text;
    bool Visible = true;
    // Owner: 0 none, 1 circuit, 2 subroute; Index in the model.
    int OwnerKind = 0;
    int Owner = -1;
};

constexpr std::uint8_t kMoveDown = 202;
constexpr std::uint8_t kMoveUp = 208;

// Track glyphs of a set of cells, grouped into one label per horizontal run (on one
// screen) and per diagonal run.
void PlanTrackLabels(const AreaModel& m, std::vector<int> cells, int ownerKind, int owner,
                     std::vector<LabelPlan>& out) {
    std::sort(cells.begin(), cells.end(), [&](int a, int b) {
        return std::make_pair(m.Cells[a].Y, m.Cells[a].X) < std::make_pair(m.Cells[b].Y, m.Cells[b].X);
    });
    std::set<int> used;
    auto in = [&](int x, int y) {
        const int c = m.CellAt(x, y);
        return c >= 0 && std::find(cells.begin(), cells.end(), c) != cells.end() && !used.count(c);
    };
    for (int c : cells) {
        if (used.count(c)) continue;
        const TrackCell& start = m.Cells[c];
        LabelPlan l;
        l.X = start.X;
        l.Y = start.Y;
        l.Visible = false;
        l.OwnerKind = ownerKind;
        l.Owner = owner;
        if (start.Kind == CellKind::Diagonal) {
            // A falling diagonal is one label: after each glyph the cursor stands one cell
            // right, so a move down reaches the next cell. Rising ones start at their
            // lowest cell and climb with a move up.
            const bool rising = start.Source == '/';
            int x = start.X, y = start.Y;
            if (rising) {
                while (in(x - 1, y + 1) && m.Cells[m.CellAt(x - 1, y + 1)].Kind == CellKind::Diagonal &&
                       (x - 1) / kScreenColumns == start.X / kScreenColumns) {
                    --x;
                    ++y;
                }
                l.X = x;
                l.Y = y;
            }
            const int screen = x / kScreenColumns;
            while (in(x, y) && m.Cells[m.CellAt(x, y)].Kind == CellKind::Diagonal && x / kScreenColumns == screen) {
                if (!l.Text.empty()) l.Text.push_back(static_cast<char>(rising ? kMoveUp : kMoveDown));
                l.Text.push_back(static_cast<char>(m.Cells[m.CellAt(x, y)].Glyph));
                used.insert(m.CellAt(x, y));
                ++x;
                y += rising ? -1 : 1;
            }
        } else {
            int x = start.X;
            while (in(x, start.Y) && m.Cells[m.CellAt(x, start.Y)].Kind != CellKind::Diagonal &&
                   x / kScreenColumns == start.X / kScreenColumns) {
                l.Text.push_back(static_cast<char>(m.Cells[m.CellAt(x, start.Y)].Glyph));
                used.insert(m.CellAt(x, start.Y));
                ++x;
            }
        }
        if (!l.Text.empty()) out.push_back(l);
    }
}

// Cells a circuit draws as its track: not points (they draw themselves), and a
// crossing only in the circuit of its straight road.
std::vector<int> TrackCellsOf(const AreaModel& m, int circuit, bool berthsDrawn) {
    std::vector<int> out;
    for (int c : m.Circuits[circuit].Cells) {
        const TrackCell& cell = m.Cells[c];
        if (cell.Kind == CellKind::Points) continue;
        if (berthsDrawn && cell.BerthCell) continue;
        if (m.Segments[cell.Segments[0]].Circuit != circuit) continue;
        out.push_back(c);
    }
    return out;
}

std::vector<int> LitCellsOf(const AreaModel& m, const SubrouteInfo& s, bool berthsDrawn) {
    std::vector<int> out;
    for (int c : s.Cells) {
        const TrackCell& cell = m.Cells[c];
        if (cell.Kind == CellKind::Points) continue;
        if (berthsDrawn && cell.BerthCell) continue;
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

float MphToMs(int mph) { return static_cast<float>(mph) / 2.25f; }

}  // namespace

std::shared_ptr<BuiltArea> BuildArea(Sim& sim, std::function<void(int)> progress) {
    return BuildArea(sim, BuiltInDescription(), std::move(progress));
}

std::shared_ptr<BuiltArea> BuildArea(Sim& sim, const AreaDescription& description,
                                     std::function<void(int)> progress) {
    auto report = [&](int percent) {
        if (progress) progress(percent);
    };
    auto area = std::make_shared<BuiltArea>();
    // Hooks first: they are in place before any object exists.
    InstallAreaHooks(sim, area);
    report(0);
    auto model = std::make_shared<AreaModel>(description);
    area->Model = model;
    const AreaModel& m = *model;
    if (!m.Valid()) {
        for (const std::string& e : m.Errors) sim.Trace("area: " + e);
        return area;
    }
    // Berths draw their own cells once the describer exists; until then the track
    // elements cover them.
    constexpr bool berthsDrawn = false;

    // --- creation, class by class, every object with an empty identifier
    std::vector<LabelPlan> labels;
    for (const LabelInfo& l : m.Labels) {
        LabelPlan p;
        p.X = l.X;
        p.Y = l.Y;
        p.Text = l.Text;
        p.Visible = true;
        labels.push_back(p);
    }
    for (const SignalInfo& s : m.Signals) {
        if (s.HidePlate || s.Plate.empty()) continue;
        LabelPlan p;
        p.X = s.PlateX;
        p.Y = s.PostY;
        p.Text = s.Plate;
        labels.push_back(p);
    }
    for (std::size_t c = 0; c < m.Circuits.size(); ++c)
        PlanTrackLabels(m, TrackCellsOf(m, static_cast<int>(c), berthsDrawn), 1, static_cast<int>(c), labels);
    for (std::size_t s = 0; s < m.Subroutes.size(); ++s)
        PlanTrackLabels(m, LitCellsOf(m, m.Subroutes[s], berthsDrawn), 2, static_cast<int>(s), labels);
    for (std::size_t i = 0; i < labels.size(); ++i) area->Labels.push_back(&sim.Labels.Create(sim));
    for (std::size_t i = 0; i < m.Points.size(); ++i) area->Points.push_back(&sim.Points.Create(sim));
    std::vector<int> ordinaryRoutes;
    for (std::size_t i = 0; i < m.Routes.size(); ++i)
        if (m.Routes[i].Class != ClassAuto) ordinaryRoutes.push_back(static_cast<int>(i));
    area->Routes.assign(m.Routes.size(), nullptr);
    for (int r : ordinaryRoutes) area->Routes[r] = &sim.Routes.Create(sim);
    for (std::size_t i = 0; i < m.Signals.size(); ++i) area->Signals.push_back(&sim.Signals.Create(sim));
    for (std::size_t i = 0; i < m.Circuits.size(); ++i) area->Circuits.push_back(&sim.TrackCircuits.Create(sim));
    for (std::size_t i = 0; i < m.Subroutes.size(); ++i) area->Subroutes.push_back(&sim.Subroutes.Create(sim));

    // --- identifiers, parameters and wiring
    // Panel labels, each entered in its owner's list.
    for (std::size_t i = 0; i < labels.size(); ++i) {
        TPEL& l = *area->Labels[i];
        const LabelPlan& p = labels[i];
        l.X = p.X;
        l.Y = p.Y;
        l.Text = p.Text;
        l.Visible = p.Visible;
        l.Role = 0;
        if (p.OwnerKind == 1) {
            TTCS& c = *area->Circuits[p.Owner];
            l.Owner = &c;
            c.TrackElements.Add({}, &l);
        } else if (p.OwnerKind == 2) {
            TULC& s = *area->Subroutes[p.Owner];
            l.Owner = &s;
            s.Elements.Add({}, &l);
        }
    }
    // Track circuits.
    for (std::size_t i = 0; i < m.Circuits.size(); ++i) {
        TTCS& c = *area->Circuits[i];
        c.ID = m.Circuits[i].ID;
        c.Electrification = m.Circuits[i].Electrification;
    }
    // Subroutes.
    for (std::size_t i = 0; i < m.Subroutes.size(); ++i) {
        const SubrouteInfo& info = m.Subroutes[i];
        TULC& s = *area->Subroutes[i];
        s.ID = info.ID;
        SubrouteSetup setup;
        setup.Direction = info.Direction;
        setup.Length = info.Length;
        setup.FreightSpeed = MphToMs(info.FreightMph);
        setup.PassengerSpeed = MphToMs(info.PassengerMph);
        setup.LeavesArea = info.LeavesArea ? 1 : 0;
        setup.SignalOffset = info.SignalOffset;
        setup.TrackCircuit = area->Circuits[info.Circuit];
        setup.PassageTime = info.PassageTime;
        setup.ClearTime = info.ClearTime;
        s.Configure(setup);
        s.Scale = info.Scale;
        s.GoodsLine = info.GoodsLine;
        s.AlwaysPassable = info.AlwaysPassable;
        for (const PointsNeed& n : info.Points) {
            if (n.Reverse) s.AddReversePoints(*area->Points[n.Points]);
            else s.AddNormalPoints(*area->Points[n.Points]);
        }
        if (info.EndSignal >= 0) SetEndSignal(s, *area->Signals[info.EndSignal]);
    }
    for (std::size_t i = 0; i < m.Subroutes.size(); ++i) {
        const SubrouteInfo& info = m.Subroutes[i];
        if (info.Opposite > static_cast<int>(i)) SetOpposites(*area->Subroutes[i], *area->Subroutes[info.Opposite]);
        for (int c : info.Conflicts) {
            if (c > static_cast<int>(i)) SetConflicting(*area->Subroutes[i], *area->Subroutes[c]);
        }
    }
    // Points.
    for (std::size_t i = 0; i < m.Points.size(); ++i) {
        const PointsInfo& info = m.Points[i];
        TPTS& p = *area->Points[i];
        p.ID = info.ID;
        PointsSetup setup;
        setup.X = m.Cells[info.Cell].X;
        setup.Y = m.Cells[info.Cell].Y;
        setup.SwapGlyphs = info.Swap;
        setup.AutoNormalise = info.AutoNormalise;
        setup.Orientation = info.Orientation;
        if (info.Partner >= 0) setup.Paired.push_back(area->Points[info.Partner]);
        for (int s : info.FlankNormalSubroutes) setup.FlankNormalSubroutes.push_back(area->Subroutes[s]);
        for (int s : info.FlankReverseSubroutes) setup.FlankReverseSubroutes.push_back(area->Subroutes[s]);
        p.Configure(setup);
        p.SetTrackCircuit(*area->Circuits[info.Circuit]);
    }
    // Signals.
    for (std::size_t i = 0; i < m.Signals.size(); ++i) {
        const SignalInfo& info = m.Signals[i];
        TSIG& s = *area->Signals[i];
        s.ID = info.ID;
        s.SignalKind = info.Kind;
        s.AspectFlags = info.AspectFlags;
        s.SetBaseAspectFromFlags();
        s.Aspect = s.BaseAspect;
        s.HeadOrientation = info.Orientation;
        s.X = info.HeadX;
        s.Y = info.PostY;
        if (info.AutoButton) {
            s.AutoButtonX = info.AutoX;
            s.AutoButtonY = info.PostY;
        }
        if (info.ER) {
            s.ERButtonX = info.ERX;
            s.ERButtonY = info.PostY;
        }
        if (info.Warner) {
            s.WarnerButtonX = info.WarnerX;
            s.WarnerButtonY = info.PostY;
        }
        if (info.TRTS) {
            s.TRTSX = info.TRTSX;
            s.TRTSY = info.PostY;
        }
        if (info.EntranceX || info.EntranceY) {
            s.EntranceX = info.EntranceX;
            s.EntranceY = info.EntranceY;
        }
        s.ApproachLit = info.ApproachLit;
        if (info.BerthCircuit >= 0) s.BerthCircuit = area->Circuits[info.BerthCircuit];
        if (info.TRTS && s.BerthCircuit) s.TRTSCircuits.Add({}, s.BerthCircuit);
        for (int c : info.ControlCircuits) s.ControlCircuits.Add({}, area->Circuits[c]);
        for (int u : info.MustBeFree) s.MustBeFree.Add({}, area->Subroutes[u]);
        if (info.NextSignal >= 0) s.NextSignal = area->Signals[info.NextSignal];
    }
    // Overlaps, created here, in each signal's order of preference.
    for (const OverlapInfo& info : m.Overlaps) {
        TOVL& o = sim.Overlaps.Create(sim);
        o.Configure(*area->Signals[info.Signal], {}, info.Restricted);
        for (int s : info.Subroutes) o.Subroutes.Add({}, area->Subroutes[s]);
        area->Overlaps.push_back(&o);
    }
    // Routes with their subroutes, in each entrance signal's order.
    for (int r : ordinaryRoutes) {
        const RouteInfo& info = m.Routes[r];
        TROU& route = *area->Routes[r];
        route.ID = info.ID;
        route.Configure(info.Class, *area->Signals[info.Entrance], *area->Signals[info.Exit], {}, {});
        for (int s : info.Subroutes) route.Subroutes.Add({}, area->Subroutes[s]);
        for (int s : info.Permissive) route.PermissiveSubroutes.Add({}, area->Subroutes[s]);
        route.BuildDerived();
        route.ApproachTime = info.ApproachTime;
        route.AutoAllowed = info.AutoAllowed;
        route.ARSAllowed = true;
    }
    for (int r : ordinaryRoutes) {
        const RouteInfo& info = m.Routes[r];
        TROU& route = *area->Routes[r];
        if (info.CallOnVariant >= 0) route.CallOnVariant = area->Routes[info.CallOnVariant];
        if (info.MainRoute >= 0) route.MainRoute = area->Routes[info.MainRoute];
        if (info.Alternative >= 0) route.Alternative = area->Routes[info.Alternative];
    }
    // Pairwise subroute links.
    for (std::size_t i = 0; i < m.Subroutes.size(); ++i) {
        for (int n : m.Subroutes[i].Next) LinkSubroutes(*area->Subroutes[i], *area->Subroutes[n]);
    }
    report(10);

    // --- second stage: the permanent routes of automatic signals
    report(20);
    for (std::size_t r = 0; r < m.Routes.size(); ++r) {
        const RouteInfo& info = m.Routes[r];
        if (info.Class != ClassAuto) continue;
        TROU& route = sim.Routes.Create(sim);
        route.ID = info.ID;
        route.Configure(RcAutomatic, *area->Signals[info.Entrance], *area->Signals[info.Exit], {}, {});
        route.ApproachTime = 0;
        area->Routes[r] = &route;
    }
    report(30);
    sim.Routes.DetermineAutoULCs();
    for (std::size_t r = 0; r < m.Routes.size(); ++r) {
        if (m.Routes[r].Class != ClassAuto) continue;
        TROU& route = *area->Routes[r];
        TSIG& entrance = *area->Signals[m.Routes[r].Entrance];
        entrance.CurrentRoute = &route;
        entrance.NextSignal = route.Exit;
    }
    report(40);
    // The line-closure scenario's lists: the closed location's signals and circuits,
    // and the signals whose routes lead into it.
    const int closed = m.LocationByCode(description.ClosedLocation ? description.ClosedLocation : "");
    if (closed >= 0) {
        const LocationInfo& loc = m.Locations[closed];
        auto inside = [&](int x, int y) { return x >= loc.X0 && x <= loc.X1 && y >= loc.Y0 && y <= loc.Y1; };
        std::set<int> circuits;
        for (std::size_t c = 0; c < m.Circuits.size(); ++c) {
            const Circuit& ci = m.Circuits[c];
            if (std::all_of(ci.Cells.begin(), ci.Cells.end(), [&](int cell) { return inside(m.Cells[cell].X, m.Cells[cell].Y); }))
                circuits.insert(static_cast<int>(c));
        }
        for (std::size_t s = 0; s < m.Signals.size(); ++s) {
            const SignalInfo& si = m.Signals[s];
            bool into = inside(si.PostX, si.TrackY);
            for (int r : si.Routes) {
                for (int u : m.Routes[r].Subroutes)
                    if (circuits.count(m.Subroutes[u].Circuit)) into = true;
            }
            if (into) area->ClosureSignals.push_back(area->Signals[s]);
        }
        for (int c : circuits) area->ClosureCircuits.push_back(area->Circuits[c]);
    }
    report(70);

    // --- the area's constants
    sim.SimData.ScreenCount = kScreenCount;
    sim.SimData.AreaName = description.AreaName;
    sim.SimData.NonDescribed = "****";
    sim.SimData.AreaID = description.AreaID;
    sim.SimData.AreaTitle = description.AreaTitle;
    sim.SimData.ARSLabelLetter = true;
    report(100);
    return area;
}

void SetAreaTitle(Sim& sim) {
    sim.SimData.AreaTitle = std::string(BuiltInDescription().AreaTitle) + " " + kAreaVersion;
}

std::vector<std::string> ScenarioNames() {
    std::vector<std::string> out;
    for (const ScenarioSpec& s : BuiltInDescription().Scenarios) out.push_back(s.Name);
    return out;
}

std::vector<std::string> ScenarioDescriptions() {
    std::vector<std::string> out;
    for (const ScenarioSpec& s : BuiltInDescription().Scenarios) out.push_back(s.Description);
    return out;
}

}  // namespace kestra::area
