// Service mode: the program plays one simulation file unattended, with its main window never
// shown. A service thread does all the work (window, set-up, loop, shutdown); the calling
// thread stands in for the service manager's dispatcher: it waits for SIGTERM, SIGINT or
// SIGHUP (the stop control) and for the service thread to end by itself. The status goes to systemd
// (sd_notify) when the process runs under it with NOTIFY_SOCKET set.
#pragma once

#include <cstdint>

inline constexpr const char* kServiceName = "Quorlan Pelvok";

// Service states and controls, numbered as service managers number them.
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kServiceControlStop = 1;
inline constexpr std::uint32_t kServiceControlPause = 2;
inline constexpr std::uint32_t kServiceControlContinue = 3;
inline constexpr std::uint32_t kServiceControlInterrogate = 4;
inline constexpr std::uint32_t kServiceTypeOwnProcess = 16;
inline constexpr std::uint32_t kServiceAcceptStop = 1;
inline constexpr std::uint32_t kServiceSpecificError = 1066;

// Service-specific codes of a failed start (also the process's exit status).
inline constexpr std::uint32_t kNoEventWindow = 1;
inline constexpr std::uint32_t kInitFailed = 2;
inline constexpr std::uint32_t kNoSimulationFile = 3;

struct ServiceStatus {
    std::uint32_t serviceType = kServiceTypeOwnProcess;
    std::uint32_t currentState = kServiceStopped;
    std::uint32_t controlsAccepted = 0;
    std::uint32_t win32ExitCode = 0;
    std::uint32_t serviceSpecificExitCode = 0;
    std::uint32_t checkPoint = 0;
    std::uint32_t waitHint = 0;
};

// Runs the service to its end: starts the service thread, answers stop controls, waits for
// the thread. False when the service thread cannot be started.
bool RunService();
// The service thread's body: hidden window, set-up, the simulation file, the loop, shutdown.
void ServiceMain(int argc, char** argv);
// Records the status and tells systemd; false when the notification fails.
bool ReportServiceStatus(std::uint32_t state, std::uint32_t win32ExitCode,
                         std::uint32_t serviceSpecificExitCode);
// The stop control (1) ends the service and returns once its shutdown steps are done; pause,
// continue and interrogate are answered with running.
void ServiceCtrlHandler(std::uint32_t control);
// The service thread's loop: ends on WM_CLOSE or at the first message after the simulation
// has run to the end of its file.
void ServiceMessageLoop();
// Posts WM_CLOSE to the service thread's queue.
bool StopService();

ServiceStatus LastServiceStatus();
// The process's exit status after the service: the service-specific code of a failed start,
// 0 otherwise.
int ServiceExitCode();
