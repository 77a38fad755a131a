// The packet trace of FreeRADIUS-format definitions: Vendor-Specific attributes by their
// vendor's definitions, tags, arrays and each type's text; VALUE names when asked for, in both
// formats.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/packet_log.h"
#include "tests/protocol/dictionary_files.h"
#include "tests/support/capturing_logger.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

Bytes Packet(const Bytes& attributes) {
    Bytes packet(20, 0);
    packet[0] = 2;
    packet.insert(packet.end(), attributes.begin(), attributes.end());
    packet[3] = static_cast<std::uint8_t>(packet.size());
    return packet;
}

// The listing's attribute lines, without the code line.
Lines Listed(const Bytes& attributes, const Dictionary* dictionary, bool valueNames = false) {
    Lines lines = DescribePacket(Packet(attributes), dictionary, valueNames);
    return Lines(lines.begin() + 1, lines.end());
}

class PacketTraceTest : public ::testing::Test {
protected:
    CapturingLogger log;
    DictionaryFiles files;
    const Dictionary* dictionary = files.Load(
        "t.dic",
        "VENDOR Acme 9999\n"
        "VENDOR Wide 4846 format=2,1\n"
        "ATTRIBUTE Vendor-Specific 26 vsa\n"
        "ATTRIBUTE Number 5 integer\n"
        "ATTRIBUTE Service-Type 6 integer\n"
        "ATTRIBUTE Stamp 55 date\n"
        "ATTRIBUTE Tunnel-Type 64 integer has_tag\n"
        "ATTRIBUTE Tunnel-Client-Endpoint 66 string has_tag\n"
        "ATTRIBUTE Tunnel-Password 69 string has_tag,encrypt=2\n"
        "ATTRIBUTE Address6 95 ipv6addr\n"
        "ATTRIBUTE Prefix6 97 ipv6prefix\n"
        "ATTRIBUTE Servers 98 ipaddr array\n"
        "VALUE Service-Type Framed-User 2\n"
        "VALUE Tunnel-Type L2TP 3\n"
        "BEGIN-VENDOR Acme\n"
        "ATTRIBUTE Acme-Text 1 string\n"
        "ATTRIBUTE Acme-Level 2 byte\n"
        "ATTRIBUTE Acme-Mac 3 ether\n"
        "ATTRIBUTE Acme-Signed 4 signed\n"
        "VALUE Acme-Level High 9\n"
        "END-VENDOR Acme\n"
        "BEGIN-VENDOR Wide\nATTRIBUTE Wide-Count 300 integer64\nEND-VENDOR Wide\n");
    void SetUp() override { ASSERT_NE(dictionary, nullptr) << log.Lines().back(); }
};

TEST_F(PacketTraceTest, VendorSpecificAttributesAreReadByTheirVendorsDefinitions) {
    struct Case {
        const char* what;
        Bytes items;
        Lines lines;
    } const cases[] = {
        {"two vendor attributes in one", {26, 15, 0, 0, 0x27, 0x0F, 1, 4, 'h', 'i', 2, 3, 9, 7, 2},
         {"  Acme-Text = hi", "  Acme-Level = 9", "  Attr=26.9999.7 = 0x"}},
        {"a two-octet vendor type above 255",
         {26, 17, 0, 0, 0x12, 0xEE, 0x01, 0x2C, 11, 0, 0, 1, 0x1F, 0x71, 0xFB, 4, 0xCB},
         {"  Wide-Count = 1234567890123"}},
        {"an unknown vendor", {26, 9, 0, 0, 0, 7, 1, 3, 'x'}, {"  Vendor-Specific = 0x00000007010378"}},
        {"a vendor length past the end", {26, 9, 0, 0, 0x27, 0x0F, 1, 9, 'x'},
         {"  Vendor-Specific = 0x0000270f010978"}},
        {"an ether and a signed", {26, 14, 0, 0, 0x27, 0x0F, 3, 8, 0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E,
                                   26, 12, 0, 0, 0x27, 0x0F, 4, 6, 0xFF, 0xFF, 0xFF, 0xFE},
         {"  Acme-Mac = 00:1a:2b:3c:4d:5e", "  Acme-Signed = -2"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Listed(c.items, dictionary), c.lines) << c.what;
}

TEST_F(PacketTraceTest, TagsArraysAndTypesHaveTheirText) {
    const Bytes items{64, 6, 1, 0, 0, 3,                 // tagged integer
                      66, 4, 2, 'h',                     // tagged string
                      66, 5, '!', 'h', 'i',              // a first octet above 0x1F is no tag
                      69, 6, 1, 0x80, 1, 2,              // hidden: as octets
                      5, 6, 0xFF, 0xFF, 0xFF, 0xFF,      // unsigned
                      5, 4, 0, 1,                        // the wrong size
                      55, 6, 0x65, 0x53, 0xF1, 0x00,     // a date
                      95, 18, 0x20, 1, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                      97, 6, 0, 32, 0x20, 1,             // a prefix shorter than its address
                      98, 10, 10, 0, 0, 1, 10, 0, 0, 2}; // two addresses in one
    EXPECT_EQ(Listed(items, dictionary),
              (Lines{"  Tunnel-Type:1 = 3", "  Tunnel-Client-Endpoint:2 = h", "  Tunnel-Client-Endpoint = !hi",
                     "  Tunnel-Password = 0x01800102", "  Number = 4294967295", "  Number = 0x0001",
                     "  Stamp = 2023-11-14T22:13:20Z", "  Address6 = 2001:db8::1", "  Prefix6 = 2001::/32",
                     "  Servers = 10.0.0.1", "  Servers = 10.0.0.2"}));
}

TEST_F(PacketTraceTest, ValueNamesReplaceNumbersOnlyWhenAskedFor) {
    const Bytes items{6, 6, 0, 0, 0, 2, 6, 6, 0, 0, 0, 7, 64, 6, 1, 0, 0, 3, 26, 9, 0, 0, 0x27, 0x0F, 2, 3, 9};
    EXPECT_EQ(Listed(items, dictionary),
              (Lines{"  Service-Type = 2", "  Service-Type = 7", "  Tunnel-Type:1 = 3", "  Acme-Level = 9"}));
    EXPECT_EQ(Listed(items, dictionary, true),
              (Lines{"  Service-Type = Framed-User", "  Service-Type = 7", "  Tunnel-Type:1 = L2TP",
                     "  Acme-Level = High"}));

    // The own format: plain and complex integers.
    const Dictionary* own = files.Load("own.dic",
                                       "ATTRIBUTE Service-Type 6 integer\n"
                                       "ATTRIBUTE Example-Limit 26 [vendor=311 type1=5 len1=+2 data=integer]\n"
                                       "VALUE Service-Type Framed-User 2\nVALUE Example-Limit Many 256\n");
    ASSERT_NE(own, nullptr);
    const Bytes ownItems{6, 6, 0, 0, 0, 2, 26, 12, 0, 0, 1, 55, 5, 6, 0, 0, 1, 0};
    EXPECT_EQ(Listed(ownItems, own), (Lines{"  Service-Type = 2", "  Example-Limit = 256"}));
    EXPECT_EQ(Listed(ownItems, own, true), (Lines{"  Service-Type = Framed-User", "  Example-Limit = Many"}));
}

}  // namespace
