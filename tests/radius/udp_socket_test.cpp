// The real socket, over the loopback interface only.
#include "radius/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdint>

TEST(UdpSocket, SendsToItselfOnLoopbackAndDoesNotBlock) {
    UdpSocket socket;
    EXPECT_EQ(socket.Fd(), -1);
    ASSERT_EQ(socket.Open().failedAt, DatagramSocket::OpenStep::Done);
    ASSERT_GE(socket.Fd(), 0);

    sockaddr_in local{};
    socklen_t length = sizeof local;
    ASSERT_EQ(getsockname(socket.Fd(), reinterpret_cast<sockaddr*>(&local), &length), 0);
    ASSERT_NE(local.sin_port, 0);

    int error = 0;
    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(socket.ReceiveFrom(buffer, error), -1);
    EXPECT_TRUE(error == EAGAIN || error == EWOULDBLOCK);

    const std::array<std::uint8_t, 3> datagram{1, 2, 3};
    ASSERT_TRUE(socket.SendTo(datagram, 0x7F000001, ntohs(local.sin_port), error));
    long received = -1;
    for (int attempt = 0; attempt < 1000 && received < 0; ++attempt) received = socket.ReceiveFrom(buffer, error);
    ASSERT_EQ(received, 3);
    EXPECT_EQ(buffer[2], 3);
}

TEST(UdpSocket, AsksForARoomyReceiveBuffer) {
    UdpSocket socket;
    ASSERT_EQ(socket.Open().failedAt, DatagramSocket::OpenStep::Done);
    int size = 0;
    socklen_t length = sizeof size;
    ASSERT_EQ(getsockopt(socket.Fd(), SOL_SOCKET, SO_RCVBUF, &size, &length), 0);
    int maximum = 0;
    if (FILE* file = std::fopen("/proc/sys/net/core/rmem_max", "r")) {
        if (std::fscanf(file, "%d", &maximum) != 1) maximum = 0;
        std::fclose(file);
    }
    // The kernel caps the request at rmem_max (and reports twice what it grants).
    if (maximum >= UdpSocket::kReceiveBufferBytes) {
        EXPECT_GE(size, UdpSocket::kReceiveBufferBytes);
    }
}

TEST(UdpSocket, FindsTheRadiusServiceWhenTheDatabaseHasIt) {
    UdpSocket socket;
    EXPECT_EQ(socket.LookupServicePort("no-such-service-here", "udp"), 0);
    const std::uint16_t port = socket.LookupServicePort("radius", "udp");
    if (port != 0) {
        EXPECT_EQ(port, 1812);
    }
}
