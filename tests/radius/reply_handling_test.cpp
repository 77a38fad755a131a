// Every row of the session state machine that a reply drives, malformed and stray replies,
// and a challenge callback that re-enters the engine.
#include <gtest/gtest.h>

#include <optional>

#include "engine_test_support.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2, kReject = 3, kAcctRequest = 4, kAcctResponse = 5, kChallenge = 11;
using State = SessionState;

// A session "u" in the given state, its outstanding request not yet answered.
void Reach(EngineHarness& h, State state) {
    ASSERT_TRUE(h.Add("u", "pw", 60));
    if (state == State::Authenticating) return;
    ASSERT_TRUE(h.Answer(kAccept));
    if (state == State::AccountingStart) return;
    ASSERT_TRUE(h.Answer(kAcctResponse));
    if (state == State::Active) return;
    h.AdvanceAndTick(60000);
    ASSERT_EQ(h.SessionOf("u")->state, State::AccountingStop);
}

class Replies : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), ""); }
    CapturingLogger log;
    EngineHarness h;
};

}  // namespace

TEST(ReplyStateMachine, EveryRow) {
    struct Row {
        State from;
        std::uint8_t code;
        bool authOnly;
        bool handled;
        std::optional<State> to;  // nullopt: the session ends
        const char* line;         // the result line, or the error of an unhandled reply
    };
    const Row rows[] = {
        {State::Authenticating, kAccept, false, true, State::AccountingStart, "u: Auth Accept"},
        {State::Authenticating, kAccept, true, true, std::nullopt, "u: Auth Accept"},
        {State::Authenticating, kReject, false, true, std::nullopt, "u: Auth Reject, Message=Go"},
        {State::Authenticating, kChallenge, false, true, std::nullopt, "u: Auth Reject, Message=Go"},
        {State::Authenticating, kAcctResponse, false, false, State::Authenticating,
         "Inconsistent Accounting reply: State=0"},
        {State::AccountingStart, kAcctResponse, false, true, State::Active, "u: Account START Reply"},
        {State::AccountingStart, kAccept, false, false, State::AccountingStart,
         "Inconsistent Authentication reply: State=1"},
        {State::AccountingStop, kAcctResponse, false, true, std::nullopt, "u: Account STOP Reply"},
        {State::AccountingStop, kReject, false, false, State::AccountingStop,
         "Inconsistent Authentication reply: State=3"},
        {State::Authenticating, 42, false, false, State::Authenticating, "Unrecognized request code: 42"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "state " << static_cast<int>(row.from) << ", code " << int{row.code});
        CapturingLogger log;
        EngineHarness h({.authOnly = row.authOnly});
        Reach(h, row.from);
        h.Lines().clear();
        const std::int32_t authResponses = h.Engine().Counters().authResponses;
        EXPECT_EQ(h.Answer(row.code, Item(18, Text("Go"))), row.handled);
        const Session* session = h.SessionOf("u");
        ASSERT_EQ(session != nullptr, row.to.has_value());
        if (row.to) { EXPECT_EQ(session->state, *row.to); }
        if (row.handled) {
            EXPECT_EQ(h.Lines(), std::vector<std::string>{row.line});
        } else {
            EXPECT_STREQ(h.Engine().LastError(), row.line);
            EXPECT_TRUE(h.Lines().empty());
            // The request is sent again at the next tick, under a new identifier.
            EXPECT_EQ(session->requestId, 0);
            h.AdvanceAndTick(100);
            EXPECT_EQ(h.LastSent().Code(), row.from == State::Authenticating ? 1 : kAcctRequest);
            EXPECT_NE(session->requestId, 0);
        }
        const bool accessReply = row.code == kAccept || row.code == kReject || row.code == kChallenge;
        EXPECT_EQ(h.Engine().Counters().authResponses, authResponses + (accessReply ? 1 : 0));
        if (row.to == State::AccountingStart && row.handled) {
            EXPECT_EQ(h.LastSent().Code(), kAcctRequest);
            EXPECT_EQ(h.LastSent().port, 1813);
        }
        if (row.authOnly) { EXPECT_EQ(h.SentCount(), 1u); }
        EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
    }
}

TEST_F(Replies, DuplicateStrayAndMalformedRepliesChangeNothing) {
    ASSERT_TRUE(h.Add("done", "pw", 60));
    const Bytes duplicate = h.ReplyTo(1, kAccept);
    ASSERT_TRUE(h.Deliver(duplicate));
    Reach(h, State::Authenticating);  // "u", identifier 3 (2 went to the start of "done")
    const Bytes good = h.ReplyTo(3, kAccept, IntItem(6, 2));
    Bytes lengthBelowHeader = good;
    lengthBelowHeader[3] = 4;
    const std::pair<Bytes, const char*> cases[] = {
        {duplicate, "Unrecognized request: 1"},
        {h.ReplyTo(77, kReject), "Unrecognized request: 77"},
        {Bytes(good.begin(), good.begin() + 19), "Malformed reply: 19 bytes received"},
        {Bytes(good.begin(), good.end() - 1), "Malformed reply: Length=26, 25 bytes received"},
        {lengthBelowHeader, "Malformed reply: Length=4, 26 bytes received"},
    };
    const std::size_t sent = h.SentCount();
    for (const auto& [datagram, error] : cases) {
        EXPECT_FALSE(h.Deliver(datagram));
        EXPECT_STREQ(h.Engine().LastError(), error);
    }
    EXPECT_FALSE(h.Engine().ProcessReply(nullptr, 0));
    EXPECT_EQ(h.SentCount(), sent);
    EXPECT_EQ(h.Engine().Counters().authResponses, 1);
    EXPECT_EQ(h.SessionOf("done")->state, State::AccountingStart);
    ASSERT_TRUE(h.Deliver(good));  // "u" was waiting all along
    EXPECT_EQ(h.SessionOf("u")->accept.serviceType, 2);
}


TEST_F(Replies, OnReadableReadsEveryWaitingReplyUpToItsBound) {
    for (const char* user : {"a", "b", "c"}) ASSERT_TRUE(h.Add(user, "pw", 60));
    EXPECT_TRUE(h.Engine().OnReadable(42));  // nothing there: would block
    h.Socket().incoming = {h.ReplyTo(1, kReject), h.ReplyTo(9, kReject), h.ReplyTo(2, kReject)};
    EXPECT_FALSE(h.Engine().OnReadable(42));  // the reply for nobody is not handled; the rest are
    EXPECT_EQ(h.Lines(), (std::vector<std::string>{"a: Auth Reject", "b: Auth Reject"}));

    const Bytes stray = h.ReplyTo(7, kReject);
    h.Socket().incoming.assign(RadiusEngine::kMaxRepliesPerWakeUp, stray);
    h.Socket().incoming.push_back(h.ReplyTo(3, kReject));
    h.Engine().OnReadable(42);
    EXPECT_EQ(h.Socket().incoming.size(), 1u);  // left for the next notification
    EXPECT_TRUE(h.Engine().OnReadable(42));
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
}

TEST_F(Replies, ChallengeCountsLikeTheDialogAndPassesTheStateWhole) {
    std::vector<std::string> seen;
    h.Engine().SetChallengeCallback([&](const char* user, const char* message, const std::string* state) {
        seen = {user, message ? message : "(none)", state ? *state : "(none)"};
        AttributeList answer;
        answer.Append(RadiusAttribute("State", 24, state ? *state : std::string()));
        return h.Engine().AddSession(user, "1234", 60, answer, {}, {});
    });
    Reach(h, State::Authenticating);
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

TEST_F(Replies, ACallbackThatReentersTheEngineCannotDisturbTheChallengedSession) {
    ASSERT_TRUE(h.Add("other", "pw", 60));
    Reach(h, State::Authenticating);  // "u", identifier 2
    const Bytes otherAccept = h.ReplyTo(1, kAccept);
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
        EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
        return false;
    });
    ASSERT_TRUE(h.Answer(kChallenge, Item(18, Text("again?"))));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(h.SessionOf("u"), nullptr);
    EXPECT_EQ(h.Lines().back(), "u: Auth Reject, Message=again?");  // from the challenge, not the later reply
    EXPECT_EQ(h.SessionOf("other")->state, State::AccountingStart);
    EXPECT_NE(h.SessionOf("third"), nullptr);
}

TEST(DiscardUnauthenticated, AReplyThatFailsItsAuthenticatorLeavesTheRequestOutstanding) {
    CapturingLogger log;
    EngineHarness h;
    h.Engine().SetDiscardUnauthenticated(true);
    ASSERT_TRUE(h.Add("u", "pw", 60));
    const SentDatagram request = h.LastSent();
    EXPECT_FALSE(h.Deliver(MakeReply(kAccept, request.Id(), AuthenticatorOf(request.bytes), "not-the-secret")));
    EXPECT_EQ(log.LinesAt(1), (std::vector<std::string>{"Response not authenticated.",
                                                        "Reply 1 discarded: u's request stays outstanding"}));
    EXPECT_EQ(h.SessionOf("u")->state, State::Authenticating);
    EXPECT_TRUE(h.Lines().empty());
    EXPECT_TRUE(h.Answer(kAccept));  // the true reply still finds its request
    EXPECT_EQ(h.SessionOf("u")->state, State::AccountingStart);
    EXPECT_EQ(h.Engine().Statistics().Summarize(RequestKind::Access).replies, 1u);
}

TEST_F(Replies, AReplyThatFailsItsAuthenticatorIsLoggedAndHandledAllTheSame) {
    ASSERT_TRUE(h.Add("u", "pw", 60));
    const SentDatagram request = h.LastSent();
    ASSERT_TRUE(h.Deliver(MakeReply(kAccept, request.Id(), AuthenticatorOf(request.bytes), "not-the-secret")));
    EXPECT_EQ(log.LinesAt(1), std::vector<std::string>{"Response not authenticated."});
    EXPECT_EQ(h.SessionOf("u")->state, State::AccountingStart);
    log.Clear();
    ASSERT_TRUE(h.Answer(kAcctResponse));  // signed with the secret: no line
    EXPECT_EQ(log.LinesAt(1), std::vector<std::string>{});
}

TEST_F(Replies, TheClassIsKeptToItsLimitAndEchoedByTheAccounting) {
    const std::pair<std::string, std::string> cases[] = {
        {"gold", "gold"},
        {std::string(31, 'c'), std::string(31, 'c')},
        {std::string(40, 'c'), std::string(31, 'c')},  // cut to 31 characters
        {std::string("ab\0cd", 5), "ab"},              // cut at a zero octet
    };
    int number = 0;
    for (const auto& [sent, kept] : cases) {
        const std::string user = Numbered("u", ++number);
        SCOPED_TRACE(user);
        ASSERT_TRUE(h.Add(user.c_str()));
        ASSERT_TRUE(h.Answer(kAccept, Item(25, Text(sent))));
        EXPECT_EQ(h.SessionOf(user)->accept.className, kept);
        EXPECT_EQ(ItemsOf(h.LastSent().bytes, 25), std::vector<Bytes>{Text(kept)});  // the start
    }
}
