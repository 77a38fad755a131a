#include "gui/gui_platform.h"

#include <QApplication>

#ifdef PELVOK_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <cstdio>
#include <cstdlib>

#include "gui/qt_platform.h"

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// Whether the X server DISPLAY names answers.
bool XDisplayAnswers() {
#ifdef PELVOK_HAVE_XCB
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);  // also frees a connection that failed
    return answers;
#else
    return true;
#endif
}

// Qt aborts the process when its platform plugin reaches no display: look first, and say
// why on standard error. A plugin chosen with QT_QPA_PLATFORM, and Wayland, are left to Qt.
bool DisplayReachable() {
    if (QApplication::instance() != nullptr || IsSet("QT_QPA_PLATFORM")) return true;
    if (IsSet("DISPLAY")) {
        if (XDisplayAnswers()) return true;
        std::fprintf(stderr, "pelvok: no display: the X display %s does not answer\n",
                     std::getenv("DISPLAY"));
        return false;
    }
    if (IsSet("WAYLAND_DISPLAY")) return true;
    std::fprintf(stderr, "pelvok: no display: neither DISPLAY nor WAYLAND_DISPLAY is set\n");
    return false;
}

}  // namespace

std::unique_ptr<Platform> CreateGuiPlatform(int& argc, char** argv) {
    if (!DisplayReachable()) return nullptr;
    auto platform = std::make_unique<QtPlatform>(argc, argv);
    platform->CloseWindowsOnStopSignals();
    return platform;
}
