// The responder as a program, and as a peer of an independent client (radclient).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/responder/child_process.h"
#include "tests/responder/test_client.h"
#include "tests/responder/test_responder.h"

namespace responder {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kWait{5000};

std::filesystem::path TemporaryFile(const std::string& name, const std::string& contents) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("pelvok-responder-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(path) << contents;
    return path;
}

TEST(ResponderCli, AnswersByScriptAndSummarisesAtSigterm) {
    const auto script = TemporaryFile("script.ini", "[user bob]\nanswer = reject\nReply-Message = No\n");
    ChildProcess cli;
    ASSERT_TRUE(cli.Start({PELVOK_RESPONDER_CLI, "--script", script.string(), "--max-seconds", "30", "--verbose"}));
    const auto portLine = cli.ReadLine(kWait);
    ASSERT_TRUE(portLine);
    ASSERT_EQ(portLine->rfind("port ", 0), 0u) << *portLine;
    const auto port = static_cast<std::uint16_t>(std::stoi(portLine->substr(5)));

    TestClient client;
    ASSERT_TRUE(client.Send(AccessRequest(1, "bob", "pw"), port));
    const auto reply = client.Receive(kWait);
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[0], kAccessReject);
    ASSERT_TRUE(client.Send(AccountingRequest(2, "alice", 1), static_cast<std::uint16_t>(port + 1)));
    ASSERT_TRUE(client.Receive(kWait));

    cli.Signal(SIGTERM);
    const std::string output = cli.ReadAll(kWait);
    EXPECT_EQ(cli.Wait(kWait), 0);
    EXPECT_NE(output.find("Access-Request id=1 user=bob password=pw"), std::string::npos) << output;
    EXPECT_NE(output.find("received 2 requests, 0 malformed, 0 with a wrong accounting authenticator"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("user bob: Access-Request=1"), std::string::npos) << output;
    EXPECT_NE(output.find("user alice: Accounting-Start=1"), std::string::npos) << output;
    std::filesystem::remove(script);
}

TEST(ResponderCli, StopsByItselfAndWritesThePortFile) {
    const auto portFile = std::filesystem::temp_directory_path() / ("pelvok-responder-port-" + std::to_string(::getpid()));
    ChildProcess cli;
    ASSERT_TRUE(cli.Start({PELVOK_RESPONDER_CLI, "--max-seconds", "1", "--port-file", portFile.string()}));
    const auto portLine = cli.ReadLine(kWait);
    ASSERT_TRUE(portLine);
    std::string written;
    std::ifstream(portFile) >> written;
    EXPECT_EQ("port " + written, *portLine);
    EXPECT_EQ(cli.Wait(kWait), 0);
    std::filesystem::remove(portFile);
}

TEST(ResponderCli, RefusesBadArgumentsAndScripts) {
    const auto script = TemporaryFile("bad.ini", "[user x]\nanswer = perhaps\n");
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Case cases[] = {
        {{"--port", "70000"}, "usage:"},
        {{"--max-seconds"}, "usage:"},
        {{"--colour", "blue"}, "usage:"},
        {{"--script", script.string()}, "line 2: answer must be"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{PELVOK_RESPONDER_CLI};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        ChildProcess cli;
        ASSERT_TRUE(cli.Start(arguments));
        const std::string output = cli.ReadAll(kWait);
        EXPECT_EQ(cli.Wait(kWait), 2) << c.arguments[0];
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
    }
    std::filesystem::remove(script);
}

// radclient builds its packets with FreeRADIUS's own code: what it hides and signs, the
// responder must read back, and what the responder signs, radclient must accept.
class RadclientInterop : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kRadclient, X_OK) != 0) GTEST_SKIP() << "radclient not installed (freeradius-utils)";
        server_.SetRule("alice", Rule::Accept().WithPassword("averyveryverylongpassword12"));
        ASSERT_TRUE(server_.Start()) << server_.LastError();
    }
    std::optional<int> Radclient(const std::string& request, std::uint16_t port, const std::string& kind) {
        const auto file = TemporaryFile("radclient.txt", request + "\n");
        ChildProcess radclient;
        if (!radclient.Start({kRadclient, "-t", "1", "-r", "1", "-f", file.string(),
                              "127.0.0.1:" + std::to_string(port), kind, "MeadowLantern"}))
            return std::nullopt;
        radclient.ReadAll(kWait);
        const auto status = radclient.Wait(kWait);
        std::filesystem::remove(file);
        return status;
    }

    static constexpr const char* kRadclient = "/usr/bin/radclient";
    TestResponder server_;
};

TEST_F(RadclientInterop, AccessRequestPasswordIsReadBackAndTheAcceptTrusted) {
    EXPECT_EQ(Radclient("User-Name=alice,User-Password=averyveryverylongpassword12", server_.AuthPort(), "auth"), 0);
    const auto received = server_.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].password, "averyveryverylongpassword12");
}

TEST_F(RadclientInterop, AccountingAuthenticatorIsValid) {
    EXPECT_EQ(Radclient("User-Name=alice,Acct-Status-Type=Stop,Acct-Session-Time=60", server_.AcctPort(), "acct"), 0);
    const auto received = server_.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].accountingAuthenticatorValid, true);
    EXPECT_EQ(received[0].Integer(kAcctSessionTime), 60u);
}

}  // namespace
}  // namespace responder
