// Reading numbers out of text the lenient way the system's files are read.
#pragma once

#include <cstdint>
#include <string_view>

// The value of one hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);

// Leading blanks, an optional sign, then decimal digits up to the first non-digit; no digits
// gives 0. The value wraps like a 32-bit register instead of overflowing.
std::int32_t LeadingInteger(std::string_view text);

// A command line's whole number: decimal digits and nothing else, from 1 to limit.
bool ParseWholeNumber(const char* text, std::uint64_t limit, std::uint64_t& value);
