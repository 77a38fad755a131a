// Failing disks under the Logger and the configuration stores: a folder that refuses new
// files, a file system that fills up, a log file deleted while the Logger holds it open. The
// tests run as root, for whom permission bits stop nothing, so the disk fills through the
// file size limit (RLIMIT_FSIZE, SIGXFSZ ignored) or through the Logger's stream seam.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "infra/config_dbs_ini.h"
#include "infra/config_dbs_reg.h"
#include "infra/config_dbs_txt.h"
#include "infra/logger.h"
#include "tests/infra/temp_folder.h"

namespace soak {
namespace {

// A Logger whose disk can refuse new files or fill up after a number of bytes.
class FailingDiskLogger : public Logger {
public:
    explicit FailingDiskLogger(const std::string& keyPath) : Logger(keyPath.c_str(), true, nullptr, 0, true) {}

    bool refuseNewFiles = false;
    long bytesLeft = -1;  // negative: no limit

protected:
    std::FILE* OpenStream(const char* path) override {
        return refuseNewFiles ? nullptr : Logger::OpenStream(path);
    }
    bool WriteToStream(std::FILE* stream, const char* data, std::size_t length) override {
        if (bytesLeft < 0) return Logger::WriteToStream(stream, data, length);
        // Whatever still fits goes out; the rest is refused, as by a full disk.
        const std::size_t fits = std::min(length, static_cast<std::size_t>(bytesLeft));
        bytesLeft -= static_cast<long>(fits);
        return Logger::WriteToStream(stream, data, fits) && fits == length;
    }
};

class DiskFaultTest : public ::testing::Test {
protected:
    // Levels 1 and 2 share the file: a fault must reach both.
    void Configure(const std::string& options) {
        folder_.Write("pelvok.ini", "[Logs]\nFile2=" + options + "\nFile3=" + options + "\n");
    }
    std::string KeyPath() const { return folder_.Path("pelvok.ini"); }
    std::string LogPath() const { return folder_.Path("run.log"); }

    TempFolder folder_;
};

TEST_F(DiskFaultTest, AFolderThatRefusesNewFilesLosesMessagesCountedAndReported) {
    Configure("ON,CLOSE,NAME=" + LogPath());
    FailingDiskLogger logger(KeyPath());
    logger.Write(1, "before");
    logger.refuseNewFiles = true;
    for (int i = 0; i < 4; ++i) logger.Write(i % 2 + 1, "refused");
    EXPECT_EQ(logger.Level(1).lostMessages + logger.Level(2).lostMessages, 4u);
    logger.refuseNewFiles = false;
    logger.Write(1, "level 1 back");
    logger.Write(2, "level 2 back");
    EXPECT_EQ(folder_.Read("run.log"),
              "before\n*** Lost messages = 2\nlevel 1 back\n*** Lost messages = 2\nlevel 2 back\n");
}

// A full disk under a file the Logger keeps open, and under one it opens for every message.
TEST_F(DiskFaultTest, AFullDiskLosesMessagesCountedAndReportedOnceThereIsRoomAgain) {
    for (const bool keptOpen : {true, false}) {
        SCOPED_TRACE(keptOpen ? "kept open" : "closed after each message");
        std::filesystem::remove(LogPath());
        Configure(std::string(keptOpen ? "ON" : "ON,CLOSE") + ",NAME=" + LogPath());
        FailingDiskLogger logger(KeyPath());
        for (int i = 0; i < 12; ++i) logger.Write(1, "fill");  // past the openings that close again
        logger.bytesLeft = 5;
        logger.Write(1, "cut short");  // "cut s" reaches the disk, the message counts as lost
        logger.Write(2, "refused");
        logger.Write(1, "refused");
        logger.bytesLeft = -1;
        logger.Write(1, "room again");
        logger.Write(1, "and on");
        std::string expected;
        for (int i = 0; i < 12; ++i) expected += "fill\n";
        // Level 2 shares the stream of level 1 when kept open; each level reports its own losses.
        expected += "cut s*** Lost messages = 2\nroom again\nand on\n";
        EXPECT_EQ(folder_.Read("run.log"), expected);
        EXPECT_EQ(logger.Level(2).lostMessages, 1u);
    }
}

// The real thing: the process may not grow files past a limit, so write() fails with EFBIG.
TEST_F(DiskFaultTest, AFileSizeLimitLosesMessagesCountedAndNothingCrashes) {
    Configure("ON,TIMESTAMP,NAME=" + LogPath());
    Logger logger(KeyPath().c_str(), true, nullptr, 0, true);
    SetLogger(&logger);
    {
        FileSizeLimit limit(200);
        for (int i = 0; i < 40; ++i) Log(1, "message %d of a disk that fills up", i);
    }
    const std::uint32_t lost = logger.Level(1).lostMessages;
    EXPECT_GT(lost, 30u);
    Log(1, "room again");
    SetLogger(nullptr);
    const std::string text = folder_.Read("run.log");
    EXPECT_NE(text.find("*** Lost messages = " + std::to_string(lost) + "\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 11), "room again\n");
}

TEST_F(DiskFaultTest, ALogFileDeletedWhileOpenIsMadeAnewAndNothingGoesToTheVanishedOne) {
    Configure("ON,NAME=" + LogPath());
    Logger logger(KeyPath().c_str(), true, nullptr, 0, true);
    for (int i = 0; i < 12; ++i) logger.Write(1, "kept open");
    ASSERT_TRUE(logger.Level(1).open);
    ASSERT_TRUE(std::filesystem::remove(LogPath()));
    logger.Write(2, "after the delete");  // level 2 shares the vanished stream
    logger.Write(1, "and on");
    EXPECT_EQ(folder_.Read("run.log"), "after the delete\nand on\n");
    EXPECT_EQ(logger.Level(1).lostMessages, 0u);
}

// Every store rewrites its file through a temporary one: a write the disk refuses leaves the
// old file whole and no temporary file behind, and the next write after the fault succeeds.
TEST(StoreDiskFaultTest, AWriteTheDiskRefusesLeavesEveryStoreFileWhole) {
    const std::string bulk(4000, 'x');
    struct Case {
        const char* name;
        std::function<std::unique_ptr<ConfigDbs>(const TempFolder&)> make;
    };
    const Case cases[] = {
        {"profile", [](const TempFolder& f) { return std::make_unique<ConfigDbsIni>(f.Path("store.ini").c_str()); }},
        {"text", [](const TempFolder& f) { return std::make_unique<ConfigDbsTxt>(f.Path("store.conf").c_str()); }},
        {"registry", [](const TempFolder& f) { return std::make_unique<ConfigDbsReg>(f.Path("reg"), "Quorlan\\Pelvok"); }},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        TempFolder folder;
        auto store = each.make(folder);
        ASSERT_TRUE(store->WriteOption("Options", "Bulk", bulk.c_str()));
        ASSERT_TRUE(store->WriteOption("Options", "SessionId", "41"));
        const auto snapshot = [&folder] {
            std::map<std::string, std::string> files;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.Root()))
                if (entry.is_regular_file()) {
                    const std::string relative = entry.path().string().substr(folder.Root().size() + 1);
                    files[relative] = folder.Read(relative);
                }
            return files;
        };
        const auto before = snapshot();
        {
            FileSizeLimit limit(1024);  // the rewritten file cannot be written whole
            EXPECT_FALSE(store->WriteOption("Options", "SessionId", "42"));
            EXPECT_FALSE(store->WriteIntOption("Options", "Other", 7));
        }
        EXPECT_EQ(snapshot(), before);
        char value[16];
        ASSERT_TRUE(store->ReadOption("Options", "SessionId", "", value, sizeof value));
        EXPECT_STREQ(value, "41");
        EXPECT_TRUE(store->WriteOption("Options", "SessionId", "42"));
        ASSERT_TRUE(store->ReadOption("Options", "SessionId", "", value, sizeof value));
        EXPECT_STREQ(value, "42");
    }
}

}  // namespace
}  // namespace soak
