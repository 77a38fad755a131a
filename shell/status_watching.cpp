#include "shell/status_watching.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "infra/clock.h"
#include "net/socket_address.h"
#include "platform/platform.h"
#include "radius/radius_engine.h"
#include "radius/random_source.h"
#include "radius/status_watch.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/shell_state.h"

namespace {
// RFC 2865 section 3: "The officially assigned port number for RADIUS is 1812."
constexpr std::uint16_t kRadiusUdpPort = 1812;

std::unique_ptr<StatusWatch> watch;
}  // namespace

bool StartStatusWatch(std::string& failureText) {
    StopStatusWatch();
    ShellState& shell = Shell();
    const Options& options = shell.options;
    if (options.statusServerInterval <= 0 || shell.engine == nullptr) return true;
    const RadiusEngine& engine = *shell.engine;
    const Clock& clock = shell.clock != nullptr ? *shell.clock : SystemClock::Instance();
    auto started = std::make_unique<StatusWatch>(clock, CryptoRandomSource::Instance(), std::make_unique<UdpSocket>());
    StatusWatch::Settings settings;
    settings.bind = engine.BindAddress();
    // Over TLS the server port is the TLS one; the probes go to the server's UDP port.
    const std::uint16_t udpPort = engine.OverTls() ? LookupServicePort("radius", "udp") : engine.ServerPort();
    settings.server = engine.Server().WithPort(udpPort != 0 ? udpPort : kRadiusUdpPort);
    settings.secret = engine.UdpSecret();
    settings.intervalMs = static_cast<std::uint32_t>(std::min(options.statusServerInterval, 86400)) * 1000;
    settings.timeoutMs = std::clamp<std::uint32_t>(options.authTimeout, 1, 3600) * 1000;
    int error = 0;
    if (!started->Start(settings, ShowOutputLine, error)) {
        failureText = std::string("Status-Server socket: ") + std::strerror(error);
        return false;
    }
    if (const int result = CurrentPlatform().AsyncSelect(started->Fd(), shell.mainWindow, WM_SOCKET_NOTIFY, FD_READ);
        result != 0) {
        failureText = "WSAAsyncSelect() error = " + std::to_string(result);
        return false;
    }
    watch = std::move(started);
    return true;
}

void StopStatusWatch() {
    if (watch) CurrentPlatform().AsyncSelect(watch->Fd(), Shell().mainWindow, 0, 0);
    watch.reset();
}

void TickStatusWatch() {
    if (!watch) return;
    // A paced loop under load leaves the sockets to its ticks (see SetTimerReadsSocketsWithin).
    if (Shell().options.pacing && watch->Awaiting()) watch->OnReadable();
    watch->Tick();
}

bool StatusWatchRunning() { return watch != nullptr; }

bool StatusWatchReadable(int fd) {
    if (!watch || fd != watch->Fd()) return false;
    watch->OnReadable();
    return true;
}
