#include "trains/train.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_validate.h"

namespace kestra {

bool IsPassingAuthority(std::uint8_t mode) {
    return mode == PassNext || mode == PassNextAndStop || mode == PassToNextSignal;
}

namespace {

// Upper bounds of the speed-ratio bands of the acceleration table; the last band is
// open.
constexpr double kRatioBands[] = {0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95};
constexpr double kAccelerationFactors[12][5] = {
    {0.5, 1.25, 1.27, 1.4, 1.6},     {1.24, 1.25, 1.27, 1.4, 1.6},
    {1.1, 0.8, 0.8, 1.2, 1.3},       {0.75, 0.55, 0.6, 0.75, 0.9},
    {0.3, 0.4, 0.42, 0.45, 0.6},     {0.28, 0.3, 0.3, 0.32, 0.45},
    {0.24, 0.24, 0.245, 0.25, 0.37}, {0.19, 0.19, 0.195, 0.2, 0.29},
    {0.16, 0.16, 0.165, 0.17, 0.22}, {0.12, 0.12, 0.13, 0.14, 0.18},
    {0.1, 0.1, 0.11, 0.1, 0.15},     {0.07, 0.07, 0.07, 0.08, 0.1},
};
// Acceleration rates at the top of each profile's column.
constexpr double kProfileAccelLimits[] = {0.35, 0.4, 0.45, 0.62};

// Braking distances get a margin for the driver's reaction at speed.
constexpr double kHighSpeed = 15.0;
constexpr double kModerateSpeed = 4.0;
constexpr double kHighSpeedMarginB0 = 100.0;
constexpr double kHighSpeedMarginB4 = 125.0;
// A stop point nearer than this is reached.
constexpr double kStopWindow = 5.0;
// A train in front this close counts as touching.
constexpr double kTouching = -10.0;
constexpr double kBehindLimit = -15.0;
// A standing train looks this far ahead for a train in front, and counts one within the
// near distance.
constexpr double kStandingLookAhead = 1000.0;
constexpr double kStandingNear = 20.0;
// A train with a loss of power runs at two thirds of its rates; one in this many does.
constexpr double kLossOfPower = 0.6667;
constexpr std::int32_t kLossOfPowerChance = 75;
// Safety bound on the subroutes the head can enter in one second.
constexpr int kMaxSubroutesPerSecond = 64;
// Capacity kept for the look-ahead and occupied lists so that stepping allocates
// nothing in the steady state.
constexpr std::size_t kListCapacity = 64;
// Event type of the message that a train has been put out of use.
constexpr int kErrorMessageType = EvGeneral;

double RoundedMargin(double speed, double perFifteen) {
    return std::round(speed / kHighSpeed * perFifteen);
}

const TULCLOC& StopPointAt(const TULC& subroute, int i) {
    return *static_cast<const TULCLOC*>(subroute.StopPoints.GetItem(i));
}

}  // namespace

std::string TrainStatusText(std::uint8_t state, double speed) {
    switch (state) {
        case TsMoving:
            return "Moving at " + std::to_string(MetresPerSecondToMph(speed)) + "mph";
        case TsAtRed:
            return "Waiting at red signal";
        case TsJoining:
            return "Joining trains";
        case TsAtStation:
            return "Stopped at station";
        case TsTerminated:
            return "Terminated, no more timetable trips";
        case TsLeaving:
            return "About to exit the area";
        case TsTrainInFront:
            return "Train in front";
        case TsWaitingForJoin:
            return "Waiting for joining train";
        case TsDividing:
            return "Dividing trains";
        case TsWrongRoute:
            return "Waiting for correct route to be set";
        case TsReadyToStart:
            return "Waiting for right-away";
        case TsError:
            return "Error (1)";
        case TsNoTraction:
            return "Wrong route - no suitable traction";
        default:
            return {};
    }
}

double AccelerationFactor(double accel, double ratio) {
    int column = 4;
    for (int i = 0; i < 4; ++i) {
        // The rates come from single-precision tables: compare with a little room.
        if (accel <= kProfileAccelLimits[i] + 1e-6) {
            column = i;
            break;
        }
    }
    int row = 11;
    for (int i = 0; i < 11; ++i) {
        if (ratio < kRatioBands[i]) {
            row = i;
            break;
        }
    }
    return kAccelerationFactors[row][column];
}

// --- the train

TTRN::TTRN(Sim& sim, std::string description) : TSSIObject(std::move(description)), sim_(sim) {
    LookAhead.reserve(kListCapacity);
    Occupied.reserve(kListCapacity);
    const int profile = AccelHigh;
    Accel = sim.SimData.AccelerationByPower[profile];
    Decel = sim.SimData.BrakingByPower[profile];
}

// A train that is freed takes its telephone call with it.
TTRN::~TTRN() {
    sim_.Calls.RemoveCallsOf(this);
}

void TTRN::SetState(std::uint8_t state) {
    State = state;
    SubState = 0;
    Timer = 0;
}

void TTRN::SetPassAuthority(std::uint8_t mode, double metres) {
    PassMode = mode;
    PassDistance = metres;
    if (mode != PassNone) SetState(TsMoving);
}

void TTRN::SetTripIndex(std::int32_t index) {
    TripIndex = index;
    TTimetableTrip* trip = nullptr;
    if (Timetable && index >= 0 && index < Timetable->Trips.Count())
        trip = &Timetable->Trips.Items[static_cast<std::size_t>(index)];
    if (trip != CurTrip || !trip) {
        CurTrip = trip;
        ActivityIndex = 0;
        CurActivity =
            trip && !trip->Activities.Items.empty() ? &trip->Activities.Items.front() : nullptr;
    }
}

void TTRN::LoadTimetableCopy(const TTimetable& timetable) {
    CurTrip = nullptr;
    CurActivity = nullptr;
    Timetable = std::make_unique<TTimetable>(sim_, timetable.ID);
    Timetable->CopyFrom(timetable);
}

void TTRN::Place(const TTimetable* timetable, TULC& first, TENT* entry) {
    EntryPoint = entry;
    HeadULC = TailULC = &first;
    HeadPos = 0;
    Occupied.clear();
    Occupied.push_back(&first);
    if (first.TrackCircuit) first.TrackCircuit->Occupy();
    if (sim_.Hooks.SubrouteEnteredHook) sim_.Hooks.SubrouteEnteredHook(*this, first);

    // The train's own copy is validated, so the working timetable stays as it was.
    std::string reason;
    if (timetable) LoadTimetableCopy(*timetable);
    if (Timetable && Validate(*Timetable, reason)) {
        ComputePaths(*Timetable);
        const int profile = std::clamp(Timetable->AccelBrake, 0, 4);
        MaxSpeed = Timetable->MaxSpeed / 2.25;
        Decel = sim_.SimData.BrakingByPower[profile];
        if (MaxSpeed > kBrakingReferenceSpeed) Decel *= MaxSpeed / kBrakingReferenceSpeed;
        Accel = sim_.SimData.AccelerationByPower[profile];
        if (sim_.RandomInt(kLossOfPowerChance) == 0) {
            Accel *= kLossOfPower;
            MaxSpeed *= kLossOfPower;
            if (sim_.TrainEntry) sim_.TrainEntry->LogIncident(ID + " running with a loss of power");
        }
        PowerTypes = Timetable->PowerTypes;
        Length = Timetable->Length;
        IsFreight = Timetable->IsFreight;
        SetTripIndex(0);
        Timetable->Delay = std::max(0, sim_.SimTime - Timetable->EntryTime);
    } else {
        Timetable.reset();
        CurTrip = nullptr;
        CurActivity = nullptr;
        TripIndex = -1;
        MaxSpeed = kUntimetabledMaxSpeed;
        Decel = sim_.SimData.BrakingByPower[AccelHigh];
        Accel = sim_.SimData.AccelerationByPower[AccelHigh];
        PowerTypes = PowerDiesel;
        Length = kUntimetabledLength;
        IsFreight = false;
    }
    TailPos = -Length;
    Speed = std::min(first.LineSpeed(IsFreight), MaxSpeed);
}

void TTRN::SetTimetable(const TTimetable* timetable) {
    // A new working is accounted from its own lateness on entry.
    MinutesAccounted = -1;
    if (timetable) {
        LoadTimetableCopy(*timetable);
        ComputePaths(*Timetable);
        const int profile = std::clamp(Timetable->AccelBrake, 0, 4);
        MaxSpeed = Timetable->MaxSpeed / 2.25;
        Decel = sim_.SimData.BrakingByPower[profile];
        Accel = sim_.SimData.AccelerationByPower[profile];
        Length = Timetable->Length;
        // A new service brings its own kind of train: freight line speeds and traction
        // follow the timetable as at entry.
        IsFreight = Timetable->IsFreight;
        PowerTypes = Timetable->PowerTypes;
        SetTripIndex(0);
    } else {
        Timetable.reset();
        SetTripIndex(-1);
        MaxSpeed = kBareTrainMaxSpeed;
        Decel = sim_.SimData.BrakingByPower[AccelHigh];
        Accel = sim_.SimData.AccelerationByPower[AccelHigh];
        Length = kBareTrainLength;
        IsFreight = false;
        PowerTypes = PowerDiesel;
    }
}

std::uint8_t TTRN::Direction() const {
    return HeadULC ? HeadULC->Direction : 0;
}

double TTRN::BrakingDistance(double v) const {
    const TULC* u = HeadULC;
    if (!u || Decel <= 0) return 0;
    double c = v + Accel;
    double sum = 0;
    double position = HeadPos;
    std::size_t i = 0;
    while (c > 0) {
        sum += c;
        c -= u->Unscaled(Decel);
        position += c;
        // Beyond the look-ahead the braking of its last subroute holds.
        while (position >= u->Length && i + 1 < LookAhead.size()) {
            position -= u->Length;
            u = LookAhead[++i];
        }
    }
    return std::round(sum + 0.5);
}

double TTRN::BrakeRate() const {
    return (HeadULC->Unscaled(Decel) + TailULC->Unscaled(Decel)) / 2.0;
}

void TTRN::Unlink() {
    if (TrainInFront && TrainInFront->TrainBehind == this) TrainInFront->TrainBehind = nullptr;
    if (TrainBehind && TrainBehind->TrainInFront == this) TrainBehind->TrainInFront = nullptr;
    TrainInFront = nullptr;
    TrainBehind = nullptr;
}

void TTRN::SetTrainInFront(TTRN* front) {
    if (TrainInFront && TrainInFront != front && TrainInFront->TrainBehind == this)
        TrainInFront->TrainBehind = nullptr;
    TrainInFront = front;
    if (front) front->TrainBehind = this;
}

void TTRN::VacateAll() {
    for (TULC* u : Occupied) {
        if (u && u->TrackCircuit) u->TrackCircuit->Vacate();
    }
    Occupied.clear();
}

void TTRN::ComputeTail() {
    if (Occupied.empty()) return;
    double sum = HeadPos;
    std::size_t last = 0;
    for (std::size_t i = 1; i < Occupied.size() && sum < Length; ++i) {
        sum += Occupied[i]->Length;
        last = i;
    }
    TailULC = Occupied[last];
    TailPos = sum - Length;
    while (Occupied.size() > last + 1) {
        TULC* left = Occupied.back();
        Occupied.pop_back();
        if (left->TrackCircuit) left->TrackCircuit->Vacate();
        if (left->EndSignal && TrainBehind) {
            if (TrainBehind->TrainInFront == this) TrainBehind->TrainInFront = nullptr;
            TrainBehind = nullptr;
        }
    }
}

bool TTRN::CanReverse() const {
    return !Occupied.empty() &&
           std::all_of(Occupied.begin(), Occupied.end(), [](const TULC* u) { return u->Opposite; });
}

void TTRN::Reverse() {
    if (!CanReverse()) return;
    ComputeTail();
    const double oldTailPos = TailPos;
    std::reverse(Occupied.begin(), Occupied.end());
    for (TULC*& u : Occupied) u = u->Opposite;
    HeadULC = Occupied.front();
    HeadPos = HeadULC->Length - oldTailPos;
    ComputeTail();
    std::swap(TrainInFront, TrainBehind);
    LookAhead.clear();
}

// --- the per-second step

void TTRN::OneSecond() {
    if (!HeadULC || Paused) return;
    try {
        Dispatch();
    } catch (const std::exception&) {
        ++ErrorCount;
    }
    if (ErrorCount > kMaxTrainErrors && State != TsError && State != TsLeaving) EnterErrorState();
}

void TTRN::EnterErrorState() {
    SetState(TsError);
    Speed = 0;
    sim_.PostEventMessage("Train " + ID + " has failed and stopped: " + TrainStatusText(TsError, 0),
                          kErrorMessageType);
    // A train that no longer moves must not hold its circuits (and the routes over them)
    // for ever: it gives up its track and its place in the line of trains.
    VacateAll();
    LookAhead.clear();
    Unlink();
    HeadULC = nullptr;
    TailULC = nullptr;
}

void TTRN::Dispatch() {
    switch (State) {
        case TsMoving:
            MovingStep();
            break;
        case TsAtRed:
            WaitAtRed();
            break;
        case TsAtStation:
            StationStop();
            break;
        case TsReadyToStart:
            ReadyToStart();
            break;
        case TsTrainInFront:
            TrainInFrontStep();
            break;
        case TsJoining:
            JoinStep();
            break;
        case TsWaitingForJoin:
            WaitForJoin();
            break;
        case TsDividing:
            DivideStep();
            break;
        case TsWrongRoute:
        case TsNoTraction:
            WrongRouteWait();
            break;
        case TsTerminated:
            Speed = 0;
            break;
        default:
            break;
    }
}

double TTRN::SignalStopDistance() {
    double q = -HeadPos;
    std::uint8_t r = PassMode;
    std::uint8_t k = CautionMode;
    TULC* u = HeadULC;
    while (true) {
        q += u->Length;
        // A train told to stop at the next signal stops only where there is one.
        const bool mayPass =
            (u->MayPassEnd() && !(r == PassStopAtNext && u->EndSignal)) || IsPassingAuthority(r);
        if (!mayPass) {
            SignalAhead = u->EndSignal;
            q -= u->SignalOffset;
            break;
        }
        if (u->EndSignal && k == CautionExamining) {
            SignalAhead = u->EndSignal;
            q -= u->SignalOffset;
            break;
        }
        if (u->LeavesArea) {
            q = kNoObstacle;
            break;
        }
        if (r == PassNextAndStop && u->EndSignal) {
            q = q - u->SignalOffset + PassDistance;
            break;
        }
        if (u->EndSignal) {
            r = PassNone;
            k = CautionNone;
        }
        TULC* n = u->NextSubroute();
        if (!n) break;
        LookAhead.push_back(n);
        u = n;
        if (q >= kLookAheadLimit) break;
    }
    return q;
}

double TTRN::LineSpeedDistance() const {
    return LineSpeedDistanceFrom(Speed);
}

double TTRN::LineSpeedDistanceFrom(double speed) const {
    double L = kNoObstacle;
    double s = speed;
    double position = HeadPos;
    double travelled = 0;
    // The braking the train gets, which a falling gradient weakens: the present rate,
    // and no more than on any subroute the head runs onto while braking. At the full
    // rate a train braking downhill towards a speed restriction began too late and ran
    // onto it too fast.
    double rate = HeadULC && TailULC ? std::min(Decel, BrakeRate()) : Decel;
    std::size_t i = 0;
    while (s > 0) {
        position += s;
        travelled += s;
        while (i < LookAhead.size() && position >= LookAhead[i]->Length) {
            position -= LookAhead[i]->Length;
            ++i;
            if (i >= LookAhead.size()) break;
            const TULC* n = LookAhead[i];
            rate = std::min(rate, n->Unscaled(Decel));
            if (n->LineSpeed(IsFreight) < s) {
                double d = travelled;
                double v = s;
                const double brake = n->Unscaled(Decel);
                while (v > 0 && brake > 0) {
                    d += v;
                    v -= brake;
                }
                L = std::min(L, d);
            }
        }
        if (i >= LookAhead.size()) break;
        s -= rate;
    }
    return L;
}

const TTimetableTrip* TTRN::StopTrip() const {
    if (!Timetable || SkipNextStop || TripIndex < 0 || TripIndex >= Timetable->Trips.Count())
        return nullptr;
    for (std::size_t i = static_cast<std::size_t>(TripIndex); i < Timetable->Trips.Items.size();
         ++i) {
        const TTimetableTrip& trip = Timetable->Trips.Items[i];
        if (!trip.IsPass) return &trip;
    }
    return nullptr;
}

double TTRN::StationStopDistance() const {
    double b = kLookAheadLimit;
    const TTimetableTrip* stop = StopTrip();
    if (!stop || !stop->Location) return b;
    const TLOC* location = stop->Location;
    // The walk: the occupied subroutes from the tail to the head, then the look-ahead
    // beyond the head.
    const std::size_t behind = Occupied.size();
    const std::size_t total = behind + (LookAhead.size() > 1 ? LookAhead.size() - 1 : 0);
    auto at = [&](std::size_t i) -> const TULC* {
        if (i < behind) return Occupied[behind - 1 - i];
        return LookAhead[i - behind + 1];
    };
    double start = -TailPos;
    for (std::size_t i = 0; i < total; ++i) {
        const TULC* u = at(i);
        const TULC* next = i + 1 < total ? at(i + 1) : nullptr;
        for (int k = 0; k < u->StopPoints.Count(); ++k) {
            const TULCLOC& point = StopPointAt(*u, k);
            if (point.Location != location) continue;
            if (!location->StopWhenInside && next && next == point.ContinuationSubroute) continue;
            if (location->StopWhenInside)
                b = start + kStopWindow;
            else
                b = point.Position + start - Length;
        }
        if (b < kLookAheadLimit) break;
        start += u->Length;
    }
    return b;
}

double TTRN::TrainInFrontDistance(bool standing) {
    double p = kNoObstacle;
    double start = -HeadPos;
    for (const TULC* u : LookAhead) {
        if (standing && start > kStandingLookAhead) break;
        sim_.Trains.ForEach([&](TTRN& t) {
            if (&t == this || !t.HeadULC || !t.TailULC) return;
            double f;
            if (t.TailULC == u)
                f = start + t.TailPos;
            else if (t.HeadULC->Opposite == u)
                f = start + u->Length - t.HeadPos;
            else
                return;
            if (f > kTouching && f < 0) f = 0;
            if (f < p && f > kBehindLimit) {
                SetTrainInFront(&t);
                p = f;
            }
        });
        if (p < kNoObstacle - 1) break;
        start += u->Length;
    }
    return p;
}

void TTRN::FindTrainInFront() {
    if (!HeadULC) return;
    if (LookAhead.empty()) {
        double length = -HeadPos;
        TULC* u = HeadULC;
        while (u && length <= kStandingLookAhead) {
            LookAhead.push_back(u);
            length += u->Length;
            if (u->LeavesArea || (u->EndSignal && !u->EndSignal->ShowsProceedToDriver())) break;
            u = u->NextSubroute();
        }
    }
    const double p = TrainInFrontDistance(true);
    if (p > kStandingNear) SetTrainInFront(nullptr);
}

double TTRN::CautionDistance() {
    double g = kNoObstacle;
    if (CautionPending && CautionSignal) {
        double d = -HeadPos;
        const TULC* u = HeadULC;
        while (u && d <= kLookAheadLimit) {
            d += u->Length;
            if (u->EndSignal == CautionSignal) {
                g = d - u->SignalOffset;
                if (g < CautionSignal->SightingDistance) g = kNoObstacle;
                break;
            }
            if (u->LeavesArea) break;
            u = u->NextSubroute();
        }
    }
    if (g >= kNoObstacle) {
        CautionPending = false;
        CautionSignal = nullptr;
    }
    return g;
}

bool TTRN::RestrictionAhead() const {
    // Starts from the speed the train would have after a second of acceleration. Low
    // down the acceleration factor exceeds 1, so Speed + Accel alone would let a train
    // accelerate past a restriction it had just checked.
    const double a = Accel * AccelerationFactor(Accel, (Speed + Accel) / MaxSpeed);
    double s = Speed + std::max(Accel, (HeadULC->Scaled(a) + TailULC->Scaled(a)) / 2.0);
    double position = HeadPos;
    const TULC* u = HeadULC;
    while (s > 0 && u) {
        position += s;
        while (u && position >= u->Length) {
            position -= u->Length;
            u = u->NextSubroute();
        }
        if (!u) break;
        if (u == HeadULC && u->TrackCircuit) {
            bool over = false;
            u->TrackCircuit->TSRs.ForEach([&](TTSR& tsr) {
                if (s > (IsFreight ? tsr.FreightSpeed : tsr.PassengerSpeed)) over = true;
            });
            if (over) return true;
        }
        bool over = false;
        const auto at = static_cast<std::int32_t>(position);
        u->TSRs.ForEach([&](TTSR& tsr) {
            if (tsr.Covers(at) && s > (IsFreight ? tsr.FreightSpeed : tsr.PassengerSpeed))
                over = true;
        });
        if (over) return true;
        s -= Decel;
    }
    return false;
}

double TTRN::AccelerateUpTo(double wanted) const {
    // The line-speed look-ahead brakes for a lower line speed ahead only when braking
    // from the present speed would not bring the train under it in time; it does not
    // ask whether it still would from the speed the train is about to gain. A train
    // close to its braking curve gains nothing when braking from the higher speed would
    // arrive too fast.
    if (wanted > Speed && LineSpeedDistanceFrom(wanted) < kNoObstacle) return Speed;
    // Nor does the head run this second onto a lower line speed above it: the train
    // keeps the speed it has (any excess is within a second's braking) but gains none
    // beyond the line speed of track its head reaches.
    double limit = wanted;
    double reach = HeadPos + wanted;
    for (std::size_t i = 1; i < LookAhead.size(); ++i) {
        reach -= LookAhead[i - 1]->Length;
        if (reach < 0) break;
        limit = std::min(limit, LookAhead[i]->LineSpeed(IsFreight));
    }
    return std::max(Speed, limit);
}

void TTRN::OverSpeedCorrection() {
    const double head = HeadULC->EffectiveLineSpeed(IsFreight);
    const double tail = TailULC->EffectiveLineSpeed(IsFreight);
    if (head >= Speed && tail >= Speed) return;
    // Brakes towards the lower effective line speed: by the scale difference, but never
    // by less than the service braking rate, and never below that line speed.
    const double byScale = 1.0 - (HeadULC->Scale + TailULC->Scale) / 2.0;
    const double correction = std::max(byScale, BrakeRate());
    Speed = std::max(Speed - correction, std::min(head, tail));
}

void TTRN::OccupyHead(TULC& next) {
    HeadULC = &next;
    if (next.TrackCircuit) next.TrackCircuit->Occupy();
    Occupied.insert(Occupied.begin(), &next);
    if (sim_.Hooks.SubrouteEnteredHook) sim_.Hooks.SubrouteEnteredHook(*this, next);
}

void TTRN::EnterNextSubroute() {
    for (int guard = 0;
         guard < kMaxSubroutesPerSecond && State == TsMoving && HeadPos >= HeadULC->Length;
         ++guard) {
        TULC* head = HeadULC;
        if (head->LeavesArea) {
            SetState(TsLeaving);
            sim_.Performance.AccountMinutes(*this);
            return;
        }
        const bool mayPass = head->MayPassEnd() || IsPassingAuthority(PassMode);
        TULC* next = head->NextSubroute();
        if (mayPass) {
            TSIG* signal = head->EndSignal;
            // A wrong route, track without the train's traction or the area's own test
            // stop the train short of the signal.
            if (signal && StoppedOnEnteringPastSignal(*signal)) {
                HeadPos -= Speed;
                Speed = 0;
                return;
            }
            if (signal) {
                if (PassMode == PassNext)
                    PassMode = PassNone;
                else if (PassMode == PassNextAndStop)
                    PassMode = PassCountingDown;
                else if (PassMode == PassToNextSignal)
                    PassMode = PassStopAtNext;
                if (CautionMode == CautionAsked) CautionMode = CautionExamining;
            }
            if (!next) {
                HeadPos -= Speed;
                Speed = 0;
                SetState(TsAtRed);
                return;
            }
            if (signal) {
                SignalAhead = signal;
                if (signal->Aspect == AspSingleYellow) {
                    CautionPending = true;
                    CautionSignal = signal->NextSignal;
                }
            }
            HeadPos -= head->Length;
            NoteGoodsLine(*head, *next);
            OccupyHead(*next);
            continue;
        }
        // The signal at the end is at danger. A train slow enough to stop within this
        // second stands at it; a faster one cannot stop dead: it runs past (a signal
        // passed at danger) and brakes to a stand beyond, counting its braking distance
        // down as its overrun.
        if (Speed <= BrakeRate() + 1e-6 || !next) {
            HeadPos = std::min(HeadPos - Speed, static_cast<double>(head->Length) - 0.01);
            if (HeadPos < 0) HeadPos = 0;
            Speed = 0;
            SignalAhead = head->EndSignal;
            SetState(TsAtRed);
            return;
        }
        SignalAhead = head->EndSignal;
        PassMode = PassCountingDown;
        PassDistance = BrakingDistance(Speed);
        HeadPos -= head->Length;
        OccupyHead(*next);
    }
}

void TTRN::MovingStep() {
    // 1. the look-ahead from the head
    JoinedHeadcodes.clear();
    LookAhead.clear();
    LookAhead.push_back(HeadULC);

    // 2.-10. the obstacles
    const double q = SignalStopDistance();
    const double L = LineSpeedDistance();
    const double b = StationStopDistance();
    const double p = TrainInFrontDistance(false);
    const double O = PassMode == PassCountingDown ? PassDistance : kLookAheadLimit;
    double B0 = BrakingDistance(Speed);
    double B4 = BrakingDistance(Speed + 4 * Accel);
    if (Speed > kHighSpeed) {
        B0 += kHighSpeedMarginB0;
        B4 += kHighSpeedMarginB4;
    }
    if (Speed > kModerateSpeed) {
        B0 += RoundedMargin(Speed, kHighSpeedMarginB0);
        B4 += RoundedMargin(Speed, kHighSpeedMarginB4);
    }
    const double g = CautionDistance();
    const bool R = RestrictionAhead();
    double H = 1000;
    if (sim_.Hooks.SpeedLimitHook) {
        std::int32_t limit = static_cast<std::int32_t>(std::lround((Speed + Accel) * 2.25));
        sim_.Hooks.SpeedLimitHook(*this, limit);
        H = limit / 2.25;
    }

    // 11. accelerate, hold or brake
    const double nearest = std::min({q, b, p, L, g, O});
    // A train counting down its overrun past a signal it was not to run on from (one
    // thrown back in front of it, or one it was told to stop beyond) never picks up
    // speed again: it holds or brakes towards its stand.
    const bool mustNotGainSpeed = (CautionMode != CautionNone && Speed >= kCautionSpeed) ||
                                  Speed > H || R;
    const bool overrunning = PassMode == PassCountingDown;
    if (B4 >= nearest || mustNotGainSpeed) {
        if (B0 >= nearest || mustNotGainSpeed)
            Speed -= BrakeRate();
        else
            OverSpeedCorrection();
    } else if (overrunning) {
        OverSpeedCorrection();
    } else if (HeadULC->LineSpeed(IsFreight) >= Speed + Accel &&
               TailULC->LineSpeed(IsFreight) >= Speed + Accel && Speed + Accel <= MaxSpeed) {
        if (HeadULC->EffectiveLineSpeed(IsFreight) >= Speed &&
            TailULC->EffectiveLineSpeed(IsFreight) >= Speed) {
            const double a = Accel * AccelerationFactor(Accel, (Speed + Accel) / MaxSpeed);
            Speed = AccelerateUpTo(Speed + (HeadULC->Scaled(a) + TailULC->Scaled(a)) / 2.0);
        } else {
            OverSpeedCorrection();
        }
    } else {
        OverSpeedCorrection();
    }

    // 12. never above the line speed of the track it stands on
    for (const TULC* u : Occupied) Speed = std::min(Speed, u->LineSpeed(IsFreight));
    if (Speed < 0) Speed = 0;

    // 13. passing a timing point. A train whose working ends at the point it was told
    // to run through still makes this second's move onto the track ahead, and stands
    // once its head has stepped on (so the circuit it runs onto is occupied).
    bool endsWorkingHere = false;
    if (CurTrip && (CurTrip->IsPass || SkipNextStop)) {
        for (int k = 0; k < HeadULC->StopPoints.Count(); ++k) {
            const TULCLOC& point = StopPointAt(*HeadULC, k);
            if (point.Location == CurTrip->Location && point.Position <= HeadPos + Speed) {
                LastLocation = point.Location;
                // A train booked to pass its last timing point runs on and out of the
                // area; only a stop it was told to skip can end its working here.
                const bool passing = CurTrip->IsPass;
                ReportDeparture();
                SkipNextStop = false;
                SetTripIndex(TripIndex + 1);
                const bool more = Timetable && TripIndex < Timetable->Trips.Count();
                endsWorkingHere = !(more || passing || HeadULC->LeavesArea);
                break;
            }
        }
    }

    // 14. advance
    const double oldHead = HeadPos;
    HeadPos += Speed;
    if (PassMode == PassCountingDown) PassDistance -= Speed;
    for (int k = 0; k < HeadULC->StopPoints.Count(); ++k) {
        const TULCLOC& point = StopPointAt(*HeadULC, k);
        if (point.Position >= oldHead && point.Position < HeadPos) {
            LastLocation = point.Location;
            PlatformUsed = point.Platform;
        }
    }

    // 15. on to the next subroute
    if (State == TsMoving) EnterNextSubroute();

    // 16. the tail
    if (State == TsMoving) ComputeTail();
    if (State == TsLeaving) {
        VacateAll();
        return;
    }
    if (endsWorkingHere && State == TsMoving) {
        SetState(TsTerminated);
        return;
    }

    // 17. stopping. A signal stop is made only from a speed the train can shed within
    // the second; faster, it goes on braking.
    if (State != TsMoving) return;
    const bool canStandNow = Speed <= BrakeRate() + 1e-6;
    if (q < kStopWindow && canStandNow) {
        SetState(TsAtRed);
        Speed = 0;
    }
    if (PassMode == PassCountingDown && PassDistance < kStopWindow && canStandNow) {
        SetState(TsAtRed);
        Speed = 0;
    }
    if (b < kStopWindow) {
        SetState(TsAtStation);
        if (CurTrip) LastLocation = CurTrip->Location;
        Speed = 0;
    }
    if (p > kBehindLimit && p < kStopWindow) {
        SetState(TsTrainInFront);
        Speed = 0;
    }
}

// --- saved record

bool TTRN::Save(ValueWriter& w) {
    const TTRNList& trains = sim_.Trains;
    auto trainIndex = [&](const TTRN* t) { return t ? trains.IndexOf(t) : -1; };
    auto signalIndex = [&](const TSIG* s) { return s ? sim_.Signals.IndexOf(s) : -1; };
    auto subrouteIndex = [&](const TULC* u) { return u ? sim_.Subroutes.IndexOf(u) : -1; };
    w.WriteString(ID);
    w.WriteInteger(State);
    w.WriteFloat(Accel);
    w.WriteFloat(Decel);
    w.WriteInteger(signalIndex(SignalAhead));
    w.WriteFloat(Speed);
    w.WriteFloat(HeadPos);
    w.WriteInteger(subrouteIndex(HeadULC));
    w.WriteBoolean(IsFreight);
    w.WriteInteger(trainIndex(Reserved3));
    w.WriteInteger(Length);
    w.WriteInteger(LastLocation ? sim_.Locations.IndexOf(LastLocation) : -1);
    w.WriteFloat(MaxSpeed);
    w.WriteInteger(signalIndex(Reserved4));
    w.WriteFloat(TailPos);
    w.WriteInteger(subrouteIndex(TailULC));
    w.WriteInteger(Timer);
    w.WriteInteger(trainIndex(TrainInFront));
    w.WriteInteger(trainIndex(TrainBehind));
    w.WriteInteger(TripIndex);
    w.WriteInteger(SubState);
    w.WriteInteger(ActivityIndex);
    w.WriteInteger(ErrorCount);
    w.WriteBoolean(PassFlag);
    w.WriteInteger(EntryPoint ? sim_.EntryPoints.IndexOf(EntryPoint) : -1);
    w.WriteInteger(CautionMode);
    w.WriteInteger(static_cast<std::int32_t>(JoinedHeadcodes.size()));
    for (const std::string& h : JoinedHeadcodes) w.WriteString(h);
    w.WriteBoolean(SkipNextStop);
    w.WriteString(PlatformUsed);
    w.WriteBoolean(Reserved5);
    const std::int32_t call = PendingCall ? PendingCall->CallKind : 0;
    w.WriteInteger((PowerTypes & PowerTypeMask) | (NoReports ? kFlagNoReports : 0) |
                   (Reserved1 ? kFlagReserved1 : 0) | (Paused ? kFlagPaused : 0) |
                   (ArrivalAlreadyReported ? kFlagArrivalReported : 0) | (call << kFlagCallShift));
    w.WriteInteger(Lateness);
    w.WriteBoolean(CautionPending);
    w.WriteInteger(signalIndex(CautionSignal));
    w.WriteInteger(PassMode);
    w.WriteFloat(PassDistance);
    for (const std::vector<TULC*>* list : {&Reserved2, &Occupied, &LookAhead}) {
        w.WriteInteger(static_cast<std::int32_t>(list->size()));
        for (const TULC* u : *list) w.WriteInteger(subrouteIndex(u));
    }
    w.WriteBoolean(Timetable != nullptr);
    if (Timetable) WriteTimetable(w, *Timetable, true);
    return true;
}

namespace {

// A train's record read and checked, not yet applied.
struct TrainRecord {
    std::string ID;
    std::uint8_t State = 0;
    double Accel = 0, Decel = 0, Speed = 0, HeadPos = 0, MaxSpeed = 0, TailPos = 0;
    TSIG *SignalAhead = nullptr, *Reserved4 = nullptr, *CautionSignal = nullptr;
    TULC *HeadULC = nullptr, *TailULC = nullptr;
    bool IsFreight = false, PassFlag = false, SkipNextStop = false, Reserved5 = false;
    bool CautionPending = false;
    std::int32_t Reserved3 = -1, TrainInFront = -1, TrainBehind = -1;
    std::int32_t Length = 0, Timer = 0, TripIndex = -1, SubState = 0, ActivityIndex = 0;
    std::int32_t ErrorCount = 0, Flags = 0, Lateness = 0;
    TLOC* LastLocation = nullptr;
    TENT* EntryPoint = nullptr;
    std::uint8_t CautionMode = 0, PassMode = 0;
    double PassDistance = 0;
    std::vector<std::string> Joined;
    std::string PlatformUsed;
    std::vector<TULC*> Reserved2, Occupied, LookAhead;
    std::unique_ptr<TTimetable> Timetable;
};

// The smallest a value can be in the stream: a tag and a byte.
constexpr std::size_t kMinValueBytes = 1;
// A train record holds well over this many values.
constexpr std::size_t kMinTrainRecordBytes = 40;

std::int32_t ReadCountOf(ValueReader& r) {
    const std::int32_t n = r.ReadInteger();
    if (n < 0 || static_cast<std::size_t>(n) > r.Remaining() / kMinValueBytes)
        throw ReadError("a count larger than the data left");
    return n;
}

// A float of the record; infinities and NaN are no positions or speeds.
double ReadFinite(ValueReader& r) {
    const double v = r.ReadFloat();
    if (!std::isfinite(v)) throw ReadError("a value that is not a number");
    return v;
}

std::uint8_t ReadSmall(ValueReader& r, std::int32_t highest) {
    const std::int32_t v = r.ReadInteger();
    if (v < 0 || v > highest) throw ReadError("a value out of range");
    return static_cast<std::uint8_t>(v);
}

bool ReadTrainRecord(ValueReader& r, Sim& sim, TrainRecord& t) {
    auto subroute = [&] { return ReadReference(r, sim.Subroutes); };
    auto signal = [&] { return ReadReference(r, sim.Signals); };
    t.ID = r.ReadString();
    t.State = ReadSmall(r, TsNoTraction);
    t.Accel = ReadFinite(r);
    t.Decel = ReadFinite(r);
    t.SignalAhead = signal();
    t.Speed = ReadFinite(r);
    t.HeadPos = ReadFinite(r);
    t.HeadULC = subroute();
    t.IsFreight = r.ReadBoolean();
    t.Reserved3 = r.ReadInteger();
    t.Length = r.ReadInteger();
    t.LastLocation = ReadReference(r, sim.Locations);
    t.MaxSpeed = ReadFinite(r);
    t.Reserved4 = signal();
    t.TailPos = ReadFinite(r);
    t.TailULC = subroute();
    t.Timer = r.ReadInteger();
    t.TrainInFront = r.ReadInteger();
    t.TrainBehind = r.ReadInteger();
    t.TripIndex = r.ReadInteger();
    t.SubState = r.ReadInteger();
    t.ActivityIndex = r.ReadInteger();
    t.ErrorCount = r.ReadInteger();
    t.PassFlag = r.ReadBoolean();
    t.EntryPoint = ReadReference(r, sim.EntryPoints);
    t.CautionMode = ReadSmall(r, CautionExamining);
    const std::int32_t joined = ReadCountOf(r);
    for (std::int32_t i = 0; i < joined; ++i) t.Joined.push_back(r.ReadString());
    t.SkipNextStop = r.ReadBoolean();
    t.PlatformUsed = r.ReadString();
    t.Reserved5 = r.ReadBoolean();
    t.Flags = r.ReadInteger();
    if (t.Flags < 0 || (t.Flags >> kFlagCallShift) > kHighestCallKind) return false;
    t.Lateness = r.ReadInteger();
    t.CautionPending = r.ReadBoolean();
    t.CautionSignal = signal();
    t.PassMode = ReadSmall(r, PassStopAtNext);
    t.PassDistance = ReadFinite(r);
    for (std::vector<TULC*>* list : {&t.Reserved2, &t.Occupied, &t.LookAhead}) {
        const std::int32_t n = ReadCountOf(r);
        for (std::int32_t i = 0; i < n; ++i) {
            TULC* u = subroute();
            if (u) list->push_back(u);
        }
    }
    // A train standing on the track needs its head and tail there.
    if (t.Length < 0 || t.Speed < 0 || (t.HeadULC && (!t.TailULC || t.Occupied.empty())))
        return false;
    if (r.ReadBoolean()) {
        std::string error;
        t.Timetable = ReadTimetableRecord(r, sim, error);
        if (!t.Timetable) return false;
    }
    // The activity index points into the current trip's activities; 0 also stands for
    // a trip without any.
    const TTimetableTrip* trip =
        t.Timetable && t.TripIndex >= 0 && t.TripIndex < t.Timetable->Trips.Count()
            ? &t.Timetable->Trips.Items[static_cast<std::size_t>(t.TripIndex)]
            : nullptr;
    const auto activities =
        trip ? static_cast<std::int32_t>(trip->Activities.Items.size()) : std::int32_t{0};
    if (t.ActivityIndex < 0 || (t.ActivityIndex != 0 && t.ActivityIndex >= activities))
        return false;
    return true;
}

}  // namespace

bool TTRN::StageLoad(ValueReader& reader, LoadCommits& commits) {
    // A train's record is read by its list, which resolves the links between trains.
    (void)reader;
    (void)commits;
    return false;
}

// --- the list

TTRN& TTRNList::Create(std::string description) {
    return TTypedList<TTRN>::Create(sim_, std::move(description));
}

int TTRNList::TrainsInArea() const {
    // A train that has lost its place on the track (waiting to be freed) is not counted.
    int n = 0;
    ForEach([&](TTRN& t) {
        if (t.HeadULC) ++n;
    });
    return n;
}

void TTRNList::RemoveLeft() {
    bool removed = false;
    for (int i = 0; i < Count(); ++i) {
        TTRN* t = At(i);
        if (!t || t->State != TsLeaving) continue;
        // Only a train that ran out over the boundary has left the area; a portion
        // joined to another, or a train freed with the simulation, has not.
        const bool ranOut = t->HeadULC != nullptr && t->HeadULC->LeavesArea;
        t->VacateAll();
        if (ranOut) ++LeftCount;
        // No other train may keep a link to one that is freed.
        ForEach([&](TTRN& other) {
            if (other.TrainInFront == t) other.TrainInFront = nullptr;
            if (other.TrainBehind == t) other.TrainBehind = nullptr;
            if (other.Reserved3 == t) other.Reserved3 = nullptr;
        });
        Destroy(t);
        removed = true;
    }
    if (removed) Pack();
}

void TTRNList::OneSecond() {
    for (int i = 0; i < Count(); ++i) {
        if (TTRN* t = At(i)) t->OneSecond();
    }
    RemoveLeft();
}

void TTRNList::Reset() {
    ForEach([](TTRN& t) {
        t.Occupied.clear();
        t.SetState(TsLeaving);
    });
    RemoveLeft();
    FreeObjects();
    EnteredCount = 0;
    LeftCount = 0;
}

bool TTRNList::Save(ValueWriter& writer) {
    try {
        SaveCounted(writer, *this);
    } catch (const WriteError&) {
        return false;
    }
    return true;
}

bool TTRNList::StageLoad(ValueReader& reader, LoadCommits& commits) {
    const std::int32_t count = reader.ReadInteger();
    if (count < 0 || static_cast<std::size_t>(count) > reader.Remaining() / kMinTrainRecordBytes)
        return false;
    auto records = std::make_shared<std::vector<TrainRecord>>(static_cast<std::size_t>(count));
    for (TrainRecord& record : *records) {
        if (!ReadTrainRecord(reader, sim_, record)) return false;
    }
    commits.Add([this, records] {
        FreeObjects();
        std::vector<TTRN*> made;
        for (TrainRecord& r : *records) made.push_back(&Create(r.ID));
        auto train = [&](std::int32_t i) -> TTRN* {
            return i >= 0 && i < static_cast<std::int32_t>(made.size())
                       ? made[static_cast<std::size_t>(i)]
                       : nullptr;
        };
        for (std::size_t i = 0; i < made.size(); ++i) {
            TrainRecord& r = (*records)[i];
            TTRN& t = *made[i];
            t.State = r.State;
            t.Accel = r.Accel;
            t.Decel = r.Decel;
            t.SignalAhead = r.SignalAhead;
            t.Speed = r.Speed;
            t.HeadPos = r.HeadPos;
            t.HeadULC = r.HeadULC;
            t.IsFreight = r.IsFreight;
            t.Reserved3 = train(r.Reserved3);
            t.Length = r.Length;
            t.LastLocation = r.LastLocation;
            t.MaxSpeed = r.MaxSpeed;
            t.Reserved4 = r.Reserved4;
            t.TailPos = r.TailPos;
            t.TailULC = r.TailULC;
            t.Timer = r.Timer;
            t.TrainInFront = train(r.TrainInFront);
            t.TrainBehind = train(r.TrainBehind);
            t.SubState = r.SubState;
            t.ErrorCount = r.ErrorCount;
            t.PassFlag = r.PassFlag;
            t.EntryPoint = r.EntryPoint;
            t.CautionMode = r.CautionMode;
            t.JoinedHeadcodes = std::move(r.Joined);
            t.SkipNextStop = r.SkipNextStop;
            t.PlatformUsed = std::move(r.PlatformUsed);
            t.Reserved5 = r.Reserved5;
            t.PowerTypes = r.Flags & PowerTypeMask;
            t.NoReports = (r.Flags & kFlagNoReports) != 0;
            t.Reserved1 = (r.Flags & kFlagReserved1) != 0;
            t.Paused = (r.Flags & kFlagPaused) != 0;
            t.ArrivalAlreadyReported = (r.Flags & kFlagArrivalReported) != 0;
            t.Lateness = r.Lateness;
            t.MinutesAccounted = r.Lateness > 0 ? r.Lateness / 60 : -1;
            t.CautionPending = r.CautionPending;
            t.CautionSignal = r.CautionSignal;
            t.PassMode = r.PassMode;
            t.PassDistance = r.PassDistance;
            t.Reserved2 = std::move(r.Reserved2);
            t.Occupied.assign(r.Occupied.begin(), r.Occupied.end());
            t.LookAhead.assign(r.LookAhead.begin(), r.LookAhead.end());
            t.Timetable = std::move(r.Timetable);
            // The paths between the timing points are worked out, not saved: the same
            // timetable gives the same paths (and trip directions) as at entry.
            if (t.Timetable) ComputePaths(*t.Timetable);
            t.SetTripIndex(r.TripIndex);
            const bool tripKept = t.CurTrip != nullptr;
            t.ActivityIndex = r.ActivityIndex;
            t.CurActivity = nullptr;
            if (tripKept && r.ActivityIndex >= 0 &&
                r.ActivityIndex < static_cast<std::int32_t>(t.CurTrip->Activities.Items.size()))
                t.CurActivity =
                    &t.CurTrip->Activities.Items[static_cast<std::size_t>(r.ActivityIndex)];
        }
        // The calls drivers were making when the game was saved ring again; their lines
        // are in the incident log already.
        for (std::size_t i = 0; i < made.size(); ++i) {
            const std::int32_t call = (*records)[i].Flags >> kFlagCallShift;
            if (call != 0) made[i]->RaiseCallAgain(call);
        }
    });
    return true;
}

}  // namespace kestra
