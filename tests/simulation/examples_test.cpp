// The simulation files shipped in examples/ play cleanly through the shipped dictionary.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "infra/clock.h"
#include "protocol/dictionary.h"
#include "simulation/simulation.h"
#include "tests/simulation/simulation_test_support.h"
#include "tests/support/capturing_logger.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr std::time_t kLoadTime = 1767225600;

class ExamplesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(simulation_.Attach(&starter_, "default.dic")); }

    // Loads the example and ticks once a second until it is played out.
    void PlayOut(const char* name) {
        ASSERT_TRUE(simulation_.LoadFile((std::string(PELVOK_SOURCE_DIR) + "/examples/" + name).c_str()));
        for (int second = 1; second < 600 && simulation_.Step(); ++second) clock_.Set(kLoadTime + second);
        EXPECT_FALSE(simulation_.IsFileOpen());
    }

    CapturingLogger log_{1};
    DictionarySet dictionaries_{PELVOK_SOURCE_DIR "/data/"};
    ManualClock clock_{kLoadTime};
    RecordingStarter starter_{clock_};
    Simulation simulation_{clock_};
};

TEST_F(ExamplesTest, DemoSendsAliceBobAndAliceAgain) {
    PlayOut("demo.sim");
    EXPECT_THAT(log_.Lines(), IsEmpty());
    // The last line starts only after the others have ended, so a service run that stops at
    // the end of the file still shows every outcome.
    EXPECT_THAT(starter_.UserNames(), ElementsAre("alice", "bob", "alice", "alice"));
    for (const StartedSession& session : starter_.sessions) {
        EXPECT_FALSE(session.auth.Empty()) << session.userName;
        EXPECT_LE(session.at + static_cast<std::time_t>(session.duration), kLoadTime + 15);
    }
    EXPECT_GE(starter_.sessions.back().at, starter_.sessions[2].at + starter_.sessions[2].duration);
}

TEST_F(ExamplesTest, LoadFileSendsAThousandSessionsWithinAMinute) {
    PlayOut("load-1000.sim");
    EXPECT_THAT(log_.Lines(), IsEmpty());
    ASSERT_EQ(starter_.sessions.size(), 1000u);
    EXPECT_EQ(starter_.sessions.front().userName, "user0001");
    EXPECT_EQ(starter_.sessions.back().userName, "user1000");
    EXPECT_EQ(starter_.sessions.back().at, kLoadTime + 59);
    for (const StartedSession& session : starter_.sessions) {
        EXPECT_EQ(session.auth.Size(), 2u);
        EXPECT_EQ(session.acctStart.Size(), 1u);
        EXPECT_EQ(session.acctStop.Size(), 1u);
    }
}

}  // namespace
