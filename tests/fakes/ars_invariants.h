#pragma once
// The invariants of automatic route setting, checked on a whole simulation after any
// cycle: every ARS train stands in a berth of the describer that holds its description;
// an ARS train stands on its planned path at the entry for its berth; no two trains share
// a berth; and every route ARS has chosen to set lies on the planned path of an ARS train
// ahead of where it stands.

#include <string>
#include <vector>

#include "sim/sim.h"

namespace kestra::test {

// The ARS invariants broken now, in words; empty when all is well.
std::vector<std::string> CheckARS(Sim& sim);

}  // namespace kestra::test
