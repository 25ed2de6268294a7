#include "core/time_format.h"

#include <cstdio>
#include <limits>

namespace kestra {

namespace {

std::string HM(std::int32_t t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2.2d:%2.2d", t / 3600, (t / 60) % 60);
    return buf;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string FormatClock(std::int32_t t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2.2d:%2.2d:%2.2d", (t / 3600) % 24, (t / 60) % 60, t % 60);
    return buf;
}

std::string FormatHalfMinuteAll(std::int32_t t) {
    return HM(t) + (t % 60 == 30 ? HalfGlyph : ' ');
}

std::string FormatHalfMinute(std::int32_t t) {
    if (t == 0) return "--:-- ";
    return FormatHalfMinuteAll(t);
}

std::string FormatHalfMinuteH(std::int32_t t) { return HM(t) + (t % 60 == 30 ? " H" : "  "); }

std::string FormatHalfUnits(std::int32_t n) {
    return std::to_string(n / 2) + ((n % 2) != 0 ? HalfGlyph : ' ');
}

std::int32_t ParseHalfMinute(std::string_view s) {
    if (s.size() != 7) return -1;
    const char h1 = s[0] == '_' ? '0' : s[0];
    if (!Digit(h1) || !Digit(s[1]) || s[2] != ':' || !Digit(s[3]) || !Digit(s[4]) || s[5] != ' ')
        return -1;
    const char half = s[6];
    if (half != ' ' && half != 'h' && half != 'H' && half != HalfGlyph) return -1;
    const std::int32_t hours = (h1 - '0') * 10 + (s[1] - '0');
    const std::int32_t minutes = (s[3] - '0') * 10 + (s[4] - '0');
    return hours * 3600 + minutes * 60 + (half == ' ' ? 0 : 30);
}

std::int32_t ParseNumber(std::string_view s) {
    if (s.empty()) return -1;
    std::size_t i = 0;
    bool negative = false;
    if (s[0] == '-' || s[0] == '+') {
        negative = s[0] == '-';
        i = 1;
    }
    if (i >= s.size()) return -1;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!Digit(s[i])) return -1;
        v = v * 10 + (s[i] - '0');
        if (v > std::numeric_limits<std::int32_t>::max()) return -1;
    }
    return static_cast<std::int32_t>(negative ? -v : v);
}

}  // namespace kestra
