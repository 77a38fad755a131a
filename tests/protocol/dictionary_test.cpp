#include "protocol/dictionary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/protocol/dictionary_files.h"
#include "tests/support/capturing_logger.h"

namespace {

const std::string kName32(32, 'n');
const std::string kName33(33, 'n');
const std::string kName31(31, 'v');

struct LineCase {
    const char* what;
    std::string text;     // the dictionary file
    const char* message;  // the expected level-0 line, nullptr when the file loads
};

class DictionaryLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(DictionaryLines, ReportsEachLineErrorWithItsNumber) {
    CapturingLogger log;
    DictionaryFiles files;
    const LineCase& c = GetParam();
    const Dictionary* dictionary = files.Load("t.dic", c.text);
    if (c.message == nullptr) {
        EXPECT_NE(dictionary, nullptr);
        EXPECT_TRUE(log.LinesAt(0).empty()) << log.LinesAt(0)[0];
    } else {
        EXPECT_EQ(dictionary, nullptr);
        // The line's own report comes last (an included file may have reported before it).
        ASSERT_FALSE(log.LinesAt(0).empty());
        EXPECT_EQ(log.LinesAt(0).back(), c.message);
        EXPECT_EQ(files.Set().Find("t.dic"), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DictionaryLines,
    ::testing::Values(
        LineCase{"lowercase keyword and type", "attribute User-Name 1 STRING\n", nullptr},
        LineCase{"keyword after a blank is ignored", " ATTRIBUTE X\n\tVALUE\nFOO bar\n", nullptr},
        LineCase{"Attributes counts as ATTRIBUTE", "#c\nAttributes X 1\n", "Invalid attribute on line 2 of dictionary: t.dic"},
        LineCase{"32-character name", std::string("ATTRIBUTE ") + kName32 + " 1 string\n", nullptr},
        LineCase{"33-character name", std::string("\n\nATTRIBUTE ") + kName33 + " 1 string\n",
                 "Invalid name length on line 3 of dictionary: t.dic"},
        LineCase{"negative number", "ATTRIBUTE X -1 string\n", "Invalid value on line 1 of dictionary: t.dic"},
        LineCase{"hex number reads as 0", "ATTRIBUTE X 0x1A string\n", nullptr},
        LineCase{"unknown type", "ATTRIBUTE X 1 int\n", "Invalid Type on line 1 of dictionary: t.dic"},
        LineCase{"remark against the type", "ATTRIBUTE X 1 string#note\n", "Invalid Type on line 1 of dictionary: t.dic"},
        LineCase{"remark after a blank", "ATTRIBUTE X 1 string #note\n", nullptr},
        LineCase{"complex without ]", "ATTRIBUTE X 26 [vendor=9\n", "Invalid Complex Type on line 1 of dictionary: t.dic"},
        LineCase{"] before [", "ATTRIBUTE X] 26 [vendor=9\n", "Invalid Complex Type on line 1 of dictionary: t.dic"},
        LineCase{"token without =", "ATTRIBUTE X 26 [vendor 9]\n", "Invalid Complex Type on line 1 of dictionary: t.dic"},
        LineCase{"size 3", "ATTRIBUTE X 26 [vendor3=9]\n", "Invalid Complex Type Size on line 1 of dictionary: t.dic"},
        LineCase{"data of no type", "ATTRIBUTE X 26 [data=octets]\n", "Invalid Type on line 1 of dictionary: t.dic"},
        LineCase{"data of the complex type", "ATTRIBUTE X 26 [data=[x]\n", "Invalid Type on line 1 of dictionary: t.dic"},
        LineCase{"empty layout", "ATTRIBUTE X 26 []\n", nullptr},
        LineCase{"value with three fields", "VALUE A B\n", "Invalid Value entry on line 1 of dictionary: t.dic"},
        LineCase{"value names at their limits", std::string("VALUE ") + kName32 + std::string(" ") + kName31 + " 1\n", nullptr},
        LineCase{"value attribute name too long", std::string("VALUE ") + kName33 + " B 1\n",
                 "Invalid Attribute length on line 1 of dictionary: t.dic"},
        LineCase{"value name too long", std::string("VALUE A ") + kName32 + " 1\n", "Invalid Name length on line 1 of dictionary: t.dic"},
        LineCase{"value negative", "VALUE A B -1\n", "Invalid Value on line 1 of dictionary: t.dic"},
        LineCase{"include without name", "INCLUDE\n", "Invalid Include entry on line 1 of dictionary: t.dic"},
        LineCase{"include of a missing file", "INCLUDE none.dic\n",
                 "Failure opening an Include dictionary on line 1 of dictionary: t.dic"},
        LineCase{"include of itself", "# x\nINCLUDE T.DIC\n",
                 "Failure opening an Include dictionary on line 2 of dictionary: t.dic"},
        // 300 characters: a piece of 259 and a piece of 41, each a line of its own.
        LineCase{"long line in pieces", std::string("# ") + std::string(257, 'x') + "ATTRIBUTE X\n",
                 "Invalid attribute on line 2 of dictionary: t.dic"},
        LineCase{"line of exactly 259 characters", std::string("#") + std::string(258, 'x') + "\nATTRIBUTE X\n",
                 "Invalid attribute on line 2 of dictionary: t.dic"},
        LineCase{"CR LF line ends", "ATTRIBUTE X 1 string\r\nVALUE X Y 1\r\n", nullptr},
        LineCase{"binary junk", std::string("\x00\xff\x01" "ATTRIBUTE\n\xfe\xfe\n", 16), nullptr}),
    [](const ::testing::TestParamInfo<LineCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST(DictionaryLayout, ReadsFieldsSizesAndDataType) {
    CapturingLogger log;
    DictionaryFiles files;
    const Dictionary* d = files.Load("t.dic", "ATTRIBUTE V 26 [vendor=9 type1=1 len1=+2 data=string]\n"
                                              "ATTRIBUTE W 26 [  id2=-7   LEN=4 data=integer x=abc]\n");
    ASSERT_NE(d, nullptr);
    const AttributeDef* v = d->FindByName("V");
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->fields.size(), 4u);
    EXPECT_EQ(v->type, ValueType::Complex);
    EXPECT_EQ(v->dataType, ValueType::String);
    EXPECT_EQ(v->fields[0].kind, ComplexFieldKind::Constant);
    EXPECT_EQ(v->fields[0].size, 4);
    EXPECT_EQ(v->fields[0].value, 9);
    EXPECT_EQ(v->fields[2].kind, ComplexFieldKind::LengthPlus);
    EXPECT_EQ(v->fields[2].size, 1);
    EXPECT_EQ(v->fields[2].value, 2);
    EXPECT_EQ(v->fields[3].kind, ComplexFieldKind::Data);
    EXPECT_EQ(v->HeaderLength(), 6);

    const AttributeDef* w = d->FindByName("W");
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->fields.size(), 4u);
    EXPECT_EQ(w->fields[0].size, 2);
    EXPECT_EQ(w->fields[0].value, -7);
    EXPECT_EQ(w->fields[1].kind, ComplexFieldKind::Length);
    EXPECT_EQ(w->fields[1].value, 4);
    EXPECT_EQ(w->fields[3].value, 0);  // no digits
    EXPECT_EQ(w->dataType, ValueType::Integer);
    EXPECT_EQ(w->HeaderLength(), 6);
}

TEST(DictionaryMatches, WalksTheLayout) {
    AttributeDef def;
    def.type = ValueType::Complex;
    def.fields = {{ComplexFieldKind::Constant, 4, 9}, {ComplexFieldKind::Constant, 1, 1},
                  {ComplexFieldKind::LengthPlus, 1, 2}, {ComplexFieldKind::Data, 4, 0}};
    const std::vector<std::uint8_t> fits{0, 0, 0, 9, 1, 5, 'a', 'b', 'c'};
    const std::vector<std::uint8_t> otherVendor{0, 0, 1, 55, 1, 5, 'a'};
    const std::vector<std::uint8_t> shortVendor{0, 0};
    const std::vector<std::uint8_t> headerOnly{0, 0, 0, 9};
    EXPECT_TRUE(def.Matches(fits));
    EXPECT_FALSE(def.Matches(otherVendor));
    EXPECT_FALSE(def.Matches(shortVendor));
    EXPECT_TRUE(def.Matches(headerOnly));  // nothing remains after the constants
    EXPECT_FALSE(def.Matches(nullptr, 0));  // no octets: only plain definitions match

    AttributeDef plain;
    EXPECT_TRUE(plain.Matches(nullptr, 0));
    EXPECT_FALSE(plain.Matches(fits));
}

class DictionaryLookups : public ::testing::Test {
protected:
    CapturingLogger log;
    DictionaryFiles files;
};

TEST_F(DictionaryLookups, IncludesAreSearchedOneLevelDeep) {
    files.Write("c.dic", "ATTRIBUTE In-C 3 string\nVALUE In-C CV 3\n");
    files.Write("b.dic", "INCLUDE c.dic\nATTRIBUTE In-B 2 string\nVALUE In-B BV 2\n");
    const Dictionary* a = files.Load("a.dic", "INCLUDE \"b.dic\"\nATTRIBUTE In-A 1 string\n");
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a->FindByNumber(1), nullptr);
    EXPECT_NE(a->FindByNumber(2), nullptr);
    EXPECT_EQ(a->FindByNumber(3), nullptr);
    EXPECT_NE(a->FindByName("In-B"), nullptr);
    EXPECT_EQ(a->FindByName("In-C"), nullptr);
    EXPECT_NE(a->FindValue("BV"), nullptr);
    EXPECT_EQ(a->FindValue("CV"), nullptr);
    EXPECT_EQ(files.Set().Count(), 3u);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(DictionaryLookups, SecondIncludeOfTheSameNameReusesTheDictionary) {
    files.Write("extra.dic", "ATTRIBUTE E 5 string\n");
    files.Write("b.dic", "INCLUDE EXTRA.DIC\n");
    const Dictionary* a = files.Load("a.dic", "INCLUDE \"extra.dic\"\nINCLUDE b.dic\n");
    ASSERT_NE(a, nullptr);
    const Dictionary* b = files.Set().Find("B.DIC");
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(a->Includes().size(), 2u);
    EXPECT_EQ(a->Includes()[0], b->Includes()[0]);
    EXPECT_EQ(files.Set().Count(), 3u);
    EXPECT_EQ(files.Set().Load("Extra.Dic"), a->Includes()[0]);
}

TEST_F(DictionaryLookups, ErrorInIncludedFileReportsBothLines) {
    files.Write("bad.dic", "ATTRIBUTE Ok 1 string\n\nVALUE x\n");
    files.Write("good.dic", "ATTRIBUTE G 1 string\n");
    EXPECT_EQ(files.Load("main.dic", "INCLUDE good.dic\n# x\nINCLUDE bad.dic\n"), nullptr);
    EXPECT_EQ(log.LinesAt(0), (std::vector<std::string>{
                                  "Invalid Value entry on line 3 of dictionary: bad.dic",
                                  "Failure opening an Include dictionary on line 3 of dictionary: main.dic"}));
    EXPECT_NE(files.Set().Find("good.dic"), nullptr);  // loaded earlier, stays loaded
    EXPECT_EQ(files.Set().Find("main.dic"), nullptr);
}

TEST_F(DictionaryLookups, IncludeCycleThroughAnotherFileFails) {
    files.Write("b.dic", "INCLUDE a.dic\n");
    EXPECT_EQ(files.Load("a.dic", "INCLUDE b.dic\n"), nullptr);
    EXPECT_EQ(log.LinesAt(0), (std::vector<std::string>{
                                  "Failure opening an Include dictionary on line 1 of dictionary: b.dic",
                                  "Failure opening an Include dictionary on line 1 of dictionary: a.dic"}));
}

TEST_F(DictionaryLookups, DeepIncludeChainEndsWithAMessage) {
    const auto fileName = [](int i) {
        std::string name = "d";
        name += std::to_string(i);
        name += ".dic";
        return name;
    };
    for (int i = 0; i < 100; ++i) files.Write(fileName(i), "INCLUDE " + fileName(i + 1) + "\n");
    files.Write("d100.dic", "ATTRIBUTE X 1 string\n");
    EXPECT_EQ(files.Set().Load("d0.dic"), nullptr);
    EXPECT_FALSE(log.LinesAt(0).empty());
}

TEST_F(DictionaryLookups, NamesAreCaseSensitiveAndSortedStably) {
    const Dictionary* d = files.Load("t.dic",
                                     "ATTRIBUTE User-Name 1 string\n"
                                     "ATTRIBUTE Dup 7 string\n"
                                     "ATTRIBUTE Second 7 integer\n"
                                     "ATTRIBUTE Dup 8 integer\n"
                                     "ATTRIBUTE Big 300 integer\n");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->FindByName("user-name"), nullptr);
    ASSERT_NE(d->FindByName("User-Name"), nullptr);
    EXPECT_EQ(d->FindByNumber(7)->name, "Dup");      // file order among equal numbers
    EXPECT_EQ(d->FindByName("Dup")->number, 7);      // file order among equal names
    EXPECT_EQ(d->FindByNumber(300)->name, "Big");
    EXPECT_EQ(d->FindByNumber(300 & 0xFF), nullptr);
}

TEST_F(DictionaryLookups, FindValueTakesTheFirstAttributeInNameOrder) {
    const Dictionary* d = files.Load("t.dic",
                                     "VALUE Zeta Same 2\n"
                                     "VALUE Alpha Same 1\n"
                                     "VALUE Undefined Other 5\n"
                                     "ATTRIBUTE Alpha 9 integer\n");
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->FindValue("Same"), nullptr);
    EXPECT_EQ(d->FindValue("Same")->value, 1);
    EXPECT_EQ(d->FindValue("Other")->value, 5);
    EXPECT_EQ(d->FindValue("same"), nullptr);
}

TEST_F(DictionaryLookups, FindComplexFallsBackToThePlainDefinition) {
    const Dictionary* d = files.Load("t.dic",
                                     "ATTRIBUTE Vendor-Specific 26 string\n"
                                     "ATTRIBUTE V9 26 [vendor=9 type1=1 len1=+2 data=string]\n"
                                     "ATTRIBUTE V311 26 [vendor=311 type1=1 len1=+2 data=string]\n");
    ASSERT_NE(d, nullptr);
    const std::vector<std::uint8_t> v311{0, 0, 1, 55, 1, 3, 'x'};
    const std::vector<std::uint8_t> unknown{0, 0, 0, 1, 1, 3, 'x'};
    EXPECT_EQ(d->FindComplex(26, v311)->name, "V311");
    EXPECT_EQ(d->FindComplex(26, unknown)->name, "Vendor-Specific");
    EXPECT_EQ(d->FindComplex(26, nullptr, 0)->name, "Vendor-Specific");
    EXPECT_EQ(d->FindComplex(27, unknown), nullptr);
}

TEST(DictionarySetTest, OnlyTheFirstSetIsRegistered) {
    CapturingLogger log;
    {
        DictionarySet first("");
        EXPECT_EQ(DictionarySet::Instance(), &first);
        DictionarySet second("");
        EXPECT_EQ(DictionarySet::Instance(), &first);
        EXPECT_EQ(log.LinesAt(0), std::vector<std::string>{"Trying to create more then one DictionarySet"});
    }
    EXPECT_EQ(DictionarySet::Instance(), nullptr);
}

TEST(DictionarySetTest, IncludesLoadThroughTheRegisteredSetOnly) {
    CapturingLogger log;
    DictionaryFiles files(false);
    files.Write("x.dic", "ATTRIBUTE X 1 string\n");
    files.Write("t.dic", "INCLUDE x.dic\n");
    files.Write("u.dic", "\nINCLUDE x.dic\n");
    auto registered = std::make_unique<DictionarySet>(files.Folder().c_str());
    DictionarySet unregistered(files.Folder().c_str());
    EXPECT_NE(unregistered.Load("t.dic"), nullptr);
    EXPECT_NE(registered->Find("x.dic"), nullptr);
    EXPECT_EQ(unregistered.Find("x.dic"), nullptr);

    registered.reset();
    log.Clear();
    EXPECT_EQ(unregistered.Load("u.dic"), nullptr);
    EXPECT_EQ(log.LinesAt(0), std::vector<std::string>{"Include directive not supported on line 2 of dictionary: u.dic"});
}

TEST(DictionarySetTest, MissingFileNamesTheFullPath) {
    CapturingLogger log;
    DictionarySet set("/nonexistent-pelvok/");
    EXPECT_EQ(set.Load(), nullptr);
    EXPECT_EQ(log.LinesAt(0), std::vector<std::string>{"Couldn't open dictionary: /nonexistent-pelvok/default.dic"});
}

TEST(DictionarySetTest, ShippedDefaultDictionaryLoadsCleanly) {
    CapturingLogger log;
    DictionarySet set(PELVOK_DATA_DIR);
    const Dictionary* d = set.Load();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Name(), "default.dic");
    EXPECT_EQ(set.Load(nullptr), d);  // loaded once
    EXPECT_TRUE(log.LinesAt(0).empty());
    EXPECT_EQ(d->FindByName("User-Name")->number, 1);
    EXPECT_EQ(d->FindByName("Message-Authenticator")->number, 80);
    EXPECT_EQ(d->FindByName("Example-AVPair")->type, ValueType::Complex);
    EXPECT_EQ(d->FindValue("Framed-User")->value, 2);
    EXPECT_EQ(d->FindValue("Interim-Update")->value, 3);
    EXPECT_EQ(d->FindByNumber(26)->name, "Vendor-Specific");
}

}  // namespace
