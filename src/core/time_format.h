#pragma once
// Time formats and parsers shared by the panel, the timetable and the messages.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestra {

// The half-minute (and half-unit) mark of the panel font.
inline constexpr char HalfGlyph = '\xBD';

// "HH:MM:SS" with hours modulo 24.
std::string FormatClock(std::int32_t t);
// "--:-- " for 0, else "HH:MM" and the half glyph or a space; hours not reduced.
std::string FormatHalfMinute(std::int32_t t);
// As FormatHalfMinute, but 0 is formatted like any other time.
std::string FormatHalfMinuteAll(std::int32_t t);
// "HH:MM H" at a half minute, else "HH:MM  ".
std::string FormatHalfMinuteH(std::int32_t t);
// n half units: n div 2 and the half glyph when n is odd, else a space.
std::string FormatHalfUnits(std::int32_t n);
// Seven characters "HH:MM" + space + half mark to seconds; -1 for anything else.
std::int32_t ParseHalfMinute(std::string_view text);
// Decimal text to an integer; -1 when it is not a number.
std::int32_t ParseNumber(std::string_view text);

}  // namespace kestra
