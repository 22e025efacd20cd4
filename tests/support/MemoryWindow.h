// SPDX-License-Identifier: GPL-3.0-or-later
// An in-memory dialog window and toolkit for tests. The toolkit runs every
// modal dialog against one script of user actions (type, select, press,
// Enter, Esc, checks), taken in order by whichever dialog is innermost, so a
// whole session (main dialog, test run, results dialog) is a few lines:
//
//   toolkit.Press(IdRunTest).Press(IdCopyResults).Close().Close();
//
// Windows are kept after they close so a test can inspect what they showed.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/Dialog.h"
#include "ui/DialogWindow.h"

class CMemoryWindow : public CDialogWindow {
public:
    struct Control {
        const ControlTemplate* source = nullptr;
        std::string text;
        bool enabled = true;
        std::vector<std::string> items;
        int curSel = -1;
        int progress = 0;
        std::vector<int> tabStops;
        std::optional<std::pair<int, int>> margins;
    };

    // What the dialog did to a control, in order.
    struct Event {
        enum class Kind { Text, Progress, Enable } kind;
        int id;
        std::string text;
        int value;
    };

    CMemoryWindow(const DialogTemplate& dialogTemplate, CMemoryWindow* parent);

    WindowHandle Handle() override { return this; }
    std::string GetControlText(int id) override;
    void SetControlText(int id, const std::string& text) override;
    void EnableControl(int id, bool enabled) override;
    bool IsControlEnabled(int id) override;
    void SetFocus(int id) override;
    int ComboAddString(int id, const std::string& text) override;
    int ComboSetCurSel(int id, int index) override;
    int ComboGetCurSel(int id) override;
    int ComboGetCount(int id) override;
    void SetProgressPos(int id, int position) override;
    void SetEditTabStops(int id, std::span<const int> stops) override;
    void SetEditMargins(int id, int leftPixels, int rightPixels) override;
    void SetIcon(int iconId, bool big) override;
    void EndDialog(int result) override;

    const DialogTemplate& Template() const { return dialogTemplate; }
    CMemoryWindow* Parent() const { return parent; }
    // Null for an id the template does not address (and the call is logged as an error).
    Control* Find(int id);
    const Control& At(int id) const;

    std::vector<std::string> TextsOf(int id) const;
    std::vector<int> ProgressOf(int id) const;
    std::vector<bool> EnabledOf(int id) const;

    int focus = 0;
    std::map<bool, int> icons; // big -> icon id
    std::optional<int> endCode;
    bool destroyed = false;
    std::vector<Event> events;
    std::vector<std::string> errors;

private:
    const DialogTemplate& dialogTemplate;
    CMemoryWindow* parent;
    std::map<int, Control> controls;
};

class CMemoryToolkit : public CDialogToolkit {
public:
    using Check = std::function<void(CMemoryWindow&, CDialog&)>;

    // The script. Each action goes to the innermost running dialog; In(id)
    // makes the next action expect that dialog's template (an error if not).
    CMemoryToolkit& In(int templateId);
    CMemoryToolkit& Type(int id, std::string text);
    CMemoryToolkit& Select(int id, int index);
    CMemoryToolkit& Focus(int id);
    // A click; a disabled control takes none (logged as an error).
    CMemoryToolkit& Press(int id);
    // Enter: the focused push button's click, else IdOk.
    CMemoryToolkit& PressEnter();
    // Esc or the close box.
    CMemoryToolkit& Close();
    // Runs a look at the window at that point of the script.
    CMemoryToolkit& Inspect(Check check);

    int RunModal(CDialog& dialog, CDialog* parent) override;

    // A toolkit that cannot create windows: RunModal gives -1.
    bool failCreate = false;

    // Every window created, in order of creation.
    std::vector<std::unique_ptr<CMemoryWindow>> windows;
    // The last window of a template, or null.
    CMemoryWindow* Last(int templateId) const;
    int CountOf(int templateId) const;
    std::size_t PendingActions() const { return script.size() - next; }
    // Script mismatches, clicks on disabled controls, a script that ran out
    // while a dialog still waited (that dialog is then closed with IdCancel),
    // and every window's own errors.
    std::vector<std::string> Errors() const;

private:
    struct Action {
        std::optional<int> templateId;
        std::function<void(CMemoryWindow&, CDialog&)> apply;
    };
    CMemoryToolkit& Add(std::function<void(CMemoryWindow&, CDialog&)> apply);

    std::vector<Action> script;
    std::size_t next = 0;
    std::optional<int> expectedTemplate;
    std::vector<std::string> errors;
};
