#include "interlocking/signal.h"

#include <string_view>

#include "display/palette.h"
#include "interlocking/overlap.h"
#include "interlocking/route.h"
#include "interlocking/subroute.h"
#include "sim/sim.h"

// A signal: its state setters, queries, the major cycle (aspects and route working),
// reset, save and load. Drawing is in signal_draw.cpp; the signaller's controls and
// the client messages are in signal_controls.cpp.

namespace kestra {

namespace {

// Whether a signal of these lamps can show an aspect.
bool Allows(std::uint8_t flags, std::uint8_t aspect) {
    switch (aspect) {
        case AspDanger:
            return (flags & AfRed) != 0;
        case AspShunt:
            return (flags & AfPositionLight) != 0;
        case AspSingleYellow:
            return (flags & AfSingleYellow) != 0;
        case AspFlashingSingleYellow:
            return (flags & AfFlashingSingleYellow) != 0;
        case AspDoubleYellow:
            return (flags & AfDoubleYellow) != 0;
        case AspFlashingDoubleYellow:
            return (flags & AfFlashingDoubleYellow) != 0;
        case AspGreen:
            return (flags & AfGreen) != 0;
        default:
            return false;
    }
}

}  // namespace

TSIG::TSIG(Sim& sim, std::string id) : TSSIObject(std::move(id)), sim_(sim) {}

TSIG::~TSIG() = default;

// ---------------------------------------------------------------- state setters

void TSIG::SetAspect(std::uint8_t aspect) {
    if (aspect == Aspect) return;
    const bool wasOff = Aspect != AspDanger;
    Aspect = aspect;
    Draw();
    // The describer hears of the signal clearing and returning to danger only: a change
    // between proceed aspects (yellow to green) would fire a signal step a second time.
    if (sim_.TrainDescriber && wasOff != (aspect != AspDanger))
        sim_.TrainDescriber->BerthTDTrigger(*this, aspect != AspDanger);
    SendState();
    if (sim_.SignalFailures) sim_.SignalFailures->OfferFailure(*this);
}

void TSIG::SetAutoWorking(bool flag) {
    if (flag == AutoWorking) return;
    AutoWorking = flag;
    if (!flag) AutoOnWarner = false;
    Draw();
    SendState();
}

namespace {

// Applies a collar change to a signal, its kind-7 second heads and, for a second head,
// its main signal, then redraws and broadcasts each.
template <class Member>
void ApplyCollar(TSIG& sig, Member member, std::uint8_t value) {
    if (sig.*member == value) return;
    auto set = [&](TSIG& s) {
        s.*member = value;
        s.Draw();
        s.SendState();
    };
    set(sig);
    sig.sim().Signals.ForEach([&](TSIG& other) {
        if (other.SignalKind == SkSecondHead && other.NextSignal == &sig && other.*member != value)
            set(other);
    });
    if (sig.SignalKind == SkSecondHead && sig.NextSignal && sig.NextSignal->*member != value)
        set(*sig.NextSignal);
}

}  // namespace

void TSIG::SetCollar(std::uint8_t value) {
    ApplyCollar(*this, &TSIG::Collar, value);
}
void TSIG::SetWarnerCollar(std::uint8_t value) {
    ApplyCollar(*this, &TSIG::WarnerCollar, value);
}
void TSIG::SetAutoCollar(std::uint8_t value) {
    ApplyCollar(*this, &TSIG::AutoCollar, value);
}
void TSIG::SetERCollar(std::uint8_t value) {
    ApplyCollar(*this, &TSIG::ERCollar, value);
}

void TSIG::SetLampProved(bool flag) {
    if (flag == LampProved) return;
    LampProved = flag;
    Draw();
    SendState();
}

void TSIG::SetCurrentRoute(TROU* route) {
    if (route == CurrentRoute) return;
    CurrentRoute = route;
    SendState();
}

void TSIG::SetApproachTimer(std::int32_t value) {
    if (value == ApproachTimer) return;
    const bool wasRunning = ApproachTimer < 255;
    ApproachTimer = value;
    // Clients see only whether the timer runs, so redraw and broadcast when it starts
    // (at whatever value: the 60-second case starts part-way), restarts or stops.
    if (value == 0 || value == 255 || !wasRunning) {
        Draw();
        SendState();
    }
}

void TSIG::SetTRTS(bool flag) {
    if (flag == TRTSOperated) return;
    TRTSOperated = flag;
    SendState();
}

void TSIG::OperateTRTS() {
    if (Aspect == AspDanger && !TRTSOperated) {
        SetTRTS(true);
        Draw();
        SendState();
    }
}

// ---------------------------------------------------------------- queries

bool TSIG::HasSetRoute() const {
    return CurrentRoute != nullptr && CurrentRoute->RouteSet;
}

bool TSIG::RouteProvedAtDanger() const {
    if (CurrentRoute == nullptr || Aspect != AspDanger) return false;
    return CurrentRoute->IsProved();
}

bool TSIG::RouteSuitsTraction(std::uint8_t power) const {
    if (CurrentRoute == nullptr || (power & 8) != 0) return true;
    bool ok = true;
    CurrentRoute->AllSubroutes.ForEach([&](TULC& s) {
        if (!ok || s.TrackCircuit == nullptr) return;
        std::uint8_t supply = s.TrackCircuit->Electrification;
        // A third-rail train may also draw from a fourth-rail circuit.
        if (supply & 4) supply |= 2;
        if ((supply & power) == 0) ok = false;
    });
    return ok;
}

std::int32_t TSIG::LookAheadCount() const {
    if (LookAhead != 0 || (SignalKind != SkRouteWorked && SignalKind != SkAutomatic))
        return LookAhead;
    std::int32_t n = 0;
    for (std::uint8_t bit : {AfRed, AfSingleYellow, AfDoubleYellow, AfGreen}) {
        if (AspectFlags & bit) ++n;
    }
    return n + YellowRun + DoubleYellowRun;
}

TULC* TSIG::ApproachSubroute() const {
    TULC* found = nullptr;
    SubroutesToHere.ForEach([&](TULC& s) {
        if (!found && (s.IsPassable() || s.PointsDetectedInPosition())) found = &s;
    });
    return found;
}

bool TSIG::ApproachOccupied() const {
    const TULC* s = ApproachSubroute();
    return s != nullptr && s->ApproachOccupied();
}

void TSIG::SetBaseAspectFromFlags() {
    if (AspectFlags & AfRed)
        BaseAspect = AspDanger;
    else if (AspectFlags & AfSingleYellow)
        BaseAspect = AspSingleYellow;
    else if (AspectFlags & AfDoubleYellow)
        BaseAspect = AspDoubleYellow;
    else if (AspectFlags & AfGreen)
        BaseAspect = AspGreen;
}

std::uint8_t TSIG::AspectFrom(const TSIG& next, bool repeating) const {
    // A run of closely spaced signals may repeat a yellow.
    auto runOf = [&](std::uint8_t aspect) {
        int count = 0;
        const TSIG* s = &next;
        while (s != nullptr && s->Aspect == aspect && count < 64) {
            ++count;
            s = s->NextSignal;
        }
        return count;
    };
    std::uint8_t answer = BaseAspect;
    bool decided = false;
    if (!repeating && next.Aspect == AspSingleYellow && YellowRun > 0 &&
        YellowRun >= runOf(AspSingleYellow)) {
        answer = AspSingleYellow;
        decided = true;
    } else if (!repeating && next.Aspect == AspDoubleYellow && DoubleYellowRun > 0 &&
               DoubleYellowRun >= runOf(AspDoubleYellow)) {
        answer = AspDoubleYellow;
        decided = true;
    }
    if (!decided) {
        std::array<std::uint8_t, 4> prefs{};
        int n = 0;
        switch (next.Aspect) {
            case AspDanger:
            case AspShunt:
                prefs = {AspSingleYellow, AspGreen};
                n = 2;
                break;
            case AspSingleYellow:
                // A signal with neither double yellow nor green (red and yellow only)
                // falls back to single yellow: with nothing to show it would stay at
                // danger whenever the signal ahead was off.
                if (repeating) {
                    prefs = {AspFlashingSingleYellow, AspDoubleYellow, AspGreen, AspSingleYellow};
                    n = 4;
                } else {
                    prefs = {AspDoubleYellow, AspGreen, AspSingleYellow};
                    n = 3;
                }
                break;
            case AspFlashingSingleYellow:
                prefs = {AspFlashingDoubleYellow, AspGreen, AspSingleYellow};
                n = 3;
                break;
            case AspDoubleYellow:
                prefs = {AspGreen, AspSingleYellow};
                n = 2;
                break;
            default:
                prefs = {AspGreen, AspDoubleYellow, AspSingleYellow};
                n = 3;
                break;
        }
        for (int i = 0; i < n; ++i) {
            if (Allows(AspectFlags, prefs[i])) {
                answer = prefs[i];
                break;
            }
        }
    }
    return answer > BaseAspect ? answer : BaseAspect;
}

// ---------------------------------------------------------------- the major cycle

namespace {

// The aspect hook may change a proceed aspect.
std::uint8_t OfferToAspectHook(TSIG& sig, std::uint8_t aspect) {
    if (aspect == AspDanger || !sig.sim().Hooks.AspectHook) return aspect;
    std::int32_t a = aspect;
    sig.sim().Hooks.AspectHook(sig, a);
    return static_cast<std::uint8_t>(a);
}

// The ClearTime of the subroute in rear of the route's first subroute: how long a train
// must stand on the berth circuit before an approach-released route clears.
std::int32_t BerthClearTime(const TROU& route) {
    if (route.FirstSubroute == nullptr) return 0;
    const TULC* before = route.FirstSubroute->PreviousForDescriber();
    return before ? before->ClearTime : 0;
}

}  // namespace

void TSIG::MajorCycle() {
    ApproachControlled = false;
    if (!sim_.ClientMode) {
        switch (SignalKind) {
            case SkRouteWorked:
                if (HasRedLamp())
                    MainRules();
                else
                    ShuntRules();
                break;
            case SkShunt:
                ShuntRules();
                break;
            case SkAutomatic:
            case SkAutomaticLamp:
                AutomaticRule();
                break;
            case SkRepeating:
            case SkRepeatingRepeater:
                RepeatingRule();
                break;
            default:
                break;
        }
    }
    const bool flashing = Aspect == AspFlashingSingleYellow || Aspect == AspFlashingDoubleYellow;
    if (sim_.Operator.SelectedEntrance == this || flashing || TRTSOperated ||
        (Aspect == AspDanger && ApproachTimer < 255)) {
        if (TRTSOperated && !sim_.ClientMode) {
            if (Aspect != AspDanger || (!TRTSCircuits.Empty() && TRTSCircuits.IsClear()))
                SetTRTS(false);
        }
        Draw();
    }
}

void TSIG::OneSecond() {
    if (!sim_.ClientMode && ApproachTimer < 254) ++ApproachTimer;
}

void TSIG::AutomaticRule() {
    std::uint8_t aspect = BaseAspect;
    bool held = ControlCircuits.IsClear() == false || AutoWorking;
    if (!held) {
        AutoSubroutes.ForEach([&](TULC& s) {
            if (!(s.IsRouteLocked() && s.IsProved())) held = true;
        });
        MustBeFree.ForEach([&](TULC& s) {
            if (!s.IsFree()) held = true;
        });
        if (CurrentRoute && !CurrentRoute->CrossingsProvedDown()) held = true;
        // The next signal's overlap, should a train overrun that signal, must not run
        // onto a road still open. Nor does the signal clear over such an overlap with no
        // train coming: cleared, it would keep the road closed for nobody.
        if (CurrentRoute) {
            const TOVL* overlap = CurrentRoute->OverlapInUse();
            if (overlap && !overlap->LevelCrossings.empty() &&
                (!overlap->CrossingsProvedDown() || !TrainApproaching()))
                held = true;
        }
    }
    if (!held) {
        if (AheadCircuits.IsClear()) {
            if (NextSignal != nullptr) {
                aspect = NextSignal->LampProved ? AspectFrom(*NextSignal, false) : BaseAspect;
            } else {
                for (std::uint8_t a : {AspGreen, AspDoubleYellow, AspSingleYellow, AspShunt}) {
                    if (Allows(AspectFlags, a)) {
                        aspect = a;
                        break;
                    }
                }
            }
        } else {
            // A train held at the signal is released to caution once it has stood there.
            const TULC* first = static_cast<const TULC*>(SubroutesToHere.GetItem(0));
            if ((AspectFlags & AfSingleYellow) && first && first->TrackCircuit &&
                first->TrackCircuit->IsOccupiedFor(first->ClearTime))
                aspect = AspSingleYellow;
        }
    }
    aspect = OfferToAspectHook(*this, aspect);
    SetAspect(aspect);
    ProceedAllowed = Aspect != AspDanger;
    ReleaseAllowed = Aspect == AspDanger;
}

void TSIG::RepeatingRule() {
    if (ControlCircuits.IsClear() && NextSignal != nullptr)
        SetAspect(OfferToAspectHook(*this, AspectFrom(*NextSignal, true)));
    else
        SetAspect(BaseAspect);
    ProceedAllowed = Aspect != AspDanger;
}

void TSIG::UpdatePassage(TROU& route) {
    TTCS* c1 = route.FirstCircuit;
    TTCS* c2 = route.SecondCircuit;
    TTCS* c3 = route.ThirdCircuit;
    if (c1 == nullptr) return;
    switch (PassageState) {
        case 0:
            if (c2 != nullptr) {
                if (c1->IsOccupied() && c2->IsOccupied()) PassageState = 1;
            } else {
                const std::int32_t t = route.FirstSubroute ? route.FirstSubroute->PassageTime : 0;
                if (c1->IsOccupiedFor(t)) PassageState = 1;
            }
            break;
        case 1:
            if (c3 != nullptr) {
                if (c1->IsClear() && (c2->IsOccupied() || c3->IsOccupied())) PassageState = 2;
            } else if (c2 != nullptr) {
                if (c1->IsClear() && c2->IsOccupied()) PassageState = 2;
            } else if (c1->IsClear()) {
                PassageState = 2;
            }
            break;
        case 2:
            PassageState = 3;
            break;
        default:
            break;
    }
}

bool TSIG::TrainApproaching() const {
    if (!HasSetRoute()) return false;
    const TULC* s = ApproachSubroute();
    int sequence = AspDanger;
    bool first = true;
    for (int guard = 0; s != nullptr && guard < 1000; ++guard) {
        if (!first && s->EndSignal != nullptr) {
            const TSIG& rear = *s->EndSignal;
            if (rear.Aspect == AspDanger && rear.ApproachTimer < 255) return false;
            // The aspect a driver would have seen in rear, stepping towards green.
            auto has = [&](std::uint8_t bit) { return (rear.AspectFlags & bit) != 0; };
            if (sequence <= AspShunt) {
                if (has(AfSingleYellow))
                    sequence = AspSingleYellow;
                else if (has(AfDoubleYellow))
                    sequence = AspDoubleYellow;
                else if (has(AfGreen))
                    sequence = AspGreen;
            } else if (sequence == AspSingleYellow) {
                if (has(AfDoubleYellow))
                    sequence = AspDoubleYellow;
                else if (has(AfGreen))
                    sequence = AspGreen;
            } else if (has(AfGreen)) {
                sequence = AspGreen;
            }
            if (sequence == AspGreen) return false;
        }
        first = false;
        if (s->TrackCircuit != nullptr && s->TrackCircuit->IsOccupied()) return true;
        s = s->PreviousDetected();
    }
    return false;
}

void TSIG::ApplyApproachLocking(bool mainSignal) {
    // a. The timer stops unless a cancel is waiting for release.
    if (ReleaseAllowed || !CancelRequested) SetApproachTimer(255);
    // b.
    if (ProceedAllowed || ReleaseAllowed) {
        ReleaseAllowed = false;
        return;
    }
    bool permit = false;
    if (PassageState == 3) {
        permit = true;
    } else if (ApproachTimer <= 254) {
        permit = ApproachTimer >= ApproachTime;
    } else if (CancelRequested) {
        if (mainSignal && sim_.ARSEvents) sim_.ARSEvents->RouteCancelled(*this);
        if (TrainApproaching() && WasOff) {
            ReleaseAllowed = false;
            const TULC* approach = ApproachSubroute();
            if (mainSignal && approach && ApproachTime > 60 && BerthCircuit &&
                BerthCircuit->IsOccupiedFor(approach->ClearTime)) {
                SetApproachTimer(ApproachTime - 60);
                // A general simulation message: the player cannot switch it off, and it
                // explains the score lost for the cancel.
                sim_.PostEventMessage("60 seconds approach locking applied - train approaching",
                                      EvGeneral);
            } else {
                SetApproachTimer(0);
                sim_.PostEventMessage(std::to_string(ApproachTime) +
                                          " seconds approach locking applied - train approaching",
                                      EvGeneral);
            }
            sim_.Performance.Penalise(kRouteCancelledPenalty);
            ++sim_.Performance.RoutesCancelledApproaching;
        } else {
            permit = true;
        }
    }
    if (permit) {
        ReleaseAllowed = true;
        SetApproachTimer(255);
        Draw();
    }
}

void TSIG::ReleaseRoute() {
    if (CurrentRoute) CurrentRoute->Unset();
    TrainPassed = false;
    Armed = true;
    ReleaseAllowed = false;
    SetCurrentRoute(nullptr);
    Draw();
}

void TSIG::RouteReleaseAndAutoWorking(bool allowRelease) {
    // Route release.
    if (allowRelease) {
        if (!HasSetRoute()) {
            ReleaseAllowed = true;
            Armed = true;
        } else if (ReleaseAllowed && CancelRequested) {
            ReleaseRoute();
        } else {
            if (!Armed && !ProceedAllowed && !CancelRequested && !AutoWorking && !TrainPassed)
                TrainPassed = true;
            if (!AutoWorking && ReleaseAllowed && TrainPassed) ReleaseRoute();
        }
    }
    // Automatic working.
    if (CancelRequested) {
        SetAutoWorking(false);
        Armed = true;
    }
    if (AutoWorking) Armed = true;
    if (Armed) TrainPassed = false;
    if (Armed && ProceedAllowed) SetPassageState(0);
}

void TSIG::UpdateApproachLit() {
    if (!ApproachLit) return;
    bool lit = false;
    SubroutesToHere.ForEach([&](TULC& s) {
        if (!s.IsFree()) lit = true;
    });
    SetLampProved(lit);
}

void TSIG::Idle() {
    Armed = true;
    ReleaseAllowed = true;
    SetAspect(AspDanger);
}

void TSIG::MainRules() {
    if (!HasSetRoute()) {
        Idle();
        UpdateApproachLit();
        return;
    }
    TROU& route = *CurrentRoute;
    UpdatePassage(route);
    // Replacement as the train passes.
    if (ShowsProceed() && BerthCircuit && BerthCircuit->IsOccupied() && route.FirstCircuit &&
        route.FirstCircuit->IsOccupied())
        Armed = false;
    if (sim_.Hooks.SignalRouteCheckHook) sim_.Hooks.SignalRouteCheckHook(*this);
    if (!HasSetRoute()) {
        Idle();
        UpdateApproachLit();
        return;
    }
    if (BerthCircuit && BerthCircuit->IsOccupied() && route.FirstSubroute &&
        route.FirstSubroute->TrackCircuit && route.FirstSubroute->TrackCircuit->IsOccupied())
        route.MarkPresetsEntered();
    TSIG* ahead = nullptr;
    if (route.ClearAhead(*this, &ahead) && ahead) ahead->PresetEntered = false;
    Exchanges();
    TROU& current = *CurrentRoute;

    // May the signal show a proceed aspect?
    WasOff = ShowsProceed();
    RouteProvedFlags flags;
    const bool proved = current.IsProved(flags);
    const bool shunt = flags.ShuntAspect;
    const bool wait = flags.ApproachWait;
    TSIG* exit = current.Exit;
    // Only a route that takes an overlap waits for one: main and automatic routes, and
    // warner routes to a signal with restricted overlaps. Shunt and call-on routes, and
    // warner routes to a signal without restricted overlaps, set none, so waiting for
    // the exit's overlap would keep their signal at danger for good.
    const bool needsOverlap =
        current.Class == RcMain || current.Class == RcAutomatic ||
        (current.Class == RcWarner && exit && exit->RestrictedOverlapCount() > 0);
    ProceedAllowed = Armed && proved && exit && exit->LampProved &&
                     (!needsOverlap || exit->OverlapProved()) && !CancelRequested;

    std::uint8_t aspect = AspDanger;
    if (ProceedAllowed) {
        const bool waited =
            !wait || (BerthCircuit && BerthCircuit->IsOccupiedFor(BerthClearTime(current)));
        if (shunt) {
            if (waited) aspect = AspShunt;
        } else if (waited) {
            aspect = AspectFrom(*exit, false);
        }
    }
    PresetsProceeding = aspect != AspDanger;
    if (!current.PresetsOff()) aspect = AspDanger;
    if (aspect != AspDanger) {
        aspect = OfferToAspectHook(*this, aspect);
        ReleaseAllowed = false;
    }
    SetAspect(aspect);

    ApplyApproachLocking(true);
    RouteReleaseAndAutoWorking(true);
    UpdateApproachLit();
}

void TSIG::Exchanges() {
    TROU& route = *CurrentRoute;
    // Warner to main: once the main route's track is clear the warner route is upgraded.
    if (route.Class == RcWarner && route.MainRoute) {
        TROU& main = *route.MainRoute;
        TSIG* mainExit = main.Exit;
        if (main.Subroutes.AreTCsClear() && mainExit && mainExit->OverlapClearAvailable() &&
            ProceedAllowed && Aspect == AspDanger && mainExit->Armed && mainExit->HasSetRoute()) {
            route.Unset();
            main.MarkSet();
            if (mainExit->CurrentOverlap) mainExit->CurrentOverlap->Clear();
            mainExit->SetFullOverlapForUpgrade();
            const TOVL* full = mainExit->CurrentOverlap;
            if (!mainExit->Overlaps.Empty() && !(full && full->IsSet() && !full->Restricted)) {
                // No full overlap can be taken now: a main route without one would hold
                // the signal at danger, so the warner route stays with its own overlap.
                main.Unset();
                route.MarkSet();
                if (mainExit->RestrictedOverlapCount() > 0) mainExit->SetRestrictedOverlap();
                return;
            }
            SetCurrentRoute(&main);
            mainExit->RouteIn = &main;
            main.SetPresets();
        }
        return;
    }
    // Main to alternative: automatic working selected on a warner-capable signal.
    if (route.Class == RcMain && route.Alternative && AutoOnWarner && PassageState > 1 &&
        !ProceedAllowed) {
        TROU& alt = *route.Alternative;
        route.Unset();
        alt.MarkSet();
        SetCurrentRoute(&alt);
        if (alt.Exit) {
            alt.Exit->RouteIn = &alt;
            if (alt.Exit->CurrentOverlap) alt.Exit->CurrentOverlap->Clear();
            alt.Exit->SetRestrictedOverlap();
        }
        alt.SetPresets();
    }
}

void TSIG::ShuntRules() {
    const bool active = HasSetRoute() || PresetMode;
    if (!active) {
        Idle();
        UpdateApproachLit();
        return;
    }
    TROU* route = PresetMode && PresetRoute ? PresetRoute : CurrentRoute;
    if (route == nullptr) {
        Idle();
        UpdateApproachLit();
        return;
    }
    if (!PresetMode) {
        if (ReleaseAllowed)
            PassageState = 0;
        else
            UpdatePassage(*route);
        if (ShowsProceed() && BerthCircuit && BerthCircuit->IsOccupied() && route->FirstCircuit &&
            route->FirstCircuit->IsOccupied())
            Armed = false;
    }
    if (sim_.Hooks.SignalRouteCheckHook) sim_.Hooks.SignalRouteCheckHook(*this);
    if (!PresetMode) {
        if (BerthCircuit && BerthCircuit->IsOccupied() && route->FirstSubroute &&
            route->FirstSubroute->TrackCircuit && route->FirstSubroute->TrackCircuit->IsOccupied())
            route->MarkPresetsEntered();
    } else {
        bool allFree = true;
        SubroutesToHere.ForEach([&](TULC& s) {
            if (!s.IsFree()) allFree = false;
        });
        if (allFree) {
            PresetEntered = false;
            PresetMode = false;
            PresetRoute = nullptr;
            SetCurrentRoute(nullptr);
            Draw();
            Idle();
            UpdateApproachLit();
            return;
        }
    }

    WasOff = ShowsProceed();
    TSIG* exit = route->Exit;
    const bool exitLit = exit && exit->LampProved;
    if (PresetMode) {
        const TSIG* entrance = route->Entrance;
        TSIG* ahead = nullptr;
        const bool clearAhead = route->ClearAhead(*this, &ahead);
        const bool passing = ShowsProceed() && BerthCircuit && BerthCircuit->IsOccupied() &&
                             FirstCircuitAhead && FirstCircuitAhead->IsOccupied();
        ProceedAllowed =
            ((route->RouteSet && entrance && entrance->ProceedAllowed) || PresetEntered) &&
            (clearAhead || passing) && exitLit;
        std::uint8_t aspect = AspDanger;
        if (ProceedAllowed && ((entrance && entrance->PresetsProceeding) || PresetEntered))
            aspect = AspShunt;
        SetAspect(OfferToAspectHook(*this, aspect));
        UpdateApproachLit();
        return;
    }

    ProceedAllowed = Armed && route->Subroutes.RouteProved() && route->CrossingsProvedDown() &&
                     exitLit && !CancelRequested;
    std::uint8_t aspect = AspDanger;
    if (ProceedAllowed && BerthCircuit && BerthCircuit->IsOccupiedFor(BerthClearTime(*route)))
        aspect = AspShunt;
    SetAspect(OfferToAspectHook(*this, aspect));
    ApplyApproachLocking(false);
    RouteReleaseAndAutoWorking(true);
    UpdateApproachLit();
}

// ---------------------------------------------------------------- reset, save, load

void TSIG::Reset() {
    ApproachTimer = 255;
    ProceedAllowed = false;
    Aspect = BaseAspect;
    AutoWorking = false;
    ReleaseAllowed = false;
    LampProved = true;
    // Armed, as an idle signal is: a route set before the signal's first cycle must be able
    // to clear it. A disarmed signal with a route counts as passed by a train and never
    // clears again for that route.
    Armed = true;
    PassageState = 0;
    TrainPassed = false;
    Collar = 0;
    WarnerCollar = 0;
    AutoCollar = 0;
    ERCollar = 0;
    AutoOnWarner = false;
    SwingCandidate = nullptr;
    CancelRequested = false;
    CurrentRoute = nullptr;
    ApproachControlled = false;
    WasOff = false;
    CurrentOverlap = nullptr;
    PresetRoute = nullptr;
    PresetMode = false;
    PresetEntered = false;
    ApproachTime = 0;
    RouteIn = nullptr;
    TRTSOperated = false;
}

bool TSIG::Save(ValueWriter& w) {
    auto index = [](const TSSIList& list, const TSSIObject* o) { return o ? list.IndexOf(o) : -1; };
    w.WriteInteger(ApproachTimer);
    w.WriteBoolean(ProceedAllowed);
    w.WriteInteger(Aspect);
    w.WriteBoolean(AutoWorking);
    w.WriteBoolean(ReleaseAllowed);
    w.WriteBoolean(LampProved);
    w.WriteBoolean(Armed);
    w.WriteInteger(PassageState);
    w.WriteBoolean(TrainPassed);
    w.WriteInteger(Collar + 8 * AutoCollar + 64 * WarnerCollar + 512 * ERCollar);
    w.WriteBoolean(AutoOnWarner);
    w.WriteInteger(index(sim_.Overlaps, SwingCandidate));
    w.WriteBoolean(CancelRequested);
    w.WriteInteger(index(sim_.Routes, CurrentRoute));
    w.WriteBoolean(ApproachControlled);
    w.WriteBoolean(WasOff);
    w.WriteInteger(index(sim_.Overlaps, CurrentOverlap));
    w.WriteInteger(index(sim_.Routes, PresetRoute));
    w.WriteBoolean(PresetMode);
    w.WriteBoolean(PresetEntered);
    w.WriteInteger(ApproachTime);
    w.WriteInteger(index(sim_.Routes, RouteIn));
    w.WriteBoolean(TRTSOperated);
    w.WriteInteger(SightingDistance);
    return true;
}

bool TSIG::StageLoad(ValueReader& r, LoadCommits& commits) {
    struct Record {
        std::int32_t approachTimer = 0;
        bool proceedAllowed = false;
        std::int32_t aspect = 0;
        bool autoWorking = false, releaseAllowed = false, lampProved = false, armed = false;
        std::int32_t passageState = 0;
        bool trainPassed = false;
        std::int32_t collars = 0;
        bool autoOnWarner = false;
        TOVL* swing = nullptr;
        bool cancelRequested = false;
        TROU* currentRoute = nullptr;
        bool approachControlled = false, wasOff = false;
        TOVL* currentOverlap = nullptr;
        TROU* presetRoute = nullptr;
        bool presetMode = false, presetEntered = false;
        std::int32_t approachTime = 0;
        TROU* routeIn = nullptr;
        bool trts = false;
        std::int32_t sighting = 0;
    } rec;
    rec.approachTimer = r.ReadInteger();
    rec.proceedAllowed = r.ReadBoolean();
    rec.aspect = r.ReadInteger();
    rec.autoWorking = r.ReadBoolean();
    rec.releaseAllowed = r.ReadBoolean();
    rec.lampProved = r.ReadBoolean();
    rec.armed = r.ReadBoolean();
    rec.passageState = r.ReadInteger();
    rec.trainPassed = r.ReadBoolean();
    rec.collars = r.ReadInteger();
    rec.autoOnWarner = r.ReadBoolean();
    rec.swing = ReadReference(r, sim_.Overlaps);
    rec.cancelRequested = r.ReadBoolean();
    rec.currentRoute = ReadReference(r, sim_.Routes);
    rec.approachControlled = r.ReadBoolean();
    rec.wasOff = r.ReadBoolean();
    rec.currentOverlap = ReadReference(r, sim_.Overlaps);
    rec.presetRoute = ReadReference(r, sim_.Routes);
    rec.presetMode = r.ReadBoolean();
    rec.presetEntered = r.ReadBoolean();
    rec.approachTime = r.ReadInteger();
    rec.routeIn = ReadReference(r, sim_.Routes);
    rec.trts = r.ReadBoolean();
    rec.sighting = r.ReadInteger();
    if (rec.aspect < 0 || rec.aspect > AspGreen || rec.passageState < 0 || rec.passageState > 3 ||
        rec.approachTimer < 0 || rec.approachTimer > 255)
        return false;
    commits.Add([this, rec] {
        ApproachTimer = rec.approachTimer;
        ProceedAllowed = rec.proceedAllowed;
        Aspect = static_cast<std::uint8_t>(rec.aspect);
        AutoWorking = rec.autoWorking;
        ReleaseAllowed = rec.releaseAllowed;
        LampProved = rec.lampProved;
        Armed = rec.armed;
        PassageState = rec.passageState;
        TrainPassed = rec.trainPassed;
        Collar = rec.collars & 7;
        AutoCollar = (rec.collars >> 3) & 7;
        WarnerCollar = (rec.collars >> 6) & 7;
        ERCollar = (rec.collars >> 9) & 7;
        AutoOnWarner = rec.autoOnWarner;
        SwingCandidate = rec.swing;
        CancelRequested = rec.cancelRequested;
        CurrentRoute = rec.currentRoute;
        ApproachControlled = rec.approachControlled;
        WasOff = rec.wasOff;
        CurrentOverlap = rec.currentOverlap;
        PresetRoute = rec.presetRoute;
        PresetMode = rec.presetMode;
        PresetEntered = rec.presetEntered;
        ApproachTime = rec.approachTime;
        RouteIn = rec.routeIn;
        TRTSOperated = rec.trts;
        SightingDistance = rec.sighting;
    });
    return true;
}

}  // namespace kestra
