// The interactive program's windowing back end (Qt Widgets).
#pragma once

#include <memory>

#include "platform/platform.h"

// Makes the Qt application (unless one exists) and the platform on it; null, with the reason
// on standard error, when no display can be reached. SIGTERM, SIGINT and SIGHUP close its
// windows as the Exit command does.
// When PELVOK_SCREENSHOT_TOUR names a folder, the program also plays the
// screenshot tour (gui/screenshot_tour.h) into it.
std::unique_ptr<Platform> CreateGuiPlatform(int& argc, char** argv);
