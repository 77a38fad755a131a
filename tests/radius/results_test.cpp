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
             Case{7, 2, 1, 0, 3, 0,
                  "alice: Auth Accept, Service=Exec, FramedProtocol=slip, FramedCompression=Van_Jacobsen_Tcp_Ip, "
                  "LoginService=Portmaster"},
             Case{11, 256, -1, 0, 9, 0, "alice: Auth Accept, Service=11, FramedProtocol=256, LoginService=9"},
         }) {
        Session session;
        session.userName = "alice";
        session.accept.serviceType = c.serviceType;
        session.accept.framedProtocol = c.framedProtocol;
        session.accept.framedCompression = c.framedCompression;
        session.accept.framedIpAddress = c.framedIp;
        session.accept.loginService = c.loginService;
        session.accept.loginIpHost = c.loginHost;
        EXPECT_EQ(ComposeResultLine(ResultKind::AuthAccept, session, {}), c.line);
    }
}

TEST(CounterReport, ComesOnceWhenTheLastSessionEndsAndStartsAtTheReset) {
    EngineHarness h;
    h.Clock().Advance(3600 * 1000);
    h.Engine().ResetCounters();
    const std::time_t reset = h.Clock().Now();
    FullCycle(h, "a");
    ASSERT_TRUE(h.Add("typed-by-hand", "pw", 100));
    h.Engine().SetSimulationDone();
    h.AdvanceAndTick(5001);
    EXPECT_EQ(h.Lines().size(), 3u);  // no report while the hand-typed session lives
    ASSERT_TRUE(h.Answer(3));
    const std::vector<std::string> report = {
        "---------- Rquests Counter Report -----------",
        "Start=" + ClockText(reset) + ", End=" + ClockText(h.Clock().Now()),
        "Requests: Auth=2, Acct-Start=1, Acct-Stop=1",
        "Responses: Auth=2, Acct-Start=1, Acct-Stop=1",
    };
    EXPECT_EQ(std::vector<std::string>(h.Lines().begin() + 4, h.Lines().end()), report);
    EXPECT_FALSE(h.Engine().SimulationDone());
    FullCycle(h, "d");  // a later removal does not repeat it
    EXPECT_EQ(h.Lines().back(), "d: Account STOP Reply");
    EXPECT_EQ(h.Lines().size(), 8u + 3u);
}
