// The back end with no display: service mode and tests.
//
// Windows exist as records (title, visibility, the lines of an output list); each thread's
// loop waits with poll() on its queue's wake-up descriptor and its windows' registered
// sockets, with a deadline from the next timer due on the injected clock. Message boxes
// cannot be answered by anyone: they go to the log at level 0 and to standard error and
// return IDOK at once. Dialogs and the open-file dialog are answered from scripts that tests
// set; with no script a dialog is dismissed (result 0) and the file dialog cancelled.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

class Clock;

// One scripted answer to a modal dialog: the values typed into its fields after it opened,
// then the commands clicked in order (usually just IDOK or IDCANCEL).
struct ScriptedDialog {
    int resourceId = 0;
    std::map<int, std::string> fields;
    std::vector<int> commands{IDOK};
};

// What a dialog showed when it opened, and how it ended.
struct ShownDialog {
    int resourceId = 0;
    WindowHandle owner = kNoWindow;
    std::intptr_t parameter = 0;
    std::map<int, std::string> fieldsAtOpen;
    std::intptr_t result = 0;
};

struct ShownMessageBox {
    WindowHandle owner = kNoWindow;
    std::string text;
    std::string caption;
};

struct OpenFileRequest {
    WindowHandle owner = kNoWindow;
    std::string initialFolder;
    std::string title;
    bool fileMustExist = false;
};

class HeadlessPlatform : public Platform {
public:
    explicit HeadlessPlatform(const Clock& clock);
    ~HeadlessPlatform() override;

    HeadlessPlatform(const HeadlessPlatform&) = delete;
    HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

    WindowHandle CreateMainWindow(const std::string& title, const MenuBar& menu,
                                  WindowProc proc) override;
    WindowHandle CreateOutputList(WindowHandle parent) override;
    void DestroyWindow(WindowHandle window) override;
    void ShowWindow(WindowHandle window, bool visible) override;
    void SetWindowText(WindowHandle window, const std::string& text) override;
    std::string GetWindowText(WindowHandle window) const override;
    void MoveWindow(WindowHandle window, int x, int y, int width, int height,
                    bool repaint) override;

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

    // ---- Scripts and observations for tests ----
    void ScriptDialog(ScriptedDialog answer);
    // The next open-file dialog returns this path; std::nullopt cancels it.
    void ScriptOpenFile(std::optional<std::string> path);
    // When false, window creation fails (for testing start-up failures).
    void SetWindowCreationAllowed(bool allowed);
    void SetOutputListCreationAllowed(bool allowed);
    void SetTimerCreationAllowed(bool allowed);

    std::vector<ShownDialog> ShownDialogs() const;
    std::vector<ShownMessageBox> MessageBoxes() const;
    std::vector<OpenFileRequest> OpenFileRequests() const;
    std::vector<std::string> OpenedUrls() const;
    std::vector<std::string> OutputLines(WindowHandle list) const;
    int SelectedLine(WindowHandle list) const;  // -1 when none
    bool IsWindow(WindowHandle window) const;
    bool IsVisible(WindowHandle window) const;
    std::uint32_t TimerPeriod(WindowHandle window, std::uint32_t timerId) const;  // 0 if none
    // The window a socket notifies, kNoWindow when it is not registered.
    WindowHandle SocketWindow(int socket) const;
    // Messages waiting in a thread's queue.
    std::size_t QueuedMessages(ThreadId thread) const;

private:
    struct WindowRecord;
    struct TimerRecord;
    struct SocketRecord;
    struct ThreadQueue;
    class ScriptedDialogHandle;

    ThreadQueue& QueueOf(ThreadId thread);  // with lock_ held
    bool PostLocked(ThreadId thread, const Message& message);
    WindowRecord* Find(WindowHandle window);
    const WindowRecord* Find(WindowHandle window) const;
    WindowHandle NewHandle();
    // A due timer of the thread's windows, or how long until the next one is due.
    bool TakeDueTimer(ThreadId thread, Message& message, int& waitMs);
    bool WaitForEvent(ThreadId thread, int waitMs, Message& message);

    const Clock& clock_;
    mutable std::mutex lock_;
    WindowHandle nextHandle_ = 1;
    std::map<WindowHandle, WindowRecord> windows_;
    std::vector<TimerRecord> timers_;
    std::map<int, SocketRecord> sockets_;
    std::map<ThreadId, std::unique_ptr<ThreadQueue>> queues_;

    std::deque<ScriptedDialog> dialogScript_;
    std::deque<std::optional<std::string>> openFileScript_;
    bool windowCreationAllowed_ = true;
    bool outputListCreationAllowed_ = true;
    bool timerCreationAllowed_ = true;
    std::vector<ShownDialog> shownDialogs_;
    std::vector<ShownMessageBox> messageBoxes_;
    std::vector<OpenFileRequest> openFileRequests_;
    std::vector<std::string> openedUrls_;
};
