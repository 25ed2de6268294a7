#include <ostream>

#include "area/area_builder.h"
#include "sim/sim.h"

namespace kestra::area {

// The classes of objects that exist so far; kinds whose classes are still to come
// (berths, entry points, locations, paths, ARS sub-areas) join this list with them.
void PrintAreaSummary(const Sim& sim, std::ostream& out) {
    out << "signals " << sim.Signals.Count() << "\n";
    out << "track_circuits " << sim.TrackCircuits.Count() << "\n";
    out << "points " << sim.Points.Count() << "\n";
    out << "routes " << sim.Routes.Count() << "\n";
    out << "subroutes " << sim.Subroutes.Count() << "\n";
    out << "overlaps " << sim.Overlaps.Count() << "\n";
}

}  // namespace kestra::area
