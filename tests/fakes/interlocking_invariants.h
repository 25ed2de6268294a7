#pragma once
// The interlocking's safety invariants, checked on a whole simulation: any railway,
// any state, with or without trains. Attach one to a simulation, run steps, and call
// Check after each (every major cycle where trains run): it reports every broken
// invariant in words.
//
// The checker keeps memory between calls: the route locking it saw last time (so that
// it sees each release and can judge it), and how long a signal has shown a proceed
// aspect over a route that is not proved (a signal has one major cycle to go back to
// danger after a train or a failure takes the proving away). While attached it also
// watches every real points movement (through the area's points-call hooks, chaining
// whatever the area installed there) and counts major cycles (through the cycle hook,
// chained the same way).
//
// It is meant to run every cycle under every later subsystem: once its memory has
// grown to the railway's size a clean check allocates nothing.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace kestra::test {

class InterlockingInvariants {
  public:
    explicit InterlockingInvariants(Sim& sim);
    ~InterlockingInvariants();
    InterlockingInvariants(const InterlockingInvariants&) = delete;
    InterlockingInvariants& operator=(const InterlockingInvariants&) = delete;

    // The invariants broken now, and the points movements and releases seen since the
    // last call that broke one. Empty when all is well.
    std::vector<std::string> Check();
    // Check into a caller's vector (cleared first), so that a caller checking every
    // cycle need not allocate; true when all is well.
    bool CheckInto(std::vector<std::string>& out);

    // Major cycles seen since the checker was attached.
    std::int64_t Cycles() const { return cycles_; }

  private:
    struct HeldWhileMoved {
        const TULC* Subroute;
        const TOVL* Overlap;
        const TPTS* Points;
        bool Normal;
    };

    void WatchMovement(TPTS& points, bool normal);
    void CheckCircuits(std::vector<std::string>& out) const;
    void CheckRoutes(std::vector<std::string>& out);
    void CheckPointsInPosition(std::vector<std::string>& out) const;
    void CheckOverlaps(std::vector<std::string>& out) const;
    void CheckOverlapsApart(std::vector<std::string>& out) const;
    void CheckRouteOverlaps(std::vector<std::string>& out) const;
    void CheckReleases(std::vector<std::string>& out);
    void CheckSignals(std::vector<std::string>& out);
    void CheckAutomatics(std::vector<std::string>& out);
    void CheckFailures(std::vector<std::string>& out) const;
    void CheckLevelCrossings(std::vector<std::string>& out) const;
    void CheckMovedUnderOverlaps(std::vector<std::string>& out);
    bool IsPermissiveOfSetRoute(const TULC& s) const;

    Sim& sim_;
    std::function<void(TPTS&, bool&)> previousNormalCall_;
    std::function<void(TPTS&, bool&)> previousReverseCall_;
    std::function<void()> previousCycle_;
    std::vector<std::string> movements_;
    std::vector<HeldWhileMoved> heldWhileMoved_;
    std::int64_t cycles_ = 0;
    // Per subroute, by list position: route-locked at the last check.
    std::vector<char> wasLocked_;
    // Per signal, by list position: the cycle at which it was first seen at a proceed
    // aspect over a route not proved, or -1.
    std::vector<std::int64_t> unprovedSince_;
    // Per signal, by list position: the cycle at which an automatic signal was first
    // seen at a proceed aspect over a section it should not clear over, or -1.
    std::vector<std::int64_t> automaticWrongSince_;
    std::vector<const TROU*> setRoutes_;
};

// A readable name for a subroute: its circuit and its own two letters.
std::string Describe(const TULC& s);

}  // namespace kestra::test
