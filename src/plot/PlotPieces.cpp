// SPDX-License-Identifier: GPL-3.0-or-later
#include "plot/PlotPieces.h"

#include <QFont>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainterPath>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <memory>

#include "analysis/Picture.h"

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
    SpectrumAxis axis;
    if (!SpectrumAxisFor(a, axis)) {
        p.drawRect(box);
        p.drawText(box, Qt::AlignCenter, "no spectrum");
        return;
    }
    DrawSpectrumGrid(p, box, axis.lowHz, axis.highHz);
    p.setClipRect(box);
    for (std::size_t c = 0; c < a.spectrumDbfs.size(); ++c) {
        const std::vector<double> levels = SpectrumColumns(a.spectrumDbfs[c], a.binHz, axis, box.width());
        QPainterPath path;
        for (std::size_t x = 0; x < levels.size(); ++x) {
            double level = std::clamp(levels[x], FloorDbfs, 0.0);
            QPointF point(box.left() + static_cast<double>(x), box.top() + -level / -FloorDbfs * box.height());
            if (x == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        p.setPen(QPen(PlotChannelColours[c % 2], 1.2));
        p.drawPath(path);
    }
    p.setClipping(false);
}

bool SavePlot(const QImage& image, const std::string& path, std::string& error)
{
    // Written beside the path and moved over it once whole, so a failure
    // leaves nothing (and an older picture as it was).
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        error = "cannot write '" + path + "': " + file.errorString().toStdString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        error = "cannot write '" + path + "': " + writer.errorString().toStdString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = "cannot write '" + path + "': " + file.errorString().toStdString();
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
