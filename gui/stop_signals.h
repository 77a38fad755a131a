// SIGTERM, SIGINT and SIGHUP for the interactive program. A signal handler may call hardly
// anything, Qt least of all: it only writes a byte to a pipe, whose other end the event loop
// watches (QSocketNotifier) and answers on the GUI thread.
#pragma once

// The read end of the pipe that gets one byte per SIGTERM, SIGINT or SIGHUP from the first
// call on (the handlers are installed then, once per process); -1 when no pipe can be made.
int StopSignalPipe();

// Takes every waiting byte out of the pipe (it is non-blocking).
void DrainStopSignalPipe(int fd);
