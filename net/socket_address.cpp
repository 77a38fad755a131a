#include "net/socket_address.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>

#include <cstring>

namespace {

// An IPv6 zone names an interface ("%eth0"): the address and the zone fit in this.
constexpr std::size_t kMaxNumericHostLength = INET6_ADDRSTRLEN + IF_NAMESIZE;

// The first address getaddrinfo gives for the text, of the family (AF_UNSPEC: either).
std::optional<SocketAddress> FirstAddressInfo(const std::string& text, int family, int flags) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    if (::getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
    SocketAddress address = SocketAddress::FromRaw(found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    if (address.Family() == AddressFamily::None) return std::nullopt;
    return address;
}

}  // namespace

SocketAddress SocketAddress::Ipv4(std::uint32_t address, std::uint16_t port) {
    SocketAddress result;
    result.raw_.v4.sin_family = AF_INET;
    result.raw_.v4.sin_addr.s_addr = htonl(address);
    result.raw_.v4.sin_port = htons(port);
    return result;
}

SocketAddress SocketAddress::Any(AddressFamily family, std::uint16_t port) {
    SocketAddress result;
    if (family == AddressFamily::Ipv4) return Ipv4(INADDR_ANY, port);
    if (family == AddressFamily::Ipv6) {
        result.raw_.v6.sin6_family = AF_INET6;
        result.raw_.v6.sin6_addr = in6addr_any;
        result.raw_.v6.sin6_port = htons(port);
    }
    return result;
}

std::optional<SocketAddress> SocketAddress::Parse(std::string_view text, std::uint16_t port) {
    // Brackets set an IPv6 address apart from a port that may follow it; they hold nothing else.
    const bool bracketed = text.size() >= 2 && text.front() == '[' && text.back() == ']';
    if (bracketed) text = text.substr(1, text.size() - 2);
    if (text.empty() || text.size() > kMaxNumericHostLength || text.find('\0') != std::string_view::npos)
        return std::nullopt;
    const std::string host(text);
    // Only the four dotted numbers: getaddrinfo would also take "127.1" and "0x7f.1".
    in_addr ipv4{};
    if (::inet_pton(AF_INET, host.c_str(), &ipv4) == 1)
        return bracketed ? std::nullopt : std::optional(Ipv4(ntohl(ipv4.s_addr), port));
    // getaddrinfo, unlike inet_pton, reads a zone into the scope.
    std::optional<SocketAddress> ipv6 = FirstAddressInfo(host, AF_INET6, AI_NUMERICHOST);
    if (!ipv6) return std::nullopt;
    return ipv6->WithPort(port);
}

std::optional<SocketAddress> SocketAddress::Resolve(const std::string& host, std::uint16_t port,
                                                    AddressFamily family) {
    std::optional<SocketAddress> found = Parse(host, port);
    if (!found) {
        const int wanted = family == AddressFamily::Ipv4   ? AF_INET
                           : family == AddressFamily::Ipv6 ? AF_INET6
                                                           : AF_UNSPEC;
        found = FirstAddressInfo(host, wanted, 0);
    }
    if (!found || (family != AddressFamily::None && found->Family() != family)) return std::nullopt;
    return found->WithPort(port);
}

SocketAddress SocketAddress::FromRaw(const sockaddr* raw, socklen_t length) {
    SocketAddress result;
    if (raw == nullptr) return result;
    if (raw->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        std::memcpy(&result.raw_.v4, raw, sizeof(sockaddr_in));
    } else if (raw->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        std::memcpy(&result.raw_.v6, raw, sizeof(sockaddr_in6));
    }
    return result;
}

AddressFamily SocketAddress::Family() const {
    switch (raw_.any.sa_family) {
        case AF_INET: return AddressFamily::Ipv4;
        case AF_INET6: return AddressFamily::Ipv6;
        default: return AddressFamily::None;
    }
}

std::uint16_t SocketAddress::Port() const {
    switch (Family()) {
        case AddressFamily::Ipv4: return ntohs(raw_.v4.sin_port);
        case AddressFamily::Ipv6: return ntohs(raw_.v6.sin6_port);
        case AddressFamily::None: break;
    }
    return 0;
}

SocketAddress SocketAddress::WithPort(std::uint16_t port) const {
    SocketAddress result = *this;
    if (Family() == AddressFamily::Ipv4) result.raw_.v4.sin_port = htons(port);
    if (Family() == AddressFamily::Ipv6) result.raw_.v6.sin6_port = htons(port);
    return result;
}

std::uint32_t SocketAddress::Ipv4Address() const {
    return Family() == AddressFamily::Ipv4 ? ntohl(raw_.v4.sin_addr.s_addr) : 0;
}

std::string SocketAddress::FormatAddress() const {
    if (Family() == AddressFamily::None) return {};
    char host[NI_MAXHOST];
    if (::getnameinfo(Raw(), RawLength(), host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) return {};
    return host;
}

std::string SocketAddress::Format() const {
    const std::string address = FormatAddress();
    if (address.empty()) return {};
    const std::string port = std::to_string(Port());
    return Family() == AddressFamily::Ipv6 ? "[" + address + "]:" + port : address + ":" + port;
}

socklen_t SocketAddress::RawLength() const {
    switch (Family()) {
        case AddressFamily::Ipv4: return sizeof(sockaddr_in);
        case AddressFamily::Ipv6: return sizeof(sockaddr_in6);
        case AddressFamily::None: break;
    }
    return 0;
}

bool SocketAddress::operator==(const SocketAddress& other) const {
    if (Family() != other.Family()) return false;
    switch (Family()) {
        case AddressFamily::Ipv4:
            return raw_.v4.sin_addr.s_addr == other.raw_.v4.sin_addr.s_addr &&
                   raw_.v4.sin_port == other.raw_.v4.sin_port;
        case AddressFamily::Ipv6:
            return std::memcmp(&raw_.v6.sin6_addr, &other.raw_.v6.sin6_addr, sizeof(in6_addr)) == 0 &&
                   raw_.v6.sin6_port == other.raw_.v6.sin6_port &&
                   raw_.v6.sin6_scope_id == other.raw_.v6.sin6_scope_id;
        case AddressFamily::None: break;
    }
    return true;
}

std::uint16_t LookupServicePort(const char* service, const char* protocol) {
    const servent* entry = ::getservbyname(service, protocol);
    return entry ? ntohs(static_cast<std::uint16_t>(entry->s_port)) : 0;
}
