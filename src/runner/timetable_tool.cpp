#include "runner/timetable_tool.h"

#include <fstream>
#include <ostream>
#include <sstream>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"
#include "timetable/running_time.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_text.h"
#include "timetable/timetable_validate.h"

namespace kestra::runner {

namespace {

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

// A timetable file starts with its magic as a tagged string; a text file never starts
// with such a byte.
bool LooksLikeTimetableFile(const std::vector<std::uint8_t>& bytes) {
    return !bytes.empty() && (bytes[0] == TagShortString || bytes[0] == TagLongString);
}

// Loads a WTT or text file into the simulation's working timetable.
bool LoadAny(Sim& sim, const std::string& path, std::ostream& err) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes)) {
        err << "cannot read " << path << "\n";
        return false;
    }
    std::string error;
    if (LooksLikeTimetableFile(bytes)) {
        if (LoadTimetableBytes(sim, bytes, &error)) return true;
    } else {
        const std::string text(bytes.begin(), bytes.end());
        if (ImportTimetableText(sim, text, error)) return true;
    }
    err << path << ": " << error << "\n";
    return false;
}

// A validation message on one line: its line breaks become " / ", tabs blanks.
std::string OneLine(const std::string& message) {
    std::string out;
    for (std::size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            while (i + 1 < message.size() && (message[i + 1] == '\r' || message[i + 1] == '\n'))
                ++i;
            if (i + 1 < message.size()) out += " / ";
        } else if (c == '\t') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

int Check(Sim& sim, const std::string& path, std::ostream& out, std::ostream& err) {
    if (!LoadAny(sim, path, err)) return 1;
    const TTimetableList& list = sim.Timetable;
    out << "timetable " << list.Name << "\n";
    if (!list.Description.empty()) out << "description " << list.Description << "\n";
    out << "start " << FormatClock(list.StartTime) << " finish " << FormatClock(list.FinishTime)
        << "\n";
    int trains = 0, valid = 0, invalid = 0;
    list.ForEach([&](TTimetable& t) {
        ++trains;
        std::string message;
        if (Validate(t, message)) {
            ++valid;
        } else {
            ++invalid;
            out << "invalid " << t.ID << " (entry " << FormatClock(t.EntryTime)
                << "): " << OneLine(message) << "\n";
        }
    });
    out << "trains " << trains << " valid " << valid << " invalid " << invalid << "\n";
    return invalid == 0 ? 0 : 1;
}

std::string CodeOrDash(const std::string& code) {
    return code.empty() ? "-" : code;
}

// One line per path of the area and category of the file: the path's ends with their
// codes, then the running times in seconds from a stand to a stand, from a stand
// passing the end, and the same two starting at line speed (as a train entering the
// area or passing the start does).
int RunningTimes(Sim& sim, const std::string& path, std::ostream& out, std::ostream& err) {
    if (!LoadAny(sim, path, err)) return 1;
    out << "# kind from plat path line to plat path line category stand-stop stand-pass "
           "run-stop run-pass\n";
    sim.Paths.ForEach([&](const TPTH& p) {
        const bool entry = p.Entry != nullptr;
        const std::string from = entry ? p.Entry->ID : (p.FromLocation ? p.FromLocation->ID : "-");
        const std::string to = p.ToLocation ? p.ToLocation->ID : "-";
        sim.Categories.ForEach([&](const TTrainCategory& c) {
            const RunningCharacteristics train = RunningCharacteristics::Of(c);
            out << "run " << (entry ? "entry " : "loc ") << from << ' '
                << CodeOrDash(p.FromPlatform) << ' ' << CodeOrDash(p.FromPath) << ' '
                << CodeOrDash(p.FromLine) << ' ' << to << ' ' << CodeOrDash(p.ToPlatform) << ' '
                << CodeOrDash(p.ToPath) << ' ' << CodeOrDash(p.ToLine) << ' ' << c.ID;
            for (SectionStart s : {SectionStart::Standing, SectionStart::Running}) {
                for (SectionEnd e : {SectionEnd::Stopping, SectionEnd::Passing})
                    out << ' ' << MinimumRunningTime(p, sim.SimData, train, s, e);
            }
            out << '\n';
        });
    });
    return 0;
}

}  // namespace

bool IsTimetableCommand(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--timetable-import" || a == "--timetable-export" || a == "--timetable-check" ||
            a == "--running-times")
            return true;
    }
    return false;
}

int RunTimetableTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::size_t i = 0;
    while (i < args.size() && !IsTimetableCommand({args[i]})) ++i;
    if (i >= args.size()) {
        err << "no timetable command\n";
        return 2;
    }
    const std::string command = args[i];
    const std::vector<std::string> files(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                         args.end());
    const bool oneFile = command == "--timetable-check" || command == "--running-times";
    const std::size_t wanted = oneFile ? 1 : 2;
    if (files.size() != wanted) {
        err << "usage: kestra " << command << (wanted == 1 ? " FILE\n" : " IN OUT\n");
        return 2;
    }
    Sim sim;
    area::BuildArea(sim);
    if (command == "--timetable-check") return Check(sim, files[0], out, err);
    if (command == "--running-times") return RunningTimes(sim, files[0], out, err);
    if (command == "--timetable-import") {
        std::string text;
        if (!ReadText(files[0], text)) {
            err << "cannot read " << files[0] << "\n";
            return 1;
        }
        std::string error;
        if (!ImportTimetableText(sim, text, error)) {
            err << files[0] << ": " << error << "\n";
            return 1;
        }
        if (!SaveTimetableFile(sim, files[1])) {
            err << "cannot write " << files[1] << "\n";
            return 1;
        }
        return 0;
    }
    // --timetable-export
    std::string error;
    if (!LoadTimetableFile(sim, files[0], &error)) {
        err << files[0] << ": " << error << "\n";
        return 1;
    }
    std::string text;
    if (!ExportTimetableText(sim, text, error)) {
        err << files[0] << ": " << error << "\n";
        return 1;
    }
    std::ofstream o(files[1], std::ios::binary | std::ios::trunc);
    o << text;
    o.flush();
    if (!o) {
        err << "cannot write " << files[1] << "\n";
        return 1;
    }
    return 0;
}

}  // namespace kestra::runner
