// The windowing the shell needs, behind one interface with two back ends: Qt Widgets for the
// interactive program and a headless one for service mode and tests.
//
// The model is that of a classic message-driven window system: a window has a procedure that
// receives numbered messages; each thread that owns windows pulls its messages from a queue
// (posted messages, timer ticks, socket read notifications) and dispatches them; modal dialogs
// and message boxes run nested loops, so ticks and notifications go on while they are open.
// Nothing here includes a GUI toolkit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// ---- Message numbers --------------------------------------------------------------------

inline constexpr unsigned WM_CREATE = 0x0001;
inline constexpr unsigned WM_DESTROY = 0x0002;
inline constexpr unsigned WM_SIZE = 0x0005;
inline constexpr unsigned WM_CLOSE = 0x0010;  // 16
inline constexpr unsigned WM_QUIT = 0x0012;
inline constexpr unsigned WM_INITDIALOG = 0x0110;
inline constexpr unsigned WM_COMMAND = 0x0111;
inline constexpr unsigned WM_TIMER = 0x0113;
inline constexpr unsigned WM_USER = 0x0400;
// Read notifications of a registered socket: wParam the socket, lParam MakeSelectEvent().
inline constexpr unsigned WM_SOCKET_NOTIFY = WM_USER + 1;  // 1025

// WM_SIZE size types (wParam).
inline constexpr std::uintptr_t SIZE_RESTORED = 0;
inline constexpr std::uintptr_t SIZE_MINIMIZED = 1;
inline constexpr std::uintptr_t SIZE_MAXIMIZED = 2;

// Socket events of a notification.
inline constexpr long FD_READ = 1;

// Message box buttons and results; dialog button identifiers.
inline constexpr unsigned MB_OK = 0;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// ---- Parameter packing ------------------------------------------------------------------

constexpr unsigned LowWord(std::uintptr_t value) { return static_cast<unsigned>(value & 0xFFFF); }
constexpr unsigned HighWord(std::uintptr_t value) {
    return static_cast<unsigned>((value >> 16) & 0xFFFF);
}
constexpr std::intptr_t MakeLParam(unsigned low, unsigned high) {
    return static_cast<std::intptr_t>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
// lParam of a socket notification: the event in the low word, the error code in the high word.
constexpr std::intptr_t MakeSelectEvent(long event, int error) {
    return MakeLParam(static_cast<unsigned>(event), static_cast<unsigned>(error));
}

// ---- Handles and procedures -------------------------------------------------------------

// Windows (and controls) are numbered by the back end; 0 is no window.
using WindowHandle = std::uint32_t;
inline constexpr WindowHandle kNoWindow = 0;
// Threads are numbered by the platform; 0 is no thread.
using ThreadId = std::uint32_t;

using WindowProc = std::intptr_t (*)(WindowHandle window, unsigned message,
                                     std::uintptr_t wParam, std::intptr_t lParam);

// The open dialog as its procedure sees it: item texts by control identifier, ending.
class DialogHandle {
public:
    virtual ~DialogHandle() = default;
    virtual std::string GetItemText(int controlId) const = 0;
    virtual void SetItemText(int controlId, const std::string& text) = 0;
    // Closes the dialog once its procedure returns; the modal call returns result.
    virtual void EndDialog(std::intptr_t result) = 0;
    // The dialog's own window, as owner of the message boxes it shows.
    virtual WindowHandle Window() const = 0;
    // One value kept with the dialog for its procedure (the creation parameter, usually).
    virtual void SetUserData(std::intptr_t value) = 0;
    virtual std::intptr_t UserData() const = 0;
    // Waits until done() holds while everything else goes on: ticks, replies, the dialog's
    // own Cancel (its other commands are not taken meanwhile). False when the dialog was
    // ended or dismissed before. Back ends without a window to keep alive wait in place.
    virtual bool WaitResponsive(const std::function<bool()>& done);
};

// Answers WM_INITDIALOG (lParam the creation parameter) and WM_COMMAND (the control
// identifier in the low word of wParam, the notification code in the high word); non-zero
// when the message was handled.
using DialogProc = std::intptr_t (*)(DialogHandle& dialog, unsigned message,
                                     std::uintptr_t wParam, std::intptr_t lParam);

// What every back end's dialog handle keeps alike: its window, the procedure's value, and
// whether and with what result the procedure ended the dialog. The items are the back end's.
class DialogHandleBase : public DialogHandle {
public:
    explicit DialogHandleBase(WindowHandle window) : window_(window) {}
    void EndDialog(std::intptr_t result) override {
        ended_ = true;
        result_ = result;
    }
    WindowHandle Window() const override { return window_; }
    void SetUserData(std::intptr_t value) override { userData_ = value; }
    std::intptr_t UserData() const override { return userData_; }

    bool Ended() const { return ended_; }
    std::intptr_t Result() const { return result_; }

private:
    WindowHandle window_;
    bool ended_ = false;
    std::intptr_t result_ = 0;
    std::intptr_t userData_ = 0;
};

// One item of a menu popup; an empty text is a separator. A shortcut ("Ctrl+O", "F1") works
// beside the item's own mnemonic.
struct MenuItem {
    std::string text;
    int commandId = 0;
    std::string shortcut;
};
struct MenuPopup {
    std::string title;
    std::vector<MenuItem> items;
};
using MenuBar = std::vector<MenuPopup>;

// Where a top-level window lies: its place and size without the frame as it is when neither
// maximised nor minimised, and whether it is maximised.
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
};

// One message taken from a thread's queue.
struct Message {
    WindowHandle window = kNoWindow;  // kNoWindow for a thread message
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// ---- The interface ----------------------------------------------------------------------

class Platform {
public:
    virtual ~Platform() = default;

    // Creates a top-level window run by proc, with its menu bar, hidden. WM_CREATE reaches
    // proc before this returns. kNoWindow on failure.
    virtual WindowHandle CreateMainWindow(const std::string& title, const MenuBar& menu,
                                          WindowProc proc) = 0;
    // Creates the output list filling the client area of parent. kNoWindow on failure.
    virtual WindowHandle CreateOutputList(WindowHandle parent) = 0;
    // Sends WM_DESTROY to the window's procedure and forgets the window, its timers and its
    // socket registrations.
    virtual void DestroyWindow(WindowHandle window) = 0;
    virtual void ShowWindow(WindowHandle window, bool visible) = 0;
    virtual void SetWindowText(WindowHandle window, const std::string& text) = 0;
    virtual std::string GetWindowText(WindowHandle window) const = 0;
    virtual void MoveWindow(WindowHandle window, int x, int y, int width, int height,
                            bool repaint) = 0;
    // A main window's placement; false when the back end keeps none (the headless one).
    virtual bool GetWindowPlacement(WindowHandle window, WindowPlacement& placement) const;
    // Places a main window; a place off every screen is moved onto one.
    virtual void SetWindowPlacement(WindowHandle window, const WindowPlacement& placement);

    // The output list: a list of text lines with one selection.
    virtual int OutputListCount(WindowHandle list) const = 0;
    virtual void OutputListDelete(WindowHandle list, int index) = 0;
    // Appends a line and returns its index (-1 on failure).
    virtual int OutputListAppend(WindowHandle list, const std::string& text) = 0;
    virtual void OutputListSelect(WindowHandle list, int index) = 0;

    // The message loop of the calling thread. GetMessage waits for the next message: posted
    // messages first, then a due timer tick, then a socket notification. False on WM_QUIT.
    virtual bool GetMessage(Message& message) = 0;
    // Hands a message to its window's procedure (thread messages are dropped).
    virtual std::intptr_t DispatchMessage(const Message& message) = 0;
    // Calls the window's procedure at once.
    virtual std::intptr_t SendMessage(WindowHandle window, unsigned message,
                                      std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Queues a message for the thread that owns the window; false when there is no window.
    virtual bool PostMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;
    // Queues a message with no window for a thread; it keeps waiting in the queue even when
    // the thread has not begun its loop yet.
    virtual bool PostThreadMessage(ThreadId thread, unsigned message, std::uintptr_t wParam,
                                   std::intptr_t lParam) = 0;
    // Posts WM_QUIT with the exit code to the calling thread.
    virtual void PostQuitMessage(int exitCode) = 0;
    // What a window does with messages its procedure leaves: WM_CLOSE destroys the window.
    virtual std::intptr_t DefWindowProc(WindowHandle window, unsigned message,
                                        std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual ThreadId CurrentThreadId() = 0;

    // A timer that sends WM_TIMER (wParam timerId) to the window every periodMs. Returns the
    // timer identifier, 0 on failure.
    virtual std::uint32_t SetTimer(WindowHandle window, std::uint32_t timerId,
                                   std::uint32_t periodMs) = 0;
    virtual bool KillTimer(WindowHandle window, std::uint32_t timerId) = 0;

    // Registers a socket: while events holds FD_READ, its readiness to read is delivered to
    // the window as message (wParam the socket, lParam MakeSelectEvent(FD_READ, error)).
    // Message 0 or events 0 cancels the registration. 0 on success, else an error code.
    virtual int AsyncSelect(int socket, WindowHandle window, unsigned message, long events) = 0;
    // While a timer of the thread is due within withinMs, its wait leaves the sockets unwatched:
    // the timer's handler reads them (a paced tick does), so under load the thread wakes once
    // per tick instead of once per datagram. 0, the default, watches them always.
    virtual void SetTimerReadsSocketsWithin(std::uint32_t withinMs) { (void)withinMs; }

    // A modal message box; returns the button pressed (IDOK).
    virtual int MessageBox(WindowHandle owner, const std::string& text,
                           const std::string& caption, unsigned type) = 0;
    // The open-file dialog. True with the chosen full path; false when cancelled.
    virtual bool GetOpenFileName(WindowHandle owner, const std::string& initialFolder,
                                 const std::string& title, bool fileMustExist,
                                 std::string& path) = 0;
    // Runs the dialog of template resourceId modally; returns what the procedure gave
    // EndDialog (-1 when the dialog cannot be shown).
    virtual std::intptr_t DialogBoxParam(int resourceId, WindowHandle owner, DialogProc proc,
                                         std::intptr_t parameter) = 0;
    // Opens a web address in the user's browser.
    virtual void OpenUrl(WindowHandle owner, const std::string& url) = 0;
};

// The back end the shell uses. Not owned; set once at start-up (tests set their own).
Platform& CurrentPlatform();
void SetCurrentPlatform(Platform* platform);
bool HasCurrentPlatform();
