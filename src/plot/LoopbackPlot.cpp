// SPDX-License-Identifier: GPL-3.0-or-later
#include "plot/LoopbackPlot.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "analysis/Picture.h"
#include "plot/PlotPieces.h"

namespace {

void DrawResponseGrid(QPainter& p, const QRect& box, double lowHz, double highHz, double spanDb, double stepDb)
{
    auto xOf = [&](double hz) {
        return box.left() + static_cast<int>(std::log10(hz / lowHz) / std::log10(highHz / lowHz) * box.width());
    };
    p.setPen(QColor(220, 220, 220));
    for (double decade = 1; decade <= highHz; decade *= 10)
        for (int m = 1; m <= 9; ++m)
            if (double hz = decade * m; hz >= lowHz && hz <= highHz)
                p.drawLine(xOf(hz), box.top(), xOf(hz), box.bottom());
    for (double db = spanDb; db >= -spanDb - 1e-9; db -= stepDb) {
        const int y = box.top() + static_cast<int>((spanDb - db) / (2 * spanDb) * box.height());
        p.setPen(db == 0 ? QColor(150, 150, 150) : QColor(220, 220, 220));
        p.drawLine(box.left(), y, box.right(), y);
        p.setPen(Qt::black);
        p.drawText(box.left() - 44, y + 5, QString::number(db));
    }
    // The -3 dB line the corner frequencies are read at.
    const int y3 = box.top() + static_cast<int>((spanDb + 3) / (2 * spanDb) * box.height());
    p.setPen(QPen(QColor(160, 160, 160), 1, Qt::DashLine));
    p.drawLine(box.left(), y3, box.right(), y3);
    p.setPen(Qt::black);
    for (double hz : {20.0, 100.0, 1000.0, 10000.0, 100000.0})
        if (hz >= lowHz && hz <= highHz)
            p.drawText(xOf(hz) - 14, box.bottom() + 16, hz >= 1000 ? QString("%1k").arg(hz / 1000) : QString::number(hz));
    p.drawText(box.right() - 90, box.bottom() + 32, "frequency (Hz)");
    p.drawRect(box);
}

} // namespace

void DrawResponse(QPainter& p, const LoopbackPlotInput& in, const QRect& box)
{
    p.setPen(Qt::black);
    p.drawText(box.left(), box.top() - 8, "Frequency response (dB re 1 kHz)");
    const double lowHz = in.bandLowHz;
    const double highHz = in.bandHighHz;
    if (in.response == nullptr || in.response->empty() || !(highHz > lowHz) || !(lowHz > 0)) {
        p.drawRect(box);
        p.drawText(box, Qt::AlignCenter, "response not measured");
        return;
    }
    double stepDb = 1;
    const double spanDb = ResponseSpanDb(*in.response, stepDb);
    DrawResponseGrid(p, box, lowHz, highHz, spanDb, stepDb);
    p.setClipRect(box);
    for (std::size_t c = 0; c < in.response->size(); ++c) {
        QPainterPath path;
        bool started = false;
        for (const ResponsePoint& point : (*in.response)[c].points) {
            if (!(point.hz >= lowHz && point.hz <= highHz) || !std::isfinite(point.db))
                continue;
            const double x = box.left() + std::log10(point.hz / lowHz) / std::log10(highHz / lowHz) * box.width();
            const double y = box.top() + (spanDb - std::clamp(point.db, -spanDb, spanDb)) / (2 * spanDb) * box.height();
            if (!started)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
            started = true;
        }
        p.setPen(QPen(PlotChannelColours[c % 2], 1.6));
        p.drawPath(path);
    }
    p.setClipping(false);
    for (std::size_t c = 0; c < in.response->size(); ++c) {
        p.setPen(PlotChannelColours[c % 2]);
        p.drawText(box.right() - 60, box.top() + 16 + 16 * static_cast<int>(c), QString("ch %1").arg(c + 1));
    }
}

bool WriteLoopbackPlot(const LoopbackPlotInput& in, const std::string& path, std::string& error)
{
    QImage image;
    if (!NewPlotImage(image, error))
        return false;
    {
        QPainter p(&image);
        BeginPlot(p, QString("Tallowmere loopback: %1").arg(QString::fromUtf8(in.title)));
        DrawResponse(p, in, QRect(PlotLeft, 56, PlotWidth - PlotLeft - PlotRight, 300));
        static const SignalAnalysis none;
        DrawSpectrumPanel(p, in.tone != nullptr ? *in.tone : none,
                          QRect(PlotLeft, 420, PlotWidth - PlotLeft - PlotRight, 340),
                          "Spectrum of the captured 1 kHz tone (dBFS per bin, averaged)");
    }
    return SavePlot(image, path, error);
}
