#include "protocol/freeradius_log.h"

#include "protocol/byte_span.h"
#include "protocol/dictionary.h"
#include "protocol/radius_attribute.h"
#include "protocol/typed_values.h"

namespace {

constexpr std::uint8_t kMaxTag = 0x1F;  // RFC 2868 section 3.1

std::uint32_t ReadBigEndian(std::span<const std::uint8_t> octets) {
    std::uint32_t value = 0;
    for (std::uint8_t octet : octets) value = (value << 8) | octet;
    return value;
}

std::string ValueText(const AttributeDef& definition, ValueType type, std::span<const std::uint8_t> octets,
                      const Dictionary* dictionary, bool valueNames) {
    if (type == ValueType::String) return FormatString(octets);
    if (valueNames && dictionary != nullptr && IsNumberType(type)) {
        if (const std::optional<std::uint64_t> number = ReadNumber(type, octets)) {
            const ValueDef* named = dictionary->FindValueOf(definition.name, static_cast<std::int32_t>(*number));
            if (named != nullptr && static_cast<std::uint32_t>(named->value) == *number) return named->valueName;
        }
    }
    return FormatTypedValue(type, octets);
}

}  // namespace

void DescribeFreeRadiusValue(const AttributeDef& definition, std::span<const std::uint8_t> value,
                             const Dictionary* dictionary, bool valueNames, std::vector<TraceLine>& lines) {
    const ValueType type = definition.ValueTypeOf();
    std::string name = definition.name;
    if (definition.hiding != ValueHiding::None) {
        lines.emplace_back(name, HexText(value));
        return;
    }
    // RFC 2868 section 3.1: an integer's tag is its first octet; a string's is an octet before
    // it when that octet is 0x1F or less.
    std::string untagged;
    if (definition.hasTag && !value.empty()) {
        const bool integer = type == ValueType::Integer && value.size() == 4;
        if (integer || value[0] <= kMaxTag) {
            if (value[0] != 0) name.append(":").append(std::to_string(value[0]));
            if (integer) {
                untagged.assign(value.begin(), value.end());
                untagged[0] = '\0';
                value = {reinterpret_cast<const std::uint8_t*>(untagged.data()), untagged.size()};
            } else {
                value = value.subspan(1);
            }
        }
    }
    const std::size_t elementSize = FixedValueSize(type);
    if (definition.array && elementSize != 0 && value.size() > elementSize && value.size() % elementSize == 0) {
        for (std::size_t at = 0; at < value.size(); at += elementSize) {
            const std::span<const std::uint8_t> element = value.subspan(at, elementSize);
            lines.emplace_back(name, ValueText(definition, type, element, dictionary, valueNames));
        }
        return;
    }
    lines.emplace_back(name, ValueText(definition, type, value, dictionary, valueNames));
}

bool DescribeVendorSpecific(const AttributeDef& definition, std::span<const std::uint8_t> value,
                            const Dictionary& dictionary, bool valueNames, std::vector<TraceLine>& lines) {
    // RFC 2865 section 5.26: the Vendor-Id, then one or more vendor attributes.
    const VendorFormat format = definition.vendorFormat;
    const std::size_t header = format.typeSize + format.lengthSize + (format.continuation ? 1u : 0u);
    if (value.size() < 4) return false;
    const std::uint32_t vendorId = ReadBigEndian(value.first(4));
    std::vector<TraceLine> found;
    ByteReader rest(value.subspan(4));
    while (rest.Remaining() > 0) {
        std::span<const std::uint8_t> typeOctets;
        std::span<const std::uint8_t> lengthOctets;
        if (!rest.ReadSpan(format.typeSize, typeOctets) || !rest.ReadSpan(format.lengthSize, lengthOctets))
            return false;
        // Without a length field the vendor attribute takes the rest of the value.
        const std::size_t length = format.lengthSize == 0 ? header + rest.Remaining() : ReadBigEndian(lengthOctets);
        std::span<const std::uint8_t> content;
        if (length < header || !rest.Skip(format.continuation ? 1 : 0) || !rest.ReadSpan(length - header, content))
            return false;
        const std::uint32_t vendorType = ReadBigEndian(typeOctets);
        if (const AttributeDef* vendorAttribute = dictionary.FindVendorAttribute(vendorId, vendorType)) {
            DescribeFreeRadiusValue(*vendorAttribute, content, &dictionary, valueNames, found);
        } else {
            found.emplace_back("Attr=26." + std::to_string(vendorId) + "." + std::to_string(vendorType),
                               HexText(content));
        }
    }
    lines.insert(lines.end(), found.begin(), found.end());
    return true;
}
