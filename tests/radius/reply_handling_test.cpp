// Every row of the session state machine that a reply drives, malformed replies, and a
// challenge callback that re-enters the engine.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2, kReject = 3, kAcctRequest = 4, kAcctResponse = 5, kChallenge = 11;

class Replies : public ::testing::Test {
protected:
    explicit Replies(EngineOptions options = {}) : h(options) {}
    void TearDown() override { EXPECT_EQ(CheckInvariants(h.Engine(), h.Options().nasPorts), ""); }

    const Session& Only() { return h.Engine().Sessions().front(); }
    // A session in the given state, its outstanding request answered by nothing yet.
    void Reach(SessionState state) {
        ASSERT_TRUE(h.Add("u", "pw", 60));
        if (state == SessionState::Authenticating) return;
        ASSERT_TRUE(h.Answer(kAccept));
        if (state == SessionState::AccountingStart) return;
        ASSERT_TRUE(h.Answer(kAcctResponse));
        if (state == SessionState::Active) return;
        h.AdvanceAndTick(60000);
        ASSERT_EQ(Only().state, SessionState::AccountingStop);
    }

    CapturingLogger log;
    EngineHarness h;
};

class AuthOnlyReplies : public Replies {
protected:
    AuthOnlyReplies() : Replies({.authOnly = true}) {}
};

}  // namespace

TEST_F(Replies, AcceptStartsAccountingUnderANewIdentifier) {
    Reach(SessionState::Authenticating);
    ASSERT_TRUE(h.Answer(kAccept, Concat({IntItem(6, 2), Item(25, Text("premium"))})));
    EXPECT_EQ(Only().state, SessionState::AccountingStart);
    const SentDatagram& start = h.LastSent();
    EXPECT_EQ(start.Code(), kAcctRequest);
    EXPECT_EQ(start.Id(), 2);
    EXPECT_EQ(start.port, 1813);
    EXPECT_EQ(ItemsOf(start.bytes, 6), IntValue(2));
    EXPECT_EQ(ItemsOf(start.bytes, 25), std::vector<Bytes>{Text("premium")});
    EXPECT_EQ(h.Lines(), std::vector<std::string>{"u: Auth Accept, Service=Framed"});
    EXPECT_EQ(h.Engine().Counters().authResponses, 1);
    EXPECT_EQ(h.Engine().Counters().acctStartRequests, 1);
    EXPECT_TRUE(log.Contains("Recv(1). Code=2, len=35, Duration=0"));
}

TEST_F(AuthOnlyReplies, AcceptEndsTheSessionWithoutAccounting) {
    Reach(SessionState::Authenticating);
    ASSERT_TRUE(h.Answer(kAccept));
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
    EXPECT_EQ(h.SentCount(), 1u);
    EXPECT_EQ(h.Lines(), std::vector<std::string>{"u: Auth Accept"});
    EXPECT_EQ(h.Engine().NasPorts().FreeCount(), 10u);
}

TEST_F(Replies, RejectEndsTheSessionWithItsMessage) {
    Reach(SessionState::Authenticating);
    ASSERT_TRUE(h.Answer(kReject, Item(18, Text("Bad password"))));
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
    EXPECT_TRUE(log.Contains("Rejecting logon for user: u"));
    EXPECT_EQ(h.Lines(), std::vector<std::string>{"u: Auth Reject, Message=Bad password"});
}

TEST_F(Replies, AccountingResponsesMoveTheSessionToActiveThenEndIt) {
    Reach(SessionState::AccountingStart);
    ASSERT_TRUE(h.Answer(kAcctResponse));
    EXPECT_EQ(Only().state, SessionState::Active);
    EXPECT_EQ(Only().requestId, 0);
    h.AdvanceAndTick(60000);
    ASSERT_TRUE(h.Answer(kAcctResponse));
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
    EXPECT_EQ(h.Lines(), (std::vector<std::string>{"u: Auth Accept", "u: Account START Reply",
                                                   "u: Account STOP Reply"}));
    const RequestCounters& c = h.Engine().Counters();
    EXPECT_EQ(std::vector<int>({c.authRequests, c.authResponses, c.acctStartRequests, c.acctStartResponses,
                                c.acctStopRequests, c.acctStopResponses}),
              std::vector<int>({1, 1, 1, 1, 1, 1}));
}

TEST_F(Replies, AccountingResponseWhileAuthenticatingIsInconsistentAndTheRequestIsSentAgain) {
    Reach(SessionState::Authenticating);
    EXPECT_FALSE(h.Answer(kAcctResponse));
    EXPECT_STREQ(h.Engine().LastError(), "Inconsistent Accounting reply: State=0");
    EXPECT_EQ(Only().requestId, 0);
    EXPECT_EQ(h.Engine().Counters().acctStartResponses + h.Engine().Counters().acctStopResponses, 0);
    h.AdvanceAndTick(100);
    EXPECT_EQ(h.LastSent().Code(), 1);
    EXPECT_EQ(h.LastSent().Id(), 2);
    EXPECT_EQ(h.Engine().Counters().authRequests, 2);  // sent under a new identifier: a new request
}

TEST_F(Replies, AccessRepliesInTheAccountingStatesAreInconsistent) {
    for (SessionState state : {SessionState::AccountingStart, SessionState::AccountingStop}) {
        for (std::uint8_t replyCode : {kAccept, kReject}) {
            h.Engine().StopAllSessions();
            while (h.Engine().SessionCount() > 0) {  // clear out the previous round
                const Session& s = Only();
                ASSERT_TRUE(h.Deliver(h.ReplyTo(static_cast<std::uint8_t>(s.requestId), kAcctResponse)));
            }
            Reach(state);
            const std::int32_t responses = h.Engine().Counters().authResponses;
            EXPECT_FALSE(h.Answer(replyCode));
            EXPECT_EQ(std::string(h.Engine().LastError()),
                      "Inconsistent Authentication reply: State=" + std::to_string(static_cast<int>(state)));
            EXPECT_EQ(h.Engine().Counters().authResponses, responses + 1);
            EXPECT_EQ(Only().state, state);
            EXPECT_EQ(Only().requestId, 0);
            h.AdvanceAndTick(100);
            EXPECT_EQ(h.LastSent().Code(), kAcctRequest);
            EXPECT_NE(Only().requestId, 0);
        }
    }
}

TEST_F(Replies, UnknownCodesAndEchoedRequestsAreSentAgainUnderANewIdentifier) {
    for (std::uint8_t replyCode : {std::uint8_t{1}, kAcctRequest, std::uint8_t{42}}) {
        Reach(SessionState::Authenticating);
        EXPECT_FALSE(h.Answer(replyCode));
        EXPECT_EQ(std::string(h.Engine().LastError()), "Unrecognized request code: " + std::to_string(replyCode));
        EXPECT_EQ(Only().requestId, 0);
        h.AdvanceAndTick(100);
        EXPECT_EQ(h.LastSent().Code(), 1);
        ASSERT_TRUE(h.Answer(kReject));
    }
}

TEST_F(Replies, DuplicatesAndUnknownIdentifiersChangeNothing) {
    Reach(SessionState::Authenticating);
    const Bytes reply = h.ReplyTo(1, kAccept);
    ASSERT_TRUE(h.Deliver(reply));
    const std::size_t sent = h.SentCount();
    log.Clear();
    EXPECT_FALSE(h.Deliver(reply));
    EXPECT_STREQ(h.Engine().LastError(), "Unrecognized request: 1");
    EXPECT_EQ(log.Lines().at(0), "Unrecognized request: 1");
    EXPECT_EQ(log.Lines().at(1), "Code=Access Accept");  // the packet listing follows
    EXPECT_EQ(h.SentCount(), sent);
    EXPECT_EQ(Only().state, SessionState::AccountingStart);
    EXPECT_EQ(h.Engine().Counters().authResponses, 1);
}

TEST_F(Replies, AWrongSecretIsLoggedButTheReplyIsHandled) {
    Reach(SessionState::Authenticating);
    const Bytes reply = MakeReply(kAccept, 1, AuthenticatorOf(h.LastSent().bytes), "wrong-secret");
    ASSERT_TRUE(h.Deliver(reply));
    EXPECT_TRUE(log.Contains("Response not authenticated."));
    EXPECT_EQ(Only().state, SessionState::AccountingStart);
}

TEST_F(Replies, MalformedDatagramsAreDroppedAndTheSessionKeepsWaiting) {
    Reach(SessionState::Authenticating);
    const Bytes good = h.ReplyTo(1, kAccept, IntItem(6, 2));
    struct Case {
        Bytes datagram;
        const char* error;
    };
    Bytes lengthBelowHeader = good;
    lengthBelowHeader[3] = 4;
    for (const Case& c : {Case{Bytes(good.begin(), good.begin() + 2), "Malformed reply: 2 bytes received"},
                          Case{Bytes(good.begin(), good.begin() + 19), "Malformed reply: 19 bytes received"},
                          Case{Bytes(good.begin(), good.end() - 1), "Malformed reply: Length=26, 25 bytes received"},
                          Case{lengthBelowHeader, "Malformed reply: Length=4, 26 bytes received"}}) {
        EXPECT_FALSE(h.Deliver(c.datagram));
        EXPECT_STREQ(h.Engine().LastError(), c.error);
        EXPECT_EQ(Only().requestId, 1);
    }
    EXPECT_FALSE(h.Engine().ProcessReply(nullptr, 0));
    EXPECT_EQ(h.Engine().Counters().authResponses, 0);
    ASSERT_TRUE(h.Deliver(good));
    EXPECT_EQ(Only().serviceType, 2);
}

TEST_F(Replies, APaddedReplyFailsVerificationButIsHandled) {
    Reach(SessionState::Authenticating);
    Bytes padded = h.ReplyTo(1, kAccept, IntItem(6, 2));
    padded.insert(padded.end(), {6, 6, 0, 0, 0, 5});  // beyond Length: padding, not an attribute
    ASSERT_TRUE(h.Deliver(padded));
    EXPECT_TRUE(log.Contains("Response not authenticated."));
    EXPECT_EQ(Only().serviceType, 2);
}

TEST_F(Replies, ItemsLyingAboutTheirLengthAreReadSafely) {
    Reach(SessionState::Authenticating);
    ASSERT_TRUE(h.Answer(kAccept, Concat({IntItem(6, 2), Bytes{25, 200, 'x'}})));
    EXPECT_EQ(Only().serviceType, 2);
    EXPECT_EQ(Only().className, "");
}

TEST_F(Replies, OnReadableReadsEveryWaitingDatagram) {
    for (const char* user : {"a", "b", "c"}) ASSERT_TRUE(h.Add(user, "pw", 60));
    EXPECT_TRUE(h.Engine().OnReadable(42));  // nothing there: would block
    for (std::uint8_t id : {1, 2, 3}) h.Socket().incoming.push_back(h.ReplyTo(id, kReject));
    h.Socket().incoming.insert(h.Socket().incoming.begin() + 1, h.ReplyTo(9, kReject));
    EXPECT_FALSE(h.Engine().OnReadable(42));  // the reply for nobody is not handled; the rest are
    EXPECT_TRUE(h.Socket().incoming.empty());
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
    EXPECT_EQ(h.Lines(), (std::vector<std::string>{"a: Auth Reject", "b: Auth Reject", "c: Auth Reject"}));
    EXPECT_TRUE(log.Contains("Unrecognized request: 9"));
}

TEST_F(Replies, OnReadableStopsAtItsBoundAndAtAFailedReceive) {
    Reach(SessionState::Authenticating);
    const Bytes stray = h.ReplyTo(7, kReject);
    for (int i = 0; i <= RadiusEngine::kMaxRepliesPerWakeUp; ++i) h.Socket().incoming.push_back(stray);
    h.Engine().OnReadable(42);
    EXPECT_EQ(h.Socket().incoming.size(), 1u);  // left for the next notification
    h.Socket().incoming = {Bytes{}, h.ReplyTo(1, kReject)};
    EXPECT_FALSE(h.Engine().OnReadable(42));
    EXPECT_TRUE(log.Contains("recvfrom error (0) in socket 42"));
    EXPECT_EQ(h.Engine().SessionCount(), 1u);  // the reply behind the failure waits
    EXPECT_TRUE(h.Engine().OnReadable(42));
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
}

// ---- Challenges ---------------------------------------------------------------------------

TEST_F(Replies, ChallengeWithoutCallbackIsARejection) {
    Reach(SessionState::Authenticating);
    ASSERT_TRUE(h.Answer(kChallenge, Item(18, Text("PIN?"))));
    EXPECT_TRUE(log.Contains("Rejecting logon for user: u"));
    EXPECT_EQ(h.Lines(), std::vector<std::string>{"u: Auth Reject, Message=PIN?"});
    EXPECT_EQ(h.Engine().Counters().authResponses, 1);
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
}

TEST_F(Replies, ChallengeTakenUpEndsTheSessionAndCountsLikeTheSpecifiedDialog) {
    std::vector<std::string> seen;
    h.Engine().SetChallengeCallback([&](const char* user, const char* message, const std::string* state) {
        seen = {user, message ? message : "(none)", state ? *state : "(none)"};
        AttributeList answer;
        answer.Append(RadiusAttribute("State", 24, state ? *state : std::string()));
        return h.Engine().AddSession(user, "1234", 60, answer, {}, {});
    });
    Reach(SessionState::Authenticating);
    ASSERT_TRUE(h.Answer(kChallenge, Concat({Item(18, Text("PIN?")), Item(24, {'s', '1', 0, 'z'})})));
    // The State reaches the callback whole, zero octet included, and goes back unchanged.
    EXPECT_EQ(seen, (std::vector<std::string>{"u", "PIN?", std::string("s1\0z", 4)}));
    ASSERT_EQ(h.Engine().SessionCount(), 1u);
    EXPECT_EQ(ItemsOf(h.LastSent().bytes, 24), (std::vector<Bytes>{Bytes{'s', '1', 0, 'z'}}));
    ASSERT_TRUE(h.Answer(kAccept));
    EXPECT_EQ(h.Engine().Counters().authRequests, 2);
    EXPECT_EQ(h.Engine().Counters().authResponses, 2);
    EXPECT_EQ(h.Lines(), std::vector<std::string>{"u: Auth Accept"});
}

TEST_F(Replies, ChallengeDeclinedIsARejectionCountedOnce) {
    std::vector<std::string> seen;
    h.Engine().SetChallengeCallback([&](const char* user, const char* message, const std::string* state) {
        seen = {user, message ? message : "(none)", state ? *state : "(none)"};
        return false;
    });
    Reach(SessionState::Authenticating);
    ASSERT_TRUE(h.Answer(kChallenge));
    EXPECT_EQ(seen, (std::vector<std::string>{"u", "(none)", "(none)"}));
    EXPECT_EQ(h.Engine().Counters().authResponses, 1);
    EXPECT_EQ(h.Lines(), std::vector<std::string>{"u: Auth Reject"});
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
}

TEST_F(Replies, ChallengeInAnAccountingStateConsultsTheCallback) {
    bool answer = false;
    h.Engine().SetChallengeCallback([&](const char*, const char*, const std::string*) { return answer; });
    Reach(SessionState::AccountingStart);
    EXPECT_FALSE(h.Answer(kChallenge));
    EXPECT_STREQ(h.Engine().LastError(), "Inconsistent Authentication reply: State=1");
    EXPECT_EQ(Only().state, SessionState::AccountingStart);
    h.AdvanceAndTick(100);
    answer = true;
    ASSERT_TRUE(h.Answer(kChallenge));
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
}

TEST_F(Replies, ACallbackThatReentersTheEngineCannotDisturbTheChallengedSession) {
    ASSERT_TRUE(h.Add("other", "pw", 60));
    Reach(SessionState::Authenticating);  // "u", identifier 2
    const std::uint8_t otherId = 1;
    const Bytes otherAccept = h.ReplyTo(otherId, kAccept);
    int calls = 0;
    h.Engine().SetChallengeCallback([&](const char* user, const char*, const std::string*) {
        ++calls;
        const std::size_t sent = h.SentCount();
        // Long past every time-out: a walk that saw "u" would send or drop it.
        h.AdvanceAndTick(5001);
        h.AdvanceAndTick(5001);
        // A reply for another session arrives through the socket and overwrites the buffer.
        h.Socket().incoming.push_back(otherAccept);
        EXPECT_TRUE(h.Engine().OnReadable(42));
        EXPECT_TRUE(h.Add("third", "pw", 60));
        for (std::size_t i = sent; i < h.SentCount(); ++i) {
            const Bytes name = ItemsOf(h.Socket().sent[i].bytes, 1).at(0);
            EXPECT_NE(std::string(name.begin(), name.end()), user) << "the challenged session was sent again";
        }
        EXPECT_EQ(CheckInvariants(h.Engine(), 10), "");
        return false;
    });
    ASSERT_TRUE(h.Answer(kChallenge, Item(18, Text("again?"))));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(h.SessionOf("u"), nullptr);
    EXPECT_EQ(h.Lines().back(), "u: Auth Reject, Message=again?");  // from the challenge, not the later reply
    ASSERT_NE(h.SessionOf("other"), nullptr);
    EXPECT_EQ(h.SessionOf("other")->state, SessionState::AccountingStart);
    EXPECT_NE(h.SessionOf("third"), nullptr);
}

TEST_F(Replies, AChallengeReadTogetherWithOtherRepliesKeepsItsOwnOctets) {
    ASSERT_TRUE(h.Add("other", "pw", 60));
    ASSERT_TRUE(h.Add("u", "pw", 60));
    std::vector<std::string> linesDuringCallback;
    h.Engine().SetChallengeCallback([&](const char*, const char*, const std::string*) {
        // The nested event loop reads the replies queued behind the challenge.
        EXPECT_TRUE(h.Engine().OnReadable(42));
        linesDuringCallback = h.Lines();
        return false;
    });
    h.Socket().incoming = {h.ReplyTo(2, kChallenge, Item(18, Text("again?"))),
                           h.ReplyTo(1, kAccept)};
    EXPECT_TRUE(h.Engine().OnReadable(42));
    EXPECT_TRUE(h.Socket().incoming.empty());
    EXPECT_EQ(linesDuringCallback, std::vector<std::string>{"other: Auth Accept"});
    EXPECT_EQ(h.Lines().back(), "u: Auth Reject, Message=again?");
    EXPECT_EQ(h.SessionOf("u"), nullptr);
    EXPECT_EQ(h.SessionOf("other")->state, SessionState::AccountingStart);
}
