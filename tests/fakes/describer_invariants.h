#pragma once
// The train describer's invariants, checked on a whole simulation after any step: every
// described berth on the shown screen stands on the panel with its own four characters
// in its current colour (delay mode: its text colour, never on a background of the same
// colour); a description is four characters or none; no berth holds the undescribed
// train's "****" where no undescribed train ran (the caller says whether one may have);
// and no description stands in two berths unless the caller allows it.

#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "sim/sim.h"

namespace kestra::test {

struct DescriberRules {
    // An undescribed train may have run: "****" is then a true report, not a fault.
    bool UndescribedTrains = false;
    // A description may stand in two berths (copy steps, queues).
    bool Duplicates = false;
};

// The describer invariants broken now, in words; empty when all is well. The surface
// is the one the simulation draws on (screen columns of the current screen).
std::vector<std::string> CheckDescriber(Sim& sim, const RecordingSurface& surface,
                                        const DescriberRules& rules = {});

}  // namespace kestra::test
