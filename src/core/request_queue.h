#pragma once
// Deferred route requests, run once per major cycle after the lists' fast cycle.

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

// What a queued request needs of a signal: the route request from it to an exit,
// and the cancel request. Signals implement it.
class RouteRequestTarget {
public:
    virtual ~RouteRequestTarget() = default;
    virtual void QueuedRouteRequest(RouteRequestTarget* exit, std::uint8_t flag) = 0;
    virtual void RequestCancel() = 0;
};

struct TSSIRequest {
    std::string Command;  // "QC" set a route, "QD" cancel the route
    RouteRequestTarget* Entrance = nullptr;
    RouteRequestTarget* Exit = nullptr;
    std::uint8_t Flag = 0;
    std::int32_t DelayCycles = 1;
};

class RequestQueue {
public:
    void QueueRequest(const std::string& command, RouteRequestTarget* entrance,
                      RouteRequestTarget* exit, std::uint8_t flag);
    void QueueDelayedRequest(const std::string& command, RouteRequestTarget* entrance,
                             RouteRequestTarget* exit, std::uint8_t flag, std::int32_t delay);
    // One pass: requests whose delay has run out are carried out, in queue order.
    // Requests added during the pass wait for the next one.
    void RunRequests();
    int Count() const { return static_cast<int>(requests_.size()); }
    const TSSIRequest& At(int i) const { return requests_[i]; }
    void Clear() { requests_.clear(); }

private:
    std::vector<TSSIRequest> requests_;
};

}  // namespace kestra
