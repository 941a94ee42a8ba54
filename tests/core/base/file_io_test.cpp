#include "base/file_io.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <cerrno>

using namespace celvio;
using namespace celvio::test;
namespace fs = std::filesystem;

// Folders, FIFOs and devices are refused through the store and the CLI (history tests).
TEST(FileIO, ReadsWholeRegularFilesAndReportsWhyNot) {
    TempDir dir;
    const std::string big(200'000, 'x');  // more than one read
    writeText(dir / "big", big);
    const FileIO::ReadResult read = FileIO::readFile(dir / "big");
    EXPECT_EQ(std::tuple(read.bytes, read.error), std::tuple(big, 0));
    EXPECT_EQ(read.stamp, FileIO::stampOf(dir / "big"));
    EXPECT_TRUE(read.stamp.exists);

    const auto missing = FileIO::readFile(dir / "absent"), tooBig = FileIO::readFile(dir / "big", 100'000);
    EXPECT_EQ(std::tuple(missing.error, missing.refused, missing.reason, missing.bytes),
              std::tuple(ENOENT, false, "No such file or directory", ""));
    EXPECT_EQ(std::tuple(tooBig.error, tooBig.refused, tooBig.reason, tooBig.bytes),
              std::tuple(EFBIG, true, "File larger than 100000 bytes", ""));
    writeText(dir / "small", "x");
    EXPECT_FALSE(FileIO::stampOf(dir / "absent").exists);
    EXPECT_NE(FileIO::stampOf(dir / "small"), FileIO::stampOf(dir / "big"));
}

TEST(FileIO, LockExcludesEveryOtherHolder) {
    TempDir dir;
    const fs::path lockFile = dir / "history.json.lock";
    {
        const FileIO::FileLock lock(lockFile);
        ASSERT_EQ(lock.error(), 0);
        // A holder that never lets go (a stopped process) costs the patience, not forever.
        EXPECT_EQ(FileIO::FileLock(lockFile, std::chrono::milliseconds(50)).error(), EWOULDBLOCK);
    }
    EXPECT_EQ(FileIO::FileLock(lockFile, std::chrono::milliseconds(50)).error(), 0) << "released with the object";
    EXPECT_EQ(FileIO::FileLock(dir / "absent" / "x.lock").error(), ENOENT);
}

TEST(FileIO, AtomicWriteReplacesOrLeavesTheOldFile) {
    TempDir dir;
    const fs::path file = dir / "history.json";
    EXPECT_EQ(FileIO::writeAtomically(file, "old") | FileIO::writeAtomically(file, "new"), 0);
    EXPECT_EQ(readText(file), "new");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600)) << "a new file is private";

    // Folders and missing folders in the way are the store's tests, with their texts.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "no temporary file left behind";
}

TEST(FileIO, TemporaryFolderIsPrivateAndGoesAway) {
    TempDir dir;
    fs::path made;
    {
        FileIO::TemporaryFolder folder(dir / "a" / "b", "celvio-import-1");
        made = folder.path();
        EXPECT_EQ(made, dir / "a" / "b" / "celvio-import-1");
        EXPECT_EQ(fs::status(made).permissions(), fs::perms::owner_all);
        writeText(made / "history.sqlite", "x");
        EXPECT_THROW(FileIO::TemporaryFolder(dir / "a" / "b", "celvio-import-1"), std::system_error) << "exists";

        FileIO::TemporaryFolder moved(std::move(folder));
        EXPECT_TRUE(folder.path().empty());
        moved.remove();
        moved.remove();
        EXPECT_FALSE(fs::exists(made));
        EXPECT_TRUE(moved.path().empty());
    }
    EXPECT_TRUE(fs::exists(dir / "a" / "b")) << "only the folder itself goes";
}
