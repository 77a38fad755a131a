// Message-Authenticator (RFC 3579 section 3.2): an HMAC-MD5 keyed with the shared secret over
// the whole packet, carried in attribute 80. Servers patched against forged replies
// (CVE-2024-3596) expect it in every Access-Request and put it in their replies. Pure
// functions over byte spans.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

#include "protocol/byte_span.h"
#include "radius/packet_builder.h"

namespace attr {
inline constexpr std::uint8_t kMessageAuthenticator = 80;
}  // namespace attr

inline constexpr std::size_t kMessageAuthenticatorLength = 16;
inline constexpr std::size_t kMessageAuthenticatorItemLength = 2 + kMessageAuthenticatorLength;

using HmacMd5Digest = std::array<std::uint8_t, 16>;

// HMAC-MD5 (RFC 2104) keyed with key over the ranges taken one after the other.
HmacMd5Digest HmacMd5(std::string_view key, std::initializer_list<std::span<const std::uint8_t>> parts);

// Writes a Message-Authenticator item whose value is 16 zero octets; returns the offset of the
// value in the packet, or nullopt when it does not fit. SignMessageAuthenticator fills it in
// once the packet is complete.
std::optional<std::size_t> WriteMessageAuthenticatorPlaceholder(ByteWriter& out);

// RFC 3579 section 3.2: "Message-Authenticator = HMAC-MD5 (Type, Identifier, Length, Request
// Authenticator, Attributes)" with the attribute's value taken as 16 zero octets while it is
// computed. The packet (Length field filled in, authenticator in place) gets the digest at
// valueOffset. False, and the packet unchanged, when the value is not inside the packet.
bool SignMessageAuthenticator(std::span<std::uint8_t> packet, std::size_t valueOffset, std::string_view secret);

// Where the first Message-Authenticator item's value starts in a received packet, and how
// long the value is (16 in a proper item). Only octets inside the Length field are read.
struct MessageAuthenticatorItem {
    std::size_t valueOffset = 0;
    std::size_t valueLength = 0;
};
std::optional<MessageAuthenticatorItem> FindMessageAuthenticator(std::span<const std::uint8_t> packet);

enum class MessageAuthenticatorCheck { Missing, Wrong, Right };

// The check of a reply's Message-Authenticator (RFC 3579 section 3.2): the HMAC-MD5 over the
// reply up to its Length field with the Request Authenticator of the request in place of the
// Response Authenticator and the attribute's value zeroed. A value of another length than 16
// octets is wrong.
MessageAuthenticatorCheck CheckReplyMessageAuthenticator(std::span<const std::uint8_t> reply,
                                                         const Authenticator& requestAuthenticator,
                                                         std::string_view secret);
