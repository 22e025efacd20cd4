// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <windows.h>

#include "sequence/OsVersion.h"

namespace {

// Every Windows since XP keeps an NT record of major version 5 or above
// (without a manifest, today's report 6.2), so the classification gives the
// table's last rows; the report's line names the release really running.
TEST(OsVersionOnThisMachine, NamesTheReleaseReallyRunning)
{
    auto record = QueryOsVersionRecord();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->platformId, PlatformWin32Nt);
    EXPECT_GE(record->majorVersion, 5u);
    EXPECT_EQ(GetOsVersion(), ClassifyOsVersion(*record));

    auto release = QueryWindowsRelease();
    ASSERT_TRUE(release.has_value());
    EXPECT_GE(release->majorVersion, 6u) << "the program does not start before Vista";
    auto later = LaterWindowsLine(*release);
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(OperatingSystemLine(), *later);
    EXPECT_NE(OperatingSystemLine(), "Operating System:\t Windows XP");

    // Wine gives its prefix's release (Windows 7, 6.1.7601, unless set
    // otherwise); ntdll there exports wine_get_version.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr && release->majorVersion == 6 &&
        release->minorVersion == 1) {
        EXPECT_EQ(OperatingSystemLine(), "Operating System:\t Windows 7");
    }
}

} // namespace
