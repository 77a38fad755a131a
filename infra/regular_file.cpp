#include "infra/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

std::string FileErrorText(int error) {
    switch (error) {
        case kNotRegularFileError: return "not a regular file";
        case kFileTooLargeError: return "too large for a file of its kind";
        default: return std::strerror(error);
    }
}

int OpenRegularFileForReading(const std::string& path, int* error, std::size_t maxBytes) {
    int reason = 0;
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer, for ever if none comes.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0) {
        reason = errno;
    } else if (fstat(fd, &info) != 0) {
        reason = errno;
    } else if (!S_ISREG(info.st_mode)) {
        reason = kNotRegularFileError;
    } else if (maxBytes != 0 && static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        reason = kFileTooLargeError;
    } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        reason = errno;
    }
    if (reason == 0) return fd;
    if (fd >= 0) close(fd);
    if (error != nullptr) *error = reason;
    return -1;
}

bool ReadRegularFile(const std::string& path, std::string* contents, std::size_t maxBytes,
                     int* error) {
    contents->clear();
    int reason = 0;
    const int fd = OpenRegularFileForReading(path, &reason, maxBytes);
    if (fd < 0) {
        if (error != nullptr) *error = reason;
        return false;
    }
    // The size was checked at the opening, but a file may grow while it is read.
    char chunk[8192];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            reason = errno;
            break;
        }
        if (maxBytes != 0 && contents->size() + static_cast<std::size_t>(got) > maxBytes) {
            reason = kFileTooLargeError;
            break;
        }
        contents->append(chunk, static_cast<std::size_t>(got));
    }
    close(fd);
    if (reason == 0) return true;
    contents->clear();
    if (error != nullptr) *error = reason;
    return false;
}
