// SPDX-License-Identifier: GPL-3.0-or-later
// Dialogs run modally by the platform's dialog manager: keys, mnemonics and
// the close box become the dialog's commands, nested runs disable their
// owner, and dialogs open centred.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ui/Dialog.h"
#include "ui/Templates.h"
#include "ui/win32/Win32DialogToolkit.h"

namespace {

constexpr int LoggedOk = -100;
constexpr int LoggedCancel = -200;

// A dialog that notes every command it gets; `onInit` runs at the end of
// OnInitDialog with the dialog box's handle, usually to post input.
class CLoggingDialog : public CDialog {
public:
    CLoggingDialog(const DialogTemplate& dialogTemplate, CDialog* parent, std::function<void(HWND)> onInit)
        : CDialog(dialogTemplate, parent), onInit(std::move(onInit))
    {
        for (const ControlTemplate& control : dialogTemplate.controls)
            if (control.IsPushButton() && control.id != IdCancel)
                MapCommand(control.id, [this, id = control.id] { Command(id); });
    }
    bool OnInitDialog() override
    {
        CDialog::OnInitDialog();
        initialised = true;
        if (onInit)
            onInit(static_cast<HWND>(Handle()));
        return true;
    }
    void OnOK() override
    {
        log.push_back(LoggedOk);
        CDialog::OnOK();
    }
    void OnCancel() override
    {
        log.push_back(LoggedCancel);
        CDialog::OnCancel();
    }
    void Command(int id)
    {
        log.push_back(id);
        if (auto action = actions.find(id); action != actions.end())
            action->second();
    }

    std::function<void(HWND)> onInit;
    std::map<int, std::function<void()>> actions;
    std::vector<int> log;
    bool initialised = false;
};

class Win32Toolkit : public testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
    }
    CWin32DialogToolkit toolkit;
    CScopedDialogToolkit scope{toolkit};
};

void PostKey(HWND target, WPARAM key)
{
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

void PostAltLetter(HWND target, char letter)
{
    // Alt held: the context bit of the key data.
    PostMessageA(target, WM_SYSCHAR, static_cast<WPARAM>(letter), 0x20000001);
}

// Runs `action` once the dialog shows and waits for input: timer messages
// come only when the queue is empty, and the modal loop shows a dialog that
// is not yet visible the first time its queue runs empty.
std::function<void()> pendingInput;

void CALLBACK DeliverPendingInput(HWND hwnd, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(hwnd, timer);
    if (auto input = std::exchange(pendingInput, nullptr))
        input();
}

void WhenShown(HWND hwnd, std::function<void()> action)
{
    pendingInput = std::move(action);
    SetTimer(hwnd, 1, 10, DeliverPendingInput);
}

HWND FirstTabStop(HWND dialog, const DialogTemplate& dialogTemplate)
{
    for (const ControlTemplate& control : dialogTemplate.controls)
        if (control.IsTabStop())
            return GetDlgItem(dialog, control.id);
    return nullptr;
}

TEST_F(Win32Toolkit, KeysAndTheCloseBoxBecomeTheDialogsCommands)
{
    struct Row {
        const char* name;
        const DialogTemplate& dialogTemplate;
        std::function<void(HWND dialog, HWND focus)> input;
        int result;
        std::vector<int> log;
    };
    const DialogTemplate& results = ResultsDialogTemplate();
    const DialogTemplate& main = MainDialogTemplate();
    const Row rows[] = {
        {"Esc", results, [](HWND, HWND focus) { PostKey(focus, VK_ESCAPE); }, IdCancel, {LoggedCancel}},
        {"the close box", results, [](HWND dialog, HWND) { PostMessageA(dialog, WM_CLOSE, 0, 0); }, IdCancel,
         {LoggedCancel}},
        {"Enter right after opening presses the first button", results,
         [](HWND, HWND focus) {
             PostKey(focus, VK_RETURN);
             PostKey(focus, VK_ESCAPE);
         },
         IdCancel, {IdSaveRecording, LoggedCancel}},
        {"Alt+C presses Copy", results,
         [](HWND, HWND focus) {
             PostAltLetter(focus, 'c');
             PostKey(focus, VK_ESCAPE);
         },
         IdCancel, {IdCopyResults, LoggedCancel}},
        {"an edit's notification is no command", results,
         [](HWND dialog, HWND) {
             PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IdReportEdit, EN_CHANGE),
                          reinterpret_cast<LPARAM>(GetDlgItem(dialog, IdReportEdit)));
             PostMessageA(dialog, WM_CLOSE, 0, 0);
         },
         IdCancel, {LoggedCancel}},
        {"Enter in the channels edit ends the main dialog", main,
         [](HWND, HWND focus) { PostKey(focus, VK_RETURN); }, IdOk, {LoggedOk}},
        {"Alt+R presses Run Test", main,
         [](HWND dialog, HWND focus) {
             PostAltLetter(focus, 'r');
             PostMessageA(dialog, WM_CLOSE, 0, 0);
         },
         IdCancel, {IdRunTest, LoggedCancel}},
        {"Alt+C presses Close", main, [](HWND, HWND focus) { PostAltLetter(focus, 'c'); }, IdCancel, {LoggedCancel}},
        {"Tab then Enter presses the focused button", main,
         [](HWND dialog, HWND focus) {
             SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IdDuration)), TRUE);
             PostKey(GetDlgItem(dialog, IdDuration), VK_TAB);
             PostKey(GetDlgItem(dialog, IdRunTest), VK_RETURN);
             PostMessageA(dialog, WM_CLOSE, 0, 0);
             (void)focus;
         },
         IdCancel, {IdRunTest, LoggedCancel}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CLoggingDialog dialog(row.dialogTemplate, nullptr, [&row](HWND hwnd) {
            WhenShown(hwnd, [&row, hwnd] { row.input(hwnd, FirstTabStop(hwnd, row.dialogTemplate)); });
        });
        EXPECT_EQ(dialog.DoModal(), row.result);
        EXPECT_EQ(dialog.log, row.log);
        EXPECT_EQ(dialog.Window(), nullptr) << "detached once the window is gone";
    }
}

TEST_F(Win32Toolkit, TheFirstTabStopHasTheFocusAndTheMainDialogIsCentred)
{
    int focusId = 0;
    RECT dialogRect{};
    CLoggingDialog dialog(MainDialogTemplate(), nullptr, [](HWND hwnd) {
        WhenShown(hwnd, [hwnd] { PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IdRunTest, BN_CLICKED), 0); });
    });
    dialog.actions[IdRunTest] = [&] {
        HWND hwnd = static_cast<HWND>(dialog.Handle());
        focusId = GetDlgCtrlID(GetFocus());
        GetWindowRect(hwnd, &dialogRect);
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(dialog.DoModal(), IdCancel);
    EXPECT_EQ(focusId, IdChannels);

    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    LONG width = dialogRect.right - dialogRect.left;
    LONG height = dialogRect.bottom - dialogRect.top;
    EXPECT_NEAR(dialogRect.left, work.left + (work.right - work.left - width) / 2, 1);
    EXPECT_NEAR(dialogRect.top, work.top + (work.bottom - work.top - height) / 2, 1);
}

TEST_F(Win32Toolkit, ANestedDialogIsOwnedDisablesItsOwnerAndOpensOverIt)
{
    bool ownerEnabledInChild = true;
    bool ownerEnabledAfter = false;
    HWND owner = nullptr;
    HWND childOwner = nullptr;
    LONG childCentreX = 0;
    LONG ownerCentreX = 0;
    CLoggingDialog main(MainDialogTemplate(), nullptr, [](HWND hwnd) {
        PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IdRunTest, BN_CLICKED), 0);
    });
    main.actions[IdRunTest] = [&] {
        owner = static_cast<HWND>(main.Handle());
        CLoggingDialog results(ResultsDialogTemplate(), &main, [](HWND hwnd) {
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IdCopyResults, BN_CLICKED), 0);
        });
        results.actions[IdCopyResults] = [&] {
            HWND child = static_cast<HWND>(results.Handle());
            ownerEnabledInChild = IsWindowEnabled(owner) != FALSE;
            childOwner = GetWindow(child, GW_OWNER);
            RECT ownerRect{};
            RECT childRect{};
            GetWindowRect(owner, &ownerRect);
            GetWindowRect(child, &childRect);
            ownerCentreX = (ownerRect.left + ownerRect.right) / 2;
            childCentreX = (childRect.left + childRect.right) / 2;
            PostMessageA(child, WM_CLOSE, 0, 0);
        };
        EXPECT_EQ(results.DoModal(), IdCancel);
        ownerEnabledAfter = IsWindowEnabled(owner) != FALSE;
        PostMessageA(owner, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(main.DoModal(), IdCancel);
    EXPECT_EQ(childOwner, owner);
    EXPECT_FALSE(ownerEnabledInChild);
    EXPECT_TRUE(ownerEnabledAfter);
    EXPECT_NEAR(childCentreX, ownerCentreX, 1);
}

// The owner loses its focus while a nested dialog runs, and a control loses
// it when disabled; both come back, so Enter after a test presses the same
// button again.
TEST_F(Win32Toolkit, FocusComesBackAfterANestedDialogAndToAReenabledButton)
{
    int afterNested = 0;
    int afterReenabled = 0;
    CLoggingDialog main(MainDialogTemplate(), nullptr, [](HWND hwnd) {
        WhenShown(hwnd, [hwnd] {
            SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hwnd, IdDuration)), TRUE);
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IdRunTest, BN_CLICKED), 0);
        });
    });
    auto runResults = [&main] {
        CLoggingDialog results(ResultsDialogTemplate(), &main, [](HWND hwnd) {
            WhenShown(hwnd, [hwnd] { PostMessageA(hwnd, WM_CLOSE, 0, 0); });
        });
        results.DoModal();
    };
    main.actions[IdRunTest] = [&] {
        HWND hwnd = static_cast<HWND>(main.Handle());
        runResults();
        afterNested = GetDlgCtrlID(GetFocus());
        SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hwnd, IdRunTest)), TRUE);
        main.Window()->EnableControl(IdRunTest, false);
        runResults();
        main.Window()->EnableControl(IdRunTest, true);
        afterReenabled = GetDlgCtrlID(GetFocus());
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(main.DoModal(), IdCancel);
    EXPECT_EQ(afterNested, IdDuration);
    EXPECT_EQ(afterReenabled, IdRunTest);
}

TEST_F(Win32Toolkit, ATemplateTheLayoutCannotHoldRunsNothing)
{
    std::array<ControlTemplate, 1> controls{{{1, ControlClass::Button, "b", 0x50010000, 0, 0, 5, 5}}};
    DialogTemplate tooWide{500, "x", 0x80C800C0, 0, 0, 0, 40000, 10, "MS Sans Serif", 8, controls};
    CLoggingDialog dialog(tooWide, nullptr, nullptr);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(dialog.initialised);
}

} // namespace
