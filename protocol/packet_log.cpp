#include "protocol/packet_log.h"

#include <algorithm>
#include <string>

#include "infra/log.h"
#include "protocol/dictionary.h"
#include "protocol/freeradius_log.h"
#include "protocol/packet_items.h"
#include "protocol/radius_attribute.h"

namespace {

constexpr int kPacketTraceLevel = 3;
constexpr std::int32_t kVendorSpecific = 26;  // RFC 2865 section 5.26

// The VALUE name of an own-format Integer value, when asked for and the dictionary has one.
std::string IntegerText(const AttributeDef& definition, std::span<const std::uint8_t> octets,
                        const Dictionary& dictionary, bool valueNames) {
    std::uint32_t number = 0;
    if (valueNames && ByteReader(octets).ReadU32(number)) {
        if (const ValueDef* named = dictionary.FindValueOf(definition.name, static_cast<std::int32_t>(number)))
            return named->valueName;
    }
    return FormatValue(octets, ValueType::Integer);
}

// The value text of a definition of the own format.
std::string NativeValueText(const AttributeDef& definition, std::span<const std::uint8_t> value,
                            const Dictionary& dictionary, bool valueNames) {
    if (definition.type == ValueType::Complex) {
        const auto header = static_cast<std::size_t>(std::max(definition.HeaderLength(), 0));
        if (definition.dataType == ValueType::Integer && value.size() >= header)
            return IntegerText(definition, value.subspan(header), dictionary, valueNames);
        return ReadComplex(definition, value);
    }
    if (definition.type == ValueType::Integer) return IntegerText(definition, value, dictionary, valueNames);
    return FormatValue(value, definition.type);
}

// The name and value texts of one item (several for a Vendor-Specific item that holds several
// vendor attributes).
void DescribeItem(const PacketItem& item, const Dictionary* dictionary, bool valueNames,
                  std::vector<TraceLine>& lines) {
    const AttributeDef* definition = dictionary ? dictionary->FindByNumber(item.type) : nullptr;
    if (definition && (definition->type == ValueType::Complex || definition->number == kVendorSpecific))
        definition = dictionary->FindComplex(item.type, item.value);
    if (definition == nullptr) {
        lines.emplace_back("Attr=" + std::to_string(item.type), "Unknown Type");
        return;
    }
    if (definition->IsVendorAttribute()) {
        if (DescribeVendorSpecific(*definition, item.value, *dictionary, valueNames, lines)) return;
        // Not laid out as its vendor's format says: the plain definition of the number shows it.
        definition = dictionary->FindComplex(item.type, std::span<const std::uint8_t>());
        if (definition == nullptr) {
            lines.emplace_back("Attr=" + std::to_string(item.type), "Unknown Type");
            return;
        }
    }
    if (definition->format == DictionaryFormat::FreeRadius)
        return DescribeFreeRadiusValue(*definition, item.value, dictionary, valueNames, lines);
    lines.emplace_back(definition->name, NativeValueText(*definition, item.value, *dictionary, valueNames));
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
        case 40: return "Disconnect Request";
        case 41: return "Disconnect ACK";
        case 42: return "Disconnect NAK";
        case 43: return "CoA Request";
        case 44: return "CoA ACK";
        case 45: return "CoA NAK";
        default: return "Unknown";
    }
}

std::vector<std::string> DescribePacket(std::span<const std::uint8_t> packet, const Dictionary* dictionary,
                                        bool valueNames) {
    std::vector<std::string> lines;
    lines.push_back(std::string("Code=") + PacketCodeName(packet.empty() ? -1 : packet[0]));
    ByteReader items(AttributeArea(packet));
    PacketItem item;
    std::vector<TraceLine> itemLines;
    while (NextPacketItem(items, item)) {
        itemLines.clear();
        DescribeItem(item, dictionary, valueNames, itemLines);
        for (const auto& [name, value] : itemLines) lines.push_back("  " + name + " = " + value);
    }
    return lines;
}

void LogPacket(std::span<const std::uint8_t> packet, const Dictionary* dictionary, bool valueNames) {
    if (!IsLogEnabled(kPacketTraceLevel)) return;
    for (const std::string& line : DescribePacket(packet, dictionary, valueNames))
        Log(kPacketTraceLevel, "%s", line.c_str());
}
