#include "area/area_builder.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "display/label.h"
#include "display/palette.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "ars/ars_train.h"
#include "places/location.h"
#include "sim/sim.h"
#include "trains/berth.h"

namespace kestra::area {

// The model's route classes are the engine's, code for code: routes take them as they are.
constexpr bool SameClass(RouteClassCode model, RouteClass engine) {
    return static_cast<int>(model) == static_cast<int>(engine);
}
static_assert(SameClass(ClassMain, RcMain) && SameClass(ClassShunt, RcShunt) &&
              SameClass(ClassWarner, RcWarner) && SameClass(ClassCallOn, RcCallOn) &&
              SameClass(ClassAuto, RcAutomatic));

namespace {

// Owner of a label: none, a track circuit or a subroute (each by its index in the model).
enum class LabelOwner : std::uint8_t { None, Circuit, Subroute };

// Labels the area makes, before they are created in one batch.
struct LabelPlan {
    int X = 0, Y = 0;
    std::string Text;
    bool Visible = true;
    LabelOwner OwnerKind = LabelOwner::None;
    int Owner = -1;
};

// Track glyphs of a set of cells, grouped into one label per horizontal run (on one
// screen) and per diagonal run.
void PlanTrackLabels(const AreaModel& m, std::vector<int> cells, LabelOwner ownerKind, int owner,
                     std::vector<LabelPlan>& out) {
    std::sort(cells.begin(), cells.end(), [&](int a, int b) {
        return std::make_pair(m.Cells[a].Y, m.Cells[a].X) <
               std::make_pair(m.Cells[b].Y, m.Cells[b].X);
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
                while (in(x - 1, y + 1) &&
                       m.Cells[m.CellAt(x - 1, y + 1)].Kind == CellKind::Diagonal &&
                       (x - 1) / kScreenColumns == start.X / kScreenColumns) {
                    --x;
                    ++y;
                }
                l.X = x;
                l.Y = y;
            }
            const int screen = x / kScreenColumns;
            while (in(x, y) && m.Cells[m.CellAt(x, y)].Kind == CellKind::Diagonal &&
                   x / kScreenColumns == screen) {
                if (!l.Text.empty())
                    l.Text.push_back(static_cast<char>(rising ? GcMoveUp : GcMoveDown));
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

float MphToMs(int mph) {
    return static_cast<float>(mph) / 2.25f;
}

// Turns the model into the simulation's objects, stage by stage, in the start-up order.
class Builder {
  public:
    Builder(Sim& sim, const AreaDescription& description, const AreaModel& model, BuiltArea& area)
        : sim_(sim), d_(description), m_(model), area_(area) {}

    // Creation, class by class, every object with an empty identifier.
    void CreateObjects();
    // Identifiers, parameters and wiring.
    void ConfigureLabels();
    void ConfigureCircuits();
    void ConfigureSubroutes();
    void ConfigurePoints();
    void ConfigureSignals();
    void CreateOverlaps();
    void ConfigureRoutes();
    void LinkAllSubroutes();
    // The ARS sub-areas at their indicators, and each route's list of those it lies in.
    void CreateSubAreas();
    // What ARS reads of each route once the berths exist: the berths standing on its
    // track, and the routes that share track with it (one train at a time).
    void LinkRoutesForARS();
    // Second stage: the permanent routes of automatic signals, created and then entered
    // as their signals' current routes.
    void CreatePermanentRoutes();
    void EnterPermanentRoutes();
    // The line-closure scenario's lists.
    void FindLineClosure();
    void SetAreaConstants();

  private:
    void PlanLabels();

    Sim& sim_;
    const AreaDescription& d_;
    const AreaModel& m_;
    BuiltArea& area_;
    std::vector<LabelPlan> labels_;
    std::vector<int> ordinaryRoutes_;
};

void Builder::PlanLabels() {
    // Berths draw their own cells: the track elements leave them out.
    constexpr bool berthsDrawn = true;
    const AreaModel& m = m_;
    for (const LabelInfo& l : m.Labels) {
        LabelPlan p;
        p.X = l.X;
        p.Y = l.Y;
        p.Text = l.Text;
        p.Visible = true;
        labels_.push_back(p);
    }
    for (const SignalInfo& s : m.Signals) {
        if (s.HidePlate || s.Plate.empty()) continue;
        LabelPlan p;
        p.X = s.PlateX;
        p.Y = s.PostY;
        p.Text = s.Plate;
        labels_.push_back(p);
    }
    for (std::size_t c = 0; c < m.Circuits.size(); ++c)
        PlanTrackLabels(m, TrackCellsOf(m, static_cast<int>(c), berthsDrawn), LabelOwner::Circuit,
                        static_cast<int>(c), labels_);
    for (std::size_t s = 0; s < m.Subroutes.size(); ++s)
        PlanTrackLabels(m, LitCellsOf(m, m.Subroutes[s], berthsDrawn), LabelOwner::Subroute,
                        static_cast<int>(s), labels_);
}

void Builder::CreateObjects() {
    const AreaModel& m = m_;
    PlanLabels();
    for (std::size_t i = 0; i < labels_.size(); ++i)
        area_.Labels.push_back(&sim_.Labels.Create(sim_));
    for (std::size_t i = 0; i < m.Points.size(); ++i)
        area_.Points.push_back(&sim_.Points.Create(sim_));
    for (std::size_t i = 0; i < m.Routes.size(); ++i)
        if (m.Routes[i].Class != ClassAuto) ordinaryRoutes_.push_back(static_cast<int>(i));
    area_.Routes.assign(m.Routes.size(), nullptr);
    for (int r : ordinaryRoutes_) area_.Routes[r] = &sim_.Routes.Create(sim_);
    for (std::size_t i = 0; i < m.Signals.size(); ++i)
        area_.Signals.push_back(&sim_.Signals.Create(sim_));
    for (std::size_t i = 0; i < m.Circuits.size(); ++i)
        area_.Circuits.push_back(&sim_.TrackCircuits.Create(sim_));
    for (std::size_t i = 0; i < m.Subroutes.size(); ++i)
        area_.Subroutes.push_back(&sim_.Subroutes.Create(sim_));
}

// Panel labels, each entered in its owner's list.
void Builder::ConfigureLabels() {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        TPEL& l = *area_.Labels[i];
        const LabelPlan& p = labels_[i];
        l.X = p.X;
        l.Y = p.Y;
        l.Text = p.Text;
        l.Visible = p.Visible;
        l.Role = 0;
        if (p.OwnerKind == LabelOwner::Circuit) {
            TTCS& c = *area_.Circuits[p.Owner];
            l.Owner = &c;
            c.TrackElements.Add({}, &l);
        } else if (p.OwnerKind == LabelOwner::Subroute) {
            TULC& s = *area_.Subroutes[p.Owner];
            l.Owner = &s;
            s.Elements.Add({}, &l);
        }
    }
}

void Builder::ConfigureCircuits() {
    for (std::size_t i = 0; i < m_.Circuits.size(); ++i) {
        TTCS& c = *area_.Circuits[i];
        c.ID = m_.Circuits[i].ID;
        c.Electrification = m_.Circuits[i].Electrification;
    }
}

void Builder::ConfigureSubroutes() {
    const AreaModel& m = m_;
    for (std::size_t i = 0; i < m.Subroutes.size(); ++i) {
        const SubrouteInfo& info = m.Subroutes[i];
        TULC& s = *area_.Subroutes[i];
        s.ID = info.ID;
        SubrouteSetup setup;
        setup.Direction = info.Direction;
        setup.Length = info.Length;
        setup.FreightSpeed = MphToMs(info.FreightMph);
        setup.PassengerSpeed = MphToMs(info.PassengerMph);
        setup.LeavesArea = info.LeavesArea ? 1 : 0;
        setup.SignalOffset = info.SignalOffset;
        setup.TrackCircuit = area_.Circuits[info.Circuit];
        setup.PassageTime = info.PassageTime;
        setup.ClearTime = info.ClearTime;
        s.Configure(setup);
        s.Scale = info.Scale;
        s.GoodsLine = info.GoodsLine;
        s.AlwaysPassable = info.AlwaysPassable;
        for (const PointsNeed& n : info.Points) {
            if (n.Reverse)
                s.AddReversePoints(*area_.Points[n.Points]);
            else
                s.AddNormalPoints(*area_.Points[n.Points]);
        }
        if (info.EndSignal >= 0) SetEndSignal(s, *area_.Signals[info.EndSignal]);
    }
    for (std::size_t i = 0; i < m.Subroutes.size(); ++i) {
        const SubrouteInfo& info = m.Subroutes[i];
        if (info.Opposite > static_cast<int>(i))
            SetOpposites(*area_.Subroutes[i], *area_.Subroutes[info.Opposite]);
        for (int c : info.Conflicts) {
            if (c > static_cast<int>(i)) SetConflicting(*area_.Subroutes[i], *area_.Subroutes[c]);
        }
    }
}

void Builder::ConfigurePoints() {
    const AreaModel& m = m_;
    for (std::size_t i = 0; i < m.Points.size(); ++i) {
        const PointsInfo& info = m.Points[i];
        TPTS& p = *area_.Points[i];
        p.ID = info.ID;
        PointsSetup setup;
        setup.X = m.Cells[info.Cell].X;
        setup.Y = m.Cells[info.Cell].Y;
        setup.SwapGlyphs = info.Swap;
        setup.AutoNormalise = info.AutoNormalise;
        setup.Orientation = info.Orientation;
        if (info.Partner >= 0) setup.Paired.push_back(area_.Points[info.Partner]);
        for (int s : info.FlankNormalSubroutes)
            setup.FlankNormalSubroutes.push_back(area_.Subroutes[s]);
        for (int s : info.FlankReverseSubroutes)
            setup.FlankReverseSubroutes.push_back(area_.Subroutes[s]);
        p.Configure(setup);
        p.SetTrackCircuit(*area_.Circuits[info.Circuit]);
    }
}

void Builder::ConfigureSignals() {
    for (std::size_t i = 0; i < m_.Signals.size(); ++i) {
        const SignalInfo& info = m_.Signals[i];
        TSIG& s = *area_.Signals[i];
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
        if (info.BerthCircuit >= 0) s.BerthCircuit = area_.Circuits[info.BerthCircuit];
        // An operated train-ready-to-start stays operated while the train is anywhere on
        // the platform in rear of the signal: a train standing at the far end of a long
        // platform or a bay is not on the berth circuit, and the plunger would otherwise
        // be cancelled every cycle and pressed again every second.
        if (info.TRTS && s.BerthCircuit) {
            s.TRTSCircuits.Add({}, s.BerthCircuit);
            for (const PlatformInfo& p : m_.Platforms) {
                if (std::find(p.Circuits.begin(), p.Circuits.end(), info.BerthCircuit) ==
                    p.Circuits.end())
                    continue;
                for (int c : p.Circuits)
                    if (c != info.BerthCircuit) s.TRTSCircuits.Add({}, area_.Circuits[c]);
            }
        }
        for (int c : info.ControlCircuits) s.ControlCircuits.Add({}, area_.Circuits[c]);
        for (int u : info.MustBeFree) s.MustBeFree.Add({}, area_.Subroutes[u]);
        if (info.NextSignal >= 0) s.NextSignal = area_.Signals[info.NextSignal];
    }
}

// Overlaps, created here, in each signal's order of preference.
void Builder::CreateOverlaps() {
    for (const OverlapInfo& info : m_.Overlaps) {
        TOVL& o = sim_.Overlaps.Create(sim_);
        o.Configure(*area_.Signals[info.Signal], {}, info.Restricted);
        for (int s : info.Subroutes) o.Subroutes.Add({}, area_.Subroutes[s]);
        area_.Overlaps.push_back(&o);
    }
}

// Routes with their subroutes, in each entrance signal's order; then their variants
// and alternatives, which may come later in the list.
void Builder::ConfigureRoutes() {
    for (int r : ordinaryRoutes_) {
        const RouteInfo& info = m_.Routes[r];
        TROU& route = *area_.Routes[r];
        route.ID = info.ID;
        route.Configure(info.Class, *area_.Signals[info.Entrance], *area_.Signals[info.Exit], {},
                        {});
        for (int s : info.Subroutes) route.Subroutes.Add({}, area_.Subroutes[s]);
        for (int s : info.Permissive) route.PermissiveSubroutes.Add({}, area_.Subroutes[s]);
        route.BuildDerived();
        route.ApproachTime = info.ApproachTime;
        route.AutoAllowed = info.AutoAllowed;
        route.ARSAllowed = true;
    }
    for (int r : ordinaryRoutes_) {
        const RouteInfo& info = m_.Routes[r];
        TROU& route = *area_.Routes[r];
        if (info.CallOnVariant >= 0) route.CallOnVariant = area_.Routes[info.CallOnVariant];
        if (info.MainRoute >= 0) route.MainRoute = area_.Routes[info.MainRoute];
        if (info.Alternative >= 0) route.Alternative = area_.Routes[info.Alternative];
    }
}

void Builder::CreateSubAreas() {
    for (const SubAreaInfo& info : m_.SubAreas) {
        TARS& a = sim_.ARSSubAreas.Create(sim_);
        a.SetPlacement(info.Column, info.Row, static_cast<std::uint8_t>(info.LabelPlacement),
                       info.Label);
        area_.SubAreas.push_back(&a);
    }
    for (int r : ordinaryRoutes_) {
        TROU& route = *area_.Routes[r];
        route.ARSSubAreas.clear();
        for (int s : m_.Routes[r].SubAreas) route.ARSSubAreas.push_back(area_.SubAreas[s]);
    }
}

void Builder::LinkRoutesForARS() {
    std::vector<std::set<const TTCS*>> circuits(ordinaryRoutes_.size());
    // The overlap beyond the exit that a main route takes first: two routes whose
    // overlaps share a circuit cannot both be set (two overlaps never hold one circuit),
    // so ARS weighs such trains against each other as it does trains whose routes cross.
    std::vector<std::set<const TTCS*>> overlap(ordinaryRoutes_.size());
    for (std::size_t i = 0; i < ordinaryRoutes_.size(); ++i) {
        area_.Routes[ordinaryRoutes_[i]]->ARSIndex = static_cast<int>(i);
        const TROU& route = *area_.Routes[ordinaryRoutes_[i]];
        route.AllSubroutes.ForEach([&](const TULC& sub) {
            if (sub.TrackCircuit) circuits[i].insert(sub.TrackCircuit);
        });
        if (route.Class == RcMain && route.Exit && !route.Exit->Overlaps.Empty()) {
            if (const TOVL* o = route.Exit->Overlaps.At(0)) {
                o->Subroutes.ForEach([&](const TULC& sub) {
                    if (sub.TrackCircuit) overlap[i].insert(sub.TrackCircuit);
                });
            }
        }
    }
    const auto meet = [](const std::set<const TTCS*>& a, const std::set<const TTCS*>& b) {
        return std::any_of(a.begin(), a.end(), [&](const TTCS* c) { return b.count(c) > 0; });
    };
    for (std::size_t i = 0; i < ordinaryRoutes_.size(); ++i) {
        TROU& route = *area_.Routes[ordinaryRoutes_[i]];
        route.Berths.Clear();
        for (TSSIObject* o : area_.Berths) {
            const TBER* b = static_cast<const TBER*>(o);
            if (b && b->TrackCircuit && circuits[i].count(b->TrackCircuit))
                route.Berths.Add({}, o);
        }
        route.ConflictingRoutes.Clear();
        for (std::size_t j = 0; j < ordinaryRoutes_.size(); ++j) {
            if (i == j) continue;
            // A route over the overlap another route takes at its exit conflicts with
            // it too, unless it starts at that exit: then it is the way on of the train
            // the overlap is for.
            const TROU& other = *area_.Routes[ordinaryRoutes_[j]];
            const bool shared =
                meet(circuits[i], circuits[j]) || meet(overlap[i], overlap[j]) ||
                (other.Entrance != route.Exit && meet(overlap[i], circuits[j])) ||
                (route.Entrance != other.Exit && meet(circuits[i], overlap[j]));
            if (shared) route.ConflictingRoutes.Add({}, area_.Routes[ordinaryRoutes_[j]]);
        }
    }
    // Code insertion acts at every platform: its berths, left to right.
    for (TLOC* loc : area_.Locations) {
        if (!loc) continue;
        for (const std::string& platform : loc->Platforms) {
            std::set<const TTCS*> track;
            for (const auto& [name, sub] : loc->PlatformSubroutes)
                if (name == platform && sub && sub->TrackCircuit) track.insert(sub->TrackCircuit);
            std::vector<TBER*> berths;
            for (int i = 0; i < loc->Berths.Count(); ++i) {
                TSSIObject* o = loc->Berths.GetItem(i);
                if (!o || o->Kind != KindBerth) continue;
                TBER* b = static_cast<TBER*>(o);
                if (b->TrackCircuit && track.count(b->TrackCircuit)) berths.push_back(b);
            }
            if (berths.empty()) continue;
            std::stable_sort(berths.begin(), berths.end(),
                             [](const TBER* a, const TBER* b) { return a->X < b->X; });
            sim_.ARSTrains().AddACIEntry(loc, true, platform, std::move(berths));
        }
    }
    // A step into a platform berth carries the way the train arrives: 1 running Down
    // (left to right), 2 running Up; code insertion orders a platform's portions by it.
    std::set<const TBER*> platformBerths;
    for (const TACIEntry& e : sim_.ARSTrains().ACIEntries)
        platformBerths.insert(e.PlatformBerths.begin(), e.PlatformBerths.end());
    for (TSSIObject* o : area_.Berths) {
        TBER* from = static_cast<TBER*>(o);
        if (!from) continue;
        for (TBERStep& step : from->Steps) {
            step.ARSTag = 0;
            if (!step.ToBerth || step.ToBerth == from || !platformBerths.count(step.ToBerth))
                continue;
            step.ARSTag = step.ToBerth->X >= from->X ? 1 : 2;
        }
    }
}

// Pairwise subroute links.
void Builder::LinkAllSubroutes() {
    for (std::size_t i = 0; i < m_.Subroutes.size(); ++i) {
        for (int n : m_.Subroutes[i].Next) LinkSubroutes(*area_.Subroutes[i], *area_.Subroutes[n]);
    }
}

void Builder::CreatePermanentRoutes() {
    for (std::size_t r = 0; r < m_.Routes.size(); ++r) {
        const RouteInfo& info = m_.Routes[r];
        if (info.Class != ClassAuto) continue;
        TROU& route = sim_.Routes.Create(sim_);
        route.ID = info.ID;
        route.Configure(RcAutomatic, *area_.Signals[info.Entrance], *area_.Signals[info.Exit], {},
                        {});
        route.ApproachTime = 0;
        area_.Routes[r] = &route;
    }
}

void Builder::EnterPermanentRoutes() {
    sim_.Routes.DetermineAutoULCs();
    for (std::size_t r = 0; r < m_.Routes.size(); ++r) {
        if (m_.Routes[r].Class != ClassAuto) continue;
        TROU& route = *area_.Routes[r];
        TSIG& entrance = *area_.Signals[m_.Routes[r].Entrance];
        entrance.CurrentRoute = &route;
        entrance.NextSignal = route.Exit;
    }
}

// The line-closure scenario's lists: the closed location's signals and circuits.
void Builder::FindLineClosure() {
    const AreaModel& m = m_;
    const int closed = m.LocationByCode(d_.ClosedLocation ? d_.ClosedLocation : "");
    if (closed < 0) return;
    const LocationInfo& loc = m.Locations[closed];
    auto inside = [&](int x, int y) {
        return x >= loc.X0 && x <= loc.X1 && y >= loc.Y0 && y <= loc.Y1;
    };
    std::set<int> circuits;
    for (std::size_t c = 0; c < m.Circuits.size(); ++c) {
        const Circuit& ci = m.Circuits[c];
        if (std::all_of(ci.Cells.begin(), ci.Cells.end(),
                        [&](int cell) { return inside(m.Cells[cell].X, m.Cells[cell].Y); }))
            circuits.insert(static_cast<int>(c));
    }
    for (std::size_t s = 0; s < m.Signals.size(); ++s) {
        const SignalInfo& si = m.Signals[s];
        // Only the closed section's own signals: those leading into it also lead
        // elsewhere (the junction signal to the branch, the station starters to the
        // turnback), which stays open.
        if (inside(si.PostX, si.TrackY)) area_.ClosureSignals.push_back(area_.Signals[s]);
    }
    for (int c : circuits) area_.ClosureCircuits.push_back(area_.Circuits[c]);
}

void Builder::SetAreaConstants() {
    sim_.SimData.ScreenCount = kScreenCount;
    sim_.SimData.AreaName = d_.AreaName;
    sim_.SimData.NonDescribed = "****";
    sim_.SimData.AreaID = d_.AreaID;
    sim_.SimData.AreaTitle = d_.AreaTitle;
    sim_.SimData.ARSLabelLetter = true;
}

}  // namespace

std::shared_ptr<BuiltArea> BuildArea(Sim& sim, std::function<void(int)> progress) {
    return BuildArea(sim, BuiltInDescription(), std::move(progress));
}

std::shared_ptr<BuiltArea> BuildArea(Sim& sim, const AreaDescription& description,
                                     std::function<void(int)> progress) {
    auto report = [&](int percent) {
        if (progress) progress(percent);
    };
    // The simulation owns what the area builds, for as long as it lives; the hooks
    // use it through that. Hooks first: they are in place before any object exists.
    auto area = std::make_shared<BuiltArea>();
    sim.Area = area;
    InstallAreaHooks(sim, *area);
    report(0);
    area->Model = std::make_shared<AreaModel>(description);
    const AreaModel& m = *area->Model;
    if (!m.Valid()) {
        for (const std::string& e : m.Errors) sim.Trace("area: " + e);
        return area;
    }
    Builder build(sim, description, m, *area);
    build.CreateObjects();
    build.ConfigureLabels();
    build.ConfigureCircuits();
    build.ConfigureSubroutes();
    build.ConfigurePoints();
    build.ConfigureSignals();
    build.CreateOverlaps();
    build.ConfigureRoutes();
    build.LinkAllSubroutes();
    build.CreateSubAreas();
    report(10);
    report(20);
    build.CreatePermanentRoutes();
    report(30);
    build.EnterPermanentRoutes();
    report(40);
    // The paths need every route, the permanent ones included; their links for ARS are
    // made only now that they exist.
    BuildBerths(sim, m, *area);
    BuildPlaces(sim, m, *area);
    LinkBerthsForARS(sim, *area);
    FillPhoneBook(sim);
    build.LinkRoutesForARS();
    BuildLevelCrossings(sim, m, *area);
    report(50);
    build.FindLineClosure();
    report(70);
    build.SetAreaConstants();
    report(100);
    return area;
}

void BuildLevelCrossings(Sim& sim, const AreaModel& m, BuiltArea& area) {
    for (const LevelCrossingInfo& info : m.LevelCrossings) {
        TLevelCrossing& lx = sim.LevelCrossings.Create(sim, info.ID);
        area.LevelCrossings.push_back(&lx);
        lx.Name = info.Name;
        lx.RoadX = info.X;
        lx.RoadRows.assign(info.RoadRows.begin(), info.RoadRows.end());
        lx.LabelX = info.LabelX;
        lx.LabelY = info.LabelY;
        if (info.Location >= 0 && info.Location < static_cast<int>(area.Locations.size()))
            lx.Location = area.Locations[info.Location];
        for (int c : info.Circuits) lx.Circuits.Add({}, area.Circuits[c]);
        for (const auto& [r, count] : info.Routes) {
            TROU* route = area.Routes[r];
            if (!route) continue;
            const RouteInfo& ri = m.Routes[r];
            std::vector<int> subs = ri.Subroutes;
            subs.insert(subs.end(), ri.Permissive.begin(), ri.Permissive.end());
            std::vector<TULC*> upTo;
            for (int i = 0; i < count && i < static_cast<int>(subs.size()); ++i)
                upTo.push_back(area.Subroutes[subs[i]]);
            lx.AddRoute(*route, std::move(upTo));
        }
        for (int o : info.Overlaps) {
            if (o >= 0 && o < static_cast<int>(area.Overlaps.size()) && area.Overlaps[o])
                lx.AddOverlap(*area.Overlaps[o]);
        }
        // The crossing redraws itself as its state changes.
        lx.OnStateChange = [](TLevelCrossing& crossing) { crossing.Draw(); };
    }
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
