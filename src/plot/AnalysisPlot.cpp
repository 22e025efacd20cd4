// SPDX-License-Identifier: GPL-3.0-or-later
#include "plot/AnalysisPlot.h"

#include <algorithm>
#include <cmath>

#include "analysis/Picture.h"
#include "plot/PlotPieces.h"

void DrawWaveform(QPainter& p, const SignalAnalysis& a, const QRect& box)
{
    p.setPen(Qt::black);
    p.drawText(box.left(), box.top() - 8, "Waveform (fraction of full scale)");
    p.drawRect(box);
    const std::size_t channels = a.overviewMin.size();
    const int laneHeight = box.height() / static_cast<int>(std::max<std::size_t>(1, channels));
    for (std::size_t c = 0; c < channels; ++c) {
        QRect lane(box.left(), box.top() + static_cast<int>(c) * laneHeight, box.width(), laneHeight);
        int middle = lane.center().y();
        p.setPen(QColor(200, 200, 200));
        p.drawLine(lane.left(), middle, lane.right(), middle);
        p.setPen(Qt::black);
        p.drawText(4, lane.top() + 14, QString("ch %1").arg(c + 1));
        p.drawText(4, lane.top() + 30, "+1");
        p.drawText(4, lane.bottom() - 4, "-1");
        p.setPen(PlotChannelColours[c % 2]);
        // One pixel column at a time, from its lowest to its highest value.
        const std::vector<OverviewColumn> columns = OverviewColumns(a.overviewMin[c], a.overviewMax[c], lane.width());
        const int scale = lane.height() / 2 - 2;
        for (std::size_t x = 0; x < columns.size(); ++x) {
            // Through the pixels' centres, so each column fills its own pixels.
            const double at = lane.left() + static_cast<double>(x) + 0.5;
            p.drawLine(QLineF(at, middle - columns[x].high * scale, at, middle - columns[x].low * scale));
        }
    }
    p.setPen(Qt::black);
    QString seconds = std::isnan(a.durationSeconds) ? QString("length unknown")
                                                    : QString("0 s ... %1 s").arg(a.durationSeconds, 0, 'f', 3);
    p.drawText(box.left(), box.bottom() + 16, seconds);
}

bool WriteAnalysisPlot(const SignalAnalysis& a, const std::string& title, const std::string& path, std::string& error)
{
    if (!a.ok) {
        error = "nothing to draw: " + a.error;
        return false;
    }
    QImage image;
    if (!NewPlotImage(image, error))
        return false;
    {
        QPainter p(&image);
        BeginPlot(p, QString("Tallowmere analysis of %1: %2 Hz, %3 channel(s), %4-bit")
                         .arg(QString::fromStdString(title))
                         .arg(a.sampleRate)
                         .arg(a.channels)
                         .arg(a.containerBits));
        DrawWaveform(p, a, QRect(PlotLeft, 56, PlotWidth - PlotLeft - PlotRight, 260));
        DrawSpectrumPanel(p, a, QRect(PlotLeft, 380, PlotWidth - PlotLeft - PlotRight, 380),
                          "Spectrum (dBFS, a tone at its peak level, averaged)");
    }
    return SavePlot(image, path, error);
}
