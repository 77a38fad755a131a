// The Qt back end with real windows and dialogs (offscreen): the main window, its menu and
// output list, and ticks and socket notifications under a modal dialog.
#include "gui/qt_platform.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "radius/radius_engine.h"
#include "tests/gui/qt_shell_fixture.h"

namespace shell_test {
namespace {

// ---- A window procedure that records, for the platform's own behaviour ----

struct Recorder {
    std::function<void(const Message&)> onMessage;
    int ticks = 0;
};
Recorder* recorder = nullptr;

std::intptr_t RecordingProc(WindowHandle window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
    const Message seen{window, message, wParam, lParam};
    if (recorder != nullptr) {
        if (message == WM_TIMER) ++recorder->ticks;
        if (recorder->onMessage) recorder->onMessage(seen);
    }
    return 0;
}

std::intptr_t ClosingDialogProc(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                                std::intptr_t) {
    if (message == WM_COMMAND && (LowWord(wParam) == IDOK || LowWord(wParam) == IDCANCEL)) {
        dialog.EndDialog(LowWord(wParam) == IDOK ? 7 : 0);
        return 1;
    }
    return message == WM_INITDIALOG ? 1 : 0;
}

class QtPlatformTest : public testing::Test {
protected:
    QtPlatformTest() : qt(noArguments, nullptr) {
        SetCurrentPlatform(&qt);
        recorder = &record;
    }
    ~QtPlatformTest() override {
        recorder = nullptr;
        SetCurrentPlatform(nullptr);
    }
    WindowHandle MakeWindow() {
        const WindowHandle window = qt.CreateMainWindow("Test", MainMenu(), RecordingProc);
        EXPECT_NE(window, kNoWindow);
        return window;
    }

    Recorder record;
    QtPlatform qt;
};

TEST_F(QtPlatformTest, TicksAndSocketNotificationsGoOnWhileADialogIsOpen) {
    const WindowHandle window = MakeWindow();
    int sockets[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, sockets), 0);
    ASSERT_EQ(qt.AsyncSelect(sockets[0], window, WM_SOCKET_NOTIFY, FD_READ), 0);
    ASSERT_EQ(qt.SetTimer(window, 1, 10), 1u);

    int received = 0;
    record.onMessage = [&](const Message& message) {
        if (message.message == WM_TIMER && record.ticks == 3) {
            [[maybe_unused]] ssize_t sent = write(sockets[1], "reply", 5);
        }
        if (message.message == WM_SOCKET_NOTIFY) {
            char buffer[16];
            if (read(sockets[0], buffer, sizeof buffer) > 0) ++received;
            if (QWidget* modal = QApplication::activeModalWidget()) Press(modal, IDOK);
        }
    };
    WhenModal([](QWidget*) {});  // the dialog is open; the procedure closes it from the tick
    const std::intptr_t result = qt.DialogBoxParam(kAboutDialog, window, ClosingDialogProc, 0);

    EXPECT_EQ(result, 7);
    EXPECT_GE(record.ticks, 3);
    EXPECT_EQ(received, 1);
    qt.AsyncSelect(sockets[0], window, 0, 0);
    close(sockets[0]);
    close(sockets[1]);
}

std::intptr_t StubbornDialogProc(DialogHandle&, unsigned message, std::uintptr_t, std::intptr_t) {
    return message == WM_INITDIALOG ? 1 : 0;  // never ends itself
}

TEST_F(QtPlatformTest, AStopSignalEndsEveryModalLoopAndClosesTheMainWindow) {
    const WindowHandle window = MakeWindow();
    qt.CloseWindowsOnStopSignals();
    int closes = 0;
    record.onMessage = [&](const Message& message) { closes += message.message == WM_CLOSE; };
    // SIGTERM under a message box over a dialog that would not end by itself.
    WhenModal([&](QWidget*) {
        WhenModal([](QWidget* box) {
            if (qobject_cast<QMessageBox*>(box) != nullptr) raise(SIGTERM);
        });
        qt.MessageBox(window, "inner", "Box", MB_OK);
    });
    EXPECT_EQ(qt.DialogBoxParam(kAboutDialog, window, StubbornDialogProc, 0), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    if (closes == 0) {  // the close was posted after the loops: it is the next message
        Message message;
        ASSERT_TRUE(qt.GetMessage(message));
        qt.DispatchMessage(message);
    }
    EXPECT_EQ(closes, 1);
}

// ---- The program's window and dialogs on the Qt back end ----

TEST_F(QtShellTest, MainWindowHasItsTitleMenuAndIcon) {
    Start();
    EXPECT_EQ(Frame()->windowTitle().toStdString(), "Quorlan Pelvok");
    Shell().options.nasName = "edge-7";
    UpdateTitle();
    EXPECT_EQ(Frame()->windowTitle().toStdString(), "Quorlan Pelvok - edge-7");
    EXPECT_FALSE(Frame()->windowIcon().isNull());

    std::vector<std::string> popups;
    std::vector<std::string> items;
    for (QAction* popup : Frame()->menuBar()->actions()) {
        popups.push_back(popup->text().toStdString());
        for (QAction* item : popup->menu()->actions())
            items.push_back(item->isSeparator() ? "-"
                                                : (item->text() + " " + item->shortcut().toString()).toStdString());
    }
    EXPECT_EQ(popups, (std::vector<std::string>{"&Main", "&Help"}));
    EXPECT_EQ(items, (std::vector<std::string>{"&Open... Ctrl+O", "&New Session Ctrl+N", "-",
                                               "&Options... ", "-", "E&xit Ctrl+Q", "&About F1"}));
}

TEST_F(QtShellTest, OutputListKeepsTheNewest101Lines) {
    Start();
    for (int i = 0; i < 150; ++i) ShowOutputLine(("line " + std::to_string(i)).c_str());
    ASSERT_EQ(List()->count(), 101);
    EXPECT_EQ(List()->item(0)->text().toStdString(), "line 49");
    EXPECT_EQ(List()->item(100)->text().toStdString(), "line 149");
    EXPECT_EQ(List()->currentRow(), 100);
}

}  // namespace
}  // namespace shell_test
