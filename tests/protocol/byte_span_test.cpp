// The counting writer fails and counts exactly where a writer with a buffer of the same
// capacity does: the packet-size checks rely on it.
#include "protocol/byte_span.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

TEST(ByteWriter, CountingFailsAndCountsLikeABufferOfTheSameCapacity) {
    const std::array<std::uint8_t, 5> five{1, 2, 3, 4, 5};
    const std::vector<std::function<bool(ByteWriter&)>> writes = {
        [](ByteWriter& w) { return w.WriteU8(0x11); },
        [](ByteWriter& w) { return w.WriteU16(0x2233); },
        [](ByteWriter& w) { return w.PutU8At(2, 0x44); },  // inside what was written
        [](ByteWriter& w) { return !w.PutU16At(2, 0); },   // reaches past it
        [](ByteWriter& w) { return w.WriteU32(0x55667788); },
        [&](ByteWriter& w) { return w.WriteBytes(five.data(), five.size()); },
        [](ByteWriter& w) { return w.WriteU8(0x99); },
    };
    for (std::size_t capacity = 0; capacity <= 14; ++capacity) {
        std::vector<std::uint8_t> buffer(capacity);
        ByteWriter real(buffer.data(), capacity);
        ByteWriter counting = ByteWriter::Counting(capacity);
        for (std::size_t i = 0; i < writes.size(); ++i) {
            EXPECT_EQ(writes[i](counting), writes[i](real)) << "capacity " << capacity << ", write " << i;
            EXPECT_EQ(counting.Position(), real.Position()) << "capacity " << capacity << ", write " << i;
            EXPECT_EQ(counting.Failed(), real.Failed()) << "capacity " << capacity << ", write " << i;
        }
        EXPECT_TRUE(counting.IsCounting());
        EXPECT_TRUE(counting.Written().empty());
        EXPECT_EQ(real.Written().size(), real.Position());
    }
}
