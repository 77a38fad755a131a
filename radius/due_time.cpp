// When the engine next has something to do, for a caller that sleeps until then instead of
// ticking every 100 ms.
#include <algorithm>
#include <limits>

#include "infra/clock.h"
#include "radius/radius_engine.h"

namespace {

// Differences of wrapping millisecond ticks, as signed numbers.
std::int32_t TicksFrom(std::uint32_t from, std::uint32_t to) { return static_cast<std::int32_t>(to - from); }

}  // namespace

void RadiusEngine::NoteRetryDeadline(const Session& session) {
    if (session.state == SessionState::Active) return;
    const bool authenticating = session.state == SessionState::Authenticating;
    const std::uint64_t timeoutMs = std::uint64_t{authenticating ? authTimeout_ : acctTimeout_} * 1000u;
    // Tick finds a request timed out once more than its time-out has passed.
    const std::uint64_t afterMs = timeoutMs + 1;
    // Beyond half the tick's range a time-out cannot be told from one long past; such a
    // request is looked at again by the walks the next Tick makes anyway.
    if (afterMs > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return;
    const std::uint32_t deadline = session.lastSendTime + static_cast<std::uint32_t>(afterMs);
    if (!retryDeadline_ || TicksFrom(*retryDeadline_, deadline) < 0) retryDeadline_ = deadline;
}

// Tick finds a request timed out from its deadline on; without one noted, any may have.
bool RadiusEngine::TimeOutsMayBeDue() const {
    return !retryDeadline_ || TicksFrom(clock_.TickCount(), *retryDeadline_) <= 0;
}

std::optional<std::uint32_t> RadiusEngine::MillisecondsUntilDue() const {
    if (sessions_.WaitingMayProceed()) return 0;
    std::optional<std::uint32_t> until;
    const auto fold = [&until](std::int64_t milliseconds) {
        const auto clamped = static_cast<std::uint32_t>(
            std::clamp<std::int64_t>(milliseconds, 0, std::numeric_limits<std::int32_t>::max()));
        until = until ? std::min(*until, clamped) : clamped;
    };
    if (retryDeadline_) fold(TicksFrom(clock_.TickCount(), *retryDeadline_));
    // A session's stop is due once its end second has begun on the calendar clock (and, with
    // millisecond ends, its millisecond within it).
    if (const std::optional<std::int64_t> end = sessions_.EarliestDueMilliseconds())
        fold(*end - clock_.NowMilliseconds());
    return until;
}

bool RadiusEngine::OnlyWaitingAreDue() const {
    if (transport_.tls || !sessions_.WaitingMayProceed()) return false;
    if (retryDeadline_ && TimeOutsMayBeDue()) return false;
    const std::optional<std::int64_t> due = sessions_.EarliestDueMilliseconds();
    return !due || *due > DueClockMilliseconds();
}

std::int64_t RadiusEngine::DueClockMilliseconds() const {
    return millisecondEnds_ ? clock_.NowMilliseconds() : std::int64_t{clock_.Now()} * 1000 + 999;
}
