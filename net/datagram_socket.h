// A datagram socket of either address family, behind an interface so that tests can stand in
// for the network. The real one is a non-blocking UDP socket.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "net/socket_address.h"

class DatagramSocket {
public:
    // Connect: a stream connection's connect or handshake (OpenProblem() says why).
    enum class OpenStep { Done, Create, Bind, Connect };
    // Told (old, new) when the descriptor changes: (fd, -1) while fd is still open, before it
    // closes; (-1, fd) once a new one is there.
    using DescriptorChanged = std::function<void(int oldFd, int newFd)>;
    struct OpenResult {
        OpenStep failedAt = OpenStep::Done;  // Done: the socket is open
        int error = 0;                       // errno of the failed step
    };
    // One datagram of a batch: the caller gives the room, the receive fills in the rest.
    struct Received {
        std::span<std::uint8_t> buffer;
        std::size_t length = 0;  // octets received; a datagram longer than the buffer is cut to it
        SocketAddress sender;
        // How long it lay in the socket before it was read (the kernel's receive time against
        // the clock's when read); 0 when not known.
        std::uint32_t waitedMicroseconds = 0;
    };

    virtual ~DatagramSocket() = default;

    // Creates a socket of the local address's family and binds it there (port 0: the system
    // chooses). Opening an open socket does nothing.
    virtual OpenResult Open(const SocketAddress& local) = 0;
    // The descriptor to watch for read events; -1 while the socket is not open.
    virtual int Fd() const = 0;
    // Sends one datagram. False with errno in error.
    virtual bool SendTo(std::span<const std::uint8_t> datagram, const SocketAddress& to, int& error) = 0;
    // Receives one datagram into buffer: its length (0 for an empty datagram), or -1 with errno
    // in error. sender, when given, gets who sent it.
    virtual long ReceiveFrom(std::span<std::uint8_t> buffer, SocketAddress* sender, int& error) = 0;
    // The datagrams waiting, at most batch.size(), in one go: how many were received, each
    // slot's length and sender set; 0 with errno in error when none was (EAGAIN: none waits).
    // An error after the first datagram is left for the next call. This one receives them one
    // by one.
    virtual std::size_t ReceiveMany(std::span<Received> batch, int& error);

    // What a stream connection adds; a datagram socket has none of it.
    // Why Open failed, in words, when errno does not say it.
    virtual std::string OpenProblem() const { return {}; }
    // What is written arrives or the connection drops: a request is not written twice on it.
    virtual bool Reliable() const { return false; }
    // Every tick: reconnecting after a drop, writing what waits.
    virtual void Service() {}
    // Packets read from the stream but not yet received, which no read event announces (or a
    // connection that ended: reading it says so).
    virtual bool HasBuffered() const { return false; }
    virtual void SetDescriptorChanged(DescriptorChanged changed) { (void)changed; }
};

class UdpSocket : public DatagramSocket {
public:
    // A burst of 255 replies of up to 4096 bytes must not overflow the receive queue.
    static constexpr int kReceiveBufferBytes = 1 << 20;

    UdpSocket() = default;
    ~UdpSocket() override;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    OpenResult Open(const SocketAddress& local) override;
    int Fd() const override { return fd_; }
    bool SendTo(std::span<const std::uint8_t> datagram, const SocketAddress& to, int& error) override;
    long ReceiveFrom(std::span<std::uint8_t> buffer, SocketAddress* sender, int& error) override;
    // One recvmmsg for the whole batch, each datagram with the time it waited.
    std::size_t ReceiveMany(std::span<Received> batch, int& error) override;
    // The address the socket is bound to (the port the system chose); none while not open.
    SocketAddress LocalAddress() const;

private:
    int fd_ = -1;
    // recvmmsg's headers, kept from one batch to the next.
    std::vector<mmsghdr> headers_;
    std::vector<iovec> vectors_;
    std::vector<sockaddr_storage> senders_;
    // Room for each datagram's receive time (SO_TIMESTAMPNS).
    union Control {
        cmsghdr header;
        char room[CMSG_SPACE(sizeof(timespec))];
    };
    std::vector<Control> controls_;
};
