#include "platform/headless_platform.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "infra/clock.h"
#include "tests/support/capturing_logger.h"

namespace {

// What a test window's procedure received.
struct Received {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};
std::vector<Received> received;
bool quitOnDestroy = true;

std::intptr_t RecordingProc(WindowHandle window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
    received.push_back({message, wParam, lParam});
    if (message == WM_DESTROY && quitOnDestroy) CurrentPlatform().PostQuitMessage(0);
    if (message == WM_CLOSE) return CurrentPlatform().DefWindowProc(window, message, wParam, lParam);
    return 0;
}

class HeadlessPlatformTest : public testing::Test {
protected:
    HeadlessPlatformTest() : platform(clock) {
        received.clear();
        SetCurrentPlatform(&platform);
    }
    ~HeadlessPlatformTest() override { SetCurrentPlatform(nullptr); }

    WindowHandle NewWindow() { return platform.CreateMainWindow("w", {}, RecordingProc); }

    CapturingLogger log;
    ManualClock clock;
    HeadlessPlatform platform;
};

TEST_F(HeadlessPlatformTest, PostsComeFirstAndTheTimerTicksOncePerPeriodUntilKilled) {
    WindowHandle window = NewWindow();
    ASSERT_EQ(platform.SetTimer(window, 1, 100), 1u);
    platform.PostMessage(window, WM_USER, 0, 0);  // something to return while no tick is due
    Message message;
    clock.Advance(99);
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.message, WM_USER);  // 99 ms: not due yet

    clock.Advance(350);  // several periods late: one tick, not a burst, after the posts
    platform.PostMessage(window, WM_USER, 7, 0);
    platform.PostMessage(window, WM_USER, 8, 0);
    std::vector<unsigned> got;
    for (int i = 0; i < 3 && platform.GetMessage(message); ++i) got.push_back(static_cast<unsigned>(message.message + message.wParam));
    EXPECT_EQ(got, (std::vector<unsigned>{WM_USER + 7, WM_USER + 8, WM_TIMER + 1}));
    platform.PostMessage(window, WM_USER, 9, 0);
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.wParam, 9u);  // no second tick

    EXPECT_TRUE(platform.KillTimer(window, 1));
    EXPECT_EQ(platform.TimerPeriod(window, 1), 0u);
    EXPECT_FALSE(platform.KillTimer(window, 1));
}

TEST_F(HeadlessPlatformTest, ReadableSocketArrivesAsNotificationUntilCancelled) {
    WindowHandle window = NewWindow();
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, pair), 0);
    ASSERT_EQ(platform.AsyncSelect(pair[0], window, WM_SOCKET_NOTIFY, FD_READ), 0);
    EXPECT_EQ(platform.SocketWindow(pair[0]), window);
    ASSERT_EQ(write(pair[1], "x", 1), 1);

    Message message;
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.message, WM_SOCKET_NOTIFY);
    EXPECT_EQ(message.wParam, static_cast<std::uintptr_t>(pair[0]));
    EXPECT_EQ(LowWord(static_cast<std::uintptr_t>(message.lParam)), static_cast<unsigned>(FD_READ));
    EXPECT_EQ(HighWord(static_cast<std::uintptr_t>(message.lParam)), 0u);

    // Cancelled: the unread datagram no longer raises notifications.
    ASSERT_EQ(platform.AsyncSelect(pair[0], window, 0, 0), 0);
    EXPECT_EQ(platform.SocketWindow(pair[0]), kNoWindow);
    platform.PostMessage(window, WM_USER, 0, 0);
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.message, WM_USER);
    close(pair[0]);
    close(pair[1]);
}

// The poll list is kept between waits: a socket registered, or registered anew, after a wait
// is watched with what it was last registered for.
TEST_F(HeadlessPlatformTest, SocketsRegisteredAfterAWaitAreWatchedAsRegisteredLast) {
    WindowHandle window = NewWindow();
    int first[2];
    int second[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, first), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, second), 0);
    ASSERT_EQ(platform.AsyncSelect(first[0], window, WM_SOCKET_NOTIFY, FD_READ), 0);
    ASSERT_EQ(write(first[1], "x", 1), 1);
    Message message;
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.wParam, static_cast<std::uintptr_t>(first[0]));
    char octet = 0;
    ASSERT_EQ(read(first[0], &octet, 1), 1);

    ASSERT_EQ(platform.AsyncSelect(second[0], window, WM_USER + 1, FD_READ), 0);
    ASSERT_EQ(write(second[1], "y", 1), 1);
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.message, WM_USER + 1);
    EXPECT_EQ(message.wParam, static_cast<std::uintptr_t>(second[0]));

    ASSERT_EQ(platform.AsyncSelect(second[0], window, WM_USER + 2, FD_READ), 0);
    ASSERT_TRUE(platform.GetMessage(message));  // the datagram is still unread
    EXPECT_EQ(message.message, WM_USER + 2);
    for (int* pair : {first, second}) {
        close(pair[0]);
        close(pair[1]);
    }
}

// One poll that finds several sockets ready hands each out in turn. While a timer is due within
// SetTimerReadsSocketsWithin, the wait leaves the sockets to it: the timer comes although
// datagrams wait, and they are told of once no timer is that close.
TEST(HeadlessPlatformSockets, ATimerDueSoonReadsTheSocketsItself) {
    HeadlessPlatform platform(SystemClock::Instance());
    SetCurrentPlatform(&platform);
    received.clear();
    const WindowHandle window = platform.CreateMainWindow("w", {}, RecordingProc);
    int first[2];
    int second[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, first), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, second), 0);
    ASSERT_EQ(platform.AsyncSelect(first[0], window, WM_SOCKET_NOTIFY, FD_READ), 0);
    ASSERT_EQ(platform.AsyncSelect(second[0], window, WM_SOCKET_NOTIFY, FD_READ), 0);
    ASSERT_EQ(write(first[1], "x", 1), 1);
    ASSERT_EQ(write(second[1], "y", 1), 1);
    Message message;
    std::vector<std::uintptr_t> told;
    for (int i = 0; i < 2 && platform.GetMessage(message); ++i) told.push_back(message.wParam);
    EXPECT_EQ(told, (std::vector<std::uintptr_t>{static_cast<std::uintptr_t>(first[0]),
                                                 static_cast<std::uintptr_t>(second[0])}));

    platform.SetTimerReadsSocketsWithin(50);
    ASSERT_EQ(platform.SetTimer(window, 1, 20), 1u);
    for (int tick = 0; tick < 2; ++tick) {
        ASSERT_TRUE(platform.GetMessage(message));
        EXPECT_EQ(message.message, static_cast<unsigned>(WM_TIMER));
    }
    ASSERT_TRUE(platform.KillTimer(window, 1));
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.message, WM_SOCKET_NOTIFY);
    platform.DestroyWindow(window);
    SetCurrentPlatform(nullptr);
    for (int* pair : {first, second}) {
        close(pair[0]);
        close(pair[1]);
    }
}

TEST_F(HeadlessPlatformTest, CloseDestroysWindowAndEndsTheLoop) {
    WindowHandle window = NewWindow();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, WM_CREATE);
    EXPECT_FALSE(platform.IsVisible(window));
    WindowHandle list = platform.CreateOutputList(window);
    platform.SetTimer(window, 1, 100);
    platform.PostMessage(window, WM_CLOSE, 0, 0);

    Message message;
    ASSERT_TRUE(platform.GetMessage(message));
    platform.DispatchMessage(message);
    EXPECT_FALSE(platform.IsWindow(window));
    EXPECT_FALSE(platform.IsWindow(list));
    EXPECT_EQ(platform.TimerPeriod(window, 1), 0u);
    EXPECT_EQ(received.back().message, WM_DESTROY);
    EXPECT_FALSE(platform.GetMessage(message));  // WM_QUIT
    EXPECT_FALSE(platform.PostMessage(window, WM_USER, 0, 0));
}

TEST_F(HeadlessPlatformTest, ThreadMessagesWakeAnotherThreadsIdleLoopInOrder) {
    std::promise<ThreadId> workerId;
    std::vector<unsigned> got;
    std::thread worker([&] {
        workerId.set_value(platform.CurrentThreadId());
        Message message;  // no timers: the loop waits for the posts
        while (got.size() < 2 && platform.GetMessage(message)) got.push_back(message.message);
    });
    const ThreadId id = workerId.get_future().get();
    EXPECT_TRUE(platform.PostThreadMessage(id, WM_USER, 0, 0));
    EXPECT_TRUE(platform.PostThreadMessage(id, WM_CLOSE, 0, 0));
    worker.join();
    EXPECT_EQ(got, (std::vector<unsigned>{WM_USER, WM_CLOSE}));
    EXPECT_FALSE(platform.PostThreadMessage(0, WM_CLOSE, 0, 0));
}

TEST_F(HeadlessPlatformTest, MessageBoxGoesToTheLogAndReturnsAtOnce) {
    EXPECT_EQ(platform.MessageBox(kNoWindow, "Something broke", "Failure", MB_OK), IDOK);
    EXPECT_TRUE(log.Contains("Failure: Something broke"));
    EXPECT_EQ(log.LinesAt(0).size(), 1u);
}

// A dialog procedure that ends its dialog with its creation parameter when that is not 0.
std::vector<unsigned> dialogMessages;
std::intptr_t EndingProc(DialogHandle& dialog, unsigned message, std::uintptr_t, std::intptr_t lParam) {
    dialogMessages.push_back(message);
    if (message == WM_INITDIALOG && lParam != 0) dialog.EndDialog(lParam);
    return 1;
}

// Nobody answers: a dialog gets its WM_INITDIALOG and is dismissed (0) unless its procedure
// ended it; the file dialog is cancelled and leaves the path alone.
TEST_F(HeadlessPlatformTest, DialogsAreOpenedAndDismissedAndTheFileDialogCancelled) {
    dialogMessages.clear();
    EXPECT_EQ(platform.DialogBoxParam(3, kNoWindow, EndingProc, 0), 0);
    EXPECT_EQ(platform.DialogBoxParam(3, kNoWindow, EndingProc, 7), 7);
    EXPECT_EQ(dialogMessages, (std::vector<unsigned>{WM_INITDIALOG, WM_INITDIALOG}));

    std::string path = "unchanged";
    EXPECT_FALSE(platform.GetOpenFileName(kNoWindow, "/tmp", "Select", true, path));
    EXPECT_EQ(path, "unchanged");
}

}  // namespace
