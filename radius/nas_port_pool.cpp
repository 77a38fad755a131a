#include "radius/nas_port_pool.h"

void NasPortPool::Fill(std::int32_t count) {
    for (std::int32_t port = 1; port <= count; ++port) free_.push_back(static_cast<std::uint16_t>(port));
}

std::uint16_t NasPortPool::Take() {
    if (free_.empty()) return 0;
    const std::uint16_t port = free_.front();
    free_.pop_front();
    return port;
}
