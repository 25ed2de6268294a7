#pragma once
// Not allowed: only a .cpp may include the simulation object.
#include "sim/sim.h"
