// Service mode: the program plays one simulation file unattended, with its main window never
// shown. A service thread does all the work (window, set-up, loop, shutdown); the calling
// thread stands in for the service manager's dispatcher: it waits for SIGTERM, SIGINT or
// SIGHUP (the stop control) and for the service thread to end by itself. The status goes to
// systemd (service_status.h).
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/platform.h"
#include "shell/service_status.h"

inline constexpr const char* kServiceName = "Quorlan Pelvok";

// One run of the service; it owns the service thread, which never outlives it.
class Service {
public:
    Service() = default;
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Runs the service to its end: starts the service thread, answers stop controls, waits
    // for the thread. False when the service thread cannot be started.
    bool Run();

    // The service thread's body: hidden window, set-up, the simulation file, the loop, shutdown.
    void ServiceMain();
    // The stop control (1) ends the service and returns once its shutdown steps are done;
    // pause, continue and interrogate are answered with running.
    void ServiceCtrlHandler(std::uint32_t control);
    // The service thread's loop: ends on WM_CLOSE or at the first message after the simulation
    // has run to the end of its file.
    void ServiceMessageLoop();
    // Posts WM_CLOSE to the service thread's queue.
    bool StopService();

    // Records the status and tells systemd; false when the notification fails.
    bool ReportServiceStatus(std::uint32_t state, std::uint32_t win32ExitCode,
                             std::uint32_t serviceSpecificExitCode) {
        return status_.Report(state, win32ExitCode, serviceSpecificExitCode);
    }
    ServiceStatus LastServiceStatus() const { return status_.Last(); }
    // The process's exit status after the service: the service-specific code of a failed
    // start, 0 otherwise.
    int ServiceExitCode() const { return status_.ExitCode(); }

private:
    // The platform's number of the service thread, known before anything can ask for a stop.
    void PublishServiceThreadId();
    // Joins the service thread (not from itself), once.
    void WaitForServiceThread();

    ServiceStatusBoard status_;

    std::mutex threadLock_;
    std::condition_variable threadIdKnown_;
    std::atomic<ThreadId> serviceThreadId_{0};
    std::thread serviceThread_;
    // The thread waiting for signals, and whether the service thread has told it it ended.
    pthread_t dispatcherThread_{};
    std::atomic<bool> serviceThreadEnded_{false};
};
