#pragma once
// What the timetable editors do with what the player typed, apart from the windows that
// show it: the category editor's numbers, the trip editor's boxes, the text of a failed
// validation, the timetable list's entries, order, times and name, duplicating a train,
// and changing or deleting a category. The windows work on copies and call these to
// store the boxes into them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestra {

class Sim;
class TLOC;
class TTimetable;
class TTrainCategory;
struct TTimetableTrip;

inline constexpr const char* InvalidTrainLengthText = "Invalid numeric entry for Train Length";
inline constexpr const char* InvalidMaxSpeedText = "Invalid numeric entry for Max Speed";
inline constexpr const char* InvalidNumericInputText = "Invalid numeric input";
inline constexpr const char* ExportFileName = "TT_Export.txt";

// The error box of a timetable editor whose copy does not validate.
std::string ValidationFailedText(const std::string& message);

// The category editor's boxes.
struct CategoryBoxes {
    std::string Description;
    std::string Length;    // "Train &Length", m
    std::string MaxSpeed;  // "Max &Speed", mph
    std::int32_t PowerTypes = 0;
    std::int32_t AccelBrake = 0;
    bool IsFreight = false;
};
// "&Ok" of the category editor: whole numbers are needed in both number boxes (the
// length is tested first). False with the message to show, nothing stored; otherwise
// every box is stored and the working timetable is marked modified.
bool StoreCategoryBoxes(Sim& sim, TTrainCategory& category, const CategoryBoxes& boxes,
                        std::string& message);
// Every timetable naming the category takes its characteristics.
void ApplyCategory(Sim& sim, const TTrainCategory& category);
// Every timetable naming the category names none (its characteristics stay) and the
// category is freed.
void DeleteCategory(Sim& sim, TTrainCategory& category);

// The trip editor's boxes.
struct TripBoxes {
    TLOC* Location = nullptr;        // none: "(None)"
    std::string Arrival, Departure;  // time boxes, "HH:MM" + blank + half mark
    bool Pass = false;
    std::string Platform, Line, Path;
    std::string Engineering, Pathing;  // allowance boxes, "MM" + blank + half mark
};
// "Ok" or "&Next/Insert" of the trip editor. False, nothing stored, when a time box is
// unreadable or no location is chosen (the editor stays open). Otherwise the boxes are
// stored (an arrival without departure departs at the arrival), the trip is no longer
// marked inserted, and the working timetable is marked modified.
bool StoreTripBoxes(Sim& sim, TTimetableTrip& trip, const TripBoxes& boxes);
// An allowance box's four characters to half-minutes; an empty box is 0.
std::int32_t ParseAllowanceBox(const std::string& box);
// Half-minutes as an allowance box: two digits of minutes, a blank, the half mark.
std::string FormatAllowanceBox(std::int32_t halfMinutes);

// One entry of the timetable list: the headcode and where and when the train enters, or
// where and when it starts.
std::string TrainListEntry(const TTimetable& timetable);
enum class TrainSort { Identity, DepartureTime, EntryLocation };
// Reorders the working timetable (the order it is saved in); equal entries keep theirs.
void SortTimetables(Sim& sim, TrainSort sort);
// The list window's time boxes: "%2.2d:%2.2d", hours not reduced; reading takes
// characters 1, 2, 4 and 5 as digits. False when they are not.
std::string FormatListTime(std::int32_t t);
bool ReadListTime(const std::string& box, std::int32_t& t);
// The name box: the timetable's name, "None" shown as the area's title and
// " Custom Timetable".
std::string ListNameShown(const Sim& sim);

// "D&uplicate": a copy of timetable named headcode (as typed), minutesText minutes
// later, not entered, appended to the working timetable. False with
// InvalidNumericInputText when minutesText is not a whole number; nothing is copied.
TTimetable* DuplicateTimetable(Sim& sim, const TTimetable& timetable, const std::string& headcode,
                               const std::string& minutesText, std::string& message);

// A deep copy of a timetable for an editor to work on.
std::unique_ptr<TTimetable> CopyTimetable(Sim& sim, const TTimetable& timetable);
// An editor's copy takes the place of the timetable at index, which is freed; an index
// outside the list appends it. The working timetable is marked modified.
TTimetable& ReplaceTimetable(Sim& sim, int index, std::unique_ptr<TTimetable> copy);
// Appends a new timetable and marks the working timetable modified.
TTimetable& AppendTimetable(Sim& sim, std::unique_ptr<TTimetable> timetable);
// Frees the timetable at index and marks the working timetable modified. The row to
// select afterwards: the one before, else the first, -1 when the list is empty.
int RemoveTimetable(Sim& sim, int index);
// The train list's search: the first entry whose beginning, upper-cased, equals the
// answer upper-cased; -1 when none does.
int FindTrainEntry(const std::vector<std::string>& entries, const std::string& answer);
// A new category as the list window's "&New" makes it: eight random lower-case
// hexadecimal digits as its ID, "Untitled category", the remembered characteristics.
std::unique_ptr<TTrainCategory> NewCategory(Sim& sim);

// Ctrl+Shift+I of the list window: a timetable in the outside column layout, read up to
// a line "E" or the end. "H" lines start a train (headcode in characters 2 to 5;
// profile high, 90 mph, 80 m, overhead power); "L" lines give its locations: the
// location's ID in characters 2 to 8, the arrival and the departure as HHMM in 10 to 13
// and 15 to 18 (blank: none), the platform in 20 to 22 and "P" in 24 for a pass. Each train is
// validated: a valid one is appended; for an invalid one, invalid(headcode + ": " + message) is
// asked and the train dropped; a false answer ends the import. Returns the trains added.
int ImportOutsideTimetable(Sim& sim, const std::string& text,
                           const std::function<bool(const std::string&)>& invalid);

// "E&xport": with the area's ExportHook, its text written to path and the success or
// failure said in a box; without one, "Export not available for this simulation".
// True when the file was written.
bool ExportTimetable(Sim& sim, const std::string& path = ExportFileName);

}  // namespace kestra
