// Dictionaries in FreeRADIUS's format: told from the own format by their keywords, every
// keyword, type and flag read or refused with its line, includes either way, and FreeRADIUS's
// own tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "protocol/dictionary.h"
#include "tests/protocol/dictionary_files.h"
#include "tests/support/capturing_logger.h"

namespace {

using Lines = std::vector<std::string>;

const char* const kFreeRadiusTree = "/usr/share/freeradius/";

TEST(FreeRadiusDictionaryTest, EachFaultyLineIsReportedWithItsNumber) {
    const std::string vendor = "VENDOR Acme 9999\n";  // line 1: makes the file FreeRADIUS's
    const std::string longName(128, 'n');
    struct Case {
        std::string text;     // the file t.dic
        const char* message;  // the last level-0 line without " of dictionary: t.dic"; nullptr: loads
    } cases[] = {
        {vendor + "BEGIN-VENDOR Acme\nATTRIBUTE Acme-X 1 string # remark\nEND-VENDOR Acme\nVALUE Acme-X Y 0x10\n"
                  "$INCLUDE- none.dic\n#\n\n",
         nullptr},
        {vendor + "FLAGS internal\n", "Unknown keyword 'FLAGS' on line 2"},
        {vendor + "\x1b[2J x\n", "Unknown keyword '\\1b[2J' on line 2"},
        {vendor + "INCLUDE x.dic\n", "Unknown keyword 'INCLUDE' on line 2"},
        {vendor + "ATTRIBUTE X 1\n", "Invalid ATTRIBUTE entry on line 2"},
        {vendor + "ATTRIBUTE X 1 string has_tag more\n", "Invalid ATTRIBUTE entry on line 2"},
        {vendor + "ATTRIBUTE " + longName + " 1 string\n", "Attribute name too long on line 2"},
        {vendor + "ATTRIBUTE X one string\n", "Invalid attribute number 'one' on line 2"},
        {vendor + "ATTRIBUTE X 1..2 string\n", "Invalid attribute number '1..2' on line 2"},
        {vendor + "ATTRIBUTE X 1 strng\n", "Unknown type 'strng' on line 2"},
        {vendor + "ATTRIBUTE X 1 octets[254]\n", "Unknown type 'octets[254]' on line 2"},
        {vendor + "ATTRIBUTE X 1 string crypt=1\n", "Unknown flag or vendor 'crypt=1' on line 2"},
        {vendor + "ATTRIBUTE X 1 ipaddr has_tag\n", "has_tag does not suit the type 'ipaddr' on line 2"},
        {vendor + "ATTRIBUTE X 1 string array\n", "array does not suit the type 'string' on line 2"},
        {"VENDOR Acme 0\n", "Invalid vendor number '0' on line 1"},
        {"VENDOR Acme 9999 format=3,1\n", "Invalid vendor format 'format=3,1' on line 1"},
        {"VENDOR Acme 9999 format=2,1,c\n", "Invalid vendor format 'format=2,1,c' on line 1"},
        {vendor + "BEGIN-VENDOR Other\n", "Unknown vendor 'Other' on line 2"},
        {vendor + "END-VENDOR Acme\n", "END-VENDOR 'Acme' without its BEGIN-VENDOR on line 2"},
        {vendor + "BEGIN-VENDOR Acme\nATTRIBUTE X 1 string\n", "BEGIN-VENDOR 'Acme' without END-VENDOR on line 2"},
        {vendor + "ATTRIBUTE X 256 string Acme\n", "Attribute number 256 too large for vendor 'Acme' on line 2"},
        {vendor + "VENDOR Other 8\nBEGIN-VENDOR Acme\nATTRIBUTE X 1 string Other\n",
         "Vendor 'Other' inside the block of 'Acme' on line 4"},
        {vendor + "BEGIN-VENDOR Acme format=Extended-Vendor-Specific-7\n",
         "Invalid BEGIN-VENDOR format 'format=Extended-Vendor-Specific-7' on line 2"},
        {vendor + "BEGIN-TLV T\nATTRIBUTE X 1 byte\n", "BEGIN-TLV 'T' without END-TLV on line 2"},
        {vendor + "END-TLV T\n", "END-TLV 'T' without its BEGIN-TLV on line 2"},
        {vendor + "VALUE X Y\n", "Invalid VALUE entry on line 2"},
        {vendor + "VALUE X Y 1x\n", "Invalid value number '1x' on line 2"},
        {vendor + "$INCLUDE none.dic\n", "Failure opening an Include dictionary on line 2"},
        {vendor + std::string(1100, 'x') + "\n", "Line too long on line 2"},
    };
    for (const Case& c : cases)
        ExpectLoadOutcome(c.text, c.message ? (std::string(c.message) + " of dictionary: t.dic").c_str() : nullptr);
}

TEST(FreeRadiusDictionaryTest, OnlyTheFormatsOwnKeywordsTypesAndFlagsMakeAFileFreeRadiuss) {
    struct Case {
        const char* text;
        DictionaryFormat format;
    } const cases[] = {
        {"ATTRIBUTE X 1 string # note\nVENDORS ignored\n VENDOR indented 1\n", DictionaryFormat::Native},
        {"ATTRIBUTE X 26 [vendor=9 data=string]\n", DictionaryFormat::Native},
        {"ATTRIBUTE State 24 octets\n", DictionaryFormat::FreeRadius},
        {"ATTRIBUTE User-Password 2 string encrypt=1\n", DictionaryFormat::FreeRadius},
        {"ATTRIBUTE X 3 octets[16]\n", DictionaryFormat::FreeRadius},
        {"end-vendor\n", DictionaryFormat::FreeRadius},  // refused, but as FreeRADIUS's
    };
    for (const Case& c : cases) {
        CapturingLogger log;
        DictionaryFiles files;
        files.Write("t.dic", c.text);
        const Dictionary* dictionary = files.Set().Load("t.dic");
        const bool native = c.format == DictionaryFormat::Native;
        ASSERT_EQ(dictionary != nullptr, c.text[0] != 'e') << c.text;
        if (dictionary) EXPECT_EQ(dictionary->Format(), c.format) << c.text;
        if (!dictionary) EXPECT_EQ(log.LinesAt(0).back(), "Invalid END-VENDOR entry on line 1 of dictionary: t.dic");
        if (native) EXPECT_EQ(dictionary->FindByName("X")->format, DictionaryFormat::Native);
    }
}

// Each flag, and each kind of definition that is never sent. (How each vendor format lays its
// attributes out is in freeradius_values_test.cpp, octet for octet.)
TEST(FreeRadiusDefinitionsTest, FlagsAndWhatIsNeverSent) {
    CapturingLogger log;
    DictionaryFiles files;
    const Dictionary* dictionary = files.Load(
        "t.dic",
        "VENDOR Acme 9999\n"
        "ATTRIBUTE Tunnel-Type 64 integer has_tag\n"
        "ATTRIBUTE Tunnel-Password 69 string has_tag,encrypt=2\n"
        "ATTRIBUTE Secret-Key 90 octets[16] encrypt=1\n"
        "ATTRIBUTE Auth-Type 1000 integer\n"
        "ATTRIBUTE Ext 241 extended\n"
        "ATTRIBUTE Ext-Child 241.1 integer\n"
        "ATTRIBUTE Addresses 91 ipaddr array\n"
        "ATTRIBUTE Old-Style 7 string Acme\n"
        "BEGIN-VENDOR Acme\n"
        "ATTRIBUTE Acme-Tlv 20 tlv\n"
        "BEGIN-TLV Acme-Tlv\nATTRIBUTE Acme-Member 1 short\nEND-TLV Acme-Tlv\n"
        "ATTRIBUTE Acme-Ascend 21 string encrypt=3\n"
        "END-VENDOR Acme\n"
        "BEGIN-VENDOR Acme format=Extended-Vendor-Specific-5\nATTRIBUTE Acme-Extended 1 string\nEND-VENDOR Acme\n");
    ASSERT_NE(dictionary, nullptr) << log.Lines().back();
    EXPECT_TRUE(dictionary->FindByName("Tunnel-Type")->hasTag);
    EXPECT_EQ(dictionary->FindByName("Tunnel-Password")->hiding, ValueHiding::TunnelPassword);
    const AttributeDef* key = dictionary->FindByName("Secret-Key");
    EXPECT_EQ(key->hiding, ValueHiding::UserPassword);
    EXPECT_EQ(key->fixedLength, 16);
    EXPECT_TRUE(dictionary->FindByName("Addresses")->array);
    EXPECT_EQ(dictionary->FindVendorAttribute(9999, 7)->name, "Old-Style");  // the older form of a vendor's
    struct Case {
        const char* name;
        Unsendable why;
    } const cases[] = {
        {"Tunnel-Type", Unsendable::No},          {"Auth-Type", Unsendable::Internal},
        {"Ext", Unsendable::Type},                {"Ext-Child", Unsendable::TlvMember},
        {"Acme-Tlv", Unsendable::Type},           {"Acme-Member", Unsendable::TlvMember},
        {"Acme-Ascend", Unsendable::Encryption},  {"Acme-Extended", Unsendable::ExtendedVendor},
    };
    for (const Case& c : cases) EXPECT_EQ(dictionary->FindByName(c.name)->unsendable, c.why) << c.name;
}

TEST(FreeRadiusIncludeTest, IncludesWorkBothWaysRelativeToTheIncludingFile) {
    CapturingLogger log;
    DictionaryFiles files;
    files.Write("vendors/dictionary.acme", "VENDOR Acme 9999\nBEGIN-VENDOR Acme\nATTRIBUTE Acme-X 1 string\n"
                                           "END-VENDOR Acme\n$INCLUDE dictionary.more\n");
    files.Write("vendors/dictionary.more", "VENDOR More 5\nATTRIBUTE More-Y 2 string More\n");
    files.Write("own.dic", "ATTRIBUTE Own-Z 3 string\nINCLUDE own-deep.dic\n");
    files.Write("own-deep.dic", "ATTRIBUTE Own-Deep 4 string\n");
    files.Write("dictionary", "$INCLUDE vendors/dictionary.acme\n$INCLUDE own.dic\n");
    const Dictionary* top = files.Load("top.dic", "INCLUDE dictionary\nATTRIBUTE Top 5 string\n");
    ASSERT_NE(top, nullptr) << log.Lines().back();
    // The FreeRADIUS file holds what it includes, however deep; the own one its includes only.
    EXPECT_EQ(top->FindByName("Acme-X")->vendorId, 9999u);
    EXPECT_EQ(top->FindByName("More-Y")->vendorId, 5u);
    EXPECT_NE(top->FindByName("Own-Z"), nullptr);
    EXPECT_NE(top->FindByName("Own-Deep"), nullptr);  // own.dic sees it, so the FreeRADIUS file does
    EXPECT_NE(files.Set().Find("vendors/dictionary.more"), nullptr);
    EXPECT_EQ(files.Set().Load("own.dic")->FindByName("Acme-X"), nullptr);
    // Lines both formats read: the including file's format decides.
    for (const char* copy : {"values", "values2"})
        files.Write(copy, "VALUE Acme-X A-Value-Name-Longer-Than-Thirty-One 1\n");
    EXPECT_EQ(files.Load("fr.dic", "$INCLUDE values\n")->Format(), DictionaryFormat::FreeRadius);
    EXPECT_EQ(files.Load("own2.dic", "INCLUDE values2\n"), nullptr);  // "Invalid Name length"
    // An absolute $INCLUDE.
    const Dictionary* absolute = files.Load("abs.dic", "$INCLUDE " + files.Folder() + "own-deep.dic\n");
    ASSERT_NE(absolute, nullptr);
    EXPECT_NE(absolute->FindByName("Own-Deep"), nullptr);
    // Cycles stop as in the own format.
    files.Write("a", "$INCLUDE b\n");
    files.Write("b", "$INCLUDE a\n");
    EXPECT_EQ(files.Set().Load("a"), nullptr);
}

TEST(FreeRadiusIncludeTest, TheDefinitionReadLastWinsAndValuesBelongToTheirAttribute) {
    CapturingLogger log;
    DictionaryFiles files;
    files.Write("dictionary.old", "ATTRIBUTE Client-Id 4 ipaddr\nVALUE Service-Type Framed 2\n");
    files.Write("dictionary.new", "ATTRIBUTE NAS-IP-Address 4 ipaddr\nATTRIBUTE Service-Type 6 integer\n"
                                  "VALUE Service-Type Framed-User 2\n"
                                  "ATTRIBUTE Other 7 integer\nVALUE Other Framed 9\n");
    const Dictionary* d = files.Load("dictionary", "$INCLUDE dictionary.old\n$INCLUDE dictionary.new\n");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->FindByNumber(4)->name, "NAS-IP-Address");
    EXPECT_EQ(d->FindByName("Client-Id")->number, 4);
    EXPECT_EQ(d->FindValueOf("Service-Type", 2)->valueName, "Framed-User");
    EXPECT_EQ(d->FindValueNamed("Service-Type", "Framed")->value, 2);
    EXPECT_EQ(d->FindValueNamed("Other", "Framed")->value, 9);
}

TEST(FreeRadiusTreeTest, TheWholeInstalledTreeLoads) {
    if (!std::filesystem::exists(std::string(kFreeRadiusTree) + "dictionary")) GTEST_SKIP() << "no FreeRADIUS";
    CapturingLogger log;
    DictionarySet set(kFreeRadiusTree);
    const Dictionary* d = set.Load("dictionary");
    EXPECT_EQ(log.LinesAt(0), Lines{});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->FindByNumber(4)->name, "NAS-IP-Address");  // not dictionary.compat's Client-Id
    EXPECT_EQ(d->FindByNumber(26)->name, "Vendor-Specific");
    EXPECT_EQ(d->FindByName("Cisco-AVPair")->vendorId, 9u);
    EXPECT_EQ(d->FindByName("Lucent-Max-Shared-Users")->vendorFormat.typeSize, 2);
    EXPECT_EQ(d->FindByName("User-Password")->hiding, ValueHiding::UserPassword);
    EXPECT_EQ(d->FindByName("Auth-Type")->unsendable, Unsendable::Internal);
    EXPECT_EQ(d->FindValueOf("Service-Type", 2)->valueName, "Framed-User");
}

}  // namespace
