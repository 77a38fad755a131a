// Cutting the TLS byte stream into RADIUS packets by their Length field, whatever the reads'
// boundaries, and refusing a Length no packet can have.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "net/length_framer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A packet of the given Length whose octets after the header count up from its identifier.
Bytes Packet(std::uint8_t id, std::size_t length) {
    Bytes packet(length);
    packet[0] = 2;
    packet[1] = id;
    packet[2] = static_cast<std::uint8_t>(length >> 8);
    packet[3] = static_cast<std::uint8_t>(length);
    for (std::size_t i = 4; i < length; ++i) packet[i] = static_cast<std::uint8_t>(id + i);
    return packet;
}

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The stream fed in reads of the given sizes (the rest in one last read): the packets taken.
std::vector<Bytes> Feed(LengthFramer& framer, const Bytes& stream, const std::vector<std::size_t>& reads) {
    std::vector<Bytes> packets;
    std::array<std::uint8_t, LengthFramer::kMaxLength> out{};
    std::size_t at = 0;
    auto take = [&] {
        while (const std::size_t length = framer.Next(out)) packets.emplace_back(out.begin(), out.begin() + length);
    };
    for (std::size_t size : reads) {
        framer.Append(std::span(stream).subspan(at, size));
        at += size;
        take();
    }
    framer.Append(std::span(stream).subspan(at));
    take();
    return packets;
}

TEST(LengthFramer, PacketsComeWholeWhereverTheReadsEnd) {
    const Bytes first = Packet(1, 20);
    const Bytes second = Packet(2, 38);
    const Bytes largest = Packet(3, 4096);
    const struct {
        const char* name;
        std::vector<Bytes> packets;
        std::vector<std::size_t> reads;  // sizes of the reads before the last
    } rows[] = {
        {"one packet in one read", {first}, {}},
        {"two packets in one read", {first, second}, {}},
        {"a header split over reads", {second}, {1, 2}},
        {"a packet split after its header", {second}, {4, 10}},
        {"octet by octet", {first, second}, std::vector<std::size_t>(57, 1)},
        {"a read ending inside the second packet", {first, second}, {25}},
        {"the largest packet over three reads", {largest, first}, {1000, 3000}},
        {"nothing yet", {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LengthFramer framer;
        EXPECT_EQ(Feed(framer, Join(row.packets), row.reads), row.packets);
        EXPECT_FALSE(framer.Broken());
        EXPECT_FALSE(framer.HasPacket());
    }
}

TEST(LengthFramer, ALengthNoPacketCanHaveBreaksTheStream) {
    const struct {
        std::size_t length;
        bool broken;
    } rows[] = {{0, true}, {19, true}, {20, false}, {4096, false}, {4097, true}, {65535, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.length));
        Bytes header = {2, 7, static_cast<std::uint8_t>(row.length >> 8), static_cast<std::uint8_t>(row.length)};
        LengthFramer framer;
        EXPECT_EQ(framer.Append(header), !row.broken);
        EXPECT_EQ(framer.Broken(), row.broken);
        std::array<std::uint8_t, LengthFramer::kMaxLength> out{};
        EXPECT_EQ(framer.Next(out), 0U);  // a broken stream gives nothing; a whole one is not here yet
    }
}

TEST(LengthFramer, ABadLengthAfterGoodPacketsStopsAtIt) {
    LengthFramer framer;
    Bytes stream = Packet(1, 20);
    const Bytes bad = {2, 8, 0, 5, 0, 0};
    stream.insert(stream.end(), bad.begin(), bad.end());
    ASSERT_TRUE(framer.Append(stream));  // the first packet's Length is sound
    std::array<std::uint8_t, LengthFramer::kMaxLength> out{};
    EXPECT_EQ(framer.Next(out), 20U);
    EXPECT_TRUE(framer.Broken());
    EXPECT_EQ(framer.Next(out), 0U);
    EXPECT_FALSE(framer.Append(Packet(2, 20)));  // nothing more is taken
    framer.Clear();  // a new connection starts clean
    EXPECT_TRUE(framer.Append(Packet(3, 20)));
    EXPECT_EQ(framer.Next(out), 20U);
}

}  // namespace
