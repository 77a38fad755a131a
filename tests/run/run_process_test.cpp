// pelvok --run as a process against the scripted responder on 127.0.0.1: exit status,
// result lines, the JSON report, the stops of a run cut short, start failures and the
// command line's own options. Every run is bounded (the program's --max-wait or the wait
// for the child).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/infra/temp_folder.h"
#include "tests/responder/child_process.h"
#include "tests/responder/test_responder.h"

namespace {

using namespace std::chrono_literals;
using responder::Fault;
using responder::Rule;

constexpr std::uint8_t kAccountingRequest = 4;
constexpr std::uint32_t kAcctStatusStop = 2;

struct Outcome {
    std::optional<int> status;
    std::string output;  // standard output and error together
    std::vector<std::string> lines;
};

class RunProcessTest : public testing::Test {
protected:
    void SetUp() override {
        responder.SetDefaultRule(Rule::Accept());
        ASSERT_TRUE(responder.Start()) << responder.LastError();
    }

    // An options file for the responder.
    std::string Options(int nasPorts = 8) {
        std::ostringstream text;
        text << "[Options]\nRadHost=127.0.0.1\nQuorlanPort=" << responder.AuthPort()
             << "\nSecret=MeadowLantern\nDictDir=" << PELVOK_DATA_DIR
             << "\nDictName=default.dic\nNumPorts=" << nasPorts
             << "\nResendAuth=0\nAuthTimeout=1\nResendAcct=1\nAcctTimeout=2\n";
        folder.Write("run.ini", text.str());
        return folder.Path("run.ini");
    }
    std::string Simulation(const std::string& lines) {
        folder.Write("run.sim", lines);
        return folder.Path("run.sim");
    }

    Outcome Run(std::vector<std::string> arguments, std::chrono::milliseconds within = 20s) {
        arguments.insert(arguments.begin(), PELVOK_PROGRAM);
        responder::ChildProcess child;
        Outcome outcome;
        if (!child.Start(arguments)) return outcome;
        outcome.output = child.ReadAll(within);
        outcome.status = child.Wait(2s);
        std::istringstream in(outcome.output);
        for (std::string line; std::getline(in, line);) outcome.lines.push_back(line);
        return outcome;
    }

    nlohmann::json Report() { return nlohmann::json::parse(folder.Read("out.json")); }

    static bool Has(const Outcome& outcome, const std::string& line) {
        for (const std::string& shown : outcome.lines)
            if (shown == line) return true;
        return false;
    }

    bool StopReceivedFor(const std::string& user) const {
        for (const responder::ReceivedRequest& request : responder.Received())
            if (request.code == kAccountingRequest && request.userName == user && request.acctStatusType == kAcctStatusStop)
                return true;
        return false;
    }

    TempFolder folder;
    responder::TestResponder responder;
};

TEST_F(RunProcessTest, EveryRequestAnsweredExitsZeroWithMatchingReport) {
    responder.SetRule("rita", Rule::Reject("Go away"));
    responder.SetRule("lena", Rule::Accept().With(Fault::LateBy(300, responder::kAccessPackets)));
    const std::string options = Options();
    const std::string simulation = Simulation(
        "0:00:00:00,alice,pw,00:01\n0:00:00:00,rita,pw,00:01\n0:00:00:00,lena,pw,00:01\n");

    const Outcome run = Run({"--run", simulation, "--config", options, "--report", folder.Path("out.json")});
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char* line : {"alice: Auth Accept", "rita: Auth Reject, Message=Go away", "lena: Auth Accept",
                             "---------- Rquests Counter Report -----------",
                             "Requests: Auth=3, Acct-Start=2, Acct-Stop=2",
                             "Responses: Auth=3, Acct-Start=2, Acct-Stop=2",
                             "Outcomes: 2 accepted, 1 rejected, 0 challenged",
                             "Sessions not started: 0, unfinished: 0"})
        EXPECT_TRUE(Has(run, line)) << line << " missing from\n" << run.output;

    const nlohmann::json report = Report();
    EXPECT_EQ(report["result"], "completed");
    EXPECT_EQ(report["exitStatus"], 0);
    const nlohmann::json& access = report["requests"]["access"];
    EXPECT_EQ(access["replies"], 3);
    // Three samples: the late one is the 95th and 99th percentile and the maximum.
    EXPECT_GE(access["latencyMs"]["max"].get<int>(), 300);
    EXPECT_EQ(access["latencyMs"]["p99"], access["latencyMs"]["max"]);
    EXPECT_EQ(access["latencyMs"]["p95"], access["latencyMs"]["max"]);
    EXPECT_LT(access["latencyMs"]["min"].get<int>(), 300);
    EXPECT_EQ(report["outcomes"]["reject"], 1);
}

TEST_F(RunProcessTest, SilentServerDropsTheRequestAndTheRunFailsWithoutProgressOnAPipe) {
    responder.SetRule("sam", Rule::Accept().With(Fault::SilentAlways()));
    const std::string options = Options();
    // Longer than the two quiet seconds of the progress display.
    const std::string simulation = Simulation("0:00:00:00,alice,pw,00:03\n0:00:00:00,sam,pw,00:01\n");

    const Outcome run = Run({"--run", simulation, "--config", options, "--report", folder.Path("out.json")});
    ASSERT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Has(run, "sam: No response from server - Dropping request.")) << run.output;
    EXPECT_TRUE(Has(run, "Requests: Auth=2, Acct-Start=1, Acct-Stop=1")) << run.output;
    EXPECT_EQ(run.output.find('\r'), std::string::npos) << "progress display on a pipe";
    const nlohmann::json report = Report();
    EXPECT_EQ(report["requests"]["access"]["drops"], 1);
}

TEST_F(RunProcessTest, MaxWaitCutsALongSessionShortWithItsStopSent) {
    const std::string options = Options();
    const std::string simulation = Simulation("0:00:00:00,alice,pw,10:00\n");

    const auto started = std::chrono::steady_clock::now();
    const Outcome run = Run({"--run", simulation, "--config", options, "--max-wait", "1", "--report",
                             folder.Path("out.json")});
    ASSERT_EQ(run.status, 1) << run.output;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_TRUE(StopReceivedFor("alice"));
    EXPECT_TRUE(Has(run, "alice: Account STOP Reply")) << run.output;
    EXPECT_TRUE(Has(run, "Responses: Auth=1, Acct-Start=1, Acct-Stop=1")) << run.output;
    const nlohmann::json report = Report();
    EXPECT_EQ(report["result"], "wait ran out");
    EXPECT_EQ(report["sessions"]["unfinished"], 0);
}

TEST_F(RunProcessTest, SigtermEndsTheRunWithItsStopsAndExitOne) {
    const std::string options = Options();
    const std::string simulation = Simulation("0:00:00:00,alice,pw,10:00\n");
    responder::ChildProcess child;
    ASSERT_TRUE(child.Start({PELVOK_PROGRAM, "--run", simulation, "--config", options}));
    // Once the start is answered, the session is live and has a stop to send.
    ASSERT_TRUE(responder.WaitUntil(
        [](const responder::Traffic& traffic) {
            for (const auto& request : traffic.received)
                if (request.code == kAccountingRequest) return true;
            return false;
        },
        10s));
    child.Signal(SIGTERM);
    const std::string output = child.ReadAll(10s);
    EXPECT_EQ(child.Wait(2s), 1) << output;
    EXPECT_TRUE(StopReceivedFor("alice"));
    EXPECT_NE(output.find("Run Summary: interrupted"), std::string::npos) << output;
}

TEST_F(RunProcessTest, RunsThatCannotStartExitTwoWithTheReason) {
    const std::string options = Options();
    folder.Write("bad.sim", "not a simulation line\n");
    folder.Write("good.sim", "0:00:00:00,alice,pw,00:01\n");
    folder.Write("badhost.ini", "[Options]\nRadHost=300.1.2.3\nQuorlanPort=" + std::to_string(responder.AuthPort()) +
                                    "\nDictDir=" PELVOK_DATA_DIR "\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"--run", folder.Path("missing.sim"), "--config", options}, "pelvok: cannot read the simulation file"},
        {{"--run", folder.Path("bad.sim"), "--config", options}, "pelvok: Invalid Simulation file: "},
        {{"--run", folder.Path("good.sim"), "--config", folder.Path("badhost.ini")},
         "pelvok: no usable RADIUS server address (RadHost)"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--report", folder.Path("out.json")});
        const Outcome run = Run(arguments);
        EXPECT_EQ(run.status, 2) << c.message << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_FALSE(folder.Exists("out.json"));
    }
}

TEST_F(RunProcessTest, HelpVersionAndUnknownOptions) {
    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--run SIMFILE [--config FILE] [--report FILE.json] [--max-wait SECONDS]"),
              std::string::npos)
        << help.output;
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "pelvok 1.4\n");
    const Outcome unknown = Run({"--frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("pelvok: unknown argument: --frobnicate\nusage: pelvok"), std::string::npos)
        << unknown.output;
}

}  // namespace
