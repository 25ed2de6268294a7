#include "interlocking/overlap.h"

#include <utility>

#include "sim/sim.h"
#include "interlocking/level_crossing.h"
#include "interlocking/points.h"
#include "interlocking/refusal.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"

namespace kestra {

TOVL::TOVL(Sim& sim, std::string id) : TSSIObject(std::move(id)), sim_(sim) {}

TOVL::~TOVL() = default;

void TOVL::Configure(TSIG& signal, std::initializer_list<TULC*> subroutes, bool restricted,
                     std::int32_t releaseTime) {
    Signal = &signal;
    signal.Overlaps.AddUniqueObject({}, this);
    for (TULC* s : subroutes) Subroutes.Add({}, s);
    Restricted = restricted;
    ReleaseTime = releaseTime;
}

bool TOVL::HookAccepts() {
    return !sim_.Hooks.OverlapHook || sim_.Hooks.OverlapHook(*this);
}

bool TOVL::IsApplicable() const {
    if (Routes.Empty()) return true;
    for (int i = 0; i < Routes.Count(); ++i) {
        const TROU* r = Routes.At(i);
        if (r && (r->RouteSet || r == sim_.RouteBeingSet)) return true;
    }
    return false;
}

namespace {

// Names the overlap under test or being set while its checks and its locking run, so
// that no swing they cause moves another overlap onto its track.
class OverlapBeingSet {
  public:
    OverlapBeingSet(Sim& sim, TOVL* overlap) : sim_(sim), saved_(sim.OverlapBeingSet) {
        sim.OverlapBeingSet = overlap;
    }
    ~OverlapBeingSet() { sim_.OverlapBeingSet = saved_; }
    OverlapBeingSet(const OverlapBeingSet&) = delete;
    OverlapBeingSet& operator=(const OverlapBeingSet&) = delete;

  private:
    Sim& sim_;
    TOVL* saved_;
};

// Whether a subroute is held by an overlap of another signal, which would have to move
// before the given overlap can take the subroute.
bool HeldByAnotherSignal(const TULC& s, const TOVL& overlap) {
    return s.Overlap && s.Overlap != &overlap && s.Overlap->Signal != overlap.Signal;
}

}  // namespace

bool TOVL::IsAvailable() {
    if (sim_.OverlapEvaluation.Contains(this)) return false;
    if (!IsApplicable()) return false;
    OverlapBeingSet being(sim_, this);
    if (!Subroutes.IsFreeToSet()) return false;
    // A subroute of this overlap already held by another signal's overlap: that one
    // must be able to swing away, as two overlaps never share a circuit.
    for (int i = 0; i < Subroutes.Count(); ++i) {
        const TULC* s = Subroutes.At(i);
        if (s && HeldByAnotherSignal(*s, *this) && !s->Overlap->Signal->CanSwingOverlap()) {
            SetFailReason(sim_, "Cannot swing overlap");
            return false;
        }
    }
    return HookAccepts();
}

bool TOVL::IsAvailableQuiet() {
    if (!IsApplicable()) return false;
    OverlapBeingSet being(sim_, this);
    for (int i = 0; i < Subroutes.Count(); ++i) {
        TULC* s = Subroutes.At(i);
        if (!s) continue;
        if (!s->CheckOverlapQuiet()) return false;
        if (HeldByAnotherSignal(*s, *this) && !s->Overlap->Signal->CanSwingOverlap()) return false;
    }
    return HookAccepts();
}

bool TOVL::ArePointsControlled() const {
    return Subroutes.ArePointsControlledInPosition();
}

bool TOVL::AreTCsClear() const {
    return Subroutes.AreTCsClear();
}

bool TOVL::IsSet() const {
    const TULC* first = Subroutes.At(0);
    return first && first->Overlap == this;
}

bool TOVL::IsProved() const {
    // Points still moving after a swing count as in position: the signal does not wait
    // for them.
    auto inPosition = [](const TPTS& p, bool normal) {
        if (normal) return p.IsDetectedNormal() || (p.ControlledNormal && p.MovedForOverlap);
        return p.IsDetectedReverse() || (p.ControlledReverse && p.MovedForOverlap);
    };
    for (int i = 0; i < Subroutes.Count(); ++i) {
        const TULC* s = Subroutes.At(i);
        if (!s) continue;
        if (!s->IsCircuitClear()) return false;
        for (int j = 0; j < s->NormalPoints.Count(); ++j) {
            const TPTS* p = s->NormalPoints.At(j);
            if (p && !inPosition(*p, true)) return false;
        }
        for (int j = 0; j < s->ReversePoints.Count(); ++j) {
            const TPTS* p = s->ReversePoints.At(j);
            if (p && !inPosition(*p, false)) return false;
        }
    }
    return true;
}

bool TOVL::CrossingsProvedDown() const {
    for (const TLevelCrossing* lx : LevelCrossings) {
        if (!lx->ProvedDown()) return false;
    }
    return true;
}

namespace {

// Whether some subroute of the list before index `before` needs the points either way.
bool NeededEarlier(const TULCList& subroutes, int before, const TPTS* p) {
    for (int i = 0; i < before; ++i) {
        const TULC* s = subroutes.At(i);
        if (s && (s->NormalPoints.Contains(p) || s->ReversePoints.Contains(p))) return true;
    }
    return false;
}

// Whether the subroutes need the points the given way, route or flank.
bool NeedsPoints(const TULCList& subroutes, const TPTS* p, bool normal) {
    for (int i = 0; i < subroutes.Count(); ++i) {
        const TULC* s = subroutes.At(i);
        if (!s) continue;
        if (normal ? (s->NormalPoints.Contains(p) || s->FlankNormalPoints.Contains(p))
                   : (s->ReversePoints.Contains(p) || s->FlankReversePoints.Contains(p)))
            return true;
    }
    return false;
}

// Whether any points of the list is needed the given way by the subroutes.
bool AnyNeeded(const TPTSList& list, const TULCList& subroutes, bool normal) {
    for (int j = 0; j < list.Count(); ++j) {
        if (NeedsPoints(subroutes, list.At(j), normal)) return true;
    }
    return false;
}

// Whether every subroute on the circuit of s is free of overlaps other than the one in
// use (which the swing gives up).
bool CircuitFreeOfOthers(const TULC& s, const TOVL& current) {
    if (!s.TrackCircuit) return !s.Overlap || s.Overlap == &current;
    const TULCList& onCircuit = s.TrackCircuit->Subroutes;
    for (int i = 0; i < onCircuit.Count(); ++i) {
        const TULC* r = onCircuit.At(i);
        if (r && r->Overlap && r->Overlap != &current) return false;
    }
    return true;
}

// Whether two overlaps may not be held together: a circuit in common, a subroute of
// one among the conflicts of the other, or points one needs the other way.
bool Clashes(const TOVL& a, const TOVL& b) {
    for (int i = 0; i < a.Subroutes.Count(); ++i) {
        const TULC* x = a.Subroutes.At(i);
        if (!x) continue;
        for (int j = 0; j < b.Subroutes.Count(); ++j) {
            const TULC* y = b.Subroutes.At(j);
            if (!y) continue;
            if (x->TrackCircuit && x->TrackCircuit == y->TrackCircuit) return true;
            if (x->Conflicts.Contains(y)) return true;
        }
        if (AnyNeeded(x->NormalPoints, b.Subroutes, false) ||
            AnyNeeded(x->FlankNormalPoints, b.Subroutes, false) ||
            AnyNeeded(x->ReversePoints, b.Subroutes, true) ||
            AnyNeeded(x->FlankReversePoints, b.Subroutes, true))
            return true;
    }
    return false;
}

}  // namespace

std::int32_t TOVL::Cost() const {
    std::int32_t cost = 0;
    bool keyedHere = false;
    for (int i = 0; i < Subroutes.Count(); ++i) {
        const TULC* s = Subroutes.At(i);
        if (!s) continue;
        for (bool normal : {true, false}) {
            const TPTSList& list = normal ? s->NormalPoints : s->ReversePoints;
            for (int j = 0; j < list.Count(); ++j) {
                const TPTS* p = list.At(j);
                // Each points counts once.
                if (!p || list.FindPrevObject(j - 1, p) >= 0 || NeededEarlier(Subroutes, i, p))
                    continue;
                if (!normal && s->NormalPoints.Contains(p)) continue;
                if (p == (normal ? sim_.PointsKeyedNormal : sim_.PointsKeyedReverse)) {
                    keyedHere = true;
                    continue;
                }
                if (!(normal ? p->ControlledNormal : p->ControlledReverse)) ++cost;
            }
        }
    }
    return keyedHere ? cost : cost + 50;
}

bool TOVL::CanSwingTo(TOVL& current) {
    TOVLList& evaluating = sim_.OverlapEvaluation;
    // A swing test already running through this candidate answers for it, so that
    // overlaps that wait on each other end.
    if (evaluating.Contains(this)) return HookAccepts();
    evaluating.Add({}, this);
    if (Restricted != current.Restricted) {
        evaluating.Remove(this);
        return false;
    }
    TOVL* const previousSwungTo = sim_.OverlapSwungTo;
    sim_.OverlapSwungTo = &current;

    bool answer = IsApplicable();
    for (int i = 0; i < Subroutes.Count() && answer; ++i) {
        TULC* s = Subroutes.At(i);
        if (s)
            answer =
                s->IsCircuitClear() && s->CheckOverlapQuiet() && CircuitFreeOfOthers(*s, current);
    }

    // The route being set must be able to keep its points, flank points included, and
    // share no circuit with the candidate except over the very same subroute.
    if (answer && sim_.RouteBeingSet) {
        const TULCList& route = sim_.RouteBeingSet->AllSubroutes;
        for (int i = 0; i < route.Count() && answer; ++i) {
            const TULC* r = route.At(i);
            if (!r) continue;
            if (AnyNeeded(r->NormalPoints, Subroutes, false) ||
                AnyNeeded(r->FlankNormalPoints, Subroutes, false) ||
                AnyNeeded(r->ReversePoints, Subroutes, true) ||
                AnyNeeded(r->FlankReversePoints, Subroutes, true)) {
                answer = false;
                break;
            }
            for (int j = 0; j < r->Conflicts.Count(); ++j) {
                if (Subroutes.Contains(r->Conflicts.At(j))) answer = false;
            }
            for (int j = 0; j < Subroutes.Count() && answer; ++j) {
                const TULC* c = Subroutes.At(j);
                if (c && c != r && c->TrackCircuit && c->TrackCircuit == r->TrackCircuit)
                    answer = false;
            }
        }
    }
    // Nor may it come onto the track of the overlap being set beyond another signal:
    // that overlap takes its subroutes after this swing, and the two would end up on
    // one circuit.
    const TOVL* beingSet = sim_.OverlapBeingSet;
    if (answer && beingSet && beingSet != this && beingSet != &current)
        answer = !Clashes(*this, *beingSet);
    answer = answer && HookAccepts();

    sim_.OverlapSwungTo = previousSwungTo;
    evaluating.Remove(this);
    return answer;
}

bool TOVL::SetWithRoute() {
    OverlapBeingSet being(sim_, this);
    for (int i = 0; i < Subroutes.Count(); ++i) {
        TULC* s = Subroutes.At(i);
        if (s && !s->LockForOverlap(*this)) {
            // Another overlap could not move out of the way: give back what was taken.
            Clear();
            return false;
        }
    }
    return true;
}

void TOVL::SetBySwing() {
    for (int i = 0; i < Subroutes.Count(); ++i) {
        if (TULC* s = Subroutes.At(i)) s->LockForSwing(*this);
    }
    if (Signal) Signal->CurrentOverlap = this;
}

void TOVL::Clear() {
    // Only this overlap's own holding is cleared: a subroute another overlap holds
    // keeps it.
    for (int i = 0; i < Subroutes.Count(); ++i) {
        TULC* s = Subroutes.At(i);
        if (s && s->Overlap == this) s->ClearOverlap();
    }
    if (Signal && Signal->CurrentOverlap == this) Signal->CurrentOverlap = nullptr;
}

// --- the list ------------------------------------------------------------------

TOVLList::TOVLList() = default;
TOVLList::~TOVLList() = default;

bool TOVLList::Contains(const TOVL* overlap) const {
    return overlap && IndexOf(overlap) >= 0;
}

void TOVLList::Remove(const TOVL* overlap) {
    const int index = IndexOf(overlap);
    if (index >= 0) Delete(index);
}

}  // namespace kestra
