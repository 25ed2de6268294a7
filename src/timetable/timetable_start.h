#pragma once
// Starting a new simulation with a timetable: what the new-game choice does once the
// player has picked a timetable file and a start time. A timetable may be a timetable
// file ("WTT") or the readable text form; the two are told apart by their content.

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

class Sim;
struct TimetableLoad;
struct TTimetableHeader;

enum class TimetableFormat {
    Empty,  // nothing but blanks (or a byte-order mark)
    File,   // the tagged-value timetable file
    Text,   // the readable text form
};

// Which form the bytes are in: a timetable file starts with its magic as a tagged
// string, a byte no text line starts with.
TimetableFormat DetectTimetableFormat(const std::vector<std::uint8_t>& bytes);
// Reads either form into load exactly as the game does (nothing is applied). False with
// the reason in error for an empty file, a text file without a train, or any error of
// the form's reader.
bool ReadAnyTimetable(Sim& sim, const std::vector<std::uint8_t>& bytes, TimetableLoad& load,
                      std::string& error);
// Reads the file at path in either form and merges it into the working timetable as a
// timetable file load does. On failure nothing changes.
bool LoadAnyTimetable(Sim& sim, const std::string& path, std::string* error = nullptr);

// The header (name, description, start time) of a timetable file in either form. A text
// timetable is read whole as the game reads it, so a file the game would refuse gives
// no header. False with the reason in error (when given).
bool ReadAnyTimetableHeader(Sim& sim, const std::string& path, TTimetableHeader& header,
                            std::string* error = nullptr);

// Loads the timetable file (either form) into the (freshly reset) working timetable; on
// success sets the clock to startTime, or to the timetable's own start time when
// startTime is negative, and has every train timetable draw its random entry delay. On
// failure nothing changes and error (when given) says why.
bool StartWithTimetable(Sim& sim, const std::string& path, std::int32_t startTime,
                        std::string* error = nullptr);

}  // namespace kestra
