// Leveled logging to files or the standard output, configured from a store.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

#include "infra/log.h"

class ConfigDbs;

inline constexpr int kLogLevels = 12;
inline constexpr std::size_t kLogPathSize = 260;

// What one level writes to, and how.
struct LevelOutput {
    bool enabled = false;
    bool open = false;
    bool closeAfterEachMessage = false;
    bool timeStamp = false;
    std::FILE* stream = nullptr;
    char name[kLogPathSize] = {};             // NAME= as configured ("stdout" or a base file name)
    char currentFileName[kLogPathSize] = {};  // the file written: the name or a numbered name
    std::uint32_t sizeLimit = 0;              // bytes; 0 = no limit
    std::uint32_t fileIndex = 0;              // numbered file in use; 0 = the name itself
    std::uint32_t openCount = 0;              // openings since the file last changed (10 for stdout)
    std::uint32_t lostMessages = 0;           // dropped because the file would not open, not yet reported
};

class Logger {
public:
    // storeKind: 0 profile file (keyPath + ".INI"), 1 registry-like store, other: text file.
    // sectionName nullptr means "Logs".
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

protected:
    char keyPath_[kLogPathSize] = {};
    char sectionName_[kLogPathSize] = {};
    int storeKind_ = 0;
    LevelOutput levels_[kLogLevels];
    bool threadSafe_ = false;
    bool shutDown_ = false;
    std::mutex lock_;
    std::unique_ptr<ConfigDbs> store_;
};

// Where the "Illegal log message" box goes when nobody can see one: standard error.
void ShowIllegalLogMessage(const char* text);
