#include "radius/message_authenticator.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <memory>

#include "protocol/packet_items.h"

namespace {

constexpr std::size_t kLengthOffset = 2;

// The HMAC implementation, fetched once: fetching looks it up in OpenSSL's provider tables.
EVP_MAC* HmacImplementation() {
    static const std::unique_ptr<EVP_MAC, decltype(&EVP_MAC_free)> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr),
                                                                     &EVP_MAC_free);
    return mac.get();
}

// The packet's extent by its Length field, never past the octets there are; 0 when the header
// is incomplete.
std::size_t DeclaredLength(std::span<const std::uint8_t> packet) {
    ByteReader header(packet);
    std::uint16_t declared = 0;
    if (packet.size() < kHeaderLength || !header.Skip(kLengthOffset) || !header.ReadU16(declared)) return 0;
    return std::min<std::size_t>(declared, packet.size());
}

}  // namespace

HmacMd5Digest HmacMd5(std::string_view key, std::initializer_list<std::span<const std::uint8_t>> parts) {
    HmacMd5Digest digest{};
    EVP_MAC* implementation = HmacImplementation();
    std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> context(
        implementation ? EVP_MAC_CTX_new(implementation) : nullptr, &EVP_MAC_CTX_free);
    char digestName[] = "MD5";
    const OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digestName, 0),
        OSSL_PARAM_construct_end(),
    };
    // An empty key is a valid HMAC key; OpenSSL wants a non-null pointer for it.
    static const std::uint8_t kNoKey = 0;
    const auto* keyBytes = key.empty() ? &kNoKey : reinterpret_cast<const std::uint8_t*>(key.data());
    bool ok = context && EVP_MAC_init(context.get(), keyBytes, key.size(), parameters) == 1;
    for (auto part : parts)
        if (ok && !part.empty()) ok = EVP_MAC_update(context.get(), part.data(), part.size()) == 1;
    // As with MD5: a failure leaves an all-zero digest, so the packet fails at the server and a
    // reply fails here, which is logged; nothing is read or written out of bounds.
    std::size_t length = 0;
    if (ok && EVP_MAC_final(context.get(), digest.data(), &length, digest.size()) != 1) digest.fill(0);
    return digest;
}

std::optional<std::size_t> WriteMessageAuthenticatorPlaceholder(ByteWriter& out) {
    constexpr std::array<std::uint8_t, kMessageAuthenticatorLength> kZero{};
    out.WriteU8(attr::kMessageAuthenticator);
    out.WriteU8(static_cast<std::uint8_t>(kMessageAuthenticatorItemLength));
    out.WriteBytes(kZero.data(), kZero.size());
    if (out.Failed()) return std::nullopt;
    return out.Position() - kMessageAuthenticatorLength;
}

bool SignMessageAuthenticator(std::span<std::uint8_t> packet, std::size_t valueOffset, std::string_view secret) {
    if (valueOffset < kHeaderLength || valueOffset > packet.size() ||
        packet.size() - valueOffset < kMessageAuthenticatorLength)
        return false;
    std::fill_n(packet.begin() + static_cast<std::ptrdiff_t>(valueOffset), kMessageAuthenticatorLength,
                std::uint8_t{0});
    const HmacMd5Digest digest = HmacMd5(secret, {packet});
    std::copy(digest.begin(), digest.end(), packet.begin() + static_cast<std::ptrdiff_t>(valueOffset));
    return true;
}

std::optional<MessageAuthenticatorItem> FindMessageAuthenticator(std::span<const std::uint8_t> packet) {
    ByteReader items(AttributeArea(packet));
    PacketItem item;
    while (NextPacketItem(items, item)) {
        if (item.type != attr::kMessageAuthenticator) continue;
        return MessageAuthenticatorItem{static_cast<std::size_t>(item.value.data() - packet.data()), item.value.size()};
    }
    return std::nullopt;
}

MessageAuthenticatorCheck CheckReplyMessageAuthenticator(std::span<const std::uint8_t> reply,
                                                         const Authenticator& requestAuthenticator,
                                                         std::string_view secret) {
    const std::size_t length = DeclaredLength(reply);
    if (length < kHeaderLength) return MessageAuthenticatorCheck::Missing;
    const std::span<const std::uint8_t> packet = reply.first(length);
    const auto found = FindMessageAuthenticator(packet);
    if (!found) return MessageAuthenticatorCheck::Missing;
    // RFC 3579 section 3.2: the attribute's Length is 18.
    if (found->valueLength != kMessageAuthenticatorLength) return MessageAuthenticatorCheck::Wrong;

    constexpr std::array<std::uint8_t, kMessageAuthenticatorLength> kZero{};
    const std::span<const std::uint8_t> value = packet.subspan(found->valueOffset, kMessageAuthenticatorLength);
    const HmacMd5Digest digest =
        HmacMd5(secret, {packet.first(kAuthenticatorOffset), requestAuthenticator,
                         packet.subspan(kHeaderLength, found->valueOffset - kHeaderLength), kZero,
                         packet.subspan(found->valueOffset + kMessageAuthenticatorLength)});
    // Constant time: how much of a forged value matches must not show in the timing.
    return CRYPTO_memcmp(digest.data(), value.data(), digest.size()) == 0 ? MessageAuthenticatorCheck::Right
                                                                           : MessageAuthenticatorCheck::Wrong;
}
