// Dotted-quad IPv4 text to and from a 32-bit address in host byte order
// (the first number of the text is the most significant byte).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr std::size_t kIpAddressTextSize = 16;  // "255.255.255.255" and its zero

// Exactly four groups of one to three decimal digits, each at most 255, separated by ".";
// after the fourth group the text may end or go on after a "." with anything.
// Any other text (and a null pointer) gives 0, the value of 0.0.0.0 as well.
std::uint32_t ParseIpAddress(const char* text);

// Writes "%u.%u.%u.%u", most significant byte first, into out (room for 16 characters).
void FormatIpAddress(char out[kIpAddressTextSize], std::uint32_t address);
std::string FormatIpAddress(std::uint32_t address);
