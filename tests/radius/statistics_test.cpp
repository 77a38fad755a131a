// Request statistics: nearest-rank percentiles, replies timed in microseconds.
#include "radius/statistics.h"

#include <gtest/gtest.h>

#include "engine_test_support.h"

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

// The engine times each reply on the microsecond clock, from the request's last transmission.
TEST(RequestStatistics, RepliesAreTimedInMicrosecondsAndSummarisedInBothUnits) {
    radius_test::EngineHarness h;
    struct Case {
        std::uint64_t microseconds;
    } cases[] = {{137}, {2400}, {999}, {15001}};
    for (const Case& c : cases) {
        ASSERT_TRUE(h.Add("alice", "pw", 60));
        h.Clock().AdvanceMicroseconds(c.microseconds);
        ASSERT_TRUE(h.Answer(3));  // Access-Reject: the session ends
    }
    const KindSummary access = h.Engine().Statistics().Summarize(RequestKind::Access);
    ASSERT_TRUE(access.latencyMicroseconds && access.latency);
    EXPECT_EQ(access.replies, 4u);
    EXPECT_EQ(access.latencyMicroseconds->minimum, 137u);
    EXPECT_EQ(access.latencyMicroseconds->median, 999u);
    EXPECT_EQ(access.latencyMicroseconds->p95, 15001u);  // the maximum, within its bucket
    EXPECT_EQ(access.latencyMicroseconds->maximum, 15001u);
    // Whole milliseconds, cut down, as the summary line shows them.
    EXPECT_EQ(access.latency->minimum, 0u);
    EXPECT_EQ(access.latency->median, 0u);
    EXPECT_EQ(access.latency->maximum, 15u);
}

// A reply read late is timed to when it arrived: the time it lay in the socket is left out,
// never more than the whole time since the request left.
TEST(RequestStatistics, TheTimeAReplyWaitedInTheSocketIsNotTheServers) {
    const struct {
        std::uint32_t sinceSent;
        std::uint32_t waited;
        std::uint64_t latency;
    } rows[] = {{5000, 0, 5000}, {5000, 4200, 800}, {5000, 9000, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.waited);
        radius_test::EngineHarness h;
        ASSERT_TRUE(h.Add("alice", "pw", 60));
        h.Clock().AdvanceMicroseconds(row.sinceSent);
        h.Socket().incoming.push_back(h.ReplyTo(h.LastSent().Id(), 3));
        h.Socket().incomingWaitedMicroseconds = row.waited;
        EXPECT_TRUE(h.Engine().OnReadable(h.Socket().Fd()));
        const KindSummary access = h.Engine().Statistics().Summarize(RequestKind::Access);
        ASSERT_TRUE(access.latencyMicroseconds);
        EXPECT_EQ(access.latencyMicroseconds->maximum, row.latency);
    }
}

// Replies read in one batch are each timed to their arrival, not to their turn: the handling
// of the first (here 700 us of it) is not the second's latency.
TEST(RequestStatistics, RepliesReadTogetherAreTimedToTheirArrivalNotTheirTurn) {
    radius_test::EngineHarness h;
    ASSERT_TRUE(h.Add("alice", "pw", 60));
    const std::uint8_t aliceId = h.LastSent().Id();
    ASSERT_TRUE(h.Add("bob", "pw", 60));
    const std::uint8_t bobId = h.LastSent().Id();
    h.Clock().AdvanceMicroseconds(2000);
    h.Socket().incoming.push_back(h.ReplyTo(aliceId, 3));
    h.Socket().incoming.push_back(h.ReplyTo(bobId, 3));
    h.Engine().SetResultCallback([&h](const char*) { h.Clock().AdvanceMicroseconds(700); });
    EXPECT_TRUE(h.Engine().OnReadable(h.Socket().Fd()));
    const KindSummary access = h.Engine().Statistics().Summarize(RequestKind::Access);
    ASSERT_TRUE(access.latencyMicroseconds);
    EXPECT_EQ(access.latencyMicroseconds->minimum, 2000u);
    EXPECT_EQ(access.latencyMicroseconds->maximum, 2000u);
}
