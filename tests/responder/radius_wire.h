// The RADIUS wire format as the test responder reads and writes it (RFC 2865, RFC 2866).
// Deliberately separate from the simulator's own packet code, so that the tests check one
// against the other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace responder {

using Bytes = std::vector<std::uint8_t>;
using Authenticator = std::array<std::uint8_t, 16>;

enum Code : std::uint8_t {
    kAccessRequest = 1,
    kAccessAccept = 2,
    kAccessReject = 3,
    kAccountingRequest = 4,
    kAccountingResponse = 5,
    kAccessChallenge = 11,
};

enum AttributeType : std::uint8_t {
    kUserName = 1,
    kUserPassword = 2,
    kNasPort = 5,
    kServiceType = 6,
    kFramedProtocol = 7,
    kFramedIpAddress = 8,
    kReplyMessage = 18,
    kState = 24,
    kClass = 25,
    kAcctStatusType = 40,
    kAcctSessionId = 44,
    kAcctSessionTime = 46,
    kMessageAuthenticator = 80,
};

constexpr std::size_t kHeaderLength = 20;
constexpr std::size_t kMaxPacketLength = 4096;

struct WireAttribute {
    std::uint8_t type = 0;
    Bytes value;

    static WireAttribute Text(std::uint8_t type, std::string_view text);
    static WireAttribute Integer(std::uint8_t type, std::uint32_t value);
    // Dotted quad; nullopt when the text is not one.
    static std::optional<WireAttribute> Address(std::uint8_t type, std::string_view dottedQuad);

    std::string AsText() const { return std::string(value.begin(), value.end()); }
    // A 4-octet big-endian value; nullopt for any other length.
    std::optional<std::uint32_t> AsInteger() const;
};

struct WirePacket {
    std::uint8_t code = 0;
    std::uint8_t identifier = 0;
    Authenticator authenticator{};
    std::vector<WireAttribute> attributes;

    const WireAttribute* Find(std::uint8_t type) const;
};

// Decodes a datagram. Only the octets named by the Length field are read (RFC 2865 section 3:
// octets beyond it are padding and ignored); a Length below 20 or beyond the datagram, or an
// attribute that does not fit, fails with the reason in *problem.
std::optional<WirePacket> DecodePacket(std::span<const std::uint8_t> datagram, std::string* problem);

// Header and attributes with the authenticator as given; empty when an attribute value is
// longer than 253 octets or the packet longer than 4096.
Bytes EncodePacket(const WirePacket& packet);

Authenticator Md5(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second = {});

// RFC 2865 section 5.2: the password padded with NULs to a multiple of 16 octets (at least
// 16), each block XORed with MD5(secret + previous cipher block), the first with
// MD5(secret + Request Authenticator).
Bytes HidePassword(std::string_view password, std::string_view secret, const Authenticator& requestAuthenticator);
// The reverse; trailing NUL padding is removed. nullopt when the length is not a positive
// multiple of 16 or above 128.
std::optional<std::string> RevealPassword(std::span<const std::uint8_t> hidden, std::string_view secret,
                                          const Authenticator& requestAuthenticator);

// RFC 2865 section 3: MD5(Code + Identifier + Length + Request Authenticator + Attributes +
// Secret), over an encoded reply whose authenticator field still holds anything.
Authenticator ResponseAuthenticator(std::span<const std::uint8_t> reply, const Authenticator& requestAuthenticator,
                                    std::string_view secret);
// RFC 2866 section 3: MD5 over the Accounting-Request with a zero authenticator, then the secret.
Authenticator AccountingRequestAuthenticator(std::span<const std::uint8_t> request, std::string_view secret);
// RFC 3579 section 3.2: HMAC-MD5 over the packet with the Message-Authenticator value zeroed;
// nullopt when the packet carries no 16-octet Message-Authenticator or is malformed.
std::optional<bool> VerifyMessageAuthenticator(std::span<const std::uint8_t> packet, std::string_view secret);

// Writes an authenticator into an encoded packet (octets 4 to 19).
void PutAuthenticator(Bytes& packet, const Authenticator& authenticator);

std::string CodeName(std::uint8_t code);
std::string Hex(std::span<const std::uint8_t> bytes);

}  // namespace responder
