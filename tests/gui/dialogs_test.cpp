// The four dialog procedures against the headless platform (scripted fields) or a dialog of
// our own, around a real engine on a fake socket.
#include "shell/dialogs.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "radius/radius_engine.h"
#include "shell/main_window.h"
#include "shell/simulator.h"
#include "tests/shell/shell_fixture.h"

namespace shell_test {
namespace {

using radius_test::Bytes;
using radius_test::Concat;
using radius_test::Item;
using radius_test::ItemsOf;
using radius_test::Text;

constexpr std::uint8_t kAccessChallenge = 11;
constexpr std::uint8_t kReplyMessage = 18;
constexpr std::uint8_t kStateItem = 24;

// A dialog as its procedure sees it, for driving a procedure step by step.
class FakeDialog : public DialogHandle {
public:
    std::string GetItemText(int controlId) const override {
        auto found = items.find(controlId);
        return found == items.end() ? std::string() : found->second;
    }
    void SetItemText(int controlId, const std::string& text) override { items[controlId] = text; }
    void EndDialog(std::intptr_t value) override {
        ended = true;
        result = value;
    }
    WindowHandle Window() const override { return 4242; }
    void SetUserData(std::intptr_t value) override { userData = value; }
    std::intptr_t UserData() const override { return userData; }

    std::map<int, std::string> items;
    bool ended = false;
    std::intptr_t result = -1;
    std::intptr_t userData = 0;
};

std::uintptr_t Command(int controlId, int notification = 0) {
    return static_cast<std::uintptr_t>(controlId) | (static_cast<std::uintptr_t>(notification) << 16);
}

class DialogsTest : public ShellTest {
protected:
    void Start(const std::string& options = "") { StartProgram(options); }
    void Menu(int command) {
        PelvokWndProc(Shell().mainWindow, WM_COMMAND, static_cast<std::uintptr_t>(command), 0);
    }
    void NewSession(const std::string& user, const std::string& password, const std::string& duration,
                    int button = IDOK) {
        platform.ScriptDialog({kSessionDialog, {{101, user}, {102, password}, {103, duration}}, {button}});
        Menu(kCommandNewSession);
    }
    // The server's reply to the last request, through the socket notification.
    void Reply(std::uint8_t code, const Bytes& attributes = {}) {
        const auto& last = socket->sent.back();
        socket->incoming.push_back(radius_test::MakeReply(
            code, last.Id(), radius_test::AuthenticatorOf(last.bytes), "MeadowLantern", attributes));
        PelvokWndProc(Shell().mainWindow, WM_SOCKET_NOTIFY, static_cast<std::uintptr_t>(socket->Fd()),
                      MakeSelectEvent(FD_READ, 0));
    }
    const Session* LiveSession(std::uint32_t number) const {
        for (const Session& session : engine->Sessions())
            if (session.sessionNumber == number) return &session;
        return nullptr;
    }
    std::string UserOfLastSent() const {
        auto names = ItemsOf(socket->sent.back().bytes, 1);
        return names.empty() ? "" : std::string(names[0].begin(), names[0].end());
    }
};

// ---- Session Details ----

TEST_F(DialogsTest, SessionDetailsStartsTheSessionAndRemembersWhatOkConfirmed) {
    Start();
    NewSession("alice", "secret", "90");

    auto shown = platform.ShownDialogs();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, Shell().mainWindow);
    EXPECT_EQ(shown[0].fieldsAtOpen, (std::map<int, std::string>{{101, ""}, {102, ""}}));  // no 0 duration
    EXPECT_EQ(shown[0].result, 1);
    const Session* session = LiveSession(1001);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->userName, "alice");
    EXPECT_EQ(session->password, "secret");
    EXPECT_EQ(session->Duration(), 90u);
    EXPECT_TRUE(session->authAttributes.Empty());

    // Cancel: the next opening still shows what OK confirmed.
    NewSession("bob", "other", "5", IDCANCEL);
    NewSession("carol", "third", "7", IDCANCEL);
    shown = platform.ShownDialogs();
    ASSERT_EQ(shown.size(), 3u);
    const std::map<int, std::string> remembered{{101, "alice"}, {102, "secret"}, {103, "90"}};
    EXPECT_EQ(shown[1].fieldsAtOpen, remembered);
    EXPECT_EQ(shown[2].fieldsAtOpen, remembered);
    EXPECT_EQ(shown[2].result, 0);
    EXPECT_EQ(Shell().lastUserName, "alice");
    EXPECT_EQ(engine->SessionCount(), 1u);  // Cancel starts nothing
}

TEST(DialogFieldTest, CutsNeverSplitACharacter) {
    EXPECT_EQ(CutFieldText("abcdef", 4), "abcd");
    const std::string accented = "\xC3\xA9\xC3\xA9\xC3\xA9";  // three two-byte characters
    EXPECT_EQ(CutFieldText(accented, 3), "\xC3\xA9");
    EXPECT_EQ(CutFieldText(accented, 4), "\xC3\xA9\xC3\xA9");
}

// ---- Challenge ----

struct ChallengeCase {
    const char* name;
    Bytes attributes;
    const char* shownText;   // field 102 at opening, null when not set
    const char* sentState;   // State of the answer, null when none
};

class ChallengeTest : public DialogsTest, public testing::WithParamInterface<ChallengeCase> {};

TEST_P(ChallengeTest, OkAnswersWithTheNextSessionTheResponseAndTheFirstDuration) {
    const ChallengeCase& c = GetParam();
    Start();
    NewSession("alice", "first", "77");
    ASSERT_NE(LiveSession(1001), nullptr);

    platform.ScriptDialog({kChallengeDialog, {{103, "4321"}}, {IDOK}});
    Reply(kAccessChallenge, c.attributes);

    const auto shown = platform.ShownDialogs();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].resourceId, kChallengeDialog);
    EXPECT_EQ(shown[1].fieldsAtOpen.at(101), "alice");
    if (c.shownText != nullptr)
        EXPECT_EQ(shown[1].fieldsAtOpen.at(102), c.shownText);
    else
        EXPECT_EQ(shown[1].fieldsAtOpen.count(102), 0u);
    EXPECT_EQ(shown[1].result, 1);

    const Session* answer = LiveSession(1002);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->userName, "alice");
    EXPECT_EQ(answer->password, "4321");
    EXPECT_EQ(answer->Duration(), 77u);
    EXPECT_EQ(UserOfLastSent(), "alice");
    const auto states = ItemsOf(socket->sent.back().bytes, kStateItem);
    if (c.sentState != nullptr) {
        ASSERT_EQ(states.size(), 1u);
        EXPECT_EQ(std::string(states[0].begin(), states[0].end()), c.sentState);
        ASSERT_NE(answer->authAttributes.Find(kStateItem), nullptr);
    } else {
        EXPECT_TRUE(states.empty());
        EXPECT_TRUE(answer->authAttributes.Empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ChallengeTest,
    testing::Values(
        ChallengeCase{"MessageAndState",
                      Concat({Item(kReplyMessage, Text("Enter PIN")), Item(kStateItem, Text("st-1"))}),
                      "Enter PIN", "st-1"},
        ChallengeCase{"MessageOnly", Item(kReplyMessage, Text("Again?")), "Again?", nullptr}),
    [](const testing::TestParamInfo<ChallengeCase>& info) { return info.param.name; });

// ---- Options ----

// Opens the Options dialog's procedure, types the changes and presses the button.
FakeDialog OptionsDialog(const std::map<int, std::string>& typed, int button = IDOK) {
    FakeDialog dialog;
    EXPECT_EQ(PelvokOptionsDlgFunc(dialog, WM_INITDIALOG, 0, 0), 1);
    for (const auto& [id, text] : typed) dialog.items[id] = text;
    EXPECT_EQ(PelvokOptionsDlgFunc(dialog, WM_COMMAND, Command(button), 0), 1);
    return dialog;
}

TEST_F(DialogsTest, OptionsShowsTheSettingsAndSetsTheSessionCounterOnlyWhenChanged) {
    Start("Secret=s3\nNasName=edge\n");
    FakeDialog dialog;
    PelvokOptionsDlgFunc(dialog, WM_INITDIALOG, 0, 0);
    EXPECT_EQ(dialog.items, (std::map<int, std::string>{
                                {101, "127.0.0.1"}, {102, "1000"}, {103, "s3"}, {104, "edge"}}));
    ASSERT_TRUE(engine->AddSession("early", "pw", 60, {}, {}, {}));  // while the dialog is open
    PelvokOptionsDlgFunc(dialog, WM_COMMAND, Command(IDOK), 0);
    EXPECT_EQ(dialog.result, 1);
    EXPECT_EQ(engine->LastSessionId(), 1001u);  // unchanged field: the counter that moved stays
    EXPECT_EQ(Option("SessionId"), "1001");

    OptionsDialog({{102, "5000"}});
    EXPECT_EQ(engine->LastSessionId(), 5000u);
    EXPECT_EQ(Option("SessionId"), "5000");
}

TEST_F(DialogsTest, OptionsHostsByNameAndByAddress) {
    Start();
    const std::tuple<const char*, std::uint32_t, const char*> cases[] = {
        {"10.1.2.3", 0x0A010203, "10.1.2.3"},
        {"localhost", 0x7F000001, "127.0.0.1"},
        {"no-such-host", 0x7F000001, "127.0.0.1"},  // not found: the old address stays, no box
        {"10.0.0", 0, "0.0.0.0"},                  // malformed dotted quad
    };
    for (const auto& [typed, address, saved] : cases) {
        OptionsDialog({{101, typed}});
        EXPECT_EQ(engine->ServerAddress(), address) << typed;
        EXPECT_EQ(Shell().options.radHost.Ipv4Address(), address) << typed;
        EXPECT_EQ(Option("RadHost"), saved) << typed;
    }
    EXPECT_TRUE(platform.MessageBoxes().empty());
}

TEST_F(DialogsTest, AnIpv6HostWhileIpv4SocketsAreOpenIsKeptForTheNextStart) {
    Start();
    OptionsDialog({{101, "::1"}});
    EXPECT_EQ(Shell().options.radHost.FormatAddress(), "::1");
    EXPECT_EQ(Option("RadHost"), "::1");
    EXPECT_EQ(engine->ServerAddress(), 0x7F000001u);  // the requests go on where they went
    ASSERT_EQ(platform.MessageBoxes().size(), 1u);
    EXPECT_EQ(platform.MessageBoxes()[0].text, "The Radius host takes effect when Pelvok starts again");
}

}  // namespace
}  // namespace shell_test
