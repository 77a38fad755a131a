// The text store: what it reads and how it rewrites the file in place.
#include <gtest/gtest.h>

#include "infra/config_dbs_txt.h"
#include "tests/infra/temp_folder.h"
#include "tests/support/capturing_logger.h"

namespace {

std::string ReadString(ConfigDbs& store, const char* section, const char* key,
                       const char* fallback = "dflt", unsigned size = 64) {
    std::vector<char> buffer(size + 1, '#');
    EXPECT_TRUE(store.ReadOption(section, key, fallback, buffer.data(), size));
    return buffer.data();
}

class ConfigDbsTxtTest : public ::testing::Test {
protected:
    std::string Path() const { return folder_.Path("pelvok.conf"); }
    ConfigDbsTxt Store(const char* prefix = nullptr) const {
        return ConfigDbsTxt(Path().c_str(), prefix);
    }
    TempFolder folder_;
    CapturingLogger log_;
};

TEST_F(ConfigDbsTxtTest, ReadsFollowTheGrammar) {
    folder_.Write("pelvok.conf",
                  "[Logs]\n"
                  "File1 =spaced\n"
                  "FILE2=  as stored  \n"
                  "File3=\n"
                  "Long=" + std::string(3000, 'v') + "\n" +
                  "[logs]\n"
                  "File7=second occurrence\n"
                  "[Pelvok/Logs]\n"
                  "File1=prefixed\n");
    auto store = Store();
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"Logs", "File1", "dflt"},  // a space before "=" is not the key's line
        {"Logs", "file2", "  as stored  "},
        {"Logs", "File3", ""},  // empty value, not the default
        {"Logs", "File7", "dflt"},  // only the first occurrence of a section is searched
    };
    for (const auto& [section, key, expected] : cases)
        EXPECT_EQ(ReadString(store, section, key), expected) << section << "/" << key;

    auto prefixed = Store("Pelvok");
    EXPECT_EQ(ReadString(prefixed, "Logs", "File1"), "prefixed");
    EXPECT_EQ(ReadString(store, "Logs", "FILE2", "", 5), "  as");
    EXPECT_EQ(ReadString(store, "Logs", "Long", "", 4000), std::string(3000, 'v'));
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(ConfigDbsTxtTest, WritesRewriteInPlace) {
    struct Case {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* after;
        const char* prefix = nullptr;
    } cases[] = {
        {"existing key replaced, comments and order kept",
         "; head\n[Logs]\n# note\nfile1=OFF\nFile2=ON\n[B]\nFile1=x\n", "Logs", "File1",
         "; head\n[Logs]\n# note\nFile1=NEW\nFile2=ON\n[B]\nFile1=x\n"},
        {"inserted before a blank line", "[Logs]\nFile2=ON\n\n[B]\nx=1\n", "Logs", "File1",
         "[Logs]\nFile2=ON\nFile1=NEW\n\n[B]\nx=1\n"},
        {"inserted before the next header; its same key untouched",
         "[Logs]\nFile2=ON\n[B]\nFile1=keep\n", "Logs", "File1",
         "[Logs]\nFile2=ON\nFile1=NEW\n[B]\nFile1=keep\n"},
        {"missing section appended with a blank line", "[A]\nx=1\n", "Logs", "File1",
         "[A]\nx=1\n\n[Logs]\nFile1=NEW\n"},
        {"line ends rewritten, a spaced key is not the key", "[Logs]\r\nFile1 =old\r\n", "Logs",
         "File1", "[Logs]\nFile1 =old\nFile1=NEW\n"},
        {"the empty section is the top of the file", "a=1\n[Logs]\n", "", "A",
         "A=NEW\n[Logs]\n"},
        {"the prefix names the header", "[A]\nx=1\n", "Logs", "File1",
         "[A]\nx=1\n\n[Pelvok/Logs]\nFile1=NEW\n", "Pelvok/"},
    };
    folder_.Write("pelvok.conf_", "a stale temporary file is replaced");
    for (const Case& c : cases) {
        folder_.Write("pelvok.conf", c.before);
        auto store = Store(c.prefix);
        EXPECT_TRUE(store.WriteOption(c.section, c.key, "NEW")) << c.name;
        EXPECT_EQ(folder_.Read("pelvok.conf"), c.after) << c.name;
    }
    EXPECT_TRUE(log_.Lines().empty());
    EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"pelvok.conf"});
}

TEST_F(ConfigDbsTxtTest, FailuresLeaveTheFileAsItWas) {
    const std::string original = "[Logs]\nFile1=" + std::string(4000, 'x') + "\n";
    folder_.Write("pelvok.conf", original);
    auto store = Store();

    // The disk fills up while the new file is written.
    {
        FileSizeLimit limit(1024);
        EXPECT_FALSE(store.WriteOption("Logs", "File2", "ON"));
    }
    EXPECT_EQ(folder_.Read("pelvok.conf"), original);
    EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"pelvok.conf"});

    // Lines with line ends would break the file apart.
    EXPECT_FALSE(store.WriteOption("Logs", "File1", "ON\n[Other]"));
    EXPECT_EQ(folder_.Read("pelvok.conf"), original);
    EXPECT_TRUE(store.WriteOption("Logs", "File2", "ON"));  // the long line is kept whole
    EXPECT_EQ(folder_.Read("pelvok.conf"), original + "File2=ON\n");

}

}  // namespace
