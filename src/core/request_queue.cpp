#include "core/request_queue.h"

namespace kestra {

void RequestQueue::QueueRequest(const std::string& command, RouteRequestTarget* entrance,
                                RouteRequestTarget* exit, std::uint8_t flag) {
    QueueDelayedRequest(command, entrance, exit, flag, 1);
}

void RequestQueue::QueueDelayedRequest(const std::string& command, RouteRequestTarget* entrance,
                                       RouteRequestTarget* exit, std::uint8_t flag,
                                       std::int32_t delay) {
    requests_.push_back(TSSIRequest{command, entrance, exit, flag, delay});
}

void RequestQueue::RunRequests() {
    const std::size_t n = requests_.size();
    if (n == 0) return;
    std::vector<bool> done(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        TSSIRequest& r = requests_[i];
        if (--r.DelayCycles > 0) continue;
        done[i] = true;
        // Copy before calling out: the call may queue further requests.
        const TSSIRequest req = r;
        if (req.Entrance == nullptr) continue;
        if (req.Command == "QC") {
            req.Entrance->QueuedRouteRequest(req.Exit, req.Flag);
        } else if (req.Command == "QD") {
            req.Entrance->RequestCancel();
        }
    }
    std::size_t k = 0;
    std::size_t write = 0;
    for (std::size_t i = 0; i < requests_.size(); ++i, ++k) {
        if (k < n && done[k]) continue;
        if (write != i) requests_[write] = std::move(requests_[i]);
        ++write;
    }
    requests_.resize(write);
}

}  // namespace kestra
