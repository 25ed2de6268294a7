#pragma once
// The timetable file ("WTT"): the working timetable's header, its categories and its
// train timetables as one stream of tagged values. The category and timetable records
// are shared with the saved simulation.
//
// Reading is staged: a whole file (or section) is read and checked into a
// TimetableLoad, and only a load that succeeded is applied, so a failure anywhere
// leaves the working timetable and the categories exactly as they were.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/value_stream.h"
#include "timetable/timetable.h"

namespace kestra {

class Sim;

// The magic written, and the one of older files that have no categories.
inline constexpr const char* TimetableMagic = "KESTRAT2";
inline constexpr const char* TimetableMagicOld = "KESTRATT";
inline constexpr std::int32_t TimetableVersion = 2;
inline constexpr std::int32_t TimetableVersionOld = 1;

// What the new-simulation dialog shows of a timetable file.
struct TTimetableHeader {
    std::string Name;
    std::string Description;
    std::int32_t StartTime = 0;
};

// Everything a read brought, not yet applied.
struct TimetableLoad {
    bool HasHeader = false;
    std::string Name;
    std::string Description;
    std::int32_t StartTime = DefaultStartTime;
    std::int32_t FinishTime = DefaultFinishTime;
    // Categories whose names are not yet in the category list, in file order. A
    // category the list already holds is not added again: the list keeps its own.
    std::vector<std::unique_ptr<TTrainCategory>> NewCategories;
    // The train timetables in file order.
    std::vector<std::unique_ptr<TTimetable>> Timetables;
    // Why the read failed, naming the train and the ID where one was unknown.
    std::string Error;
    // The failure was in a record (rather than the magic or the version).
    bool RecordFailed = false;
    // Every category a name can reach while reading (the list's and the new ones), so
    // that each look-up costs the same however many categories there are. Built on
    // first use.
    std::unordered_map<std::string, TTrainCategory*> CategoryIndex;
    bool CategoryIndexBuilt = false;
};

// The largest maximum speed (mph) and length (m) a train or category may have.
inline constexpr std::int32_t MaxTrainSpeedMph = 250;
inline constexpr std::int32_t MaxTrainLengthMetres = 2000;

// The category named name, among the simulation's and those the load has read so far.
TTrainCategory* FindLoadCategory(const Sim& sim, TimetableLoad& load, const std::string& name);
// Adds a category read from a file unless its name is already known (the list keeps
// its own); true when it was added.
bool AddLoadCategory(const Sim& sim, TimetableLoad& load, std::unique_ptr<TTrainCategory> category);
// Empty when the speed is minSpeed to MaxTrainSpeedMph and the length 0 to
// MaxTrainLengthMetres, otherwise what is wrong.
std::string CharacteristicsProblem(std::int32_t maxSpeed, std::int32_t length,
                                   std::int32_t minSpeed = 0);
// Text safe to show in a message: control bytes and DEL as \xHH, everything else as is.
std::string PrintableText(std::string_view text);

// --- record writers; each raises WriteError only if the writer fails
void WriteActivity(ValueWriter& w, const TTimetableActivity& activity);
void WriteTrip(ValueWriter& w, const TTimetableTrip& trip);
void WriteTimetable(ValueWriter& w, const TTimetable& timetable, bool writeCategoryName);
// The category section: the count, then every category in list order.
void WriteCategorySection(ValueWriter& w, const TTrainCategoryList& categories);
// The timetable section: the count, then every timetable with its category name.
void WriteTimetableSection(ValueWriter& w, const TTimetableList& timetables);

// --- staged section readers: false (with load.Error set) on a read error, a corrupt
// count or value, or an unknown entry point, location or category
bool ReadCategorySection(ValueReader& r, const Sim& sim, TimetableLoad& load);
// Reads a timetable section. keepEntered keeps each train's entered state (a saved
// simulation); otherwise it is cleared. Category names are read when readCategoryName.
bool ReadTimetableSection(ValueReader& r, Sim& sim, bool keepEntered, bool readCategoryName,
                          TimetableLoad& load);
// Reads one timetable record as WriteTimetable writes it with its category name (a
// train's own copy in a saved simulation), entered state kept. None, with error set,
// when the record is corrupt or names an unknown entry point, location or category.
std::unique_ptr<TTimetable> ReadTimetableRecord(ValueReader& r, Sim& sim, std::string& error);
// Applies a successful read: the new categories join the list, the timetables go in
// front of those already there in file order, and the header (when the read had one)
// replaces the working timetable's. Modified is cleared.
void CommitTimetableLoad(Sim& sim, TimetableLoad& load);

// The whole file as bytes.
std::vector<std::uint8_t> TimetableFileBytes(const Sim& sim);
// Reads a whole file's bytes into load, with the messages the player sees for a wrong
// magic, an unknown version and an old version. False leaves the simulation unchanged.
bool ReadTimetableFile(Sim& sim, const std::vector<std::uint8_t>& bytes, TimetableLoad& load);
// Reads the file at path and merges it into the working timetable. On failure nothing
// has changed; error (when given) says why.
bool LoadTimetableFile(Sim& sim, const std::string& path, std::string* error = nullptr);
bool LoadTimetableBytes(Sim& sim, const std::vector<std::uint8_t>& bytes,
                        std::string* error = nullptr);
// Writes the working timetable to path. The file is written beside it under another
// name and put in its place only once complete, so a failed save leaves any old file
// whole. Modified is cleared on success.
bool SaveTimetableFile(Sim& sim, const std::string& path);
// Writes bytes to path the same way.
bool WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Reads the header of the file at path. False when the file cannot be read, is not a
// timetable file, or has a version this program does not know.
bool ReadTimetableHeader(const std::string& path, TTimetableHeader& header);
bool ReadTimetableHeaderBytes(const std::vector<std::uint8_t>& bytes, TTimetableHeader& header);

// A whole file's bytes, or false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);

}  // namespace kestra
