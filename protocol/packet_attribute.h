// Taking one attribute out of a received RADIUS packet.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "protocol/radius_attribute.h"

inline constexpr std::size_t kRadiusHeaderLength = 20;  // code, identifier, length, authenticator

// The first item of that type number among the packet's attributes, as a String attribute with
// an empty name (value octets in data, zero after them). Only octets that are both received and
// inside the packet's Length field are looked at; a malformed item (length octet below 2, or
// running past the end) ends the search with nullopt.
std::optional<RadiusAttribute> FindPacketAttribute(std::span<const std::uint8_t> packet,
                                                   std::int32_t number);
