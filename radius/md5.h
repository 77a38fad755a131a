// MD5 (RFC 1321) over a sequence of byte ranges, through OpenSSL's EVP interface.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

using Md5Digest = std::array<std::uint8_t, 16>;

// The digest of the ranges taken one after the other, as if they were one buffer.
Md5Digest Md5(std::initializer_list<std::span<const std::uint8_t>> parts);

// Loads the algorithm, and with it OpenSSL, now. OpenSSL cleans up in an atexit handler of
// its own: a handler registered after this call that makes digests runs before that clean-up.
void LoadMd5();
