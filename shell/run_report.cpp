#include "shell/run_report.h"

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "infra/output_file.h"

namespace {

// Interim-Updates are reported only when the run had them (ShowsInterims).
bool Reported(RequestKind kind, const RequestCounters& counters) {
    return kind != RequestKind::AccountingInterim || ShowsInterims(counters);
}
constexpr AccessOutcome kOutcomes[] = {AccessOutcome::Accept, AccessOutcome::Reject, AccessOutcome::Challenge};

nlohmann::ordered_json KindJson(const KindSummary& summary) {
    nlohmann::ordered_json kind;
    kind["requests"] = summary.requests;
    kind["retransmissions"] = summary.retransmissions;
    kind["drops"] = summary.drops;
    kind["replies"] = summary.replies;
    if (summary.latency) {
        const LatencySummary& latency = *summary.latency;
        kind["latencyMs"] = {{"min", latency.minimum}, {"median", latency.median}, {"p95", latency.p95},
                             {"p99", latency.p99},     {"max", latency.maximum}};
    } else {
        kind["latencyMs"] = nullptr;
    }
    if (summary.latencyMicroseconds) {
        const MicrosecondLatencySummary& latency = *summary.latencyMicroseconds;
        kind["latencyUs"] = {{"min", latency.minimum}, {"median", latency.median}, {"p95", latency.p95},
                             {"p99", latency.p99},     {"p99.9", latency.p999},    {"max", latency.maximum}};
    } else {
        kind["latencyUs"] = nullptr;
    }
    return kind;
}

// The histogram's buckets that hold replies, as [lowest, highest, count] in microseconds: the
// reports of several runs merge by adding the counts of equal buckets.
nlohmann::ordered_json HistogramJson(const LatencyHistogram& histogram) {
    nlohmann::ordered_json buckets = nlohmann::ordered_json::array();
    for (const LatencyHistogram::Bucket& bucket : histogram.Buckets())
        buckets.push_back({bucket.lowest, bucket.highest, bucket.count});
    return buckets;
}

const char* KindTitle(RequestKind kind) {
    switch (kind) {
        case RequestKind::Access: return "Access";
        case RequestKind::AccountingStart: return "Accounting Start";
        case RequestKind::AccountingStop: return "Accounting Stop";
        case RequestKind::AccountingInterim: return "Interim-Update";
    }
    return "";
}

}  // namespace

int RunExitStatus(const RunResult& result) {
    const bool everyRequestAnswered = result.how == RunEnd::Completed && result.statistics.TotalDrops() == 0 &&
                                      result.sessionsNotStarted == 0 && result.sessionsUnfinished == 0;
    const bool everyLinePlayed = result.invalidLines.Total() == 0;
    return everyRequestAnswered && everyLinePlayed && result.optionsSaved ? kRunSucceeded : kRunFailed;
}

const char* RunEndName(RunEnd how) {
    switch (how) {
        case RunEnd::Completed: return "completed";
        case RunEnd::WaitRanOut: return "wait ran out";
        case RunEnd::Interrupted: return "interrupted";
    }
    return "";
}

std::string Iso8601LocalTime(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return {};
    char text[40];
    char offset[8];  // "+0100"
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0 ||
        std::strftime(offset, sizeof offset, "%z", &local) != 5)
        return {};
    // ISO 8601's extended format separates the offset's hours and minutes.
    return std::string(text) + std::string(offset, 3) + ":" + std::string(offset + 3, 2);
}

std::string RunReportJson(const RunResult& result) {
    nlohmann::ordered_json report;
    report["simulationFile"] = result.simulationFile;
    report["start"] = Iso8601LocalTime(result.start);
    report["end"] = Iso8601LocalTime(result.end);
    report["result"] = RunEndName(result.how);
    report["exitStatus"] = RunExitStatus(result);
    const RequestCounters& counters = result.counters;
    report["counters"] = {{"authRequests", counters.authRequests},
                          {"authResponses", counters.authResponses},
                          {"acctStartRequests", counters.acctStartRequests},
                          {"acctStartResponses", counters.acctStartResponses},
                          {"acctStopRequests", counters.acctStopRequests},
                          {"acctStopResponses", counters.acctStopResponses}};
    if (ShowsInterims(counters)) {
        report["counters"]["acctInterimRequests"] = counters.acctInterimRequests;
        report["counters"]["acctInterimResponses"] = counters.acctInterimResponses;
    }
    nlohmann::ordered_json requests = nlohmann::ordered_json::object();
    for (RequestKind kind : kRequestKinds) {
        if (!Reported(kind, counters)) continue;
        nlohmann::ordered_json entry = KindJson(result.statistics.Summarize(kind));
        entry["latencyHistogramUs"] = HistogramJson(result.statistics.Latencies(kind));
        requests[RequestKindName(kind)] = entry;
    }
    report["requests"] = requests;
    nlohmann::ordered_json outcomes = nlohmann::ordered_json::object();
    for (AccessOutcome outcome : kOutcomes) outcomes[AccessOutcomeName(outcome)] = result.statistics.Outcomes(outcome);
    report["outcomes"] = outcomes;
    report["sessions"] = {{"notStarted", result.sessionsNotStarted}, {"unfinished", result.sessionsUnfinished}};
    nlohmann::ordered_json invalid;
    invalid["total"] = result.invalidLines.Total();
    for (InvalidLineReason reason : kAllInvalidLineReasons)
        invalid[InvalidLineReasonName(reason)] = result.invalidLines.Of(reason);
    report["invalidLines"] = invalid;
    // Only sessions made under "WaitForId" wait, so without it the report is as it was.
    if (const RequestStatistics::IdWaits& waits = result.statistics.IdWaitTimes(); waits.sessions > 0)
        report["waitedForId"] = {{"sessions", waits.sessions}, {"totalMs", waits.totalMs}, {"maxMs", waits.maximumMs}};
    // Names come from a simulation file: replace anything that is not UTF-8 instead of failing.
    return report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

bool CheckRunReportPath(const std::string& path, std::string& error) {
    OutputRoute route;
    std::string reason;
    if (CheckOutputPath(path, route, reason)) return true;
    error = "cannot write the report " + path + ": " + reason;
    return false;
}

bool WriteRunReport(const std::string& path, const RunResult& result, std::string& error) {
    std::string reason;
    if (WriteOutputFile(path, RunReportJson(result), reason)) return true;
    error = "pelvok: cannot write the report " + path + ": " + reason;
    return false;
}

std::vector<std::string> RunSummaryLines(const RunResult& result) {
    std::vector<std::string> lines;
    char text[320];
    std::snprintf(text, sizeof text, "---------- Run Summary: %s, exit status %d ----------", RunEndName(result.how),
                  RunExitStatus(result));
    lines.emplace_back(text);
    for (RequestKind kind : kRequestKinds) {
        if (!Reported(kind, result.counters)) continue;
        const KindSummary summary = result.statistics.Summarize(kind);
        int used = std::snprintf(text, sizeof text, "%-16s: %llu requests, %llu retransmissions, %llu drops, %llu replies",
                                 KindTitle(kind), static_cast<unsigned long long>(summary.requests),
                                 static_cast<unsigned long long>(summary.retransmissions),
                                 static_cast<unsigned long long>(summary.drops),
                                 static_cast<unsigned long long>(summary.replies));
        if (summary.latency && used > 0 && static_cast<std::size_t>(used) < sizeof text) {
            const LatencySummary& latency = *summary.latency;
            std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used),
                          "; latency ms min %u, median %u, p95 %u, p99 %u, max %u", latency.minimum, latency.median,
                          latency.p95, latency.p99, latency.maximum);
        }
        lines.emplace_back(text);
    }
    const RequestStatistics& statistics = result.statistics;
    std::snprintf(text, sizeof text, "Outcomes: %llu accepted, %llu rejected, %llu challenged",
                  static_cast<unsigned long long>(statistics.Outcomes(AccessOutcome::Accept)),
                  static_cast<unsigned long long>(statistics.Outcomes(AccessOutcome::Reject)),
                  static_cast<unsigned long long>(statistics.Outcomes(AccessOutcome::Challenge)));
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "Sessions not started: %llu, unfinished: %llu",
                  static_cast<unsigned long long>(result.sessionsNotStarted),
                  static_cast<unsigned long long>(result.sessionsUnfinished));
    lines.emplace_back(text);
    if (result.invalidLines.Total() > 0)
        lines.push_back("Invalid simulation lines: " + DescribeInvalidLines(result.invalidLines));
    if (const RequestStatistics::IdWaits& waits = statistics.IdWaitTimes(); waits.sessions > 0) {
        std::snprintf(text, sizeof text, "Waited for a Request Id: %llu sessions, %llu ms in all, at most %llu ms",
                      static_cast<unsigned long long>(waits.sessions), static_cast<unsigned long long>(waits.totalMs),
                      static_cast<unsigned long long>(waits.maximumMs));
        lines.emplace_back(text);
    }
    return lines;
}
