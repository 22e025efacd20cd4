// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MemoryWindow.h"

#include <stdexcept>

CMemoryWindow::CMemoryWindow(const DialogTemplate& dialogTemplate, CMemoryWindow* parent)
    : dialogTemplate(dialogTemplate), parent(parent)
{
    for (const ControlTemplate& control : dialogTemplate.controls) {
        if (control.id == IdUnaddressed)
            continue;
        Control& state = controls[control.id];
        state.source = &control;
        state.text = std::string(control.text);
    }
}

CMemoryWindow::Control* CMemoryWindow::Find(int id)
{
    auto found = controls.find(id);
    if (found == controls.end()) {
        errors.push_back("no control " + std::to_string(id) + " in template " + std::to_string(dialogTemplate.id));
        return nullptr;
    }
    return &found->second;
}

const CMemoryWindow::Control& CMemoryWindow::At(int id) const
{
    auto found = controls.find(id);
    if (found == controls.end())
        throw std::out_of_range("no control " + std::to_string(id));
    return found->second;
}

std::string CMemoryWindow::GetControlText(int id)
{
    Control* control = Find(id);
    return control ? control->text : std::string();
}

void CMemoryWindow::SetControlText(int id, const std::string& text)
{
    if (Control* control = Find(id)) {
        control->text = text;
        events.push_back({Event::Kind::Text, id, text, 0});
    }
}

void CMemoryWindow::EnableControl(int id, bool enabled)
{
    if (Control* control = Find(id)) {
        control->enabled = enabled;
        events.push_back({Event::Kind::Enable, id, {}, enabled ? 1 : 0});
    }
}

bool CMemoryWindow::IsControlEnabled(int id)
{
    Control* control = Find(id);
    return control && control->enabled;
}

void CMemoryWindow::SetFocus(int id)
{
    if (Find(id))
        focus = id;
}

int CMemoryWindow::ComboAddString(int id, const std::string& text)
{
    Control* control = Find(id);
    if (!control)
        return -1;
    control->items.push_back(text);
    return static_cast<int>(control->items.size()) - 1;
}

int CMemoryWindow::ComboSetCurSel(int id, int index)
{
    Control* control = Find(id);
    if (!control)
        return -1;
    if (index < 0 || index >= static_cast<int>(control->items.size())) {
        // Like the platform's combo box: no selection, and an empty field.
        control->curSel = -1;
        control->text.clear();
        return -1;
    }
    control->curSel = index;
    control->text = control->items[static_cast<std::size_t>(index)];
    return index;
}

int CMemoryWindow::ComboGetCurSel(int id)
{
    Control* control = Find(id);
    return control ? control->curSel : -1;
}

int CMemoryWindow::ComboGetCount(int id)
{
    Control* control = Find(id);
    return control ? static_cast<int>(control->items.size()) : 0;
}

void CMemoryWindow::SetProgressPos(int id, int position)
{
    if (Control* control = Find(id)) {
        control->progress = position;
        events.push_back({Event::Kind::Progress, id, {}, position});
    }
}

void CMemoryWindow::SetEditTabStops(int id, std::span<const int> stops)
{
    if (Control* control = Find(id))
        control->tabStops.assign(stops.begin(), stops.end());
}

void CMemoryWindow::SetEditMargins(int id, int leftPixels, int rightPixels)
{
    if (Control* control = Find(id))
        control->margins = std::make_pair(leftPixels, rightPixels);
}

void CMemoryWindow::SetIcon(int iconId, bool big)
{
    icons[big] = iconId;
}

void CMemoryWindow::EndDialog(int result)
{
    if (!endCode)
        endCode = result;
}

std::vector<std::string> CMemoryWindow::TextsOf(int id) const
{
    std::vector<std::string> texts;
    for (const Event& event : events)
        if (event.kind == Event::Kind::Text && event.id == id)
            texts.push_back(event.text);
    return texts;
}

std::vector<int> CMemoryWindow::ProgressOf(int id) const
{
    std::vector<int> positions;
    for (const Event& event : events)
        if (event.kind == Event::Kind::Progress && event.id == id)
            positions.push_back(event.value);
    return positions;
}

std::vector<bool> CMemoryWindow::EnabledOf(int id) const
{
    std::vector<bool> states;
    for (const Event& event : events)
        if (event.kind == Event::Kind::Enable && event.id == id)
            states.push_back(event.value != 0);
    return states;
}

CMemoryToolkit& CMemoryToolkit::Add(std::function<void(CMemoryWindow&, CDialog&)> apply)
{
    script.push_back({expectedTemplate, std::move(apply)});
    expectedTemplate.reset();
    return *this;
}

CMemoryToolkit& CMemoryToolkit::In(int templateId)
{
    expectedTemplate = templateId;
    return *this;
}

CMemoryToolkit& CMemoryToolkit::Type(int id, std::string text)
{
    // A combo box keeps its selection when its field is typed into.
    return Add([id, text = std::move(text)](CMemoryWindow& window, CDialog&) {
        if (CMemoryWindow::Control* control = window.Find(id))
            control->text = text;
    });
}

CMemoryToolkit& CMemoryToolkit::Select(int id, int index)
{
    return Add([id, index](CMemoryWindow& window, CDialog&) { window.ComboSetCurSel(id, index); });
}

CMemoryToolkit& CMemoryToolkit::Focus(int id)
{
    return Add([id](CMemoryWindow& window, CDialog&) { window.SetFocus(id); });
}

CMemoryToolkit& CMemoryToolkit::Press(int id)
{
    return Add([this, id](CMemoryWindow& window, CDialog& dialog) {
        CMemoryWindow::Control* control = window.Find(id);
        if (!control)
            return;
        if (!control->enabled) {
            errors.push_back("pressed disabled control " + std::to_string(id));
            return;
        }
        window.focus = id;
        dialog.OnCommand(id);
    });
}

CMemoryToolkit& CMemoryToolkit::PressEnter()
{
    return Add([](CMemoryWindow& window, CDialog& dialog) {
        const ControlTemplate* focused = window.Template().FindControl(window.focus);
        if (focused && focused->IsPushButton())
            dialog.OnCommand(focused->id);
        else
            dialog.OnCommand(IdOk);
    });
}

CMemoryToolkit& CMemoryToolkit::Close()
{
    return Add([](CMemoryWindow&, CDialog& dialog) { dialog.OnCommand(IdCancel); });
}

CMemoryToolkit& CMemoryToolkit::Inspect(Check check)
{
    return Add(std::move(check));
}

int CMemoryToolkit::RunModal(CDialog& dialog, CDialog* parent)
{
    if (failCreate)
        return -1;
    auto* parentWindow = parent ? dynamic_cast<CMemoryWindow*>(parent->Window()) : nullptr;
    windows.push_back(std::make_unique<CMemoryWindow>(dialog.Template(), parentWindow));
    CMemoryWindow& window = *windows.back();

    dialog.Attach(&window);
    if (dialog.OnInitDialog()) {
        for (const ControlTemplate& control : dialog.Template().controls)
            if (control.IsTabStop()) {
                window.focus = control.id;
                break;
            }
    }
    while (!window.endCode) {
        if (next == script.size()) {
            errors.push_back("script ran out in dialog " + std::to_string(dialog.Template().id));
            dialog.OnCommand(IdCancel);
            if (!window.endCode)
                window.EndDialog(IdCancel);
            break;
        }
        Action& action = script[next++];
        if (action.templateId && *action.templateId != dialog.Template().id)
            errors.push_back("action " + std::to_string(next) + " expected dialog " +
                             std::to_string(*action.templateId) + ", got " + std::to_string(dialog.Template().id));
        action.apply(window, dialog);
    }
    dialog.Attach(nullptr);
    window.destroyed = true;
    return *window.endCode;
}

CMemoryWindow* CMemoryToolkit::Last(int templateId) const
{
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->Template().id == templateId)
            return it->get();
    return nullptr;
}

int CMemoryToolkit::CountOf(int templateId) const
{
    int count = 0;
    for (const auto& window : windows)
        count += window->Template().id == templateId ? 1 : 0;
    return count;
}

std::vector<std::string> CMemoryToolkit::Errors() const
{
    std::vector<std::string> all = errors;
    for (const auto& window : windows)
        all.insert(all.end(), window->errors.begin(), window->errors.end());
    return all;
}
