#include <algorithm>

#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "places/location.h"
#include "sim/sim.h"
#include "trains/train.h"

namespace kestra {

namespace {

// Seconds a driver takes to start after the signal clears: 2 + random 0..4.
constexpr std::int32_t kStartDelayBase = 2;
constexpr std::int32_t kStartDelayRandom = 5;
// Seconds before a waiting driver would telephone: 105 + random 0..29.
constexpr std::int32_t kPhoneDelayBase = 105;
constexpr std::int32_t kPhoneDelayRandom = 30;
// Random seconds added to a departure.
constexpr std::int32_t kDepartureRandom = 15;

}  // namespace

// Waiting at a red signal: starts again a few seconds after the signal clears. The
// driver's telephone call belongs to the train events.
void TTRN::WaitAtRed() {
    Speed = 0;
    if (!SignalAhead) {
        SetState(TsMoving);
        return;
    }
    switch (SubState) {
        case 0:
            if (PassMode == PassCountingDown || PassMode == PassStopAtNext) PassMode = PassNone;
            Timer = kPhoneDelayBase + sim_.RandomInt(kPhoneDelayRandom);
            SubState = 1;
            [[fallthrough]];
        case 1:
            if (Timer > 0) --Timer;
            if (SignalAhead->ShowsProceed() && CautionMode == CautionNone) SubState = 2;
            break;
        case 2:
            Timer = kStartDelayBase + sim_.RandomInt(kStartDelayRandom);
            SubState = 3;
            break;
        default:
            if (--Timer < 1) SetState(TsMoving);
            break;
    }
}

// A station stop: stands until its departure time, then waits for the way out. The
// reports, dwell delays, reversals and next services belong to the train events.
void TTRN::StationStop() {
    Speed = 0;
    if (!CurTrip || !LastLocation) return;
    if (Timer == 0) {
        if (HeadULC->LeavesArea) {
            SetState(TsLeaving);
            VacateAll();
            return;
        }
        const std::int32_t now = sim_.SimTime;
        if (CurTrip->DepTime - LastLocation->StandardDwell < now)
            Timer = now + LastLocation->MinimumDwell + sim_.RandomInt(kDepartureRandom);
        else
            Timer = std::max(CurTrip->DepTime, now) + sim_.RandomInt(kDepartureRandom);
        if (Timer <= 0) Timer = 1;
        return;
    }
    if (sim_.SimTime >= Timer - kDepartureRandom) {
        if (Timetable && TripIndex + 1 < Timetable->Trips.Count()) {
            SignalAhead = HeadULC->NextSignal();
            SetState(TsReadyToStart);
        } else {
            CurTrip = nullptr;
            SetState(TsTerminated);
        }
    }
}

// Ready to start: leaves once the signal ahead lets it (or a route from it is set and
// proved) and nothing stands in front.
void TTRN::ReadyToStart() {
    Speed = 0;
    const bool blocked =
        SignalAhead && !SignalAhead->ShowsProceed() && !IsPassingAuthority(PassMode);
    if (blocked) return;
    if (SubState < 2) {
        SubState = 2;
        Timer = 1;
    }
    if (--Timer < 1) {
        FindTrainInFront();
        if (TrainInFront) return;
        SetState(TsMoving);
        if (Timetable && CurTrip) {
            SetTripIndex(TripIndex + 1);
            if (!CurTrip) SetState(TsTerminated);
        }
    }
}

void TTRN::WrongRouteWait() {
    Speed = 0;
}

}  // namespace kestra
