#include "platform/headless_platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <optional>
#include <utility>

#include "infra/clock.h"
#include "infra/log.h"

struct HeadlessPlatform::WindowRecord {
    WindowProc proc = nullptr;
    ThreadId owner = 0;
    WindowHandle parent = kNoWindow;
    bool isOutputList = false;
    bool visible = false;
    std::string title;
    std::vector<std::string> lines;
    int selected = -1;
};

struct HeadlessPlatform::TimerRecord {
    WindowHandle window = kNoWindow;
    std::uint32_t id = 0;
    std::uint32_t periodMs = 0;
    std::uint32_t lastFired = 0;
};

struct HeadlessPlatform::SocketRecord {
    WindowHandle window = kNoWindow;
    unsigned message = 0;
};

// A thread's posted messages and the descriptor that wakes its poll() when one arrives, with
// the thread's poll list: its wake descriptor first, then its windows' sockets. The list is
// kept between waits (only this thread uses it) and made anew when the sockets change; the
// sockets its last poll found ready are handed out one per message from nextReady on.
struct HeadlessPlatform::ThreadQueue {
    std::deque<Message> messages;
    int wakeFd = -1;
    std::vector<pollfd> watched;
    std::vector<SocketRecord> registered;  // for watched[1] on
    std::optional<std::uint64_t> watchedAt;  // the value of socketsChanged_ it was made at
    std::size_t nextReady = 0;
    ThreadQueue() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~ThreadQueue() {
        if (wakeFd >= 0) close(wakeFd);
    }
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;
    void Wake() const {
        if (wakeFd < 0) return;
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(wakeFd, &one, sizeof one);
    }
    void Drain() const {
        if (wakeFd < 0) return;
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t got = read(wakeFd, &count, sizeof count);
    }
};

namespace {
std::atomic<ThreadId> nextThreadId{1};
thread_local ThreadId thisThreadId = 0;
}  // namespace

HeadlessPlatform::HeadlessPlatform(const Clock& clock) : clock_(clock) {}
HeadlessPlatform::~HeadlessPlatform() = default;

ThreadId HeadlessPlatform::CurrentThreadId() {
    if (thisThreadId == 0) thisThreadId = nextThreadId.fetch_add(1);
    return thisThreadId;
}

HeadlessPlatform::ThreadQueue& HeadlessPlatform::QueueOf(ThreadId thread) {
    auto& queue = queues_[thread];
    if (!queue) queue = std::make_unique<ThreadQueue>();
    return *queue;
}

HeadlessPlatform::WindowRecord* HeadlessPlatform::Find(WindowHandle window) {
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

const HeadlessPlatform::WindowRecord* HeadlessPlatform::Find(WindowHandle window) const {
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

WindowHandle HeadlessPlatform::NewHandle() {
    WindowHandle handle = nextHandle_++;
    if (nextHandle_ == kNoWindow) nextHandle_ = 1;
    return handle;
}

// ---- Windows ----------------------------------------------------------------------------

WindowHandle HeadlessPlatform::CreateMainWindow(const std::string& title, const MenuBar&,
                                                WindowProc proc) {
    WindowHandle window;
    {
        std::lock_guard<std::mutex> guard(lock_);
        window = NewHandle();
        WindowRecord& record = windows_[window];
        record.proc = proc;
        record.owner = CurrentThreadId();
        record.title = title;
    }
    if (proc != nullptr) proc(window, WM_CREATE, 0, 0);
    return window;
}

WindowHandle HeadlessPlatform::CreateOutputList(WindowHandle parent) {
    std::lock_guard<std::mutex> guard(lock_);
    const WindowRecord* parentRecord = Find(parent);
    if (parentRecord == nullptr) return kNoWindow;
    ThreadId owner = parentRecord->owner;
    WindowHandle list = NewHandle();
    WindowRecord& record = windows_[list];
    record.owner = owner;
    record.parent = parent;
    record.isOutputList = true;
    record.visible = true;
    return list;
}

void HeadlessPlatform::DestroyWindow(WindowHandle window) {
    WindowProc proc = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        WindowRecord* record = Find(window);
        if (record == nullptr) return;
        proc = record->proc;
    }
    if (proc != nullptr) proc(window, WM_DESTROY, 0, 0);

    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (it->first == window || it->second.parent == window)
            it = windows_.erase(it);
        else
            ++it;
    }
    std::erase_if(timers_, [window](const TimerRecord& timer) { return timer.window == window; });
    std::erase_if(sockets_, [window](const auto& entry) { return entry.second.window == window; });
    ++socketsChanged_;
}

void HeadlessPlatform::ShowWindow(WindowHandle window, bool visible) {
    std::lock_guard<std::mutex> guard(lock_);
    if (WindowRecord* record = Find(window)) record->visible = visible;
}

void HeadlessPlatform::SetWindowText(WindowHandle window, const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    if (WindowRecord* record = Find(window)) record->title = text;
}

std::string HeadlessPlatform::GetWindowText(WindowHandle window) const {
    std::lock_guard<std::mutex> guard(lock_);
    const WindowRecord* record = Find(window);
    return record == nullptr ? std::string() : record->title;
}

void HeadlessPlatform::MoveWindow(WindowHandle, int, int, int, int, bool) {}

// ---- Output list ------------------------------------------------------------------------

int HeadlessPlatform::OutputListCount(WindowHandle list) const {
    std::lock_guard<std::mutex> guard(lock_);
    const WindowRecord* record = Find(list);
    return record == nullptr ? 0 : static_cast<int>(record->lines.size());
}

void HeadlessPlatform::OutputListDelete(WindowHandle list, int index) {
    std::lock_guard<std::mutex> guard(lock_);
    WindowRecord* record = Find(list);
    if (record == nullptr || index < 0 || index >= static_cast<int>(record->lines.size())) return;
    record->lines.erase(record->lines.begin() + index);
    if (record->selected == index)
        record->selected = -1;
    else if (record->selected > index)
        --record->selected;
}

int HeadlessPlatform::OutputListAppend(WindowHandle list, const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    WindowRecord* record = Find(list);
    if (record == nullptr || !record->isOutputList) return -1;
    record->lines.push_back(text);
    return static_cast<int>(record->lines.size()) - 1;
}

void HeadlessPlatform::OutputListSelect(WindowHandle list, int index) {
    std::lock_guard<std::mutex> guard(lock_);
    WindowRecord* record = Find(list);
    if (record == nullptr) return;
    record->selected = (index >= 0 && index < static_cast<int>(record->lines.size())) ? index : -1;
}

// ---- Messages ---------------------------------------------------------------------------

bool HeadlessPlatform::PostLocked(ThreadId thread, const Message& message) {
    ThreadQueue& queue = QueueOf(thread);
    queue.messages.push_back(message);
    queue.Wake();
    return true;
}

bool HeadlessPlatform::PostMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                   std::intptr_t lParam) {
    std::lock_guard<std::mutex> guard(lock_);
    const WindowRecord* record = Find(window);
    if (record == nullptr) return false;
    return PostLocked(record->owner, Message{window, message, wParam, lParam});
}

bool HeadlessPlatform::PostThreadMessage(ThreadId thread, unsigned message,
                                         std::uintptr_t wParam, std::intptr_t lParam) {
    if (thread == 0) return false;
    std::lock_guard<std::mutex> guard(lock_);
    return PostLocked(thread, Message{kNoWindow, message, wParam, lParam});
}

void HeadlessPlatform::PostQuitMessage(int exitCode) {
    ThreadId self = CurrentThreadId();
    std::lock_guard<std::mutex> guard(lock_);
    PostLocked(self, Message{kNoWindow, WM_QUIT, static_cast<std::uintptr_t>(exitCode), 0});
}

bool HeadlessPlatform::TakeDueTimer(ThreadId thread, Message& message, int& waitMs) {
    std::uint32_t now = clock_.TickCount();
    waitMs = -1;
    for (TimerRecord& timer : timers_) {
        const WindowRecord* record = Find(timer.window);
        if (record == nullptr || record->owner != thread) continue;
        std::uint32_t elapsed = now - timer.lastFired;  // unsigned: survives the wrap
        if (elapsed >= timer.periodMs) {
            timer.lastFired = now;
            message = Message{timer.window, WM_TIMER, timer.id, 0};
            return true;
        }
        int remaining = static_cast<int>(timer.periodMs - elapsed);
        if (waitMs < 0 || remaining < waitMs) waitMs = remaining;
    }
    return false;
}

bool HeadlessPlatform::WaitForEvent(ThreadId thread, int waitMs, Message& message) {
    ThreadQueue* queue = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue = &QueueOf(thread);
        if (queue->watchedAt != socketsChanged_) {
            queue->watched.assign(1, pollfd{queue->wakeFd, POLLIN, 0});
            queue->registered.clear();
            for (const auto& [socket, registration] : sockets_) {
                const WindowRecord* record = Find(registration.window);
                if (record == nullptr || record->owner != thread) continue;
                queue->watched.push_back(pollfd{socket, POLLIN, 0});
                queue->registered.push_back(registration);
            }
            queue->watchedAt = socketsChanged_;
            queue->nextReady = queue->watched.size();  // what the old list found is gone with it
        }
    }
    // One poll can find several sockets ready: each is handed out before polling again.
    if (TakeReadySocket(*queue, message)) return true;
    std::vector<pollfd>& fds = queue->watched;
    const std::uint32_t within = timerReadsSocketsWithinMs_;
    const bool timerReadsSockets = within > 0 && waitMs >= 0 && static_cast<std::uint32_t>(waitMs) <= within;
    const nfds_t watchedCount = timerReadsSockets ? 1 : fds.size();
    int ready = poll(fds.data(), watchedCount, waitMs);
    if (ready <= 0) return false;  // time-out or a signal: the caller looks again
    if (fds[0].revents != 0) {
        std::lock_guard<std::mutex> guard(lock_);
        queue->Drain();
    }
    if (watchedCount == 1) return false;
    queue->nextReady = 1;
    return TakeReadySocket(*queue, message);
}

bool HeadlessPlatform::TakeReadySocket(ThreadQueue& queue, Message& message) {
    while (queue.nextReady < queue.watched.size()) {
        const std::size_t i = queue.nextReady++;
        const short events = queue.watched[i].revents;
        if (events == 0) continue;
        const int socket = queue.watched[i].fd;
        if (events & POLLNVAL) {
            // Closed behind our back: forget it rather than spin on it.
            std::lock_guard<std::mutex> guard(lock_);
            sockets_.erase(socket);
            ++socketsChanged_;
            continue;
        }
        int error = 0;
        if (events & POLLERR) {
            socklen_t length = sizeof error;
            if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        }
        const SocketRecord& registration = queue.registered[i - 1];
        message = Message{registration.window, registration.message,
                          static_cast<std::uintptr_t>(socket), MakeSelectEvent(FD_READ, error)};
        return true;
    }
    return false;
}

void HeadlessPlatform::SetTimerReadsSocketsWithin(std::uint32_t withinMs) { timerReadsSocketsWithinMs_ = withinMs; }

bool HeadlessPlatform::GetMessage(Message& message) {
    ThreadId self = CurrentThreadId();
    for (;;) {
        int waitMs = -1;
        {
            std::lock_guard<std::mutex> guard(lock_);
            ThreadQueue& queue = QueueOf(self);
            if (!queue.messages.empty()) {
                message = queue.messages.front();
                queue.messages.pop_front();
                return message.message != WM_QUIT;
            }
            if (TakeDueTimer(self, message, waitMs)) return true;
        }
        if (WaitForEvent(self, waitMs, message)) return true;
    }
}

std::intptr_t HeadlessPlatform::DispatchMessage(const Message& message) {
    if (message.window == kNoWindow) return 0;
    return SendMessage(message.window, message.message, message.wParam, message.lParam);
}

std::intptr_t HeadlessPlatform::SendMessage(WindowHandle window, unsigned message,
                                            std::uintptr_t wParam, std::intptr_t lParam) {
    WindowProc proc = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const WindowRecord* record = Find(window);
        if (record == nullptr) return 0;
        proc = record->proc;
    }
    if (proc == nullptr) return DefWindowProc(window, message, wParam, lParam);
    return proc(window, message, wParam, lParam);
}

std::intptr_t HeadlessPlatform::DefWindowProc(WindowHandle window, unsigned message,
                                              std::uintptr_t, std::intptr_t) {
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

// ---- Timers and sockets -----------------------------------------------------------------

std::uint32_t HeadlessPlatform::SetTimer(WindowHandle window, std::uint32_t timerId,
                                         std::uint32_t periodMs) {
    std::lock_guard<std::mutex> guard(lock_);
    if (Find(window) == nullptr || timerId == 0) return 0;
    std::uint32_t now = clock_.TickCount();
    for (TimerRecord& timer : timers_) {
        if (timer.window == window && timer.id == timerId) {
            timer.periodMs = periodMs;
            timer.lastFired = now;
            return timerId;
        }
    }
    timers_.push_back(TimerRecord{window, timerId, periodMs, now});
    return timerId;
}

bool HeadlessPlatform::KillTimer(WindowHandle window, std::uint32_t timerId) {
    std::lock_guard<std::mutex> guard(lock_);
    return std::erase_if(timers_, [&](const TimerRecord& timer) {
               return timer.window == window && timer.id == timerId;
           }) > 0;
}

int HeadlessPlatform::AsyncSelect(int socket, WindowHandle window, unsigned message,
                                  long events) {
    if (socket < 0 || fcntl(socket, F_GETFD) == -1) return EBADF;
    std::lock_guard<std::mutex> guard(lock_);
    if (message == 0 || events == 0) {
        sockets_.erase(socket);
        ++socketsChanged_;
        return 0;
    }
    if (Find(window) == nullptr) return EINVAL;
    ++socketsChanged_;
    if ((events & FD_READ) == 0) {
        sockets_.erase(socket);
        return 0;
    }
    sockets_[socket] = SocketRecord{window, message};
    return 0;
}

// ---- Boxes and dialogs ------------------------------------------------------------------

int HeadlessPlatform::MessageBox(WindowHandle, const std::string& text, const std::string& caption, unsigned) {
    Log(0, "%s: %s", caption.c_str(), text.c_str());
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return IDOK;
}

// Nobody chooses a file: cancelled.
bool HeadlessPlatform::GetOpenFileName(WindowHandle, const std::string&, const std::string&, bool, std::string&) {
    return false;
}

std::intptr_t HeadlessPlatform::DialogBoxParam(int resourceId, WindowHandle owner, DialogProc proc,
                                               std::intptr_t parameter) {
    WindowHandle window;
    {
        std::lock_guard<std::mutex> guard(lock_);
        window = NewHandle();
    }
    HeadlessDialog dialog(window, resourceId, owner, proc, parameter);
    dialog.Open();
    AnswerDialog(dialog);
    return dialog.Ended() ? dialog.Result() : 0;
}

// Nobody would see the page.
void HeadlessPlatform::OpenUrl(WindowHandle, const std::string&) {}

// ---- What the windows hold --------------------------------------------------------------

std::vector<std::string> HeadlessPlatform::OutputLines(WindowHandle list) const {
    std::lock_guard<std::mutex> guard(lock_);
    const WindowRecord* record = Find(list);
    return record == nullptr ? std::vector<std::string>() : record->lines;
}

int HeadlessPlatform::SelectedLine(WindowHandle list) const {
    std::lock_guard<std::mutex> guard(lock_);
    const WindowRecord* record = Find(list);
    return record == nullptr ? -1 : record->selected;
}

bool HeadlessPlatform::IsWindow(WindowHandle window) const {
    std::lock_guard<std::mutex> guard(lock_);
    return Find(window) != nullptr;
}

bool HeadlessPlatform::IsVisible(WindowHandle window) const {
    std::lock_guard<std::mutex> guard(lock_);
    const WindowRecord* record = Find(window);
    return record != nullptr && record->visible;
}

std::uint32_t HeadlessPlatform::TimerPeriod(WindowHandle window, std::uint32_t timerId) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const TimerRecord& timer : timers_)
        if (timer.window == window && timer.id == timerId) return timer.periodMs;
    return 0;
}

WindowHandle HeadlessPlatform::SocketWindow(int socket) const {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = sockets_.find(socket);
    return found == sockets_.end() ? kNoWindow : found->second.window;
}

std::size_t HeadlessPlatform::QueuedMessages(ThreadId thread) const {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = queues_.find(thread);
    return found == queues_.end() || !found->second ? 0 : found->second->messages.size();
}
