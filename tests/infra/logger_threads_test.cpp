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

// Shared stream with one level closing after each message, then rotation to numbered files:
// every line arrives once and whole.
TEST(LoggerThreads, NoLineIsLostOrInterleaved) {
    for (const char* options : {"ON,NAME=", "ON,MAXSIZE=16,NAME="}) {
        TempFolder folder;
        {
            Logger logger("", true, nullptr, 0, false);
            for (int level = 0; level < 3; ++level)
                logger.ApplyOptions(level, (options + folder.Path("t.log")).c_str());
            logger.ApplyOptions(2, ("ON,CLOSE,NAME=" + folder.Path("t.log")).c_str());
            LogFromManyThreads(logger);
        }
        std::multiset<std::string> seen;
        for (const std::string& name : folder.Entries())
            for (const std::string& line : SplitLines(folder.Read(name))) seen.insert(line);
        std::multiset<std::string> expected;
        for (int t = 0; t < kThreads; ++t)
            for (int m = 0; m < kMessagesEach; ++m) expected.insert(Message(t, m));
        EXPECT_TRUE(seen == expected) << options << ": " << seen.size() << " lines";
        if (std::string(options).find("MAXSIZE") != std::string::npos) {
            EXPECT_GT(folder.Entries().size(), 5u);
        }
    }
}

}  // namespace
