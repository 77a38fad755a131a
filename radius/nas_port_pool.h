// The free NAS ports: first in, first out, so a port given back is handed out again only
// after every port that was already waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

class NasPortPool {
public:
    // Ports 1 to count, in ascending order; a count below 1 leaves the pool empty.
    void Fill(std::int32_t count);
    // The port at the front, or 0 when the pool is empty.
    std::uint16_t Take();
    void GiveBack(std::uint16_t port) { free_.push_back(port); }
    std::size_t FreeCount() const { return free_.size(); }
    const std::deque<std::uint16_t>& FreePorts() const { return free_; }
    void Clear() { free_.clear(); }

private:
    std::deque<std::uint16_t> free_;
};
