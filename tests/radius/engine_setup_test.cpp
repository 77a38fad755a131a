// Init, the setters, the pools and AddSession.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "protocol/dictionary.h"
#include "radius/nas_port_pool.h"
#include "radius/request_id_pool.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

struct InitRun {
    std::unique_ptr<RadiusEngine> engine;
    FakeSocket* socket = nullptr;
    bool ok = false;
};

InitRun RunInit(std::uint16_t port, std::int32_t nasPorts = 3,
                DatagramSocket::OpenResult failure = {}, std::uint16_t servicePort = 1812) {
    static ManualClock clock;
    static CountingRandomSource random;
    auto socket = std::make_unique<FakeSocket>();
    socket->openFailure = failure;
    socket->servicePort = servicePort;
    InitRun run;
    run.socket = socket.get();
    run.engine = std::make_unique<RadiusEngine>(&clock, &random, std::move(socket));
    run.ok = run.engine->Init("secret", port, 0x7F000001, nasPorts, true, 5, true, 15, false, nullptr, nullptr);
    return run;
}

}  // namespace

TEST(EngineInit, LooksUpTheRadiusServiceWhenThePortIsZero) {
    CapturingLogger log;
    InitRun run = RunInit(0);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.engine->ServerPort(), 1812);
    EXPECT_TRUE(log.Contains("Radius port = 1812"));
    EXPECT_TRUE(log.Contains("No Dictionary"));
    EXPECT_TRUE(log.Contains("Number of NAS ports = 3"));
    EXPECT_EQ(run.engine->SocketFd(), 42);

    InitRun fixed = RunInit(1645, 3, {}, 0);
    ASSERT_TRUE(fixed.ok);
    EXPECT_EQ(fixed.engine->ServerPort(), 1645);
}

TEST(EngineInit, FailuresLeaveTheirText) {
    struct Case {
        DatagramSocket::OpenResult failure;
        std::uint16_t port;
        std::uint16_t servicePort;
        const char* error;
    };
    for (const Case& c : {Case{{DatagramSocket::OpenStep::Create, 24}, 1812, 1812, "socket() failed"},
                          Case{{DatagramSocket::OpenStep::Bind, 98}, 1812, 1812, "Bind error  = 98"},
                          Case{{}, 0, 0, "No such service: radius/udp"}}) {
        InitRun run = RunInit(c.port, 3, c.failure, c.servicePort);
        EXPECT_FALSE(run.ok);
        EXPECT_STREQ(run.engine->LastError(), c.error);
    }
}

TEST(EngineInit, NasPortCountIsClampedAndMayBeZero) {
    CapturingLogger log;
    InitRun none = RunInit(1812, 0);
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.engine->NasPorts().FreeCount(), 0u);
    EXPECT_FALSE(none.engine->AddSession("u", "p", 1, {}, {}, {}));
    EXPECT_STREQ(none.engine->LastError(), "No available NAS Ports");

    InitRun many = RunInit(1812, 40000);
    EXPECT_EQ(many.engine->NasPorts().FreeCount(), 32766u);
    EXPECT_TRUE(log.Contains("Number of NAS ports = 40000"));
}

TEST(EngineSetters, ServerAddressIsLoggedInHexAndUsedForTheNextPacket) {
    CapturingLogger log;
    EngineHarness h;
    h.Engine().SetServerAddress(0x0A000001);
    EXPECT_TRUE(log.Contains("Radius host = a000001"));
    h.Engine().SetSecret("changed");
    ASSERT_TRUE(h.Add("u"));
    EXPECT_EQ(h.LastSent().address, 0x0A000001u);
    EXPECT_EQ(h.Engine().Secret(), "changed");
}

TEST(NasPortPool, FirstInFirstOut) {
    NasPortPool pool;
    pool.Fill(3);
    EXPECT_EQ(pool.Take(), 1);
    EXPECT_EQ(pool.Take(), 2);
    pool.GiveBack(1);
    EXPECT_EQ(pool.Take(), 3);
    EXPECT_EQ(pool.Take(), 1);
    EXPECT_EQ(pool.Take(), 0);
    NasPortPool empty;
    empty.Fill(-5);
    EXPECT_EQ(empty.Take(), 0);
}

TEST(RequestIdPool, RoundRobinWrapsAndSkipsThoseInUse) {
    RequestIdPool pool;
    for (int id = 1; id <= 255; ++id) ASSERT_EQ(pool.Take(), id);
    EXPECT_EQ(pool.Take(), 0);  // all in use
    pool.GiveBack(7);
    pool.GiveBack(3);
    pool.GiveBack(0);  // no flag: nothing happens
    EXPECT_EQ(pool.Take(), 3);
    EXPECT_EQ(pool.Take(), 7);
    EXPECT_EQ(pool.InUseCount(), 255);
    pool.GiveBack(255);
    pool.GiveBack(1);
    EXPECT_EQ(pool.Take(), 255);
    EXPECT_EQ(pool.Take(), 1);
}

TEST(AddSession, NoFreePortFailsWithBothTextsInOrder) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 2});
    ASSERT_TRUE(h.Add("a"));
    ASSERT_TRUE(h.Add("b"));
    const std::uint32_t sessionId = h.Engine().LastSessionId();
    EXPECT_FALSE(h.Add("c"));
    EXPECT_STREQ(h.Engine().LastError(), "No available NAS Ports");
    const auto lines = log.Lines();
    const auto first = std::find(lines.begin(), lines.end(), "Out of free Nas ports");
    ASSERT_NE(first, lines.end());
    EXPECT_EQ(*(first + 1), "No available NAS Ports");
    EXPECT_EQ(log.LinesAt(1).back(), "Out of free Nas ports");
    EXPECT_EQ(log.LinesAt(0).back(), "No available NAS Ports");
    EXPECT_EQ(h.Engine().LastSessionId(), sessionId);
    EXPECT_EQ(h.Engine().Counters().authRequests, 2);
    EXPECT_EQ(CheckInvariants(h.Engine(), 2), "");
}

TEST(AddSession, With255RequestsOutstandingTheNextFailsAndGivesItsPortBack) {
    CapturingLogger log;
    EngineHarness h({.nasPorts = 300});
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(h.Add(Numbered("u", i).c_str()));
    EXPECT_FALSE(h.Add("late"));
    EXPECT_STREQ(h.Engine().LastError(), "No available Request Id");
    EXPECT_TRUE(log.Contains("Out of free Reuquest Ids"));
    EXPECT_EQ(h.Engine().SessionCount(), 255u);
    EXPECT_EQ(h.Engine().NasPorts().FreeCount(), 45u);
    EXPECT_EQ(h.Engine().NasPorts().FreePorts().back(), 256);  // given back at the end
    EXPECT_EQ(CheckInvariants(h.Engine(), 300), "");
}

TEST(AddSession, RecordsTheSessionAndSendsItsAccessRequest) {
    EngineHarness h;
    h.Engine().SetLastSessionId(1000);
    ASSERT_TRUE(h.Add(std::string(70, 'n').c_str(), std::string(80, 'p').c_str(), 30));
    const Session& session = h.Engine().Sessions().front();
    EXPECT_EQ(session.sessionNumber, 1001u);
    EXPECT_EQ(h.Engine().LastSessionId(), 1001u);
    EXPECT_EQ(session.userName, std::string(63, 'n'));
    EXPECT_EQ(session.password, std::string(64, 'p'));
    EXPECT_EQ(session.endTime - session.startTime, 30);
    EXPECT_EQ(session.state, SessionState::Authenticating);
    EXPECT_EQ(session.nasPort, 1);
    EXPECT_EQ(session.requestId, 1);
    EXPECT_EQ(session.transmissions, 1);

    const SentDatagram& sent = h.LastSent();
    EXPECT_EQ(sent.port, 1812);
    EXPECT_EQ(sent.address, 0x7F000001u);
    EXPECT_EQ(sent.Code(), 1);
    EXPECT_EQ(ItemsOf(sent.bytes, 1), std::vector<Bytes>{Bytes(63, 'n')});
    EXPECT_EQ(ItemsOf(sent.bytes, 2).at(0).size(), 80u);
    EXPECT_EQ(AuthenticatorOf(sent.bytes), Bytes(session.lastRequestAuthenticator.begin(),
                                                 session.lastRequestAuthenticator.end()));
    EXPECT_EQ(sent.bytes.size(), 20u + 65 + 82);  // nothing else is added
}

TEST(AddSession, ARequestTooLargeForAPacketChangesNothing) {
    CapturingLogger log;
    EngineHarness h;
    AttributeList huge;
    for (int i = 0; i < 17; ++i) huge.Append(RadiusAttribute("Filler", 77, std::string(253, 'x')));
    ASSERT_TRUE(h.Add("first"));
    for (int which = 0; which < 3; ++which) {
        const bool added = h.Add("big", "pw", 10, which == 0 ? huge : AttributeList{},
                                 which == 1 ? huge : AttributeList{}, which == 2 ? huge : AttributeList{});
        EXPECT_FALSE(added);
        EXPECT_STREQ(h.Engine().LastError(), "Request too large: the attributes of big do not fit in a 4096-byte packet");
    }
    EXPECT_EQ(h.Engine().SessionCount(), 1u);
    EXPECT_EQ(h.Engine().LastSessionId(), 1u);
    EXPECT_EQ(h.Engine().Counters().authRequests, 1);
    EXPECT_EQ(h.SentCount(), 1u);
    EXPECT_EQ(h.Engine().NasPorts().FreePorts().front(), 2);
    ASSERT_TRUE(h.Add("next"));
    EXPECT_EQ(h.LastSent().Id(), 2);
    EXPECT_EQ(CheckInvariants(h.Engine(), 10), "");
}

TEST(AddSession, AFailedFirstTransmissionSaysSoAndKeepsTheSession) {
    CapturingLogger log;
    EngineHarness h;
    h.Socket().sendError = ENETUNREACH;
    EXPECT_FALSE(h.Add("u"));
    EXPECT_EQ(std::string(h.Engine().LastError()),
              std::string("Failure sending the Access-Request: ") + std::strerror(ENETUNREACH));
    EXPECT_TRUE(log.Contains("sendto error = " + std::to_string(ENETUNREACH)));
    EXPECT_EQ(h.Engine().SessionCount(), 1u);
    EXPECT_EQ(h.Engine().Counters().authRequests, 1);
    EXPECT_EQ(h.Engine().Sessions().front().transmissions, 1);

    // Treated like a lost request: retransmitted after the time-out.
    h.Socket().sendError = 0;
    h.AdvanceAndTick(5001);
    EXPECT_EQ(h.SentCount(), 1u);
    EXPECT_EQ(h.Engine().Sessions().front().transmissions, 2);
    EXPECT_EQ(CheckInvariants(h.Engine(), 10), "");
}

TEST(EngineInit, DictionaryFolderGetsASeparatorAndAMissingDictionaryIsNoFailure) {
    CapturingLogger log;
    {
        FakeSocket* socket = nullptr;
        ManualClock clock;
        CountingRandomSource random;
        auto owned = std::make_unique<FakeSocket>();
        socket = owned.get();
        RadiusEngine engine(&clock, &random, std::move(owned));
        ASSERT_TRUE(engine.Init("s", 1812, 0x7F000001, 1, true, 5, true, 5, false, "/nonexistent/dicts",
                                "missing.dic"));
        ASSERT_NE(DictionarySet::Instance(), nullptr);
        EXPECT_EQ(DictionarySet::Instance()->Directory(), "/nonexistent/dicts/");
        EXPECT_EQ(engine.GetDictionary(), nullptr);
        EXPECT_TRUE(log.Contains("Dictionary = missing.dic"));
        EXPECT_TRUE(engine.AddSession("u", "p", 1, {}, {}, {}));
        EXPECT_EQ(socket->sent.size(), 1u);
    }
    EXPECT_EQ(DictionarySet::Instance(), nullptr);  // destroyed with the engine
}
