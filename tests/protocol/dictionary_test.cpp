#include "protocol/dictionary.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/protocol/dictionary_files.h"
#include "tests/support/capturing_logger.h"

namespace {

using Lines = std::vector<std::string>;

TEST(DictionaryLinesTest, EachFaultyLineIsReportedWithItsNumber) {
    const std::string n32(32, 'n'), n33(33, 'n');
    struct Case {
        std::string text;     // the file t.dic
        const char* message;  // the last level-0 line, nullptr when the file loads
    } cases[] = {
        {"attribute User-Name 1 STRING\r\n VALUE ignored\n#x\nVALUE User-Name Y 1 #x\n", nullptr},
        {"#c\nAttributes X 1\n", "Invalid attribute on line 2 of dictionary: t.dic"},
        {"ATTRIBUTE " + n32 + " 1 string\n\nATTRIBUTE " + n33 + " 1 string\n",
         "Invalid name length on line 3 of dictionary: t.dic"},
        {"ATTRIBUTE X -1 string\n", "Invalid value on line 1 of dictionary: t.dic"},
        {"ATTRIBUTE X 1 int\n", "Invalid Type on line 1 of dictionary: t.dic"},
        {"ATTRIBUTE X 26 [vendor=9\n", "Invalid Complex Type on line 1 of dictionary: t.dic"},
        {"ATTRIBUTE X 26 [vendor3=9]\n", "Invalid Complex Type Size on line 1 of dictionary: t.dic"},
        {"VALUE A B\n", "Invalid Value entry on line 1 of dictionary: t.dic"},
        {"VALUE " + n33 + " B 1\n", "Invalid Attribute length on line 1 of dictionary: t.dic"},
        {"VALUE A " + n32 + " 1\n", "Invalid Name length on line 1 of dictionary: t.dic"},
        {"INCLUDE\n", "Invalid Include entry on line 1 of dictionary: t.dic"},
        {"INCLUDE none.dic\n", "Failure opening an Include dictionary on line 1 of dictionary: t.dic"},
        // 300 characters are read as a line of 259 and one of 41.
        {"# " + std::string(257, 'x') + "ATTRIBUTE X\n", "Invalid attribute on line 2 of dictionary: t.dic"},
    };
    for (const Case& c : cases) ExpectLoadOutcome(c.text, c.message);
}

class DictionaryTest : public ::testing::Test {
protected:
    CapturingLogger log;
    DictionaryFiles files;
};

TEST_F(DictionaryTest, IncludesAreSearchedOneLevelDeepAndLoadedOnceByNameInAnyCase) {
    files.Write("c.dic", "ATTRIBUTE In-C 3 string\nVALUE In-C CV 3\n");
    files.Write("b.dic", "INCLUDE C.DIC\nATTRIBUTE In-B 2 string\nVALUE In-B BV 2\n");
    const Dictionary* a = files.Load("a.dic", "INCLUDE c.dic\nINCLUDE \"b.dic\"\nATTRIBUTE In-A 1 string\n");
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a->FindByName("In-B"), nullptr);
    EXPECT_NE(a->FindValue("BV"), nullptr);
    const Dictionary* b = files.Set().Find("B.Dic");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->FindByNumber(3)->name, "In-C");
    EXPECT_EQ(b->FindValue("CV")->value, 3);
    EXPECT_EQ(files.Set().Load("b.dic")->FindByNumber(3), b->FindByNumber(3));
    EXPECT_EQ(files.Set().Count(), 3u);  // c.dic once: loaded names match in any case
    EXPECT_EQ(log.Lines(), Lines{});

    files.Write("x.dic", "INCLUDE b.dic\n");
    const Dictionary* x = files.Set().Load("x.dic");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->FindByName("In-C"), nullptr);  // two levels down
    EXPECT_EQ(x->FindValue("CV"), nullptr);
}

TEST_F(DictionaryTest, IncludeCyclesAndDeepChainsFailWithAMessage) {
    files.Write("b.dic", "INCLUDE a.dic\n");
    EXPECT_EQ(files.Load("a.dic", "INCLUDE b.dic\n"), nullptr);
    EXPECT_EQ(log.LinesAt(0), (Lines{"Failure opening an Include dictionary on line 1 of dictionary: b.dic",
                                     "Failure opening an Include dictionary on line 1 of dictionary: a.dic"}));

    log.Clear();
    for (int i = 0; i < 100; ++i) files.Write(std::to_string(i) + ".dic", "INCLUDE " + std::to_string(i + 1) + ".dic\n");
    files.Write("100.dic", "ATTRIBUTE X 1 string\n");
    EXPECT_EQ(files.Set().Load("0.dic"), nullptr);
    EXPECT_FALSE(log.LinesAt(0).empty());
}

TEST_F(DictionaryTest, AnIncludedFifoIsRefusedAtOnceWithItsReason) {
    const std::string fifo = files.Set().Directory() + "pipe.dic";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // nobody writes to it: opening it would wait
    EXPECT_EQ(files.Load("a.dic", "INCLUDE pipe.dic\n"), nullptr);
    EXPECT_EQ(log.LinesAt(0), (Lines{"Couldn't open dictionary: " + fifo, fifo + ": not a regular file",
                                     "Failure opening an Include dictionary on line 1 of dictionary: a.dic"}));
}

TEST(DictionarySetTest, ShippedDefaultDictionaryLoadsCleanly) {
    CapturingLogger log;
    DictionarySet set(PELVOK_DATA_DIR);
    const Dictionary* d = set.Load();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(log.LinesAt(0), Lines{});
    EXPECT_EQ(d->FindByName("Message-Authenticator")->number, 80);
    EXPECT_EQ(d->FindByName("Example-AVPair")->type, ValueType::Complex);
    EXPECT_EQ(d->FindValue("Framed-User")->value, 2);
}

}  // namespace
