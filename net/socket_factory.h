// Where the engine's sockets come from: the system, or the stand-ins a test hands in.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

#include "net/datagram_socket.h"
#include "net/tls_settings.h"

class SocketFactory {
public:
    virtual ~SocketFactory() = default;
    // A socket not yet open; null when no more can be had.
    virtual std::unique_ptr<DatagramSocket> MakeDatagramSocket() = 0;
    // A RADIUS over TLS connection to settings.server, not yet open; null when none can be had.
    virtual std::unique_ptr<DatagramSocket> MakeStreamSocket(const TlsSettings& settings) = 0;
    // Makes room for count more open descriptors where the process may have them; opening
    // beyond what it got fails as it would have.
    virtual void ReserveDescriptors(std::size_t count) { (void)count; }
};

// Non-blocking UDP sockets of the system.
class SystemSockets : public SocketFactory {
public:
    std::unique_ptr<DatagramSocket> MakeDatagramSocket() override;
    std::unique_ptr<DatagramSocket> MakeStreamSocket(const TlsSettings& settings) override;
    // Raises the soft limit of open descriptors towards the hard one when count more would not
    // fit under it (1,024 sockets do not fit under the usual soft limit of 1,024).
    void ReserveDescriptors(std::size_t count) override;
};

// The sockets given, handed out in their order, then none: a test or a benchmark stands in
// for the network with them.
class GivenSockets : public SocketFactory {
public:
    explicit GivenSockets(std::vector<std::unique_ptr<DatagramSocket>> sockets);
    explicit GivenSockets(std::unique_ptr<DatagramSocket> socket);
    std::unique_ptr<DatagramSocket> MakeDatagramSocket() override;
    // The next given socket stands for the connection.
    std::unique_ptr<DatagramSocket> MakeStreamSocket(const TlsSettings& settings) override;

private:
    std::deque<std::unique_ptr<DatagramSocket>> sockets_;
};
