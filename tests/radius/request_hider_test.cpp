// Hidden attribute values of an Access-Request, against known answers that
// tests/tools/hidden_values.py computed with Python's hashlib (the User-Password one agrees with
// pyrad's PwCrypt too).
#include "radius/request_hider.h"

#include <gtest/gtest.h>

#include "engine_test_support.h"

using namespace radius_test;

namespace {

const char* const kSecret = "MeadowLantern";

// Hands out the given octets in turn, over and over.
class ScriptedRandomSource : public RandomSource {
public:
    explicit ScriptedRandomSource(Bytes octets) : octets_(std::move(octets)) {}
    void Fill(std::uint8_t* out, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) out[i] = octets_[next_++ % octets_.size()];
    }

private:
    Bytes octets_;
    std::size_t next_ = 0;
};

Bytes Hidden(RequestHider& hider, ValueHiding hiding, const std::string& plain) {
    std::uint8_t buffer[300];
    ByteWriter out(buffer, sizeof buffer);
    EXPECT_TRUE(hider.Hide(hiding, Text(plain), out));
    EXPECT_EQ(out.Position(), HiddenLength(hiding, plain.size()));
    return Bytes(buffer, buffer + out.Position());
}

}  // namespace

TEST(RequestHider, HidesAsRfc2865And2868SayWithFreshSalts) {
    const Authenticator authenticator = CountingAuthenticator(0);
    ScriptedRandomSource salts({0x01, 0x23});
    RequestHider hider(kSecret, authenticator, salts);
    struct Case {
        ValueHiding hiding;
        std::string plain;
        const char* hidden;
    } const cases[] = {
        {ValueHiding::UserPassword, "hidde", "b95574a50ea600175ba0910aedc4d770"},
        {ValueHiding::UserPassword, std::string(20, 'x'),
         "a94468b913de786f23d8e97295bcaf08f70fc26444a7d112d67259c97a4cddc3"},
        {ValueHiding::TunnelPassword, "secret-pass", "8123175f0f1fd8026986a7b2938e6ce07fc8"},
    };
    for (const Case& c : cases) EXPECT_EQ(Hidden(hider, c.hiding, c.plain), Hex(c.hidden)) << c.plain;

    // RFC 2868 section 3.5: the salts of one packet differ and have their high bit set.
    ScriptedRandomSource repeating({0x00, 0x01, 0x00, 0x01, 0x7F, 0xFF});
    RequestHider twoSalts(kSecret, authenticator, repeating);
    const Bytes first = Hidden(twoSalts, ValueHiding::TunnelPassword, "a");
    const Bytes second = Hidden(twoSalts, ValueHiding::TunnelPassword, "a");
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 2), (Bytes{0x80, 0x01}));
    EXPECT_EQ(Bytes(second.begin(), second.begin() + 2), (Bytes{0xFF, 0xFF}));
}

TEST(BuildAccessRequest, HiddenAttributesAreHiddenWithThePacketsAuthenticator) {
    Session session;
    session.requestId = 7;
    session.userName = "alice";
    session.password = "hello";
    RadiusAttribute tunnelPassword("Tunnel-Password", 69, std::string("\x02") + "yyyyyyyyyyyyyyyy");
    tunnelPassword.hiding = ValueHiding::TunnelPassword;
    tunnelPassword.tagged = true;  // the tag 2 stays in the clear
    session.authAttributes.Append(tunnelPassword);
    const Authenticator authenticator = CountingAuthenticator(0);
    ScriptedRandomSource salts({0x01, 0x23});
    std::array<std::uint8_t, kMaxPacketLength> buffer{};
    const std::size_t length = BuildAccessRequest(buffer, session, authenticator, kSecret, nullptr, false, &salts);
    const Bytes item =
        Concat({{69, 37, 2}, Hex("81230c551305d31e64d2aeaa9984159906b1d46cedaf43c45708160b396a01531b93")});
    ASSERT_GE(length, item.size());
    const Bytes packet(buffer.begin(), buffer.begin() + static_cast<long>(length));
    EXPECT_EQ(Bytes(packet.end() - static_cast<long>(item.size()), packet.end()), item);
    EXPECT_TRUE(SessionRequestsFit(session, nullptr));
}
