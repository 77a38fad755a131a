// SIGINT, SIGTERM and SIGHUP (the terminal went away) counted while a headless run lasts: the
// run looks at the count at every message. The handler also writes a byte into a pipe whose
// read end the run's loop watches like a socket, so a signal that comes between the loop's
// look at the count and its wait still ends the wait, however long the wait was to be. The
// handlers are installed without SA_RESTART; the previous ones come back when the object goes.
#pragma once

#include <signal.h>

#include <iterator>

class StopSignalCount {
public:
    StopSignalCount();
    ~StopSignalCount();
    StopSignalCount(const StopSignalCount&) = delete;
    StopSignalCount& operator=(const StopSignalCount&) = delete;

    // The signals that came since the object was made.
    int Count() const;
    // The pipe's read end: readable once a signal came (-1 when no pipe could be made).
    int WakeFd() const { return wakeRead_; }
    // Empties the pipe after its readiness was told, so it is not told again.
    void TakeWake() const;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[std::size(kSignals)] {};
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
};
