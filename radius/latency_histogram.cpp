#include "radius/latency_histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr unsigned kSubBucketBits = 11;                              // 2,048 exact values
constexpr std::uint64_t kSubBuckets = std::uint64_t{1} << kSubBucketBits;
constexpr std::uint64_t kHalf = kSubBuckets / 2;                     // buckets to each doubling above
constexpr unsigned kTopBit = 31;                                     // of kMaxMicroseconds
constexpr std::size_t kBucketCount = kSubBuckets + (kTopBit + 1 - kSubBucketBits) * kHalf;

}  // namespace

std::size_t LatencyHistogram::IndexOf(std::uint64_t microseconds) {
    const std::uint64_t value = std::min(microseconds, kMaxMicroseconds);
    if (value < kSubBuckets) return static_cast<std::size_t>(value);
    const unsigned topBit = static_cast<unsigned>(std::bit_width(value)) - 1;  // kSubBucketBits or more
    const unsigned shift = topBit - (kSubBucketBits - 1);
    return static_cast<std::size_t>(kSubBuckets + (topBit - kSubBucketBits) * kHalf + ((value >> shift) - kHalf));
}

std::uint64_t LatencyHistogram::LowestOf(std::size_t index) {
    if (index < kSubBuckets) return index;
    const std::size_t above = index - kSubBuckets;
    const unsigned shift = static_cast<unsigned>(above / kHalf) + 1;
    return (kHalf + above % kHalf) << shift;
}

std::uint64_t LatencyHistogram::HighestOf(std::size_t index) {
    return index + 1 < kBucketCount ? LowestOf(index + 1) - 1 : kMaxMicroseconds;
}

void LatencyHistogram::Record(std::uint64_t microseconds) {
    const std::uint64_t value = std::min(microseconds, kMaxMicroseconds);
    if (counts_.empty()) counts_.assign(kBucketCount, 0);
    ++counts_[IndexOf(value)];
    minimum_ = count_ == 0 ? value : std::min(minimum_, value);
    maximum_ = std::max(maximum_, value);
    ++count_;
}

void LatencyHistogram::Merge(const LatencyHistogram& other) {
    if (other.count_ == 0) return;
    if (counts_.empty()) counts_.assign(kBucketCount, 0);
    for (std::size_t i = 0; i < kBucketCount; ++i) counts_[i] += other.counts_[i];
    minimum_ = count_ == 0 ? other.minimum_ : std::min(minimum_, other.minimum_);
    maximum_ = std::max(maximum_, other.maximum_);
    count_ += other.count_;
}

LatencyHistogram LatencyHistogram::Since(const LatencyHistogram& earlier) const {
    LatencyHistogram since;
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        const std::uint64_t before = i < earlier.counts_.size() ? earlier.counts_[i] : 0;
        if (counts_[i] <= before) continue;
        if (since.counts_.empty()) {
            since.counts_.assign(kBucketCount, 0);
            since.minimum_ = LowestOf(i);
        }
        since.counts_[i] = counts_[i] - before;
        since.count_ += since.counts_[i];
        since.maximum_ = std::min(HighestOf(i), maximum_);
    }
    return since;
}

std::uint64_t LatencyHistogram::Percentile(double percent) const {
    if (count_ == 0) return 0;
    // rank = ceil(percent / 100 * count), counted from 1
    const double wanted = std::ceil(std::clamp(percent, 0.0, 100.0) / 100.0 * static_cast<double>(count_));
    const std::uint64_t rank = std::clamp<std::uint64_t>(static_cast<std::uint64_t>(wanted), 1, count_);
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < kBucketCount; ++i) {
        seen += counts_[i];
        if (seen >= rank) return std::clamp(HighestOf(i), minimum_, maximum_);
    }
    return maximum_;
}

std::vector<LatencyHistogram::Bucket> LatencyHistogram::Buckets() const {
    std::vector<Bucket> buckets;
    for (std::size_t i = 0; i < counts_.size(); ++i)
        if (counts_[i] != 0) buckets.push_back({LowestOf(i), HighestOf(i), counts_[i]});
    return buckets;
}
