// The engine against FreeRADIUS 3.2 on the loopback address, started by the ctest fixture
// (scripts/freeradius.sh with examples/freeradius): alice is accepted, bob rejected with a
// message, carol challenged for her PIN.
#include <gtest/gtest.h>

#include <string>

#include "tests/integration/engine_driver.h"

namespace integration {
namespace {

class FreeRadiusEngineTest : public FreeRadiusTest {
protected:
    FreeRadiusEngineTest() : FreeRadiusTest(PELVOK_FREERADIUS_DIR, PELVOK_FREERADIUS_PORT) {}
};

TEST_F(FreeRadiusEngineTest, AcceptedUserRunsThroughAccountingToItsEnd) {
    EngineDriver driver(Settings());
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    ASSERT_TRUE(driver.Add("alice", "alicepw", 1)) << driver.Engine().LastError();
    ASSERT_TRUE(driver.RunUntilIdle()) << driver.Dump();

    EXPECT_EQ(driver.Lines(), (std::vector<std::string>{
                                  "alice: Auth Accept, Service=Framed, FramedProtocol=ppp, Ip=10.0.0.5",
                                  "alice: Account START Reply",
                                  "alice: Account STOP Reply",
                              }))
        << driver.Dump();
    EXPECT_FALSE(driver.Log().Contains("Response not authenticated.")) << driver.Dump();
    EXPECT_EQ(driver.Engine().NasPorts().FreeCount(), 16u);
}

TEST_F(FreeRadiusEngineTest, RejectedUserEndsWithTheServersMessage) {
    EngineDriver driver(Settings());
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    ASSERT_TRUE(driver.Add("bob", "whatever", 1));
    ASSERT_TRUE(driver.RunUntilIdle()) << driver.Dump();
    EXPECT_EQ(driver.Lines(), std::vector<std::string>{"bob: Auth Reject, Message=Bob is not welcome here"})
        << driver.Dump();
    EXPECT_TRUE(driver.Log().Contains("Rejecting logon for user: bob")) << driver.Dump();
    EXPECT_EQ(driver.Engine().Counters().acctStartRequests, 0);
}

TEST_F(FreeRadiusEngineTest, ChallengedUserAnswersAndIsAcceptedInASecondSession) {
    EngineDriver driver(Settings());
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    std::string askedUser, askedMessage, askedState;
    int challenges = 0;
    driver.Engine().SetChallengeCallback([&](const char* user, const char* message, const std::string* state) {
        ++challenges;
        askedUser = user ? user : "";
        askedMessage = message ? message : "";
        askedState = state ? *state : "";
        if (askedState.empty()) return false;
        // As the Challenge dialog does: a new session with the State and the response.
        AttributeList auth;
        auth.Append(RadiusAttribute("State", 24, askedState));
        return driver.Engine().AddSession(user, "4321", 1, auth, {}, {});
    });
    ASSERT_TRUE(driver.Add("carol", "first-try", 1));
    ASSERT_TRUE(driver.RunUntil([&] { return challenges > 0 && driver.Engine().SessionCount() == 0; })) << driver.Dump();

    EXPECT_EQ(challenges, 1);
    EXPECT_EQ(askedUser, "carol");
    EXPECT_EQ(askedMessage, "Enter your PIN");
    EXPECT_EQ(askedState.size(), 16u) << askedState;
    EXPECT_EQ(driver.Lines(), (std::vector<std::string>{
                                  "carol: Auth Accept",
                                  "carol: Account START Reply",
                                  "carol: Account STOP Reply",
                              }))
        << driver.Dump();
    EXPECT_EQ(driver.Engine().Counters().authRequests, 2);
}

TEST_F(FreeRadiusEngineTest, WrongSecretRepliesAreUnauthenticatedButHandled) {
    EngineSettings settings = Settings();
    settings.secret = "NotTheSecret";
    EngineDriver driver(settings);
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    ASSERT_TRUE(driver.Add("bob", "x", 1));
    ASSERT_TRUE(driver.RunUntilIdle()) << driver.Dump();
    EXPECT_TRUE(driver.Log().Contains("Response not authenticated.")) << driver.Dump();
    EXPECT_EQ(driver.Lines(), std::vector<std::string>{"bob: Auth Reject, Message=Bob is not welcome here"})
        << driver.Dump();
}

}  // namespace
}  // namespace integration
