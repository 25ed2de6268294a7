#include "timetable/timetable_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "places/entry_point.h"
#include "places/location.h"
#include "places/path.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"

namespace kestra {

namespace {

// --- escapes

bool PlainByte(unsigned char c) {
    return c > 0x20 && c < 0x7F && c != '#' && c != '\\';
}

std::string Hex(unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    return buf;
}

// One byte of a token or of free text: the escape character and the comment mark
// escaped, plain bytes as themselves, anything else in hexadecimal.
void AppendEscaped(std::string& out, unsigned char c) {
    if (c == '\\')
        out += "\\\\";
    else if (c == '#')
        out += "\\#";
    else if (PlainByte(c))
        out += static_cast<char>(c);
    else
        out += Hex(c);
}

// A code as one token; "-" for empty when allowEmpty.
std::string EscapeToken(const std::string& s) {
    if (s.empty()) return "-";
    if (s == "-") return "\\x2D";
    std::string out;
    for (unsigned char c : s) AppendEscaped(out, c);
    return out;
}

// Free text to the end of a line: blanks inside stand as themselves.
std::string EscapeText(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const bool edge = i == 0 || i + 1 == s.size();
        if (c == ' ' && !edge)
            out += ' ';
        else
            AppendEscaped(out, c);
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

struct ParseError {
    std::string Reason;
};

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (i + 1 >= s.size()) throw ParseError{"a '\\' at the end of \"" + s + "\""};
        const char n = s[++i];
        if (n == '\\' || n == '#') {
            out += n;
        } else if (n == 'x' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 &&
                   HexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            throw ParseError{"unknown escape in \"" + s + "\""};
        }
    }
    return out;
}

// --- times and numbers

std::string FormatTime(std::int32_t t) {
    if (t < 0) throw ParseError{"negative time " + std::to_string(t) + " has no text form"};
    char buf[32];
    if (t % 60 == 0)
        std::snprintf(buf, sizeof buf, "%02d:%02d", t / 3600, (t / 60) % 60);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t / 3600, (t / 60) % 60, t % 60);
    return buf;
}

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::int32_t ParseTime(const std::string& s) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : s) {
        if (c == ':') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    if (parts.size() < 2 || parts.size() > 3) throw ParseError{"bad time \"" + s + "\""};
    for (const std::string& p : parts) {
        if (!AllDigits(p) || p.size() > 6) throw ParseError{"bad time \"" + s + "\""};
    }
    if (parts[1].size() != 2 || (parts.size() == 3 && parts[2].size() != 2))
        throw ParseError{"bad time \"" + s + "\""};
    const std::int64_t h = std::stoll(parts[0]);
    const std::int64_t m = std::stoll(parts[1]);
    const std::int64_t sec = parts.size() == 3 ? std::stoll(parts[2]) : 0;
    if (m > 59 || sec > 59) throw ParseError{"bad time \"" + s + "\""};
    const std::int64_t t = h * 3600 + m * 60 + sec;
    if (t > INT32_MAX) throw ParseError{"time \"" + s + "\" too large"};
    return static_cast<std::int32_t>(t);
}

std::int32_t ParseInt(const std::string& s) {
    std::string digits = s;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.erase(0, 1);
    }
    if (!AllDigits(digits) || digits.size() > 10) throw ParseError{"bad number \"" + s + "\""};
    std::int64_t v = std::stoll(digits);
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) throw ParseError{"number \"" + s + "\" too large"};
    return static_cast<std::int32_t>(v);
}

// Minutes with an optional ".5" to half-minutes.
std::int32_t ParseAllowance(const std::string& s) {
    std::string whole = s;
    int half = 0;
    if (whole.size() > 2 && whole.compare(whole.size() - 2, 2, ".5") == 0) {
        half = 1;
        whole.resize(whole.size() - 2);
    } else if (whole.size() > 2 && whole.compare(whole.size() - 2, 2, ".0") == 0) {
        whole.resize(whole.size() - 2);
    }
    const std::int64_t minutes = ParseInt(whole);
    const bool negative = !whole.empty() && whole[0] == '-';
    const std::int64_t n = minutes * 2 + (negative ? -half : half);
    if (n < INT32_MIN || n > INT32_MAX) throw ParseError{"allowance \"" + s + "\" too large"};
    return static_cast<std::int32_t>(n);
}

std::string FormatAllowance(std::int32_t n) {
    const std::int64_t v = n;
    const std::int64_t whole = v / 2;
    std::string text = (v < 0 && whole == 0) ? "-0" : std::to_string(whole);
    if (v % 2 != 0) text += ".5";
    return text;
}

constexpr struct {
    std::int32_t Bit;
    const char* Name;
} kPowerNames[] = {{PowerOverhead, "overhead"},
                   {PowerThirdRail, "3rd-rail"},
                   {PowerFourthRail, "4th-rail"},
                   {PowerDiesel, "diesel"}};

std::int32_t ParsePower(const std::string& s) {
    if (s == "none") return 0;
    std::int32_t bits = 0;
    std::size_t start = 0;
    while (start <= s.size()) {
        const std::size_t plus = s.find('+', start);
        const std::string name =
            s.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        bool known = false;
        for (const auto& p : kPowerNames) {
            if (name == p.Name) {
                bits |= p.Bit;
                known = true;
            }
        }
        if (!known) throw ParseError{"unknown power type \"" + name + "\""};
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    return bits;
}

std::string FormatPower(std::int32_t bits) {
    std::string text;
    for (const auto& p : kPowerNames) {
        if ((bits & p.Bit) == 0) continue;
        if (!text.empty()) text += '+';
        text += p.Name;
    }
    return text.empty() ? "none" : text;
}

// --- lines

// A line split into tokens; the text after "desc" (or after the first word, for the
// header items) is kept whole.
struct Line {
    int Number = 0;
    std::vector<std::string> Tokens;
};

// Splits a line on blanks (escapes still in the tokens), dropping a comment: what
// follows a '#' that is not escaped. The free text after "desc" (or after the first word,
// for the header items) is kept whole, '#' and all, so that "desc Express #2" keeps its
// number: a comment on such a line goes on a line of its own.
std::vector<std::string> Tokenise(const std::string& line, std::string& rest, bool restAfterDesc,
                                  bool restAfterFirst) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::vector<std::string> tokens;
    std::size_t i = 0;
    rest.clear();
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        if (i >= line.size()) break;
        if ((restAfterFirst && tokens.size() == 1) ||
            (restAfterDesc && !tokens.empty() && tokens.back() == "desc")) {
            std::size_t end = line.size();
            while (end > i && blank(line[end - 1])) --end;
            rest = line.substr(i, end - i);
            break;
        }
        if (line[i] == '#') break;
        std::size_t j = i;
        while (j < line.size() && !blank(line[j]) && line[j] != '#') {
            if (line[j] == '\\' && j + 1 < line.size()) ++j;
            ++j;
        }
        tokens.push_back(line.substr(i, j - i));
        if (j < line.size() && line[j] == '#') break;
        i = j;
    }
    return tokens;
}

// "A (Alpha), B (Bravo)": the IDs of a list of places, for an error that names an
// unknown one.
template <class List>
std::string KnownPlaces(const List& list) {
    std::string text;
    list.ForEach([&](const auto& o) {
        if (!text.empty()) text += ", ";
        text += o.ID;
        if (!o.Name.empty() && o.Name != o.ID) text += " (" + o.Name + ")";
    });
    return text.empty() ? "none" : text;
}

std::string JoinCodes(const std::vector<std::string>& codes) {
    std::string text;
    for (const std::string& c : codes) {
        if (!text.empty()) text += ", ";
        text += c;
    }
    return text.empty() ? "none" : text;
}

// The first word of a line, or empty for a blank or comment line.
std::string FirstWord(const std::string& raw) {
    std::string rest;
    const std::vector<std::string> t = Tokenise(raw, rest, false, false);
    return t.empty() ? std::string() : t[0];
}

class Parser {
  public:
    Parser(Sim& sim, TimetableLoad& load) : sim_(sim), load_(load) {}

    // The train whose block the line being read belongs to, for the error's text.
    const std::string& CurrentTrain() const { return currentTrain_; }

    void ParseLine(const std::string& raw, int number) {
        number_ = number;
        std::string rest;
        std::vector<std::string> first = Tokenise(raw, rest, false, false);
        if (first.empty()) return;
        const std::string& word = first[0];
        if (word != "train" && word != "category" && !inTrain_) currentTrain_.clear();
        if (word == "name" || word == "description") {
            inTrain_ = false;
            currentTrain_.clear();
            Tokenise(raw, rest, false, true);
            (word == "name" ? load_.Name : load_.Description) = Unescape(rest);
            return;
        }
        std::vector<std::string> t = Tokenise(raw, rest, true, false);
        if (word == "start" || word == "finish" || word == "category") {
            inTrain_ = false;
            currentTrain_.clear();
        }
        if (word == "start" || word == "finish") {
            Expect(t.size() == 2, "\"" + word + "\" takes one time");
            (word == "start" ? load_.StartTime : load_.FinishTime) = ParseTime(t[1]);
        } else if (word == "category") {
            ParseCategory(t, rest);
        } else if (word == "train") {
            ParseTrain(t, rest);
        } else {
            ParseTrip(t);
        }
    }

    // Checks that need the whole file: every activity names a train this file or the
    // working timetable holds. Throws with the activity's line in line.
    void Finish(int& line) {
        std::unordered_set<std::string> known;
        for (const auto& t : load_.Timetables) known.insert(t->ID);
        sim_.Timetable.ForEach([&](const TTimetable& t) { known.insert(t.ID); });
        for (const PartnerUse& use : partners_) {
            // An activity without headcode is left to the analysis to report.
            if (use.Headcode.empty() || known.count(use.Headcode) != 0) continue;
            line = use.Line;
            currentTrain_ = use.Train;
            throw ParseError{"\"" + use.Words + " " + use.Headcode +
                             "\" names a train that is not in the timetable: add a train " +
                             use.Headcode + " (a \"train " + use.Headcode +
                             " ...\" block) or correct the headcode"};
        }
    }

  private:
    struct PartnerUse {
        int Line = 0;
        std::string Train;
        std::string Words;
        std::string Headcode;
    };

    static void Expect(bool ok, const std::string& reason) {
        if (!ok) throw ParseError{reason};
    }
    static const std::string& Arg(const std::vector<std::string>& t, std::size_t& i,
                                  const std::string& word) {
        Expect(i + 1 < t.size(), "\"" + word + "\" needs a value");
        return t[++i];
    }

    // The characteristics a category and a train both carry; false when the word is
    // none of them.
    template <class T>
    static bool ParseCharacteristic(const std::vector<std::string>& t, std::size_t& i,
                                    const std::string& w, T& x) {
        if (w == "accel")
            x.AccelBrake = ParseProfile(Arg(t, i, w));
        else if (w == "speed")
            x.MaxSpeed = ParseInt(Arg(t, i, w));
        else if (w == "length")
            x.Length = ParseInt(Arg(t, i, w));
        else if (w == "power")
            x.PowerTypes = ParsePower(Arg(t, i, w));
        else if (w == "freight")
            x.IsFreight = true;
        else
            return false;
        return true;
    }

    void ParseCategory(const std::vector<std::string>& t, const std::string& rest) {
        Expect(t.size() >= 2, "a category needs a name");
        auto c = std::make_unique<TTrainCategory>(Unescape(t[1]));
        Expect(!c->ID.empty() && t[1] != "-", "a category needs a name");
        Expect(definedHere_.insert(c->ID).second,
               "category " + c->ID + " is defined twice: give the second one another name");
        for (std::size_t i = 2; i < t.size(); ++i) {
            const std::string& w = t[i];
            if (ParseCharacteristic(t, i, w, *c))
                continue;
            else if (w == "desc")
                c->Description = Unescape(rest);
            else
                throw ParseError{"unknown category option \"" + w +
                                 "\": write accel, speed, length, power, freight or desc"};
        }
        const std::string problem = CharacteristicsProblem(c->MaxSpeed, c->Length);
        Expect(problem.empty(), "category " + c->ID + ": " + problem);
        AddLoadCategory(sim_, load_, std::move(c));
    }

    static std::int32_t ParseProfile(const std::string& s) {
        const std::int32_t v = ParseInt(s);
        Expect(v >= AccelVeryLow && v <= AccelVeryHigh, "accel must be 0 to 4");
        return v;
    }

    TTrainCategory* FindCategory(const std::string& name) {
        return FindLoadCategory(sim_, load_, name);
    }

    std::string KnownCategories() {
        std::string text;
        for (const auto& c : load_.NewCategories) text += (text.empty() ? "" : ", ") + c->ID;
        sim_.Categories.ForEach([&](const TTrainCategory& c) {
            if (definedHere_.count(c.ID) == 0) text += (text.empty() ? "" : ", ") + c.ID;
        });
        return text.empty() ? "none (define one with a \"category\" line)" : text;
    }

    void ParseTrain(const std::vector<std::string>& t, const std::string& rest) {
        inTrain_ = true;
        currentTrain_ = t.size() >= 2 && t[1] != "-" ? Unescape(t[1]) : std::string();
        Expect(t.size() >= 5,
               "a train line needs: train HEADCODE CATEGORY ENTRY TIME (write \"-\" for "
               "no category or no entry point)");
        auto tt = std::make_unique<TTimetable>(sim_, t[1] == "-" ? std::string() : Unescape(t[1]));
        tt->AccelBrake = tt->MaxSpeed = tt->Length = tt->PowerTypes = 0;
        if (t[2] != "-") {
            const std::string name = Unescape(t[2]);
            tt->Category = FindCategory(name);
            if (!tt->Category)
                throw ParseError{"unknown category " + name +
                                 "; the categories are: " + KnownCategories()};
            tt->AccelBrake = tt->Category->AccelBrake;
            tt->MaxSpeed = tt->Category->MaxSpeed;
            tt->Length = tt->Category->Length;
            tt->PowerTypes = tt->Category->PowerTypes;
            tt->IsFreight = tt->Category->IsFreight;
        }
        if (t[3] != "-") {
            const std::string entry = Unescape(t[3]);
            tt->EntryPoint = sim_.EntryPoints.FindID(entry);
            if (!tt->EntryPoint)
                throw ParseError{"unknown entry point " + entry +
                                 "; the entry points are: " + KnownPlaces(sim_.EntryPoints) +
                                 " (\"-\" for a train that starts in the area)"};
        }
        tt->EntryTime = ParseTime(t[4]);
        for (std::size_t i = 5; i < t.size(); ++i) {
            const std::string& w = t[i];
            if (ParseCharacteristic(t, i, w, *tt))
                continue;
            else if (w == "nonfreight")
                tt->IsFreight = false;
            else if (w == "as-required")
                tt->AsRequired = true;
            else if (w == "percent") {
                tt->AsRequiredPercent = ParseInt(Arg(t, i, w));
                Expect(tt->AsRequiredPercent >= 0 && tt->AsRequiredPercent <= 100,
                       "percent must be 0 to 100");
            } else if (w == "stp")
                tt->STP = true;
            else if (w == "delay")
                tt->Delay = ParseInt(Arg(t, i, w));
            else if (w == "warned")
                tt->DelayWarned = true;
            else if (w == "reserved")
                tt->Reserved = ParseInt(Arg(t, i, w));
            else if (w == "desc")
                tt->Description = Unescape(rest);
            else
                throw ParseError{"unknown train option \"" + w +
                                 "\": write accel, speed, length, power, freight, nonfreight, "
                                 "as-required, percent, stp, delay, warned, reserved or desc"};
        }
        // A train without a speed would never move: one is needed, from the category
        // or its own "speed".
        const std::string problem = CharacteristicsProblem(tt->MaxSpeed, tt->Length, 1);
        if (!problem.empty()) {
            throw ParseError{problem + (tt->Category ? std::string(": give \"speed N\" (mph) or "
                                                                   "\"length N\" (m) in range")
                                                     : ": name a category (" + KnownCategories() +
                                                           ") or give \"speed N\" (mph)")};
        }
        // Trips are checked against each other only: an entry time after the first
        // call is a train booked to enter late, which the game runs.
        lastTime_ = -1;
        load_.Timetables.push_back(std::move(tt));
    }

    void ParseTrip(const std::vector<std::string>& t) {
        Expect(!load_.Timetables.empty() && inTrain_,
               "\"" + t[0] + "\" is not an item, and there is no train for it to be a trip of");
        TTimetable& tt = *load_.Timetables.back();
        Expect(t.size() >= 3, "a trip needs: location arrival departure (\"-\" for no arrival)");
        TTimetableTrip trip;
        std::string id = t[0];
        if (id != "-") {
            if (id[0] == '*') {
                trip.AutoInserted = true;
                id.erase(0, 1);
            }
            id = Unescape(id);
            trip.Location = sim_.Locations.FindID(id);
            if (!trip.Location)
                throw ParseError{"unknown location " + id +
                                 "; the locations are: " + KnownPlaces(sim_.Locations)};
        }
        trip.ArrTime = t[1] == "-" ? 0 : ParseTime(t[1]);
        if (t[2] == "-") {
            Expect(trip.ArrTime != 0, "a trip without arrival needs a departure time");
            trip.DepTime = trip.ArrTime;
        } else {
            trip.DepTime = ParseTime(t[2]);
            // A departure of 0 means none, as in a timetable file: the arrival.
            if (trip.DepTime == 0) trip.DepTime = trip.ArrTime;
        }
        const std::string where = trip.Location ? trip.Location->ID : std::string("-");
        if (trip.ArrTime != 0 && trip.DepTime < trip.ArrTime)
            throw ParseError{"arrives at " + where + " at " + FormatTime(trip.ArrTime) +
                             " but departs at " + FormatTime(trip.DepTime) +
                             ": the departure must not be before the arrival"};
        const std::int32_t reached = trip.ArrivalOrDeparture();
        if (reached < lastTime_)
            throw ParseError{"is due at " + where + " at " + FormatTime(reached) + ", before its " +
                             lastTimeWhere_ + " at " + FormatTime(lastTime_) +
                             ": times must not run backwards (after midnight write 24:10, not "
                             "00:10)"};
        lastTime_ = trip.DepTime;
        lastTimeWhere_ = "time at ";
        lastTimeWhere_ += where;
        for (std::size_t i = 3; i < t.size(); ++i) {
            const std::string& w = t[i];
            if (w == "pass")
                trip.IsPass = true;
            else if (w == "down")
                trip.DownDirection = true;
            else if (w == "plat")
                trip.Platform = Code(trip, "plat", Arg(t, i, w));
            else if (w == "line")
                trip.Line = Unescape(Arg(t, i, w));
            else if (w == "path")
                trip.Path = Unescape(Arg(t, i, w));
            else if (w == "eng")
                trip.EngAllowance = ParseAllowance(Arg(t, i, w));
            else if (w == "allow")
                trip.PathAllowance = ParseAllowance(Arg(t, i, w));
            else if (w == "next") {
                Expect(i + 2 < t.size() && t[i + 1] == "service",
                       "write \"next service HEADCODE\"");
                i += 1;
                AddActivity(trip, ActNextTrain, Arg(t, i, "next service"));
            } else if (w == "divide") {
                if (i + 1 < t.size() && t[i + 1] == "front") {
                    Expect(i + 3 < t.size() && t[i + 2] == "into",
                           "write \"divide front into HEADCODE\"");
                    i += 2;
                    AddActivity(trip, ActDividesNewFront, Arg(t, i, "divide front into"));
                } else {
                    Expect(i + 2 < t.size() && t[i + 1] == "into",
                           "write \"divide into HEADCODE\"");
                    i += 1;
                    AddActivity(trip, ActDividesNewRear, Arg(t, i, "divide into"));
                }
            } else if (w == "join") {
                AddActivity(trip, ActJoins, Arg(t, i, w));
            } else {
                throw ParseError{"unknown trip option \"" + w +
                                 "\": write pass, plat, line, path, eng, allow, down, "
                                 "next service, divide into, divide front into or join"};
            }
        }
        tt.Trips.Items.push_back(std::move(trip));
    }

    // The platform, line and path codes a location knows: its own lists and every code
    // a path of the area gives at it.
    struct KnownCodes {
        std::vector<std::string> Plat, Line, Path;
    };
    const KnownCodes& CodesOf(const TLOC& l) {
        auto found = codes_.find(&l);
        if (found != codes_.end()) return found->second;
        KnownCodes k{l.Platforms, l.Lines, l.Paths};
        auto add = [](std::vector<std::string>& list, const std::string& code) {
            if (!code.empty() && std::find(list.begin(), list.end(), code) == list.end())
                list.push_back(code);
        };
        sim_.Paths.ForEach([&](const TPTH& p) {
            if (p.FromLocation == &l) {
                add(k.Plat, p.FromPlatform);
                add(k.Line, p.FromLine);
                add(k.Path, p.FromPath);
            }
            if (p.ToLocation == &l) {
                add(k.Plat, p.ToPlatform);
                add(k.Line, p.ToLine);
                add(k.Path, p.ToPath);
            }
        });
        return codes_.emplace(&l, std::move(k)).first->second;
    }

    // A platform code of the trip's location; one the location does not have is refused
    // with the ones it has (a location that has none takes any). Line and path codes
    // are left to validation: a path that gives none at a place takes any there, and
    // the area's code rules read codes no path names.
    std::string Code(const TTimetableTrip& trip, const std::string& word,
                     const std::string& token) {
        std::string code = Unescape(token);
        if (!trip.Location) return code;
        const KnownCodes& k = CodesOf(*trip.Location);
        const std::vector<std::string>& codes =
            word == "plat" ? k.Plat : (word == "line" ? k.Line : k.Path);
        if (codes.empty() || std::find(codes.begin(), codes.end(), code) != codes.end())
            return code;
        throw ParseError{trip.Location->ID + " has no " + word + " " + code + "; its " + word +
                         " codes are: " + JoinCodes(codes)};
    }

    void AddActivity(TTimetableTrip& trip, std::uint8_t kind, const std::string& headcode) {
        const std::string h = headcode == "-" ? std::string() : Unescape(headcode);
        trip.Activities.Items.push_back({kind, h});
        static const char* const words[] = {"next service", "divide into", "divide front into",
                                            "join"};
        partners_.push_back({number_, currentTrain_, words[kind], h});
    }

    Sim& sim_;
    TimetableLoad& load_;
    int number_ = 0;
    bool inTrain_ = false;
    std::string currentTrain_;
    std::int32_t lastTime_ = -1;
    std::string lastTimeWhere_;
    std::unordered_set<std::string> definedHere_;
    std::vector<PartnerUse> partners_;
    std::unordered_map<const TLOC*, KnownCodes> codes_;
};

void WriteTrip(std::ostringstream& out, const TTimetableTrip& trip) {
    out << "  ";
    if (!trip.Location)
        out << "-";
    else
        out << (trip.AutoInserted ? "*" : "") << EscapeToken(trip.Location->ID);
    out << ' ' << (trip.ArrTime == 0 ? std::string("-") : FormatTime(trip.ArrTime));
    out << ' '
        << (trip.ArrTime != 0 && trip.DepTime == trip.ArrTime ? std::string("-")
                                                              : FormatTime(trip.DepTime));
    if (trip.IsPass) out << " pass";
    if (!trip.Platform.empty()) out << " plat " << EscapeToken(trip.Platform);
    if (!trip.Line.empty()) out << " line " << EscapeToken(trip.Line);
    if (!trip.Path.empty()) out << " path " << EscapeToken(trip.Path);
    if (trip.EngAllowance != 0) out << " eng " << FormatAllowance(trip.EngAllowance);
    if (trip.PathAllowance != 0) out << " allow " << FormatAllowance(trip.PathAllowance);
    if (trip.DownDirection) out << " down";
    for (const TTimetableActivity& a : trip.Activities.Items) {
        switch (a.ActivityKind) {
            case ActNextTrain:
                out << " next service ";
                break;
            case ActDividesNewRear:
                out << " divide into ";
                break;
            case ActDividesNewFront:
                out << " divide front into ";
                break;
            case ActJoins:
                out << " join ";
                break;
            default:
                throw ParseError{"activity kind " + std::to_string(a.ActivityKind) +
                                 " has no text form"};
        }
        out << EscapeToken(a.Headcode);
    }
    out << '\n';
}

void WriteTrain(std::ostringstream& out, const TTimetable& t) {
    out << "train " << EscapeToken(t.ID) << ' ' << (t.Category ? EscapeToken(t.Category->ID) : "-")
        << ' ' << (t.EntryPoint ? EscapeToken(t.EntryPoint->ID) : "-") << ' '
        << FormatTime(t.EntryTime);
    const TTrainCategory none;
    const TTrainCategory& base = t.Category ? *t.Category : none;
    if (t.AccelBrake != base.AccelBrake) out << " accel " << t.AccelBrake;
    if (t.MaxSpeed != base.MaxSpeed) out << " speed " << t.MaxSpeed;
    if (t.Length != base.Length) out << " length " << t.Length;
    if (t.PowerTypes != base.PowerTypes) out << " power " << FormatPower(t.PowerTypes);
    if (t.IsFreight != base.IsFreight) out << (t.IsFreight ? " freight" : " nonfreight");
    if (t.AsRequired) out << " as-required";
    if (t.AsRequiredPercent != DefaultAsRequiredPercent) out << " percent " << t.AsRequiredPercent;
    if (t.STP) out << " stp";
    if (t.Delay != 0) out << " delay " << t.Delay;
    if (t.DelayWarned) out << " warned";
    if (t.Reserved != 0) out << " reserved " << t.Reserved;
    if (!t.Description.empty()) out << " desc " << EscapeText(t.Description);
    out << '\n';
    for (const TTimetableTrip& trip : t.Trips.Items) WriteTrip(out, trip);
}

}  // namespace

bool ParseTimetableText(Sim& sim, const std::string& source, TimetableLoad& load,
                        std::string& error) {
    // A byte-order mark, as some editors write, is not part of the first line.
    const std::string_view text =
        std::string_view(source).substr(source.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    Parser parser(sim, load);
    load.HasHeader = true;
    // A file without a "name" line has the name a new timetable has.
    load.Name = "None";
    int number = 0;
    auto fail = [&](const std::string& reason) {
        const std::string& train = parser.CurrentTrain();
        error = PrintableText("line " + std::to_string(number) + ": " +
                              (train.empty() ? std::string() : "train " + train + ": ") + reason);
        return false;
    };
    try {
        // Categories first, so that a train may name one defined further down.
        for (number = 1; number <= static_cast<int>(lines.size()); ++number) {
            if (FirstWord(lines[number - 1]) == "category")
                parser.ParseLine(lines[number - 1], number);
        }
        for (number = 1; number <= static_cast<int>(lines.size()); ++number) {
            if (FirstWord(lines[number - 1]) != "category")
                parser.ParseLine(lines[number - 1], number);
        }
        parser.Finish(number);
    } catch (const ParseError& e) {
        return fail(e.Reason);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    return true;
}

bool ImportTimetableText(Sim& sim, const std::string& text, std::string& error) {
    TimetableLoad load;
    if (!ParseTimetableText(sim, text, load, error)) return false;
    CommitTimetableLoad(sim, load);
    return true;
}

bool ExportTimetableText(const Sim& sim, std::string& text, std::string& error) {
    try {
        std::ostringstream out;
        out << "# Kestra timetable for area " << sim.SimData.AreaID << "\n";
        out << "name " << EscapeText(sim.Timetable.Name) << '\n';
        if (!sim.Timetable.Description.empty())
            out << "description " << EscapeText(sim.Timetable.Description) << '\n';
        out << "start " << FormatTime(sim.Timetable.StartTime) << '\n';
        out << "finish " << FormatTime(sim.Timetable.FinishTime) << '\n';
        bool first = true;
        sim.Categories.ForEach([&](TTrainCategory& c) {
            if (first) out << '\n';
            first = false;
            out << "category " << EscapeToken(c.ID) << " accel " << c.AccelBrake << " speed "
                << c.MaxSpeed << " length " << c.Length << " power " << FormatPower(c.PowerTypes);
            if (c.IsFreight) out << " freight";
            if (!c.Description.empty()) out << " desc " << EscapeText(c.Description);
            out << '\n';
        });
        sim.Timetable.ForEach([&](TTimetable& t) {
            out << '\n';
            WriteTrain(out, t);
        });
        text = out.str();
        return true;
    } catch (const ParseError& e) {
        error = e.Reason;
        return false;
    }
}

}  // namespace kestra
