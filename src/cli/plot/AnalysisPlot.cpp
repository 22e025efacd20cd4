// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/plot/AnalysisPlot.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int Width = 1200;
constexpr int Height = 820;
constexpr int Left = 80;
constexpr int Right = 30;
constexpr double FloorDbfs = -160;
const QColor ChannelColours[] = {QColor(0x1f, 0x5f, 0xbf), QColor(0xd0, 0x50, 0x20)};

// Qt's own notes (a missing runtime directory) are no business of the
// command line's output.
void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Fonts need a GUI application; without a display the offscreen platform serves.
void EnsureApplication()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    qInstallMessageHandler(Quiet);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tallowmere-cli";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
}

void DrawWaveform(QPainter& p, const SignalAnalysis& a, const QRect& box)
{
    p.setPen(Qt::black);
    p.drawText(box.left(), box.top() - 8, "Waveform (fraction of full scale)");
    p.drawRect(box);
    const std::size_t channels = a.overviewMin.size();
    const int laneHeight = box.height() / static_cast<int>(std::max<std::size_t>(1, channels));
    for (std::size_t c = 0; c < channels; ++c) {
        const std::vector<float>& low = a.overviewMin[c];
        const std::vector<float>& high = a.overviewMax[c];
        QRect lane(box.left(), box.top() + static_cast<int>(c) * laneHeight, box.width(), laneHeight);
        int middle = lane.center().y();
        p.setPen(QColor(200, 200, 200));
        p.drawLine(lane.left(), middle, lane.right(), middle);
        p.setPen(Qt::black);
        p.drawText(4, lane.top() + 14, QString("ch %1").arg(c + 1));
        p.drawText(4, lane.top() + 30, "+1");
        p.drawText(4, lane.bottom() - 4, "-1");
        p.setPen(ChannelColours[c % 2]);
        for (std::size_t i = 0; i < low.size(); ++i) {
            int x = lane.left() + static_cast<int>(i * static_cast<std::size_t>(lane.width()) / low.size());
            int y1 = middle - static_cast<int>(high[i] * (lane.height() / 2 - 2));
            int y2 = middle - static_cast<int>(low[i] * (lane.height() / 2 - 2));
            p.drawLine(x, y1, x, y2);
        }
    }
    p.setPen(Qt::black);
    QString seconds = std::isnan(a.durationSeconds) ? QString("length unknown")
                                                    : QString("0 s ... %1 s").arg(a.durationSeconds, 0, 'f', 3);
    p.drawText(box.left(), box.bottom() + 16, seconds);
}

void DrawSpectrumGrid(QPainter& p, const QRect& box, double lowHz, double highHz)
{
    auto xOf = [&](double hz) {
        return box.left() + static_cast<int>(std::log10(hz / lowHz) / std::log10(highHz / lowHz) * box.width());
    };
    p.setPen(QColor(220, 220, 220));
    for (double decade = 1; decade <= highHz; decade *= 10)
        for (int m = 1; m <= 9; ++m) {
            double hz = decade * m;
            if (hz >= lowHz && hz <= highHz)
                p.drawLine(xOf(hz), box.top(), xOf(hz), box.bottom());
        }
    for (double db = 0; db >= FloorDbfs; db -= 20) {
        int y = box.top() + static_cast<int>(-db / -FloorDbfs * box.height());
        p.setPen(QColor(220, 220, 220));
        p.drawLine(box.left(), y, box.right(), y);
        p.setPen(Qt::black);
        p.drawText(box.left() - 44, y + 5, QString::number(db));
    }
    p.setPen(Qt::black);
    for (double hz : {10.0, 100.0, 1000.0, 10000.0, 100000.0})
        if (hz >= lowHz && hz <= highHz)
            p.drawText(xOf(hz) - 14, box.bottom() + 16, hz >= 1000 ? QString("%1k").arg(hz / 1000) : QString::number(hz));
    p.drawText(box.right() - 90, box.bottom() + 32, "frequency (Hz)");
    p.drawText(box.left(), box.top() - 8, "Spectrum (dBFS per bin, averaged)");
    p.drawRect(box);
}

void DrawSpectrum(QPainter& p, const SignalAnalysis& a, const QRect& box)
{
    if (std::isnan(a.binHz) || a.spectrumDbfs.empty() || a.spectrumDbfs[0].size() < 4) {
        p.drawText(box, Qt::AlignCenter, "no spectrum");
        return;
    }
    const double lowHz = std::max(a.binHz, 10.0);
    const double highHz = a.binHz * static_cast<double>(a.spectrumDbfs[0].size() - 1);
    if (highHz <= lowHz) {
        p.drawText(box, Qt::AlignCenter, "no spectrum");
        return;
    }
    DrawSpectrumGrid(p, box, lowHz, highHz);
    p.setClipRect(box);
    for (std::size_t c = 0; c < a.spectrumDbfs.size(); ++c) {
        const std::vector<float>& db = a.spectrumDbfs[c];
        QPainterPath path;
        bool started = false;
        // One point per pixel: the loudest bin under it.
        for (int x = 0; x < box.width(); ++x) {
            double from = lowHz * std::pow(highHz / lowHz, static_cast<double>(x) / box.width());
            double to = lowHz * std::pow(highHz / lowHz, static_cast<double>(x + 1) / box.width());
            auto first = static_cast<std::size_t>(from / a.binHz);
            auto last = std::min(db.size() - 1, std::max(first, static_cast<std::size_t>(to / a.binHz)));
            float loudest = *std::max_element(db.begin() + static_cast<std::ptrdiff_t>(first),
                                              db.begin() + static_cast<std::ptrdiff_t>(last) + 1);
            double level = std::clamp(static_cast<double>(loudest), FloorDbfs, 0.0);
            QPointF point(box.left() + x, box.top() + -level / -FloorDbfs * box.height());
            if (!started)
                path.moveTo(point);
            else
                path.lineTo(point);
            started = true;
        }
        p.setPen(QPen(ChannelColours[c % 2], 1.2));
        p.drawPath(path);
    }
    p.setClipping(false);
}

} // namespace

bool WriteAnalysisPlot(const SignalAnalysis& a, const std::string& title, const std::string& path, std::string& error)
{
    if (!a.ok) {
        error = "nothing to draw: " + a.error;
        return false;
    }
    EnsureApplication();
    QImage image(Width, Height, QImage::Format_RGB32);
    if (image.isNull()) {
        error = "no memory for the picture";
        return false;
    }
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QFont font("DejaVu Sans");
        font.setPixelSize(13);
        p.setFont(font);
        p.setPen(Qt::black);
        QString heading = QString("Tallowmere analysis of %1: %2 Hz, %3 channel(s), %4-bit")
                              .arg(QString::fromStdString(title))
                              .arg(a.sampleRate)
                              .arg(a.channels)
                              .arg(a.containerBits);
        p.drawText(Left, 22, heading);
        DrawWaveform(p, a, QRect(Left, 56, Width - Left - Right, 260));
        DrawSpectrum(p, a, QRect(Left, 380, Width - Left - Right, 380));
    }
    if (!image.save(QString::fromStdString(path), "PNG")) {
        error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

extern "C" __attribute__((visibility("default"))) int TallowmereWriteAnalysisPlot(const SignalAnalysis* analysis,
                                                                                   const char* title, const char* path,
                                                                                   char* error,
                                                                                   std::size_t errorSize) noexcept
{
    std::string why;
    bool written = false;
    try {
        written = analysis != nullptr && title != nullptr && path != nullptr &&
                  WriteAnalysisPlot(*analysis, title, path, why);
        if (!written && why.empty())
            why = "no analysis to draw";
    } catch (...) {
        why = "no memory for the picture";
    }
    if (!written && error != nullptr && errorSize > 0) {
        std::size_t n = std::min(why.size(), errorSize - 1);
        why.copy(error, n);
        error[n] = '\0';
    }
    return written ? 1 : 0;
}
