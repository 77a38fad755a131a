// Status-Server (RFC 5997): the request against a known answer made by Python's hmac module
// (tests/tools/message_authenticator.py), the check of answers, and the probe's wait on a
// stand-in socket and clock, so a time-out passes without sleeping.
#include "radius/status_probe.h"

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "radius/status_server.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2;
constexpr std::uint8_t kAccountingResponse = 5;

TEST(StatusServer, IsSignedWithAMessageAuthenticator) {
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length = BuildStatusServer(buffer, 9, CountingAuthenticator(), "testing123");
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)),
              Hex("0c090026000102030405060708090a0b0c0d0e0f50120179187e37127f3046f585b149e1c53b"));
    std::array<std::uint8_t, 37> tooSmall{};
    EXPECT_EQ(BuildStatusServer(tooSmall, 9, CountingAuthenticator(), "testing123"), 0u);
}

TEST(StatusServer, AnswersAreCheckedLikeRepliesWithAnyMessageAuthenticatorTheyCarry) {
    const Authenticator authenticator = CountingAuthenticator();
    const Bytes request(authenticator.begin(), authenticator.end());
    Bytes padded = MakeReply(kAccept, 9, request, "s");
    padded.insert(padded.end(), 3, 0);
    Bytes truncated = MakeReply(kAccept, 9, request, "s");
    truncated.pop_back();
    truncated[3] = 21;  // claims one octet more than arrived
    const struct {
        const char* name;
        Bytes reply;
        StatusReply expected;
    } rows[] = {
        {"plain accept", MakeReply(kAccept, 9, request, "s"), StatusReply::Answer},
        {"accounting response", MakeReply(kAccountingResponse, 9, request, "s"), StatusReply::Answer},
        {"padded", padded, StatusReply::Answer},
        {"signed", SignedReply(kAccept, 9, request, "s", Carried::Right), StatusReply::Answer},
        {"wrongly signed", SignedReply(kAccept, 9, request, "s", Carried::Wrong),
         StatusReply::WrongMessageAuthenticator},
        {"other secret", MakeReply(kAccept, 9, request, "t"), StatusReply::WrongResponseAuthenticator},
        {"other identifier", MakeReply(kAccept, 8, request, "s"), StatusReply::NotOurs},
        {"truncated", truncated, StatusReply::NotOurs},
        {"header only in part", Bytes(19, 0), StatusReply::NotOurs},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CheckStatusReply(row.reply, 9, CountingAuthenticator(), "s"), row.expected) << row.name;
}

// A socket whose datagrams come from the sender queued with them.
class SenderSocket : public FakeSocket {
public:
    long ReceiveFrom(std::span<std::uint8_t> buffer, SocketAddress* sender, int& error) override {
        if (senders.empty()) return FakeSocket::ReceiveFrom(buffer, sender, error);
        const SocketAddress from = senders.front();
        senders.pop_front();
        const long received = FakeSocket::ReceiveFrom(buffer, sender, error);
        if (sender != nullptr) *sender = from;
        return received;
    }
    std::deque<SocketAddress> senders;
};

struct ProbeRig {
    ProbeRig()
        : probe(socket, random, [this] { return microseconds; },
                [this](int, std::uint32_t milliseconds) {
                    ++waits;
                    if (onWait) onWait();
                    if (!socket.incoming.empty()) {
                        microseconds += 250;  // the answer comes a quarter of a millisecond later
                        return true;
                    }
                    microseconds += std::uint64_t{milliseconds} * 1000;  // the wait runs out
                    return false;
                }) {
        socket.Open(SocketAddress::Any(AddressFamily::Ipv4));
    }
    // The answer the server gives to the Status-Server sent last.
    Bytes AnswerToLast(std::uint8_t replyCode, const std::string& secret = "s") const {
        const SentDatagram& sent = socket.sent.back();
        return MakeReply(replyCode, sent.Id(), AuthenticatorOf(sent.bytes), secret);
    }

    SenderSocket socket;
    CountingRandomSource random;
    std::uint64_t microseconds = 5'000'000;
    int waits = 0;
    std::function<void()> onWait;
    StatusProbe probe;
};

const SocketAddress kServer = SocketAddress::Ipv4(0x7F000001, 1812);

TEST(StatusProbe, AnAnswerGivesItsCodeAndRoundTrip) {
    ProbeRig rig;
    rig.onWait = [&] {
        if (rig.socket.incoming.empty()) rig.socket.incoming.push_back(rig.AnswerToLast(kAccept));
    };
    const StatusProbe::Result result = rig.probe.Ask(kServer, "s", 7, 5000);
    EXPECT_EQ(rig.socket.sent.back().Code(), code::kStatusServer);
    EXPECT_EQ(rig.socket.sent.back().to, kServer);
    EXPECT_EQ(result.outcome, StatusProbe::Outcome::Answered);
    EXPECT_EQ(result.replyCode, kAccept);
    EXPECT_EQ(result.roundTripMicroseconds, 250u);
    EXPECT_EQ(DescribeProbe(kServer, result, 5000), "Status-Server to 127.0.0.1:1812: Access-Accept in 0.250 ms");
}

TEST(StatusProbe, SilenceStrangersAndOtherIdentifiersRunIntoTheTimeOut) {
    ProbeRig rig;
    int answered = 0;
    rig.onWait = [&] {
        if (answered++ > 0) return;
        Bytes otherId = rig.AnswerToLast(kAccept);
        otherId[1] ^= 1;
        rig.socket.incoming.push_back(otherId);
        rig.socket.senders.push_back(kServer);
        rig.socket.incoming.push_back(rig.AnswerToLast(kAccept));  // right, but from another port
        rig.socket.senders.push_back(kServer.WithPort(1813));
    };
    const StatusProbe::Result result = rig.probe.Ask(kServer, "s", 7, 3000);
    EXPECT_EQ(result.outcome, StatusProbe::Outcome::NoAnswer);
    EXPECT_LE(rig.waits, 4);  // bounded: the clock ran out
    EXPECT_EQ(DescribeProbe(kServer, result, 3000), "Status-Server to 127.0.0.1:1812: no answer within 3000 ms");
}

TEST(StatusProbe, AWrongSecretAndAFailedSendAreToldApart) {
    ProbeRig rig;
    rig.onWait = [&] {
        if (rig.socket.incoming.empty()) rig.socket.incoming.push_back(rig.AnswerToLast(kAccept, "other"));
    };
    const SocketAddress ipv6 = SocketAddress::Parse("::1", 1812).value();
    rig.socket.senders.push_back(ipv6);
    StatusProbe::Result result = rig.probe.Ask(ipv6, "s", 7, 5000);
    EXPECT_EQ(result.outcome, StatusProbe::Outcome::WrongResponseAuthenticator);
    EXPECT_EQ(DescribeProbe(ipv6, result, 5000),
              "Status-Server to [::1]:1812: the answer fails its Response Authenticator (is the secret right?)");

    rig.socket.sendError = ENETUNREACH;
    result = rig.probe.Ask(kServer, "s", 8, 5000);
    EXPECT_EQ(result.outcome, StatusProbe::Outcome::SendFailed);
    EXPECT_EQ(result.error, ENETUNREACH);
}

}  // namespace
