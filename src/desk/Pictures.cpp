// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/Pictures.h"

#include <QPainter>

#include "plot/PlotPieces.h"

namespace {

// The plot code places its captions and scales in pixels around each
// panel's box, for its 13-pixel font; the boxes leave it that room.
constexpr int LeftRoom = PlotLeft;
constexpr int RightRoom = 20;
constexpr int TopRoom = 24;
constexpr int BottomRoom = 40;

void BeginPicture(QPainter& p, QWidget& widget)
{
    p.fillRect(widget.rect(), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = widget.font();
    font.setPixelSize(13);
    p.setFont(font);
}

// Two panels one above the other: the upper takes `upperShare` of the height.
void SplitPanels(const QRect& area, double upperShare, QRect& upper, QRect& lower)
{
    const int usable = area.height() - 2 * (TopRoom + BottomRoom);
    const int upperHeight = static_cast<int>(usable * upperShare);
    upper = QRect(LeftRoom, TopRoom, area.width() - LeftRoom - RightRoom, upperHeight);
    lower = QRect(LeftRoom, upper.bottom() + BottomRoom + TopRoom, upper.width(), usable - upperHeight);
}

void DrawNothing(QPainter& p, const QRect& area, const QString& text)
{
    p.setPen(Qt::darkGray);
    p.drawText(area, Qt::AlignCenter, text);
}

} // namespace

CAnalysisPicture::CAnalysisPicture(QWidget* parent) : QWidget(parent)
{
    setAccessibleName("Waveform and spectrum");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CAnalysisPicture::Show(std::shared_ptr<const SignalAnalysis> shown)
{
    analysis = std::move(shown);
    setAccessibleDescription(analysis && analysis->ok ? "Waveform of every channel above the averaged spectrum"
                                                      : "Nothing analysed yet");
    update();
}

void CAnalysisPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    BeginPicture(p, *this);
    if (!analysis || !analysis->ok) {
        DrawNothing(p, rect(), analysis ? "Nothing to draw: " + QString::fromStdString(analysis->error)
                                        : "The waveform and the spectrum appear here after a check.");
        return;
    }
    QRect upper, lower;
    SplitPanels(rect(), 0.4, upper, lower);
    DrawWaveform(p, *analysis, upper);
    DrawSpectrumPanel(p, *analysis, lower, "Spectrum (dBFS, a tone at its peak level, averaged)");
}

CLoopbackPicture::CLoopbackPicture(QWidget* parent) : QWidget(parent)
{
    setAccessibleName("Frequency response and spectrum");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CLoopbackPicture::Show(std::shared_ptr<const LoopbackPicture> shown)
{
    picture = std::move(shown);
    setAccessibleDescription(picture ? "Frequency response of every channel above the spectrum of the 1 kHz tone"
                                     : "Nothing measured yet");
    update();
}

void CLoopbackPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    BeginPicture(p, *this);
    if (!picture) {
        DrawNothing(p, rect(), "The response and the spectrum appear here after a loopback run.");
        return;
    }
    QRect upper, lower;
    SplitPanels(rect(), 0.5, upper, lower);
    LoopbackPlotInput input;
    input.response = &picture->response;
    input.tone = &picture->tone;
    input.bandLowHz = picture->bandLowHz;
    input.bandHighHz = picture->bandHighHz;
    DrawResponse(p, input, upper);
    DrawSpectrumPanel(p, picture->tone, lower, "Spectrum of the captured 1 kHz tone (dBFS per bin, averaged)");
}

CSoakPicture::CSoakPicture(QWidget* parent) : QWidget(parent)
{
    setAccessibleName("Soak timeline");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CSoakPicture::Show(std::shared_ptr<const SoakTimeline> shown)
{
    timeline = std::move(shown);
    setAccessibleDescription(timeline ? QString("Events, latency and drift over %1 s: %2 events marked")
                                            .arg(timeline->seconds, 0, 'f', 1)
                                            .arg(timeline->marks.size())
                                      : QString("Nothing run yet"));
    update();
}

void CSoakPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    BeginPicture(p, *this);
    if (!timeline) {
        DrawNothing(p, rect(), "The timeline is drawn here while a soak runs.");
        return;
    }
    const QRect area(LeftRoom, 0, width() - LeftRoom - RightRoom, height() - 4);
    DrawSoakTimeline(p, timeline->Input(), area);
}
