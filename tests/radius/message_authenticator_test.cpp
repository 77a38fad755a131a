// Message-Authenticator (RFC 3579 section 3.2): known answers made by Python's hmac module
// (tests/tools/message_authenticator.py), every Access-Request signed when the option is on,
// and replies without, with a wrong and with a right one under each requirement.
#include "radius/message_authenticator.h"

#include <gtest/gtest.h>
#include <openssl/hmac.h>

#include "engine_test_support.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2, kAcctResponse = 5, kChallenge = 11;

Bytes Hex(std::string_view text) {
    Bytes bytes;
    for (std::size_t at = 0; at + 1 < text.size(); at += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(at, 2)), nullptr, 16)));
    return bytes;
}

Authenticator CountingAuthenticator() {
    Authenticator authenticator;
    for (std::size_t i = 0; i < authenticator.size(); ++i) authenticator[i] = static_cast<std::uint8_t>(i);
    return authenticator;
}

// alice / alicepw under identifier 7, Request Authenticator 00 01 .. 0f, secret testing123,
// signed by message_authenticator.py ("request").
const char* const kSignedRequest =
    "0107003f000102030405060708090a0b0c0d0e0f"
    "5012379e37ce1deca05c00090ec3b5ce5cc9"
    "0107616c696365"
    "0212f78260a9118d0d1a104607240014828b";
// An Access-Accept to it with Reply-Message "hi" and the Message-Authenticator last, signed by
// message_authenticator.py ("reply").
const char* const kSignedAccept =
    "0207002a371fa9d9a33109567edefe0cc23b5919"
    "12046869"
    "501233c622bddb923b10266282fd860bd729";

// The request's Message-Authenticator recomputed with OpenSSL's one-shot HMAC: the packet
// with the value zeroed. Empty when the packet has no such item first.
Bytes ExpectedRequestMac(Bytes packet, const std::string& secret) {
    if (packet.size() < 38 || packet[20] != 80 || packet[21] != 18) return {};
    std::fill(packet.begin() + 22, packet.begin() + 38, 0);
    unsigned char mac[16];
    unsigned int length = 0;
    HMAC(EVP_md5(), secret.data(), static_cast<int>(secret.size()), packet.data(), packet.size(), mac, &length);
    return Bytes(mac, mac + 16);
}

enum class Carried { Missing, Wrong, Right };

// A reply as a server signs it: the attributes, then a Message-Authenticator (unless Missing;
// a Wrong one has one bit flipped), then the Response Authenticator over all of it.
Bytes SignedReply(std::uint8_t replyCode, std::uint8_t id, const Bytes& requestAuthenticator,
                  const std::string& secret, Carried carried, const Bytes& attributes = {}) {
    if (carried == Carried::Missing) return MakeReply(replyCode, id, requestAuthenticator, secret, attributes);
    Bytes packet = Concat({{replyCode, id, 0, 0}, requestAuthenticator, attributes, {80, 18}, Bytes(16, 0)});
    packet[2] = static_cast<std::uint8_t>(packet.size() >> 8);
    packet[3] = static_cast<std::uint8_t>(packet.size());
    unsigned char mac[16];
    unsigned int length = 0;
    HMAC(EVP_md5(), secret.data(), static_cast<int>(secret.size()), packet.data(), packet.size(), mac, &length);
    if (carried == Carried::Wrong) mac[0] ^= 0x01;
    std::copy(mac, mac + 16, packet.end() - 16);
    const Bytes digest = Md5Of(Concat({packet, Text(secret)}));
    std::copy(digest.begin(), digest.end(), packet.begin() + 4);
    return packet;
}

// ---- The computation ----------------------------------------------------------------------

TEST(HmacMd5, MatchesRfc2202AcrossSplitInput) {
    // RFC 2202 section 2, test case 2.
    const std::string data = "what do ya want for nothing?";
    const auto bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    const HmacMd5Digest digest = HmacMd5("Jefe", {{bytes, 10}, {}, {bytes + 10, data.size() - 10}});
    EXPECT_EQ(Bytes(digest.begin(), digest.end()), Hex("750c783e6ab0b503eaa86e310a5db738"));
}

TEST(MessageAuthenticatorRequest, MatchesAnIndependentImplementationAndComesFirst) {
    Session session;
    session.userName = "alice";
    session.password = "alicepw";
    session.requestId = 7;
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length =
        BuildAccessRequest(buffer, session, CountingAuthenticator(), "testing123", nullptr, true);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)), Hex(kSignedRequest));

    // Without it the packet is the same but for those 18 octets.
    Bytes unsigned_ = Hex(kSignedRequest);
    unsigned_.erase(unsigned_.begin() + 20, unsigned_.begin() + 38);
    unsigned_[3] = static_cast<std::uint8_t>(unsigned_.size());
    const std::size_t plain = BuildAccessRequest(buffer, session, CountingAuthenticator(), "testing123", nullptr);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(plain)), unsigned_);

    // No room for it: no packet at all.
    EXPECT_EQ(BuildAccessRequest(std::span<std::uint8_t>(buffer).first(30), session, CountingAuthenticator(),
                                 "testing123", nullptr, true),
              0u);
}

TEST(MessageAuthenticatorReply, ChecksAgainstTheRequestAuthenticator) {
    const Authenticator request = CountingAuthenticator();
    const Bytes signedAccept = Hex(kSignedAccept);
    auto check = [&](const Bytes& reply, const Authenticator& authenticator = CountingAuthenticator()) {
        return CheckReplyMessageAuthenticator(reply, authenticator, "testing123");
    };
    EXPECT_EQ(check(signedAccept), MessageAuthenticatorCheck::Right);

    Bytes padded = signedAccept;
    padded.insert(padded.end(), 5, 0);  // octets past the Length field are not covered
    EXPECT_EQ(check(padded), MessageAuthenticatorCheck::Right);

    Authenticator otherRequest = request;
    otherRequest[15] ^= 1;
    EXPECT_EQ(check(signedAccept, otherRequest), MessageAuthenticatorCheck::Wrong);
    EXPECT_EQ(CheckReplyMessageAuthenticator(signedAccept, request, "testing124"), MessageAuthenticatorCheck::Wrong);

    Bytes changedMessage = signedAccept;
    changedMessage[23] = 'o';
    EXPECT_EQ(check(changedMessage), MessageAuthenticatorCheck::Wrong);
    Bytes changedValue = signedAccept;
    changedValue.back() ^= 0x80;
    EXPECT_EQ(check(changedValue), MessageAuthenticatorCheck::Wrong);

    // An item of length 17: malformed, so wrong.
    Bytes shortItem(signedAccept.begin(), signedAccept.end() - 1);
    shortItem[3] = static_cast<std::uint8_t>(shortItem.size());
    shortItem[25] = 17;
    EXPECT_EQ(check(shortItem), MessageAuthenticatorCheck::Wrong);

    // Cut off before the item by the Length field, or no item at all, or no header.
    Bytes cut = signedAccept;
    cut[3] = 24;
    EXPECT_EQ(check(cut), MessageAuthenticatorCheck::Missing);
    EXPECT_EQ(check(MakeReply(kAccept, 7, Bytes(request.begin(), request.end()), "testing123")),
              MessageAuthenticatorCheck::Missing);
    EXPECT_EQ(check(Bytes(signedAccept.begin(), signedAccept.begin() + 19)), MessageAuthenticatorCheck::Missing);
}

// ---- The engine's requests ----------------------------------------------------------------

TEST(MessageAuthenticatorEngine, EveryAccessRequestIsSignedAccountingIsNot) {
    EngineHarness h;
    h.Engine().SetMessageAuthenticator(true);
    h.Engine().SetChallengeCallback([&](const char*, const char*, const std::string*) {
        return h.Add("answer", "1234");  // the challenge answer is a session of its own
    });
    const std::string& secret = h.Options().secret;

    ASSERT_TRUE(h.Add("alice"));
    h.AdvanceAndTick(5001);  // a retransmission, with a fresh authenticator
    ASSERT_EQ(h.SentCount(), 2u);
    ASSERT_TRUE(h.Answer(kAccept));  // the accounting start goes out
    ASSERT_TRUE(h.Add("carol"));
    ASSERT_TRUE(h.Answer(kChallenge));

    std::vector<std::uint8_t> codes;
    for (const SentDatagram& sent : h.Socket().sent) {
        codes.push_back(sent.Code());
        if (sent.Code() == 1) {
            EXPECT_EQ(ItemsOf(sent.bytes, 80), std::vector<Bytes>{ExpectedRequestMac(sent.bytes, secret)});
            EXPECT_EQ(sent.bytes[38], 1) << "User-Name follows it";
        } else {
            EXPECT_TRUE(ItemsOf(sent.bytes, 80).empty());
        }
    }
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{1, 1, 4, 1, 1}));
    EXPECT_NE(AuthenticatorOf(h.Socket().sent[0].bytes), AuthenticatorOf(h.Socket().sent[1].bytes));
}

TEST(MessageAuthenticatorEngine, ItsEighteenOctetsCountInTheSizeCheck) {
    // 20 + User-Name "u" (3) + User-Password (18) + 4055 octets of attributes: exactly 4096.
    AttributeList list;
    for (int i = 0; i < 15; ++i) list.Append(RadiusAttribute("Filler", 77, std::string(253, 'x')));
    list.Append(RadiusAttribute("Filler", 77, std::string(228, 'x')));
    for (const bool on : {false, true}) {
        CapturingLogger log;
        EngineHarness h;
        h.Engine().SetMessageAuthenticator(on);
        EXPECT_EQ(h.Add("u", "pw", 10, list), !on);
        if (!on) {
            EXPECT_EQ(h.LastSent().bytes.size(), kMaxPacketLength);
        }
    }
}

// ---- Replies under each requirement -------------------------------------------------------

struct ReplyCase {
    int required;
    Carried carried;
    bool handled;
    const char* logged;  // the line at level 1, or null for none
};

TEST(MessageAuthenticatorEngine, RepliesUnderEachRequirement) {
    const ReplyCase cases[] = {
        {0, Carried::Missing, true, nullptr},
        {0, Carried::Wrong, true, "Message-Authenticator wrong in reply: 1"},
        {0, Carried::Right, true, nullptr},
        {1, Carried::Missing, true, "Message-Authenticator missing in reply: 1"},
        {1, Carried::Wrong, true, "Message-Authenticator wrong in reply: 1"},
        {1, Carried::Right, true, nullptr},
        {2, Carried::Missing, false, "Message-Authenticator missing in reply: 1 - reply discarded"},
        {2, Carried::Wrong, false, "Message-Authenticator wrong in reply: 1 - reply discarded"},
        {2, Carried::Right, true, nullptr},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "required " << c.required << ", carried " << static_cast<int>(c.carried));
        CapturingLogger log;
        EngineHarness h;
        h.Engine().SetRequireMessageAuthenticator(c.required);
        ASSERT_TRUE(h.Add("alice"));
        const Bytes reply = SignedReply(kAccept, 1, AuthenticatorOf(h.LastSent().bytes), h.Options().secret, c.carried);

        EXPECT_EQ(h.Deliver(reply), c.handled);
        EXPECT_EQ(log.LinesAt(1), c.logged ? std::vector<std::string>{c.logged} : std::vector<std::string>{});
        const Session* session = h.SessionOf("alice");
        ASSERT_NE(session, nullptr);
        EXPECT_EQ(CheckInvariants(h.Engine(), h.Options().nasPorts), "");
        if (c.handled) {
            EXPECT_EQ(session->state, SessionState::AccountingStart);
            EXPECT_EQ(h.Engine().Counters().authResponses, 1);
            EXPECT_EQ(h.Lines().size(), 1u);
            continue;
        }
        // Untouched: the request is still outstanding under its identifier.
        EXPECT_EQ(session->state, SessionState::Authenticating);
        EXPECT_EQ(session->requestId, 1);
        EXPECT_EQ(h.Engine().SessionByRequestId(1), session);
        EXPECT_EQ(h.Engine().Counters().authResponses, 0);
        EXPECT_TRUE(h.Lines().empty());
        EXPECT_EQ(h.Engine().LastError(), std::string(c.logged));
        // ... so it is sent again, and dropped after its last transmission.
        for (int transmission = 2; transmission <= 4; ++transmission) {
            h.AdvanceAndTick(5001);
            EXPECT_EQ(h.SentCount(), static_cast<std::size_t>(transmission));
        }
        h.AdvanceAndTick(5001);
        EXPECT_EQ(h.Engine().SessionCount(), 0u);
        EXPECT_EQ(h.Lines(), std::vector<std::string>{"alice: No response from server - Dropping request."});
    }
}

TEST(MessageAuthenticatorEngine, AccountingRepliesAreNotChecked) {
    CapturingLogger log;
    EngineHarness h;
    h.Engine().SetRequireMessageAuthenticator(2);
    ASSERT_TRUE(h.Add("alice"));
    ASSERT_TRUE(h.Deliver(SignedReply(kAccept, 1, AuthenticatorOf(h.LastSent().bytes), h.Options().secret,
                                      Carried::Right)));
    const SentDatagram start = h.LastSent();
    ASSERT_EQ(start.Code(), 4);
    // Neither missing nor wrong matters for an Accounting-Response.
    ASSERT_TRUE(h.Deliver(SignedReply(kAcctResponse, start.Id(), AuthenticatorOf(start.bytes), h.Options().secret,
                                      Carried::Wrong)));
    EXPECT_EQ(h.SessionOf("alice")->state, SessionState::Active);
    EXPECT_TRUE(log.LinesAt(1).empty());
}

TEST(MessageAuthenticatorEngine, RequirementIsClampedToItsThreeValues) {
    EngineHarness h;
    const std::pair<int, int> cases[] = {{-3, 0}, {0, 0}, {1, 1}, {2, 2}, {7, 2}};
    for (const auto& [given, kept] : cases) {
        h.Engine().SetRequireMessageAuthenticator(given);
        EXPECT_EQ(h.Engine().RequireMessageAuthenticator(), kept) << given;
    }
}

// ---- The hint -----------------------------------------------------------------------------

TEST(MessageAuthenticatorEngine, UnansweredAccessRequestsHintAtTheOptionOncePerEngine) {
    const std::string hint =
        "No reply to an Access-Request: the server may require Message-Authenticator "
        "(set MessageAuthenticator=1 in [Options])";
    for (const bool on : {false, true}) {
        CapturingLogger log;
        EngineHarness h({.resendAuth = false});
        h.Engine().SetMessageAuthenticator(on);
        ASSERT_TRUE(h.Add("first"));
        ASSERT_TRUE(h.Add("second"));
        h.AdvanceAndTick(5001);  // both dropped
        ASSERT_TRUE(h.Add("third"));
        h.AdvanceAndTick(5001);
        EXPECT_EQ(h.Lines().size(), 3u);
        const auto errors = log.LinesAt(1);
        EXPECT_EQ(std::count(errors.begin(), errors.end(), hint), on ? 0 : 1) << on;
    }
    // Accounting that goes unanswered says nothing of it.
    CapturingLogger log;
    EngineHarness h({.resendAcct = false});
    ASSERT_TRUE(h.Add("alice"));
    ASSERT_TRUE(h.Answer(kAccept));
    h.AdvanceAndTick(15001);
    EXPECT_FALSE(log.Contains(hint));
}

}  // namespace
