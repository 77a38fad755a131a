// Hostile dynamic authorization: random datagrams, well-framed Disconnect-Requests and
// CoA-Requests that do not authenticate, and signed ones with random attributes that name no
// session, thrown at the CoA port while sessions with Interim-Updates run against the
// responder. Every session must still complete, and every signed request get its NAK.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include "tests/responder/test_responder.h"
#include "tests/soak/soak_rig.h"

namespace soak {
namespace {

// User-Name, NAS-Port, Framed-IP-Address, Acct-Session-Id name a session; a
// Message-Authenticator of random octets would have the request discarded.
constexpr std::uint8_t kLeftOutTypes[] = {1, 5, 8, 44, 80};

class CoaFlood : DatagramDice {
public:
    CoaFlood(HostileSender& sender, std::string secret) : DatagramDice(1805), sender_(sender), secret_(secret) {}

    void SendOne() {
        const std::size_t kind = Pick(0, 9);
        Bytes datagram = RandomBytes(Pick(kind < 3 ? 0 : 20, 600));
        if (kind >= 3) {
            SetLength(datagram, datagram.size());
            datagram[0] = Pick(0, 1) ? 40 : 43;
            if (kind >= 6) {
                RandomAttributes(datagram);
                Sign(datagram);
                ++signed_;
            }
        }
        sender_.Send(datagram);
    }
    int Signed() const { return signed_; }

private:
    // Well-formed items filling the packet, of any type but those left out.
    void RandomAttributes(Bytes& datagram) {
        if (datagram.size() == 21) datagram.pop_back();
        for (std::size_t at = 20; at < datagram.size();) {
            std::size_t length = std::min<std::size_t>(Pick(2, 40), datagram.size() - at);
            if (datagram.size() - at - length == 1) ++length;  // no octet left over
            std::uint8_t type = static_cast<std::uint8_t>(Pick(0, 255));
            while (std::find(std::begin(kLeftOutTypes), std::end(kLeftOutTypes), type) != std::end(kLeftOutTypes))
                ++type;
            datagram[at] = type;
            datagram[at + 1] = static_cast<std::uint8_t>(length);
            at += length;
        }
        SetLength(datagram, datagram.size());
    }
    // RFC 5176 section 3.5: MD5 over the packet with a zero authenticator, then the secret.
    void Sign(Bytes& datagram) {
        std::fill_n(datagram.begin() + 4, 16, 0);
        Bytes whole = datagram;
        whole.insert(whole.end(), secret_.begin(), secret_.end());
        unsigned int length = 0;
        EVP_Digest(whole.data(), whole.size(), datagram.data() + 4, &length, EVP_md5(), nullptr);
    }

    HostileSender& sender_;
    std::string secret_;
    int signed_ = 0;
};

TEST(CoaFlood, SessionsCompleteWhileTheCoaPortIsFlooded) {
    responder::TestResponder server;
    server.SetDefaultRule(responder::Rule::Accept());
    ASSERT_TRUE(server.Start()) << server.LastError();
    std::vector<SimLine> lines;
    for (int i = 0; i < 60; ++i) lines.push_back({i / 20, "user-" + std::to_string(i), "pw", 3});
    TempFolder work;
    const std::string simFile = work.Path("coa-flood.sim");
    ASSERT_TRUE(WriteSimulationFile(simFile, lines));

    RigSettings settings;
    settings.life.coaPort = PELVOK_COA_SOAK_PORT;
    settings.life.interimInterval = 1;
    settings.life.acctCounters = true;
    SoakRig rig(server.AuthPort(), settings);
    ASSERT_TRUE(rig.Initialized()) << rig.Engine().LastError();
    HostileSender hostile(PELVOK_COA_SOAK_PORT);
    ASSERT_TRUE(hostile.Ready());
    CoaFlood flood(hostile, settings.secret);
    long sent = 0;
    const auto pour = [&] {
        for (int batch = 0; sent < 3000 && batch < 32; ++batch, ++sent) flood.SendOne();
    };
    ASSERT_TRUE(rig.Play(simFile));
    ASSERT_TRUE(rig.RunUntilIdle(std::chrono::seconds(60), pour)) << rig.Engine().SessionCount();
    rig.RunFor(std::chrono::milliseconds(300));
    server.Stop();

    EXPECT_EQ(rig.Invariants(), "");
    const ResultTally tally = TallyResults(rig.Lines());
    for (const SimLine& line : lines) {
        const auto found = tally.byUser.find(line.user);
        ASSERT_TRUE(found != tally.byUser.end()) << line.user;
        EXPECT_EQ(found->second, std::vector<Outcome>{Outcome::Completed}) << line.user;
    }
    int naks = 0;
    for (const std::string& line : rig.Lines()) naks += line.find(": NAK, Error-Cause=") != std::string::npos;
    // Signed ones are answered, the others discarded (a datagram the kernel dropped under load
    // is neither).
    EXPECT_LE(naks, flood.Signed());
    EXPECT_GE(naks, flood.Signed() * 9 / 10);
    EXPECT_GT(rig.Engine().Counters().acctInterimRequests, 0);
}

}  // namespace
}  // namespace soak
