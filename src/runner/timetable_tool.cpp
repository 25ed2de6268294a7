#include "runner/timetable_tool.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>

#include "area/area_builder.h"
#include "core/time_format.h"
#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"
#include "timetable/running_time.h"
#include "timetable/timetable_analysis.h"
#include "timetable/timetable_authoring.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_start.h"
#include "timetable/timetable_text.h"
#include "timetable/timetable_validate.h"

namespace kestra::runner {

namespace {

// Loads a WTT or text file into the simulation's working timetable, exactly as the
// game loads the file it is started with.
bool LoadAny(Sim& sim, const std::string& path, std::ostream& err) {
    std::string error;
    if (LoadAnyTimetable(sim, path, &error)) return true;
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
            out << "  what to do: " << ValidationAdvice(message) << "\n";
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

// The analysis report on out; 0 when it finds no problem, 1 when it finds some.
int Analyse(Sim& sim, const std::string& path, std::ostream& out, std::ostream& err) {
    if (!LoadAny(sim, path, err)) return 1;
    const TimetableAnalysis analysis = AnalyseTimetable(sim);
    for (const std::string& line : analysis.Report) out << line << "\n";
    return analysis.Problems.empty() ? 0 : 1;
}

bool EndsWithTxt(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".txt";
}

// Writes the working timetable to path: the text form for a name ending ".txt", a
// timetable file otherwise.
bool WriteAny(Sim& sim, const std::string& path, std::ostream& err) {
    if (!EndsWithTxt(path)) {
        if (SaveTimetableFile(sim, path)) return true;
        err << "cannot write " << path << "\n";
        return false;
    }
    std::string text, error;
    if (!ExportTimetableText(sim, text, error)) {
        err << path << ": " << error << "\n";
        return false;
    }
    if (!WriteFileReplacing(path, std::vector<std::uint8_t>(text.begin(), text.end()))) {
        err << "cannot write " << path << "\n";
        return false;
    }
    return true;
}

bool ParseCount(const std::string& text, int lo, int hi, int& value) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    value = std::stoi(text);
    return value >= lo && value <= hi;
}

TTimetable* FindTrain(Sim& sim, const std::string& headcode, std::ostream& err) {
    TTimetable* found = nullptr;
    std::string all;
    sim.Timetable.ForEach([&](TTimetable& t) {
        if (!found && t.ID == headcode) found = &t;
        all += (all.empty() ? "" : " ") + t.ID;
    });
    if (!found)
        err << "no train " << headcode << " in the timetable; its trains are: " << all << "\n";
    return found;
}

// FILE HEADCODE COUNT INTERVAL OUT
int Repeat(Sim& sim, const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
    int count = 0, interval = 0;
    if (!ParseCount(a[2], 1, 200, count) || !ParseCount(a[3], 1, 1440, interval)) {
        err << "COUNT must be 1 to 200 and INTERVAL 1 to 1440 minutes\n";
        return 2;
    }
    if (!LoadAny(sim, a[0], err)) return 1;
    TTimetable* original = FindTrain(sim, a[1], err);
    if (!original) return 1;
    std::vector<std::unique_ptr<TTimetable>> copies;
    std::string error;
    if (!RepeatTrain(sim, *original, count, interval, copies, error)) {
        err << error << "\n";
        return 1;
    }
    for (auto& c : copies) {
        out << "added " << c->ID << " entering " << FormatClock(c->EntryTime).substr(0, 5) << "\n";
        sim.Timetable.InsertOwned(sim.Timetable.Count(), std::move(c));
    }
    return WriteAny(sim, a[4], err) ? 0 : 1;
}

// FILE HEADCODE NEWHEADCODE TURNROUND OUT [ENTRY]
int Return(Sim& sim, const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
    int turnround = 0;
    if (!ParseCount(a[3], 0, 1440, turnround)) {
        err << "TURNROUND must be 0 to 1440 minutes\n";
        return 2;
    }
    if (!LoadAny(sim, a[0], err)) return 1;
    TTimetable* original = FindTrain(sim, a[1], err);
    if (!original) return 1;
    TENT* entry = nullptr;
    if (a.size() > 5) {
        entry = sim.EntryPoints.FindID(a[5]);
        if (!entry) {
            std::string names;
            sim.EntryPoints.ForEach([&](TENT& e) { names += (names.empty() ? "" : " ") + e.ID; });
            err << "no entry point " << a[5] << "; the entry points are: " << names << "\n";
            return 1;
        }
    }
    std::string error;
    std::unique_ptr<TTimetable> ret =
        MakeReturnWorking(sim, *original, a[2], turnround, entry, error);
    if (!ret) {
        err << error << "\n";
        return 1;
    }
    out << "added " << ret->ID << "\n";
    sim.Timetable.InsertOwned(sim.Timetable.Count(), std::move(ret));
    return WriteAny(sim, a[4], err) ? 0 : 1;
}

std::string Cell(const std::string& code) {
    return code.empty() ? "-" : "`" + code + "`";
}

std::string Codes(const std::vector<std::string>& codes) {
    std::string text;
    for (const std::string& c : codes) text += (text.empty() ? "" : " ") + Cell(c);
    return text.empty() ? "-" : text;
}

void AddCode(std::vector<std::string>& codes, const std::string& code) {
    if (!code.empty() && std::find(codes.begin(), codes.end(), code) == codes.end())
        codes.push_back(code);
}

}  // namespace

void WriteAreaReference(const Sim& sim, std::ostream& out) {
    out << "### Entry points\n\n| ID | Name |\n|---|---|\n";
    sim.EntryPoints.ForEach(
        [&](const TENT& e) { out << "| `" << e.ID << "` | " << e.Name << " |\n"; });
    out << "\n### Locations\n\n"
           "| ID | Name | Key | Station | Platforms (`plat`) | Lines (`line`) | Paths (`path`) |\n"
           "|---|---|---|---|---|---|---|\n";
    sim.Locations.ForEach([&](const TLOC& l) {
        std::vector<std::string> plats = l.Platforms, lines = l.Lines, paths = l.Paths;
        sim.Paths.ForEach([&](const TPTH& p) {
            if (p.FromLocation == &l) {
                AddCode(plats, p.FromPlatform);
                AddCode(lines, p.FromLine);
                AddCode(paths, p.FromPath);
            }
            if (p.ToLocation == &l) {
                AddCode(plats, p.ToPlatform);
                AddCode(lines, p.ToLine);
                AddCode(paths, p.ToPath);
            }
        });
        out << "| `" << l.ID << "` | " << l.Name << " | " << (l.KeyLocation ? "yes" : "no") << " | "
            << (l.NonStation ? "no" : "yes") << " | " << Codes(plats) << " | " << Codes(lines)
            << " | " << Codes(paths) << " |\n";
    });
    out << "\n### Paths\n\n"
           "| From | plat | path | line | To | plat | path | line |\n"
           "|---|---|---|---|---|---|---|---|\n";
    sim.Paths.ForEach([&](const TPTH& p) {
        const std::string from = p.Entry ? "entry `" + p.Entry->ID + "`"
                                         : (p.FromLocation ? "`" + p.FromLocation->ID + "`" : "-");
        const std::string to = p.ToLocation ? "`" + p.ToLocation->ID + "`" : "-";
        out << "| " << from << " | " << Cell(p.FromPlatform) << " | " << Cell(p.FromPath) << " | "
            << Cell(p.FromLine) << " | " << to << " | " << Cell(p.ToPlatform) << " | "
            << Cell(p.ToPath) << " | " << Cell(p.ToLine) << " |\n";
    });
}

bool IsTimetableCommand(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--timetable-import" || a == "--timetable-export" || a == "--timetable-check" ||
            a == "--running-times" || a == "--timetable-analyse" || a == "--timetable-repeat" ||
            a == "--timetable-return" || a == "--area-reference")
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
    if (command == "--area-reference") {
        Sim sim;
        area::BuildArea(sim);
        WriteAreaReference(sim, out);
        return 0;
    }
    const std::vector<std::string> files(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                         args.end());
    const bool oneFile = command == "--timetable-check" || command == "--running-times" ||
                         command == "--timetable-analyse";
    if (command == "--timetable-repeat" || command == "--timetable-return") {
        const bool repeat = command == "--timetable-repeat";
        if (repeat ? files.size() != 5 : (files.size() != 5 && files.size() != 6)) {
            err << "usage: kestra " << command
                << (repeat ? " FILE HEADCODE COUNT INTERVAL OUT\n"
                           : " FILE HEADCODE NEWHEADCODE TURNROUND OUT [ENTRY]\n");
            return 2;
        }
        Sim sim;
        area::BuildArea(sim);
        return repeat ? Repeat(sim, files, out, err) : Return(sim, files, out, err);
    }
    const std::size_t wanted = oneFile ? 1 : 2;
    if (files.size() != wanted) {
        err << "usage: kestra " << command << (wanted == 1 ? " FILE\n" : " IN OUT\n");
        return 2;
    }
    Sim sim;
    area::BuildArea(sim);
    if (command == "--timetable-analyse") return Analyse(sim, files[0], out, err);
    if (command == "--timetable-check") return Check(sim, files[0], out, err);
    if (command == "--running-times") return RunningTimes(sim, files[0], out, err);
    if (command == "--timetable-import") {
        if (!LoadAny(sim, files[0], err)) return 1;
        if (!SaveTimetableFile(sim, files[1])) {
            err << "cannot write " << files[1] << "\n";
            return 1;
        }
        return 0;
    }
    // --timetable-export
    std::string error;
    if (!LoadAny(sim, files[0], err)) return 1;
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
