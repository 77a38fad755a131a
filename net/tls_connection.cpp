#include "net/tls_connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/x509_vfy.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string LibraryError(const char* what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    std::string text = what;
    if (code != 0) {
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        text += ": ";
        text += reason;
    }
    return text;
}

bool IsNumericAddress(const std::string& name) {
    in6_addr any{};
    return inet_pton(AF_INET, name.c_str(), &any) == 1 || inet_pton(AF_INET6, name.c_str(), &any) == 1;
}

}  // namespace

SslContext MakeClientContext(const TlsSettings& settings, std::string& problem) {
    SslContext context(SSL_CTX_new(TLS_client_method()));
    if (!context) {
        problem = LibraryError("TLS context");
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    // Writes may end part way when the socket is full; the rest follows from another buffer.
    SSL_CTX_set_mode(context.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    if (settings.ca.empty()) {
        problem = "TlsCa is not set: the server's certificate cannot be verified";
        return nullptr;
    }
    if (SSL_CTX_load_verify_locations(context.get(), settings.ca.c_str(), nullptr) != 1) {
        problem = LibraryError(("TlsCa " + settings.ca + " cannot be loaded").c_str());
        return nullptr;
    }
    if (!settings.certificate.empty()) {
        if (SSL_CTX_use_certificate_chain_file(context.get(), settings.certificate.c_str()) != 1) {
            problem = LibraryError(("TlsCertificate " + settings.certificate + " cannot be loaded").c_str());
            return nullptr;
        }
        const std::string& key = settings.key.empty() ? settings.certificate : settings.key;
        if (SSL_CTX_use_PrivateKey_file(context.get(), key.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(context.get()) != 1) {
            problem = LibraryError(("TlsKey " + key + " cannot be loaded or does not match the certificate").c_str());
            return nullptr;
        }
    }
    return context;
}

TlsConnection::~TlsConnection() {
    if (ssl_ != nullptr) SSL_free(ssl_);
    if (fd_ >= 0) ::close(fd_);
}

TlsConnection::Step TlsConnection::Fail(std::string problem) {
    problem_ = std::move(problem);
    step_ = Step::Failed;
    return step_;
}

TlsConnection::Step TlsConnection::Start(SSL_CTX* context, const TlsSettings& settings, const SocketAddress& local) {
    peer_ = settings.server.Format();
    const int family = settings.server.Raw()->sa_family;
    fd_ = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return Fail(std::string("socket() failed: ") + std::strerror(errno));
    const int on = 1;
    // A request is one small write: sent at once, not held back for more.
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (local.Family() != AddressFamily::None && ::bind(fd_, local.Raw(), local.RawLength()) != 0)
        return Fail("Bind error = " + std::to_string(errno) + " (" + std::strerror(errno) + ")");

    ssl_ = SSL_new(context);
    if (ssl_ == nullptr || SSL_set_fd(ssl_, fd_) != 1) return Fail(LibraryError("TLS session"));
    const std::string& name = settings.serverName;
    if (!name.empty()) {
        // The certificate must name the server: a host name among its DNS names, an address
        // among its IP addresses.
        X509_VERIFY_PARAM* check = SSL_get0_param(ssl_);
        const bool named = IsNumericAddress(name) ? X509_VERIFY_PARAM_set1_ip_asc(check, name.c_str()) == 1
                                                  : SSL_set1_host(ssl_, name.c_str()) == 1 &&
                                                        SSL_set_tlsext_host_name(ssl_, name.c_str()) == 1;
        if (!named) return Fail(LibraryError(("TlsServerName " + name + " cannot be checked").c_str()));
    }

    if (::connect(fd_, settings.server.Raw(), settings.server.RawLength()) != 0 && errno != EINPROGRESS)
        return Fail("TLS connection to " + peer_ + " failed: " + std::strerror(errno));
    step_ = Step::Connecting;
    awaits_ = POLLOUT;
    return Advance();
}

TlsConnection::Step TlsConnection::Advance() {
    if (step_ == Step::Connecting) {
        pollfd ready{fd_, POLLOUT, 0};
        if (::poll(&ready, 1, 0) == 0) return step_;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        if (error != 0) return Fail("TLS connection to " + peer_ + " failed: " + std::strerror(error));
        step_ = Step::Handshaking;
    }
    if (step_ == Step::Handshaking) {
        ERR_clear_error();
        const int result = SSL_connect(ssl_);
        if (result == 1) {
            step_ = Step::Up;
            awaits_ = POLLIN;
            return step_;
        }
        const int reason = SSL_get_error(ssl_, result);
        if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
            awaits_ = reason == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
            return step_;
        }
        return Fail(TlsProblem(result, "TLS handshake"));
    }
    return step_;
}

std::string TlsConnection::TlsProblem(int result, const char* what) {
    std::string text = std::string(what) + " with " + peer_ + " failed";
    const long verified = SSL_get_verify_result(ssl_);
    if (verified != X509_V_OK) {
        ERR_clear_error();
        return text + ": the server's certificate is not trusted: " + X509_verify_cert_error_string(verified);
    }
    const int reason = SSL_get_error(ssl_, result);
    if (reason == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)
        return text + (errno != 0 ? std::string(": ") + std::strerror(errno) : ": the server closed the connection");
    if (reason == SSL_ERROR_ZERO_RETURN) return text + ": the server closed the connection";
    return LibraryError(text.c_str());
}

long TlsConnection::Write(std::span<const std::uint8_t> octets) {
    if (step_ != Step::Up) return -1;
    ERR_clear_error();
    return Transferred(SSL_write(ssl_, octets.data(), static_cast<int>(octets.size())), "Writing");
}

long TlsConnection::Read(std::span<std::uint8_t> buffer) {
    if (step_ != Step::Up) return -1;
    ERR_clear_error();
    errno = 0;
    return Transferred(SSL_read(ssl_, buffer.data(), static_cast<int>(buffer.size())), "Reading");
}

long TlsConnection::Transferred(int result, const char* what) {
    if (result > 0) return result;
    const int reason = SSL_get_error(ssl_, result);
    if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) return 0;
    Fail(TlsProblem(result, what));
    return -1;
}
