// Real UDP sockets on the loopback addresses: batches received with their senders, the
// channels of a set found by their descriptors.
#include "net/datagram_socket.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <string>
#include <vector>

#include "net/channel_set.h"
#include "net/socket_factory.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Room for count datagrams of up to size octets each.
struct Batch {
    Batch(std::size_t count, std::size_t size) : room(count, Bytes(size)), datagrams(count) {
        for (std::size_t i = 0; i < count; ++i) datagrams[i].buffer = room[i];
    }
    std::vector<Bytes> room;
    std::vector<DatagramSocket::Received> datagrams;
};

bool Send(UdpSocket& from, const std::string& text, const SocketAddress& to) {
    int error = 0;
    return from.SendTo(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), to, error);
}

std::string TextOf(const DatagramSocket::Received& datagram) {
    return std::string(datagram.buffer.begin(), datagram.buffer.begin() + static_cast<long>(datagram.length));
}

TEST(UdpSocket, ReceivesWaitingDatagramsInBatchesWithTheirSenderInEitherFamily) {
    for (const char* loopback : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(loopback);
        const SocketAddress local = *SocketAddress::Parse(loopback);
        UdpSocket sender;
        UdpSocket receiver;
        const DatagramSocket::OpenResult opened = receiver.Open(local);
        if (opened.failedAt == DatagramSocket::OpenStep::Bind && opened.error == EADDRNOTAVAIL) {
            std::printf("no %s on this machine\n", loopback);
            continue;
        }
        ASSERT_EQ(opened.failedAt, DatagramSocket::OpenStep::Done) << opened.error;
        ASSERT_EQ(sender.Open(local).failedAt, DatagramSocket::OpenStep::Done);
        EXPECT_EQ(receiver.Open(local).failedAt, DatagramSocket::OpenStep::Done);  // open already: nothing changes
        ASSERT_NE(receiver.LocalAddress().Port(), 0);

        const std::vector<std::string> texts = {"one", "", "three", "a datagram longer than its room"};
        for (const std::string& text : texts) ASSERT_TRUE(Send(sender, text, receiver.LocalAddress()));

        Batch batch(3, 16);
        int error = 0;
        ASSERT_EQ(receiver.ReceiveMany(batch.datagrams, error), 3u);
        EXPECT_EQ(TextOf(batch.datagrams[0]), "one");
        EXPECT_EQ(batch.datagrams[1].length, 0u);
        EXPECT_EQ(TextOf(batch.datagrams[2]), "three");
        for (const auto& datagram : batch.datagrams) EXPECT_EQ(datagram.sender, sender.LocalAddress());
        ASSERT_EQ(receiver.ReceiveMany(batch.datagrams, error), 1u);
        EXPECT_EQ(TextOf(batch.datagrams[0]), "a datagram longe");  // cut to its room
        EXPECT_EQ(receiver.ReceiveMany(batch.datagrams, error), 0u);
        EXPECT_EQ(error, EAGAIN);

        // The one-by-one form that stand-ins inherit reads the same.
        ASSERT_TRUE(Send(sender, "again", receiver.LocalAddress()));
        ASSERT_EQ(receiver.DatagramSocket::ReceiveMany(batch.datagrams, error), 1u);
        EXPECT_EQ(TextOf(batch.datagrams[0]), "again");
        EXPECT_EQ(batch.datagrams[0].sender, sender.LocalAddress());
    }
}

TEST(UdpSocket, OpeningSaysWhichStepFailed) {
    UdpSocket socket;
    // An address of the documentation range is no address of this host.
    const DatagramSocket::OpenResult opened = socket.Open(*SocketAddress::Parse("192.0.2.1"));
    EXPECT_EQ(opened.failedAt, DatagramSocket::OpenStep::Bind);
    EXPECT_EQ(opened.error, EADDRNOTAVAIL);
}

TEST(ChannelSet, OpensItsSocketsOnceAndFindsEachByItsDescriptor) {
    ChannelSet channels(std::make_unique<SystemSockets>());
    const SocketAddress loopback = *SocketAddress::Parse("127.0.0.1");
    ASSERT_EQ(channels.Open(3, loopback).failedAt, DatagramSocket::OpenStep::Done);
    const std::vector<int> descriptors = channels.Descriptors();
    ASSERT_EQ(descriptors.size(), 3u);
    for (std::size_t channel = 0; channel < 3; ++channel) {
        EXPECT_EQ(channels.Fd(channel), descriptors[channel]);
        EXPECT_EQ(channels.ChannelOf(descriptors[channel]), channel);
    }
    EXPECT_EQ(channels.ChannelOf(-1), std::nullopt);
    EXPECT_EQ(channels.ChannelOf(0), std::nullopt);  // standard input

    ASSERT_EQ(channels.Open(4, loopback).failedAt, DatagramSocket::OpenStep::Done);
    const std::vector<int> more = channels.Descriptors();
    ASSERT_EQ(more.size(), 4u);
    EXPECT_EQ(std::vector<int>(more.begin(), more.begin() + 3), descriptors);  // the first three stayed
    EXPECT_EQ(channels.ChannelOf(more[3]), 3u);

    // A factory with nothing more to give fails at the channel that needed it.
    ChannelSet given(std::make_unique<GivenSockets>(std::make_unique<UdpSocket>()));
    const ChannelSet::OpenResult opened = given.Open(2, loopback);
    EXPECT_EQ(opened.failedAt, DatagramSocket::OpenStep::Create);
    EXPECT_EQ(opened.channel, 1u);
    EXPECT_EQ(given.Descriptors().size(), 1u);
}

TEST(ChannelSet, RaisesTheLimitOfOpenFilesForWhatItOpens) {
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    constexpr rlim_t kLowered = 256;
    constexpr std::size_t kSockets = 300;  // more than the lowered limit allows
    if (before.rlim_max != RLIM_INFINITY && before.rlim_max < kLowered + kSockets + 64)
        GTEST_SKIP() << "the hard limit of open files is " << before.rlim_max;
    rlimit lowered = before;
    lowered.rlim_cur = kLowered;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    {
        ChannelSet channels(std::make_unique<SystemSockets>());
        const ChannelSet::OpenResult opened = channels.Open(kSockets, *SocketAddress::Parse("127.0.0.1"));
        EXPECT_EQ(opened.failedAt, DatagramSocket::OpenStep::Done) << "channel " << opened.channel << ": " << opened.error;
        EXPECT_EQ(channels.Descriptors().size(), kSockets);
    }
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
}

}  // namespace
