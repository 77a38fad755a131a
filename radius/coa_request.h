// Dynamic authorization (RFC 5176) as this NAS receives it: reading and authenticating a
// Disconnect-Request or CoA-Request, and writing its ACK or NAK. Pure functions over byte spans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "radius/packet_builder.h"

namespace code {
inline constexpr std::uint8_t kDisconnectRequest = 40;
inline constexpr std::uint8_t kDisconnectAck = 41;
inline constexpr std::uint8_t kDisconnectNak = 42;
inline constexpr std::uint8_t kCoaRequest = 43;
inline constexpr std::uint8_t kCoaAck = 44;
inline constexpr std::uint8_t kCoaNak = 45;
}  // namespace code

// RFC 5176 section 3.6, the Error-Cause values this NAS sends.
enum class ErrorCause : std::uint32_t {
    None = 0,
    UnsupportedAttribute = 401,
    InvalidRequest = 404,
    SessionContextNotFound = 503,
};

// What a request says, once it is known to be one and authentic.
struct CoaRequest {
    std::uint8_t code = 0;
    std::uint8_t id = 0;
    Authenticator authenticator{};
    // The session it names: every attribute given must match.
    std::optional<std::string> acctSessionId;
    std::optional<std::string> userName;
    std::optional<std::uint32_t> nasPort;
    std::optional<std::uint32_t> framedIpAddress;
    // What a CoA-Request changes.
    std::optional<std::uint32_t> sessionTimeout;
    std::optional<std::uint32_t> interimInterval;
    // Why it cannot be carried out, when it cannot: an attribute this NAS does not act on
    // (401), a malformed attribute area or no session named at all (404).
    ErrorCause problem = ErrorCause::None;
    std::uint8_t unsupportedType = 0;
    bool NamesASession() const { return acctSessionId || userName || nasPort || framedIpAddress; }
};

enum class CoaReading {
    Ok,
    NotARequest,       // framing wrong (RFC 2865 section 3) or a code other than 40 and 43
    NotAuthenticated,  // RFC 5176 section 3.5: the Request Authenticator or Message-Authenticator is wrong
};

// Reads and authenticates a received datagram (only the octets within its Length field count).
// RFC 5176 section 3.5: Request Authenticator = MD5(Code + Identifier + Length + 16 zero octets
// + Attributes + Secret); a Message-Authenticator, when present, is the HMAC-MD5 of the packet
// with the Request Authenticator zeroed (RFC 3579 section 3.2, as for Accounting-Request).
CoaReading ReadCoaRequest(std::span<const std::uint8_t> datagram, std::string_view secret, CoaRequest& request);

// The ACK (cause None) or NAK with that Error-Cause for the request into buffer, with the
// request's Proxy-State items echoed (RFC 5176 section 3.3, as RFC 2865 section 5.33 asks of a
// reply) and the Response Authenticator of RFC 5176 section 3.5. Returns its length, 0 when it
// does not fit.
std::size_t BuildCoaResponse(std::span<std::uint8_t> buffer, std::span<const std::uint8_t> request,
                             ErrorCause cause, std::string_view secret);

// "Disconnect-Request" or "CoA-Request"; "Session Context Not Found" and the like.
const char* CoaRequestName(std::uint8_t requestCode);
const char* ErrorCauseName(ErrorCause cause);
