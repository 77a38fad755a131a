#include "infra/profile_file.h"

#include <gtest/gtest.h>

#include "tests/infra/temp_folder.h"

namespace {

std::string Read(const std::string& path, const char* section, const char* key,
                 const char* fallback = "dflt", std::size_t size = 64) {
    std::vector<char> buffer(size + 1, '#');
    ReadProfileString(path.c_str(), section, key, fallback, buffer.data(), size);
    return buffer.data();
}

TEST(ProfileFile, ReadsWithoutRegardToCaseAndBlanksWithinTheBuffer) {
    TempFolder folder;
    folder.Write("a.ini",
                 "; comment\n"
                 "[General]\n"
                 "Name=first\n"
                 "  [ Options ]  \n"
                 "  Server =  10.0.0.1  \n"
                 "Empty=\n"
                 "Secret=a b=c\n"
                 "[options]\n"
                 "Late=never\n");
    const std::string path = folder.Path("a.ini");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"OPTIONS", "server", "10.0.0.1"}, {" Options ", " Server ", "10.0.0.1"},
        {"Options", "Empty", ""},          {"Options", "Secret", "a b=c"},
        {"Options", "Late", "dflt"},  // only the first occurrence of a section counts
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(path, c.section, c.key), c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(Read(path, "Options", "Secret", "", 4), "a b");  // cut to the buffer
    EXPECT_EQ(Read(folder.Path("none.ini"), "S", "K", nullptr), "");
}

TEST(ProfileFile, WritesReplaceInPlaceAndInsertWhereTheSectionEnds) {
    struct Case {
        const char* name;
        const char* before;
        const char* section;
        const char* key;
        const char* value;
        const char* after;
    } cases[] = {
        {"replace keeps comments, order and the key's spelling",
         "# top\n[Options]\n; note\nSERVER = old \nPort=1812\n\n[Logs]\nFile1=OFF\n",
         "options", "Server", "new",
         "# top\n[Options]\n; note\nSERVER=new\nPort=1812\n\n[Logs]\nFile1=OFF\n"},
        {"new key goes after the section's last line, before blank lines",
         "[Options]\nPort=1812\n\n\n[Logs]\nFile1=OFF\n", "Options", "Secret", "s3",
         "[Options]\nPort=1812\nSecret=s3\n\n\n[Logs]\nFile1=OFF\n"},
        {"new section after a blank line", "[Options]\nPort=1812\n", "Logs", "File1", "ON",
         "[Options]\nPort=1812\n\n[Logs]\nFile1=ON\n"},
        {"CR LF files keep their line ends", "[A]\r\nx=1\r\n", "A", "y", "2",
         "[A]\r\nx=1\r\ny=2\r\n"},
        {"null value removes every line of the key", "[A]\nx=1\ny=2\nX=3\n[B]\nx=4\n", "a", "x",
         nullptr, "[A]\ny=2\n[B]\nx=4\n"},
        {"null key removes the section", "[A]\nx=1\n[B]\ny=2\n", "A", nullptr, nullptr,
         "[B]\ny=2\n"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        if (*c.before != '\0') folder.Write("o.ini", c.before);
        EXPECT_TRUE(WriteProfileString(folder.Path("o.ini").c_str(), c.section, c.key, c.value))
            << c.name;
        EXPECT_EQ(folder.Read("o.ini"), c.after) << c.name;
        EXPECT_EQ(folder.Entries(), std::vector<std::string>{"o.ini"}) << c.name;
    }
}

TEST(ProfileFile, AByteOrderMarkIsSkippedAndKeptSoNoSecondSectionIsAdded) {
    TempFolder folder;
    folder.Write("bom.ini", "\xEF\xBB\xBF[Options]\nPort=1812\n");
    EXPECT_EQ(Read(folder.Path("bom.ini"), "Options", "Port"), "1812");
    EXPECT_TRUE(WriteProfileString(folder.Path("bom.ini"), "Options", "SessionId", "7"));
    EXPECT_EQ(folder.Read("bom.ini"), "\xEF\xBB\xBF[Options]\nPort=1812\nSessionId=7\n");
}

TEST(ProfileFile, FailedRewriteLeavesTheOldFileWholeAndNoTemporary) {
    TempFolder folder;
    const std::string original = "[A]\n" + std::string(4000, 'x') + "=1\n";
    folder.Write("o.ini", original);
    {
        FileSizeLimit limit(1024);  // the new file cannot be written whole
        EXPECT_FALSE(WriteProfileString(folder.Path("o.ini"), "A", "k", "v"));
    }
    EXPECT_EQ(folder.Read("o.ini"), original);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"o.ini"});
}

}  // namespace
