// Message-Authenticator on the wire: the test responder checks every Access-Request's on its
// own (RFC 3579 section 3.2), first transmissions, retransmissions and challenge answers alike.
#include <gtest/gtest.h>

#include <string>

#include "tests/integration/engine_driver.h"
#include "tests/responder/test_responder.h"

namespace integration {
namespace {

using responder::Fault;
using responder::ReceivedRequest;
using responder::Rule;

TEST(MessageAuthenticatorResponder, FirstTransmissionsRetransmissionsAndChallengeAnswersCarryARightOne) {
    responder::TestResponder server;
    server.SetDefaultRule(Rule::Accept().With(Fault::SilentFor(1, responder::kAccessPackets)));
    server.SetRule("carol", Rule::Challenge("PIN?", "st-1", "4321"));
    ASSERT_TRUE(server.Start()) << server.LastError();
    EngineSettings settings;
    settings.serverPort = server.AuthPort();
    EngineDriver driver(settings);
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    driver.Engine().SetMessageAuthenticator(true);
    driver.Engine().SetChallengeCallback([&](const char* user, const char*, const std::string* state) {
        AttributeList auth;
        auth.Append(RadiusAttribute("State", 24, state ? *state : std::string()));
        return driver.Engine().AddSession(user, "4321", 1, auth, {}, {});
    });
    ASSERT_TRUE(driver.Add("alice", "alicepw", 1));
    ASSERT_TRUE(driver.Add("carol", "first", 1));
    ASSERT_TRUE(driver.RunUntilIdle()) << driver.Dump();

    int access = 0;
    for (const ReceivedRequest& request : server.Received()) {
        ASSERT_TRUE(request.wellFormed) << request.problem;
        if (request.code == responder::kAccessRequest) {
            ++access;
            EXPECT_EQ(request.messageAuthenticatorValid, true) << request.userName;
            EXPECT_EQ(request.attributes.front().type, responder::kMessageAuthenticator) << request.userName;
        } else {
            EXPECT_EQ(request.messageAuthenticatorValid, std::nullopt) << request.userName;
        }
    }
    EXPECT_EQ(access, 4);  // alice twice (the first goes unanswered), carol, carol's answer
    EXPECT_TRUE(driver.HasLine("alice: Account STOP Reply")) << driver.Dump();
    EXPECT_TRUE(driver.HasLine("carol: Account STOP Reply")) << driver.Dump();
    // The packet trace names it.
    EXPECT_EQ(driver.Log().CountStartingWith("  Message-Authenticator = "), 4) << driver.Dump();
}

}  // namespace
}  // namespace integration
