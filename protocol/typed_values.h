// The value types of FreeRADIUS-format dictionaries: their names, their sizes on the wire, and
// the conversions between value text, wire octets and log text. Text is read strictly: a text
// that is not a value of the type is refused, never turned into some other value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/value_type.h"

// The type of a FreeRADIUS type text, letter case ignored ("octets[N]" is the caller's).
std::optional<ValueType> FreeRadiusTypeFromText(std::string_view text);

// The FreeRADIUS name of a type ("string", "ipv6prefix", ...), for messages.
const char* FreeRadiusTypeName(ValueType type);

// The octets every value of the type takes on the wire; 0 when they vary.
std::size_t FixedValueSize(ValueType type);

// Whether values of the type are numbers, which VALUE lines may name.
bool IsNumberType(ValueType type);

// A number as text reads it: decimal digits, or "0x" and hex digits, after an optional "-".
struct Number {
    std::uint64_t magnitude = 0;
    bool negative = false;
};
std::optional<Number> ParseNumber(std::string_view text);

// A number of a number type as its wire octets; nullopt when the type cannot hold it.
std::optional<std::string> NumberOctets(ValueType type, Number number);

// The wire octets of a value text of any type but String and Octets (those take their text as
// it is); nullopt when the text is not a value of the type. A date is seconds since 1970 or
// YYYY-MM-DDTHH:MM:SSZ; addresses and prefixes are written as usual (10.0.0.0/8,
// 2001:db8::/32); an ifid is four groups of hex digits (1:2:3:4), an ether six
// (00:11:22:33:44:55, ":" or "-" between them).
std::optional<std::string> ParseTypedValue(ValueType type, std::string_view text);

// The wire octets of a number type read as an unsigned number; nullopt when their count does
// not suit the type.
std::optional<std::uint64_t> ReadNumber(ValueType type, std::span<const std::uint8_t> octets);

// The log text of value octets of a type other than String: numbers in decimal, dates as
// YYYY-MM-DDTHH:MM:SSZ, addresses and prefixes as they are written; octets, the types that are
// never sent, and values whose size does not suit their type as "0x" and hex digits.
std::string FormatTypedValue(ValueType type, std::span<const std::uint8_t> octets);

// "0x" and two lowercase hex digits per octet.
std::string HexText(std::span<const std::uint8_t> octets);
