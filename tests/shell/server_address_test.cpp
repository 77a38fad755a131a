// The server and source addresses of the options: IPv6 beside the dotted quad, kept as the
// user wrote them, and the sockets opened where they say.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "radius/radius_engine.h"
#include "shell/main_window.h"
#include "shell/options.h"
#include "shell/simulator.h"
#include "tests/shell/shell_fixture.h"

namespace shell_test {
namespace {

std::string Shown(const std::optional<SocketAddress>& address) { return address ? address->FormatAddress() : "name"; }

TEST(ServerAddressText, NumbersOfEitherFamilyAreTakenAsTheyAreNamesAreLookedUp) {
    const struct {
        const char* text;
        const char* read;  // "name": to be looked up
    } rows[] = {
        {"10.1.2.3", "10.1.2.3"},     {"10.0.0", "0.0.0.0"},  // a malformed dotted quad, as always
        {"::1", "::1"},               {"[::1]", "::1"},       {"2001:db8::5", "2001:db8::5"},
        {"fe80::1", "fe80::1"},       {"localhost", "name"},  {"radius.test", "name"},
        {"radius:1812", "name"},      // no address: a name that will not be found
        {"", "0.0.0.0"},
    };
    for (const auto& row : rows) EXPECT_EQ(Shown(NumericServerAddress(row.text)), row.read) << row.text;
}

TEST(ServerAddressText, OnlyAnAddressOfSomeHostIsUsable) {
    EXPECT_TRUE(UsableServerAddress(*SocketAddress::Parse("127.0.0.1")));
    EXPECT_TRUE(UsableServerAddress(*SocketAddress::Parse("::1")));
    EXPECT_FALSE(UsableServerAddress(SocketAddress::Ipv4(0, 0)));
    EXPECT_FALSE(UsableServerAddress(*SocketAddress::Parse("::")));
    EXPECT_FALSE(UsableServerAddress(SocketAddress()));
}

using ServerAddressOptionsTest = ShellTest;

TEST_F(ServerAddressOptionsTest, AnIpv6HostIsReadWithoutALookupAndNeverRewritten) {
    for (const char* written : {"::1", "[::1]", "0:0:0:0:0:0:0:1"}) {
        WriteOptions(std::string("[Options]\nRadHost=") + written + "\n");
        LoadOptions();
        EXPECT_EQ(Shell().options.radHost.FormatAddress(), "::1") << written;
        EXPECT_TRUE(SaveOptions());
        EXPECT_EQ(Option("RadHost"), written);
    }
    EXPECT_TRUE(platform.MessageBoxes().empty());  // no "Radius host not found"
    Shell().options.radHost = *SocketAddress::Parse("2001:db8::9");
    EXPECT_TRUE(SaveOptions());
    EXPECT_EQ(Option("RadHost"), "2001:db8::9");
}

TEST_F(ServerAddressOptionsTest, ARunOpensItsSocketInTheServersFamilyOrAtTheSourceAddress) {
    ASSERT_NE(CreateMainWindow(), kNoWindow);
    const struct {
        const char* lines;
        const char* bound;  // empty: the set-up fails with failure
        const char* failure;
    } rows[] = {
        {"RadHost=::1\n", "[::]:0", ""},
        {"RadHost=127.0.0.1\nSourceAddress=127.0.0.2\n", "127.0.0.2:0", ""},
        {"RadHost=::1\nSourceAddress=::1\n", "[::1]:0", ""},
        {"RadHost=127.0.0.1\nSourceAddress=nas.test\n", "",
         "SourceAddress is no numeric IPv4 or IPv6 address: nas.test"},
        {"RadHost=::1\nSourceAddress=127.0.0.2\n", "",
         "Source address 127.0.0.2 cannot reach the Radius host ::1: another address family"},
        {"RadHost=::\n", "", "no usable RADIUS server address (RadHost) in "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lines);
        ResetShell();
        auto fake = std::make_unique<WatchableFakeSocket>();
        socket = fake.get();
        engine = std::make_unique<RadiusEngine>(&clock, &random, std::move(fake));
        BindShell(*engine, *simulation, clock);
        ASSERT_NE(CreateMainWindow(), kNoWindow);
        WriteOptions(std::string("[Options]\nQuorlanPort=1812\nDictDir=") + folder.Root() + "/\n" + row.lines);
        std::string failure;
        const bool started = InitSimulator(failure, ServerAddress::Required);
        if (*row.bound == '\0') {
            EXPECT_FALSE(started);
            EXPECT_EQ(failure.rfind(row.failure, 0), 0u) << failure;
            continue;
        }
        ASSERT_TRUE(started) << failure;
        EXPECT_EQ(socket->boundTo.Format(), row.bound);
        ShutdownSimulator();
    }
}

}  // namespace
}  // namespace shell_test
