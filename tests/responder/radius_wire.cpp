#include "tests/responder/radius_wire.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cstdio>

namespace responder {
namespace {

// Reads forward through a datagram; a read past the end fails and changes nothing.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}
    bool U8(std::uint8_t& out) {
        if (Remaining() < 1) return false;
        out = data_[position_++];
        return true;
    }
    bool U16(std::uint16_t& out) {
        if (Remaining() < 2) return false;
        out = static_cast<std::uint16_t>(data_[position_] << 8 | data_[position_ + 1]);
        position_ += 2;
        return true;
    }
    bool Take(std::size_t count, std::span<const std::uint8_t>& out) {
        if (Remaining() < count) return false;
        out = data_.subspan(position_, count);
        position_ += count;
        return true;
    }
    std::size_t Remaining() const { return data_.size() - position_; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t position_ = 0;
};

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

WireAttribute WireAttribute::Text(std::uint8_t type, std::string_view text) {
    return {type, Bytes(text.begin(), text.end())};
}

WireAttribute WireAttribute::Integer(std::uint8_t type, std::uint32_t value) {
    return {type, Bytes{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                        static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)}};
}

std::optional<WireAttribute> WireAttribute::Address(std::uint8_t type, std::string_view dottedQuad) {
    unsigned parts[4];
    char tail = 0;
    std::string text(dottedQuad);
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4)
        return std::nullopt;
    if (std::any_of(std::begin(parts), std::end(parts), [](unsigned part) { return part > 255; })) return std::nullopt;
    return WireAttribute{type, Bytes{static_cast<std::uint8_t>(parts[0]), static_cast<std::uint8_t>(parts[1]),
                                     static_cast<std::uint8_t>(parts[2]), static_cast<std::uint8_t>(parts[3])}};
}

std::optional<std::uint32_t> WireAttribute::AsInteger() const {
    if (value.size() != 4) return std::nullopt;
    return std::uint32_t{value[0]} << 24 | std::uint32_t{value[1]} << 16 | std::uint32_t{value[2]} << 8 | value[3];
}

const WireAttribute* WirePacket::Find(std::uint8_t type) const {
    for (const auto& attribute : attributes)
        if (attribute.type == type) return &attribute;
    return nullptr;
}

std::optional<WirePacket> DecodePacket(std::span<const std::uint8_t> datagram, std::string* problem) {
    auto fail = [&](std::string text) -> std::optional<WirePacket> {
        if (problem) *problem = std::move(text);
        return std::nullopt;
    };
    Reader header(datagram);
    WirePacket packet;
    std::uint16_t length = 0;
    std::span<const std::uint8_t> authenticator;
    if (!header.U8(packet.code) || !header.U8(packet.identifier) || !header.U16(length) ||
        !header.Take(packet.authenticator.size(), authenticator))
        return fail("shorter than a RADIUS header (" + std::to_string(datagram.size()) + " octets)");
    if (length < kHeaderLength) return fail("Length field " + std::to_string(length) + " below 20");
    if (length > datagram.size())
        return fail("Length field " + std::to_string(length) + " beyond the " + std::to_string(datagram.size()) +
                    " octets received");
    std::copy(authenticator.begin(), authenticator.end(), packet.authenticator.begin());

    Reader attributes(datagram.subspan(kHeaderLength, length - kHeaderLength));
    while (attributes.Remaining() > 0) {
        WireAttribute attribute;
        std::uint8_t attributeLength = 0;
        std::span<const std::uint8_t> value;
        if (!attributes.U8(attribute.type) || !attributes.U8(attributeLength))
            return fail("attribute header cut off by the Length field");
        if (attributeLength < 2)
            return fail("attribute " + std::to_string(attribute.type) + " with length " +
                        std::to_string(attributeLength));
        if (!attributes.Take(attributeLength - 2u, value))
            return fail("attribute " + std::to_string(attribute.type) + " runs beyond the packet");
        attribute.value.assign(value.begin(), value.end());
        packet.attributes.push_back(std::move(attribute));
    }
    return packet;
}

Bytes EncodePacket(const WirePacket& packet) {
    Bytes out{packet.code, packet.identifier, 0, 0};
    out.insert(out.end(), packet.authenticator.begin(), packet.authenticator.end());
    for (const auto& attribute : packet.attributes) {
        if (attribute.value.size() > 253) return {};
        out.push_back(attribute.type);
        out.push_back(static_cast<std::uint8_t>(attribute.value.size() + 2));
        out.insert(out.end(), attribute.value.begin(), attribute.value.end());
    }
    if (out.size() > kMaxPacketLength) return {};
    out[2] = static_cast<std::uint8_t>(out.size() >> 8);
    out[3] = static_cast<std::uint8_t>(out.size());
    return out;
}

Authenticator Md5(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second) {
    Authenticator digest{};
    unsigned int digestLength = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context && EVP_DigestInit_ex(context, EVP_md5(), nullptr) == 1 &&
        EVP_DigestUpdate(context, first.data(), first.size()) == 1 &&
        EVP_DigestUpdate(context, second.data(), second.size()) == 1)
        EVP_DigestFinal_ex(context, digest.data(), &digestLength);
    EVP_MD_CTX_free(context);
    return digest;
}

Bytes HidePassword(std::string_view password, std::string_view secret, const Authenticator& requestAuthenticator) {
    Bytes padded(password.begin(), password.end());
    padded.resize(std::max<std::size_t>(16, (padded.size() + 15) / 16 * 16), 0);
    Bytes hidden(padded.size());
    Bytes keyInput(secret.begin(), secret.end());
    std::span<const std::uint8_t> previous = requestAuthenticator;
    for (std::size_t block = 0; block < padded.size(); block += 16) {
        const Authenticator key = Md5(keyInput, previous);
        for (std::size_t i = 0; i < 16; ++i) hidden[block + i] = padded[block + i] ^ key[i];
        previous = std::span<const std::uint8_t>(hidden).subspan(block, 16);
    }
    return hidden;
}

std::optional<std::string> RevealPassword(std::span<const std::uint8_t> hidden, std::string_view secret,
                                          const Authenticator& requestAuthenticator) {
    // RFC 2865 section 5.2: "The String field is between 16 and 128 octets long, inclusive."
    if (hidden.empty() || hidden.size() % 16 != 0 || hidden.size() > 128) return std::nullopt;
    std::string password(hidden.size(), '\0');
    std::span<const std::uint8_t> previous = requestAuthenticator;
    for (std::size_t block = 0; block < hidden.size(); block += 16) {
        const Authenticator key = Md5(AsBytes(secret), previous);
        for (std::size_t i = 0; i < 16; ++i)
            password[block + i] = static_cast<char>(hidden[block + i] ^ key[i]);
        previous = hidden.subspan(block, 16);
    }
    while (!password.empty() && password.back() == '\0') password.pop_back();
    return password;
}

Authenticator ResponseAuthenticator(std::span<const std::uint8_t> reply, const Authenticator& requestAuthenticator,
                                    std::string_view secret) {
    Bytes input(reply.begin(), reply.end());
    if (input.size() < kHeaderLength) input.resize(kHeaderLength, 0);
    std::copy(requestAuthenticator.begin(), requestAuthenticator.end(), input.begin() + 4);
    return Md5(input, AsBytes(secret));
}

Authenticator AccountingRequestAuthenticator(std::span<const std::uint8_t> request, std::string_view secret) {
    return ResponseAuthenticator(request, Authenticator{}, secret);
}

std::optional<bool> VerifyMessageAuthenticator(std::span<const std::uint8_t> packet, std::string_view secret) {
    std::string problem;
    const auto decoded = DecodePacket(packet, &problem);
    if (!decoded) return std::nullopt;
    // Find the value's offset by walking the attributes again.
    std::size_t offset = kHeaderLength;
    for (const auto& attribute : decoded->attributes) {
        if (attribute.type == kMessageAuthenticator) break;
        offset += attribute.value.size() + 2;
    }
    const WireAttribute* found = decoded->Find(kMessageAuthenticator);
    if (!found || found->value.size() != 16) return std::nullopt;
    const std::size_t length = std::size_t{packet[2]} << 8 | packet[3];
    Bytes copy(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(length));
    std::fill_n(copy.begin() + static_cast<std::ptrdiff_t>(offset + 2), 16, 0);
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macLength = 0;
    if (!HMAC(EVP_md5(), secret.data(), static_cast<int>(secret.size()), copy.data(), copy.size(), mac, &macLength) ||
        macLength != 16)
        return false;
    return std::equal(found->value.begin(), found->value.end(), mac);
}

void PutAuthenticator(Bytes& packet, const Authenticator& authenticator) {
    if (packet.size() < kHeaderLength) return;
    std::copy(authenticator.begin(), authenticator.end(), packet.begin() + 4);
}

std::string CodeName(std::uint8_t code) {
    switch (code) {
        case kAccessRequest: return "Access-Request";
        case kAccessAccept: return "Access-Accept";
        case kAccessReject: return "Access-Reject";
        case kAccountingRequest: return "Accounting-Request";
        case kAccountingResponse: return "Accounting-Response";
        case kAccessChallenge: return "Access-Challenge";
        default: return "Code-" + std::to_string(code);
    }
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

}  // namespace responder
