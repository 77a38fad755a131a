#include "radius/nas_port_pool.h"

void NasPortPool::Fill(std::int32_t count) {
    count_ = count > 0 ? static_cast<std::uint32_t>(count) : 0;
    nextFresh_ = 1;
    returned_.clear();
}

std::uint32_t NasPortPool::Take() {
    // The ports never taken were in the queue before any port given back.
    if (nextFresh_ <= count_) return nextFresh_++;
    if (returned_.empty()) return 0;
    const std::uint32_t port = returned_.front();
    returned_.pop_front();
    return port;
}

std::vector<std::uint32_t> NasPortPool::FreePorts() const {
    std::vector<std::uint32_t> ports;
    ports.reserve(FreeCount());
    for (std::uint32_t port = nextFresh_; port <= count_; ++port) ports.push_back(port);
    ports.insert(ports.end(), returned_.begin(), returned_.end());
    return ports;
}
