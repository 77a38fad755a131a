// Hostile traffic: random datagrams of every length (0 to beyond 4096 octets), headers whose
// Length lies, and well-framed packets under the identifier of a live session, thrown at the
// engine's socket while sessions run against the responder. The engine must read nothing out
// of bounds (the sanitizer build watches), keep its books straight and go on answering.
//
// PELVOK_FLOOD_DATAGRAMS sets the number of datagrams (scripts/soak.sh sends 100000).
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "tests/responder/test_responder.h"
#include "tests/soak/soak_rig.h"

namespace soak {
namespace {

// The codes the engine acts on; a forged packet under a live identifier with another code only
// makes its session send its request again.
bool IsReplyCode(std::uint8_t code) { return code == 2 || code == 3 || code == 5 || code == 11; }

class Flood : DatagramDice {
public:
    Flood(HostileSender& sender, const RadiusEngine& engine, unsigned seed)
        : DatagramDice(seed), sender_(sender), engine_(engine) {}

    void SendOne() {
        const int kind = Pick(0, 999);
        Bytes datagram;
        if (kind < 350) {  // anything at all, empty included
            datagram = RandomBytes(Pick(0, 4096));
            ++counts_.random;
        } else if (kind < 600) {  // a header whose Length lies
            datagram = RandomBytes(Pick(20, 4096));
            SetLength(datagram, Pick(0, 3) == 0 ? Pick(0, 19) : datagram.size() + Pick(1, 60000));
            ++counts_.lyingLength;
        } else if (kind < 650) {  // longer than any RADIUS packet: cut to 4096 on receipt
            datagram = RandomBytes(Pick(4097, 8192));
            SetLength(datagram, Pick(20, 4096));
            ++counts_.oversized;
        } else if (kind < 660) {  // well framed, under the identifier of a live session
            datagram = RandomBytes(Pick(20, 200));
            SetLength(datagram, datagram.size());
            do datagram[0] = static_cast<std::uint8_t>(Pick(0, 255));
            while (IsReplyCode(datagram[0]));
            datagram[1] = static_cast<std::uint8_t>(LiveIdentifier());
            ++counts_.liveIdentifier;
        } else {  // well framed, with attributes of random lengths
            datagram = RandomBytes(Pick(20, 1024));
            SetLength(datagram, datagram.size());
            ++counts_.framed;
        }
        sender_.Send(datagram);
    }

    struct Counts {
        int random = 0, lyingLength = 0, oversized = 0, liveIdentifier = 0, framed = 0;
    };
    const Counts& Sent() const { return counts_; }

private:
    int LiveIdentifier() {
        const int start = static_cast<int>(Pick(1, 255));
        for (int step = 0; step < 255; ++step) {
            const int id = (start - 1 + step) % 255 + 1;
            if (engine_.RequestIds().InUse(static_cast<std::uint16_t>(id))) return id;
        }
        return start;
    }

    HostileSender& sender_;
    const RadiusEngine& engine_;
    Counts counts_;
};

TEST(Flood, SessionsCompleteWhileRandomDatagramsPourIn) {
    const long datagrams = EnvironmentNumber("PELVOK_FLOOD_DATAGRAMS", 20000);
    const unsigned seed = static_cast<unsigned>(EnvironmentNumber("PELVOK_FLOOD_SEED", 4242));
    // Sessions for as long as the flood lasts: about 5000 datagrams a second.
    const int seconds = static_cast<int>(std::max(3L, datagrams / 5000));
    const int sessions = seconds * 40;

    responder::TestResponder server;
    server.SetDefaultRule(responder::Rule::Accept());
    ASSERT_TRUE(server.Start()) << server.LastError();
    std::vector<SimLine> lines;
    for (int i = 0; i < sessions; ++i) lines.push_back({i * seconds / sessions, "user-" + std::to_string(i)});
    TempFolder work;
    const std::string simFile = work.Path("flood.sim");
    ASSERT_TRUE(WriteSimulationFile(simFile, lines));

    SoakRig rig(server.AuthPort());
    ASSERT_TRUE(rig.Initialized()) << rig.Engine().LastError();
    HostileSender hostile(rig.EnginePort());
    ASSERT_TRUE(hostile.Ready());
    Flood flood(hostile, rig.Engine(), seed);

    // Spread evenly over the sessions' time, in small batches between the engine's reads.
    const auto started = SteadyClock::now();
    const auto window = std::chrono::seconds(seconds);
    long sent = 0;
    const auto pour = [&] {
        const double share = std::min(1.0, (SteadyClock::now() - started) / std::chrono::duration<double>(window));
        const long due = static_cast<long>(share * static_cast<double>(datagrams));
        for (int batch = 0; sent < due && batch < 64; ++batch, ++sent) flood.SendOne();
    };
    ASSERT_TRUE(rig.Play(simFile));
    ASSERT_TRUE(rig.RunUntilIdle(std::chrono::seconds(seconds + 60), pour))
        << "sessions left: " << rig.Engine().SessionCount();
    // Should the sessions end first, the rest still goes out; then what is queued is read.
    for (int turn = 0; sent < datagrams && turn < 100; ++turn) rig.RunFor(std::chrono::milliseconds(100), pour);
    rig.RunFor(std::chrono::milliseconds(300));
    const double elapsed = std::chrono::duration<double>(SteadyClock::now() - started).count();
    server.Stop();

    ExpectNothingHeld(rig);

    const ResultTally tally = TallyResults(rig.Lines());
    EXPECT_TRUE(tally.unknown.empty()) << tally.unknown.front();
    std::map<Outcome, int> outcomes;
    for (const SimLine& line : lines) {
        const auto found = tally.byUser.find(line.user);
        ASSERT_TRUE(found != tally.byUser.end() && found->second.size() == 1) << line.user << " did not end once";
        ++outcomes[found->second.front()];
    }
    // Only a forged datagram that reached a session can keep it from completing; the engine's
    // log names each one it acted on.
    const CapturingLogger& engineLog = rig.Log();
    const int actedOn = engineLog.CountStartingWith("Unrecognized request code: ") +
                        engineLog.CountStartingWith("Inconsistent ") + engineLog.Count("Response not authenticated.");
    EXPECT_GE(outcomes[Outcome::Completed], sessions - actedOn);
    EXPECT_GE(outcomes[Outcome::Completed], sessions * 9 / 10) << "the flood kept sessions from completing";

    const Flood::Counts& counts = flood.Sent();
    std::printf("flood: %ld datagrams in %.1f s (seed %u): random %d, lying length %d, oversized %d, "
                "live identifier %d, framed %d; %zu datagrams read by the engine\n",
                datagrams, elapsed, seed, counts.random, counts.lyingLength, counts.oversized, counts.liveIdentifier,
                counts.framed, rig.DatagramsRead());
    std::printf("  engine log: %d malformed, %d unrecognized id, %d unrecognized code, %d not authenticated, "
                "%d inconsistent, %d empty\n",
                engineLog.CountStartingWith("Malformed reply: "),
                engineLog.CountStartingWith("Unrecognized request: "),
                engineLog.CountStartingWith("Unrecognized request code: "),
                engineLog.Count("Response not authenticated."), engineLog.CountStartingWith("Inconsistent "),
                engineLog.CountStartingWith("recvfrom error (0)"));
    std::printf("  sessions %d:", sessions);
    for (const auto& [outcome, count] : outcomes) std::printf(" %s=%d", OutcomeName(outcome), count);
    std::printf("\n");
}

}  // namespace
}  // namespace soak
