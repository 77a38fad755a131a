#include "infra/logger.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "infra/clock.h"
#include "infra/config_dbs_reg.h"
#include "tests/infra/temp_folder.h"

namespace {

// A Logger configured by hand that remembers the tokens it did not know.
class TestLogger : public Logger {
public:
    explicit TestLogger(const std::string& keyPath = "", bool configure = false, int kind = 0)
        : Logger(keyPath.c_str(), true, nullptr, kind, configure) {}
    void OnOtherOption(int level, const char* token) override {
        otherOptions.push_back(std::to_string(level) + ":" + token);
    }
    std::vector<std::string> otherOptions;
};

class LoggerTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return folder_.Path(name); }
    std::string Name(const std::string& name) const { return "NAME=" + Path(name); }
    void Apply(int level, const std::string& options) { logger_.ApplyOptions(level, options.c_str()); }
    void WriteMessages(int level, int count, const std::string& text = "message") {
        for (int i = 0; i < count; ++i) logger_.Write(level, text.c_str());
    }
    TempFolder folder_;
    TestLogger logger_;
};

TEST_F(LoggerTest, OptionsStrings) {
    struct Case {
        std::string options;
        bool enabled;
        bool close;
        bool timeStamp;
        std::string name;
        std::uint32_t sizeLimit;
        std::vector<std::string> others;
    } cases[] = {
        {"OFF", false, false, false, "", 0, {"0:OFF"}},
        {"", false, false, false, "", 0, {}},
        {"ON", true, false, false, "", 0, {}},
        {"on,close,timestamp", true, true, true, "", 0, {}},
        {"ON, TIMESTAMP", true, false, false, "", 0, {"0: TIMESTAMP"}},
        {",,ON,,NAME=a.log,", true, false, false, "a.log", 0, {}},
        {"ON,name=A b.LOG", true, false, false, "A b.LOG", 0, {}},
        {"ON,NAME=a,b.log", true, false, false, "a", 0, {"0:b.log"}},
        {"ON,NAME=x,NAME=last,MAXSIZE=3,MAXSIZE=2", true, false, false, "last", 2048, {}},
        {"ON,NAME=x,MAXSIZE=0", true, false, false, "x", 0, {}},
        {"ON,NAME=x,MAXSIZE=abc", true, false, false, "x", 0, {}},
        {"ON,NAME=x,MAXSIZE=-4", true, false, false, "x", 0, {}},
        {"ON,NAME=x,MAXSIZE=99999999999", true, false, false, "x", 0xFFFFFFFFu, {}},
        {"ON,NAME=x,Colour=red", true, false, false, "x", 0, {"0:Colour=red"}},
        {"ON,NAME=" + std::string(200, 'n'), true, false, false, std::string(123, 'n'), 0, {}},
    };
    for (const Case& c : cases) {
        TestLogger logger;
        logger.ApplyOptions(0, c.options.c_str());
        const LevelOutput& level = logger.Level(0);
        EXPECT_EQ(logger.IsLevelEnabled(0), c.enabled) << c.options;
        EXPECT_EQ(level.closeAfterEachMessage, c.close) << c.options;
        EXPECT_EQ(level.timeStamp, c.timeStamp) << c.options;
        EXPECT_EQ(level.name, c.name) << c.options;
        EXPECT_EQ(level.sizeLimit, c.sizeLimit) << c.options;
        EXPECT_EQ(logger.otherOptions, c.others) << c.options;
    }
    TestLogger logger;
    logger.ApplyOptions(12, "ON");
    logger.ApplyOptions(-1, "ON");
    EXPECT_FALSE(logger.IsLevelEnabled(12));
    EXPECT_FALSE(logger.IsLevelEnabled(-1));
}

TEST_F(LoggerTest, OnWithoutNameWritesNothing) {
    Apply(4, "ON");
    WriteMessages(4, 3);
    EXPECT_TRUE(logger_.IsLevelEnabled(4));
    EXPECT_TRUE(folder_.Entries().empty());
}

TEST_F(LoggerTest, LineEndsAndLevelsOff) {
    Apply(0, "ON," + Name("a.log"));
    for (const char* text : {"ends\n", "plain", "", "two\nlines"}) logger_.Write(0, text);
    logger_.Write(1, "level off");
    EXPECT_EQ(folder_.Read("a.log"), "ends\nplain\n\ntwo\nlines\n");
    Apply(0, "OFF," + Name("a.log"));
    logger_.Write(0, "after off");
    EXPECT_EQ(folder_.Read("a.log"), "ends\nplain\n\ntwo\nlines\n");
}

TEST_F(LoggerTest, TimeStampIsMonthDayYearAndTime) {
    const char* savedZone = std::getenv("TZ");
    const std::string keep = savedZone != nullptr ? savedZone : "";
    setenv("TZ", "UTC", 1);
    tzset();
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 5;
    when.tm_hour = 9;
    when.tm_min = 7;
    when.tm_sec = 3;
    ManualClock clock(timegm(&when));
    logger_.SetClock(&clock);
    Apply(0, "ON,TIMESTAMP," + Name("t.log"));
    logger_.Write(0, "text");
    logger_.Write(0, "");
    EXPECT_EQ(folder_.Read("t.log"), "03/05/2026 09:07:03 text\n03/05/2026 09:07:03 \n");
    if (savedZone != nullptr) setenv("TZ", keep.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

TEST_F(LoggerTest, FileStaysOpenFromTheTenthOpeningOn) {
    Apply(0, "ON," + Name("a.log"));
    for (int i = 1; i <= 12; ++i) {
        logger_.Write(0, "m");
        EXPECT_EQ(logger_.Level(0).open, i >= 10) << i;
        EXPECT_EQ(logger_.Level(0).openCount, static_cast<std::uint32_t>(i < 10 ? i : 10)) << i;
    }
    Apply(1, "ON,CLOSE," + Name("c.log"));
    WriteMessages(1, 12);
    EXPECT_FALSE(logger_.Level(1).open);
    EXPECT_EQ(logger_.Level(1).openCount, 12u);
}

TEST_F(LoggerTest, StandardOutputIsNeverClosed) {
    Apply(2, "ON,CLOSE,MAXSIZE=1,ERASE,NAME=StdOut");
    const LevelOutput& level = logger_.Level(2);
    EXPECT_EQ(level.stream, stdout);
    EXPECT_TRUE(level.open);
    EXPECT_FALSE(level.closeAfterEachMessage);
    EXPECT_EQ(level.openCount, 10u);
    EXPECT_EQ(level.sizeLimit, 0u);
    testing::internal::CaptureStdout();
    logger_.Write(2, "to standard output");
    logger_.Write(2, std::string(2000, 'x').c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "to standard output\n" + std::string(2000, 'x') + "\n");
    EXPECT_TRUE(level.open);
    EXPECT_EQ(level.stream, stdout);

    // Another name detaches the level from the standard output.
    Apply(2, "ON," + Name("now.log"));
    EXPECT_NE(level.stream, stdout);
    logger_.Write(2, "to file");
    EXPECT_EQ(folder_.Read("now.log"), "to file\n");
}

TEST_F(LoggerTest, LevelsWithTheSameNameShareOneStream) {
    Apply(0, "ON," + Name("Shared.log"));
    Apply(1, "ON," + Name("Shared.log"));
    for (int i = 0; i < 12; ++i) {
        logger_.Write(0, ("zero " + std::to_string(i)).c_str());
        logger_.Write(1, ("one " + std::to_string(i)).c_str());
    }
    EXPECT_TRUE(logger_.Level(0).open);
    EXPECT_EQ(logger_.Level(0).stream, logger_.Level(1).stream);
    std::string expected;
    for (int i = 0; i < 12; ++i)
        expected += "zero " + std::to_string(i) + "\none " + std::to_string(i) + "\n";
    EXPECT_EQ(folder_.Read("Shared.log"), expected);

    // CLOSE on one of them: it opens the file on its own for every message.
    Apply(2, "ON,CLOSE," + Name("Shared.log"));
    logger_.Write(2, "two");
    EXPECT_FALSE(logger_.Level(2).open);
    EXPECT_TRUE(logger_.Level(0).open);
    EXPECT_EQ(folder_.Read("Shared.log"), expected + "two\n");

    // File names are case-sensitive: another spelling is another file with its own stream.
    Apply(3, "ON," + Name("SHARED.LOG"));
    logger_.Write(3, "three");
    EXPECT_EQ(folder_.Read("SHARED.LOG"), "three\n");
    expected += "two\n";
    EXPECT_EQ(folder_.Read("Shared.log"), expected);
    EXPECT_STREQ(logger_.Level(0).currentFileName, Path("Shared.log").c_str());
    WriteMessages(0, 10, "zero");  // open for good again
    for (int i = 0; i < 10; ++i) expected += "zero\n";
    logger_.Write(1, "one more");
    expected += "one more\n";
    ASSERT_EQ(logger_.Level(0).stream, logger_.Level(1).stream);

    // Switching one sharer off leaves the stream to the other.
    Apply(1, "OFF");
    EXPECT_FALSE(logger_.Level(1).open);
    ASSERT_TRUE(logger_.Level(0).open);
    logger_.Write(0, "still");
    EXPECT_EQ(folder_.Read("Shared.log"), expected + "still\n");
}

TEST_F(LoggerTest, RotationMovesOnToNumberedFiles) {
    Apply(0, "ON,MAXSIZE=1," + Name("dir/log.txt"));
    const std::string line(299, 'a');  // 300 bytes with the line end
    WriteMessages(0, 4, line);         // 1200 bytes: the fourth message still goes here
    EXPECT_EQ(folder_.Read("dir/log.txt").size(), 1200u);
    EXPECT_EQ(logger_.Level(0).currentFileName, Path("dir/log_1.txt"));
    WriteMessages(0, 4, line);
    WriteMessages(0, 1, line);
    EXPECT_EQ(folder_.Read("dir/log_1.txt").size(), 1200u);
    EXPECT_EQ(folder_.Read("dir/log_2.txt").size(), 300u);
    EXPECT_EQ(logger_.Level(0).fileIndex, 2u);
    EXPECT_EQ(folder_.Entries("dir"),
              (std::vector<std::string>{"log.txt", "log_1.txt", "log_2.txt"}));
}

TEST_F(LoggerTest, RotationTakesSharersAlong) {
    Apply(0, "ON,MAXSIZE=1," + Name("s.log"));
    Apply(1, "ON," + Name("s.log"));
    // A sharer that closes after a message closes the stream for all; let both settle.
    WriteMessages(1, 10, "y");
    WriteMessages(0, 10, "x");
    logger_.Write(1, "y");
    ASSERT_NE(logger_.Level(0).stream, nullptr);
    ASSERT_EQ(logger_.Level(0).stream, logger_.Level(1).stream);
    logger_.Write(0, std::string(1100, 'b').c_str());
    EXPECT_EQ(logger_.Level(1).currentFileName, Path("s_1.log"));
    logger_.Write(1, "after");
    EXPECT_EQ(folder_.Read("s_1.log"), "after\n");
}

TEST_F(LoggerTest, ContinuesInTheLastNumberedFileOfAnUnbrokenRun) {
    struct Case {
        std::vector<std::string> present;
        std::string continuesIn;
        std::uint32_t index;
    } cases[] = {
        {{}, "log.txt", 0},
        {{"log.txt"}, "log.txt", 0},
        {{"log.txt", "log_1.txt", "log_2.txt"}, "log_2.txt", 2},
        {{"log.txt", "log_2.txt"}, "log.txt", 0},  // a gap ends the count
        {{"log_1.txt", "log_2.txt", "log_4.txt"}, "log_2.txt", 2},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        for (const auto& name : c.present) folder.Write(name, "old " + name + "\n");
        TestLogger logger;
        logger.ApplyOptions(0, ("ON,MAXSIZE=10,NAME=" + folder.Path("log.txt")).c_str());
        EXPECT_EQ(logger.Level(0).currentFileName, folder.Path(c.continuesIn));
        EXPECT_EQ(logger.Level(0).fileIndex, c.index);
        const bool existed = std::find(c.present.begin(), c.present.end(), c.continuesIn) !=
                             c.present.end();
        logger.Write(0, "new");
        EXPECT_EQ(folder.Read(c.continuesIn),
                  (existed ? "old " + c.continuesIn + "\n" : std::string()) + "new\n");
    }
}

TEST_F(LoggerTest, EraseDeletesOnlyTheFileTheLevelContinuesIn) {
    for (const char* name : {"e.log", "e_1.log", "e_2.log"}) folder_.Write(name, "old\n");
    Apply(0, "ON,ERASE,MAXSIZE=4," + Name("e.log"));
    EXPECT_EQ(folder_.Entries(), (std::vector<std::string>{"e.log", "e_1.log"}));
    logger_.Write(0, "fresh");
    EXPECT_EQ(folder_.Read("e_2.log"), "fresh\n");
    EXPECT_EQ(folder_.Read("e_1.log"), "old\n");

    folder_.Write("plain.log", "old\n");
    Apply(1, "ON,ERASE," + Name("plain.log"));
    logger_.Write(1, "new");
    EXPECT_EQ(folder_.Read("plain.log"), "new\n");
}

TEST_F(LoggerTest, MissingFoldersAreMadeAndLostMessagesCounted) {
    Apply(0, "ON," + Name("a/b/c/deep.log"));
    logger_.Write(0, "deep");
    EXPECT_EQ(folder_.Read("a/b/c/deep.log"), "deep\n");

    folder_.Write("blocker", "a file where a folder should be");
    Apply(1, "ON," + Name("blocker/sub/x.log"));
    WriteMessages(1, 3);
    EXPECT_EQ(logger_.Level(1).lostMessages, 3u);
    EXPECT_FALSE(logger_.Level(1).open);
    std::filesystem::remove(Path("blocker"));
    logger_.Write(1, "back");
    logger_.Write(1, "again");
    EXPECT_EQ(folder_.Read("blocker/sub/x.log"), "*** Lost messages = 3\nback\nagain\n");
    EXPECT_EQ(logger_.Level(1).lostMessages, 0u);
}

TEST(LoggerNames, MakeNumberedName) {
    struct Case {
        const char* base;
        std::uint32_t number;
        std::string expected;
        bool fits;
    } cases[] = {
        {"a.log", 0, "a.log", true},          {"a.log", 3, "a_3.log", true},
        {"a", 2, "a_2", true},                {"a.b.c", 1, "a.b_1.c", true},
        {"my.dir/logfile", 1, "my_1.dir/logfile", true},
        {"/var/log/x.txt", 12, "/var/log/x_12.txt", true},
    };
    for (const Case& c : cases) {
        char out[kLogPathSize];
        EXPECT_EQ(Logger::MakeNumberedName(c.base, c.number, out, sizeof out), c.fits);
        EXPECT_EQ(std::string(out), c.expected);
    }
    const std::string longName(257, 'l');
    char out[kLogPathSize];
    EXPECT_TRUE(Logger::MakeNumberedName(longName.c_str(), 0, out, sizeof out));
    EXPECT_FALSE(Logger::MakeNumberedName(longName.c_str(), 10, out, sizeof out));
    EXPECT_EQ(std::string(out), longName);
}

TEST(LoggerConfiguration, ReadsEachLevelFromItsKey) {
    TempFolder folder;
    const std::string log = folder.Path("p.log");
    const std::string settings = "[Logs]\nFile1=ON,NAME=" + log + "\nFile3=OFF\nFile12=ON\n";
    struct Case {
        std::string file;     // the settings file written
        std::string keyPath;  // what the Logger is given
        int kind;
    } cases[] = {
        {"Pelvok.INI", folder.Path("Pelvok"), 0},
        {"pelvok.ini", folder.Path("pelvok.ini"), 0},
        {"Other.Ini", folder.Path("Other.Ini"), 0},
        {"pelvok.conf", folder.Path("pelvok"), 2},
        {"my.cfg", folder.Path("my.cfg"), 5},
    };
    for (const Case& c : cases) {
        folder.Write(c.file, settings);
        TestLogger logger(c.keyPath, true, c.kind);
        EXPECT_TRUE(logger.IsLevelEnabled(0)) << c.file;
        EXPECT_EQ(logger.Level(0).name, log) << c.file;
        EXPECT_FALSE(logger.IsLevelEnabled(1)) << c.file;
        EXPECT_FALSE(logger.IsLevelEnabled(2)) << c.file;
        EXPECT_TRUE(logger.IsLevelEnabled(11)) << c.file;
        std::filesystem::remove(folder.Path(c.file));
    }
    TestLogger none(folder.Path("absent"), true, 0);
    for (int level = 0; level < kLogLevels; ++level) EXPECT_FALSE(none.IsLevelEnabled(level));
}

TEST(LoggerConfiguration, RegistryStoreUnderTheChosenRoot) {
    TempFolder folder;
    const char* saved = std::getenv("PELVOK_REGISTRY_ROOT");
    const std::string keep = saved != nullptr ? saved : "";
    setenv("PELVOK_REGISTRY_ROOT", folder.Path("reg").c_str(), 1);
    ConfigDbsReg(folder.Path("reg"), "SOFTWARE\\Quorlan\\Pelvok").WriteOption("Logs", "File2", "ON");
    ConfigDbsReg(folder.Path("reg"), "SOFTWARE\\Quorlan\\Pelvok")
        .WriteTypedValue("Logs", "File3", kRegExpandSz, std::string("ON\0", 3));
    TestLogger logger("SOFTWARE\\Quorlan\\Pelvok", true, 1);
    EXPECT_FALSE(logger.IsLevelEnabled(0));
    EXPECT_TRUE(logger.IsLevelEnabled(1));
    EXPECT_FALSE(logger.IsLevelEnabled(2));  // a read the store reports as failed reads as OFF
    if (saved != nullptr) setenv("PELVOK_REGISTRY_ROOT", keep.c_str(), 1);
    else unsetenv("PELVOK_REGISTRY_ROOT");
}

TEST(LoggerGlobal, LogGoesThroughTheInstalledLogger) {
    TempFolder folder;
    auto* logger = new TestLogger;
    logger->ApplyOptions(1, ("ON,NAME=" + folder.Path("g.log")).c_str());
    Log(1, "before install %d", 1);
    SetLogger(logger);
    EXPECT_TRUE(IsLogEnabled(1));
    EXPECT_FALSE(IsLogEnabled(0));
    EXPECT_FALSE(IsLogEnabled(12));
    Log(1, "value %d", 42);
    Log(1, "%s", std::string(3000, 'z').c_str());
    DeleteLogger();
    EXPECT_FALSE(IsLogEnabled(1));
    Log(1, "after delete");
    EXPECT_EQ(folder.Read("g.log"), "value 42\n" + std::string(2047, 'z') + "\n");
}

}  // namespace
