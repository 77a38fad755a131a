#include "radius/packet_builder.h"

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

Authenticator MakeAuthenticator(std::uint8_t first) {
    Authenticator authenticator;
    for (std::size_t i = 0; i < authenticator.size(); ++i) authenticator[i] = static_cast<std::uint8_t>(first + i);
    return authenticator;
}

Bytes AsBytes(const Authenticator& authenticator) { return Bytes(authenticator.begin(), authenticator.end()); }

RadiusAttribute IntegerAttribute(const char* name, std::int32_t number, std::uint32_t value) {
    RadiusAttribute attribute;
    std::snprintf(attribute.name, sizeof attribute.name, "%s", name);
    attribute.number = number;
    attribute.type = ValueType::Integer;
    attribute.intValue = value;
    attribute.length = 4;
    return attribute;
}

Bytes Hex(const char* text) {
    Bytes bytes;
    for (const char* p = text; *p != '\0';) {
        if (*p == ' ') { ++p; continue; }
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return bytes;
}

// RFC 2865 section 5.2 computed directly, with this NAS's padding of 1 to 16 zero octets.
Bytes HiddenByRfc(const std::string& password, const std::string& secret, const Bytes& authenticator) {
    const std::string used = password.substr(0, 64);
    Bytes padded(used.begin(), used.end());
    padded.resize(used.size() + 16 - used.size() % 16, 0);
    Bytes out;
    Bytes chain = authenticator;
    for (std::size_t block = 0; block < padded.size(); block += 16) {
        const Bytes b = Md5Of(Concat({Text(secret), chain}));
        for (std::size_t i = 0; i < 16; ++i) out.push_back(padded[block + i] ^ b[i]);
        chain.assign(out.end() - 16, out.end());
    }
    return out;
}

Bytes Hide(const std::string& password, const std::string& secret, const Authenticator& authenticator) {
    std::array<std::uint8_t, kMaxHiddenPasswordLength> hidden{};
    const std::size_t length = HidePassword(password, secret, authenticator, hidden);
    return Bytes(hidden.begin(), hidden.begin() + static_cast<long>(length));
}

Bytes BuildAccess(const Session& session, const Authenticator& authenticator, const std::string& secret) {
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length = BuildAccessRequest(buffer, session, authenticator, secret, nullptr);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length));
}

Bytes BuildAccounting(const Session& session, const std::string& secret) {
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length = BuildAccountingRequest(buffer, session, secret, nullptr);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length));
}

// The packet with a zero authenticator, signed the RFC 2866 way by the test itself.
Bytes SignedLikeRfc2866(Bytes packet, const std::string& secret) {
    std::fill(packet.begin() + 4, packet.begin() + 20, 0);
    const Bytes digest = Md5Of(Concat({packet, Text(secret)}));
    std::copy(digest.begin(), digest.end(), packet.begin() + 4);
    return packet;
}

Bytes Header(std::uint8_t packetCode, std::uint8_t id, std::size_t length, const Bytes& authenticator) {
    return Concat({{packetCode, id, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)},
                   authenticator});
}

Session AccountingSession(SessionState state) {
    Session session;
    session.state = state;
    session.requestId = 9;
    session.sessionNumber = 1001;
    session.nasPort = 3;
    session.userName = "bob";
    session.startTime = 1000;
    session.endTime = 1090;
    return session;
}

}  // namespace

TEST(HidePassword, MatchesRfc2865ForEveryPaddingCase) {
    const Authenticator authenticator = MakeAuthenticator(0x30);
    struct Case {
        std::size_t passwordLength;
        std::size_t hiddenLength;
    };
    for (const Case& c : {Case{0, 16}, Case{5, 16}, Case{15, 16}, Case{16, 32}, Case{17, 32}, Case{64, 80},
                          Case{80, 80}}) {
        std::string password;
        for (std::size_t i = 0; i < c.passwordLength; ++i) password += static_cast<char>('a' + i % 26);
        const Bytes hidden = Hide(password, "s3cr3t", authenticator);
        EXPECT_EQ(hidden.size(), c.hiddenLength) << c.passwordLength;
        EXPECT_EQ(hidden, HiddenByRfc(password, "s3cr3t", AsBytes(authenticator))) << c.passwordLength;
    }
}

TEST(HidePassword, KnownVectorOfRfc2865Example) {
    // RFC 2865 section 7.1: user nemo, password arctangent, secret xyzzy5461.
    const Bytes request = Hex("0f403f9473978057bd83d5cb98f4227a");
    Authenticator authenticator;
    std::copy(request.begin(), request.end(), authenticator.begin());
    EXPECT_EQ(Hide("arctangent", "xyzzy5461", authenticator), Hex("0dbe708d93d413ce3196e43f782a0aee"));
}

TEST(BuildAccessRequest, UserNameHiddenPasswordThenTheList) {
    Session session;
    session.requestId = 7;
    session.userName = "alice";
    session.password = "hello";
    session.authAttributes.Append(IntegerAttribute("NAS-Port", 5, 3));
    const Authenticator authenticator = MakeAuthenticator(0);

    const Bytes expected = Concat({Header(1, 7, 51, AsBytes(authenticator)), Item(1, Text("alice")),
                                   Item(2, HiddenByRfc("hello", "testing123", AsBytes(authenticator))),
                                   IntItem(5, 3)});
    EXPECT_EQ(BuildAccess(session, authenticator, "testing123"), expected);
}

TEST(BuildAccessRequest, DoesNotFitASmallBuffer) {
    Session session;
    session.userName = "alice";
    std::array<std::uint8_t, 30> small{};
    EXPECT_EQ(BuildAccessRequest(small, session, MakeAuthenticator(0), "s", nullptr), 0u);
}

TEST(BuildAccountingRequest, StartCarriesSessionIdStatusUserAndPortSignedPerRfc2866) {
    const Session session = AccountingSession(SessionState::AccountingStart);
    const Bytes body = Concat({Item(44, Text("1001")), IntItem(40, 1), Item(1, Text("bob")), IntItem(5, 3)});
    const Bytes expected = SignedLikeRfc2866(Concat({Header(4, 9, 20 + body.size(), Bytes(16, 0)), body}), "xyz");
    EXPECT_EQ(BuildAccounting(session, "xyz"), expected);
}

TEST(BuildAccountingRequest, StopAddsSessionTimeAndEchoesAcceptValuesInNetworkOrder) {
    Session session = AccountingSession(SessionState::AccountingStop);
    session.serviceType = 2;
    session.framedProtocol = 1;
    session.framedCompression = 0;
    session.framedIpAddress = 0x0A000005;
    session.loginService = 0;
    session.loginIpHost = 0xC0A80101;
    session.className = "gold";
    const Bytes body = Concat({Item(44, Text("1001")), IntItem(40, 2), Item(1, Text("bob")), IntItem(5, 3),
                               IntItem(46, 90), IntItem(6, 2), IntItem(7, 1), IntItem(13, 0),
                               IntItem(8, 0x0A000005), IntItem(15, 0), IntItem(14, 0xC0A80101),
                               Item(25, Text("gold"))});
    const Bytes expected = SignedLikeRfc2866(Concat({Header(4, 9, 20 + body.size(), Bytes(16, 0)), body}), "xyz");
    EXPECT_EQ(BuildAccounting(session, "xyz"), expected);
}

TEST(BuildAccountingRequest, SessionIdFromTheListReplacesTheNumber) {
    Session session = AccountingSession(SessionState::AccountingStart);
    session.acctStartAttributes.Append(RadiusAttribute("Acct-Session-Id", 44, "ABC-1"));
    const Bytes packet = BuildAccounting(session, "xyz");
    EXPECT_EQ(ItemsOf(packet, 44), std::vector<Bytes>{Text("ABC-1")});
    EXPECT_EQ(packet[20], 40);  // the list's items come last
    // The stop uses its own list, which has none: the session number is sent.
    session.state = SessionState::AccountingStop;
    EXPECT_EQ(ItemsOf(BuildAccounting(session, "xyz"), 44), std::vector<Bytes>{Text("1001")});
}

TEST(BuildAccountingRequest, SessionNumberIsSignedDecimal) {
    Session session = AccountingSession(SessionState::AccountingStart);
    session.sessionNumber = 0xFFFFFFFFu;
    EXPECT_EQ(ItemsOf(BuildAccounting(session, "xyz"), 44), std::vector<Bytes>{Text("-1")});
}

TEST(VerifyResponse, AcceptsTheServersDigestOnly) {
    const Authenticator request = MakeAuthenticator(0x10);
    const Bytes reply = MakeReply(2, 5, AsBytes(request), "secret", IntItem(6, 2));
    EXPECT_TRUE(VerifyResponse(reply, request, "secret"));
    EXPECT_FALSE(VerifyResponse(reply, request, "other"));
    EXPECT_FALSE(VerifyResponse(reply, MakeAuthenticator(0x11), "secret"));

    Bytes padded = reply;
    padded.push_back(0);  // octets beyond the Length field are covered by the digest
    EXPECT_FALSE(VerifyResponse(padded, request, "secret"));
    EXPECT_FALSE(VerifyResponse(std::span(reply).first(19), request, "secret"));
}

TEST(VerifyResponse, KnownVectorOfRfc2865Example) {
    const Bytes accept = Hex("02000026 86fe220e7624ba2a1005f6bf9b55e0b2 0606 00000001 0f06 00000000 0e06 c0a80103");
    Authenticator request;
    const Bytes requestBytes = Hex("0f403f9473978057bd83d5cb98f4227a");
    std::copy(requestBytes.begin(), requestBytes.end(), request.begin());
    EXPECT_TRUE(VerifyResponse(accept, request, "xyzzy5461"));
}

TEST(ReadAcceptAttributes, RemembersValuesAndLogsReplyMessages) {
    CapturingLogger log;
    Session session;
    const Bytes reply = MakeReply(2, 1, Bytes(16, 0), "s",
                                  Concat({IntItem(6, 2), IntItem(7, 1), IntItem(8, 0x0A000005), IntItem(13, 1),
                                          IntItem(14, 0xC0A80101), IntItem(15, 3), Item(18, Text("hi")),
                                          Item(25, Text("a-class-text-longer-than-31-chars")),
                                          IntItem(6, 7)}));
    ReadAcceptAttributes(reply, session);
    EXPECT_EQ(session.serviceType, 7);  // the later item wins
    EXPECT_EQ(session.framedProtocol, 1);
    EXPECT_EQ(session.framedIpAddress, 0x0A000005u);
    EXPECT_EQ(session.framedCompression, 1);
    EXPECT_EQ(session.loginIpHost, 0xC0A80101u);
    EXPECT_EQ(session.loginService, 3);
    EXPECT_EQ(session.className, "a-class-text-longer-than-31-cha");
    EXPECT_TRUE(log.Contains("Port Message = hi"));
}

TEST(ReadAcceptAttributes, NeverReadsPastTheReplyOrTrustsShortValues) {
    Session session;
    // A 2-octet Service-Type is ignored; Class stops at a zero octet; an item claiming more
    // octets than remain ends the walk before its value is used.
    Bytes reply = MakeReply(2, 1, Bytes(16, 0), "s",
                            Concat({Item(6, {0, 2}), Item(25, {'a', 'b', 0, 'c'}), Bytes{7, 40, 0, 0, 0, 1}}));
    ReadAcceptAttributes(reply, session);
    EXPECT_EQ(session.serviceType, -1);
    EXPECT_EQ(session.className, "ab");
    EXPECT_EQ(session.framedProtocol, -1);

    // A Length field larger than the octets at hand: only the octets at hand are read.
    Session other;
    Bytes truncated = MakeReply(2, 1, Bytes(16, 0), "s", IntItem(6, 2));
    truncated.resize(24);
    ReadAcceptAttributes(truncated, other);
    EXPECT_EQ(other.serviceType, -1);
}

TEST(CheckReplyFraming, ClassifiesShortTruncatedAndPaddedReplies) {
    Bytes good = MakeReply(2, 1, Bytes(16, 0), "s", IntItem(6, 2));
    EXPECT_EQ(CheckReplyFraming(good), ReplyFraming::Ok);
    Bytes padded = good;
    padded.resize(good.size() + 5, 0);
    EXPECT_EQ(CheckReplyFraming(padded), ReplyFraming::Ok);
    EXPECT_EQ(CheckReplyFraming(std::span(good).first(19)), ReplyFraming::ShorterThanHeader);
    EXPECT_EQ(CheckReplyFraming(std::span(good).first(25)), ReplyFraming::LengthBeyondReceived);
    Bytes lying = good;
    lying[2] = 0;
    lying[3] = 19;
    EXPECT_EQ(CheckReplyFraming(lying), ReplyFraming::LengthBelowHeader);
}

TEST(SessionRequestsFit, MeasuresAllThreeRequestsWithRoomForTheAcceptEcho) {
    Session session = AccountingSession(SessionState::Authenticating);
    EXPECT_TRUE(SessionRequestsFit(session, nullptr));

    const RadiusAttribute big("Filler", 77, std::string(253, 'x'));  // a 255-octet item
    AttributeList list;
    for (int i = 0; i < 16; ++i) list.Append(big);  // 4080 octets
    for (AttributeList Session::*member : {&Session::authAttributes, &Session::acctStartAttributes,
                                           &Session::acctStopAttributes}) {
        Session tooBig = session;
        tooBig.*member = list;
        EXPECT_FALSE(SessionRequestsFit(tooBig, nullptr));
    }

    // 15 items leave 4096 - 20 - 3825 = 251 octets: enough for the Access-Request of bob, and
    // for the accounting requests with every accept value echoed.
    AttributeList fits;
    for (int i = 0; i < 15; ++i) fits.Append(big);
    session.authAttributes = session.acctStartAttributes = session.acctStopAttributes = fits;
    EXPECT_TRUE(SessionRequestsFit(session, nullptr));
}
