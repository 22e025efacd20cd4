// SPDX-License-Identifier: GPL-3.0-or-later
// The status line and the keyboard decoding.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

#include "cli/Keyboard.h"
#include "cli/StatusLine.h"

namespace {

// Everything written to a CStatusLine's stream.
class CCapturedStream {
public:
    CCapturedStream() : stream(tmpfile()) {}
    ~CCapturedStream() { std::fclose(stream); }
    std::string Text()
    {
        std::fflush(stream);
        std::string text;
        std::rewind(stream);
        for (int c; (c = std::fgetc(stream)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }
    std::FILE* stream;
};

} // namespace

TEST(StatusLine, LineShowsStatusBarAndClampedPercentage)
{
    std::string line = FormatStatusLine("Recording...   Press <Esc> to cancel", 50, 200);
    EXPECT_EQ(line, "Recording...   Press <Esc> to cancel     [##########----------]  50%");
    EXPECT_NE(FormatStatusLine("Playing", 300, 200).find("[####################] 100%"), std::string::npos);
    EXPECT_NE(FormatStatusLine("Ready", -5, 200).find("[--------------------]   0%"), std::string::npos);
    EXPECT_EQ(FormatStatusLine("Ready", 0, 30).size(), 29u);
}

// Logs and pipes get one line per status change and nothing per progress step.
TEST(StatusLine, NotATerminalGivesOneLinePerStatusChange)
{
    CCapturedStream out;
    CStatusLine line(out.stream, false);
    line.SetStatus("Ready");
    line.SetStatus("Opening Device...");
    line.SetProgress(10);
    line.SetProgress(20);
    line.SetStatus("Opening Device...");
    line.PrintLine("tallowmere: IDS_DEVICE_IO_FAIL");
    line.SetStatus("Ready");
    EXPECT_EQ(out.Text(), "Ready\nOpening Device...\ntallowmere: IDS_DEVICE_IO_FAIL\nReady\n");
}

// On a terminal a message first erases the status line, then it comes back.
TEST(StatusLine, TerminalRedrawsInPlaceAndKeepsMessagesApart)
{
    CCapturedStream out;
    CStatusLine line(out.stream, true);
    line.SetStatus("Recording");
    line.SetProgress(50);
    line.PrintLine("tallowmere: IDS_DEVICE_IO_FAIL");
    line.Clear();
    std::string text = out.Text();
    std::string first = "\r" + FormatStatusLine("Recording", 0, 80) + "\033[K";
    std::string second = "\r" + FormatStatusLine("Recording", 50, 80) + "\033[K";
    EXPECT_EQ(text, first + second + "\r\033[Ktallowmere: IDS_DEVICE_IO_FAIL\n" + second + "\r\033[K");
}

// Held, the status waits (only the latest shows at release) while messages
// still get through; nothing shows when it is never released.
TEST(StatusLine, HeldStatusShowsOnlyWhenReleased)
{
    CCapturedStream out;
    CStatusLine line(out.stream, false);
    line.Hold();
    line.SetStatus("Starting");
    line.SetStatus("Ready");
    line.PrintLine("tallowmere: note");
    EXPECT_EQ(out.Text(), "tallowmere: note\n");
    line.Release();
    line.SetStatus("Opening Device...");
    EXPECT_EQ(out.Text(), "tallowmere: note\nReady\nOpening Device...\n");

    CCapturedStream never;
    CStatusLine unreleased(never.stream, true);
    unreleased.Hold();
    unreleased.SetStatus("Ready");
    unreleased.SetProgress(40);
    unreleased.Clear();
    EXPECT_EQ(never.Text(), "");
}

// Keys come from a pipe here; a terminal delivers the same bytes.
TEST(Keyboard, LoneEscIsEscButKeySequencesAreNot)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    CKeyboard keyboard(fds[0], true);
    EXPECT_FALSE(keyboard.TakeKey());
    const char typed[] = "a\x1b[A\x1bOP\x1b[15~\x1b";
    ASSERT_EQ(write(fds[1], typed, sizeof typed - 1), static_cast<ssize_t>(sizeof typed - 1));
    EXPECT_EQ(keyboard.TakeKey(), 'a');
    EXPECT_EQ(keyboard.TakeKey(), KeyOther);
    EXPECT_EQ(keyboard.TakeKey(), KeyOther);
    EXPECT_EQ(keyboard.TakeKey(), KeyOther);
    EXPECT_EQ(keyboard.TakeKey(), 27u);
    EXPECT_FALSE(keyboard.TakeKey());

    ASSERT_EQ(write(fds[1], "xy", 2), 2);
    keyboard.Discard();
    EXPECT_FALSE(keyboard.TakeKey());
    // A held-down key leaves more waiting than one read takes; all of it goes,
    // or a stray 'y' would answer the tone question.
    const std::string held(300, 'y');
    ASSERT_EQ(write(fds[1], held.data(), held.size()), static_cast<ssize_t>(held.size()));
    keyboard.Discard();
    EXPECT_FALSE(keyboard.TakeKey());
    close(fds[1]);
    EXPECT_FALSE(keyboard.WaitKey(10));
    EXPECT_FALSE(keyboard.Active());
    close(fds[0]);
}

TEST(Keyboard, UnusedKeyboardReadsNothing)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "\x1b", 1), 1);
    CKeyboard keyboard(fds[0], false);
    EXPECT_FALSE(keyboard.Active());
    EXPECT_FALSE(keyboard.TakeKey());
    close(fds[0]);
    close(fds[1]);
}
