#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "radius/radius_engine.h"
#include "shell/simulator.h"
#include "tests/shell/shell_fixture.h"

namespace shell_test {
namespace {

using radius_test::ItemsOf;

class WindowProcedureTest : public ShellTest {
protected:
    // The shell set up as the program does it, from this options text.
    void Start(const std::string& options = "") {
        WriteOptions("[Options]\nQuorlanPort=1812\nRadHost=127.0.0.1\nDictDir=" + folder.Root() +
                     "/\n" + options);
        ASSERT_NE(CreateMainWindow(), kNoWindow);
        std::string failure;
        ASSERT_TRUE(InitSimulator(failure)) << failure;
    }
    std::intptr_t Send(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
        return PelvokWndProc(Shell().mainWindow, message, wParam, lParam);
    }
    void Tick() { Send(WM_TIMER, 1); }
    void OpenFile(std::optional<std::string> path) {
        platform.ScriptOpenFile(std::move(path));
        Send(WM_COMMAND, kCommandOpen);
    }
    std::string Title() { return platform.GetWindowText(Shell().mainWindow); }
    std::vector<std::string> Output() { return platform.OutputLines(Shell().outputList); }
    // User-Name of every datagram sent, in order.
    std::vector<std::string> SentUsers() {
        std::vector<std::string> users;
        for (const auto& datagram : socket->sent) {
            auto names = ItemsOf(datagram.bytes, 1);
            users.push_back(names.empty() ? "" : std::string(names[0].begin(), names[0].end()));
        }
        return users;
    }
};

TEST_F(WindowProcedureTest, TitleShowsNasNameAndRunningSimulation) {
    Start();
    EXPECT_EQ(Title(), "Quorlan Pelvok");
    Shell().options.nasName = "edge-7";
    UpdateTitle();
    EXPECT_EQ(Title(), "Quorlan Pelvok - edge-7");
    OpenFile(SimulationFile("later.sim", "0:00:10:00,alice,pw,00:10\n"));
    EXPECT_EQ(Title(), "Quorlan Pelvok - edge-7 - Simulation in progress...");
}

TEST_F(WindowProcedureTest, OutputListKeepsTheNewest101LinesWithTheLastSelected) {
    Start();
    for (int i = 0; i < 150; ++i) ShowOutputLine(("line " + std::to_string(i)).c_str());
    const auto lines = Output();
    ASSERT_EQ(lines.size(), 101u);
    EXPECT_EQ(lines.front(), "line 49");
    EXPECT_EQ(lines.back(), "line 149");
    EXPECT_EQ(platform.SelectedLine(Shell().outputList), 100);
}

TEST_F(WindowProcedureTest, TickRunsTheEngineBeforeTheSimulation) {
    Start("AuthTimeout=1\nResendAuth=1\n");
    ASSERT_TRUE(engine->AddSession("early", "pw", 60, {}, {}, {}));
    OpenFile(SimulationFile("two.sim", "0:00:00:02,late,pw,00:10\n0:00:10:00,last,pw,00:10\n"));
    ASSERT_TRUE(Shell().simulationRunning);
    clock.Advance(2000);
    Tick();
    // The engine's retransmission of "early" goes out before the line that fell due.
    EXPECT_EQ(SentUsers(), (std::vector<std::string>{"early", "early", "late"}));
}

TEST_F(WindowProcedureTest, SessionIdIsSavedOnTheFirstTickThenEveryTenSeconds) {
    Start("SessionId=1000\n");
    EXPECT_EQ(Option("SessionId"), "1000");  // as written in the file
    folder.Write("pelvok.ini", "[Options]\n");
    Tick();
    EXPECT_EQ(Option("SessionId"), "1000");  // the first tick writes it

    ASSERT_TRUE(engine->AddSession("alice", "pw", 60, {}, {}, {}));
    EXPECT_EQ(engine->LastSessionId(), 1001u);
    clock.Advance(9999);
    Tick();
    clock.Advance(1);  // exactly 10 s: not yet
    Tick();
    EXPECT_EQ(Option("SessionId"), "1000");
    clock.Advance(1);
    Tick();
    EXPECT_EQ(Option("SessionId"), "1001");
}

TEST_F(WindowProcedureTest, OpeningASecondFileStopsTheFirstEvenWhenItFails) {
    Start();
    OpenFile(std::nullopt);  // cancelled: nothing changes
    EXPECT_EQ(Shell().options.lastDir, "");
    OpenFile(SimulationFile("first.sim", "0:00:10:00,alice,pw,00:10\n"));
    ASSERT_TRUE(Shell().simulationRunning);

    const std::string missing = folder.Root() + "/runs/missing.sim";
    OpenFile(missing);
    EXPECT_FALSE(Shell().simulationRunning);
    EXPECT_EQ(Title(), "Quorlan Pelvok");
    ASSERT_EQ(platform.MessageBoxes().size(), 1u);
    EXPECT_EQ(platform.MessageBoxes()[0].text, "Invalid Simulation file");
    EXPECT_EQ(platform.MessageBoxes()[0].caption, "Failure");
    EXPECT_EQ(Shell().options.lastDir, folder.Root() + "/runs");

    const auto requests = platform.OpenFileRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].title, "Select a Simulation File");
    EXPECT_EQ(requests[2].initialFolder, folder.Root());
    EXPECT_TRUE(requests[2].fileMustExist);

    clock.Advance(10 * 60 * 1000);
    Tick();
    EXPECT_TRUE(socket->sent.empty());  // the abandoned file's line is never sent
}

// ---- Commands and dialogs ----

ChallengeRequest seenRequest;
std::string seenChallengeText;
std::intptr_t RecordingDialog(DialogHandle& dialog, unsigned message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        dialog.SetUserData(lParam);
        if (lParam != 0) {
            seenRequest = *reinterpret_cast<const ChallengeRequest*>(lParam);
            seenChallengeText = seenRequest.challengeText ? seenRequest.challengeText : "<none>";
        }
        return 1;
    }
    if (message == WM_COMMAND && (LowWord(wParam) == IDOK || LowWord(wParam) == IDCANCEL)) {
        dialog.EndDialog(LowWord(wParam) == IDOK ? 1 : 0);
        return 1;
    }
    return 0;
}

TEST_F(WindowProcedureTest, ChallengeIsAnsweredOnlyForTheUserTypedLast) {
    Start();
    RegisterDialogProcedures({nullptr, nullptr, RecordingDialog, nullptr});
    Shell().lastUserName = "alice";
    Shell().lastDuration = 90;

    EXPECT_FALSE(AskChallenge("bob", "PIN?", nullptr));
    EXPECT_FALSE(AskChallenge("Alice", "PIN?", nullptr));  // case counts
    EXPECT_TRUE(platform.ShownDialogs().empty());

    platform.ScriptDialog({kChallengeDialog, {{103, "4321"}}, {IDOK}});
    const std::string state("st\0-1", 5);
    EXPECT_TRUE(AskChallenge("alice", "Enter PIN", &state));
    EXPECT_EQ(std::string(seenRequest.userName), "alice");
    EXPECT_EQ(seenChallengeText, "Enter PIN");
    EXPECT_EQ(*seenRequest.state, state);
    EXPECT_EQ(seenRequest.duration, 90u);

    platform.ScriptDialog({kChallengeDialog, {}, {IDCANCEL}});
    EXPECT_FALSE(AskChallenge("alice", nullptr, nullptr));
    EXPECT_EQ(seenChallengeText, "<none>");
    EXPECT_EQ(platform.ShownDialogs().size(), 2u);
}

}  // namespace
}  // namespace shell_test
