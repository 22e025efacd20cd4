// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/ZeroBlock.h"

namespace {

bool AllZero(const CZeroBlock& block, std::size_t from = 0)
{
    return std::all_of(block.Data() + from, block.Data() + block.Size(), [](auto b) { return b == 0; });
}

TEST(ZeroBlock, AllocatesZeroedAndGrowsZeroed)
{
    CZeroBlock block;
    EXPECT_FALSE(block.IsAllocated());
    ASSERT_TRUE(block.Allocate(64));
    EXPECT_TRUE(AllZero(block));
    std::memset(block.Data(), 0xAB, 64);
    ASSERT_TRUE(block.Resize(4096));
    EXPECT_EQ(block.Data()[63], 0xAB);
    EXPECT_TRUE(AllZero(block, 64));
    ASSERT_TRUE(block.Resize(10));
    EXPECT_EQ(block.Size(), 10u);
    EXPECT_EQ(block.Data()[9], 0xAB);
}

TEST(ZeroBlock, AnEmptyBlockIsStillABlock)
{
    CZeroBlock block;
    ASSERT_TRUE(block.Allocate(0));
    EXPECT_TRUE(block.IsAllocated());
    EXPECT_EQ(block.Size(), 0u);
}

TEST(ZeroBlock, TheLimitFailsLikeAnAllocationFailure)
{
    std::size_t old = CZeroBlock::Limit();
    CZeroBlock::SetLimit(100);
    CZeroBlock block;
    EXPECT_FALSE(block.Allocate(101));
    EXPECT_FALSE(block.IsAllocated());
    ASSERT_TRUE(block.Allocate(50));
    EXPECT_FALSE(block.Resize(200));
    EXPECT_EQ(block.Size(), 50u);
    CZeroBlock::SetLimit(old);
}

TEST(ZeroBlock, MovesOwnership)
{
    CZeroBlock a;
    a.Allocate(8);
    std::uint8_t* data = a.Data();
    CZeroBlock b(std::move(a));
    EXPECT_EQ(b.Data(), data);
    EXPECT_FALSE(a.IsAllocated());
}

} // namespace
