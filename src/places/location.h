#pragma once
// Locations (stations, junctions and timing points named in timetables) and the
// stopping points where trains calling at them draw up.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ssi_object.h"

namespace kestra {

class TULC;

// A pair of platforms of a location that face each other.
struct TLOCAdjacentPlatform {
    std::string Platform;
    std::string Adjacent;
};

// Default seconds before its booked time that ARS may set a stopping train's departure.
inline constexpr std::int32_t kDefaultARSAllowance = 30;

class TLOC : public TSSIObject {
  public:
    explicit TLOC(std::string id = {}) : TSSIObject(std::move(id)) {}

    // Adds a facing pair of platforms, in both orders.
    void AddAdjacentPair(const std::string& a, const std::string& b);
    // True when the location lists the pair (platform, other).
    bool IsAdjacent(std::string_view platform, std::string_view other) const;
    bool HasPlatform(std::string_view code) const;
    bool HasLine(std::string_view code) const;
    bool HasPath(std::string_view code) const;

    // --- fields, in declaration order
    std::string Name;
    // The berths of its platforms (not those on the approach), in the area's order.
    TSSIList Berths;
    // A timing point: paths start and end at key locations.
    bool KeyLocation = false;
    std::vector<std::string> Platforms;
    std::vector<std::string> Lines;
    std::vector<std::string> Paths;
    std::int32_t StandardDwell = 0;
    std::int32_t MinimumDwell = 0;
    // The subroutes of each platform (both directions).
    std::vector<std::pair<std::string, TULC*>> PlatformSubroutes;
    // Trains should not stop here.
    bool NonStation = false;
    std::vector<TLOCAdjacentPlatform> AdjacentPlatforms;
    // A train stops as soon as it is wholly within the subroute of the stopping point.
    bool StopWhenInside = false;
    bool ARSWaitsForTime = false;
    std::int32_t ARSAllowance = kDefaultARSAllowance;
};

// The locations of the area.
class TLOCList : public TTypedList<TLOC> {};

// A stopping point: where on a subroute the head of a train calling at a location
// stands. Owned by the subroute (its StopPoints). On a platform that runs over several
// subroutes the points are chained both ways, so a train draws up at the far end.
class TULCLOC : public TSSIObject {
  public:
    TULCLOC() = default;

    // Metres short of the signal stop at the end of a subroute where trains draw up.
    static constexpr std::int32_t kShortOfSignal = 5;
    // The position on a subroute of the given length and signal offset.
    static std::int32_t PositionFor(std::int32_t length, std::int32_t signalOffset) {
        const std::int32_t p = length - signalOffset - kShortOfSignal;
        return p < 0 ? 0 : p;
    }

    // --- fields, in declaration order
    TLOC* Location = nullptr;
    // Metres from the start of the subroute to the head of a stopping train.
    std::int32_t Position = 0;
    TULC* ContinuationSubroute = nullptr;
    TULCLOC* ContinuationPoint = nullptr;
    std::string Platform;
    TULC* PreviousSubroute = nullptr;
    TULCLOC* PreviousPoint = nullptr;
};

}  // namespace kestra
