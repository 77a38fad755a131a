// SIGINT, SIGTERM and SIGHUP (the terminal went away) counted while a headless run lasts: the
// run looks at the count at every message, and the 100 ms timer bounds the wait for one. The
// handlers are installed without SA_RESTART, so a signal makes poll() return at once; the
// previous ones come back when the object goes.
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

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[std::size(kSignals)] {};
};
