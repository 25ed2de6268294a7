#include <algorithm>
#include <string>
#include <vector>

#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable_validate.h"
#include "trains/train.h"

namespace kestra {

namespace {

// A portion never becomes shorter than this when another is taken off it.
constexpr std::int32_t kMinimumPortionLength = 20;
// The gap left between the two portions of a divided train, in metres.
constexpr double kDivideGap = 5;

bool HasStopPointOf(const TULC* subroute, const TLOC* location) {
    if (!subroute || !location) return false;
    for (int k = 0; k < subroute->StopPoints.Count(); ++k) {
        const auto* point = static_cast<const TULCLOC*>(subroute->StopPoints.GetItem(k));
        if (point && point->Location == location) return true;
    }
    return false;
}

bool HasActivity(const TTimetableTrip* trip, std::uint8_t kind) {
    if (!trip) return false;
    const auto& items = trip->Activities.Items;
    return std::any_of(items.begin(), items.end(),
                       [&](const TTimetableActivity& a) { return a.ActivityKind == kind; });
}

// A train still has trips when its current one is not its last.
bool HasTripsLeft(const TTRN& train) {
    return train.Timetable && train.TripIndex < train.Timetable->Trips.Count() - 1;
}

bool Contains(const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

// Moves the join activities of the train's current trip whose headcode the test accepts
// into the list of joined headcodes. The train's current activity pointed into that
// trip: it starts again from the trip's first activity.
template <class Test>
void MoveJoinsInto(TTRN& owner, std::vector<std::string>& joined, Test names) {
    TTimetableTrip* trip = owner.CurTrip;
    if (!trip) return;
    auto& items = trip->Activities.Items;
    bool moved = false;
    for (auto it = items.begin(); it != items.end();) {
        if (it->ActivityKind == ActJoins && names(it->Headcode)) {
            joined.push_back(it->Headcode);
            it = items.erase(it);
            moved = true;
        } else {
            ++it;
        }
    }
    if (moved) {
        owner.ActivityIndex = 0;
        owner.CurActivity = items.empty() ? nullptr : &items.front();
    }
}

}  // namespace

// Removes the current activity from the current trip; the trip's other activities stay.
void TTRN::RemoveCurrentActivity() {
    if (CurTrip && CurActivity) {
        auto& items = CurTrip->Activities.Items;
        const auto at = static_cast<std::ptrdiff_t>(CurActivity - items.data());
        if (at >= 0 && at < static_cast<std::ptrdiff_t>(items.size()))
            items.erase(items.begin() + at);
    }
    CurActivity = nullptr;
    ActivityIndex = 0;
}

// Moves the head back by the metres its position went below zero, over the occupied
// subroutes; false when none is left (the head has nowhere to stand).
bool TTRN::MoveHeadBack() {
    while (HeadPos < 0) {
        if (Occupied.empty()) break;
        Occupied.erase(Occupied.begin());
        if (Occupied.empty()) break;
        HeadPos += Occupied.front()->Length;
    }
    if (Occupied.empty()) {
        HeadULC = nullptr;
        TailULC = nullptr;
        LookAhead.clear();
        Unlink();
        SetState(TsLeaving);
        return false;
    }
    HeadULC = Occupied.front();
    return true;
}

void TTRN::ReverseToDirection(std::uint8_t direction) {
    if (direction != 0 && Direction() != direction && CanReverse()) Reverse();
}

// A standing train with another close in front of it.
void TTRN::TrainInFrontStep() {
    Speed = 0;
    const TLOC* location = CurTrip ? CurTrip->Location : nullptr;
    if (HasStopPointOf(HeadULC, location) || HasStopPointOf(TailULC, location)) {
        LastLocation = CurTrip->Location;
        WorkOutPlatformUsed();
        if (TrainInFront) {
            auto& items = CurTrip->Activities.Items;
            for (auto& a : items) {
                if (a.ActivityKind == ActJoins && a.Headcode == TrainInFront->ID) {
                    CurActivity = &a;
                    ActivityIndex = static_cast<std::int32_t>(&a - items.data());
                    SetState(TsJoining);
                    return;
                }
            }
        }
        SetState(TsAtStation);
        return;
    }
    FindTrainInFront();
    if (!TrainInFront) SetState(TsMoving);
}

void TTRN::JoinStep() {
    Speed = 0;
    if (!TrainInFront || !CurActivity) {
        SetState(TsMoving);
        return;
    }
    TTRN& front = *TrainInFront;
    if (front.ID != CurActivity->Headcode) return;

    // 1, 2: both must face the same way.
    if (front.Direction() != Direction()) {
        if (!front.CanReverse()) {
            sim_.Trace(ID + " cannot reverse " + front.ID + " for joining");
            RemoveCurrentActivity();
            SetState(TsMoving);
            return;
        }
        front.Reverse();
        // The front train's reversal swapped its links; this train stays behind it.
        if (front.TrainInFront == this) front.TrainInFront = nullptr;
        SetTrainInFront(&front);
    }
    if (front.Direction() != Direction()) {
        sim_.Trace(ID + " data error in track directions for joining" + front.ID);
        RemoveCurrentActivity();
        SetState(TsMoving);
        return;
    }

    // 3: the join activities the two trains no longer need.
    RemoveCurrentActivity();
    const std::vector<std::string> frontJoined = front.JoinedHeadcodes;
    MoveJoinsInto(*this, JoinedHeadcodes,
                  [&](const std::string& h) { return Contains(frontJoined, h); });
    MoveJoinsInto(front, JoinedHeadcodes,
                  [&](const std::string& h) { return h == ID || Contains(JoinedHeadcodes, h); });

    // 4: which train goes on.
    bool frontGoesOn = true;
    bool terminates = false;
    if (HasTripsLeft(*this)) {
        frontGoesOn = HasTripsLeft(front);
    } else if (HasTripsLeft(front)) {
        frontGoesOn = true;
    } else if (HasActivity(CurTrip, ActNextTrain)) {
        frontGoesOn = false;
    } else if (HasActivity(front.CurTrip, ActNextTrain)) {
        frontGoesOn = true;
    } else {
        terminates = true;
    }
    TTRN& survivor = frontGoesOn ? front : *this;
    TTRN& absorbed = frontGoesOn ? *this : front;
    const std::string frontId = front.ID;

    // 5: the survivor stands where both stood. Its list runs head first: the front
    // train's subroutes, then those of the train behind not already in it. A circuit
    // both held is given up once, so each stays counted once per train on it.
    std::vector<TULC*> merged = front.Occupied;
    for (TULC* u : Occupied) {
        if (std::find(merged.begin(), merged.end(), u) == merged.end()) {
            merged.push_back(u);
        } else if (u->TrackCircuit) {
            u->TrackCircuit->Vacate();
        }
    }
    if (!frontGoesOn) {
        HeadULC = front.HeadULC;
        HeadPos = front.HeadPos;
    }
    survivor.Occupied = std::move(merged);
    survivor.Length += absorbed.Length;
    // The absorbed train's circuits now belong to the survivor: it gives nothing back.
    absorbed.Occupied.clear();
    absorbed.LookAhead.clear();
    absorbed.Unlink();
    absorbed.HeadULC = nullptr;
    absorbed.TailULC = nullptr;
    absorbed.SetState(TsLeaving);
    survivor.ComputeTail();
    JoinedHeadcodes.push_back(frontId);
    if (&survivor != this) {
        // The joined headcodes travel with the train that goes on.
        for (const std::string& h : JoinedHeadcodes) {
            if (h != survivor.ID && !Contains(survivor.JoinedHeadcodes, h))
                survivor.JoinedHeadcodes.push_back(h);
        }
    }

    // The survivor stops again: it takes its dwell, but its arrival is reported once.
    survivor.SetState(terminates ? TsTerminated : TsAtStation);
    // The front train reported when it drew up; the train behind has not yet.
    survivor.ArrivalAlreadyReported = frontGoesOn;
}

void TTRN::WaitForJoin() {
    Speed = 0;
}

void TTRN::DivideStep() {
    Speed = 0;
    if (!CurActivity) {
        SetState(TsAtStation);
        ArrivalAlreadyReported = true;
        return;
    }
    const std::string headcode = CurActivity->Headcode;
    const std::uint8_t kind = CurActivity->ActivityKind;
    const TTimetable* timetable = sim_.Timetable.FindByHeadcode(headcode, sim_.SimTime);
    if (!timetable) {
        sim_.Trace(ID + " cannot divide - " + headcode + " not in timetable");
    } else {
        Length = std::max(kMinimumPortionLength, Length - timetable->Length);
        TTRN& n = sim_.Trains.Create(headcode);
        n.SetTimetable(timetable);
        n.SetTripIndex(0);
        n.Timer = 0;
        n.TailPos = TailPos;
        n.SignalAhead = SignalAhead;
        n.HeadULC = HeadULC;
        n.TailULC = TailULC;
        n.LastLocation = LastLocation;
        n.PlatformUsed = PlatformUsed;
        n.Occupied = Occupied;
        n.PowerTypes = timetable->PowerTypes;
        const std::uint8_t newDirection = n.Timetable ? FirstPathDirection(*n.Timetable) : 0;

        if (kind == ActDividesNewRear) {
            n.HeadPos = HeadPos - Length - kDivideGap;
            if (!n.MoveHeadBack()) {
                sim_.Trace(ID + " cannot divide - internal error");
            } else {
                for (TULC* u : n.Occupied) {
                    if (u->TrackCircuit) u->TrackCircuit->Occupy();
                }
                n.ComputeTail();
                n.SetState(TsAtStation);
                if (newDirection != 0 && n.Direction() != newDirection && n.CanReverse()) {
                    n.Reverse();
                    n.SignalAhead = nullptr;
                }
            }
            ComputeTail();
        } else {
            // The new train takes the front and the circuits as they are; this train
            // stands behind it and holds its own circuits again.
            n.HeadPos = HeadPos;
            n.SetState(TsAtStation);
            HeadPos -= n.Length + kDivideGap;
            if (!MoveHeadBack()) {
                sim_.Trace(ID + " cannot divide - internal error");
                n.ReverseToDirection(newDirection);
                n.ComputeTail();
                return;
            }
            for (TULC* u : Occupied) {
                if (u->TrackCircuit) u->TrackCircuit->Occupy();
            }
            ComputeTail();
            SetState(TsAtStation);
            n.ReverseToDirection(newDirection);
            n.ComputeTail();
        }
    }
    RemoveCurrentActivity();
    SetState(TsAtStation);
    // The stop is processed again from its arrival, which has been reported already.
    ArrivalAlreadyReported = true;
}

bool TTRN::StartArrivalActivity() {
    if (!CurTrip) return false;
    auto& items = CurTrip->Activities.Items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::uint8_t kind = items[i].ActivityKind;
        if (kind == ActDividesNewRear || kind == ActDividesNewFront) {
            CurActivity = &items[i];
            ActivityIndex = static_cast<std::int32_t>(i);
            SetState(TsDividing);
            return true;
        }
    }
    if (HasActivity(CurTrip, ActJoins)) {
        SetState(TsWaitingForJoin);
        return true;
    }
    return false;
}

void TTRN::TakeNextService() {
    if (!CurTrip) return;
    // Copied before the timetable it lives in is freed.
    const std::string headcode = NextTrainOf(*CurTrip);
    if (headcode.empty()) return;
    ID = headcode;
    // The train's copy goes first, and nothing of the train points into it after.
    Timetable.reset();
    SetTripIndex(-1);
    const TTimetable* next = sim_.Timetable.FindByHeadcode(headcode, sim_.SimTime);
    if (!next) {
        SetState(TsTerminated);
        return;
    }
    SetTimetable(next);
    ComputeTail();
    ReverseToDirection(FirstPathDirection(*Timetable));
    Timer = std::max(Timer, Timetable->FirstDepTime());
    Timetable->Entered = false;
    Timetable->GenerateDelay();
    const char c = ID.empty() ? '\0' : ID.front();
    if ((c == '1' || c == '2' || c == '9') && Timetable->Delay < 0) Timetable->Delay = 0;
    Timer += Timetable->Delay;
}

}  // namespace kestra
