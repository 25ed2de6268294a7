#include "net/framing.h"

namespace kestra::net {

namespace {
bool IsControl(char c) {
    return c == FrameStart || c == FrameEnd || c == FrameEscape;
}
}  // namespace

std::optional<std::string> Frame(std::string_view payload) {
    std::string out;
    out.reserve(payload.size() + 8);
    out.push_back(FrameStart);
    for (const char c : payload) {
        if (IsControl(c)) out.push_back(FrameEscape);
        out.push_back(c);
    }
    out.push_back(FrameEnd);
    if (out.size() > MaxFrameBytes) return std::nullopt;
    return out;
}

std::size_t FittingLength(std::string_view head, std::string_view text) {
    std::size_t used = 0;
    for (const char c : head) used += IsControl(c) ? 2 : 1;
    std::size_t n = 0;
    for (const char c : text) {
        const std::size_t w = IsControl(c) ? 2 : 1;
        if (used + w > MaxWireBytes) break;
        used += w;
        ++n;
    }
    return n;
}

}  // namespace kestra::net
