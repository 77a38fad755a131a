// Tick visits only the sessions that may have something to do (those holding or waiting for
// an identifier, and those due); what it does, and in which order, must be what a walk over
// every session in creation order would do.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

void AcceptAndStart(EngineHarness& h) {
    ASSERT_TRUE(h.Answer(2));
    ASSERT_EQ(h.LastSent().Code(), 4);
    ASSERT_TRUE(h.Answer(5));
}

// The user names of the Accounting-Request Stops sent from the index on, in sending order.
std::vector<std::string> StopsSentFrom(EngineHarness& h, std::size_t first) {
    std::vector<std::string> users;
    for (std::size_t i = first; i < h.SentCount(); ++i) {
        const Bytes& packet = h.Socket().sent[i].bytes;
        const auto status = ItemsOf(packet, 40);
        if (packet[0] != 4 || status.empty() || status[0] != IntValue(2)[0]) continue;
        const Bytes name = ItemsOf(packet, 1).at(0);
        users.emplace_back(name.begin(), name.end());
    }
    return users;
}

}  // namespace

TEST(TickSelection, SessionsDueTogetherAreStoppedInCreationOrderWhateverTheirEndTimes) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 20});
    // Created first, ending last: end-time order is the reverse of creation order.
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(h.Add(Numbered("s", i).c_str(), "pw", 50 - 10 * i));
        AcceptAndStart(h);
    }
    ASSERT_TRUE(h.Add("idle", "pw", 5000));
    AcceptAndStart(h);
    const std::size_t before = h.SentCount();
    h.AdvanceAndTick(60000);
    EXPECT_EQ(StopsSentFrom(h, before), (std::vector<std::string>{"s0", "s1", "s2", "s3", "s4"}));
    EXPECT_EQ(h.SessionOf("idle")->state, SessionState::Active);
    EXPECT_EQ(CheckInvariants(h.Engine(), 20), "");
}

TEST(TickSelection, OnlyTheDueSessionMovesAmongManyIdleOnes) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 2000});
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(h.Add(Numbered("idle", i).c_str(), "pw", 5000));
        AcceptAndStart(h);
    }
    ASSERT_TRUE(h.Add("short", "pw", 3));
    AcceptAndStart(h);
    const std::size_t before = h.SentCount();
    h.AdvanceAndTick(2000);
    EXPECT_EQ(h.SentCount(), before);
    h.AdvanceAndTick(1000);
    EXPECT_EQ(StopsSentFrom(h, before), std::vector<std::string>{"short"});
    ASSERT_TRUE(h.Answer(5));
    EXPECT_EQ(h.SessionOf("short"), nullptr);
    EXPECT_EQ(h.Engine().SessionCount(), 1000u);
    EXPECT_EQ(CheckInvariants(h.Engine(), 2000), "");
}
