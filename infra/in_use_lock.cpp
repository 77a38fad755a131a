#include "infra/in_use_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// A regular file to lock, opened without following a link or waiting on a FIFO; -1 when
// there is none. Made when missing only where asked.
int OpenRegular(const std::string& path, bool create) {
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = open(path.c_str(), O_RDWR | kFlags | (create ? O_CREAT : 0), 0644);
    if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_RDONLY | kFlags);  // someone else's
    if (fd < 0) return -1;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return fd;
    close(fd);
    return -1;
}

std::string HolderOf(int fd) {
    char text[24] = {};
    const ssize_t got = pread(fd, text, sizeof text - 1, 0);
    if (got <= 0) return {};
    std::string pid(text, static_cast<std::size_t>(got));
    pid = pid.substr(0, pid.find_first_not_of("0123456789"));
    return pid.empty() ? std::string() : " (process " + pid + ")";
}

}  // namespace

InUseLock::~InUseLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
}

bool InUseLock::Acquire(const std::string& file, std::string& reason) {
    // Names that lead to one file (symbolic links) share its lock.
    char resolved[PATH_MAX];
    const std::string target = realpath(file.c_str(), resolved) != nullptr ? resolved : file;
    int fd = OpenRegular(LockFileFor(target), true);
    const bool isLockFile = fd >= 0;
    if (!isLockFile) fd = OpenRegular(target, false);
    if (fd < 0) return true;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        if (held) reason = file + " is in use by another Pelvok" + (isLockFile ? HolderOf(fd) : "");
        close(fd);
        return !held;  // a file system without locks: run unlocked rather than not at all
    }
    if (isLockFile && ftruncate(fd, 0) == 0) {
        const std::string pid = std::to_string(getpid()) + "\n";
        (void)pwrite(fd, pid.data(), pid.size(), 0);
    }
    fd_ = fd;
    return true;
}
