#include "shell/service.h"

#include <signal.h>

#include <string>
#include <system_error>

#include "infra/log.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/pacing.h"
#include "shell/shell_state.h"
#include "shell/simulator.h"
#include "simulation/simulation.h"

namespace {

// The service thread tells the waiting dispatcher thread that it has ended with this signal.
constexpr int kServiceEndedSignal = SIGUSR1;

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

Service::~Service() { WaitForServiceThread(); }

void Service::PublishServiceThreadId() {
    std::lock_guard<std::mutex> guard(threadLock_);
    serviceThreadId_ = CurrentPlatform().CurrentThreadId();
    threadIdKnown_.notify_all();
}

void Service::WaitForServiceThread() {
    std::lock_guard<std::mutex> guard(threadLock_);
    if (!serviceThread_.joinable() || serviceThread_.get_id() == std::this_thread::get_id()) return;
    serviceThread_.join();
}

bool Service::StopService() {
    return CurrentPlatform().PostThreadMessage(serviceThreadId_.load(), WM_CLOSE, 0, 0);
}

void Service::ServiceCtrlHandler(std::uint32_t control) {
    switch (control) {
        case kServiceControlStop:
            ReportServiceStatus(kServiceStopPending, 0, 0);
            StopService();
            // The service thread's shutdown steps finish before the stop is reported, and so
            // before the process logs its stop line and deletes the Logger.
            WaitForServiceThread();
            Log(0, "Service stopped");
            if (LastServiceStatus().currentState != kServiceStopped) ReportServiceStatus(kServiceStopped, 0, 0);
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

void Service::ServiceMessageLoop() {
    Platform& platform = CurrentPlatform();
    serviceThreadId_ = platform.CurrentThreadId();
    Message message;
    while (platform.GetMessage(message)) {
        if (message.message == WM_CLOSE || !Shell().simulationRunning) break;
        platform.DispatchMessage(message);
    }
}

void Service::ServiceMain() {
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
        RearmPacedTimer();
        ReportServiceStatus(kServiceRunning, 0, 0);
        ServiceMessageLoop();
        ShutdownSimulator();
        // Played out or stopped: either way the service has ended.
        ReportServiceStatus(kServiceStopped, 0, 0);
    } else {
        failureText = shell.options.simFile.empty() ? "Missing Simulation file option." : "Invalid Simulation file.";
        code = kNoSimulationFile;
    }

    if (code != 0) {
        ReportServiceStatus(kServiceStopped, kServiceSpecificError, code);
        Log(0, "Service Init failure: %s", failureText.c_str());
    }
    DestroyMainWindow();
}

bool Service::Run() {
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

    serviceThreadId_ = 0;
    serviceThreadEnded_ = false;
    dispatcherThread_ = pthread_self();
    {
        std::unique_lock<std::mutex> guard(threadLock_);
        try {
            serviceThread_ = std::thread([this] {
                ServiceMain();
                serviceThreadEnded_ = true;
                pthread_kill(dispatcherThread_, kServiceEndedSignal);
            });
        } catch (const std::system_error& error) {
            Log(0, "%s: StartServiceCtrlDispatcher error = %d", kServiceName, error.code().value());
            pthread_sigmask(SIG_SETMASK, &previous, nullptr);
            return false;
        }
        threadIdKnown_.wait(guard, [this] { return serviceThreadId_.load() != 0; });
    }

    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal == kServiceEndedSignal) {
            if (serviceThreadEnded_) break;
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
