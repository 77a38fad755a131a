// Request statistics: nearest-rank percentiles, and what the engine records on its hook
// points (transmissions, drops, reply latency, Access outcomes) on a hand-moved clock.
#include <gtest/gtest.h>

#include "radius/statistics.h"
#include "tests/radius/engine_test_support.h"

namespace {

using radius_test::EngineHarness;
using radius_test::EngineOptions;

struct PercentileCase {
    std::vector<std::uint32_t> sorted;
    unsigned percent;
    std::uint32_t expected;
};

TEST(NearestRankPercentile, PicksTheSmallestSampleCoveringThePercentage) {
    std::vector<std::uint32_t> hundred;
    for (std::uint32_t i = 1; i <= 100; ++i) hundred.push_back(i * 10);
    const PercentileCase cases[] = {
        {{}, 50, 0},
        {{7}, 99, 7},
        {{1, 2}, 50, 1},       // rank ceil(1.0) = 1
        {{1, 2, 3, 4}, 50, 2},
        {{1, 2, 3, 4}, 95, 4},
        {{10, 20, 30, 40, 50}, 50, 30},
        {hundred, 95, 950},
        {hundred, 99, 990},
        {hundred, 100, 1000},
        {hundred, 1, 10},
    };
    for (const PercentileCase& c : cases)
        EXPECT_EQ(NearestRankPercentile(c.sorted, c.percent), c.expected)
            << c.sorted.size() << " samples, p" << c.percent;
}

TEST(EngineStatistics, LatencyIsTheTimeSinceTheLastTransmission) {
    EngineHarness harness;
    ASSERT_TRUE(harness.Add("alice"));
    harness.Clock().Advance(120);
    ASSERT_TRUE(harness.Answer(code::kAccessAccept));  // the start goes out at once
    harness.Clock().Advance(35);
    ASSERT_TRUE(harness.Answer(code::kAccountingResponse));
    ASSERT_TRUE(harness.Add("bob"));
    harness.Clock().Advance(80);
    ASSERT_TRUE(harness.Answer(code::kAccessReject));

    const RequestStatistics& statistics = harness.Engine().Statistics();
    const KindSummary access = statistics.Summarize(RequestKind::Access);
    EXPECT_EQ(access.requests, 2u);
    EXPECT_EQ(access.replies, 2u);
    ASSERT_TRUE(access.latency);
    EXPECT_EQ(access.latency->minimum, 80u);
    EXPECT_EQ(access.latency->maximum, 120u);
    const KindSummary start = statistics.Summarize(RequestKind::AccountingStart);
    EXPECT_EQ(start.requests, 1u);
    ASSERT_TRUE(start.latency);
    EXPECT_EQ(start.latency->median, 35u);
    EXPECT_EQ(statistics.Outcomes(AccessOutcome::Accept), 1u);
    EXPECT_EQ(statistics.Outcomes(AccessOutcome::Reject), 1u);
    EXPECT_EQ(statistics.Outcomes(AccessOutcome::Challenge), 0u);
}

TEST(EngineStatistics, RetransmissionsAndDropsPerKind) {
    EngineOptions options;
    options.authTimeout = 1;
    options.acctTimeout = 1;
    EngineHarness harness(options);
    ASSERT_TRUE(harness.Add("silent"));
    // Four transmissions in all, then the drop once the last one has waited out its timeout.
    for (int i = 0; i < 10 && harness.SessionOf("silent") != nullptr; ++i) harness.AdvanceAndTick(1100);
    ASSERT_EQ(harness.SessionOf("silent"), nullptr);

    ASSERT_TRUE(harness.Add("late", "pw", 5));
    harness.Clock().Advance(50);
    ASSERT_TRUE(harness.Answer(code::kAccessAccept));
    harness.AdvanceAndTick(1100);  // the start went unanswered: sent again
    harness.Clock().Advance(20);
    ASSERT_TRUE(harness.Answer(code::kAccountingResponse));  // answers the retransmission
    harness.AdvanceAndTick(4000);  // the stop is due
    ASSERT_EQ(harness.SessionOf("late")->state, SessionState::AccountingStop);

    const RequestStatistics& statistics = harness.Engine().Statistics();
    const KindSummary access = statistics.Summarize(RequestKind::Access);
    EXPECT_EQ(access.requests, 2u);
    EXPECT_EQ(access.retransmissions, 3u);
    EXPECT_EQ(access.drops, 1u);
    const KindSummary start = statistics.Summarize(RequestKind::AccountingStart);
    EXPECT_EQ(start.requests, 1u);
    EXPECT_EQ(start.retransmissions, 1u);
    EXPECT_EQ(start.drops, 0u);
    ASSERT_TRUE(start.latency);
    EXPECT_EQ(start.latency->maximum, 20u);  // since the retransmission, not the first send
    const KindSummary stop = statistics.Summarize(RequestKind::AccountingStop);
    EXPECT_EQ(stop.requests, 1u);
    EXPECT_EQ(stop.replies, 0u);
    EXPECT_EQ(statistics.TotalDrops(), 1u);
    // The statistics agree with the counter report's counters.
    EXPECT_EQ(harness.Engine().Counters().authRequests, 2);
    EXPECT_EQ(harness.Engine().Counters().acctStartRequests, 1);
    EXPECT_EQ(harness.Engine().Counters().acctStopRequests, 1);
}

TEST(EngineStatistics, UnansweredAccountingWithoutResendIsDroppedAsItsKind) {
    EngineOptions options;
    options.resendAcct = false;
    options.acctTimeout = 1;
    EngineHarness harness(options);
    ASSERT_TRUE(harness.Add("alice"));
    ASSERT_TRUE(harness.Answer(code::kAccessAccept));
    harness.AdvanceAndTick(1100);
    ASSERT_EQ(harness.SessionOf("alice"), nullptr);
    const RequestStatistics& statistics = harness.Engine().Statistics();
    EXPECT_EQ(statistics.Summarize(RequestKind::AccountingStart).drops, 1u);
    EXPECT_EQ(statistics.Summarize(RequestKind::Access).drops, 0u);
    EXPECT_EQ(statistics.Summarize(RequestKind::AccountingStop).requests, 0u);
}

TEST(EngineStatistics, ChallengeIsCountedByItsCodeAndRepliesToNobodyAreNot) {
    EngineHarness harness;
    ASSERT_TRUE(harness.Add("carol"));
    const radius_test::Bytes challenge = harness.ReplyTo(harness.LastSent().Id(), code::kAccessChallenge);
    ASSERT_TRUE(harness.Deliver(challenge));
    EXPECT_FALSE(harness.Deliver(challenge));  // a duplicate: its identifier is free again
    const RequestStatistics& statistics = harness.Engine().Statistics();
    EXPECT_EQ(statistics.Outcomes(AccessOutcome::Challenge), 1u);
    EXPECT_EQ(statistics.Outcomes(AccessOutcome::Reject), 0u);
    EXPECT_EQ(statistics.Summarize(RequestKind::Access).replies, 1u);
}

TEST(EngineStatistics, ResetCountersClearsThemAndReportCountersReportsWithSessionsLeft) {
    EngineHarness harness;
    ASSERT_TRUE(harness.Add("alice"));
    harness.Engine().ResetCounters();
    EXPECT_EQ(harness.Engine().Statistics().Summarize(RequestKind::Access).requests, 0u);

    harness.Engine().SetSimulationDone();
    EXPECT_TRUE(harness.Lines().empty());  // alice is still live
    harness.Engine().ReportCounters();
    ASSERT_EQ(harness.Lines().size(), 4u);
    EXPECT_EQ(harness.Lines()[0], "---------- Rquests Counter Report -----------");
    EXPECT_FALSE(harness.Engine().SimulationDone());
    ASSERT_TRUE(harness.Answer(code::kAccessReject));  // the last session ends: no second report
    EXPECT_EQ(harness.Lines().size(), 5u);
}

}  // namespace
