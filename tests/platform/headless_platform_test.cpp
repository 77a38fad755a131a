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

TEST_F(HeadlessPlatformTest, WindowReceivesCreateAndStartsHidden) {
    WindowHandle window = NewWindow();
    ASSERT_NE(window, kNoWindow);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, WM_CREATE);
    EXPECT_FALSE(platform.IsVisible(window));
    platform.SetWindowText(window, "Title");
    EXPECT_EQ(platform.GetWindowText(window), "Title");
}

TEST_F(HeadlessPlatformTest, PostedMessagesComeBeforeTimerTicksAndInOrder) {
    WindowHandle window = NewWindow();
    ASSERT_EQ(platform.SetTimer(window, 1, 100), 1u);
    clock.Advance(100);  // the tick is due
    platform.PostMessage(window, WM_COMMAND, 7, 0);
    platform.PostMessage(window, WM_COMMAND, 8, 0);

    Message message;
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.wParam, 7u);
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.wParam, 8u);
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.message, WM_TIMER);
    EXPECT_EQ(message.wParam, 1u);
    EXPECT_EQ(message.window, window);
}

TEST_F(HeadlessPlatformTest, TimerTicksOncePerPeriodAndStopsWhenKilled) {
    WindowHandle window = NewWindow();
    platform.SetTimer(window, 1, 100);
    EXPECT_EQ(platform.TimerPeriod(window, 1), 100u);
    platform.PostMessage(window, WM_USER, 0, 0);  // something to return while no tick is due

    Message message;
    clock.Advance(99);
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.message, WM_USER);  // 99 ms: not due yet

    clock.Advance(350);  // several periods late: one tick, not a burst
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.message, WM_TIMER);
    platform.PostMessage(window, WM_USER, 1, 0);
    ASSERT_TRUE(platform.GetMessage(message));
    EXPECT_EQ(message.message, WM_USER);

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

TEST_F(HeadlessPlatformTest, RegisteringABadSocketReportsAnError) {
    WindowHandle window = NewWindow();
    EXPECT_NE(platform.AsyncSelect(-1, window, WM_SOCKET_NOTIFY, FD_READ), 0);
    int fd = dup(0);
    close(fd);  // a number that is no longer open
    EXPECT_NE(platform.AsyncSelect(fd, window, WM_SOCKET_NOTIFY, FD_READ), 0);
}

TEST_F(HeadlessPlatformTest, CloseDestroysWindowAndEndsTheLoop) {
    WindowHandle window = NewWindow();
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

TEST_F(HeadlessPlatformTest, ThreadMessagesReachAnotherThreadsLoopInOrder) {
    std::promise<ThreadId> workerId;
    std::promise<void> go;
    std::vector<unsigned> got;
    std::thread worker([&] {
        workerId.set_value(platform.CurrentThreadId());
        go.get_future().wait();  // the messages are posted before this loop starts
        Message message;
        while (platform.GetMessage(message)) {
            got.push_back(message.message);
            if (message.message == WM_CLOSE) break;
        }
    });
    ThreadId id = workerId.get_future().get();
    EXPECT_NE(id, platform.CurrentThreadId());
    EXPECT_TRUE(platform.PostThreadMessage(id, WM_USER, 0, 0));
    EXPECT_TRUE(platform.PostThreadMessage(id, WM_CLOSE, 0, 0));
    EXPECT_EQ(platform.QueuedMessages(id), 2u);
    go.set_value();
    worker.join();
    EXPECT_EQ(got, (std::vector<unsigned>{WM_USER, WM_CLOSE}));
    EXPECT_FALSE(platform.PostThreadMessage(0, WM_CLOSE, 0, 0));
}

TEST_F(HeadlessPlatformTest, APostWakesALoopBlockedWithNothingToDo) {
    std::promise<ThreadId> workerId;
    unsigned got = 0;
    std::thread worker([&] {
        workerId.set_value(platform.CurrentThreadId());
        Message message;
        if (platform.GetMessage(message)) got = message.message;  // no timers: waits for the post
    });
    platform.PostThreadMessage(workerId.get_future().get(), WM_CLOSE, 0, 0);
    worker.join();
    EXPECT_EQ(got, WM_CLOSE);
}

TEST_F(HeadlessPlatformTest, OutputListKeepsLinesAndSelection) {
    WindowHandle window = NewWindow();
    WindowHandle list = platform.CreateOutputList(window);
    ASSERT_NE(list, kNoWindow);
    EXPECT_EQ(platform.OutputListAppend(list, "a"), 0);
    EXPECT_EQ(platform.OutputListAppend(list, "b"), 1);
    platform.OutputListSelect(list, 1);
    platform.OutputListDelete(list, 0);
    EXPECT_EQ(platform.OutputLines(list), (std::vector<std::string>{"b"}));
    EXPECT_EQ(platform.SelectedLine(list), 0);  // the selection follows its line
    platform.OutputListDelete(list, 5);          // out of range: nothing
    EXPECT_EQ(platform.OutputListCount(list), 1);
    EXPECT_EQ(platform.OutputListAppend(window, "not a list"), -1);

    platform.SetOutputListCreationAllowed(false);
    EXPECT_EQ(platform.CreateOutputList(window), kNoWindow);
}

TEST_F(HeadlessPlatformTest, MessageBoxGoesToTheLogAndReturnsAtOnce) {
    EXPECT_EQ(platform.MessageBox(kNoWindow, "Something broke", "Failure", MB_OK), IDOK);
    EXPECT_TRUE(log.Contains("Failure: Something broke"));
    EXPECT_EQ(log.LinesAt(0).size(), 1u);
    ASSERT_EQ(platform.MessageBoxes().size(), 1u);
    EXPECT_EQ(platform.MessageBoxes()[0].caption, "Failure");
}

TEST_F(HeadlessPlatformTest, OpenFileDialogIsAnsweredByItsScript) {
    std::string path = "unchanged";
    EXPECT_FALSE(platform.GetOpenFileName(kNoWindow, "/tmp", "Pick", true, path));  // no script
    platform.ScriptOpenFile("/data/run.sim");
    platform.ScriptOpenFile(std::nullopt);
    EXPECT_TRUE(platform.GetOpenFileName(kNoWindow, "/tmp", "Pick", true, path));
    EXPECT_EQ(path, "/data/run.sim");
    EXPECT_FALSE(platform.GetOpenFileName(kNoWindow, "/tmp", "Pick", true, path));
    ASSERT_EQ(platform.OpenFileRequests().size(), 3u);
    EXPECT_EQ(platform.OpenFileRequests()[1].initialFolder, "/tmp");
    EXPECT_TRUE(platform.OpenFileRequests()[1].fileMustExist);
}

// A dialog procedure shaped like the program's: fills a field on opening, reads it on OK.
std::string confirmedText;
std::intptr_t EchoDialog(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                         std::intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        dialog.SetUserData(lParam);
        dialog.SetItemText(101, "initial");
        return 1;
    }
    if (message != WM_COMMAND) return 0;
    switch (LowWord(wParam)) {
        case IDOK:
            confirmedText = dialog.GetItemText(101) + "/" + std::to_string(dialog.UserData());
            dialog.EndDialog(1);
            return 1;
        case IDCANCEL:
            dialog.EndDialog(0);
            return 1;
        default:
            return 0;
    }
}

TEST_F(HeadlessPlatformTest, ScriptedDialogsRunTheProcedure) {
    confirmedText.clear();
    platform.ScriptDialog({3, {{101, "typed"}}, {IDOK}});
    EXPECT_EQ(platform.DialogBoxParam(3, kNoWindow, EchoDialog, 77), 1);
    EXPECT_EQ(confirmedText, "typed/77");

    platform.ScriptDialog({3, {{101, "ignored"}}, {IDCANCEL}});
    EXPECT_EQ(platform.DialogBoxParam(3, kNoWindow, EchoDialog, 0), 0);

    // A command the procedure does not end on, then nothing more: dismissed with 0.
    platform.ScriptDialog({3, {}, {999}});
    EXPECT_EQ(platform.DialogBoxParam(3, kNoWindow, EchoDialog, 0), 0);

    // An answer meant for another dialog stays for it; this one is dismissed.
    platform.ScriptDialog({5, {}, {IDOK}});
    EXPECT_EQ(platform.DialogBoxParam(3, kNoWindow, EchoDialog, 0), 0);
    EXPECT_EQ(platform.DialogBoxParam(5, kNoWindow, EchoDialog, 0), 1);

    const auto shown = platform.ShownDialogs();
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[0].fieldsAtOpen.at(101), "initial");
    EXPECT_EQ(shown[0].parameter, 77);
    EXPECT_EQ(shown[4].resourceId, 5);
}

}  // namespace
