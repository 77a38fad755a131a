#include "infra/bounded_string.h"

#include <cstring>

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

char* CopyBounded(char* destination, const char* source, std::size_t size) {
    return CopyBounded(destination, std::string_view(source != nullptr ? source : ""), size);
}

char* CopyBounded(char* destination, std::string_view source, std::size_t size) {
    if (size == 0) return destination;
    const std::size_t length = source.size() < size - 1 ? source.size() : size - 1;
    std::memmove(destination, source.data(), length);
    destination[length] = '\0';
    return destination;
}

char* AppendBounded(char* destination, const char* source, std::size_t size) {
    if (size == 0) return destination;
    const std::size_t used = strnlen(destination, size);
    if (used >= size - 1) {
        destination[size - 1] = '\0';
        return destination;
    }
    CopyBounded(destination + used, source, size - used);
    return destination;
}

bool EqualsNoCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i)
        if (LowerAscii(left[i]) != LowerAscii(right[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}
