// One attribute that the system sends: its dictionary name, RADIUS number, value type and value,
// with the conversions between value text, wire octets and log text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/byte_span.h"
#include "protocol/value_hiding.h"
#include "protocol/value_type.h"

class Dictionary;
struct AttributeDef;

inline constexpr std::size_t kMaxAttributeValueLength = 253;  // value octets of one item
inline constexpr std::size_t kMaxAttributeItemLength = 255;   // type, length and value
inline constexpr std::size_t kMaxValueTextLength = 255;       // FormatValue's longest text

// Why an attribute cannot go into a packet.
enum class EncodeProblem {
    None,
    NotFound,        // a Complex attribute whose definition the dictionary lacks
    NotSendable,     // its definition is of a kind that is never sent
    NumberTooLarge,  // a number above 255 has no place in the type octet
    TooLong,         // more than one item holds
    NotHidden,       // a value that travels hidden, where no one can hide it
};

struct RadiusAttribute {
    std::string name;     // the dictionary's name, or empty
    std::int32_t number;  // RADIUS number, -1 when not set
    ValueType type;       // NotSet (-1) when not set; Complex values follow the definition's dataType
    std::uint32_t intValue;  // Integer, IpAddr and Date values, host order
    std::int32_t length;     // value octets: data count for String, 4 for Integer/IpAddr/Date, 0 else
    ValueHiding hiding = ValueHiding::None;  // hidden when its packet is built
    bool tagged = false;  // a hidden value's first octet is an RFC 2868 tag that stays in the clear
    // The value octets of String and the FreeRADIUS types (at most 253), held to their length:
    // a session keeps several lists of attributes alive, so a fixed 254-octet buffer would be
    // most of its memory. c_str() gives them zero-terminated.
    std::string data;

    // Empty name, number and type not set, no data, length 0.
    RadiusAttribute();
    // A String attribute holding the text (cut to 253 characters); the name is cut to 32.
    RadiusAttribute(const char* name, std::int32_t number, std::string_view text);

    // The value in the wire form of valueType: Integer, IpAddr and Date write intValue as 4
    // octets (most significant first), String and the other types with values copy the data
    // octets, Complex and NoValue write nothing. Returns the octets written (0 when they do
    // not fit).
    std::size_t EncodeValue(ByteWriter& out, ValueType valueType) const;

    // The fields of a complex definition with this value (hidden by hider when it travels
    // hidden) in its Data field. False (nothing sensible written) when it cannot be written.
    bool WriteComplex(ByteWriter& out, const AttributeDef& definition, ValueHider* hider = nullptr) const;

    // The whole type-length-value item. A plain attribute is written with its own type; a
    // Complex one with the layout of its definition, found by name in the dictionary. A
    // hidden value is hidden by hider. Returns the octets written; 0 when the item is left
    // out: its complex definition is missing ("Radius attribute not found: %s", level 0), or
    // it cannot be encoded for another reason (logged at level 0), or the writer has no room
    // for it (writer failed). A counting writer (ByteWriter::Counting) measures the item and
    // logs nothing.
    std::size_t Encode(ByteWriter& out, const Dictionary* dictionary, ValueHider* hider = nullptr) const;

    // The item into out, without logging; out is the item's own buffer.
    EncodeProblem EncodeItem(ByteWriter& out, const Dictionary* dictionary, ValueHider* hider) const;
    // Why the attribute cannot be encoded, as the log line of Encode words it; nullopt when it
    // can. canHide: whether its packet can hide values (only an Access-Request can).
    std::optional<std::string> EncodingProblem(const Dictionary* dictionary, bool canHide) const;
    // The octets of the whole item, hidden values at their hidden length, measured by Encode
    // through a counting writer (so without logging); 0 when it cannot be encoded.
    std::size_t EncodedSize(const Dictionary* dictionary) const;
};

// The attribute for a name=value text of the definition. The value type is the definition's
// type, or its dataType when Complex. Fails (nullopt, logged at level 1) with
// "Invalid hex value '%s'" or "Radius Error: Unknown Attribute Type: %s (%d)", and for a
// definition of a FreeRADIUS-format file with the messages of ParseFreeRadiusValue.
// The dictionary (may be null) resolves VALUE names of Integer values. tag: the RFC 2868 tag
// written after the name (Tunnel-Type:1), for definitions with has_tag.
std::optional<RadiusAttribute> ParseValue(const AttributeDef& definition, std::string_view text,
                                          const Dictionary* dictionary,
                                          std::optional<std::uint8_t> tag = std::nullopt);

// A String value text into the attribute: the text as it is (cut to 253 octets), or "0x" and
// hex digit pairs. False, after logging "Invalid hex value '%s'" at level 1, for bad hex.
bool ParseStringValue(std::string_view text, RadiusAttribute& attribute);

// Value octets as log text of at most 255 characters: String as printable characters and
// "\%02x" escapes, Integer "%d", IpAddr dotted quad, NoValue empty, Date and others
// "Unknown Type". Integer and IpAddr read the first 4 octets; a shorter value is shown as a
// String.
std::string FormatValue(std::span<const std::uint8_t> octets, ValueType valueType);
inline std::string FormatValue(const std::uint8_t* octets, std::size_t count, ValueType valueType) {
    return FormatValue(std::span<const std::uint8_t>(octets, octets ? count : 0), valueType);
}

// The value text of a received complex value under its (already chosen) definition: the
// header octets are passed over and the rest is formatted with the dataType. A value shorter
// than its header is shown whole as a String.
std::string ReadComplex(const AttributeDef& definition, std::span<const std::uint8_t> value);

// "\%02x" escapes for unprintable octets; the String form of FormatValue.
std::string FormatString(std::span<const std::uint8_t> octets);
