// The area model: the derivation of the railway from its description, stage by stage,
// and the lookups the stages share. Each stage lives in its own file:
//   area_model_picture.cpp    the picture, its labels, plates, bands and indicators
//   area_model_track.cpp      track cells, points, signals, joints, circuits and ends
//   area_model_subroutes.cpp  subroutes, their links, conflicts and flank protection
//   area_model_routes.cpp     overlaps, routes and automatic working
//   area_model_places.cpp     berths, platforms, locations, entries, sub-areas, paths
//   area_model_drawing.cpp    drawing checks and the text picture

#include "area/area_model.h"

#include <cmath>

#include "area/area_model_internal.h"

namespace kestra::area {

using namespace model;

int OppositePort(int p) {
    return kOpposite[p];
}
int PortDX(int p) {
    return kDX[p];
}
int PortDY(int p) {
    return kDY[p];
}

AreaModel::AreaModel(const AreaDescription& description) : d_(description) {
    ReadPicture();
    if (!Errors.empty()) return;
    ReadLabels();
    ReadCells();
    ConnectCells();
    ReadPoints();
    if (!Errors.empty()) return;
    ReadSignals();
    MarkJoints();
    FindCircuits();
    FindEnds();
    PlaceSignals();
    FindSubroutes();
    LinkSubroutes();
    FindConflictsAndFlank();
    if (!Errors.empty()) return;
    FindPlatformsAndLocations();
    FindOverlaps();
    FindRoutes();
    FindAutomaticWorking();
    PlaceBerths();
    FindBerthSteps();
    FindEntries();
    FindSubAreas();
    FindPaths();
    FindLocationData();
    FindStopPoints();
    FindCodeRules();
    FindLevelCrossings();
}

// --- lookups ------------------------------------------------------------------------

char AreaModel::SourceAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= kColumns || y >= kRows) return ' ';
    return picture_[y][x];
}

int AreaModel::CellAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= kColumns || y >= kRows) return -1;
    return cellIndex_[y * kColumns + x];
}

int AreaModel::EndIndexAt(int circuit, int segment, int port) const {
    const Circuit& c = Circuits[circuit];
    for (std::size_t i = 0; i < c.Ends.size(); ++i) {
        if (c.Ends[i].Segment == segment && c.Ends[i].Port == port) return static_cast<int>(i);
    }
    return -1;
}

// Where a move leaving a segment by a port arrives: the circuit and its end index.
int AreaModel::EnteredEnd(int fromSegment, int fromPort, int& circuit) const {
    const Link& l = LinkOf(fromSegment, fromPort);
    circuit = -1;
    if (l.Segment < 0) return -1;
    circuit = Segments[l.Segment].Circuit;
    return EndIndexAt(circuit, l.Segment, l.Port);
}

int AreaModel::SubrouteFrom(int circuit, int endIndex, int exitEnd) const {
    for (int s : Circuits[circuit].Subroutes) {
        if (Subroutes[s].From == endIndex && Subroutes[s].To == exitEnd) return s;
    }
    return -1;
}

int AreaModel::CellLengthOf(int cell) const {
    const TrackCell& c = Cells[cell];
    const double f = c.Kind == CellKind::Diagonal ? 1.4 : 1.0;
    return static_cast<int>(std::lround(c.MetresPerCell * f));
}

const ZoneSpec* AreaModel::ZoneAt(int x, int y) const {
    for (const ZoneSpec& z : d_.Zones) {
        if (x >= z.X0 && x <= z.X1 && y >= z.Y0 && y <= z.Y1) return &z;
    }
    return nullptr;
}

int AreaModel::GradientAt(int x, int y) const {
    for (const GradientSpec& g : d_.Gradients) {
        if (x >= g.X0 && x <= g.X1 && y >= g.Y0 && y <= g.Y1) return g.PerMille;
    }
    return 0;
}

int AreaModel::SignalByPlate(const std::string& plate) const {
    for (std::size_t i = 0; i < Signals.size(); ++i)
        if (Signals[i].Plate == plate) return static_cast<int>(i);
    return -1;
}

int AreaModel::LocationByCode(const std::string& code) const {
    for (std::size_t i = 0; i < Locations.size(); ++i)
        if (Locations[i].Code == code) return static_cast<int>(i);
    return -1;
}

}  // namespace kestra::area
