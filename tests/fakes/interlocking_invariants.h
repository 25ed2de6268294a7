#pragma once
// The interlocking's safety invariants, checked on a whole simulation: any railway,
// any state, with or without trains. Attach one to a simulation, run steps, and call
// Check after each: it reports every broken invariant in words.
//
// While attached it also watches every real points movement (through the area's
// points-call hooks, chaining whatever the area installed there) and reports points
// driven while their circuit is occupied or while a route holds them the other way.

#include <functional>
#include <string>
#include <vector>

#include "core/sim.h"

namespace kestra::test {

class InterlockingInvariants {
  public:
    explicit InterlockingInvariants(Sim& sim);
    ~InterlockingInvariants();
    InterlockingInvariants(const InterlockingInvariants&) = delete;
    InterlockingInvariants& operator=(const InterlockingInvariants&) = delete;

    // The invariants broken now, and the points movements seen since the last call that
    // broke one. Empty when all is well.
    std::vector<std::string> Check();

  private:
    void WatchMovement(TPTS& points, bool normal);
    void CheckCircuits(std::vector<std::string>& out) const;
    void CheckRoutes(std::vector<std::string>& out) const;
    void CheckPointsInPosition(std::vector<std::string>& out) const;
    void CheckOverlaps(std::vector<std::string>& out) const;
    bool IsPermissiveOfSetRoute(const TULC& s) const;

    Sim& sim_;
    std::function<void(TPTS&, bool&)> previousNormalCall_;
    std::function<void(TPTS&, bool&)> previousReverseCall_;
    std::vector<std::string> movements_;
};

// A readable name for a subroute: its circuit and its own two letters.
std::string Describe(const TULC& s);

}  // namespace kestra::test
