// Walking the attribute items of a received RADIUS packet (RFC 2865 section 5: type octet,
// length octet counting the whole item, value).
#pragma once

#include <cstdint>
#include <span>

#include "protocol/byte_span.h"

struct PacketItem {
    std::uint8_t type = 0;
    std::span<const std::uint8_t> value;  // at most 253 octets
};

// The attribute octets: from octet 20 up to the Length field (octets 2 and 3), but never past
// the octets received. Empty when there are none.
std::span<const std::uint8_t> AttributeArea(std::span<const std::uint8_t> packet);

// The next item, or false at the end of the area and at a malformed item (length octet below
// 2, or an item running past the end of the area); the walk stops there.
bool NextPacketItem(ByteReader& items, PacketItem& item);
