#include "radius/coa_request.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <array>

#include "protocol/packet_items.h"
#include "radius/md5.h"
#include "radius/message_authenticator.h"

namespace {

constexpr std::uint8_t kProxyState = 33;
constexpr std::uint8_t kErrorCause = 101;

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::optional<std::uint32_t> Number(std::span<const std::uint8_t> value) {
    std::uint32_t number = 0;
    if (value.size() != 4 || !ByteReader(value).ReadU32(number)) return std::nullopt;
    return number;
}

// RFC 5176 section 3.5: the Request Authenticator over the packet with 16 zero octets in its place.
bool RequestAuthenticatorRight(std::span<const std::uint8_t> packet, std::string_view secret) {
    constexpr Authenticator kZero{};
    const Md5Digest digest = Md5({packet.first(kAuthenticatorOffset), kZero, packet.subspan(kHeaderLength),
                                  Bytes(secret)});
    return CRYPTO_memcmp(digest.data(), packet.data() + kAuthenticatorOffset, digest.size()) == 0;
}

// What one attribute does to the request: names the session, changes it, is allowed and
// ignored, or is one this NAS cannot act on.
void ReadItem(const PacketItem& item, CoaRequest& request) {
    const std::optional<std::uint32_t> number = Number(item.value);
    auto needNumber = [&](std::optional<std::uint32_t>& into) {
        if (number) {
            into = number;
        } else if (request.problem == ErrorCause::None) {
            request.problem = ErrorCause::InvalidRequest;
        }
    };
    const bool coa = request.code == code::kCoaRequest;
    switch (item.type) {
        case attr::kUserName: request.userName.emplace(item.value.begin(), item.value.end()); return;
        case attr::kAcctSessionId: request.acctSessionId.emplace(item.value.begin(), item.value.end()); return;
        case attr::kNasPort: needNumber(request.nasPort); return;
        case attr::kFramedIpAddress: needNumber(request.framedIpAddress); return;
        case attr::kSessionTimeout:
            if (coa) return needNumber(request.sessionTimeout);
            break;
        case attr::kAcctInterimInterval:
            if (coa) return needNumber(request.interimInterval);
            break;
        // Identify this NAS, the request or its route: nothing to act on.
        case attr::kNasIpAddress:
        case attr::kNasIdentifier:
        case attr::kEventTimestamp:
        case attr::kMessageAuthenticator:
        case kProxyState:
        case attr::kReplyMessage:
        case attr::kAcctTerminateCause:
            return;
        default:
            break;
    }
    if (request.problem == ErrorCause::None) {
        request.problem = ErrorCause::UnsupportedAttribute;
        request.unsupportedType = item.type;
    }
}

}  // namespace

CoaReading ReadCoaRequest(std::span<const std::uint8_t> datagram, std::string_view secret, CoaRequest& request) {
    if (CheckReplyFraming(datagram) != ReplyFraming::Ok) return CoaReading::NotARequest;
    const std::span<const std::uint8_t> packet = datagram.first((datagram[2] << 8) | datagram[3]);
    if (packet[0] != code::kDisconnectRequest && packet[0] != code::kCoaRequest) return CoaReading::NotARequest;
    if (!RequestAuthenticatorRight(packet, secret)) return CoaReading::NotAuthenticated;
    if (FindMessageAuthenticator(packet) &&
        CheckReplyMessageAuthenticator(packet, Authenticator{}, secret) != MessageAuthenticatorCheck::Right)
        return CoaReading::NotAuthenticated;

    request = CoaRequest{};
    request.code = packet[0];
    request.id = packet[1];
    std::copy_n(packet.begin() + kAuthenticatorOffset, kAuthenticatorLength, request.authenticator.begin());
    ByteReader items(AttributeArea(packet));
    PacketItem item;
    while (NextPacketItem(items, item)) ReadItem(item, request);
    if (items.Remaining() != 0 && request.problem == ErrorCause::None) request.problem = ErrorCause::InvalidRequest;
    if (!request.NamesASession() && request.problem == ErrorCause::None) request.problem = ErrorCause::InvalidRequest;
    return CoaReading::Ok;
}

std::size_t BuildCoaResponse(std::span<std::uint8_t> buffer, std::span<const std::uint8_t> request,
                             ErrorCause cause, std::string_view secret) {
    if (CheckReplyFraming(request) != ReplyFraming::Ok) return 0;
    const std::span<const std::uint8_t> packet = request.first((request[2] << 8) | request[3]);
    const bool disconnect = packet[0] == code::kDisconnectRequest;
    const std::uint8_t responseCode = cause == ErrorCause::None ? (disconnect ? code::kDisconnectAck : code::kCoaAck)
                                                                : (disconnect ? code::kDisconnectNak : code::kCoaNak);
    ByteWriter out(buffer);
    out.WriteU8(responseCode);
    out.WriteU8(packet[1]);
    out.WriteU16(0);
    out.WriteBytes(packet.subspan(kAuthenticatorOffset, kAuthenticatorLength));
    if (cause != ErrorCause::None) {
        out.WriteU8(kErrorCause);
        out.WriteU8(6);
        out.WriteU32(static_cast<std::uint32_t>(cause));
    }
    ByteReader items(AttributeArea(packet));
    PacketItem item;
    while (NextPacketItem(items, item)) {
        if (item.type != kProxyState) continue;
        out.WriteU8(item.type);
        out.WriteU8(static_cast<std::uint8_t>(item.value.size() + 2));
        out.WriteBytes(item.value);
    }
    if (out.Failed()) return 0;
    const std::size_t length = out.Position();
    out.PutU16At(2, static_cast<std::uint16_t>(length));
    // Response Authenticator = MD5(Code + Identifier + Length + Request Authenticator + Attributes + Secret).
    const std::span<std::uint8_t> response = buffer.first(length);
    const Md5Digest digest = Md5({response, Bytes(secret)});
    std::copy(digest.begin(), digest.end(), response.begin() + kAuthenticatorOffset);
    return length;
}

const char* CoaRequestName(std::uint8_t requestCode) {
    return requestCode == code::kDisconnectRequest ? "Disconnect-Request" : "CoA-Request";
}

const char* ErrorCauseName(ErrorCause cause) {
    switch (cause) {
        case ErrorCause::None: return "";
        case ErrorCause::UnsupportedAttribute: return "Unsupported Attribute";
        case ErrorCause::InvalidRequest: return "Invalid Request";
        case ErrorCause::SessionContextNotFound: return "Session Context Not Found";
    }
    return "";
}
