// SPDX-License-Identifier: GPL-3.0-or-later
// A list of verdicts (or checks) as rows of a topic and a sentence, each
// marked by its state in words and colour, so the colour is never the only
// sign. A screen reader reads each row as "topic, state: sentence".
#pragma once

#include <QTreeWidget>

#include <vector>

#include "desk/Verdicts.h"

class CVerdictList final : public QTreeWidget {
public:
    explicit CVerdictList(const QString& accessibleName, QWidget* parent = nullptr);
    void Show(const std::vector<Verdict>& verdicts);
};
