// What a run's requests cost: per request kind the requests, retransmissions and drops and the
// latency of the replies; per Access outcome the replies. Recording is a counter bump; the
// latencies go into a histogram of microseconds whose memory does not grow with the replies,
// and the percentiles are worked out only when a summary is asked for.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "radius/latency_histogram.h"
#include "radius/session.h"

enum class RequestKind : std::size_t { Access = 0, AccountingStart = 1, AccountingStop = 2, AccountingInterim = 3 };
inline constexpr std::size_t kRequestKindCount = 4;
// Every kind, in the order the reports list them.
inline constexpr RequestKind kRequestKinds[kRequestKindCount] = {RequestKind::Access, RequestKind::AccountingStart,
                                                                RequestKind::AccountingStop,
                                                                RequestKind::AccountingInterim};

// The kind of request a session has outstanding (or would send next) in this state.
inline RequestKind RequestKindOf(SessionState state) {
    switch (state) {
        case SessionState::Authenticating: return RequestKind::Access;
        case SessionState::AccountingStop: return RequestKind::AccountingStop;
        case SessionState::AccountingInterim: return RequestKind::AccountingInterim;
        default: return RequestKind::AccountingStart;
    }
}

enum class AccessOutcome : std::size_t { Accept = 0, Reject = 1, Challenge = 2 };
inline constexpr std::size_t kAccessOutcomeCount = 3;

// Latency in whole milliseconds; percentiles by nearest rank (the smallest sample with at
// least p percent of the samples at or below it), read from the histogram.
struct LatencySummary {
    std::uint32_t minimum = 0;
    std::uint32_t median = 0;
    std::uint32_t p95 = 0;
    std::uint32_t p99 = 0;
    std::uint32_t maximum = 0;
};

// The same in microseconds, with p99.9.
struct MicrosecondLatencySummary {
    std::uint64_t minimum = 0;
    std::uint64_t median = 0;
    std::uint64_t p95 = 0;
    std::uint64_t p99 = 0;
    std::uint64_t p999 = 0;
    std::uint64_t maximum = 0;
};

struct KindSummary {
    std::uint64_t requests = 0;
    std::uint64_t retransmissions = 0;
    std::uint64_t drops = 0;
    std::uint64_t replies = 0;               // replies matched to a request of this kind
    std::optional<LatencySummary> latency;   // none without replies
    std::optional<MicrosecondLatencySummary> latencyMicroseconds;
};

class RequestStatistics {
public:
    void CountRequest(RequestKind kind) { ++Of(kind).requests; }
    void CountRetransmission(RequestKind kind) { ++Of(kind).retransmissions; }
    void CountDrop(RequestKind kind) { ++Of(kind).drops; }
    void CountReply(RequestKind kind, std::uint32_t latencyMs) {
        CountReplyMicroseconds(kind, std::uint64_t{latencyMs} * 1000u);
    }
    void CountReplyMicroseconds(RequestKind kind, std::uint64_t latency) { Of(kind).latencies.Record(latency); }
    void CountOutcome(AccessOutcome outcome) { ++outcomes_[static_cast<std::size_t>(outcome)]; }
    // A new session's Access-Request waited that long for a free identifier ("WaitForId").
    void CountIdWait(std::uint32_t milliseconds) {
        ++idWaits_.sessions;
        idWaits_.totalMs += milliseconds;
        idWaits_.maximumMs = std::max(idWaits_.maximumMs, std::uint64_t{milliseconds});
    }
    struct IdWaits {
        std::uint64_t sessions = 0;
        std::uint64_t totalMs = 0;
        std::uint64_t maximumMs = 0;
    };
    const IdWaits& IdWaitTimes() const { return idWaits_; }

    KindSummary Summarize(RequestKind kind) const;
    const LatencyHistogram& Latencies(RequestKind kind) const {
        return kinds_[static_cast<std::size_t>(kind)].latencies;
    }
    std::uint64_t Outcomes(AccessOutcome outcome) const { return outcomes_[static_cast<std::size_t>(outcome)]; }
    std::uint64_t TotalDrops() const;
    void Reset() { *this = RequestStatistics{}; }

private:
    struct PerKind {
        std::uint64_t requests = 0;
        std::uint64_t retransmissions = 0;
        std::uint64_t drops = 0;
        LatencyHistogram latencies;
    };
    PerKind& Of(RequestKind kind) { return kinds_[static_cast<std::size_t>(kind)]; }

    std::array<PerKind, kRequestKindCount> kinds_{};
    std::array<std::uint64_t, kAccessOutcomeCount> outcomes_{};
    IdWaits idWaits_;
};

// The nearest-rank percentile (0 < percent <= 100) of samples sorted in ascending order;
// 0 for none.
std::uint32_t NearestRankPercentile(const std::vector<std::uint32_t>& sorted, unsigned percent);

// "access", "accountingStart", "accountingStop", "accountingInterim" / "accept", "reject", "challenge".
const char* RequestKindName(RequestKind kind);
const char* AccessOutcomeName(AccessOutcome outcome);
