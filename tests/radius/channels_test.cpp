// Several source sockets: identifiers handed out over them in turn, replies matched by the
// socket they came back on, retransmissions on the socket of their first transmission, the
// shortage only when every socket is full; NAS ports beyond the classic limit.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "engine_test_support.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2;
constexpr std::uint8_t kReject = 3;
constexpr std::uint8_t kAcctResponse = 5;

// Where a datagram left: the socket (channel) and its identifier.
using Place = std::pair<std::size_t, int>;

// The channel and identifier of every datagram the harness's sockets sent, in the order each
// socket sent them, socket by socket.
std::vector<Place> PlacesSent(EngineHarness& h, std::size_t sockets) {
    std::vector<Place> places;
    for (std::size_t channel = 0; channel < sockets; ++channel)
        for (const SentDatagram& datagram : h.Socket(channel).sent) places.emplace_back(channel, datagram.Id());
    return places;
}

// The server's reply to the request last sent under the identifier on the socket (a reply to
// nothing when there was none).
Bytes ReplyOn(EngineHarness& h, std::size_t channel, std::uint8_t id, std::uint8_t replyCode) {
    const auto& sent = h.Socket(channel).sent;
    for (auto it = sent.rbegin(); it != sent.rend(); ++it)
        if (it->Id() == id) return MakeReply(replyCode, id, AuthenticatorOf(it->bytes), h.Options().secret);
    return MakeReply(replyCode, id, Bytes(16, 0), h.Options().secret);
}

// Delivers the datagram through the socket, as the event loop would.
bool DeliverOn(EngineHarness& h, std::size_t channel, const Bytes& datagram) {
    h.Socket(channel).incoming.push_back(datagram);
    return h.Engine().OnReadable(h.Socket(channel).Fd());
}

}  // namespace

TEST(Channels, NewRequestsTakeTheSocketsInTurnAndRepliesAreMatchedOnTheirOwnSocket) {
    CapturingLogger log;
    EngineHarness h({.sockets = 3});
    ASSERT_TRUE(h.Initialized()) << h.Engine().LastError();
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(h.Add(Numbered("u", i).c_str()));
    // u0 and u3 on socket 0 (identifiers 1 and 2), u1 on socket 1, u2 on socket 2, each 1.
    EXPECT_EQ(PlacesSent(h, 3), (std::vector<Place>{{0, 1}, {0, 2}, {1, 1}, {2, 1}}));

    const struct {
        std::size_t channel;
        std::uint8_t id;
        bool handled;
        std::string outcome;  // the result line, or the error the engine was left with
    } rows[] = {
        {1, 1, true, "u1: Auth Reject"},
        {2, 2, false, "Unrecognized request: 2"},  // identifier 2 is held on socket 0 only
        {0, 2, true, "u3: Auth Reject"},
        {0, 1, true, "u0: Auth Reject"},
        {1, 1, false, "Unrecognized request: 1"},  // a duplicate
        {2, 1, true, "u2: Auth Reject"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.outcome);
        const std::size_t lines = h.Lines().size();
        const bool handled = DeliverOn(h, row.channel, ReplyOn(h, row.channel, row.id, kReject));
        EXPECT_EQ(handled, row.handled);
        if (handled) {
            ASSERT_EQ(h.Lines().size(), lines + 1);
            EXPECT_EQ(h.Lines().back(), row.outcome);
        } else {
            EXPECT_EQ(h.Lines().size(), lines);
            EXPECT_STREQ(h.Engine().LastError(), row.outcome.c_str());
        }
        EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
    }
    EXPECT_EQ(h.Engine().SessionCount(), 0u);
    EXPECT_FALSE(log.Contains("Response not authenticated."));

    EXPECT_FALSE(h.Engine().OnReadable(7));  // no socket of the engine's
    EXPECT_TRUE(log.Contains("Read event on socket 7, which is not the engine's"));
}

TEST(Channels, RequestsKeepTheirSocketUntilAnsweredAndTheNextRequestTakesTheNextSocket) {
    EngineHarness h({.sockets = 2});
    ASSERT_TRUE(h.Add("a"));  // socket 0, identifier 1
    ASSERT_TRUE(h.Add("b"));  // socket 1, identifier 1
    h.AdvanceAndTick(5001);   // both retransmitted where they went first
    EXPECT_EQ(PlacesSent(h, 2), (std::vector<Place>{{0, 1}, {0, 1}, {1, 1}, {1, 1}}));

    // b's Accept: its accounting start takes the next socket in turn, socket 0.
    ASSERT_TRUE(DeliverOn(h, 0, ReplyOn(h, 0, 1, kReject)));
    ASSERT_TRUE(DeliverOn(h, 1, ReplyOn(h, 1, 1, kAccept)));
    EXPECT_EQ(h.Socket(0).sent.back().Code(), 4);
    EXPECT_EQ(h.SessionOf("b")->channel, 0);
    EXPECT_EQ(h.SessionOf("b")->requestId, 2);
    h.AdvanceAndTick(15001);  // the start, retransmitted unchanged on socket 0
    EXPECT_EQ(h.Socket(0).sent.back().bytes, h.Socket(0).sent[h.Socket(0).sent.size() - 2].bytes);
    EXPECT_EQ(h.Socket(1).sent.size(), 2u);
    ASSERT_TRUE(DeliverOn(h, 0, ReplyOn(h, 0, 2, kAcctResponse)));
    EXPECT_EQ(h.SessionOf("b")->state, SessionState::Active);
    EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
}

TEST(Channels, IdentifiersRunOutOnlyWhenEverySocketIsFull) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 600, .sockets = 2});
    for (int i = 0; i < 2 * 255; ++i) ASSERT_TRUE(h.Add(Numbered("u", i).c_str())) << i;
    EXPECT_FALSE(h.Add("late"));
    EXPECT_STREQ(h.Engine().LastError(), "No available Request Id");
    EXPECT_TRUE(log.Contains("Out of free Reuquest Ids"));

    // An answer on socket 1 frees its identifier there: the next session takes it.
    ASSERT_TRUE(DeliverOn(h, 1, ReplyOn(h, 1, 77, kReject)));
    ASSERT_TRUE(h.Add("next"));
    EXPECT_EQ(h.SessionOf("next")->channel, 1);
    EXPECT_EQ(h.SessionOf("next")->requestId, 77);
    EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
}

TEST(Channels, InitOpensEverySocketAndSaysWhichOneFailed) {
    CapturingLogger log;
    {
        EngineHarness h({.sockets = TransportSettings::kMaxSockets + 1});
        ASSERT_TRUE(h.Initialized()) << h.Engine().LastError();
        EXPECT_EQ(h.Engine().ChannelCount(), TransportSettings::kMaxSockets);
        EXPECT_EQ(h.Engine().Descriptors().size(), TransportSettings::kMaxSockets);
        EXPECT_TRUE(log.Contains("Number of sockets limited to 1024"));
    }

    std::vector<std::unique_ptr<DatagramSocket>> sockets;
    for (int fd : {42, 43, 44}) sockets.push_back(std::make_unique<FakeSocket>(fd));
    auto& second = static_cast<FakeSocket&>(*sockets[1]);
    second.openFailure = {DatagramSocket::OpenStep::Bind, EADDRINUSE};
    ManualClock clock;
    CountingRandomSource random;
    RadiusEngine engine(&clock, &random, std::make_unique<GivenSockets>(std::move(sockets)));
    engine.SetTransport({.sockets = 4});
    const auto init = [&] { return engine.Init("s", 1812, 0x7F000001, 10, true, 5, true, 15, false, nullptr, nullptr); };
    EXPECT_FALSE(init());
    EXPECT_EQ(engine.LastError(), "Bind error  = 98 (socket 2 of 4: " + std::string(std::strerror(EADDRINUSE)) + ")");
    // Tried again, the sockets open so far stay; the factory has no fourth to give.
    second.openFailure = {};
    EXPECT_FALSE(init());
    EXPECT_EQ(engine.LastError(), "socket() failed (socket 4 of 4: " + std::string(std::strerror(EMFILE)) + ")");
    EXPECT_EQ(engine.Descriptors(), (std::vector<int>{42, 43, 44}));
}

TEST(NasPorts, BeyondTheClassicLimitOnlyWhenAskedForAndWithoutStoringThem) {
    CapturingLogger log;
    const struct {
        std::int32_t asked;
        bool large;
        std::size_t free;
        bool limitLine;
    } rows[] = {
        {32766, false, 32766, false},
        {40000, false, 32766, true},
        {40000, true, 40000, false},
        {RadiusEngine::kMaxLargeNasPorts, true, 2147483647u, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.asked);
        log.Clear();
        EngineHarness h({.nasPorts = row.asked, .largeNasPorts = row.large});
        EXPECT_EQ(h.Engine().NasPorts().FreeCount(), row.free);
        EXPECT_EQ(log.Contains("Number of NAS ports limited to 32766"), row.limitLine);
        ASSERT_TRUE(h.Add("u"));
        EXPECT_EQ(h.SessionOf("u")->nasPort, 1u);
        EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
    }
}
