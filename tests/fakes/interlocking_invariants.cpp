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
      previousReverseCall_(sim.Hooks.PointsReverseCallHook) {
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
        }
    }
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
void InterlockingInvariants::CheckRoutes(std::vector<std::string>& out) const {
    std::vector<const TROU*> set;
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

std::vector<std::string> InterlockingInvariants::Check() {
    std::vector<std::string> out = std::move(movements_);
    movements_.clear();
    CheckCircuits(out);
    CheckRoutes(out);
    CheckPointsInPosition(out);
    CheckOverlaps(out);
    return out;
}

}  // namespace kestra::test
