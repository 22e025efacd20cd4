// SPDX-License-Identifier: GPL-3.0-or-later
// A save replaces the file a name stands for: through symbolic links, with
// the replaced file's permissions and (where this process may) its owner.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "WaveTestFiles.h"
#include "support/FakeServices.h"
#include "wavefile/WaveFile.h"

namespace {

constexpr std::uint32_t SavedBytes = 44 + 200; // 100 frames of 16-bit mono

void SaveMemory(const std::string& path, const std::string& tempDirectory)
{
    CWaveFile wave(100, CSampleFormat(8000, 1, 2), tempDirectory);
    Bytes samples = Ramp(200);
    wave.Write(samples.data(), 200);
    wave.SetFileName(path);
    EXPECT_EQ(wave.Save(), 1) << path;
}

void SaveFileMode(const std::string& path, const std::string& tempDirectory)
{
    CWaveFile wave(CSampleFormat(8000, 1, 2), false, tempDirectory);
    Bytes samples = Ramp(200);
    wave.Write(samples.data(), 200);
    wave.SetFileName(path);
    EXPECT_EQ(wave.Save(), 1) << path;
}

bool IsLink(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

struct Saver {
    const char* name;
    void (*save)(const std::string& path, const std::string& tempDirectory);
};

const Saver Savers[] = {{"memory mode", SaveMemory}, {"file mode", SaveFileMode}};

TEST(WaveFileReplaceTest, SavingToALinkWritesTheFileItNames)
{
    for (const Saver& saver : Savers) {
        SCOPED_TRACE(saver.name);
        CFakeServicesScope services;
        CScratchDir dir;
        ASSERT_EQ(::mkdir(dir.File("real").c_str(), 0700), 0);
        WriteAll(dir.File("real/take.wav"), Ramp(5000));
        ASSERT_EQ(::symlink("real/take.wav", dir.File("link.wav").c_str()), 0);
        ASSERT_EQ(::symlink("real/new.wav", dir.File("dangling.wav").c_str()), 0);
        ASSERT_EQ(::symlink("link.wav", dir.File("chain.wav").c_str()), 0);

        saver.save(dir.File("link.wav"), dir.path);
        EXPECT_TRUE(IsLink(dir.File("link.wav"))) << "the link stays a link";
        EXPECT_EQ(ReadAll(dir.File("real/take.wav")).size(), SavedBytes);

        saver.save(dir.File("dangling.wav"), dir.path);
        EXPECT_TRUE(IsLink(dir.File("dangling.wav")));
        EXPECT_EQ(ReadAll(dir.File("real/new.wav")).size(), SavedBytes) << "a dangling link gets its file";

        WriteAll(dir.File("real/take.wav"), Ramp(10));
        saver.save(dir.File("chain.wav"), dir.path);
        EXPECT_TRUE(IsLink(dir.File("chain.wav")) && IsLink(dir.File("link.wav")));
        EXPECT_EQ(ReadAll(dir.File("real/take.wav")).size(), SavedBytes) << "links to links are followed to the end";

        EXPECT_EQ(dir.List(), (std::vector<std::string>{"chain.wav", "dangling.wav", "link.wav", "real"}));
        EXPECT_TRUE(services.fake.messages.empty());
        std::vector<std::string> inReal;
        for (const auto& entry : std::filesystem::directory_iterator(dir.File("real")))
            inReal.push_back(entry.path().filename().string());
        std::sort(inReal.begin(), inReal.end());
        EXPECT_EQ(inReal, (std::vector<std::string>{"new.wav", "take.wav"})) << "no temporary file left";
    }
}

TEST(WaveFileReplaceTest, OverwritingKeepsOwnerGroupAndPermissions)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another owner needs root";
    CFakeServicesScope services;
    CScratchDir dir;
    WriteAll(dir.File("take.wav"), Ramp(5000));
    ASSERT_EQ(::chown(dir.File("take.wav").c_str(), 12345, 23456), 0);
    ASSERT_EQ(::chmod(dir.File("take.wav").c_str(), 0640), 0);

    SaveMemory(dir.File("take.wav"), dir.path);
    struct stat info {};
    ASSERT_EQ(::stat(dir.File("take.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 12345u);
    EXPECT_EQ(info.st_gid, 23456u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadAll(dir.File("take.wav")).size(), SavedBytes);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"take.wav"});
}

} // namespace
