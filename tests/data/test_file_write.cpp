// test_file_write.cpp -- a file written whole or not at all: the new bytes in place and
// nothing beside them, or the old file untouched and nothing beside it, whatever failed.
#include "file_write.h"
#include "program_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

class FileWriteTest : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("tallymap-file-write-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Every name in the folder, sorted, for "nothing beside it".
    std::string names() const
    {
        std::set<std::string> sorted;
        for (const auto &entry : fs::directory_iterator(dir)) sorted.insert(entry.path().filename().string());
        std::string list;
        for (const std::string &name : sorted) list += name + " ";
        return list;
    }
};

TEST_F(FileWriteTest, ReplacesTheFileAndLeavesNothingBeside)
{
    const std::string target = (dir / "a.csv").string();
    std::ofstream(target) << "old";
    int error = 0;
    for (bool durable : {false, true}) {
        const std::string text = durable ? "durable" : "new";
        ASSERT_EQ(write_file_bytes(target, text.data(), text.size(), error, durable), 1);
        EXPECT_EQ(slurp(target), text);
        EXPECT_EQ(names(), "a.csv ");
    }
    EXPECT_EQ(error, 0);
}

TEST_F(FileWriteTest, AFailureKeepsTheOldFileAndRemovesTheTemporary)
{
    const std::string target = (dir / "a.bmp").string();
    std::ofstream(target) << "old";

    // The writer failed (a full disk while drawing): nothing changes.
    FileWrite write;
    begin_file_write(write, target);
    std::ofstream(write.temporary) << "half";
    int error = 0;
    errno = ENOSPC;
    EXPECT_EQ(finish_file_write(write, false, error), 0);
    EXPECT_EQ(error, ENOSPC);
    EXPECT_EQ(slurp(target), "old");
    EXPECT_EQ(names(), "a.bmp ");

    // A folder where the file should go: the rename fails and says why.
    fs::create_directory(dir / "shelf");
    error = 0;
    EXPECT_EQ(write_file_bytes((dir / "shelf").string(), "x", 1, error), 0);
    EXPECT_EQ(error, EISDIR);
    EXPECT_TRUE(fs::is_empty(dir / "shelf"));

    // A missing folder: nothing is made.
    error = 0;
    EXPECT_EQ(write_file_bytes((dir / "none" / "a.csv").string(), "x", 1, error), 0);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(names(), "a.bmp shelf ");
}

TEST_F(FileWriteTest, AFullDeviceIsSeenAtTheFlush)
{
    // /dev/full takes every fwrite into the buffer and fails when it is flushed.
    int error = 0;
    EXPECT_EQ(write_bytes_to("/dev/full", "bytes", 5, error, false), 0);
    EXPECT_EQ(error, ENOSPC);
}

TEST(TemporaryNames, AreHiddenBesideTheTargetAndRecognised)
{
    const std::string pid = std::to_string(getpid());
    EXPECT_EQ(temporary_name_of("out/f_001.png"), "out/.f_001.png.partial-" + pid);
    EXPECT_EQ(temporary_name_of("a.glb"), ".a.glb.partial-" + pid);
    EXPECT_TRUE(is_temporary_name(".77002.zc.partial-" + pid));
    EXPECT_EQ(backup_name_of("zips/77002.zc"), "zips/.77002.zc.backup-" + pid);
    EXPECT_TRUE(is_temporary_name(".77002.zc.backup-" + pid));
    for (const char *other : {"77002.zc", ".77002.zc", ".partial-12", ".a.partial-", ".a.partial-1x", "a.partial-1",
                              ".a.backup-", "a.backup-1", ".tallydata.lock"})
        EXPECT_FALSE(is_temporary_name(other)) << other;
}

}  // namespace
