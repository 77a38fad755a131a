#include "gui/gui_platform.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "gui/qt_platform.h"

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// Qt ends the process when its platform plugin finds no display: look first.
bool DisplayReachable() {
    return QApplication::instance() != nullptr || IsSet("QT_QPA_PLATFORM") || IsSet("DISPLAY") ||
           IsSet("WAYLAND_DISPLAY");
}

}  // namespace

std::unique_ptr<Platform> CreateGuiPlatform(int& argc, char** argv) {
    if (!DisplayReachable()) {
        std::fprintf(stderr, "pelvok: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
        return nullptr;
    }
    auto platform = std::make_unique<QtPlatform>(argc, argv);
    platform->CloseWindowsOnStopSignals();
    return platform;
}
