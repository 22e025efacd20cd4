// SPDX-License-Identifier: GPL-3.0-or-later
// The live meters of "Check the input": per channel a bar for the RMS, a
// mark for the peak, both in dBFS from -60 to 0, and a clip light that
// stays lit until the next recording. The figures are also the widget's
// accessible description, so a screen reader can read them out.
#pragma once

#include <QWidget>

#include <vector>

#include "desk/LevelMeter.h"

class CLevelMeters final : public QWidget {
public:
    explicit CLevelMeters(QWidget* parent = nullptr);

    // Shows the newest levels; a clip stays lit until Reset.
    void Show(const std::vector<ChannelLevel>& levels);
    // Empty meters for `channels` channels, clip lights out.
    void Reset(int channels);
    // How many times Show was called since Reset (for the tests' rate).
    int Updates() const { return updates; }
    const std::vector<ChannelLevel>& Levels() const { return levels; }
    const std::vector<bool>& ClipLights() const { return clipLit; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<ChannelLevel> levels;
    std::vector<bool> clipLit;
    int updates = 0;
};

// The lowest level the bars show.
inline constexpr double MeterFloorDbfs = -60;
