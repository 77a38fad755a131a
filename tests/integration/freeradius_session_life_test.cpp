// A session's whole life against FreeRADIUS 3.2 (the ctest fixture's server): ivan's Accept
// carries Acct-Interim-Interval 2, and the server's detail module writes every accounting
// request; radclient, as the server's operator would, disconnects a live session, and the
// server itself disconnects olga's once it has started.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/integration/engine_driver.h"

namespace integration {
namespace {

// One accounting request as the detail file lists it: its attributes by name, values as written.
using DetailRecord = std::map<std::string, std::string>;

std::vector<DetailRecord> DetailRecords() {
    std::vector<DetailRecord> records;
    const std::filesystem::path folder = std::string(PELVOK_FREERADIUS_DIR) + "/log/radacct/127.0.0.1";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().filename().string().rfind("detail-", 0) != 0) continue;
        std::ifstream file(entry.path());
        std::string line;
        DetailRecord record;
        while (std::getline(file, line)) {
            if (line.empty()) {
                if (!record.empty()) records.push_back(record);
                record.clear();
            } else if (line[0] == '\t') {
                const std::size_t equals = line.find(" = ");
                if (equals == std::string::npos) continue;
                std::string value = line.substr(equals + 3);
                if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
                record[line.substr(1, equals - 1)] = value;
            }
        }
        if (!record.empty()) records.push_back(record);
    }
    return records;
}

// The records of one session, in the order the server wrote them.
std::vector<DetailRecord> RecordsOf(const std::string& sessionId) {
    std::vector<DetailRecord> mine;
    for (const DetailRecord& record : DetailRecords())
        if (record.count("Acct-Session-Id") && record.at("Acct-Session-Id") == sessionId) mine.push_back(record);
    return mine;
}

// A session the server disconnected: ACK, then a Stop with Admin-Reset. The server may send its
// Disconnect before the Start's reply arrives, so those two lines come in either order.
void ExpectDisconnected(const EngineDriver& driver, const std::string& user, const std::string& acceptLine,
                        const std::string& sessionId) {
    std::vector<std::string> lines = driver.Lines();
    if (lines.size() == 4) std::sort(lines.begin() + 1, lines.begin() + 3);
    EXPECT_EQ(lines, (std::vector<std::string>{acceptLine, user + ": Account START Reply",
                                                user + ": Disconnect-Request ACK", user + ": Account STOP Reply"}))
        << driver.Dump();
    std::vector<DetailRecord> records = RecordsOf(sessionId);
    ASSERT_FALSE(records.empty()) << driver.Dump();
    EXPECT_EQ(records.back()["Acct-Status-Type"], "Stop");
    EXPECT_EQ(records.back()["Acct-Terminate-Cause"], "Admin-Reset");
}

class FreeRadiusSessionLifeTest : public FreeRadiusTest {
protected:
    FreeRadiusSessionLifeTest() : FreeRadiusTest(PELVOK_FREERADIUS_DIR, PELVOK_FREERADIUS_PORT) {}
    // Session numbers of their own, so this run's records stand apart from earlier runs'.
    static std::uint32_t FreshSessionNumbers() { return static_cast<std::uint32_t>(::getpid()) * 1000u; }
};

TEST_F(FreeRadiusSessionLifeTest, InterimsAtTheServersIntervalWithRisingCounters) {
    EngineSettings settings = Settings();
    settings.life.honourInterimInterval = 2;
    settings.life.acctCounters = true;
    EngineDriver driver(settings);
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    driver.Engine().SetLastSessionId(FreshSessionNumbers());
    ASSERT_TRUE(driver.Add("ivan", "ivanpw", 7)) << driver.Engine().LastError();
    const std::string sessionId = std::to_string(driver.Engine().LastSessionId());
    ASSERT_TRUE(driver.RunUntilIdle(std::chrono::seconds(20))) << driver.Dump();
    EXPECT_GE(driver.Engine().Counters().acctInterimResponses, 2) << driver.Dump();

    std::vector<DetailRecord> mine = RecordsOf(sessionId);
    ASSERT_GE(mine.size(), 4u) << driver.Dump();
    EXPECT_EQ(mine.front()["Acct-Status-Type"], "Start");
    EXPECT_EQ(mine.back()["Acct-Status-Type"], "Stop");
    EXPECT_EQ(mine.back()["Acct-Terminate-Cause"], "User-Request");
    EXPECT_EQ(mine.back()["Acct-Session-Time"], "7");
    long long previous = -1;
    for (std::size_t i = 1; i < mine.size(); ++i) {
        if (i + 1 < mine.size()) EXPECT_EQ(mine[i]["Acct-Status-Type"], "Interim-Update");
        const long long octets = std::stoll(mine[i]["Acct-Input-Octets"]);
        EXPECT_GT(octets, previous) << "record " << i;
        previous = octets;
        EXPECT_FALSE(mine[i]["Event-Timestamp"].empty());
    }
}

TEST_F(FreeRadiusSessionLifeTest, RadclientDisconnectEndsALiveSessionWithAckAndStop) {
    EngineSettings settings = Settings();
    settings.life.coaPort = PELVOK_COA_TEST_PORT;
    settings.life.acctCounters = true;
    EngineDriver driver(settings);
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    driver.Engine().SetLastSessionId(FreshSessionNumbers() + 500);
    ASSERT_TRUE(driver.Add("alice", "alicepw", 60)) << driver.Engine().LastError();
    const std::string sessionId = std::to_string(driver.Engine().LastSessionId());
    ASSERT_TRUE(driver.RunUntil([&] { return driver.HasLine("alice: Account START Reply"); })) << driver.Dump();

    // radclient waits for its answer while the engine runs here; its output is read afterwards.
    const std::string command = "echo 'Acct-Session-Id = \"" + sessionId + "\"' | radclient -r 1 -t 3 -x 127.0.0.1:" +
                                std::to_string(PELVOK_COA_TEST_PORT) + " disconnect MeadowLantern 2>&1";
    FILE* radclient = ::popen(command.c_str(), "r");
    ASSERT_NE(radclient, nullptr);
    const bool ended = driver.RunUntilIdle(std::chrono::seconds(10));
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, radclient) != nullptr) output += buffer;
    const int status = ::pclose(radclient);
    ASSERT_TRUE(ended) << driver.Dump() << output;

    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Disconnect-ACK"), std::string::npos) << output;
    ExpectDisconnected(driver, "alice", "alice: Auth Accept, Service=Framed, FramedProtocol=ppp, Ip=10.0.0.5",
                       sessionId);
}

TEST_F(FreeRadiusSessionLifeTest, TheServerDisconnectsASessionItWasToldTheStartOf) {
    EngineSettings settings = Settings();
    settings.life.coaPort = PELVOK_COA_TEST_PORT;
    settings.life.acctCounters = true;
    EngineDriver driver(settings);
    ASSERT_TRUE(driver.Initialized()) << driver.Engine().LastError();
    driver.Engine().SetLastSessionId(FreshSessionNumbers() + 700);
    ASSERT_TRUE(driver.Add("olga", "olgapw", 60)) << driver.Engine().LastError();
    const std::string sessionId = std::to_string(driver.Engine().LastSessionId());
    ASSERT_TRUE(driver.RunUntilIdle(std::chrono::seconds(10))) << driver.Dump();
    ExpectDisconnected(driver, "olga", "olga: Auth Accept", sessionId);
}

}  // namespace
}  // namespace integration
