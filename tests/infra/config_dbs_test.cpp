// The profile and text stores and the integer operations they share.
#include <gtest/gtest.h>

#include <memory>

#include "infra/config_dbs_ini.h"
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

// Both stores with the shared integer conversion.
TEST(ConfigDbsIntegers, ConvertLeadingDigitsOnly) {
    TempFolder folder;
    folder.Write("s.ini", "[S]\nA=12abc\nB=abc\nC=  -7\nD=2147483647\n");
    folder.Write("s.conf", "[S]\nA=12abc\nB=abc\nC=  -7\nD=2147483647\n");
    ConfigDbsIni ini(folder.Path("s.ini").c_str());
    ConfigDbsTxt txt(folder.Path("s.conf").c_str());
    for (ConfigDbs* store : {static_cast<ConfigDbs*>(&ini), static_cast<ConfigDbs*>(&txt)}) {
        const std::pair<const char*, int> cases[] = {
            {"A", 12}, {"B", 0}, {"C", -7}, {"D", 2147483647}, {"Missing", -42}};
        for (const auto& [key, expected] : cases) {
            int value = 99;
            EXPECT_TRUE(store->ReadIntOption("S", key, -42, &value));
            EXPECT_EQ(value, expected) << key;
        }
        EXPECT_TRUE(store->WriteIntOption("S", "E", -1234));
        int value = 0;
        EXPECT_TRUE(store->ReadIntOption("s", "e", 5, &value));
        EXPECT_EQ(value, -1234);
    }
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

TEST_F(ConfigDbsTxtTest, MissingFileReadsDefaultAndWriteCreatesThreeLines) {
    auto store = Store();
    EXPECT_EQ(ReadString(store, "Logs", "File1", "OFF"), "OFF");
    EXPECT_TRUE(log_.Contains("ConfigDbsTxt::ReadOption: Could'nt open input file = " + Path()));
    EXPECT_EQ(log_.LinesAt(1).size(), 1u);
    EXPECT_TRUE(store.WriteOption("Logs", "File1", "ON"));
    EXPECT_TRUE(log_.Contains("ConfigDbsTxt::WriteOption: Could'nt open input file = " + Path()));
    EXPECT_EQ(folder_.Read("pelvok.conf"), "\n[Logs]\nFile1=ON\n");
    EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"pelvok.conf"});
}

TEST_F(ConfigDbsTxtTest, ReadsFollowTheGrammar) {
    folder_.Write("pelvok.conf",
                  "Top=level\r\n"
                  "# File1=comment\n"
                  "[Logs]\n"
                  "File1 =spaced\n"
                  "FILE2=  as stored  \n"
                  "File3=\n"
                  "Long=" + std::string(3000, 'v') + "\n" +
                  "[ Logs ]\n"
                  "File5=padded header\n"
                  "[logs]\n"
                  "File7=second occurrence\n"
                  "[Pelvok/Logs]\n"
                  "File1=prefixed\n"
                  "[]\n"
                  "File8=empty section\n");
    auto store = Store();
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"", "Top", "level"},
        {"Logs", "File1", "dflt"},  // a space before "=" is not the key's line
        {"Logs", "file2", "  as stored  "},
        {"Logs", "File3", ""},  // empty value, not the default
        {" Logs ", "File5", "padded header"},
        {"Logs", "File7", "dflt"},  // only the first occurrence of a section is searched
        {"", "File8", "dflt"},      // the first empty section is the one before any header
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
        {"inserted before a line starting with a space", "[Logs]\nFile2=ON\n File1=old\n",
         "Logs", "File1", "[Logs]\nFile2=ON\nFile1=NEW\n File1=old\n"},
        {"inserted before the next header; its same key untouched",
         "[Logs]\nFile2=ON\n[B]\nFile1=keep\n", "Logs", "File1",
         "[Logs]\nFile2=ON\nFile1=NEW\n[B]\nFile1=keep\n"},
        {"last section: added at the end", "[A]\nx=1\n[Logs]\nFile2=ON\n", "Logs", "File1",
         "[A]\nx=1\n[Logs]\nFile2=ON\nFile1=NEW\n"},
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

    // The temporary file cannot be created.
    std::filesystem::create_directory(Path() + "_");
    EXPECT_FALSE(store.WriteOption("Logs", "File1", "ON"));
    EXPECT_TRUE(log_.Contains("ConfigDbsTxt::WriteOption: Could'nt create file = " + Path() + "_"));
    std::filesystem::remove(Path() + "_");

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

    // A file that exists but cannot be read is not replaced.
    std::filesystem::remove(Path());
    std::filesystem::create_directory(Path());
    EXPECT_FALSE(store.WriteOption("Logs", "File1", "ON"));
    EXPECT_TRUE(log_.Contains("ConfigDbsTxt::WriteOption: Could'nt open input file = " + Path()));
    EXPECT_TRUE(std::filesystem::is_directory(Path()));
    EXPECT_FALSE(folder_.Exists("pelvok.conf_"));
}

}  // namespace
