#include "runner/headless.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <random>
#include <sstream>

#include "area/area_builder.h"
#include "area/area_graph_lines.h"
#include "assess/time_distance.h"
#include "core/time_format.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "panel/commands.h"
#include "panel/panel.h"
#include "persist/saved_simulation.h"
#include "sim/sim.h"
#include "sim/state_digest.h"
#include "ars/ars_train.h"
#include "timetable/timetable_file.h"
#include "timetable/timetable_start.h"
#include "trains/train.h"

namespace kestra::runner {

namespace {

bool ParseInt(const std::string& text, long& value) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end;
}

// What each verb takes: its argument count.
struct VerbShape {
    const char* Verb;
    std::size_t Args;
    const char* Usage;
};
constexpr VerbShape kVerbs[] = {
    {"route", 2, "route ENTRANCE EXIT"},
    {"cancel", 1, "cancel SIGNAL"},
    {"auto", 1, "auto SIGNAL"},
    {"points", 2, "points ID normal|reverse"},
    {"click", 3, "click COLUMN ROW left|right"},
    {"button", 1, "button ROV|REM|ISO"},
    {"interpose", 2, "interpose BERTH DESCRIPTION"},
    {"cancel-berth", 1, "cancel-berth BERTH"},
    {"reply", 2, "reply TRAIN N"},
};

// An incident line without the time it begins with.
std::string IncidentText(const std::string& line) {
    const std::size_t blank = line.find(' ');
    return blank == std::string::npos ? line : line.substr(blank + 1);
}

const VerbShape* FindVerb(const std::string& verb) {
    for (const VerbShape& v : kVerbs) {
        if (verb == v.Verb) return &v;
    }
    return nullptr;
}

// Drives the panel's own command code with presses at object cells.
class CommandPlayer {
  public:
    CommandPlayer(Sim& sim, std::ostream& err) : sim_(sim), commands_(sim), err_(err) {}

    // Checks that every object a command names exists. False with error set otherwise.
    bool Validate(const HeadlessCommand& c, std::string& error) const {
        auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(c.Line) + ": " + what;
            return false;
        };
        const std::string& v = c.Verb;
        if (v == "route" || v == "cancel" || v == "auto") {
            for (const std::string& id : c.Args) {
                if (!sim_.Signals.FindID(id)) return fail("no signal " + id);
            }
        } else if (v == "points") {
            if (!sim_.Points.FindID(c.Args[0])) return fail("no points " + c.Args[0]);
            if (c.Args[1] != "normal" && c.Args[1] != "reverse")
                return fail("points wants normal or reverse, not " + c.Args[1]);
        } else if (v == "click") {
            long col = 0, row = 0;
            if (!ParseInt(c.Args[0], col) || !ParseInt(c.Args[1], row) || col < 0 ||
                col >= 128L * sim_.SimData.ScreenCount || row < 0 || row >= 48)
                return fail("no panel cell " + c.Args[0] + " " + c.Args[1]);
            if (c.Args[2] != "left" && c.Args[2] != "right")
                return fail("click wants left or right, not " + c.Args[2]);
        } else if (v == "button") {
            if (c.Args[0] != "ROV" && c.Args[0] != "REM" && c.Args[0] != "ISO")
                return fail("no button " + c.Args[0]);
        } else if (v == "interpose" || v == "cancel-berth") {
            if (!FindBerth(c.Args[0])) return fail("no berth " + c.Args[0]);
        } else if (v == "reply") {
            // The train and its call come and go while the run plays: only the reply's
            // number can be checked before.
            long n = 0;
            if (!ParseInt(c.Args[1], n) || n < 1) return fail("no reply number " + c.Args[1]);
        }
        return true;
    }

    // Plays one command; a refusal the panel shows is reported with the line number.
    void Play(const HeadlessCommand& c) {
        refusal_.clear();
        const std::string& v = c.Verb;
        if (v == "route") {
            TSIG& entrance = *sim_.Signals.FindID(c.Args[0]);
            TSIG& exit = *sim_.Signals.FindID(c.Args[1]);
            PressSignal(entrance, true);
            PressSignal(exit, true);
            // A tip that comes with a route set (a call-on into an occupied platform)
            // tells the signaller what was set; it is no refusal.
            if (entrance.CurrentRoute && entrance.CurrentRoute->Exit == &exit.ActingSignal())
                refusal_.clear();
        } else if (v == "cancel") {
            PressSignal(*sim_.Signals.FindID(c.Args[0]), false);
        } else if (v == "auto") {
            const TSIG& s = *sim_.Signals.FindID(c.Args[0]);
            Press(s.AutoButtonX, s.AutoButtonY, true);
        } else if (v == "points") {
            const TPTS& p = *sim_.Points.FindID(c.Args[0]);
            Press(p.X, p.Y, c.Args[1] == "normal");
        } else if (v == "click") {
            Press(std::stoi(c.Args[0]), std::stoi(c.Args[1]), c.Args[2] == "left");
        } else if (v == "button") {
            if (c.Args[0] == "ROV") commands_.PressOverrideButton();
            if (c.Args[0] == "REM") commands_.PressReminderButton();
            if (c.Args[0] == "ISO") commands_.PressIsolationButton();
        } else if (v == "interpose") {
            commands_.InterposeInto(*FindBerth(c.Args[0]), c.Args[1]);
        } else if (v == "cancel-berth") {
            commands_.CancelBerth(*FindBerth(c.Args[0]));
        } else if (v == "reply") {
            Reply(c.Args[0], std::stoi(c.Args[1]));
        }
        if (!refusal_.empty()) err_ << "line " << c.Line << ": refused: " << refusal_ << '\n';
    }

    // Tips on the message line during a command are the panel's refusals.
    void NoteLine(const std::string& text, int type) {
        if (type == EvTips && refusal_.empty()) refusal_ = text;
    }

  private:
    // A berth by its identity ("B11"), or by the plate of the signal it stands in front of.
    TBER* FindBerth(const std::string& name) const {
        if (TBER* b = sim_.Berths.FindID(name)) return b;
        return sim_.Berths.FindID("B" + name);
    }
    void Press(int column, int row, bool left) {
        commands_.SelectScreen(column / ScreenColumns + 1);
        commands_.MousePress((column % ScreenColumns) * CellWidth + CellWidth / 2,
                             row * CellHeight + CellHeight / 2,
                             left ? MouseButton::Left : MouseButton::Right);
    }
    // Answers the call of the train with reply n (1-based, in the order offered); a
    // caller that is no train (the technician) is named as the call names it.
    void Reply(const std::string& train, int n) {
        TCall* call = nullptr;
        for (int i = 0; i < sim_.Calls.Count() && !call; ++i) {
            TCall& c = sim_.Calls.At(i);
            const bool from = c.Train ? c.Train->ID == train : c.Caller == train;
            if (from && c.IsUnanswered()) call = &c;
        }
        if (!call)
            refusal_ = "no call from " + train;
        else if (!sim_.Calls.Reply(*call, n - 1))
            refusal_ = "no reply " + std::to_string(n) + " to the call from " + train;
    }
    // The signal's post: the head's outer end, its last cell when the lamps face left.
    void PressSignal(const TSIG& s, bool left) { Press(s.PostColumn(), s.Y, left); }

    Sim& sim_;
    OperatorCommands commands_;
    std::ostream& err_;
    std::string refusal_;
};

}  // namespace

std::int32_t ParseClockTime(const std::string& text) {
    int part[3] = {0, 0, 0};
    int count = 0;
    std::size_t i = 0;
    while (count < 3) {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i - start != 2) return -1;
        part[count++] = (text[start] - '0') * 10 + (text[start + 1] - '0');
        if (i == text.size()) break;
        if (text[i] != ':') return -1;
        ++i;
    }
    if (i != text.size() || count < 2) return -1;
    if (part[1] > 59 || part[2] > 59) return -1;
    return part[0] * 3600 + part[1] * 60 + part[2];
}

namespace {

// Sub-areas switched on as --ars asks: "all", "none" (code insertion off as well) or
// labels separated by commas (upper or lower case); the others off. An unknown label
// is an error.
bool ApplyARSOption(Sim& sim, const std::string& value, std::ostream& err) {
    if (value.empty()) return true;
    auto upper = [](std::string t) {
        for (char& c : t)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return t;
    };
    const std::string v = upper(value);
    std::vector<std::string> names;
    if (v != "ALL" && v != "NONE") {
        std::stringstream list(v);
        for (std::string name; std::getline(list, name, ',');) {
            bool known = false;
            sim.ARSSubAreas.ForEach([&](const TARS& a) { known = known || a.Label == name; });
            if (!known) {
                err << "--ars: no sub-area " << name << '\n';
                return false;
            }
            names.push_back(name);
        }
    }
    // Without ARS the descriptions are the signaller's too: no code insertion.
    if (v == "NONE") sim.Options().ACI = false;
    sim.ARSSubAreas.ForEach([&](TARS& a) {
        bool on = v == "ALL";
        for (const std::string& n : names) on = on || a.Label == n;
        if (on) a.SetCollared(false);
        a.SetSelected(on);
    });
    return true;
}

// The longest any train has stood at one signal at danger, in seconds. A train standing
// at a station is held by its own timetable and is not counted.
struct WaitsAtRed {
    struct Wait {
        const TTRN* Train;
        const TSIG* Signal;
        std::int32_t Since;
    };
    std::vector<Wait> Current;
    std::int32_t Longest = 0;

    void Note(Sim& sim) {
        std::vector<Wait> next;
        sim.Trains.ForEach([&](const TTRN& t) {
            if (t.State != TsAtRed || !t.SignalAhead) return;
            std::int32_t since = sim.SimTime;
            for (const Wait& w : Current)
                if (w.Train == &t && w.Signal == t.SignalAhead) since = w.Since;
            next.push_back({&t, t.SignalAhead, since});
            Longest = std::max(Longest, sim.SimTime - since);
        });
        Current = std::move(next);
    }
};

}  // namespace

bool ParseHeadlessArgs(const std::vector<std::string>& args, HeadlessOptions& o,
                       std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " wants a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "--headless") continue;
        if (a == "--log") {
            o.Log = true;
        } else if (a == "--no-entry-delays") {
            o.NoEntryDelays = true;
        } else if (a == "--past-finish") {
            o.PastFinish = true;
        } else if (a == "--digest") {
            o.Digest = true;
        } else if (a == "--ticks" || a == "--seed" || a == "--scenario") {
            if (!value(v)) return false;
            if (!ParseInt(v, n) || n < 0) {
                error = a + " wants a whole number, not " + v;
                return false;
            }
            if (a == "--ticks") o.Ticks = n;
            if (a == "--seed") {
                o.Seed = static_cast<std::uint32_t>(n);
                o.SeedGiven = true;
            }
            if (a == "--scenario") o.Scenario = static_cast<int>(n);
        } else if (a == "--start" || a == "--until") {
            if (!value(v)) return false;
            const std::int32_t t = ParseClockTime(v);
            if (t < 0) {
                error = a + " wants a time HH:MM or HH:MM:SS, not " + v;
                return false;
            }
            (a == "--start" ? o.Start : o.Until) = t;
        } else if (a == "--commands") {
            if (!value(o.CommandsFile)) return false;
        } else if (a == "--timetable") {
            if (!value(o.TimetableFile)) return false;
        } else if (a == "--load") {
            if (!value(o.LoadFile)) return false;
        } else if (a == "--save") {
            if (!value(o.SaveFile)) return false;
        } else if (a == "--report") {
            if (!value(o.ReportDir)) return false;
        } else if (a == "--ars") {
            if (!value(o.ARS)) return false;
            if (o.ARS.empty()) {
                error = "--ars wants all, none or sub-area names";
                return false;
            }
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (o.Ticks < 0 && o.Until < 0) {
        error = "give --ticks N or --until HH:MM";
        return false;
    }
    if (!o.LoadFile.empty() && (!o.TimetableFile.empty() || o.Scenario >= 0)) {
        error =
            "a saved game brings its own timetable and settings: --load goes without "
            "--timetable and --scenario";
        return false;
    }
    return true;
}

bool ParseCommands(std::istream& in, std::vector<HeadlessCommand>& commands, std::string& error) {
    std::string text;
    int line = 0;
    std::int32_t last = -1;
    while (std::getline(in, text)) {
        ++line;
        std::istringstream words(text);
        std::string time;
        if (!(words >> time) || time[0] == '#') continue;
        HeadlessCommand c;
        c.Line = line;
        c.Time = ParseClockTime(time);
        if (c.Time < 0) {
            error = "line " + std::to_string(line) + ": bad time " + time;
            return false;
        }
        if (c.Time < last) {
            error = "line " + std::to_string(line) + ": time goes backwards";
            return false;
        }
        last = c.Time;
        if (!(words >> c.Verb)) {
            error = "line " + std::to_string(line) + ": no command";
            return false;
        }
        const VerbShape* shape = FindVerb(c.Verb);
        if (!shape) {
            error = "line " + std::to_string(line) + ": unknown command " + c.Verb;
            return false;
        }
        for (std::string w; words >> w;) c.Args.push_back(w);
        if (c.Args.size() != shape->Args) {
            error = "line " + std::to_string(line) + ": usage: " + shape->Usage;
            return false;
        }
        commands.push_back(std::move(c));
    }
    return true;
}

int RunHeadless(const HeadlessOptions& o, std::ostream& out, std::ostream& err) {
    std::vector<HeadlessCommand> commands;
    if (!o.CommandsFile.empty()) {
        std::ifstream file(o.CommandsFile);
        if (!file) {
            err << "cannot read " << o.CommandsFile << '\n';
            return 2;
        }
        std::string error;
        if (!ParseCommands(file, commands, error)) {
            err << o.CommandsFile << ": " << error << '\n';
            return 2;
        }
    }
    const std::uint32_t seed = o.SeedGiven ? o.Seed : std::random_device{}();
    Ports ports;
    ports.Surface = o.Surface;
    Sim sim(ports, seed);
    area::BuildArea(sim);
    sim.RunPastFinish = o.PastFinish;
    if (o.Scenario >= 0) {
        if (o.Scenario >= static_cast<int>(area::ScenarioNames().size())) {
            err << "no scenario " << o.Scenario << '\n';
            return 2;
        }
        if (sim.Hooks.ScenarioHook) sim.Hooks.ScenarioHook(o.Scenario);
    }
    if (!ApplyARSOption(sim, o.ARS, err)) return 2;
    if (!o.TimetableFile.empty()) {
        // Started as the program starts a timetable: the clock at the start asked for (or
        // the timetable's own) and every train's entry delay drawn from the seed.
        std::string error;
        const bool loaded =
            o.NoEntryDelays ? LoadAnyTimetable(sim, o.TimetableFile, &error)
                            : StartWithTimetable(sim, o.TimetableFile, o.Start, &error);
        if (loaded && o.NoEntryDelays)
            sim.SimTime = o.Start >= 0 ? o.Start : sim.Timetable.StartTime;
        if (!loaded) {
            err << "cannot load timetable " << o.TimetableFile << ": " << error << '\n';
            return 2;
        }
    } else if (o.Start >= 0) {
        sim.SimTime = o.Start;
    }
    if (!o.LoadFile.empty()) {
        SimulationLoadError error;
        if (LoadSimulation(sim, o.LoadFile, &error) != 0) {
            if (!error.Box.empty()) err << error.Box << '\n';
            err << "Error loading simulation";
            if (error.Box.empty()) err << ": " << error.Reason;
            err << '\n';
            return 1;
        }
        if (o.Start >= 0) sim.SimTime = o.Start;
    }
    // Drawing lays out each signal's head, which is where its clicks land.
    sim.Display().CurrentScreen = 1;
    sim.Display().RedrawPanel();

    CommandPlayer player(sim, err);
    for (const HeadlessCommand& c : commands) {
        std::string error;
        if (!player.Validate(c, error)) {
            err << o.CommandsFile << ": " << error << '\n';
            return 2;
        }
    }
    sim.Messages().LineObserver = [&](const std::string& text, int type) {
        player.NoteLine(text, type);
        if (o.Log) out << sim.FormatSimTime() << ' ' << text << '\n';
    };

    std::size_t next = 0;
    long ticks = 0;
    std::size_t incidentsLogged = sim.Incidents.Lines.size();
    std::vector<HeadlessCommand> scripted;
    bool ended = false;
    WaitsAtRed waits;
    while ((o.Ticks < 0 || ticks < o.Ticks) && (o.Until < 0 || sim.SimTime < o.Until)) {
        // The end of the timetable ends the run, with the game as it stood at the finish.
        if (sim.TimetableFinished()) {
            ended = true;
            break;
        }
        while (next < commands.size() && commands[next].Time <= sim.SimTime)
            player.Play(commands[next++]);
        if (o.BeforeCycle) {
            scripted.clear();
            o.BeforeCycle(sim, scripted);
            for (const HeadlessCommand& c : scripted) {
                std::string error;
                if (FindVerb(c.Verb) && FindVerb(c.Verb)->Args == c.Args.size() &&
                    player.Validate(c, error))
                    player.Play(c);
                else
                    err << "scripted command " << c.Verb << " refused: " << error << '\n';
            }
        }
        sim.MajorCycleTick();
        // Drivers' calls and other incidents go to the log as they are written.
        for (; o.Log && incidentsLogged < sim.Incidents.Lines.size(); ++incidentsLogged)
            out << sim.FormatSimTime()
                << " incident: " << IncidentText(sim.Incidents.Lines[incidentsLogged]) << '\n';
        if (o.EachCycle) o.EachCycle(sim);
        waits.Note(sim);
        ++ticks;
    }
    sim.Messages().LineObserver = nullptr;
    const bool reported = o.ReportDir.empty() || WriteReport(sim, o.ReportDir, o, err);
    if (o.AfterRun) o.AfterRun(sim);

    out << "seed " << seed << '\n';
    out << "ticks " << ticks << '\n';
    out << "simtime " << sim.FormatSimTime() << '\n';
    if (ended) out << "End of timetable!\n";
    out << "score " << sim.Performance.Score << '\n';
    int routesSet = 0;
    sim.Routes.ForEach([&](const TROU& r) { routesSet += r.RouteSet ? 1 : 0; });
    out << "routes_set " << routesSet << '\n';
    out << "trains_entered " << sim.Trains.EnteredCount << '\n';
    out << "trains_left " << sim.Trains.LeftCount << '\n';
    out << "trains_in_area " << sim.Trains.TrainsInArea() << '\n';
    out << "ars_routes_set " << sim.ARSTrains().RoutesSet << '\n';
    out << "longest_wait_at_red " << waits.Longest << '\n';
    out << "errors_caught " << sim.ErrorsCaught << '\n';
    if (o.Digest) out << "digest " << StateDigest(sim) << '\n';
    if (!o.SaveFile.empty() && SaveSimulation(sim, o.SaveFile) != 0) {
        err << "Simulation failed to save\n";
        return 1;
    }
    return reported ? 0 : 1;
}

bool WriteReport(Sim& sim, const std::string& folder, const HeadlessOptions& o,
                 std::ostream& err) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        err << "cannot make the report folder " << folder << ": " << ec.message() << '\n';
        return false;
    }
    auto write = [&](const std::string& name, const std::string& text) {
        const fs::path path = fs::path(folder) / name;
        std::ofstream file(path, std::ios::binary);
        file << text;
        file.close();
        if (!file) {
            err << "cannot write " << path.string() << '\n';
            return false;
        }
        return true;
    };
    auto joined = [](const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) text += line + '\n';
        return text;
    };
    bool ok = write("analysis.txt", joined(sim.Performance.AnalysisLines()));
    ok = write("punctuality.csv", PunctualityCsv(sim.Record)) && ok;
    ok = write("punctuality.txt", joined(PunctualitySummaryLines(sim.Record))) && ok;
    if (o.DrawGraph) {
        for (const GraphLineSpec& line : area::TimeDistanceLines()) {
            const TimeDistanceGraph graph = BuildTimeDistanceGraph(sim, line);
            const std::string path = (fs::path(folder) / ("graph-" + line.Name + ".png")).string();
            std::string error;
            if (!o.DrawGraph(graph, path, error)) {
                err << "cannot write " << path << ": " << error << '\n';
                ok = false;
            }
        }
    }
    return ok;
}

}  // namespace kestra::runner
