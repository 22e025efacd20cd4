// SPDX-License-Identifier: GPL-3.0-or-later
// Control wrappers: a handle to one control of a dialog's window, by id.
// Once bound, every operation acts on that control; unbound, they do nothing.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "ui/DialogWindow.h"

class CWnd {
public:
    void Bind(CDialogWindow* dialogWindow, int controlId)
    {
        window = dialogWindow;
        id = controlId;
    }
    bool IsBound() const { return window != nullptr; }
    int GetDlgCtrlID() const { return id; }

    void SetWindowText(const std::string& text);
    // The text, cut to fit a buffer of `bufferSize` characters including the
    // terminator (so at most bufferSize - 1 characters).
    std::string GetWindowText(std::size_t bufferSize) const;
    void EnableWindow(bool enabled);
    bool IsWindowEnabled() const;
    void SetFocus();

protected:
    CDialogWindow* window = nullptr;
    int id = 0;
};

class CEdit : public CWnd {
public:
    void SetTabStops(std::span<const int> stops);
    void SetMargins(int leftPixels, int rightPixels);
};

class CComboBox : public CWnd {
public:
    static constexpr int NoSelection = -1;
    int AddString(const std::string& text);
    int SetCurSel(int index);
    int GetCurSel() const;
    int GetCount() const;
};

class CButton : public CWnd {};

class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
public:
    void SetPos(int position);
};
