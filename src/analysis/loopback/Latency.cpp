// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/loopback/Latency.h"

#include <cmath>

#include "analysis/loopback/FftCorrelation.h"
#include "analysis/loopback/PcmSamples.h"

LatencyResult FindMarker(const std::vector<double>& capture, const std::vector<double>& marker, std::int32_t rate)
{
    LatencyResult r;
    if (marker.empty() || capture.size() < marker.size()) {
        r.status = LatencyStatus::TooShort;
        return r;
    }
    std::vector<double> xc;
    if (!FftCorrelate(capture, marker, xc)) {
        r.status = LatencyStatus::NoMemory;
        return r;
    }
    double markerEnergy = 0;
    for (double m : marker)
        markerEnergy += m * m;
    // Energy of the capture under the marker at each lag, kept as a running sum.
    double windowEnergy = 0;
    for (std::size_t i = 0; i < marker.size(); ++i)
        windowEnergy += capture[i] * capture[i];
    double best = 0;
    std::size_t bestLag = 0;
    for (std::size_t lag = 0; lag < xc.size(); ++lag) {
        if (lag > 0) {
            const double out = capture[lag - 1];
            const double in = capture[lag + marker.size() - 1];
            windowEnergy = std::max(windowEnergy + in * in - out * out, 0.0);
        }
        const double norm = std::sqrt(markerEnergy * windowEnergy);
        const double c = norm > 0 ? xc[lag] / norm : 0;
        if (std::fabs(c) > std::fabs(best)) {
            best = c;
            bestLag = lag;
        }
    }
    r.correlation = best;
    if (!(std::fabs(best) >= MinMarkerCorrelation))
        return r;
    r.status = LatencyStatus::Found;
    r.frames = static_cast<std::int64_t>(bestLag);
    r.inverted = best < 0;
    r.ms = rate > 0 ? 1000.0 * static_cast<double>(bestLag) / rate : NoFigure;
    return r;
}

LatencyResult MeasureLatency(const std::uint8_t* capture, std::size_t byteCount, const LoopbackSequence& sequence,
                             std::uint16_t channel)
{
    const PartSpan* span = sequence.Find(StimulusPart::Marker);
    if (span == nullptr)
        return LatencyResult{};
    const auto& f = sequence.format;
    std::vector<double> played =
        DecodeChannel(sequence.bytes.data(), sequence.bytes.size(), f, channel, span->frame, span->frames);
    // Nothing arrives before it was played: the search starts at the marker's own frame.
    std::vector<double> heard = DecodeChannel(capture, byteCount, f, channel, span->frame, FramesIn(byteCount, f));
    LatencyResult r = FindMarker(heard, played, f.sampleRate);
    return r;
}

const char* LatencyStatusName(LatencyStatus status)
{
    switch (status) {
    case LatencyStatus::Found:
        return "found";
    case LatencyStatus::NotFound:
        return "marker not found";
    case LatencyStatus::TooShort:
        return "capture too short";
    case LatencyStatus::NoMemory:
        return "capture too long for the transform, or out of memory";
    }
    return "unknown";
}
