#include "shell/simulator.h"

#include <cstdio>
#include <optional>

#include "infra/log.h"
#include "net/tls_settings.h"
#include "platform/platform.h"
#include "radius/radius_engine.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/pacing.h"
#include "shell/session_life_options.h"
#include "shell/shell_state.h"
#include "shell/status_watching.h"
#include "simulation/simulation.h"

namespace {
constexpr std::uint32_t kTimerId = 1;
constexpr std::uint32_t kTickPeriodMs = 100;

void SetFailure(std::string& failureText, const std::string& text) {
    failureText = text.substr(0, kFailureTextSize - 1);
}
}  // namespace

bool InitSimulator(std::string& failureText, ServerAddress server) {
    ShellState& shell = Shell();
    RadiusEngine& engine = *shell.engine;
    Platform& platform = CurrentPlatform();

    LoadOptions();
    UpdateTitle();

    const Options& options = shell.options;
    if (const std::string problem = LoadedOptionsProblem(); !problem.empty()) {
        SetFailure(failureText, problem);
        return false;
    }
    // An unknown host name or a malformed address reads as 0 ("" would be localhost).
    if (server == ServerAddress::Required && !UsableServerAddress(options.radHost)) {
        const std::optional<std::string>& host = shell.overrides.serverHost;
        SetFailure(failureText, host ? "no usable RADIUS server address: --server " + *host
                                     : "no usable RADIUS server address (RadHost) in " + GetOptionsFile());
        return false;
    }
    std::string problem;
    const std::optional<SocketAddress> source = ReadSourceAddress(options, problem);
    if (!source) {
        SetFailure(failureText, problem);
        return false;
    }
    std::optional<TlsSettings> tls = TlsTransport(options.tls, options.radHostText, problem);
    if (!problem.empty()) {
        SetFailure(failureText, problem);
        return false;
    }
    engine.SetTransport({.sockets = static_cast<std::size_t>(options.sockets), .source = *source, .tls = tls});
    engine.SetLargeNasPorts(options.largeNasPorts);
    engine.SetSessionLife(WithNasIdentity(options.sessionLife, options.nasName, options.radHost, *source));
    engine.SetWaitForId(options.waitForId);
    engine.SetDiscardUnauthenticated(options.discardUnauthenticated);
    engine.SetMillisecondEnds(options.pacing);
    if (!engine.Init(options.secret.c_str(), options.quorlanPort, options.radHost, options.numPorts,
                     options.resendAuth, options.authTimeout, options.resendAcct,
                     options.acctTimeout, options.authOnly, options.dictDir.c_str(),
                     options.dictName.c_str())) {
        SetFailure(failureText, engine.LastError());
        return false;
    }
    engine.SetMessageAuthenticator(options.messageAuthenticator);
    engine.SetRequireMessageAuthenticator(options.requireMessageAuthenticator);
    engine.SetTraceValueNames(options.traceValueNames);

    engine.SetLastSessionId(options.sessionId);
    engine.SetResultCallback(ShowOutputLine);
    engine.SetChallengeCallback(AskChallenge);
    engine.SetIncomingNotify(options.incomingNotify);

    shell.simulation->Attach(&engine, options.dictName.c_str());

    // Replies come back on the socket their request left on: every one is watched.
    for (const int socket : engine.Descriptors()) {
        const int result = platform.AsyncSelect(socket, shell.mainWindow, WM_SOCKET_NOTIFY, FD_READ);
        if (result != 0) {
            char text[64];
            std::snprintf(text, sizeof text, "WSAAsyncSelect() error = %d", result);
            SetFailure(failureText, text);
            return false;
        }
    }

    // A TLS connection made anew has a new descriptor: the watch follows it.
    engine.SetDescriptorChanged([window = shell.mainWindow](int oldFd, int newFd) {
        Platform& platform = CurrentPlatform();
        if (oldFd >= 0) platform.AsyncSelect(oldFd, window, WM_SOCKET_NOTIFY, 0);
        if (newFd >= 0 && platform.AsyncSelect(newFd, window, WM_SOCKET_NOTIFY, FD_READ) != 0)
            Log(0, "Cannot watch socket %d for replies", newFd);
    });

    if (!StartStatusWatch(failureText)) return false;

    shell.timerId = platform.SetTimer(shell.mainWindow, kTimerId, kTickPeriodMs);
    shell.pacedTimerDue.reset();
    // A paced tick reads the sockets first: when it comes within a millisecond, replies wait
    // for it instead of each waking the process. Their latency is the kernel's receive time.
    platform.SetTimerReadsSocketsWithin(options.pacing ? kPacedTickReadsSocketsWithinMs : 0);
    if (shell.timerId == 0) {
        SetFailure(failureText, "Failure creating a timer");
        return false;
    }
    return true;
}

bool ShutdownSimulator() {
    ShellState& shell = Shell();
    if (shell.engine != nullptr) shell.engine->StopAllSessions();
    if (shell.timerId != 0) CurrentPlatform().KillTimer(shell.mainWindow, shell.timerId);
    shell.timerId = 0;
    StopStatusWatch();
    switch (shell.optionsSaving) {
        case OptionsSaving::Everything: return SaveOptions();
        case OptionsSaving::SessionIdOnly: return SaveSessionId();
        case OptionsSaving::Nothing: break;
    }
    return true;
}
