#pragma once
// The form in which an area is written down: a picture of its railway drawn in text
// cells, one string per panel row and one block per screen, plus tables of names and
// parameters. Everything else (circuits, points, subroutes, routes, overlaps, berths,
// paths) is derived from it by AreaModel.
//
// The picture, cell by cell (column X across all screens, row Y as on the panel):
//   -        plain track
//   |        plain track with a track-circuit joint at its left edge
//   / \      diagonal track, corner to corner
//   a..z     points: a track cell with a diagonal leg; the letter names it in the
//            points table of its screen. A diagonal run that joins two points (a
//            crossover) has a joint where it meets the upper points.
//   +        diamond crossing: horizontal track crossed by a diagonal; each road
//            belongs to its own circuit and the two are interlocked as conflicting
//   ] [      buffer stops (track from the left / from the right ends here)
//   .        the line leaves the area here (so does track that runs off either
//            edge of the picture)
//   > <      signal post, for trains running right / left. The signal stands beside
//            its track (by default: ">" above it, "<" below it) at the joint it
//            protects, over the last cell of the track in rear. Its plate is the run
//            of capitals and digits touching the post on the side away from the lamps;
//            the lamps and buttons take the blank cells on the other side.
//   =        platform band; capitals and digits inside it are the platform numbers
//            (an island platform carries two: the upper face first)
//   $n       ARS sub-area indicator n ("S" cell, then the state cell)
//   {TEXT}   a label with spaces (the braces are not drawn); a bare run of capitals
//            and digits anywhere else is a label too

#include <cstdint>
#include <span>

namespace kestra::area {

// One signal, by its plate. Kind: "M" main, "A" automatic, "S" ground shunt
// signal, "X" stop marker at buffer stops or a limit of shunt.
// Aspects: letters R Y D (double yellow) G, F (flashing single and double yellow).
// Options, blank-separated: "pl" position light, "auto" auto button, "warner" warner
// button, "trts" train-ready-to-start plunger, "er" emergency replacement button,
// "far" stands on the far side of its track, "hide" plate not drawn, "lit" approach
// lit, "fringe" last signal before the area boundary (its berth belongs to the next
// signal box), "shunt" a marker that ends shunt moves only.
struct SignalSpec {
    const char* Plate;
    const char* Kind;
    const char* Aspects;
    const char* Options;
};

// One points end, by the letter drawn in the picture of its screen (1 or 2).
// Options: "pair=X" worked with the points X of the same screen, "an" returns to
// normal by itself, "swap" the diverging leg is normal, "mph=N" speed over the
// diverging leg (default 25), "fy" a high-speed junction: signals in rear give
// flashing yellows for the diverging route.
struct PointsSpec {
    int Screen;
    char Key;
    const char* Id;
    const char* Options;
};

// A rectangle of the picture with its track data. The first zone that holds a cell
// gives that cell its values. Routes run past the backs of signals (against the
// line's own direction) only on goods lines, in platforms and in zones worked both ways.
// A zone worked both ways for single-line working only makes such routes wrong-road
// routes: for the signaller when a line is blocked, never part of a train's path.
struct ZoneSpec {
    int X0, Y0, X1, Y1;
    int MetresPerCell;
    int PassengerMph;
    int FreightMph;
    std::uint8_t Electrification;
    bool GoodsLine;
    bool BothWays;
    bool SingleLineWorking = false;
};

// Gradient over a rectangle of the picture, per mille, rising towards the right.
struct GradientSpec {
    int X0, Y0, X1, Y1;
    int PerMille;
};

// A station, junction or timing point. Its platforms are the platform faces whose
// numbers lie inside its rectangle; its equipment (for failures) is everything in it.
struct LocationSpec {
    const char* Code;
    const char* Name;
    int X0, Y0, X1, Y1;
    const char* Options;  // "key", "nonstation", "yard", "ars-wait"
};

// Where trains come in: the plate of the first signal they meet; the entry route is
// the track from the area boundary up to it.
struct EntrySpec {
    const char* Code;
    const char* Name;
    const char* FirstSignal;
};

// Where an ARS sub-area's label stands beside its indicator.
enum SubAreaLabelPlacement : int { LabelAbove = 0, LabelRight = 1, LabelBelow = 2, LabelLeft = 3 };

// An ARS sub-area: its indicator is "$n" in the picture. It holds the routes that
// cross track of the locations it names (blank-separated location codes); every route
// a signaller sets crosses the track of at least one sub-area.
struct SubAreaSpec {
    char Digit;
    const char* Label;
    int LabelPlacement;
    const char* Locations;
};

// A way through the area for trains of a timetable: from an entry point or from a
// location to a location, named by the signals it goes through (plates, blank-
// separated): for a path from a location the first is the signal the train starts at;
// then any signal it must pass; the last is the signal the train arrives at, whose
// berth is the path's arrival berth. Between two plates the fewest main and automatic
// routes are taken. Platform codes may be empty (any).
// Codes, where two paths between the same places and platforms need telling apart:
// "from-path=X" path code into the start, "from-line=X" line code away from it,
// "to-path=X" path code into the end, "to-line=X" line code away from it.
struct PathSpec {
    const char* Entry;  // entry point code, or empty for a path from a location
    const char* From;   // location code, or empty for a path from an entry point
    const char* FromPlatform;
    const char* To;  // location code
    const char* ToPlatform;
    const char* Signals;
    const char* Line;  // the line it runs on, offered to timetable writers at both ends
    const char* Codes;
};

// What a scenario sets beyond the failure and delay settings.
enum class ScenarioState : std::uint8_t {
    None,
    // The closed location's signals collared and its circuits marked for engineering.
    LineClosure,
    // Every ARS sub-area switched off and collared.
    NoARS,
};

// A scenario of the area.
struct ScenarioSpec {
    const char* Name;
    const char* Description;
    int MaxFailures;
    float PointsChance, SignalChance, TrackChance;
    float DelayAmount, DelayProbability;
    ScenarioState State;
};

// A level crossing worked by the routes over it: a road across the track at column X,
// between rows Y0 and Y1 (the track rows in that span are the roads' crossings, the
// other rows show the road between the lines); its name is drawn at (LabelX, LabelY).
// Location: the code of the location whose equipment it is.
struct LevelCrossingSpec {
    const char* ID;
    const char* Name;
    const char* Location;
    int X, Y0, Y1;
    int LabelX, LabelY;
};

struct AreaDescription {
    const char* AreaID;
    const char* AreaName;
    const char* AreaTitle;
    const char* SignalPrefix;   // first letters of every signal ID
    const char* CircuitPrefix;  // first letters of every track-circuit ID
    std::span<const char* const> Screen1;
    std::span<const char* const> Screen2;
    std::span<const SignalSpec> Signals;
    std::span<const PointsSpec> Points;
    std::span<const ZoneSpec> Zones;
    std::span<const GradientSpec> Gradients;
    std::span<const LocationSpec> Locations;
    std::span<const EntrySpec> Entries;
    std::span<const SubAreaSpec> SubAreas;
    std::span<const PathSpec> Paths;
    std::span<const ScenarioSpec> Scenarios;
    const char* ClosedLocation;  // the location the line-closure scenario takes out of use
    std::span<const LevelCrossingSpec> LevelCrossings = {};
};

// The built-in area.
const AreaDescription& BuiltInDescription();

}  // namespace kestra::area
