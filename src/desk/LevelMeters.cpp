// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/LevelMeters.h"

#include <QPainter>

#include <algorithm>

namespace {

QString Figure(double dbfs)
{
    return dbfs <= LevelFloorDbfs ? QString("silence") : QString::number(dbfs, 'f', 1) + " dBFS";
}

QString Number(double dbfs)
{
    return dbfs <= LevelFloorDbfs ? QString("-") : QString::number(dbfs, 'f', 1);
}

} // namespace

CLevelMeters::CLevelMeters(QWidget* parent) : QWidget(parent)
{
    setAccessibleName("Input levels");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Reset(1);
}

QSize CLevelMeters::sizeHint() const
{
    const int line = fontMetrics().height();
    return {400, static_cast<int>(levels.size()) * (line + 10) + line + 8};
}

void CLevelMeters::Reset(int channels)
{
    levels.assign(static_cast<std::size_t>(std::max(1, channels)), ChannelLevel{});
    clipLit.assign(levels.size(), false);
    updates = 0;
    setAccessibleDescription("No levels yet");
    updateGeometry();
    update();
}

void CLevelMeters::Show(const std::vector<ChannelLevel>& newLevels)
{
    if (newLevels.empty())
        return;
    if (newLevels.size() != levels.size())
        Reset(static_cast<int>(newLevels.size()));
    levels = newLevels;
    QString description;
    for (std::size_t c = 0; c < levels.size(); ++c) {
        clipLit[c] = clipLit[c] || levels[c].clipped;
        description += QString("Channel %1: peak %2, RMS %3%4. ")
                           .arg(c + 1)
                           .arg(Figure(levels[c].peakDbfs), Figure(levels[c].rmsDbfs),
                                clipLit[c] ? QString(", clipped") : QString());
    }
    setAccessibleDescription(description.trimmed());
    ++updates;
    update();
}

void CLevelMeters::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    const int labelWidth = metrics.horizontalAdvance("ch 88 ");
    const int clipWidth = metrics.horizontalAdvance(" CLIP ") + 8;
    const int figureWidth = metrics.horizontalAdvance(" peak -188.8  RMS -188.8 ");
    const int barLeft = labelWidth;
    const int barWidth = std::max(40, width() - labelWidth - clipWidth - figureWidth);
    auto xOf = [&](double dbfs) {
        const double share = (std::clamp(dbfs, MeterFloorDbfs, 0.0) - MeterFloorDbfs) / -MeterFloorDbfs;
        return barLeft + share * barWidth;
    };
    for (std::size_t c = 0; c < levels.size(); ++c) {
        const int top = 4 + static_cast<int>(c) * (line + 10);
        const QRectF bar(barLeft, top, barWidth, line + 4);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(0, top, labelWidth, line + 4), Qt::AlignVCenter, QString("ch %1").arg(c + 1));
        p.fillRect(bar, QColor(0x30, 0x30, 0x30));
        // Green up to -12 dBFS, amber to -3, red above: where a recording level should sit.
        const double rmsX = xOf(levels[c].rmsDbfs);
        QLinearGradient fill(bar.topLeft(), bar.topRight());
        fill.setColorAt(0, QColor(0x2e, 0xa0, 0x43));
        fill.setColorAt((48.0 / 60), QColor(0x2e, 0xa0, 0x43));
        fill.setColorAt((57.0 / 60), QColor(0xe0, 0xa0, 0x20));
        fill.setColorAt(1, QColor(0xd0, 0x30, 0x20));
        p.fillRect(QRectF(bar.left(), bar.top(), rmsX - bar.left(), bar.height()), fill);
        const double peakX = xOf(levels[c].peakDbfs);
        if (levels[c].peakDbfs > MeterFloorDbfs)
            p.fillRect(QRectF(peakX - 1.5, bar.top(), 3, bar.height()), Qt::white);
        const QRectF clip(bar.right() + 6, top, clipWidth - 8, line + 4);
        p.setPen(Qt::NoPen);
        p.setBrush(clipLit[c] ? QColor(0xe0, 0x20, 0x20) : QColor(0x60, 0x60, 0x60));
        p.drawRoundedRect(clip, 3, 3);
        p.setPen(Qt::white);
        p.drawText(clip, Qt::AlignCenter, "CLIP");
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRectF(clip.right() + 4, top, figureWidth, line + 4), Qt::AlignVCenter,
                   QString("peak %1  RMS %2").arg(Number(levels[c].peakDbfs), Number(levels[c].rmsDbfs)));
    }
    // The scale under the bars.
    const int scaleTop = 4 + static_cast<int>(levels.size()) * (line + 10);
    p.setPen(palette().color(QPalette::WindowText));
    for (double db = MeterFloorDbfs; db <= 0; db += 12) {
        const double x = xOf(db);
        const QString text = QString::number(db);
        p.drawText(QPointF(x - metrics.horizontalAdvance(text) / 2.0, scaleTop + line - 2), text);
    }
}
