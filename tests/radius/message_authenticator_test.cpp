// Message-Authenticator (RFC 3579 section 3.2): known answers made by Python's hmac module
// (tests/tools/message_authenticator.py), and replies without, with a wrong and with a right
// one under each requirement.
#include "radius/message_authenticator.h"

#include <gtest/gtest.h>
#include <algorithm>

#include "engine_test_support.h"
#include "tests/support/capturing_logger.h"

using namespace radius_test;

namespace {

constexpr std::uint8_t kAccept = 2;

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

TEST(MessageAuthenticatorRequest, MatchesAnIndependentImplementationAndComesFirst) {
    Session session;
    session.userName = "alice";
    session.password = "alicepw";
    session.requestId = 7;
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length =
        BuildAccessRequest(buffer, session, CountingAuthenticator(), "testing123", nullptr, true);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)), Hex(kSignedRequest));
}

TEST(MessageAuthenticatorReply, ChecksAgainstTheRequestAuthenticator) {
    const Bytes signedAccept = Hex(kSignedAccept);
    auto check = [](const Bytes& reply, const std::string& secret = "testing123") {
        return CheckReplyMessageAuthenticator(reply, CountingAuthenticator(), secret);
    };
    Bytes padded = signedAccept;
    padded.insert(padded.end(), 5, 0);  // octets past the Length field are not covered
    Bytes changedMessage = signedAccept;
    changedMessage[23] = 'o';
    Bytes cut = signedAccept;  // the Length field ends before the item
    cut[3] = 24;
    EXPECT_EQ(check(signedAccept), MessageAuthenticatorCheck::Right);
    EXPECT_EQ(check(padded), MessageAuthenticatorCheck::Right);
    EXPECT_EQ(check(signedAccept, "testing124"), MessageAuthenticatorCheck::Wrong);
    EXPECT_EQ(check(changedMessage), MessageAuthenticatorCheck::Wrong);
    EXPECT_EQ(check(cut), MessageAuthenticatorCheck::Missing);
    EXPECT_EQ(check(Bytes(signedAccept.begin(), signedAccept.begin() + 19)), MessageAuthenticatorCheck::Missing);
}

TEST(MessageAuthenticatorEngine, RepliesUnderEachRequirement) {
    struct Case {
        int required;
        Carried carried;
        bool handled;
        const char* logged;  // the line at level 1, or null for none
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "required " << c.required << ", carried " << static_cast<int>(c.carried));
        CapturingLogger log;
        EngineHarness h;
        h.Engine().SetRequireMessageAuthenticator(c.required);
        ASSERT_TRUE(h.Add("alice"));
        EXPECT_EQ(h.Deliver(SignedReply(kAccept, 1, AuthenticatorOf(h.LastSent().bytes), h.Options().secret,
                                        c.carried)),
                  c.handled);
        EXPECT_EQ(log.LinesAt(1), c.logged ? std::vector<std::string>{c.logged} : std::vector<std::string>{});
        // A discarded reply leaves the request outstanding under its identifier.
        EXPECT_EQ(h.SessionOf("alice")->state,
                  c.handled ? SessionState::AccountingStart : SessionState::Authenticating);
        EXPECT_EQ(h.Engine().SessionByRequestId(1) != nullptr, !c.handled);
        EXPECT_EQ(h.Engine().Counters().authResponses, c.handled ? 1 : 0);
        EXPECT_EQ(h.Engine().Sessions().CheckConsistency(), "");
    }
}

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
}

}  // namespace
