// Paced ticking on the hand-moved clock: every line, retransmission and drop happens at its own
// millisecond (nothing early, nothing late), and the waits between wake-ups are the whole gaps.
#include "shell/pacing.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "radius/radius_engine.h"
#include "simulation/simulation.h"
#include "tests/infra/temp_folder.h"
#include "tests/radius/engine_test_support.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccessRequest = 1;
constexpr std::uint8_t kUserName = 1;

// Wakes the engine and the simulation as the paced shell does, until both are done, noting
// when (calendar milliseconds since the load) each user's Access-Requests left.
struct PacedRun {
    explicit PacedRun(EngineHarness& harness) : h(harness), simulation(harness.Clock()) {
        simulation.Attach(&h.Engine(), nullptr);
    }

    void Play(const std::string& file) {
        folder.Write("paced.sim", file);
        const std::int64_t load = h.Clock().NowMilliseconds();
        ASSERT_TRUE(simulation.LoadFile(folder.Path("paced.sim").c_str()));
        bool playing = true;
        Note(load);
        for (; wakeUps < 1000 && (playing || h.Engine().SessionCount() > 0); ++wakeUps) {
            const std::uint32_t delay = PacedDelayMs(h.Engine(), playing ? &simulation : nullptr, h.Clock());
            ASSERT_LE(delay, kLongestPacedSleepMs);
            h.Clock().Advance(delay);
            h.Engine().Tick();
            if (playing) playing = simulation.Step();
            Note(load);
        }
    }

    void Note(std::int64_t load) {
        const std::vector<SentDatagram>& sent = h.Socket().sent;
        for (; seen < sent.size(); ++seen) {
            if (sent[seen].Code() != kAccessRequest) continue;
            const std::vector<Bytes> name = ItemsOf(sent[seen].bytes, kUserName);
            sends[std::string(name.at(0).begin(), name.at(0).end())].push_back(h.Clock().NowMilliseconds() - load);
        }
    }

    EngineHarness& h;
    Simulation simulation;
    TempFolder folder;
    std::size_t seen = 0;
    int wakeUps = 0;
    std::map<std::string, std::vector<std::int64_t>> sends;
};

}  // namespace

TEST(Pacing, LinesAndRetransmissionsLeaveAtTheirOwnMillisecond) {
    EngineHarness h({.authTimeout = 1});
    PacedRun run(h);
    run.Play("0:00:00:00.100,a,p,00:10\n0:00:00:00.250,b,p,00:10\n0:00:00:00.251,c,p,00:10\n"
             "0:00:00:01,d,p,00:10\n0:00:00:01.999,e,p,00:10\n");
    ASSERT_EQ(h.Engine().SessionCount(), 0u) << "the run did not end";
    // Four transmissions each, 1,001 ms apart (a request times out once more than a second
    // has passed), then the drop.
    const std::map<std::string, std::int64_t> lineTimes = {{"a", 100}, {"b", 250}, {"c", 251}, {"d", 1000},
                                                           {"e", 1999}};
    for (const auto& [user, at] : lineTimes)
        EXPECT_EQ(run.sends[user], (std::vector<std::int64_t>{at, at + 1001, at + 2002, at + 3003})) << user;
    EXPECT_EQ(h.Engine().Statistics().TotalDrops(), 5u);
    // One wake-up for each thing to do and a few on the longest sleep, not one every 100 ms
    // of the six seconds.
    EXPECT_LE(run.wakeUps, 40);
}

TEST(Pacing, AnIdleEngineSleepsTheLongestAndAStopWakesItAtItsSecond) {
    EngineHarness h({.authTimeout = 1});
    PacedRun run(h);
    EXPECT_EQ(PacedDelayMs(h.Engine(), nullptr, h.Clock()), kLongestPacedSleepMs);

    h.Clock().Advance(300);  // 300 ms into a calendar second
    ASSERT_TRUE(h.Add("alice", "pw", 2));
    ASSERT_TRUE(h.Answer(2));  // Access-Accept: the Accounting-Request Start leaves
    ASSERT_TRUE(h.Answer(5));  // Accounting-Response: Active until its end second
    h.Engine().Tick();
    // The stop is due when the second two after the start begins: 1,700 ms on.
    EXPECT_EQ(PacedDelayMs(h.Engine(), nullptr, h.Clock()), kLongestPacedSleepMs);
    h.Clock().Advance(1000);
    EXPECT_EQ(PacedDelayMs(h.Engine(), nullptr, h.Clock()), 700u);
    h.Clock().Advance(699);
    h.Engine().Tick();
    const std::size_t sentBefore = h.SentCount();
    EXPECT_EQ(PacedDelayMs(h.Engine(), nullptr, h.Clock()), 1u);
    h.Clock().Advance(1);
    h.Engine().Tick();
    EXPECT_EQ(h.SentCount(), sentBefore + 1);  // the Accounting-Request Stop
}

// With millisecond ends a session stops exactly its duration after it started, wherever in
// its second it started, and its Acct-Session-Time is still the duration.
TEST(Pacing, WithMillisecondEndsAStopLeavesAtItsStartsMillisecond) {
    constexpr std::uint8_t kAccessAccept = 2;
    constexpr std::uint8_t kAccountingResponse = 5;
    constexpr std::uint8_t kAcctSessionTime = 46;
    for (const std::uint32_t startOffsetMs : {0u, 1u, 300u, 999u}) {
        SCOPED_TRACE(startOffsetMs);
        EngineHarness h;
        h.Engine().SetMillisecondEnds(true);
        h.Clock().Advance(startOffsetMs);
        const std::int64_t start = h.Clock().NowMilliseconds();
        ASSERT_TRUE(h.Add("alice", "pw", 2));
        ASSERT_TRUE(h.Answer(kAccessAccept));
        ASSERT_TRUE(h.Answer(kAccountingResponse));
        const std::size_t sentBefore = h.SentCount();
        for (int wakeUp = 0; wakeUp < 10 && h.SentCount() == sentBefore; ++wakeUp) {
            h.Clock().Advance(PacedDelayMs(h.Engine(), nullptr, h.Clock()));
            h.Engine().Tick();
        }
        ASSERT_EQ(h.SentCount(), sentBefore + 1) << "no Accounting-Request Stop";
        EXPECT_EQ(h.Clock().NowMilliseconds() - start, 2000);
        const std::vector<Bytes> sessionTime = ItemsOf(h.Socket().sent.back().bytes, kAcctSessionTime);
        ASSERT_EQ(sessionTime.size(), 1u);
        EXPECT_EQ(sessionTime[0], (Bytes{0, 0, 0, 2}));
    }
}
