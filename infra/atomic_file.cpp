#include "infra/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "infra/path_text.h"

namespace {

std::atomic<unsigned> temporaryCounter{0};

// The file a write should land in: the target of a symbolic link, else the path itself.
std::string ResolveTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    }
    return path;
}

int OpenTemporary(const std::string& target, const std::string& requested, std::string* used) {
    if (!requested.empty()) {
        *used = requested;
        return open(requested.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                    0666);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        *used = target + ".tmp." + std::to_string(getpid()) + "." +
                std::to_string(temporaryCounter.fetch_add(1));
        const int fd = open(used->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // best effort: the rename is already done
    close(fd);
}

}  // namespace

ReplaceResult ReplaceFileContents(const std::string& path, std::string_view contents,
                                  const std::string& temporaryPath) {
    ReplaceResult result;
    // A named temporary file sits beside path itself; a unique one beside a link's target.
    const std::string target = temporaryPath.empty() ? ResolveTarget(path) : path;
    const int fd = OpenTemporary(target, temporaryPath, &result.temporaryPath);
    if (fd < 0) {
        result.failedAt = ReplaceStep::CreateTemporary;
        result.error = errno;
        return result;
    }
    struct stat existing {};
    const bool hadFile = stat(target.c_str(), &existing) == 0;
    bool written = WriteAll(fd, contents);
    if (written && hadFile) written = fchmod(fd, existing.st_mode & 07777) == 0;
    if (written) written = fsync(fd) == 0;
    int error = written ? 0 : errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(result.temporaryPath.c_str());
        result.failedAt = ReplaceStep::WriteTemporary;
        result.error = error;
        return result;
    }
    if (rename(result.temporaryPath.c_str(), target.c_str()) != 0) {
        result.error = errno;
        unlink(result.temporaryPath.c_str());
        result.failedAt = ReplaceStep::MoveIntoPlace;
        return result;
    }
    SyncFolder(FolderOf(target));
    return result;
}

bool ReadWholeFile(const std::string& path, std::string* contents, int* error) {
    contents->clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error != nullptr) *error = errno;
        return false;
    }
    char chunk[8192];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            if (error != nullptr) *error = errno;
            close(fd);
            contents->clear();
            return false;
        }
        contents->append(chunk, static_cast<std::size_t>(got));
    }
    close(fd);
    return true;
}
