// Result lines and the counter report.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "radius/result_lines.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

std::string ClockText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

Session Named(const char* user) {
    Session session;
    session.userName = user;
    return session;
}

// Runs one session through accept, start, end of duration and stop.
void FullCycle(EngineHarness& h, const char* user) {
    ASSERT_TRUE(h.Add(user, "pw", 1));
    ASSERT_TRUE(h.Answer(2));
    ASSERT_TRUE(h.Answer(5));
    h.AdvanceAndTick(1000);
    ASSERT_TRUE(h.Answer(5));
}

}  // namespace

TEST(ResultLines, AcceptLineNamesTheValuesItCarries) {
    struct Case {
        std::int32_t serviceType, framedProtocol, framedCompression;
        std::uint32_t framedIp;
        std::int32_t loginService;
        std::uint32_t loginHost;
        const char* line;
    };
    for (const Case& c : {
             Case{2, 1, -1, 0x0A000005, -1, 0, "alice: Auth Accept, Service=Framed, FramedProtocol=ppp, Ip=10.0.0.5"},
             Case{-1, -1, -1, 0, 0, 0xC0A80101, "alice: Auth Accept, LoginService=Telnet, HostIp=192.168.1.1"},
             Case{0, 0, 2, 0, -1, 0, "alice: Auth Accept"},
             Case{7, 2, 1, 0, 3, 0,
                  "alice: Auth Accept, Service=Exec, FramedProtocol=slip, FramedCompression=Van_Jacobsen_Tcp_Ip, "
                  "LoginService=Portmaster"},
             Case{11, 256, -1, 0, 9, 0, "alice: Auth Accept, Service=11, FramedProtocol=256, LoginService=9"},
         }) {
        Session session = Named("alice");
        session.serviceType = c.serviceType;
        session.framedProtocol = c.framedProtocol;
        session.framedCompression = c.framedCompression;
        session.framedIpAddress = c.framedIp;
        session.loginService = c.loginService;
        session.loginIpHost = c.loginHost;
        EXPECT_EQ(ComposeResultLine(ResultKind::AuthAccept, session, {}), c.line);
    }
}

TEST(ResultLines, RejectAccountingAndDropLines) {
    Session session = Named("bob");
    const Bytes plain = MakeReply(3, 1, Bytes(16, 0), "s");
    const Bytes withMessage = MakeReply(3, 1, Bytes(16, 0), "s", Item(18, Text("Bad password")));
    EXPECT_EQ(ComposeResultLine(ResultKind::AuthReject, session, plain), "bob: Auth Reject");
    EXPECT_EQ(ComposeResultLine(ResultKind::AuthReject, session, withMessage), "bob: Auth Reject, Message=Bad password");
    session.state = SessionState::AccountingStart;
    EXPECT_EQ(ComposeResultLine(ResultKind::AccountingReply, session, {}), "bob: Account START Reply");
    session.state = SessionState::AccountingStop;
    EXPECT_EQ(ComposeResultLine(ResultKind::AccountingReply, session, {}), "bob: Account STOP Reply");
    EXPECT_EQ(ComposeResultLine(ResultKind::AuthDropped, session, {}), "bob: No response from server - Dropping request.");
    EXPECT_EQ(ComposeResultLine(ResultKind::AccountingDropped, session, {}),
              "bob: No response from server - Dropping Accounting request.");
}

TEST(CounterReport, ThreeFullSessionsCountThreeOfEverythingAndReportOnce) {
    EngineHarness h;
    const std::time_t setUp = h.Clock().Now();
    for (const char* user : {"a", "b", "c"}) FullCycle(h, user);
    h.Lines().clear();
    h.Engine().SetSimulationDone();  // no session is left: the report comes at once
    const std::vector<std::string> expected = {
        "---------- Rquests Counter Report -----------",
        "Start=" + ClockText(setUp) + ", End=" + ClockText(h.Clock().Now()),
        "Requests: Auth=3, Acct-Start=3, Acct-Stop=3",
        "Responses: Auth=3, Acct-Start=3, Acct-Stop=3",
    };
    EXPECT_EQ(h.Lines(), expected);
    EXPECT_FALSE(h.Engine().SimulationDone());
    FullCycle(h, "d");  // a later removal does not repeat it
    EXPECT_EQ(h.Lines().size(), 4u + 3u);
    EXPECT_EQ(h.Lines().back(), "d: Account STOP Reply");
}

TEST(CounterReport, WaitsForTheLastSessionAndStartsAtTheReset) {
    EngineHarness h;
    h.Clock().Advance(3600 * 1000);
    h.Engine().ResetCounters();
    const std::time_t reset = h.Clock().Now();
    ASSERT_TRUE(h.Add("typed-by-hand", "pw", 100));
    ASSERT_TRUE(h.Add("simulated", "pw", 100));
    h.Engine().SetSimulationDone();
    ASSERT_TRUE(h.Answer(3));  // "simulated" ends; the hand-typed session still lives
    EXPECT_EQ(h.Lines(), std::vector<std::string>{"simulated: Auth Reject"});
    h.AdvanceAndTick(5001);
    ASSERT_TRUE(h.Answer(3));
    ASSERT_EQ(h.Lines().size(), 1u + 1u + 4u);
    EXPECT_EQ(h.Lines()[2], "---------- Rquests Counter Report -----------");
    EXPECT_EQ(h.Lines()[3], "Start=" + ClockText(reset) + ", End=" + ClockText(h.Clock().Now()));
    EXPECT_EQ(h.Lines()[4], "Requests: Auth=2, Acct-Start=0, Acct-Stop=0");
    EXPECT_EQ(h.Lines()[5], "Responses: Auth=2, Acct-Start=0, Acct-Stop=0");
}

TEST(CounterReport, WithIncomingNotifyOffOnlyDropsAndTheReportAreShown) {
    EngineHarness h({.resendAuth = false});
    h.Engine().SetIncomingNotify(false);
    FullCycle(h, "quiet");
    ASSERT_TRUE(h.Add("lost"));
    h.Engine().SetSimulationDone();
    h.AdvanceAndTick(5001);
    ASSERT_EQ(h.Lines().size(), 5u);
    EXPECT_EQ(h.Lines()[0], "lost: No response from server - Dropping request.");
    EXPECT_EQ(h.Lines()[1], "---------- Rquests Counter Report -----------");
}

TEST(CounterReport, NothingWithoutAResultCallback) {
    EngineHarness h;
    h.Engine().SetResultCallback(nullptr);
    FullCycle(h, "a");
    h.Engine().SetSimulationDone();
    EXPECT_TRUE(h.Lines().empty());
    EXPECT_FALSE(h.Engine().SimulationDone());
}
