#pragma once
// Upper-casing for panel text. Only the ASCII letters a to z change: every other byte,
// and in particular the panel font's own glyphs from 0x80 up (frame pieces, the
// half-minute mark), passes unchanged whatever C locale the process runs under.
// std::toupper follows that locale, and under a single-byte locale it would turn the
// half-minute mark 0xBD into 0xBC.

#include <string>
#include <string_view>

namespace kestra {

constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = AsciiUpper(c);
    return upper;
}

}  // namespace kestra
