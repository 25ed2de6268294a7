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
//
// Equipment failing is outside the interlocking's control: a signal that showed proceed
// at the previous check and stands at danger now, with a failure current on itself or
// on what its route proves (its exit signal, the circuits and points of its route and
// of its exit's overlap), was thrown back by that failure. A train that was already
// within its braking distance of it at the previous check may run past it; it must then
// brake to a stand without gaining speed, its overrun counting down. A train that could
// have stopped, a signal put back for any other reason, or a signal passed by a train
// after it had stopped once short of it is still a signal passed at danger.

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
    // Overruns of signals a failure threw back too late for the train to stop, so far.
    int ExcusedOverruns() const { return excusedOverruns_; }

  private:
    struct Passed {
        const TTRN* Train = nullptr;
        std::string TrainID;
        const TSIG* Signal = nullptr;
    };
    // A train as the last check saw it.
    struct TrainSeen {
        const TTRN* Train = nullptr;
        std::uint8_t Authority = 0;
        TULC* Head = nullptr;
        double HeadPos = 0;
        double Speed = 0;
        double Braking = 0;
    };
    void SubrouteEntered(TTRN& train, TULC& subroute);
    std::uint8_t AuthorityAtLastCheck(const TTRN& train) const;
    // Signals put back since the last check by a failure: the trains then too close to
    // stop at them may pass them.
    void ExcuseTrainsForThrownBackSignals();
    bool FailureThrewBack(const TSIG& signal, const TROU* route) const;
    bool Excused(const TTRN* train, const TSIG* signal);
    void CheckOverruns(std::vector<std::string>& out);
    bool InList(const TTRN* train) const;

    Sim& sim_;
    std::function<void(TTRN&, TULC&)> previousEntered_;
    // Signals passed at danger since the last check.
    std::vector<Passed> passedAtDanger_;
    // Each train at the last check.
    std::vector<TrainSeen> seen_;
    // Each signal at the last check: showing proceed, and over which route.
    std::vector<std::uint8_t> signalProceed_;
    std::vector<const TROU*> signalRoute_;
    // Trains that may pass a signal a failure threw back when they could not stop.
    std::vector<std::pair<const TTRN*, const TSIG*>> excused_;
    // Trains that ran past such a signal, with their speed at the last check.
    std::vector<std::pair<const TTRN*, double>> overrunning_;
    std::vector<int> counts_;
    int excusedOverruns_ = 0;
};

}  // namespace kestra::test
