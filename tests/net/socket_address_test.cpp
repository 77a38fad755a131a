// Addresses of both families read and written as users type them, and looked up.
#include "net/socket_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SocketAddress, NumericTextsOfBothFamiliesAndTheirForms) {
    const struct {
        std::string text;
        AddressFamily family;
        const char* withPort;  // as Format writes it, port 1812
    } rows[] = {
        {"127.0.0.1", AddressFamily::Ipv4, "127.0.0.1:1812"},
        {"255.255.255.255", AddressFamily::Ipv4, "255.255.255.255:1812"},
        {"::1", AddressFamily::Ipv6, "[::1]:1812"},
        {"[::1]", AddressFamily::Ipv6, "[::1]:1812"},
        {"2001:DB8:0:0:0:0:0:1", AddressFamily::Ipv6, "[2001:db8::1]:1812"},
        {"::ffff:192.0.2.1", AddressFamily::Ipv6, "[::ffff:192.0.2.1]:1812"},
        {"fe80::1%lo", AddressFamily::Ipv6, "[fe80::1%lo]:1812"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const std::optional<SocketAddress> parsed = SocketAddress::Parse(row.text, 1812);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->Family(), row.family);
        EXPECT_EQ(parsed->Format(), row.withPort);
        // The address as written reads back as the same address, the zone included.
        EXPECT_EQ(SocketAddress::Parse(parsed->FormatAddress(), 1812), parsed);
        EXPECT_EQ(SocketAddress::FromRaw(parsed->Raw(), parsed->RawLength()), parsed);
    }
    EXPECT_EQ(SocketAddress::Parse("10.0.0.1")->Ipv4Address(), 0x0A000001u);
    EXPECT_EQ(SocketAddress::Any(AddressFamily::Ipv6, 3799).Format(), "[::]:3799");
    EXPECT_EQ(SocketAddress().Format(), "");
}

TEST(SocketAddress, AnythingButANumericAddressIsRefused) {
    for (const std::string& text : std::vector<std::string>{
             "", "localhost", "127.1", "0x7f.0.0.1", "1.2.3.4.5", "256.1.1.1", " 1.2.3.4", "1.2.3.4 ", "[::1", "::1]",
             "[127.0.0.1]", "::g", "1::2::3", "[]", std::string("::1\0x", 5), std::string(100, '1')})
        EXPECT_FALSE(SocketAddress::Parse(text)) << text;
}

TEST(SocketAddress, ResolveReadsNumbersWithoutALookupAndKeepsToTheFamilyAskedFor) {
    EXPECT_EQ(SocketAddress::Resolve("192.0.2.7", 7), SocketAddress::Ipv4(0xC0000207, 7));
    EXPECT_EQ(SocketAddress::Resolve("::1", 1812), SocketAddress::Parse("::1", 1812));
    EXPECT_FALSE(SocketAddress::Resolve("::1", 1812, AddressFamily::Ipv4));
    EXPECT_EQ(SocketAddress::Resolve("localhost", 1813, AddressFamily::Ipv4), SocketAddress::Ipv4(0x7F000001, 1813));
    EXPECT_FALSE(SocketAddress::Resolve("no-such-host.invalid", 1812));
}

}  // namespace
