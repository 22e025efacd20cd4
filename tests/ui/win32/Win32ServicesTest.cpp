// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 services against the real platform: the keyboard peek, the
// clipboard, the cursor, the clock, and the modal boxes answered from
// another thread as a user would.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "ui/win32/SaveFileFilter.h"
#include "ui/win32/Win32Services.h"

namespace {

// A hidden top-level window with one child, for messages to land on.
class CTestWindows {
public:
    CTestWindows()
    {
        parent = CreateWindowExA(0, "STATIC", "peek parent", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
        child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
        other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                                nullptr);
    }
    ~CTestWindows()
    {
        DestroyWindow(other);
        DestroyWindow(parent);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND parent;
    HWND child;
    HWND other;
};

TEST(Win32Services, PeekKeyTakesOneKeyboardMessageOfTheWindowOrItsControlsAtATime)
{
    CTestWindows windows;
    CWin32Services services;
    PostMessageA(windows.other, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(windows.parent, WM_USER, 0, 0);
    PostMessageA(windows.child, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(windows.parent, WM_SYSKEYDOWN, VK_ESCAPE, 1);
    PostMessageA(windows.parent, WM_CHAR, 'a', 1);
    PostMessageA(windows.parent, 0x0108, 'b', 1);
    PostMessageA(windows.parent, 0x0109, 'c', 1); // WM_UNICHAR: past the range

    EXPECT_EQ(services.PeekKey(windows.parent), std::optional<std::uint32_t>(VK_ESCAPE)) << "a control's key";
    EXPECT_EQ(services.PeekKey(windows.parent), std::optional<std::uint32_t>(VK_ESCAPE)) << "a system key";
    EXPECT_EQ(services.PeekKey(windows.parent), std::optional<std::uint32_t>('a'));
    EXPECT_EQ(services.PeekKey(windows.parent), std::optional<std::uint32_t>('b'));
    EXPECT_EQ(services.PeekKey(windows.parent), std::nullopt);

    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, windows.parent, WM_USER, WM_USER, PM_NOREMOVE)) << "other messages stay";
    EXPECT_TRUE(PeekMessageA(&message, windows.parent, 0x0109, 0x0109, PM_NOREMOVE));
    EXPECT_TRUE(PeekMessageA(&message, windows.other, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE)) << "another window's key stays";
}

std::string ClipboardText()
{
    std::string text;
    if (!OpenClipboard(nullptr))
        return "<clipboard busy>";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
            text = bytes;
            GlobalUnlock(data);
        }
    } else {
        text = "<no text>";
    }
    CloseClipboard();
    return text;
}

TEST(Win32Services, ClipboardHoldsTheTextsBytesExactly)
{
    CTestWindows windows;
    CWin32Services services;
    for (std::string text : {std::string("Operating System:\t Windows XP\r\n\r\nInput Device:\tIn\r\n"),
                             std::string(""), std::string(70000, 'x')}) {
        SCOPED_TRACE(text.size());
        ASSERT_TRUE(services.SetClipboardText(windows.parent, text));
        EXPECT_EQ(ClipboardText(), text);
    }
}

TEST(Win32Services, ABusyClipboardIsRefusedAndLeftAlone)
{
    CTestWindows windows;
    CWin32Services services;
    ASSERT_TRUE(services.SetClipboardText(windows.parent, "before"));
    std::atomic<int> stage = 0;
    std::thread holder([&] {
        if (OpenClipboard(nullptr)) {
            stage = 1;
            while (stage != 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            CloseClipboard();
        } else {
            stage = -1;
        }
    });
    while (stage == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    bool copied = stage == 1 && services.SetClipboardText(windows.parent, "after");
    stage = 2;
    holder.join();
    EXPECT_FALSE(copied);
    EXPECT_EQ(ClipboardText(), "before");
}

TEST(Win32Services, TheWaitCursorIsShownAndWhatItReplacedComesBack)
{
    CWin32Services services;
    HCURSOR original = LoadCursorA(nullptr, IDC_IBEAM);
    ::SetCursor(original);
    EXPECT_EQ(services.SetCursor(CursorShape::Wait), CursorShape::Arrow);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
    {
        CScopedServices scope(services);
        CWaitCursor nested;
        EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
    }
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT)) << "a nested wait keeps the wait cursor";
    EXPECT_EQ(services.SetCursor(CursorShape::Arrow), CursorShape::Wait);
    EXPECT_EQ(GetCursor(), original);
    EXPECT_EQ(services.SetCursor(CursorShape::Arrow), CursorShape::Arrow);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
}

TEST(Win32Services, SleepPassesTimeOnTheTickCount)
{
    CWin32Services services;
    std::uint32_t before = services.TickCount();
    services.Sleep(100);
    std::uint32_t elapsed = services.TickCount() - before;
    // GetTickCount moves in steps of up to about 16 ms; a loaded machine may take far longer.
    EXPECT_GE(elapsed, 84u);
    EXPECT_LT(elapsed, 10000u);
}

TEST(Win32Services, SaveFilterTakesThePatternFromTheDescription)
{
    struct Row {
        const char* description;
        const char* extension;
        std::string filter;
    };
    using namespace std::string_literals;
    for (const Row& row : {Row{"Wave Files (*.wav)", "wav", "Wave Files (*.wav)\0*.wav\0\0"s},
                           Row{"Pictures (*.bmp;*.dib)", "bmp", "Pictures (*.bmp;*.dib)\0*.bmp;*.dib\0\0"s},
                           Row{"Wave Files", "wav", "Wave Files\0*.wav\0\0"s},
                           Row{"Anything ()", "", "Anything ()\0*.*\0\0"s}}) {
        EXPECT_EQ(SaveFileFilter(row.description, row.extension), row.filter) << row.description;
    }
}

struct BoxSearch {
    const std::function<bool(HWND)>* match;
    HWND found;
};

BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM context)
{
    auto& search = *reinterpret_cast<BoxSearch*>(context);
    char name[16] = {};
    GetClassNameA(hwnd, name, sizeof name);
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    if (std::string(name) == "#32770" && process == GetCurrentProcessId() && IsWindowVisible(hwnd) &&
        (*search.match)(hwnd)) {
        search.found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Finds the dialog box (class #32770) of this process that `match` accepts,
// waiting up to 20 s for it to show.
HWND WaitForBox(const std::function<bool(HWND)>& match)
{
    for (int tries = 0; tries < 2000; ++tries) {
        BoxSearch search{&match, nullptr};
        EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

std::string TitleOf(HWND hwnd)
{
    char title[128] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    return title;
}

TEST(Win32Services, TheQuestionIsOwnedTitledAndAnsweredYesOrNo)
{
    CTestWindows windows;
    CWin32Services services;
    for (int answer : {IDYES, IDNO}) {
        HWND boxOwner = nullptr;
        std::thread user([&] {
            HWND box = WaitForBox([](HWND hwnd) { return TitleOf(hwnd) == "Notice"; });
            if (!box)
                return;
            boxOwner = GetWindow(box, GW_OWNER);
            PostMessageA(box, WM_COMMAND, answer, 0);
        });
        bool yes = services.AskYesNo(windows.parent, "Play the tone?", "Notice");
        user.join();
        EXPECT_EQ(yes, answer == IDYES);
        EXPECT_EQ(boxOwner, windows.parent);
    }
}

TEST(Win32Services, AFailureMessageHasNoOwnerAndAnEmptyTitle)
{
    CWin32Services services;
    for (MessageIcon icon : {MessageIcon::None, MessageIcon::Error}) {
        std::string text;
        HWND boxOwner = reinterpret_cast<HWND>(1);
        std::thread user([&] {
            HWND box = WaitForBox([](HWND hwnd) { return TitleOf(hwnd).empty(); });
            if (!box)
                return;
            boxOwner = GetWindow(box, GW_OWNER);
            // The box's text is its static control 0xFFFF.
            char shown[64] = {};
            GetDlgItemTextA(box, 0xFFFF, shown, sizeof shown);
            text = shown;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
        services.ShowMessage("IDS_FILE_OPEN_FAIL", icon);
        user.join();
        EXPECT_EQ(boxOwner, nullptr);
        EXPECT_EQ(text, "IDS_FILE_OPEN_FAIL");
    }
}

TEST(Win32Services, CancellingTheSaveDialogGivesNoPath)
{
    CTestWindows windows;
    CWin32Services services;
    std::thread user([&] {
        HWND box = WaitForBox([&](HWND hwnd) { return GetWindow(hwnd, GW_OWNER) == windows.parent; });
        if (box)
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(services.AskSaveFileName(windows.parent, "wav", "Wave Files (*.wav)"), std::nullopt);
    user.join();
}

// A name typed without an extension comes back with the default one.
TEST(Win32Services, TheSaveDialogCompletesATypedNameWithTheDefaultExtension)
{
    CTestWindows windows;
    CWin32Services services;
    char directory[MAX_PATH] = {};
    ASSERT_GT(GetTempPathA(MAX_PATH, directory), 0u);
    std::string typed = std::string(directory) + "take one";
    std::string filter;
    std::thread user([&] {
        HWND box = WaitForBox([&](HWND hwnd) { return GetWindow(hwnd, GW_OWNER) == windows.parent; });
        if (!box)
            return;
        // The file name field: cmb13 in the explorer-style dialog, edt1 in the old one.
        HWND name = GetDlgItem(box, 0x47C) ? GetDlgItem(box, 0x47C) : GetDlgItem(box, 0x480);
        SetWindowTextA(name, typed.c_str());
        char shown[128] = {};
        if (HWND types = GetDlgItem(box, 0x470))
            GetWindowTextA(types, shown, sizeof shown);
        filter = shown;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    std::optional<std::string> path = services.AskSaveFileName(windows.parent, "wav", "Wave Files (*.wav)");
    user.join();
    EXPECT_EQ(path, std::optional<std::string>(typed + ".wav"));
    EXPECT_EQ(filter, "Wave Files (*.wav)");
}

} // namespace
