// The pieces of a headless run: its command line, the progress line, the exit status, the
// JSON report and the summary.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "shell/entry.h"
#include "shell/progress.h"
#include "shell/run_report.h"

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
