// Where Pelvok looks for its files, over a made-up file system: the options file's places in
// order, relative paths of the options file, the dictionary's fallbacks; and the command
// line's overrides.
#include "shell/file_search.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "shell/option_overrides.h"
#include "shell/options.h"

namespace {

using Paths = std::vector<std::string>;

// A file system holding exactly these paths.
PathProbe Holding(std::set<std::string> paths) {
    return [paths = std::move(paths)](const std::string& path) { return paths.count(path) > 0; };
}

TEST(OptionsFileSearch, BesideTheProgramThenTheUsersFolderThenEtc) {
    const std::string beside = "/opt/bin/pelvok.ini", ann = "/home/ann/.config/pelvok/pelvok.ini",
                      etc = "/etc/pelvok/pelvok.ini";
    const struct {
        const char* xdg;
        const char* home;
        Paths places;
    } cases[] = {
        {nullptr, "/home/ann", {beside, ann, etc}},
        {"/xdg", "/home/ann", {beside, "/xdg/pelvok/pelvok.ini", etc}},
        // Empty or relative XDG_CONFIG_HOME is ignored, as the XDG Base Directory rules say.
        {"", "/home/ann", {beside, ann, etc}},
        {"conf", "/home/ann/", {beside, ann, etc}},
        {nullptr, nullptr, {beside, etc}},
        {nullptr, "", {beside, etc}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OptionsFileCandidates("/opt/bin/pelvok", c.xdg, c.home), c.places)
            << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");

    const Paths places = OptionsFileCandidates("/opt/bin/pelvok", nullptr, "/home/ann");
    EXPECT_EQ(FirstPresent(places, Holding({"/etc/pelvok/pelvok.ini", "/home/ann/.config/pelvok/pelvok.ini"})),
              "/home/ann/.config/pelvok/pelvok.ini");
    EXPECT_EQ(FirstPresent(places, Holding({"/etc/pelvok/pelvok.ini", "/opt/bin/pelvok.ini"})), "/opt/bin/pelvok.ini");
    EXPECT_EQ(FirstPresent(places, Holding({"/etc/pelvok/pelvok.ini"})), "/etc/pelvok/pelvok.ini");
    EXPECT_EQ(FirstPresent(places, Holding({})), std::nullopt);
}

TEST(OptionsFileSearch, RelativePathsCountFromTheOptionsFolderOnlyWhenMissingHere) {
    const PathProbe files = Holding({"here.sim", "both.sim", "/etc/pelvok/both.sim", "/etc/pelvok/there.sim",
                                     "/etc/pelvok/sims/deep.sim"});
    const struct {
        const char* written;
        const char* used;
    } cases[] = {
        {"here.sim", "here.sim"},
        {"both.sim", "both.sim"},  // the current folder first, as always
        {"there.sim", "/etc/pelvok/there.sim"},
        {"sims/../sims/deep.sim", "/etc/pelvok/sims/deep.sim"},
        {"nowhere.sim", "nowhere.sim"},  // its failure names it as written
        {"/abs/there.sim", "/abs/there.sim"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveOptionsPath(c.written, "/etc/pelvok", files), c.used) << c.written;
    EXPECT_EQ(ResolveOptionsPath("there.sim", "", files), "there.sim");  // no options file
}

TEST(OptionsFileSearch, TheDictionaryFallsBackToTheOptionsFolderThenTheInstalledOne) {
    const PathProbe files = Holding({"data/default.dic", "/etc/pelvok/dicts/default.dic",
                                     "/usr/share/pelvok/default.dic", "/etc/pelvok/own.dic"});
    const struct {
        DictionarySearch search;
        std::string folder;
        Paths tried;
    } cases[] = {
        {{"data/", "default.dic", "/etc/pelvok", "/usr/share/pelvok/"}, "data/", {"data/default.dic"}},
        {{"dicts/", "default.dic", "/etc/pelvok", "/usr/share/pelvok/"},
         "/etc/pelvok/dicts/",
         {"dicts/default.dic", "/etc/pelvok/dicts/default.dic"}},
        // The default folder: beside the options file, then the installed data folder.
        {{"./", "own.dic", "/etc/pelvok", "/usr/share/pelvok/"}, "/etc/pelvok/", {"own.dic", "/etc/pelvok/own.dic"}},
        {{"./", "default.dic", "/etc/pelvok", "/usr/share/pelvok/"},
         "/usr/share/pelvok/",
         {"default.dic", "/etc/pelvok/default.dic", "/usr/share/pelvok/default.dic"}},
        {{"./", "default.dic", "", "/usr/share/pelvok/"},
         "/usr/share/pelvok/",
         {"default.dic", "/usr/share/pelvok/default.dic"}},
        // A folder the user chose is never swapped for the installed one.
        {{"mine/", "default.dic", "/etc/pelvok", "/usr/share/pelvok/"},
         "mine/",
         {"mine/default.dic", "/etc/pelvok/mine/default.dic"}},
        {{"/opt/dicts/", "default.dic", "/etc/pelvok", "/usr/share/pelvok/"},
         "/opt/dicts/",
         {"/opt/dicts/default.dic"}},
        {{"./", "missing.dic", "", ""}, "./", {"missing.dic"}},
        // An options file in the current folder adds no second look at the same file.
        {{"data/", "missing.dic", ".", ""}, "data/", {"data/missing.dic"}},
    };
    for (const auto& c : cases) {
        const DictionaryPlace place = FindDictionaryFolder(c.search, files);
        EXPECT_EQ(place.folder, c.folder) << c.search.dictDir << c.search.dictName;
        EXPECT_EQ(place.tried, c.tried) << c.search.dictDir << c.search.dictName;
    }
}

TEST(OptionOverrides, ServerSecretAndDictionaryFromTheCommandLine) {
    const struct {
        const char* text;
        std::optional<std::string> host;
        std::optional<std::uint16_t> port;
        const char* error;  // a part of the message, or null
    } cases[] = {
        {"127.0.0.1", "127.0.0.1", std::nullopt, nullptr},
        {"radius.example:1645", "radius.example", 1645, nullptr},
        {"[::1]:1812", "::1", 1812, nullptr},
        {"[::1]", "::1", std::nullopt, nullptr},
        {"host:0", std::nullopt, std::nullopt, "port from 1 to 65535"},
        {"host:65536", std::nullopt, std::nullopt, "port from 1 to 65535"},
        {"host:", std::nullopt, std::nullopt, "port from 1 to 65535"},
        {"host:+12", std::nullopt, std::nullopt, "port from 1 to 65535"},
        {"::1", std::nullopt, std::nullopt, "in brackets"},
        {"[::1", std::nullopt, std::nullopt, "[HOST]:PORT"},
        {"[::1]x", std::nullopt, std::nullopt, "[HOST]:PORT"},
        {":1812", std::nullopt, std::nullopt, "host name or address"},
        {"", std::nullopt, std::nullopt, "host name or address"},
    };
    for (const auto& c : cases) {
        OptionOverrides overrides;
        std::string error;
        EXPECT_EQ(ParseServerOption(c.text, overrides, error), c.error == nullptr) << c.text;
        EXPECT_EQ(overrides.serverHost, c.host) << c.text;
        EXPECT_EQ(overrides.serverPort, c.port) << c.text;
        if (c.error != nullptr) EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
    }

    OptionOverrides overrides;
    std::string error;
    EXPECT_FALSE(ParseSecretOption(std::string(kOptionTextSize, 's'), overrides, error));
    EXPECT_FALSE(ParseDictionaryOption("dicts/", overrides, error));
    ASSERT_TRUE(ParseSecretOption("s3cret", overrides, error));
    const struct {
        const char* file;
        const char* dictDir;
        const char* dictName;
    } dictionaries[] = {{"/usr/share/pelvok/default.dic", "/usr/share/pelvok/", "default.dic"},
                        {"mine.dic", "./", "mine.dic"},
                        {"/root.dic", "/", "root.dic"}};
    for (const auto& d : dictionaries) {
        ASSERT_TRUE(ParseDictionaryOption(d.file, overrides, error));
        Options options;
        ApplyOptionOverrides(overrides, options);
        EXPECT_EQ(options.dictDir, d.dictDir) << d.file;
        EXPECT_EQ(options.dictName, d.dictName) << d.file;
        EXPECT_EQ(options.secret, "s3cret");
        EXPECT_EQ(options.quorlanPort, 0);  // untouched without a port
    }
}

}  // namespace
