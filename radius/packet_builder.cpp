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
#include "protocol/value_hiding.h"
#include "radius/md5.h"
#include "radius/message_authenticator.h"
#include "radius/random_source.h"
#include "radius/request_hider.h"

namespace {

constexpr std::size_t kBlock = 16;
constexpr std::size_t kLengthOffset = 2;

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

void WriteNasIdentity(ByteWriter& out, const RequestAdditions& additions) {
    if (additions.nasIpAddress != 0) WriteIntegerItem(out, attr::kNasIpAddress, additions.nasIpAddress);
    if (!additions.nasIdentifier.empty()) WriteTextItem(out, attr::kNasIdentifier, additions.nasIdentifier);
}

// RFC 2869 section 5.1 and 5.2: Acct-Input-Gigawords counts the times Acct-Input-Octets
// wrapped past 2^32; the same for output. Packets are 32-bit counters of their own.
void WriteUsage(ByteWriter& out, const SessionUsage& usage) {
    constexpr std::uint8_t kOctets[] = {attr::kAcctInputOctets, attr::kAcctOutputOctets};
    constexpr std::uint8_t kGigawords[] = {attr::kAcctInputGigawords, attr::kAcctOutputGigawords};
    for (std::size_t i = 0; i < 2; ++i) {
        WriteIntegerItem(out, kOctets[i], static_cast<std::uint32_t>(usage.reported[i]));
        const auto gigawords = static_cast<std::uint32_t>(usage.reported[i] >> 32);
        if (gigawords != 0) WriteIntegerItem(out, kGigawords[i], gigawords);
    }
    WriteIntegerItem(out, attr::kAcctInputPackets, static_cast<std::uint32_t>(usage.reported[2]));
    WriteIntegerItem(out, attr::kAcctOutputPackets, static_cast<std::uint32_t>(usage.reported[3]));
}

void PutLength(ByteWriter& out) {
    out.PutU16At(kLengthOffset, static_cast<std::uint16_t>(out.Position()));
}

// The password at most 64 characters long, with 1 to 16 zero octets of padding: the next
// multiple of 16 above its length.
std::string_view UsedPassword(std::string_view password) {
    return password.substr(0, std::min(password.size(), kMaxPasswordLength));
}
std::size_t PaddedPasswordLength(std::string_view usedPassword) {
    return usedPassword.size() + kBlock - usedPassword.size() % kBlock;
}

void WriteUserPassword(ByteWriter& out, std::string_view password, std::string_view secret,
                       const Authenticator& requestAuthenticator) {
    std::array<std::uint8_t, kMaxHiddenPasswordLength> hidden{};
    // Measuring needs the length only: the MD5 chain runs when the octets are kept.
    const std::size_t length = out.IsCounting() ? PaddedPasswordLength(UsedPassword(password))
                                                : HidePassword(password, secret, requestAuthenticator, hidden);
    out.WriteU8(attr::kUserPassword);
    out.WriteU8(static_cast<std::uint8_t>(length + 2));
    out.WriteBytes(hidden.data(), length);
}

// The Access-Request but for its Length field and the Message-Authenticator's value: the
// header, a Message-Authenticator placeholder when asked (its value's offset returned; first
// of all attributes, so a server that checks it can do so before it reads anything else),
// User-Name, User-Password and the session's list, its hidden values hidden by hider.
std::optional<std::size_t> WriteAccessRequest(ByteWriter& out, const Session& session,
                                              const Authenticator& requestAuthenticator, std::string_view secret,
                                              const Dictionary* dictionary, bool withMessageAuthenticator,
                                              ValueHider& hider, const RequestAdditions& additions) {
    WriteHeader(out, code::kAccessRequest, session.requestId, requestAuthenticator);
    std::optional<std::size_t> messageAuthenticatorOffset;
    if (withMessageAuthenticator) messageAuthenticatorOffset = WriteMessageAuthenticatorPlaceholder(out);
    WriteTextItem(out, attr::kUserName, session.userName);
    WriteUserPassword(out, session.password, secret, requestAuthenticator);
    WriteNasIdentity(out, additions);
    session.authAttributes.EncodeAll(out, dictionary, &hider);
    return messageAuthenticatorOffset;
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

// The Accounting-Request of the session in that state (AccountingStart: a Start,
// AccountingInterim: an Interim-Update, else a Stop) but for its Length field and Request
// Authenticator, echoing the accept's values; with usage, those counters and that cause.
void WriteAccountingRequest(ByteWriter& out, const Session& session, SessionState state, const AcceptValues& accept,
                            const Dictionary* dictionary, const RequestAdditions& additions,
                            const SessionUsage& usage, TerminateCause cause) {
    const bool start = state == SessionState::AccountingStart;
    const bool interim = state == SessionState::AccountingInterim;
    const AttributeList& list = start ? session.acctStartAttributes : session.acctStopAttributes;

    WriteHeader(out, code::kAccountingRequest, session.requestId, Authenticator{});
    if (list.Find(attr::kAcctSessionId) == nullptr) {
        char number[16];
        std::snprintf(number, sizeof number, "%d", static_cast<std::int32_t>(session.sessionNumber));
        WriteTextItem(out, attr::kAcctSessionId, number);
    }
    const std::uint32_t statusType = start ? kAcctStatusStart : interim ? kAcctStatusInterimUpdate : kAcctStatusStop;
    WriteIntegerItem(out, attr::kAcctStatusType, statusType);
    WriteTextItem(out, attr::kUserName, session.userName);
    WriteIntegerItem(out, attr::kNasPort, session.nasPort);
    WriteNasIdentity(out, additions);
    if (state == SessionState::AccountingStop) WriteIntegerItem(out, attr::kAcctSessionTime, session.Duration());
    if (interim) WriteIntegerItem(out, attr::kAcctSessionTime, additions.interimSessionTime);
    if (additions.withUsage && !start) {
        WriteUsage(out, usage);
        WriteIntegerItem(out, attr::kEventTimestamp, additions.eventTimestamp);
        if (!interim && cause != TerminateCause::None)
            WriteIntegerItem(out, attr::kAcctTerminateCause, static_cast<std::uint32_t>(cause));
    }

    // The Access-Accept's values go back as the server sent them.
    if (accept.serviceType >= 0) WriteIntegerItem(out, attr::kServiceType, static_cast<std::uint32_t>(accept.serviceType));
    if (accept.framedProtocol >= 0)
        WriteIntegerItem(out, attr::kFramedProtocol, static_cast<std::uint32_t>(accept.framedProtocol));
    if (accept.framedCompression >= 0)
        WriteIntegerItem(out, attr::kFramedCompression, static_cast<std::uint32_t>(accept.framedCompression));
    if (accept.framedIpAddress != 0) WriteIntegerItem(out, attr::kFramedIpAddress, accept.framedIpAddress);
    if (accept.loginService >= 0)
        WriteIntegerItem(out, attr::kLoginService, static_cast<std::uint32_t>(accept.loginService));
    if (accept.loginIpHost != 0) WriteIntegerItem(out, attr::kLoginIpHost, accept.loginIpHost);
    if (!accept.className.empty()) WriteTextItem(out, attr::kClass, accept.className);

    list.EncodeAll(out, dictionary);
}

// The most an Access-Accept can make the accounting echo: every value, and the longest Class
// kept.
const AcceptValues& LargestAccept() {
    static const AcceptValues largest{.serviceType = 0,
                                      .framedProtocol = 0,
                                      .framedCompression = 0,
                                      .framedIpAddress = 1,
                                      .loginService = 0,
                                      .loginIpHost = 1,
                                      .className = std::string(kMaxClassLength, 'c')};
    return largest;
}

}  // namespace

std::size_t HidePassword(std::string_view password, std::string_view secret,
                         const Authenticator& requestAuthenticator,
                         std::array<std::uint8_t, kMaxHiddenPasswordLength>& out) {
    password = UsedPassword(password);
    const std::size_t length = PaddedPasswordLength(password);
    std::array<std::uint8_t, kMaxHiddenPasswordLength> padded{};
    std::memcpy(padded.data(), password.data(), password.size());

    // RFC 2865 section 5.2: b1 = MD5(S + RA), c1 = p1 xor b1; bi = MD5(S + c(i-1)), ci = pi xor bi.
    HideBlocks(secret, requestAuthenticator, std::span(padded).first(length), out.data());
    return length;
}

std::size_t BuildAccessRequest(std::span<std::uint8_t> buffer, const Session& session,
                               const Authenticator& requestAuthenticator, std::string_view secret,
                               const Dictionary* dictionary, bool withMessageAuthenticator, RandomSource* salts,
                               const RequestAdditions& additions) {
    ByteWriter out(buffer);
    RequestHider hider(secret, requestAuthenticator, salts ? *salts : CryptoRandomSource::Instance());
    const std::optional<std::size_t> messageAuthenticatorOffset = WriteAccessRequest(
        out, session, requestAuthenticator, secret, dictionary, withMessageAuthenticator, hider, additions);
    return FinishAccessRequest(out, buffer, secret, messageAuthenticatorOffset) ? out.Position() : 0;
}

std::size_t BuildAccountingRequest(std::span<std::uint8_t> buffer, const Session& session,
                                   std::string_view secret, const Dictionary* dictionary,
                                   const RequestAdditions& additions) {
    ByteWriter out(buffer);
    WriteAccountingRequest(out, session, session.state, session.accept, dictionary, additions, session.usage,
                           session.terminateCause);
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
            case attr::kServiceType: if (hasNumber) session.accept.serviceType = asSigned; break;
            case attr::kFramedProtocol: if (hasNumber) session.accept.framedProtocol = asSigned; break;
            case attr::kFramedIpAddress: if (hasNumber) session.accept.framedIpAddress = number; break;
            case attr::kFramedCompression: if (hasNumber) session.accept.framedCompression = asSigned; break;
            case attr::kLoginIpHost: if (hasNumber) session.accept.loginIpHost = number; break;
            case attr::kLoginService: if (hasNumber) session.accept.loginService = asSigned; break;
            case attr::kReplyMessage: {
                const std::string text(item.value.begin(), item.value.end());
                Log(2, "Port Message = %s", text.c_str());
                break;
            }
            case attr::kClass: {
                const auto zero = std::find(item.value.begin(), item.value.end(), std::uint8_t{0});
                session.accept.className.assign(item.value.begin(), zero);
                if (session.accept.className.size() > kMaxClassLength) session.accept.className.resize(kMaxClassLength);
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

bool SessionRequestsFit(const Session& session, const Dictionary* dictionary, bool withMessageAuthenticator,
                        const RequestAdditions& additions) {
    // Measured by the code that writes the packets, so that nothing it writes is left out. The
    // hidden values are measured at their hidden length: zeros in their place, no salt drawn.
    ByteWriter access = ByteWriter::Counting(kMaxPacketLength);
    PlaceholderHider placeholder;
    WriteAccessRequest(access, session, Authenticator{}, {}, dictionary, withMessageAuthenticator, placeholder,
                       additions);
    ByteWriter start = ByteWriter::Counting(kMaxPacketLength);
    WriteAccountingRequest(start, session, SessionState::AccountingStart, LargestAccept(), dictionary, additions,
                           session.usage, TerminateCause::None);
    // The Stop is the largest accounting request: an Interim-Update carries the same but the cause.
    SessionUsage largestUsage;
    largestUsage.reported.fill(~std::uint64_t{0});
    ByteWriter stop = ByteWriter::Counting(kMaxPacketLength);
    WriteAccountingRequest(stop, session, SessionState::AccountingStop, LargestAccept(), dictionary, additions,
                           largestUsage, TerminateCause::UserRequest);
    return !access.Failed() && !start.Failed() && !stop.Failed();
}
