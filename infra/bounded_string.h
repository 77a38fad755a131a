// Bounded copies into fixed-size character buffers, and ASCII case-insensitive comparison.
#pragma once

#include <cstddef>
#include <string_view>

// Copies at most size - 1 characters of source and terminates destination (nothing at all
// when size is 0). A null source copies as the empty string. Returns destination.
char* CopyBounded(char* destination, const char* source, std::size_t size);
// The same for a text that may hold any bytes.
char* CopyBounded(char* destination, std::string_view source, std::size_t size);

// Appends source to the string in destination so that the whole stays at most size - 1
// characters, always terminated; when destination already holds size - 1 characters or more
// nothing is appended. Returns destination.
char* AppendBounded(char* destination, const char* source, std::size_t size);

// True when the two texts are equal with ASCII letter case ignored.
bool EqualsNoCase(std::string_view left, std::string_view right);
// True when text begins with prefix, ASCII letter case ignored.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
