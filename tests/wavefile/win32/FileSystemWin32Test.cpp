// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "wavefile/FileSystem.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FileSystemWin32Test : public ::testing::Test {
protected:
    FileSystemWin32Test()
    {
        directory = fs::path(files.TemporaryDirectory()) /
                    ("tallowmere-fs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(directory);
        fs::create_directories(directory);
    }
    ~FileSystemWin32Test() override
    {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
    std::string Name(const char* leaf) const { return (directory / leaf).string(); }

    IFileSystem& files = PlatformFileSystem();
    fs::path directory;
};

TEST_F(FileSystemWin32Test, PositionedReadsAndWritesOnARegularFile)
{
    std::unique_ptr<IFile> file;
    ASSERT_EQ(files.Open(Name("data.bin"), FileAccess::Create, file), 0);
    ASSERT_EQ(file->Kind(), FileKind::Regular);
    EXPECT_EQ(file->WriteAt("RIFF", 4, 0), 0);
    EXPECT_EQ(file->WriteAt("data", 4, 8), 0); // past the end: the gap reads as zeros
    EXPECT_EQ(file->Size(), 12);
    char bytes[16] = {};
    EXPECT_EQ(file->ReadAt(bytes, sizeof bytes, 0), 12); // short only at the end
    EXPECT_EQ(std::string(bytes, 12), std::string("RIFF\0\0\0\0data", 12));
    EXPECT_EQ(file->ReadAt(bytes, 4, 12), 0);
    file->Reserve(1 << 20); // advice only; Wine refuses it
    EXPECT_EQ(file->Size(), 12); // room, not length
    EXPECT_EQ(file->Truncate(4), 0);
    EXPECT_EQ(file->Size(), 4);
    EXPECT_EQ(file->Sync(), 0);
    EXPECT_EQ(file->Close(), 0);
    EXPECT_EQ(file->Close(), 0);
    EXPECT_EQ(ReadAll(directory / "data.bin"), "RIFF");

    // Create empties what was there; Read cannot write.
    ASSERT_EQ(files.Open(Name("data.bin"), FileAccess::Read, file), 0);
    EXPECT_NE(file->WriteAt("x", 1, 0), 0);
    file.reset();
    ASSERT_EQ(files.Open(Name("data.bin"), FileAccess::Create, file), 0);
    EXPECT_EQ(file->Size(), 0);
}

TEST_F(FileSystemWin32Test, NamesThatAreNotRegularFiles)
{
    std::unique_ptr<IFile> file;
    struct Row {
        const char* name;
        std::string path;
        FileAccess access;
        int expected;
    } rows[] = {
        {"missing file", Name("missing.wav"), FileAccess::Read, ENOENT},
        {"missing directory", Name("no\\such.wav"), FileAccess::Create, ENOENT},
        {"a directory", directory.string(), FileAccess::Read, EISDIR},
        {"empty name", "", FileAccess::Read, ENOENT},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(files.Open(row.path, row.access, file), row.expected) << row.name;
        EXPECT_EQ(file, nullptr) << row.name;
    }
    // The null device is written in place, like /dev/null.
    ASSERT_EQ(files.Open("NUL", FileAccess::ReadWrite, file), 0);
    EXPECT_EQ(file->Kind(), FileKind::CharacterDevice);
    EXPECT_EQ(file->WriteAt("abc", 3, 100), 0);
    EXPECT_EQ(file->Size(), 0);
}

TEST_F(FileSystemWin32Test, InspectTellsFilesApart)
{
    std::ofstream(directory / "one.wav") << "1";
    std::ofstream(directory / "two.wav") << "2";
    FileInfo absent, one, again, two, folder;
    EXPECT_EQ(files.Inspect(Name("none.wav"), absent), 0);
    EXPECT_EQ(absent.kind, FileKind::Absent);
    ASSERT_EQ(files.Inspect(Name("one.wav"), one), 0);
    ASSERT_EQ(files.Inspect((directory / "." / "one.wav").string(), again), 0);
    ASSERT_EQ(files.Inspect(Name("two.wav"), two), 0);
    EXPECT_EQ(one.kind, FileKind::Regular);
    EXPECT_TRUE(one.writable);
    EXPECT_EQ(std::make_pair(one.device, one.inode), std::make_pair(again.device, again.inode));
    EXPECT_NE(std::make_pair(one.device, one.inode), std::make_pair(two.device, two.inode));
    ASSERT_EQ(files.Inspect(directory.string(), folder), 0);
    EXPECT_EQ(folder.kind, FileKind::Directory);
}

TEST_F(FileSystemWin32Test, RenameReplacesTheTargetAndRemoveDeletes)
{
    std::ofstream(directory / "new.tmp") << "new contents";
    std::ofstream(directory / "take.wav") << "old";
    EXPECT_EQ(files.Rename(Name("new.tmp"), Name("take.wav")), 0);
    EXPECT_EQ(ReadAll(directory / "take.wav"), "new contents");
    EXPECT_FALSE(fs::exists(directory / "new.tmp"));
    EXPECT_EQ(files.Rename(Name("new.tmp"), Name("take.wav")), ENOENT);
    EXPECT_EQ(files.Remove(Name("take.wav")), 0);
    EXPECT_FALSE(fs::exists(directory / "take.wav"));
    EXPECT_EQ(files.Remove(Name("take.wav")), ENOENT);
}

TEST_F(FileSystemWin32Test, TemporaryFilesAreNewAndNamedAfterThePrefix)
{
    std::string first, second;
    std::unique_ptr<IFile> a, b;
    ASSERT_EQ(files.CreateTemporary(directory.string(), "wav", first, a), 0);
    ASSERT_EQ(files.CreateTemporary(directory.string(), "wav", second, b), 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(fs::path(first).filename().string().rfind("wav", 0), 0u) << first;
    EXPECT_EQ(fs::path(first).parent_path(), directory);
    EXPECT_EQ(a->WriteAt("x", 1, 0), 0);
    EXPECT_EQ(a->Size(), 1);
    EXPECT_EQ(b->Size(), 0);
    std::string none;
    EXPECT_NE(files.CreateTemporary(Name("missing"), "wav", none, a), 0);
    EXPECT_EQ(a, nullptr);
    // No nameless files on Windows: the caller falls back to a named one.
    EXPECT_EQ(files.CreateAnonymous(directory.string(), a), EOPNOTSUPP);
    EXPECT_TRUE(fs::is_directory(files.TemporaryDirectory()));
}

TEST(FileSystemWin32Paths, DirectoryOf)
{
    struct Row {
        const char* path;
        const char* directory;
    } rows[] = {
        {"C:\\Users\\me\\take.wav", "C:\\Users\\me"}, {"C:\\take.wav", "C:\\"}, {"take.wav", "."},
        {"C:take.wav", "C:"}, {"\\take.wav", "\\"}, {"sub/dir/take.wav", "sub/dir"},
        {"sub\\\\take.wav", "sub"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PlatformFileSystem().DirectoryOf(row.path), row.directory) << row.path;
}

} // namespace
