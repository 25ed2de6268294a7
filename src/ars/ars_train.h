#pragma once
// Automatic route setting for trains: one record per description on the panel, with
// the train's planned path of berths and routes from its timetable, each berth with a
// due time, stepped with the describer; every two simulated seconds it decides whether
// the next route ahead of each train should be set, and sets it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/ssi_object.h"
#include "interlocking/signal.h"
#include "timetable/timetable.h"
#include "trains/berth.h"

namespace kestra {

class Sim;
class TBER;
class TROU;
class TARSTrain;
class TLOC;

// Routesetting statuses, as the signaller's query shows them.
enum ARSStatus : std::uint8_t {
    StUnknown = 0,
    StNonARS = 1,
    StTrainInFront = 2,
    StApproachingRedAuto = 3,
    StEnoughRouteSet = 4,
    StEndOfPath = 5,
    StWaitingAvailable = 6,
    StWaitingProve = 7,
    StManualSubArea = 8,
    StManualRoute = 9,
    StSetOffPath = 10,
    StWaitingTRTS = 11,
    StGivingPriority = 12,
    StWaitingJoining13 = 13,
    StAlreadyOnStretch = 14,
    StReverses = 15,
    StWaitingBooked = 16,
    StJoinPlanned = 17,
    StWaitingJoining = 18,
    StLocationDelay = 19,
};

// One entry of a planned path: a berth or a route, the trips of the train's timetable
// copy it serves (by index), and for a berth its due time.
struct TPathEntry {
    TSSIObject* Item = nullptr;
    std::vector<int> Locations;
    std::int32_t DueTime = 0;
    bool Reverses = false;
};

class TPathEntryList {
  public:
    // First index at or after start whose item is object; -1 if none or start < 0.
    int FindBerthRoute(const TSSIObject* object, int start) const;
    // The same, searching downwards from start.
    int FindBerthRouteReverse(const TSSIObject* object, int start) const;
    // count, then per entry: kind (1 berth, 2 route, 0 none), index, trip count and
    // trip indexes, due time, reverses.
    void SavePE(Sim& sim, ValueWriter& writer) const;
    // Reads such a list; false when it is corrupt: a count larger than the bytes left
    // could hold, an index outside its list or outside the timetable's trips.
    bool LoadPE(Sim& sim, ValueReader& reader, int tripCount);
    void FreeObjects() { Items.clear(); }
    int Count() const { return static_cast<int>(Items.size()); }

    std::vector<TPathEntry> Items;
};

// A platform where automatic code insertion acts: its berths in platform order (left
// to right on the panel, the way Down trains run).
struct TACIEntry {
    std::vector<TBER*> PlatformBerths;
    TLOC* Location = nullptr;
    std::string Platform;
    bool ChainAllowed = false;
};

class TARSTrain : public TSSIObject {
  public:
    explicit TARSTrain(Sim& sim);

    bool Save(ValueWriter& writer) override;

    Sim& sim() const { return sim_; }

    // --- fields, in declaration order
    std::string Description;
    TBER* Berth = nullptr;
    bool HasTimetable = false;
    std::unique_ptr<TTimetable> Timetable;
    bool PathValid = false;
    TPathEntryList PathEntries;
    std::int32_t PathPosition = -1;
    TPathEntryList SpareEntries;
    std::int32_t SpareValue = 0;
    std::uint8_t StepKind = 4;
    bool OnPlannedPath = false;
    bool RoutedOff = false;
    // Routes and berths ahead already secured (capacity kept between cycles).
    std::vector<TSSIObject*> SecuredAhead;
    std::int32_t SecuredTo = -1;
    bool IsARS = false;
    bool ARSEnabled = true;
    std::uint8_t Status = StUnknown;
    TARSTrain* StatusTrain = nullptr;
    std::string StatusText;
    TROU* NextRoute = nullptr;
    std::int32_t Lateness = 0;
    std::int32_t CyclesSinceStep = 0;

  private:
    friend class TARSTrainList;
    Sim& sim_;
};

// The simulation's ARS trains, keyed by description, and the route requests of the
// cycle. Told by the describer of every interpose, step and cancel, and by signals of
// the signaller's route cancels.
class TARSTrainList : public TTypedList<TARSTrain>, public BerthARSEvents, public SignalARSEvents {
  public:
    explicit TARSTrainList(Sim& sim);

    // --- BerthARSEvents
    void DescriptionMoved(TBER& from, TBER& to, std::uint8_t arsTag) override;
    void DescriptionLeft(TBER& from) override { DescriptionCancelled(from); }
    void DescriptionInterposed(TBER& berth) override;
    void DescriptionCancelled(TBER& berth) override;
    // --- SignalARSEvents
    void RouteCancelled(TSIG& signal) override;
    void RouteCancelled(TROU& route);

    // Creates an ARS train for the berth's description, its timetable looked up under
    // lookupName (the description itself unless running to a pattern).
    TARSTrain* CreateTrain(TBER& berth, const std::string& description,
                           const std::string& lookupName);
    // Removes and frees the ARS train of the berth, if any; no other train is left
    // referring to it.
    void RemoveTrainAt(const TBER& berth);
    void RunToPattern(TBER& berth, const std::string& pattern);

    // The per-cycle entry point, on the ticks that do not advance the clock.
    void ARSCycle();

    TARSTrain* FindByBerth(const TSSIObject* berth) const;
    TARSTrain* FindByDescription(std::string_view description) const;
    // The train a menu command means: the berth's, when it carries the description;
    // otherwise the train with that description, only when exactly one carries it (two
    // trains with one description must not be confused).
    TARSTrain* FindForCommand(const TSSIObject* berth, std::string_view description) const;
    void SetStatus(TARSTrain& train, std::uint8_t code, TARSTrain* other, std::string_view text);
    // The status as the signaller's query shows it.
    std::string StatusTextOf(const TARSTrain& train) const;
    // Frees every ARS train and empties the route requests.
    void ClearAll();

    // --- the TD menu's commands; each posts its reply as an ARS message
    void MakeARS(TBER& berth, const std::string& description);
    void MakeNonARS(TBER& berth, const std::string& description);
    void QueryIsARS(TBER& berth, const std::string& description);
    void QueryStatus(TBER& berth, const std::string& description);
    void ShowTimetableSummary(TBER& berth, const std::string& description);

    // A client's ARS command ("AA" make ARS, "AB" non-ARS, "AC" is ARS, "AE" status,
    // "AF" timetable), each with the berth as four hexadecimal digits and the four
    // characters of the description it saw. Only a server acts, and only on exactly
    // that form with a berth inside the list.
    void HandleClientMessage(std::string_view message);

    // --- saved state
    bool Save(ValueWriter& writer) override;
    // Reads the count (bounded by the bytes left) and every train, checking every index;
    // on failure the list is left as it was.
    bool LoadTrains(ValueReader& reader);

    // --- automatic code insertion
    void AddACIEntry(TLOC* location, bool chainAllowed, const std::string& platform,
                     std::vector<TBER*> berths);
    // Describes the next working, new portions and joined trains for the train's
    // activities at its platform, through the two queues the cycle applies.
    void RunACI(TARSTrain& train);
    std::vector<TACIEntry> ACIEntries;
    std::vector<TBER*> PendingCancels;
    std::vector<std::pair<std::string, TBER*>> PendingInterposes;
    // Descriptions to move along a platform (from, to), applied between the cancels and
    // the interposes: a train that joined the partner standing ahead of it leaves from
    // the partner's berth.
    std::vector<std::pair<TBER*, TBER*>> PendingMoves;

    // Routes chosen in one working cycle, set at the start of the next.
    std::vector<TROU*> RouteRequests;
    // Routes ARS has set since the simulation began.
    std::int64_t RoutesSet = 0;

  private:
    void SetUpTimetable(TARSTrain& t, const std::string& lookupName);
    void BuildPath(TARSTrain& t);
    void ComputeDueTimes(TARSTrain& t);
    void StepTrain(TARSTrain& t, TBER& from, TBER& to, std::uint8_t tag);
    void TrainCycle(TARSTrain& t);
    void LookAhead(TARSTrain& t);
    void RoutedOffBySignaller(TARSTrain& t, int index);
    void ChooseRoute(TARSTrain& t);
    bool JoiningCheck(TARSTrain& t);
    void BookedTimeHold(TARSTrain& t);
    void JoinAhead(TARSTrain& t);
    int PlatformTwinEntry(const TARSTrain& t, const TBER& to, int old) const;
    void Priority(TARSTrain& s);
    bool WaitingChainCircular(const TARSTrain& s) const;
    void UpdateDelay(TARSTrain& t);
    void MakeNonARSColour(TARSTrain& t);
    bool ClassEnabled(const std::string& description) const;
    std::int32_t ClassWeight(const std::string& description) const;
    void FreeTrain(TARSTrain* t);
    void WithdrawRequest(TARSTrain& t);
    void ProcessTrip(TARSTrain& t, int tripIndex, const TACIEntry& entry);
    void JoinsAndPortions(TARSTrain& t, int tripIndex, const TACIEntry& entry, int first, int last);
    void CarryOutJoin(TARSTrain& t, int tripIndex, const TACIEntry& entry, TBER& q);
    void MoveAlongPlatform(TARSTrain& t, TBER& to);
    void NextWorking(TARSTrain& t, int tripIndex, const TACIEntry& entry, const std::string& next);
    // The train's description now stands in another berth of its platform.
    void MovedAlongPlatform(TARSTrain& t, TBER& to);
    bool SamePlatform(const TBER& a, const TBER& b) const;
    bool CannotReachSoon(const TARSTrain& t, const TROU& conflict) const;
    // True when the only occupants of the circuit are trains on the move (above
    // kRunningSpeed): it will come clear without anything else moving first.
    bool OnlyRunningTrainsOn(const TTCS& circuit) const;
    static constexpr double kRunningSpeed = 0.5;  // metres a second
    void DrawUpInPlatform(TARSTrain& t);
    Sim& sim_;
    std::uint32_t counter_ = 0;
    // The trips code insertion looks at for one train, kept between cycles so that the
    // steady-state cycle allocates nothing.
    std::vector<int> aciTrips_;
    // Every train's path cut down to its routes, for the priority rule, which walks each
    // other train's path ahead for every train with a candidate: each route entry with
    // its index and the last non-zero due time of a berth before it (with that berth's
    // index). Made at the start of each working cycle's walk over the trains (capacity
    // kept) and used only during it (nothing in the walk changes a path or a route's
    // conflicts); making a path or a train, or freeing a train, stops its use until the
    // next walk.
    struct RouteAhead {
        const TROU* Route;
        std::int32_t Index;
        std::int32_t LastDue;
        std::int32_t LastDueIndex;
    };
    struct PathRoutes {
        const TARSTrain* Train = nullptr;
        std::vector<RouteAhead> Routes;
        // Every route some route of the path conflicts with, a bit per ARSIndex: a
        // candidate whose bit is clear meets none of them and the walk is skipped.
        // Unusable (Complete false) when a route lacks an ARSIndex.
        std::vector<std::uint64_t> Conflicts;
        bool ConflictsComplete = false;
    };
    void MakePathRoutes();
    std::vector<PathRoutes> pathRoutes_;
    bool pathRoutesValid_ = false;
};

// The weight a train brings to a priority decision between two trains off time: its
// class weight times its lateness in half-minutes (1 when it is on time or early: an
// early train must not weigh less the longer it waits), times the cycles it has stood
// beyond the starvation limit.
std::int64_t PriorityWeight(std::int32_t classWeight, std::int32_t lateness,
                            std::int32_t cyclesSinceStep);
// The lateness in half-minutes of a train at position on its path at the clock. An
// entry without a due time (past the last timed entry, on the way out of the area)
// keeps the lateness the train had (previous).
std::int32_t LatenessAt(const TPathEntryList& path, int position, std::int32_t clock,
                        std::int32_t previous);

// Lateness in half-minutes as the delay text shows it: "On time", "3 minutes late"...
std::string DelayText(const TARSTrain& train);

}  // namespace kestra
