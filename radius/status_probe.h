// One Status-Server (RFC 5997) and the wait for its answer, on a socket, a clock and a wait of
// the caller's: pelvok --probe asks the authentication and the accounting port with it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/datagram_socket.h"
#include "net/socket_address.h"

class RandomSource;

class StatusProbe {
public:
    // Microseconds from an arbitrary start.
    using MicroClock = std::function<std::uint64_t()>;
    // Waits at most the milliseconds for the descriptor to have something to read; false when
    // it has nothing after them.
    using WaitReadable = std::function<bool(int fd, std::uint32_t milliseconds)>;

    enum class Outcome { Answered, NoAnswer, WrongResponseAuthenticator, WrongMessageAuthenticator, SendFailed };
    struct Result {
        Outcome outcome = Outcome::NoAnswer;
        std::uint8_t replyCode = 0;            // Answered
        std::uint64_t roundTripMicroseconds = 0;  // Answered
        int error = 0;                         // SendFailed: errno
    };

    StatusProbe(DatagramSocket& socket, RandomSource& random, MicroClock clock, WaitReadable wait);

    // Sends a Status-Server under the identifier to server and waits at most timeoutMs for the
    // answer. Datagrams from elsewhere, malformed ones and answers to other identifiers are
    // passed over.
    Result Ask(const SocketAddress& server, std::string_view secret, std::uint8_t id, std::uint32_t timeoutMs);

private:
    DatagramSocket& socket_;
    RandomSource& random_;
    MicroClock clock_;
    WaitReadable wait_;
};

// "Status-Server to 127.0.0.1:1812: Access-Accept in 0.214 ms", "...: no answer within 5 s".
std::string DescribeProbe(const SocketAddress& server, const StatusProbe::Result& result, std::uint32_t timeoutMs);
