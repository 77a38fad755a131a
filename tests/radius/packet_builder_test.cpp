// Byte-exact requests, password hiding and reply verification against RFC 2865/2866.
#include "radius/packet_builder.h"

#include <gtest/gtest.h>

#include <optional>

#include "engine_test_support.h"
#include "protocol/dictionary.h"
#include "protocol/radius_attribute.h"
#include "tests/infra/temp_folder.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

Bytes AsBytes(const Authenticator& authenticator) { return Bytes(authenticator.begin(), authenticator.end()); }

// RFC 2865 section 7.1: user nemo, password arctangent, secret xyzzy5461.
Authenticator Rfc2865Request() {
    const Bytes bytes = Hex("0f403f9473978057bd83d5cb98f4227a");
    Authenticator authenticator{};
    std::copy(bytes.begin(), bytes.end(), authenticator.begin());
    return authenticator;
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

Bytes BuildAccounting(const Session& session, const std::string& secret) {
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length = BuildAccountingRequest(buffer, session, secret, nullptr);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length));
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

TEST(HidePassword, MatchesRfc2865ForEveryPaddingCaseAndItsExample) {
    const Authenticator authenticator = CountingAuthenticator(0x30);
    const std::pair<std::size_t, std::size_t> cases[] = {{0, 16}, {15, 16}, {16, 32}, {17, 32}, {80, 80}};
    for (const auto& [passwordLength, hiddenLength] : cases) {
        std::string password;
        for (std::size_t i = 0; i < passwordLength; ++i) password += static_cast<char>('a' + i % 26);
        const Bytes hidden = Hide(password, "s3cr3t", authenticator);
        EXPECT_EQ(hidden.size(), hiddenLength) << passwordLength;
        EXPECT_EQ(hidden, HiddenByRfc(password, "s3cr3t", AsBytes(authenticator))) << passwordLength;
    }
    EXPECT_EQ(Hide("arctangent", "xyzzy5461", Rfc2865Request()), Hex("0dbe708d93d413ce3196e43f782a0aee"));
}

TEST(BuildAccessRequest, UserNameHiddenPasswordThenTheList) {
    Session session;
    session.requestId = 7;
    session.userName = "alice";
    session.password = "hello";
    session.authAttributes.Append(RadiusAttribute("Filter-Id", 11, "std"));
    const Authenticator authenticator = CountingAuthenticator(0);
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length = BuildAccessRequest(buffer, session, authenticator, "testing123", nullptr);
    const Bytes expected = Concat({{1, 7, 0, 20 + 7 + 18 + 5}, AsBytes(authenticator), Item(1, Text("alice")),
                                   Item(2, HiddenByRfc("hello", "testing123", AsBytes(authenticator))),
                                   Item(11, Text("std"))});
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)), expected);
}

// RFC 2866 section 3: the Request Authenticator is MD5 over the packet with a zero
// authenticator and the secret, the way MakeReply signs.
TEST(BuildAccountingRequest, StartWithoutSessionTimeStopWithItAndTheAcceptValues) {
    Session session = AccountingSession(SessionState::AccountingStart);
    const Bytes head = Concat({Item(44, Text("1001")), IntItem(40, 1), Item(1, Text("bob")), IntItem(5, 3)});
    EXPECT_EQ(BuildAccounting(session, "xyz"), MakeReply(4, 9, Bytes(16, 0), "xyz", head));

    session.state = SessionState::AccountingStop;
    session.accept.serviceType = 2;
    session.accept.framedProtocol = 1;
    session.accept.framedCompression = 0;
    session.accept.framedIpAddress = 0x0A000005;
    session.accept.loginService = 0;
    session.accept.loginIpHost = 0xC0A80101;
    session.accept.className = "gold";
    const Bytes stop = Concat({Item(44, Text("1001")), IntItem(40, 2), Item(1, Text("bob")), IntItem(5, 3),
                               IntItem(46, 90), IntItem(6, 2), IntItem(7, 1), IntItem(13, 0),
                               IntItem(8, 0x0A000005), IntItem(15, 0), IntItem(14, 0xC0A80101),
                               Item(25, Text("gold"))});
    EXPECT_EQ(BuildAccounting(session, "xyz"), MakeReply(4, 9, Bytes(16, 0), "xyz", stop));
}

TEST(BuildAccountingRequest, NasPortTakesAll32Bits) {
    Session session = AccountingSession(SessionState::AccountingStart);
    session.nasPort = 2147483647;  // the largest of LargeNasPorts
    EXPECT_EQ(ItemsOf(BuildAccounting(session, "xyz"), 5), IntValue(0x7FFFFFFF));
}

TEST(VerifyResponse, AcceptsTheServersDigestOnly) {
    const Bytes rfcAccept = Hex("02000026 86fe220e7624ba2a1005f6bf9b55e0b2 0606 00000001 0f06 00000000 0e06 c0a80103");
    EXPECT_TRUE(VerifyResponse(rfcAccept, Rfc2865Request(), "xyzzy5461"));

    const Authenticator request = CountingAuthenticator(0x10);
    const Bytes reply = MakeReply(2, 5, AsBytes(request), "secret", IntItem(6, 2));
    EXPECT_TRUE(VerifyResponse(reply, request, "secret"));
    EXPECT_FALSE(VerifyResponse(reply, request, "other"));
    EXPECT_FALSE(VerifyResponse(reply, CountingAuthenticator(0x11), "secret"));
    Bytes padded = reply;
    padded.push_back(0);  // octets beyond the Length field are covered by the digest
    EXPECT_FALSE(VerifyResponse(padded, request, "secret"));
    EXPECT_FALSE(VerifyResponse(std::span(reply).first(19), request, "secret"));
}

namespace {

// Filter-Id items that take exactly octets octets in a packet (never one octet alone).
void Fill(AttributeList& list, std::size_t octets) {
    while (octets > 0) {
        std::size_t item = std::min<std::size_t>(octets, 255);
        if (octets - item == 1) --item;
        list.Append(RadiusAttribute("Filter-Id", 11, std::string(item - 2, 'f')));
        octets -= item;
    }
}

}  // namespace

// The fit check measures with the builders' own code: a request of exactly 4096 octets fits and
// one of 4097 does not, whichever of the three requests grows. The accounting is measured with
// the most an Access-Accept can add to it. With a FreeRADIUS-format dictionary the lists also
// hold vendor items and hidden values: measured in their layouts and at their hidden length,
// and a hidden value in an accounting list, which its builder leaves out, not at all. Measuring
// logs nothing.
TEST(SessionRequestsFit, AgreesWithTheBuildersToTheOctet) {
    CapturingLogger log;
    TempFolder folder;
    folder.Write("t.dic",
                 "VENDOR Acme 9999\n"
                 "ATTRIBUTE Tunnel-Password 69 string has_tag,encrypt=2\n"
                 "ATTRIBUTE Hidden 2 string encrypt=1\n"
                 "BEGIN-VENDOR Acme\n"
                 "ATTRIBUTE Acme-Text 1 string\n"
                 "ATTRIBUTE Acme-Key 6 octets encrypt=2\n"
                 "END-VENDOR Acme\n");
    DictionarySet dictionaries((folder.Root() + "/").c_str());
    const Dictionary* freeRadius = dictionaries.Load("t.dic");
    ASSERT_NE(freeRadius, nullptr);
    const auto parse = [&](const char* name, const char* text, std::optional<std::uint8_t> tag = std::nullopt) {
        return *ParseValue(*freeRadius->FindByName(name), text, freeRadius, tag);
    };
    const RadiusAttribute dictionaryItems[] = {parse("Acme-Text", "abc"), parse("Acme-Key", "0x0102"),
                                               parse("Tunnel-Password", "pw", 1), parse("Hidden", "x")};

    struct Case {
        const char* name;
        SessionState built;  // Authenticating: the Access-Request
        bool messageAuthenticator;
    };
    const Case cases[] = {
        {"access", SessionState::Authenticating, false},
        {"access with Message-Authenticator", SessionState::Authenticating, true},
        {"accounting start", SessionState::AccountingStart, false},
        {"accounting stop", SessionState::AccountingStop, false},
    };
    const auto build = [](const Session& session, const Dictionary* dictionary, bool messageAuthenticator) {
        std::array<std::uint8_t, 2 * kMaxPacketLength> buffer{};
        return session.state == SessionState::Authenticating
                   ? BuildAccessRequest(buffer, session, CountingAuthenticator(), "s", dictionary, messageAuthenticator)
                   : BuildAccountingRequest(buffer, session, "s", dictionary);
    };
    for (const Dictionary* dictionary : {static_cast<const Dictionary*>(nullptr), freeRadius}) {
        for (const Case& c : cases) {
            for (int beyond : {-1, 0, 1}) {
                SCOPED_TRACE(testing::Message() << c.name << (dictionary ? ", vendor and hidden items" : "") << ", "
                                                << beyond << " octets beyond 4096");
                Session session = AccountingSession(c.built);
                session.password = "pw";
                session.accept = {.serviceType = 2, .framedProtocol = 1, .framedCompression = 0,
                                  .framedIpAddress = 0x0A000005, .loginService = 0, .loginIpHost = 1,
                                  .className = std::string(kMaxClassLength, 'g')};
                AttributeList& list = c.built == SessionState::Authenticating ? session.authAttributes
                                      : c.built == SessionState::AccountingStart ? session.acctStartAttributes
                                                                                  : session.acctStopAttributes;
                if (dictionary != nullptr)
                    for (const RadiusAttribute& item : dictionaryItems) list.Append(item);
                const auto target = static_cast<std::size_t>(static_cast<int>(kMaxPacketLength) + beyond);
                Fill(list, target - build(session, dictionary, c.messageAuthenticator));
                ASSERT_EQ(build(session, dictionary, c.messageAuthenticator), target);
                log.Clear();
                EXPECT_EQ(SessionRequestsFit(session, dictionary, c.messageAuthenticator), beyond <= 0);
                EXPECT_EQ(log.Lines(), std::vector<std::string>{});
            }
        }
    }
}
