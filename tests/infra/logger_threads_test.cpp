// Many threads logging at once through one thread-safe Logger.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "infra/logger.h"
#include "infra/text_lines.h"
#include "tests/infra/temp_folder.h"

namespace {

constexpr int kThreads = 8;
constexpr int kMessagesEach = 400;

std::string Message(int thread, int number) {
    // Long enough that an unlocked writer would tear lines.
    return "thread " + std::to_string(thread) + " message " + std::to_string(number) + " " +
           std::string(100, static_cast<char>('a' + thread));
}

void LogFromManyThreads(Logger& logger) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&logger, t] {
            for (int m = 0; m < kMessagesEach; ++m)
                logger.Write(t % 3, Message(t, m).c_str());  // three levels, one file
        });
    for (auto& thread : threads) thread.join();
}

void ExpectEveryLineOnceAndWhole(const std::string& text) {
    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t)
        for (int m = 0; m < kMessagesEach; ++m) expected.insert(Message(t, m));
    std::multiset<std::string> seen;
    for (const std::string& line : SplitLines(text)) {
        EXPECT_EQ(expected.count(line), 1u) << "torn or foreign line: " << line.substr(0, 60);
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), expected.size());
    for (const std::string& line : expected) EXPECT_EQ(seen.count(line), 1u);
}

TEST(LoggerThreads, NoLineIsLostOrInterleaved) {
    TempFolder folder;
    {
        Logger logger("", true, nullptr, 0, false);
        for (int level = 0; level < 3; ++level)
            logger.ApplyOptions(level, ("ON,NAME=" + folder.Path("shared.log")).c_str());
        logger.ApplyOptions(2, ("ON,CLOSE,NAME=" + folder.Path("shared.log")).c_str());
        LogFromManyThreads(logger);
    }
    ExpectEveryLineOnceAndWhole(folder.Read("shared.log"));
}

TEST(LoggerThreads, RotationUnderLoadLosesNothing) {
    TempFolder folder;
    {
        Logger logger("", true, nullptr, 0, false);
        for (int level = 0; level < 3; ++level)
            logger.ApplyOptions(level, ("ON,MAXSIZE=16,NAME=" + folder.Path("r.log")).c_str());
        LogFromManyThreads(logger);
    }
    std::string all;
    for (const std::string& name : folder.Entries()) all += folder.Read(name);
    ExpectEveryLineOnceAndWhole(all);
    EXPECT_GT(folder.Entries().size(), 10u);
}

}  // namespace
