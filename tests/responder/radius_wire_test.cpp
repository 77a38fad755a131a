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

// Captured from radclient with a Message-Authenticator, secret MeadowLantern.
const std::string kRadclientWithMessageAuthenticator =
    "011e003f8b5993b39f2d6993dca1aab020e557640107616c6963650212588919c010cd25ba9fb16db9d7852aa8501293cf13583d0487a6e2"
    "cfb5e4cfc103d4";

TEST(RadiusWire, ChecksARadclientMessageAuthenticator) {
    Bytes datagram = FromHex(kRadclientWithMessageAuthenticator);
    EXPECT_EQ(VerifyMessageAuthenticator(datagram, "MeadowLantern"), true);
    EXPECT_EQ(VerifyMessageAuthenticator(datagram, "other"), false);
    EXPECT_EQ(VerifyMessageAuthenticator(FromHex(kRfcAccessRequest), "xyzzy5461"), std::nullopt);
    datagram[1] ^= 1;
    EXPECT_EQ(VerifyMessageAuthenticator(datagram, "MeadowLantern"), false);
}

TEST(RadiusWire, DecodesTheRfcExampleAndRevealsItsPassword) {
    const Bytes datagram = FromHex(kRfcAccessRequest);
    std::string problem;
    const auto packet = DecodePacket(datagram, &problem);
    ASSERT_TRUE(packet) << problem;
    EXPECT_EQ(packet->code, kAccessRequest);
    ASSERT_EQ(packet->attributes.size(), 4u);
    EXPECT_EQ(packet->Find(kUserName)->AsText(), "nemo");
    EXPECT_EQ(packet->Find(kNasPort)->AsInteger(), 3u);
    EXPECT_EQ(RevealPassword(packet->Find(kUserPassword)->value, "xyzzy5461", packet->authenticator), "arctangent");
    EXPECT_NE(RevealPassword(packet->Find(kUserPassword)->value, "xyzzy5462", packet->authenticator), "arctangent");
}

TEST(RadiusWire, RfcAcceptCarriesTheResponseAuthenticatorWeCompute) {
    const Bytes request = FromHex(kRfcAccessRequest);
    const Bytes accept = FromHex(kRfcAccessAccept);
    Authenticator requestAuthenticator;
    std::copy(request.begin() + 4, request.begin() + 20, requestAuthenticator.begin());
    const Authenticator expected = ResponseAuthenticator(accept, requestAuthenticator, "xyzzy5461");
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), accept.begin() + 4));
}

TEST(RadiusWire, RevealsARadclientPasswordOfTwoBlocks) {
    const Bytes datagram = FromHex(kRadclientAccessRequest);
    const auto packet = DecodePacket(datagram, nullptr);
    ASSERT_TRUE(packet);
    const WireAttribute* hidden = packet->Find(kUserPassword);
    ASSERT_EQ(hidden->value.size(), 32u);
    EXPECT_EQ(RevealPassword(hidden->value, "MeadowLantern", packet->authenticator), "averyveryverylongpassword12");
}

TEST(RadiusWire, VerifiesARadclientAccountingAuthenticator) {
    Bytes datagram = FromHex(kRadclientAccountingStop);
    Authenticator sent;
    std::copy(datagram.begin() + 4, datagram.begin() + 20, sent.begin());
    EXPECT_EQ(AccountingRequestAuthenticator(datagram, "MeadowLantern"), sent);
    EXPECT_NE(AccountingRequestAuthenticator(datagram, "MeadowLanterN"), sent);
    datagram.back() ^= 1;  // Acct-Session-Time 61 instead of 60
    EXPECT_NE(AccountingRequestAuthenticator(datagram, "MeadowLantern"), sent);
}

TEST(RadiusWire, HiddenPasswordsComeBackWhole) {
    const Authenticator authenticator{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    struct Case {
        std::size_t length;
        std::size_t hiddenLength;
    };
    for (const Case& c : {Case{0, 16}, Case{1, 16}, Case{15, 16}, Case{16, 16}, Case{17, 32}, Case{64, 64},
                          Case{128, 128}}) {
        std::string password;
        for (std::size_t i = 0; i < c.length; ++i) password.push_back(static_cast<char>('a' + i % 26));
        const Bytes hidden = HidePassword(password, "MeadowLantern", authenticator);
        EXPECT_EQ(hidden.size(), c.hiddenLength) << c.length;
        EXPECT_EQ(RevealPassword(hidden, "MeadowLantern", authenticator), password) << c.length;
    }
}

TEST(RadiusWire, PasswordPaddedWithAnExtraBlockStillReveals) {
    // The simulator always pads, so a 16-character password arrives as 32 octets.
    const Authenticator authenticator{};
    std::string padded = "sixteen-chars-pw";
    padded.append(16, '\0');
    const Bytes hidden = HidePassword(padded, "s", authenticator);
    ASSERT_EQ(hidden.size(), 32u);
    EXPECT_EQ(RevealPassword(hidden, "s", authenticator), "sixteen-chars-pw");
}

TEST(RadiusWire, RefusesHiddenPasswordsOfImpossibleLength) {
    const Authenticator authenticator{};
    for (std::size_t length : {0u, 1u, 15u, 17u, 144u})
        EXPECT_FALSE(RevealPassword(Bytes(length, 7), "s", authenticator)) << length;
}

TEST(RadiusWire, DecodeRejectsMalformedDatagrams) {
    struct Case {
        const char* name;
        std::string hex;
        const char* problem;
    };
    const std::string header = "0201" "0014" "00000000000000000000000000000000";
    const Case cases[] = {
        {"shorter than a header", "020100", "shorter than a RADIUS header"},
        {"Length below 20", "0201" "0013" + header.substr(8), "below 20"},
        {"Length beyond the data", "0201" "0020" + header.substr(8), "beyond the 20 octets"},
        {"attribute length 1", "0201" "0016" + header.substr(8) + "1201", "with length 1"},
        {"attribute past the end", "0201" "0017" + header.substr(8) + "1205aa", "runs beyond"},
        {"attribute header cut", "0201" "0015" + header.substr(8) + "12", "cut off"},
    };
    for (const Case& c : cases) {
        std::string problem;
        EXPECT_FALSE(DecodePacket(FromHex(c.hex), &problem)) << c.name;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
    }
}

TEST(RadiusWire, OctetsBeyondTheLengthFieldAreIgnored) {
    Bytes datagram = FromHex("0201" "0017" "00000000000000000000000000000000" "1203" "41");
    datagram.insert(datagram.end(), {0xff, 0x00, 0x01});
    const auto packet = DecodePacket(datagram, nullptr);
    ASSERT_TRUE(packet);
    ASSERT_EQ(packet->attributes.size(), 1u);
    EXPECT_EQ(packet->attributes[0].AsText(), "A");
}

TEST(RadiusWire, EncodeThenDecodeKeepsEverything) {
    WirePacket packet;
    packet.code = kAccessChallenge;
    packet.identifier = 200;
    packet.authenticator[15] = 9;
    packet.attributes = {WireAttribute::Text(kReplyMessage, "Enter PIN"), WireAttribute::Integer(kServiceType, 2),
                         *WireAttribute::Address(kFramedIpAddress, "10.0.0.5")};
    const Bytes encoded = EncodePacket(packet);
    ASSERT_EQ(encoded.size(), 20u + 11 + 6 + 6);
    const auto decoded = DecodePacket(encoded, nullptr);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->identifier, 200);
    EXPECT_EQ(decoded->authenticator, packet.authenticator);
    EXPECT_EQ(decoded->Find(kReplyMessage)->AsText(), "Enter PIN");
    EXPECT_EQ(decoded->Find(kFramedIpAddress)->value, (Bytes{10, 0, 0, 5}));
    packet.attributes.push_back(WireAttribute{kClass, Bytes(254, 'x')});
    EXPECT_TRUE(EncodePacket(packet).empty());
}

TEST(RadiusWire, AddressAttributeNeedsADottedQuad) {
    EXPECT_TRUE(WireAttribute::Address(8, "192.168.0.1"));
    for (const char* text : {"10.0.0", "256.1.1.1", "1.2.3.4x", "", "a.b.c.d"})
        EXPECT_FALSE(WireAttribute::Address(8, text)) << text;
}

}  // namespace
}  // namespace responder
