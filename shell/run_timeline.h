// The per-second timeline of a headless run (--timeline FILE.csv): for each second since the
// start the requests sent, answered, retransmitted and dropped in it, the requests in flight
// at its end and the median and 99th percentile of its replies' latency in microseconds.
// Rows are taken from the engine's running totals, whatever they count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "radius/latency_histogram.h"
#include "radius/statistics.h"

class RunTimeline {
public:
    // The totals at the end of second (from 0), and the requests in flight then. Seconds
    // skipped since the last row get rows of their own, with nothing in them.
    void Sample(std::uint64_t second, const RequestStatistics& totals, std::uint64_t inFlight);
    // The seconds that have rows.
    std::uint64_t Rows() const { return rows_.size(); }
    // "second,sent,answered,retransmitted,dropped,inFlight,p50Us,p99Us" and a line a second;
    // a second without replies has empty latencies.
    std::string Csv() const;

private:
    struct Row {
        std::uint64_t second = 0;
        std::uint64_t sent = 0;
        std::uint64_t answered = 0;
        std::uint64_t retransmitted = 0;
        std::uint64_t dropped = 0;
        std::uint64_t inFlight = 0;
        std::uint64_t p50 = 0;
        std::uint64_t p99 = 0;
    };
    struct Totals {
        std::uint64_t sent = 0;
        std::uint64_t retransmitted = 0;
        std::uint64_t dropped = 0;
        LatencyHistogram latencies;  // every kind together
    };
    static Totals TotalsOf(const RequestStatistics& statistics);

    std::vector<Row> rows_;
    Totals last_;
};
