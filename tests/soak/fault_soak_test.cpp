// The fault soak: a simulation file of many sessions against the scripted responder, which
// bends its answers per user (the user's name says how), while another socket throws
// malformed datagrams at the engine. Every session must end exactly as its fault predicts,
// nothing may stay held, and the counters must agree with what the responder saw.
//
// PELVOK_SOAK_SESSIONS sets the number of sessions (scripts/soak.sh runs 2000).
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>

#include "tests/responder/test_responder.h"
#include "tests/soak/soak_rig.h"

namespace soak {
namespace {

using responder::Fault;
using responder::GarbageStyle;
using responder::Rule;

struct FaultGroup {
    const char* name;
    int weight;  // sessions of this group in each round of the file
    Rule rule;
    Outcome expected;
};

// Late and duplicate replies can reach whichever session holds the identifier by then, and
// the engine acts on a reply whatever its authenticator; so the only late replies are
// Accounting-Responses, which move any session they reach towards the ending it has anyway.
std::vector<FaultGroup> FaultGroups() {
    using namespace responder;
    return {
        {"plain", 4, Rule::Accept(), Outcome::Completed},
        {"reject", 2, Rule::Reject("No entry"), Outcome::Rejected},
        {"silent", 1, Rule::Accept().With(Fault::SilentAlways()), Outcome::AuthDropped},
        {"lostauth", 1, Rule::Accept().With(Fault::SilentFor(1, kAccessPackets)), Outcome::Completed},
        {"lostacct", 1, Rule::Accept().With(Fault::SilentFor(2, kAccountingPackets)), Outcome::Completed},
        {"twice", 1, Rule::Accept().With(Fault::Twice()), Outcome::Completed},
        // Held until well after the identifier was given up and handed out again.
        {"lateacct", 1, Rule::Accept().With(Fault::LateBy(3500, kAccountingStartPackets)), Outcome::Completed},
        {"slow", 1, Rule::Accept().With(Fault::LateBy(500, kAccessPackets)), Outcome::Completed},
        {"badauth", 1, Rule::Accept().With(Fault::WrongSecret()), Outcome::Completed},
        {"junkattr", 1, Rule::Accept().With(Fault::Garbage(GarbageStyle::BrokenAttribute, kAccessPackets)),
         Outcome::Completed},
        {"shortstart", 1, Rule::Accept().With(Fault::Garbage(GarbageStyle::Short, kAccountingStartPackets)),
         Outcome::Completed},
        {"lengthstart", 1,
         Rule::Accept().With(Fault::Garbage(GarbageStyle::LengthBeyondData, kAccountingStartPackets)),
         Outcome::Completed},
        {"padded", 1, Rule::Accept().With(Fault::Padding(16)), Outcome::Completed},
        {"echo", 1, Rule::Accept().With(Fault::Echo(kAccessPackets)), Outcome::AuthDropped},
    };
}

// Malformed datagrams that no session may take for its reply: too short, a Length that lies,
// or a well-framed packet under an identifier nobody holds and none will take soon.
class Mischief : DatagramDice {
public:
    Mischief(HostileSender& sender, const RadiusEngine& engine)
        : DatagramDice(20261206), sender_(sender), engine_(engine) {}

    void SendOne() {
        Bytes datagram;
        switch (Pick(0, 2)) {
            case 0:
                datagram = RandomBytes(Pick(0, 19));
                ++shortOnes_;
                break;
            case 1:
                datagram = RandomBytes(Pick(20, 600));
                SetLength(datagram, Pick(0, 1) == 0 ? Pick(0, 19) : datagram.size() + Pick(1, 4000));
                ++lyingOnes_;
                break;
            default: {
                const int id = IdleIdentifier();
                if (id == 0) return;
                datagram = RandomBytes(Pick(20, 300));
                datagram[1] = static_cast<std::uint8_t>(id);
                SetLength(datagram, datagram.size());
                ++strayOnes_;
            }
        }
        sender_.Send(datagram);
    }

    int ShortOnes() const { return shortOnes_; }
    int LyingOnes() const { return lyingOnes_; }
    int StrayOnes() const { return strayOnes_; }

private:
    // A free identifier at least 128 hand-outs away from being handed out again.
    int IdleIdentifier() {
        const int last = engine_.RequestIds().LastHandedOut();
        for (int attempt = 0; attempt < 16; ++attempt) {
            const int distance = static_cast<int>(Pick(128, 254));
            const int id = (last - 1 + distance) % 255 + 1;
            if (!engine_.RequestIds().InUse(static_cast<std::uint16_t>(id))) return id;
        }
        return 0;
    }

    HostileSender& sender_;
    const RadiusEngine& engine_;
    int shortOnes_ = 0;
    int lyingOnes_ = 0;
    int strayOnes_ = 0;
};

TEST(FaultSoak, EverySessionEndsAsItsFaultPredictsAndNothingStaysHeld) {
    const int sessions = static_cast<int>(EnvironmentNumber("PELVOK_SOAK_SESSIONS", 250));
    constexpr int kSessionsPerSecond = 80;

    responder::TestResponder server;
    const auto groups = FaultGroups();
    std::vector<SimLine> lines;
    std::map<std::string, Outcome> expected;
    std::map<std::string, int> groupSessions;
    for (int index = 0; static_cast<int>(lines.size()) < sessions;) {
        for (const FaultGroup& group : groups) {
            for (int i = 0; i < group.weight && static_cast<int>(lines.size()) < sessions; ++i, ++index) {
                SimLine line;
                line.user = std::string(group.name) + "-" + std::to_string(index);
                line.offsetSeconds = index / kSessionsPerSecond;
                server.SetRule(line.user, group.rule);
                expected[line.user] = group.expected;
                ++groupSessions[group.name];
                lines.push_back(line);
            }
        }
    }
    ASSERT_TRUE(server.Start()) << server.LastError();

    TempFolder work;
    const std::string simFile = work.Path("soak.sim");
    ASSERT_TRUE(WriteSimulationFile(simFile, lines));
    SoakRig rig(server.AuthPort());
    ASSERT_TRUE(rig.Initialized()) << rig.Engine().LastError();
    HostileSender hostile(rig.EnginePort());
    ASSERT_TRUE(hostile.Ready());
    Mischief mischief(hostile, rig.Engine());

    auto nextMischief = SteadyClock::now();
    const auto throwGarbage = [&] {
        if (SteadyClock::now() < nextMischief) return;
        mischief.SendOne();
        nextMischief = SteadyClock::now() + std::chrono::milliseconds(5);
    };
    const auto started = SteadyClock::now();
    ASSERT_TRUE(rig.Play(simFile));
    const auto limit = std::chrono::seconds(sessions / kSessionsPerSecond + 40);
    ASSERT_TRUE(rig.RunUntilIdle(limit, throwGarbage)) << "sessions left: " << rig.Engine().SessionCount();
    const double playedSeconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
    const RequestCounters counters = rig.Engine().Counters();  // before the stragglers below

    // Late replies still on their way arrive after every session is gone.
    rig.RunFor(std::chrono::milliseconds(2500));
    server.Stop();

    ExpectNothingHeld(rig);

    // Every session ended once, as its fault predicts.
    const ResultTally tally = TallyResults(rig.Lines());
    EXPECT_TRUE(tally.unknown.empty()) << tally.unknown.front();
    std::map<Outcome, int> outcomes;
    int wrong = 0;
    for (const auto& [user, outcome] : expected) {
        const auto found = tally.byUser.find(user);
        if (found == tally.byUser.end() || found->second.size() != 1) {
            ADD_FAILURE() << user << " ended " << (found == tally.byUser.end() ? 0 : found->second.size())
                          << " times";
            continue;
        }
        ++outcomes[found->second.front()];
        if (found->second.front() != outcome && ++wrong <= 10)
            ADD_FAILURE() << user << " " << OutcomeName(found->second.front()) << ", expected "
                          << OutcomeName(outcome);
    }
    EXPECT_EQ(tally.byUser.size(), expected.size()) << "endings of users not in the file";

    // The counters against the wire: each counted request was sent at least once; accounting
    // retransmissions are identical, so distinct accounting requests are exactly the counted ones.
    const responder::Traffic traffic = server.Snapshot();
    std::size_t accessTransmissions = 0;
    std::set<std::pair<int, Bytes>> starts, stops;
    for (const auto& request : traffic.received) {
        if (!request.wellFormed) continue;
        if (request.code == responder::kAccessRequest) ++accessTransmissions;
        const Bytes authenticator(request.authenticator.begin(), request.authenticator.end());
        if (request.acctStatusType == 1) starts.insert({request.identifier, authenticator});
        if (request.acctStatusType == 2) stops.insert({request.identifier, authenticator});
    }
    std::size_t accessReplies = 0, accountingReplies = 0;
    for (const auto& reply : traffic.sent) (reply.onAccountingPort ? accountingReplies : accessReplies)++;
    EXPECT_GE(counters.authRequests, sessions);
    EXPECT_LE(static_cast<std::size_t>(counters.authRequests), accessTransmissions);
    EXPECT_EQ(static_cast<std::size_t>(counters.acctStartRequests), starts.size());
    EXPECT_EQ(static_cast<std::size_t>(counters.acctStopRequests), stops.size());
    EXPECT_GE(counters.authResponses, outcomes[Outcome::Completed] + outcomes[Outcome::Rejected]);
    EXPECT_LE(static_cast<std::size_t>(counters.authResponses), accessReplies);
    EXPECT_EQ(counters.acctStopResponses, outcomes[Outcome::Completed]);
    EXPECT_LE(static_cast<std::size_t>(counters.acctStartResponses + counters.acctStopResponses),
              accountingReplies);

    // The report came once, with the counters' figures.
    ASSERT_EQ(tally.report.size(), 4u);
    char requestsLine[128], responsesLine[128];
    std::snprintf(requestsLine, sizeof requestsLine, "Requests: Auth=%d, Acct-Start=%d, Acct-Stop=%d",
                  counters.authRequests, counters.acctStartRequests, counters.acctStopRequests);
    std::snprintf(responsesLine, sizeof responsesLine, "Responses: Auth=%d, Acct-Start=%d, Acct-Stop=%d",
                  counters.authResponses, counters.acctStartResponses, counters.acctStopResponses);
    EXPECT_EQ(tally.report[2], requestsLine);
    EXPECT_EQ(tally.report[3], responsesLine);

    // The malformed datagrams were all seen and refused.
    const CapturingLogger& engineLog = rig.Log();
    EXPECT_GE(engineLog.CountStartingWith("Malformed reply: "),
              mischief.ShortOnes() + mischief.LyingOnes() - engineLog.CountStartingWith("recvfrom error (0)"));
    EXPECT_GE(engineLog.CountStartingWith("Unrecognized request: "), mischief.StrayOnes());

    std::printf("fault soak: %d sessions in %.1f s\n", sessions, playedSeconds);
    // Per fault: sessions, requests the responder received, datagrams it sent back.
    std::map<std::string, std::pair<int, int>> wire;
    for (const auto& request : traffic.received) ++wire[request.userName.substr(0, request.userName.find('-'))].first;
    for (const auto& reply : traffic.sent) ++wire[reply.userName.substr(0, reply.userName.find('-'))].second;
    std::printf("  fault: sessions/requests/replies:");
    for (const auto& [name, count] : groupSessions)
        std::printf(" %s=%d/%d/%d", name.c_str(), count, wire[name].first, wire[name].second);
    std::printf("\n  responder: %zu requests received (%zu Access-Request transmissions), %zu replies sent\n",
                traffic.received.size(), accessTransmissions, traffic.sent.size());
    std::printf("  hostile datagrams: %zu (short %d, lying length %d, stray identifier %d)\n", hostile.SentCount(),
                mischief.ShortOnes(), mischief.LyingOnes(), mischief.StrayOnes());
    std::printf("  engine log: %d malformed, %d unrecognized id, %d unrecognized code, %d not authenticated, "
                "%d inconsistent, %d dropped\n",
                engineLog.CountStartingWith("Malformed reply: "),
                engineLog.CountStartingWith("Unrecognized request: "),
                engineLog.CountStartingWith("Unrecognized request code: "),
                engineLog.Count("Response not authenticated."), engineLog.CountStartingWith("Inconsistent "),
                engineLog.CountStartingWith("Dropping "));
    std::printf("  outcomes:");
    for (const auto& [outcome, count] : outcomes) std::printf(" %s=%d", OutcomeName(outcome), count);
    std::printf(" (unexpected %d)\n  %s\n  %s\n", wrong, requestsLine, responsesLine);
}

}  // namespace
}  // namespace soak
