// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Controls.h"

void CWnd::SetWindowText(const std::string& text)
{
    if (window)
        window->SetControlText(id, text);
}

std::string CWnd::GetWindowText(std::size_t bufferSize) const
{
    if (!window || bufferSize == 0)
        return {};
    std::string text = window->GetControlText(id);
    if (text.size() > bufferSize - 1)
        text.resize(bufferSize - 1);
    return text;
}

void CWnd::EnableWindow(bool enabled)
{
    if (window)
        window->EnableControl(id, enabled);
}

bool CWnd::IsWindowEnabled() const
{
    return window && window->IsControlEnabled(id);
}

void CWnd::SetFocus()
{
    if (window)
        window->SetFocus(id);
}

void CEdit::SetTabStops(std::span<const int> stops)
{
    if (window)
        window->SetEditTabStops(id, stops);
}

void CEdit::SetMargins(int leftPixels, int rightPixels)
{
    if (window)
        window->SetEditMargins(id, leftPixels, rightPixels);
}

int CComboBox::AddString(const std::string& text)
{
    return window ? window->ComboAddString(id, text) : NoSelection;
}

int CComboBox::SetCurSel(int index)
{
    return window ? window->ComboSetCurSel(id, index) : NoSelection;
}

int CComboBox::GetCurSel() const
{
    return window ? window->ComboGetCurSel(id) : NoSelection;
}

int CComboBox::GetCount() const
{
    return window ? window->ComboGetCount(id) : 0;
}

void CProgressCtrl::SetPos(int position)
{
    if (window)
        window->SetProgressPos(id, position);
}
