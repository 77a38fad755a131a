#include "shell/stop_signal_count.h"

namespace {

volatile sig_atomic_t stopSignals = 0;

void OnStopSignal(int) { stopSignals = stopSignals + 1; }

}  // namespace

StopSignalCount::StopSignalCount() {
    stopSignals = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: poll() returns at once
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

StopSignalCount::~StopSignalCount() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
}

int StopSignalCount::Count() const { return stopSignals; }
