#include "radius/md5.h"

#include <openssl/evp.h>

#include <memory>

Md5Digest Md5(std::initializer_list<std::span<const std::uint8_t>> parts) {
    Md5Digest digest{};
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    unsigned int length = 0;
    bool ok = context && EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) == 1;
    for (auto part : parts)
        if (ok && !part.empty()) ok = EVP_DigestUpdate(context.get(), part.data(), part.size()) == 1;
    // A failure leaves an all-zero digest: requests then go out with a wrong authenticator and
    // replies fail verification, which is logged; nothing is read or written out of bounds.
    if (ok) EVP_DigestFinal_ex(context.get(), digest.data(), &length);
    return digest;
}
