// Placeholder until the Logger lands: every level off.
#include "infra/logger.h"

#include "infra/config_dbs.h"

Logger::Logger(const char*, bool threadSafe, const char*, int storeKind, bool)
    : storeKind_(storeKind), threadSafe_(threadSafe) {}
Logger::~Logger() = default;
void Logger::ConfigureLevel(int) {}
void Logger::Write(int, const char*) {}
bool Logger::IsLevelEnabled(int) { return false; }
void Logger::OnOtherOption(int, const char*) {}
