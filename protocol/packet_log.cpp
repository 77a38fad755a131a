#include "protocol/packet_log.h"

#include <string>

#include "infra/log.h"
#include "protocol/dictionary.h"
#include "protocol/packet_items.h"
#include "protocol/radius_attribute.h"

namespace {

constexpr int kPacketTraceLevel = 3;
constexpr std::int32_t kVendorSpecific = 26;  // RFC 2865 section 5.26

// The name text and the value text of one item.
std::pair<std::string, std::string> DescribeItem(const PacketItem& item, const Dictionary* dictionary) {
    const AttributeDef* definition = dictionary ? dictionary->FindByNumber(item.type) : nullptr;
    if (definition && (definition->type == ValueType::Complex || definition->number == kVendorSpecific))
        definition = dictionary->FindComplex(item.type, item.value);
    if (definition == nullptr) return {"Attr=" + std::to_string(item.type), "Unknown Type"};
    if (definition->type == ValueType::Complex) return {definition->name, ReadComplex(*definition, item.value)};
    return {definition->name, FormatValue(item.value, definition->type)};
}

}  // namespace

const char* PacketCodeName(int code) {
    switch (code) {
        case 1: return "Access Request";
        case 2: return "Access Accept";
        case 3: return "Access Reject";
        case 4: return "Account Request";
        case 5: return "Account Response";
        case 11: return "Access Challenge";
        default: return "Unknown";
    }
}

std::vector<std::string> DescribePacket(std::span<const std::uint8_t> packet, const Dictionary* dictionary) {
    std::vector<std::string> lines;
    lines.push_back(std::string("Code=") + PacketCodeName(packet.empty() ? -1 : packet[0]));
    ByteReader items(AttributeArea(packet));
    PacketItem item;
    while (NextPacketItem(items, item)) {
        const auto [name, value] = DescribeItem(item, dictionary);
        lines.push_back("  " + name + " = " + value);
    }
    return lines;
}

void LogPacket(std::span<const std::uint8_t> packet, const Dictionary* dictionary) {
    if (!IsLogEnabled(kPacketTraceLevel)) return;
    for (const std::string& line : DescribePacket(packet, dictionary)) Log(kPacketTraceLevel, "%s", line.c_str());
}
