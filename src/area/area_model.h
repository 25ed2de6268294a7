#pragma once
// The railway derived from an area description: cells and their glyphs, track
// circuits, points, signals, subroutes, routes, overlaps, berths, labels, entry points,
// locations, paths and ARS sub-areas, as plain data with indexes between them. Nothing
// here touches a simulation; the area builder turns this model into objects.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "area/area_description.h"

namespace kestra::area {

inline constexpr int kScreenCount = 2;
inline constexpr int kScreenColumns = 128;
inline constexpr int kColumns = kScreenColumns * kScreenCount;
inline constexpr int kRows = 46;
// The railway stays within these rows: the furniture takes the rest.
inline constexpr int kFirstRailwayRow = 1;
inline constexpr int kLastRailwayRow = 43;

// Ports of a track cell: the middle of its left and right edges and its four corners.
enum Port : std::uint8_t { PtL = 0, PtR, PtUL, PtUR, PtDL, PtDR, PtCount };
// Ports a train leaves by when running right (Down, direction 1).
inline bool IsRightPort(int p) {
    return p == PtR || p == PtUR || p == PtDR;
}
int OppositePort(int p);
int PortDX(int p);
int PortDY(int p);

enum class CellKind : std::uint8_t { Plain, Bend, Points, Diagonal, Crossing, Buffer, Stub };

// One road through a cell (a crossing has two); circuits are made of segments.
struct Segment {
    int Cell = -1;
    std::uint8_t Ports = 0;  // bit set of Port
    int Circuit = -1;
};

// A link from a segment's port: to another segment's port, or out of the area.
struct Link {
    int Segment = -1;  // -1: leaves the area (or nothing, for a buffer's dead side)
    int Port = -1;
    bool Boundary = false;
};

struct TrackCell {
    int X = 0, Y = 0;
    char Source = ' ';
    CellKind Kind = CellKind::Plain;
    std::uint8_t Ports = 0;
    std::uint8_t Glyph = 'a';  // as drawn in the track (points: the plain glyph)
    int Points = -1;
    int Segments[2] = {-1, -1};
    bool Joint = false;      // a joint at its left edge is drawn as a break mark
    bool BerthCell = false;  // a berth lies here
    int DiagonalSegment = -1;
    float MetresPerCell = 0;
};

// A circuit end: where a subroute enters or leaves it.
struct CircuitEnd {
    int Segment = -1;
    int Port = -1;          // -1 for a buffer's dead end
    bool Boundary = false;  // the line leaves the area here
    bool DeadEnd = false;   // buffer stops
    char Letter = 'A';
    int X = 0, Y = 0;
};

struct Circuit {
    std::string ID;
    std::vector<int> Cells;
    std::vector<CircuitEnd> Ends;
    std::vector<int> Subroutes;
    bool Platform = false;
    std::uint8_t Electrification = 0;
    int Location = -1;
    int MinX = 0, MinY = 0;
};

struct PointsInfo {
    std::string ID;
    int Screen = 1;
    char Key = 'a';
    int Cell = -1;
    std::uint8_t Orientation = 0;
    bool Swap = false;
    bool AutoNormalise = false;
    bool FlashingYellowJunction = false;
    int DivergingMph = 25;
    int Partner = -1;
    int Circuit = -1;
    int Location = -1;
    int ToePort = -1, StraightPort = -1, DivergingPort = -1;
    std::vector<int> NormalSubroutes, ReverseSubroutes;
    std::vector<int> FlankNormalSubroutes, FlankReverseSubroutes;
};

enum class SignalType : std::uint8_t { Main, Automatic, Shunt, Marker };

struct SignalInfo {
    std::string Plate;
    std::string ID;
    SignalType Type = SignalType::Main;
    std::uint8_t Kind = 0;
    std::uint8_t AspectFlags = 0;
    bool RightFacing = true;  // trains running right read it
    std::uint8_t Orientation = 0;
    int PostX = 0, PostY = 0, TrackY = 0;
    int HeadX = 0, HeadWidth = 0;
    bool AutoButton = false, ER = false, Warner = false, TRTS = false;
    int AutoX = 0, ERX = 0, WarnerX = 0, TRTSX = 0;
    int EntranceX = 0, EntranceY = 0;
    bool HidePlate = false, ApproachLit = false, Fringe = false, ShuntOnly = false;
    int PlateX = 0;
    int BerthCircuit = -1;  // circuit in rear
    int AheadCircuit = -1;  // circuit beyond (none at buffer stops)
    int Berth = -1;
    int Location = -1;
    int NextSignal = -1;  // automatic signals: the signal ahead
    std::vector<int> Routes;
    std::vector<int> Overlaps;
    std::vector<int> ControlCircuits;
    std::vector<int> MustBeFree;
    // Automatic signals: the subroutes of other roads across or against the first
    // overlap of the signal ahead (part of MustBeFree). A route over them is refused while
    // a train needs that overlap (see the area's hooks).
    std::vector<int> OverlapGuard;
    int ApproachTime = 120;
    std::string Options;
};

struct PointsNeed {
    int Points = -1;
    bool Reverse = false;
};

struct SubrouteInfo {
    int Circuit = -1;
    std::string ID;          // two end letters
    int From = -1, To = -1;  // end indexes in the circuit
    std::uint8_t Direction = 1;
    std::vector<int> Cells;  // in order of travel
    std::vector<PointsNeed> Points;
    std::vector<int> FlankNormal, FlankReverse;  // points
    std::vector<int> Conflicts;
    std::vector<int> Next, Previous;
    int Opposite = -1;
    int EndSignal = -1;
    bool LeavesArea = false;
    bool AlwaysPassable = false;
    bool GoodsLine = false;
    int Length = 0;
    int PassengerMph = 0, FreightMph = 0;
    float Scale = 1.0f;
    int SignalOffset = 0;
    int ClearTime = 0;
    int PassageTime = 0;
    std::vector<int> CrossingCells;  // crossing cells used by the diagonal road
};

enum RouteClassCode : std::uint8_t {
    ClassMain = 0,
    ClassShunt = 1,
    ClassWarner = 2,
    ClassCallOn = 3,
    ClassAuto = 4
};

struct RouteInfo {
    std::string ID;
    std::uint8_t Class = ClassMain;
    int Entrance = -1, Exit = -1;
    std::vector<int> Subroutes;
    std::vector<int> Permissive;
    int CallOnVariant = -1, MainRoute = -1, Alternative = -1;
    int ApproachTime = 120;
    bool AutoAllowed = false;
    // Runs against the line's own direction for single-line working: never part of a
    // path, and not a block section of the line.
    bool WrongRoad = false;
    int ReversePoints = 0;
    int Length = 0;
    std::vector<int> SubAreas;
    std::vector<int> Berths;
};

struct OverlapInfo {
    int Signal = -1;
    std::vector<int> Subroutes;
    bool Restricted = false;
};

enum class LabelKind : std::uint8_t { Text, Plate, Platform, StationName };

struct LabelInfo {
    int X = 0, Y = 0;
    std::string Text;  // glyph string, colour codes included
    int Cells = 0;     // cells covered
    LabelKind Kind = LabelKind::Text;
};

struct BerthInfo {
    std::string ID;
    int X = 0, Y = 0;
    int Circuit = -1;
    int Signal = -1;  // the signal it stands in front of, or none
    bool External = false;
};

// An object a describer step names: a circuit, a route, a signal or a berth.
enum class StepObjectKind : std::uint8_t { None, Circuit, Route, Signal, Berth, Subroute };
struct StepObject {
    StepObjectKind Kind = StepObjectKind::None;
    int Index = -1;
    bool Negated = false;  // as a condition: true when the object is not active
};

// A describer step from a berth, derived from the routes (area_model_berths.cpp).
struct BerthStepInfo {
    int From = -1;
    int To = -1;  // -1: the description leaves the area
    StepObject Trigger;
    bool OnRelease = false;
    std::vector<StepObject> Conditions;
    // The route whose entry the step follows, or -1 (a reversal, a departure over the
    // boundary).
    int Route = -1;
};

struct EntryInfo {
    std::string Code, Name;
    int FirstSignal = -1;
    std::vector<int> Subroutes;  // from the boundary up to the first signal
    int Berth = -1;
};

struct PlatformInfo {
    std::string Code;
    int Circuit = -1;           // the first of its circuits, from the left
    std::vector<int> Circuits;  // a long platform may be divided into two or more
    int Location = -1;
    int BandX0 = 0, BandX1 = 0, BandY = 0;
    int CodeX = 0;
    int Face = 0;  // -1 the track above the band, +1 below, 0 whichever has track
    int TrackY = 0;
    std::vector<int> Subroutes;  // both directions
};

struct LocationInfo {
    std::string Code, Name;
    bool Key = false, NonStation = false, ARSWaitsForTime = false, StopWhenInside = false;
    int StandardDwell = 35, MinimumDwell = 25;
    std::vector<int> Platforms;
    // The berths of its platforms only: those on the approach belong to the line.
    std::vector<int> Berths;
    // Line and path codes the paths give at the location, in table order.
    std::vector<std::string> Lines;
    std::vector<std::string> PathCodes;
    // Platforms that face each other across one band, each pair in both orders.
    std::vector<std::pair<std::string, std::string>> Adjacent;
    int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
};

struct PathInfo {
    int Entry = -1;
    int FromLocation = -1;
    std::string FromPlatform;
    int ToLocation = -1;
    std::string ToPlatform;
    // The line the path runs on, as the table names it.
    std::string Line;
    // The codes that choose it: the line code at the arriving end; the others empty,
    // as no two paths between the same places and platforms differ by them.
    std::string FromPath, FromLine, ToPath, ToLine;
    std::uint8_t StartDirection = 1, EndDirection = 1;
    // Berths and routes in order of travel: berth indexes >= 0, routes as -1 - index.
    std::vector<int> Objects;
};

// Where the head of a train calling at a location stands on a subroute: at every
// platform face and on every track of a timing point without platforms.
struct StopPointInfo {
    int Location = -1;
    int Subroute = -1;
    std::string Platform;
    int Position = 0;
    // The stopping points on the subroutes before and after it along the same platform.
    int Continuation = -1, Previous = -1;
};

// A code rule: what a timetable writer may leave out at a step between two places.
struct CodeRuleInfo {
    int FromEntry = -1, FromLocation = -1, ToEntry = -1, ToLocation = -1;
    bool SetsPath = false;
    std::string Code;
    std::uint8_t Kind = 0;
    std::uint8_t TestsPath = 0;
    std::string Condition;
};

struct SubAreaInfo {
    char Digit = '1';
    std::string Label;
    int Column = 0, Row = 0;
    int LabelPlacement = 0;
    std::vector<int> Routes;
};

// A level crossing: the track cells the road crosses, their circuits, the routes over
// it with how many of their subroutes lead up to and over the road, and its drawing.
struct LevelCrossingInfo {
    std::string ID, Name;
    int Location = -1;
    int X = 0;
    std::vector<int> TrackCells;
    std::vector<int> RoadRows;
    std::vector<int> Circuits;
    // (route index, subroutes from the route's first up to the one over the road)
    std::vector<std::pair<int, int>> Routes;
    // The overlaps that run over the road (indexes in Overlaps).
    std::vector<int> Overlaps;
    int LabelX = 0, LabelY = 0;
};

// One drawn cell, for the check that nothing is drawn over anything else.
struct DrawnCell {
    int X = 0, Y = 0;
    std::uint8_t Glyph = ' ';
    std::string Owner;
};

class AreaModel {
  public:
    explicit AreaModel(const AreaDescription& description);

    const AreaDescription& Description() const { return d_; }
    bool Valid() const { return Errors.empty(); }

    std::vector<TrackCell> Cells;
    std::vector<Segment> Segments;
    std::vector<Link> Links;  // Segments.size() * PtCount
    std::vector<Circuit> Circuits;
    std::vector<PointsInfo> Points;
    std::vector<SignalInfo> Signals;
    std::vector<SubrouteInfo> Subroutes;
    std::vector<RouteInfo> Routes;
    std::vector<OverlapInfo> Overlaps;
    std::vector<LabelInfo> Labels;
    std::vector<BerthInfo> Berths;
    std::vector<BerthStepInfo> BerthSteps;
    std::vector<EntryInfo> Entries;
    std::vector<PlatformInfo> Platforms;
    std::vector<LocationInfo> Locations;
    std::vector<PathInfo> Paths;
    std::vector<SubAreaInfo> SubAreas;
    std::vector<StopPointInfo> StopPoints;
    std::vector<CodeRuleInfo> CodeRules;
    std::vector<LevelCrossingInfo> LevelCrossings;
    std::vector<std::string> Errors;

    // The cell index at a panel cell, or -1.
    int CellAt(int x, int y) const;
    char SourceAt(int x, int y) const;
    const Link& LinkOf(int segment, int port) const { return Links[segment * PtCount + port]; }
    int SignalByPlate(const std::string& plate) const;
    int LocationByCode(const std::string& code) const;
    int EntryByCode(const std::string& code) const;
    // Every cell the area draws (track, points, heads, buttons, labels, indicators);
    // cells drawn twice are reported by DrawingErrors.
    std::vector<DrawnCell> DrawnCells() const;
    std::vector<std::string> DrawingErrors() const;
    // The picture as the panel shows it, one line per row: glyphs as characters.
    std::string Render() const;

  private:
    // The stages of the derivation, in the order the constructor runs them.
    void ReadPicture();
    void ReadCells();
    void ConnectCells();
    void ReadPoints();
    void ReadSignals();
    void ReadLabels();
    void MarkJoints();
    void FindCircuits();
    void FindEnds();
    void FindSubroutes();
    void LinkSubroutes();
    void FindConflictsAndFlank();
    void PlaceSignals();
    void FindOverlaps();
    void FindRoutes();
    // The level crossings' circuits and the routes over them.
    void FindLevelCrossings();
    void FindAutomaticWorking();
    void PlaceBerths();
    // The describer's steps: into the exit's berth of every route, out over the
    // boundary, and back out of platforms and sidings where trains reverse.
    void FindBerthSteps();
    void FindPlatformsAndLocations();
    void FindEntries();
    void FindSubAreas();
    void FindPaths();
    // FindPaths, in its steps: the fewest main and automatic routes from one signal to
    // another, appended to routes (their count, 0 if there is no way); whether a signal
    // stands at a location's platform (any track of it, for an empty platform); whether
    // a route arrives at a location's platform (or track, or signal).
    int RoutesBetween(int from, int to, std::vector<int>& routes) const;
    bool SignalStandsAt(int signal, int location, const std::string& platform) const;
    bool RouteArrivesAt(int route, int location, const std::string& platform) const;
    // What trains need of the places: the platform berths and codes of each location,
    // stopping points, and the code rules that complete a timetable.
    void FindLocationData();
    void FindStopPoints();
    void FindCodeRules();
    void Error(const std::string& text) { Errors.push_back(text); }

    // ReadLabels, in its steps.
    void ReadBracedLabels(int y);
    void ReadSubAreaIndicators(int y);
    void ReadPlatformBands(int y);
    void ReadSignalPosts();
    void ReadBareLabels();
    void AddLabel(int x, int y, const std::string& text, LabelKind kind, char colour);
    // ConnectCells, in its steps.
    void SetDiagonalPorts();
    void SetHorizontalPorts();
    void ClassifyCells();
    void ClassifyHorizontalCell(TrackCell& cell, bool left, bool right, int legs);
    void MakeSegments();
    void LinkSegments();
    // FindSubroutes, in its steps.
    void Passages(int segment, int in, std::vector<std::pair<int, int>>& out) const;
    void FindSubroutesFromEnd(int circuit, int end, std::map<std::pair<int, int>, int>& made);
    void AddSubroute(int circuit, int from, int to, std::uint8_t direction,
                     const std::vector<int>& segments, const std::vector<PointsNeed>& needs);
    void PairOppositeSubroutes(const Circuit& circuit);
    void SetSubrouteTrackData(SubrouteInfo& subroute) const;

    // Walks forward from a signal's joint.
    struct Walk;
    void WalkRoutes(int signal, int endSegment, int endPort, std::vector<int>& subroutes,
                    std::vector<PointsNeed>& needs, int depth, bool mainRoutes, bool wrongRoad);
    int SubrouteFrom(int circuit, int endIndex, int exitEnd) const;
    int EndIndexAt(int circuit, int segment, int port) const;
    int EnteredEnd(int fromSegment, int fromPort, int& circuit) const;
    void AddRoute(int entrance, int exit, std::uint8_t cls, const std::vector<int>& subroutes,
                  bool wrongRoad);
    int CellLengthOf(int cell) const;
    const ZoneSpec* ZoneAt(int x, int y) const;
    int GradientAt(int x, int y) const;

    // A copy of the description (its tables are views of data that outlives the model).
    const AreaDescription d_;
    std::vector<std::string> picture_;         // kRows strings of kColumns
    std::vector<std::vector<bool>> labelled_;  // cells taken by labels and plates
    std::vector<int> cellIndex_;
    std::vector<std::pair<int, int>> jointLinks_;  // (segment*PtCount+port) pairs
    std::vector<int> signalAtEnd_;      // by segment*PtCount+port: signal facing out of it
    std::vector<int> signalAtDeadEnd_;  // by segment: marker at its buffer end
};

}  // namespace kestra::area
