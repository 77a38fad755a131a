#include "net/route_source.h"

#include <sys/socket.h>
#include <unistd.h>

std::optional<SocketAddress> SourceAddressToward(const SocketAddress& destination) {
    const int family = destination.Family() == AddressFamily::Ipv6 ? AF_INET6 : AF_INET;
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    std::optional<SocketAddress> source;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::connect(fd, destination.Raw(), destination.RawLength()) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0)
        source = SocketAddress::FromRaw(reinterpret_cast<const sockaddr*>(&local), length).WithPort(0);
    ::close(fd);
    return source;
}
