#include "infra/clock.h"

#include <chrono>

std::time_t SystemClock::Now() const { return std::time(nullptr); }

std::uint32_t SystemClock::TickCount() const {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

SystemClock& SystemClock::Instance() {
    static SystemClock clock;
    return clock;
}
