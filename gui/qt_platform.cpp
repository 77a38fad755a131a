#include "gui/qt_platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "gui/main_window_widget.h"
#include "gui/output_list_widget.h"
#include "gui/program_art.h"
#include "gui/stop_signals.h"
#include "gui/template_dialog.h"

namespace {

constexpr int kDefaultWidth = 640;  // what a window of default size gets
constexpr int kDefaultHeight = 400;
constexpr std::uint32_t kMinimumTimerPeriodMs = 10;  // shorter periods would spin

std::atomic<ThreadId> nextThreadId{1};
thread_local ThreadId thisThreadId = 0;

std::uintptr_t CommandWParam(int controlId, int notification) {
    return (static_cast<std::uintptr_t>(controlId) & 0xFFFF) |
           ((static_cast<std::uintptr_t>(notification) & 0xFFFF) << 16);
}

// The pending error of a socket that poll() reports in error, else 0.
int PendingSocketError(int socket) {
    pollfd probe{socket, POLLIN, 0};
    if (poll(&probe, 1, 0) <= 0 || (probe.revents & POLLERR) == 0) return 0;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    return error;
}

}  // namespace

QtPlatform::QtPlatform(int& argc, char** argv) {
    if (QApplication::instance() == nullptr)
        ownedApplication_ = std::make_unique<QApplication>(argc, argv);
    // The window procedure ends the program (WM_DESTROY posts the quit); Qt must not end
    // every event loop on its own when the last window goes.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());
    context_ = std::make_unique<QObject>();
}

QtPlatform::~QtPlatform() {
    context_.reset();  // timers, notifiers and queued calls go first
    for (auto& [handle, record] : windows_)
        if (record.kind != Kind::Dialog && record.widget) destroyed_.push_back(record.widget);
    windows_.clear();
    for (QPointer<QWidget>& widget : destroyed_) delete widget.data();  // null once deleted
    destroyed_.clear();
    ownedApplication_.reset();
}

ThreadId QtPlatform::CurrentThreadId() {
    if (thisThreadId == 0) thisThreadId = nextThreadId.fetch_add(1);
    return thisThreadId;
}

// ---- Windows ----------------------------------------------------------------------------

const QtPlatform::WindowRecord* QtPlatform::Find(WindowHandle window) const {
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

QWidget* QtPlatform::Widget(WindowHandle window) const {
    const WindowRecord* record = Find(window);
    return record == nullptr ? nullptr : record->widget.data();
}

QWidget* QtPlatform::OwnerWidget(WindowHandle owner) const {
    QWidget* widget = Widget(owner);
    return widget != nullptr ? widget->window() : nullptr;
}

OutputListWidget* QtPlatform::List(WindowHandle list) const {
    const WindowRecord* record = Find(list);
    if (record == nullptr || record->kind != Kind::OutputList) return nullptr;
    return static_cast<OutputListWidget*>(record->widget.data());
}

WindowHandle QtPlatform::Register(WindowRecord record) {
    WindowHandle handle = nextHandle_++;
    if (nextHandle_ == kNoWindow) nextHandle_ = 1;
    windows_[handle] = std::move(record);
    return handle;
}

void QtPlatform::Forget(WindowHandle window) {
    auto found = windows_.find(window);
    if (found == windows_.end()) return;
    WindowRecord record = found->second;
    windows_.erase(found);

    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->first.first != window) {
            ++it;
            continue;
        }
        it->second->stop();
        it->second->deleteLater();  // it may be the timer whose tick is being handled
        queuedTicks_.erase(it->first);
        it = timers_.erase(it);
    }
    for (auto it = sockets_.begin(); it != sockets_.end();) {
        if (it->second.window != window) {
            ++it;
            continue;
        }
        it->second.notifier->setEnabled(false);
        it->second.notifier->deleteLater();
        queuedNotifications_.erase(it->first);
        it = sockets_.erase(it);
    }
    // A dialog belongs to whoever runs it; windows are deleted once control is back in the
    // event loop (this may run inside one of their own event handlers).
    if (record.kind != Kind::Dialog && record.widget) {
        record.widget->hide();
        record.widget->deleteLater();
        destroyed_.push_back(record.widget);
    }
}

WindowHandle QtPlatform::CreateMainWindow(const std::string& title, const MenuBar& menu,
                                          WindowProc proc) {
    auto* widget = new MainWindowWidget(menu);
    widget->setWindowTitle(QString::fromStdString(title));
    widget->setWindowIcon(ProgramIcon());
    widget->resize(kDefaultWidth, kDefaultHeight);
    const WindowHandle window = Register(WindowRecord{Kind::MainWindow, widget, proc, kNoWindow});
    widget->SetSinks(
        [this, window](std::uintptr_t sizeType, int width, int height) {
            SendMessage(window, WM_SIZE, sizeType,
                        MakeLParam(static_cast<unsigned>(width), static_cast<unsigned>(height)));
        },
        [this, window] { SendMessage(window, WM_CLOSE, 0, 0); },
        [this, window](int commandId) {
            SendMessage(window, WM_COMMAND, CommandWParam(commandId, 0), 0);
        });
    if (proc != nullptr) proc(window, WM_CREATE, 0, 0);
    return window;
}

WindowHandle QtPlatform::CreateOutputList(WindowHandle parent) {
    const WindowRecord* parentRecord = Find(parent);
    if (parentRecord == nullptr || parentRecord->kind != Kind::MainWindow || !parentRecord->widget)
        return kNoWindow;
    auto* frame = static_cast<MainWindowWidget*>(parentRecord->widget.data());
    auto* list = new OutputListWidget(frame->ClientArea());
    list->setGeometry(frame->ClientArea()->rect());  // until the first WM_SIZE places it
    list->show();
    return Register(WindowRecord{Kind::OutputList, list, nullptr, parent});
}

void QtPlatform::DestroyWindow(WindowHandle window) {
    const WindowRecord* record = Find(window);
    if (record == nullptr) return;
    if (WindowProc proc = record->proc) proc(window, WM_DESTROY, 0, 0);

    std::vector<WindowHandle> children;
    for (const auto& [handle, child] : windows_)
        if (child.parent == window && child.kind != Kind::Dialog) children.push_back(handle);
    for (WindowHandle child : children) Forget(child);
    Forget(window);
}

void QtPlatform::ShowWindow(WindowHandle window, bool visible) {
    if (QWidget* widget = Widget(window)) widget->setVisible(visible);
}

void QtPlatform::SetWindowText(WindowHandle window, const std::string& text) {
    if (QWidget* widget = Widget(window)) widget->setWindowTitle(QString::fromStdString(text));
}

std::string QtPlatform::GetWindowText(WindowHandle window) const {
    QWidget* widget = Widget(window);
    return widget == nullptr ? std::string() : widget->windowTitle().toStdString();
}

void QtPlatform::MoveWindow(WindowHandle window, int x, int y, int width, int height,
                            bool repaint) {
    QWidget* widget = Widget(window);
    if (widget == nullptr) return;
    widget->setGeometry(x, y, width, height);
    if (repaint) widget->update();
}

bool QtPlatform::GetWindowPlacement(WindowHandle window, WindowPlacement& placement) const {
    const WindowRecord* record = Find(window);
    if (record == nullptr || record->kind != Kind::MainWindow || !record->widget) return false;
    const QWidget* widget = record->widget.data();
    // The geometry it returns to from maximised or minimised: the one worth restoring.
    const QRect normal = widget->normalGeometry();
    placement = WindowPlacement{normal.x(), normal.y(), normal.width(), normal.height(),
                                widget->isMaximized()};
    return true;
}

void QtPlatform::SetWindowPlacement(WindowHandle window, const WindowPlacement& placement) {
    const WindowRecord* record = Find(window);
    if (record == nullptr || record->kind != Kind::MainWindow || !record->widget) return;
    QWidget* widget = record->widget.data();
    QRect area(placement.x, placement.y, placement.width, placement.height);
    // A place saved on a screen that is gone (or a smaller one) is brought onto this one.
    const QScreen* screen = QGuiApplication::screenAt(area.center());
    if (screen == nullptr) screen = widget->screen();
    if (screen != nullptr) {
        const QRect available = screen->availableGeometry();
        area.setSize(area.size().boundedTo(available.size()));
        if (!available.contains(area.center())) area.moveCenter(available.center());
    }
    if (area.isEmpty()) return;
    widget->setGeometry(area);
    if (placement.maximized) widget->setWindowState(widget->windowState() | Qt::WindowMaximized);
}

// ---- Output list ------------------------------------------------------------------------

int QtPlatform::OutputListCount(WindowHandle list) const {
    OutputListWidget* widget = List(list);
    return widget == nullptr ? 0 : widget->count();
}

void QtPlatform::OutputListDelete(WindowHandle list, int index) {
    if (OutputListWidget* widget = List(list)) widget->DeleteLine(index);
}

int QtPlatform::OutputListAppend(WindowHandle list, const std::string& text) {
    OutputListWidget* widget = List(list);
    return widget == nullptr ? -1 : widget->AppendLine(QString::fromStdString(text));
}

void QtPlatform::OutputListSelect(WindowHandle list, int index) {
    if (OutputListWidget* widget = List(list)) widget->SelectLine(index);
}

// ---- Messages ---------------------------------------------------------------------------

void QtPlatform::Deliver(const Message& message) {
    if (waitingLoop_ != nullptr && waitingDepth_ == modalDepth_) {
        ready_.push_back(message);
        waitingLoop_->quit();
        return;
    }
    // A modal loop (or someone else's) runs: it dispatches, as modal loops do.
    Unmark(message);
    if (message.window != kNoWindow)
        SendMessage(message.window, message.message, message.wParam, message.lParam);
}

void QtPlatform::Unmark(const Message& message) {
    if (message.message == WM_TIMER)
        queuedTicks_.erase(TimerKey{message.window, static_cast<std::uint32_t>(message.wParam)});
    auto socket = sockets_.find(static_cast<int>(message.wParam));
    if (socket != sockets_.end() && socket->second.message == message.message &&
        socket->second.window == message.window)
        queuedNotifications_.erase(socket->first);
}

void QtPlatform::OnTimer(WindowHandle window, std::uint32_t timerId) {
    const TimerKey key{window, timerId};
    if (queuedTicks_.count(key) != 0) return;  // one tick waits already
    if (waitingLoop_ != nullptr && waitingDepth_ == modalDepth_) queuedTicks_.insert(key);
    Deliver(Message{window, WM_TIMER, timerId, 0});
}

void QtPlatform::OnSocketReady(int socket) {
    auto found = sockets_.find(socket);
    if (found == sockets_.end()) return;
    if (fcntl(socket, F_GETFD) == -1) {  // closed behind our back: stop watching it
        found->second.notifier->setEnabled(false);
        found->second.notifier->deleteLater();
        sockets_.erase(found);
        queuedNotifications_.erase(socket);
        return;
    }
    if (queuedNotifications_.count(socket) != 0) return;  // one notification waits already
    const SocketRecord registration = found->second;
    if (waitingLoop_ != nullptr && waitingDepth_ == modalDepth_) queuedNotifications_.insert(socket);
    Deliver(Message{registration.window, registration.message, static_cast<std::uintptr_t>(socket),
                    MakeSelectEvent(FD_READ, PendingSocketError(socket))});
}

bool QtPlatform::GetMessage(Message& message) {
    for (;;) {
        if (!ready_.empty()) {
            message = ready_.front();
            ready_.pop_front();
            return true;
        }
        if (quitPosted_) {
            quitPosted_ = false;
            message = Message{kNoWindow, WM_QUIT, static_cast<std::uintptr_t>(exitCode_), 0};
            return false;
        }
        QEventLoop loop;
        QEventLoop* outerLoop = waitingLoop_;
        const int outerDepth = waitingDepth_;
        waitingLoop_ = &loop;
        waitingDepth_ = modalDepth_;
        loop.exec();
        waitingLoop_ = outerLoop;
        waitingDepth_ = outerDepth;
    }
}

std::intptr_t QtPlatform::DispatchMessage(const Message& message) {
    Unmark(message);
    if (message.window == kNoWindow) return 0;
    return SendMessage(message.window, message.message, message.wParam, message.lParam);
}

std::intptr_t QtPlatform::SendMessage(WindowHandle window, unsigned message,
                                      std::uintptr_t wParam, std::intptr_t lParam) {
    const WindowRecord* record = Find(window);
    if (record == nullptr) return 0;
    if (WindowProc proc = record->proc) return proc(window, message, wParam, lParam);
    return DefWindowProc(window, message, wParam, lParam);
}

bool QtPlatform::PostMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam) {
    if (Find(window) == nullptr) return false;
    const Message posted{window, message, wParam, lParam};
    QMetaObject::invokeMethod(context_.get(), [this, posted] { Deliver(posted); },
                              Qt::QueuedConnection);
    return true;
}

bool QtPlatform::PostThreadMessage(ThreadId thread, unsigned message, std::uintptr_t wParam,
                                   std::intptr_t lParam) {
    // Every window of this back end lives on the thread of the application object.
    if (thread == 0 || context_->thread() != QThread::currentThread() ||
        thread != CurrentThreadId())
        return false;
    const Message posted{kNoWindow, message, wParam, lParam};
    QMetaObject::invokeMethod(context_.get(), [this, posted] { Deliver(posted); },
                              Qt::QueuedConnection);
    return true;
}

void QtPlatform::PostQuitMessage(int exitCode) {
    quitPosted_ = true;
    exitCode_ = exitCode;
    if (waitingLoop_ != nullptr) waitingLoop_->quit();
}

std::intptr_t QtPlatform::DefWindowProc(WindowHandle window, unsigned message, std::uintptr_t,
                                        std::intptr_t) {
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

// ---- Timers and sockets -----------------------------------------------------------------

std::uint32_t QtPlatform::SetTimer(WindowHandle window, std::uint32_t timerId,
                                   std::uint32_t periodMs) {
    if (Find(window) == nullptr || timerId == 0) return 0;
    const int interval = static_cast<int>(std::min<std::uint32_t>(
        std::max(periodMs, kMinimumTimerPeriodMs), 0x7FFFFFFF));
    const TimerKey key{window, timerId};
    auto found = timers_.find(key);
    if (found != timers_.end()) {
        found->second->start(interval);  // a new period, counted from now
        return timerId;
    }
    auto* timer = new QTimer(context_.get());
    QObject::connect(timer, &QTimer::timeout, context_.get(),
                     [this, window, timerId] { OnTimer(window, timerId); });
    timer->start(interval);
    timers_[key] = timer;
    return timerId;
}

bool QtPlatform::KillTimer(WindowHandle window, std::uint32_t timerId) {
    auto found = timers_.find(TimerKey{window, timerId});
    if (found == timers_.end()) return false;
    found->second->stop();
    found->second->deleteLater();
    queuedTicks_.erase(found->first);
    timers_.erase(found);
    return true;
}

int QtPlatform::AsyncSelect(int socket, WindowHandle window, unsigned message, long events) {
    if (socket < 0 || fcntl(socket, F_GETFD) == -1) return EBADF;
    if (auto found = sockets_.find(socket); found != sockets_.end()) {
        found->second.notifier->setEnabled(false);
        found->second.notifier->deleteLater();
        sockets_.erase(found);
        queuedNotifications_.erase(socket);
    }
    if (message == 0 || events == 0 || (events & FD_READ) == 0) return 0;
    if (Find(window) == nullptr) return EINVAL;
    auto* notifier = new QSocketNotifier(socket, QSocketNotifier::Read, context_.get());
    QObject::connect(notifier, &QSocketNotifier::activated, context_.get(),
                     [this, socket] { OnSocketReady(socket); });
    sockets_[socket] = SocketRecord{notifier, window, message};
    return 0;
}

// ---- Boxes and dialogs ------------------------------------------------------------------

template <typename Body>
auto QtPlatform::RunModal(Body body) {
    ++modalDepth_;
    auto result = body();
    --modalDepth_;
    return result;
}

int QtPlatform::MessageBox(WindowHandle owner, const std::string& text,
                           const std::string& caption, unsigned) {
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(caption),
                                                QString::fromStdString(text), QMessageBox::Ok,
                                                OwnerWidget(owner));
    RunModal([&] { return box->exec(); });
    delete box.data();
    return IDOK;
}

bool QtPlatform::GetOpenFileName(WindowHandle owner, const std::string& initialFolder,
                                 const std::string& title, bool fileMustExist,
                                 std::string& path) {
    QPointer<QFileDialog> dialog = new QFileDialog(OwnerWidget(owner), QString::fromStdString(title),
                                                   QString::fromStdString(initialFolder));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const int result = RunModal([&] { return dialog->exec(); });
    bool chosen = false;
    if (dialog && result == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
        path = dialog->selectedFiles().first().toStdString();
        chosen = true;
    }
    delete dialog.data();
    return chosen;
}

std::intptr_t QtPlatform::DialogBoxParam(int resourceId, WindowHandle owner, DialogProc proc,
                                         std::intptr_t parameter) {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(resourceId);
    if (dialogTemplate == nullptr || proc == nullptr) return -1;

    QPointer<TemplateDialog> dialog = new TemplateDialog(*dialogTemplate, OwnerWidget(owner));
    const WindowHandle window = Register(WindowRecord{Kind::Dialog, dialog.data(), nullptr, owner});
    TemplateDialogHandle handle(*dialog, window);
    dialog->SetCommandSink([&handle, &dialog, proc](int controlId, int notification) {
        if (handle.Ended() || (handle.Waiting() && controlId != IDCANCEL)) return;
        proc(handle, WM_COMMAND, CommandWParam(controlId, notification), 0);
        if (handle.Ended() && dialog) dialog->done(0);
    });

    proc(handle, WM_INITDIALOG, 0, parameter);
    if (!handle.Ended()) RunModal([&] { return dialog->exec(); });

    Forget(window);
    delete dialog.data();
    return handle.Result();
}

// ---- Closing everything ----------------------------------------------------------------

void QtPlatform::CloseAllWindows() {
    // Innermost first; each modal loop returns once its dialog is done. Bounded, since a
    // dialog that somehow stays modal must not hold the close.
    for (int left = 32; left > 0; --left) {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) break;
        dialog->done(QDialog::Rejected);
    }
    for (const auto& [handle, record] : windows_)
        if (record.kind == Kind::MainWindow) PostMessage(handle, WM_CLOSE, 0, 0);
}

void QtPlatform::CloseWindowsOnStopSignals() {
    const int pipe = StopSignalPipe();
    if (pipe < 0) return;
    auto* notifier = new QSocketNotifier(pipe, QSocketNotifier::Read, context_.get());
    QObject::connect(notifier, &QSocketNotifier::activated, context_.get(), [this, pipe] {
        DrainStopSignalPipe(pipe);
        CloseAllWindows();
    });
}

void QtPlatform::OpenUrl(WindowHandle, const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}
