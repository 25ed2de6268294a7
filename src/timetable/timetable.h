#pragma once
// The working timetable: train categories, and one timetable per train with its trips
// (locations and times) and what happens to the train at each. Times are whole seconds
// after midnight of the simulated day and may run past 86400 for a timetable that goes
// on after midnight: nothing here ever wraps a time.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/ssi_object.h"
#include "display/options.h"

namespace kestra {

class Sim;
class TENT;
class TLOC;
class TPTH;
class TROU;

// Acceleration and braking profiles of a train or category, 0 to 4.
enum AccelBrakeProfile : std::int32_t {
    AccelVeryLow = 0,
    AccelLow = 1,
    AccelMedium = 2,
    AccelHigh = 3,
    AccelVeryHigh = 4,
};

// Power types, combined as a four-bit set.
enum PowerType : std::int32_t {
    PowerOverhead = 1,
    PowerThirdRail = 2,
    PowerFourthRail = 4,
    PowerDiesel = 8,
    PowerTypeMask = 15,
};

// The flags integer of a timetable record: the power types and, above them, STP.
inline constexpr std::int32_t TimetableFlagSTP = 16;

// The default share of days an as-required train runs, in per cent.
inline constexpr std::int32_t DefaultAsRequiredPercent = 50;

// The timetable list's header after a reset: 07:00 to 22:00.
inline constexpr std::int32_t DefaultStartTime = 7 * 3600;
inline constexpr std::int32_t DefaultFinishTime = 22 * 3600;

// A kind of train: the characteristics a timetable takes when it names the category.
class TTrainCategory : public TSSIObject {
  public:
    explicit TTrainCategory(std::string name = {}) : TSSIObject(std::move(name)) {}
    // Every field but the name.
    void CopyFields(const TTrainCategory& other);
    bool SameFields(const TTrainCategory& other) const;

    std::string Description;
    std::int32_t AccelBrake = AccelVeryLow;
    bool IsFreight = false;
    std::int32_t MaxSpeed = 0;  // mph
    std::int32_t Length = 0;    // m
    std::int32_t PowerTypes = 0;
};

using TTrainCategoryList = TTypedList<TTrainCategory>;

// What happens to a train at a trip's location.
enum ActivityKind : std::uint8_t {
    ActNextTrain = 0,
    ActDividesNewRear = 1,
    ActDividesNewFront = 2,
    ActJoins = 3,
    // Used only on the copies that automatic code insertion keeps; never in a timetable.
    ActCodeInsertion = 4,
};

// The direction of a partner train not yet looked up.
inline constexpr std::uint8_t PartnerDirectionUnresolved = 3;

struct TTimetableActivity {
    std::uint8_t ActivityKind = ActNextTrain;
    std::string Headcode;  // the other train concerned
    // Kept on route-setting copies only; neither copied by Duplicate nor stored.
    std::uint8_t PartnerDirection = PartnerDirectionUnresolved;
};

// The activities of one trip, in order.
class TTimetableActivityList {
  public:
    // A copy of every activity, each with its partner direction unresolved.
    TTimetableActivityList Duplicate() const;
    // Each activity as its prefix (" N:", "DR:", "DF:", " J:") and headcode and a blank.
    std::string FormatText() const;

    std::vector<TTimetableActivity> Items;
};

// One line of a train's timetable: a location and its times.
struct TTimetableTrip {
    TLOC* Location = nullptr;
    std::int32_t DepTime = 0;  // departure, or passing time when IsPass
    std::int32_t ArrTime = 0;  // 0: none given
    std::string Platform;
    std::string Line;                // away from the location
    std::string Path;                // into the location
    std::int32_t EngAllowance = 0;   // half-minutes
    std::int32_t PathAllowance = 0;  // half-minutes
    bool IsPass = false;
    bool AutoInserted = false;
    TTimetableActivityList Activities;
    bool DownDirection = false;

    // The time the trip's location is reached: the arrival, or the departure when none.
    std::int32_t ArrivalOrDeparture() const { return ArrTime != 0 ? ArrTime : DepTime; }
    // The whole allowance before the trip, in seconds.
    std::int32_t AllowanceSeconds() const { return (EngAllowance + PathAllowance) * 30; }
};

// The trips of one timetable, in order.
class TTimetableTripList {
  public:
    TTimetableTripList Duplicate() const;
    // A copy of only the trips at key locations.
    TTimetableTripList DuplicateKeyLocations() const;
    // A copy with every departure and every given arrival moved by minutes x 60 s.
    TTimetableTripList DuplicateTimeDifference(std::int32_t minutes) const;

    int Count() const { return static_cast<int>(Items.size()); }
    bool Empty() const { return Items.empty(); }

    std::vector<TTimetableTrip> Items;
};

// True when the trip's location is a key location (a timing point).
bool IsKeyTrip(const TTimetableTrip& trip);
// The headcode of the trip's last next-train activity, or empty.
std::string NextTrainOf(const TTimetableTrip& trip);
// The trip as one line of the trip list.
std::string TripRow(const TTimetableTrip& trip);
// The time a train is due at the trip: the passing time, the arrival, or the departure
// less the location's standard dwell.
std::int32_t TripReferenceTime(const TTimetableTrip& trip);

// The timetable of one train; its ID is the headcode.
class TTimetable : public TSSIObject {
  public:
    // A new timetable takes the characteristics last confirmed in the editor.
    TTimetable(Sim& sim, std::string headcode);

    // Copies every field but the computed paths; with minutes not 0 the copy's times
    // move by that many minutes (the entry time only when minutes is positive).
    void CopyFrom(const TTimetable& other, std::int32_t minutes = 0);

    // The entry step, every major cycle.
    void MajorCycle() override;

    // Draws a random entry delay. A train already past its entry time is marked as never
    // entering, except after a load (afterLoad), where a train not yet entered is one
    // still waiting for its delay to run out and draws a new one instead.
    void GenerateDelay(bool afterLoad = false);

    // "%4.4s" of the headcode: cut to four characters, right-aligned in four.
    std::string ShortHeadcode() const;
    // The first trip's departure, 0 if there are no trips.
    std::int32_t FirstDepTime() const;
    // The time FindByHeadcode measures from.
    std::int32_t ReferenceTime() const;
    // The first trip at position index or later whose location is a key location.
    TTimetableTrip* NextKeyTrip(int index);
    // True for a freight-class headcode: it starts with 0, 3, 4, 6, 7 or 8.
    bool IsFreightClass() const;

    Sim& Simulation() { return *sim_; }

    std::int32_t AccelBrake = AccelVeryLow;
    bool AsRequired = false;
    std::int32_t AsRequiredPercent = DefaultAsRequiredPercent;
    TTrainCategory* Category = nullptr;
    std::int32_t Delay = 0;  // s; negative is early
    bool DelayWarned = false;
    // Validated once for entry: a train held at a blocked entry point is not validated
    // again every cycle (validation builds strings and lists).
    bool EntryValidated = false;
    std::int32_t EntryTime = 0;
    std::string Description;
    TENT* EntryPoint = nullptr;
    bool IsFreight = false;
    std::int32_t MaxSpeed = 0;
    std::vector<const TPTH*> Paths;  // the area's paths; not owned
    std::int32_t Reserved = 0;
    bool Entered = false;
    bool STP = false;
    std::int32_t Length = 0;
    TTimetableTripList Trips;
    std::int32_t PowerTypes = 0;

  private:
    void PostLateEntryWarning();
    Sim* sim_;
};

// The characteristics last confirmed in the timetable editor, which a new timetable
// takes (all zero until the editor confirms any).
struct TimetableDefaults {
    std::int32_t AccelBrake = 0;
    std::int32_t MaxSpeed = 0;
    std::int32_t Length = 0;
    std::int32_t PowerTypes = 0;
};

// What the entry step needs from the trains and the entry points: how many trains are
// in the area, whether an entry point can take a train now, and letting one in. The
// trains subsystem implements it; until one is attached no train ever enters.
class TrainEntryPort {
  public:
    virtual ~TrainEntryPort() = default;
    virtual int TrainsInArea() const = 0;
    virtual bool CanEnter(TENT& entry) = 0;
    virtual void Enter(TENT& entry, TTimetable& timetable) = 0;
    // Adds a line to the incident log.
    virtual void LogIncident(const std::string& text) = 0;
};

// The working timetable: its header and its train timetables, which it owns.
class TTimetableList : public TTypedList<TTimetable>, public EntryDelayGenerator {
  public:
    TTimetableList() = default;

    // Frees every timetable and restores the header defaults.
    void Reset() override;
    // A new entry delay for every timetable.
    void GenerateDelays() override;
    // A new entry delay for every timetable still to enter, after a saved game is loaded.
    void GenerateDelaysAfterLoad();

    // Inserts an owned timetable at index (0: first).
    TTimetable& InsertOwned(int index, std::unique_ptr<TTimetable> timetable);
    // Among the timetables with this headcode, the one whose reference time is nearest
    // to time; only distances below a day count; the earlier in the list wins a tie.
    TTimetable* FindByHeadcode(std::string_view headcode, std::int32_t time) const;

    std::string Name = "None";
    std::string Description;
    // What the editor last confirmed; program-wide, so a reset leaves it.
    TimetableDefaults EditorDefaults;
    bool Modified = false;
    std::int32_t FinishTime = DefaultFinishTime;
    std::int32_t StartTime = DefaultStartTime;
};

}  // namespace kestra
