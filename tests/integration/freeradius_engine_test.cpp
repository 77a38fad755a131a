// The engine against FreeRADIUS 3.2 on the loopback address, started by the ctest fixture
// (scripts/freeradius.sh with examples/freeradius): alice is accepted, bob rejected with a
// message, carol challenged for her PIN, vera accepted with vendor-specific attributes. The
// server writes every request it reads, attribute by attribute, into its detail files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "simulation/simulation.h"
#include "tests/integration/engine_driver.h"

namespace integration {
namespace {

class FreeRadiusEngineTest : public FreeRadiusTest {
protected:
    FreeRadiusEngineTest() : FreeRadiusTest(PELVOK_FREERADIUS_DIR, PELVOK_FREERADIUS_PORT) {}

    // Everything the server's detail files of that kind (auth-detail, detail) hold.
    static std::string DetailFiles(const std::string& prefix) {
        std::string text;
        const std::filesystem::path folder = std::string(PELVOK_FREERADIUS_DIR) + "/log/radacct/127.0.0.1";
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error))
            if (entry.path().filename().string().rfind(prefix, 0) == 0) {
                std::ostringstream content;
                content << std::ifstream(entry.path()).rdbuf();
                text += content.str();
            }
        return text;
    }
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

TEST_F(FreeRadiusEngineTest, VendorAttributesOfASimulationLineReachTheServerByName) {
    const char* const tree = "/usr/share/freeradius/";
    EngineSettings settings = Settings();
    settings.dictionaryDir = tree;
    settings.dictionaryName = "dictionary";
    EngineDriver driver(settings);
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    const std::string path = std::string(PELVOK_FREERADIUS_DIR) + "/vendor.sim";
    std::ofstream(path) << "0:00:00:00,vera,verapw,00:01,Auth:Cisco-AVPair=shell:priv-lvl=7,"
                           "Lucent-Max-Shared-Users=5,Tunnel-Type:1=L2TP;Acct:Acct-Input-Octets-64=1234567890123\n";
    Simulation simulation;
    ASSERT_TRUE(simulation.Attach(&driver.Engine(), "dictionary"));
    ASSERT_TRUE(simulation.LoadFile(path.c_str())) << driver.Dump();
    ASSERT_TRUE(driver.RunUntil([&] { return !simulation.Step() && driver.Engine().SessionCount() == 0; }))
        << driver.Dump();
    EXPECT_EQ(driver.Lines(), (std::vector<std::string>{"vera: Auth Accept", "vera: Account START Reply",
                                                         "vera: Account STOP Reply"}))
        << driver.Dump();

    // FreeRADIUS read each of them by its own dictionary.
    const std::string requests = DetailFiles("auth-detail-");
    for (const char* line : {"\tCisco-AVPair = \"shell:priv-lvl=7\"\n", "\tLucent-Max-Shared-Users = 5\n",
                             "\tTunnel-Type:1 = L2TP\n"})
        EXPECT_NE(requests.find(line), std::string::npos) << line << requests;
    EXPECT_NE(DetailFiles("detail-").find("\tAcct-Input-Octets-64 = 1234567890123\n"), std::string::npos);
    // The trace names them, those of the Access-Accept too.
    for (const char* line : {"  Cisco-AVPair = shell:priv-lvl=7", "  Lucent-Max-Shared-Users = 5",
                             "  Tunnel-Type:1 = 3", "  Cisco-AVPair = shell:priv-lvl=15",
                             "  Lucent-Max-Shared-Users = 3", "  Acct-Input-Octets-64 = 1234567890123"})
        EXPECT_TRUE(driver.Log().Contains(line)) << line << "\n" << driver.Dump();
}

}  // namespace
}  // namespace integration
