// Attribute values that travel hidden: the dictionary says which, the packet builder hides them,
// since only it knows the secret and the Request Authenticator of the packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/byte_span.h"

enum class ValueHiding : std::uint8_t {
    None = 0,
    UserPassword = 1,    // RFC 2865 section 5.2 (encrypt=1)
    TunnelPassword = 2,  // RFC 2868 section 3.5, with a salt (encrypt=2)
};

// The octets a value of plainLength octets takes once hidden: RFC 2865 section 5.2 pads it to
// a multiple of 16 octets (at least 16); RFC 2868 section 3.5 puts a length octet before it, pads
// that to a multiple of 16 and puts the 2-octet salt in front.
std::size_t HiddenLength(ValueHiding hiding, std::size_t plainLength);

class ValueHider {
public:
    virtual ~ValueHider() = default;
    // Writes the hidden form of the plain value (HiddenLength octets). False, with the writer
    // failed or nothing written, when it does not fit.
    virtual bool Hide(ValueHiding hiding, std::span<const std::uint8_t> plain, ByteWriter& out) = 0;
};

// Writes zero octets of the hidden length: for measuring packets before they are built.
class PlaceholderHider : public ValueHider {
public:
    bool Hide(ValueHiding hiding, std::span<const std::uint8_t> plain, ByteWriter& out) override;
};
