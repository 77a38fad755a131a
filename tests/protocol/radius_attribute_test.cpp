#include "protocol/radius_attribute.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/dictionary.h"
#include "tests/protocol/dictionary_files.h"
#include "tests/support/capturing_logger.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encoded(const RadiusAttribute& attribute, const Dictionary* dictionary) {
    std::uint8_t buffer[300];
    ByteWriter out(buffer, sizeof buffer);
    const std::size_t count = attribute.Encode(out, dictionary);
    EXPECT_EQ(count, out.Position());
    return Bytes(buffer, buffer + out.Position());
}

class AttributeTest : public ::testing::Test {
protected:
    CapturingLogger log;
    DictionaryFiles files;
    const Dictionary* dictionary = files.Load("t.dic",
                                              "ATTRIBUTE User-Name 1 string\n"
                                              "ATTRIBUTE Service-Type 6 integer\n"
                                              "ATTRIBUTE NAS-IP-Address 4 ipaddr\n"
                                              "ATTRIBUTE Stamp 55 date\n"
                                              "ATTRIBUTE Example-AVPair 26 [vendor=9 type1=1 len1=+2 data=string]\n"
                                              "ATTRIBUTE Example-Limit 26 [vendor=311 type2=5 len2=+3 data=integer]\n"
                                              "ATTRIBUTE Example-Date 26 [vendor=7 data=date]\n"
                                              "ATTRIBUTE Example-Empty 26 []\n"
                                              "ATTRIBUTE Example-Flag 26 [vendor=8 flag1=1]\n"
                                              "VALUE Framed-Protocol PPP 1\n"
                                              "VALUE Service-Type Framed-User 2\n");
    void SetUp() override { ASSERT_NE(dictionary, nullptr); }
    RadiusAttribute Parse(const char* name, const char* text) {
        std::optional<RadiusAttribute> a = ParseValue(*dictionary->FindByName(name), text, dictionary);
        EXPECT_TRUE(a.has_value()) << name << "=" << text;
        return a.value_or(RadiusAttribute());
    }
};

TEST_F(AttributeTest, ParsesValuesByType) {
    RadiusAttribute hex = Parse("User-Name", "0x0a0B");
    EXPECT_EQ(hex.data.substr(0, 2), "\n\x0b");
    EXPECT_EQ(hex.length, 2);
    RadiusAttribute plain = Parse("User-Name", "ab0x12");
    EXPECT_EQ(plain.data, "ab0x12");
    EXPECT_EQ(plain.name, "User-Name");
    EXPECT_EQ(plain.number, 1);
    EXPECT_EQ(Parse("Service-Type", "PPP").intValue, 1u);  // a VALUE of another attribute
    EXPECT_EQ(Parse("Service-Type", "12abc").intValue, 12u);
    EXPECT_EQ(Parse("Service-Type", "Unknown").intValue, 0u);
    EXPECT_EQ(Parse("NAS-IP-Address", "10.0.0.1").intValue, 0x0A000001u);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{});
}

TEST_F(AttributeTest, RefusesBadHexAndDatesWithAMessage) {
    for (const char* bad : {"0xabc", "0x1g"})
        EXPECT_FALSE(ParseValue(*dictionary->FindByName("User-Name"), bad, dictionary).has_value()) << bad;
    EXPECT_FALSE(ParseValue(*dictionary->FindByName("Stamp"), "1", dictionary).has_value());
    EXPECT_FALSE(ParseValue(*dictionary->FindByName("Example-Date"), "1", dictionary).has_value());
    EXPECT_EQ(log.LinesAt(1), (std::vector<std::string>{"Invalid hex value '0xabc'", "Invalid hex value '0x1g'",
                                                        "Radius Error: Unknown Attribute Type: Stamp (3)",
                                                        "Radius Error: Unknown Attribute Type: Example-Date (4)"}));
}

TEST_F(AttributeTest, EncodesItemsByteByByte) {
    struct Case {
        const char* name;
        const char* text;
        Bytes wire;
    };
    const Case cases[] = {
        {"User-Name", "abc", {0x01, 0x05, 'a', 'b', 'c'}},
        {"Service-Type", "2", {0x06, 0x06, 0, 0, 0, 2}},
        {"Example-AVPair", "abc", {0x1A, 0x0B, 0, 0, 0, 9, 1, 5, 'a', 'b', 'c'}},
        {"Example-Limit", "258", {0x1A, 0x0E, 0, 0, 1, 55, 0, 5, 0, 7, 0, 0, 1, 2}},
        {"Example-Empty", "", {0x1A, 0x02}},
        {"Example-Flag", "", {0x1A, 0x07, 0, 0, 0, 8, 1}},
    };
    for (const Case& c : cases) EXPECT_EQ(Encoded(Parse(c.name, c.text), dictionary), c.wire) << c.name << "=" << c.text;
    EXPECT_EQ(Encoded(RadiusAttribute(), nullptr), (Bytes{0xFF, 2}));  // number and type not set
    EXPECT_EQ(log.Lines(), std::vector<std::string>{});
}

TEST_F(AttributeTest, LeavesOutComplexAttributesItCannotWrite) {
    RadiusAttribute avpair = Parse("Example-AVPair", "abc");
    EXPECT_TRUE(Encoded(avpair, nullptr).empty());
    avpair.name = "Gone";
    EXPECT_TRUE(Encoded(avpair, dictionary).empty());
    EXPECT_EQ(log.LinesAt(0), (std::vector<std::string>{"Radius attribute not found: Example-AVPair",
                                                        "Radius attribute not found: Gone"}));

    // 6 header octets and 250 value octets do not fit in one item.
    log.Clear();
    RadiusAttribute big = Parse("Example-AVPair", std::string(250, 'x').c_str());
    EXPECT_TRUE(Encoded(big, dictionary).empty());
    EXPECT_EQ(log.LinesAt(0), std::vector<std::string>{"Radius attribute too long: Example-AVPair"});
    RadiusAttribute fits = Parse("Example-AVPair", std::string(247, 'x').c_str());
    EXPECT_EQ(Encoded(fits, dictionary).size(), 255u);

    // A counting writer measures the same items and leaves the same out, without a line.
    log.Clear();
    const std::pair<const RadiusAttribute*, std::size_t> measured[] = {{&avpair, 0}, {&big, 0}, {&fits, 255}};
    for (const auto& [attribute, size] : measured) {
        ByteWriter counter = ByteWriter::Counting(4096);
        EXPECT_EQ(attribute->Encode(counter, dictionary), size) << attribute->name;
        EXPECT_EQ(counter.Position(), size);
    }
    EXPECT_EQ(log.Lines(), std::vector<std::string>{});
}

TEST(FormatValueTest, ShowsEachTypeAndShortNumbersAsOctets) {
    struct Case {
        Bytes octets;
        ValueType type;
        std::string text;
    };
    const Case cases[] = {
        {{0x41, 0x00, 0x7F, 0x0D, 0x42}, ValueType::String, "A\\00\\7f\\0dB"},
        {{0xFF, 0xFF, 0xFF, 0xFF}, ValueType::Integer, "-1"},
        {{0x0A, 0, 0, 1}, ValueType::IpAddr, "10.0.0.1"},
        {{0, 5}, ValueType::Integer, "\\00\\05"},
        {{1, 2, 3}, ValueType::IpAddr, "\\01\\02\\03"},
        {{1, 2, 3, 4}, ValueType::Date, "Unknown Type"},
        {{1}, ValueType::NoValue, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatValue(c.octets, c.type), c.text);
}

TEST(FormatValueTest, StopsAtTheTextLimits) {
    // 84 escapes make 252 characters; the 85th would pass the 251 mark.
    EXPECT_EQ(FormatValue(Bytes(253, 0x01), ValueType::String), [] {
        std::string s;
        for (int i = 0; i < 84; ++i) s += "\\01";
        return s;
    }());
    // 250 characters leave room for one escape (to 253), then the printable octets up to 255.
    Bytes mixed(250, 'a');
    mixed.insert(mixed.end(), {0x01, 'b', 'c', 'd'});
    EXPECT_EQ(FormatValue(mixed, ValueType::String), std::string(250, 'a') + "\\01bc");
    // At 251 characters an escape no longer fits and the text ends there.
    Bytes late(251, 'a');
    late.insert(late.end(), {0x01, 'b'});
    EXPECT_EQ(FormatValue(late, ValueType::String), std::string(251, 'a'));
}

}  // namespace
