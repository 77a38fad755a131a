#include "tests/responder/test_responder.h"

#include <gtest/gtest.h>

#include "tests/responder/test_client.h"

namespace responder {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kWait{2000};
// Long enough to be sure nothing is coming on the loopback interface.
constexpr milliseconds kQuiet{150};

class TestResponderTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.SetRule("alice", Rule::Accept({WireAttribute::Integer(kServiceType, 2),
                                               WireAttribute::Integer(kFramedProtocol, 1),
                                               *WireAttribute::Address(kFramedIpAddress, "10.0.0.5"),
                                               WireAttribute::Text(kClass, "gold")})
                                     .WithPassword("alicepw"));
        server_.SetRule("bob", Rule::Reject("Go away"));
        server_.SetRule("carol", Rule::Challenge("Enter PIN", "st-1", "4321"));
    }
    void Start() { ASSERT_TRUE(server_.Start()) << server_.LastError(); }

    // Sends the request and returns the decoded reply, which must be authentic.
    std::optional<WirePacket> Exchange(const Bytes& request, bool accounting = false) {
        if (!client_.Send(request, accounting ? server_.AcctPort() : server_.AuthPort())) return std::nullopt;
        auto reply = client_.Receive(kWait);
        if (!reply) return std::nullopt;
        EXPECT_TRUE(IsAuthentic(*reply, request));
        return DecodePacket(*reply, nullptr);
    }

    TestResponder server_;
    TestClient client_;
};

TEST_F(TestResponderTest, AcceptsWithTheRuleAttributesAndRecordsThePassword) {
    Start();
    const auto reply = Exchange(AccessRequest(7, "alice", "alicepw"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, kAccessAccept);
    EXPECT_EQ(reply->identifier, 7);
    EXPECT_EQ(reply->Find(kServiceType)->AsInteger(), 2u);
    EXPECT_EQ(reply->Find(kFramedIpAddress)->value, (Bytes{10, 0, 0, 5}));
    EXPECT_EQ(reply->Find(kClass)->AsText(), "gold");

    const auto received = server_.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].userName, "alice");
    EXPECT_EQ(received[0].password, "alicepw");
    EXPECT_EQ(received[0].identifier, 7);
    EXPECT_EQ(received[0].authenticator, SomeAuthenticator(7));
    EXPECT_FALSE(received[0].onAccountingPort);
}

TEST_F(TestResponderTest, AccessAnswersFollowTheRules) {
    Start();
    struct Case {
        const char* user;
        const char* password;
        std::uint8_t code;
        const char* message;
    };
    const Case cases[] = {
        {"alice", "wrong", kAccessReject, nullptr},
        {"bob", "x", kAccessReject, "Go away"},
        {"carol", "x", kAccessChallenge, "Enter PIN"},
        {"someone", "any", kAccessAccept, nullptr},  // the default rule
    };
    std::uint8_t identifier = 1;
    for (const Case& c : cases) {
        const auto reply = Exchange(AccessRequest(identifier++, c.user, c.password));
        ASSERT_TRUE(reply) << c.user;
        EXPECT_EQ(reply->code, c.code) << c.user;
        const WireAttribute* message = reply->Find(kReplyMessage);
        EXPECT_EQ(message ? message->AsText() : "", c.message ? c.message : "") << c.user;
    }
}

TEST_F(TestResponderTest, ChallengeIsAnsweredWithTheStateAndTheResponse) {
    Start();
    const auto challenge = Exchange(AccessRequest(1, "carol", "x"));
    ASSERT_TRUE(challenge);
    ASSERT_EQ(challenge->code, kAccessChallenge);
    const WireAttribute state = *challenge->Find(kState);
    EXPECT_EQ(state.AsText(), "st-1");

    auto wrong = Exchange(AccessRequest(2, "carol", "1234", "MeadowLantern", {state}));
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->code, kAccessReject);
    auto right = Exchange(AccessRequest(3, "carol", "4321", "MeadowLantern", {state}));
    ASSERT_TRUE(right);
    EXPECT_EQ(right->code, kAccessAccept);
}

TEST_F(TestResponderTest, AccountingIsAnsweredOnlyWithTheRightAuthenticator) {
    Start();
    const auto reply = Exchange(AccountingRequest(9, "alice", 1), true);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, kAccountingResponse);
    EXPECT_TRUE(reply->attributes.empty());

    ASSERT_TRUE(client_.Send(AccountingRequest(10, "alice", 2, "not-the-secret"), server_.AcctPort()));
    EXPECT_FALSE(client_.Receive(kQuiet));

    const auto received = server_.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].accountingAuthenticatorValid, true);
    EXPECT_EQ(received[0].acctStatusType, 1u);
    EXPECT_EQ(received[1].accountingAuthenticatorValid, false);
    EXPECT_EQ(received[1].acctStatusType, 2u);
    EXPECT_TRUE(received[1].onAccountingPort);
}

TEST_F(TestResponderTest, BadAccountingIsAnsweredWhenDroppingIsOff) {
    server_.SetDropBadAccounting(false);
    Start();
    ASSERT_TRUE(client_.Send(AccountingRequest(10, "alice", 2, "not-the-secret"), server_.AcctPort()));
    EXPECT_TRUE(client_.Receive(kWait));
}

TEST_F(TestResponderTest, RequestsOnTheWrongPortAreRecordedButNotAnswered) {
    Start();
    ASSERT_TRUE(client_.Send(AccessRequest(1, "alice", "alicepw"), server_.AcctPort()));
    ASSERT_TRUE(client_.Send(AccountingRequest(2, "alice", 1), server_.AuthPort()));
    EXPECT_FALSE(client_.Receive(kQuiet));
    EXPECT_TRUE(server_.WaitForRequests(2, kWait));
}

TEST_F(TestResponderTest, MalformedRequestsAreRecordedWithTheirProblem) {
    Start();
    ASSERT_TRUE(client_.Send(Bytes{1, 2, 0, 50, 0}, server_.AuthPort()));
    ASSERT_TRUE(server_.WaitForRequests(1, kWait));
    const auto received = server_.Received();
    EXPECT_FALSE(received[0].wellFormed);
    EXPECT_NE(received[0].problem.find("shorter than a RADIUS header"), std::string::npos);
    EXPECT_FALSE(client_.Receive(kQuiet));
}

TEST_F(TestResponderTest, SilentForTheFirstTransmissionsThenAnswers) {
    server_.SetRule("dave", Rule::Accept().With(Fault::SilentFor(2, kAccessPackets)));
    Start();
    const Bytes request = AccessRequest(5, "dave", "pw");
    ASSERT_TRUE(client_.Send(request, server_.AuthPort()));
    ASSERT_TRUE(client_.Send(request, server_.AuthPort()));
    EXPECT_FALSE(client_.Receive(kQuiet));
    const auto reply = Exchange(request);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, kAccessAccept);
    // Accounting is not covered by this fault.
    EXPECT_TRUE(Exchange(AccountingRequest(6, "dave", 1), true));
}

TEST_F(TestResponderTest, SilentUserIsNeverAnswered) {
    server_.SetRule("mute", Rule::Accept().With(Fault::SilentAlways()));
    Start();
    for (std::uint8_t id = 1; id <= 4; ++id) ASSERT_TRUE(client_.Send(AccessRequest(id, "mute", "pw"), server_.AuthPort()));
    ASSERT_TRUE(client_.Send(AccountingRequest(5, "mute", 1), server_.AcctPort()));
    ASSERT_TRUE(server_.WaitForRequests(5, kWait));
    EXPECT_FALSE(client_.Receive(kQuiet));
    EXPECT_TRUE(server_.Sent().empty());
}

TEST_F(TestResponderTest, TwiceSendsTheSameReplyTwoTimes) {
    server_.SetRule("alice", Rule::Accept().With(Fault::Twice()));
    Start();
    const Bytes request = AccessRequest(3, "alice", "pw");
    ASSERT_TRUE(client_.Send(request, server_.AuthPort()));
    const auto first = client_.Receive(kWait);
    const auto second = client_.Receive(kWait);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, *second);
    EXPECT_TRUE(IsAuthentic(*first, request));
}

TEST_F(TestResponderTest, LateReplyIsHeldForTheDelay) {
    server_.SetRule("slow", Rule::Accept().With(Fault::LateBy(300)));
    Start();
    ASSERT_TRUE(client_.Send(AccessRequest(3, "slow", "pw"), server_.AuthPort()));
    EXPECT_FALSE(client_.Receive(milliseconds(100)));
    ASSERT_TRUE(client_.Receive(kWait));
    const Traffic traffic = server_.Snapshot();
    ASSERT_EQ(traffic.sent.size(), 1u);
    EXPECT_GE(traffic.sent[0].time - traffic.received[0].time, milliseconds(300));
}

TEST_F(TestResponderTest, LateReplyWaitsForFurtherRequests) {
    server_.SetRule("slow", Rule::Accept().With(Fault::LateAfterRequests(1)));
    Start();
    const Bytes first = AccessRequest(1, "slow", "pw");
    ASSERT_TRUE(client_.Send(first, server_.AuthPort()));
    EXPECT_FALSE(client_.Receive(kQuiet));
    // The identifier handed out again: the held reply to the first follows the second's.
    const Bytes second = AccessRequest(1, "alice", "alicepw");
    ASSERT_TRUE(client_.Send(second, server_.AuthPort()));
    const auto replyToSecond = client_.Receive(kWait);
    const auto replyToFirst = client_.Receive(kWait);
    ASSERT_TRUE(replyToSecond && replyToFirst);
    EXPECT_TRUE(IsAuthentic(*replyToSecond, second));
    EXPECT_TRUE(IsAuthentic(*replyToFirst, first));
}

TEST_F(TestResponderTest, WrongSecretSpoilsOnlyTheResponseAuthenticator) {
    server_.SetRule("alice", Rule::Accept().With(Fault::WrongSecret()));
    Start();
    const Bytes request = AccessRequest(3, "alice", "pw");
    ASSERT_TRUE(client_.Send(request, server_.AuthPort()));
    const auto reply = client_.Receive(kWait);
    ASSERT_TRUE(reply);
    EXPECT_FALSE(IsAuthentic(*reply, request));
    EXPECT_TRUE(IsAuthentic(*reply, request, "MeadowLantern-not"));
}

TEST_F(TestResponderTest, PaddingFollowsAnAuthenticPacket) {
    server_.SetRule("alice", Rule::Accept({WireAttribute::Text(kClass, "gold")}).With(Fault::Padding(5)));
    Start();
    const Bytes request = AccessRequest(3, "alice", "pw");
    ASSERT_TRUE(client_.Send(request, server_.AuthPort()));
    const auto reply = client_.Receive(kWait);
    ASSERT_TRUE(reply);
    const std::size_t length = std::size_t{(*reply)[2]} << 8 | (*reply)[3];
    EXPECT_EQ(length, 20u + 6);
    EXPECT_EQ(reply->size(), length + 5);
    EXPECT_TRUE(IsAuthentic(*reply, request));
    // Over every octet received, as a careless client would check, it fails.
    EXPECT_NE(ResponseAuthenticator(*reply, AuthenticatorOf(request), "MeadowLantern"), AuthenticatorOf(*reply));
}

TEST_F(TestResponderTest, EchoSendsTheRequestBackAsCodeFour) {
    server_.SetRule("alice", Rule::Accept().With(Fault::Echo(kAccountingPackets)));
    Start();
    Bytes request = AccountingRequest(4, "alice", 1);
    ASSERT_TRUE(client_.Send(request, server_.AcctPort()));
    const auto reply = client_.Receive(kWait);
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, request);
}

TEST_F(TestResponderTest, GarbageComesInThreeStyles) {
    struct Case {
        GarbageStyle style;
        const char* problem;
    };
    Start();
    std::uint8_t identifier = 1;
    for (const Case& c : {Case{GarbageStyle::Short, "shorter than a RADIUS header"},
                          Case{GarbageStyle::LengthBeyondData, "beyond the"},
                          Case{GarbageStyle::BrokenAttribute, "with length 0"}}) {
        server_.SetRule("alice", Rule::Accept().With(Fault::Garbage(c.style)));
        const Bytes request = AccessRequest(identifier++, "alice", "pw");
        ASSERT_TRUE(client_.Send(request, server_.AuthPort()));
        const auto reply = client_.Receive(kWait);
        ASSERT_TRUE(reply);
        std::string problem;
        EXPECT_FALSE(DecodePacket(*reply, &problem));
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_EQ((*reply)[1], identifier - 1);
    }
}

TEST_F(TestResponderTest, FaultsApplyToTheirPacketKindsOnly) {
    server_.SetRule("alice", Rule::Accept()
                                 .With(Fault::SilentAlways(kAccountingStopPackets))
                                 .With(Fault::WrongSecret(kAccountingStartPackets)));
    Start();
    ASSERT_TRUE(client_.Send(AccessRequest(1, "alice", "pw"), server_.AuthPort()));
    auto reply = client_.Receive(kWait);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(IsAuthentic(*reply, AccessRequest(1, "alice", "pw")));

    const Bytes start = AccountingRequest(2, "alice", 1);
    ASSERT_TRUE(client_.Send(start, server_.AcctPort()));
    reply = client_.Receive(kWait);
    ASSERT_TRUE(reply);
    EXPECT_FALSE(IsAuthentic(*reply, start));

    ASSERT_TRUE(client_.Send(AccountingRequest(3, "alice", 2), server_.AcctPort()));
    EXPECT_FALSE(client_.Receive(kQuiet));
}

TEST_F(TestResponderTest, CountsClearAndSummary) {
    Start();
    ASSERT_TRUE(Exchange(AccessRequest(1, "alice", "alicepw")));
    ASSERT_TRUE(Exchange(AccountingRequest(2, "alice", 1), true));
    ASSERT_TRUE(Exchange(AccountingRequest(3, "alice", 2), true));
    EXPECT_EQ(server_.CountReceived(kAccessRequest), 1u);
    EXPECT_EQ(server_.CountReceived(kAccountingRequest, "alice"), 2u);
    EXPECT_EQ(server_.CountReceived(kAccountingRequest, "bob"), 0u);
    const std::string summary = server_.Summary();
    EXPECT_NE(summary.find("received 3 requests, 0 malformed"), std::string::npos) << summary;
    EXPECT_NE(summary.find("user alice: Access-Request=1 Accounting-Start=1 Accounting-Stop=1"), std::string::npos)
        << summary;
    server_.Clear();
    EXPECT_TRUE(server_.Received().empty());
}

TEST_F(TestResponderTest, StartOnAFixedPortAndStopTwice) {
    Start();
    const std::uint16_t port = server_.AuthPort();
    TestResponder second;
    EXPECT_FALSE(second.Start(port));
    EXPECT_NE(second.LastError().find(std::to_string(port)), std::string::npos);
    EXPECT_FALSE(server_.Start());
    server_.Stop();
    server_.Stop();
    ASSERT_TRUE(second.Start(port)) << second.LastError();
    EXPECT_EQ(second.AcctPort(), port + 1);
}

TEST_F(TestResponderTest, WaitUntilGivesUpAtItsTimeout) {
    Start();
    EXPECT_FALSE(server_.WaitForRequests(1, milliseconds(50)));
}

}  // namespace
}  // namespace responder
