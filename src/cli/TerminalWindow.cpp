// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TerminalWindow.h"

CTerminalWindow::CTerminalWindow(const DialogTemplate& dialogTemplate, CStatusLine* statusLine)
    : dialogTemplate(dialogTemplate), statusLine(statusLine)
{
    for (const ControlTemplate& control : dialogTemplate.controls)
        if (control.id != IdUnaddressed) {
            Control state;
            state.controlClass = control.controlClass;
            state.text = control.text;
            controls.emplace(control.id, std::move(state));
        }
}

CTerminalWindow::Control* CTerminalWindow::Find(int id)
{
    auto found = controls.find(id);
    return found == controls.end() ? nullptr : &found->second;
}

// The one addressed static control of a dialog is its status line.
bool CTerminalWindow::IsStatusLine(int, const Control& control) const
{
    return control.controlClass == ControlClass::Static && statusLine;
}

std::string CTerminalWindow::GetControlText(int id)
{
    Control* control = Find(id);
    return control ? control->text : std::string();
}

void CTerminalWindow::SetControlText(int id, const std::string& text)
{
    Control* control = Find(id);
    if (!control)
        return;
    control->text = text;
    if (IsStatusLine(id, *control))
        statusLine->SetStatus(text);
}

void CTerminalWindow::EnableControl(int id, bool enabled)
{
    if (Control* control = Find(id))
        control->enabled = enabled;
}

bool CTerminalWindow::IsControlEnabled(int id)
{
    Control* control = Find(id);
    return control && control->enabled;
}

void CTerminalWindow::SetFocus(int id)
{
    if (Find(id))
        focus = id;
}

int CTerminalWindow::ComboAddString(int id, const std::string& text)
{
    Control* control = Find(id);
    if (!control || control->controlClass != ControlClass::ComboBox)
        return -1;
    control->items.push_back(text);
    return static_cast<int>(control->items.size()) - 1;
}

// As a drop-down box does: a selection shows its item in the field, and
// clearing the selection clears the field.
int CTerminalWindow::ComboSetCurSel(int id, int index)
{
    Control* control = Find(id);
    if (!control || control->controlClass != ControlClass::ComboBox)
        return -1;
    if (index < 0 || index >= static_cast<int>(control->items.size())) {
        control->selection = -1;
        control->text.clear();
        return -1;
    }
    control->selection = index;
    control->text = control->items[static_cast<std::size_t>(index)];
    return index;
}

int CTerminalWindow::ComboGetCurSel(int id)
{
    Control* control = Find(id);
    return control && control->controlClass == ControlClass::ComboBox ? control->selection : -1;
}

int CTerminalWindow::ComboGetCount(int id)
{
    Control* control = Find(id);
    return control && control->controlClass == ControlClass::ComboBox ? static_cast<int>(control->items.size()) : 0;
}

void CTerminalWindow::SetProgressPos(int id, int position)
{
    Control* control = Find(id);
    if (!control || control->controlClass != ControlClass::ProgressBar)
        return;
    control->position = position;
    if (statusLine)
        statusLine->SetProgress(position);
}

// Tab stops, margins and icons have nothing to show on a terminal.
void CTerminalWindow::SetEditTabStops(int, std::span<const int>) {}
void CTerminalWindow::SetEditMargins(int, int, int) {}
void CTerminalWindow::SetIcon(int, bool) {}

// A later call before the run ends replaces the result, as on a desktop.
void CTerminalWindow::EndDialog(int result)
{
    ended = true;
    endResult = result;
}

int CTerminalWindow::FirstTabStop() const
{
    for (const ControlTemplate& control : dialogTemplate.controls)
        if (control.IsTabStop() && control.id != IdUnaddressed)
            return control.id;
    return 0;
}

const std::vector<std::string>& CTerminalWindow::ComboItems(int id)
{
    static const std::vector<std::string> none;
    Control* control = Find(id);
    return control ? control->items : none;
}

int CTerminalWindow::ProgressPos(int id)
{
    Control* control = Find(id);
    return control ? control->position : 0;
}
