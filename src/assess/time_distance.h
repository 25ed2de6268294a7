#pragma once
// The time-distance graph of a line: distance along the line against time, one line per
// train working, its booked running (from its timetable) and its actual running (from
// the running record), coloured by its lateness. The engine works out what to draw;
// the front end only paints it.

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

class Sim;

// One place along a line, in the order of the line's distance: the name shown on the
// distance axis, and how the paths of each direction name it: a location code, or
// "entry:" and an entry point's code; empty where that direction's paths do not reach.
struct GraphPlaceSpec {
    std::string Label;
    std::string Down;
    std::string Up;
};

// A line of the area and which of its directions the graph shows.
struct GraphLineSpec {
    std::string Name;   // file-name form: "down-main"
    std::string Title;  // "Down main: West - Harnforth East"
    std::vector<GraphPlaceSpec> Places;
    bool ShowDown = true;
    bool ShowUp = true;
    // Where the line shares its first places with another line: a train is drawn only
    // when it ran beyond the place of this index (-1: every train on the line).
    int DrawnBeyond = -1;
};

struct GraphStation {
    std::string Label;
    double Metres = 0;
};

// A point of a train's line: a time, the distance along the line, and the minutes late:
// those of the train's last report at or before it (0 before any), or more when the
// time is already past the booked time of the point it is due at next.
struct GraphPoint {
    std::int32_t Time = 0;
    double Metres = 0;
    std::int32_t MinutesLate = 0;
};

struct GraphTrain {
    std::string Train;
    // The booked times at the line's places, in time order.
    std::vector<GraphPoint> Booked;
    // The actual running, as unbroken runs (a gap where the train was off the line or
    // not sampled).
    std::vector<std::vector<GraphPoint>> Actual;
};

struct TimeDistanceGraph {
    std::string Name;
    std::string Title;
    std::vector<GraphStation> Stations;
    double LengthMetres = 0;
    // The times the graph covers: its earliest and latest point (both 0 when empty).
    std::int32_t FirstTime = 0;
    std::int32_t LastTime = 0;
    std::vector<GraphTrain> Trains;
};

// The metres along the line of each subroute's start and end, for the subroutes of the
// paths between consecutive places of the line (either direction shown); and the places'
// distances. Worked out once per line from the area's paths.
struct GraphLineGeometry {
    std::vector<GraphStation> Stations;
    double LengthMetres = 0;
    // Indexed by the subroute's index in the simulation's list: start and end metres,
    // or -1 for a subroute off the line.
    std::vector<double> From;
    std::vector<double> To;
};

GraphLineGeometry BuildLineGeometry(Sim& sim, const GraphLineSpec& graphLine);
// The graph of the line from the simulation's running record.
TimeDistanceGraph BuildTimeDistanceGraph(Sim& sim, const GraphLineSpec& graphLine);

// The colour band of a lateness: 0 on time (or early), 1 up to 2 minutes late, 2 three
// to five minutes, 3 more than five.
int LatenessBand(std::int32_t minutesLate);

}  // namespace kestra
