// SPDX-License-Identifier: GPL-3.0-or-later
// Dialog units: templates give positions in units of a quarter of the dialog
// font's average character width and an eighth of its character height, so
// a dialog keeps its proportions at any font size.
#pragma once

#include <QFont>
#include <QRect>

#include "ui/DialogTemplate.h"

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int BaseX() const { return baseX; }
    int BaseY() const { return baseY; }
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(int x, int y, int width, int height) const;

private:
    int baseX;
    int baseY;
};

// The font a template asks for, with a substitute where that family does not
// exist (the classic bitmap dialog font is not found on Linux).
QFont DialogFont(const DialogTemplate& dialogTemplate);
