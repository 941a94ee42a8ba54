#include "file_io.hpp"
#include "history_test_support.hpp"

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>

using namespace celvio;
using namespace celvio::test;
namespace fs = std::filesystem;

TEST(FileIO, ReadsWholeFilesAndReportsWhyNot) {
    TempDir dir;
    const std::string big(200'000, 'x');  // more than one read
    writeText(dir / "big", big);
    EXPECT_EQ(FileIO::readFile(dir / "big").bytes, big);
    EXPECT_EQ(FileIO::readFile(dir / "big").error, 0);
    EXPECT_EQ(FileIO::readFile(dir / "absent").error, ENOENT);
    EXPECT_EQ(FileIO::readFile(dir.path()).error, EISDIR);
}

TEST(FileIO, AtomicWriteReplacesOrLeavesTheOldFile) {
    TempDir dir;
    const fs::path file = dir / "history.json";
    EXPECT_EQ(FileIO::writeAtomically(file, "old"), 0);
    EXPECT_EQ(FileIO::writeAtomically(file, "new"), 0);
    EXPECT_EQ(readText(file), "new");

    fs::create_directory(dir / "folder");
    writeText(dir / "folder" / "inside", "x");
    EXPECT_EQ(FileIO::writeAtomically(dir / "folder", "new"), EISDIR) << "rename over a non-empty folder";
    EXPECT_EQ(FileIO::writeAtomically(dir / "absent" / "history.json", "new"), ENOENT);

    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(dir.path())) names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder", "history.json"})) << "no temporary file left behind";
}

TEST(FileIO, TemporaryFolderIsPrivateAndGoesAway) {
    TempDir dir;
    fs::path made;
    {
        FileIO::TemporaryFolder folder(dir / "a" / "b", "celvio-import-1");
        made = folder.path();
        EXPECT_EQ(made, dir / "a" / "b" / "celvio-import-1");
        struct stat info {};
        ASSERT_EQ(::stat(made.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        writeText(made / "history.sqlite", "x");
        EXPECT_THROW(FileIO::TemporaryFolder(dir / "a" / "b", "celvio-import-1"), std::system_error) << "exists";

        FileIO::TemporaryFolder moved(std::move(folder));
        EXPECT_TRUE(folder.path().empty());
        moved.remove();
        EXPECT_FALSE(fs::exists(made));
        EXPECT_TRUE(moved.path().empty());
        moved.remove();
    }
    EXPECT_TRUE(fs::exists(dir / "a" / "b")) << "only the folder itself goes";
}
