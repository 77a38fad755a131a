#include "shell/run_timeline.h"

#include <cstdio>

RunTimeline::Totals RunTimeline::TotalsOf(const RequestStatistics& statistics) {
    Totals totals;
    for (RequestKind kind : kRequestKinds) {
        const KindSummary summary = statistics.Summarize(kind);
        totals.sent += summary.requests;
        totals.retransmitted += summary.retransmissions;
        totals.dropped += summary.drops;
        totals.latencies.Merge(statistics.Latencies(kind));
    }
    return totals;
}

void RunTimeline::Sample(std::uint64_t second, const RequestStatistics& totals, std::uint64_t inFlight) {
    const std::uint64_t next = rows_.empty() ? 0 : rows_.back().second + 1;
    if (second < next) return;  // that second has its row
    for (std::uint64_t empty = next; empty < second; ++empty) rows_.push_back({empty, 0, 0, 0, 0, inFlight, 0, 0});
    Totals now = TotalsOf(totals);
    const LatencyHistogram inSecond = now.latencies.Since(last_.latencies);
    rows_.push_back({second, now.sent - last_.sent, inSecond.Count(), now.retransmitted - last_.retransmitted,
                     now.dropped - last_.dropped, inFlight, inSecond.Percentile(50), inSecond.Percentile(99)});
    last_ = std::move(now);
}

std::string RunTimeline::Csv() const {
    std::string text = "second,sent,answered,retransmitted,dropped,inFlight,p50Us,p99Us\n";
    char line[200];
    for (const Row& row : rows_) {
        std::snprintf(line, sizeof line, "%llu,%llu,%llu,%llu,%llu,%llu,", static_cast<unsigned long long>(row.second),
                      static_cast<unsigned long long>(row.sent), static_cast<unsigned long long>(row.answered),
                      static_cast<unsigned long long>(row.retransmitted), static_cast<unsigned long long>(row.dropped),
                      static_cast<unsigned long long>(row.inFlight));
        text += line;
        if (row.answered > 0) {
            std::snprintf(line, sizeof line, "%llu,%llu", static_cast<unsigned long long>(row.p50),
                          static_cast<unsigned long long>(row.p99));
            text += line;
        } else {
            text += ",";
        }
        text += "\n";
    }
    return text;
}
