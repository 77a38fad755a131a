// A bare UDP client on 127.0.0.1 for the responder's own tests: builds requests with the
// responder's wire code and waits, bounded, for datagrams.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/responder/radius_wire.h"

namespace responder {

class TestClient {
public:
    TestClient() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ >= 0) ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~TestClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Send(const Bytes& datagram, std::uint16_t port) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
               static_cast<ssize_t>(datagram.size());
    }

    // The next datagram, or nothing within the time.
    std::optional<Bytes> Receive(std::chrono::milliseconds within = std::chrono::milliseconds(2000)) const {
        pollfd fds{fd_, POLLIN, 0};
        if (::poll(&fds, 1, static_cast<int>(within.count())) != 1) return std::nullopt;
        Bytes buffer(65536);
        const ssize_t received = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (received < 0) return std::nullopt;
        buffer.resize(static_cast<std::size_t>(received));
        return buffer;
    }

private:
    int fd_ = -1;
};

inline Authenticator SomeAuthenticator(std::uint8_t seed) {
    Authenticator authenticator;
    for (std::size_t i = 0; i < authenticator.size(); ++i) authenticator[i] = static_cast<std::uint8_t>(seed * 31 + i);
    return authenticator;
}

inline Bytes AccessRequest(std::uint8_t identifier, const std::string& user, const std::string& password,
                           const std::string& secret = "MeadowLantern", std::vector<WireAttribute> extra = {}) {
    WirePacket packet;
    packet.code = kAccessRequest;
    packet.identifier = identifier;
    packet.authenticator = SomeAuthenticator(identifier);
    packet.attributes.push_back(WireAttribute::Text(kUserName, user));
    packet.attributes.push_back({kUserPassword, HidePassword(password, secret, packet.authenticator)});
    for (auto& attribute : extra) packet.attributes.push_back(std::move(attribute));
    return EncodePacket(packet);
}

// Status 1 Start, 2 Stop; the RFC 2866 authenticator with the secret.
inline Bytes AccountingRequest(std::uint8_t identifier, const std::string& user, std::uint32_t status,
                               const std::string& secret = "MeadowLantern") {
    WirePacket packet;
    packet.code = kAccountingRequest;
    packet.identifier = identifier;
    packet.attributes = {WireAttribute::Text(kAcctSessionId, "1"), WireAttribute::Integer(kAcctStatusType, status),
                         WireAttribute::Text(kUserName, user), WireAttribute::Integer(kNasPort, 1)};
    Bytes datagram = EncodePacket(packet);
    PutAuthenticator(datagram, AccountingRequestAuthenticator(datagram, secret));
    return datagram;
}

inline Authenticator AuthenticatorOf(const Bytes& datagram) {
    Authenticator authenticator{};
    if (datagram.size() >= kHeaderLength) std::copy(datagram.begin() + 4, datagram.begin() + 20, authenticator.begin());
    return authenticator;
}

// Whether a reply carries the Response Authenticator for the request under the secret,
// computed over the octets its Length field names.
inline bool IsAuthentic(const Bytes& reply, const Bytes& request, const std::string& secret = "MeadowLantern") {
    if (reply.size() < kHeaderLength) return false;
    const std::size_t length = std::size_t{reply[2]} << 8 | reply[3];
    if (length > reply.size()) return false;
    const Bytes packet(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(length));
    return ResponseAuthenticator(packet, AuthenticatorOf(request), secret) == AuthenticatorOf(reply);
}

}  // namespace responder
