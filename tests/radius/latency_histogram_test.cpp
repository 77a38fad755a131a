// The latency histogram: its buckets cover every value once and hold it to within 0.1 %, its
// percentiles agree with the exact nearest rank to that precision, and merging two is
// recording both.
#include "radius/latency_histogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

TEST(LatencyHistogram, BucketsFollowOneAnotherAndHoldTheirValuesToATenthOfAPercent) {
    std::uint64_t expectedLowest = 0;
    for (std::size_t index = 0; index <= LatencyHistogram::IndexOf(LatencyHistogram::kMaxMicroseconds); ++index) {
        const std::uint64_t lowest = LatencyHistogram::LowestOf(index);
        const std::uint64_t highest = LatencyHistogram::HighestOf(index);
        ASSERT_EQ(lowest, expectedLowest) << index;
        ASSERT_LE(lowest, highest) << index;
        ASSERT_LE(highest - lowest, lowest / 1024) << index;  // exact below 2,048 µs
        ASSERT_EQ(LatencyHistogram::IndexOf(lowest), index);
        ASSERT_EQ(LatencyHistogram::IndexOf(highest), index);
        expectedLowest = highest + 1;
    }
    EXPECT_EQ(expectedLowest, LatencyHistogram::kMaxMicroseconds + 1);
    // Longer latencies count as the longest.
    EXPECT_EQ(LatencyHistogram::IndexOf(std::uint64_t{1} << 40),
              LatencyHistogram::IndexOf(LatencyHistogram::kMaxMicroseconds));
}

TEST(LatencyHistogram, PercentilesAgreeWithTheExactNearestRank) {
    // Spread over six decades, with a long tail, in no order.
    std::vector<std::uint64_t> samples;
    std::uint64_t value = 7;
    for (int i = 0; i < 5000; ++i) {
        value = (value * 2862933555777941757ull + 3037000493ull);
        samples.push_back(i % 100 == 0 ? (value >> 40) : (value >> 52) + 40);
    }
    LatencyHistogram histogram;
    for (std::uint64_t sample : samples) histogram.Record(sample);
    std::sort(samples.begin(), samples.end());
    for (double percent : {1.0, 50.0, 95.0, 99.0, 99.9, 100.0}) {
        const auto rank = static_cast<std::size_t>(std::ceil(percent / 100.0 * static_cast<double>(samples.size())));
        const std::uint64_t exact = samples[rank - 1];
        const std::uint64_t read = histogram.Percentile(percent);
        EXPECT_GE(read, exact) << percent;
        EXPECT_LE(read - exact, exact / 1024) << percent;
    }
    EXPECT_EQ(histogram.Minimum(), samples.front());
    EXPECT_EQ(histogram.Maximum(), samples.back());
    EXPECT_EQ(histogram.Count(), samples.size());
}

TEST(LatencyHistogram, MergingIsRecordingBoth) {
    LatencyHistogram first, second, both;
    for (std::uint64_t sample : {5u, 900u, 70000u}) {
        first.Record(sample);
        both.Record(sample);
    }
    for (std::uint64_t sample : {3u, 900u, 2500000u}) {
        second.Record(sample);
        both.Record(sample);
    }
    LatencyHistogram empty;
    first.Merge(empty);
    empty.Merge(first);
    first.Merge(second);
    EXPECT_EQ(first.Count(), 6u);
    EXPECT_EQ(first.Minimum(), 3u);
    EXPECT_EQ(first.Maximum(), 2500000u);
    const auto counts = [](const LatencyHistogram& histogram) {
        std::vector<std::uint64_t> flat;
        for (const LatencyHistogram::Bucket& bucket : histogram.Buckets())
            flat.insert(flat.end(), {bucket.lowest, bucket.highest, bucket.count});
        return flat;
    };
    EXPECT_EQ(counts(first), counts(both));
    EXPECT_EQ(empty.Count(), 3u);  // merged into an empty one
    EXPECT_EQ(LatencyHistogram().Percentile(50), 0u);
}
