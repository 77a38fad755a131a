#include "tests/responder/radius_wire.h"

#include <gtest/gtest.h>

#include <string>

namespace responder {
namespace {

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// RFC 2865 section 7.1: nemo, password "arctangent", secret "xyzzy5461".
const std::string kRfcAccessRequest =
    "010000380f403f9473978057bd83d5cb98f4227a01066e656d6f02120dbe708d93d413ce3196e43f782a0aee0406c0a8011005060000"
    "0003";
const std::string kRfcAccessAccept =
    "0200002686fe220e7624ba2a1005f6bf9b55e0b20606000000010f06000000000e06c0a80103";

// Captured from radclient (FreeRADIUS 3.2) with the secret MeadowLantern.
const std::string kRadclientAccessRequest =
    "011b003dd11988a73faf80e9dcbb9b6c77d864a80107616c696365022275773870ba09d8ec66c924491d7916658292e47fe55f22c8f35154"
    "2751bdea5b";
const std::string kRadclientAccountingStop =
    "04750030f4ceba080059b905d544cacfc7beea040107616c6963652806000000022c03370506000000032e060000003c";
const std::string kRadclientWithMessageAuthenticator =
    "011e003f8b5993b39f2d6993dca1aab020e557640107616c6963650212588919c010cd25ba9fb16db9d7852aa8501293cf13583d0487a6e2"
    "cfb5e4cfc103d4";

TEST(RadiusWire, RfcExampleDecodesRevealsItsPasswordAndMatchesItsAccept) {
    const Bytes datagram = FromHex(kRfcAccessRequest);
    std::string problem;
    const auto packet = DecodePacket(datagram, &problem);
    ASSERT_TRUE(packet) << problem;
    EXPECT_EQ(packet->code, kAccessRequest);
    EXPECT_EQ(packet->Find(kUserName)->AsText(), "nemo");
    EXPECT_EQ(packet->Find(kNasPort)->AsInteger(), 3u);
    EXPECT_EQ(RevealPassword(packet->Find(kUserPassword)->value, "xyzzy5461", packet->authenticator), "arctangent");

    const Bytes accept = FromHex(kRfcAccessAccept);
    const Authenticator expected = ResponseAuthenticator(accept, packet->authenticator, "xyzzy5461");
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), accept.begin() + 4));
}

TEST(RadiusWire, ReadsWhatRadclientHidesAndSigns) {
    const auto access = DecodePacket(FromHex(kRadclientAccessRequest), nullptr);
    ASSERT_TRUE(access);
    EXPECT_EQ(RevealPassword(access->Find(kUserPassword)->value, "MeadowLantern", access->authenticator),
              "averyveryverylongpassword12");  // two blocks

    Bytes stop = FromHex(kRadclientAccountingStop);
    Authenticator sent;
    std::copy(stop.begin() + 4, stop.begin() + 20, sent.begin());
    EXPECT_EQ(AccountingRequestAuthenticator(stop, "MeadowLantern"), sent);
    stop.back() ^= 1;  // Acct-Session-Time 61 instead of 60
    EXPECT_NE(AccountingRequestAuthenticator(stop, "MeadowLantern"), sent);

    Bytes signedRequest = FromHex(kRadclientWithMessageAuthenticator);
    EXPECT_EQ(VerifyMessageAuthenticator(signedRequest, "MeadowLantern"), true);
    EXPECT_EQ(VerifyMessageAuthenticator(FromHex(kRfcAccessRequest), "xyzzy5461"), std::nullopt);
    signedRequest[1] ^= 1;
    EXPECT_EQ(VerifyMessageAuthenticator(signedRequest, "MeadowLantern"), false);
}

TEST(RadiusWire, HiddenPasswordsComeBackWholeAndImpossibleLengthsAreRefused) {
    const Authenticator authenticator{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (std::size_t length : {0u, 16u, 17u, 128u}) {
        const std::string password(length, 'p');
        EXPECT_EQ(RevealPassword(HidePassword(password, "s", authenticator), "s", authenticator), password) << length;
    }
    // The simulator always pads, so a 16-character password may arrive as 32 octets.
    const Bytes padded = HidePassword(std::string("sixteen-chars-pw") + std::string(16, '\0'), "s", authenticator);
    EXPECT_EQ(RevealPassword(padded, "s", authenticator), "sixteen-chars-pw");
    for (std::size_t length : {0u, 15u, 17u, 144u})
        EXPECT_FALSE(RevealPassword(Bytes(length, 7), "s", authenticator)) << length;
}

TEST(RadiusWire, DecodeRejectsMalformedDatagramsAndIgnoresOctetsPastLength) {
    const std::string zeros(32, '0');
    const std::pair<std::string, const char*> cases[] = {
        {"020100", "shorter than a RADIUS header"},
        {"02010020" + zeros, "beyond the 20 octets"},
        {"02010016" + zeros + "1201", "with length 1"},
        {"02010017" + zeros + "1205aa", "runs beyond"},
    };
    for (const auto& [hex, expected] : cases) {
        std::string problem;
        EXPECT_FALSE(DecodePacket(FromHex(hex), &problem)) << hex;
        EXPECT_NE(problem.find(expected), std::string::npos) << hex << ": " << problem;
    }
    const auto packet = DecodePacket(FromHex("02010017" + zeros + "120341ff0001"), nullptr);
    ASSERT_TRUE(packet);
    ASSERT_EQ(packet->attributes.size(), 1u);
    EXPECT_EQ(packet->attributes[0].AsText(), "A");
}

}  // namespace
}  // namespace responder
