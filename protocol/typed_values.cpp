#include "protocol/typed_values.h"

#include <arpa/inet.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <limits>

#include "infra/bounded_string.h"
#include "infra/number_text.h"

namespace {

struct TypeName {
    const char* text;
    ValueType type;
};

// The FreeRADIUS v3 type names this program reads. abinary is sent as octets; vsa (the type of
// Vendor-Specific itself) carries raw octets.
constexpr TypeName kTypeNames[] = {
    {"string", ValueType::String},         {"octets", ValueType::Octets},
    {"abinary", ValueType::Octets},        {"vsa", ValueType::Octets},
    {"integer", ValueType::Integer},       {"byte", ValueType::Byte},
    {"short", ValueType::Short},           {"signed", ValueType::Signed},
    {"integer64", ValueType::Integer64},   {"date", ValueType::Date},
    {"ipaddr", ValueType::IpAddr},         {"ipv6addr", ValueType::Ipv6Addr},
    {"ipv6prefix", ValueType::Ipv6Prefix}, {"ipv4prefix", ValueType::Ipv4Prefix},
    {"ifid", ValueType::Ifid},             {"ether", ValueType::Ether},
    {"combo-ip", ValueType::ComboIp},      {"tlv", ValueType::Tlv},
    {"extended", ValueType::Extended},     {"long-extended", ValueType::LongExtended},
    {"evs", ValueType::Evs},
};

constexpr std::size_t kPrefixHeader = 2;  // reserved octet, prefix length

std::string Octets(const std::uint8_t* data, std::size_t count) {
    return std::string(reinterpret_cast<const char*>(data), count);
}

std::string BigEndian(std::uint64_t value, std::size_t size) {
    std::string octets(size, '\0');
    for (std::size_t i = size; i-- > 0; value >>= 8) octets[i] = static_cast<char>(value & 0xFF);
    return octets;
}

// One to maxDigits hex digits as a number; nullopt for anything else.
std::optional<unsigned> HexGroup(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

// Groups of hex digits split at any of the separators; nullopt unless there are exactly count.
std::optional<std::string> HexGroups(std::string_view text, std::string_view separators, std::size_t count,
                                     std::size_t digits, std::size_t octetsPerGroup) {
    std::string octets;
    for (std::size_t group = 0; group < count; ++group) {
        const std::size_t end = group + 1 < count ? text.find_first_of(separators) : text.size();
        if (end == std::string_view::npos) return std::nullopt;
        const std::optional<unsigned> value = HexGroup(text.substr(0, end), digits);
        if (!value) return std::nullopt;
        octets += BigEndian(*value, octetsPerGroup);
        text.remove_prefix(std::min(text.size(), end + 1));
    }
    return octets;
}

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> Address(int family, std::string_view text) {
    std::array<std::uint8_t, N> address{};
    const std::string terminated(text);
    if (inet_pton(family, terminated.c_str(), address.data()) != 1) return std::nullopt;
    return address;
}

// address/length with the bits beyond the length cleared (RFC 3162 section 2.3 and RFC 6572
// section 3: bits outside the prefix length are zero); without "/length" the whole address.
template <std::size_t N>
std::optional<std::string> Prefix(int family, std::string_view text) {
    constexpr unsigned kBits = N * 8;
    const std::size_t slash = text.find('/');
    unsigned length = kBits;
    if (slash != std::string_view::npos) {
        const std::optional<Number> number = ParseNumber(text.substr(slash + 1));
        if (!number || number->negative || number->magnitude > kBits) return std::nullopt;
        length = static_cast<unsigned>(number->magnitude);
    }
    std::optional<std::array<std::uint8_t, N>> address = Address<N>(family, text.substr(0, slash));
    if (!address) return std::nullopt;
    for (unsigned bit = length; bit < kBits; ++bit)
        (*address)[bit / 8] &= static_cast<std::uint8_t>(~(0x80u >> (bit % 8)));
    return std::string{'\0', static_cast<char>(length)} + Octets(address->data(), N);
}

std::optional<std::string> Date(std::string_view text) {
    if (std::optional<Number> seconds = ParseNumber(text)) return NumberOctets(ValueType::Date, *seconds);
    std::tm utc{};
    char zone = 0;
    char rest = 0;
    const std::string terminated(text);
    if (std::sscanf(terminated.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%c", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                    &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &zone, &rest) != 7 ||
        zone != 'Z')
        return std::nullopt;
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    const std::time_t seconds = timegm(&utc);
    if (seconds < 0) return std::nullopt;
    return NumberOctets(ValueType::Date, Number{static_cast<std::uint64_t>(seconds), false});
}

std::string FormatAddress(int family, const std::uint8_t* address) {
    char text[INET6_ADDRSTRLEN] = {};
    return inet_ntop(family, address, text, sizeof text) ? text : std::string();
}

std::string FormatDate(std::uint64_t seconds) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string FormatNumber(ValueType type, std::uint64_t raw) {
    if (type == ValueType::Signed) return std::to_string(static_cast<std::int32_t>(raw));
    if (type == ValueType::Date) return FormatDate(raw);
    return std::to_string(raw);
}

// An IPv4 or IPv6 prefix: reserved octet, length, then up to the whole address.
std::string FormatPrefix(int family, std::size_t addressSize, std::span<const std::uint8_t> octets) {
    std::array<std::uint8_t, 16> address{};
    const unsigned length = octets.size() >= kPrefixHeader ? octets[1] : 0;
    if (octets.size() < kPrefixHeader || octets.size() > kPrefixHeader + addressSize || length > addressSize * 8)
        return HexText(octets);
    std::copy(octets.begin() + kPrefixHeader, octets.end(), address.begin());
    return FormatAddress(family, address.data()) + "/" + std::to_string(length);
}

}  // namespace

std::optional<ValueType> FreeRadiusTypeFromText(std::string_view text) {
    for (const TypeName& name : kTypeNames)
        if (EqualsNoCase(text, name.text)) return name.type;
    return std::nullopt;
}

const char* FreeRadiusTypeName(ValueType type) {
    for (const TypeName& name : kTypeNames)
        if (name.type == type) return name.text;
    return "complex";
}

std::size_t FixedValueSize(ValueType type) {
    switch (type) {
        case ValueType::Byte: return 1;
        case ValueType::Short: return 2;
        case ValueType::Integer:
        case ValueType::Signed:
        case ValueType::Date:
        case ValueType::IpAddr: return 4;
        case ValueType::Ether: return 6;
        case ValueType::Ipv4Prefix: return 6;
        case ValueType::Integer64:
        case ValueType::Ifid: return 8;
        case ValueType::Ipv6Addr: return 16;
        default: return 0;
    }
}

bool IsNumberType(ValueType type) {
    switch (type) {
        case ValueType::Byte:
        case ValueType::Short:
        case ValueType::Integer:
        case ValueType::Signed:
        case ValueType::Integer64: return true;
        default: return false;
    }
}

std::optional<Number> ParseNumber(std::string_view text) {
    Number number;
    if (!text.empty() && text[0] == '-') {
        number.negative = true;
        text.remove_prefix(1);
    }
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    const unsigned base = hex ? 16 : 10;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
        if (number.magnitude > (std::numeric_limits<std::uint64_t>::max() - static_cast<unsigned>(digit)) / base)
            return std::nullopt;
        number.magnitude = number.magnitude * base + static_cast<unsigned>(digit);
    }
    return number;
}

std::optional<std::string> NumberOctets(ValueType type, Number number) {
    if (type == ValueType::Signed) {
        constexpr std::uint64_t kLimit = std::uint64_t{1} << 31;
        if (number.magnitude > (number.negative ? kLimit : kLimit - 1)) return std::nullopt;
        const std::uint64_t raw = number.negative ? (std::uint64_t{1} << 32) - number.magnitude : number.magnitude;
        return BigEndian(raw & 0xFFFFFFFFu, 4);
    }
    const std::size_t size = type == ValueType::Date ? 4 : FixedValueSize(type);
    if (!IsNumberType(type) && type != ValueType::Date) return std::nullopt;
    if (number.negative && number.magnitude != 0) return std::nullopt;
    if (size < 8 && number.magnitude >> (size * 8) != 0) return std::nullopt;
    return BigEndian(number.magnitude, size);
}

std::optional<std::string> ParseTypedValue(ValueType type, std::string_view text) {
    switch (type) {
        case ValueType::Byte:
        case ValueType::Short:
        case ValueType::Integer:
        case ValueType::Signed:
        case ValueType::Integer64:
            if (std::optional<Number> number = ParseNumber(text)) return NumberOctets(type, *number);
            return std::nullopt;
        case ValueType::Date:
            return Date(text);
        case ValueType::IpAddr:
            if (auto address = Address<4>(AF_INET, text)) return Octets(address->data(), 4);
            return std::nullopt;
        case ValueType::Ipv6Addr:
            if (auto address = Address<16>(AF_INET6, text)) return Octets(address->data(), 16);
            return std::nullopt;
        case ValueType::ComboIp:
            if (auto address = Address<4>(AF_INET, text)) return Octets(address->data(), 4);
            if (auto address = Address<16>(AF_INET6, text)) return Octets(address->data(), 16);
            return std::nullopt;
        case ValueType::Ipv4Prefix:
            return Prefix<4>(AF_INET, text);
        case ValueType::Ipv6Prefix:
            return Prefix<16>(AF_INET6, text);
        case ValueType::Ifid:
            return HexGroups(text, ":", 4, 4, 2);
        case ValueType::Ether:
            return HexGroups(text, ":-", 6, 2, 1);
        default:
            return std::nullopt;
    }
}

std::optional<std::uint64_t> ReadNumber(ValueType type, std::span<const std::uint8_t> octets) {
    const std::size_t size = type == ValueType::Date ? 4 : FixedValueSize(type);
    if (size == 0 || octets.size() != size) return std::nullopt;
    std::uint64_t value = 0;
    for (std::uint8_t octet : octets) value = (value << 8) | octet;
    return value;
}

std::string FormatTypedValue(ValueType type, std::span<const std::uint8_t> octets) {
    if (IsNumberType(type) || type == ValueType::Date) {
        if (std::optional<std::uint64_t> raw = ReadNumber(type, octets)) return FormatNumber(type, *raw);
        return HexText(octets);
    }
    const bool sized = FixedValueSize(type) == 0 || octets.size() == FixedValueSize(type);
    switch (type) {
        case ValueType::IpAddr:
            if (sized) return FormatAddress(AF_INET, octets.data());
            break;
        case ValueType::Ipv6Addr:
            if (sized) return FormatAddress(AF_INET6, octets.data());
            break;
        case ValueType::ComboIp:
            if (octets.size() == 4) return FormatAddress(AF_INET, octets.data());
            if (octets.size() == 16) return FormatAddress(AF_INET6, octets.data());
            break;
        case ValueType::Ipv4Prefix:
            if (sized) return FormatPrefix(AF_INET, 4, octets);
            break;
        case ValueType::Ipv6Prefix:
            return FormatPrefix(AF_INET6, 16, octets);
        case ValueType::Ifid:
            if (sized) {
                char text[24];
                std::snprintf(text, sizeof text, "%x:%x:%x:%x", (octets[0] << 8) | octets[1],
                              (octets[2] << 8) | octets[3], (octets[4] << 8) | octets[5], (octets[6] << 8) | octets[7]);
                return text;
            }
            break;
        case ValueType::Ether:
            if (sized) {
                char text[18];
                std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", octets[0], octets[1], octets[2],
                              octets[3], octets[4], octets[5]);
                return text;
            }
            break;
        default:
            break;
    }
    return HexText(octets);
}

std::string HexText(std::span<const std::uint8_t> octets) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    text.reserve(2 + 2 * octets.size());
    for (std::uint8_t octet : octets) {
        text.push_back(kDigits[octet >> 4]);
        text.push_back(kDigits[octet & 0x0F]);
    }
    return text;
}
