// Where Request Authenticators come from. RFC 2865 section 3 asks for them to be
// unpredictable and unique over the lifetime of a secret, so the real source is OpenSSL's
// cryptographic generator; tests inject a fixed sequence.
#pragma once

#include <cstddef>
#include <cstdint>

class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void Fill(std::uint8_t* out, std::size_t count) = 0;
};

// RAND_bytes; should that ever fail, std::random_device fills in (and the failure is logged).
class CryptoRandomSource : public RandomSource {
public:
    void Fill(std::uint8_t* out, std::size_t count) override;
    static CryptoRandomSource& Instance();
};
