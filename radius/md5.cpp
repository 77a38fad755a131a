#include "radius/md5.h"

#include <openssl/evp.h>

#include <memory>

namespace {

// The algorithm is looked up once: OpenSSL 3 would otherwise fetch it anew for every digest,
// which costs more than hashing a packet.
const EVP_MD* Md5Algorithm() {
    static const EVP_MD* const algorithm = [] {
        const EVP_MD* fetched = EVP_MD_fetch(nullptr, "MD5", nullptr);
        return fetched != nullptr ? fetched : EVP_md5();
    }();
    return algorithm;
}

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using ContextPointer = std::unique_ptr<EVP_MD_CTX, ContextFree>;

// One context per thread, reinitialised for every digest instead of allocated. exit() destroys
// a thread's objects before it runs the atexit handlers, and the interactive program's
// shutdown (its accounting stops) runs in one: the owner marks its end in a plain flag, which
// outlives it, and a digest after that makes a context of its own.
thread_local bool threadContextGone = false;

struct ThreadContextOwner {
    ~ThreadContextOwner() { threadContextGone = true; }
    const ContextPointer context{EVP_MD_CTX_new()};
};

// Null once the thread's context is gone.
EVP_MD_CTX* ReusableContext() {
    if (threadContextGone) return nullptr;
    thread_local const ThreadContextOwner owner;
    return owner.context.get();
}

}  // namespace

Md5Digest Md5(std::initializer_list<std::span<const std::uint8_t>> parts) {
    Md5Digest digest{};
    ContextPointer own;
    EVP_MD_CTX* context = ReusableContext();
    if (context == nullptr) {
        own.reset(EVP_MD_CTX_new());
        context = own.get();
    }
    unsigned int length = 0;
    bool ok = context != nullptr && EVP_DigestInit_ex(context, Md5Algorithm(), nullptr) == 1;
    for (auto part : parts)
        if (ok && !part.empty()) ok = EVP_DigestUpdate(context, part.data(), part.size()) == 1;
    // A failure leaves an all-zero digest: requests then go out with a wrong authenticator and
    // replies fail verification, which is logged; nothing is read or written out of bounds.
    if (ok) EVP_DigestFinal_ex(context, digest.data(), &length);
    return digest;
}

void LoadMd5() { Md5Algorithm(); }
