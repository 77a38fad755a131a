// Retransmissions, drops, end of session and shutdown, all on the hand-moved clock.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

// Accepts the last Access-Request, so the Accounting-Request Start goes out.
void Accept(EngineHarness& h) { ASSERT_TRUE(h.Answer(2)); }
// Accepts and acknowledges the start: the session is Active.
void AcceptAndStart(EngineHarness& h) {
    Accept(h);
    ASSERT_EQ(h.LastSent().Code(), 4);
    ASSERT_TRUE(h.Answer(5));
}

class Lifecycle : public ::testing::Test {
protected:
    void TearDown() override {
        for (EngineHarness* h : harnesses_) EXPECT_EQ(CheckInvariants(h->Engine(), h->Options().nasPorts), "");
    }
    EngineHarness& Make(const EngineOptions& options = {}) {
        owned_.push_back(std::make_unique<EngineHarness>(options));
        harnesses_.push_back(owned_.back().get());
        return *owned_.back();
    }
    CapturingLogger log_;

private:
    std::vector<std::unique_ptr<EngineHarness>> owned_;
    std::vector<EngineHarness*> harnesses_;
};

}  // namespace

TEST_F(Lifecycle, AccessRequestIsSentFourTimesThenDropped) {
    EngineHarness& h = Make({.resendAuth = true, .authTimeout = 5});
    ASSERT_TRUE(h.Add("u"));
    std::vector<Bytes> authenticators{AuthenticatorOf(h.LastSent().bytes)};
    for (int transmission = 2; transmission <= 4; ++transmission) {
        h.AdvanceAndTick(5000);  // not yet more than the time-out
        EXPECT_EQ(h.SentCount(), static_cast<std::size_t>(transmission - 1));
        h.AdvanceAndTick(1);
        ASSERT_EQ(h.SentCount(), static_cast<std::size_t>(transmission));
        EXPECT_EQ(h.LastSent().Id(), 1);
        authenticators.push_back(AuthenticatorOf(h.LastSent().bytes));
    }
    EXPECT_NE(authenticators[0], authenticators[1]);
    EXPECT_NE(authenticators[2], authenticators[3]);
    h.AdvanceAndTick(5000);
    EXPECT_EQ(h.Engine().SessionCount(), 1u);
    h.AdvanceAndTick(1);
    EXPECT_EQ(h.SentCount(), 4u);
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
    EXPECT_TRUE(log_.Contains("Dropping Session(u) - No response"));
    EXPECT_EQ(h.Lines(), std::vector<std::string>{"u: No response from server - Dropping request."});
    EXPECT_EQ(h.Engine().NasPorts().FreeCount(), 10u);
    EXPECT_EQ(h.Engine().Counters().authRequests, 1);  // retransmissions are not counted
}

TEST_F(Lifecycle, WithoutResendTheFirstUnansweredRequestIsDropped) {
    EngineHarness& h = Make({.resendAuth = false, .authTimeout = 5, .resendAcct = false, .acctTimeout = 15});
    ASSERT_TRUE(h.Add("a"));
    h.AdvanceAndTick(5001);
    EXPECT_EQ(h.SentCount(), 1u);
    EXPECT_EQ(h.Engine().SessionCount(), 0u);

    ASSERT_TRUE(h.Add("b"));
    Accept(h);
    h.AdvanceAndTick(15000);
    EXPECT_EQ(h.Engine().SessionCount(), 1u);
    h.AdvanceAndTick(1);
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
    EXPECT_TRUE(log_.Contains("Dropping Accounting Request(b) - No response"));
    EXPECT_EQ(h.Lines().back(), "b: No response from server - Dropping Accounting request.");
}

TEST_F(Lifecycle, AccountingIsRetransmittedWithoutLimitAndUnchanged) {
    EngineHarness& h = Make({.acctTimeout = 15});
    ASSERT_TRUE(h.Add("u", "pw", 100000));
    Accept(h);
    const Bytes start = h.LastSent().bytes;
    EXPECT_EQ(h.LastSent().port, 1813);
    for (int i = 0; i < 20; ++i) h.AdvanceAndTick(15001);
    EXPECT_EQ(h.SentCount(), 2u + 20u);
    EXPECT_EQ(h.LastSent().bytes, start);
    EXPECT_EQ(h.Engine().Counters().acctStartRequests, 1);
    EXPECT_EQ(h.Engine().SessionCount(), 1u);
}

TEST_F(Lifecycle, ATimeOutOfZeroExpiresAfterOneMillisecond) {
    EngineHarness& h = Make({.authTimeout = 0});
    ASSERT_TRUE(h.Add("u"));
    h.Engine().Tick();  // no time has passed
    EXPECT_EQ(h.SentCount(), 1u);
    for (int tick = 0; tick < 3; ++tick) h.AdvanceAndTick(100);
    EXPECT_EQ(h.SentCount(), 4u);
    h.AdvanceAndTick(100);
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
}

TEST_F(Lifecycle, EndOfSessionWhileTheStartIsUnanswered) {
    EngineHarness& h = Make();
    ASSERT_TRUE(h.Add("u", "pw", 10));
    Accept(h);
    const std::uint8_t startId = h.LastSent().Id();
    h.AdvanceAndTick(10000);
    const SentDatagram& stop = h.LastSent();
    EXPECT_EQ(stop.Code(), 4);
    EXPECT_NE(stop.Id(), startId);
    EXPECT_EQ(ItemsOf(stop.bytes, 40), IntValue(2));
    EXPECT_EQ(ItemsOf(stop.bytes, 46), IntValue(10));
    EXPECT_EQ(h.Engine().Sessions().front().state, SessionState::AccountingStop);
    EXPECT_EQ(h.Engine().Counters().acctStopRequests, 1);

    // The late answer to the start no longer has a session.
    EXPECT_FALSE(h.Deliver(h.ReplyTo(startId, 5)));
    EXPECT_TRUE(log_.Contains("Unrecognized request: " + std::to_string(startId)));
    EXPECT_TRUE(h.Answer(5));
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
    EXPECT_EQ(h.Lines().back(), "u: Account STOP Reply");
}

TEST_F(Lifecycle, DurationZeroStopsAtTheFirstTickAfterTheAccept) {
    EngineHarness& h = Make();
    ASSERT_TRUE(h.Add("u", "pw", 0));
    h.Engine().Tick();  // still Authenticating: the end time does not matter yet
    EXPECT_EQ(h.SentCount(), 1u);
    Accept(h);
    h.Engine().Tick();
    EXPECT_EQ(h.Engine().Sessions().front().state, SessionState::AccountingStop);
    EXPECT_EQ(ItemsOf(h.LastSent().bytes, 46), IntValue(0));
}

TEST_F(Lifecycle, ActiveSessionsWaitForTheirEndTimeOnly) {
    EngineHarness& h = Make({.resendAcct = false, .acctTimeout = 1});
    ASSERT_TRUE(h.Add("u", "pw", 60));
    AcceptAndStart(h);
    for (int i = 0; i < 50; ++i) h.AdvanceAndTick(1000);  // far beyond every time-out
    EXPECT_EQ(h.SentCount(), 2u);
    EXPECT_EQ(h.Engine().Sessions().front().state, SessionState::Active);
    h.AdvanceAndTick(10000);
    EXPECT_EQ(h.Engine().Sessions().front().state, SessionState::AccountingStop);
    EXPECT_EQ(h.SentCount(), 3u);
}

TEST_F(Lifecycle, StopAllSessionsSendsStopsForSessionsPastAuthentication) {
    EngineHarness& h = Make();
    ASSERT_TRUE(h.Add("authenticating", "pw", 600));
    ASSERT_TRUE(h.Add("starting", "pw", 600));
    Accept(h);
    ASSERT_TRUE(h.Add("active", "pw", 600));
    AcceptAndStart(h);
    ASSERT_TRUE(h.Add("stopping", "pw", 1));
    AcceptAndStart(h);
    h.AdvanceAndTick(1000);  // "stopping" sends its stop
    const std::size_t before = h.SentCount();
    const std::int32_t stopsBefore = h.Engine().Counters().acctStopRequests;

    h.Engine().StopAllSessions();
    ASSERT_EQ(h.SentCount(), before + 3);
    std::vector<std::string> users;
    for (std::size_t i = before; i < h.SentCount(); ++i) {
        const SentDatagram& sent = h.Socket().sent[i];
        EXPECT_EQ(ItemsOf(sent.bytes, 40), IntValue(2));
        const Bytes user = ItemsOf(sent.bytes, 1).at(0);
        users.emplace_back(user.begin(), user.end());
    }
    EXPECT_EQ(users, (std::vector<std::string>{"starting", "active", "stopping"}));
    EXPECT_EQ(ItemsOf(h.Socket().sent[before + 1].bytes, 46), IntValue(600));
    EXPECT_EQ(h.Engine().Counters().acctStopRequests, stopsBefore + 3);
    EXPECT_EQ(h.SessionOf("authenticating")->state, SessionState::Authenticating);
}

TEST_F(Lifecycle, AStopWaitsForAFreeIdentifierAndIsCountedWhenSent) {
    EngineHarness& h = Make({.nasPorts = 300, .authTimeout = 1000});
    ASSERT_TRUE(h.Add("ending", "pw", 5));
    AcceptAndStart(h);
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(h.Add(Numbered("w", i).c_str(), "pw", 1000));
    h.AdvanceAndTick(5000);
    EXPECT_TRUE(log_.Contains("Out of free Reuquest Ids"));
    const Session* ending = h.SessionOf("ending");
    EXPECT_EQ(ending->state, SessionState::AccountingStop);
    EXPECT_EQ(ending->requestId, 0);
    EXPECT_EQ(h.Engine().Counters().acctStopRequests, 0);

    ASSERT_TRUE(h.Answer(3));  // one waiting user is rejected: its identifier is free
    h.AdvanceAndTick(100);
    EXPECT_NE(ending->requestId, 0);
    EXPECT_EQ(h.LastSent().Code(), 4);
    EXPECT_EQ(h.Engine().Counters().acctStopRequests, 1);
}

TEST_F(Lifecycle, RefusedDatagramsAreRetriedLikeLostOnes) {
    EngineHarness& h = Make({.resendAuth = false, .authTimeout = 5});
    ASSERT_TRUE(h.Add("u", "pw", 60));
    Accept(h);
    h.Socket().sendError = EPERM;
    h.AdvanceAndTick(60000);  // the stop is due and refused
    EXPECT_TRUE(log_.Contains("sendto error = " + std::to_string(EPERM)));
    EXPECT_EQ(h.Engine().Counters().acctStopRequests, 1);  // counted before the socket refused it
    h.Socket().sendError = 0;
    h.AdvanceAndTick(15001);
    EXPECT_EQ(h.LastSent().Code(), 4);
    EXPECT_EQ(ItemsOf(h.LastSent().bytes, 40), IntValue(2));
}
