// The responder as a program: answers by its script, writes its port, summarises at SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/responder/child_process.h"
#include "tests/responder/test_client.h"

namespace responder {
namespace {

TEST(ResponderCli, AnswersByScriptWritesItsPortAndSummarisesAtSigterm) {
    constexpr std::chrono::milliseconds kWait{5000};
    const auto stem = std::filesystem::temp_directory_path() / ("pelvok-responder-" + std::to_string(::getpid()));
    const auto script = stem.string() + "-script.ini", portFile = stem.string() + "-port";
    std::ofstream(script) << "[user bob]\nanswer = reject\nReply-Message = No\n";
    ChildProcess cli;
    ASSERT_TRUE(cli.Start({PELVOK_RESPONDER_CLI, "--script", script, "--max-seconds", "30", "--verbose",
                           "--port-file", portFile}));
    const auto portLine = cli.ReadLine(kWait);
    ASSERT_TRUE(portLine);
    ASSERT_EQ(portLine->rfind("port ", 0), 0u) << *portLine;
    std::string written;
    std::ifstream(portFile) >> written;
    EXPECT_EQ("port " + written, *portLine);
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
    for (const char* expected : {"Access-Request id=1 user=bob password=pw",
                                 "received 2 requests, 0 malformed, 0 with a wrong accounting authenticator",
                                 "user bob: Access-Request=1", "user alice: Accounting-Start=1"})
        EXPECT_NE(output.find(expected), std::string::npos) << expected << " in " << output;
    std::filesystem::remove(script);
    std::filesystem::remove(portFile);
}

}  // namespace
}  // namespace responder
