// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "sequence/OsVersion.h"

namespace {

// Every Windows since XP keeps an NT record of major version 5 or above
// (without a manifest, today's report 6.2), so the table's last rows apply.
TEST(OsVersionOnThisMachine, ClassifiesThePlatformsRecord)
{
    auto record = QueryOsVersionRecord();
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->platformId, PlatformWin32Nt);
    EXPECT_GE(record->majorVersion, 5u);
    EXPECT_EQ(GetOsVersion(), ClassifyOsVersion(*record));
    EXPECT_EQ(OperatingSystemLine(), OsVersionLine(GetOsVersion()));
    if (record->majorVersion >= 6) {
        EXPECT_EQ(OperatingSystemLine(), "Operating System:\t Windows XP");
    }
}

} // namespace
