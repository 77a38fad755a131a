#include "protocol/ip_address.h"

#include <cstdio>

std::uint32_t ParseIpAddress(const char* text) {
    if (text == nullptr) return 0;
    std::uint32_t address = 0;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (*p == '.') return 0;  // empty group
        unsigned value = 0;
        int digits = 0;
        while (*p != '\0' && *p != '.') {
            if (*p < '0' || *p > '9' || digits == 3) return 0;
            value = value * 10 + static_cast<unsigned>(*p - '0');
            ++digits;
            ++p;
        }
        if (digits == 0 || value > 255) return 0;  // the text ended before this group
        address = (address << 8) | value;
        if (*p == '.') ++p;
        else if (part < 3) return 0;  // fewer than four groups
    }
    return address;  // whatever follows the fourth group's dot is not looked at
}

void FormatIpAddress(char out[kIpAddressTextSize], std::uint32_t address) {
    std::snprintf(out, kIpAddressTextSize, "%u.%u.%u.%u", (address >> 24) & 0xFFu, (address >> 16) & 0xFFu,
                  (address >> 8) & 0xFFu, address & 0xFFu);
}

std::string FormatIpAddress(std::uint32_t address) {
    char text[kIpAddressTextSize];
    FormatIpAddress(text, address);
    return text;
}
