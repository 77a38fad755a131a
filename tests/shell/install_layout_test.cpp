// Where an installed program finds its data: share/pelvok/ beside its bin/, whatever the prefix.
#include "shell/install_layout.h"

#include <gtest/gtest.h>

namespace {

TEST(InstallLayoutTest, TheDataFolderIsFoundFromTheProgramsOwnPath) {
    const struct {
        const char* program;
        const char* data;
    } cases[] = {
        {"/usr/bin/pelvok", "/usr/share/pelvok/"},
        {"/opt/lab/pelvok-1.4/bin/pelvok", "/opt/lab/pelvok-1.4/share/pelvok/"},
        {"/tmp/root/usr/bin/../bin/pelvok", "/tmp/root/usr/share/pelvok/"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(InstalledDataFolderFor(c.program), c.data) << c.program;

    const std::string mine = InstalledDataFolder();  // this test program's, in the build tree
    EXPECT_EQ(mine.front(), '/');
    EXPECT_EQ(mine.substr(mine.size() - 13), "share/pelvok/");
}

}  // namespace
