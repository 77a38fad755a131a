// Request statistics: nearest-rank percentiles, and what the engine records (transmissions,
// drops, reply latency, Access outcomes) on a hand-moved clock.
#include <gtest/gtest.h>

#include "radius/statistics.h"
#include "tests/radius/engine_test_support.h"

using radius_test::EngineHarness;

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

TEST(EngineStatistics, RetransmissionsDropsAndLatencySinceTheLastTransmissionPerKind) {
    EngineHarness harness({.authTimeout = 1, .acctTimeout = 1});
    ASSERT_TRUE(harness.Add("silent"));
    // Four transmissions in all, then the drop once the last one has waited out its time-out.
    for (int i = 0; i < 10 && harness.SessionOf("silent") != nullptr; ++i) harness.AdvanceAndTick(1100);
    ASSERT_EQ(harness.SessionOf("silent"), nullptr);

    ASSERT_TRUE(harness.Add("late", "pw", 5));
    harness.Clock().Advance(50);
    ASSERT_TRUE(harness.Answer(code::kAccessAccept));
    harness.AdvanceAndTick(1100);  // the start went unanswered: sent again
    harness.Clock().Advance(20);
    ASSERT_TRUE(harness.Answer(code::kAccountingResponse));  // answers the retransmission
    harness.AdvanceAndTick(4000);  // the stop is due
    ASSERT_TRUE(harness.Add("bob"));
    harness.Clock().Advance(80);
    ASSERT_TRUE(harness.Answer(code::kAccessReject));

    const RequestStatistics& statistics = harness.Engine().Statistics();
    const KindSummary access = statistics.Summarize(RequestKind::Access);
    EXPECT_EQ(access.requests, 3u);
    EXPECT_EQ(access.retransmissions, 3u);
    EXPECT_EQ(access.drops, 1u);
    ASSERT_TRUE(access.latency);
    EXPECT_EQ(access.latency->minimum, 50u);
    EXPECT_EQ(access.latency->maximum, 80u);
    const KindSummary start = statistics.Summarize(RequestKind::AccountingStart);
    EXPECT_EQ(start.requests, 1u);
    EXPECT_EQ(start.retransmissions, 1u);
    ASSERT_TRUE(start.latency);
    EXPECT_EQ(start.latency->maximum, 20u);  // since the retransmission, not the first send
    const KindSummary stop = statistics.Summarize(RequestKind::AccountingStop);
    EXPECT_EQ(stop.requests, 1u);
    EXPECT_EQ(stop.replies, 0u);
    EXPECT_EQ(statistics.TotalDrops(), 1u);
    EXPECT_EQ(statistics.Outcomes(AccessOutcome::Accept), 1u);
    EXPECT_EQ(statistics.Outcomes(AccessOutcome::Reject), 1u);
}
