#include "interlocking/signal.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "sim/sim.h"
#include "interlocking/overlap.h"
#include "interlocking/route.h"
#include "interlocking/subroute.h"
#include "display/palette.h"

namespace kestra {

namespace {

// Glyph-string codes for the palette colours used by signals.
constexpr char FgBlack = static_cast<char>(210);
constexpr char FgGrey = static_cast<char>(211);
constexpr char FgWhite = static_cast<char>(212);
constexpr char FgRed = static_cast<char>(213);
constexpr char FgOrange = static_cast<char>(214);
constexpr char FgYellow = static_cast<char>(215);
constexpr char FgGreen = static_cast<char>(216);
constexpr char FgSkyBlue = static_cast<char>(217);
constexpr char BgBlack = static_cast<char>(230);
constexpr char BgOrange = static_cast<char>(234);
constexpr char BgCyan = static_cast<char>(239);
constexpr char BgPink = static_cast<char>(240);

constexpr char LampUnlit = 'p';
constexpr char LampLit = 'q';

// A glyph string built without touching the heap.
class GlyphBuf {
public:
    void Put(char c) {
        if (n_ < buf_.size()) buf_[n_++] = c;
    }
    std::string_view View() const { return {buf_.data(), n_}; }
    // Cells covered: the codes below 200.
    int Cells() const {
        int c = 0;
        for (std::size_t i = 0; i < n_; ++i) {
            if (static_cast<unsigned char>(buf_[i]) < 200) ++c;
        }
        return c;
    }

private:
    std::array<char, 32> buf_{};
    std::size_t n_ = 0;
};

// One cell of a drawn control: its background, foreground and glyph.
struct Piece {
    char bg;
    char fg;
    char glyph;
};

// Backgrounds from a collar value: bgA under the post or button, bgB under the lamps.
void CollarBackgrounds(std::uint8_t collar, char& bgA, char& bgB) {
    switch (collar & 3) {
        case 1: bgA = bgB = BgCyan; break;
        case 2: bgA = bgB = BgPink; break;
        case 3: bgA = BgPink; bgB = BgCyan; break;
        default: bgA = bgB = BgBlack; break;
    }
}

// Writes pieces left to right, or mirrored (right to left order) for orientations 1 and 3.
void Emit(GlyphBuf& out, const Piece* pieces, int count, bool mirrored) {
    char bg = 0;
    char fg = 0;
    for (int k = 0; k < count; ++k) {
        const Piece& p = pieces[mirrored ? count - 1 - k : k];
        if (p.bg != bg) {
            out.Put(p.bg);
            bg = p.bg;
        }
        if (p.fg != fg) {
            out.Put(p.fg);
            fg = p.fg;
        }
        out.Put(p.glyph);
    }
}

// Whether a signal of these lamps can show an aspect.
bool Allows(std::uint8_t flags, std::uint8_t aspect) {
    switch (aspect) {
        case AspDanger: return (flags & AfRed) != 0;
        case AspShunt: return (flags & AfPositionLight) != 0;
        case AspSingleYellow: return (flags & AfSingleYellow) != 0;
        case AspFlashingSingleYellow: return (flags & AfFlashingSingleYellow) != 0;
        case AspDoubleYellow: return (flags & AfDoubleYellow) != 0;
        case AspFlashingDoubleYellow: return (flags & AfFlashingDoubleYellow) != 0;
        case AspGreen: return (flags & AfGreen) != 0;
        default: return false;
    }
}

}  // namespace

TSIG::TSIG(Sim& sim, std::string id) : TSSIObject(std::move(id)), sim_(sim) {}

TSIG::~TSIG() = default;

// ---------------------------------------------------------------- state setters

void TSIG::SetAspect(std::uint8_t aspect) {
    if (aspect == Aspect) return;
    Aspect = aspect;
    Draw();
    if (sim_.TrainDescriber) sim_.TrainDescriber->BerthTDTrigger(*this, aspect != AspDanger);
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
        if (other.SignalKind == 7 && other.NextSignal == &sig && other.*member != value)
            set(other);
    });
    if (sig.SignalKind == 7 && sig.NextSignal && sig.NextSignal->*member != value)
        set(*sig.NextSignal);
}

}  // namespace

void TSIG::SetCollar(std::uint8_t value) { ApplyCollar(*this, &TSIG::Collar, value); }
void TSIG::SetWarnerCollar(std::uint8_t value) { ApplyCollar(*this, &TSIG::WarnerCollar, value); }
void TSIG::SetAutoCollar(std::uint8_t value) { ApplyCollar(*this, &TSIG::AutoCollar, value); }
void TSIG::SetERCollar(std::uint8_t value) { ApplyCollar(*this, &TSIG::ERCollar, value); }

void TSIG::SetLampProved(bool flag) {
    if (flag == LampProved) return;
    LampProved = flag;
    Draw();
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

// ---------------------------------------------------------------- client state

void TSIG::SendState() {
    if (!sim_.IsBroadcasting()) return;
    const int index = sim_.Signals.IndexOf(this);
    if (index < 0) return;
    std::string rec(8, '\0');
    rec[0] = 'S';
    rec[1] = 'A';
    rec[2] = static_cast<char>(index & 0xFF);
    rec[3] = static_cast<char>((index >> 8) & 0xFF);
    unsigned flags = Aspect & 0x0F;
    if (AutoWorking) flags |= 0x10;
    if (LampProved) flags |= 0x20;
    if (TRTSOperated) flags |= 0x40;
    if (ApproachTimer < 255) flags |= 0x80;
    rec[4] = static_cast<char>(flags);
    rec[5] = static_cast<char>((Collar & 3) | ((AutoCollar & 3) << 2) | ((WarnerCollar & 3) << 4) |
                               ((ERCollar & 3) << 6));
    const int route = CurrentRoute ? sim_.Routes.IndexOf(CurrentRoute) + 1 : 0;
    rec[6] = static_cast<char>(route & 0xFF);
    rec[7] = static_cast<char>((route >> 8) & 0xFF);
    sim_.Broadcast(rec);
}

void TSIG::ApplyState(std::string_view rec) {
    if (rec.size() < 8) return;
    const auto byte = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(rec[i])); };
    const unsigned flags = byte(4);
    const unsigned collars = byte(5);
    Aspect = static_cast<std::uint8_t>(flags & 0x0F);
    AutoWorking = (flags & 0x10) != 0;
    LampProved = (flags & 0x20) != 0;
    TRTSOperated = (flags & 0x40) != 0;
    ApproachTimer = (flags & 0x80) != 0 ? 0 : 255;
    Collar = collars & 3;
    AutoCollar = (collars >> 2) & 3;
    WarnerCollar = (collars >> 4) & 3;
    ERCollar = (collars >> 6) & 3;
    const int route = static_cast<int>(byte(6) | (byte(7) << 8));
    CurrentRoute = route > 0 ? sim_.Routes.At(route - 1) : nullptr;
    Draw();
}

// ---------------------------------------------------------------- queries

bool TSIG::HasSetRoute() const { return CurrentRoute != nullptr && CurrentRoute->RouteSet; }

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
    if (LookAhead != 0 || (SignalKind != 0 && SignalKind != 2)) return LookAhead;
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
        std::array<std::uint8_t, 3> prefs{};
        int n = 0;
        switch (next.Aspect) {
            case AspDanger:
            case AspShunt:
                prefs = {AspSingleYellow, AspGreen};
                n = 2;
                break;
            case AspSingleYellow:
                if (repeating) {
                    prefs = {AspFlashingSingleYellow, AspDoubleYellow, AspGreen};
                    n = 3;
                } else {
                    prefs = {AspDoubleYellow, AspGreen};
                    n = 2;
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
            case 0:
                if (HasRedLamp())
                    MainRules();
                else
                    ShuntRules();
                break;
            case 1: ShuntRules(); break;
            case 2:
            case 9: AutomaticRule(); break;
            case 3:
            case 4: RepeatingRule(); break;
            default: break;
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
        case 2: PassageState = 3; break;
        default: break;
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
            sim_.Score = sim_.Score >= 50 ? sim_.Score - 50 : 0;
            ++sim_.ApproachLockingIncidents;
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
    CurrentRoute = nullptr;
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
    if (route.Class == 2 && route.MainRoute) {
        TROU& main = *route.MainRoute;
        TSIG* mainExit = main.Exit;
        if (main.Subroutes.AreTCsClear() && mainExit && mainExit->OverlapClearAvailable() &&
            ProceedAllowed && Aspect == AspDanger && mainExit->Armed && mainExit->HasSetRoute()) {
            route.Unset();
            main.MarkSet();
            CurrentRoute = &main;
            mainExit->RouteIn = &main;
            if (mainExit->CurrentOverlap) mainExit->CurrentOverlap->Clear();
            mainExit->SetFullOverlapForUpgrade();
            main.SetPresets();
        }
        return;
    }
    // Main to alternative: automatic working selected on a warner-capable signal.
    if (route.Class == 0 && route.Alternative && AutoOnWarner && PassageState > 1 &&
        !ProceedAllowed) {
        TROU& alt = *route.Alternative;
        route.Unset();
        alt.MarkSet();
        CurrentRoute = &alt;
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
            CurrentRoute = nullptr;
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
        ProceedAllowed = ((route->RouteSet && entrance && entrance->ProceedAllowed) ||
                          PresetEntered) &&
                         (clearAhead || passing) && exitLit;
        std::uint8_t aspect = AspDanger;
        if (ProceedAllowed && ((entrance && entrance->PresetsProceeding) || PresetEntered))
            aspect = AspShunt;
        SetAspect(OfferToAspectHook(*this, aspect));
        UpdateApproachLit();
        return;
    }

    ProceedAllowed = Armed && route->Subroutes.RouteProved() && exitLit && !CancelRequested;
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
    Armed = false;
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

// ---------------------------------------------------------------- drawing

namespace {

char LampColourFor(const TSIG& s, std::uint8_t aspect, bool second) {
    const bool flash = s.sim().FlashPhase;
    if (second) {
        if (aspect == AspDoubleYellow) return FgYellow;
        if (aspect == AspFlashingDoubleYellow) return flash ? FgYellow : FgBlack;
        return 0;
    }
    switch (aspect) {
        case AspDanger: return (s.ApproachTimer < 255 && !flash) ? FgBlack : FgRed;
        case AspShunt: return FgRed;
        case AspSingleYellow:
        case AspDoubleYellow: return FgYellow;
        case AspFlashingSingleYellow:
        case AspFlashingDoubleYellow: return flash ? FgYellow : FgBlack;
        default: return FgGreen;
    }
}

}  // namespace

int TSIG::DrawHeadAt(int x, int y) {
    const Sim& sim = sim_;
    const bool showShunts = sim.Options().ShowShunts;
    const bool mirrored = (HeadOrientation & 1) != 0;
    const char post = static_cast<char>(128 + (HeadOrientation & 3));
    const char posLight = mirrored ? 's' : 'r';
    const char marker = static_cast<char>(mirrored ? 140 : 141);
    char bgA, bgB;
    const TSIG* collarSource = (SignalKind == 7 && NextSignal) ? NextSignal : this;
    CollarBackgrounds(collarSource->Collar, bgA, bgB);

    auto repeatsAutomatic = [&] {
        if (SignalKind == 3) return NextSignal && NextSignal->SignalKind == 2;
        if (SignalKind == 4)
            return NextSignal && NextSignal->NextSignal && NextSignal->NextSignal->SignalKind == 2;
        return false;
    };
    const bool mainLamps = (AspectFlags & (AfRed | AfSingleYellow | AfDoubleYellow | AfGreen)) != 0;
    const bool hasL2 = (AspectFlags & AfDoubleYellow) != 0;
    const char postColour = HasSetRoute() ? FgWhite : FgGrey;

    Piece pieces[6];
    int n = 0;
    int width = 0;
    bool countCells = false;
    int startX = x;
    auto lamps = [&](char bg) {
        if (!LampProved) {
            pieces[n++] = {bg, FgGrey, LampUnlit};
            if (hasL2) pieces[n++] = {bg, FgGrey, ' '};
        } else {
            pieces[n++] = {bg, LampColourFor(*this, Aspect, false), LampLit};
            if (hasL2) {
                const char c2 = LampColourFor(*this, Aspect, true);
                pieces[n++] = {bg, c2 ? c2 : FgBlack, c2 ? LampLit : ' '};
            }
        }
    };

    if (SignalKind == 2 || ((SignalKind == 3 || SignalKind == 4) && repeatsAutomatic())) {
        pieces[n++] = {bgA, FgGrey, post};
        lamps(bgB);
        countCells = true;
    } else if ((SignalKind == 0 && mainLamps) || SignalKind == 3 || SignalKind == 4) {
        pieces[n++] = {bgA, postColour, post};
        if (AspectFlags & AfPositionLight)
            pieces[n++] = {bgA, (Aspect == AspShunt && LampProved) ? FgWhite : FgGrey, posLight};
        lamps(bgB);
        countCells = true;
    } else if (SignalKind == 0 || (SignalKind == 1 && showShunts)) {
        const char lamp = Aspect == AspShunt
                              ? FgWhite
                              : ((ApproachTimer < 255 && !sim.FlashPhase) ? FgBlack : FgRed);
        pieces[n++] = {bgA, postColour, post};
        pieces[n++] = {bgB, lamp, posLight};
        width = 2;
    } else if (SignalKind == 9) {
        pieces[n++] = {bgA, FgGrey, post};
        pieces[n++] = {bgB, FgGrey, LampProved ? LampLit : LampUnlit};
        width = 2;
    } else if (SignalKind == 10 && showShunts) {
        pieces[n++] = {bgA, FgGrey, post};
        pieces[n++] = {bgB, FgGrey, posLight};
        width = 2;
    } else if (SignalKind == 5 || SignalKind == 7 || (SignalKind == 8 && showShunts) ||
               (SignalKind == 6 && showShunts)) {
        const char fg = SignalKind == 6 ? FgWhite : FgGrey;
        pieces[n++] = {bgA, fg, marker};
        pieces[n++] = {bgB, fg, ' '};
        if (mirrored) startX = x - 1;
        width = 1;
    } else {
        return 0;
    }
    GlyphBuf buf;
    Emit(buf, pieces, n, mirrored);
    sim_.Display().DrawText(startX, y, ClGrey, buf.View());
    return countCells ? buf.Cells() : width;
}

int TSIG::DrawAutoButtonAt(int x, int y) {
    char bgA, bgB;
    CollarBackgrounds(AutoCollar, bgA, bgB);
    const Piece pieces[2] = {{bgA, FgSkyBlue, AutoWorking ? LampLit : LampUnlit},
                             {bgB, FgSkyBlue, 'A'}};
    GlyphBuf buf;
    Emit(buf, pieces, 2, (HeadOrientation & 1) != 0);
    sim_.Display().DrawText(x, y, ClSkyBlue, buf.View());
    return 2;
}

int TSIG::DrawERButtonAt(int x, int y) {
    char bgA, bgB;
    CollarBackgrounds(ERCollar, bgA, bgB);
    const Piece pieces[2] = {{bgA, FgRed, AutoWorking ? LampLit : LampUnlit}, {bgB, FgRed, 'E'}};
    GlyphBuf buf;
    Emit(buf, pieces, 2, (HeadOrientation & 1) != 0);
    sim_.Display().DrawText(x, y, ClRed, buf.View());
    return 2;
}

int TSIG::DrawWarnerButtonAt(int x, int y) {
    char bgA, bgB;
    CollarBackgrounds(WarnerCollar, bgA, bgB);
    GlyphBuf buf;
    buf.Put(bgA);
    buf.Put(FgYellow);
    buf.Put(static_cast<char>((HeadOrientation & 1) != 0 ? 140 : 141));
    sim_.Display().DrawText(x, y, ClYellow, buf.View());
    return 1;
}

void TSIG::DrawEntranceMarkerAt(int x, int y, std::string_view text) {
    if (sim_.Operator.SelectedEntrance != this) return;
    sim_.Display().DrawText(x, y, sim_.FlashPhase ? ClWhite : ClBlack, text);
}

void TSIG::Draw() {
    Elements.ForEach([&](TPEL& e) {
        switch (e.Role) {
            case SerHead:
            case SerHead2:
            case SerHead3:
            case SerHead4: e.Width = DrawHeadAt(e.X, e.Y); break;
            case SerEntrance:
                DrawEntranceMarkerAt(e.X, e.Y, e.Text);
                e.Width = 0;
                break;
            case SerWarner: e.Width = DrawWarnerButtonAt(e.X, e.Y); break;
            case SerAuto: e.Width = DrawAutoButtonAt(e.X, e.Y); break;
            case SerER: e.Width = DrawERButtonAt(e.X, e.Y); break;
            default: break;
        }
    });
    HeadWidth = (X != 0 || Y != 0) ? DrawHeadAt(X, Y) : 0;
    if (AutoButtonX != 0 || AutoButtonY != 0) DrawAutoButtonAt(AutoButtonX, AutoButtonY);
    if (EntranceX != 0 || EntranceY != 0) DrawEntranceMarkerAt(EntranceX, EntranceY, "a");
    if (ERButtonX != 0 || ERButtonY != 0) DrawERButtonAt(ERButtonX, ERButtonY);
    if (HasWarnerButton()) DrawWarnerButtonAt(WarnerButtonX, WarnerButtonY);
    if (HasTRTS()) {
        GlyphBuf buf;
        if (!TRTSOperated) {
            if (TRTSStyle == 0) {
                buf.Put(FgOrange);
                buf.Put(LampUnlit);
            } else {
                buf.Put(BgOrange);
                buf.Put(' ');
            }
        } else if (TRTSStyle == 0) {
            buf.Put(sim_.FlashPhase ? FgWhite : FgBlack);
            buf.Put(LampLit);
        } else {
            buf.Put(BgOrange);
            buf.Put(FgWhite);
            buf.Put(sim_.FlashPhase ? LampLit : ' ');
        }
        sim_.Display().DrawText(TRTSX, TRTSY, ClOrange, buf.View());
    }
}

}  // namespace kestra

// ---------------------------------------------------------------- the signaller's clicks

namespace kestra {

namespace {

// Request codes a client sends for each control, button and mode:
// [control][left 0 / right 1][reminder 0, isolation 1, normal 2]; empty where the
// client acts through the route request, the cancel request or its own menu.
constexpr const char* kClientCodes[4][2][3] = {
    {{"SD", "SB", ""}, {"SE", "SC", ""}},
    {{"SI", "SH", "SF"}, {"SK", "SJ", "SG"}},
    {{"SM", "SL", ""}, {"SO", "SN", ""}},
    {{"SS", "SR", "SP"}, {"SU", "ST", "SQ"}},
};

bool InRow(int y, int rowY, int x, int from, int to) { return y == rowY && x >= from && x <= to; }

}  // namespace

bool TSIG::HasEntranceMarker() const {
    if (EntranceX != 0 || EntranceY != 0) return true;
    bool found = false;
    Elements.ForEach([&](TPEL& e) {
        if (e.Role == SerEntrance) found = true;
    });
    return found;
}

void TSIG::Deselect() {
    TOperatorState& op = sim_.Operator;
    if (op.SelectedEntrance != this) return;
    op.SelectedEntrance = nullptr;
    Draw();
    if (FirstCircuitAhead) FirstCircuitAhead->Draw();
}

void TSIG::SelectAsEntrance() {
    sim_.Operator.SelectedEntrance = this;
    Draw();
}

bool TSIG::ClaimClick(int x, int y, bool left) {
    const TOperatorState& op = sim_.Operator;
    const bool reminder = op.ReminderMode;
    const bool isolation = op.IsolationMode;
    // 1. The head.
    const bool shuntOnly =
        SignalKind == 1 || SignalKind == 6 || SignalKind == 8 || SignalKind == 10;
    const bool onHead = HeadWidth == 1 ? InRow(y, Y, x, X - 1, X + 1)
                                       : InRow(y, Y, x, X, X + HeadWidth - 1);
    if (HeadWidth > 0 && onHead && (!shuntOnly || sim_.Options().ShowShunts)) {
        TSIG& target = (SignalKind == 7 && NextSignal) ? *NextSignal : *this;
        target.ControlAction(SignalControl::Head, left, reminder, isolation);
        return true;
    }
    // 2. to 4. The buttons.
    if ((AutoButtonX != 0 || AutoButtonY != 0) && InRow(y, AutoButtonY, x, AutoButtonX, AutoButtonX + 1)) {
        ControlAction(SignalControl::Auto, left, reminder, isolation);
        return true;
    }
    if ((ERButtonX != 0 || ERButtonY != 0) && InRow(y, ERButtonY, x, ERButtonX, ERButtonX + 1)) {
        ControlAction(SignalControl::ER, left, reminder, isolation);
        return true;
    }
    if (HasWarnerButton() && InRow(y, WarnerButtonY, x, WarnerButtonX - 1, WarnerButtonX + 1)) {
        ControlAction(SignalControl::Warner, left, reminder, isolation);
        return true;
    }
    // 5. Further positions drawn for the signal.
    for (int i = 0; i < Elements.Count(); ++i) {
        TPEL* e = Elements.At(i);
        if (e == nullptr || y != e->Y || x < e->X || x >= e->X + e->Width) continue;
        switch (e->Role) {
            case SerHead4: ControlAction(SignalControl::Head, left, reminder, isolation); break;
            case SerWarner: ControlAction(SignalControl::Warner, left, reminder, isolation); break;
            case SerAuto: ControlAction(SignalControl::Auto, left, reminder, isolation); break;
            case SerER: ControlAction(SignalControl::ER, left, reminder, isolation); break;
            default: break;
        }
        return true;
    }
    return false;
}

bool TSIG::CheckLeftClick(int x, int y) { return ClaimClick(x, y, true); }
bool TSIG::CheckRightClick(int x, int y) { return ClaimClick(x, y, false); }

void TSIG::ControlAction(SignalControl control, bool left, bool reminder, bool isolation) {
    const int c = static_cast<int>(control);
    const int mode = reminder ? 0 : (isolation ? 1 : 2);
    if (sim_.ClientMode) {
        const char* code = kClientCodes[c][left ? 0 : 1][mode];
        if (code[0] != '\0') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%s%04X", code, sim_.Signals.IndexOf(this) & 0xFFFF);
            sim_.SendToServer(buf);
            return;
        }
    }
    if (reminder || isolation) {
        const std::uint8_t bit = reminder ? CollarGeneral : CollarTraction;
        auto change = [&](std::uint8_t value) -> std::uint8_t {
            if (value > 3) return value;
            return left ? static_cast<std::uint8_t>(value | bit)
                        : static_cast<std::uint8_t>(value & ~bit);
        };
        switch (control) {
            case SignalControl::Head: SetCollar(change(Collar)); break;
            case SignalControl::Auto: SetAutoCollar(change(AutoCollar)); break;
            case SignalControl::Warner: SetWarnerCollar(change(WarnerCollar)); break;
            case SignalControl::ER: SetERCollar(change(ERCollar)); break;
        }
        sim_.CancelModes();
        return;
    }
    switch (control) {
        case SignalControl::Head:
            if (left)
                HeadLeft();
            else
                HeadRight();
            break;
        case SignalControl::Auto:
            if (left) {
                if (!HasSetRoute()) {
                    sim_.PostEventMessage("No route set from signal", EvTips);
                } else if (AutoCollar != 0) {
                    sim_.PostEventMessage("Auto button is collared", EvTips);
                } else if (CurrentRoute->AutoAllowed) {
                    AutoOnWarner = CurrentRoute->Class == 2;
                    SetAutoWorking(true);
                    if (sim_.Hooks.AutoButtonHook) sim_.Hooks.AutoButtonHook(*this);
                } else {
                    sim_.PostEventMessage("Automatic working not available for this route", EvTips);
                }
            } else {
                SetAutoWorking(false);
            }
            break;
        case SignalControl::Warner:
            if (left) {
                TSIG* entrance = sim_.Operator.SelectedEntrance;
                if (entrance != nullptr) {
                    entrance->Deselect();
                    const RouteRequestResult r = RouteRequest(sim_, *entrance, *this, 1);
                    if (r.NoRoute) sim_.PostEventMessage("No route between selected signals", EvTips);
                    if (sim_.Operator.OverrideMode) sim_.CancelModes();
                }
            }
            break;
        case SignalControl::ER:
            if (!left) {
                SetAutoWorking(true);
            } else if (ERCollar != 0) {
                sim_.PostEventMessage("Emergency button is collared", EvTips);
            } else {
                SetAutoWorking(false);
            }
            break;
    }
}

void TSIG::HeadLeft() {
    TOperatorState& op = sim_.Operator;
    if (op.InterposeMode) {
        if (SignalBerthTarget* berth = SignalBerth())
            berth->InterposeDescription(op.InterposeDescription);
        else
            sim_.PostEventMessage("Cannot interpose - signal has no associated berth", EvTips);
        sim_.CancelModes();
        return;
    }
    if (op.CancelTDMode) {
        if (SignalBerthTarget* berth = SignalBerth())
            berth->CancelDescription();
        else
            sim_.PostEventMessage("Cannot cancel - signal has no associated berth", EvTips);
        sim_.CancelModes();
        return;
    }
    TSIG* entrance = op.SelectedEntrance;
    if (entrance == nullptr) {
        if (SignalKind <= 1 && HasEntranceMarker() && FirstCircuitAhead) SelectAsEntrance();
        return;
    }
    TSIG& exit = (SignalKind == 7 && NextSignal) ? *NextSignal : *this;
    if (&exit == entrance) {
        // Clicking the selected entrance again only takes the selection back.
        entrance->Deselect();
        return;
    }
    const RouteRequestResult r = RouteRequest(sim_, *entrance, exit, 0);
    if (r.NoRoute) {
        if (HasEntranceMarker() && FirstCircuitAhead && entrance != this) {
            entrance->Deselect();
            SelectAsEntrance();
        } else {
            entrance->Deselect();
            sim_.PostEventMessage("No route between selected signals", EvTips);
        }
    } else {
        entrance->Deselect();
        if (op.OverrideMode) sim_.CancelModes();
    }
}

void TSIG::HeadRight() {
    TOperatorState& op = sim_.Operator;
    if (op.SelectedEntrance == this) {
        Deselect();
        return;
    }
    if (sim_.Options().NoSignalPopupMenu) {
        sim_.QueueRequest("QD", this, nullptr, 0);
        return;
    }
    op.SelectedSignal = this;
    op.PopupMenu = PopupMenuKind::Signal;
}

SignalBerthTarget* TSIG::SignalBerth() {
    if (CachedBerth) return dynamic_cast<SignalBerthTarget*>(CachedBerth);
    if (BerthCircuit == nullptr) return nullptr;
    SignalBerthTarget* best = nullptr;
    int bestDistance = 0;
    for (int i = 0; i < BerthCircuit->Berths.Count(); ++i) {
        auto* b = dynamic_cast<SignalBerthTarget*>(BerthCircuit->Berths.GetItem(i));
        if (b == nullptr) continue;
        const int d = std::abs(b->BerthColumn() - X);
        if (best == nullptr || d < bestDistance) {
            best = b;
            bestDistance = d;
        }
    }
    if (best) CachedBerth = dynamic_cast<TSSIObject*>(best);
    return best;
}

void TSIG::QueuedRouteRequest(RouteRequestTarget* exit, std::uint8_t flag) {
    auto* x = dynamic_cast<TSIG*>(exit);
    if (x != nullptr) RouteRequest(sim_, *this, *x, flag);
}

void TSIG::RequestCancel() {
    if (sim_.ClientMode) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "QD%04X", sim_.Signals.IndexOf(this) & 0xFFFF);
        sim_.SendToServer(buf);
        return;
    }
    if (SignalKind > 1) return;
    if (PresetMode) {
        ReleaseAllowed = true;
    } else {
        CancelRequested = true;
        if (HasSetRoute()) CurrentRoute->CancelSubAreas();
    }
    if (sim_.Hooks.RouteCancelHook) sim_.Hooks.RouteCancelHook(*this);
}

// ---------------------------------------------------------------- client messages

void TSIGList::HandleClientMessage(std::string_view payload) {
    if (payload.size() < 6) return;
    const std::string_view code = payload.substr(0, 2);
    if (code == "SA") {
        // The signal's position travels as a 16-bit number in this binary record.
        if (payload.size() < 8) return;
        const int index = static_cast<unsigned char>(payload[2]) |
                          (static_cast<unsigned char>(payload[3]) << 8);
        if (index < Count()) At(index)->ApplyState(payload);
        return;
    }
    const int index = ParseHex4(payload.substr(2, 4));
    if (index < 0 || index >= Count()) return;
    TSIG& sig = *At(index);
    Sim& sim = sig.sim();
    const std::string_view rest = payload.substr(6);
    if (code == "QC") {
        // Entrance, exit, request flag and the client's override-reminder mode.
        if (rest.size() < 6) return;
        const int exitIndex = ParseHex4(rest.substr(0, 4));
        if (exitIndex < 0 || exitIndex >= Count()) return;
        const bool savedOverride = sim.Operator.OverrideMode;
        sim.Operator.OverrideMode = rest[5] == '1';
        RouteRequest(sim, sig, *At(exitIndex), rest[4] == '1' ? 1 : 0);
        sim.Operator.OverrideMode = savedOverride;
        return;
    }
    if (code == "QD") {
        sig.RequestCancel();
        return;
    }
    if (code == "CB") {
        if (!rest.empty()) sig.SetLampProved(rest[0] == '1');
        return;
    }
    for (int c = 0; c < 4; ++c) {
        for (int b = 0; b < 2; ++b) {
            for (int m = 0; m < 3; ++m) {
                if (code == kClientCodes[c][b][m]) {
                    // Act exactly as a click by this copy's own signaller in that mode.
                    sig.ControlAction(static_cast<SignalControl>(c), b == 0, m == 0, m == 1);
                    return;
                }
            }
        }
    }
}

}  // namespace kestra
