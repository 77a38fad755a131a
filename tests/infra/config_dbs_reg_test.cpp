#include "infra/config_dbs_reg.h"

#include <gtest/gtest.h>

#include "tests/infra/temp_folder.h"
#include "tests/support/capturing_logger.h"

namespace {

class ConfigDbsRegTest : public ::testing::Test {
protected:
    ConfigDbsReg Store() const { return ConfigDbsReg(folder_.Path("root"), "SOFTWARE\\Quorlan\\Pelvok"); }
    TempFolder folder_;
    CapturingLogger log_;
};

TEST_F(ConfigDbsRegTest, MissingKeyReadsDefaultAfterTheOpenMessage) {
    auto store = Store();
    char buffer[16] = "x";
    EXPECT_TRUE(store.ReadOption("Logs", "File1", "OFF", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "OFF");
    EXPECT_EQ(log_.LinesAt(0), std::vector<std::string>{"RegOpenKeyEx failed(Logs), Error = 2"});
    int value = 0;
    EXPECT_TRUE(store.ReadIntOption("Logs", "Count", 33, &value));
    EXPECT_EQ(value, 33);
    EXPECT_TRUE(store.ReadOption("Logs", "File1", nullptr, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
}

TEST_F(ConfigDbsRegTest, ValuesRoundTripWithoutRegardToCase) {
    EXPECT_TRUE(Store().WriteOption("Logs", "File1", "ON,NAME=a=b\\c\x01\xff"));
    EXPECT_TRUE(Store().WriteIntOption("Logs", "Count", -5));
    EXPECT_TRUE(Store().WriteOption("Logs", "Empty", nullptr));
    EXPECT_TRUE(Store().WriteOption("logs", "file1", "replaced"));
    log_.Clear();

    ConfigDbsReg other(folder_.Path("root"), "software/QUORLAN/pelvok");
    char buffer[32];
    EXPECT_TRUE(other.ReadOption("LOGS", "FILE1", "", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "replaced");
    EXPECT_TRUE(other.ReadOption("Logs", "Empty", "d", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(other.ReadOption("Logs", "Missing", "d", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "d");  // missing value in an existing key: no message
    int value = 0;
    EXPECT_TRUE(other.ReadIntOption("Logs", "count", 0, &value));
    EXPECT_EQ(value, -5);
    EXPECT_TRUE(log_.Lines().empty());
    EXPECT_TRUE(std::filesystem::is_directory(folder_.Path("root/SOFTWARE/Quorlan/Pelvok/Logs")));

    EXPECT_TRUE(Store().WriteOption("Logs", "Bytes", "a=b\\c\x01\xff"));
    EXPECT_TRUE(other.ReadOption("Logs", "bytes", "", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "a=b\\c\x01\xff");
}

TEST_F(ConfigDbsRegTest, WrongTypesAndLongValuesFailWithTheirMessages) {
    auto store = Store();
    ASSERT_TRUE(store.WriteTypedValue("Logs", "Expand", kRegExpandSz, std::string("%TEMP%\0", 7)));
    ASSERT_TRUE(store.WriteOption("Logs", "Eight", "12345678"));
    ASSERT_TRUE(store.WriteIntOption("Logs", "Number", 7));
    ASSERT_TRUE(store.WriteTypedValue("Logs", "Bare", kRegSz, "1234"));  // no terminator
    log_.Clear();

    struct Case {
        const char* key;
        unsigned size;
        const char* message;
    } strings[] = {
        {"Expand", 32, "RegQueryValueEx(Logs/Expand): Unexpected data type = 2"},
        {"Number", 32, "RegQueryValueEx(Logs/Number): Unexpected data type = 4"},
        {"Eight", 5, "RegQueryValueEx(Logs/Eight): Value too long, maximal length = 5"},
        {"Eight", 8, "RegQueryValueEx(Logs/Eight): Value too long, maximal length = 8"},
        {"Bare", 4, "RegQueryValueEx(Logs/Bare): Value too long, maximal length = 4"},
    };
    for (const Case& c : strings) {
        log_.Clear();
        std::vector<char> buffer(c.size, 'x');
        EXPECT_FALSE(store.ReadOption("Logs", c.key, "", buffer.data(), c.size)) << c.key;
        EXPECT_EQ(log_.LinesAt(0), std::vector<std::string>{c.message});
    }
    char buffer[9];
    EXPECT_TRUE(store.ReadOption("Logs", "Eight", "", buffer, 9));
    EXPECT_STREQ(buffer, "12345678");
    EXPECT_TRUE(store.ReadOption("Logs", "Bare", "", buffer, 5));
    EXPECT_STREQ(buffer, "1234");

    const std::pair<const char*, const char*> integers[] = {
        {"Eight", "RegQueryValueEx(Logs/Eight): Value too long, maximal length = 4"},
        {"Expand", "RegQueryValueEx(Logs/Expand): Value too long, maximal length = 4"},
        {"Bare", "RegQueryValueEx(Logs/Bare): Unexpected data type = 1"},
    };
    for (const auto& [key, message] : integers) {
        log_.Clear();
        int value = 99;
        EXPECT_FALSE(store.ReadIntOption("Logs", key, 0, &value)) << key;
        EXPECT_EQ(value, 99);
        EXPECT_EQ(log_.LinesAt(0), std::vector<std::string>{message});
    }
}

TEST_F(ConfigDbsRegTest, BrokenStoresGiveTheirErrorNumbers) {
    auto store = Store();
    // A file where a key's folder should be: the key cannot be created.
    std::filesystem::create_directories(folder_.Path("root/SOFTWARE/Quorlan/Pelvok"));
    folder_.Write("root/SOFTWARE/Quorlan/Pelvok/Logs", "not a key");
    EXPECT_FALSE(store.WriteOption("Logs", "File1", "ON"));
    EXPECT_EQ(log_.LinesAt(0),
              std::vector<std::string>{"RegCreateKeyEx failed(Logs), Error = 1016"});

    // A damaged values file.
    std::filesystem::create_directories(folder_.Path("root/SOFTWARE/Quorlan/Pelvok/Other"));
    folder_.Write("root/SOFTWARE/Quorlan/Pelvok/Other/.values", "1 x=\\xZZ\n");
    log_.Clear();
    char buffer[8];
    EXPECT_FALSE(store.ReadOption("Other", "x", "", buffer, sizeof buffer));
    EXPECT_FALSE(store.WriteOption("Other", "y", "1"));
    EXPECT_EQ(log_.LinesAt(0), (std::vector<std::string>{
                                   "RegQueryValueEx failed(Other/x), Error = 1015",
                                   "RegSetValueEx failed(Other/y), Error = 1015"}));

    // A key path that climbs out of the root.
    ConfigDbsReg escaping(folder_.Path("root"), "..\\outside");
    log_.Clear();
    EXPECT_FALSE(escaping.WriteOption("Logs", "File1", "ON"));
    EXPECT_EQ(log_.LinesAt(0), std::vector<std::string>{"RegOpenKeyEx failed(Logs), Error = 161"});
    EXPECT_FALSE(folder_.Exists("outside"));
}

TEST(ConfigDbsRegRoot, DefaultRootFollowsTheEnvironment) {
    const char* saved = std::getenv("PELVOK_REGISTRY_ROOT");
    const std::string keep = saved != nullptr ? saved : "";
    setenv("PELVOK_REGISTRY_ROOT", "/some/where", 1);
    EXPECT_EQ(ConfigDbsReg::DefaultRoot(), "/some/where");
    unsetenv("PELVOK_REGISTRY_ROOT");
    EXPECT_NE(ConfigDbsReg::DefaultRoot().find("pelvok"), std::string::npos);
    if (saved != nullptr) setenv("PELVOK_REGISTRY_ROOT", keep.c_str(), 1);
}

}  // namespace
