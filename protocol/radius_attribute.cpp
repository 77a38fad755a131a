#include "protocol/radius_attribute.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "infra/log.h"
#include "infra/number_text.h"
#include "protocol/dictionary.h"
#include "protocol/ip_address.h"

namespace {

void CopyName(char (&target)[33], std::string_view name) {
    const std::size_t count = std::min(name.size(), kMaxAttributeNameLength);
    std::memcpy(target, name.data(), count);
    target[count] = '\0';
}

// The String value octets actually held (the length field bounded to the data held).
std::size_t HeldLength(const RadiusAttribute& attribute) {
    if (attribute.length <= 0) return 0;
    return std::min({static_cast<std::size_t>(attribute.length), attribute.data.size(), kMaxAttributeValueLength});
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Holds text (cut to 253 octets) as the String value.
void SetStringValue(RadiusAttribute& attribute, std::string_view text) {
    attribute.data.assign(text.substr(0, kMaxAttributeValueLength));
    attribute.length = static_cast<std::int32_t>(attribute.data.size());
}

// "0x" and hexadecimal digit pairs into the data octets; false on an odd or non-hex digit.
bool ParseHex(std::string_view digits, RadiusAttribute& attribute) {
    if (digits.size() % 2 != 0) return false;
    std::string octets;
    octets.reserve(std::min(digits.size() / 2, kMaxAttributeValueLength));
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        const int high = HexDigitValue(digits[i]);
        const int low = HexDigitValue(digits[i + 1]);
        if (high < 0 || low < 0) return false;
        if (octets.size() < kMaxAttributeValueLength) octets.push_back(static_cast<char>(high * 16 + low));
    }
    SetStringValue(attribute, octets);
    return true;
}

std::uint32_t ReadU32(std::span<const std::uint8_t> octets) {
    std::uint32_t value = 0;
    ByteReader(octets).ReadU32(value);
    return value;
}

std::string FormatString(std::span<const std::uint8_t> octets) {
    std::string text;
    for (std::uint8_t octet : octets) {
        if (text.size() >= kMaxValueTextLength) break;
        if (octet >= 32 && octet <= 126) {
            text.push_back(static_cast<char>(octet));
        } else {
            if (text.size() >= kMaxValueTextLength - 4) break;  // an escape no longer fits
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\%02x", octet);
            text += escape;
        }
    }
    return text;
}

}  // namespace

RadiusAttribute::RadiusAttribute() : name{}, number(-1), type(ValueType::NotSet), intValue(0), length(0) {}

RadiusAttribute::RadiusAttribute(const char* attributeName, std::int32_t attributeNumber, std::string_view text)
    : RadiusAttribute() {
    CopyName(name, attributeName ? attributeName : "");
    number = attributeNumber;
    type = ValueType::String;
    SetStringValue(*this, text);
}

std::size_t RadiusAttribute::EncodeValue(ByteWriter& out, ValueType valueType) const {
    switch (valueType) {
        case ValueType::String: {
            const std::size_t count = HeldLength(*this);
            return out.WriteBytes(reinterpret_cast<const std::uint8_t*>(data.data()), count) ? count : 0;
        }
        case ValueType::Integer:
        case ValueType::IpAddr:
        case ValueType::Date:
            return out.WriteU32(intValue) ? 4 : 0;
        default:
            return 0;
    }
}

bool RadiusAttribute::WriteComplex(ByteWriter& out, const AttributeDef& definition) const {
    for (const ComplexField& field : definition.fields) {
        std::uint32_t value = static_cast<std::uint32_t>(field.value);
        if (field.kind == ComplexFieldKind::Data) {
            EncodeValue(out, definition.dataType);
            continue;
        }
        if (field.kind == ComplexFieldKind::LengthPlus) value += static_cast<std::uint32_t>(length);
        switch (field.size) {
            case 1: out.WriteU8(static_cast<std::uint8_t>(value)); break;
            case 2: out.WriteU16(static_cast<std::uint16_t>(value)); break;
            default: out.WriteU32(value); break;
        }
    }
    return !out.Failed();
}

std::size_t RadiusAttribute::Encode(ByteWriter& out, const Dictionary* dictionary) const {
    // The item is built whole first, so that it goes into the packet entirely or not at all.
    std::array<std::uint8_t, kMaxAttributeItemLength> item{};
    ByteWriter writer(item.data(), item.size());
    writer.WriteU8(static_cast<std::uint8_t>(number));
    writer.WriteU8(0);  // the length octet, filled in below
    // Measuring (a counting writer) is silent: an item left out is told when it is sent.
    const bool tell = !out.IsCounting();
    if (type == ValueType::Complex) {
        const AttributeDef* definition = dictionary ? dictionary->FindByName(name) : nullptr;
        if (definition == nullptr) {
            if (tell) Log(0, "Radius attribute not found: %s", name);
            return 0;
        }
        // RFC 2865 section 5: the Length octet covers the whole item, at most 255 octets.
        if (!WriteComplex(writer, *definition)) {
            if (tell) Log(0, "Radius attribute too long: %s", name);
            return 0;
        }
    } else {
        EncodeValue(writer, type);
    }
    writer.PutU8At(1, static_cast<std::uint8_t>(writer.Position()));
    return out.WriteBytes(writer.Written()) ? writer.Position() : 0;
}

std::optional<RadiusAttribute> ParseValue(const AttributeDef& definition, std::string_view text,
                                          const Dictionary* dictionary) {
    RadiusAttribute attribute;
    CopyName(attribute.name, definition.name);
    attribute.number = definition.number;
    attribute.type = definition.type;
    const ValueType effective = definition.type == ValueType::Complex ? definition.dataType : definition.type;
    switch (effective) {
        case ValueType::String:
            if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
                if (!ParseHex(text.substr(2), attribute)) {
                    Log(1, "Invalid hex value '%.*s'", static_cast<int>(text.size()), text.data());
                    return std::nullopt;
                }
            } else {
                SetStringValue(attribute, text);
            }
            return attribute;
        case ValueType::Integer: {
            const ValueDef* entry = nullptr;
            if (!text.empty() && IsLetter(text[0]) && dictionary != nullptr) entry = dictionary->FindValue(text);
            attribute.intValue = static_cast<std::uint32_t>(entry ? entry->value : LeadingInteger(text));
            attribute.length = 4;
            return attribute;
        }
        case ValueType::IpAddr:
            attribute.intValue = ParseIpAddress(std::string(text).c_str());
            attribute.length = 4;
            return attribute;
        case ValueType::NoValue:
            return attribute;
        default:
            Log(1, "Radius Error: Unknown Attribute Type: %s (%d)", definition.name.c_str(),
                static_cast<int>(definition.type));
            return std::nullopt;
    }
}

std::string FormatValue(std::span<const std::uint8_t> octets, ValueType valueType) {
    switch (valueType) {
        case ValueType::String:
            return FormatString(octets);
        case ValueType::Integer:
            if (octets.size() < 4) return FormatString(octets);
            return std::to_string(static_cast<std::int32_t>(ReadU32(octets)));
        case ValueType::IpAddr:
            if (octets.size() < 4) return FormatString(octets);
            return FormatIpAddress(ReadU32(octets));
        case ValueType::NoValue:
            return std::string();
        default:
            return "Unknown Type";
    }
}

std::string ReadComplex(const AttributeDef& definition, std::span<const std::uint8_t> value) {
    const auto header = static_cast<std::size_t>(std::max(definition.HeaderLength(), 0));
    if (value.size() < header) return FormatString(value);
    return FormatValue(value.subspan(header), definition.dataType);
}
