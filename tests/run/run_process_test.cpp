// pelvok --run as a process against the scripted responder on 127.0.0.1: exit status,
// result lines, the JSON report, the stops of a run cut short, start failures and the
// command line's own options. Every run is bounded (the program's --max-wait or the wait
// for the child).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/infra/temp_folder.h"
#include "tests/responder/child_process.h"
#include "tests/responder/test_responder.h"
#include "tests/run/paced_load.h"
#include "tests/run/program_run.h"
#include "tests/support/hostile_files.h"

namespace {

using namespace std::chrono_literals;
using responder::Fault;
using responder::Rule;
using run_test::Outcome;

constexpr std::uint8_t kAccountingRequest = 4;
constexpr std::uint32_t kAcctStatusStop = 2;

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

    // With a shell prefix the program runs under bash after it ("ulimit -f 4;").
    Outcome Run(std::vector<std::string> arguments, std::chrono::milliseconds within = 20s,
                const std::string& shellPrefix = "") {
        arguments.insert(arguments.begin(), PELVOK_PROGRAM);
        return run_test::RunProgram(std::move(arguments), within, shellPrefix);
    }

    nlohmann::json Report() { return nlohmann::json::parse(folder.Read("out.json")); }

    // Runs the program with its standard output on a pipe whose reading end is closed before
    // it starts, and standard error into err.out; the exit status, or nothing when it did not
    // end within 20 s (it is then killed).
    std::optional<int> RunIntoClosedPipe(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), PELVOK_PROGRAM);
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
        close(ends[0]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, folder.Path("err.out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        // SIGPIPE as the program finds it outside a test: ending the process unless it says otherwise.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        close(ends[1]);
        if (spawned != 0) return std::nullopt;
        for (int tenths = 0; tenths < 200; ++tenths) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(100ms);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return std::nullopt;
    }

    bool StartReceivedFor(const std::string& user) const {
        return responder.WaitUntil(
            [&user](const responder::Traffic& traffic) {
                for (const auto& request : traffic.received)
                    if (request.code == kAccountingRequest && request.userName == user) return true;
                return false;
            },
            10s);
    }

    std::string SavedSessionId() {
        const std::string text = folder.Read("run.ini");
        const auto at = text.find("SessionId=");
        return at == std::string::npos ? "" : text.substr(at + 10, text.find('\n', at) - at - 10);
    }

    static bool Has(const Outcome& outcome, const std::string& line) { return outcome.Has(line); }

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

// The voluntary context switches of a process's main thread: its wake-ups after a sleep.
std::optional<long> WakeUps(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(line.find(':') + 1));
    return std::nullopt;
}

// On the 100 ms tick and paced: a paced run with nothing to show each second sleeps through
// its session's minutes, and a stop signal still ends it at once.
TEST_F(RunProcessTest, SigtermEndsTheRunWithItsStopsAndExitOne) {
    for (const bool paced : {false, true}) {
        SCOPED_TRACE(paced ? "paced" : "on the tick");
        std::string options = Options();
        if (paced) folder.Write("run.ini", folder.Read("run.ini") + "Pacing=1\n");
        const std::string simulation = Simulation(paced ? "0:00:00:00,bob,pw,10:00\n" : "0:00:00:00,alice,pw,10:00\n");
        const std::string user = paced ? "bob" : "alice";
        responder::ChildProcess child;
        ASSERT_TRUE(child.Start({PELVOK_PROGRAM, "--run", simulation, "--config", options}));
        // Once the start is received, the session is live and has a stop to send.
        ASSERT_TRUE(StartReceivedFor(user));
        if (paced) {
            // The Start's reply taken, and the Access-Request's time-out (1 s), which the
            // engine still wakes for once although it was answered, passed.
            std::this_thread::sleep_for(1500ms);
            const std::optional<long> before = WakeUps(child.Pid());
            std::this_thread::sleep_for(2500ms);
            const std::optional<long> after = WakeUps(child.Pid());
            ASSERT_TRUE(before && after);
            EXPECT_LE(*after - *before, 1) << "a quiet paced run woke while nothing was due";
        }
        const auto signalled = std::chrono::steady_clock::now();
        child.Signal(SIGTERM);
        const std::string output = child.ReadAll(10s);
        EXPECT_EQ(child.Wait(2s), 1) << output;
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, 3s);
        EXPECT_TRUE(StopReceivedFor(user));
        EXPECT_NE(output.find("Run Summary: interrupted"), std::string::npos) << output;
    }
}

TEST_F(RunProcessTest, RunsThatCannotStartExitTwoWithTheReason) {
    const std::string options = Options();
    folder.Write("bad.sim", "not a simulation line\n");
    folder.Write("good.sim", "0:00:00:00,alice,pw,00:01\n");
    folder.Write("badhost.ini", "[Options]\nRadHost=300.1.2.3\nQuorlanPort=" + std::to_string(responder.AuthPort()) +
                                    "\nDictDir=" PELVOK_DATA_DIR "\n");
    folder.Write("empty.ini", "");
    folder.Write("logs-only.ini", "[Logs]\nFile1=ON,NAME=stdout\n");
    ASSERT_TRUE(hostile::MakeFifo(folder.Path("pipe.sim")));  // nobody writes: it would hold the run
    std::filesystem::create_directory(folder.Path("folder"));
    std::filesystem::create_symlink("nowhere.json", folder.Path("dangling.json"));
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"--run", folder.Path("missing.sim"), "--config", options}, "pelvok: cannot read the simulation file"},
        {{"--run", folder.Path("bad.sim"), "--config", options}, "pelvok: Invalid Simulation file: "},
        {{"--run", folder.Path("good.sim"), "--config", folder.Path("badhost.ini")},
         "pelvok: no usable RADIUS server address (RadHost)"},
        {{"--run", folder.Path("good.sim"), "--config", folder.Path("empty.ini")},
         "pelvok: the options file " + folder.Path("empty.ini") + " is empty"},
        {{"--run", folder.Path("good.sim"), "--config", folder.Path("logs-only.ini")},
         "pelvok: the options file " + folder.Path("logs-only.ini") + " has no [Options] section"},
        {{"--run", folder.Path("pipe.sim"), "--config", options},
         "pelvok: cannot read the simulation file " + folder.Path("pipe.sim") + ": not a regular file"},
        // The report's path is looked at before the run, not after it.
        {{"--run", folder.Path("good.sim"), "--config", options, "--report", folder.Path("folder")},
         "pelvok: cannot write the report " + folder.Path("folder") + ": a folder"},
        {{"--run", folder.Path("good.sim"), "--config", options, "--report", folder.Path("dangling.json")},
         "pelvok: cannot write the report " + folder.Path("dangling.json") +
             ": a symbolic link whose target does not exist"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        if (std::find(arguments.begin(), arguments.end(), "--report") == arguments.end())
            arguments.insert(arguments.end(), {"--report", folder.Path("out.json")});
        const Outcome run = Run(arguments);
        EXPECT_EQ(run.status, 2) << c.message << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_FALSE(folder.Exists("out.json"));
    }
    EXPECT_TRUE(responder.Received().empty()) << "a run that cannot start sends nothing";
    EXPECT_EQ(hostile::TypeOf(folder.Path("dangling.json")), S_IFLNK);
}

TEST_F(RunProcessTest, SighupEndsTheRunWithItsStopsWhileASecondRunOnTheSameOptionsIsRefused) {
    const std::string options = Options();
    const std::string simulation = Simulation("0:00:00:00,alice,pw,10:00\n");
    responder::ChildProcess child;
    ASSERT_TRUE(child.Start({PELVOK_PROGRAM, "--run", simulation, "--config", options, "--save-session-id"}));
    ASSERT_TRUE(StartReceivedFor("alice"));

    const Outcome second = Run({"--run", simulation, "--config", options});
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.output.find("pelvok: " + options + " is in use by another Pelvok (process "), std::string::npos)
        << second.output;

    child.Signal(SIGHUP);
    const std::string output = child.ReadAll(10s);
    EXPECT_EQ(child.Wait(2s), 1) << output;
    EXPECT_TRUE(StopReceivedFor("alice"));
    EXPECT_EQ(SavedSessionId(), "2");  // the default 1, and one session
}

TEST_F(RunProcessTest, AClosedOutputPipeOrAFileSizeLimitNeverSkipsTheStops) {
    const std::string options = Options();
    const std::string simulation = Simulation("0:00:00:00,alice,pw,00:01\n");
    std::vector<std::string> arguments = {"--run", simulation, "--config", options, "--save-session-id"};
    const bool device = hostile::IsRoot() && hostile::MakeDevice(folder.Path("null"), hostile::kNull);
    if (device) arguments.insert(arguments.end(), {"--report", folder.Path("null")});  // written through
    EXPECT_EQ(RunIntoClosedPipe(arguments), 0) << folder.Read("err.out");
    EXPECT_TRUE(StopReceivedFor("alice"));
    EXPECT_EQ(SavedSessionId(), "2");  // the default 1, and one session
    if (device) EXPECT_EQ(hostile::TypeOf(folder.Path("null")), S_IFCHR);

    // Files of at most 4 KiB: the options file, longer, cannot be written again.
    folder.Write("run.ini", folder.Read("run.ini") + "; " + std::string(8192, '-') + "\n");
    const std::string before = folder.Read("run.ini");
    const Outcome limited = Run({"--run", simulation, "--config", options, "--save-session-id"}, 20s, "ulimit -f 4;");
    EXPECT_EQ(limited.status, 1) << limited.output;
    EXPECT_NE(limited.output.find("pelvok: cannot save the options file " + options + ": File too large"),
              std::string::npos)
        << limited.output;
    EXPECT_TRUE(Has(limited, "alice: Account STOP Reply")) << limited.output;
    EXPECT_EQ(folder.Read("run.ini"), before);
}

// The program started in a folder of the test's with a home folder of its own, so that no
// options file of this machine's user is found (one beside the program or in /etc skips).
class FileSearchProcessTest : public RunProcessTest {
protected:
    void SetUp() override {
        RunProcessTest::SetUp();
        for (const std::string& place : {std::string(PELVOK_PROGRAM) + ".ini", std::string("/etc/pelvok/pelvok.ini")})
            if (std::filesystem::exists(place)) GTEST_SKIP() << place << " would be found first";
        std::filesystem::create_directories(folder.Path("elsewhere"));
        std::filesystem::create_directories(folder.Path("home"));
    }
    std::string Elsewhere(const std::string& xdgConfigHome = "") {
        const std::string xdg =
            xdgConfigHome.empty() ? "unset XDG_CONFIG_HOME;" : "export XDG_CONFIG_HOME=" + xdgConfigHome + ";";
        return "cd " + folder.Path("elsewhere") + " && export HOME=" + folder.Path("home") + " && " + xdg;
    }
};

TEST_F(FileSearchProcessTest, WithoutAnyOptionsFileTheCommandLineNamesServerSecretAndDictionary) {
    responder::TestResponder other("BlueHeron");
    other.SetDefaultRule(Rule::Accept());
    ASSERT_TRUE(other.Start()) << other.LastError();
    const std::string simulation = Simulation("0:00:00:00,alice,pw,00:01,Auth:NAS-Port=3\n");
    const std::string server = "127.0.0.1:" + std::to_string(other.AuthPort());
    const std::vector<std::string> arguments = {"--run",    simulation,  "--server",     server,
                                                "--secret", "BlueHeron", "--dictionary", PELVOK_DATA_DIR "default.dic"};

    const Outcome run = Run(arguments, 20s, Elsewhere());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string places = std::string(PELVOK_PROGRAM) + ".ini, " + folder.Path("home") +
                               "/.config/pelvok/pelvok.ini, /etc/pelvok/pelvok.ini";
    EXPECT_NE(run.output.find("pelvok: no options file (looked for " + places + "): the defaults are used"),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(Has(run, "alice: Auth Accept")) << run.output;
    EXPECT_TRUE(Has(run, "Responses: Auth=1, Acct-Start=1, Acct-Stop=1")) << run.output;
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path("home"))) << "a run without an options file makes none";
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path("elsewhere")));

    // Nothing to keep the session numbers in; nor is a dictionary that is not there blamed on the simulation file.
    std::vector<std::string> saving = arguments;
    saving.push_back("--save-session-id");
    const Outcome refused = Run(saving, 20s, Elsewhere());
    EXPECT_EQ(refused.status, 2) << refused.output;
    EXPECT_NE(refused.output.find("pelvok: --save-session-id needs an options file"), std::string::npos)
        << refused.output;
    std::vector<std::string> noDictionary = arguments;
    noDictionary.back() = "data/default.dic";
    const Outcome missing = Run(noDictionary, 20s, Elsewhere());
    EXPECT_EQ(missing.status, 2) << missing.output;
    EXPECT_NE(missing.output.find("pelvok: cannot read the dictionary data/default.dic: No such file or directory"),
              std::string::npos)
        << missing.output;
    EXPECT_EQ(missing.output.find("Simulation file"), std::string::npos) << missing.output;
    EXPECT_EQ(other.Received().size(), 3u) << "the refused runs send nothing";
}

TEST_F(FileSearchProcessTest, TheUsersOptionsFileIsFoundItsRelativePathsCountFromItsFolderAndItIsLeftAsItWas) {
    const std::string config = folder.Path("home") + "/config";
    std::filesystem::create_directories(config + "/pelvok/dicts");
    std::filesystem::copy_file(PELVOK_DATA_DIR "default.dic", config + "/pelvok/dicts/default.dic");
    const std::string options = "[Options]\nRadHost=127.0.0.1\nQuorlanPort=" + std::to_string(responder.AuthPort()) +
                                "\nDictDir=dicts/\nSessionId=41\n[Logs]\nFile2=ON,NAME=stdout\n";
    folder.Write("home/config/pelvok/pelvok.ini", options);
    folder.Write("home/config/pelvok/relative.sim", "0:00:00:00,alice,pw,00:01,Auth:NAS-Port=3\n");

    const Outcome run = Run({"--run", config + "/pelvok/relative.sim"}, 20s, Elsewhere(config));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Has(run, "Options file: " + config + "/pelvok/pelvok.ini")) << run.output;
    EXPECT_EQ(folder.Read("home/config/pelvok/pelvok.ini"), options);

    const Outcome saving =
        Run({"--run", config + "/pelvok/relative.sim", "--save-session-id", "--secret", "MeadowLantern"}, 20s,
            Elsewhere(config));
    ASSERT_EQ(saving.status, 0) << saving.output;
    std::string saved = options;
    saved.replace(saved.find("SessionId=41"), 12, "SessionId=42");
    EXPECT_EQ(folder.Read("home/config/pelvok/pelvok.ini"), saved) << "only SessionId, never an override";
}

TEST_F(RunProcessTest, InvalidLinesFailTheRunWhileStrictRefusesToStartIt) {
    const std::string options = Options();
    const std::string simulation = Simulation("0:00:00:00,alice,pw,00:01\n0:0:0:0,bob,pw,00:01,Auth:Nonsense=1\n"
                                              "bad line\n0:00:00:00,carol,pw,00:01\n");

    const Outcome run = Run({"--run", simulation, "--config", options, "--report", folder.Path("out.json")});
    ASSERT_EQ(run.status, 1) << run.output;
    EXPECT_TRUE(Has(run, "carol: Auth Accept")) << "the lines after an invalid one are played\n" << run.output;
    EXPECT_TRUE(Has(run, "---------- Run Summary: completed, exit status 1 ----------")) << run.output;
    EXPECT_TRUE(Has(run, "Invalid simulation lines: 2 (time 1, attribute 1)")) << run.output;
    EXPECT_EQ(Report()["invalidLines"]["attribute"], 1);

    const std::size_t received = responder.Received().size();
    const Outcome strict = Run({"--run", simulation, "--config", options, "--strict"});
    EXPECT_EQ(strict.status, 2) << strict.output;
    EXPECT_NE(strict.output.find("pelvok: --strict: 2 (time 1, attribute 1) of the 4 lines of " + simulation +
                                 " are invalid"),
              std::string::npos)
        << strict.output;
    EXPECT_EQ(responder.Received().size(), received) << "a strict run with an invalid line sends nothing";
    EXPECT_EQ(Run({"--run", Simulation("0:00:00:00,alice,pw,00:01\n"), "--config", options, "--strict"}).status, 0);
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

// Two thousand sessions a second for ten seconds, paced on sixteen sockets: every request is
// answered and no line is lost. A test of correctness, not of speed (bench/ measures that).
TEST_F(RunProcessTest, APacedLoadOfTwoThousandSessionsASecondLosesNothing) {
    constexpr int kSessions = run_test::kLoadSessions;
    std::string lines;
    for (int i = 0; i < kSessions; ++i) {
        const int at = i * 1000 / run_test::kLoadRate;  // milliseconds: two lines each
        char line[64];
        // Five seconds: a session's end is due when a calendar second begins, so one that
        // starts late in a second lives up to a second less than its length; a stop that came
        // before the start's reply would cut the start short.
        std::snprintf(line, sizeof line, "0:00:00:%02d.%03d,load%d,pw,00:05\n", at / 1000, at % 1000, i);
        lines += line;
    }
    const std::string simulation = Simulation(lines);
    folder.Write("load.ini", run_test::PacedLoadOptions(responder.AuthPort(), kSessions));

    const Outcome run = Run({"--run", simulation, "--config", folder.Path("load.ini"), "--report",
                             folder.Path("out.json"), "--max-wait", "100"},
                            110s);
    ASSERT_EQ(run.status, 0) << run.Tail();
    const nlohmann::json report = Report();
    run_test::ExpectEveryLoadRequestAnswered(run, report, kSessions);
    EXPECT_EQ(responder.CountReceived(1), static_cast<std::size_t>(kSessions) +
                                              report["requests"]["access"]["retransmissions"].get<std::size_t>());
}

// A load made from the arguments plays like a file; users that cannot be read end the run
// before it starts. Sessions of three seconds: an end falls on a whole second, and a session
// whose end comes before its Start's reply sends its Stop instead, so one of a second would
// lose the Start's reply on a busy machine.
TEST_F(RunProcessTest, ALoadFromTheArgumentsPlaysItsSessionsAtTheRate) {
    const std::string options = Options(200);
    const Outcome run = Run({"--run", "--load", "load{n},pw{n}", "--rate", "200/s", "--sessions", "100",
                             "--session-time", "3", "--ramp", "1", "--config", options, "--timeline",
                             folder.Path("timeline.csv")});
    ASSERT_EQ(run.status, 0) << run.output;
    // A row a second, the sessions' requests all in it.
    std::istringstream timeline(folder.Read("timeline.csv"));
    std::string line;
    std::getline(timeline, line);
    EXPECT_EQ(line, "second,sent,answered,retransmitted,dropped,inFlight,p50Us,p99Us");
    std::uint64_t sent = 0, answered = 0;
    for (std::uint64_t second = 0; std::getline(timeline, line); ++second) {
        std::uint64_t row = 0, rowSent = 0, rowAnswered = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lu,%lu,%lu", &row, &rowSent, &rowAnswered), 3) << line;
        EXPECT_EQ(row, second);
        sent += rowSent;
        answered += rowAnswered;
    }
    EXPECT_EQ(sent, 300u);
    EXPECT_EQ(answered, 300u);
    EXPECT_TRUE(Has(run, "Requests: Auth=100, Acct-Start=100, Acct-Stop=100")) << run.output;
    EXPECT_EQ(responder.CountReceived(1, "load1"), 1u);
    EXPECT_EQ(responder.CountReceived(1, "load100"), 1u);

    const Outcome refused = Run({"--run", "--load", folder.Path("missing.txt"), "--rate", "1", "--sessions", "1",
                                 "--session-time", "1", "--config", options});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.output.find("cannot read the users file"), std::string::npos) << refused.output;
}
