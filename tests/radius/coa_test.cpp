// Disconnect-Request and CoA-Request (RFC 5176) against a live session on the hand-moved
// clock: each answer, its authenticator, and what it does to the session.
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "radius/coa_request.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2;
constexpr std::uint8_t kAccountingResponse = 5;
constexpr std::uint8_t kFilterId = 11;
constexpr std::uint8_t kProxyState = 33;
constexpr std::uint8_t kErrorCause = 101;
const std::string kSecret = "testing123";

std::uint32_t IntOf(const Bytes& packet, std::uint8_t type) {
    const std::vector<Bytes> items = ItemsOf(packet, type);
    if (items.size() != 1 || items[0].size() != 4) return ~0u;
    return (std::uint32_t{items[0][0]} << 24) | (items[0][1] << 16) | (items[0][2] << 8) | items[0][3];
}

SessionLifeSettings CoaOn() {
    SessionLifeSettings life;
    life.coaPort = 3799;
    life.acctCounters = true;
    return life;
}

// An engine listening for CoA with alice (NAS port 1, Framed-IP 10.0.0.9, Acct-Session-Id
// "1") live for 20 of her 100 seconds.
struct CoaRig {
    explicit CoaRig(SessionLifeSettings life = CoaOn()) : h(EngineOptions{.life = life}) {
        EXPECT_TRUE(h.Add("alice", "pw", 100));
        EXPECT_TRUE(h.Answer(kAccept, IntItem(attr::kFramedIpAddress, 0x0A000009)));
        EXPECT_TRUE(h.Answer(kAccountingResponse));
        for (int i = 0; i < 200; ++i) h.AdvanceAndTick(100);
    }
    // Hands the request to the listener as if from sender; the answer, if any.
    std::optional<Bytes> Send(const Bytes& request, std::uint32_t sender = 0x7F000001) {
        FakeSocket& coa = h.CoaSocket();
        const std::size_t before = coa.sent.size();
        coa.incoming.push_back(request);
        coa.incomingSender = SocketAddress::Ipv4(sender, 40000);
        h.Engine().OnReadable(coa.Fd());
        if (coa.sent.size() == before) return std::nullopt;
        EXPECT_EQ(coa.sent.back().port, 40000);
        return coa.sent.back().bytes;
    }
    EngineHarness h;
};

}  // namespace

TEST(Coa, EachAnswerAndErrorCause) {
    struct Case {
        const char* what;
        std::uint8_t requestCode;
        Bytes attributes;
        std::uint8_t expectedCode;
        std::uint32_t expectedCause;  // ~0u: none
        bool sessionStops;
    } cases[] = {
        {"by Acct-Session-Id", code::kDisconnectRequest, Item(attr::kAcctSessionId, Text("1")), code::kDisconnectAck,
         ~0u, true},
        {"by User-Name and NAS-Port", code::kDisconnectRequest,
         Concat({Item(attr::kUserName, Text("alice")), IntItem(attr::kNasPort, 1)}), code::kDisconnectAck, ~0u, true},
        {"by Framed-IP-Address", code::kDisconnectRequest, IntItem(attr::kFramedIpAddress, 0x0A000009),
         code::kDisconnectAck, ~0u, true},
        {"one of two attributes wrong", code::kDisconnectRequest,
         Concat({Item(attr::kUserName, Text("alice")), IntItem(attr::kNasPort, 2)}), code::kDisconnectNak, 503, false},
        {"no such session", code::kDisconnectRequest, Item(attr::kUserName, Text("bob")), code::kDisconnectNak, 503,
         false},
        {"unsupported attribute", code::kDisconnectRequest,
         Concat({Item(attr::kUserName, Text("alice")), Item(kFilterId, Text("f"))}), code::kDisconnectNak, 401, false},
        {"no session named", code::kDisconnectRequest, Item(attr::kNasIdentifier, Text("nas")), code::kDisconnectNak,
         404, false},
        {"malformed NAS-Port", code::kCoaRequest, Item(attr::kNasPort, Bytes{1}), code::kCoaNak, 404, false},
        {"Session-Timeout in a Disconnect", code::kDisconnectRequest,
         Concat({Item(attr::kUserName, Text("alice")), IntItem(attr::kSessionTimeout, 5)}), code::kDisconnectNak, 401,
         false},
        {"CoA for a session", code::kCoaRequest,
         Concat({Item(attr::kUserName, Text("alice")), IntItem(attr::kSessionTimeout, 500)}), code::kCoaAck, ~0u,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CoaRig rig;
        const Bytes request = MakeCoaRequest(c.requestCode, Concat({c.attributes, Item(kProxyState, Text("ps"))}));
        const std::optional<Bytes> answer = rig.Send(request);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->at(0), c.expectedCode);
        EXPECT_EQ(answer->at(1), request[1]);
        EXPECT_EQ(*answer, MakeReply(c.expectedCode, request[1], AuthenticatorOf(request), kSecret,
                                     Bytes(answer->begin() + 20, answer->end())))
            << "Response Authenticator";
        EXPECT_EQ(IntOf(*answer, kErrorCause), c.expectedCause);
        EXPECT_EQ(ItemsOf(*answer, kProxyState), std::vector<Bytes>{Text("ps")});

        const Bytes& last = rig.h.LastSent().bytes;
        EXPECT_EQ(IntOf(last, attr::kAcctStatusType) == kAcctStatusStop, c.sessionStops);
        if (c.sessionStops) {
            EXPECT_EQ(IntOf(last, attr::kAcctTerminateCause), static_cast<std::uint32_t>(TerminateCause::AdminReset));
            EXPECT_EQ(IntOf(last, attr::kAcctSessionTime), 20u);
            EXPECT_EQ(rig.h.Lines().back(), "alice: Disconnect-Request ACK");
        }
        EXPECT_EQ(rig.h.Engine().Sessions().CheckConsistency(), "");
    }
}

TEST(Coa, UnauthenticatedOrStrangersRequestsGetNoAnswer) {
    struct Case {
        const char* what;
        Bytes request;
        std::uint32_t sender;
        bool answered;
    } cases[] = {
        {"wrong secret", MakeCoaRequest(code::kDisconnectRequest, Item(attr::kUserName, Text("alice")), "other"),
         0x7F000001, false},
        {"right Message-Authenticator",
         MakeCoaRequest(code::kDisconnectRequest, Item(attr::kUserName, Text("alice")), kSecret, true), 0x7F000001,
         true},
        {"from a stranger", MakeCoaRequest(code::kDisconnectRequest, Item(attr::kUserName, Text("alice"))), 0x0A000001,
         false},
        {"from a listed client", MakeCoaRequest(code::kDisconnectRequest, Item(attr::kUserName, Text("alice"))),
         0x0A000002, true},
        {"an Access-Request", MakeCoaRequest(1, Item(attr::kUserName, Text("alice"))), 0x7F000001, false},
        {"truncated", Bytes{40, 1, 0, 30, 0}, 0x7F000001, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SessionLifeSettings life = CoaOn();
        life.coaClients = {0x0A000002};
        CoaRig rig(life);
        EXPECT_EQ(rig.Send(c.request, c.sender).has_value(), c.answered);
    }
    // A wrong Message-Authenticator: one octet of its value changed, the Request Authenticator made anew.
    CoaRig rig;
    Bytes forged = MakeCoaRequest(code::kDisconnectRequest, Item(attr::kUserName, Text("alice")), kSecret, true);
    forged[25] ^= 1;
    std::fill_n(forged.begin() + 4, 16, 0);
    const Bytes digest = Md5Of(Concat({forged, Text(kSecret)}));
    std::copy(digest.begin(), digest.end(), forged.begin() + 4);
    EXPECT_FALSE(rig.Send(forged).has_value());
    EXPECT_EQ(rig.h.Engine().SessionCount(), 1u);
}

TEST(Coa, ChangesSessionTimeoutAndInterimInterval) {
    CoaRig rig;
    const std::optional<Bytes> answer = rig.Send(MakeCoaRequest(
        code::kCoaRequest, Concat({Item(attr::kAcctSessionId, Text("1")), IntItem(attr::kSessionTimeout, 130),
                                   IntItem(attr::kAcctInterimInterval, 60)})));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->at(0), code::kCoaAck);
    EXPECT_EQ(rig.h.Lines().back(), "alice: CoA-Request ACK");
    std::vector<std::uint32_t> statusTypes;
    for (int i = 0; i < 1400; ++i) {
        const std::size_t before = rig.h.SentCount();
        rig.h.AdvanceAndTick(100);
        if (rig.h.SentCount() == before) continue;
        statusTypes.push_back(IntOf(rig.h.LastSent().bytes, attr::kAcctStatusType));
        rig.h.Answer(kAccountingResponse);
    }
    // Interims at 80 and 140 seconds, then the Stop at 150, past the session's own end.
    EXPECT_EQ(statusTypes, (std::vector<std::uint32_t>{3, 3, 2}));
    EXPECT_EQ(IntOf(rig.h.LastSent().bytes, attr::kAcctTerminateCause),
              static_cast<std::uint32_t>(TerminateCause::SessionTimeout));
}

// The server may disconnect a session as it takes its Start or Interim-Update, so the Disconnect
// can arrive before that request's reply: the reply still counts, and the Stop follows it.
TEST(Coa, ADisconnectWhileAnAccountingRequestIsOutstandingStopsAfterItsReply) {
    for (const bool interim : {false, true}) {
        SCOPED_TRACE(interim ? "Interim-Update outstanding" : "Start outstanding");
        SessionLifeSettings life = CoaOn();
        life.interimInterval = interim ? 60 : 0;
        life.honourInterimInterval = 2;
        EngineHarness h(EngineOptions{.life = life});
        ASSERT_TRUE(h.Add("alice", "pw", 100));
        ASSERT_TRUE(h.Answer(kAccept));
        if (interim) {
            ASSERT_TRUE(h.Answer(kAccountingResponse));
            for (int i = 0; i < 601 && IntOf(h.LastSent().bytes, attr::kAcctStatusType) != 3; ++i)
                h.AdvanceAndTick(100);
            ASSERT_EQ(IntOf(h.LastSent().bytes, attr::kAcctStatusType), 3u);
        }
        const std::uint8_t outstandingId = h.LastSent().Id();

        FakeSocket& coa = h.CoaSocket();
        coa.incoming.push_back(MakeCoaRequest(code::kDisconnectRequest, Item(attr::kUserName, Text("alice"))));
        coa.incomingSender = SocketAddress::Ipv4(0x7F000001, 40000);
        h.Engine().OnReadable(coa.Fd());
        ASSERT_EQ(coa.sent.size(), 1u);
        EXPECT_EQ(coa.sent.back().bytes.at(0), code::kDisconnectAck);
        h.AdvanceAndTick(100);
        EXPECT_EQ(h.LastSent().Id(), outstandingId) << "no Stop before the reply";

        ASSERT_TRUE(h.Answer(kAccountingResponse));
        EXPECT_EQ(h.Lines().back(), "alice: Account " + std::string(interim ? "INTERIM" : "START") + " Reply");
        h.AdvanceAndTick(100);
        const Bytes& stop = h.LastSent().bytes;
        EXPECT_EQ(IntOf(stop, attr::kAcctStatusType), kAcctStatusStop);
        EXPECT_EQ(IntOf(stop, attr::kAcctTerminateCause), static_cast<std::uint32_t>(TerminateCause::AdminReset));
        ASSERT_TRUE(h.Answer(kAccountingResponse));
        EXPECT_EQ(h.Engine().SessionCount(), 0u);
        EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
    }
}

TEST(CoaRequestReader, ReadsOnlyWithinTheLengthField) {
    Bytes request = MakeCoaRequest(code::kDisconnectRequest, Item(attr::kUserName, Text("alice")));
    request.push_back(0xFF);  // beyond the Length field: padding, not an attribute
    CoaRequest read;
    ASSERT_EQ(ReadCoaRequest(request, kSecret, read), CoaReading::Ok);
    EXPECT_EQ(read.userName, "alice");
    EXPECT_EQ(read.problem, ErrorCause::None);
}
