#include "places/location.h"

#include <algorithm>

namespace kestra {

namespace {
bool Holds(const std::vector<std::string>& codes, std::string_view code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}
}  // namespace

void TLOC::AddAdjacentPair(const std::string& a, const std::string& b) {
    if (!IsAdjacent(a, b)) AdjacentPlatforms.push_back({a, b});
    if (!IsAdjacent(b, a)) AdjacentPlatforms.push_back({b, a});
}

bool TLOC::IsAdjacent(std::string_view platform, std::string_view other) const {
    return std::any_of(AdjacentPlatforms.begin(), AdjacentPlatforms.end(),
                       [&](const TLOCAdjacentPlatform& p) {
                           return p.Platform == platform && p.Adjacent == other;
                       });
}

bool TLOC::HasPlatform(std::string_view code) const {
    return Holds(Platforms, code);
}
bool TLOC::HasLine(std::string_view code) const {
    return Holds(Lines, code);
}
bool TLOC::HasPath(std::string_view code) const {
    return Holds(Paths, code);
}

}  // namespace kestra
