#include "infra/logger.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "infra/bounded_string.h"
#include "infra/clock.h"
#include "infra/config_dbs_ini.h"
#include "infra/config_dbs_reg.h"
#include "infra/config_dbs_txt.h"
#include "infra/file_helpers.h"
#include "infra/path_text.h"

namespace {

constexpr std::uint32_t kOpenCountKeepsOpen = 10;

bool IsStandardOutputName(const char* name) { return EqualsNoCase(name, "stdout"); }

// Whether two NAME= values denote the same output. File names here are case-sensitive, so
// only "stdout" ignores letter case: levels named a.log and A.LOG write to different files
// and must neither share a stream nor follow each other's rotation.
bool SameOutputName(const char* left, const char* right) {
    if (IsStandardOutputName(left) || IsStandardOutputName(right))
        return IsStandardOutputName(left) && IsStandardOutputName(right);
    return std::strcmp(left, right) == 0;
}

bool EndsWithIniSuffix(std::string_view path) {
    return path.size() >= 4 && EqualsNoCase(path.substr(path.size() - 4), ".ini");
}

std::string ProfilePathFor(const char* keyPath) {
    std::string path(keyPath);
    if (!EndsWithIniSuffix(path)) path += ".INI";
    return path.substr(0, kLogPathSize - 1);
}

std::string TextPathFor(const char* keyPath) {
    std::string path(keyPath);
    if (path.find('.') == std::string::npos) path += ".conf";
    return path.substr(0, kLogPathSize - 1);
}

std::unique_ptr<ConfigDbs> MakeStore(int storeKind, const char* keyPath) {
    switch (storeKind) {
        case 0: return std::make_unique<ConfigDbsIni>(ProfilePathFor(keyPath).c_str());
        case 1: return std::make_unique<ConfigDbsReg>(ConfigDbsReg::DefaultRoot(), keyPath);
        default: return std::make_unique<ConfigDbsTxt>(TextPathFor(keyPath).c_str());
    }
}

// Kilobytes of MAXSIZE= as a byte limit: leading decimal digits, anything else no limit;
// values past the 32-bit range are held at its top.
std::uint32_t SizeLimitFromKilobytes(std::string_view digits) {
    std::uint64_t kilobytes = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') break;
        kilobytes = kilobytes * 10 + static_cast<std::uint64_t>(c - '0');
        if (kilobytes > UINT32_MAX) break;
    }
    const std::uint64_t bytes = kilobytes * 1024;
    return bytes > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(bytes);
}

// What an options string asks for.
struct LevelOptions {
    bool on = false;
    bool close = false;
    bool timeStamp = false;
    bool erase = false;
    std::string name;
    std::uint32_t sizeLimit = 0;
};

// ERASE empties the file a level is about to write, and only when it is a regular file: a
// regular file is deleted, one reached through a symbolic link is emptied (the link stays);
// a device or a FIFO is left as it is and written to as it is.
void EraseLogFile(const char* path) {
    struct stat info {};
    if (lstat(path, &info) != 0) return;  // a file that is not there is fine
    if (S_ISREG(info.st_mode)) {
        std::remove(path);
    } else if (S_ISLNK(info.st_mode) && stat(path, &info) == 0 && S_ISREG(info.st_mode)) {
        (void)truncate(path, 0);
    }
}

}  // namespace

Logger::Logger(const char* keyPath, bool threadSafe, const char* sectionName, int storeKind,
               bool configureNow)
    : storeKind_(storeKind), threadSafe_(threadSafe), clock_(&SystemClock::Instance()) {
    CopyBounded(keyPath_, keyPath, sizeof keyPath_);
    CopyBounded(sectionName_, sectionName != nullptr ? sectionName : "Logs", sizeof sectionName_);
    store_ = MakeStore(storeKind_, keyPath_);
    if (configureNow)
        for (int level = 0; level < kLogLevels; ++level) ConfigureLevel(level);
}

Logger::~Logger() {
    {
        auto guard = LockIfThreadSafe();
        for (int level = 0; level < kLogLevels; ++level) CloseLevel(level, true);
    }
    store_.reset();
    shutDown_ = true;
}

std::unique_lock<std::mutex> Logger::LockIfThreadSafe() {
    return threadSafe_ ? std::unique_lock<std::mutex>(lock_) : std::unique_lock<std::mutex>();
}

void Logger::ConfigureLevel(int level) {
    if (level < 0 || level >= kLogLevels) return;
    char key[24];
    std::snprintf(key, sizeof key, "File%d", level + 1);
    char options[kLogOptionsSize];
    // A read the store reports as failed leaves nothing usable: the level stays off.
    if (store_ == nullptr ||
        !store_->ReadOption(sectionName_, key, "OFF", options, sizeof options))
        CopyBounded(options, "OFF", sizeof options);
    if (std::strlen(options) >= sizeof options - 1) {
        configurationProblems_.push_back("log level " + std::to_string(level) + " (" + key +
                                         ") is off: its settings are too long (" +
                                         std::to_string(sizeof options - 1) + " characters or more)");
        CopyBounded(options, "OFF", sizeof options);
    }
    ApplyOptions(level, options);
}

bool Logger::IsLevelEnabled(int level) {
    return level >= 0 && level < kLogLevels && levels_[level].enabled;
}

void Logger::OnOtherOption(int, const char*) {}

void Logger::ApplyOptions(int level, const char* options) {
    if (level < 0 || level >= kLogLevels) return;
    auto guard = LockIfThreadSafe();
    LevelOutput& output = levels_[level];

    char bounded[kLogOptionsSize];
    CopyBounded(bounded, options, sizeof bounded);
    LevelOptions wanted;
    std::string_view rest(bounded);
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view token = rest.substr(0, comma);
        rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
        if (token.empty()) continue;
        if (EqualsNoCase(token, "ON")) wanted.on = true;
        else if (EqualsNoCase(token, "CLOSE")) wanted.close = true;
        else if (EqualsNoCase(token, "TIMESTAMP")) wanted.timeStamp = true;
        else if (EqualsNoCase(token, "ERASE")) wanted.erase = true;
        else if (StartsWithNoCase(token, "NAME=")) wanted.name = token.substr(5);
        else if (StartsWithNoCase(token, "MAXSIZE="))
            wanted.sizeLimit = SizeLimitFromKilobytes(token.substr(8));
        else OnOtherOption(level, std::string(token).c_str());
    }
    if (wanted.name.size() >= kLogPathSize) {
        // Cut to fit, the name would be another file: the level writes nowhere instead.
        configurationProblems_.push_back("log level " + std::to_string(level) +
                                         " is off: its file name is longer than " +
                                         std::to_string(kLogPathSize - 1) + " characters: " +
                                         wanted.name.substr(0, 64) + "...");
        wanted.on = false;
        wanted.name.clear();
    }

    if (output.name[0] != '\0' && !SameOutputName(output.name, wanted.name.c_str())) {
        if (IsStandardOutputName(output.name)) DetachFromStandardOutput(output);
        else CloseLevel(level, false);
        output.fileIndex = 0;
        output.openCount = 0;
        output.lostMessages = 0;
    }

    if (!wanted.on) {
        if (output.open) CloseLevel(level, false);
        output.enabled = false;
        return;
    }

    output.closeAfterEachMessage = wanted.close;
    output.timeStamp = wanted.timeStamp;
    output.enabled = true;
    output.sizeLimit = wanted.sizeLimit;
    CopyBounded(output.name, wanted.name, sizeof output.name);
    if (IsStandardOutputName(output.name)) {
        // The standard output has no length to compare and no file to erase.
        CopyBounded(output.currentFileName, output.name, sizeof output.currentFileName);
        output.stream = stdout;
        output.open = true;
        output.closeAfterEachMessage = false;
        output.openCount = kOpenCountKeepsOpen;
        output.sizeLimit = 0;
        return;
    }
    char current[kLogPathSize];
    CopyBounded(current, output.name, sizeof current);
    if (output.sizeLimit != 0 && output.name[0] != '\0') {
        output.fileIndex = CountNumberedFiles(output.name);
        MakeNumberedName(output.name, output.fileIndex, current, sizeof current);
    }
    // A level still open on another file than the one it is to write lets go of it.
    if (output.open && std::strcmp(current, output.currentFileName) != 0) CloseLevel(level, false);
    CopyBounded(output.currentFileName, current, sizeof output.currentFileName);
    if (wanted.erase && output.currentFileName[0] != '\0') {
        if (output.open) CloseLevel(level, false);
        EraseLogFile(output.currentFileName);
    }
}

void Logger::DetachFromStandardOutput(LevelOutput& output) {
    std::fflush(stdout);
    output.stream = nullptr;
    output.open = false;
}

void Logger::Write(int level, const char* text) {
    if (shutDown_) {
        ShowIllegalLogMessage(text);
        return;
    }
    if (!IsLevelEnabled(level)) return;
    auto guard = LockIfThreadSafe();
    WriteLocked(level, text != nullptr ? text : "");
}

void Logger::WriteLocked(int level, const char* text) {
    LevelOutput& output = levels_[level];
    if (!output.enabled || output.currentFileName[0] == '\0') return;
    if (!output.open) {
        ++output.openCount;
        OpenLevel(level);
        if (output.stream == nullptr) return;  // counted as lost by OpenLevel
    }
    if (ReleaseIfDeleted(level)) {
        OpenLevel(level);
        if (output.stream == nullptr) return;
    }
    // The message goes out in one write, after the report of what was lost before it.
    std::string message;
    if (output.lostMessages != 0) {
        char line[64];
        std::snprintf(line, sizeof line, "*** Lost messages = %d\n",
                      static_cast<int>(output.lostMessages));
        message += line;
    }
    if (output.timeStamp) {
        const std::time_t now = clock_->Now();
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d ", local.tm_mon + 1,
                      local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min,
                      local.tm_sec);
        message += stamp;
    }
    message += text;
    if (message.empty() || message.back() != '\n') message += '\n';
    // A full disk or a file over its size limit: the message is counted like one whose file
    // would not open, and reported with them once a write succeeds again. The file stays open.
    if (!WriteToStream(output.stream, message.data(), message.size())) {
        // A FIFO whose reader went away is let go, so that a later message finds the next one.
        const bool readerGone = errno == EPIPE;
        // What did not get out goes with the message: left in the stream's buffer, it would go
        // out in front of the next one, or fail the closing.
        __fpurge(output.stream);
        std::clearerr(output.stream);
        ++output.lostMessages;
        if (readerGone) CloseLevel(level, true);
        return;
    }
    output.lostMessages = 0;

    // Only a regular file has a length to compare: a device or FIFO is never rotated.
    struct stat info {};
    if (output.sizeLimit != 0 && fstat(fileno(output.stream), &info) == 0 &&
        S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > output.sizeLimit) {
        ++output.fileIndex;
        MakeNumberedName(output.name, output.fileIndex, output.currentFileName,
                         sizeof output.currentFileName);
        output.openCount = 0;
        CloseLevel(level, true);
    } else if (output.closeAfterEachMessage || output.openCount < kOpenCountKeepsOpen) {
        CloseLevel(level, true);
    }
}

bool Logger::ReleaseIfDeleted(int level) {
    LevelOutput& output = levels_[level];
    if (!output.open || output.stream == nullptr || output.stream == stdout) return false;
    struct stat info {};
    const int fd = fileno(output.stream);
    // Deleting a file does not stop the writes of whoever holds it open: they would go on
    // into a file nobody can see. Every level that shares the stream lets go of it.
    if (fd < 0 || fstat(fd, &info) != 0 || info.st_nlink != 0) return false;
    CloseLevel(level, true);
    return true;
}

void Logger::OpenLevel(int level) {
    LevelOutput& output = levels_[level];
    if (output.open) return;
    if (IsStandardOutputName(output.currentFileName)) {
        output.stream = stdout;
        output.open = true;
        return;
    }
    if (!output.closeAfterEachMessage) {
        for (const LevelOutput& other : levels_) {
            if (&other == &output || !other.open || !SameOutputName(other.name, output.name))
                continue;
            output.stream = other.stream;
            output.open = true;
            return;
        }
    }
    output.stream = OpenStream(output.currentFileName);
    if (output.stream == nullptr) {
        const std::string folder = FolderOf(output.currentFileName);
        if (!folder.empty()) MakeDirectoryTree(folder.c_str());
        output.stream = OpenStream(output.currentFileName);
    }
    if (output.stream != nullptr) output.open = true;
    else ++output.lostMessages;
}

void Logger::CloseLevel(int level, bool allSharers) {
    LevelOutput& output = levels_[level];
    if (!output.enabled || !output.open) return;
    if (IsStandardOutputName(output.currentFileName)) return;
    std::FILE* const stream = output.stream;
    output.open = false;
    output.stream = nullptr;
    if (output.closeAfterEachMessage) {
        if (!CloseStream(stream)) output.enabled = false;
        return;
    }
    if (allSharers) {
        const bool closed = CloseStream(stream);
        if (!closed) output.enabled = false;
        for (LevelOutput& other : levels_) {
            if (&other == &output || other.stream != stream) continue;
            other.open = false;
            other.stream = nullptr;
            CopyBounded(other.currentFileName, output.currentFileName,
                        sizeof other.currentFileName);
            if (!closed) other.enabled = false;
        }
        return;
    }
    for (const LevelOutput& other : levels_)
        if (&other != &output && other.stream == stream) return;  // still theirs
    if (!CloseStream(stream)) output.enabled = false;
}

bool Logger::MakeNumberedName(const char* base, std::uint32_t number, char* out,
                              std::size_t outSize) {
    if (out == nullptr || outSize == 0) return false;
    std::string numbered;
    if (number == 0) {
        numbered = base;
    } else {
        const char* dot = std::strrchr(base, '.');
        numbered = dot == nullptr
                       ? std::string(base) + "_" + std::to_string(number)
                       : std::string(base, dot) + "_" + std::to_string(number) + dot;
    }
    if (numbered.size() < outSize && numbered.size() < kLogPathSize) {
        CopyBounded(out, numbered, outSize);
        return true;
    }
    CopyBounded(out, base, outSize);
    return false;
}

std::uint32_t Logger::CountNumberedFiles(const char* base) {
    std::uint32_t count = 0;
    char name[kLogPathSize];
    while (MakeNumberedName(base, count + 1, name, sizeof name) && FileExists(name)) ++count;
    return count;
}

std::FILE* Logger::OpenStream(const char* path) {
    // Opening a FIFO waits for a reader, and writing to it waits while the reader lags: a FIFO
    // stays non-blocking, so a message nobody takes at once is counted as lost instead.
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) == 0 && !S_ISFIFO(info.st_mode))
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* stream = fdopen(fd, "a");
    if (stream == nullptr) close(fd);
    return stream;
}

bool Logger::WriteToStream(std::FILE* stream, const char* data, std::size_t length) {
    // Flushed with each message: nothing is lost in a crash, and the size compared with the
    // limit is the file's own.
    const bool written = std::fwrite(data, 1, length, stream) == length;
    return std::fflush(stream) == 0 && written;
}

bool Logger::CloseStream(std::FILE* stream) {
    if (stream == stdout) return std::fflush(stdout) == 0;
    return std::fclose(stream) == 0;
}
