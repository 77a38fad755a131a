// The engine's channels: where its requests leave and their replies come back. Each channel
// has its own 255 request identifiers, since a server tells requests apart by source address,
// source port and identifier (RFC 2865 section 3: "The RADIUS server can detect a duplicate
// request if it has the same client source IP address and source UDP port and Identifier
// within a short span of time."). A channel is one UDP source socket, or with "Transport" tls
// one TLS connection; option "Sockets" opens several.
//
// The layer, bottom up:
//   SocketAddress (socket_address.h)  IPv4 or IPv6 address and port: parse, format, resolve
//   DatagramSocket (datagram_socket.h) open for a family with a bind address, send to an
//                                      address, receive with the sender's, in batches
//   SocketFactory (socket_factory.h)   makes the sockets; tests hand in stand-ins (GivenSockets)
//   ChannelSet (here)                  the channels by number, found by their descriptor
// The identifiers of each channel and who holds them are the session table's
// (radius/session_table.h), keyed by (channel, identifier); a session keeps its channel and
// identifier over its retransmissions. After Init the shell asks the engine for Descriptors()
// and watches each; a notification names the descriptor, and the engine reads that channel.
//
// How the rest slots in:
// - IPv6 and a source address: Open's local address is the source address, or the wildcard
//   of the server's family (SocketAddress::Resolve of the server's name); destinations are
//   SocketAddresses already. Nothing below changes.
// - Status-Server: a request like the others on a channel, under one of its identifiers.
// - RADIUS over TLS (tls_channel.h): a TlsChannel stands where a UDP socket stands (connect,
//   handshake, write a packet, read packets framed by their Length field), made by the
//   factory's MakeStreamSocket; a channel is then one connection with its own identifiers. Its
//   descriptor changes when it reconnects: the set maps descriptors anew and tells whoever
//   watches them (SetDescriptorChanged: forget the old descriptor, watch the new one), so the
//   shell's read notifications follow.
// - A CoA/Disconnect listener: a DatagramSocket from the same factory bound to the source
//   address and the CoA port, kept beside the channels (it receives requests, not replies);
//   its descriptor is watched like theirs and told apart by ChannelOf finding nothing.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/datagram_socket.h"
#include "net/socket_factory.h"

class ChannelSet {
public:
    struct OpenResult {
        DatagramSocket::OpenStep failedAt = DatagramSocket::OpenStep::Done;
        int error = 0;            // errno of the failed step
        std::size_t channel = 0;  // the channel that failed
        std::string problem;      // in words, when errno does not say it
    };

    explicit ChannelSet(std::unique_ptr<SocketFactory> factory);

    // Opens channels 0 to count - 1, each a socket bound to local; those open already stay as
    // they are. Stops at the first that fails; those opened before it stay open. With tls each
    // channel is a connection to its server instead.
    OpenResult Open(std::size_t count, const SocketAddress& local, const TlsSettings* tls = nullptr);
    // Told when a channel's descriptor changes (a connection made anew), after the set maps it.
    void SetDescriptorChanged(DatagramSocket::DescriptorChanged changed) { descriptorChanged_ = std::move(changed); }
    // Every tick: the channels' own timer work (reconnecting).
    void Service();
    // The descriptors of channels holding packets read but not yet received.
    std::vector<int> Buffered() const;

    // A further socket from the channels' factory, not one of the channels (a listener beside
    // them); null when none can be had.
    std::unique_ptr<DatagramSocket> MakeSocket() { return factory_->MakeDatagramSocket(); }

    // The channels made so far.
    std::size_t Count() const { return sockets_.size(); }
    DatagramSocket& Socket(std::size_t channel) { return *sockets_[channel]; }
    // The descriptor of the channel, -1 when it has none.
    int Fd(std::size_t channel) const { return channel < sockets_.size() ? sockets_[channel]->Fd() : -1; }
    // The channel whose descriptor fd is, if any.
    std::optional<std::size_t> ChannelOf(int fd) const;
    // The descriptors of the open channels, in channel order.
    std::vector<int> Descriptors() const;

private:
    void MapDescriptors();

    std::unique_ptr<SocketFactory> factory_;
    std::vector<std::unique_ptr<DatagramSocket>> sockets_;
    std::unordered_map<int, std::size_t> channelOfFd_;
    DatagramSocket::DescriptorChanged descriptorChanged_;
};
