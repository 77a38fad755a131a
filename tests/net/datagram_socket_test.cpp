// Real UDP sockets on the loopback addresses: waiting datagrams received in batches with
// their senders; the limit of open files raised for many sockets.
#include "net/datagram_socket.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/channel_set.h"
#include "net/socket_factory.h"

namespace {

std::string TextOf(const DatagramSocket::Received& datagram) {
    return std::string(datagram.buffer.begin(), datagram.buffer.begin() + static_cast<long>(datagram.length));
}

TEST(UdpSocket, ReceivesWaitingDatagramsInBatchesWithTheirSenderInEitherFamily) {
    for (const char* loopback : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(loopback);
        UdpSocket sender;
        UdpSocket receiver;
        const DatagramSocket::OpenResult opened = receiver.Open(*SocketAddress::Parse(loopback));
        if (opened.error == EADDRNOTAVAIL) continue;  // no such loopback address on this machine
        ASSERT_EQ(opened.failedAt, DatagramSocket::OpenStep::Done) << opened.error;
        ASSERT_EQ(sender.Open(*SocketAddress::Parse(loopback)).failedAt, DatagramSocket::OpenStep::Done);
        int error = 0;
        for (const std::string text : {"one", "", "three", "a datagram longer than its room"})
            ASSERT_TRUE(sender.SendTo(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                                      receiver.LocalAddress(), error));

        std::vector<std::vector<std::uint8_t>> room(3, std::vector<std::uint8_t>(16));
        std::vector<DatagramSocket::Received> batch(3);
        for (std::size_t i = 0; i < batch.size(); ++i) batch[i].buffer = room[i];
        ASSERT_EQ(receiver.ReceiveMany(batch, error), 3u);
        EXPECT_EQ(TextOf(batch[0]), "one");
        EXPECT_EQ(batch[1].length, 0u);
        EXPECT_EQ(TextOf(batch[2]), "three");
        for (const auto& datagram : batch) EXPECT_EQ(datagram.sender, sender.LocalAddress());
        ASSERT_EQ(receiver.ReceiveMany(batch, error), 1u);
        EXPECT_EQ(TextOf(batch[0]), "a datagram longe");  // cut to its room
        EXPECT_EQ(receiver.ReceiveMany(batch, error), 0u);
        EXPECT_EQ(error, EAGAIN);
    }
}

// The time a datagram lay in the socket comes from the kernel's receive time: at least the time
// it was left there, and never more than the time between sending and reading (a value in the
// wrong unit or on the wrong clock would be). The kernel turns arrival stamps on a moment after
// the first socket asks for them, and stamps what arrived before then when it is read; so the
// test tries a few rounds before it concludes this kernel never stamps on arrival.
TEST(UdpSocket, TellsHowLongEachDatagramWaitedToBeRead) {
    UdpSocket sender;
    UdpSocket receiver;
    ASSERT_EQ(receiver.Open(*SocketAddress::Parse("127.0.0.1")).failedAt, DatagramSocket::OpenStep::Done);
    ASSERT_EQ(sender.Open(*SocketAddress::Parse("127.0.0.1")).failedAt, DatagramSocket::OpenStep::Done);
    std::vector<std::uint8_t> room(4);
    std::vector<DatagramSocket::Received> batch(1);
    for (int round = 0; round < 10; ++round) {
        int error = 0;
        const std::uint8_t octet = 7;
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(sender.SendTo(std::span(&octet, 1), receiver.LocalAddress(), error));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        batch[0].buffer = room;
        ASSERT_EQ(receiver.ReceiveMany(batch, error), 1u);
        const auto between =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - sent).count();
        ASSERT_LE(batch[0].waitedMicroseconds, between + 1000) << "beyond the clock's grain";
        if (batch[0].waitedMicroseconds >= 15000u) return;
    }
    GTEST_SKIP() << "this kernel stamps datagrams when they are read, not when they arrive";
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
