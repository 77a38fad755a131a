// A channel that is one RADIUS over TLS connection (RFC 6614): packets written to the stream,
// replies cut from it by their Length field. It stands where a UDP socket stands, so the engine
// sends and receives on it alike; the destination of a send is the connection's server.
// A dropped connection is made anew with a growing back-off. Requests sent meanwhile wait and
// go out once it is up; those written but unanswered when it dropped go once more on the new
// one, and no further.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/datagram_socket.h"
#include "net/length_framer.h"
#include "net/tls_connection.h"
#include "net/tls_settings.h"

class Clock;

class TlsChannel : public DatagramSocket {
public:
    static constexpr std::uint32_t kOpenTimeoutMs = 10000;  // to connect and shake hands
    static constexpr std::uint32_t kFirstBackoffMs = 1000;
    static constexpr std::uint32_t kMaxBackoffMs = 30000;

    explicit TlsChannel(TlsSettings settings);
    ~TlsChannel() override;

    // Connects and shakes hands, waiting up to kOpenTimeoutMs: a server that cannot be reached
    // or trusted fails the start with the reason.
    OpenResult Open(const SocketAddress& local) override;
    int Fd() const override { return connection_ ? connection_->Fd() : -1; }
    // Writes the packet, or keeps it until the connection is up. to is not used.
    bool SendTo(std::span<const std::uint8_t> packet, const SocketAddress& to, int& error) override;
    long ReceiveFrom(std::span<std::uint8_t> buffer, SocketAddress* sender, int& error) override;
    std::size_t ReceiveMany(std::span<Received> batch, int& error) override;

    std::string OpenProblem() const override { return problem_; }
    bool Reliable() const override { return true; }
    void Service() override;
    bool HasBuffered() const override;
    void SetDescriptorChanged(DescriptorChanged changed) override { descriptorChanged_ = std::move(changed); }

private:
    struct Outgoing {
        std::vector<std::uint8_t> packet;
        bool resent = false;  // already carried over from a dropped connection
    };

    bool Up() const { return connection_ && connection_->Current() == TlsConnection::Step::Up; }
    std::uint32_t Now() const;
    // Makes a new connection; false when it failed at once.
    bool Connect();
    // After the handshake: what waits goes out.
    void Connected();
    // The connection is gone: why, and the next attempt's time.
    void Drop(std::string reason);
    // Writes what waits, as far as the socket takes it.
    void Flush();
    // Advances a connection still connecting or shaking hands.
    void Progress();

    TlsSettings settings_;
    SocketAddress local_;
    SslContext context_;
    std::unique_ptr<TlsConnection> connection_;
    DescriptorChanged descriptorChanged_;
    std::string problem_;

    LengthFramer framer_;
    std::deque<Outgoing> waiting_;  // not yet written on this connection
    std::size_t written_ = 0;       // octets of waiting_.front() written already
    // Written on this connection and unanswered, by identifier.
    std::map<std::uint8_t, Outgoing> inFlight_;

    bool open_ = false;  // Open succeeded once; from then on the channel reconnects by itself
    bool wasUp_ = false;  // the connection in hand had shaken hands
    std::uint32_t backoffMs_ = kFirstBackoffMs;
    std::uint32_t nextAttempt_ = 0;
    std::uint32_t attemptStart_ = 0;  // when the connection being made was started
};
