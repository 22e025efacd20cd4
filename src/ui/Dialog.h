// SPDX-License-Identifier: GPL-3.0-or-later
// A modal dialog without a toolkit: it owns its state and its message map;
// its window comes from the current CDialogToolkit, built from its template.
#pragma once

#include <functional>
#include <map>

#include "ui/DialogTemplate.h"
#include "ui/DialogWindow.h"

class CDialog {
public:
    CDialog(const DialogTemplate& dialogTemplate, CDialog* parent);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; returns how it ended (IdOk, IdCancel) or -1
    // when its window could not be created.
    int DoModal();

    const DialogTemplate& Template() const { return dialogTemplate; }
    CDialog* Parent() const { return parent; }
    // The window while the dialog runs; null before and after.
    CDialogWindow* Window() const { return window; }
    WindowHandle Handle() const { return window ? window->Handle() : nullptr; }

    // Called by the toolkit. Attach gives the dialog its window before
    // OnInitDialog and Detach (null) takes it away when the window goes.
    void Attach(CDialogWindow* dialogWindow) { window = dialogWindow; }
    // Binds the controls (DoDataExchange); true lets the toolkit give the
    // focus to the first tab-stop control.
    virtual bool OnInitDialog();
    // A command from a button, Enter (IdOk) or Esc and the close box
    // (IdCancel): the message map's handler, else the default handling.
    void OnCommand(int id);

protected:
    // Binds the control wrappers to the window; moves no values.
    virtual void DoDataExchange() {}
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);
    // One message-map entry: the handler for a command id.
    void MapCommand(int id, std::function<void()> handler);

private:
    const DialogTemplate& dialogTemplate;
    CDialog* parent;
    CDialogWindow* window = nullptr;
    std::map<int, std::function<void()>> messageMap;
};
