// The values of attributes defined in FreeRADIUS-format files, read from the text of a
// name=value pair. Unlike the own format's, these texts are read strictly: a text that is not a
// value of the type, or a VALUE name the attribute does not have, is refused with a message
// instead of becoming 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/radius_attribute.h"

class Dictionary;
struct AttributeDef;

// Fails (nullopt, logged at level 1) with "Radius Error: Attribute %s cannot be sent: %s" for a
// definition that never goes into packets, "Invalid hex value '%s'" for bad hex, and
// "Invalid value '%s' for %s (%s)" (the text, the name, the type) for any other text the type
// refuses. A text that is no number may be one of the attribute's VALUE names. With has_tag, the tag (0 to 31) goes
// before the value as RFC 2868 section 3.1 says; a Tunnel-Password style value always has one.
std::optional<RadiusAttribute> ParseFreeRadiusValue(const AttributeDef& definition, std::string_view text,
                                                    const Dictionary* dictionary, std::optional<std::uint8_t> tag);

// The type as its file wrote it, for messages: "integer", "octets[16]", ...
std::string TypeText(const AttributeDef& definition);

// Why a definition never goes into a packet ("it is internal to the server", ...).
std::string UnsendableReason(const AttributeDef& definition);
