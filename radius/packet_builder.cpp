#include "radius/packet_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "infra/log.h"
#include "protocol/attribute_list.h"
#include "protocol/dictionary.h"
#include "protocol/packet_items.h"
#include "protocol/radius_attribute.h"
#include "radius/md5.h"
#include "radius/message_authenticator.h"
#include "radius/random_source.h"
#include "radius/request_hider.h"

namespace {

constexpr std::size_t kBlock = 16;
constexpr std::size_t kLengthOffset = 2;
// What an Access-Accept can add to an accounting request: six 4-octet items and a Class item.
constexpr std::size_t kMaxAcceptEcho = 6 * (2 + 4) + (2 + kMaxClassLength);

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void WriteHeader(ByteWriter& out, std::uint8_t packetCode, std::uint16_t id, const Authenticator& authenticator) {
    out.WriteU8(packetCode);
    out.WriteU8(static_cast<std::uint8_t>(id));
    out.WriteU16(0);  // Length, filled in when the packet is complete
    out.WriteBytes(authenticator.data(), authenticator.size());
}

void WriteTextItem(ByteWriter& out, std::uint8_t type, std::string_view text) {
    out.WriteU8(type);
    out.WriteU8(static_cast<std::uint8_t>(text.size() + 2));
    out.WriteBytes(Bytes(text));
}

void WriteIntegerItem(ByteWriter& out, std::uint8_t type, std::uint32_t value) {
    out.WriteU8(type);
    out.WriteU8(6);
    out.WriteU32(value);
}

void PutLength(ByteWriter& out) {
    out.PutU16At(kLengthOffset, static_cast<std::uint16_t>(out.Position()));
}

// The one place where an Access-Request is completed before it is sent: its Length field,
// then the Message-Authenticator when the packet has one (at messageAuthenticatorOffset): RFC
// 3579 section 3.2 computes it over the finished packet, Request Authenticator included.
bool FinishAccessRequest(ByteWriter& out, std::span<std::uint8_t> buffer, std::string_view secret,
                         std::optional<std::size_t> messageAuthenticatorOffset) {
    if (out.Failed()) return false;
    PutLength(out);
    if (!messageAuthenticatorOffset) return true;
    return SignMessageAuthenticator(buffer.first(out.Position()), *messageAuthenticatorOffset, secret);
}

std::size_t AccountingSize(const Session& session, const AttributeList& list, bool stop,
                           const Dictionary* dictionary) {
    std::size_t size = kHeaderLength;
    if (list.Find(attr::kAcctSessionId) == nullptr)
        size += 2 + std::to_string(static_cast<std::int32_t>(session.sessionNumber)).size();
    size += 6;                                  // Acct-Status-Type
    size += 2 + session.userName.size();        // User-Name
    size += 6;                                  // NAS-Port
    if (stop) size += 6;                        // Acct-Session-Time
    size += kMaxAcceptEcho;
    return size + EncodedListSize(list, dictionary);
}

}  // namespace

std::size_t HidePassword(std::string_view password, std::string_view secret,
                         const Authenticator& requestAuthenticator,
                         std::array<std::uint8_t, kMaxHiddenPasswordLength>& out) {
    password = password.substr(0, std::min(password.size(), kMaxPasswordLength));
    // Always 1 to 16 zero octets of padding: the next multiple of 16 above the length.
    const std::size_t length = password.size() + kBlock - password.size() % kBlock;
    std::array<std::uint8_t, kMaxHiddenPasswordLength> padded{};
    std::memcpy(padded.data(), password.data(), password.size());

    // RFC 2865 section 5.2: b1 = MD5(S + RA), c1 = p1 xor b1; bi = MD5(S + c(i-1)), ci = pi xor bi.
    HideBlocks(secret, requestAuthenticator, std::span(padded).first(length), out.data());
    return length;
}

std::size_t BuildAccessRequest(std::span<std::uint8_t> buffer, const Session& session,
                               const Authenticator& requestAuthenticator, std::string_view secret,
                               const Dictionary* dictionary, bool withMessageAuthenticator, RandomSource* salts) {
    ByteWriter out(buffer);
    WriteHeader(out, code::kAccessRequest, session.requestId, requestAuthenticator);
    // First of all attributes: a server that checks it can do so before it reads anything else.
    std::optional<std::size_t> messageAuthenticatorOffset;
    if (withMessageAuthenticator) {
        messageAuthenticatorOffset = WriteMessageAuthenticatorPlaceholder(out);
        if (!messageAuthenticatorOffset) return 0;
    }
    WriteTextItem(out, attr::kUserName, session.userName);
    std::array<std::uint8_t, kMaxHiddenPasswordLength> hidden{};
    const std::size_t hiddenLength = HidePassword(session.password, secret, requestAuthenticator, hidden);
    out.WriteU8(attr::kUserPassword);
    out.WriteU8(static_cast<std::uint8_t>(hiddenLength + 2));
    out.WriteBytes(hidden.data(), hiddenLength);
    RequestHider hider(secret, requestAuthenticator, salts ? *salts : CryptoRandomSource::Instance());
    session.authAttributes.EncodeAll(out, dictionary, &hider);
    return FinishAccessRequest(out, buffer, secret, messageAuthenticatorOffset) ? out.Position() : 0;
}

std::size_t BuildAccountingRequest(std::span<std::uint8_t> buffer, const Session& session,
                                   std::string_view secret, const Dictionary* dictionary) {
    ByteWriter out(buffer);
    const bool start = session.state == SessionState::AccountingStart;
    const AttributeList& list = start ? session.acctStartAttributes : session.acctStopAttributes;

    WriteHeader(out, code::kAccountingRequest, session.requestId, Authenticator{});
    if (list.Find(attr::kAcctSessionId) == nullptr) {
        char number[16];
        std::snprintf(number, sizeof number, "%d", static_cast<std::int32_t>(session.sessionNumber));
        WriteTextItem(out, attr::kAcctSessionId, number);
    }
    WriteIntegerItem(out, attr::kAcctStatusType, start ? kAcctStatusStart : kAcctStatusStop);
    WriteTextItem(out, attr::kUserName, session.userName);
    WriteIntegerItem(out, attr::kNasPort, session.nasPort);
    if (session.state == SessionState::AccountingStop)
        WriteIntegerItem(out, attr::kAcctSessionTime, session.Duration());

    // The Access-Accept's values go back as the server sent them.
    if (session.serviceType >= 0)
        WriteIntegerItem(out, attr::kServiceType, static_cast<std::uint32_t>(session.serviceType));
    if (session.framedProtocol >= 0)
        WriteIntegerItem(out, attr::kFramedProtocol, static_cast<std::uint32_t>(session.framedProtocol));
    if (session.framedCompression >= 0)
        WriteIntegerItem(out, attr::kFramedCompression, static_cast<std::uint32_t>(session.framedCompression));
    if (session.framedIpAddress != 0) WriteIntegerItem(out, attr::kFramedIpAddress, session.framedIpAddress);
    if (session.loginService >= 0)
        WriteIntegerItem(out, attr::kLoginService, static_cast<std::uint32_t>(session.loginService));
    if (session.loginIpHost != 0) WriteIntegerItem(out, attr::kLoginIpHost, session.loginIpHost);
    if (!session.className.empty()) WriteTextItem(out, attr::kClass, session.className);

    list.EncodeAll(out, dictionary);
    if (out.Failed()) return 0;
    PutLength(out);
    SignAccountingRequest(buffer.first(out.Position()), secret);
    return out.Position();
}

void SignAccountingRequest(std::span<std::uint8_t> packet, std::string_view secret) {
    if (packet.size() < kHeaderLength) return;
    std::fill_n(packet.begin() + kAuthenticatorOffset, kAuthenticatorLength, std::uint8_t{0});
    const Md5Digest digest = Md5({packet, Bytes(secret)});
    std::copy(digest.begin(), digest.end(), packet.begin() + kAuthenticatorOffset);
}

bool VerifyResponse(std::span<const std::uint8_t> reply, const Authenticator& requestAuthenticator,
                    std::string_view secret) {
    if (reply.size() < kHeaderLength) return false;
    const Md5Digest digest = Md5({reply.first(kAuthenticatorOffset), requestAuthenticator,
                                  reply.subspan(kHeaderLength), Bytes(secret)});
    return std::equal(digest.begin(), digest.end(), reply.begin() + kAuthenticatorOffset);
}

void ReadAcceptAttributes(std::span<const std::uint8_t> reply, Session& session) {
    ByteReader items(AttributeArea(reply));
    PacketItem item;
    while (NextPacketItem(items, item)) {
        std::uint32_t number = 0;
        const bool hasNumber = ByteReader(item.value).ReadU32(number);
        const auto asSigned = static_cast<std::int32_t>(number);
        switch (item.type) {
            case attr::kServiceType: if (hasNumber) session.serviceType = asSigned; break;
            case attr::kFramedProtocol: if (hasNumber) session.framedProtocol = asSigned; break;
            case attr::kFramedIpAddress: if (hasNumber) session.framedIpAddress = number; break;
            case attr::kFramedCompression: if (hasNumber) session.framedCompression = asSigned; break;
            case attr::kLoginIpHost: if (hasNumber) session.loginIpHost = number; break;
            case attr::kLoginService: if (hasNumber) session.loginService = asSigned; break;
            case attr::kReplyMessage: {
                const std::string text(item.value.begin(), item.value.end());
                Log(2, "Port Message = %s", text.c_str());
                break;
            }
            case attr::kClass: {
                const auto zero = std::find(item.value.begin(), item.value.end(), std::uint8_t{0});
                session.className.assign(item.value.begin(), zero);
                if (session.className.size() > kMaxClassLength) session.className.resize(kMaxClassLength);
                break;
            }
            default:
                break;
        }
    }
}

ReplyFraming CheckReplyFraming(std::span<const std::uint8_t> reply) {
    ByteReader header(reply);
    std::uint16_t length = 0;
    if (reply.size() < kHeaderLength || !header.Skip(kLengthOffset) || !header.ReadU16(length))
        return ReplyFraming::ShorterThanHeader;
    if (length < kHeaderLength) return ReplyFraming::LengthBelowHeader;
    if (length > reply.size()) return ReplyFraming::LengthBeyondReceived;
    return ReplyFraming::Ok;
}

std::size_t EncodedListSize(const AttributeList& list, const Dictionary* dictionary) {
    std::size_t size = 0;
    for (const RadiusAttribute& attribute : list) size += attribute.EncodedSize(dictionary);
    return size;
}

bool SessionRequestsFit(const Session& session, const Dictionary* dictionary, bool withMessageAuthenticator) {
    const std::size_t password = std::min(session.password.size(), kMaxPasswordLength);
    const std::size_t hidden = password + kBlock - password % kBlock;
    const std::size_t access = kHeaderLength + (withMessageAuthenticator ? kMessageAuthenticatorItemLength : 0) +
                               2 + session.userName.size() + 2 + hidden +
                               EncodedListSize(session.authAttributes, dictionary);
    return access <= kMaxPacketLength &&
           AccountingSize(session, session.acctStartAttributes, false, dictionary) <= kMaxPacketLength &&
           AccountingSize(session, session.acctStopAttributes, true, dictionary) <= kMaxPacketLength;
}
