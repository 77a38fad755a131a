// The free NAS ports: first in, first out, so a port given back is handed out again only
// after every port that was already waiting. Ports never handed out are not stored, so a pool
// of a million ports costs nothing until they are used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class NasPortPool {
public:
    // Ports 1 to count free, in ascending order, and no other; a count below 1 leaves the pool
    // empty.
    void Fill(std::int32_t count);
    // The port at the front, or 0 when the pool is empty.
    std::uint32_t Take();
    void GiveBack(std::uint32_t port) { returned_.push_back(port); }
    std::size_t FreeCount() const { return (count_ + 1 - nextFresh_) + returned_.size(); }
    // Every free port in the order they will be handed out.
    std::vector<std::uint32_t> FreePorts() const;
    // The ports handed out so far are those below this one; it and those above it never were.
    std::uint32_t NeverTakenFrom() const { return nextFresh_; }
    // The ports given back, in the order they will be handed out again.
    const std::deque<std::uint32_t>& GivenBack() const { return returned_; }

private:
    std::uint32_t count_ = 0;
    std::uint32_t nextFresh_ = 1;
    std::deque<std::uint32_t> returned_;
};
