#include "protocol/freeradius_value.h"

#include "infra/log.h"
#include "protocol/dictionary.h"
#include "protocol/typed_values.h"

namespace {

bool HeldInIntValue(ValueType type) {
    return type == ValueType::Integer || type == ValueType::IpAddr || type == ValueType::Date;
}

// The number of one of the attribute's VALUE names, in the wire octets of its type.
std::optional<std::string> NamedNumber(const AttributeDef& definition, ValueType type, std::string_view text,
                                       const Dictionary* dictionary) {
    const ValueDef* named = dictionary ? dictionary->FindValueNamed(definition.name, text) : nullptr;
    if (named == nullptr) return std::nullopt;
    Number number;
    if (type == ValueType::Signed && named->value < 0) {
        number.negative = true;
        number.magnitude = static_cast<std::uint64_t>(-static_cast<std::int64_t>(named->value));
    } else {
        number.magnitude = static_cast<std::uint32_t>(named->value);
    }
    return NumberOctets(type, number);
}

// The value's wire octets, before tags and hiding.
std::optional<std::string> ValueOctets(const AttributeDef& definition, ValueType type, std::string_view text,
                                       const Dictionary* dictionary, bool& badHex) {
    if (type == ValueType::String || type == ValueType::Octets) {
        RadiusAttribute scratch;
        badHex = !ParseStringValue(text, scratch);
        if (badHex || (definition.fixedLength != 0 && scratch.data.size() != definition.fixedLength))
            return std::nullopt;
        return scratch.data;
    }
    // A number, or else one of the attribute's VALUE names.
    std::optional<std::string> octets = ParseTypedValue(type, text);
    if (!octets && IsNumberType(type)) octets = NamedNumber(definition, type, text, dictionary);
    return octets;
}

// RFC 2868 section 3.1: an integer's tag is its first octet (the value has three); a string's
// tag is an octet before it, there when a tag was given, and always for a Tunnel-Password
// style value (section 3.5).
bool ApplyTag(const AttributeDef& definition, ValueType type, std::optional<std::uint8_t> tag, std::string& octets,
              RadiusAttribute& attribute) {
    if (!definition.hasTag) return !tag.has_value();
    if (type == ValueType::Integer) {
        if (octets.size() != 4 || octets[0] != '\0') return false;
        octets[0] = static_cast<char>(tag.value_or(0));
        return true;
    }
    if (definition.hiding == ValueHiding::TunnelPassword) {
        octets.insert(octets.begin(), static_cast<char>(tag.value_or(0)));
        attribute.tagged = true;
    } else if (tag) {
        octets.insert(octets.begin(), static_cast<char>(*tag));
    }
    return octets.size() <= kMaxAttributeValueLength;
}

}  // namespace

std::optional<RadiusAttribute> ParseFreeRadiusValue(const AttributeDef& definition, std::string_view text,
                                                    const Dictionary* dictionary, std::optional<std::uint8_t> tag) {
    if (definition.unsendable != Unsendable::No) {
        Log(1, "Radius Error: Attribute %s cannot be sent: %s", definition.name.c_str(),
            UnsendableReason(definition).c_str());
        return std::nullopt;
    }
    RadiusAttribute attribute;
    attribute.name = definition.name;
    attribute.number = definition.number;
    attribute.type = definition.type;
    attribute.hiding = definition.hiding;

    const ValueType type = definition.ValueTypeOf();
    bool badHex = false;
    std::optional<std::string> octets = ValueOctets(definition, type, text, dictionary, badHex);
    if (badHex) return std::nullopt;  // ParseStringValue has said why
    if (!octets || !ApplyTag(definition, type, tag, *octets, attribute)) {
        Log(1, "Invalid value '%.*s' for %s (%s)", static_cast<int>(text.size()), text.data(), definition.name.c_str(),
            TypeText(definition).c_str());
        return std::nullopt;
    }
    if (HeldInIntValue(type)) {
        for (char octet : *octets) attribute.intValue = (attribute.intValue << 8) | static_cast<std::uint8_t>(octet);
        attribute.length = 4;
    } else {
        attribute.data = std::move(*octets);
        attribute.length = static_cast<std::int32_t>(attribute.data.size());
    }
    return attribute;
}

std::string TypeText(const AttributeDef& definition) {
    if (definition.fixedLength != 0) return "octets[" + std::to_string(definition.fixedLength) + "]";
    return FreeRadiusTypeName(definition.ValueTypeOf());
}

std::string UnsendableReason(const AttributeDef& definition) {
    switch (definition.unsendable) {
        case Unsendable::Type: return "the type " + TypeText(definition) + " is not supported";
        case Unsendable::Internal: return "it is internal to the server";
        case Unsendable::TlvMember: return "it is a member of a TLV";
        case Unsendable::ExtendedVendor: return "it is an extended vendor-specific attribute";
        case Unsendable::Encryption: return "encrypt=3 is not supported";
        case Unsendable::No: break;
    }
    return std::string();
}
