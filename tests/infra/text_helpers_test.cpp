// The small text helpers that several subsystems share.
#include <gtest/gtest.h>

#include <tuple>

#include "infra/bounded_string.h"
#include "infra/number_text.h"
#include "infra/path_text.h"

TEST(FolderOf, TheTextBeforeTheLastSlashTheRootOrTheCurrentFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"/srv/sims/run.sim", "/srv/sims"}, {"logs/a/b.log", "logs/a"}, {"/run.sim", "/"},
        {"run.sim", "."},                   {"", "."},                  {"dir/", "dir"},
    };
    for (const auto& [path, folder] : cases) EXPECT_EQ(FolderOf(path), folder) << path;
}

TEST(LeadingInteger, BlanksSignDigitsAndWrapping) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"42", 42},   {" \t\n-17x", -17}, {"+8", 8},         {"abc", 0},
        {"", 0},      {"- 5", 0},         {"4294967297", 1}, {"2147483648", INT32_MIN},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(LeadingInteger(text), value) << text;
}

TEST(StartsWithNoCase, APrefixInEitherCaseNeverOneLongerThanTheText) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"INCLUDEs dict", "include", true}, {"format=1,1,c", "FORMAT=", true}, {"Inc", "INCLUDE", false},
        {"octets[4]", "octetz[", false},    {"", "", true},
    };
    for (const auto& [text, prefix, starts] : cases) EXPECT_EQ(StartsWithNoCase(text, prefix), starts) << text;
}
