#include "shell/service.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#ifdef PELVOK_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include "infra/log.h"
#include "platform/platform.h"
#include "shell/main_window.h"
#include "shell/shell_state.h"
#include "shell/simulator.h"
#include "simulation/simulation.h"

namespace {

// The service thread tells the waiting main thread that it has ended with this signal.
constexpr int kServiceEndedSignal = SIGUSR1;

std::mutex statusLock;
ServiceStatus lastStatus;
int exitCode = 0;

// ServiceThreadId: published by the service thread before anything can ask for a stop.
std::mutex threadLock;
std::condition_variable threadIdKnown;
std::atomic<ThreadId> serviceThreadId{0};
pthread_t serviceThread{};
bool serviceThreadStarted = false;
bool serviceThreadJoined = false;
pthread_t dispatcherThread{};
std::atomic<bool> serviceThreadEnded{false};

const char* NotificationFor(const ServiceStatus& status, std::string& text) {
    switch (status.currentState) {
        case kServiceStartPending: text = "STATUS=Starting"; break;
        case kServiceRunning: text = "READY=1\nSTATUS=Playing the simulation file"; break;
        case kServiceStopPending: text = "STOPPING=1\nSTATUS=Stopping"; break;
        default:
            text = status.win32ExitCode == kServiceSpecificError
                       ? "STATUS=Start failed with code " +
                             std::to_string(status.serviceSpecificExitCode)
                       : "STATUS=Stopped";
            break;
    }
    return text.c_str();
}

// 0 when there is nothing to tell or it was told; a negative errno when it failed.
int NotifyServiceManager(const ServiceStatus& status) {
#ifdef PELVOK_HAVE_SYSTEMD
    std::string text;
    return sd_notify(0, NotificationFor(status, text)) < 0 ? -errno : 0;
#else
    std::string text;
    NotificationFor(status, text);
    return 0;
#endif
}

void* ServiceThreadMain(void*) {
    ServiceMain(0, nullptr);
    serviceThreadEnded = true;
    pthread_kill(dispatcherThread, kServiceEndedSignal);
    return nullptr;
}

void WaitForServiceThread() {
    std::lock_guard<std::mutex> guard(threadLock);
    if (!serviceThreadStarted || serviceThreadJoined) return;
    if (pthread_equal(pthread_self(), serviceThread)) return;
    pthread_join(serviceThread, nullptr);
    serviceThreadJoined = true;
}

void PublishServiceThreadId() {
    std::lock_guard<std::mutex> guard(threadLock);
    serviceThreadId = CurrentPlatform().CurrentThreadId();
    threadIdKnown.notify_all();
}

// Takes back signals that arrived while they were blocked, so restoring the mask cannot end
// the process.
void DrainSignals(const sigset_t& signals) {
    timespec noWait{0, 0};
    while (sigtimedwait(&signals, nullptr, &noWait) > 0) {
    }
}

// The service's simulation file. A name too long for its buffer is refused: cut, it would
// name another file.
bool LoadServiceFile(ShellState& shell) {
    const std::string& name = shell.options.simFile;
    if (name.size() >= kOptionPathSize) {
        Log(1, "SimFile in the options file is longer than %zu characters", kOptionPathSize - 1);
        return false;
    }
    return shell.simulation->LoadFile(name.c_str());
}

}  // namespace

bool ReportServiceStatus(std::uint32_t state, std::uint32_t win32ExitCode,
                         std::uint32_t serviceSpecificExitCode) {
    ServiceStatus status;
    status.currentState = state;
    status.controlsAccepted =
        (state == kServiceStartPending || state == kServiceStopPending) ? 0 : kServiceAcceptStop;
    status.win32ExitCode = win32ExitCode;
    status.serviceSpecificExitCode = serviceSpecificExitCode;
    {
        std::lock_guard<std::mutex> guard(statusLock);
        lastStatus = status;
        if (state == kServiceStartPending) exitCode = 0;  // a new start
        if (win32ExitCode == kServiceSpecificError)
            exitCode = static_cast<int>(serviceSpecificExitCode);
    }
    int error = NotifyServiceManager(status);
    if (error < 0) {
        Log(0, "SetServiceStatus Failed : %d", -error);
        return false;
    }
    return true;
}

ServiceStatus LastServiceStatus() {
    std::lock_guard<std::mutex> guard(statusLock);
    return lastStatus;
}

int ServiceExitCode() {
    std::lock_guard<std::mutex> guard(statusLock);
    return exitCode;
}

bool StopService() {
    return CurrentPlatform().PostThreadMessage(serviceThreadId.load(), WM_CLOSE, 0, 0);
}

void ServiceCtrlHandler(std::uint32_t control) {
    switch (control) {
        case kServiceControlStop:
            ReportServiceStatus(kServiceStopPending, 0, 0);
            StopService();
            // The service thread's shutdown steps finish before the stop is reported, and so
            // before the process logs its stop line and deletes the Logger.
            WaitForServiceThread();
            Log(0, "Service stopped");
            if (LastServiceStatus().currentState != kServiceStopped)
                ReportServiceStatus(kServiceStopped, 0, 0);
            break;
        case kServiceControlPause:
        case kServiceControlContinue:
        case kServiceControlInterrogate:
            ReportServiceStatus(kServiceRunning, 0, 0);
            break;
        default:
            Log(0, "ServiceCtrlHandler: Unrecognized opcode %d", static_cast<int>(control));
            ReportServiceStatus(kServiceRunning, 0, 0);
            break;
    }
}

void ServiceMessageLoop() {
    Platform& platform = CurrentPlatform();
    serviceThreadId = platform.CurrentThreadId();
    Message message;
    while (platform.GetMessage(message)) {
        if (message.message == WM_CLOSE || !Shell().simulationRunning) break;
        platform.DispatchMessage(message);
    }
}

void ServiceMain(int, char**) {
    PublishServiceThreadId();
    ReportServiceStatus(kServiceStartPending, 0, 0);

    ShellState& shell = Shell();
    std::string failureText;
    std::uint32_t code = 0;
    if (CreateMainWindow() == kNoWindow) {
        failureText = "Error creating event window.";
        code = kNoEventWindow;
    } else if (!InitSimulator(failureText, ServerAddress::Required)) {
        code = kInitFailed;
    } else if (LoadServiceFile(shell)) {
        shell.simulationRunning = true;
        ReportServiceStatus(kServiceRunning, 0, 0);
        ServiceMessageLoop();
        ShutdownSimulator();
        // Played out or stopped: either way the service has ended.
        ReportServiceStatus(kServiceStopped, 0, 0);
    } else {
        failureText = shell.options.simFile.empty() ? "Missing Simulation file option."
                                                    : "Invalid Simulation file.";
        code = kNoSimulationFile;
    }

    if (code != 0) {
        ReportServiceStatus(kServiceStopped, kServiceSpecificError, code);
        Log(0, "Service Init failure: %s", failureText.c_str());
    }
    if (shell.mainWindow != kNoWindow) CurrentPlatform().DestroyWindow(shell.mainWindow);
    shell.mainWindow = kNoWindow;
}

bool RunService() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);  // the terminal of a service run from a shell went away
    sigaddset(&signals, kServiceEndedSignal);
    sigset_t previous;
    // Blocked before the service thread exists, so it inherits the mask: only this thread
    // takes the signals, in sigwait.
    pthread_sigmask(SIG_BLOCK, &signals, &previous);

    {
        std::lock_guard<std::mutex> guard(threadLock);
        serviceThreadId = 0;
        serviceThreadStarted = false;
        serviceThreadJoined = false;
    }
    serviceThreadEnded = false;
    dispatcherThread = pthread_self();
    int error = pthread_create(&serviceThread, nullptr, ServiceThreadMain, nullptr);
    if (error != 0) {
        Log(0, "%s: StartServiceCtrlDispatcher error = %d", kServiceName, error);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return false;
    }
    {
        std::unique_lock<std::mutex> guard(threadLock);
        serviceThreadStarted = true;
        threadIdKnown.wait(guard, [] { return serviceThreadId.load() != 0; });
    }

    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal == kServiceEndedSignal) {
            if (serviceThreadEnded) break;
            continue;  // not from the service thread
        }
        ServiceCtrlHandler(kServiceControlStop);
        break;
    }
    WaitForServiceThread();
    DrainSignals(signals);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
}
