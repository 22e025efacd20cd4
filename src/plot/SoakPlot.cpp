// SPDX-License-Identifier: GPL-3.0-or-later
#include "plot/SoakPlot.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "plot/PlotPieces.h"

namespace {

double XOf(const QRect& box, double seconds, double length)
{
    return box.left() + (length > 0 ? seconds / length : 0) * box.width();
}

void DrawTimeAxis(QPainter& p, const QRect& box, double length)
{
    p.setPen(Qt::black);
    for (int i = 0; i <= 4; ++i) {
        const double t = length * i / 4;
        p.drawText(static_cast<int>(XOf(box, t, length)) - 16, box.bottom() + 16, QString::number(t, 'g', 4));
    }
    p.drawText(box.right() - 80, box.bottom() + 32, "time (s)");
}

void DrawEvents(QPainter& p, const SoakPlotInput& in, const QRect& box)
{
    p.setPen(Qt::black);
    p.drawText(box.left(), box.top() - 8, "Events: xruns (red), glitches (orange), others (grey)");
    p.drawRect(box);
    // Each lane named left of it, so the caption stays short enough for a
    // window's narrower panel.
    const int half = box.height() / 2;
    p.drawText(QRect(box.left() - 76, box.top(), 70, half), Qt::AlignRight | Qt::AlignVCenter, "input");
    p.drawText(QRect(box.left() - 76, box.top() + half, 70, box.height() - half), Qt::AlignRight | Qt::AlignVCenter,
               "output");
    p.setPen(QColor(200, 200, 200));
    p.drawLine(box.left(), box.center().y(), box.right(), box.center().y());
    if (in.marks == nullptr)
        return;
    for (const SoakPlotMark& m : *in.marks) {
        const QColor colour = m.kind == SoakPlotMark::Kind::Xrun     ? QColor(0xc0, 0x20, 0x20)
                              : m.kind == SoakPlotMark::Kind::Glitch ? QColor(0xe0, 0x80, 0x10)
                                                                     : QColor(120, 120, 120);
        p.setPen(QPen(colour, 2));
        const int x = static_cast<int>(XOf(box, m.seconds, in.seconds));
        p.drawLine(x, m.input ? box.top() + 2 : box.center().y() + 2, x, m.input ? box.center().y() - 2 : box.bottom() - 2);
    }
}

// A series as the band of each bucket's extremes with a line through them.
void DrawSeries(QPainter& p, const std::vector<SoakPlotPoint>* series, double length, const QRect& box,
                const QString& caption, const QColor& colour)
{
    p.setPen(Qt::black);
    p.drawText(box.left(), box.top() - 8, caption);
    p.drawRect(box);
    if (series == nullptr || series->empty()) {
        p.drawText(box, Qt::AlignCenter, "not measured");
        return;
    }
    double low = series->front().min, high = series->front().max;
    for (const SoakPlotPoint& s : *series) {
        low = std::min(low, s.min);
        high = std::max(high, s.max);
    }
    const double margin = std::max((high - low) * 0.1, std::max(std::abs(high), 1.0) * 1e-6);
    low -= margin;
    high += margin;
    auto yOf = [&](double v) { return box.bottom() - (v - low) / (high - low) * box.height(); };
    p.setPen(Qt::black);
    p.drawText(box.left() - 76, box.top() + 12, QString::number(high, 'g', 6));
    p.drawText(box.left() - 76, box.bottom(), QString::number(low, 'g', 6));
    QPainterPath line;
    for (std::size_t i = 0; i < series->size(); ++i) {
        const SoakPlotPoint& s = (*series)[i];
        const double x = XOf(box, s.seconds, length);
        p.setPen(QPen(colour.lighter(150), 1));
        p.drawLine(QPointF(x, yOf(s.min)), QPointF(x, yOf(s.max)));
        const QPointF mid(x, yOf((s.min + s.max) / 2));
        if (i == 0)
            line.moveTo(mid);
        else
            line.lineTo(mid);
    }
    p.setPen(QPen(colour, 1.6));
    p.drawPath(line);
}

void DrawPanels(QPainter& p, const SoakPlotInput& in, const QRect& events, const QRect& latency, const QRect& drift)
{
    DrawEvents(p, in, events);
    DrawSeries(p, in.latencyMs, in.seconds, latency, "Latency (ms)", PlotChannelColours[0]);
    DrawSeries(p, in.driftPpm, in.seconds, drift, "Drift so far (ppm, the input's clock against the output's)",
               PlotChannelColours[1]);
    DrawTimeAxis(p, drift, in.seconds);
}

} // namespace

void DrawSoakTimeline(QPainter& p, const SoakPlotInput& in, const QRect& area)
{
    // Each panel's caption sits above its box, the time axis below the last.
    constexpr int Caption = 26;
    constexpr int Axis = 36;
    const int usable = std::max(area.height() - 3 * Caption - Axis, 90);
    const int eventsHeight = usable / 5;
    const int seriesHeight = (usable - eventsHeight) / 2;
    const QRect events(area.left(), area.top() + Caption, area.width(), eventsHeight);
    const QRect latency(area.left(), events.bottom() + 1 + Caption, area.width(), seriesHeight);
    const QRect drift(area.left(), latency.bottom() + 1 + Caption, area.width(), seriesHeight);
    DrawPanels(p, in, events, latency, drift);
}

bool WriteSoakPlot(const SoakPlotInput& in, const std::string& path, std::string& error)
{
    QImage image;
    if (!NewPlotImage(image, error))
        return false;
    {
        QPainter p(&image);
        BeginPlot(p, QString("Tallowmere soak: %1").arg(QString::fromUtf8(in.title)));
        const int width = PlotWidth - PlotLeft - PlotRight;
        DrawPanels(p, in, QRect(PlotLeft, 56, width, 120), QRect(PlotLeft, 220, width, 240),
                   QRect(PlotLeft, 510, width, 240));
    }
    return SavePlot(image, path, error);
}
