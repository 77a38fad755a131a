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

// (socket, identifier) of every datagram sent, socket by socket.
std::vector<std::pair<std::size_t, int>> PlacesSent(EngineHarness& h, std::size_t sockets) {
    std::vector<std::pair<std::size_t, int>> places;
    for (std::size_t channel = 0; channel < sockets; ++channel)
        for (const SentDatagram& datagram : h.Socket(channel).sent) places.emplace_back(channel, datagram.Id());
    return places;
}

// The server's reply to the request last sent under the identifier on the socket, delivered
// through that socket as the event loop would.
bool AnswerOn(EngineHarness& h, std::size_t channel, std::uint8_t id, std::uint8_t replyCode) {
    Bytes authenticator(16, 0);
    for (const SentDatagram& datagram : h.Socket(channel).sent)
        if (datagram.Id() == id) authenticator = AuthenticatorOf(datagram.bytes);
    h.Socket(channel).incoming.push_back(MakeReply(replyCode, id, authenticator, h.Options().secret));
    return h.Engine().OnReadable(h.Socket(channel).Fd());
}

}  // namespace

TEST(Channels, NewRequestsTakeTheSocketsInTurnAndRepliesAreMatchedOnTheirOwnSocket) {
    CapturingLogger log;
    EngineHarness h({.sockets = 3});
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(h.Add(Numbered("u", i).c_str()));
    // u0 and u3 on socket 0 (identifiers 1 and 2), u1 on socket 1, u2 on socket 2.
    EXPECT_EQ(PlacesSent(h, 3), (std::vector<std::pair<std::size_t, int>>{{0, 1}, {0, 2}, {1, 1}, {2, 1}}));

    const struct {
        std::size_t channel;
        std::uint8_t id;
        const char* outcome;  // the result line, or the error the engine was left with
    } rows[] = {
        {1, 1, "u1: Auth Reject"},
        {2, 2, "Unrecognized request: 2"},  // identifier 2 is held on socket 0 only
        {0, 2, "u3: Auth Reject"},
        {0, 1, "u0: Auth Reject"},
        {1, 1, "Unrecognized request: 1"},  // a duplicate
        {2, 1, "u2: Auth Reject"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.outcome);
        const bool handled = AnswerOn(h, row.channel, row.id, kReject);
        EXPECT_EQ(handled ? h.Lines().back() : std::string(h.Engine().LastError()), row.outcome);
        EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
    }
    EXPECT_EQ(h.Lines().size(), 4u);
    EXPECT_FALSE(log.Contains("Response not authenticated."));

    EXPECT_FALSE(h.Engine().OnReadable(7));  // no socket of the engine's
    EXPECT_TRUE(log.Contains("Read event on socket 7, which is not the engine's"));
}

TEST(Channels, RequestsKeepTheirSocketUntilAnsweredAndTheNextRequestTakesTheNextSocket) {
    EngineHarness h({.sockets = 2});
    ASSERT_TRUE(h.Add("a"));  // socket 0, identifier 1
    ASSERT_TRUE(h.Add("b"));  // socket 1, identifier 1
    h.AdvanceAndTick(5001);   // both retransmitted where they went first
    EXPECT_EQ(PlacesSent(h, 2), (std::vector<std::pair<std::size_t, int>>{{0, 1}, {0, 1}, {1, 1}, {1, 1}}));

    ASSERT_TRUE(AnswerOn(h, 0, 1, kReject));
    ASSERT_TRUE(AnswerOn(h, 1, 1, kAccept));  // b's accounting start takes the next socket, 0
    EXPECT_EQ(h.SessionOf("b")->channel, 0);
    EXPECT_EQ(h.SessionOf("b")->requestId, 2);
    h.AdvanceAndTick(15001);  // the start, retransmitted unchanged on socket 0
    const auto& sent = h.Socket(0).sent;
    EXPECT_EQ(sent.back().Code(), 4);
    EXPECT_EQ(sent.back().bytes, sent[sent.size() - 2].bytes);
    EXPECT_EQ(h.Socket(1).sent.size(), 2u);
    ASSERT_TRUE(AnswerOn(h, 0, 2, kAcctResponse));
    EXPECT_EQ(h.SessionOf("b")->state, SessionState::Active);
}

TEST(Channels, IdentifiersRunOutOnlyWhenEverySocketIsFull) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 600, .sockets = 2});
    for (int i = 0; i < 2 * 255; ++i) ASSERT_TRUE(h.Add(Numbered("u", i).c_str())) << i;
    EXPECT_FALSE(h.Add("late"));
    EXPECT_STREQ(h.Engine().LastError(), "No available Request Id");
    EXPECT_TRUE(log.Contains("Out of free Reuquest Ids"));

    ASSERT_TRUE(AnswerOn(h, 1, 77, kReject));  // frees 77 on socket 1: the next session takes it
    ASSERT_TRUE(h.Add("next"));
    EXPECT_EQ(std::make_pair(h.SessionOf("next")->channel, h.SessionOf("next")->requestId),
              std::make_pair(std::uint16_t{1}, std::uint16_t{77}));
    EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
}

TEST(Channels, InitOpensEverySocketAndSaysWhichOneFailed) {
    CapturingLogger log;
    {
        EngineHarness h({.sockets = TransportSettings::kMaxSockets + 1});
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
    } rows[] = {{32766, false, 32766}, {40000, false, 32766}, {40000, true, 40000}, {2147483647, true, 2147483647u}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.asked);
        log.Clear();
        EngineHarness h({.nasPorts = row.asked, .largeNasPorts = row.large});
        EXPECT_EQ(h.Engine().NasPorts().FreeCount(), row.free);
        EXPECT_EQ(log.Contains("Number of NAS ports limited to 32766"), row.free < static_cast<std::size_t>(row.asked));
        ASSERT_TRUE(h.Add("u"));
        EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
    }
}
