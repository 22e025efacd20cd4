// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/DialogUnits.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

namespace {

// Rounded a * b / c, as the dialog manager scales units.
int MulDiv(int a, int b, int c)
{
    long long product = static_cast<long long>(a) * b;
    long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

void RegisterSubstitutes()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    // Sans faces with about the same width per character as the original
    // 8-point dialog font; the first one installed wins.
    QStringList substitutes;
    substitutes << QStringLiteral("DejaVu Sans") << QStringLiteral("Liberation Sans") << QStringLiteral("Noto Sans")
                << QStringLiteral("Sans Serif");
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), substitutes);
}

} // namespace

CDialogUnits::CDialogUnits(const QFont& font)
{
    QFontMetrics metrics(font);
    // The average width over the 52 letters, rounded, as dialog base units are defined.
    int alphabetWidth = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX = (alphabetWidth / 26 + 1) / 2;
    baseY = metrics.height();
    if (baseX < 1)
        baseX = 1;
    if (baseY < 1)
        baseY = 1;
}

int CDialogUnits::ToPixelsX(int units) const
{
    return MulDiv(units, baseX, 4);
}

int CDialogUnits::ToPixelsY(int units) const
{
    return MulDiv(units, baseY, 8);
}

QRect CDialogUnits::ToPixels(int x, int y, int width, int height) const
{
    return {ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height)};
}

QFont DialogFont(const DialogTemplate& dialogTemplate)
{
    RegisterSubstitutes();
    QFont font(QString::fromUtf8(dialogTemplate.fontName.data(), static_cast<qsizetype>(dialogTemplate.fontName.size())));
    font.setPointSize(dialogTemplate.fontPoints > 0 ? dialogTemplate.fontPoints : 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
