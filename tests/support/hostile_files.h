// The hostile things of the file-system tests, made in a test's own temporary folder: FIFOs,
// device nodes (root only: mknod), and a stretch of running as an ordinary user, under whom
// permission bits hold (they do not hold for root).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>

namespace hostile {

inline bool IsRoot() { return geteuid() == 0; }

inline bool MakeFifo(const std::string& path) { return mkfifo(path.c_str(), 0666) == 0; }

// A node of the machine's /dev/null (1, 3), /dev/zero (1, 5) or /dev/full (1, 7) kind, or a
// block device, at path; only root may make one.
inline bool MakeDevice(const std::string& path, unsigned minor, bool block = false) {
    return mknod(path.c_str(), (block ? S_IFBLK : S_IFCHR) | 0666, makedev(block ? 7 : 1, minor)) == 0;
}
inline constexpr unsigned kNull = 3, kZero = 5, kFull = 7;

inline mode_t TypeOf(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

// While alive, a root process acts as the user nobody (when not root, nothing changes).
class AsNobody {
public:
    AsNobody() : wasRoot_(IsRoot()) {
        if (wasRoot_) (void)(setegid(65534) + seteuid(65534));
    }
    ~AsNobody() {
        if (wasRoot_) (void)(seteuid(0) + setegid(0));
    }
    AsNobody(const AsNobody&) = delete;
    AsNobody& operator=(const AsNobody&) = delete;

private:
    bool wasRoot_;
};

// A reader of a FIFO for as long as it lives (opened without waiting for a writer).
class FifoReader {
public:
    explicit FifoReader(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_NONBLOCK)) {}
    ~FifoReader() {
        if (fd_ >= 0) close(fd_);
    }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;
    std::string Take() {
        std::string text;
        char chunk[4096];
        for (ssize_t got; (got = read(fd_, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(got));
        return text;
    }

private:
    int fd_;
};

}  // namespace hostile
