#include "protocol/byte_span.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ByteReaderTest, ReadsBigEndianAndStopsAtTheEnd) {
    const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    ByteReader reader(bytes, sizeof bytes);
    std::uint8_t u8 = 0;
    std::uint16_t u16 = 0;
    std::uint32_t u32 = 0;
    EXPECT_TRUE(reader.ReadU8(u8));
    EXPECT_TRUE(reader.ReadU16(u16));
    EXPECT_TRUE(reader.ReadU32(u32));
    EXPECT_EQ(u8, 0x01);
    EXPECT_EQ(u16, 0x0203);
    EXPECT_EQ(u32, 0x04050607u);
    EXPECT_FALSE(reader.ReadU8(u8));
    EXPECT_TRUE(reader.Failed());
    EXPECT_EQ(u8, 0x01);  // untouched
}

TEST(ByteReaderTest, AShortReadFailsWithoutMovingAndStaysFailed) {
    const std::uint8_t bytes[] = {0xAA, 0xBB, 0xCC};
    ByteReader reader(bytes, sizeof bytes);
    std::uint32_t u32 = 7;
    EXPECT_FALSE(reader.ReadU32(u32));
    EXPECT_EQ(u32, 7u);
    EXPECT_EQ(reader.Position(), 0u);
    std::uint8_t u8 = 0;
    EXPECT_FALSE(reader.ReadU8(u8));  // sticky
    std::span<const std::uint8_t> span;
    EXPECT_FALSE(ByteReader(bytes, 3).ReadSpan(4, span));
    EXPECT_FALSE(ByteReader(nullptr, 10).Skip(1));
}

TEST(ByteWriterTest, WritesWholeValuesOrNothing) {
    std::uint8_t buffer[7] = {};
    ByteWriter writer(buffer, sizeof buffer);
    EXPECT_TRUE(writer.WriteU8(0x01));
    EXPECT_TRUE(writer.WriteU16(0x0203));
    EXPECT_FALSE(writer.WriteU32(0x04050607u) && writer.WriteU8(0));
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 7), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(writer.Failed());
    EXPECT_EQ(writer.Position(), 7u);

    std::uint8_t small[3] = {9, 9, 9};
    ByteWriter tight(small, sizeof small);
    EXPECT_FALSE(tight.WriteU32(0));
    EXPECT_EQ(small[0], 9);
    EXPECT_EQ(tight.Position(), 0u);
}

TEST(ByteWriterTest, PatchesOnlyWrittenOctets) {
    std::uint8_t buffer[8] = {};
    ByteWriter writer(buffer, sizeof buffer);
    writer.WriteU32(0);
    EXPECT_TRUE(writer.PutU16At(2, 0xABCD));
    EXPECT_FALSE(writer.PutU16At(3, 1));
    EXPECT_FALSE(writer.PutU8At(4, 1));
    EXPECT_FALSE(writer.Failed());
    EXPECT_EQ(buffer[2], 0xAB);
    EXPECT_EQ(buffer[3], 0xCD);
    EXPECT_EQ(buffer[4], 0);
}

}  // namespace
