// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/loopback/LoopbackMeasure.h"

LoopbackMeasures MeasureLoopback(const std::uint8_t* capture, std::size_t byteCount, const LoopbackSequence& sequence)
{
    LoopbackMeasures m;
    m.latency = MeasureLatency(capture, byteCount, sequence);
    if (m.latency.status != LatencyStatus::Found) {
        m.error = std::string("latency: ") + LatencyStatusName(m.latency.status);
        return m;
    }
    const CaptureView view{capture, byteCount, &sequence, m.latency.frames};
    for (std::uint16_t c = 0; c < sequence.format.channels; ++c) {
        m.response.push_back(MeasureResponse(view, c));
        if (!m.response.back().ok) {
            m.error = "response: " + m.response.back().error;
            return m;
        }
    }
    const bool placed = MeasureGain(view, m.gainDb) && MeasureThdN(view, m.thdnDb) &&
                        MeasureDynamicRange(view, m.dynamicRangeDb) && MeasureNoiseFloor(view, m.noiseFloorDbfs) &&
                        FindDropouts(view, m.dropouts) &&
                        (sequence.format.channels < 2 || MeasureCrosstalk(view, m.crosstalk));
    if (!placed) {
        m.error = "a part of the sequence did not come back within the capture";
        return m;
    }
    m.ok = true;
    return m;
}
