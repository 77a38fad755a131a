// One TLS connection over TCP, non-blocking: connect, handshake with the server's certificate
// verified, then write and read octets. The steps move on when the descriptor is ready.
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "net/tls_settings.h"

struct SslContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using SslContext = std::unique_ptr<SSL_CTX, SslContextFree>;

// A client context: TLS 1.2 at least, the server verified against settings.ca, the client's
// certificate and key loaded when given. Null with the reason in problem.
SslContext MakeClientContext(const TlsSettings& settings, std::string& problem);

class TlsConnection {
public:
    enum class Step { Connecting, Handshaking, Up, Failed };

    TlsConnection() = default;
    ~TlsConnection();
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    // Starts connecting from local (family None: the system's choice) to settings.server.
    Step Start(SSL_CTX* context, const TlsSettings& settings, const SocketAddress& local);
    // Moves the connect or the handshake on as far as it goes without waiting.
    Step Advance();
    Step Current() const { return step_; }
    int Fd() const { return fd_; }
    // What the connection waits for while not up: POLLIN or POLLOUT.
    short Awaits() const { return awaits_; }
    // Why it failed.
    const std::string& Problem() const { return problem_; }

    // Octets written or read; 0 when the socket would block; -1 when the connection is gone
    // (Problem() says why).
    long Write(std::span<const std::uint8_t> octets);
    long Read(std::span<std::uint8_t> buffer);
    // Octets decrypted and waiting in the connection, which the descriptor does not show.
    bool Pending() const { return ssl_ != nullptr && SSL_pending(ssl_) > 0; }

private:
    Step Fail(std::string problem);
    // A read's or write's outcome as Read and Write give it.
    long Transferred(int result, const char* what);
    // The reason of a failed TLS call: the certificate's, the library's or the system's.
    std::string TlsProblem(int result, const char* what);

    int fd_ = -1;
    SSL* ssl_ = nullptr;
    Step step_ = Step::Failed;
    short awaits_ = 0;
    std::string problem_;
    std::string peer_;  // the server's address and port, for the messages
};
