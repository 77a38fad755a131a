#include "radius/status_server.h"

#include <cstdio>
#include <optional>

#include "protocol/byte_span.h"
#include "radius/message_authenticator.h"

namespace {
constexpr std::size_t kLengthOffset = 2;
}  // namespace

std::size_t BuildStatusServer(std::span<std::uint8_t> buffer, std::uint8_t id,
                              const Authenticator& requestAuthenticator, std::string_view secret) {
    ByteWriter out(buffer);
    out.WriteU8(code::kStatusServer);
    out.WriteU8(id);
    out.WriteU16(0);  // Length, filled in below
    out.WriteBytes(requestAuthenticator);
    const std::optional<std::size_t> valueOffset = WriteMessageAuthenticatorPlaceholder(out);
    if (out.Failed() || !valueOffset) return 0;
    out.PutU16At(kLengthOffset, static_cast<std::uint16_t>(out.Position()));
    if (!SignMessageAuthenticator(buffer.first(out.Position()), *valueOffset, secret)) return 0;
    return out.Position();
}

StatusReply CheckStatusReply(std::span<const std::uint8_t> reply, std::uint8_t id,
                             const Authenticator& requestAuthenticator, std::string_view secret) {
    if (CheckReplyFraming(reply) != ReplyFraming::Ok || reply[1] != id) return StatusReply::NotOurs;
    // Octets past the Length field are padding (RFC 2865 section 3): not part of the packet.
    const std::span<const std::uint8_t> packet = reply.first((std::size_t{reply[2]} << 8) | reply[3]);
    if (!VerifyResponse(packet, requestAuthenticator, secret)) return StatusReply::WrongResponseAuthenticator;
    if (FindMessageAuthenticator(packet) &&
        CheckReplyMessageAuthenticator(packet, requestAuthenticator, secret) != MessageAuthenticatorCheck::Right)
        return StatusReply::WrongMessageAuthenticator;
    return StatusReply::Answer;
}

std::string_view ReplyCodeName(std::uint8_t replyCode, char (&scratch)[16]) {
    switch (replyCode) {
        case code::kAccessAccept: return "Access-Accept";
        case code::kAccessReject: return "Access-Reject";
        case code::kAccountingResponse: return "Accounting-Response";
        case code::kAccessChallenge: return "Access-Challenge";
        default: break;
    }
    std::snprintf(scratch, sizeof scratch, "code %u", replyCode);
    return scratch;
}
