#include "radius/random_source.h"

#include <openssl/rand.h>

#include <climits>
#include <random>

#include "infra/log.h"

void CryptoRandomSource::Fill(std::uint8_t* out, std::size_t count) {
    if (count == 0) return;
    if (count <= INT_MAX && RAND_bytes(out, static_cast<int>(count)) == 1) return;
    Log(1, "RAND_bytes failed; using the system's random device");
    std::random_device device;
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(device());
}

CryptoRandomSource& CryptoRandomSource::Instance() {
    static CryptoRandomSource instance;
    return instance;
}
