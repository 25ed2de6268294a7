#pragma once
// One hookup of the invariant checkers for a headless run. Attach it to the run's
// options: before the first cycle it puts the chosen checkers on the simulation (so
// they see every points movement and every signal passed from the very first cycle),
// after every cycle it checks them all, and when the run is over it takes them off
// while the simulation still lives. What broke, with the simulated time, is collected
// for one assertion at the end. Any BeforeCycle, EachCycle or AfterRun the options
// already had still runs: BeforeCycle after the checkers are on, EachCycle after the
// checks, AfterRun before the checkers come off.
//
// The harness must outlive the run it is attached to.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "fakes/describer_invariants.h"
#include "fakes/fakes.h"

namespace kestra {
class Sim;
namespace runner {
struct HeadlessOptions;
}
}  // namespace kestra

namespace kestra::test {

class InterlockingInvariants;
class TrainInvariants;

// Which checkers a run is held to.
struct InvariantChecks {
    bool Interlocking = true;
    bool Trains = true;
    // Draws the panel into the harness's own recording surface to read the berths back.
    bool Describer = false;
    DescriberRules Rules{};
    bool Calls = false;
    bool ARS = false;
    // What broke is kept up to this many lines (the checks go on after).
    std::size_t Limit = 20;
};

class InvariantHarness {
  public:
    explicit InvariantHarness(InvariantChecks checks = {});
    ~InvariantHarness();
    InvariantHarness(const InvariantHarness&) = delete;
    InvariantHarness& operator=(const InvariantHarness&) = delete;

    // Hooks the checkers into the options' cycle callbacks (chaining those set). With
    // the describer checked, the options' surface becomes the harness's own.
    void Attach(runner::HeadlessOptions& options);

    // Every broken invariant seen, "HH:MM:SS what" (at most the limit).
    const std::vector<std::string>& Broken() const { return broken_; }
    // The same, one a line; empty when all held.
    std::string Report() const;
    // Cycles checked.
    long Cycles() const { return cycles_; }
    // Overruns of signals a failure threw back too late to stop at, as the train
    // checker counted them when it came off.
    int ExcusedOverruns() const { return excusedOverruns_; }
    // The checkers are on a simulation now.
    bool Hooked() const { return hooked_ != nullptr; }
    // The surface the describer is read from (drawn on only with Describer).
    RecordingSurface& Surface() { return surface_; }

    // Puts the checkers on a simulation, checks once, takes them off: used by Attach,
    // and by a caller that drives the cycles itself.
    void Hook(Sim& sim);
    void Check(Sim& sim);
    void Unhook();

  private:
    void Note(const Sim& sim, const std::vector<std::string>& found);

    InvariantChecks checks_;
    RecordingSurface surface_;
    std::unique_ptr<InterlockingInvariants> interlocking_;
    std::unique_ptr<TrainInvariants> trains_;
    Sim* hooked_ = nullptr;
    std::vector<std::string> found_;
    std::vector<std::string> broken_;
    long cycles_ = 0;
    int excusedOverruns_ = 0;
};

}  // namespace kestra::test
