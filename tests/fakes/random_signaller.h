#pragma once
// A seeded random signaller for long runs under the interlocking invariant checker. It
// asks for routes (mostly between the ends of a real route, sometimes between any two
// signals), cancels them, keys points, occupies and clears circuits and lets time pass;
// after every step the invariants must hold. The same seed gives the same run.

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "fakes/interlocking_invariants.h"

namespace kestra::test {

// The seed in KESTRA_SEED, to replay or explore other runs; the fallback without it.
unsigned SeedFromEnvironment(unsigned fallback);

// How the signaller shares its steps: an action is drawn from 0 to 99 and the first
// bound above it names the action; the rest let time pass.
struct SignallerMix {
    int requestBelow = 30;  // ask for a route
    int cancelBelow = 40;   // cancel the route from an entrance signal
    int keyBelow = 55;      // key points normal or reverse
    int circuitBelow = 70;  // occupy a clear circuit or clear an occupied one
    int maxTicks = 4;       // time passes 1 to maxTicks major cycles
    // A request is between the ends of a real route except one time in this many.
    int anySignalsOneIn = 4;
    // How many of the last steps a failure lists.
    std::size_t logLength = 12;
};

// What the run did, so that a test can show the railway was worked for real.
struct SignallerCounts {
    int routesSet = 0;
    int refusals = 0;        // requests the interlocking refused
    int noRoute = 0;         // requests between signals no route joins
    int pointsMoved = 0;     // changes of points' controlled position
    int overlapChanges = 0;  // a signal's overlap replaced by another
    int proceedCycles = 0;   // steps after which a route-worked entrance showed proceed
};

class RandomSignaller {
  public:
    // Works the routes, signals, points and circuits the simulation holds now; automatic
    // signals and their routes are left to work themselves.
    RandomSignaller(TestSim& t, InterlockingInvariants& checker, unsigned seed,
                    SignallerMix mix = {});

    // Works `steps` steps, checking the invariants after each. Stops at the first break
    // and returns the seed, the last steps and what broke; empty when none broke.
    std::string Work(int steps);

    const SignallerCounts& Counts() const { return counts_; }

  private:
    int Pick(int n);
    std::string Step();
    void Count();

    TestSim& t_;
    InterlockingInvariants& checker_;
    unsigned seed_;
    SignallerMix mix_;
    std::mt19937 rng_;
    std::vector<TSIG*> entrances_, signals_;
    std::vector<TROU*> routes_;
    std::vector<TPTS*> points_;
    std::vector<TTCS*> circuits_;
    std::vector<TOVL*> lastOverlap_;
    std::vector<bool> lastNormal_;
    SignallerCounts counts_;
};

}  // namespace kestra::test
