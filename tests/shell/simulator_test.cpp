#include "shell/simulator.h"

#include <gtest/gtest.h>

#include "radius/radius_engine.h"
#include "shell/main_window.h"
#include "shell/pacing.h"
#include "tests/shell/shell_fixture.h"

namespace shell_test {
namespace {

constexpr std::uint8_t kAccessAccept = 2;
constexpr std::uint8_t kAccountingRequest = 4;
constexpr std::uint8_t kAccountingResponse = 5;

class SimulatorTest : public ShellTest {
protected:
    void SetUp() override {
        WriteOptions("[Options]\nQuorlanPort=1812\nRadHost=127.0.0.1\nSessionId=1000\nNasName=edge\n"
                     "Secret=s3\nDictDir=" + folder.Root() + "/\n");
        ASSERT_NE(CreateMainWindow(), kNoWindow);
    }
    void AnswerLast(std::uint8_t code) {
        const auto& last = socket->sent.back();
        const auto reply = radius_test::MakeReply(code, last.Id(), radius_test::AuthenticatorOf(last.bytes), "s3");
        ASSERT_TRUE(engine->ProcessReply(reply.data(), reply.size()));
    }
    std::string failure;
};

TEST_F(SimulatorTest, SetUpWiresEngineSocketAndTimer) {
    ASSERT_TRUE(InitSimulator(failure)) << failure;
    const WindowHandle window = Shell().mainWindow;
    EXPECT_EQ(platform.GetWindowText(window), "Quorlan Pelvok - edge");
    EXPECT_EQ(platform.TimerPeriod(window, 1), 100u);
    EXPECT_EQ(Shell().timerId, 1u);
    EXPECT_EQ(platform.SocketWindow(socket->Fd()), window);
    EXPECT_EQ(engine->Secret(), "s3");
    PelvokWndProc(window, WM_TIMER, 1, 0);
    EXPECT_EQ(platform.TimerPeriod(window, 1), 100u);  // without Pacing, the 100 ms grid

    // The result callback reaches the output list.
    ASSERT_TRUE(engine->AddSession("alice", "pw", 60, {}, {}, {}));
    AnswerLast(kAccessAccept);
    ASSERT_FALSE(platform.OutputLines(Shell().outputList).empty());
}

TEST_F(SimulatorTest, WithSeveralSocketsEachIsWatchedAndItsRepliesReachTheEngine) {
    std::vector<std::unique_ptr<DatagramSocket>> given;
    std::vector<WatchableFakeSocket*> sockets;
    for (int i = 0; i < 3; ++i) {
        auto fake = std::make_unique<WatchableFakeSocket>();
        sockets.push_back(fake.get());
        given.push_back(std::move(fake));
    }
    ResetShell();
    engine = std::make_unique<RadiusEngine>(&clock, &random, std::make_unique<GivenSockets>(std::move(given)));
    BindShell(*engine, *simulation, clock);
    ASSERT_NE(CreateMainWindow(), kNoWindow);
    WriteOptions(folder.Read("pelvok.ini") + "Sockets=3\n");
    ASSERT_TRUE(InitSimulator(failure)) << failure;
    for (WatchableFakeSocket* fake : sockets) EXPECT_EQ(platform.SocketWindow(fake->Fd()), Shell().mainWindow);

    ASSERT_TRUE(engine->AddSession("alice", "pw", 60, {}, {}, {}));  // socket 0
    ASSERT_TRUE(engine->AddSession("bob", "pw", 60, {}, {}, {}));    // socket 1, the same identifier
    const auto& request = sockets[1]->sent.at(0);
    sockets[1]->incoming.push_back(
        radius_test::MakeReply(kAccessAccept, request.Id(), radius_test::AuthenticatorOf(request.bytes), "s3"));
    PelvokWndProc(Shell().mainWindow, WM_SOCKET_NOTIFY, static_cast<std::uintptr_t>(sockets[1]->Fd()),
                  MakeSelectEvent(FD_READ, 0));
    EXPECT_EQ(platform.OutputLines(Shell().outputList).back(), "bob: Auth Accept");
}

TEST_F(SimulatorTest, WithPacingTheTimerIsSetToTheNextWorkAfterTicksAndReplies) {
    WriteOptions(folder.Read("pelvok.ini") + "Pacing=1\n");
    ASSERT_TRUE(InitSimulator(failure)) << failure;
    const WindowHandle window = Shell().mainWindow;
    PelvokWndProc(window, WM_TIMER, 1, 0);
    EXPECT_EQ(platform.TimerPeriod(window, 1), kLongestPacedSleepMs);  // idle

    ASSERT_TRUE(engine->AddSession("alice", "pw", 60, {}, {}, {}));
    clock.Advance(200);
    PelvokWndProc(window, WM_TIMER, 1, 0);
    // The Access-Request times out once 5 s have passed since it left; until then, at most the
    // longest sleep.
    EXPECT_EQ(platform.TimerPeriod(window, 1), kLongestPacedSleepMs);
    clock.Advance(4000);
    PelvokWndProc(window, WM_TIMER, 1, 0);
    EXPECT_EQ(platform.TimerPeriod(window, 1), 801u);
    // A wake-up for a socket sets the timer only when there is sooner work: one set anew at
    // every reply would never fire while replies came faster than its period.
    clock.Advance(300);
    PelvokWndProc(window, WM_SOCKET_NOTIFY, static_cast<std::uintptr_t>(socket->Fd()), MakeSelectEvent(FD_READ, 0));
    EXPECT_EQ(platform.TimerPeriod(window, 1), 801u);
    const auto& request = socket->sent.back();
    socket->incoming.push_back(
        radius_test::MakeReply(kAccessAccept, request.Id(), radius_test::AuthenticatorOf(request.bytes), "s3"));
    PelvokWndProc(window, WM_SOCKET_NOTIFY, static_cast<std::uintptr_t>(socket->Fd()), MakeSelectEvent(FD_READ, 0));
    EXPECT_EQ(socket->sent.size(), 2u);  // the Accounting-Request Start
    // Answered, the Access-Request's time-out still wakes the engine (early is harmless);
    // that tick finds the Accounting-Request Start's 15 s instead.
    PelvokWndProc(window, WM_TIMER, 1, 0);
    EXPECT_EQ(platform.TimerPeriod(window, 1), 501u);
    clock.Advance(501);
    PelvokWndProc(window, WM_TIMER, 1, 0);
    EXPECT_EQ(platform.TimerPeriod(window, 1), kLongestPacedSleepMs);
}

// A quiet paced run sleeps up to its own limit, but wakes for the saving of a session counter
// that moved since it was last written.
TEST_F(SimulatorTest, AQuietPacedRunSleepsLongButWakesToSaveACounterThatMoved) {
    WriteOptions(folder.Read("pelvok.ini") + "Pacing=1\n");
    ASSERT_TRUE(InitSimulator(failure)) << failure;
    Shell().pacedSleepLimitMs = kLongestQuietPacedSleepMs;
    const WindowHandle window = Shell().mainWindow;
    PelvokWndProc(window, WM_TIMER, 1, 0);  // the first tick writes the counter
    EXPECT_EQ(platform.TimerPeriod(window, 1), kLongestQuietPacedSleepMs);

    ASSERT_TRUE(engine->AddSession("alice", "pw", 600, {}, {}, {}));  // the counter moves
    AnswerLast(kAccessAccept);
    AnswerLast(kAccountingResponse);
    clock.Advance(6000);
    PelvokWndProc(window, WM_TIMER, 1, 0);
    EXPECT_EQ(platform.TimerPeriod(window, 1), 4001u);  // 10 s after the first write
    clock.Advance(4001);
    PelvokWndProc(window, WM_TIMER, 1, 0);
    EXPECT_NE(folder.Read("pelvok.ini").find("SessionId=" + std::to_string(CurrentSessionCounter())),
              std::string::npos);
    EXPECT_EQ(platform.TimerPeriod(window, 1), kLongestQuietPacedSleepMs);
}

TEST_F(SimulatorTest, FailuresLeaveNoTimerAndTheOptionsUntouched) {
    const std::string before = folder.Read("pelvok.ini");
    socket->openFailure = {DatagramSocket::OpenStep::Bind, 98};
    EXPECT_FALSE(InitSimulator(failure));
    EXPECT_EQ(failure.rfind("Bind error  = 98", 0), 0u) << failure;
    socket->openFailure = {};
    socket->brokenFd = true;
    EXPECT_FALSE(InitSimulator(failure));
    EXPECT_EQ(failure, "WSAAsyncSelect() error = 9");  // EBADF
    socket->brokenFd = false;
    platform.SetTimerCreationAllowed(false);
    EXPECT_FALSE(InitSimulator(failure));
    EXPECT_EQ(failure, "Failure creating a timer");
    EXPECT_EQ(Shell().timerId, 0u);
    EXPECT_EQ(platform.TimerPeriod(Shell().mainWindow, 1), 0u);
    EXPECT_EQ(folder.Read("pelvok.ini"), before);
}

TEST_F(SimulatorTest, ShutdownStopsLiveSessionsKillsTheTimerAndSaves) {
    ASSERT_TRUE(InitSimulator(failure)) << failure;
    ASSERT_TRUE(engine->AddSession("alice", "pw", 600, {}, {}, {}));
    AnswerLast(kAccessAccept);       // the accounting start goes out
    AnswerLast(kAccountingResponse);  // alice is active
    Shell().options.nasName = "renamed";
    const std::size_t sentBefore = socket->sent.size();

    ShutdownSimulator();
    ASSERT_EQ(socket->sent.size(), sentBefore + 1);
    EXPECT_EQ(socket->sent.back().Code(), kAccountingRequest);
    EXPECT_EQ(radius_test::ItemsOf(socket->sent.back().bytes, 40), radius_test::IntValue(2));  // Stop
    EXPECT_EQ(Shell().timerId, 0u);
    EXPECT_EQ(platform.TimerPeriod(Shell().mainWindow, 1), 0u);
    EXPECT_EQ(Option("SessionId"), "1001");
    EXPECT_EQ(Option("NasName"), "renamed");
    EXPECT_EQ(Option("RadHost"), "127.0.0.1");
}

}  // namespace
}  // namespace shell_test
