// Reading received packets: the packet-trace listing and taking one attribute out. Both read
// only octets that were received and lie inside the Length field.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/packet_attribute.h"
#include "protocol/packet_log.h"
#include "tests/protocol/dictionary_files.h"
#include "tests/support/capturing_logger.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// A packet of that code with the attribute octets after the header; its Length field counts
// them all, plus extraLength.
Bytes Packet(std::uint8_t code, const Bytes& attributes, int extraLength = 0) {
    const auto length = static_cast<std::uint16_t>(20 + attributes.size() + extraLength);
    Bytes packet(20 + attributes.size(), 0);
    packet[0] = code;
    packet[2] = static_cast<std::uint8_t>(length >> 8);
    packet[3] = static_cast<std::uint8_t>(length);
    std::copy(attributes.begin(), attributes.end(), packet.begin() + 20);
    return packet;
}

class PacketReadingTest : public ::testing::Test {
protected:
    CapturingLogger log;
    DictionaryFiles files;
    const Dictionary* dictionary = files.Load("t.dic",
                                              "ATTRIBUTE User-Name 1 string\n"
                                              "ATTRIBUTE NAS-IP-Address 4 ipaddr\n"
                                              "ATTRIBUTE Service-Type 6 integer\n"
                                              "ATTRIBUTE Stamp 55 date\n"
                                              "ATTRIBUTE Vendor-Specific 26 string\n"
                                              "ATTRIBUTE Example-AVPair 26 [vendor=9 type1=1 len1=+2 data=string]\n"
                                              "ATTRIBUTE Example-Limit 26 [vendor=311 type1=5 len1=+2 data=integer]\n"
                                              "ATTRIBUTE Example-Bare 99 [vendor=8 type1=1 len1=+2 data=string]\n");
    void SetUp() override { ASSERT_NE(dictionary, nullptr); }
};

TEST_F(PacketReadingTest, LogPacketListsAttributesThroughTheDictionary) {
    const Bytes items{1, 6, 't', 'e', 's', 't',      4, 6, 10, 0, 0, 1,  6, 6, 0xFF, 0xFF, 0xFF, 0xFF,
                      77, 3, 'x',                   1, 6, 'a', 0x0D, 0x0A, 'b',   1, 2,  55, 6, 0, 0, 0, 1,
                      26, 11, 0, 0, 0, 9, 1, 5, 'a', 'b', 'c',
                      26, 12, 0, 0, 1, 55, 5, 6, 0, 0, 1, 0,
                      26, 7, 0, 0, 0, 1, 'v',
                      99, 6, 0, 0, 0, 8};
    LogPacket(Packet(2, items), dictionary);
    EXPECT_EQ(log.LinesAt(3), (Lines{"Code=Access Accept",
                                     "  User-Name = test",
                                     "  NAS-IP-Address = 10.0.0.1",
                                     "  Service-Type = -1",
                                     "  Attr=77 = Unknown Type",
                                     "  User-Name = a\\0d\\0ab",
                                     "  User-Name = ",
                                     "  Stamp = Unknown Type",
                                     "  Example-AVPair = abc",
                                     "  Example-Limit = 256",
                                     "  Vendor-Specific = \\00\\00\\00\\01v",
                                     "  Example-Bare = \\00\\00\\00\\08"}));
    for (const auto& [code, name] : {std::pair{1, "Access Request"}, {4, "Account Request"},
                                     {5, "Account Response"}, {11, "Access Challenge"}, {6, "Unknown"}})
        EXPECT_EQ(DescribePacket(Packet(static_cast<std::uint8_t>(code), {}), dictionary)[0],
                  std::string("Code=") + name);
}

TEST_F(PacketReadingTest, ShortValuesAreShownAsOctets) {
    // Too short for their number type or for the header of a layout that fits: shown whole.
    // A value that fits no layout and has no plain definition is unknown.
    const Bytes items{6, 4, 0, 5, 4, 3, 10, 99, 7, 0, 0, 0, 8, 1, 99, 5, 0, 0, 0, 26, 4, 0, 0};
    EXPECT_EQ(DescribePacket(Packet(2, items), dictionary),
              (Lines{"Code=Access Accept", "  Service-Type = \\00\\05", "  NAS-IP-Address = \\0a",
                     "  Example-Bare = \\00\\00\\00\\08\\01", "  Attr=99 = Unknown Type",
                     "  Vendor-Specific = \\00\\00"}));
    EXPECT_EQ(DescribePacket(Packet(4, {1, 3, 'a'}), nullptr), (Lines{"Code=Account Request", "  Attr=1 = Unknown Type"}));
}

TEST_F(PacketReadingTest, AMalformedItemEndsTheListingAndTheSearch) {
    struct Case {
        const char* what;
        Bytes packet;
        Lines lines;
    } const cases[] = {
        {"length field 20", Packet(3, {1, 3, 'a', 24, 3, 's'}, -6), {"Code=Access Reject"}},
        {"length octet 1", Packet(3, {1, 3, 'a', 1, 1, 24, 3, 's'}), {"Code=Access Reject", "  User-Name = a"}},
        {"item past the Length field", Packet(3, {1, 3, 'a', 24, 4, 'b', 'c'}, -1), {"Code=Access Reject", "  User-Name = a"}},
        {"Length field past the octets", Packet(3, {1, 3, 'a', 24, 9, 'b'}, 200), {"Code=Access Reject", "  User-Name = a"}},
        {"header only", Bytes{11, 0}, {"Code=Access Challenge"}},
        {"nothing", Bytes{}, {"Code=Unknown"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DescribePacket(c.packet, dictionary), c.lines) << c.what;
        EXPECT_FALSE(FindPacketAttribute(c.packet, 24).has_value()) << c.what;
    }
}

TEST_F(PacketReadingTest, FindPacketAttributeTakesTheFirstItemOfTheNumber) {
    const Bytes packet = Packet(2, {18, 2, 24, 5, 's', 't', '1', 24, 3, 'x'});
    std::optional<RadiusAttribute> state = FindPacketAttribute(packet, 24);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->data.substr(0, static_cast<std::size_t>(state->length)), "st1");
    EXPECT_EQ(state->type, ValueType::String);
    EXPECT_EQ(FindPacketAttribute(packet, 18)->length, 0);
}

}  // namespace
