// MD5 against the test suite of RFC 1321 (appendix A.5), in pieces as well as whole, and a
// digest made while a thread ends, after its reusable context is gone, as the interactive
// program's shutdown at exit() makes them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "radius/md5.h"

namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Hex(const Md5Digest& digest) {
    std::string text;
    char pair[3];
    for (const std::uint8_t octet : digest) {
        std::snprintf(pair, sizeof pair, "%02x", octet);
        text += pair;
    }
    return text;
}

// Made before the thread's first digest, so it is destroyed after the digest's context.
struct DigestAtThreadEnd {
    ~DigestAtThreadEnd() { *result = Hex(Md5({Bytes("abc")})); }
    std::string* result = nullptr;
};

}  // namespace

TEST(Md5, Rfc1321TestSuite) {
    const struct {
        std::string_view message;
        const char* digest;
    } rows[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.message));
        EXPECT_EQ(Hex(Md5({Bytes(row.message)})), row.digest);
        const std::size_t half = row.message.size() / 2;
        EXPECT_EQ(Hex(Md5({Bytes(row.message.substr(0, half)), {}, Bytes(row.message.substr(half))})), row.digest);
    }
}

TEST(Md5, ADigestAfterTheThreadsContextIsGone) {
    std::string atEnd;
    std::thread([&atEnd] {
        thread_local DigestAtThreadEnd last;
        last.result = &atEnd;
        EXPECT_EQ(Hex(Md5({Bytes("abc")})), "900150983cd24fb0d6963f7d28e17f72");
    }).join();
    EXPECT_EQ(atEnd, "900150983cd24fb0d6963f7d28e17f72");
}
