// The engine against the scripted test responder: the responder decodes every password and
// checks every accounting authenticator on its own, and bends its replies as told.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/integration/engine_driver.h"
#include "tests/responder/test_responder.h"

namespace integration {
namespace {

using responder::Fault;
using responder::ReceivedRequest;
using responder::Rule;
using responder::WireAttribute;

class EngineResponderTest : public ::testing::Test {
protected:
    void StartResponder() { ASSERT_TRUE(server_.Start()) << server_.LastError(); }
    EngineSettings Settings() const {
        EngineSettings settings;
        settings.serverPort = server_.AuthPort();
        return settings;
    }

    responder::TestResponder server_;
};

TEST_F(EngineResponderTest, EveryRequestReadsBackIndependently) {
    server_.SetDefaultRule(Rule::Accept({WireAttribute::Integer(responder::kServiceType, 2),
                                         WireAttribute::Text(responder::kClass, "gold")}));
    StartResponder();
    EngineDriver driver(Settings());
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    const std::string sixteen = "0123456789abcdef";
    const std::string sixtyFour(64, 'p');
    ASSERT_TRUE(driver.Add("alice", "alicepw", 1));
    ASSERT_TRUE(driver.Add("sixteen", sixteen.c_str(), 1));
    ASSERT_TRUE(driver.Add("empty", "", 1));
    ASSERT_TRUE(driver.Add("long", sixtyFour.c_str(), 1));
    ASSERT_TRUE(driver.RunUntilIdle()) << driver.Dump();

    std::map<std::string, std::string> passwords;
    int accounting = 0;
    for (const ReceivedRequest& request : server_.Received()) {
        ASSERT_TRUE(request.wellFormed) << request.problem;
        if (request.code == responder::kAccessRequest) {
            ASSERT_TRUE(request.password) << request.userName;
            passwords[request.userName] = *request.password;
            EXPECT_EQ(request.Find(responder::kUserPassword)->value.size(), request.userName == "long" ? 80u
                                                                         : request.userName == "sixteen" ? 32u
                                                                                                         : 16u)
                << request.userName;
        } else {
            ++accounting;
            EXPECT_EQ(request.accountingAuthenticatorValid, true) << request.userName;
            EXPECT_EQ(request.Integer(responder::kServiceType), 2u);
            EXPECT_EQ(request.Text(responder::kClass), "gold");
            EXPECT_EQ(request.Count(responder::kAcctSessionTime), request.acctStatusType == 2 ? 1 : 0);
        }
    }
    EXPECT_EQ(passwords, (std::map<std::string, std::string>{
                             {"alice", "alicepw"}, {"sixteen", sixteen}, {"empty", ""}, {"long", sixtyFour}}));
    EXPECT_EQ(accounting, 8);
}

TEST_F(EngineResponderTest, WrongSecretIsLoggedForEveryReplyAndTheSessionGoesOn) {
    server_.SetDefaultRule(Rule::Accept().With(Fault::WrongSecret()));
    StartResponder();
    EngineDriver driver(Settings());
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    ASSERT_TRUE(driver.Add("alice", "pw", 1));
    ASSERT_TRUE(driver.RunUntilIdle()) << driver.Dump();
    EXPECT_EQ(driver.Log().Count("Response not authenticated."), 3) << driver.Dump();
    EXPECT_EQ(driver.Lines(),
              (std::vector<std::string>{"alice: Auth Accept", "alice: Account START Reply", "alice: Account STOP Reply"}))
        << driver.Dump();
}

TEST_F(EngineResponderTest, UnansweredRequestIsRetransmittedWithTheSameIdentifier) {
    server_.SetDefaultRule(Rule::Accept().With(Fault::SilentFor(1, responder::kAccessPackets)));
    StartResponder();
    EngineDriver driver(Settings());
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    ASSERT_TRUE(driver.Add("alice", "pw", 1));
    ASSERT_TRUE(driver.RunUntilIdle()) << driver.Dump();
    std::vector<ReceivedRequest> access;
    for (const auto& request : server_.Received())
        if (request.code == responder::kAccessRequest) access.push_back(request);
    ASSERT_EQ(access.size(), 2u);
    EXPECT_EQ(access[0].identifier, access[1].identifier);
    EXPECT_NE(access[0].authenticator, access[1].authenticator);
    EXPECT_EQ(access[1].password, "pw");
    EXPECT_GE(access[1].time - access[0].time, std::chrono::milliseconds(1000));
    EXPECT_EQ(driver.Engine().Counters().authRequests, 1);
    EXPECT_TRUE(driver.HasLine("alice: Account STOP Reply")) << driver.Dump();
}

TEST_F(EngineResponderTest, MalformedRepliesDoNotHurtTheEngine) {
    using responder::GarbageStyle;
    struct Case {
        GarbageStyle style;
        const char* firstLine;
    };
    // A datagram cut short of its header or its Length is no reply: the request goes
    // unanswered. Attributes of bad length end the walk over them; the reply itself stands.
    for (const Case& c : {Case{GarbageStyle::Short, "alice: No response from server - Dropping request."},
                          Case{GarbageStyle::LengthBeyondData, "alice: No response from server - Dropping request."},
                          Case{GarbageStyle::BrokenAttribute, "alice: Auth Accept"}}) {
        responder::TestResponder server;
        server.SetDefaultRule(Rule::Accept().With(Fault::Garbage(c.style, responder::kAccessPackets)));
        ASSERT_TRUE(server.Start()) << server.LastError();
        EngineSettings settings;
        settings.serverPort = server.AuthPort();
        settings.resendAuth = false;
        EngineDriver driver(settings);
        ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
        ASSERT_TRUE(driver.Add("alice", "pw", 1));
        ASSERT_TRUE(driver.RunUntilIdle()) << driver.Dump();
        ASSERT_FALSE(driver.Lines().empty()) << driver.Dump();
        EXPECT_EQ(driver.Lines().front(), c.firstLine) << driver.Dump();
    }
}

TEST_F(EngineResponderTest, SeveralSocketsCarryMoreRequestsThanOneCouldAndLoseNothing) {
    server_.SetDefaultRule(Rule::Accept());
    StartResponder();
    EngineSettings settings = Settings();
    settings.sockets = 4;
    settings.nasPorts = 700;
    settings.authTimeout = 10;  // a slow test machine must not make retransmissions
    settings.acctTimeout = 10;
    EngineDriver driver(settings);
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    // Every Access-Request is outstanding until the loop turns: more than one socket's 255.
    constexpr int kSessions = 600;
    for (int i = 0; i < kSessions; ++i) ASSERT_TRUE(driver.Add(("user" + std::to_string(i)).c_str(), "pw", 1)) << i;
    ASSERT_TRUE(driver.RunUntilIdle(std::chrono::seconds(60))) << driver.Dump();

    // Four source ports, identifier 1 on each: nothing lost, nothing sent twice, every reply
    // matched to its own request.
    std::map<std::uint8_t, std::set<std::uint16_t>> portsByAccessId;
    for (const ReceivedRequest& request : server_.Received())
        if (request.code == responder::kAccessRequest) portsByAccessId[request.identifier].insert(request.fromPort);
    EXPECT_EQ(portsByAccessId[1].size(), 4u);
    EXPECT_EQ(server_.Received().size(), 3u * kSessions);
    EXPECT_EQ(driver.Engine().Counters().acctStopResponses, kSessions);
    for (const std::string& line : driver.Log().Lines()) {
        EXPECT_EQ(line.find("Unrecognized"), std::string::npos) << line;
        EXPECT_NE(line, "Response not authenticated.");
    }
}

}  // namespace
}  // namespace integration
