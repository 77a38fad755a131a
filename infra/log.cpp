#include "infra/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "infra/logger.h"

namespace {
std::atomic<Logger*> installedLogger{nullptr};
constexpr std::size_t kLogBufferSize = 2048;
}  // namespace

void SetLogger(Logger* logger) { installedLogger.store(logger); }

void DeleteLogger() { delete installedLogger.exchange(nullptr); }

bool IsLogEnabled(int level) {
    Logger* logger = installedLogger.load();
    return logger != nullptr && logger->IsLevelEnabled(level);
}

void LogMessage(int level, const char* text) {
    if (!IsLogEnabled(level)) return;
    Logger* logger = installedLogger.load();
    if (logger == nullptr) {
        // Removed between the test and the write.
        ShowIllegalLogMessage(text);
        return;
    }
    logger->Write(level, text);
}

void Log(int level, const char* format, ...) {
    if (!IsLogEnabled(level)) return;
    char buffer[kLogBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);  // cuts what does not fit
    va_end(args);
    LogMessage(level, buffer);
}

void ShowIllegalLogMessage(const char* text) {
    std::fprintf(stderr, "Illegal log message: %s\n", text);
}
