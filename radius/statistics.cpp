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
    summary.replies = of.latencies.size();
    if (of.latencies.empty()) return summary;

    std::vector<std::uint32_t> sorted = of.latencies;
    std::sort(sorted.begin(), sorted.end());
    summary.latency = LatencySummary{sorted.front(), NearestRankPercentile(sorted, 50),
                                     NearestRankPercentile(sorted, 95), NearestRankPercentile(sorted, 99),
                                     sorted.back()};
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
