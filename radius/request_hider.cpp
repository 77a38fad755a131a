#include "radius/request_hider.h"

#include <algorithm>
#include <array>

#include "radius/md5.h"
#include "radius/random_source.h"

namespace {

constexpr std::size_t kBlock = 16;
// Longest value that is hidden: one item's value octets.
constexpr std::size_t kMaxPadded = 256;

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

void HideBlocks(std::string_view secret, std::span<const std::uint8_t> first, std::span<const std::uint8_t> padded,
                std::uint8_t* out) {
    std::span<const std::uint8_t> chain = first;
    for (std::size_t offset = 0; offset + kBlock <= padded.size(); offset += kBlock) {
        const Md5Digest b = Md5({Bytes(secret), chain});
        for (std::size_t i = 0; i < kBlock; ++i) out[offset + i] = padded[offset + i] ^ b[i];
        chain = std::span<const std::uint8_t>(out + offset, kBlock);
    }
}

std::uint16_t RequestHider::NewSalt() {
    // RFC 2868 section 3.5: the salt's most significant bit is set, and the salts of one packet
    // differ. The loop is bounded: 32,768 salts, few hidden values per packet.
    std::uint16_t salt = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::array<std::uint8_t, 2> random{};
        salts_.Fill(random.data(), random.size());
        salt = static_cast<std::uint16_t>(0x8000u | (random[0] << 8) | random[1]);
        if (std::find(saltsUsed_.begin(), saltsUsed_.end(), salt) == saltsUsed_.end()) break;
    }
    saltsUsed_.push_back(salt);
    return salt;
}

bool RequestHider::Hide(ValueHiding hiding, std::span<const std::uint8_t> plain, ByteWriter& out) {
    std::array<std::uint8_t, kMaxPadded> padded{};
    std::array<std::uint8_t, kMaxPadded> hidden{};
    switch (hiding) {
        case ValueHiding::UserPassword: {
            // RFC 2865 section 5.2: the value padded with zeros to a multiple of 16 octets.
            const std::size_t length = HiddenLength(hiding, plain.size());
            if (length > kMaxPadded) return false;
            std::copy(plain.begin(), plain.end(), padded.begin());
            HideBlocks(secret_, requestAuthenticator_, std::span(padded).first(length), hidden.data());
            return out.WriteBytes(hidden.data(), length);
        }
        case ValueHiding::TunnelPassword: {
            // RFC 2868 section 3.5: Salt, then the hidden string of a length octet, the value and
            // zero padding; b(1) = MD5(S + R + A).
            const std::size_t length = HiddenLength(hiding, plain.size()) - 2;
            if (length > kMaxPadded || plain.size() > 255) return false;
            padded[0] = static_cast<std::uint8_t>(plain.size());
            std::copy(plain.begin(), plain.end(), padded.begin() + 1);
            const std::uint16_t salt = NewSalt();
            std::array<std::uint8_t, kAuthenticatorLength + 2> first{};
            std::copy(requestAuthenticator_.begin(), requestAuthenticator_.end(), first.begin());
            first[kAuthenticatorLength] = static_cast<std::uint8_t>(salt >> 8);
            first[kAuthenticatorLength + 1] = static_cast<std::uint8_t>(salt);
            HideBlocks(secret_, first, std::span(padded).first(length), hidden.data());
            return out.WriteU16(salt) && out.WriteBytes(hidden.data(), length);
        }
        case ValueHiding::None:
            break;
    }
    return out.WriteBytes(plain);
}
