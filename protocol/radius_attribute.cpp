#include "protocol/radius_attribute.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "infra/log.h"
#include "infra/number_text.h"
#include "protocol/dictionary.h"
#include "protocol/freeradius_value.h"
#include "protocol/ip_address.h"
#include "protocol/typed_values.h"

namespace {

constexpr std::int32_t kLastItemNumber = 255;  // RFC 2865 section 5: one type octet
// RFC 2865 section 5.2: the hidden User-Password is between 16 and 128 octets.
constexpr std::size_t kMaxUserPasswordLength = 128;

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

}  // namespace

bool ParseStringValue(std::string_view text, RadiusAttribute& attribute) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (!ParseHex(text.substr(2), attribute)) {
            Log(1, "Invalid hex value '%.*s'", static_cast<int>(text.size()), text.data());
            return false;
        }
    } else {
        SetStringValue(attribute, text);
    }
    return true;
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

RadiusAttribute::RadiusAttribute() : number(-1), type(ValueType::NotSet), intValue(0), length(0) {}

RadiusAttribute::RadiusAttribute(const char* attributeName, std::int32_t attributeNumber, std::string_view text)
    : RadiusAttribute() {
    name = std::string_view(attributeName ? attributeName : "").substr(0, kMaxAttributeNameLength);
    number = attributeNumber;
    type = ValueType::String;
    SetStringValue(*this, text);
}

std::size_t RadiusAttribute::EncodeValue(ByteWriter& out, ValueType valueType) const {
    switch (valueType) {
        case ValueType::Integer:
        case ValueType::IpAddr:
        case ValueType::Date:
            return out.WriteU32(intValue) ? 4 : 0;
        case ValueType::NotSet:
        case ValueType::Complex:
        case ValueType::NoValue:
        case ValueType::Tlv:
        case ValueType::Extended:
        case ValueType::LongExtended:
        case ValueType::Evs:
            return 0;
        default: {
            const std::size_t count = HeldLength(*this);
            return out.WriteBytes(reinterpret_cast<const std::uint8_t*>(data.data()), count) ? count : 0;
        }
    }
}

namespace {

// The value octets in the wire form of valueType, hidden when the attribute travels hidden.
EncodeProblem WriteData(const RadiusAttribute& attribute, ByteWriter& out, ValueType valueType, ValueHider* hider) {
    if (attribute.hiding == ValueHiding::None) {
        attribute.EncodeValue(out, valueType);
        return out.Failed() ? EncodeProblem::TooLong : EncodeProblem::None;
    }
    if (hider == nullptr) return EncodeProblem::NotHidden;
    std::array<std::uint8_t, kMaxAttributeValueLength> plainBuffer{};
    ByteWriter plain(plainBuffer.data(), plainBuffer.size());
    attribute.EncodeValue(plain, valueType);
    std::span<const std::uint8_t> secret = plain.Written();
    if (attribute.tagged && !secret.empty()) {
        out.WriteU8(secret[0]);
        secret = secret.subspan(1);
    }
    const std::size_t hiddenLength = HiddenLength(attribute.hiding, secret.size());
    if (attribute.hiding == ValueHiding::UserPassword && hiddenLength > kMaxUserPasswordLength)
        return EncodeProblem::TooLong;
    return hider->Hide(attribute.hiding, secret, out) && !out.Failed() ? EncodeProblem::None : EncodeProblem::TooLong;
}

// The fields of the layout with the value in its Data field. The value is written first, aside,
// since a length field before it counts its octets.
EncodeProblem WriteFields(const RadiusAttribute& attribute, ByteWriter& out, const AttributeDef& definition,
                          ValueHider* hider) {
    std::array<std::uint8_t, kMaxAttributeItemLength> dataBuffer{};
    ByteWriter data(dataBuffer.data(), dataBuffer.size());
    const bool hasData = std::any_of(definition.fields.begin(), definition.fields.end(),
                                     [](const ComplexField& field) { return field.kind == ComplexFieldKind::Data; });
    if (hasData) {
        const EncodeProblem problem = WriteData(attribute, data, definition.dataType, hider);
        if (problem != EncodeProblem::None) return problem;
    }
    for (const ComplexField& field : definition.fields) {
        std::uint32_t value = static_cast<std::uint32_t>(field.value);
        if (field.kind == ComplexFieldKind::Data) {
            out.WriteBytes(data.Written());
            continue;
        }
        if (field.kind == ComplexFieldKind::LengthPlus) value += static_cast<std::uint32_t>(data.Position());
        switch (field.size) {
            case 1: out.WriteU8(static_cast<std::uint8_t>(value)); break;
            case 2: out.WriteU16(static_cast<std::uint16_t>(value)); break;
            default: out.WriteU32(value); break;
        }
    }
    return out.Failed() ? EncodeProblem::TooLong : EncodeProblem::None;
}

std::string ProblemText(EncodeProblem problem, const std::string& name) {
    switch (problem) {
        case EncodeProblem::NotFound: return "Radius attribute not found: " + name;
        case EncodeProblem::NotSendable: return "Radius attribute cannot be sent: " + name;
        case EncodeProblem::NumberTooLarge: return "Radius attribute number above 255: " + name;
        case EncodeProblem::TooLong: return "Radius attribute too long: " + name;
        case EncodeProblem::NotHidden: return "Radius attribute cannot be hidden in this packet: " + name;
        case EncodeProblem::None: break;
    }
    return std::string();
}

}  // namespace

bool RadiusAttribute::WriteComplex(ByteWriter& out, const AttributeDef& definition, ValueHider* hider) const {
    return WriteFields(*this, out, definition, hider) == EncodeProblem::None;
}

EncodeProblem RadiusAttribute::EncodeItem(ByteWriter& out, const Dictionary* dictionary, ValueHider* hider) const {
    // RFC 2865 section 5: one type octet; a larger number would go out as another attribute.
    if (number > kLastItemNumber) return EncodeProblem::NumberTooLarge;
    out.WriteU8(static_cast<std::uint8_t>(number));
    out.WriteU8(0);  // the length octet, filled in below
    EncodeProblem problem = EncodeProblem::None;
    if (type == ValueType::Complex) {
        const AttributeDef* definition = dictionary ? dictionary->FindByName(name) : nullptr;
        if (definition == nullptr) return EncodeProblem::NotFound;
        if (definition->unsendable != Unsendable::No) return EncodeProblem::NotSendable;
        problem = WriteFields(*this, out, *definition, hider);
    } else {
        problem = WriteData(*this, out, type, hider);
    }
    // RFC 2865 section 5: the Length octet covers the whole item, at most 255 octets.
    if (problem == EncodeProblem::None && out.Failed()) problem = EncodeProblem::TooLong;
    if (problem == EncodeProblem::None) out.PutU8At(1, static_cast<std::uint8_t>(out.Position()));
    return problem;
}

std::size_t RadiusAttribute::Encode(ByteWriter& out, const Dictionary* dictionary, ValueHider* hider) const {
    // The item is built whole first, so that it goes into the packet entirely or not at all.
    std::array<std::uint8_t, kMaxAttributeItemLength> item{};
    ByteWriter writer(item.data(), item.size());
    const EncodeProblem problem = EncodeItem(writer, dictionary, hider);
    if (problem != EncodeProblem::None) {
        // Measuring (a counting writer) is silent: an item left out is told when it is sent.
        if (!out.IsCounting()) Log(0, "%s", ProblemText(problem, name).c_str());
        return 0;
    }
    return out.WriteBytes(writer.Written()) ? writer.Position() : 0;
}

std::optional<std::string> RadiusAttribute::EncodingProblem(const Dictionary* dictionary, bool canHide) const {
    std::array<std::uint8_t, kMaxAttributeItemLength> item{};
    ByteWriter writer(item.data(), item.size());
    PlaceholderHider placeholder;
    const EncodeProblem problem = EncodeItem(writer, dictionary, canHide ? &placeholder : nullptr);
    if (problem == EncodeProblem::None) return std::nullopt;
    return ProblemText(problem, name);
}

std::size_t RadiusAttribute::EncodedSize(const Dictionary* dictionary) const {
    ByteWriter counter = ByteWriter::Counting(kMaxAttributeItemLength);
    PlaceholderHider placeholder;
    return Encode(counter, dictionary, &placeholder);
}

std::optional<RadiusAttribute> ParseValue(const AttributeDef& definition, std::string_view text,
                                          const Dictionary* dictionary, std::optional<std::uint8_t> tag) {
    if (definition.format == DictionaryFormat::FreeRadius)
        return ParseFreeRadiusValue(definition, text, dictionary, tag);
    RadiusAttribute attribute;
    attribute.name = std::string_view(definition.name).substr(0, kMaxAttributeNameLength);
    attribute.number = definition.number;
    attribute.type = definition.type;
    const ValueType effective = definition.type == ValueType::Complex ? definition.dataType : definition.type;
    switch (effective) {
        case ValueType::String:
            if (!ParseStringValue(text, attribute)) return std::nullopt;
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
