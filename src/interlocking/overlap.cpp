#include "interlocking/overlap.h"

#include <utility>

#include "core/sim.h"
#include "interlocking/points.h"
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

bool TOVL::IsAvailable() {
    if (sim_.OverlapEvaluation.Contains(this)) return false;
    if (!IsApplicable() || !Subroutes.IsFreeToSet()) return false;
    return HookAccepts();
}

bool TOVL::IsAvailableQuiet() {
    if (!IsApplicable()) return false;
    for (int i = 0; i < Subroutes.Count(); ++i) {
        TULC* s = Subroutes.At(i);
        if (s && !s->CheckOverlapQuiet()) return false;
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
        if (s) answer = s->IsCircuitClear() && s->CheckOverlapQuiet();
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
    answer = answer && HookAccepts();

    sim_.OverlapSwungTo = previousSwungTo;
    evaluating.Remove(this);
    return answer;
}

void TOVL::SetWithRoute() {
    for (int i = 0; i < Subroutes.Count(); ++i) {
        if (TULC* s = Subroutes.At(i)) s->LockForOverlap(*this);
    }
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
