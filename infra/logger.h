// Leveled logging to files or the standard output, configured from a store.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "infra/log.h"

class Clock;
class ConfigDbs;

inline constexpr int kLogLevels = 12;
inline constexpr std::size_t kLogPathSize = 260;
// Options strings are read into a buffer of this size. One that fills it may have been cut
// (and its NAME= with it), so such a level is switched off rather than write elsewhere.
inline constexpr std::size_t kLogOptionsSize = 1024;

// What one level writes to, and how.
struct LevelOutput {
    std::atomic<bool> enabled{false};  // read without the lock by IsLevelEnabled
    bool open = false;
    bool closeAfterEachMessage = false;
    bool timeStamp = false;
    std::FILE* stream = nullptr;
    char name[kLogPathSize] = {};             // NAME= as configured ("stdout" or a base file name)
    char currentFileName[kLogPathSize] = {};  // the file written: the name or a numbered name
    std::uint32_t sizeLimit = 0;              // bytes; 0 = no limit
    std::uint32_t fileIndex = 0;              // numbered file in use; 0 = the name itself
    std::uint32_t openCount = 0;              // openings since the file last changed (10 for stdout)
    std::uint32_t lostMessages = 0;           // dropped (file would not open, write failed), not yet reported
};

class Logger {
public:
    // storeKind: 0 profile file (keyPath, with ".INI" appended unless it already ends in
    // ".ini" in any letter case), 1 registry-like store under ConfigDbsReg::DefaultRoot(),
    // other: text file (keyPath, ".conf" appended when it holds no "."). sectionName nullptr
    // means "Logs".
    Logger(const char* keyPath, bool threadSafe, const char* sectionName, int storeKind,
           bool configureNow);
    virtual ~Logger();

    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    virtual void ConfigureLevel(int level);
    virtual void Write(int level, const char* text);
    virtual bool IsLevelEnabled(int level);
    // Every option token the Logger does not know arrives here; the base ignores it.
    virtual void OnOtherOption(int level, const char* token);

    void ApplyOptions(int level, const char* options);
    void OpenLevel(int level);
    void CloseLevel(int level, bool allSharers);
    static bool MakeNumberedName(const char* base, std::uint32_t number, char* out,
                                 std::size_t outSize);
    static std::uint32_t CountNumberedFiles(const char* base);

    const LevelOutput& Level(int level) const { return levels_[level]; }
    // What configuration refused (a NAME= longer than 259 characters, an options string that
    // may have been cut), one text per level it switched off. Nothing can be logged while the
    // Logger configures itself, so whoever made it tells these.
    const std::vector<std::string>& ConfigurationProblems() const { return configurationProblems_; }
    // The clock of the time stamps (the system clock unless a test sets another; not owned).
    void SetClock(const Clock* clock) { clock_ = clock; }
    ConfigDbs* Store() const { return store_.get(); }

protected:
    char keyPath_[kLogPathSize] = {};
    char sectionName_[kLogPathSize] = {};
    int storeKind_ = 0;
    LevelOutput levels_[kLogLevels];
    bool threadSafe_ = false;
    std::atomic<bool> shutDown_{false};
    std::mutex lock_;
    std::unique_ptr<ConfigDbs> store_;
    std::vector<std::string> configurationProblems_;

    // Every file the Logger writes goes through these three, so a test can stand in for a
    // failing disk (a folder that refuses new files, a full file system) by overriding them.
    // OpenStream: the file opened for appending, or null. WriteToStream: one whole message,
    // written and flushed; false when any of it did not reach the file (the message then
    // counts as lost). CloseStream: false when closing failed. The destructor closes through
    // the Logger's own CloseStream, since an override is gone by then.
    virtual std::FILE* OpenStream(const char* path);
    virtual bool WriteToStream(std::FILE* stream, const char* data, std::size_t length);
    virtual bool CloseStream(std::FILE* stream);

private:
    std::unique_lock<std::mutex> LockIfThreadSafe();
    void WriteLocked(int level, const char* text);
    void DetachFromStandardOutput(LevelOutput& output);
    // Lets go of an open file that was deleted meanwhile (true), so that opening it makes it anew.
    bool ReleaseIfDeleted(int level);

    const Clock* clock_;
};

// Where the "Illegal log message" box goes when nobody can see one: standard error.
void ShowIllegalLogMessage(const char* text);
