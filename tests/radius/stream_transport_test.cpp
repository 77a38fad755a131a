// The engine over a stream channel (RADIUS over TLS): the fixed secret and port, one channel
// for authentication and accounting, no retransmission on the stream, and replies read on the
// descriptor of a connection made anew.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine_test_support.h"
#include "radius/coa_request.h"

using namespace radius_test;

namespace {

// A connection stand-in: what the engine writes is recorded; it can "reconnect" to another
// descriptor and tells so as a TLS channel does.
class FakeStream : public FakeSocket {
public:
    explicit FakeStream(int fd) : FakeSocket(fd), fd_(fd) {}
    int Fd() const override { return open ? fd_ : -1; }
    bool Reliable() const override { return true; }
    void Service() override { ++services; }
    void SetDescriptorChanged(DescriptorChanged changed) override { changed_ = std::move(changed); }
    void Reconnect(int fd) {
        changed_(fd_, -1);
        fd_ = fd;
        changed_(-1, fd_);
    }
    int services = 0;

private:
    int fd_;
    DescriptorChanged changed_;
};

struct StreamRig {
    // With a CoA port, a fake datagram socket (descriptor 50) is the CoA listener.
    explicit StreamRig(std::uint16_t port = 0, std::uint16_t coaPort = 0) {
        std::vector<std::unique_ptr<DatagramSocket>> sockets;
        auto fake = std::make_unique<FakeStream>(42);
        stream = fake.get();
        sockets.push_back(std::move(fake));
        if (coaPort != 0) {
            auto listener = std::make_unique<FakeSocket>(50);
            coa = listener.get();
            sockets.push_back(std::move(listener));
        }
        engine = std::make_unique<RadiusEngine>(&clock, &random, std::make_unique<GivenSockets>(std::move(sockets)));
        TlsSettings tls;
        tls.ca = "ca.pem";
        engine->SetTransport({.sockets = 1, .source = {}, .tls = tls});
        SessionLifeSettings life;
        life.coaPort = coaPort;
        engine->SetSessionLife(life);
        engine->SetDescriptorChanged([this](int oldFd, int newFd) { changes.emplace_back(oldFd, newFd); });
        initialized = engine->Init("typed secret", port, SocketAddress::Ipv4(0x7F000001, 0), 10, true, 5, true, 15,
                                   false, nullptr, nullptr);
    }
    Bytes Reply(std::uint8_t code, const SentDatagram& request) const {
        return MakeReply(code, request.Id(), AuthenticatorOf(request.bytes), "radsec");
    }
    ManualClock clock;
    CountingRandomSource random;
    FakeStream* stream = nullptr;
    FakeSocket* coa = nullptr;
    std::unique_ptr<RadiusEngine> engine;
    std::vector<std::pair<int, int>> changes;
    bool initialized = false;
};

TEST(StreamTransport, TheSecretIsRadsecAndThePort2083UnlessOneIsGiven) {
    const struct {
        std::uint16_t given;
        std::uint16_t used;
    } rows[] = {{0, 2083}, {12083, 12083}};
    for (const auto& row : rows) {
        StreamRig rig(row.given);
        ASSERT_TRUE(rig.initialized) << rig.engine->LastError();
        EXPECT_EQ(rig.engine->ServerPort(), row.used);
        EXPECT_EQ(rig.engine->Secret(), "radsec");
        rig.engine->SetSecret("changed in the dialog");
        EXPECT_EQ(rig.engine->Secret(), "radsec");
    }
}

// The server sends its Disconnect-Requests over UDP, signed with the secret it shares with
// this NAS, not with the stream's "radsec".
TEST(StreamTransport, TheCoaListenerChecksAndSignsWithTheSecretGiven) {
    StreamRig rig(0, 3799);
    ASSERT_TRUE(rig.initialized) << rig.engine->LastError();
    ASSERT_TRUE(rig.engine->AddSession("alice", "pw", 60, {}, {}, {}));
    const Bytes accept = rig.Reply(2, rig.stream->sent.back());
    ASSERT_TRUE(rig.engine->ProcessReply(accept.data(), accept.size()));
    const Bytes started = rig.Reply(5, rig.stream->sent.back());
    ASSERT_TRUE(rig.engine->ProcessReply(started.data(), started.size()));

    for (const char* secret : {"radsec", "typed secret"}) {
        SCOPED_TRACE(secret);
        const Bytes request = MakeCoaRequest(code::kDisconnectRequest, Item(attr::kUserName, Text("alice")), secret);
        rig.coa->incoming.push_back(request);
        rig.coa->incomingSender = SocketAddress::Ipv4(0x7F000001, 40000);
        rig.engine->OnReadable(rig.coa->Fd());
    }
    ASSERT_EQ(rig.coa->sent.size(), 1U) << "only the request signed with the secret given is answered";
    const std::string secret = "typed secret";
    const Bytes request = MakeCoaRequest(code::kDisconnectRequest, Item(attr::kUserName, Text("alice")), secret);
    EXPECT_EQ(rig.coa->sent[0].bytes,
              MakeReply(code::kDisconnectAck, request[1], AuthenticatorOf(request), secret));
}

TEST(StreamTransport, AccountingFollowsOnTheSameConnection) {
    StreamRig rig;
    ASSERT_TRUE(rig.initialized);
    ASSERT_TRUE(rig.engine->AddSession("alice", "pw", 60, {}, {}, {}));
    const Bytes accept = rig.Reply(2, rig.stream->sent.back());
    ASSERT_TRUE(rig.engine->ProcessReply(accept.data(), accept.size()));
    ASSERT_EQ(rig.stream->sent.size(), 2U);
    EXPECT_EQ(rig.stream->sent.back().Code(), 4);  // Accounting-Request on the one channel
    const Bytes response = rig.Reply(5, rig.stream->sent.back());
    EXPECT_TRUE(rig.engine->ProcessReply(response.data(), response.size()));
}

TEST(StreamTransport, ARequestIsWrittenOnceAndItsLateReplyStillMatches) {
    StreamRig rig;
    ASSERT_TRUE(rig.initialized);
    ASSERT_TRUE(rig.engine->AddSession("alice", "pw", 60, {}, {}, {}));
    const SentDatagram request = rig.stream->sent.back();
    for (int i = 0; i < 2; ++i) {  // two time-outs, each of which would retransmit over UDP
        rig.clock.Advance(5100);
        rig.engine->Tick();
    }
    EXPECT_EQ(rig.stream->sent.size(), 1U);
    EXPECT_GE(rig.stream->services, 2);
    // The reply answers the request written, whose authenticator the session kept.
    const Bytes accept = rig.Reply(2, request);
    EXPECT_TRUE(rig.engine->ProcessReply(accept.data(), accept.size()));
    EXPECT_EQ(rig.stream->sent.back().Code(), 4);
}

TEST(StreamTransport, RepliesAreReadOnTheDescriptorOfTheNewConnection) {
    StreamRig rig;
    ASSERT_TRUE(rig.initialized);
    ASSERT_TRUE(rig.engine->AddSession("alice", "pw", 60, {}, {}, {}));
    rig.stream->Reconnect(57);
    EXPECT_EQ(rig.changes, (std::vector<std::pair<int, int>>{{42, -1}, {-1, 57}}));
    EXPECT_EQ(rig.engine->Descriptors(), std::vector<int>{57});
    rig.stream->incoming.push_back(rig.Reply(2, rig.stream->sent.back()));
    EXPECT_FALSE(rig.engine->OnReadable(42));  // the old descriptor is no longer the engine's
    EXPECT_TRUE(rig.engine->OnReadable(57));
    EXPECT_EQ(rig.stream->sent.back().Code(), 4);
}

}  // namespace
