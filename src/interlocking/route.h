#pragma once
// Routes: the signaller's unit of work, from an entrance signal to an exit signal over
// a chain of subroutes, with an overlap beyond the exit where the class needs one.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/ssi_object.h"
#include "interlocking/interlocking_lists.h"

namespace kestra {

class Sim;
class TTCS;
class TLevelCrossing;
class TOVL;
class TPTS;

enum RouteClass : std::uint8_t {
    RcMain = 0,
    RcShunt = 1,
    RcWarner = 2,
    RcCallOn = 3,
    RcAutomatic = 4,
};

// What a route needs of an ARS sub-area it is linked to. ARS sub-areas implement it.
class ARSSubAreaLink {
  public:
    virtual ~ARSSubAreaLink() = default;
    virtual bool IsInEffect() const = 0;
    // Switches ARS off in the sub-area; true when that changed anything.
    virtual bool SetInactive() = 0;
};

// What the proving of a route tells its entrance signal.
struct RouteProvedFlags {
    bool ShuntAspect = false;
    bool ApproachWait = false;
    bool Spare = false;
};

class TROU : public TSSIObject {
  public:
    explicit TROU(Sim& sim, std::string id = {});
    ~TROU() override;

    bool StageLoad(ValueReader& reader, LoadCommits& commits) override;
    void Reset() override;
    bool Save(ValueWriter& writer) override;

    // The area's set-up: class, signals and subroutes. Builds AllSubroutes and the
    // first three circuits, and registers the route in its entrance signal's routes.
    void Configure(std::uint8_t routeClass, TSIG& entrance, TSIG& exit,
                   std::initializer_list<TULC*> subroutes,
                   std::initializer_list<TULC*> permissive = {});
    // Rebuilds AllSubroutes, FirstSubroute and the first three circuits from
    // Subroutes and PermissiveSubroutes.
    void BuildDerived();

    // --- checks
    // The signaller's check; leaves the refusal reason in LastFailReason.
    bool IsAvailable();
    // The quiet check for ARS.
    bool IsAvailableARS();
    bool PointsConsistent() const;
    bool PresetsFree() const;
    bool PresetsOff() const;
    bool CallOnApplies();
    // Clear track from a signal on the route to the next signal on it; gives that
    // signal back (none when the stretch is empty).
    bool ClearAhead(const TSIG& from, TSIG** next = nullptr) const;
    // True when every linked ARS sub-area is in effect; otherwise gives the first that
    // is not.
    bool SubAreasInEffect(ARSSubAreaLink** first = nullptr) const;
    // Set and every subroute proved; the flags say how the entrance signal shows it.
    bool IsProved(RouteProvedFlags& flags);
    bool IsProved() {
        RouteProvedFlags f;
        return IsProved(f);
    }
    // Sum of the lengths of every subroute, in metres.
    std::int32_t RouteLength() const;
    // Every level crossing the route runs over has its barriers proved down.
    bool CrossingsProvedDown() const;
    // The overlap beyond the exit that a train on this route relies on: for an
    // automatic route the exit's first overlap (it locks none), for a main or warner
    // route the exit's overlap while it is set; none for a route that takes no overlap.
    const TOVL* OverlapInUse() const;

    // --- commands
    // Sets the route: locks its subroutes, calls its points, takes the exit's overlap.
    // False, with the route given back and the reason left in LastFailReason, when an
    // overlap in the way cannot be swung at the moment of setting.
    bool SetRoute();
    void MarkSet();
    void Unset();
    // Puts the intermediate shunt signals of the route into preset mode with this route.
    void SetPresets();
    void MarkPresetsEntered();
    void CancelSubAreas();
    // Broadcasts "RA" with RouteSet.
    void SendState();
    // Applies a received "RA" body: "0" or "1".
    void ApplyState(std::string_view body);

    Sim& sim() const { return sim_; }

    // True when other is one of ConflictingRoutes. ARS asks this for every pair of
    // trains each cycle, so it is answered from a sorted copy of the list, made again
    // whenever the list has changed since.
    bool ConflictsWith(const TROU& other) const;
    // ConflictingRoutes as one bit per ARSIndex, made again whenever the list has
    // changed; complete is false when a route in the list has no ARSIndex, and then the
    // bits cannot rule a conflict out.
    const std::vector<std::uint64_t>& ConflictBits(bool& complete) const;
    // The route's place among the area's routes that ARS weighs (-1: none given).
    int ARSIndex = -1;

    // --- fields, in declaration order
    bool RouteSet = false;
    bool ARSAllowed = true;
    std::int32_t ApproachTime = 0;
    std::vector<ARSSubAreaLink*> ARSSubAreas;
    TROU* CallOnVariant = nullptr;
    TROU* MainRoute = nullptr;
    TROU* Alternative = nullptr;
    TSSIList Berths;
    TROUList ConflictingRoutes;
    TULCList AllSubroutes;
    TSSIList ExcludedLocations;
    TSIG* Entrance = nullptr;
    TSIG* Exit = nullptr;
    TULCList PermissiveSubroutes;
    TULCList Subroutes;
    std::uint8_t Class = RcMain;
    bool AutoAllowed = false;
    TTCS* FirstCircuit = nullptr;
    TTCS* SecondCircuit = nullptr;
    TTCS* ThirdCircuit = nullptr;
    TULC* FirstSubroute = nullptr;
    bool ExemptFromClearing = false;
    // The level crossings the route runs over (the crossings enter themselves).
    std::vector<const TLevelCrossing*> LevelCrossings;

  private:
    bool OverlapTest(bool quiet);
    // RouteRequest on every subroute in order, noting those it locked; false at the
    // first that cannot be taken.
    bool RequestSubroutes(std::vector<TULC*>& locked);
    // Takes the exit's overlap the class needs; false when it needs one and none holds.
    bool SetOverlapWithRoute();
    bool ClassCheck() const;
    Sim& sim_;
    // ConflictingRoutes sorted by address, and the list's version it was made from.
    mutable std::vector<const TSSIObject*> conflictsSorted_;
    mutable std::uint64_t conflictsVersion_ = ~std::uint64_t{0};
    mutable std::vector<std::uint64_t> conflictBits_;
    mutable bool conflictBitsComplete_ = false;
    mutable std::uint64_t conflictBitsVersion_ = ~std::uint64_t{0};
    // What PointsConsistent derives from the subroutes alone: the points each way, each
    // once in order of first appearance, and whether any are needed both ways; made
    // again when AllSubroutes or the points lists of its subroutes have changed (the
    // versions they were made from: AllSubroutes, then normal and reverse of each).
    bool PointsDerivedCurrent() const;
    void DerivePoints() const;
    mutable std::vector<std::uint64_t> pointsVersions_;
    mutable std::vector<TPTS*> pointsNormal_;
    mutable std::vector<TPTS*> pointsReverse_;
    mutable bool pointsOneWay_ = true;
    // Room for the subroutes a setting locks, kept between settings.
    std::vector<TULC*> lockedScratch_;
};

// A long route: a chain of routes set one after another from one click.
struct TLongRoute {
    TSIG* Entrance = nullptr;
    TSIG* Exit = nullptr;
    std::vector<TROU*> Routes;
};
using TLongRouteList = std::vector<TLongRoute>;

// What a route request from an entrance to an exit came to.
struct RouteRequestResult {
    // A route (or a long route) was set.
    bool Set = false;
    // No route at all joins the two signals for this request flag; the caller reports
    // "No route between selected signals".
    bool NoRoute = false;
};

// The signaller's (or a client's) request for a route from an entrance to an exit:
// flag 0 for the exit click, 1 for the warner button. On a client the request goes to
// the server. A refusal is shown as a message; the entrance is redrawn and broadcast.
RouteRequestResult RouteRequest(Sim& sim, TSIG& entrance, TSIG& exit, std::uint8_t flag);

}  // namespace kestra
