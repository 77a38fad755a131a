#include "infra/clock.h"

#include <algorithm>
#include <chrono>

std::time_t SystemClock::Now() const { return std::time(nullptr); }

std::int64_t SystemClock::NowMilliseconds() const {
    using namespace std::chrono;
    // time() may lag the fine clock by a scheduler tick: a second never ends here before it
    // has ended there.
    const std::int64_t fine = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::int64_t secondStart = std::int64_t{Now()} * 1000;
    return std::clamp(fine, secondStart, secondStart + 999);
}

std::uint32_t SystemClock::TickCount() const {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint64_t SystemClock::MonotonicMicroseconds() const {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

SystemClock& SystemClock::Instance() {
    static SystemClock clock;
    return clock;
}
