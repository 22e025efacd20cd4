// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "sequence/OsVersion.h"

namespace {

// No version record here, so the line names the running system on one
// line, and the classification falls back to an empty record's.
TEST(OsVersionOnThisMachine, NamesTheRunningSystem)
{
    EXPECT_FALSE(QueryOsVersionRecord().has_value());
    EXPECT_EQ(GetOsVersion(), OsVersion::Windows95);
    std::string line = OperatingSystemLine();
    EXPECT_EQ(line.rfind("Operating System:\t ", 0), 0u);
    EXPECT_GT(line.size(), std::string("Operating System:\t ").size());
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
}

} // namespace
