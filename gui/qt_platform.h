// The Qt Widgets back end of the platform: the interactive program's windows, menu, output
// list, timers, socket notifications, message boxes and dialogs.
//
// Messages travel through Qt's event loop. Posted messages are queued calls; timer ticks come
// from QTimer and socket notifications from QSocketNotifier. While GetMessage waits (it runs
// a QEventLoop) they are handed to it; while a modal dialog or box runs its own loop they go
// straight to the window procedure, so ticks and replies go on under every dialog. A timer's
// tick or a socket's notification waits in the queue at most once.
#pragma once

#include <QPointer>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

class QApplication;
class QEventLoop;
class QObject;
class QSocketNotifier;
class QTimer;
class QWidget;
class MainWindowWidget;
class OutputListWidget;

class QtPlatform : public Platform {
public:
    // Uses the application that exists; makes one (kept for its lifetime) when there is none.
    QtPlatform(int& argc, char** argv);
    ~QtPlatform() override;

    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;

    WindowHandle CreateMainWindow(const std::string& title, const MenuBar& menu,
                                  WindowProc proc) override;
    WindowHandle CreateOutputList(WindowHandle parent) override;
    void DestroyWindow(WindowHandle window) override;
    void ShowWindow(WindowHandle window, bool visible) override;
    void SetWindowText(WindowHandle window, const std::string& text) override;
    std::string GetWindowText(WindowHandle window) const override;
    void MoveWindow(WindowHandle window, int x, int y, int width, int height,
                    bool repaint) override;
    bool GetWindowPlacement(WindowHandle window, WindowPlacement& placement) const override;
    void SetWindowPlacement(WindowHandle window, const WindowPlacement& placement) override;

    int OutputListCount(WindowHandle list) const override;
    void OutputListDelete(WindowHandle list, int index) override;
    int OutputListAppend(WindowHandle list, const std::string& text) override;
    void OutputListSelect(WindowHandle list, int index) override;

    bool GetMessage(Message& message) override;
    std::intptr_t DispatchMessage(const Message& message) override;
    std::intptr_t SendMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                              std::intptr_t lParam) override;
    bool PostMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                     std::intptr_t lParam) override;
    bool PostThreadMessage(ThreadId thread, unsigned message, std::uintptr_t wParam,
                           std::intptr_t lParam) override;
    void PostQuitMessage(int exitCode) override;
    std::intptr_t DefWindowProc(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam) override;
    ThreadId CurrentThreadId() override;

    std::uint32_t SetTimer(WindowHandle window, std::uint32_t timerId,
                           std::uint32_t periodMs) override;
    bool KillTimer(WindowHandle window, std::uint32_t timerId) override;
    int AsyncSelect(int socket, WindowHandle window, unsigned message, long events) override;

    int MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                   unsigned type) override;
    bool GetOpenFileName(WindowHandle owner, const std::string& initialFolder,
                         const std::string& title, bool fileMustExist,
                         std::string& path) override;
    std::intptr_t DialogBoxParam(int resourceId, WindowHandle owner, DialogProc proc,
                                 std::intptr_t parameter) override;
    void OpenUrl(WindowHandle owner, const std::string& url) override;

    // Ends every modal dialog and message box (as if cancelled) and posts WM_CLOSE to every
    // main window: the program then ends the way its Exit command ends it.
    void CloseAllWindows();
    // From now on SIGTERM, SIGINT and SIGHUP call CloseAllWindows (gui/stop_signals.h).
    void CloseWindowsOnStopSignals();

    // The widget of a window (tests, screenshots); null when there is none.
    QWidget* Widget(WindowHandle window) const;
    // The exit code given to PostQuitMessage.
    int ExitCode() const { return exitCode_; }

private:
    enum class Kind { MainWindow, OutputList, Dialog };
    struct WindowRecord {
        Kind kind = Kind::MainWindow;
        QPointer<QWidget> widget;
        WindowProc proc = nullptr;
        WindowHandle parent = kNoWindow;
    };
    struct SocketRecord {
        QSocketNotifier* notifier = nullptr;  // owned by the platform's context object
        WindowHandle window = kNoWindow;
        unsigned message = 0;
    };
    using TimerKey = std::pair<WindowHandle, std::uint32_t>;

    const WindowRecord* Find(WindowHandle window) const;
    QWidget* OwnerWidget(WindowHandle owner) const;
    OutputListWidget* List(WindowHandle list) const;
    WindowHandle Register(WindowRecord record);
    void Forget(WindowHandle window);

    // A message from Qt's loop: to the waiting GetMessage, or straight to its window.
    void Deliver(const Message& message);
    void OnTimer(WindowHandle window, std::uint32_t timerId);
    void OnSocketReady(int socket);
    // Clears the "waits in the queue" mark of a tick or notification about to be handled.
    void Unmark(const Message& message);
    // Runs a modal loop's body with deliveries going straight to the windows.
    template <typename Body>
    auto RunModal(Body body);

    std::unique_ptr<QApplication> ownedApplication_;
    std::unique_ptr<QObject> context_;  // parent of timers and notifiers; receives queued calls

    std::map<WindowHandle, WindowRecord> windows_;
    WindowHandle nextHandle_ = 1;
    std::map<TimerKey, QTimer*> timers_;
    std::map<int, SocketRecord> sockets_;
    std::vector<QPointer<QWidget>> destroyed_;  // deleted later; deleted at the end at latest

    // GetMessage's side: the loop it runs, the modal depth it waits at, what it was handed.
    QEventLoop* waitingLoop_ = nullptr;
    int waitingDepth_ = -1;
    int modalDepth_ = 0;
    std::deque<Message> ready_;
    std::set<TimerKey> queuedTicks_;
    std::set<int> queuedNotifications_;
    bool quitPosted_ = false;
    int exitCode_ = 0;
};
