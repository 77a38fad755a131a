// The RADIUS wire format as this NAS writes and reads it (RFC 2865, RFC 2866): building the
// Access-Request and the Accounting-Request of a session, hiding the password, the
// authenticators, and reading what the engine keeps from replies. Pure functions over byte
// spans; every packet byte goes through ByteReader / ByteWriter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "protocol/byte_span.h"
#include "radius/session.h"

class Dictionary;
class RandomSource;

inline constexpr std::size_t kMaxPacketLength = 4096;  // RFC 2865 section 3: 20 to 4096 octets
inline constexpr std::size_t kHeaderLength = 20;
inline constexpr std::size_t kAuthenticatorOffset = 4;
inline constexpr std::size_t kAuthenticatorLength = 16;
inline constexpr std::size_t kMaxHiddenPasswordLength = 80;  // 64 characters and 16 octets of padding

using Authenticator = std::array<std::uint8_t, kAuthenticatorLength>;

namespace code {
inline constexpr std::uint8_t kAccessRequest = 1;
inline constexpr std::uint8_t kAccessAccept = 2;
inline constexpr std::uint8_t kAccessReject = 3;
inline constexpr std::uint8_t kAccountingRequest = 4;
inline constexpr std::uint8_t kAccountingResponse = 5;
inline constexpr std::uint8_t kAccessChallenge = 11;
}  // namespace code

namespace attr {
inline constexpr std::uint8_t kUserName = 1;
inline constexpr std::uint8_t kUserPassword = 2;
inline constexpr std::uint8_t kNasIpAddress = 4;
inline constexpr std::uint8_t kNasPort = 5;
inline constexpr std::uint8_t kServiceType = 6;
inline constexpr std::uint8_t kFramedProtocol = 7;
inline constexpr std::uint8_t kFramedIpAddress = 8;
inline constexpr std::uint8_t kFramedCompression = 13;
inline constexpr std::uint8_t kLoginIpHost = 14;
inline constexpr std::uint8_t kLoginService = 15;
inline constexpr std::uint8_t kReplyMessage = 18;
inline constexpr std::uint8_t kState = 24;
inline constexpr std::uint8_t kClass = 25;
inline constexpr std::uint8_t kSessionTimeout = 27;
inline constexpr std::uint8_t kNasIdentifier = 32;
inline constexpr std::uint8_t kAcctStatusType = 40;
inline constexpr std::uint8_t kAcctSessionId = 44;
inline constexpr std::uint8_t kAcctSessionTime = 46;
inline constexpr std::uint8_t kAcctInputOctets = 42;
inline constexpr std::uint8_t kAcctOutputOctets = 43;
inline constexpr std::uint8_t kAcctInputPackets = 47;
inline constexpr std::uint8_t kAcctOutputPackets = 48;
inline constexpr std::uint8_t kAcctTerminateCause = 49;
inline constexpr std::uint8_t kAcctInputGigawords = 52;
inline constexpr std::uint8_t kAcctOutputGigawords = 53;
inline constexpr std::uint8_t kEventTimestamp = 55;
inline constexpr std::uint8_t kAcctInterimInterval = 85;
}  // namespace attr

inline constexpr std::uint32_t kAcctStatusStart = 1;
inline constexpr std::uint32_t kAcctStatusStop = 2;
inline constexpr std::uint32_t kAcctStatusInterimUpdate = 3;

// What the session-life options add to a session's requests. The defaults add nothing: the
// packets are then exactly as they always were.
struct RequestAdditions {
    std::uint32_t nasIpAddress = 0;  // NAS-IP-Address (RFC 2865 section 5.4), 0: none
    std::string_view nasIdentifier;  // NAS-Identifier (RFC 2865 section 5.32), empty: none
    // Stop and Interim-Update: the session's usage counters (Gigawords past 4 GiB), this
    // Event-Timestamp and, in the Stop, its Acct-Terminate-Cause.
    bool withUsage = false;
    std::uint32_t eventTimestamp = 0;
    std::uint32_t interimSessionTime = 0;  // an Interim-Update's Acct-Session-Time
};

// The hidden User-Password value (RFC 2865 section 5.2) into out; returns its length. The
// password (at most 64 characters are used) always gets 1 to 16 zero octets of padding, so an
// empty password hides into 16 octets and a 16-character one into 32.
std::size_t HidePassword(std::string_view password, std::string_view secret,
                         const Authenticator& requestAuthenticator,
                         std::array<std::uint8_t, kMaxHiddenPasswordLength>& out);

// The Access-Request of the session under its identifier and the given authenticator:
// User-Name, User-Password, then the session's authentication list (its hidden values hidden
// with the secret and the authenticator, the salts of RFC 2868 section 3.5 from salts, or from
// the cryptographic source when it is null); with withMessageAuthenticator a
// Message-Authenticator (RFC 3579 section 3.2) comes first of all. Returns the packet's length,
// 0 when it does not fit the buffer.
// The additions' NAS identity follows the password.
std::size_t BuildAccessRequest(std::span<std::uint8_t> buffer, const Session& session,
                               const Authenticator& requestAuthenticator, std::string_view secret,
                               const Dictionary* dictionary, bool withMessageAuthenticator = false,
                               RandomSource* salts = nullptr, const RequestAdditions& additions = {});

// The Accounting-Request for the session's state (AccountingStart: a Start, AccountingInterim:
// an Interim-Update with the Stop's attributes, else a Stop), signed as RFC 2866 section 3
// says. Returns the packet's length, 0 when it does not fit.
std::size_t BuildAccountingRequest(std::span<std::uint8_t> buffer, const Session& session,
                                   std::string_view secret, const Dictionary* dictionary,
                                   const RequestAdditions& additions = {});

// RFC 2866 section 3: Request Authenticator = MD5(Code + Identifier + Length + 16 zero
// octets + Attributes + Secret). Writes it into the packet's authenticator octets.
void SignAccountingRequest(std::span<std::uint8_t> packet, std::string_view secret);

// The one check of a reply's Response Authenticator (RFC 2865 section 3): MD5 over Code,
// Identifier, Length, the Request Authenticator, every received octet after the header and
// the secret. Octets received beyond the Length field are covered too, so a padded reply
// fails. A reply shorter than the header never verifies.
bool VerifyResponse(std::span<const std::uint8_t> reply, const Authenticator& requestAuthenticator,
                    std::string_view secret);

// Remembers the Access-Accept values the accounting echoes (Service-Type, Framed-Protocol,
// Framed-IP-Address, Framed-Compression, Login-IP-Host, Login-Service, Class) and logs each
// Reply-Message as "Port Message = %s". Reads only received octets within the Length field;
// an integer or address value shorter than 4 octets is ignored, a malformed item ends the walk.
void ReadAcceptAttributes(std::span<const std::uint8_t> reply, Session& session);

// How a received datagram's framing stands (RFC 2865 section 3).
enum class ReplyFraming {
    Ok,                    // Length between 20 and the octets received (padding is allowed)
    ShorterThanHeader,     // fewer than 20 octets received
    LengthBelowHeader,     // Length field below 20
    LengthBeyondReceived,  // Length field larger than the octets received: truncated
};
ReplyFraming CheckReplyFraming(std::span<const std::uint8_t> reply);

// Whether the session's Access-Request (with a Message-Authenticator when asked) and both of
// its Accounting-Requests stay within 4096 octets, whatever an Access-Accept later adds to the
// accounting (six 4-octet values and a Class of up to 31 characters). Measured by the builders
// themselves through a counting ByteWriter, vendor attributes in their layouts and hidden values
// at their hidden length, without MD5 work, without salts drawn and without log lines.
// The additions are measured at their largest (every counter past 4 GiB, a terminate cause).
bool SessionRequestsFit(const Session& session, const Dictionary* dictionary, bool withMessageAuthenticator = false,
                        const RequestAdditions& additions = {});
