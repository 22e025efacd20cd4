// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/loopback/LoopbackMeasure.h"

#include "analysis/SignalAnalyzer.h"

namespace {

bool MeasureResponses(const CaptureView& view, LoopbackMeasures& m)
{
    for (std::uint16_t c = 0; c < view.sequence->format.channels; ++c) {
        m.response.push_back(MeasureResponse(view, c));
        if (!m.response.back().ok) {
            m.error = "response: " + m.response.back().error;
            return false;
        }
    }
    return true;
}

// Gain, THD+N and the tone's own analysis, on the 1 kHz tone.
bool MeasureTone(const CaptureView& view, LoopbackMeasures& m)
{
    const PartSpan* span = view.sequence->Find(StimulusPart::Tone);
    CaptureRange range;
    if (span == nullptr || !view.Locate(*span, PartGuardShare, range))
        return false;
    m.tone = AnalyseSamples(view.At(range), view.Size(range), view.sequence->format, view.sequence->validBits);
    return MeasureGain(view, m.gainDb) && MeasureThdN(view, m.thdnDb);
}

} // namespace

LoopbackMeasures MeasureLoopback(const std::uint8_t* capture, std::size_t byteCount, const LoopbackSequence& sequence)
{
    LoopbackMeasures m;
    m.measured = sequence.selection;
    m.latency = MeasureLatency(capture, byteCount, sequence);
    if (m.latency.status != LatencyStatus::Found) {
        m.error = std::string("latency: ") + LatencyStatusName(m.latency.status);
        return m;
    }
    const CaptureView view{capture, byteCount, &sequence, m.latency.frames};
    const MeasureSelection& s = sequence.selection;
    if (s.response && !MeasureResponses(view, m))
        return m;
    m.dropoutsChecked = s.response || s.thd;
    const bool placed = (!s.thd || MeasureTone(view, m)) &&
                        (!s.noise || (MeasureDynamicRange(view, m.dynamicRangeDb) &&
                                      MeasureNoiseFloor(view, m.noiseFloorDbfs))) &&
                        (!m.dropoutsChecked || FindDropouts(view, m.dropouts, m.dropoutCount)) &&
                        (!s.crosstalk || MeasureCrosstalk(view, m.crosstalk));
    if (!placed) {
        m.error = "a part of the sequence did not come back within the capture";
        return m;
    }
    m.ok = true;
    return m;
}
