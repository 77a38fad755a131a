// The pieces of a headless run: its command line, the progress line, the exit status, the
// JSON report and the summary; the load a run can make from its arguments.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "shell/entry.h"
#include "shell/progress.h"
#include "shell/run_report.h"
#include "shell/run_timeline.h"
#include "tests/infra/temp_folder.h"

namespace {

struct ParseCase {
    std::vector<std::string> arguments;
    bool ok;
    std::string error;  // a part of the message when not ok
};

bool Parse(const std::vector<std::string>& arguments, CommandLine& commandLine, std::string& error) {
    std::vector<std::string> words{"pelvok"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return ParseCommandLine(static_cast<int>(words.size()), argv.data(), commandLine, error);
}

TEST(RunCommandLine, AcceptsTheRunOptionsAndRefusesWhatDoesNotFit) {
    const ParseCase cases[] = {
        {{}, true, ""},
        {{"--run=a.sim", "--report", "r.json", "--max-wait=45", "--config=x.ini"}, true, ""},
        {{"--run="}, false, "--run needs a simulation file"},
        {{"--run", "a.sim", "--max-wait", "0"}, false, "--max-wait needs"},
        {{"--report", "r.json"}, false, "go with --run"},
        {{"--run", "a.sim", "--strict", "--save-session-id", "--server=h:1812", "--secret", "s", "--dictionary",
          "d.dic"},
         true,
         ""},
        {{"--strict"}, false, "go with --run"},
        {{"--save-session-id"}, false, "go with --run"},
        {{"--server", "127.0.0.1"}, false, "go with --run"},
        {{"--probe", "--server", "[::1]:1812", "--secret", "s"}, true, ""},
        {{"--probe", "--dictionary", "d.dic"}, false, "go with --run"},
        {{"--probe", "--run", "a.sim"}, false, "--probe goes without --run"},
        {{"--run", "a.sim", "--server"}, false, "--server needs a host"},
        {{"--run", "a.sim", "--server", "h:x"}, false, "--server needs a port"},
        {{"--run", "a.sim", "--secret="}, false, "--secret needs a value"},
        {{"--run", "a.sim", "--dictionary"}, false, "--dictionary needs a file name"},
        {{"--timeline", "t.csv"}, false, "go with --run"},
        {{"--run", "a.sim", "--timeline="}, false, "--timeline needs a file name"},
        // A load run.
        {{"--run", "--load", "u.txt", "--rate=2000/s", "--sessions", "10", "--session-time", "30", "--ramp", "5"},
         true, ""},
        {{"--run", "--load=user{n},pw", "--rate", "0.5", "--sessions=1", "--session-time=5999"}, true, ""},
        {{"--run", "--load", "u.txt", "--rate", "10", "--sessions", "10"}, false, "needs --session-time"},
        {{"--run", "--load", "u.txt", "--rate", "0", "--sessions", "1", "--session-time", "1"}, false,
         "--rate needs"},
        {{"--run", "--load", "u.txt", "--rate", "5/m", "--sessions", "1", "--session-time", "1"}, false,
         "--rate needs"},
        {{"--run", "--load", "u", "--rate", "1", "--sessions", "1", "--session-time", "6000"}, false, "--session-time"},
        {{"--load", "u.txt", "--rate", "1", "--sessions", "1", "--session-time", "1"}, false, "go with --run"},
        {{"--run", "a.sim", "--sessions", "1"}, false, "not both"},
        {{"--run", "--load"}, false, "--load needs a value"},
    };
    for (const ParseCase& c : cases) {
        CommandLine commandLine;
        std::string error;
        const std::string shown = c.arguments.empty() ? "(none)" : c.arguments.front();
        EXPECT_EQ(Parse(c.arguments, commandLine, error), c.ok) << shown << ": " << error;
        if (!c.ok) {
            EXPECT_NE(error.find(c.error), std::string::npos) << shown << ": " << error;
        }
    }
    CommandLine load;
    std::string error;
    ASSERT_TRUE(Parse({"--run", "--load", "u.txt", "--rate=2000/s", "--sessions", "10", "--session-time", "30"},
                      load, error));
    EXPECT_TRUE(load.runLoad);
    EXPECT_EQ(load.load.users, "u.txt");
    EXPECT_EQ(load.load.rate, 2000);
    EXPECT_EQ(load.load.sessions, 10u);
    EXPECT_EQ(load.load.sessionSeconds, 30u);
}

TEST(LoadPlan, SessionsStartAtTheRateAfterAnEvenRamp) {
    LoadPlan plan;
    plan.rate = 2000;
    plan.sessions = 5;
    plan.sessionSeconds = 90;
    const std::vector<UserPassword> pattern{{"user{n}", "pass{n}"}};
    std::ostringstream text;
    WriteLoadSimulation(plan, pattern, true, text);
    EXPECT_EQ(text.str(),
              "0:00:00:00.000,user1,pass1,01:30\n0:00:00:00.001,user2,pass2,01:30\n"
              "0:00:00:00.001,user3,pass3,01:30\n0:00:00:00.002,user4,pass4,01:30\n"
              "0:00:00:00.002,user5,pass5,01:30\n");
    // Ramping over 10 s to 100 a second: 500 sessions in the ramp (the n-th at sqrt(n / 5) s),
    // then one each 10 ms.
    plan.rate = 100;
    plan.rampSeconds = 10;
    struct Case {
        std::uint64_t index;
        std::uint64_t milliseconds;
    } cases[] = {{0, 0}, {5, 1000}, {125, 5000}, {499, 9990}, {500, 10000}, {501, 10010}, {86'400'000, 864'005'000}};
    for (const Case& c : cases) EXPECT_EQ(LoadStartMilliseconds(plan, c.index), c.milliseconds) << c.index;
    // Users of a file are taken in turn; a day's offset is written as such.
    plan.sessions = 3;
    plan.rampSeconds = 0;
    plan.rate = 1.0 / 43200;  // one each 12 hours
    std::ostringstream turns;
    WriteLoadSimulation(plan, {{"ann", "a"}, {"ben", "b"}}, false, turns);
    EXPECT_EQ(turns.str(), "0:00:00:00.000,ann,a,01:30\n0:12:00:00.000,ben,b,01:30\n1:00:00:00.000,ann,a,01:30\n");
}

TEST(LoadPlan, UsersComeFromAPatternOrAFileOfUserPasswordLines) {
    TempFolder folder;
    folder.Write("users.txt", "# load users\nann,apw\r\n\nben,b,pw\n");
    folder.Write("semicolon.txt", "ann;x,pw\n");
    folder.Write("empty.txt", "# none\n");
    std::vector<UserPassword> pairs;
    bool patterned = false;
    std::string error;
    ASSERT_TRUE(ReadLoadUsers("user{n},pw{n}", pairs, patterned, error)) << error;
    EXPECT_TRUE(patterned);
    EXPECT_EQ(pairs, (std::vector<UserPassword>{{"user{n}", "pw{n}"}}));
    struct Case {
        std::string users;
        const char* error;
    } refused[] = {
        {folder.Path("users.txt"), "line 4 of"},  // a comma in the password would shift the fields
        {folder.Path("semicolon.txt"), "line 1 of"},
        {folder.Path("empty.txt"), "names no user"},
        {folder.Path("missing.txt"), "cannot read the users file"},
        {"user{n}", "a --load pattern is USER,PASSWORD"},
        {"user{n},pa;ss", "a --load pattern is USER,PASSWORD"},
        {"/dev/null", "not a regular file"},
    };
    for (const Case& c : refused) {
        EXPECT_FALSE(ReadLoadUsers(c.users, pairs, patterned, error)) << c.users;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    folder.Write("users.txt", "# load users\nann,apw\r\n\nben,bpw\n");
    ASSERT_TRUE(ReadLoadUsers(folder.Path("users.txt"), pairs, patterned, error)) << error;
    EXPECT_FALSE(patterned);
    EXPECT_EQ(pairs, (std::vector<UserPassword>{{"ann", "apw"}, {"ben", "bpw"}}));
}

// A progress display writing into memory.
class ProgressTest : public testing::Test {
protected:
    ~ProgressTest() override {
        if (out_ != nullptr) std::fclose(out_);
        std::free(buffer_);
    }
    std::FILE* Out() { return out_; }
    std::string Written() {
        std::fflush(out_);
        return std::string(buffer_, size_);
    }

private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* out_ = open_memstream(&buffer_, &size_);
};

TEST_F(ProgressTest, QuietForTwoSecondsThenRedrawnAtMostFourTimesASecond) {
    ProgressFigures figures{12, 3, 2, 9, 1, 0};
    ProgressDisplay progress(Out(), true, 5000);
    progress.Update(6999, figures);
    EXPECT_EQ(Written(), "");
    progress.Update(7000, figures);
    const std::string line = "lines 12 | live 3 | outstanding 2 | accepted 9 | rejected 1 | dropped 0";
    std::string expected = "\r" + line;
    EXPECT_EQ(Written(), expected);
    figures.linesRead = 3;
    progress.Update(7200, figures);  // new, but only 200 ms after the last drawing
    EXPECT_EQ(Written(), expected);
    figures.linesRead = 8;  // a shorter line blanks the rest of the longer one
    progress.Update(7250, figures);
    expected += "\r" + std::string("lines 8 | live 3 | outstanding 2 | accepted 9 | rejected 1 | dropped 0") + " ";
    EXPECT_EQ(Written(), expected);
}

// Local times in a fixed zone; no other test of this program depends on the zone.
void SetTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

TEST(RunReport, TimesAreLocalWithTheirOffset) {
    SetTimeZone("<-0330>3:30");
    EXPECT_EQ(Iso8601LocalTime(86400 + 3600), "1970-01-01T21:30:00-03:30");
}

RunResult SampleResult() {
    RunResult result;
    result.simulationFile = "demo.sim";
    result.start = 1767225600;
    result.end = 1767225612;
    result.counters = {4, 3, 2, 2, 2, 1};
    RequestStatistics& statistics = result.statistics;
    for (int i = 0; i < 4; ++i) statistics.CountRequest(RequestKind::Access);
    statistics.CountRetransmission(RequestKind::Access);
    statistics.CountDrop(RequestKind::Access);
    for (std::uint32_t latency : {40u, 10u, 20u}) statistics.CountReply(RequestKind::Access, latency);
    statistics.CountOutcome(AccessOutcome::Accept);
    statistics.CountOutcome(AccessOutcome::Accept);
    statistics.CountOutcome(AccessOutcome::Reject);
    for (int i = 0; i < 2; ++i) statistics.CountRequest(RequestKind::AccountingStart);
    statistics.CountReply(RequestKind::AccountingStart, 5);
    statistics.CountReply(RequestKind::AccountingStart, 7);
    return result;
}

TEST(RunReport, JsonHoldsCountersStatisticsAndOutcomes) {
    SetTimeZone("UTC0");
    const nlohmann::json report = nlohmann::json::parse(RunReportJson(SampleResult()));
    EXPECT_EQ(report["start"], "2026-01-01T00:00:00+00:00");
    EXPECT_EQ(report["exitStatus"], 1);  // the drop
    const nlohmann::json& access = report["requests"]["access"];
    EXPECT_EQ(access["retransmissions"], 1);
    EXPECT_EQ(access["latencyMs"]["min"], 10);
    EXPECT_EQ(access["latencyMs"]["median"], 20);
    EXPECT_EQ(access["latencyMs"]["p95"], 40);
    EXPECT_EQ(report["requests"]["accountingStart"]["latencyMs"]["median"], 5);
    EXPECT_EQ(access["latencyUs"]["min"], 10000);
    EXPECT_EQ(access["latencyUs"]["p99.9"], 40000);
    // One bucket for each latency, [lowest, highest, count] in microseconds.
    ASSERT_EQ(access["latencyHistogramUs"].size(), 3u);
    EXPECT_EQ(access["latencyHistogramUs"][0][0], 10000);
    EXPECT_EQ(access["latencyHistogramUs"][0][2], 1);
    EXPECT_TRUE(report["requests"]["accountingStop"]["latencyUs"].is_null());
    EXPECT_TRUE(report["requests"]["accountingStop"]["latencyHistogramUs"].empty());
    EXPECT_EQ(report["outcomes"]["accept"], 2);
}

TEST(RunReport, InvalidLinesFailTheRunAndAreCountedByReason) {
    RunResult result;
    EXPECT_EQ(RunExitStatus(result), kRunSucceeded);
    EXPECT_EQ(RunSummaryLines(result).back(), "Sessions not started: 0, unfinished: 0");  // no line of them
    EXPECT_EQ(nlohmann::json::parse(RunReportJson(result))["invalidLines"]["total"], 0);

    result.invalidLines.Add(InvalidLineReason::Attribute);
    result.invalidLines.Add(InvalidLineReason::Time);
    result.invalidLines.Add(InvalidLineReason::Attribute);
    EXPECT_EQ(RunExitStatus(result), kRunFailed);
    EXPECT_EQ(RunSummaryLines(result).back(), "Invalid simulation lines: 3 (time 1, attribute 2)");
    const nlohmann::json report = nlohmann::json::parse(RunReportJson(result));
    EXPECT_EQ(report["exitStatus"], 1);
    EXPECT_EQ(report["invalidLines"],
              nlohmann::json::parse(R"({"total": 3, "time": 1, "missingField": 0, "duration": 0, "section": 0,
                                        "attribute": 2})"));
}

TEST(RunReport, InterimUpdatesAreAFourthKindOnlyWhenTheRunHadThem) {
    struct Case {
        bool enabled;
        std::int32_t sent;
        bool shown;
    } cases[] = {{false, 0, false}, {true, 0, true}, {false, 2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.enabled << " " << c.sent);
        RunResult result = SampleResult();
        result.counters.interimsEnabled = c.enabled;
        result.counters.acctInterimRequests = c.sent;
        for (std::int32_t i = 0; i < c.sent; ++i) result.statistics.CountRequest(RequestKind::AccountingInterim);
        const nlohmann::json report = nlohmann::json::parse(RunReportJson(result));
        EXPECT_EQ(report["requests"].contains("accountingInterim"), c.shown);
        EXPECT_EQ(report["counters"].contains("acctInterimRequests"), c.shown);
        const std::vector<std::string> lines = RunSummaryLines(result);
        EXPECT_EQ(lines.size(), c.shown ? 7u : 6u);
        if (c.shown)
            EXPECT_EQ(lines[4], "Interim-Update  : " + std::to_string(c.sent) +
                                    " requests, 0 retransmissions, 0 drops, 0 replies");
        const std::array<std::string, 4> counterReport = ComposeCounterReport(result.counters, 0, 0);
        EXPECT_EQ(counterReport[2], std::string("Requests: Auth=4, Acct-Start=2, Acct-Stop=2") +
                                        (c.shown ? ", Acct-Interim=" + std::to_string(c.sent) : ""));
    }
}

TEST(RunReport, WaitsForAnIdentifierAreToldOnlyWhenThereWereAny) {
    RunResult result;
    EXPECT_FALSE(nlohmann::json::parse(RunReportJson(result)).contains("waitedForId"));
    EXPECT_EQ(RunSummaryLines(result).size(), 6u);
    result.statistics.CountIdWait(120);
    result.statistics.CountIdWait(30);
    const nlohmann::json report = nlohmann::json::parse(RunReportJson(result));
    EXPECT_EQ(report["waitedForId"]["sessions"], 2);
    EXPECT_EQ(report["waitedForId"]["totalMs"], 150);
    EXPECT_EQ(report["waitedForId"]["maxMs"], 120);
    EXPECT_EQ(RunSummaryLines(result).back(), "Waited for a Request Id: 2 sessions, 150 ms in all, at most 120 ms");
}

TEST(RunReport, NamesThatAreNotUtf8DoNotBreakTheReport) {
    RunResult result;
    result.simulationFile = "caf\xE9.sim";
    const nlohmann::json report = nlohmann::json::parse(RunReportJson(result));
    EXPECT_EQ(report["simulationFile"], "caf\xEF\xBF\xBD.sim");
}

}  // namespace

TEST(RunTimeline, EachSecondShowsWhatHappenedInItAndTheLatencyOfItsReplies) {
    RunTimeline timeline;
    RequestStatistics totals;
    for (int i = 0; i < 3; ++i) totals.CountRequest(RequestKind::Access);
    totals.CountReplyMicroseconds(RequestKind::Access, 150);
    totals.CountReplyMicroseconds(RequestKind::Access, 900);
    timeline.Sample(0, totals, 1);
    // Second 1 passes without a row; second 2 has a retransmission, a drop and an
    // accounting reply.
    totals.CountRetransmission(RequestKind::Access);
    totals.CountDrop(RequestKind::Access);
    totals.CountRequest(RequestKind::AccountingStart);
    totals.CountReplyMicroseconds(RequestKind::AccountingStart, 2000);
    timeline.Sample(2, totals, 0);
    timeline.Sample(2, totals, 5);  // the second has its row already
    EXPECT_EQ(timeline.Rows(), 3u);
    EXPECT_EQ(timeline.Csv(),
              "second,sent,answered,retransmitted,dropped,inFlight,p50Us,p99Us\n"
              "0,3,2,0,0,1,150,900\n"
              "1,0,0,0,0,0,,\n"
              "2,1,1,1,1,0,2000,2000\n");
}

TEST(RunTimeline, InterimUpdatesCountLikeTheOtherRequests) {
    RunTimeline timeline;
    RequestStatistics totals;
    totals.CountRequest(RequestKind::AccountingInterim);
    totals.CountRetransmission(RequestKind::AccountingInterim);
    totals.CountReplyMicroseconds(RequestKind::AccountingInterim, 300);
    timeline.Sample(0, totals, 0);
    EXPECT_EQ(timeline.Csv(), "second,sent,answered,retransmitted,dropped,inFlight,p50Us,p99Us\n0,1,1,1,0,0,300,300\n");
}

TEST(LatencyHistogramSince, CountsOnlyTheNewSamples) {
    LatencyHistogram histogram;
    histogram.Record(100);
    const LatencyHistogram earlier = histogram;
    histogram.Record(70000);
    histogram.Record(100);
    const LatencyHistogram since = histogram.Since(earlier);
    EXPECT_EQ(since.Count(), 2u);
    EXPECT_EQ(since.Minimum(), 100u);
    EXPECT_EQ(since.Maximum(), 70000u);
    EXPECT_EQ(histogram.Since(histogram).Count(), 0u);
}
