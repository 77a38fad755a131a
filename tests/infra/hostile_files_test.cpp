// What the file helpers do with what is not an ordinary file of theirs: FIFOs, device nodes,
// links, folders, oversized files, a read-only folder, a second holder of a lock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "infra/atomic_file.h"
#include "infra/in_use_lock.h"
#include "infra/output_file.h"
#include "infra/profile_file.h"
#include "infra/regular_file.h"
#include "tests/infra/temp_folder.h"
#include "tests/support/hostile_files.h"

namespace {

using hostile::TypeOf;

TEST(HostileFiles, WholeFileReadsTakeOnlyRegularFilesWithinTheirLimit) {
    TempFolder folder;
    ASSERT_TRUE(hostile::MakeFifo(folder.Path("fifo")));  // no writer: an opening would wait
    std::filesystem::create_directory(folder.Path("folder"));
    folder.Write("big", std::string(kMaxWholeFileBytes + 1, 'x'));
    folder.Write("ok.ini", "[Options]\n");
    const bool device = hostile::IsRoot() && hostile::MakeDevice(folder.Path("zero"), hostile::kZero);
    const std::pair<const char*, int> cases[] = {{"fifo", kNotRegularFileError},
                                                 {"folder", kNotRegularFileError},
                                                 {"big", kFileTooLargeError},
                                                 {"zero", device ? kNotRegularFileError : ENOENT}};
    for (const auto& [name, expected] : cases) {
        std::string contents = "stale";
        int error = 0;
        EXPECT_FALSE(ReadWholeFile(folder.Path(name), &contents, &error)) << name;
        EXPECT_EQ(error, expected) << name;
        EXPECT_EQ(contents, "") << name;
    }
    std::string contents;
    EXPECT_TRUE(ReadWholeFile(folder.Path("ok.ini"), &contents));
    EXPECT_EQ(contents, "[Options]\n");
}

std::vector<struct stat> temporariesSeen;
void SeeTemporary(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    temporariesSeen.push_back(info);
}

TEST(HostileFiles, ARewritesTemporaryFileHasTheFilesModeAndOwnerBeforeAByteIsWritten) {
    TempFolder folder;
    for (const char* name : {"secret.ini", "shared.ini"}) folder.Write(name, "[Options]\nSecret=old\n");
    chmod(folder.Path("secret.ini").c_str(), 0600);
    chmod(folder.Path("shared.ini").c_str(), 0660);  // wider than the umask lets a new file be
    const bool root = hostile::IsRoot();
    if (root) ASSERT_EQ(chown(folder.Path("secret.ini").c_str(), 4321, 8765), 0);
    ASSERT_TRUE(hostile::MakeFifo(folder.Path("fifo.ini")));

    const mode_t previousMask = umask(022);
    temporariesSeen.clear();
    SetTemporaryFileHook(SeeTemporary);
    for (const char* name : {"secret.ini", "shared.ini", "new.ini"})
        EXPECT_TRUE(WriteProfileString(folder.Path(name), "Options", "Secret", "new")) << name;
    EXPECT_EQ(ReplaceFileContents(folder.Path("fifo.ini"), "x").error, kNotRegularFileError);
    SetTemporaryFileHook(nullptr);
    umask(previousMask);

    ASSERT_EQ(temporariesSeen.size(), 3u);
    const mode_t modes[] = {0600, 0660, 0600};  // a new file: only its owner may read it
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(temporariesSeen[i].st_mode & 07777, modes[i]) << i;
        EXPECT_EQ(temporariesSeen[i].st_size, 0) << i;
    }
    if (root) {
        EXPECT_EQ(temporariesSeen[0].st_uid, 4321u);
        EXPECT_EQ(temporariesSeen[0].st_gid, 8765u);
    }
    EXPECT_EQ(TypeOf(folder.Path("fifo.ini")), S_IFIFO);
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"fifo.ini", "new.ini", "secret.ini", "shared.ini"}));
}

TEST(HostileFiles, OutputGoesThroughDevicesFifosAndLinksAndReplacesOnlyRegularFiles) {
    TempFolder folder;
    folder.Write("target.json", "old");
    std::filesystem::create_symlink("target.json", folder.Path("link.json"));
    std::filesystem::create_symlink("nowhere.json", folder.Path("dangling.json"));
    std::filesystem::create_directory(folder.Path("folder"));
    ASSERT_TRUE(hostile::MakeFifo(folder.Path("read.fifo")));
    ASSERT_TRUE(hostile::MakeFifo(folder.Path("lonely.fifo")));
    hostile::FifoReader reader(folder.Path("read.fifo"));
    const bool root = hostile::IsRoot();
    if (root) {
        ASSERT_TRUE(hostile::MakeDevice(folder.Path("null"), hostile::kNull));
        ASSERT_TRUE(hostile::MakeDevice(folder.Path("full"), hostile::kFull));
        ASSERT_TRUE(hostile::MakeDevice(folder.Path("block"), 200, true));
    }
    struct Case {
        const char* name;
        const char* failure;  // nullptr: written
        mode_t typeAfter;
    } cases[] = {
        {"link.json", nullptr, S_IFLNK},
        {"dangling.json", "a symbolic link whose target does not exist", S_IFLNK},
        {"folder", "a folder", S_IFDIR},
        {"read.fifo", nullptr, S_IFIFO},
        {"lonely.fifo", "no process reads from it", S_IFIFO},
        {"no/such/folder.json", "cannot make a file in", 0},
        {"null", nullptr, S_IFCHR},
        {"full", "No space left on device", S_IFCHR},
        {"block", "neither a regular file, a character device nor a FIFO", S_IFBLK},
    };
    for (const Case& c : cases) {
        if (!root && TypeOf(folder.Path(c.name)) == 0 && c.typeAfter != 0) continue;  // no device
        std::string reason;
        EXPECT_EQ(WriteOutputFile(folder.Path(c.name), "{}\n", reason), c.failure == nullptr) << c.name;
        if (c.failure != nullptr) EXPECT_EQ(reason.find(c.failure), 0u) << c.name << ": " << reason;
        EXPECT_EQ(TypeOf(folder.Path(c.name)), c.typeAfter) << c.name;
    }
    EXPECT_EQ(folder.Read("target.json"), "{}\n");
    EXPECT_EQ(reader.Take(), "{}\n");
    EXPECT_FALSE(folder.Exists("nowhere.json"));

    // Standard output by name: written where it goes, the file behind it not replaced.
    OutputRoute route;
    std::string reason;
    ASSERT_TRUE(CheckOutputPath("-", route, reason));
    EXPECT_EQ(route.kind, OutputRoute::StandardStream);
    testing::internal::CaptureStdout();
    const bool written = WriteOutputFile("/dev/stdout", "report\n", reason);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "report\n");
    EXPECT_TRUE(written) << reason;
}

TEST(HostileFiles, OneProcessAtATimeHoldsAFileAcrossItsReplacementAndInAReadOnlyFolder) {
    TempFolder folder;
    folder.Write("p.ini", "[Options]\n");
    const std::string path = folder.Path("p.ini");
    std::string reason;
    {
        InUseLock first, second;
        ASSERT_TRUE(first.Acquire(path, reason));
        ASSERT_TRUE(WriteProfileString(path, "Options", "SessionId", "5"));  // a new file by rename
        EXPECT_FALSE(second.Acquire(path, reason));
        EXPECT_EQ(reason, path + " is in use by another Pelvok (process " + std::to_string(getpid()) + ")");
        std::filesystem::create_symlink("p.ini", folder.Path("link.ini"));
        InUseLock throughALink;
        EXPECT_FALSE(throughALink.Acquire(folder.Path("link.ini"), reason));
    }
    InUseLock afterTheFirstEnded;
    EXPECT_TRUE(afterTheFirstEnded.Acquire(path, reason));

    // No lock file can be made there, and the file can never be replaced: the file is locked.
    std::filesystem::create_directory(folder.Path("ro"));
    folder.Write("ro/p.ini", "[Options]\n");
    chmod(folder.Root().c_str(), 0755);
    chmod(folder.Path("ro").c_str(), 0555);
    {
        hostile::AsNobody nobody;
        InUseLock first, second;
        EXPECT_TRUE(first.Acquire(folder.Path("ro/p.ini"), reason));
        EXPECT_FALSE(second.Acquire(folder.Path("ro/p.ini"), reason));
        EXPECT_EQ(reason, folder.Path("ro/p.ini") + " is in use by another Pelvok");
    }
    EXPECT_FALSE(folder.Exists("ro/p.ini.lock"));
    chmod(folder.Path("ro").c_str(), 0755);
}

}  // namespace
