#include "interlocking/level_crossing.h"

#include <cstdio>

#include "display/palette.h"
#include "interlocking/overlap.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "sim/sim.h"

namespace kestra {

namespace {

// Two hexadecimal digits, or -1 when either is not one.
int ParseHex2(std::string_view text) {
    if (text.size() < 2) return -1;
    int v = 0;
    for (int i = 0; i < 2; ++i) {
        const char c = text[static_cast<std::size_t>(i)];
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// "XX" + 4 hex digits of the position + 2 hex digits of the state.
void BroadcastSmallState(Sim& sim, const char* code, int index, unsigned state) {
    if (index < 0 || !sim.IsBroadcasting()) return;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%s%04X%02X", code, static_cast<unsigned>(index) & 0xFFFFu,
                  state & 0xFFu);
    sim.Broadcast(buf);
}

// The position and the state of an "FA" or "LX" record, or -1 for either when the
// record is malformed or names no member of a list of count members.
bool ParseSmallState(std::string_view payload, int count, int& index, int& state) {
    if (payload.size() < 8) return false;
    index = ParseHex4(payload.substr(2, 4));
    if (index < 0 || index >= count) return false;
    state = ParseHex2(payload.substr(6, 2));
    return state >= 0;
}

// A train in the route, still able to run on into the overlap beyond its exit. In a
// route that locks its subroutes, a train on a locked one is on its way to the exit,
// and the overlap's own timed release says when it no longer needs it. An automatic's
// route locks nothing: a train in it counts until it has stood on the last circuit for
// the time that overlap would take to release.
bool TrainRunningToExit(const TROU& route, const TOVL& overlap) {
    bool occupied = false;
    for (int i = 0; i < route.Subroutes.Count() && !occupied; ++i) {
        const TULC* s = route.Subroutes.At(i);
        if (!s || !s->TrackCircuit || !s->TrackCircuit->IsOccupied()) continue;
        occupied = route.Class == RcAutomatic || s->IsRouteLocked();
    }
    if (!occupied || route.Class != RcAutomatic) return occupied;
    const TULC* last = route.Subroutes.At(route.Subroutes.Count() - 1);
    return !(last && last->TrackCircuit &&
             last->TrackCircuit->IsOccupiedFor(last->OverlapReleaseTime(overlap)));
}

}  // namespace

// ---------------------------------------------------------------- flags

void TFLG::SetState(std::int32_t value) {
    if (value == State) return;
    State = value;
    Draw();
    SendState();
}

void TFLG::SendState() {
    BroadcastSmallState(sim_, "FA", sim_.Flags.IndexOf(this), static_cast<unsigned>(State));
}

bool TFLG::Save(ValueWriter& writer) {
    writer.WriteInteger(State);
    return true;
}

bool TFLG::StageLoad(ValueReader& reader, LoadCommits& commits) {
    const std::int32_t state = reader.ReadInteger();
    commits.Add([this, state] { State = state; });
    return true;
}

void TFLGList::HandleClientMessage(std::string_view payload) {
    int index = -1, state = -1;
    if (payload.substr(0, 2) != "FA" || !ParseSmallState(payload, Count(), index, state)) return;
    if (TFLG* flag = At(index)) flag->SetState(state);
}

// ---------------------------------------------------------------- level crossings

const char* LevelCrossingStateName(std::uint8_t state) {
    switch (state) {
        case LxOpen:
            return "barriers up";
        case LxLowering:
            return "barriers lowering";
        case LxDown:
            return "barriers down";
        case LxRaising:
            return "barriers rising";
        case LxFailed:
            return "barriers failed";
        default:
            return "unknown";
    }
}

void TLevelCrossing::AddRoute(TROU& route, std::vector<TULC*> upToCrossing) {
    routes_.push_back({&route, std::move(upToCrossing)});
    route.LevelCrossings.push_back(this);
}

void TLevelCrossing::AddOverlap(TOVL& overlap) {
    TCrossingOverlap entry;
    entry.Overlap = &overlap;
    sim_.Routes.ForEach([&](TROU& r) {
        if (overlap.Signal && r.Exit == overlap.Signal) entry.RoutesIn.push_back(&r);
    });
    overlaps_.push_back(std::move(entry));
    overlap.LevelCrossings.push_back(this);
}

void TLevelCrossing::SetState(std::uint8_t value) {
    if (value == State) return;
    State = value;
    if (OnStateChange) OnStateChange(*this);
    SendState();
}

void TLevelCrossing::SendState() {
    BroadcastSmallState(sim_, "LX", sim_.LevelCrossings.IndexOf(this), State);
}

void TLevelCrossing::SetBarrierFailed(bool failed) {
    BarrierFailed = failed;
}

bool TLevelCrossing::Wanted() const {
    for (int i = 0; i < Circuits.Count(); ++i) {
        const TTCS* c = Circuits.At(i);
        if (c && c->IsOccupied()) return true;
    }
    for (const TCrossingRoute& r : routes_) {
        for (const TULC* s : r.UpToCrossing) {
            if (s->IsRouteLocked() && s->TrackCircuit && s->TrackCircuit->IsOccupied()) return true;
        }
        const TSIG* entrance = r.Route->Entrance;
        if (!r.Route->RouteSet || !entrance || entrance->CurrentRoute != r.Route) continue;
        if (entrance->ShowsProceed() || entrance->TrainApproaching()) return true;
    }
    for (const TCrossingOverlap& o : overlaps_) {
        for (const TROU* r : o.RoutesIn) {
            if (r->OverlapInUse() != o.Overlap) continue;
            if (TrainRunningToExit(*r, *o.Overlap)) return true;
            const TSIG* entrance = r->Entrance;
            if (!r->RouteSet || !entrance || entrance->CurrentRoute != r) continue;
            if (entrance->ShowsProceed() || entrance->TrainApproaching()) return true;
        }
    }
    return false;
}

void TLevelCrossing::MajorCycle() {
    // The road lights flash while the barriers are on their way and when they fail.
    if (State == LxLowering || State == LxFailed) Draw();
    if (sim_.ClientMode) return;
    const bool wanted = Wanted();
    switch (State) {
        case LxOpen:
        case LxRaising:
            // A train wants the road closed (again, before it has opened: the barriers
            // turn back down and the sequence starts again). Each lowering is a chance
            // for the barriers to fail.
            if (wanted) {
                Timer = 0;
                SetState(LxLowering);
                if (sim_.CrossingFailures) sim_.CrossingFailures->OfferFailure(*this);
            }
            break;
        case LxDown:
            if (!wanted) {
                Timer = 0;
                SetState(LxRaising);
            }
            break;
        case LxFailed:
            // Repaired: lower again if a train still wants the road, otherwise raise.
            if (!BarrierFailed) {
                Timer = 0;
                SetState(wanted ? LxLowering : LxRaising);
            }
            break;
        default:
            break;
    }
}

void TLevelCrossing::OneSecond() {
    if (sim_.ClientMode) return;
    if (State == LxLowering) {
        if (++Timer >= LevelCrossingLowerTime) {
            Timer = 0;
            SetState(BarrierFailed ? LxFailed : LxDown);
        }
    } else if (State == LxRaising) {
        if (++Timer >= LevelCrossingRaiseTime) {
            Timer = 0;
            SetState(LxOpen);
        }
    }
}

void TLevelCrossing::Reset() {
    Timer = 0;
    BarrierFailed = false;
    if (State != LxOpen) {
        State = LxOpen;
        if (OnStateChange) OnStateChange(*this);
    }
}

bool TLevelCrossing::Save(ValueWriter& writer) {
    writer.WriteInteger(State);
    writer.WriteInteger(Timer);
    writer.WriteBoolean(BarrierFailed);
    return true;
}

bool TLevelCrossing::StageLoad(ValueReader& reader, LoadCommits& commits) {
    const std::int32_t state = reader.ReadInteger();
    const std::int32_t timer = reader.ReadInteger();
    const bool failed = reader.ReadBoolean();
    if (state < 0 || state > LxLastState) return false;
    if (timer < 0 || timer > LevelCrossingLowerTime) return false;
    commits.Add([this, state, timer, failed] {
        State = static_cast<std::uint8_t>(state);
        Timer = timer;
        BarrierFailed = failed;
        if (OnStateChange) OnStateChange(*this);
    });
    return true;
}

void TLevelCrossing::Draw() {
    Colour colour = ClWhite;
    switch (State) {
        case LxLowering:
            colour = sim_.FlashPhase ? ClYellow : ClBlack;
            break;
        case LxDown:
            colour = ClGreen;
            break;
        case LxRaising:
            colour = ClYellow;
            break;
        case LxFailed:
            colour = sim_.FlashRed;
            break;
        default:
            break;
    }
    static constexpr char road[] = {static_cast<char>(0x95)};
    Panel& panel = sim_.Display();
    for (std::int32_t y : RoadRows) panel.DrawText(RoadX, y, colour, std::string_view(road, 1));
    if (!Name.empty()) panel.DrawText(LabelX, LabelY, colour, Name);
}

void TLevelCrossingList::HandleClientMessage(std::string_view payload) {
    int index = -1, state = -1;
    if (payload.substr(0, 2) != "LX" || !ParseSmallState(payload, Count(), index, state)) return;
    // A state the crossing cannot be in is no state to show.
    if (state > LxLastState) return;
    if (TLevelCrossing* lx = At(index)) lx->SetState(static_cast<std::uint8_t>(state));
}

}  // namespace kestra
