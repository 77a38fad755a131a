// The back end with no display: service mode and --run.
//
// Windows exist as records (title, visibility, the lines of an output list); each thread's
// loop waits with poll() on its queue's wake-up descriptor and its windows' registered
// sockets, with a deadline from the next timer due on the injected clock. Nobody is there to
// answer anything: a message box goes to the log at level 0 and to standard error and returns
// IDOK at once, a dialog is dismissed (result 0) once its procedure has initialised it, the
// open-file dialog is cancelled and no web address is opened. Nothing of them is kept.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

class Clock;

// A modal dialog of the headless back end: what its procedure puts into its items is kept as
// text by control identifier.
class HeadlessDialog : public DialogHandleBase {
public:
    HeadlessDialog(WindowHandle window, int resourceId, WindowHandle owner, DialogProc proc,
                   std::intptr_t parameter)
        : DialogHandleBase(window), resourceId_(resourceId), owner_(owner), proc_(proc), parameter_(parameter) {}

    std::string GetItemText(int controlId) const override {
        auto found = items_.find(controlId);
        return found == items_.end() ? std::string() : found->second;
    }
    void SetItemText(int controlId, const std::string& text) override { items_[controlId] = text; }

    // The procedure gets WM_INITDIALOG with the creation parameter.
    void Open() {
        if (proc_ != nullptr) proc_(*this, WM_INITDIALOG, 0, parameter_);
    }
    // A click on a control: the procedure gets WM_COMMAND with its identifier.
    void Command(int controlId) {
        if (proc_ != nullptr) proc_(*this, WM_COMMAND, static_cast<std::uintptr_t>(controlId & 0xFFFF), 0);
    }

    const std::map<int, std::string>& Items() const { return items_; }
    int ResourceId() const { return resourceId_; }
    WindowHandle Owner() const { return owner_; }
    std::intptr_t Parameter() const { return parameter_; }

private:
    int resourceId_;
    WindowHandle owner_;
    DialogProc proc_;
    std::intptr_t parameter_;
    std::map<int, std::string> items_;
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
    void SetTimerReadsSocketsWithin(std::uint32_t withinMs) override;

    int MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                   unsigned type) override;
    bool GetOpenFileName(WindowHandle owner, const std::string& initialFolder,
                         const std::string& title, bool fileMustExist,
                         std::string& path) override;
    std::intptr_t DialogBoxParam(int resourceId, WindowHandle owner, DialogProc proc,
                                 std::intptr_t parameter) override;
    void OpenUrl(WindowHandle owner, const std::string& url) override;

    // ---- What the windows hold ----
    std::vector<std::string> OutputLines(WindowHandle list) const;
    int SelectedLine(WindowHandle list) const;  // -1 when none
    bool IsWindow(WindowHandle window) const;
    bool IsVisible(WindowHandle window) const;
    std::uint32_t TimerPeriod(WindowHandle window, std::uint32_t timerId) const;  // 0 if none
    // The window a socket notifies, kNoWindow when it is not registered.
    WindowHandle SocketWindow(int socket) const;
    // Messages waiting in a thread's queue.
    std::size_t QueuedMessages(ThreadId thread) const;

protected:
    // Someone's turn at an open dialog, after its procedure has initialised it: nobody is
    // here, so it is dismissed unless the procedure ended it already.
    virtual void AnswerDialog(HeadlessDialog&) {}

private:
    struct WindowRecord;
    struct TimerRecord;
    struct SocketRecord;
    struct ThreadQueue;

    ThreadQueue& QueueOf(ThreadId thread);  // with lock_ held
    bool PostLocked(ThreadId thread, const Message& message);
    WindowRecord* Find(WindowHandle window);
    const WindowRecord* Find(WindowHandle window) const;
    WindowHandle NewHandle();
    // A due timer of the thread's windows, or how long until the next one is due.
    bool TakeDueTimer(ThreadId thread, Message& message, int& waitMs);
    bool WaitForEvent(ThreadId thread, int waitMs, Message& message);
    // The next socket the last poll found ready and not yet handed out.
    bool TakeReadySocket(ThreadQueue& queue, Message& message);

    const Clock& clock_;
    mutable std::mutex lock_;
    WindowHandle nextHandle_ = 1;
    std::map<WindowHandle, WindowRecord> windows_;
    std::vector<TimerRecord> timers_;
    std::map<int, SocketRecord> sockets_;
    // Counts the changes to sockets_: a thread's poll list is made anew only after one.
    std::uint64_t socketsChanged_ = 0;
    std::atomic<std::uint32_t> timerReadsSocketsWithinMs_{0};
    std::map<ThreadId, std::unique_ptr<ThreadQueue>> queues_;
};
