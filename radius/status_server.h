// Status-Server (RFC 5997): the request that asks a server whether it is alive, and the check
// of its answer. Pure functions over byte spans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "radius/packet_builder.h"

namespace code {
inline constexpr std::uint8_t kStatusServer = 12;
}  // namespace code

// Status-Server with the identifier and Request Authenticator, signed with a
// Message-Authenticator (RFC 5997 section 3: "Status-Server packets MUST contain a
// Message-Authenticator attribute"), into buffer. Its length, 0 when the buffer is too small.
std::size_t BuildStatusServer(std::span<std::uint8_t> buffer, std::uint8_t id,
                              const Authenticator& requestAuthenticator, std::string_view secret);

enum class StatusReply {
    Answer,                       // a proper answer to our request
    NotOurs,                      // malformed, or to another identifier: keep waiting
    WrongResponseAuthenticator,   // the secret differs, most likely
    WrongMessageAuthenticator,    // carried, but not with our secret
};

// The check of a datagram received after the Status-Server of that identifier: framing
// (RFC 2865 section 3), the Response Authenticator over the octets within the Length field,
// and a Message-Authenticator when the answer carries one (FreeRADIUS answers without).
StatusReply CheckStatusReply(std::span<const std::uint8_t> reply, std::uint8_t id,
                             const Authenticator& requestAuthenticator, std::string_view secret);

// "Access-Accept", "Accounting-Response", ... ; "code N" for others.
std::string_view ReplyCodeName(std::uint8_t replyCode, char (&scratch)[16]);
