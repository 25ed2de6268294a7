#pragma once
// The readable text form of a working timetable, for writing timetables in any text
// editor. One item per line; '#' starts a comment that runs to the end of the line.
//
//   name Standard day
//   description A weekday on the main line
//   start 07:00
//   finish 11:00
//   category EXP accel 2 speed 100 length 180 power overhead+diesel desc Express
//   train 1A05 EXP WEST 07:02
//     OSTWK 07:05 07:06 plat 1
//     VLMC  07:11 07:13 plat 2 line DM
//     HRNF  -     07:20 pass
//     HRNFE 07:24 -     next service 2T11
//
// A train block starts with "train headcode category entry time", where category and
// entry may be "-" for none (a train without entry point starts inside the area at its
// first trip). Options may follow: "accel N", "speed N" (mph), "length N" (m),
// "power P" (overhead, 3rd-rail, 4th-rail, diesel joined by '+', or none), "freight" or
// "nonfreight" (characteristics not given come from the category), "as-required",
// "percent N", "stp", "delay N" (s), "warned", "reserved N", and last "desc text".
//
// Each following line is a trip: the location (with a leading '*' when validation
// inserted it, or "-" for none), the arrival ("-" for none) and the departure ("-": the
// same as the arrival), then any of "pass", "plat P", "line L", "path X", "eng M",
// "allow M" (allowances in minutes, halves as ".5"), "down", and the activities
// "next service H", "divide into H" (a new rear portion), "divide front into H" (a new
// front portion) and "join H". Times are HH:MM or HH:MM:SS and may pass 24:00.
//
// Codes and text are written with '\' escapes (\\, \#, \xHH) where a byte would not
// stand as itself.

#include <string>

namespace kestra {

class Sim;
struct TimetableLoad;

// Parses text into load (nothing is applied). False with error "line N: reason" for the
// first line that cannot be read or names an unknown category, entry point or location.
bool ParseTimetableText(Sim& sim, const std::string& text, TimetableLoad& load, std::string& error);
// Parses text and, when it reads, applies it to the working timetable as a file load
// does. On failure nothing changes.
bool ImportTimetableText(Sim& sim, const std::string& text, std::string& error);
// The working timetable and the categories as text. False with error when a value has
// no text form (a negative time).
bool ExportTimetableText(const Sim& sim, std::string& text, std::string& error);

}  // namespace kestra
