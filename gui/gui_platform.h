// The interactive program's windowing back end (Qt Widgets).
#pragma once

#include <memory>

#include "platform/platform.h"

// Makes the Qt application (unless one exists) and the platform on it; null, with the reason
// on standard error, when no display can be reached. SIGTERM, SIGINT and SIGHUP close its
// windows as the Exit command does.
std::unique_ptr<Platform> CreateGuiPlatform(int& argc, char** argv);
