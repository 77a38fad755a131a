// A Logger for tests: installs itself, keeps every line of the enabled levels in memory.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "infra/logger.h"

class CapturingLogger : public Logger {
public:
    explicit CapturingLogger(int highestLevel = kLogLevels - 1)
        : Logger("", true, nullptr, 0, false), highestLevel_(highestLevel) {
        SetLogger(this);
    }
    ~CapturingLogger() override { SetLogger(nullptr); }

    bool IsLevelEnabled(int level) override { return level >= 0 && level <= highestLevel_; }
    void Write(int level, const char* text) override {
        std::lock_guard<std::mutex> guard(mutex_);
        entries_.emplace_back(level, text);
    }

    // Every captured text, in order.
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> guard(mutex_);
        std::vector<std::string> lines;
        for (const auto& entry : entries_) lines.push_back(entry.second);
        return lines;
    }
    // The captured texts of one level, in order.
    std::vector<std::string> LinesAt(int level) const {
        std::lock_guard<std::mutex> guard(mutex_);
        std::vector<std::string> lines;
        for (const auto& entry : entries_)
            if (entry.first == level) lines.push_back(entry.second);
        return lines;
    }
    bool Contains(const std::string& text) const {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const auto& entry : entries_)
            if (entry.second == text) return true;
        return false;
    }
    // How many captured texts are text, or begin with prefix.
    int Count(const std::string& text) const {
        std::lock_guard<std::mutex> guard(mutex_);
        int count = 0;
        for (const auto& entry : entries_) count += entry.second == text;
        return count;
    }
    int CountStartingWith(const std::string& prefix) const {
        std::lock_guard<std::mutex> guard(mutex_);
        int count = 0;
        for (const auto& entry : entries_) count += entry.second.rfind(prefix, 0) == 0;
        return count;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(mutex_);
        entries_.clear();
    }

private:
    int highestLevel_;
    mutable std::mutex mutex_;
    std::vector<std::pair<int, std::string>> entries_;
};
