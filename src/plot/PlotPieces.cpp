// SPDX-License-Identifier: GPL-3.0-or-later
#include "plot/PlotPieces.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr double FloorDbfs = -160;

// Qt's own notes (a missing runtime directory) are no business of the
// command line's output.
void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

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
    p.drawRect(box);
}

} // namespace

void EnsurePlotApplication()
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

bool NewPlotImage(QImage& image, std::string& error)
{
    EnsurePlotApplication();
    image = QImage(PlotWidth, PlotHeight, QImage::Format_RGB32);
    if (image.isNull()) {
        error = "no memory for the picture";
        return false;
    }
    image.fill(Qt::white);
    return true;
}

void BeginPlot(QPainter& p, const QString& heading)
{
    p.setRenderHint(QPainter::Antialiasing);
    QFont font("DejaVu Sans");
    font.setPixelSize(13);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(PlotLeft, 22, heading);
}

void DrawSpectrumPanel(QPainter& p, const SignalAnalysis& a, const QRect& box, const QString& caption)
{
    p.setPen(Qt::black);
    p.drawText(box.left(), box.top() - 8, caption);
    if (!a.ok || std::isnan(a.binHz) || a.spectrumDbfs.empty() || a.spectrumDbfs[0].size() < 4) {
        p.drawRect(box);
        p.drawText(box, Qt::AlignCenter, "no spectrum");
        return;
    }
    const double lowHz = std::max(a.binHz, 10.0);
    const double highHz = a.binHz * static_cast<double>(a.spectrumDbfs[0].size() - 1);
    if (highHz <= lowHz) {
        p.drawRect(box);
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
        p.setPen(QPen(PlotChannelColours[c % 2], 1.2));
        p.drawPath(path);
    }
    p.setClipping(false);
}

bool SavePlot(const QImage& image, const std::string& path, std::string& error)
{
    if (!image.save(QString::fromStdString(path), "PNG")) {
        error = "cannot write '" + path + "'";
        return false;
    }
    return true;
}

int PlotEntryResult(bool written, std::string why, const char* fallback, char* error, std::size_t errorSize) noexcept
{
    if (written)
        return 1;
    if (error != nullptr && errorSize > 0) {
        const char* text = why.empty() ? fallback : why.c_str();
        std::size_t n = std::min(std::char_traits<char>::length(text), errorSize - 1);
        std::copy(text, text + n, error);
        error[n] = '\0';
    }
    return 0;
}
