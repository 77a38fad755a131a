// The engine's one datagram socket, behind an interface so that tests can stand in for the
// network. The real one is a non-blocking IPv4 UDP socket bound to 0.0.0.0:0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class DatagramSocket {
public:
    enum class OpenStep { Done, Create, Bind };
    struct OpenResult {
        OpenStep failedAt = OpenStep::Done;  // Done: the socket is open
        int error = 0;                       // errno of the failed step
    };

    virtual ~DatagramSocket() = default;

    // Creates and binds the socket (wildcard address, port chosen by the system).
    virtual OpenResult Open() = 0;
    // The descriptor to watch for read events; -1 while the socket is not open.
    virtual int Fd() const = 0;
    // Sends one datagram to address:port (both host byte order). False with errno in error.
    virtual bool SendTo(std::span<const std::uint8_t> datagram, std::uint32_t address, std::uint16_t port,
                        int& error) = 0;
    // Receives one datagram into buffer: its length (0 for an empty datagram), or -1 with errno
    // in error. A datagram longer than the buffer is cut to it.
    virtual long ReceiveFrom(std::span<std::uint8_t> buffer, int& error) = 0;
    // The port of a service in the services database (host byte order), 0 when there is none.
    virtual std::uint16_t LookupServicePort(const char* service, const char* protocol) = 0;
};

class UdpSocket : public DatagramSocket {
public:
    // A burst of 255 replies of up to 4096 bytes must not overflow the receive queue.
    static constexpr int kReceiveBufferBytes = 1 << 20;

    UdpSocket() = default;
    ~UdpSocket() override;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    OpenResult Open() override;
    int Fd() const override { return fd_; }
    bool SendTo(std::span<const std::uint8_t> datagram, std::uint32_t address, std::uint16_t port,
                int& error) override;
    long ReceiveFrom(std::span<std::uint8_t> buffer, int& error) override;
    std::uint16_t LookupServicePort(const char* service, const char* protocol) override;

private:
    int fd_ = -1;
};
