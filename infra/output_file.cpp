#include "infra/output_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "infra/atomic_file.h"
#include "infra/path_text.h"
#include "infra/regular_file.h"

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The standard stream (1 or 2) that is this very file, else -1.
int StandardStreamOf(const struct stat& file) {
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat stream {};
        if (fstat(fd, &stream) == 0 && SameFile(stream, file)) return fd;
    }
    return -1;
}

bool CanCreateIn(const std::string& folder, std::string& reason) {
    if (access(folder.c_str(), W_OK | X_OK) == 0) return true;
    reason = "cannot make a file in " + folder + ": " + std::strerror(errno);
    return false;
}

// Waits (bounded by the deadline) until fd takes more, for descriptors opened non-blocking.
bool WriteAllBefore(int fd, std::string_view data, std::chrono::steady_clock::time_point deadline,
                    std::string& reason) {
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written >= 0) {
            data.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) {
            reason = std::strerror(errno);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLOUT, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) == 0) {
            reason = "the reader did not take it within " + std::to_string(kOutputWaitMs / 1000) + " s";
            return false;
        }
    }
    return true;
}

bool WriteThrough(const std::string& path, int fd, std::string_view text, std::string& reason) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kOutputWaitMs);
    if (fd >= 0) {
        std::fflush(fd == STDOUT_FILENO ? stdout : stderr);  // what was printed comes first
        return WriteAllBefore(fd, text, deadline, reason);
    }
    // Never created or truncated: a device or FIFO is written as it is. Non-blocking, so a
    // FIFO without a reader fails (ENXIO) instead of holding the program.
    const int opened = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (opened < 0) {
        reason = errno == ENXIO ? "no process reads from it" : std::strerror(errno);
        return false;
    }
    // What was opened is what was looked at, not something put in its place meanwhile.
    struct stat file {};
    if (fstat(opened, &file) != 0 || !(S_ISCHR(file.st_mode) || S_ISFIFO(file.st_mode))) {
        close(opened);
        reason = "it changed into something else while it was being opened";
        return false;
    }
    const bool written = WriteAllBefore(opened, text, deadline, reason);
    if (close(opened) != 0 && written) {
        reason = std::strerror(errno);
        return false;
    }
    return written;
}

}  // namespace

bool CheckOutputPath(const std::string& path, OutputRoute& route, std::string& reason) {
    route = OutputRoute{};
    if (path == "-") {
        route = {OutputRoute::StandardStream, STDOUT_FILENO};
        return true;
    }
    struct stat file {};
    if (stat(path.c_str(), &file) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT && lstat(path.c_str(), &link) == 0) {
            reason = "a symbolic link whose target does not exist";
            return false;
        }
        if (error != ENOENT) {
            reason = std::strerror(error);
            return false;
        }
        return CanCreateIn(FolderOf(path), reason);  // a new regular file
    }
    if (const int fd = StandardStreamOf(file); fd >= 0) {
        route = {OutputRoute::StandardStream, fd};
        return true;
    }
    if (S_ISREG(file.st_mode)) {
        char target[PATH_MAX];
        return CanCreateIn(FolderOf(realpath(path.c_str(), target) ? target : path), reason);
    }
    if (S_ISCHR(file.st_mode) || S_ISFIFO(file.st_mode)) {
        route.kind = OutputRoute::WriteThrough;
        if (access(path.c_str(), W_OK) == 0) return true;
        reason = std::strerror(errno);
        return false;
    }
    reason = S_ISDIR(file.st_mode) ? "a folder"
                                   : "neither a regular file, a character device nor a FIFO";
    return false;
}

bool WriteOutputFile(const std::string& path, std::string_view text, std::string& reason) {
    OutputRoute route;
    if (!CheckOutputPath(path, route, reason)) return false;
    if (route.kind != OutputRoute::Replace) return WriteThrough(path, route.streamFd, text, reason);
    const ReplaceResult replaced = ReplaceFileContents(path, text, {}, 0666);
    if (replaced.Ok()) return true;
    reason = FileErrorText(replaced.error);
    return false;
}
