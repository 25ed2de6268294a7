#include "timetable/timetable_start.h"

#include "core/value_stream.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_text.h"

namespace kestra {

TimetableFormat DetectTimetableFormat(const std::vector<std::uint8_t>& bytes) {
    if (!bytes.empty() && (bytes[0] == TagShortString || bytes[0] == TagLongString))
        return TimetableFormat::File;
    std::size_t i = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
    for (; i < bytes.size(); ++i) {
        const std::uint8_t c = bytes[i];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return TimetableFormat::Text;
    }
    return TimetableFormat::Empty;
}

bool ReadAnyTimetable(Sim& sim, const std::vector<std::uint8_t>& bytes, TimetableLoad& load,
                      std::string& error) {
    switch (DetectTimetableFormat(bytes)) {
        case TimetableFormat::Empty:
            error = "the file is empty: there is no timetable in it";
            return false;
        case TimetableFormat::File:
            if (ReadTimetableFile(sim, bytes, load)) return true;
            error = load.Error;
            return false;
        case TimetableFormat::Text:
            break;
    }
    const std::string text(bytes.begin(), bytes.end());
    if (!ParseTimetableText(sim, text, load, error)) return false;
    if (load.Timetables.empty()) {
        error = "there is no train in the file: a timetable needs at least one \"train\" line";
        return false;
    }
    return true;
}

bool ReadAnyTimetableHeader(Sim& sim, const std::string& path, TTimetableHeader& header,
                            std::string* error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes)) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    if (DetectTimetableFormat(bytes) == TimetableFormat::File) {
        if (ReadTimetableHeaderBytes(bytes, header)) return true;
        if (error) *error = "not a timetable file: " + path;
        return false;
    }
    TimetableLoad load;
    std::string reason;
    if (!ReadAnyTimetable(sim, bytes, load, reason)) {
        if (error) *error = reason;
        return false;
    }
    header.Name = load.Name;
    header.Description = load.Description;
    header.StartTime = load.StartTime;
    return true;
}

bool LoadAnyTimetable(Sim& sim, const std::string& path, std::string* error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes)) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    TimetableLoad load;
    std::string reason;
    if (!ReadAnyTimetable(sim, bytes, load, reason)) {
        if (load.RecordFailed) sim.Messages().PostErrorLine("Error reading from file");
        if (error) *error = reason;
        return false;
    }
    CommitTimetableLoad(sim, load);
    return true;
}

bool StartWithTimetable(Sim& sim, const std::string& path, std::int32_t startTime,
                        std::string* error) {
    if (!LoadAnyTimetable(sim, path, error)) return false;
    sim.SimTime = startTime >= 0 ? startTime : sim.Timetable.StartTime;
    // The delays are drawn against the new clock: a train whose entry time has already
    // passed is marked as never entering rather than rushing in at once.
    sim.Timetable.GenerateDelays();
    sim.Display().RedrawStatus();
    return true;
}

}  // namespace kestra
