// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement window's pictures, drawn by the same painter code as the
// command line's PNGs (plot/), straight onto the widget: every line and
// letter is drawn at the screen's own resolution, so they stay sharp at
// any size and on high-density screens. An analysis shows its waveform
// above its spectrum; a loopback run its response above the spectrum of
// its captured 1 kHz tone; a soak its timeline, so far or whole.
#pragma once

#include <QWidget>

#include <memory>
#include <optional>

#include "analysis/SignalAnalysis.h"
#include "analysis/loopback/FrequencyResponse.h"
#include "measure/soak/SoakTimeline.h"

class CAnalysisPicture final : public QWidget {
public:
    explicit CAnalysisPicture(QWidget* parent = nullptr);
    // Nothing shown until an analysis is given; null clears it.
    void Show(std::shared_ptr<const SignalAnalysis> analysis);
    QSize minimumSizeHint() const override { return {520, 360}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const SignalAnalysis> analysis;
};

struct LoopbackPicture {
    std::vector<FrequencyResponse> response;
    SignalAnalysis tone;
    double bandLowHz = 20;
    double bandHighHz = 20000;
};

class CLoopbackPicture final : public QWidget {
public:
    explicit CLoopbackPicture(QWidget* parent = nullptr);
    void Show(std::shared_ptr<const LoopbackPicture> picture);
    QSize minimumSizeHint() const override { return {520, 360}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const LoopbackPicture> picture;
};

class CSoakPicture final : public QWidget {
public:
    explicit CSoakPicture(QWidget* parent = nullptr);
    // Nothing shown until a timeline is given; null clears it.
    void Show(std::shared_ptr<const SoakTimeline> timeline);
    const SoakTimeline* Shown() const { return timeline.get(); }
    QSize minimumSizeHint() const override { return {520, 360}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const SoakTimeline> timeline;
};
