// Values of FreeRADIUS-format definitions: every type and flag from its text to the octets of
// its item, texts the type refuses, and what is never encoded.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "protocol/dictionary.h"
#include "protocol/radius_attribute.h"
#include "tests/protocol/dictionary_files.h"
#include "tests/support/capturing_logger.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// Writes the hidden value as its plain octets with 0xEE before them, so that the item shows
// where the hidden part goes and what went into it.
class MarkingHider : public ValueHider {
public:
    bool Hide(ValueHiding hiding, std::span<const std::uint8_t> plain, ByteWriter& out) override {
        ++calls;
        lastHiding = hiding;
        return out.WriteU8(0xEE) && out.WriteBytes(plain);
    }
    int calls = 0;
    ValueHiding lastHiding = ValueHiding::None;
};

class FreeRadiusValuesTest : public ::testing::Test {
protected:
    CapturingLogger log;
    DictionaryFiles files;
    const Dictionary* dictionary = files.Load(
        "t.dic",
        "VENDOR Acme 9999\n"
        "VENDOR Wide 4846 format=2,1\n"
        "VENDOR Double 8164 format=2,2\n"
        "VENDOR Usr 429 format=4,0\n"
        "VENDOR Wimax 24757 format=1,1,c\n"
        "ATTRIBUTE Text 1 string\n"
        "ATTRIBUTE Raw 3 octets\n"
        "ATTRIBUTE Fixed 70 octets[2]\n"
        "ATTRIBUTE Address 4 ipaddr\n"
        "ATTRIBUTE Number 5 integer\n"
        "ATTRIBUTE Service-Type 6 integer\n"
        "ATTRIBUTE Stamp 55 date\n"
        "ATTRIBUTE Tunnel-Type 64 integer has_tag\n"
        "ATTRIBUTE Tunnel-Client-Endpoint 66 string has_tag\n"
        "ATTRIBUTE Tunnel-Password 69 string has_tag,encrypt=2\n"
        "ATTRIBUTE Hidden 2 string encrypt=1\n"
        "ATTRIBUTE Prefix6 97 ipv6prefix\n"
        "ATTRIBUTE Prefix4 155 ipv4prefix\n"
        "ATTRIBUTE Interface 96 ifid\n"
        "ATTRIBUTE Combo 100 combo-ip\n"
        "ATTRIBUTE Auth-Type 1000 integer\n"
        "ATTRIBUTE Ext 241 extended\n"
        "VALUE Service-Type Framed-User 2\n"
        "VALUE Number Framed 9\n"
        "VALUE Tunnel-Type L2TP 3\n"
        "BEGIN-VENDOR Acme\n"
        "ATTRIBUTE Acme-Text 1 string\n"
        "ATTRIBUTE Acme-Byte 2 byte\n"
        "ATTRIBUTE Acme-Short 3 short\n"
        "ATTRIBUTE Acme-Signed 4 signed\n"
        "ATTRIBUTE Acme-Mac 5 ether\n"
        "ATTRIBUTE Acme-Key 6 octets encrypt=2\n"
        "ATTRIBUTE Acme-Tlv 7 tlv\n"
        "END-VENDOR Acme\n"
        "BEGIN-VENDOR Wide\nATTRIBUTE Wide-Count 2 integer64\nEND-VENDOR Wide\n"
        "BEGIN-VENDOR Double\nATTRIBUTE Double-Name 258 string\nEND-VENDOR Double\n"
        "BEGIN-VENDOR Usr\nATTRIBUTE Usr-Address 0x9806 ipv6addr\nEND-VENDOR Usr\n"
        "BEGIN-VENDOR Wimax\nATTRIBUTE Wimax-Release 1 string\nEND-VENDOR Wimax\n");
    void SetUp() override { ASSERT_NE(dictionary, nullptr) << log.Lines().back(); }

    std::optional<RadiusAttribute> Parse(const std::string& name, const std::string& text,
                                         std::optional<std::uint8_t> tag = std::nullopt) {
        return ParseValue(*dictionary->FindByName(name), text, dictionary, tag);
    }
    Bytes Encoded(const RadiusAttribute& attribute, ValueHider* hider = nullptr) {
        std::uint8_t buffer[300];
        ByteWriter out(buffer, sizeof buffer);
        attribute.Encode(out, dictionary, hider);
        return Bytes(buffer, buffer + out.Position());
    }
};

TEST_F(FreeRadiusValuesTest, EachTypeAndVendorFormatEncodesByteByByte) {
    struct Case {
        const char* name;
        const char* text;
        Bytes wire;
        std::optional<std::uint8_t> tag = std::nullopt;
    };
    const Case cases[] = {
        {"Text", "abc", {1, 5, 'a', 'b', 'c'}},
        {"Raw", "0x00ff", {3, 4, 0x00, 0xFF}},
        {"Raw", "ab", {3, 4, 'a', 'b'}},
        {"Fixed", "0x0102", {70, 4, 1, 2}},
        {"Address", "10.0.0.1", {4, 6, 10, 0, 0, 1}},
        {"Number", "4294967295", {5, 6, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"Number", "0x10", {5, 6, 0, 0, 0, 0x10}},
        {"Number", "Framed", {5, 6, 0, 0, 0, 9}},
        {"Service-Type", "Framed-User", {6, 6, 0, 0, 0, 2}},
        {"Stamp", "1700000000", {55, 6, 0x65, 0x53, 0xF1, 0x00}},
        {"Stamp", "2023-11-14T22:13:20Z", {55, 6, 0x65, 0x53, 0xF1, 0x00}},
        {"Tunnel-Type", "L2TP", {64, 6, 1, 0, 0, 3}, 1},
        {"Tunnel-Type", "3", {64, 6, 0, 0, 0, 3}},
        {"Tunnel-Client-Endpoint", "h", {66, 4, 2, 'h'}, 2},
        {"Tunnel-Client-Endpoint", "h", {66, 3, 'h'}},
        {"Prefix6", "2001:db8:ffff::1/32",
         {97, 20, 0, 32, 0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"Prefix4", "10.1.2.3/8", {155, 8, 0, 8, 10, 0, 0, 0}},
        {"Interface", "1:2:a:ffff", {96, 10, 0, 1, 0, 2, 0, 0x0A, 0xFF, 0xFF}},
        {"Combo", "10.0.0.2", {100, 6, 10, 0, 0, 2}},
        {"Combo", "::1", {100, 18, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        // RFC 2865 section 5.26 in each vendor format.
        {"Acme-Text", "abc", {26, 11, 0, 0, 0x27, 0x0F, 1, 5, 'a', 'b', 'c'}},
        {"Acme-Byte", "255", {26, 9, 0, 0, 0x27, 0x0F, 2, 3, 0xFF}},
        {"Acme-Short", "0x1234", {26, 10, 0, 0, 0x27, 0x0F, 3, 4, 0x12, 0x34}},
        {"Acme-Signed", "-2", {26, 12, 0, 0, 0x27, 0x0F, 4, 6, 0xFF, 0xFF, 0xFF, 0xFE}},
        {"Acme-Mac", "00:1a:2B:3c:4d:5e", {26, 14, 0, 0, 0x27, 0x0F, 5, 8, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
        {"Wide-Count", "1234567890123",
         {26, 17, 0, 0, 0x12, 0xEE, 0, 2, 11, 0, 0, 0x01, 0x1F, 0x71, 0xFB, 0x04, 0xCB}},
        {"Double-Name", "x", {26, 11, 0, 0, 0x1F, 0xE4, 0x01, 0x02, 0, 5, 'x'}},
        {"Usr-Address", "2001:db8::1",
         {26, 26, 0, 0, 0x01, 0xAD, 0, 0, 0x98, 0x06, 0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"Wimax-Release", "2", {26, 10, 0, 0, 0x60, 0xB5, 1, 4, 0, '2'}},
    };
    for (const Case& c : cases) {
        const std::optional<RadiusAttribute> attribute = Parse(c.name, c.text, c.tag);
        ASSERT_TRUE(attribute.has_value()) << c.name << "=" << c.text << ": " << log.Lines().back();
        EXPECT_EQ(Encoded(*attribute), c.wire) << c.name << "=" << c.text;
    }
    EXPECT_EQ(log.Lines(), Lines{});
}

TEST_F(FreeRadiusValuesTest, TextsTheTypeRefusesAreInvalidWithAMessage) {
    struct Case {
        const char* name;
        const char* text;
        const char* message;
        std::optional<std::uint8_t> tag = std::nullopt;
    };
    const Case cases[] = {
        {"Acme-Byte", "256", "Invalid value '256' for Acme-Byte (byte)"},
        {"Acme-Short", "-1", "Invalid value '-1' for Acme-Short (short)"},
        {"Number", "4294967296", "Invalid value '4294967296' for Number (integer)"},
        {"Number", "12abc", "Invalid value '12abc' for Number (integer)"},
        {"Number", "Framed-User", "Invalid value 'Framed-User' for Number (integer)"},  // another's VALUE
        {"Acme-Signed", "2147483648", "Invalid value '2147483648' for Acme-Signed (signed)"},
        {"Address", "10.0.0", "Invalid value '10.0.0' for Address (ipaddr)"},
        {"Usr-Address", "2001:db8::g", "Invalid value '2001:db8::g' for Usr-Address (ipv6addr)"},
        {"Prefix6", "::/129", "Invalid value '::/129' for Prefix6 (ipv6prefix)"},
        {"Interface", "1:2:3:4:5", "Invalid value '1:2:3:4:5' for Interface (ifid)"},
        {"Acme-Mac", "00:11:22:33:44", "Invalid value '00:11:22:33:44' for Acme-Mac (ether)"},
        {"Stamp", "yesterday", "Invalid value 'yesterday' for Stamp (date)"},
        {"Fixed", "0x010203", "Invalid value '0x010203' for Fixed (octets[2])"},
        {"Tunnel-Type", "16777216", "Invalid value '16777216' for Tunnel-Type (integer)", 1},
        {"Raw", "0x0g", "Invalid hex value '0x0g'"},
        {"Auth-Type", "1", "Radius Error: Attribute Auth-Type cannot be sent: it is internal to the server"},
        {"Ext", "0x00", "Radius Error: Attribute Ext cannot be sent: the type extended is not supported"},
        {"Acme-Tlv", "0x00", "Radius Error: Attribute Acme-Tlv cannot be sent: the type tlv is not supported"},
    };
    for (const Case& c : cases) {
        log.Clear();
        EXPECT_FALSE(Parse(c.name, c.text, c.tag).has_value()) << c.name << "=" << c.text;
        EXPECT_EQ(log.LinesAt(1), Lines{c.message}) << c.name << "=" << c.text;
    }
}

TEST_F(FreeRadiusValuesTest, HiddenValuesAreHiddenInTheirItemAndOnlyWhereTheyCanBe) {
    MarkingHider hider;
    // The tag stays in the clear before the hidden value (RFC 2868 section 3.5).
    const RadiusAttribute password = *Parse("Tunnel-Password", "pw", 3);
    EXPECT_EQ(Encoded(password, &hider), (Bytes{69, 6, 3, 0xEE, 'p', 'w'}));
    EXPECT_EQ(hider.lastHiding, ValueHiding::TunnelPassword);
    EXPECT_EQ(Encoded(*Parse("Tunnel-Password", "pw"), &hider), (Bytes{69, 6, 0, 0xEE, 'p', 'w'}));
    // A vendor's length octet counts the hidden octets.
    EXPECT_EQ(Encoded(*Parse("Acme-Key", "0x0102"), &hider),
              (Bytes{26, 11, 0, 0, 0x27, 0x0F, 6, 5, 0xEE, 1, 2}));
    EXPECT_EQ(Encoded(*Parse("Hidden", "x"), &hider), (Bytes{2, 4, 0xEE, 'x'}));
    EXPECT_EQ(hider.lastHiding, ValueHiding::UserPassword);
    EXPECT_EQ(hider.calls, 4);

    // Measured at their hidden length; refused where nothing can hide them.
    EXPECT_EQ(password.EncodedSize(dictionary), 2u + 1 + 2 + 16);
    EXPECT_EQ(Parse("Hidden", std::string(17, 'x'))->EncodedSize(dictionary), 2u + 32);
    EXPECT_EQ(password.EncodingProblem(dictionary, true), std::nullopt);
    EXPECT_EQ(password.EncodingProblem(dictionary, false),
              "Radius attribute cannot be hidden in this packet: Tunnel-Password");
    EXPECT_TRUE(Encoded(password).empty());
    EXPECT_EQ(log.LinesAt(0), Lines{"Radius attribute cannot be hidden in this packet: Tunnel-Password"});
    // RFC 2865 section 5.2: at most 128 hidden octets.
    EXPECT_EQ(Parse("Hidden", std::string(129, 'x'))->EncodingProblem(dictionary, true),
              "Radius attribute too long: Hidden");
    EXPECT_EQ(Parse("Acme-Text", std::string(248, 'x'))->EncodingProblem(dictionary, true),
              "Radius attribute too long: Acme-Text");
    EXPECT_EQ(Parse("Acme-Text", std::string(247, 'x'))->EncodedSize(dictionary), 255u);
}

TEST(OwnFormatNumbersTest, AnAttributeNumberAbove255IsRefusedNotCutToEightBits) {
    CapturingLogger log;
    DictionaryFiles files;
    const Dictionary* dictionary =
        files.Load("t.dic", "ATTRIBUTE Big 257 string\nATTRIBUTE Big-Vsa 300 [vendor=9 type1=1 len1=+2 data=string]\n");
    ASSERT_NE(dictionary, nullptr);
    for (const char* name : {"Big", "Big-Vsa"}) {
        const RadiusAttribute attribute = *ParseValue(*dictionary->FindByName(name), "x", dictionary);
        EXPECT_EQ(attribute.EncodingProblem(dictionary, true),
                  std::string("Radius attribute number above 255: ") + name);
        EXPECT_EQ(attribute.EncodedSize(dictionary), 0u);
    }
}

}  // namespace
