#include "shell/stop_signal_count.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

volatile sig_atomic_t stopSignals = 0;
volatile sig_atomic_t wakeDescriptor = -1;

void OnStopSignal(int) {
    const int saved = errno;  // the interrupted code may be about to read it
    stopSignals = stopSignals + 1;
    if (wakeDescriptor >= 0) {
        const char octet = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeDescriptor, &octet, 1);  // full: one is there already
    }
    errno = saved;
}

}  // namespace

StopSignalCount::StopSignalCount() {
    stopSignals = 0;
    if (int ends[2]; ::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead_ = ends[0];
        wakeWrite_ = ends[1];
        wakeDescriptor = wakeWrite_;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: poll() returns at once
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

StopSignalCount::~StopSignalCount() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    wakeDescriptor = -1;
    if (wakeRead_ >= 0) ::close(wakeRead_);
    if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

int StopSignalCount::Count() const { return stopSignals; }

void StopSignalCount::TakeWake() const {
    char octets[64];
    while (wakeRead_ >= 0 && ::read(wakeRead_, octets, sizeof octets) > 0) {
    }
}
