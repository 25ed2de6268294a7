#pragma once
// Trains: rigid objects of a given length lying on a chain of subroutes, moved once a
// simulated second. A moving train looks ahead along the subroutes its route allows,
// works out how far it may still go (a signal at danger, its next station stop, the
// train in front, a lower line speed, a speed restriction) and accelerates, holds its
// speed or brakes; then it advances, occupies the circuits its head enters and clears
// those its tail leaves.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ssi_object.h"
#include "timetable/timetable.h"

namespace kestra {

class Sim;
class TULC;
class TSIG;
class TENT;
class TLOC;
class TCall;

// Train states. The stand-still states other than the red signal and the station stop
// belong to the train events (stops, joins, divisions, calls).
enum TrainState : std::uint8_t {
    TsMoving = 0,
    TsAtRed = 1,
    TsJoining = 2,
    TsAtStation = 3,
    TsTerminated = 4,
    TsLeaving = 5,
    TsTrainInFront = 6,
    TsWaitingForJoin = 7,
    TsDividing = 8,
    TsWrongRoute = 9,
    TsReadyToStart = 11,
    TsError = 12,
    TsNoTraction = 13,
};

// Authority to pass signals at danger.
enum PassModes : std::uint8_t {
    PassNone = 0,
    PassNext = 1,          // pass the next signal
    PassNextAndStop = 2,   // pass it and stop PassDistance beyond
    PassToNextSignal = 3,  // pass it and stop at the following signal
    PassCountingDown = 4,  // past the signal, counting PassDistance down
    PassStopAtNext = 5,    // stop at the next signal whatever it shows
};

// Examining the line.
enum CautionModes : std::uint8_t {
    CautionNone = 0,
    CautionAsked = 1,
    CautionExamining = 2,
};

// Distances the look-ahead uses for "nothing in the way".
inline constexpr double kNoObstacle = 100000.0;
inline constexpr double kLookAheadLimit = 10000.0;
// Faults a train may meet before it is put out of use.
inline constexpr std::int32_t kMaxTrainErrors = 50;
// The flags integer of a train's saved record: the power types, then these bits, and
// above them the kind of the call the driver was making (0: none).
inline constexpr std::int32_t kFlagNoReports = 16;
inline constexpr std::int32_t kFlagReserved1 = 32;
inline constexpr std::int32_t kFlagPaused = 64;
inline constexpr std::int32_t kFlagArrivalReported = 128;
inline constexpr int kFlagCallShift = 8;
inline constexpr std::int32_t kHighestCallKind = 4;

// Speed of an untimetabled train, and the braking reference speed (100 mph).
inline constexpr double kUntimetabledMaxSpeed = 55.555557;
inline constexpr double kBrakingReferenceSpeed = 44.444;
// Examining the line, a train keeps below 20 mph.
inline constexpr double kCautionSpeed = 20.0 / 2.25;
// Untimetabled trains are 80 m long; a train given no timetable later is 20 m.
inline constexpr std::int32_t kUntimetabledLength = 80;
inline constexpr std::int32_t kBareTrainLength = 20;
inline constexpr double kBareTrainMaxSpeed = 60.0 / 2.25;

// True for the authorities that let a train pass the next signal at danger.
bool IsPassingAuthority(std::uint8_t mode);

// The status text the train list shows for a state ("Moving at n mph" needs the speed).
std::string TrainStatusText(std::uint8_t state, double speed);
// The acceleration factor by the speed ratio and the acceleration rate's profile.
double AccelerationFactor(double accel, double ratio);

class TTRN : public TSSIObject {
  public:
    TTRN(Sim& sim, std::string description);
    ~TTRN() override;

    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void OneSecond() override;
    bool Save(ValueWriter& writer) override;

    // Puts a new train on the first subroute of its entry route, with its own copy of
    // the timetable (or none) and the characteristics it gives.
    void Place(const TTimetable* timetable, TULC& first, TENT* entry);
    // Gives a divided or next-service train its timetable (or none) and characteristics.
    void SetTimetable(const TTimetable* timetable);
    void SetTripIndex(std::int32_t index);
    void SetState(std::uint8_t state);
    void SetPassAuthority(std::uint8_t mode, double metres);

    // Metres the train needs to stop from speed v along its look-ahead.
    double BrakingDistance(double v) const;
    // Finds the tail from the head and the length; frees the subroutes left behind.
    void ComputeTail();
    bool CanReverse() const;
    void Reverse();
    // The train in front of a standing train, within 20 m.
    void FindTrainInFront();
    // Direction code of the head subroute (1 down, 2 up), 0 without one.
    std::uint8_t Direction() const;
    // Removes this train's links with the trains in front and behind.
    void Unlink();
    // Vacates every circuit the train stands on and forgets them.
    void VacateAll();

    Sim& sim() const { return sim_; }

    // --- fields, in declaration order
    std::int32_t ActivityIndex = 0;
    TTimetableActivity* CurActivity = nullptr;
    TTimetableTrip* CurTrip = nullptr;
    std::uint8_t State = TsMoving;
    std::int32_t TripIndex = -1;
    // Subroutes ahead of the head, rebuilt each moving second; capacity kept.
    std::vector<TULC*> LookAhead;
    std::int32_t ErrorCount = 0;
    std::uint8_t PassMode = PassNone;
    double PassDistance = 0;
    double Accel = 0;
    double Decel = 0;
    bool PassFlag = false;
    std::int32_t Lateness = 0;
    TSIG* SignalAhead = nullptr;
    double Speed = 0;
    bool NoReports = false;
    bool Reserved1 = false;
    std::int32_t PowerTypes = PowerDiesel;
    TENT* EntryPoint = nullptr;
    std::uint8_t CautionMode = CautionNone;
    std::vector<TULC*> Reserved2;
    double HeadPos = 0;
    TULC* HeadULC = nullptr;
    bool IsFreight = false;
    std::vector<std::string> JoinedHeadcodes;
    TTRN* Reserved3 = nullptr;
    std::int32_t Length = kUntimetabledLength;
    TLOC* LastLocation = nullptr;
    double MaxSpeed = kUntimetabledMaxSpeed;
    bool SkipNextStop = false;
    bool CautionPending = false;
    TSIG* CautionSignal = nullptr;
    std::string PlatformUsed;
    TSIG* Reserved4 = nullptr;
    double TailPos = 0;
    TULC* TailULC = nullptr;
    std::int32_t Timer = 0;
    std::unique_ptr<TTimetable> Timetable;
    TTRN* TrainInFront = nullptr;
    TTRN* TrainBehind = nullptr;
    // The subroutes the train stands on, head first; capacity kept.
    std::vector<TULC*> Occupied;
    std::int32_t SubState = 0;
    bool Reserved5 = false;
    bool Paused = false;
    // Whole minutes late at the train's last minutes-lost account, -1 before its first
    // (which counts from its lateness on entry). A loaded train takes its last reported
    // lateness.
    std::int32_t MinutesAccounted = -1;
    // The trace of the running record this working is drawn with, -1 before the first.
    std::int32_t RunTrace = -1;

    // --- train events
    // The driver's call waiting for the signaller, if any (owned by the call list).
    TCall* PendingCall = nullptr;
    // The timing-point reports: the arrival at a stop, and the departure from it or the
    // passing of a timing point.
    void ReportArrival();
    void ReportDeparture();
    // Sets PlatformUsed from the stopping points of the trip's location on the head.
    void WorkOutPlatformUsed();
    // True when the route set from the signal leads away from the train's next two
    // timing points.
    bool IsWrongRoute(const TSIG& signal) const;
    // The checks on passing a signal into the subroute beyond it: a wrong route, track
    // without the train's traction, or the area's own test stop the train (true), with
    // the penalty.
    bool StoppedOnEnteringPastSignal(TSIG& signal);
    // A passenger train moving from a line that is not a goods line onto one is reported
    // and penalised, but not stopped.
    void NoteGoodsLine(const TULC& from, const TULC& to);
    // Withdraws the pending call, if any.
    void WithdrawCall();
    // Places the call of this kind again, as a loaded game does for the call a driver
    // was making when it was saved; the incident log has its line already.
    void RaiseCallAgain(std::int32_t kind) { PlaceCall(kind, false); }
    // The signal whose route the signaller told the driver to take whatever it is
    // ("Abandon timetable"): passing it does not stop the train for a wrong route or
    // its traction again. None once passed.
    TSIG* RouteAcceptedAt = nullptr;

    // --- activities
    // Arrival step of a station stop: starts a divide or join activity; true when the
    // train went to state 7 or 8.
    bool StartArrivalActivity();
    // Arrival step of a station stop: the train takes up its next service.
    void TakeNextService();
    // Set when a train goes back to its station stop after a divide or a join: it has
    // reported this arrival already, so the next arrival report is not made again.
    bool ArrivalAlreadyReported = false;

  private:
    void Dispatch();
    void MovingStep();

    // Standing states of the train events (train_events.cpp): stops, reports, calls.
    void WaitAtRed();
    void StationStop();
    void ReadyToStart();
    void WrongRouteWait();
    // The helpers of the train events.
    void PlaceCall(std::int32_t kind, bool logIncident = true);
    // Leaves a station stop: the departure report, and on to the next trip.
    void LeaveStop();
    void OnCallReply(TCall& call);
    void CountDownToCall();
    void MakeReport(const std::string& verb, std::int32_t lateness);
    void DrawStationDelay();

    // Activities (train_activities.cpp): the train in front, joins and divisions.
    void TrainInFrontStep();
    void JoinStep();
    void WaitForJoin();
    void DivideStep();
    void RemoveCurrentActivity();
    // Moves the head back over Occupied while HeadPos is negative; with nothing left the
    // train loses its place and leaves (false).
    bool MoveHeadBack();
    // Reverses when the train can and faces the other way (direction 0: unknown).
    void ReverseToDirection(std::uint8_t direction);

    // Puts the train out of use after too many faults: says so and frees its track.
    void EnterErrorState();
    // The obstacles of the moving step.
    double SignalStopDistance();
    double LineSpeedDistance() const;
    // The same from another speed than the train's own.
    double LineSpeedDistanceFrom(double speed) const;
    // The speed after accelerating towards wanted, held to the line speed of the track
    // the head runs onto this second (never below the present speed).
    double AccelerateUpTo(double wanted) const;
    double StationStopDistance() const;
    double TrainInFrontDistance(bool standing);
    double CautionDistance();
    bool RestrictionAhead() const;
    // The trip whose location the train stops at next, or none.
    const TTimetableTrip* StopTrip() const;
    // Per-second braking on the head and tail subroutes.
    double BrakeRate() const;
    // Lowers the speed towards the effective line speed when above it.
    void OverSpeedCorrection();
    // The head reaches the end of its subroute: on to the next, off the area, or a stop.
    void EnterNextSubroute();
    void OccupyHead(TULC& next);
    void SetTrainInFront(TTRN* front);
    void LoadTimetableCopy(const TTimetable& timetable);

    Sim& sim_;
};

// The trains in the area, in the order they were made. Trains that have left are freed
// at the end of each second, and no train keeps a link to a freed one.
class TTRNList : public TTypedList<TTRN> {
  public:
    explicit TTRNList(Sim& sim) : sim_(sim) {}

    TTRN& Create(std::string description);
    // Steps every train, then frees those that have left.
    void OneSecond() override;
    // Frees every train. The circuits are reset by their own list, so the trains give
    // nothing back.
    void Reset() override;
    // The count, then each train's record.
    bool Save(ValueWriter& writer) override;
    // Reads the count and every record into new trains, linked among themselves; the
    // trains replace the list's only when everything read.
    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    // Trains not yet freed.
    int TrainsInArea() const;
    TTRN* FindTrain(std::string_view description) const { return FindID(description); }

    // Trains let in and trains that left the area since the simulation began.
    std::int32_t EnteredCount = 0;
    std::int32_t LeftCount = 0;

  private:
    void RemoveLeft();
    Sim& sim_;
};

}  // namespace kestra
