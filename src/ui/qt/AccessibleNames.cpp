// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/AccessibleNames.h"

#include <algorithm>

namespace {

// The classic combo box field is 13 units high; its template height includes the list.
constexpr int ComboFieldHeight = 13;

bool NeedsName(const ControlTemplate& control)
{
    return control.controlClass == ControlClass::Edit || control.controlClass == ControlClass::ComboBox ||
           control.controlClass == ControlClass::ProgressBar;
}

int FieldHeight(const ControlTemplate& control)
{
    return control.controlClass == ControlClass::ComboBox ? std::min(control.height, ComboFieldHeight)
                                                          : control.height;
}

// A static text on the control's row that ends before the control starts.
bool LabelsOnRow(const ControlTemplate& label, const ControlTemplate& control)
{
    if (label.controlClass != ControlClass::Static || label.x + label.width > control.x)
        return false;
    int middle2 = 2 * label.y + label.height; // twice the label's vertical middle
    return middle2 >= 2 * control.y && middle2 <= 2 * (control.y + FieldHeight(control));
}

bool Inside(const ControlTemplate& control, const ControlTemplate& group)
{
    return control.x >= group.x && control.y >= group.y && control.x + control.width <= group.x + group.width &&
           control.y + FieldHeight(control) <= group.y + group.height;
}

// The nearest label to the left on the control's row.
std::optional<std::size_t> RowLabel(std::span<const ControlTemplate> controls, const ControlTemplate& control)
{
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (!LabelsOnRow(controls[i], control))
            continue;
        if (!found || controls[i].x + controls[i].width > controls[*found].x + controls[*found].width)
            found = i;
    }
    return found;
}

// The innermost group box holding the control.
std::optional<std::size_t> EnclosingGroup(std::span<const ControlTemplate> controls, const ControlTemplate& control)
{
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (!controls[i].IsGroupBox() || !Inside(control, controls[i]))
            continue;
        if (!found || Inside(controls[i], controls[*found]))
            found = i;
    }
    return found;
}

} // namespace

std::vector<AccessibleNaming> NameControls(const DialogTemplate& dialogTemplate)
{
    std::span<const ControlTemplate> controls = dialogTemplate.controls;
    std::vector<AccessibleNaming> namings(controls.size());
    std::vector<bool> isLabel(controls.size(), false);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (!NeedsName(controls[i]))
            continue;
        namings[i].named = true;
        namings[i].label = RowLabel(controls, controls[i]);
        if (!namings[i].label)
            namings[i].group = EnclosingGroup(controls, controls[i]);
        for (std::size_t j = 0; j < controls.size(); ++j)
            if (LabelsOnRow(controls[j], controls[i]))
                isLabel[j] = true;
    }
    // A group's text that stands on no field's row describes what the group names.
    for (AccessibleNaming& naming : namings) {
        if (!naming.group)
            continue;
        for (std::size_t i = 0; i < controls.size(); ++i) {
            if (controls[i].controlClass == ControlClass::Static && !isLabel[i] &&
                EnclosingGroup(controls, controls[i]) == naming.group) {
                naming.description = i;
                break;
            }
        }
    }
    return namings;
}

QString NameFromLabel(const QString& text)
{
    QString name;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        else if (text[i] == QLatin1Char('&'))
            continue;
        name += text[i];
    }
    return name;
}
