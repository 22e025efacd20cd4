// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/soak/SoakContinuity.h"

#include <cmath>
#include <limits>

void CContinuity::Process(const double* y, std::size_t n, std::uint64_t first, std::vector<SoakEvent>& events)
{
    double squares = 0;
    for (std::size_t i = 0; i < n; ++i) {
        squares += y[i] * y[i];
        if (y[i] == 0) {
            if (!inSilence) {
                inSilence = true;
                silenceFrom = first + i;
                levelBefore = level;
            }
            continue;
        }
        if (!inSilence)
            continue;
        inSilence = false;
        const std::uint64_t length = first + i - silenceFrom;
        // A silence inside a stream that is heard on at least one side.
        if (length >= SoakSilenceMinFrames && levelBefore > SoakSilenceContextDbfs) {
            SoakEvent event;
            event.kind = SoakEventKind::Silence;
            event.direction = WaveDirection::Input;
            event.frame = silenceFrom;
            event.frames = length;
            event.seconds = static_cast<double>(silenceFrom) / rate;
            events.push_back(event);
        }
    }
    const double rms = n > 0 ? std::sqrt(squares / static_cast<double>(n)) : 0;
    level = rms > 0 ? 20 * std::log10(rms) : -std::numeric_limits<double>::infinity();
}
