#include "interlocking/route.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "sim/sim.h"
#include "interlocking/level_crossing.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/refusal.h"
#include "interlocking/signal.h"
#include "interlocking/state_message.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"

namespace kestra {

namespace {

constexpr const char* kNotAvailable = "Route not available";

// Names the route under test for the points and overlap checks while a check or the
// setting runs, and clears it again however the check ends.
class RouteBeingSet {
  public:
    RouteBeingSet(Sim& sim, TROU* route) : sim_(sim), saved_(sim.RouteBeingSet) {
        sim.RouteBeingSet = route;
    }
    ~RouteBeingSet() { sim_.RouteBeingSet = saved_; }
    RouteBeingSet(const RouteBeingSet&) = delete;
    RouteBeingSet& operator=(const RouteBeingSet&) = delete;

  private:
    Sim& sim_;
    TROU* saved_;
};

}  // namespace

TROU::TROU(Sim& sim, std::string id) : TSSIObject(std::move(id)), sim_(sim) {
    Kind = KindRoute;
}

TROU::~TROU() = default;

void TROU::Configure(std::uint8_t routeClass, TSIG& entrance, TSIG& exit,
                     std::initializer_list<TULC*> subroutes,
                     std::initializer_list<TULC*> permissive) {
    Class = routeClass;
    Entrance = &entrance;
    Exit = &exit;
    for (TULC* s : subroutes) Subroutes.Add({}, s);
    for (TULC* s : permissive) PermissiveSubroutes.Add({}, s);
    BuildDerived();
    entrance.Routes.AddUniqueObject({}, this);
    RouteSet = Class == RcAutomatic;
}

void TROU::BuildDerived() {
    AllSubroutes.Clear();
    for (int i = 0; i < Subroutes.Count(); ++i) AllSubroutes.Add({}, Subroutes.At(i));
    for (int i = 0; i < PermissiveSubroutes.Count(); ++i)
        AllSubroutes.Add({}, PermissiveSubroutes.At(i));
    FirstSubroute = AllSubroutes.At(0);
    auto circuit = [this](int i) {
        const TULC* s = AllSubroutes.At(i);
        return s ? s->TrackCircuit : nullptr;
    };
    FirstCircuit = circuit(0);
    SecondCircuit = circuit(1);
    ThirdCircuit = circuit(2);
}

// --- checks ----------------------------------------------------------------------

namespace {

// Calls f once for each distinct points that the subroutes need normal (or reverse), in
// order of first appearance. No list is built: the cycles allocate nothing.
template <class F>
bool AllDistinctPoints(const TULCList& subroutes, bool normal, F&& f) {
    auto listOf = [normal](const TULC& s) -> const TPTSList& {
        return normal ? s.NormalPoints : s.ReversePoints;
    };
    for (int i = 0; i < subroutes.Count(); ++i) {
        const TULC* s = subroutes.At(i);
        if (!s) continue;
        const TPTSList& list = listOf(*s);
        for (int k = 0; k < list.Count(); ++k) {
            TPTS* p = list.At(k);
            if (!p || list.FindPrevObject(k - 1, p) >= 0) continue;
            bool seenBefore = false;
            for (int e = 0; e < i && !seenBefore; ++e) {
                const TULC* earlier = subroutes.At(e);
                seenBefore = earlier && listOf(*earlier).Contains(p);
            }
            if (!seenBefore && !f(*p)) return false;
        }
    }
    return true;
}

}  // namespace

bool TROU::ConflictsWith(const TROU& other) const {
    if (conflictsVersion_ != ConflictingRoutes.Version()) {
        conflictsSorted_.clear();
        for (int i = 0; i < ConflictingRoutes.Count(); ++i)
            if (const TSSIObject* o = ConflictingRoutes.GetItem(i)) conflictsSorted_.push_back(o);
        std::sort(conflictsSorted_.begin(), conflictsSorted_.end(), std::less<>());
        conflictsVersion_ = ConflictingRoutes.Version();
    }
    return std::binary_search(conflictsSorted_.begin(), conflictsSorted_.end(),
                              static_cast<const TSSIObject*>(&other), std::less<>());
}

const std::vector<std::uint64_t>& TROU::ConflictBits(bool& complete) const {
    if (conflictBitsVersion_ != ConflictingRoutes.Version()) {
        std::fill(conflictBits_.begin(), conflictBits_.end(), 0);
        conflictBitsComplete_ = true;
        for (int i = 0; i < ConflictingRoutes.Count(); ++i) {
            const TROU* r = ConflictingRoutes.At(i);
            if (!r) continue;
            if (r->ARSIndex < 0) {
                conflictBitsComplete_ = false;
                continue;
            }
            const auto word = static_cast<std::size_t>(r->ARSIndex / 64);
            if (conflictBits_.size() <= word) conflictBits_.resize(word + 1, 0);
            conflictBits_[word] |= std::uint64_t{1} << (r->ARSIndex % 64);
        }
        conflictBitsVersion_ = ConflictingRoutes.Version();
    }
    complete = conflictBitsComplete_;
    return conflictBits_;
}

bool TROU::PointsDerivedCurrent() const {
    if (pointsVersions_.empty() || pointsVersions_[0] != AllSubroutes.Version()) return false;
    std::size_t k = 1;
    for (int i = 0; i < AllSubroutes.Count(); ++i) {
        const TULC* s = AllSubroutes.At(i);
        if (!s) continue;
        if (k + 1 >= pointsVersions_.size() || pointsVersions_[k] != s->NormalPoints.Version() ||
            pointsVersions_[k + 1] != s->ReversePoints.Version())
            return false;
        k += 2;
    }
    return k == pointsVersions_.size();
}

void TROU::DerivePoints() const {
    pointsVersions_.assign(1, AllSubroutes.Version());
    for (int i = 0; i < AllSubroutes.Count(); ++i) {
        const TULC* s = AllSubroutes.At(i);
        if (!s) continue;
        pointsVersions_.push_back(s->NormalPoints.Version());
        pointsVersions_.push_back(s->ReversePoints.Version());
    }
    pointsNormal_.clear();
    pointsReverse_.clear();
    AllDistinctPoints(AllSubroutes, true, [this](TPTS& p) {
        pointsNormal_.push_back(&p);
        return true;
    });
    AllDistinctPoints(AllSubroutes, false, [this](TPTS& p) {
        pointsReverse_.push_back(&p);
        return true;
    });
    // No points may be needed both ways.
    pointsOneWay_ = true;
    for (const TPTS* p : pointsNormal_) {
        for (int i = 0; i < AllSubroutes.Count() && pointsOneWay_; ++i) {
            const TULC* s = AllSubroutes.At(i);
            if (s && s->ReversePoints.Contains(p)) pointsOneWay_ = false;
        }
    }
}

bool TROU::PointsConsistent() const {
    if (!PointsDerivedCurrent()) DerivePoints();
    if (!pointsOneWay_) return false;
    for (TPTS* p : pointsNormal_)
        if (!p->IsFreeToGoNormal()) return false;
    for (TPTS* p : pointsReverse_)
        if (!p->IsFreeToGoReverse()) return false;
    return true;
}

bool TROU::PresetsFree() const {
    for (int i = 0; i < Subroutes.Count(); ++i) {
        const TULC* s = Subroutes.At(i);
        const TSIG* sig = s ? s->EndSignal : nullptr;
        if (!sig || sig == Exit) continue;
        const TROU* r = sig->CurrentRoute;
        if (r && r->RouteSet && r != this) return false;
    }
    return true;
}

bool TROU::PresetsOff() const {
    const TSIG* beyondExit = (Exit && Exit->SignalKind == SkWhiteMarker) ? Exit->NextSignal : nullptr;
    for (int i = 0; i < Subroutes.Count(); ++i) {
        const TULC* s = Subroutes.At(i);
        const TSIG* sig = s ? s->EndSignal : nullptr;
        if (!sig || sig == Exit || sig == beyondExit) continue;
        if (!sig->ShowsProceed()) return false;
    }
    return true;
}

bool TROU::ClassCheck() const {
    switch (Class) {
        case RcMain:
        case RcWarner:
            return PermissiveSubroutes.IsFreeToSet();
        case RcShunt:
        case RcCallOn:
            return PermissiveSubroutes.IsFreeToSetIgnoreParallel();
        default:
            // Automatic routes are never requested.
            return false;
    }
}

bool TROU::OverlapTest(bool quiet) {
    switch (Class) {
        case RcWarner:
            if (Exit->RestrictedOverlapCount() == 0) return true;
            return quiet ? Exit->RestrictedOverlapAvailableQuiet()
                         : Exit->RestrictedOverlapAvailable();
        case RcMain:
            return quiet ? Exit->FullOverlapAvailableQuiet() : Exit->FullOverlapAvailable();
        default:
            return true;
    }
}

bool TROU::IsAvailable() {
    RouteBeingSet being(sim_, this);
    SetFailReason(sim_, kNotAvailable);
    const bool override = sim_.Operator.OverrideMode;
    if (!override && Exit->WarnerCollar != 0 && Class == RcWarner) {
        SetFailReason(sim_, "The exit signal warner button is collared");
        return false;
    }
    const bool warnerExempt =
        Exit->HasWarnerButton() && Exit->WarnerCollar == 0 && Class == RcWarner;
    if (!override && (Entrance->Collar != 0 || Exit->Collar != 0) && !warnerExempt) {
        SetFailReason(sim_, "One or both signals are collared");
        return false;
    }
    if (Entrance->CurrentRoute && Entrance->CurrentRoute != this) {
        SetFailReason(sim_, "Cannot overset a different route");
        return false;
    }
    if (Entrance->PresetMode) {
        SetFailReason(sim_, "Preset signal already working in preset mode");
        return false;
    }
    if (!PresetsFree()) {
        SetFailReason(sim_, "Preset signal(s) already have a route set");
        return false;
    }
    if (!PointsConsistent() || !Subroutes.IsFreeToSet()) return false;
    // Checks that passed may have left reasons of their own behind; from here on a
    // refusal without a reason of its own is the plain one.
    SetFailReason(sim_, kNotAvailable);
    if (!ClassCheck()) return false;
    SetFailReason(sim_, kNotAvailable);
    if (!OverlapTest(false)) {
        SetFailReason(sim_, "No overlap available");
        return false;
    }
    SetFailReason(sim_, kNotAvailable);
    if (sim_.Hooks.RouteAvailableHook && !sim_.Hooks.RouteAvailableHook(*this)) return false;
    return true;
}

bool TROU::IsAvailableARS() {
    RouteBeingSet being(sim_, this);
    QuietCheck quiet(sim_);
    bool ok = Entrance->Collar == 0 && Exit->Collar == 0;
    const TROU* current = Entrance->CurrentRoute;
    ok = ok && !(current && current != this && current->MainRoute != this);
    ok = ok && !Entrance->PresetMode && PointsConsistent() && Subroutes.IsFreeToSetARS() &&
         ClassCheck() && OverlapTest(true);
    if (ok && sim_.Hooks.RouteAvailableHook) ok = sim_.Hooks.RouteAvailableHook(*this);
    return ok;
}

bool TROU::CallOnApplies() {
    return Class == RcCallOn && !PermissiveSubroutes.AreTCsClear() && Subroutes.AreTCsClear() &&
           IsAvailable();
}

bool TROU::ClearAhead(const TSIG& from, TSIG** next) const {
    if (next) *next = nullptr;
    int start = 0;
    if (&from != Entrance) {
        start = -1;
        for (int i = 0; i < AllSubroutes.Count(); ++i) {
            const TULC* s = AllSubroutes.At(i);
            if (s && s->EndSignal == &from) {
                start = i + 1;
                break;
            }
        }
        if (start < 0) return true;
    }
    for (int i = start; i < AllSubroutes.Count(); ++i) {
        const TULC* s = AllSubroutes.At(i);
        if (!s) continue;
        if (!PermissiveSubroutes.Contains(s) && !s->IsCircuitClear()) return false;
        if (s->EndSignal) {
            if (next) *next = s->EndSignal;
            return true;
        }
    }
    return true;
}

bool TROU::SubAreasInEffect(ARSSubAreaLink** first) const {
    if (first) *first = nullptr;
    for (ARSSubAreaLink* a : ARSSubAreas) {
        if (a && !a->IsInEffect()) {
            if (first) *first = a;
            return false;
        }
    }
    return true;
}

bool TROU::IsProved(RouteProvedFlags& flags) {
    flags = RouteProvedFlags{};
    switch (Class) {
        case RcShunt:
        case RcCallOn:
            flags.ShuntAspect = true;
            flags.ApproachWait = true;
            break;
        case RcWarner:
            flags.ApproachWait = true;
            break;
        default:
            break;
    }
    bool result = RouteSet && Subroutes.RouteProved() && CrossingsProvedDown();
    if (result && sim_.Hooks.RouteProvedHook) result = sim_.Hooks.RouteProvedHook(*this);
    return result;
}

bool TROU::CrossingsProvedDown() const {
    for (const TLevelCrossing* lx : LevelCrossings) {
        if (!lx->ProvedDown()) return false;
    }
    return true;
}

const TOVL* TROU::OverlapInUse() const {
    if (!Exit || Exit->Overlaps.Empty()) return nullptr;
    if (Class == RcAutomatic) return Exit->Overlaps.At(0);
    if (Class != RcMain && Class != RcWarner) return nullptr;
    const TOVL* o = Exit->CurrentOverlap;
    return o && o->IsSet() ? o : nullptr;
}

std::int32_t TROU::RouteLength() const {
    std::int32_t total = 0;
    for (int i = 0; i < AllSubroutes.Count(); ++i) {
        if (const TULC* s = AllSubroutes.At(i)) total += s->Length;
    }
    return total;
}

// --- commands --------------------------------------------------------------------

void TROU::MarkSet() {
    if (RouteSet) return;
    RouteSet = true;
    if (sim_.TrainDescriber) sim_.TrainDescriber->BerthTDTrigger(*this, true);
    SendState();
}

void TROU::Unset() {
    if (TSIG* e = Entrance; e && e->PresetMode) {
        // The entrance leaves preset mode; a through route it carried as its current
        // route goes with it.
        if (e->CurrentRoute == e->PresetRoute && e->CurrentRoute != this) e->SetCurrentRoute(nullptr);
        e->PresetMode = false;
        e->PresetEntered = false;
        e->PresetRoute = nullptr;
    }
    if (!RouteSet) return;
    RouteSet = false;
    if (sim_.TrainDescriber) sim_.TrainDescriber->BerthTDTrigger(*this, false);
    SendState();
}

void TROU::SetPresets() {
    auto presets = [this](const TULCList& list) {
        // Every entry except the last ends inside the route.
        for (int i = 0; i + 1 < list.Count(); ++i) {
            const TULC* s = list.At(i);
            TSIG* sig = s ? s->EndSignal : nullptr;
            if (!sig || sig == Exit) continue;
            if (sig->SignalKind == SkShunt || (sig->SignalKind == SkRouteWorked && !sig->HasRedLamp())) {
                sig->PresetMode = true;
                sig->PresetRoute = this;
                sig->SetCurrentRoute(this);
                if (!sig->PresetEntered) sig->CancelRequested = false;
                sig->Draw();
            }
        }
    };
    presets(Subroutes);
    presets(PermissiveSubroutes);
}

void TROU::MarkPresetsEntered() {
    for (int i = 0; i < Subroutes.Count(); ++i) {
        const TULC* s = Subroutes.At(i);
        TSIG* sig = s ? s->EndSignal : nullptr;
        if (sig && sig != Exit) sig->PresetEntered = true;
    }
}

void TROU::CancelSubAreas() {
    bool changed = false;
    for (ARSSubAreaLink* a : ARSSubAreas) {
        if (a && a->SetInactive()) changed = true;
    }
    if (changed) sim_.PostEventMessage("ARS subarea(s) cancelled due to route cancel", EvTips);
}

bool TROU::RequestSubroutes(std::vector<TULC*>& locked) {
    for (const TULCList* list : {&Subroutes, &PermissiveSubroutes}) {
        for (int i = 0; i < list->Count(); ++i) {
            TULC* s = list->At(i);
            if (!s) continue;
            const bool wasFree = s->Free;
            if (!s->RequestRoute()) return false;
            if (wasFree) locked.push_back(s);
        }
    }
    return true;
}

bool TROU::SetOverlapWithRoute() {
    const bool restricted = Class == RcWarner && Exit->RestrictedOverlapCount() > 0;
    if (restricted) {
        Exit->SetRestrictedOverlap();
    } else if (Class == RcMain) {
        Exit->SetFullOverlap();
    } else {
        return true;
    }
    if (Exit->Overlaps.Empty()) return true;
    const TOVL* o = Exit->CurrentOverlap;
    return o && o->IsSet() && o->Restricted == restricted;
}

bool TROU::SetRoute() {
    {
        RouteBeingSet being(sim_, this);
        const bool wasSet = RouteSet;
        MarkSet();
        // Every swing is chosen afresh as the route is set; should an overlap in the way
        // have no alternative left now, or the exit's overlap not be takeable, the route
        // is given back and refused rather than locked across another's overlap.
        // The list of subroutes locked here keeps its room between settings (ARS sets
        // routes all day); a setting nested inside this one takes an empty list of its own.
        std::vector<TULC*> locked = std::move(lockedScratch_);
        locked.clear();
        struct GiveBack {
            std::vector<TULC*>& From;
            std::vector<TULC*>& To;
            ~GiveBack() { To = std::move(From); }
        } giveBack{locked, lockedScratch_};
        if (!RequestSubroutes(locked) || !SetOverlapWithRoute()) {
            for (TULC* s : locked) s->Release();
            if (!wasSet) {
                RouteSet = false;
                if (sim_.TrainDescriber) sim_.TrainDescriber->BerthTDTrigger(*this, false);
                SendState();
            }
            SetFailReason(sim_, "Cannot swing overlap");
            return false;
        }
        SetPresets();
        Exit->RouteIn = this;
        Entrance->CancelRequested = false;
        Entrance->ApproachTime = ApproachTime;
        Entrance->SetCurrentRoute(this);
        Entrance->PresetMode = false;
        Entrance->PresetRoute = nullptr;
        Entrance->Draw();
        Entrance->NextSignal = Exit;
    }
    if (sim_.Hooks.RouteSetHook) sim_.Hooks.RouteSetHook(*this);
    return true;
}

void TROU::SendState() {
    if (!sim_.IsBroadcasting()) return;
    const int index = sim_.Routes.IndexOf(this);
    if (index < 0) return;
    std::string payload = "RA" + Hex4(index);
    payload += RouteSet ? '1' : '0';
    sim_.Broadcast(payload);
}

void TROU::ApplyState(std::string_view body) {
    if (body.empty() || (body[0] != '0' && body[0] != '1')) return;
    RouteSet = body[0] == '1';
    if (Entrance) Entrance->Draw();
}

// --- cycles and saving -----------------------------------------------------------

void TROU::Reset() {
    RouteSet = Class == RcAutomatic;
}

bool TROU::Save(ValueWriter& writer) {
    WriteFlagSet(writer, {RouteSet});
    return true;
}

bool TROU::StageLoad(ValueReader& reader, LoadCommits& commits) {
    bool flags[1];
    ReadFlagSet(reader, flags, 1);
    const bool routeSet = flags[0];
    commits.Add([this, routeSet] { RouteSet = routeSet; });
    return true;
}

// --- the route request -----------------------------------------------------------

namespace {

bool ClassMatches(const TROU& r, const TSIG& exit, std::uint8_t flag) {
    if (flag == 1) return r.Class == RcWarner;
    if (flag != 0) return false;
    return r.Class == RcMain || r.Class == RcShunt || (r.Class == RcCallOn && exit.SignalKind == SkWhiteMarker);
}

bool SomeOverlapClear(TSIG& sig, bool restricted) {
    for (int i = 0; i < sig.Overlaps.Count(); ++i) {
        TOVL* o = sig.Overlaps.At(i);
        if (o && o->Restricted == restricted && o->IsAvailable() && o->AreTCsClear()) return true;
    }
    return false;
}

}  // namespace

RouteRequestResult RouteRequest(Sim& sim, TSIG& entrance, TSIG& exit, std::uint8_t flag) {
    RouteRequestResult result;
    if (sim.ClientMode) {
        std::string payload =
            "QC" + Hex4(sim.Signals.IndexOf(&entrance)) + Hex4(sim.Signals.IndexOf(&exit));
        payload += flag ? '1' : '0';
        payload += sim.Operator.OverrideMode ? '1' : '0';
        sim.SendToServer(payload);
        return result;
    }

    bool matched = false;
    for (int i = 0; i < entrance.Routes.Count() && !result.Set; ++i) {
        TROU* r = entrance.Routes.At(i);
        if (!r || r->Exit != &exit || !ClassMatches(*r, exit, flag)) continue;
        matched = true;
        if (r->Class == RcMain && r->CallOnVariant && r->CallOnVariant->CallOnApplies())
            r = r->CallOnVariant;
        TROU* alternative = r->Alternative;
        if (!r->IsAvailable()) {
            if (alternative && !exit.HasWarnerButton() && alternative->IsAvailable())
                result.Set = alternative->SetRoute();
            continue;
        }
        const bool restrictedClear = SomeOverlapClear(exit, true);
        const bool fullClear = SomeOverlapClear(exit, false);
        const bool onlyRestrictedClear = restrictedClear && !fullClear;
        if ((r->ClearAhead(entrance) && exit.OverlapClearAvailable() && !onlyRestrictedClear) ||
            !alternative || exit.HasWarnerButton() || !alternative->IsAvailable()) {
            result.Set = r->SetRoute();
        } else {
            result.Set = alternative->SetRoute();
        }
    }

    if (!result.Set && !matched && flag == 0) {
        for (const TLongRoute& longRoute : sim.LongRoutes) {
            if (longRoute.Entrance != &entrance || longRoute.Exit != &exit) continue;
            std::int32_t k = 0;
            for (TROU* r : longRoute.Routes) {
                if (!r || !r->IsAvailable()) break;
                sim.QueueDelayedRequest("QC", r->Entrance, r->Exit, 0, 3 * k);
                ++k;
            }
            result.Set = true;
            break;
        }
    }

    if (!result.Set) {
        if (matched) {
            sim.PostEventMessage(sim.LastFailReason, EvTips);
        } else {
            result.NoRoute = true;
        }
    }
    entrance.Draw();
    entrance.SendState();
    return result;
}

// --- the list ------------------------------------------------------------------

TROUList::TROUList() = default;
TROUList::~TROUList() = default;

bool TROUList::Contains(const TROU* route) const {
    return route && IndexOf(route) >= 0;
}

void TROUList::DetermineAutoULCs() const {
    for (int i = 0; i < Count(); ++i) {
        TROU* r = At(i);
        if (!r || r->Class != RcAutomatic || !r->Entrance || r->Entrance->SubroutesToHere.Empty())
            continue;
        const TULC* berth = r->Entrance->SubroutesToHere.At(0);
        TULC* s = berth ? berth->NextSubroute() : nullptr;
        // Never longer than the whole railway, even if the line loops without the exit.
        for (int steps = r->sim().Subroutes.Count() + 1; s && steps > 0; --steps) {
            if (r->Subroutes.Contains(s)) break;
            r->Subroutes.Add({}, s);
            if (s->EndSignal == r->Exit) break;
            s = s->NextSubroute();
        }
        r->BuildDerived();
    }
}

void TROUList::HandleClientMessage(std::string_view payload) const {
    if (payload.size() < 6) return;
    const int index = ParseHex4(payload.substr(2, 4));
    if (index < 0 || index >= Count()) return;
    // State comes from the server only: a server takes no route state from a client.
    if (payload.substr(0, 2) == "RA") {
        if (TROU* r = At(index); r && r->sim().ClientMode) r->ApplyState(payload.substr(6));
    }
}

}  // namespace kestra
