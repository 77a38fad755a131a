#include "shell/service_status.h"

#include <cerrno>

#ifdef PELVOK_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include "infra/log.h"

namespace {

// 0 when there is nothing to tell or it was told; a negative errno when it failed.
int NotifyServiceManager(const ServiceStatus& status) {
    const std::string text = ServiceNotification(status);
#ifdef PELVOK_HAVE_SYSTEMD
    return sd_notify(0, text.c_str()) < 0 ? -errno : 0;
#else
    return 0;
#endif
}

}  // namespace

std::string ServiceNotification(const ServiceStatus& status) {
    switch (status.currentState) {
        case kServiceStartPending: return "STATUS=Starting";
        case kServiceRunning: return "READY=1\nSTATUS=Playing the simulation file";
        case kServiceStopPending: return "STOPPING=1\nSTATUS=Stopping";
        default:
            return status.win32ExitCode == kServiceSpecificError
                       ? "STATUS=Start failed with code " + std::to_string(status.serviceSpecificExitCode)
                       : "STATUS=Stopped";
    }
}

bool ServiceStatusBoard::Report(std::uint32_t state, std::uint32_t win32ExitCode,
                                std::uint32_t serviceSpecificExitCode) {
    ServiceStatus status;
    status.currentState = state;
    status.controlsAccepted = (state == kServiceStartPending || state == kServiceStopPending) ? 0 : kServiceAcceptStop;
    status.win32ExitCode = win32ExitCode;
    status.serviceSpecificExitCode = serviceSpecificExitCode;
    {
        std::lock_guard<std::mutex> guard(lock_);
        last_ = status;
        if (state == kServiceStartPending) exitCode_ = 0;  // a new start
        if (win32ExitCode == kServiceSpecificError) exitCode_ = static_cast<int>(serviceSpecificExitCode);
    }
    const int error = NotifyServiceManager(status);
    if (error < 0) {
        Log(0, "SetServiceStatus Failed : %d", -error);
        return false;
    }
    return true;
}

ServiceStatus ServiceStatusBoard::Last() const {
    std::lock_guard<std::mutex> guard(lock_);
    return last_;
}

int ServiceStatusBoard::ExitCode() const {
    std::lock_guard<std::mutex> guard(lock_);
    return exitCode_;
}
