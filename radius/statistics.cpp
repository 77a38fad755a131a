#include "radius/statistics.h"

#include <algorithm>

std::uint32_t NearestRankPercentile(const std::vector<std::uint32_t>& sorted, unsigned percent) {
    if (sorted.empty() || percent == 0) return sorted.empty() ? 0 : sorted.front();
    const std::size_t count = sorted.size();
    // rank = ceil(percent / 100 * count), counted from 1
    std::size_t rank = (static_cast<std::size_t>(std::min(percent, 100u)) * count + 99) / 100;
    rank = std::clamp<std::size_t>(rank, 1, count);
    return sorted[rank - 1];
}

KindSummary RequestStatistics::Summarize(RequestKind kind) const {
    const PerKind& of = kinds_[static_cast<std::size_t>(kind)];
    KindSummary summary;
    summary.requests = of.requests;
    summary.retransmissions = of.retransmissions;
    summary.drops = of.drops;
    const LatencyHistogram& latencies = of.latencies;
    summary.replies = latencies.Count();
    if (latencies.Count() == 0) return summary;

    const MicrosecondLatencySummary fine{latencies.Minimum(),    latencies.Percentile(50),   latencies.Percentile(95),
                                         latencies.Percentile(99), latencies.Percentile(99.9), latencies.Maximum()};
    summary.latencyMicroseconds = fine;
    const auto milliseconds = [](std::uint64_t microseconds) {
        return static_cast<std::uint32_t>(microseconds / 1000);
    };
    summary.latency = LatencySummary{milliseconds(fine.minimum), milliseconds(fine.median), milliseconds(fine.p95),
                                     milliseconds(fine.p99), milliseconds(fine.maximum)};
    return summary;
}

std::uint64_t RequestStatistics::TotalDrops() const {
    std::uint64_t total = 0;
    for (const PerKind& of : kinds_) total += of.drops;
    return total;
}

const char* RequestKindName(RequestKind kind) {
    switch (kind) {
        case RequestKind::Access: return "access";
        case RequestKind::AccountingStart: return "accountingStart";
        case RequestKind::AccountingStop: return "accountingStop";
        case RequestKind::AccountingInterim: return "accountingInterim";
    }
    return "unknown";
}

const char* AccessOutcomeName(AccessOutcome outcome) {
    switch (outcome) {
        case AccessOutcome::Accept: return "accept";
        case AccessOutcome::Reject: return "reject";
        case AccessOutcome::Challenge: return "challenge";
    }
    return "unknown";
}
