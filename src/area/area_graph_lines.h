#pragma once
// The lines of the built-in area that time-distance graphs are drawn for.

#include <vector>

#include "assess/time_distance.h"

namespace kestra::area {

// The Down main and the Up main from the west boundary through Ostwick, Vellmoor
// Central, Skelbrook Junction and Greyhallow Tunnel to Harnforth and the east boundary,
// and the Tarrow branch (both directions) from Vellmoor Central.
std::vector<GraphLineSpec> TimeDistanceLines();

}  // namespace kestra::area
