// The two clocks of the system, behind one interface so tests can move time by hand.
#pragma once

#include <cstdint>
#include <ctime>

class Clock {
public:
    virtual ~Clock() = default;
    // Calendar seconds since 1970.
    virtual std::time_t Now() const = 0;
    // Calendar milliseconds since 1970; its seconds are those of Now().
    virtual std::int64_t NowMilliseconds() const { return std::int64_t{Now()} * 1000; }
    // Milliseconds since an arbitrary start; wraps, compare by unsigned subtraction.
    virtual std::uint32_t TickCount() const = 0;
    // Microseconds on the clock of TickCount; its low 32 bits wrap in 71 minutes.
    virtual std::uint64_t MonotonicMicroseconds() const { return std::uint64_t{TickCount()} * 1000; }
};

// The real clocks: time() and a monotonic millisecond count.
class SystemClock : public Clock {
public:
    std::time_t Now() const override;
    std::int64_t NowMilliseconds() const override;
    std::uint32_t TickCount() const override;
    std::uint64_t MonotonicMicroseconds() const override;
    static SystemClock& Instance();
};

// A clock that moves only when told to.
class ManualClock : public Clock {
public:
    explicit ManualClock(std::time_t now = 1767225600, std::uint32_t tick = 1000)
        : now_(now), tick_(tick) {}
    std::time_t Now() const override { return now_; }
    std::int64_t NowMilliseconds() const override { return std::int64_t{now_} * 1000 + subSecond_; }
    std::uint32_t TickCount() const override { return tick_; }
    std::uint64_t MonotonicMicroseconds() const override { return std::uint64_t{tick_} * 1000 + microseconds_; }
    void Set(std::time_t now) { now_ = now; }
    // Moves both clocks on together.
    void Advance(std::uint32_t milliseconds) {
        tick_ += milliseconds;
        subSecond_ += milliseconds;
        now_ += subSecond_ / 1000;
        subSecond_ %= 1000;
    }
    // Moves both clocks on by a time that need not be whole milliseconds.
    void AdvanceMicroseconds(std::uint64_t microseconds) {
        microseconds_ += microseconds;
        Advance(static_cast<std::uint32_t>(microseconds_ / 1000));
        microseconds_ %= 1000;
    }

private:
    std::time_t now_;
    std::uint32_t tick_;
    std::uint32_t subSecond_ = 0;
    std::uint64_t microseconds_ = 0;  // below one millisecond
};
