// RADIUS request identifiers 1 to 255 (0 means "none"), handed out round robin after the one
// handed out last, skipping those in use.
#pragma once

#include <array>
#include <cstdint>

class RequestIdPool {
public:
    static constexpr int kMaxId = 255;

    // The next free identifier after the last one handed out, or 0 when all 255 are in use.
    // At most 255 probes.
    std::uint16_t Take();
    // Identifier 0 (and anything out of range) has no flag: giving it back does nothing.
    void GiveBack(std::uint16_t id);
    bool InUse(std::uint16_t id) const { return id >= 1 && id <= kMaxId && inUse_[id]; }
    std::uint16_t LastHandedOut() const { return static_cast<std::uint16_t>(last_); }
    int InUseCount() const { return inUseCount_; }

private:
    std::int16_t last_ = 0;
    int inUseCount_ = 0;
    std::array<bool, kMaxId + 1> inUse_{};  // index 0 unused
};
