#include "radius/request_id_pool.h"

std::uint16_t RequestIdPool::Take() {
    for (int probe = 0; probe < kMaxId; ++probe) {
        if (++last_ > kMaxId) last_ = 1;
        if (!inUse_[last_]) {
            inUse_[last_] = true;
            ++inUseCount_;
            return static_cast<std::uint16_t>(last_);
        }
    }
    return 0;
}

void RequestIdPool::GiveBack(std::uint16_t id) {
    if (id < 1 || id > kMaxId || !inUse_[id]) return;
    inUse_[id] = false;
    --inUseCount_;
}
