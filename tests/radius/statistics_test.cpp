// Request statistics: nearest-rank percentiles.
#include <gtest/gtest.h>

#include "radius/statistics.h"

TEST(NearestRankPercentile, PicksTheSmallestSampleCoveringThePercentage) {
    std::vector<std::uint32_t> hundred;
    for (std::uint32_t i = 1; i <= 100; ++i) hundred.push_back(i * 10);
    struct Case {
        std::vector<std::uint32_t> sorted;
        unsigned percent;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {{}, 50, 0},          {{7}, 99, 7},           {{1, 2}, 50, 1},  // rank ceil(1.0) = 1
        {{1, 2, 3, 4}, 50, 2}, {hundred, 95, 950},    {hundred, 100, 1000}, {hundred, 1, 10},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NearestRankPercentile(c.sorted, c.percent), c.expected)
            << c.sorted.size() << " samples, p" << c.percent;
}
