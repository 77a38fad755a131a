#include "protocol/byte_span.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ByteReaderTest, ReadsBigEndianAndAShortReadFailsWithoutMovingForGood) {
    const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    ByteReader reader(bytes, sizeof bytes);
    std::uint8_t u8 = 0;
    std::uint16_t u16 = 0;
    std::uint32_t u32 = 7;
    EXPECT_TRUE(reader.ReadU8(u8) && reader.ReadU16(u16));
    EXPECT_EQ(u8, 0x01);
    EXPECT_EQ(u16, 0x0203);
    EXPECT_FALSE(reader.ReadU32(u32));
    EXPECT_EQ(u32, 7u);
    EXPECT_EQ(reader.Position(), 3u);
    EXPECT_FALSE(reader.ReadU8(u8));  // sticky, although one octet remains
    EXPECT_TRUE(reader.Failed());
    EXPECT_FALSE(ByteReader(nullptr, 10).Skip(1));
}

TEST(ByteWriterTest, WritesWholeValuesOrNothingAndPatchesOnlyWrittenOctets) {
    std::uint8_t buffer[6] = {};
    ByteWriter writer(buffer, sizeof buffer);
    EXPECT_TRUE(writer.WriteU16(0x0102) && writer.WriteU8(3));
    EXPECT_FALSE(writer.WriteU32(0x04050607u));
    EXPECT_TRUE(writer.Failed());
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 6), (std::vector<std::uint8_t>{1, 2, 3, 0, 0, 0}));
    EXPECT_TRUE(writer.PutU16At(1, 0xABCD));
    EXPECT_FALSE(writer.PutU16At(2, 1));
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 4), (std::vector<std::uint8_t>{1, 0xAB, 0xCD, 0}));
}

}  // namespace
