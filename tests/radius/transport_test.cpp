// Where the engine's channels bind and where its requests go: a server of either family, a
// source address, and a server changed while the channels are open.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine_test_support.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

SocketAddress Address(const char* text, std::uint16_t port = 0) { return SocketAddress::Parse(text, port).value(); }

struct TransportRig {
    explicit TransportRig(const SocketAddress& server, const SocketAddress& source = {}, std::uint16_t port = 1812) {
        auto fake = std::make_unique<FakeSocket>();
        socket = fake.get();
        engine = std::make_unique<RadiusEngine>(&clock, &random, std::move(fake));
        engine->SetTransport({.sockets = 1, .source = source});
        initialized = engine->Init("s", port, server, 10, true, 5, true, 15, false, nullptr, nullptr);
    }
    ManualClock clock;
    CountingRandomSource random;
    FakeSocket* socket = nullptr;
    std::unique_ptr<RadiusEngine> engine;
    bool initialized = false;
};

TEST(Transport, ChannelsBindInTheServersFamilyOrAtTheSourceAddress) {
    const struct {
        const char* server;
        const char* source;  // empty: none
        const char* boundTo;
        const char* authTo;
    } rows[] = {
        {"127.0.0.1", "", "0.0.0.0:0", "127.0.0.1:1812"},  // as always
        {"::1", "", "[::]:0", "[::1]:1812"},
        {"127.0.0.1", "127.0.0.2", "127.0.0.2:0", "127.0.0.1:1812"},
        {"::1", "::1", "[::1]:0", "[::1]:1812"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.server) + " from " + row.source);
        TransportRig rig(Address(row.server), *row.source ? Address(row.source) : SocketAddress());
        ASSERT_TRUE(rig.initialized) << rig.engine->LastError();
        EXPECT_EQ(rig.socket->boundTo.Format(), row.boundTo);
        EXPECT_EQ(rig.engine->BindAddress().Format(), row.boundTo);
        ASSERT_TRUE(rig.engine->AddSession("alice", "pw", 60, {}, {}, {}));
        EXPECT_EQ(rig.socket->sent.back().to.Format(), row.authTo);
    }
}

TEST(Transport, AccountingGoesToThePortAfterTheServersOverIpv6) {
    TransportRig rig(Address("2001:db8::7"));
    ASSERT_TRUE(rig.initialized);
    ASSERT_TRUE(rig.engine->AddSession("alice", "pw", 60, {}, {}, {}));
    const SentDatagram request = rig.socket->sent.back();
    const Bytes accept = MakeReply(2, request.Id(), AuthenticatorOf(request.bytes), "s");
    ASSERT_TRUE(rig.engine->ProcessReply(accept.data(), accept.size()));
    EXPECT_EQ(rig.socket->sent.back().Code(), 4);  // Accounting-Request
    EXPECT_EQ(rig.socket->sent.back().to.Format(), "[2001:db8::7]:1813");
}

TEST(Transport, TheServerPortIsLoggedAsItIs) {
    for (const std::uint16_t port : {1812, 32767, 32768, 65535}) {
        CapturingLogger log;
        TransportRig rig(Address("127.0.0.1"), {}, port);
        ASSERT_TRUE(rig.initialized);
        EXPECT_TRUE(log.Contains("Radius port = " + std::to_string(port)));
    }
}

TEST(Transport, ASourceOfTheOtherFamilyIsRefusedWithBothAddresses) {
    TransportRig rig(Address("::1"), Address("127.0.0.2"));
    EXPECT_FALSE(rig.initialized);
    EXPECT_STREQ(rig.engine->LastError(),
                 "Source address 127.0.0.2 cannot reach the Radius host ::1: another address family");
    EXPECT_FALSE(rig.socket->open);  // nothing was opened
}

TEST(Transport, AServerChangedWhileRunningKeepsTheChannelsFamily) {
    CapturingLogger log;
    TransportRig rig(Address("127.0.0.1"));
    ASSERT_TRUE(rig.initialized);
    EXPECT_TRUE(rig.engine->SetServerAddress(Address("10.0.0.9")));
    EXPECT_TRUE(log.Contains("Radius host = a000009"));
    // The IPv4 socket cannot reach an IPv6 server: the engine keeps the one it has.
    EXPECT_FALSE(rig.engine->SetServerAddress(Address("::1")));
    EXPECT_EQ(rig.engine->Server(), Address("10.0.0.9"));
    ASSERT_TRUE(rig.engine->AddSession("alice", "pw", 60, {}, {}, {}));
    EXPECT_EQ(rig.socket->sent.back().to.Format(), "10.0.0.9:1812");

    TransportRig ipv6(Address("::1"));
    EXPECT_TRUE(ipv6.engine->SetServerAddress(Address("::2")));
    EXPECT_TRUE(log.Contains("Radius host = ::2"));
    EXPECT_EQ(ipv6.engine->ServerAddress(), 0u);  // no IPv4 address to give
}

}  // namespace
