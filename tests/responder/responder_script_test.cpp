#include "tests/responder/responder_script.h"

#include <gtest/gtest.h>

namespace responder {
namespace {

TEST(ResponderScript, ReadsSettingsRulesAndFaults) {
    const char* text = R"(# a comment
[responder]
secret = Other
port = 41000

[default]
answer = reject
Reply-Message = Unknown user

[user alice]
password = alicepw
Framed-IP-Address = 10.0.0.5
attribute = 26:0x00000009
faults_on = start | stop
late_after = 3
)";
    ResponderScript script;
    std::string error;
    ASSERT_TRUE(ParseResponderScript(text, script, error)) << error;
    EXPECT_EQ(script.secret, "Other");
    EXPECT_EQ(script.port, 41000);
    EXPECT_EQ(script.defaultRule.answer, Answer::Reject);
    EXPECT_EQ(script.defaultRule.replyMessage, "Unknown user");

    const Rule& alice = script.users.at("alice");
    EXPECT_EQ(alice.password, "alicepw");
    ASSERT_EQ(alice.attributes.size(), 2u);
    EXPECT_EQ(alice.attributes[0].value, (Bytes{10, 0, 0, 5}));
    EXPECT_EQ(alice.attributes[1].value, (Bytes{0, 0, 0, 9}));
    ASSERT_EQ(alice.faults.size(), 1u);
    EXPECT_EQ(alice.faults[0].afterRequests, 3);
    EXPECT_EQ(alice.faults[0].on, unsigned{kAccountingStartPackets | kAccountingStopPackets});
}

TEST(ResponderScript, NamesTheLineOfTheFirstMistake) {
    const std::pair<const char*, const char*> cases[] = {
        {"answer = accept\n", "line 1: key outside a section"},
        {"[user x]\nanswer = maybe\n", "line 2: answer must be accept, reject or challenge"},
        {"[user x]\nFramed-IP-Address = 10.0.0\n", "line 2: bad value for framed-ip-address"},
        {"[user x]\nsilent = 0\n", "line 2: silent takes a count or all"},
        {"[responder]\nport = 65535\n", "line 2: port must be 0 to 65534"},
        {"[user x]\nColour = blue\n", "line 2: unknown key colour"},
    };
    for (const auto& [text, expected] : cases) {
        ResponderScript script;
        std::string error;
        EXPECT_FALSE(ParseResponderScript(text, script, error)) << text;
        EXPECT_EQ(error.rfind(expected, 0), 0u) << text << " gave: " << error;
    }
    ResponderScript script;
    std::string error;
    EXPECT_FALSE(LoadResponderScript("/nonexistent/pelvok/script.ini", script, error));
    EXPECT_EQ(error, "cannot open /nonexistent/pelvok/script.ini");
}

}  // namespace
}  // namespace responder
