#include "interlocking/subroute.h"

#include <utility>
#include <vector>

#include "sim/sim.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/refusal.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/state_message.h"
#include "interlocking/track_circuit.h"
#include "display/palette.h"

namespace kestra {

namespace {

constexpr const char* kOpposite = "Subroute locked in opposite direction";
constexpr const char* kPointsReverse = "Point(s) locked reverse by another route";
constexpr const char* kPointsNormal = "Point(s) locked normal by another route";
constexpr const char* kConflicting = "Conflicting subroute(s)";
constexpr const char* kCannotSwing = "Cannot swing overlap";

// Whether the signal of an overlap can swing it to an alternative.
bool CanSwing(const TOVL* overlap) {
    return overlap && overlap->Signal && overlap->Signal->CanSwingOverlap();
}

// x * 1.25 to the nearest whole number, an exact half going to the even one.
std::int32_t TimesOneAndAQuarter(std::int32_t x) {
    const std::int64_t five = static_cast<std::int64_t>(x) * 5;
    std::int64_t q = five / 4;
    std::int64_t r = five % 4;
    if (r < 0) {
        r += 4;
        --q;
    }
    if (r > 2 || (r == 2 && (q % 2) != 0)) ++q;
    return static_cast<std::int32_t>(q);
}

}  // namespace

TULC::TULC(Sim& sim, std::string id) : TSSIObject(std::move(id)), sim_(sim) {}

TULC::~TULC() = default;

void TULC::Configure(const SubrouteSetup& setup) {
    Direction = setup.Direction;
    Length = setup.Length;
    FreightSpeed = setup.FreightSpeed;
    PassengerSpeed = setup.PassengerSpeed;
    LeavesArea = setup.LeavesArea;
    SignalOffset = setup.SignalOffset;
    TrackCircuit = setup.TrackCircuit;
    PassageTime = setup.PassageTime;
    ClearTime = setup.ClearTime;
    if (TrackCircuit) TrackCircuit->Subroutes.AddUniqueObject({}, this);
}

void TULC::AddNormalPoints(TPTS& points) {
    NormalPoints.AddUniqueObject({}, &points);
    points.NormalSubroutes.AddUniqueObject({}, this);
}

void TULC::AddReversePoints(TPTS& points) {
    ReversePoints.AddUniqueObject({}, &points);
    points.ReverseSubroutes.AddUniqueObject({}, this);
}

void TULC::AddFlankNormalPoints(TPTS& points) {
    FlankNormalPoints.AddUniqueObject({}, &points);
    points.FlankNormalSubroutes.AddUniqueObject({}, this);
}

void TULC::AddFlankReversePoints(TPTS& points) {
    FlankReversePoints.AddUniqueObject({}, &points);
    points.FlankReverseSubroutes.AddUniqueObject({}, this);
}

void LinkSubroutes(TULC& a, TULC& b) {
    a.Next.AddUniqueObject({}, &b);
    b.Previous.AddUniqueObject({}, &a);
    if (TSIG* s = a.EndSignal) {
        s->SubroutesFromHere.AddUniqueObject({}, &b);
        b.StartSignal = s;
        if (!s->FirstCircuitAhead) s->FirstCircuitAhead = b.TrackCircuit;
    }
}

void SetOpposites(TULC& a, TULC& b) {
    a.Opposite = &b;
    b.Opposite = &a;
}

void SetConflicting(TULC& a, TULC& b) {
    a.Conflicts.AddUniqueObject({}, &b);
    b.Conflicts.AddUniqueObject({}, &a);
}

void SetEndSignal(TULC& subroute, TSIG& signal) {
    subroute.EndSignal = &signal;
    signal.SubroutesToHere.AddUniqueObject({}, &subroute);
}

// --- derived states --------------------------------------------------------------

bool TULC::HasNoPoints() const {
    return NormalPoints.Empty() && ReversePoints.Empty();
}

bool TULC::PointsControlledInPosition() const {
    return NormalPoints.ControlledNormal() && ReversePoints.ControlledReverse();
}

bool TULC::PointsDetectedInPosition() const {
    for (int i = 0; i < NormalPoints.Count(); ++i) {
        const TPTS* p = NormalPoints.At(i);
        if (p && !p->IsDetectedNormal()) return false;
    }
    for (int i = 0; i < ReversePoints.Count(); ++i) {
        const TPTS* p = ReversePoints.At(i);
        if (p && !p->IsDetectedReverse()) return false;
    }
    return true;
}

bool TULC::IsParallelFree() const {
    return !Opposite || (Opposite->Free && Opposite->Overlap == nullptr);
}

bool TULC::IsCircuitClear() const {
    return !TrackCircuit || TrackCircuit->IsClear();
}

bool TULC::IsProved() const {
    return IsCircuitClear() && NormalPoints.IsSetNormal() && ReversePoints.IsSetReverse() &&
           FlankNormalPoints.ControlledNormal() && FlankReversePoints.ControlledReverse();
}

// --- checks ----------------------------------------------------------------------

bool TULC::ConflictsFreeOrSwingable() const {
    for (int i = 0; i < Conflicts.Count(); ++i) {
        const TULC* c = Conflicts.At(i);
        if (!c) continue;
        if (!c->Free) return false;
        if (c->Overlap && c->Overlap != sim_.OverlapSwungTo && !CanSwing(c->Overlap)) return false;
    }
    return true;
}

bool TULC::RouteAndFlankPointsFreeToGo() {
    if (!NormalPoints.IsFreeToGoNormal() || !FlankNormalPoints.IsFreeToGoNormal()) {
        SetFailReason(sim_, kPointsReverse);
        return false;
    }
    if (!ReversePoints.IsFreeToGoReverse() || !FlankReversePoints.IsFreeToGoReverse()) {
        SetFailReason(sim_, kPointsNormal);
        return false;
    }
    return true;
}

bool TULC::CheckFreeToSet() {
    if (!IsParallelFree()) {
        SetFailReason(sim_, kOpposite);
        return false;
    }
    if (!RouteAndFlankPointsFreeToGo()) return false;
    // Every other subroute of the circuit: a route on it conflicts; an overlap on it
    // must be able to swing away. The walk goes on after a conflict so that the last
    // reason stands, but no overlap is asked once something has failed.
    bool failed = false;
    if (TrackCircuit) {
        const TULCList& onCircuit = TrackCircuit->Subroutes;
        for (int i = 0; i < onCircuit.Count(); ++i) {
            TULC* r = onCircuit.At(i);
            if (!r || r == this) continue;
            if (!r->Free && r != Opposite) {
                SetFailReason(sim_, kConflicting);
                failed = true;
            }
            if (!failed && r->Overlap && !CanSwing(r->Overlap)) {
                SetFailReason(sim_, kCannotSwing);
                failed = true;
            }
        }
    }
    if (failed) return false;
    if (!ConflictsFreeOrSwingable()) {
        SetFailReason(sim_, kConflicting);
        return false;
    }
    return true;
}

bool TULC::CheckFreeToSetIgnoreParallel() {
    if (!RouteAndFlankPointsFreeToGo()) return false;
    bool failed = false;
    if (TrackCircuit) {
        const TULCList& onCircuit = TrackCircuit->Subroutes;
        for (int i = 0; i < onCircuit.Count(); ++i) {
            const TULC* r = onCircuit.At(i);
            if (r && r != this && !r->Free && r != Opposite) {
                SetFailReason(sim_, kConflicting);
                failed = true;
            }
        }
    }
    if (failed) return false;
    for (int i = 0; i < Conflicts.Count(); ++i) {
        const TULC* c = Conflicts.At(i);
        if (c && (!c->Free || c->Overlap)) {
            SetFailReason(sim_, kConflicting);
            return false;
        }
    }
    return true;
}

namespace {

// No subroute of the circuit other than this one and its opposite is route-locked.
bool NoOtherLockedOnCircuit(const TULC& s) {
    if (!s.TrackCircuit) return true;
    const TULCList& onCircuit = s.TrackCircuit->Subroutes;
    for (int i = 0; i < onCircuit.Count(); ++i) {
        const TULC* r = onCircuit.At(i);
        if (r && r != &s && r != s.Opposite && !r->Free) return false;
    }
    return true;
}

bool MarkingAllows(Sim& sim, const TULC& s) {
    return !s.TrackCircuit || s.TrackCircuit->ISOType == IsoNone || sim.Operator.OverrideMode;
}

}  // namespace

bool TULC::CheckFreeToSetARSIgnoreOVL() {
    QuietCheck quiet(sim_);
    return MarkingAllows(sim_, *this) && IsCircuitClear() && IsParallelFree() &&
           NormalPoints.IsFreeToGoNormal() && ReversePoints.IsFreeToGoReverse() &&
           ConflictsFreeOrSwingable() && NoOtherLockedOnCircuit(*this);
}

bool TULC::CheckOverlapQuiet() {
    QuietCheck quiet(sim_);
    if (!MarkingAllows(sim_, *this) || !IsParallelFree()) return false;
    if (!NormalPoints.IsFreeToGoNormal() || !ReversePoints.IsFreeToGoReverse()) return false;
    if (!FlankNormalPoints.IsFreeToGoNormal() || !FlankReversePoints.IsFreeToGoReverse())
        return false;
    if (!ConflictsFreeOrSwingable() || !NoOtherLockedOnCircuit(*this)) return false;
    if (const TROU* route = sim_.RouteBeingSet) {
        for (int i = 0; i < Conflicts.Count(); ++i) {
            if (route->AllSubroutes.Contains(Conflicts.At(i))) return false;
        }
    }
    return true;
}

// --- element operations ----------------------------------------------------------

void TULC::RedrawCircuit() {
    if (TrackCircuit) TrackCircuit->Draw();
}

void TULC::Lock() {
    if (!Free) return;
    Free = false;
    RedrawCircuit();
    SendState();
}

void TULC::Release() {
    if (Free) return;
    Free = true;
    RedrawCircuit();
    SendState();
}

void TULC::SetOverlap(TOVL* overlap) {
    if (Overlap == overlap) return;
    Overlap = overlap;
    RedrawCircuit();
    SendState();
}

void TULC::ClearOverlap() {
    SetOverlap(nullptr);
    RedrawCircuit();
}

void TULC::SendState() {
    if (!sim_.IsBroadcasting()) return;
    const int index = sim_.Subroutes.IndexOf(this);
    if (index < 0) return;
    const int overlap = Overlap ? sim_.Overlaps.IndexOf(Overlap) : -1;
    std::string payload = "UA" + Hex4(index);
    payload += Free ? '0' : '1';
    payload += overlap >= 0 ? Hex4(overlap) : std::string("----");
    sim_.Broadcast(payload);
}

void TULC::ApplyState(std::string_view body) {
    if (body.size() < 5 || (body[0] != '0' && body[0] != '1')) return;
    const std::string_view ovl = body.substr(1, 4);
    TOVL* overlap = nullptr;
    if (ovl != "----") {
        const int index = ParseHex4(ovl);
        if (index < 0) return;
        overlap = sim_.Overlaps.At(index);  // none when outside the list
    }
    Free = body[0] == '0';
    Overlap = overlap;
    RedrawCircuit();
}

void TULC::SwingOtherOverlaps(bool circuit, bool conflicts, const TOVL* keep) {
    if (circuit && TrackCircuit) {
        const TULCList& onCircuit = TrackCircuit->Subroutes;
        for (int i = 0; i < onCircuit.Count(); ++i) {
            TULC* r = onCircuit.At(i);
            if (r && r != this && r->Overlap && r->Overlap != keep) r->SwingOverlapIfSet();
        }
    }
    if (conflicts) {
        for (int i = 0; i < Conflicts.Count(); ++i) {
            TULC* c = Conflicts.At(i);
            if (c && c->Overlap && c->Overlap != keep) c->SwingOverlapIfSet();
        }
    }
}

void TULC::CallPoints(bool forOverlap) {
    auto call = [forOverlap](const TPTSList& list, bool normal) {
        for (int i = 0; i < list.Count(); ++i) {
            TPTS* p = list.At(i);
            if (!p) continue;
            if (normal) {
                p->CallNormal();
            } else {
                p->CallReverse();
            }
            // Marks points that are moving for an overlap: the overlap counts them as
            // in position while they move.
            if (forOverlap && p->MoveTimer > 0) p->MovedForOverlap = true;
        }
    };
    call(NormalPoints, true);
    call(ReversePoints, false);
    call(FlankNormalPoints, true);
    call(FlankReversePoints, false);
}

namespace {

// Calls f on every subroute that needs one of the points of the list the other way.
template <class F>
void ForEachNeedingOtherWay(const TPTSList& list, bool normal, F&& f) {
    for (int i = 0; i < list.Count(); ++i) {
        const TPTS* p = list.At(i);
        if (!p) continue;
        const TULCList* other[2] = {normal ? &p->ReverseSubroutes : &p->NormalSubroutes,
                                    normal ? &p->FlankReverseSubroutes : &p->FlankNormalSubroutes};
        for (const TULCList* l : other) {
            for (int j = 0; j < l->Count(); ++j) {
                if (TULC* s = l->At(j)) f(*s);
            }
        }
    }
}

}  // namespace

void TULC::SwingOverlapsOffPoints(const TOVL* keep) {
    auto swing = [keep](TULC& s) {
        if (s.Overlap && s.Overlap != keep) s.SwingOverlapIfSet();
    };
    ForEachNeedingOtherWay(NormalPoints, true, swing);
    ForEachNeedingOtherWay(FlankNormalPoints, true, swing);
    ForEachNeedingOtherWay(ReversePoints, false, swing);
    ForEachNeedingOtherWay(FlankReversePoints, false, swing);
}

bool TULC::OtherOverlapInTheWay(const TOVL* keep) const {
    auto foreign = [keep](const TULC& s) { return s.Overlap && s.Overlap != keep; };
    if (TrackCircuit) {
        const TULCList& onCircuit = TrackCircuit->Subroutes;
        for (int i = 0; i < onCircuit.Count(); ++i) {
            const TULC* r = onCircuit.At(i);
            if (r && r != this && foreign(*r)) return true;
        }
    }
    for (int i = 0; i < Conflicts.Count(); ++i) {
        const TULC* c = Conflicts.At(i);
        if (c && foreign(*c)) return true;
    }
    bool found = false;
    auto check = [&](TULC& s) { found = found || foreign(s); };
    ForEachNeedingOtherWay(NormalPoints, true, check);
    ForEachNeedingOtherWay(FlankNormalPoints, true, check);
    ForEachNeedingOtherWay(ReversePoints, false, check);
    ForEachNeedingOtherWay(FlankReversePoints, false, check);
    return found;
}

bool TULC::RequestRoute() {
    // Overlaps on the circuit, on conflicting subroutes and on the points this move
    // needs the other way move out of the way first, each to an alternative chosen now.
    // One that cannot move refuses the subroute before anything is locked or called.
    SwingOtherOverlaps(true, true, nullptr);
    SwingOverlapsOffPoints(nullptr);
    if (OtherOverlapInTheWay(nullptr)) return false;
    Lock();
    CallPoints(false);
    return true;
}

bool TULC::LockForOverlap(TOVL& overlap) {
    // An overlap of another signal on this very subroute moves away too: two overlaps
    // never share a circuit.
    if (Overlap && Overlap != &overlap && Overlap->Signal != overlap.Signal) SwingOverlapIfSet();
    SwingOtherOverlaps(true, true, &overlap);
    SwingOverlapsOffPoints(&overlap);
    if (OtherOverlapInTheWay(&overlap)) return false;
    if (Overlap && Overlap != &overlap && Overlap->Signal != overlap.Signal) return false;
    CallPoints(false);
    SetOverlap(&overlap);
    RedrawCircuit();
    return true;
}

void TULC::LockForSwing(TOVL& overlap) {
    SwingOtherOverlaps(false, true, &overlap);
    CallPoints(true);
    SetOverlap(&overlap);
    RedrawCircuit();
}

void TULC::SwingOverlapIfSet() {
    if (Overlap && Overlap->Signal) Overlap->Signal->SwingOverlap();
}

// --- the way ahead and behind ----------------------------------------------------

TULC* TULC::NextSubroute() const {
    for (int i = 0; i < Next.Count(); ++i) {
        TULC* n = Next.At(i);
        if (n && (n->IsPassable() || n->HasNoPoints() || n->PointsDetectedInPosition())) return n;
    }
    return nullptr;
}

TULC* TULC::PreviousPassable() const {
    for (int i = 0; i < Previous.Count(); ++i) {
        TULC* p = Previous.At(i);
        if (p && p->IsPassable()) return p;
    }
    return nullptr;
}

TULC* TULC::PreviousForDescriber() const {
    if (TULC* p = PreviousPassable()) return p;
    for (int i = 0; i < Previous.Count(); ++i) {
        TULC* p = Previous.At(i);
        if (p && p->PointsControlledInPosition()) return p;
    }
    return Previous.At(0);
}

TULC* TULC::PreviousDetected() const {
    if (TULC* p = PreviousPassable()) return p;
    for (int i = 0; i < Previous.Count(); ++i) {
        TULC* p = Previous.At(i);
        if (p && p->PointsDetectedInPosition()) return p;
    }
    return nullptr;
}

TSIG* TULC::NextSignal() const {
    // A loop of track without a signal must not walk for ever: no walk is longer than
    // the number of subroutes.
    const TULC* s = this;
    for (int steps = sim_.Subroutes.Count() + 1; s && steps > 0; --steps) {
        if (s->EndSignal) return s->EndSignal;
        const TULC* next = nullptr;
        for (int i = 0; i < s->Next.Count(); ++i) {
            const TULC* n = s->Next.At(i);
            if (n && (n->IsPassable() || n->HasNoPoints())) {
                next = n;
                break;
            }
        }
        s = next;
    }
    return nullptr;
}

bool TULC::MayPassEnd() const {
    return !EndSignal || EndSignal->ShowsProceedToDriver();
}

bool TULC::ApproachOccupied() const {
    const TULC* s = this;
    for (int steps = sim_.Subroutes.Count() + 1; s && steps > 0; --steps) {
        if (!s->IsPassable() && !s->HasNoPoints()) return false;
        if (!s->IsCircuitClear()) return true;
        const TULC* p = s->PreviousPassable();
        if (!p || (p->EndSignal && p->EndSignal->SignalKind != SkShunt)) return false;
        s = p;
    }
    return false;
}

std::int32_t TULC::OverlapReleaseTime(const TOVL& overlap) const {
    return overlap.ReleaseTime != 0 ? overlap.ReleaseTime : TimesOneAndAQuarter(ClearTime);
}

// --- cycles ----------------------------------------------------------------------

void TULC::ReleaseRouteLocking() {
    if (sim_.Hooks.SubrouteReleaseHook) {
        bool force = false;
        const bool answer = sim_.Hooks.SubrouteReleaseHook(*this, force);
        if (!answer) return;
        if (force) {
            Release();
            return;
        }
    }
    if (!IsCircuitClear()) return;
    bool release;
    const TSIG* s = StartSignal;
    if (s && s->IsRouteWorked()) {
        const TROU* route = s->CurrentRoute;
        if (route && route->RouteSet) {
            // The first subroute of a set route holds until the route is unset.
            release = !s->PresetMode && route->FirstSubroute != this;
        } else {
            release = !s->PresetMode || Previous.IsFree();
        }
    } else {
        release = Previous.IsFree();
    }
    if (release) Release();
}

void TULC::ReleaseOverlap() {
    TOVL* const overlap = Overlap;
    if (sim_.Hooks.OverlapReleaseHook && !sim_.Hooks.OverlapReleaseHook(*this)) return;
    if (!IsCircuitClear()) return;
    TSIG* releasing = nullptr;
    for (int i = 0; i < Previous.Count(); ++i) {
        const TULC* p = Previous.At(i);
        if (!p) continue;
        // The overlap releases from its start.
        if (p->Overlap == overlap) return;
        if (p->IsRouteLocked() && p->EndSignal) {
            const std::int32_t t = p->OverlapReleaseTime(*overlap);
            if (!overlap->TimedRelease || !p->TrackCircuit || !p->TrackCircuit->IsOccupiedFor(t))
                return;
            releasing = p->EndSignal;
        }
    }
    // A route into the releasing signal that is still set could yet admit a train towards
    // the overlap, unless a train has passed its entrance signal since it was set and
    // reached the route's second circuit: the entrance is then disarmed and cannot clear
    // again until the route is released, and
    // the route stays set only because that train, longer than the signal's berth track
    // and standing at the signal, still occupies the route's first circuit. An entrance
    // working automatically re-arms for the next train, which needs the overlap.
    if (releasing && releasing->RouteIn && releasing->RouteIn->RouteSet) {
        const TSIG* entrance = releasing->RouteIn->Entrance;
        if (!entrance || entrance->Armed || entrance->AutoWorking ||
            entrance->PassageState < 1 || entrance->CurrentRoute != releasing->RouteIn)
            return;
    }
    if (releasing && releasing->CurrentOverlap == overlap) releasing->CurrentOverlap = nullptr;
    SetOverlap(nullptr);
    // Released from its start without a train (the route up to the signal went), the
    // overlap is no longer the signal's: forget it there too, so that nothing counts
    // on an overlap whose locking has gone.
    if (overlap->Signal && overlap->Signal->CurrentOverlap == overlap && !overlap->IsSet())
        overlap->Signal->CurrentOverlap = nullptr;
    RedrawCircuit();
}

void TULC::MajorCycle() {
    if (sim_.ClientMode) return;
    if (!Free) ReleaseRouteLocking();
    if (Overlap) ReleaseOverlap();
}

void TULC::Reset() {
    Free = true;
    Overlap = nullptr;
    TSRs.FreeObjects();
}

bool TULC::Save(ValueWriter& writer) {
    writer.WriteBoolean(Free);
    writer.WriteInteger(Overlap ? sim_.Overlaps.IndexOf(Overlap) : -1);
    SaveCounted(writer, TSRs);
    return true;
}

bool TULC::StageLoad(ValueReader& reader, LoadCommits& commits) {
    const bool free = reader.ReadBoolean();
    TOVL* overlap = ReadReference(reader, sim_.Overlaps);
    std::vector<std::unique_ptr<TTSR>> tsrs;
    if (!ReadCounted(
            reader, TTSR::MinRecordBytes, [this] { return std::make_unique<TTSR>(this); }, tsrs))
        return false;
    commits.Add([this, free, overlap, tsrs = std::move(tsrs)]() mutable {
        Free = free;
        Overlap = overlap;
        TSRs.FreeObjects();
        for (auto& t : tsrs) TSRs.Adopt(std::move(t));
    });
    return true;
}

// --- drawing ---------------------------------------------------------------------

void TULC::DrawArrows() {
    if (ArrowX == 0 && ArrowY == 0) return;
    const Colour colour = IsRouteLocked() ? ClWhite : ClGrey;
    const char* glyphs = (ArrowDirection == 0 || ArrowDirection == 2) ? "a\x8D"
                                                                      : "\x8C"
                                                                        "a";
    sim_.Display().DrawText(ArrowX, ArrowY, colour, glyphs);
}

void TULC::DrawLocking() {
    if (!IsRouteLocked() && !Overlap) return;
    const Colour colour = IsCircuitClear() ? ClWhite : ClRed;
    const Colour bgB = TrackCircuit ? TrackCircuit->ISOColour1 : ClBlack;
    const Colour bgA = TrackCircuit ? TrackCircuit->ISOColour2 : ClBlack;
    Elements.DrawColour2Bg(colour, bgB, bgA);
}

void TULC::Draw() {
    DrawLocking();
}

// --- the list ------------------------------------------------------------------

TULCList::TULCList() = default;
TULCList::~TULCList() = default;

bool TULCList::ArePointsControlledInPosition() const {
    return AllOf([](TULC& s) { return s.PointsControlledInPosition(); });
}
bool TULCList::ArePointsDetectedInPosition() const {
    return AllOf([](TULC& s) { return s.PointsDetectedInPosition(); });
}
bool TULCList::AreTCsClear() const {
    return AllOf([](TULC& s) { return s.IsCircuitClear(); });
}
bool TULCList::IsCompletelyFree() const {
    return AllOf([](TULC& s) { return s.IsCompletelyFree(); });
}
bool TULCList::IsFree() const {
    return AllOf([](TULC& s) { return s.Free; });
}
bool TULCList::IsFreeToSet() const {
    return AllOf([](TULC& s) { return s.CheckFreeToSet(); });
}
bool TULCList::IsFreeToSetARS() const {
    // The occupied circuit first: ARS asks this quietly (no reason is left), and over a
    // full area many of the routes it asks about have a train on them.
    return AllOf([](TULC& s) { return s.IsCircuitClear() && s.CheckFreeToSet(); });
}
bool TULCList::IsFreeToSetARSIgnoreOVL() const {
    return AllOf([](TULC& s) { return s.CheckFreeToSetARSIgnoreOVL(); });
}
bool TULCList::IsFreeToSetIgnoreParallel() const {
    return AllOf([](TULC& s) { return s.CheckFreeToSetIgnoreParallel(); });
}
bool TULCList::IsOverlapFree() const {
    return AllOf([](TULC& s) { return !s.Overlap; });
}
bool TULCList::IsParallelFree() const {
    return AllOf([](TULC& s) { return s.IsParallelFree(); });
}
bool TULCList::IsLockedAndProved() const {
    return AllOf([](TULC& s) { return s.IsRouteLocked() && s.IsProved(); });
}
bool TULCList::RouteProved() const {
    return AllOf([](TULC& s) { return s.IsProved(); });
}

void TULCList::RouteRequest() const {
    for (int i = 0; i < Count(); ++i) {
        if (TULC* s = At(i)) s->RequestRoute();
    }
}

void TULCList::SwingOverlapIfSet() const {
    for (int i = 0; i < Count(); ++i) {
        if (TULC* s = At(i)) s->SwingOverlapIfSet();
    }
}

bool TULCList::Contains(const TULC* subroute) const {
    return subroute && IndexOf(subroute) >= 0;
}

void TULCList::HandleClientMessage(std::string_view payload) const {
    if (payload.size() < 6) return;
    const int index = ParseHex4(payload.substr(2, 4));
    if (index < 0 || index >= Count()) return;
    // State comes from the server only: a server takes no locking from a client.
    if (payload.substr(0, 2) == "UA") {
        if (TULC* s = At(index); s && s->sim().ClientMode) s->ApplyState(payload.substr(6));
    }
}

}  // namespace kestra
