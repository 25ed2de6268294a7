#pragma once
// The train list: one row per train in the area, sorted by description, with its
// timetable, direction, status and position, and the signaller's direct commands to a
// train. The window keeps rows while the game runs on behind it, so every command finds
// its train again by the row's description before it acts: a train that has left, or
// whose description changed, is never touched through a stale row.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

class Sim;
class TTRN;

// One column of the grid: its header and the hint shown over the header.
struct TrainListColumn {
    const char* Header;
    const char* Hint;
};

inline constexpr int kTrainListColumns = 9;
inline constexpr std::array<TrainListColumn, kTrainListColumns> TrainListColumnsTable{{
    {"ID", "Train identity"},
    {"WTT", "Current working timetable of train"},
    {"Dir", "Current direction"},
    {"Status", "Current train activity"},
    {"Current/Prev Location", "Name of current or most recent location passed"},
    {"Length", "Length of train"},
    {"Can pass sig", "Indicates whether driver has been authorised to pass next signal at danger"},
    {"Non-Stop", "Indicates whether driver will skip the next stop"},
    {"Description", "Description given to train in timetable"},
}};

// One row of the grid: the train's description when the row was made, the train it
// was made from (never read through before it is found again), and the cells.
struct TrainListRow {
    std::string Description;
    const TTRN* Train = nullptr;
    std::array<std::string, kTrainListColumns> Cells;
};

// The commands of the train's pop-up menu.
enum class TrainCommand : std::uint8_t {
    NonStop,
    AbandonJoin,
    AbandonTimetable,
    AuthorisePass,
    Reverse,
    ExamineLine,
    Remove,
    AdjustLength,
};

// The submenus and items of the pop-up menu, in menu order.
struct TrainMenuItem {
    const char* Submenu;
    const char* Caption;
    TrainCommand Command;
};
inline constexpr std::array<TrainMenuItem, 8> TrainMenuItems{{
    {"&Timetable Options", "Go &non-stop through next station", TrainCommand::NonStop},
    {"&Timetable Options", "Abandon &join", TrainCommand::AbandonJoin},
    {"&Timetable Options", "Abandon &timetable", TrainCommand::AbandonTimetable},
    {"&Signalling Options", "Authorise train to pass signal at &danger",
     TrainCommand::AuthorisePass},
    {"&Signalling Options", "&Reverse direction", TrainCommand::Reverse},
    {"&Signalling Options", "Tell driver to e&xamine the line", TrainCommand::ExamineLine},
    {"&Extreme Measures", "&Remove train", TrainCommand::Remove},
    {"&Extreme Measures", "&Adjust Length", TrainCommand::AdjustLength},
}};

// What a command did.
enum class TrainCommandResult : std::uint8_t {
    Done,     // the train changed: rebuild the grid
    Refused,  // refused with a message box, or cancelled by the signaller
    Gone,     // the row's train is no longer in the area (said in a message box)
    Removed,  // the train was removed: the window closes
};

// The status text of a train as the list shows it.
std::string TrainListStatus(const TTRN& train);
// The cells of one train's row.
std::array<std::string, kTrainListColumns> TrainListCells(const TTRN& train);
// Every train in the area, sorted by description (ties in list order).
std::vector<TrainListRow> TrainListRows(Sim& sim);
// The train of a row, found again: the same train still in the area under the same
// description and not leaving it; none otherwise.
TTRN* FindRowTrain(Sim& sim, const TrainListRow& row);
// Carries out a command on the row's train, with its questions, refusals and penalties
// through the simulation's dialogs.
TrainCommandResult RunTrainCommand(Sim& sim, const TrainListRow& row, TrainCommand command);

// The message shown when a row's train has gone.
inline constexpr const char* TrainGoneMessage = "Train is no longer in the area";

}  // namespace kestra
