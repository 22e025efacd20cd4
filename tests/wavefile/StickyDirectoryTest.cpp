// SPDX-License-Identifier: GPL-3.0-or-later
// Saves into a sticky directory that anyone may write to (as /tmp), where
// the system protects other users' links and files: a save, root's too,
// goes only where opening the name for writing would go. The cases on real
// files need root (to give files to another user and set the system's
// rules, put back after) and are skipped otherwise.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "WaveTestFiles.h"
#include "support/FakeServices.h"
#include "support/KernelSetting.h"
#include "wavefile/LinkProtection.h"
#include "wavefile/WaveFile.h"
#include "wavefile/WaveFileFailure.h"

namespace {

constexpr std::uint32_t Root = 0;
constexpr std::uint32_t Nobody = 65534;
constexpr std::uint32_t Someone = 1000;
constexpr std::uint32_t StickyShared = 01777;     // /tmp
constexpr std::uint32_t StickyGroupShared = 01770; // a group's drop box
constexpr std::uint32_t Shared = 0777;            // writable by all, not sticky

TEST(LinkProtectionTest, FollowsAndCreatesAsTheKernelRulesSay)
{
    struct Row {
        const char* name;
        int level;
        HoldingDirectory directory;
        std::uint32_t owner; // of the link or the file
        std::uint32_t self;
        bool follow;
        bool create;
    };
    const Row rows[] = {
        {"another user's, in /tmp", 1, {StickyShared, Root}, Nobody, Root, false, false},
        {"another user's, rules off", 0, {StickyShared, Root}, Nobody, Root, true, true},
        {"our own, in /tmp", 1, {StickyShared, Root}, Someone, Someone, true, true},
        {"the directory owner's", 1, {StickyShared, Someone}, Someone, Nobody, true, true},
        {"in a directory that is not sticky", 2, {Shared, Root}, Nobody, Root, true, true},
        {"sticky, group-writable, level 1", 1, {StickyGroupShared, Root}, Nobody, Someone, true, true},
        {"sticky, group-writable, level 2", 2, {StickyGroupShared, Root}, Nobody, Someone, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(MayFollowLink(row.level, row.directory, row.owner, row.self), row.follow);
        EXPECT_EQ(MayCreateOver(row.level, row.directory, row.owner, row.self), row.create);
    }
}

struct StickyDirectoryTest : testing::Test {
    void SetUp() override
    {
        if (::geteuid() != 0 || !symlinks.Settable() || !regular.Settable())
            GTEST_SKIP() << "needs root, to own files as nobody and to set fs.protected_symlinks and "
                            "fs.protected_regular";
        ASSERT_EQ(::mkdir(sticky.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(sticky.c_str(), StickyShared), 0);
        ASSERT_TRUE(WriteAll(victim, Ramp(300)));
        ASSERT_TRUE(WriteAll(theirs, Ramp(300)));
        ASSERT_EQ(::chown(theirs.c_str(), Nobody, Nobody), 0);
        ASSERT_EQ(::symlink(victim.c_str(), theirLink.c_str()), 0);
        ASSERT_EQ(::lchown(theirLink.c_str(), Nobody, Nobody), 0);
        ASSERT_EQ(::symlink(victim.c_str(), ourLink.c_str()), 0);
    }

    // What the system answers a plain write of the name: 0 or errno.
    static int PlainWrite(const std::string& path)
    {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return errno;
        ::close(fd);
        return 0;
    }

    static int Save(const std::string& path, bool memoryMode, const std::string& temporary)
    {
        ClearWaveFileFailure();
        auto wave = memoryMode ? std::make_unique<CWaveFile>(100, CSampleFormat(8000, 1, 2), temporary)
                               : std::make_unique<CWaveFile>(CSampleFormat(8000, 1, 2), false, temporary);
        Bytes samples = Ramp(200);
        wave->Write(samples.data(), 200);
        wave->SetFileName(path);
        return wave->Save();
    }

    CFakeServicesScope services;
    CScratchDir dir;
    CKernelSetting symlinks{"fs/protected_symlinks"};
    CKernelSetting regular{"fs/protected_regular"};
    std::string sticky = dir.File("shared");
    std::string victim = dir.File("victim.txt");
    std::string theirs = sticky + "/theirs.wav";
    std::string theirLink = sticky + "/evil.wav";
    std::string ourLink = sticky + "/ours.wav";
};

TEST_F(StickyDirectoryTest, SavesGoOnlyWhereAPlainWriteWould)
{
    ASSERT_TRUE(symlinks.Set("1") && regular.Set("1"));
    ASSERT_EQ(PlainWrite(theirLink), EACCES) << "the system's own rule, which the save must keep";
    ASSERT_EQ(PlainWrite(theirs), EACCES);
    for (bool memoryMode : {true, false}) {
        SCOPED_TRACE(memoryMode ? "memory mode" : "file mode");
        EXPECT_EQ(Save(theirLink, memoryMode, dir.path), 0);
        EXPECT_EQ(ReadAll(victim), Ramp(300)) << "the link's target is untouched";
        EXPECT_EQ(Save(theirs, memoryMode, dir.path), 0);
        EXPECT_EQ(ReadAll(theirs), Ramp(300)) << "another user's file is untouched";
        if (memoryMode) {
            const std::string reason = DescribeWaveFileFailure(LastWaveFileFailure());
            EXPECT_NE(reason.find("fs.protected_regular"), std::string::npos) << reason;
            Save(theirLink, memoryMode, dir.path);
            const std::string linkReason = DescribeWaveFileFailure(LastWaveFileFailure());
            EXPECT_NE(linkReason.find("Permission denied"), std::string::npos) << linkReason;
            EXPECT_NE(linkReason.find("fs.protected_symlinks"), std::string::npos) << linkReason;
        }
    }
    // Our own link is followed, as the system follows it.
    EXPECT_EQ(Save(ourLink, true, dir.path), 1);
    EXPECT_EQ(ReadAll(victim).size(), 44u + 200u);
}

TEST_F(StickyDirectoryTest, WithTheRulesOffTheSaveFollowsAsTheSystemDoes)
{
    ASSERT_TRUE(symlinks.Set("0") && regular.Set("0"));
    ASSERT_EQ(PlainWrite(theirLink), 0);
    EXPECT_EQ(Save(theirLink, true, dir.path), 1);
    EXPECT_EQ(ReadAll(victim).size(), 44u + 200u);
    EXPECT_EQ(Save(theirs, true, dir.path), 1);
    EXPECT_EQ(ReadAll(theirs).size(), 44u + 200u);
}

} // namespace
