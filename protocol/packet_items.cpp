#include "protocol/packet_items.h"

#include <algorithm>

#include "protocol/packet_attribute.h"

std::span<const std::uint8_t> AttributeArea(std::span<const std::uint8_t> packet) {
    ByteReader header(packet);
    std::uint16_t declared = 0;
    if (!header.Skip(2) || !header.ReadU16(declared)) return {};
    const std::size_t end = std::min<std::size_t>(declared, packet.size());
    if (end <= kRadiusHeaderLength) return {};
    return packet.subspan(kRadiusHeaderLength, end - kRadiusHeaderLength);
}

bool NextPacketItem(ByteReader& items, PacketItem& item) {
    std::uint8_t length = 0;
    if (items.Remaining() == 0 || !items.ReadU8(item.type) || !items.ReadU8(length)) return false;
    if (length < 2) return false;
    return items.ReadSpan(length - 2u, item.value);
}
