#pragma once
// Small helpers of the interlocking's network state messages: objects are named by
// their list position as four upper-case hexadecimal digits.

#include <cstdio>
#include <string>

namespace kestra {

inline std::string Hex4(int value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(value) & 0xFFFFu);
    return buf;
}

}  // namespace kestra
