#include "shell/pacing.h"

#include <poll.h>

#include <algorithm>
#include <vector>

#include "infra/clock.h"
#include "platform/platform.h"
#include "radius/radius_engine.h"
#include "shell/shell_state.h"
#include "shell/status_watching.h"
#include "simulation/simulation.h"

std::uint32_t PacedDelayMs(const RadiusEngine& engine, const Simulation* playing, const Clock& clock,
                           std::uint32_t limitMs) {
    std::uint32_t delay = limitMs;
    if (const std::optional<std::uint32_t> engineDue = engine.MillisecondsUntilDue())
        delay = std::min(delay, *engineDue);
    if (playing != nullptr) {
        if (const std::optional<std::int64_t> lineDue = playing->NextDueMilliseconds()) {
            const std::int64_t until = *lineDue - clock.NowMilliseconds();
            delay = static_cast<std::uint32_t>(std::clamp<std::int64_t>(until, 0, delay));
        }
    }
    return delay;
}

void PacedEngineTick(RadiusEngine& engine) {
    if (engine.OverTls()) {
        // A TLS connection may hold records it read ahead, which poll cannot see.
        for (const int fd : engine.Descriptors()) engine.OnReadable(fd);
    } else {
        // One poll tells which sockets have datagrams waiting, instead of a failed receive on
        // every idle one. An error or a closed descriptor is read as before, to be reported.
        static std::vector<pollfd> watched;
        watched.clear();
        for (const int fd : engine.Descriptors()) watched.push_back(pollfd{fd, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), 0) > 0) {
            for (const pollfd& socket : watched)
                if (socket.revents != 0) engine.OnReadable(socket.fd);
        }
    }
    if (engine.MillisecondsUntilDue() != 0u) return;
    if (engine.OnlyWaitingAreDue()) {
        engine.TickWaiting();
    } else {
        engine.Tick();
    }
}

namespace {

// The longest the timer may sleep now (see pacing.h).
std::uint32_t PacedSleepLimitMs(const ShellState& shell, std::uint32_t now) {
    std::uint32_t limit = shell.pacedSleepLimitMs;
    if (StatusWatchRunning() || shell.engine->OverTls()) limit = std::min(limit, kLongestPacedSleepMs);
    if (shell.optionsSaving != OptionsSaving::Nothing && shell.sessionIdSaved != CurrentSessionCounter()) {
        const std::uint32_t since = now - shell.lastSessionIdSave;
        limit = std::min(limit, since > kSessionIdSaveIntervalMs ? 0 : kSessionIdSaveIntervalMs + 1 - since);
    }
    return limit;
}

}  // namespace

void RearmPacedTimer(PacedTimer timer) {
    ShellState& shell = Shell();
    if (!shell.options.pacing || shell.timerId == 0 || shell.engine == nullptr) return;
    const Clock& clock = shell.clock != nullptr ? *shell.clock : SystemClock::Instance();
    const Simulation* playing = shell.simulationRunning ? shell.simulation : nullptr;
    const std::uint32_t now = clock.TickCount();
    const std::uint32_t delay = PacedDelayMs(*shell.engine, playing, clock, PacedSleepLimitMs(shell, now));
    const std::uint32_t due = now + delay;
    const bool sooner = !shell.pacedTimerDue || static_cast<std::int32_t>(due - *shell.pacedTimerDue) < 0;
    if (timer == PacedTimer::Running && !sooner) return;
    CurrentPlatform().SetTimer(shell.mainWindow, shell.timerId, delay);
    shell.pacedTimerDue = due;
}
