#pragma once
// A timetable in text form that fills the built-in area with trains under ARS, for the
// benchmark and the allocation test of the full area.

#include <cstdio>
#include <string>
#include <vector>

namespace kestra::test {

// A timetable that fills the built-in area with running trains. Four flows, a train of
// each every spacing minutes from 07:00: Down main stoppers from the west to Harnforth
// East, Up main stoppers from the east to the west, Down branch trains from the west
// through Central's platform 1 to Tarrow, Up branch trains from Tarrow through Central's
// platform 4 to the west; every train leaves the area. Their booked running times are
// four times what the trains need and their descriptions start with 2, so they keep
// their booked departures: each runs early, stands its time at every station, and the
// trains behind queue at the signals in rear and move up as it goes. One branch train
// before them ends its working in Central's bay and stands there.
inline std::string FullAreaTimetable(int copies, int spacing) {
    struct Trip {
        const char* Location;
        int Arr, Dep;  // minutes after entry at the running speed, Arr -1 for a pass
        const char* Rest;
    };
    struct Flow {
        const char* Prefix;
        const char* Category;
        const char* Entry;
        int Offset;  // minutes after the flow's turn
        std::vector<Trip> Trips;
    };
    const std::vector<Flow> flows = {
        {"2D",
         "STOP",
         "WEST",
         0,
         {{"OSTWK", 1, 2, "plat 1 line DM"},
          {"VLMC", 7, 9, "plat 2 line DM"},
          {"HRNF", 16, 17, "plat 1 line DM"},
          {"HRNFE", -1, 19, "pass line DM"}}},
        {"2U",
         "STOP",
         "EAST",
         0,
         {{"HRNF", 3, 4, "plat 2 line UM"},
          {"VLMC", 11, 13, "plat 3 line UM"},
          {"OSTWK", 17, 18, "plat 2 line UM path UM"},
          {"WESTL", -1, 20, "pass line UM"}}},
        {"2B",
         "BRANCH",
         "WEST",
         1,
         {{"OSTWK", 1, 2, "plat 1 line DM"},
          {"VLMC", 7, 9, "plat 1 line DM"},
          {"QLBY", 16, 17, "plat 1 line DB"},
          {"TARW", -1, 20, "pass line DB"}}},
        {"2T",
         "BRANCH",
         "TARROW",
         1,
         {{"QLBY", 4, 5, "plat 2 line UB"},
          {"VLMC", 12, 14, "plat 4 line UB"},
          {"OSTWK", 18, 19, "plat 2 line UM path UM"},
          {"WESTL", -1, 21, "pass line UM"}}},
    };
    constexpr int kSlack = 4;  // booked running time over the time needed
    auto hhmm = [](int minutes) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%02d:%02d", minutes / 60, minutes % 60);
        return std::string(buf);
    };
    std::string out =
        "name Fill\nstart 06:30\nfinish 12:00\n\n"
        "category STOP accel 3 speed 75 length 80 power diesel desc Stopping passenger\n"
        "category BRANCH accel 3 speed 60 length 40 power diesel desc Branch passenger\n\n"
        "train 2S00 BRANCH TARROW 06:30\n"
        "  QLBY 06:34 06:35 plat 2 line UB\n"
        "  VLMC 06:42 -     plat 5 line UB\n\n";
    for (int c = 0; c < copies; ++c) {
        for (const Flow& f : flows) {
            const int t0 = 7 * 60 + c * spacing + f.Offset;
            out += "train " + std::string(f.Prefix) + static_cast<char>('0' + c / 10 % 10) +
                   static_cast<char>('0' + c % 10) + " " + f.Category + " " + f.Entry + " " +
                   hhmm(t0) + "\n";
            for (const Trip& t : f.Trips)
                out += "  " + std::string(t.Location) + " " +
                       (t.Arr < 0 ? std::string("-    ") : hhmm(t0 + kSlack * t.Arr)) + " " +
                       hhmm(t0 + kSlack * t.Dep) + " " + t.Rest + "\n";
            out += "\n";
        }
    }
    return out;
}

}  // namespace kestra::test
