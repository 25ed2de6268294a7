#pragma once
// Paths: the ways through the area a timetable can name, from an entry point or a
// location to another location, as the berths and routes a train passes in order,
// chosen by the platform, path and line codes of both ends.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/ssi_object.h"

namespace kestra {

class TENT;
class TLOC;

// Direction codes of travel, as subroutes give them.
enum TravelDirection : std::uint8_t { DirDown = 1, DirUp = 2 };

class TPTH : public TSSIObject {
  public:
    TPTH() = default;

    // --- fields, in declaration order
    TENT* Entry = nullptr;
    TLOC* FromLocation = nullptr;
    std::string FromPlatform;
    std::string FromPath;
    std::string FromLine;
    std::uint8_t StartDirection = DirDown;
    // Berths and routes in order of travel (not owned).
    TSSIList Objects;
    TLOC* ToLocation = nullptr;
    std::string ToPlatform;
    std::string ToPath;
    std::string ToLine;
    std::uint8_t EndDirection = DirDown;
};

// The codes a timetable gives at both ends of a step between two places.
struct PathQuery {
    TENT* Entry = nullptr;
    TLOC* FromLocation = nullptr;
    std::string_view FromPlatform, FromPath, FromLine;
    TLOC* ToLocation = nullptr;
    std::string_view ToPlatform, ToPath, ToLine;
};

// One link that the paths make from a berth or a route to the object that follows it,
// with the direction a train starts in.
struct ARSLink {
    TSSIObject* Next = nullptr;
    std::uint8_t Direction = DirDown;
};

class TPTHList : public TTypedList<TPTH> {
  public:
    // Most lines ListPaths gives before it says there are more.
    static constexpr int kListLimit = 25;

    // The first path in list order with the same entry, from-location and to-location
    // whose six code fields are each empty or equal to the code given; none otherwise.
    TPTH* FindPath(const PathQuery& q) const;
    // The paths between the two ends, one tab-separated line each (platform, path, line,
    // "-", platform, path, line) under a header; "\tNone found.\n\r" when there are none.
    // After kListLimit lines, "More available (list too long)" when there are more.
    std::string ListPaths(TENT* entry, TLOC* fromLocation, TLOC* toLocation) const;
    // The first path that starts at entry (when it has one) or at fromLocation (when it
    // has none), ends at toLocation and passes object; none otherwise.
    TPTH* FindPathForACI(TENT* entry, TLOC* fromLocation, const TSSIObject* object,
                         TLOC* toLocation) const;
    // Links each berth and route along the paths to the object after it, for ARS. Paths
    // that turn round on the way (start and end directions differ) give no links. Run it
    // once the paths exist; running it again rebuilds the links rather than adding to
    // them.
    void InitPaths();
    // The links from a berth or a route, newest path first (empty for others).
    const std::vector<ARSLink>& ARSRoutes(const TSSIObject* from) const;
    // How many objects have links.
    int LinkedObjectCount() const { return static_cast<int>(links_.size()); }

  private:
    std::unordered_map<const TSSIObject*, std::vector<ARSLink>> links_;
};

}  // namespace kestra
