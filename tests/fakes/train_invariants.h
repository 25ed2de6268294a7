#pragma once
// The trains' safety invariants, checked on a whole simulation after every major cycle
// (next to the interlocking's own checker): each circuit's occupancy equals the trains
// standing on it; no train runs above its permitted speed (its own top speed and the
// line speed of every subroute it stands on); no train passes a signal at danger
// without authority; never more trains than the area allows, and only trains with a
// place on the track counted; no subroute held twice by one train; links only to trains
// in the list; a joining train has a train in front; the current trip and activity lie
// in the train's own timetable copy. (A head that has just
// run onto a lower line speed may be up to one second's braking above it.)
//
// Passing signals is seen as it happens, through the area's subroute-entered hook
// (chaining whatever the area installed there); the authority a train had is the one it
// held at the previous check, so a test that grants authority checks once after
// granting it. A clean check allocates nothing once its memory has grown.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sim/sim.h"

namespace kestra::test {

class TrainInvariants {
  public:
    explicit TrainInvariants(Sim& sim);
    ~TrainInvariants();
    TrainInvariants(const TrainInvariants&) = delete;
    TrainInvariants& operator=(const TrainInvariants&) = delete;

    std::vector<std::string> Check();
    // Check into a caller's vector (cleared first); true when all is well.
    bool CheckInto(std::vector<std::string>& out);

  private:
    void SubrouteEntered(TTRN& train, TULC& subroute);
    std::uint8_t AuthorityAtLastCheck(const TTRN& train) const;

    Sim& sim_;
    std::function<void(TTRN&, TULC&)> previousEntered_;
    // Signals passed at danger since the last check.
    std::vector<std::string> passedAtDanger_;
    // Each train's pass authority at the last check.
    std::vector<std::pair<const TTRN*, std::uint8_t>> authority_;
    std::vector<int> counts_;
};

}  // namespace kestra::test
