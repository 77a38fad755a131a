// Reply latencies in microseconds, kept as counts in log-linear buckets (as HdrHistogram
// does): exact below 2,048 µs, then 1,024 buckets to each doubling, so that a value is known
// to within 0.1 %. Memory does not grow with the replies, two histograms merge by adding their
// counts, and percentiles are read from the counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class LatencyHistogram {
public:
    // Longer latencies count as this one (about 71 minutes).
    static constexpr std::uint64_t kMaxMicroseconds = 0xFFFFFFFFu;

    void Record(std::uint64_t microseconds);
    void Merge(const LatencyHistogram& other);
    // The samples recorded since this histogram was the earlier one (a copy taken then): the
    // differences of the counts; the minimum and maximum are those of the buckets.
    LatencyHistogram Since(const LatencyHistogram& earlier) const;

    std::uint64_t Count() const { return count_; }
    std::uint64_t Minimum() const { return count_ ? minimum_ : 0; }
    std::uint64_t Maximum() const { return maximum_; }
    // The nearest-rank percentile (0 < percent <= 100): the highest value of the bucket that
    // holds the sample of that rank, kept within the minimum and maximum. 0 when empty.
    std::uint64_t Percentile(double percent) const;

    // The buckets that hold samples, in ascending order.
    struct Bucket {
        std::uint64_t lowest = 0;
        std::uint64_t highest = 0;
        std::uint64_t count = 0;
    };
    std::vector<Bucket> Buckets() const;

    // The bucket of a value, and the values it holds (pure; for tests).
    static std::size_t IndexOf(std::uint64_t microseconds);
    static std::uint64_t LowestOf(std::size_t index);
    static std::uint64_t HighestOf(std::size_t index);

private:
    std::vector<std::uint64_t> counts_;  // made on the first sample
    std::uint64_t count_ = 0;
    std::uint64_t minimum_ = 0;
    std::uint64_t maximum_ = 0;
};
