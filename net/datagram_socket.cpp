#include "net/datagram_socket.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>

#include "infra/log.h"

namespace {

// The time from the datagram's receive time (its SCM_TIMESTAMPNS) to now, 0 without one.
std::uint32_t WaitedMicroseconds(const msghdr& message, const timespec& now) {
    for (const cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
         item = CMSG_NXTHDR(const_cast<msghdr*>(&message), const_cast<cmsghdr*>(item))) {
        if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec received{};
        std::memcpy(&received, CMSG_DATA(item), sizeof received);
        const std::int64_t waited = (std::int64_t{now.tv_sec} - received.tv_sec) * 1000000 +
                                    (std::int64_t{now.tv_nsec} - received.tv_nsec) / 1000;
        // A clock set back meanwhile gives nothing; one set forward is bounded by the caller.
        return static_cast<std::uint32_t>(
            std::clamp<std::int64_t>(waited, 0, std::numeric_limits<std::uint32_t>::max()));
    }
    return 0;
}

}  // namespace

std::size_t DatagramSocket::ReceiveMany(std::span<Received> batch, int& error) {
    std::size_t count = 0;
    for (Received& slot : batch) {
        int failure = 0;
        const long length = ReceiveFrom(slot.buffer, &slot.sender, failure);
        if (length < 0) {
            if (count == 0) error = failure;
            break;
        }
        slot.length = static_cast<std::size_t>(length);
        slot.waitedMicroseconds = 0;  // not known one by one
        ++count;
    }
    return count;
}

UdpSocket::~UdpSocket() {
    if (fd_ >= 0) ::close(fd_);
}

DatagramSocket::OpenResult UdpSocket::Open(const SocketAddress& local) {
    if (fd_ >= 0) return {};
    const int family = local.Family() == AddressFamily::Ipv6 ? AF_INET6 : AF_INET;
    fd_ = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return {OpenStep::Create, errno};

    int size = kReceiveBufferBytes;
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0)
        Log(1, "Cannot enlarge the socket receive buffer (errno %d)", errno);

    // Each datagram's receive time, so a reply's latency leaves out how long it waited for the
    // process to read it; without it the time read stands.
    const int on = 1;
    if (::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0)
        Log(2, "No receive times on the socket (errno %d)", errno);

    const SocketAddress bound = local.Family() == AddressFamily::None ? SocketAddress::Any(AddressFamily::Ipv4) : local;
    if (::bind(fd_, bound.Raw(), bound.RawLength()) != 0) return {OpenStep::Bind, errno};
    return {};
}

bool UdpSocket::SendTo(std::span<const std::uint8_t> datagram, const SocketAddress& to, int& error) {
    for (;;) {
        const ssize_t sent = ::sendto(fd_, datagram.data(), datagram.size(), 0, to.Raw(), to.RawLength());
        if (sent >= 0) return true;
        if (errno != EINTR) break;
    }
    error = errno;
    return false;
}

long UdpSocket::ReceiveFrom(std::span<std::uint8_t> buffer, SocketAddress* sender, int& error) {
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received =
        ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0) {
        error = errno;
    } else if (sender != nullptr) {
        *sender = SocketAddress::FromRaw(reinterpret_cast<const sockaddr*>(&from), fromLength);
    }
    return static_cast<long>(received);
}

SocketAddress UdpSocket::LocalAddress() const {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return {};
    return SocketAddress::FromRaw(reinterpret_cast<const sockaddr*>(&local), length);
}

std::size_t UdpSocket::ReceiveMany(std::span<Received> batch, int& error) {
    if (batch.empty()) return 0;
    if (headers_.size() < batch.size()) {
        headers_.resize(batch.size());
        vectors_.resize(batch.size());
        senders_.resize(batch.size());
        controls_.resize(batch.size());
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
        vectors_[i] = iovec{batch[i].buffer.data(), batch[i].buffer.size()};
        headers_[i] = mmsghdr{};
        headers_[i].msg_hdr.msg_iov = &vectors_[i];
        headers_[i].msg_hdr.msg_iovlen = 1;
        headers_[i].msg_hdr.msg_name = &senders_[i];
        headers_[i].msg_hdr.msg_namelen = sizeof senders_[i];
        headers_[i].msg_hdr.msg_control = controls_[i].room;
        headers_[i].msg_hdr.msg_controllen = sizeof controls_[i].room;
    }
    int received = 0;
    do {
        received = ::recvmmsg(fd_, headers_.data(), static_cast<unsigned>(batch.size()), MSG_DONTWAIT, nullptr);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        error = errno;
        return 0;
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);  // the clock the receive times are on
    for (int i = 0; i < received; ++i) {
        Received& slot = batch[static_cast<std::size_t>(i)];
        slot.waitedMicroseconds = WaitedMicroseconds(headers_[i].msg_hdr, now);
        slot.length = std::min<std::size_t>(headers_[i].msg_len, slot.buffer.size());
        slot.sender = SocketAddress::FromRaw(reinterpret_cast<const sockaddr*>(&senders_[i]),
                                             headers_[i].msg_hdr.msg_namelen);
    }
    return static_cast<std::size_t>(received);
}
