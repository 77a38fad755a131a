#include "net/bind_address.h"

#include <gtest/gtest.h>

namespace {

TEST(BindAddress, TheSourceWithoutItsPortElseTheWildcardOfTheServersFamily) {
    const auto parse = [](const char* text, std::uint16_t port = 0) {
        return *text ? SocketAddress::Parse(text, port).value() : SocketAddress();
    };
    const struct {
        const char* source;
        const char* server;
        const char* bound;
    } rows[] = {
        {"", "192.0.2.1", "0.0.0.0:0"},
        {"", "2001:db8::1", "[::]:0"},
        {"", "", "0.0.0.0:0"},  // no server yet: IPv4, as always
        {"127.0.0.2", "127.0.0.1", "127.0.0.2:0"},
        {"::1", "::1", "[::1]:0"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(BindAddressFor(parse(row.source, 3799), parse(row.server, 1812)).Format(), row.bound)
            << row.source << " / " << row.server;
}

}  // namespace
