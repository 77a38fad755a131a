// The pools, retransmissions and drops on the hand-moved clock; the engine tests end with the
// pool invariants checked.
#include <gtest/gtest.h>

#include <set>

#include "engine_test_support.h"
#include "radius/nas_port_pool.h"
#include "radius/request_id_pool.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2;

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
    EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
}

TEST(AddSession, WithWaitForIdASessionFindingEveryIdentifierInUseWaitsForOneInTurn) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 300});
    h.Engine().SetWaitForId(true);
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(h.Add(Numbered("u", i).c_str()));
    const std::size_t sent = h.SentCount();
    ASSERT_TRUE(h.Add("late"));
    ASSERT_TRUE(h.Add("later"));
    EXPECT_EQ(h.SentCount(), sent);
    EXPECT_EQ(h.Engine().SessionCount(), 257u);
    EXPECT_NE(h.Engine().MillisecondsUntilDue(), 0u);  // nothing can move until a reply comes
    h.AdvanceAndTick(250);
    EXPECT_EQ(h.SentCount(), sent);
    EXPECT_FALSE(log.Contains("Out of free Reuquest Ids"));

    ASSERT_TRUE(h.Deliver(h.ReplyTo(1, 3)));  // u0 rejected: its identifier is free
    EXPECT_EQ(h.Engine().MillisecondsUntilDue(), 0u);
    h.AdvanceAndTick(50);
    ASSERT_EQ(h.SentCount(), sent + 1);
    EXPECT_EQ(h.LastSent().Id(), 1);
    EXPECT_EQ(ItemsOf(h.LastSent().bytes, 1), std::vector<Bytes>{Text("late")});  // in the order they came
    const RequestStatistics::IdWaits& waits = h.Engine().Statistics().IdWaitTimes();
    EXPECT_EQ(waits.sessions, 1u);
    EXPECT_EQ(waits.maximumMs, 300u);
    EXPECT_EQ(h.Engine().Counters().authRequests, 256u);
    EXPECT_EQ(h.Engine().Statistics().Summarize(RequestKind::Access).requests, 256u);
    EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
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
        EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
    }
}

TEST(StopAllSessions, EverySessionPastAuthenticationSendsAStopUnderANewIdentifierTheOthersNothing) {
    constexpr std::uint8_t kAcctResponse = 5;
    EngineHarness h;
    ASSERT_TRUE(h.Add("authenticating", "pw", 60));
    ASSERT_TRUE(h.Add("starting", "pw", 60));
    ASSERT_TRUE(h.Answer(kAccept));
    ASSERT_TRUE(h.Add("active", "pw", 60));
    ASSERT_TRUE(h.Answer(kAccept));
    ASSERT_TRUE(h.Answer(kAcctResponse));
    ASSERT_TRUE(h.Add("stopping", "pw", 0));
    ASSERT_TRUE(h.Answer(kAccept));
    ASSERT_TRUE(h.Answer(kAcctResponse));
    h.AdvanceAndTick(100);  // its end has come: the stop goes out
    ASSERT_EQ(h.SessionOf("stopping")->state, SessionState::AccountingStop);
    const std::uint16_t authenticatingId = h.SessionOf("authenticating")->requestId;
    std::set<int> idsBefore;
    for (const SentDatagram& datagram : h.Socket().sent) idsBefore.insert(datagram.Id());
    const std::size_t sentBefore = h.SentCount();
    const std::int32_t stopsBefore = h.Engine().Counters().acctStopRequests;

    h.Engine().StopAllSessions();

    std::vector<std::string> stopped;
    for (std::size_t i = sentBefore; i < h.SentCount(); ++i) {
        const SentDatagram& datagram = h.Socket().sent[i];
        const Bytes user = ItemsOf(datagram.bytes, 1).at(0);
        stopped.emplace_back(user.begin(), user.end());
        EXPECT_EQ(ItemsOf(datagram.bytes, 40), IntValue(2)) << stopped.back();  // Acct-Status-Type Stop
        EXPECT_EQ(idsBefore.count(datagram.Id()), 0u) << stopped.back();
    }
    EXPECT_EQ(stopped, (std::vector<std::string>{"starting", "active", "stopping"}));
    EXPECT_EQ(h.Engine().Counters().acctStopRequests, stopsBefore + 3);
    EXPECT_EQ(h.SessionOf("authenticating")->state, SessionState::Authenticating);
    EXPECT_EQ(h.SessionOf("authenticating")->requestId, authenticatingId);
    for (const char* user : {"starting", "active", "stopping"})
        EXPECT_EQ(h.SessionOf(user)->state, SessionState::AccountingStop) << user;
    EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
}

// The paced tick's short way: while only sessions waiting for an identifier have work, the
// first of them take the identifiers free, in the order they came; once a time-out is due the
// whole walk is needed again.
TEST(AddSession, WaitingSessionsAloneTakeTheFreedIdentifiersInTurnWithoutTheWholeWalk) {
    EngineHarness h({.nasPorts = 300});
    h.Engine().SetWaitForId(true);
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(h.Add(Numbered("u", i).c_str()));
    for (const char* user : {"late", "later", "latest"}) ASSERT_TRUE(h.Add(user));
    EXPECT_FALSE(h.Engine().OnlyWaitingAreDue());  // no identifier free
    const std::size_t sent = h.SentCount();

    ASSERT_TRUE(h.Deliver(h.ReplyTo(1, 3)));
    ASSERT_TRUE(h.Deliver(h.ReplyTo(2, 3)));
    h.Clock().Advance(10);
    ASSERT_TRUE(h.Engine().OnlyWaitingAreDue());
    h.Engine().TickWaiting();
    ASSERT_EQ(h.SentCount(), sent + 2);
    EXPECT_EQ(ItemsOf(h.Socket().sent[sent].bytes, 1), std::vector<Bytes>{Text("late")});
    EXPECT_EQ(ItemsOf(h.Socket().sent[sent + 1].bytes, 1), std::vector<Bytes>{Text("later")});
    EXPECT_FALSE(h.Engine().OnlyWaitingAreDue());  // "latest" waits, nothing is free

    ASSERT_TRUE(h.Deliver(h.ReplyTo(3, 3)));
    EXPECT_TRUE(h.Engine().OnlyWaitingAreDue());
    h.Clock().Advance(5001);  // the first requests' 5 s time-out has passed: retransmissions
    EXPECT_EQ(h.Engine().MillisecondsUntilDue(), 0u);
    EXPECT_FALSE(h.Engine().OnlyWaitingAreDue());
    EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
}
