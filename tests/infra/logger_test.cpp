#include "infra/logger.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "infra/clock.h"
#include "tests/infra/temp_folder.h"
#include "tests/support/hostile_files.h"

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
        bool enabled, close, timeStamp;
        std::string name;
        std::uint32_t sizeLimit;
        std::vector<std::string> others;
    } cases[] = {
        {"OFF", false, false, false, "", 0, {"0:OFF"}},
        {"on,close,timestamp", true, true, true, "", 0, {}},
        {"ON,NAME=x,NAME=last,MAXSIZE=3,MAXSIZE=2", true, false, false, "last", 2048, {}},
        {"ON,NAME=x,MAXSIZE=99999999999", true, false, false, "x", 0xFFFFFFFFu, {}},
        // A long options string is read whole: a cut NAME= would be another file.
        {"ON,NAME=" + std::string(200, 'n'), true, false, false, std::string(200, 'n'), 0, {}},
        {"ON,NAME=" + std::string(260, 'n'), false, false, false, "", 0, {}},  // does not fit: off
    };
    for (const Case& c : cases) {
        TestLogger logger;
        logger.ApplyOptions(0, c.options.c_str());
        const LevelOutput& l = logger.Level(0);
        EXPECT_EQ(std::make_tuple(logger.IsLevelEnabled(0), l.closeAfterEachMessage, l.timeStamp,
                                  std::string(l.name), l.sizeLimit, logger.otherOptions),
                  std::make_tuple(c.enabled, c.close, c.timeStamp, c.name, c.sizeLimit, c.others))
            << c.options;
    }
}

TEST_F(LoggerTest, TimeStampIsMonthDayYearAndTime) {
    setenv("TZ", "UTC", 1);  // no other test of this program depends on the time zone
    tzset();
    ManualClock clock(1772701623);  // 2026-03-05 09:07:03 UTC
    logger_.SetClock(&clock);
    Apply(0, "ON,TIMESTAMP," + Name("t.log"));
    logger_.Write(0, "text");
    logger_.Write(0, "");
    EXPECT_EQ(folder_.Read("t.log"), "03/05/2026 09:07:03 text\n03/05/2026 09:07:03 \n");
}

// Whether the file is held open shows once it is renamed: a message through a stream still
// open lands in the renamed file, a message that opens the file again starts a new one.
TEST_F(LoggerTest, FileStaysOpenFromTheTenthOpeningOn) {
    struct Case {
        const char* options;
        int messages;  // before the rename
        bool heldOpen;
    };
    const Case cases[] = {
        {"ON,", 1, false},
        {"ON,", 9, false},  // the next message opens the file for the tenth time
        {"ON,", 10, true},
        {"ON,", 12, true},
        {"ON,CLOSE,", 12, false},
    };
    int level = 0;
    for (const Case& c : cases) {
        const std::string name = "level" + std::to_string(level) + ".log";
        const std::string renamed = "renamed" + std::to_string(level) + ".log";
        SCOPED_TRACE(testing::Message() << c.options << " " << c.messages << " messages");
        Apply(level, c.options + Name(name));
        WriteMessages(level, c.messages, "before");
        ASSERT_EQ(std::rename(Path(name).c_str(), Path(renamed).c_str()), 0);
        logger_.Write(level, "after");
        std::string before;
        for (int i = 0; i < c.messages; ++i) before += "before\n";
        EXPECT_EQ(folder_.Read(renamed), c.heldOpen ? before + "after\n" : before);
        EXPECT_EQ(folder_.Exists(name) ? folder_.Read(name) : "(none)", c.heldOpen ? "(none)" : "after\n");
        ++level;
    }
}

TEST_F(LoggerTest, LevelsWithTheSameNameShareOneStream) {
    Apply(0, "ON," + Name("Shared.log"));
    Apply(1, "ON," + Name("Shared.log"));
    std::string expected;
    for (int i = 0; i < 12; ++i) {
        logger_.Write(0, ("zero " + std::to_string(i)).c_str());
        logger_.Write(1, ("one " + std::to_string(i)).c_str());
        expected += "zero " + std::to_string(i) + "\none " + std::to_string(i) + "\n";
    }
    EXPECT_TRUE(logger_.Level(0).open);
    EXPECT_EQ(logger_.Level(0).stream, logger_.Level(1).stream);
    EXPECT_EQ(folder_.Read("Shared.log"), expected);

    // CLOSE on one of them: it opens the file on its own for every message.
    Apply(2, "ON,CLOSE," + Name("Shared.log"));
    logger_.Write(2, "two");
    EXPECT_FALSE(logger_.Level(2).open);
    EXPECT_TRUE(logger_.Level(0).open);
    expected += "two\n";
    EXPECT_EQ(folder_.Read("Shared.log"), expected);
}

TEST_F(LoggerTest, RotationMovesOnToNumberedFiles) {
    Apply(0, "ON,MAXSIZE=1," + Name("dir/log.txt"));
    const std::string line(299, 'a');  // 300 bytes with the line end
    WriteMessages(0, 4, line);         // 1200 bytes: the fourth message still goes here
    EXPECT_EQ(folder_.Read("dir/log.txt").size(), 1200u);
    EXPECT_EQ(logger_.Level(0).currentFileName, Path("dir/log_1.txt"));
    WriteMessages(0, 5, line);
    EXPECT_EQ(folder_.Read("dir/log_1.txt").size(), 1200u);
    EXPECT_EQ(folder_.Read("dir/log_2.txt").size(), 300u);
    EXPECT_EQ(logger_.Level(0).fileIndex, 2u);

}

TEST_F(LoggerTest, ContinuesInTheLastNumberedFileOfAnUnbrokenRun) {
    struct Case {
        std::vector<std::string> present;
        std::string continuesIn;
        std::uint32_t index;
    } cases[] = {
        {{"log.txt", "log_1.txt", "log_2.txt"}, "log_2.txt", 2},
        {{"log.txt", "log_2.txt"}, "log.txt", 0},  // a gap ends the count
        {{"log_1.txt", "log_2.txt", "log_4.txt"}, "log_2.txt", 2},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        for (const auto& name : c.present) folder.Write(name, "old\n");
        TestLogger logger;
        logger.ApplyOptions(0, ("ON,MAXSIZE=10,NAME=" + folder.Path("log.txt")).c_str());
        EXPECT_EQ(logger.Level(0).currentFileName, folder.Path(c.continuesIn));
        EXPECT_EQ(logger.Level(0).fileIndex, c.index);
        logger.Write(0, "new");
        EXPECT_EQ(folder.Read(c.continuesIn), (c.present.empty() ? "" : "old\n") + std::string("new\n"));
    }
}

TEST_F(LoggerTest, EraseDeletesOnlyTheFileTheLevelContinuesIn) {
    for (const char* name : {"e.log", "e_1.log", "e_2.log"}) folder_.Write(name, "old\n");
    Apply(0, "ON,ERASE,MAXSIZE=4," + Name("e.log"));
    EXPECT_EQ(folder_.Entries(), (std::vector<std::string>{"e.log", "e_1.log"}));
    logger_.Write(0, "fresh");
    EXPECT_EQ(folder_.Read("e_2.log"), "fresh\n");
    EXPECT_EQ(folder_.Read("e_1.log"), "old\n");
}

TEST_F(LoggerTest, OnlyRegularFilesAreErasedOrRotatedAndAFifoNeverHoldsAWrite) {
    // A link is not deleted: the regular file behind it is emptied.
    folder_.Write("target.log", "old\n");
    std::filesystem::create_symlink("target.log", Path("link.log"));
    Apply(0, "ON,ERASE," + Name("link.log"));
    EXPECT_EQ(hostile::TypeOf(Path("link.log")), S_IFLNK);
    EXPECT_EQ(folder_.Read("target.log"), "");

    // A FIFO stays; with nobody reading, a message is lost at once, and the next reader gets
    // the count. It is never rotated.
    ASSERT_TRUE(hostile::MakeFifo(Path("pipe.log")));
    Apply(1, "ON,ERASE,MAXSIZE=1," + Name("pipe.log"));
    EXPECT_EQ(hostile::TypeOf(Path("pipe.log")), S_IFIFO);
    logger_.Write(1, "nobody reads this");
    EXPECT_EQ(logger_.Level(1).lostMessages, 1u);
    {
        hostile::FifoReader reader(Path("pipe.log"));
        const std::string longer(2000, 'x');
        logger_.Write(1, longer.c_str());
        EXPECT_EQ(reader.Take(), "*** Lost messages = 1\n" + longer + "\n");
        WriteMessages(1, 10, "kept open");  // from the tenth opening on the FIFO stays open
        reader.Take();
    }
    EXPECT_EQ(logger_.Level(1).fileIndex, 0u);
    // Its reader went away: let go of, so the next reader gets the count.
    const auto previousHandler = std::signal(SIGPIPE, SIG_IGN);  // as the program has it
    logger_.Write(1, "nobody reads this either");
    std::signal(SIGPIPE, previousHandler);
    hostile::FifoReader next(Path("pipe.log"));
    logger_.Write(1, "next");
    EXPECT_EQ(next.Take(), "*** Lost messages = 1\nnext\n");

    // A device node stays and is written as it is.
    if (hostile::IsRoot()) {
        ASSERT_TRUE(hostile::MakeDevice(Path("null.log"), hostile::kNull));
        Apply(2, "ON,ERASE,MAXSIZE=1," + Name("null.log"));
        logger_.Write(2, std::string(2000, 'y').c_str());
        EXPECT_EQ(hostile::TypeOf(Path("null.log")), S_IFCHR);
        EXPECT_EQ(logger_.Level(2).fileIndex, 0u);
        EXPECT_EQ(logger_.Level(2).lostMessages, 0u);
    }
    // A name that does not fit switches its level off, and says so.
    Apply(3, "ON," + Name(std::string(260, 'n')));
    EXPECT_FALSE(logger_.IsLevelEnabled(3));
    EXPECT_EQ(logger_.ConfigurationProblems().size(), 1u);
}

TEST_F(LoggerTest, LostMessagesAreCountedAndReported) {

    folder_.Write("blocker", "a file where a folder should be");
    Apply(1, "ON," + Name("blocker/sub/x.log"));
    WriteMessages(1, 3);
    EXPECT_EQ(logger_.Level(1).lostMessages, 3u);
    std::filesystem::remove(Path("blocker"));
    logger_.Write(1, "back");
    logger_.Write(1, "again");
    EXPECT_EQ(folder_.Read("blocker/sub/x.log"), "*** Lost messages = 3\nback\nagain\n");
    EXPECT_EQ(logger_.Level(1).lostMessages, 0u);
}

}  // namespace
