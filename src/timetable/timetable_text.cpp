#include "timetable/timetable_text.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <vector>

#include "places/entry_point.h"
#include "places/location.h"
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

// Strips the comment and splits on blanks (escapes still in the tokens).
std::vector<std::string> Tokenise(const std::string& raw, std::string& rest, bool restAfterDesc,
                                  bool restAfterFirst) {
    std::string line;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            line += raw[i];
            line += raw[++i];
            continue;
        }
        if (raw[i] == '#') break;
        line += raw[i];
    }
    std::vector<std::string> tokens;
    std::size_t i = 0;
    rest.clear();
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size()) break;
        if ((restAfterFirst && tokens.size() == 1) ||
            (restAfterDesc && !tokens.empty() && tokens.back() == "desc")) {
            std::size_t end = line.size();
            while (end > i &&
                   (line[end - 1] == ' ' || line[end - 1] == '\t' || line[end - 1] == '\r'))
                --end;
            rest = line.substr(i, end - i);
            break;
        }
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') {
            if (line[j] == '\\' && j + 1 < line.size()) ++j;
            ++j;
        }
        tokens.push_back(line.substr(i, j - i));
        i = j;
    }
    return tokens;
}

class Parser {
  public:
    Parser(Sim& sim, TimetableLoad& load) : sim_(sim), load_(load) {}

    void ParseLine(const std::string& raw) {
        std::string rest;
        std::vector<std::string> first = Tokenise(raw, rest, false, false);
        if (first.empty()) return;
        const std::string& word = first[0];
        if (word == "name" || word == "description") {
            Tokenise(raw, rest, false, true);
            (word == "name" ? load_.Name : load_.Description) = Unescape(rest);
            return;
        }
        std::vector<std::string> t = Tokenise(raw, rest, true, false);
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

  private:
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
        for (const auto& known : load_.NewCategories) {
            Expect(known->ID != c->ID, "category " + c->ID + " is defined twice");
        }
        for (std::size_t i = 2; i < t.size(); ++i) {
            const std::string& w = t[i];
            if (ParseCharacteristic(t, i, w, *c))
                continue;
            else if (w == "desc")
                c->Description = Unescape(rest);
            else
                throw ParseError{"unknown category option \"" + w + "\""};
        }
        if (!sim_.Categories.FindID(c->ID)) load_.NewCategories.push_back(std::move(c));
    }

    static std::int32_t ParseProfile(const std::string& s) {
        const std::int32_t v = ParseInt(s);
        Expect(v >= AccelVeryLow && v <= AccelVeryHigh, "accel must be 0 to 4");
        return v;
    }

    TTrainCategory* FindCategory(const std::string& name) {
        if (TTrainCategory* c = sim_.Categories.FindID(name)) return c;
        for (const auto& c : load_.NewCategories) {
            if (c->ID == name) return c.get();
        }
        return nullptr;
    }

    void ParseTrain(const std::vector<std::string>& t, const std::string& rest) {
        Expect(t.size() >= 5, "a train needs: train headcode category entry time");
        auto tt = std::make_unique<TTimetable>(sim_, t[1] == "-" ? std::string() : Unescape(t[1]));
        tt->AccelBrake = tt->MaxSpeed = tt->Length = tt->PowerTypes = 0;
        if (t[2] != "-") {
            const std::string name = Unescape(t[2]);
            tt->Category = FindCategory(name);
            Expect(tt->Category != nullptr, "train " + tt->ID + ": unknown category " + name);
            tt->AccelBrake = tt->Category->AccelBrake;
            tt->MaxSpeed = tt->Category->MaxSpeed;
            tt->Length = tt->Category->Length;
            tt->PowerTypes = tt->Category->PowerTypes;
            tt->IsFreight = tt->Category->IsFreight;
        }
        if (t[3] != "-") {
            const std::string entry = Unescape(t[3]);
            tt->EntryPoint = sim_.EntryPoints.FindID(entry);
            Expect(tt->EntryPoint != nullptr, "train " + tt->ID + ": unknown entry point " + entry);
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
                throw ParseError{"unknown train option \"" + w + "\""};
        }
        load_.Timetables.push_back(std::move(tt));
    }

    void ParseTrip(const std::vector<std::string>& t) {
        Expect(!load_.Timetables.empty(),
               "\"" + t[0] + "\" is not an item, and there is no train for it to be a trip of");
        TTimetable& tt = *load_.Timetables.back();
        Expect(t.size() >= 3, "a trip needs: location arrival departure");
        TTimetableTrip trip;
        std::string id = t[0];
        if (id != "-") {
            if (id[0] == '*') {
                trip.AutoInserted = true;
                id.erase(0, 1);
            }
            id = Unescape(id);
            trip.Location = sim_.Locations.FindID(id);
            Expect(trip.Location != nullptr, "train " + tt.ID + ": unknown location " + id);
        }
        trip.ArrTime = t[1] == "-" ? 0 : ParseTime(t[1]);
        if (t[2] == "-") {
            Expect(trip.ArrTime != 0, "a trip without arrival needs a departure time");
            trip.DepTime = trip.ArrTime;
        } else {
            trip.DepTime = ParseTime(t[2]);
        }
        for (std::size_t i = 3; i < t.size(); ++i) {
            const std::string& w = t[i];
            if (w == "pass")
                trip.IsPass = true;
            else if (w == "down")
                trip.DownDirection = true;
            else if (w == "plat")
                trip.Platform = Unescape(Arg(t, i, w));
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
                throw ParseError{"unknown trip option \"" + w + "\""};
            }
        }
        tt.Trips.Items.push_back(std::move(trip));
    }

    static void AddActivity(TTimetableTrip& trip, std::uint8_t kind, const std::string& headcode) {
        trip.Activities.Items.push_back(
            {kind, headcode == "-" ? std::string() : Unescape(headcode)});
    }

    Sim& sim_;
    TimetableLoad& load_;
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

bool ParseTimetableText(Sim& sim, const std::string& text, TimetableLoad& load,
                        std::string& error) {
    Parser parser(sim, load);
    load.HasHeader = true;
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++number;
        try {
            parser.ParseLine(text.substr(start, end - start));
        } catch (const ParseError& e) {
            error = "line " + std::to_string(number) + ": " + e.Reason;
            return false;
        } catch (const std::exception& e) {
            error = "line " + std::to_string(number) + ": " + e.what();
            return false;
        }
        start = end + 1;
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
