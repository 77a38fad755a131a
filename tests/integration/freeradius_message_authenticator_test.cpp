// Against a FreeRADIUS that requires Message-Authenticator (require_message_authenticator =
// yes, started by the ctest fixture "freeradius_ma"): it answers only Access-Requests that
// carry a right one, and silently discards the others.
#include <gtest/gtest.h>

#include <string>

#include "tests/integration/engine_driver.h"

namespace integration {
namespace {

const char* const kHint =
    "No reply to an Access-Request: the server may require Message-Authenticator "
    "(set MessageAuthenticator=1 in [Options])";

class FreeRadiusRequiringMessageAuthenticator : public FreeRadiusTest {
protected:
    FreeRadiusRequiringMessageAuthenticator()
        : FreeRadiusTest(PELVOK_FREERADIUS_MA_DIR, PELVOK_FREERADIUS_MA_PORT) {}
};

TEST_F(FreeRadiusRequiringMessageAuthenticator, WithoutItEveryAccessRequestGoesUnanswered) {
    EngineDriver driver(Settings());
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    ASSERT_TRUE(driver.Add("alice", "alicepw", 1));
    ASSERT_TRUE(driver.Add("bob", "x", 1));
    ASSERT_TRUE(driver.RunUntilIdle(std::chrono::seconds(20))) << driver.Dump();
    EXPECT_EQ(driver.Lines(), (std::vector<std::string>{
                                  "alice: No response from server - Dropping request.",
                                  "bob: No response from server - Dropping request.",
                              }))
        << driver.Dump();
    EXPECT_EQ(driver.Engine().Counters().authResponses, 0);
    EXPECT_EQ(driver.Log().CountStartingWith(kHint), 1) << driver.Dump();
}

TEST_F(FreeRadiusRequiringMessageAuthenticator, WithItTheUserIsAcceptedAndAccountingRunsToItsEnd) {
    EngineDriver driver(Settings());
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    driver.Engine().SetMessageAuthenticator(true);
    // Servers from 3.2.5 on sign their replies in turn, older ones do not: a missing one is
    // logged and handled, a signature must check out.
    driver.Engine().SetRequireMessageAuthenticator(1);
    ASSERT_TRUE(driver.Add("alice", "alicepw", 1));
    ASSERT_TRUE(driver.RunUntilIdle()) << driver.Dump();
    EXPECT_EQ(driver.Lines(), (std::vector<std::string>{
                                  "alice: Auth Accept, Service=Framed, FramedProtocol=ppp, Ip=10.0.0.5",
                                  "alice: Account START Reply",
                                  "alice: Account STOP Reply",
                              }))
        << driver.Dump();
    EXPECT_EQ(driver.Log().CountStartingWith("Message-Authenticator wrong"), 0) << driver.Dump();
    EXPECT_FALSE(driver.Log().Contains("Response not authenticated.")) << driver.Dump();
    EXPECT_EQ(driver.Engine().Counters().authRequests, 1);
    EXPECT_EQ(driver.Engine().Counters().acctStopResponses, 1);
}

}  // namespace
}  // namespace integration
