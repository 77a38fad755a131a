#include "shell/session_life_options.h"

#include <gtest/gtest.h>

#include "shell/options.h"
#include "shell/shell_state.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/capturing_logger.h"

namespace shell_test {
namespace {

using SessionLifeOptionsTest = ShellTest;

auto Fields(const SessionLifeSettings& s) {
    return std::make_tuple(s.sendNasIdentity, s.honourSessionTimeout, s.interimInterval, s.honourInterimInterval,
                           s.acctCounters, s.coaPort, s.coaClients);
}

TEST_F(SessionLifeOptionsTest, UnsetKeysLeaveEverythingOff) {
    WriteOptions("[Options]\nSecret=s\n");
    LoadOptions();
    EXPECT_EQ(Fields(Shell().options.sessionLife), Fields(SessionLifeSettings{}));
}

TEST_F(SessionLifeOptionsTest, EveryKeyWithItsBoundsAndTheClientsThatAreAddresses) {
    CapturingLogger log;
    WriteOptions(
        "[Options]\nSendNasIdentity=1\nHonourSessionTimeout=2\nInterimInterval=-5\nHonourInterimInterval=7\n"
        "AcctCounters=1\nCoaPort=70000\nCoaClients=10.0.0.1, nas.example ,192.0.2.7\t\n");
    LoadOptions();
    EXPECT_EQ(Fields(Shell().options.sessionLife),
              Fields({true, 0, {}, true, 0, 2, true, 65535, {0x0A000001, 0xC0000207}}));
    EXPECT_TRUE(log.Contains("CoaClients in the options file: \"nas.example\" is not an IPv4 address; left out"));
}

TEST_F(SessionLifeOptionsTest, TheNasIdentityIsNasNameAndTheSourceTowardTheServer) {
    SessionLifeSettings settings;
    settings.sendNasIdentity = true;
    const SocketAddress loopback = SocketAddress::Ipv4(0x7F000001, 0);
    const SocketAddress any = SocketAddress::Any(AddressFamily::Ipv4);
    const SessionLifeSettings filled = WithNasIdentity(settings, "nas-7", loopback, any);
    EXPECT_EQ(filled.nasIdentifier, "nas-7");
    EXPECT_EQ(filled.nasIpAddress, 0x7F000001u);  // loopback reaches loopback
    EXPECT_EQ(WithNasIdentity(settings, "nas-7", loopback, SocketAddress::Ipv4(0x7F000002, 0)).nasIpAddress,
              0x7F000002u)
        << "a source address set is the NAS's address";
    EXPECT_EQ(WithNasIdentity(settings, "nas-7", *SocketAddress::Parse("::1"), SocketAddress::Any(AddressFamily::Ipv6))
                  .nasIpAddress,
              0u)
        << "no IPv4 address toward an IPv6 server";
    EXPECT_EQ(WithNasIdentity(SessionLifeSettings{}, "nas-7", loopback, any).nasIdentifier, "") << "off: nothing";
}

}  // namespace
}  // namespace shell_test
