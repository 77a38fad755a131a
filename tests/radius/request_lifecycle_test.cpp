// The pools, retransmissions, drops, end of session, shutdown and the tick's choice of
// sessions, on the hand-moved clock; the engine tests end with the pool invariants checked.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "radius/nas_port_pool.h"
#include "radius/request_id_pool.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2, kAcctRequest = 4, kAcctResponse = 5;

void AcceptAndStart(EngineHarness& h) {
    ASSERT_TRUE(h.Answer(kAccept));
    ASSERT_EQ(h.LastSent().Code(), kAcctRequest);
    ASSERT_TRUE(h.Answer(kAcctResponse));
}

// The users of the Accounting-Request Stops sent from that index on, in sending order.
std::vector<std::string> StopsSentFrom(EngineHarness& h, std::size_t first) {
    std::vector<std::string> users;
    for (std::size_t i = first; i < h.SentCount(); ++i) {
        const Bytes& packet = h.Socket().sent[i].bytes;
        if (packet[0] != kAcctRequest || ItemsOf(packet, 40) != IntValue(2)) continue;
        const Bytes name = ItemsOf(packet, 1).at(0);
        users.emplace_back(name.begin(), name.end());
    }
    return users;
}

class Lifecycle : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(CheckInvariants(h.Engine(), h.Options().nasPorts), ""); }
    CapturingLogger log_;
    EngineHarness h;
};

}  // namespace

TEST(NasPortPool, FirstInFirstOut) {
    NasPortPool pool;
    pool.Fill(3);
    EXPECT_EQ(pool.Take(), 1);
    EXPECT_EQ(pool.Take(), 2);
    pool.GiveBack(1);
    EXPECT_EQ(pool.Take(), 3);
    EXPECT_EQ(pool.Take(), 1);
    EXPECT_EQ(pool.Take(), 0);
}

TEST(RequestIdPool, RoundRobinWrapsAndSkipsThoseInUse) {
    RequestIdPool pool;
    for (int id = 1; id <= 255; ++id) ASSERT_EQ(pool.Take(), id);
    EXPECT_EQ(pool.Take(), 0);  // all in use
    pool.GiveBack(7);
    pool.GiveBack(3);
    EXPECT_EQ(pool.Take(), 3);
    EXPECT_EQ(pool.Take(), 7);
    pool.GiveBack(255);
    pool.GiveBack(1);
    EXPECT_EQ(pool.Take(), 255);
    EXPECT_EQ(pool.Take(), 1);
}

TEST(AddSession, NoFreePortFailsAndChangesNothing) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 2});
    ASSERT_TRUE(h.Add("a"));
    ASSERT_TRUE(h.Add("b"));
    EXPECT_FALSE(h.Add("c"));
    EXPECT_STREQ(h.Engine().LastError(), "No available NAS Ports");
    EXPECT_EQ(log.LinesAt(1).back(), "Out of free Nas ports");
    EXPECT_EQ(h.Engine().LastSessionId(), 2u);
    EXPECT_EQ(h.Engine().Counters().authRequests, 2);
    EXPECT_EQ(CheckInvariants(h.Engine(), 2), "");
}

TEST(AddSession, With255RequestsOutstandingTheNextFailsAndGivesItsPortBack) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 300});
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(h.Add(Numbered("u", i).c_str()));
    EXPECT_FALSE(h.Add("late"));
    EXPECT_STREQ(h.Engine().LastError(), "No available Request Id");
    EXPECT_TRUE(log.Contains("Out of free Reuquest Ids"));
    EXPECT_EQ(h.Engine().SessionCount(), 255u);
    EXPECT_EQ(h.Engine().NasPorts().FreeCount(), 45u);
    EXPECT_EQ(h.Engine().NasPorts().FreePorts().back(), 256);  // given back at the end
    EXPECT_EQ(CheckInvariants(h.Engine(), 300), "");
}

TEST(Retransmission, EveryLimitAndTimeOut) {
    CapturingLogger log;
    struct Case {
        const char* name;
        EngineOptions options;
        bool accounting;            // the request under test is the Accounting-Request Start
        std::uint32_t timeoutMs;
        int transmissions;          // before the drop; 0 for no limit
        const char* dropLine;
    };
    const Case cases[] = {
        {"access 4 then drop", {}, false, 5000, 4, "u: No response from server - Dropping request."},
        {"access without resend", {.resendAuth = false}, false, 5000, 1,
         "u: No response from server - Dropping request."},
        {"time-out 0", {.authTimeout = 0}, false, 0, 4, "u: No response from server - Dropping request."},
        {"accounting without resend", {.resendAcct = false}, true, 15000, 1,
         "u: No response from server - Dropping Accounting request."},
        {"accounting unlimited", {}, true, 15000, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHarness h(c.options);
        ASSERT_TRUE(h.Add("u", "pw", 100000));
        if (c.accounting) { ASSERT_TRUE(h.Answer(kAccept)); }
        const SentDatagram first = h.LastSent();
        const std::size_t before = h.SentCount();
        const int sends = c.transmissions == 0 ? 20 : c.transmissions;
        for (int transmission = 2; transmission <= sends; ++transmission) {
            h.AdvanceAndTick(c.timeoutMs);  // not yet more than the time-out
            EXPECT_EQ(h.SentCount(), before + transmission - 2);
            h.AdvanceAndTick(1);
            ASSERT_EQ(h.SentCount(), before + transmission - 1);
            EXPECT_EQ(h.LastSent().Id(), first.Id());
            // Access-Requests get a fresh authenticator; accounting goes out unchanged.
            EXPECT_EQ(h.LastSent().bytes == first.bytes, c.accounting);
        }
        h.AdvanceAndTick(c.timeoutMs);
        EXPECT_EQ(h.Engine().SessionCount(), 1u);
        h.AdvanceAndTick(1);
        EXPECT_EQ(h.Engine().SessionCount(), c.dropLine ? 0u : 1u);
        if (c.dropLine) { EXPECT_EQ(h.Lines().back(), c.dropLine); }
        EXPECT_EQ(h.Engine().Counters().authRequests, 1);  // retransmissions are not counted
        EXPECT_EQ(h.Engine().Counters().acctStartRequests, c.accounting ? 1 : 0);
        EXPECT_EQ(CheckInvariants(h.Engine(), h.Options().nasPorts), "");
    }
}

TEST_F(Lifecycle, EndOfSessionWhileTheStartIsUnanswered) {
    ASSERT_TRUE(h.Add("u", "pw", 10));
    ASSERT_TRUE(h.Answer(kAccept));
    const std::uint8_t startId = h.LastSent().Id();
    h.AdvanceAndTick(10000);
    const SentDatagram& stop = h.LastSent();
    EXPECT_NE(stop.Id(), startId);
    EXPECT_EQ(ItemsOf(stop.bytes, 40), IntValue(2));
    EXPECT_EQ(ItemsOf(stop.bytes, 46), IntValue(10));
    EXPECT_EQ(h.Engine().Counters().acctStopRequests, 1);

    EXPECT_FALSE(h.Deliver(h.ReplyTo(startId, kAcctResponse)));  // the start's late answer
    EXPECT_TRUE(log_.Contains("Unrecognized request: " + std::to_string(startId)));
    EXPECT_TRUE(h.Answer(kAcctResponse));
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
    EXPECT_EQ(h.Lines().back(), "u: Account STOP Reply");
}

TEST_F(Lifecycle, StopAllSessionsSendsStopsForSessionsPastAuthentication) {
    ASSERT_TRUE(h.Add("authenticating", "pw", 600));
    ASSERT_TRUE(h.Add("starting", "pw", 600));
    ASSERT_TRUE(h.Answer(kAccept));
    ASSERT_TRUE(h.Add("active", "pw", 600));
    AcceptAndStart(h);
    ASSERT_TRUE(h.Add("stopping", "pw", 1));
    AcceptAndStart(h);
    h.AdvanceAndTick(1000);  // "stopping" sends its stop
    const std::size_t before = h.SentCount();

    h.Engine().StopAllSessions();
    EXPECT_EQ(StopsSentFrom(h, before), (std::vector<std::string>{"starting", "active", "stopping"}));
    EXPECT_EQ(h.SentCount(), before + 3);
    EXPECT_EQ(ItemsOf(h.Socket().sent[before + 1].bytes, 46), IntValue(600));
    EXPECT_EQ(h.Engine().Counters().acctStopRequests, 4);
    EXPECT_EQ(h.SessionOf("authenticating")->state, SessionState::Authenticating);
}

TEST_F(Lifecycle, AFailedSendIsSaidAndRetriedLikeALostRequest) {
    h.Socket().sendError = ENETUNREACH;
    EXPECT_FALSE(h.Add("u"));
    EXPECT_EQ(std::string(h.Engine().LastError()),
              std::string("Failure sending the Access-Request: ") + std::strerror(ENETUNREACH));
    EXPECT_EQ(h.Engine().SessionCount(), 1u);
    h.Socket().sendError = 0;
    h.AdvanceAndTick(5001);
    EXPECT_EQ(h.SentCount(), 1u);
    EXPECT_EQ(h.Engine().Sessions().front().transmissions, 2);
}

TEST(Tick, MovesOnlyDueSessionsAndInCreationOrder) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 600});
    for (int i = 0; i < 500; ++i) {
        ASSERT_TRUE(h.Add(Numbered("idle", i).c_str(), "pw", 5000));
        AcceptAndStart(h);
    }
    // Created first, ending last: end-time order is the reverse of creation order.
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(h.Add(Numbered("s", i).c_str(), "pw", 50 - 10 * i));
        AcceptAndStart(h);
    }
    const std::size_t before = h.SentCount();
    h.AdvanceAndTick(9000);
    EXPECT_EQ(h.SentCount(), before);
    h.AdvanceAndTick(51000);
    EXPECT_EQ(StopsSentFrom(h, before), (std::vector<std::string>{"s0", "s1", "s2", "s3", "s4"}));
    EXPECT_EQ(h.SentCount(), before + 5);
    EXPECT_EQ(CheckInvariants(h.Engine(), 600), "");
}
