// The shell's Status-Server watch ("StatusServerInterval", radius/status_watch.h): started with
// the engine when the option is above 0, its socket watched like the engine's, ticked with it.
#pragma once

#include <string>

// After the engine's Init: starts the watch when the options ask for one (none: true). False
// with the reason in failureText when its socket cannot be opened or watched.
bool StartStatusWatch(std::string& failureText);
// Closes the watch's socket; nothing when none runs.
void StopStatusWatch();
// The main window's 100 ms timer.
void TickStatusWatch();
// A read notification: true when the descriptor was the watch's (and it has read it).
bool StatusWatchReadable(int fd);
// Whether a watch runs (it looks at the time at every tick).
bool StatusWatchRunning();
