// The process-wide log: one installed Logger, reached through these functions.
#pragma once

class Logger;

// Installs the process-wide Logger (a previous one is not destroyed). nullptr uninstalls.
void SetLogger(Logger* logger);
// Destroys the installed Logger, if any; from then on nothing is logged.
void DeleteLogger();
// True when a Logger is installed and the level is switched on.
bool IsLogEnabled(int level);
// Writes one finished message at the level, when it is on.
void LogMessage(int level, const char* text);
// printf-style: nothing is formatted when the level is off. Messages are cut to 2047 characters.
void Log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
