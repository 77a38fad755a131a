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
#include "infra/regular_file.h"

namespace {

std::atomic<unsigned> temporaryCounter{0};
std::atomic<TemporaryFileHook> temporaryFileHook{nullptr};

// The file a write should land in: the target of a symbolic link, else the path itself.
std::string ResolveTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    }
    return path;
}

// A named temporary file left behind by an earlier failure is ours to remove; anything else
// of that name (a link, a device, a FIFO) is not, and the replacement fails.
bool ClearNamedTemporary(const std::string& temporary) {
    struct stat info {};
    if (lstat(temporary.c_str(), &info) != 0) return errno == ENOENT;
    if (!S_ISREG(info.st_mode)) {
        errno = kNotRegularFileError;
        return false;
    }
    return unlink(temporary.c_str()) == 0;
}

// Creates the temporary file new (O_EXCL), so no one else can hold it open already. The
// umask may only take bits away from mode.
int CreateTemporary(const std::string& target, const std::string& requested, unsigned mode,
                    std::string* used) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    if (!requested.empty()) {
        *used = requested;
        if (!ClearNamedTemporary(requested)) return -1;
        return open(requested.c_str(), kFlags, mode);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        *used = target + ".tmp." + std::to_string(getpid()) + "." +
                std::to_string(temporaryCounter.fetch_add(1));
        const int fd = open(used->c_str(), kFlags, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The replaced file's owner and group (fchown as root; an ordinary user can at most keep the
// group, when it is one of theirs), then its exact permission bits: fchown may clear the
// set-id bits, and the umask may have taken some away.
bool TakeOverOwnerAndMode(int fd, const struct stat& replaced) {
    if (fchown(fd, replaced.st_uid, replaced.st_gid) != 0)
        (void)fchown(fd, static_cast<uid_t>(-1), replaced.st_gid);  // not ours to give: keep it
    return fchmod(fd, replaced.st_mode & 07777) == 0;
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

void SetTemporaryFileHook(TemporaryFileHook hook) { temporaryFileHook = hook; }

ReplaceResult ReplaceFileContents(const std::string& path, std::string_view contents,
                                  const std::string& temporaryPath, unsigned newFileMode) {
    ReplaceResult result;
    // A named temporary file sits beside path itself; a unique one beside a link's target.
    const std::string target = temporaryPath.empty() ? ResolveTarget(path) : path;
    struct stat existing {};
    const bool hadFile = stat(target.c_str(), &existing) == 0;
    if (hadFile && !S_ISREG(existing.st_mode)) {
        result.failedAt = ReplaceStep::CreateTemporary;
        result.error = kNotRegularFileError;
        return result;
    }
    const unsigned mode = hadFile ? (existing.st_mode & 07777) : (newFileMode & 07777);
    const int fd = CreateTemporary(target, temporaryPath, mode, &result.temporaryPath);
    if (fd < 0) {
        result.failedAt = ReplaceStep::CreateTemporary;
        result.error = errno;
        return result;
    }
    bool written = !hadFile || TakeOverOwnerAndMode(fd, existing);
    if (written) {
        if (const TemporaryFileHook hook = temporaryFileHook) hook(result.temporaryPath);
        written = WriteAll(fd, contents);
    }
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
    return ReadRegularFile(path, contents, kMaxWholeFileBytes, error);
}
