#include "infra/config_dbs_reg.h"

#include <gtest/gtest.h>

#include "tests/infra/temp_folder.h"
#include "tests/support/capturing_logger.h"

namespace {

class ConfigDbsRegTest : public ::testing::Test {
protected:
    ConfigDbsReg Store() const { return ConfigDbsReg(folder_.Path("root"), "SOFTWARE\\Quorlan\\Pelvok"); }
    std::vector<std::string> Messages() {
        auto lines = log_.LinesAt(0);
        log_.Clear();
        return lines;
    }
    TempFolder folder_;
    CapturingLogger log_;
};

TEST_F(ConfigDbsRegTest, ValuesRoundTripWithoutRegardToCase) {
    char buffer[32] = "x";
    EXPECT_TRUE(Store().ReadOption("Logs", "File1", "OFF", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "OFF");
    EXPECT_EQ(Messages(), std::vector<std::string>{"RegOpenKeyEx failed(Logs), Error = 2"});

    EXPECT_TRUE(Store().WriteOption("Logs", "File1", "first"));
    EXPECT_TRUE(Store().WriteIntOption("Logs", "Count", -5));
    EXPECT_TRUE(Store().WriteOption("logs", "file1", "replaced"));

    ConfigDbsReg other(folder_.Path("root"), "software/QUORLAN/pelvok");
    const std::pair<const char*, const char*> strings[] = {{"FILE1", "replaced"}, {"Missing", "d"}};
    for (const auto& [key, expected] : strings) {
        EXPECT_TRUE(other.ReadOption("LOGS", key, "d", buffer, sizeof buffer));
        EXPECT_STREQ(buffer, expected);
    }
    int value = 0;
    EXPECT_TRUE(other.ReadIntOption("Logs", "count", 0, &value));
    EXPECT_EQ(value, -5);
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(ConfigDbsRegTest, WrongTypesAndLongValuesFailWithTheirMessages) {
    auto store = Store();
    ASSERT_TRUE(store.WriteTypedValue("Logs", "Expand", kRegExpandSz, std::string("%TEMP%\0", 7)));
    ASSERT_TRUE(store.WriteOption("Logs", "Eight", "12345678"));
    ASSERT_TRUE(store.WriteIntOption("Logs", "Number", 7));
    ASSERT_TRUE(store.WriteTypedValue("Logs", "Bare", kRegSz, "1234"));  // no terminator
    log_.Clear();

    const std::tuple<const char*, unsigned, const char*> strings[] = {
        {"Expand", 32, "RegQueryValueEx(Logs/Expand): Unexpected data type = 2"},
        {"Number", 32, "RegQueryValueEx(Logs/Number): Unexpected data type = 4"},
        {"Eight", 8, "RegQueryValueEx(Logs/Eight): Value too long, maximal length = 8"},
        {"Bare", 4, "RegQueryValueEx(Logs/Bare): Value too long, maximal length = 4"},
    };
    for (const auto& [key, size, message] : strings) {
        std::vector<char> buffer(size, 'x');
        EXPECT_FALSE(store.ReadOption("Logs", key, "", buffer.data(), size)) << key;
        EXPECT_EQ(Messages(), std::vector<std::string>{message});
    }
    char buffer[9];
    EXPECT_TRUE(store.ReadOption("Logs", "Eight", "", buffer, 9));
    EXPECT_STREQ(buffer, "12345678");
    EXPECT_TRUE(store.ReadOption("Logs", "Bare", "", buffer, 5));
    EXPECT_STREQ(buffer, "1234");

    const std::pair<const char*, const char*> integers[] = {
        {"Eight", "RegQueryValueEx(Logs/Eight): Value too long, maximal length = 4"},
        {"Bare", "RegQueryValueEx(Logs/Bare): Unexpected data type = 1"},
    };
    for (const auto& [key, message] : integers) {
        int value = 99;
        EXPECT_FALSE(store.ReadIntOption("Logs", key, 0, &value)) << key;
        EXPECT_EQ(value, 99);
        EXPECT_EQ(Messages(), std::vector<std::string>{message});
    }
}

TEST_F(ConfigDbsRegTest, BrokenStoresGiveTheirErrorNumbers) {
    auto store = Store();
    // A file where a key's folder should be: the key cannot be created.
    std::filesystem::create_directories(folder_.Path("root/SOFTWARE/Quorlan/Pelvok/Other"));
    folder_.Write("root/SOFTWARE/Quorlan/Pelvok/Logs", "not a key");
    EXPECT_FALSE(store.WriteOption("Logs", "File1", "ON"));
    EXPECT_EQ(Messages(), std::vector<std::string>{"RegCreateKeyEx failed(Logs), Error = 1016"});

    // A damaged values file.
    folder_.Write("root/SOFTWARE/Quorlan/Pelvok/Other/.values", "1 x=\\xZZ\n");
    char buffer[8];
    EXPECT_FALSE(store.ReadOption("Other", "x", "", buffer, sizeof buffer));
    EXPECT_FALSE(store.WriteOption("Other", "y", "1"));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"RegQueryValueEx failed(Other/x), Error = 1015",
                                                    "RegSetValueEx failed(Other/y), Error = 1015"}));

    // A key path that climbs out of the root.
    EXPECT_FALSE(ConfigDbsReg(folder_.Path("root"), "..\\outside").WriteOption("Logs", "File1", "ON"));
    EXPECT_EQ(Messages(), std::vector<std::string>{"RegOpenKeyEx failed(Logs), Error = 161"});
    EXPECT_FALSE(folder_.Exists("outside"));
}

}  // namespace
