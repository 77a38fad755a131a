// The service's status as a service manager knows it: the last state reported, told to
// systemd (sd_notify) when the process runs under it with NOTIFY_SOCKET set, and the exit
// status it leaves the process.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

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

// What systemd is told of a status ("READY=1\nSTATUS=...").
std::string ServiceNotification(const ServiceStatus& status);

// Reports come from both of the service's threads.
class ServiceStatusBoard {
public:
    // Records the status and tells systemd; false (and logged) when the notification fails.
    bool Report(std::uint32_t state, std::uint32_t win32ExitCode, std::uint32_t serviceSpecificExitCode);
    ServiceStatus Last() const;
    // The service-specific code of a failed start since the last start pending, 0 otherwise.
    int ExitCode() const;

private:
    mutable std::mutex lock_;
    ServiceStatus last_;
    int exitCode_ = 0;
};
