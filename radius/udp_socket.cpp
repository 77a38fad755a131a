#include "radius/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "infra/log.h"

UdpSocket::~UdpSocket() {
    if (fd_ >= 0) ::close(fd_);
}

DatagramSocket::OpenResult UdpSocket::Open() {
    if (fd_ >= 0) return {};
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return {OpenStep::Create, errno};

    int size = kReceiveBufferBytes;
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0)
        Log(1, "Cannot enlarge the socket receive buffer (errno %d)", errno);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return {OpenStep::Bind, errno};
    return {};
}

bool UdpSocket::SendTo(std::span<const std::uint8_t> datagram, std::uint32_t address, std::uint16_t port,
                       int& error) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = htonl(address);
    destination.sin_port = htons(port);
    for (;;) {
        const ssize_t sent = ::sendto(fd_, datagram.data(), datagram.size(), 0,
                                      reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
        if (sent >= 0) return true;
        if (errno != EINTR) break;
    }
    error = errno;
    return false;
}

long UdpSocket::ReceiveFrom(std::span<std::uint8_t> buffer, int& error) {
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    const ssize_t received = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&sender),
                                        &senderLength);
    if (received < 0) error = errno;
    return static_cast<long>(received);
}

std::uint16_t UdpSocket::LookupServicePort(const char* service, const char* protocol) {
    const servent* entry = ::getservbyname(service, protocol);
    return entry ? ntohs(static_cast<std::uint16_t>(entry->s_port)) : 0;
}
