// The signal's operations on its overlaps: availability for route setting, proving,
// choosing the overlap to set with a route, and swinging to an alternative.

#include "sim/sim.h"
#include "interlocking/overlap.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"

namespace kestra {

namespace {

// Whether some overlap of the signal of the given kind (full or restricted) passes.
template <class F>
bool SomeOverlap(const TSIG& sig, bool restricted, F&& test) {
    for (int i = 0; i < sig.Overlaps.Count(); ++i) {
        TOVL* o = sig.Overlaps.At(i);
        if (o && o->Restricted == restricted && test(*o)) return true;
    }
    return false;
}

// The first overlap of the given kind that passes, or none.
template <class F>
TOVL* FirstOverlap(const TSIG& sig, bool restricted, F&& test) {
    for (int i = 0; i < sig.Overlaps.Count(); ++i) {
        TOVL* o = sig.Overlaps.At(i);
        if (o && o->Restricted == restricted && test(*o)) return o;
    }
    return nullptr;
}

}  // namespace

bool TSIG::FullOverlapAvailable() {
    return Overlaps.Empty() || SomeOverlap(*this, false, [](TOVL& o) { return o.IsAvailable(); });
}

bool TSIG::FullOverlapAvailableQuiet() {
    return Overlaps.Empty() ||
           SomeOverlap(*this, false, [](TOVL& o) { return o.IsAvailableQuiet(); });
}

bool TSIG::RestrictedOverlapAvailable() {
    return Overlaps.Empty() || SomeOverlap(*this, true, [](TOVL& o) { return o.IsAvailable(); });
}

bool TSIG::RestrictedOverlapAvailableQuiet() {
    return Overlaps.Empty() ||
           SomeOverlap(*this, true, [](TOVL& o) { return o.IsAvailableQuiet(); });
}

int TSIG::RestrictedOverlapCount() const {
    int n = 0;
    for (int i = 0; i < Overlaps.Count(); ++i) {
        const TOVL* o = Overlaps.At(i);
        if (o && o->Restricted) ++n;
    }
    return n;
}

bool TSIG::OverlapProved() {
    if (Overlaps.Empty()) return true;
    // The overlap must still be locked, not merely remembered: one released from its
    // start no longer protects anything. One over a level crossing protects only with
    // the barriers proved down.
    return CurrentOverlap && CurrentOverlap->IsSet() && CurrentOverlap->IsProved() &&
           CurrentOverlap->CrossingsProvedDown();
}

bool TSIG::OverlapClearAvailable() {
    // A signal without overlaps needs none, as every other overlap test says.
    if (Overlaps.Empty()) return true;
    TOVL* inPosition = FirstOverlap(
        *this, false, [](TOVL& o) { return o.ArePointsControlled() && o.IsApplicable(); });
    if (inPosition && inPosition->AreTCsClear()) return true;
    return SomeOverlap(*this, false, [](TOVL& o) { return o.IsAvailable() && o.AreTCsClear(); });
}

bool TSIG::CanSwingOverlap() {
    if (Overlaps.Empty()) return true;
    if (Overlaps.Count() == 1 || !CurrentOverlap) return false;
    SwingCandidate = nullptr;
    // The best is kept here and stored at the end: a nested test of this same signal
    // (overlaps that wait on each other) must not spoil the choice of this one.
    TOVL* best = nullptr;
    std::int32_t bestCost = 999;
    TOVL* const current = CurrentOverlap;
    for (int i = 0; i < Overlaps.Count(); ++i) {
        TOVL* o = Overlaps.At(i);
        if (!o || o == current) continue;
        if (o->CanSwingTo(*current)) {
            const std::int32_t cost = o->Cost();
            if (cost < bestCost) {
                bestCost = cost;
                best = o;
            }
        }
    }
    SwingCandidate = best;
    return best != nullptr;
}

void TSIG::SwingOverlap() {
    // The candidate is chosen afresh, for the route or overlap now being set: one
    // remembered from an earlier test may have been found for another request, or
    // before other overlaps moved.
    if (CurrentOverlap) CanSwingOverlap();
    if (!CurrentOverlap || !SwingCandidate || SwingCandidate == CurrentOverlap) {
        sim().Trace(ID + " set alternative overlap error");
        return;
    }
    TOVL* const candidate = SwingCandidate;
    CurrentOverlap->Clear();
    candidate->SetBySwing();
    CurrentOverlap = candidate;
}

namespace {

// Keeps an overlap already set beyond the signal when it is of the kind wanted and
// usable with the routes now set: setting the same route again must not lock a second
// overlap beside the first.
bool KeepsCurrent(TSIG& sig, bool restricted) {
    TOVL* current = sig.CurrentOverlap;
    return current && current->IsSet() && current->Restricted == restricted &&
           current->IsApplicable();
}

// Sets the first overlap of the kind that passes the first test, failing that the
// first that is available. An overlap that cannot be taken after all (another overlap
// could not move out of its way) is passed over for the next.
template <class F>
void SetFirst(TSIG& sig, bool restricted, F&& firstPass) {
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < sig.Overlaps.Count(); ++i) {
            TOVL* o = sig.Overlaps.At(i);
            if (!o || o->Restricted != restricted) continue;
            if (!(pass == 0 ? firstPass(*o) : o->IsAvailable())) continue;
            if (o->SetWithRoute()) {
                sig.CurrentOverlap = o;
                return;
            }
        }
    }
}

}  // namespace

void TSIG::SetFullOverlap() {
    if (KeepsCurrent(*this, false)) return;
    SetFirst(*this, false, [](TOVL& o) {
        return o.IsAvailable() && o.ArePointsControlled() && o.IsApplicable();
    });
}

// The first pass prefers an overlap whose points already lie right; it still has to be
// available, so that an overlap is never laid over track another route has locked.
void TSIG::SetRestrictedOverlap() {
    if (KeepsCurrent(*this, true)) return;
    SetFirst(*this, true, [](TOVL& o) {
        return o.ArePointsControlled() && o.IsApplicable() && o.IsAvailable();
    });
}

void TSIG::SetFullOverlapForUpgrade() {
    SetFirst(*this, false, [](TOVL& o) {
        return o.ArePointsControlled() && o.IsApplicable() && o.IsAvailable();
    });
}

}  // namespace kestra
