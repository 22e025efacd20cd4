// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/Services.h"
#include "support/FakeServices.h"

namespace {

TEST(Services, ScopedReplacementRestoresThePrevious)
{
    CServices* original = &Services();
    {
        CFakeServicesScope outer;
        EXPECT_EQ(&Services(), &outer.fake);
        {
            CFakeServicesScope inner;
            EXPECT_EQ(&Services(), &inner.fake);
        }
        EXPECT_EQ(&Services(), &outer.fake);
    }
    EXPECT_EQ(&Services(), original);
}

TEST(Services, WaitCursorRestoresWhateverWasShown)
{
    CFakeServicesScope scope;
    scope.fake.cursor = CursorShape::Wait;
    {
        CWaitCursor nested;
        EXPECT_EQ(scope.fake.cursor, CursorShape::Wait);
    }
    EXPECT_EQ(scope.fake.cursor, CursorShape::Wait);
    scope.fake.cursor = CursorShape::Arrow;
    {
        CWaitCursor wait;
        EXPECT_EQ(scope.fake.cursor, CursorShape::Wait);
    }
    EXPECT_EQ(scope.fake.cursor, CursorShape::Arrow);
}

TEST(Services, DefaultServicesAreSafeWithoutAUser)
{
    CDefaultServices plain;
    EXPECT_FALSE(plain.AskYesNo(nullptr, "question", "Notice"));
    EXPECT_FALSE(plain.PeekKey(nullptr).has_value());
    EXPECT_FALSE(plain.SetClipboardText(nullptr, "text"));
    EXPECT_FALSE(plain.AskSaveFileName(nullptr, "wav", "Wave Files (*.wav)").has_value());
    std::uint32_t before = plain.TickCount();
    plain.Sleep(20);
    EXPECT_GE(static_cast<std::uint32_t>(plain.TickCount() - before), 20u);
}

TEST(Services, FakeClockAdvancesOnlyBySleeping)
{
    CFakeServices fake;
    std::uint32_t start = fake.TickCount();
    fake.Sleep(250);
    fake.Sleep(100);
    EXPECT_EQ(fake.TickCount() - start, 350u);
    fake.ScriptKeyAt(2, KeyEscape);
    EXPECT_FALSE(fake.PeekKey(nullptr).has_value());
    EXPECT_EQ(fake.PeekKey(nullptr), KeyEscape);
    EXPECT_FALSE(fake.PeekKey(nullptr).has_value());
}

} // namespace
