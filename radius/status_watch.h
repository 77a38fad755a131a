// Status-Server (RFC 5997) during a run ("StatusServerInterval"): every interval one probe to
// the server's authentication port from a socket of its own, so the sessions' identifiers are
// untouched. A probe unanswered within the time-out makes the server silent, told once in a
// result line; the next answer tells that it answers again. Moved like the engine: Tick()
// every 100 ms, OnReadable() when its socket has data.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/datagram_socket.h"
#include "net/socket_address.h"
#include "radius/packet_builder.h"

class Clock;
class RandomSource;

class StatusWatch {
public:
    using Report = std::function<void(const char* line)>;
    struct Settings {
        SocketAddress bind;     // where the socket binds (the engine's BindAddress())
        SocketAddress server;   // the authentication port's address
        std::string secret;
        std::uint32_t intervalMs = 0;
        std::uint32_t timeoutMs = 0;
    };

    StatusWatch(const Clock& clock, RandomSource& random, std::unique_ptr<DatagramSocket> socket);

    // Opens the socket; false with errno in error. The first probe goes out at the first Tick.
    bool Start(const Settings& settings, Report report, int& error);
    int Fd() const { return socket_->Fd(); }
    void Tick();
    void OnReadable();
    bool Silent() const { return silent_; }
    bool Awaiting() const { return awaiting_; }

private:
    void Send();
    void Tell(const char* what);

    const Clock& clock_;
    RandomSource& random_;
    std::unique_ptr<DatagramSocket> socket_;
    Settings settings_;
    Report report_;
    bool started_ = false;
    bool awaiting_ = false;     // a probe is out, its time-out not yet passed
    bool silent_ = false;       // the last probe went unanswered
    bool sentOnce_ = false;
    std::uint32_t sentAt_ = 0;  // tick count of the last probe
    std::uint8_t id_ = 0;
    Authenticator requestAuthenticator_{};
};
