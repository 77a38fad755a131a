// An IPv4 or IPv6 address with a port, held as the socket calls take and give it. Numeric
// texts are read and written here; host names are looked up by Resolve.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class AddressFamily { None, Ipv4, Ipv6 };

class SocketAddress {
public:
    // No address at all (family None).
    SocketAddress() = default;
    // An IPv4 address in host byte order (the first number of its text most significant).
    static SocketAddress Ipv4(std::uint32_t address, std::uint16_t port);
    // The wildcard address of the family: 0.0.0.0 or ::.
    static SocketAddress Any(AddressFamily family, std::uint16_t port = 0);
    // A numeric address: a dotted quad, or an IPv6 address bare or in brackets ("[::1]",
    // "fe80::1%lo" with its zone). nullopt for anything else, host names included.
    static std::optional<SocketAddress> Parse(std::string_view text, std::uint16_t port = 0);
    // A numeric text as Parse reads it (never looked up), else a host name looked up with
    // getaddrinfo: its first address of the family (None: of either). nullopt when there is none.
    static std::optional<SocketAddress> Resolve(const std::string& host, std::uint16_t port,
                                                AddressFamily family = AddressFamily::None);
    // What the kernel gave (recvfrom, getsockname); family None for other kinds of address.
    static SocketAddress FromRaw(const sockaddr* raw, socklen_t length);

    AddressFamily Family() const;
    std::uint16_t Port() const;
    SocketAddress WithPort(std::uint16_t port) const;
    // The IPv4 address in host byte order; 0 for IPv6 and none.
    std::uint32_t Ipv4Address() const;

    // "192.0.2.1", "2001:db8::1"; empty for none.
    std::string FormatAddress() const;
    // "192.0.2.1:1812", "[2001:db8::1]:1812"; empty for none.
    std::string Format() const;

    const sockaddr* Raw() const { return &raw_.any; }
    socklen_t RawLength() const;

    bool operator==(const SocketAddress& other) const;

private:
    // The largest first: {} zeroes the first member only.
    union RawAddress {
        sockaddr_in6 v6;
        sockaddr_in v4;
        sockaddr any;
    } raw_{};
};

// The port of a service in the services database (/etc/services), host byte order; 0 when
// there is none.
std::uint16_t LookupServicePort(const char* service, const char* protocol);
