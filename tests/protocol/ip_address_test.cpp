#include "protocol/ip_address.h"

#include <gtest/gtest.h>

namespace {

TEST(IpAddressTest, ParsesOnlyDottedQuads) {
    struct Case {
        const char* text;
        std::uint32_t address;
    } const cases[] = {
        {"10.0.0.1", 0x0A000001u},
        {"010.000.000.001", 0x0A000001u},
        {"1.2.3.4.x", 0x01020304u},  // what follows the fourth group's dot is not looked at
        {"10.0.0", 0},
        {"256.1.1.1", 0},
        {"0001.2.3.4", 0},
        {"1.2.3.4x", 0},
        {nullptr, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseIpAddress(c.text), c.address) << (c.text ? c.text : "(null)");
}

}  // namespace
