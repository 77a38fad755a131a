// A simulation file played through the engine against the scripted test responder: each
// line's session leaves at its time, with the line's attributes in its Access-Request and in
// its accounting requests, as the responder decodes them on its own.
#include <gtest/gtest.h>

#include <string>

#include "simulation/simulation.h"
#include "tests/infra/temp_folder.h"
#include "tests/integration/engine_driver.h"
#include "tests/responder/test_responder.h"

namespace integration {
namespace {

using responder::ReceivedRequest;
using responder::Rule;

constexpr std::uint8_t kAccessRequest = 1;
constexpr std::uint8_t kAccountingRequest = 4;
constexpr std::uint8_t kNasIpAddress = 4;
constexpr std::uint8_t kCalledStationId = 30;
constexpr std::uint8_t kAcctDelayTime = 41;
constexpr std::uint8_t kAcctTerminateCause = 49;
constexpr std::uint8_t kNasPortType = 61;
constexpr std::uint8_t kConnectInfo = 77;

const ReceivedRequest& Only(const std::vector<ReceivedRequest>& requests, std::uint8_t code,
                            const std::string& user, std::uint32_t statusType = 0) {
    const ReceivedRequest* found = nullptr;
    for (const auto& request : requests)
        if (request.code == code && request.userName == user && request.acctStatusType == statusType) {
            EXPECT_EQ(found, nullptr) << user << " sent twice";
            found = &request;
        }
    if (found == nullptr) ADD_FAILURE() << "nothing from " << user;
    static const ReceivedRequest none;
    return found ? *found : none;
}

TEST(SimulationResponderTest, EachLineLeavesAtItsTimeWithItsAttributes) {
    responder::TestResponder server;
    server.SetDefaultRule(Rule::Accept());
    ASSERT_TRUE(server.Start()) << server.LastError();
    EngineSettings settings;
    settings.serverPort = server.AuthPort();
    EngineDriver driver(settings);
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();

    TempFolder folder;
    const std::string path = folder.Path("lines.sim");
    folder.Write("lines.sim",
                 "0:00:00:00,alice,pw1,00:01,Auth:NAS-IP-Address=10.1.2.3,NAS-Port-Type=Ethernet;"
                 "Acct:Acct-Delay-Time=5;AcctStop:Acct-Terminate-Cause=User-Request\n"
                 "0:00:00:02,bob,pw2,00:01,Auth:Called-Station-Id=lobby;AcctStart:Connect-Info=fast\n"
                 "0:00:00:02,carol,pw3,00:01\n");

    Simulation simulation;
    ASSERT_TRUE(simulation.Attach(&driver.Engine(), "default.dic"));
    ASSERT_TRUE(simulation.LoadFile(path.c_str()));
    bool running = true;
    // The simulation steps on the engine's pace, as the window's tick does.
    ASSERT_TRUE(driver.RunUntil([&] {
        running = running && simulation.Step();
        return !running && driver.Engine().SessionCount() == 0;
    })) << driver.Dump();

    const auto received = server.Received();
    EXPECT_EQ(received.size(), 9u);  // three sessions: request, start, stop each

    const ReceivedRequest& alice = Only(received, kAccessRequest, "alice");
    EXPECT_EQ(alice.password, "pw1");
    EXPECT_EQ(alice.Integer(kNasIpAddress), 0x0A010203u);
    EXPECT_EQ(alice.Integer(kNasPortType), 15u);
    for (std::uint32_t status : {1u, 2u}) {
        const ReceivedRequest& accounting = Only(received, kAccountingRequest, "alice", status);
        EXPECT_EQ(accounting.Integer(kAcctDelayTime), 5u);  // "Acct:" goes into both
        EXPECT_EQ(accounting.Count(kAcctTerminateCause), status == 2 ? 1 : 0);
    }

    const ReceivedRequest& bob = Only(received, kAccessRequest, "bob");
    EXPECT_EQ(bob.Text(kCalledStationId), "lobby");
    EXPECT_EQ(Only(received, kAccountingRequest, "bob", 1).Text(kConnectInfo), "fast");
    EXPECT_EQ(Only(received, kAccountingRequest, "bob", 2).Count(kConnectInfo), 0);
    const ReceivedRequest& carol = Only(received, kAccessRequest, "carol");
    EXPECT_EQ(carol.attributes.size(), 2u);  // User-Name and User-Password only

    // Offsets count whole seconds from the second the file was loaded in, so offset 2 leaves
    // one to two seconds after offset 0; lines due together leave in one tick.
    using std::chrono::milliseconds;
    EXPECT_GE(bob.time - alice.time, milliseconds(950));
    EXPECT_LE(bob.time - alice.time, milliseconds(2300));
    EXPECT_LT(carol.time - bob.time, milliseconds(50));
    EXPECT_GE(carol.time, bob.time);
}

}  // namespace
}  // namespace integration
