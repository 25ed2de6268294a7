#include "fakes/interlocking_invariants.h"

#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"

namespace kestra::test {

std::string Describe(const TULC& s) {
    return (s.TrackCircuit ? s.TrackCircuit->ID : std::string("?")) + " " + s.ID;
}

InterlockingInvariants::InterlockingInvariants(Sim& sim)
    : sim_(sim),
      previousNormalCall_(sim.Hooks.PointsNormalCallHook),
      previousReverseCall_(sim.Hooks.PointsReverseCallHook),
      previousCycle_(sim.Hooks.CycleHook) {
    sim_.Hooks.CycleHook = [this] {
        ++cycles_;
        if (previousCycle_) previousCycle_();
    };
    sim_.Hooks.PointsNormalCallHook = [this](TPTS& p, bool& noSwing) {
        WatchMovement(p, true);
        if (previousNormalCall_) previousNormalCall_(p, noSwing);
    };
    sim_.Hooks.PointsReverseCallHook = [this](TPTS& p, bool& noSwing) {
        WatchMovement(p, false);
        if (previousReverseCall_) previousReverseCall_(p, noSwing);
    };
}

InterlockingInvariants::~InterlockingInvariants() {
    sim_.Hooks.PointsNormalCallHook = previousNormalCall_;
    sim_.Hooks.PointsReverseCallHook = previousReverseCall_;
    sim_.Hooks.CycleHook = previousCycle_;
}

// Called as points are about to be driven to a position they are not controlled to.
void InterlockingInvariants::WatchMovement(TPTS& p, bool normal) {
    const char* to = normal ? "normal" : "reverse";
    if (p.TrackCircuit && p.TrackCircuit->IsOccupied())
        movements_.push_back("points " + p.ID + " driven " + to + " with circuit " +
                             p.TrackCircuit->ID + " occupied");
    // The subroutes that need the position the points are leaving.
    const TULCList* lists[2] = {normal ? &p.ReverseSubroutes : &p.NormalSubroutes,
                                normal ? &p.FlankReverseSubroutes : &p.FlankNormalSubroutes};
    for (const TULCList* list : lists) {
        for (int i = 0; i < list->Count(); ++i) {
            const TULC* s = list->At(i);
            if (s && s->IsRouteLocked())
                movements_.push_back("points " + p.ID + " driven " + to +
                                     " under the route locking of " + Describe(*s));
            // An overlap may still be moving off the points in the same command: it is
            // judged when the command is over.
            if (s && s->Overlap) heldWhileMoved_.push_back({s, s->Overlap, &p, normal});
        }
    }
}

// Points driven while an overlap held them the other way, where the overlap did not
// swing off them in the same command.
void InterlockingInvariants::CheckMovedUnderOverlaps(std::vector<std::string>& out) {
    for (const HeldWhileMoved& h : heldWhileMoved_) {
        if (h.Subroute->Overlap == h.Overlap)
            out.push_back("points " + h.Points->ID + " driven " +
                          (h.Normal ? "normal" : "reverse") + " under the overlap holding " +
                          Describe(*h.Subroute));
    }
    heldWhileMoved_.clear();
}

bool InterlockingInvariants::IsPermissiveOfSetRoute(const TULC& s) const {
    bool found = false;
    sim_.Routes.ForEach([&](TROU& r) {
        if (r.RouteSet && r.PermissiveSubroutes.Contains(&s)) found = true;
    });
    return found;
}

// Within a circuit: two routes never lock it over different paths, and no overlap
// holds a path other than the route's.
void InterlockingInvariants::CheckCircuits(std::vector<std::string>& out) const {
    sim_.TrackCircuits.ForEach([&](TTCS& c) {
        const TULCList& list = c.Subroutes;
        for (int i = 0; i < list.Count(); ++i) {
            const TULC* a = list.At(i);
            if (!a || !a->IsRouteLocked()) continue;
            for (int j = 0; j < list.Count(); ++j) {
                const TULC* b = list.At(j);
                if (!b || b == a) continue;
                const bool permissivePair =
                    b == a->Opposite && (IsPermissiveOfSetRoute(*a) || IsPermissiveOfSetRoute(*b));
                if (j > i && b->IsRouteLocked() && !permissivePair)
                    out.push_back("circuit " + c.ID + " route-locked over both " + Describe(*a) +
                                  " and " + Describe(*b));
                if (b->Overlap && !permissivePair)
                    out.push_back("circuit " + c.ID + " route-locked over " + Describe(*a) +
                                  " while an overlap holds " + Describe(*b));
            }
            for (int j = 0; j < a->Conflicts.Count(); ++j) {
                const TULC* x = a->Conflicts.At(j);
                if (!x) continue;
                if (x->IsRouteLocked())
                    out.push_back("conflicting subroutes " + Describe(*a) + " and " + Describe(*x) +
                                  " both route-locked");
                if (x->Overlap)
                    out.push_back("route-locked " + Describe(*a) + " conflicts with " +
                                  Describe(*x) + " held by an overlap");
            }
        }
    });
}

// A set route has every subroute locked, and no subroute belongs to two set routes.
void InterlockingInvariants::CheckRoutes(std::vector<std::string>& out) {
    std::vector<const TROU*>& set = setRoutes_;
    set.clear();
    sim_.Routes.ForEach([&](TROU& r) {
        if (r.RouteSet && r.Class != RcAutomatic) set.push_back(&r);
    });
    for (const TROU* r : set) {
        for (int i = 0; i < r->AllSubroutes.Count(); ++i) {
            const TULC* s = r->AllSubroutes.At(i);
            if (s && s->Free)
                out.push_back("route " + r->ID + " set with " + Describe(*s) + " not locked");
        }
    }
    for (std::size_t i = 0; i < set.size(); ++i) {
        for (std::size_t j = i + 1; j < set.size(); ++j) {
            for (int k = 0; k < set[i]->AllSubroutes.Count(); ++k) {
                const TULC* s = set[i]->AllSubroutes.At(k);
                if (s && set[j]->AllSubroutes.Contains(s))
                    out.push_back("routes " + set[i]->ID + " and " + set[j]->ID +
                                  " both set over " + Describe(*s));
            }
        }
    }
}

// Every locked subroute, by a route or an overlap, has its points and flank points
// called to the positions it needs.
void InterlockingInvariants::CheckPointsInPosition(std::vector<std::string>& out) const {
    sim_.Subroutes.ForEach([&](TULC& s) {
        if (!s.IsRouteLocked() && !s.Overlap) return;
        const char* how = s.IsRouteLocked() ? "route-locked " : "overlap-held ";
        auto check = [&](const TPTSList& list, bool normal) {
            for (int i = 0; i < list.Count(); ++i) {
                const TPTS* p = list.At(i);
                if (p && !(normal ? p->ControlledNormal : p->ControlledReverse))
                    out.push_back(std::string(how) + Describe(s) + " with points " + p->ID +
                                  " not called " + (normal ? "normal" : "reverse"));
            }
        };
        check(s.NormalPoints, true);
        check(s.ReversePoints, false);
        check(s.FlankNormalPoints, true);
        check(s.FlankReversePoints, false);
    });
}

// A signal has at most one overlap set, it is the signal's current overlap, and all of
// it is held.
void InterlockingInvariants::CheckOverlaps(std::vector<std::string>& out) const {
    sim_.Signals.ForEach([&](TSIG& sig) {
        int setCount = 0;
        for (int i = 0; i < sig.Overlaps.Count(); ++i) {
            const TOVL* o = sig.Overlaps.At(i);
            if (!o || !o->IsSet()) continue;
            ++setCount;
            if (sig.CurrentOverlap != o)
                out.push_back("signal " + sig.ID +
                              " has an overlap set that is not its current one");
            for (int j = 0; j < o->Subroutes.Count(); ++j) {
                const TULC* s = o->Subroutes.At(j);
                if (s && s->Overlap != o)
                    out.push_back("overlap of " + sig.ID + " set but " + Describe(*s) +
                                  " not held by it");
            }
        }
        if (setCount > 1)
            out.push_back("signal " + sig.ID + " has " + std::to_string(setCount) +
                          " overlaps set");
    });
}

namespace {

// Whether the route takes an overlap beyond its exit: main routes, and warner routes to
// a signal with restricted overlaps; which kind.
bool TakesOverlap(const TROU& r, bool& restricted) {
    restricted = r.Class == RcWarner;
    if (!r.Exit || r.Exit->Overlaps.Empty()) return false;
    return r.Class == RcMain || (r.Class == RcWarner && r.Exit->RestrictedOverlapCount() > 0);
}

// Whether the exit's overlap of the kind is set, whole.
bool OverlapSetBeyond(const TSIG& exit, bool restricted) {
    const TOVL* o = exit.CurrentOverlap;
    return o && o->IsSet() && o->Restricted == restricted;
}

}  // namespace

// A set route that takes an overlap has it set beyond its exit, until a train has
// passed its entrance (disarmed, it cannot clear again, and the train has reached the
// route's second circuit): the overlap may then have been released by time for a train
// standing at the exit while its tail, still in the route's first circuit, holds the
// route, which goes a few cycles after that circuit clears.
void InterlockingInvariants::CheckRouteOverlaps(std::vector<std::string>& out) const {
    for (const TROU* r : setRoutes_) {
        bool restricted = false;
        const TSIG* e = r->Entrance;
        const bool passed = e && !e->Armed && e->CurrentRoute == r && e->PassageState >= 1;
        if (TakesOverlap(*r, restricted) && !passed && !OverlapSetBeyond(*r->Exit, restricted))
            out.push_back("route " + r->ID + " set without its " +
                          (restricted ? "restricted" : "full") + " overlap beyond " + r->Exit->ID);
    }
}

// Two different overlaps never hold subroutes of one circuit, nor conflicting ones.
void InterlockingInvariants::CheckOverlapsApart(std::vector<std::string>& out) const {
    auto owner = [](const TOVL* o) { return o->Signal ? o->Signal->ID : std::string("?"); };
    sim_.TrackCircuits.ForEach([&](TTCS& c) {
        const TULC* first = nullptr;
        for (int i = 0; i < c.Subroutes.Count(); ++i) {
            const TULC* s = c.Subroutes.At(i);
            if (!s || !s->Overlap) continue;
            if (!first) {
                first = s;
            } else if (s->Overlap != first->Overlap) {
                out.push_back("circuit " + c.ID + " held by two overlaps: " + Describe(*first) +
                              " by " + owner(first->Overlap) + "'s and " + Describe(*s) + " by " +
                              owner(s->Overlap) + "'s");
            }
        }
    });
    sim_.Subroutes.ForEach([&](TULC& s) {
        if (!s.Overlap) return;
        for (int j = 0; j < s.Conflicts.Count(); ++j) {
            const TULC* c = s.Conflicts.At(j);
            // Each pair once: from the first of the two in memory order.
            if (c && c->Overlap && c->Overlap != s.Overlap && &s < c)
                out.push_back("conflicting subroutes " + Describe(s) + " and " + Describe(*c) +
                              " held by the overlaps of " + owner(s.Overlap) + " and " +
                              owner(c->Overlap));
        }
    });
}

// Route locking released since the last check: never while the circuit reads occupied,
// never the first subroute of a route still set, and otherwise only after every
// subroute behind it has gone.
void InterlockingInvariants::CheckReleases(std::vector<std::string>& out) {
    const int n = sim_.Subroutes.Count();
    for (int i = static_cast<int>(wasLocked_.size()); i < n; ++i)
        wasLocked_.push_back(sim_.Subroutes.At(i)->IsRouteLocked() ? 1 : 0);
    for (int i = 0; i < n; ++i) {
        const TULC& s = *sim_.Subroutes.At(i);
        const bool locked = s.IsRouteLocked();
        if (wasLocked_[i] && !locked) {
            if (!s.IsCircuitClear())
                out.push_back(Describe(s) + " released while its circuit reads occupied");
            const TSIG* start = s.StartSignal;
            if (start && start->SignalKind < 2 && !start->PresetMode) {
                const TROU* r = start->CurrentRoute;
                if (r && r->RouteSet && r->FirstSubroute == &s)
                    out.push_back(Describe(s) + " released while its route " + r->ID +
                                  " is still set");
            } else {
                for (int j = 0; j < s.Previous.Count(); ++j) {
                    const TULC* p = s.Previous.At(j);
                    if (p && !p->Free)
                        out.push_back(Describe(s) + " released before " + Describe(*p) +
                                      " behind it");
                }
            }
        }
        wasLocked_[i] = locked ? 1 : 0;
    }
}

// A main or shunt signal showing a proceed aspect: its route is set and every subroute
// of it locked, and a route that takes an overlap has it set, all at once; the route
// ahead of the signal is proved by detection (circuits clear, points detected, flank
// points called) and so is the overlap, allowing the signal one major cycle to go back
// to danger after a train or a failure takes that away. Automatic and repeating signals
// follow their own rules and are left out.
namespace {

// Every points the subroute needs lies detected where it needs them.
bool PointsDetected(const TULC& s) {
    for (int i = 0; i < s.NormalPoints.Count(); ++i) {
        const TPTS* p = s.NormalPoints.At(i);
        if (p && !p->IsDetectedNormal()) return false;
    }
    for (int i = 0; i < s.ReversePoints.Count(); ++i) {
        const TPTS* p = s.ReversePoints.At(i);
        if (p && !p->IsDetectedReverse()) return false;
    }
    return true;
}

}  // namespace

// Each current failure keeps its equipment failed: a track circuit shows occupied,
// points have lost the detection of a position, a signal's lamps are out. A failure
// list naming equipment twice, or equipment failed with no failure current (other than
// by the assessor's hand), would repair wrongly or never.
void InterlockingInvariants::CheckFailures(std::vector<std::string>& out) const {
    const std::vector<TFailure>& failures = sim_.Failures.Failures();
    for (std::size_t i = 0; i < failures.size(); ++i) {
        const TFailure& f = failures[i];
        for (std::size_t j = 0; j < i; ++j) {
            if (failures[j].Equipment == f.Equipment)
                out.push_back("equipment " + f.Equipment->ID + " has two current failures");
        }
        switch (f.Kind) {
            case FailTrack: {
                const auto& c = static_cast<const TTCS&>(*f.Equipment);
                if (c.OccupyCount < 1 || c.IsClear())
                    out.push_back("failed track circuit " + c.ID + " shows clear");
                break;
            }
            case FailPoints: {
                const auto& p = static_cast<const TPTS&>(*f.Equipment);
                if (!p.FailedNormal && !p.FailedReverse)
                    out.push_back("failed points " + p.ID + " keep their detection");
                break;
            }
            case FailSignal: {
                const auto& sig = static_cast<const TSIG&>(*f.Equipment);
                if (sig.LampProved) out.push_back("failed signal " + sig.ID + " shows its lamps proved");
                break;
            }
            case FailCrossing: {
                const auto& lx = static_cast<const TLevelCrossing&>(*f.Equipment);
                if (!lx.BarrierFailed)
                    out.push_back("failed level crossing " + lx.ID + " has working barriers");
                break;
            }
        }
    }
}

void InterlockingInvariants::CheckSignals(std::vector<std::string>& out) {
    const int n = sim_.Signals.Count();
    if (static_cast<int>(unprovedSince_.size()) < n) unprovedSince_.resize(n, -1);
    for (int i = 0; i < n; ++i) {
        TSIG& sig = *sim_.Signals.At(i);
        if (sig.SignalKind > 1 || !sig.ShowsProceed()) {
            unprovedSince_[i] = -1;
            continue;
        }
        const TROU* r = sig.PresetMode && sig.PresetRoute ? sig.PresetRoute : sig.CurrentRoute;
        if (!r) {
            out.push_back("signal " + sig.ID + " shows a proceed aspect with no route");
            continue;
        }
        // A preset signal inside a through route clears with it: only the part of the
        // route ahead of the signal is its own.
        const bool entrance = r->Entrance == &sig;
        if (!r->RouteSet)
            out.push_back("signal " + sig.ID + " shows a proceed aspect over " + r->ID +
                          ", which is not set");
        int from = 0;
        if (!entrance) {
            for (int k = 0; k < r->Subroutes.Count(); ++k) {
                const TULC* s = r->Subroutes.At(k);
                if (s && s->EndSignal == &sig) from = k + 1;
            }
        }
        bool proved = r->RouteSet;
        for (int k = from; k < r->AllSubroutes.Count(); ++k) {
            const TULC* s = r->AllSubroutes.At(k);
            if (!s) continue;
            if (entrance && !s->IsRouteLocked())
                out.push_back("signal " + sig.ID + " shows a proceed aspect over " + r->ID +
                              " with " + Describe(*s) + " not locked");
            // The permissive part of a call-on runs into an occupied platform.
            if (k < r->Subroutes.Count() && !s->IsProved()) proved = false;
            // Points that have lost their detection (a failure) prove no route over them,
            // whatever the subroute says of itself.
            if (k < r->Subroutes.Count() && !PointsDetected(*s)) proved = false;
        }
        // A signal clears into no signal whose lamps are out.
        if (entrance && r->Exit && !r->Exit->LampProved) proved = false;
        bool restricted = false;
        if (TakesOverlap(*r, restricted)) {
            if (!OverlapSetBeyond(*r->Exit, restricted)) {
                out.push_back("signal " + sig.ID + " shows a proceed aspect over " + r->ID +
                              " with no overlap set beyond " + r->Exit->ID);
            } else if (!r->Exit->CurrentOverlap->IsProved()) {
                proved = false;
            }
        }
        if (proved) {
            unprovedSince_[i] = -1;
        } else if (unprovedSince_[i] < 0) {
            unprovedSince_[i] = cycles_;
        } else if (cycles_ - unprovedSince_[i] >= 2) {
            out.push_back("signal " + sig.ID + " still shows a proceed aspect over " + r->ID + " " +
                          std::to_string(cycles_ - unprovedSince_[i]) +
                          " cycles after it stopped being proved");
        }
    }
}

// An automatic signal showing a proceed aspect: its section is clear and no route runs
// through it the other way (a wrong-road route for single-line working), allowing the
// signal one major cycle to go back to danger.
void InterlockingInvariants::CheckAutomatics(std::vector<std::string>& out) {
    const int n = sim_.Signals.Count();
    if (static_cast<int>(automaticWrongSince_.size()) < n) automaticWrongSince_.resize(n, -1);
    for (int i = 0; i < n; ++i) {
        const TSIG& sig = *sim_.Signals.At(i);
        const TROU* r = sig.CurrentRoute;
        std::string why;
        if (sig.IsAutomaticKind() && sig.ShowsProceed() && r && r->Class == RcAutomatic) {
            for (int k = 0; k < r->Subroutes.Count() && why.empty(); ++k) {
                const TULC* s = r->Subroutes.At(k);
                if (!s) continue;
                if (!s->IsCircuitClear())
                    why = "with " + Describe(*s) + " occupied";
                else if (s->Opposite && s->Opposite->IsRouteLocked())
                    why = "with a route locked the other way over " + Describe(*s->Opposite);
            }
        }
        if (why.empty()) {
            automaticWrongSince_[i] = -1;
        } else if (automaticWrongSince_[i] < 0) {
            automaticWrongSince_[i] = cycles_;
        } else if (cycles_ - automaticWrongSince_[i] >= 2) {
            out.push_back("automatic signal " + sig.ID + " shows a proceed aspect " + why);
        }
    }
}

// No signal shows a proceed aspect over a level crossing whose barriers are not proved
// down: neither the entrance of a route set over it nor an automatic signal whose
// permanent route runs over it, nor a signal whose train could overrun the next signal
// onto it through that signal's overlap.
void InterlockingInvariants::CheckLevelCrossings(std::vector<std::string>& out) const {
    sim_.LevelCrossings.ForEach([&](TLevelCrossing& lx) {
        if (lx.ProvedDown()) return;
        for (const TCrossingRoute& r : lx.RoutesOver()) {
            const TSIG* entrance = r.Route->Entrance;
            if (entrance && entrance->ShowsProceed() && entrance->CurrentRoute == r.Route)
                out.push_back("signal " + entrance->ID + " shows a proceed aspect over level crossing " +
                              lx.ID + " with its " + LevelCrossingStateName(lx.State));
        }
    });
    // Nor towards an overlap that runs over such a crossing: the overlap set beyond the
    // exit of a main or warner route, or the first overlap beyond an automatic's next
    // signal (its route locks none). The crossing's track is found from its circuits,
    // not from what the area told the crossing.
    sim_.Signals.ForEach([&](TSIG& sig) {
        const TROU* route = sig.CurrentRoute;
        if (!sig.ShowsProceed() || !route || !route->RouteSet || !route->Exit) return;
        const TSIG& exit = *route->Exit;
        const TOVL* overlap = nullptr;
        if (route->Class == RcAutomatic && !exit.Overlaps.Empty())
            overlap = exit.Overlaps.At(0);
        else if ((route->Class == RcMain || route->Class == RcWarner) && exit.CurrentOverlap &&
                 exit.CurrentOverlap->IsSet())
            overlap = exit.CurrentOverlap;
        if (!overlap) return;
        sim_.LevelCrossings.ForEach([&](TLevelCrossing& lx) {
            if (lx.ProvedDown()) return;
            bool over = false;
            for (int i = 0; i < overlap->Subroutes.Count() && !over; ++i) {
                const TULC* s = overlap->Subroutes.At(i);
                over = s && s->TrackCircuit && lx.Circuits.IndexOf(s->TrackCircuit) >= 0;
            }
            if (over)
                out.push_back("signal " + sig.ID + " shows a proceed aspect towards signal " +
                              exit.ID + " whose overlap runs over level crossing " + lx.ID +
                              " with its " + LevelCrossingStateName(lx.State));
        });
    });
}

bool InterlockingInvariants::CheckInto(std::vector<std::string>& out) {
    out.clear();
    for (std::string& m : movements_) out.push_back(std::move(m));
    movements_.clear();
    CheckMovedUnderOverlaps(out);
    CheckCircuits(out);
    CheckRoutes(out);
    CheckRouteOverlaps(out);
    CheckPointsInPosition(out);
    CheckOverlaps(out);
    CheckOverlapsApart(out);
    CheckReleases(out);
    CheckSignals(out);
    CheckAutomatics(out);
    CheckFailures(out);
    CheckLevelCrossings(out);
    return out.empty();
}

std::vector<std::string> InterlockingInvariants::Check() {
    std::vector<std::string> out;
    CheckInto(out);
    return out;
}

}  // namespace kestra::test
