// Hides the values of an Access-Request that travel hidden, with the secret and the packet's
// Request Authenticator: User-Password style (RFC 2865 section 5.2) and Tunnel-Password style
// (RFC 2868 section 3.5, whose salts come from the random source).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "protocol/value_hiding.h"
#include "radius/packet_builder.h"

class RandomSource;

// RFC 2865 section 5.2: c(1) = p(1) xor MD5(S + first), c(i) = p(i) xor MD5(S + c(i-1)), over
// 16-octet blocks. padded holds a multiple of 16 octets; out as many.
void HideBlocks(std::string_view secret, std::span<const std::uint8_t> first, std::span<const std::uint8_t> padded,
                std::uint8_t* out);

class RequestHider : public ValueHider {
public:
    RequestHider(std::string_view secret, const Authenticator& requestAuthenticator, RandomSource& salts)
        : secret_(secret), requestAuthenticator_(requestAuthenticator), salts_(salts) {}

    bool Hide(ValueHiding hiding, std::span<const std::uint8_t> plain, ByteWriter& out) override;

private:
    std::uint16_t NewSalt();

    std::string_view secret_;
    const Authenticator& requestAuthenticator_;
    RandomSource& salts_;
    std::vector<std::uint16_t> saltsUsed_;  // RFC 2868 section 3.5: unique within the packet
};
