// SPDX-License-Identifier: GPL-3.0-or-later
// Names for screen readers, from the dialog template: a field is named by
// the label text on its row to its left (the label becomes its buddy); a
// control with no such label by the group box around it, else by the
// dialog's title. A control named after its group is described by the
// group's own text line, such as the status line above the progress bar.
#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "ui/DialogTemplate.h"

// Indexes into the template's controls.
struct AccessibleNaming {
    bool named = false;                     // false: the control carries its own text
    std::optional<std::size_t> label;       // the static text naming the control
    std::optional<std::size_t> group;       // else the group box naming it
    std::optional<std::size_t> description; // a static text describing it
};

// One per control, in template order. Named are the controls the user
// reaches or reads a value from (edits, combo boxes, progress bars); with
// neither label nor group, the dialog's title names them.
std::vector<AccessibleNaming> NameControls(const DialogTemplate& dialogTemplate);

// A label's text as a name: "&" mnemonics dropped, "&&" kept as "&".
QString NameFromLabel(const QString& text);
