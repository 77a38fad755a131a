// Attributes of FreeRADIUS's own dictionaries as Pelvok encodes them, octet for octet against
// encoders of their own (tests/tools/reference_encode.py): pyrad where it knows the attribute,
// and FreeRADIUS's radclient for what Debian's pyrad 2.1 cannot write (a vendor's format=2,1
// or 4,0, integer64, tags).
#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "protocol/dictionary.h"
#include "protocol/radius_attribute.h"
#include "protocol/typed_values.h"
#include "tests/responder/child_process.h"
#include "tests/support/capturing_logger.h"

namespace integration {
namespace {

using std::chrono::milliseconds;

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kTree = "/usr/share/freeradius/";

std::optional<std::string> Missing() {
    if (::access((std::string(kTree) + "dictionary").c_str(), R_OK) != 0) return "FreeRADIUS's dictionaries";
    if (::access("/usr/bin/radclient", X_OK) != 0) return "radclient (freeradius-utils)";
    responder::ChildProcess probe;
    if (!probe.Start({kPython, "-c", "import pyrad.packet"}) || probe.Wait(milliseconds(10000)) != 0)
        return "Debian's python3-pyrad";
    return std::nullopt;
}

std::string Reference(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{kPython, PELVOK_REFERENCE_ENCODE};
    command.insert(command.end(), arguments.begin(), arguments.end());
    responder::ChildProcess encoder;
    if (!encoder.Start(command)) return "could not start the encoder";
    const std::string output = encoder.ReadAll(milliseconds(15000));
    return encoder.Wait(milliseconds(5000)) == 0 ? output : "failed: " + output;
}

TEST(ReferenceEncoding, FreeRadiusAttributesMatchIndependentEncodersOctetForOctet) {
    if (const auto missing = Missing()) GTEST_SKIP() << "not installed: " << *missing;
    CapturingLogger log;
    DictionarySet set(kTree);
    const Dictionary* dictionary = set.Load("dictionary");
    ASSERT_NE(dictionary, nullptr);
    struct Case {
        const char* name;
        const char* value;
        std::vector<std::string> reference;  // reference_encode.py's arguments
        std::optional<std::uint8_t> tag = std::nullopt;
    };
    const std::string pyrad = "pyrad";
    const Case cases[] = {
        {"Cisco-AVPair", "shell:priv-lvl=15",
         {pyrad, std::string(kTree) + "dictionary.cisco", "Cisco-AVPair", "shell:priv-lvl=15"}},
        {"Framed-IPv6-Address", "2001:db8::1",
         {pyrad, std::string(kTree) + "dictionary.rfc6911", "Framed-IPv6-Address", "2001:db8::1"}},
        {"Cisco-AVPair", "shell:priv-lvl=15", {"radclient", "Cisco-AVPair", "\"shell:priv-lvl=15\""}},
        {"Lucent-Max-Shared-Users", "3", {"radclient", "Lucent-Max-Shared-Users", "3"}},  // format=2,1
        {"USR-Last-Number-Dialed-Out", "123", {"radclient", "USR-Last-Number-Dialed-Out", "\"123\""}},  // 4,0
        {"Acct-Input-Octets-64", "1234567890123", {"radclient", "Acct-Input-Octets-64", "1234567890123"}},
        {"Framed-IPv6-Prefix", "2001:db8::/32", {"radclient", "Framed-IPv6-Prefix", "2001:db8::/32"}},
        {"Event-Timestamp", "1700000000", {"radclient", "Event-Timestamp", "1700000000"}},
        {"Tunnel-Type", "L2TP", {"radclient", "Tunnel-Type:1", "L2TP"}, 1},
    };
    for (const Case& c : cases) {
        const AttributeDef* definition = dictionary->FindByName(c.name);
        ASSERT_NE(definition, nullptr) << c.name;
        const std::optional<RadiusAttribute> attribute = ParseValue(*definition, c.value, dictionary, c.tag);
        ASSERT_TRUE(attribute.has_value()) << c.name << ": " << log.Lines().back();
        std::uint8_t item[kMaxAttributeItemLength];
        ByteWriter out(item, sizeof item);
        ASSERT_GT(attribute->Encode(out, dictionary), 0u) << c.name;
        const std::string ours = HexText(out.Written()).substr(2);
        const std::string theirs = Reference(c.reference);
        EXPECT_NE(theirs.find(ours + "\n"), std::string::npos)
            << c.name << "=" << c.value << " (" << c.reference[0] << ")\nours:   " << ours << "\ntheirs: " << theirs;
    }
}

}  // namespace
}  // namespace integration
