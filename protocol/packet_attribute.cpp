#include "protocol/packet_attribute.h"

#include <algorithm>
#include <cstring>

#include "protocol/packet_items.h"

std::optional<RadiusAttribute> FindPacketAttribute(std::span<const std::uint8_t> packet, std::int32_t number) {
    ByteReader items(AttributeArea(packet));
    PacketItem item;
    while (NextPacketItem(items, item)) {
        if (item.type != number) continue;
        RadiusAttribute attribute;
        attribute.type = ValueType::String;
        attribute.number = item.type;
        attribute.data.assign(reinterpret_cast<const char*>(item.value.data()), item.value.size());
        attribute.length = static_cast<std::int32_t>(item.value.size());
        return attribute;
    }
    return std::nullopt;
}
