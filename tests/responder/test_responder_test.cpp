#include "tests/responder/test_responder.h"

#include <gtest/gtest.h>

#include <functional>

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
                                               *WireAttribute::Address(kFramedIpAddress, "10.0.0.5"),
                                               WireAttribute::Text(kClass, "gold")})
                                     .WithPassword("alicepw"));
        server_.SetRule("bob", Rule::Reject("Go away"));
        server_.SetRule("carol", Rule::Challenge("Enter PIN", "st-1", "4321"));
        ASSERT_TRUE(server_.Start()) << server_.LastError();
    }

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

TEST_F(TestResponderTest, AccessAnswersFollowTheRulesAndTheChallengeDialog) {
    const WireAttribute state = WireAttribute::Text(kState, "st-1");
    struct Case {
        Bytes request;
        std::uint8_t code;
        const char* message;
    };
    const Case cases[] = {
        {AccessRequest(2, "bob", "x"), kAccessReject, "Go away"},
        {AccessRequest(3, "carol", "x"), kAccessChallenge, "Enter PIN"},
        {AccessRequest(4, "carol", "1234", "MeadowLantern", {state}), kAccessReject, ""},
        {AccessRequest(5, "carol", "4321", "MeadowLantern", {state}), kAccessAccept, ""},
    };
    for (const Case& c : cases) {
        const auto reply = Exchange(c.request);
        ASSERT_TRUE(reply) << int{c.request[1]};
        EXPECT_EQ(reply->code, c.code) << int{c.request[1]};
        const WireAttribute* message = reply->Find(kReplyMessage);
        EXPECT_EQ(message ? message->AsText() : "", c.message) << int{c.request[1]};
        if (c.code == kAccessChallenge) { EXPECT_EQ(reply->Find(kState)->AsText(), "st-1"); }
    }
}

TEST_F(TestResponderTest, AccountingIsAnsweredOnlyWithTheRightAuthenticator) {
    const auto reply = Exchange(AccountingRequest(9, "alice", 1), true);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, kAccountingResponse);
    ASSERT_TRUE(client_.Send(AccountingRequest(10, "alice", 2, "not-the-secret"), server_.AcctPort()));
    EXPECT_FALSE(client_.Receive(kQuiet));
    server_.SetDropBadAccounting(false);
    ASSERT_TRUE(client_.Send(AccountingRequest(11, "alice", 2, "not-the-secret"), server_.AcctPort()));
    EXPECT_TRUE(client_.Receive(kWait));

}

TEST_F(TestResponderTest, EveryFaultMode) {
    using Check = std::function<void(const Bytes& request, const std::vector<Bytes>& replies)>;
    auto garbage = [](const char* expected) -> Check {
        return [expected](const Bytes& request, const std::vector<Bytes>& replies) {
            std::string problem;
            EXPECT_FALSE(DecodePacket(replies[0], &problem));
            EXPECT_NE(problem.find(expected), std::string::npos) << problem;
            EXPECT_EQ(replies[0][1], request[1]);
        };
    };
    auto authentic = [](const Bytes& request, const std::vector<Bytes>& replies) {
        for (const Bytes& reply : replies) EXPECT_TRUE(IsAuthentic(reply, request));
    };
    struct Case {
        const char* name;
        Fault fault;
        int sends;              // transmissions of the same Access-Request
        std::size_t replies;    // datagrams that come back
        Check check;
    };
    const Case cases[] = {
        {"silent for two", Fault::SilentFor(2), 3, 1, authentic},
        {"silent always", Fault::SilentAlways(), 4, 0, nullptr},
        {"twice", Fault::Twice(), 1, 2,
         [&](const Bytes& request, const std::vector<Bytes>& replies) {
             authentic(request, replies);
             EXPECT_EQ(replies[0], replies[1]);
         }},
        {"wrong secret", Fault::WrongSecret(), 1, 1,
         [](const Bytes& request, const std::vector<Bytes>& replies) {
             EXPECT_FALSE(IsAuthentic(replies[0], request));
             EXPECT_TRUE(IsAuthentic(replies[0], request, "MeadowLantern-not"));
         }},
        {"padding", Fault::Padding(5), 1, 1,
         [&](const Bytes& request, const std::vector<Bytes>& replies) {
             authentic(request, replies);  // over the octets the Length field names
             const std::size_t length = std::size_t{replies[0][2]} << 8 | replies[0][3];
             EXPECT_EQ(replies[0].size(), length + 5);
         }},
        {"garbage short", Fault::Garbage(GarbageStyle::Short), 1, 1, garbage("shorter than a RADIUS header")},
        {"garbage attribute", Fault::Garbage(GarbageStyle::BrokenAttribute), 1, 1, garbage("with length 0")},
    };
    std::uint8_t identifier = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string user = std::string("fault-") + std::to_string(++identifier);
        server_.SetRule(user, Rule::Accept().With(c.fault));
        const Bytes request = AccessRequest(identifier, user, "pw");
        for (int i = 0; i < c.sends; ++i) ASSERT_TRUE(client_.Send(request, server_.AuthPort()));
        std::vector<Bytes> replies;
        while (replies.size() < c.replies)
            if (auto reply = client_.Receive(kWait)) replies.push_back(*reply);
            else break;
        ASSERT_EQ(replies.size(), c.replies);
        EXPECT_FALSE(client_.Receive(kQuiet));
        if (c.check) c.check(request, replies);
    }
}

}  // namespace
}  // namespace responder
