#include "protocol/attribute_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/packet_attribute.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

RadiusAttribute Text(std::int32_t number, const char* text) { return RadiusAttribute("", number, text); }

std::string Value(const RadiusAttribute& attribute) {
    return std::string(reinterpret_cast<const char*>(attribute.data), static_cast<std::size_t>(attribute.length));
}

TEST(AttributeListTest, KeepsOrderAndFindsTheFirst) {
    AttributeList list;
    EXPECT_EQ(list.Find(24), nullptr);
    list.Append(Text(24, "first"));
    list.Append(Text(18, "reply"));
    list.Append(Text(24, "second"));
    ASSERT_NE(list.Find(24), nullptr);
    EXPECT_EQ(Value(*list.Find(24)), "first");
    std::vector<std::string> order;
    for (const RadiusAttribute& a : list) order.push_back(Value(a));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "reply", "second"}));
}

TEST(AttributeListTest, CopiesAreIndependent) {
    AttributeList list;
    list.Append(Text(1, "a"));
    AttributeList copy(list);
    copy.Append(Text(2, "b"));
    AttributeList assigned;
    assigned.Append(Text(9, "old"));
    assigned = list;
    list.Clear();
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(copy.Size(), 2u);
    EXPECT_EQ(assigned.Size(), 1u);
    EXPECT_EQ(Value(*assigned.Find(1)), "a");
    EXPECT_EQ(assigned.Find(9), nullptr);

    AttributeList& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned.Size(), 1u);
    EXPECT_TRUE(assigned.AppendAll(self));
    EXPECT_EQ(assigned.Size(), 2u);
}

TEST(AttributeListTest, EncodesInOrderAndAnEmptyListWritesNothing) {
    std::uint8_t buffer[16];
    ByteWriter empty(buffer, sizeof buffer);
    EXPECT_EQ(AttributeList().EncodeAll(empty, nullptr), 0u);
    EXPECT_EQ(empty.Position(), 0u);

    AttributeList list;
    list.Append(Text(1, "ab"));
    list.Append(Text(24, "s"));
    ByteWriter out(buffer, sizeof buffer);
    EXPECT_EQ(list.EncodeAll(out, nullptr), 7u);
    EXPECT_EQ(Bytes(buffer, buffer + 7), (Bytes{1, 4, 'a', 'b', 24, 3, 's'}));
}

// A packet with the given Length field and attribute octets after the 20-octet header.
Bytes Packet(std::uint16_t length, const Bytes& attributes) {
    Bytes packet(20 + attributes.size(), 0);
    packet[0] = 2;
    packet[2] = static_cast<std::uint8_t>(length >> 8);
    packet[3] = static_cast<std::uint8_t>(length);
    std::copy(attributes.begin(), attributes.end(), packet.begin() + 20);
    return packet;
}

TEST(FindPacketAttributeTest, TakesTheFirstWellFormedItem) {
    const Bytes items{18, 4, 'h', 'i', 24, 5, 's', 't', '1', 24, 3, 'x'};
    std::optional<RadiusAttribute> state = FindPacketAttribute(Packet(32, items), 24);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(Value(*state), "st1");
    EXPECT_EQ(state->data[3], 0);
    EXPECT_EQ(state->number, 24);
    EXPECT_EQ(state->type, ValueType::String);
    EXPECT_STREQ(state->name, "");
    ASSERT_TRUE(FindPacketAttribute(Packet(32, {18, 2}), 18).has_value());
    EXPECT_EQ(FindPacketAttribute(Packet(32, {18, 2}), 18)->length, 0);
}

TEST(FindPacketAttributeTest, MalformedPacketsGiveNothing) {
    struct Case {
        const char* what;
        Bytes packet;
    };
    const Case cases[] = {
        {"length field 20", Packet(20, {24, 3, 'x'})},
        {"length field below 20", Packet(4, {24, 3, 'x'})},
        {"first item of length 1", Packet(26, {1, 1, 24, 3, 'x', 0})},
        {"item of length 0", Packet(23, {24, 0, 0})},
        {"item past the Length field", Packet(24, {24, 5, 'a', 'b', 'c'})},
        {"Length field past the octets received", Packet(200, {18, 3, 'a', 24, 9, 'x'})},
        {"truncated header", Bytes{2, 0, 0}},
        {"empty", Bytes{}},
    };
    for (const Case& c : cases) EXPECT_FALSE(FindPacketAttribute(c.packet, 24).has_value()) << c.what;
}

}  // namespace
