#include "gui/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace {

int pipeEnds[2] = {-1, -1};

void OnStopSignal(int signal) {
    const int saved = errno;  // the interrupted code may be looking at errno
    const char byte = static_cast<char>(signal);
    (void)write(pipeEnds[1], &byte, 1);  // a full pipe has a close waiting already
    errno = saved;
}

int MakePipe() {
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
    return pipeEnds[0];
}

}  // namespace

int StopSignalPipe() {
    static const int readEnd = MakePipe();
    return readEnd;
}

void DrainStopSignalPipe(int fd) {
    char bytes[64];
    while (read(fd, bytes, sizeof bytes) > 0) {
    }
}
