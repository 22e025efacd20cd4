// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/loopback/FrequencyResponse.h"

#include <cmath>
#include <complex>
#include <numbers>

#include "analysis/loopback/FftCorrelation.h"

namespace {

// Long enough for several periods of the lowest frequency swept.
std::size_t ResponseWindow(std::int32_t rate)
{
    return TransformSizeFor(static_cast<std::size_t>(rate) / 4);
}

// The windowed impulse response of x through the inverse filter: starting
// `pre` frames before the direct impulse (the harmonics' responses come
// earlier still and stay out), tapered at both ends.
bool ImpulseWindow(const std::vector<double>& x, const std::vector<double>& inverse, std::size_t length,
                   std::size_t pre, std::vector<double>& out)
{
    std::vector<double> ir;
    if (!FftConvolve(x, inverse, ir))
        return false;
    const std::size_t peak = inverse.size() - 1;
    out.assign(length, 0.0);
    const std::size_t taper = pre / 2;
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t at = peak - pre + i;
        if (at >= ir.size())
            break;
        double w = 1;
        if (i < taper)
            w = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / static_cast<double>(taper));
        else if (length - i <= taper)
            w = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(length - i) / static_cast<double>(taper));
        out[i] = ir[at] * w;
    }
    return true;
}

double MagnitudeAt(const std::vector<double>& magnitude, double hz, double binHz)
{
    const double bin = hz / binHz;
    const auto k = static_cast<std::size_t>(bin);
    if (k + 1 >= magnitude.size())
        return magnitude.back();
    const double t = bin - static_cast<double>(k);
    return magnitude[k] * (1 - t) + magnitude[k + 1] * t;
}

// The first crossing of -3 dB walking out from `from` by `step` (+-1).
double Minus3Crossing(const std::vector<ResponsePoint>& p, std::size_t from, int step)
{
    for (std::size_t i = from;;) {
        const std::size_t next = step > 0 ? i + 1 : i - 1;
        if ((step > 0 && next >= p.size()) || (step < 0 && i == 0))
            return NoFigure;
        if (p[next].db < -3) {
            const double t = (-3 - p[i].db) / (p[next].db - p[i].db);
            return std::exp(std::log(p[i].hz) + t * (std::log(p[next].hz) - std::log(p[i].hz)));
        }
        i = next;
    }
}

} // namespace

FrequencyResponse ResponseFromSweep(const std::vector<double>& heard, const std::vector<double>& played,
                                    std::int32_t rate, double startHz, double endHz)
{
    FrequencyResponse r;
    const std::size_t length = ResponseWindow(rate);
    const std::size_t pre = length / 16;
    if (rate <= 0 || played.size() <= pre || heard.size() < played.size() || !(startHz < ToneHz) ||
        !(endHz > ToneHz)) {
        r.error = "the sweep is too short or does not span 1 kHz";
        return r;
    }
    const std::vector<double> inverse = MakeInverseSweep(rate, played.size(), startHz, endHz);
    std::vector<double> reference(heard.size(), 0.0);
    std::copy(played.begin(), played.end(), reference.begin());
    std::vector<double> irHeard, irPlayed;
    std::vector<std::complex<double>> fHeard, fPlayed;
    if (!ImpulseWindow(heard, inverse, length, pre, irHeard) || !ImpulseWindow(reference, inverse, length, pre, irPlayed) ||
        !RealSpectrum(irHeard, length, fHeard) || !RealSpectrum(irPlayed, length, fPlayed)) {
        r.error = "out of memory";
        return r;
    }
    std::vector<double> magnitude(fHeard.size());
    for (std::size_t k = 0; k < magnitude.size(); ++k)
        magnitude[k] = std::abs(fPlayed[k]) > 0 ? std::abs(fHeard[k]) / std::abs(fPlayed[k]) : 0;
    const double binHz = static_cast<double>(rate) / static_cast<double>(length);
    const double at1k = MagnitudeAt(magnitude, ToneHz, binHz);
    if (!(at1k > 0)) {
        r.error = "nothing came back at 1 kHz";
        return r;
    }
    std::size_t index1k = 0;
    for (int i = 0;; ++i) {
        const double hz = std::min(startHz * std::exp2(i / 12.0), endHz);
        if (hz <= ToneHz)
            index1k = r.points.size();
        const double m = MagnitudeAt(magnitude, hz, binHz);
        r.points.push_back({hz, m > 0 ? 20 * std::log10(m / at1k) : -300});
        if (hz >= endHz)
            break;
    }
    r.minDb = r.maxDb = 0;
    for (const auto& p : r.points) {
        r.minDb = std::min(r.minDb, p.db);
        r.maxDb = std::max(r.maxDb, p.db);
    }
    r.lowerMinus3Hz = Minus3Crossing(r.points, index1k, -1);
    r.upperMinus3Hz = Minus3Crossing(r.points, index1k, +1);
    r.ok = true;
    return r;
}

FrequencyResponse MeasureResponse(const CaptureView& view, std::uint16_t channel)
{
    FrequencyResponse r;
    const LoopbackSequence* seq = view.sequence;
    const PartSpan* span = seq == nullptr ? nullptr : seq->Find(StimulusPart::Sweep);
    if (span == nullptr || channel >= seq->format.channels) {
        r.error = "the sequence has no sweep on that channel";
        return r;
    }
    // The sweep and the gap after it, up to the next part's first frame.
    std::uint64_t end = seq->frames;
    for (const auto& p : seq->parts)
        if (p.frame > span->frame)
            end = std::min(end, p.frame);
    PartSpan tail = *span;
    tail.frames = end - span->frame;
    CaptureRange range;
    if (!view.Locate(tail, 0, range)) {
        r.error = "the sweep did not come back whole within the capture";
        return r;
    }
    const auto& f = seq->format;
    std::vector<double> heard = DecodeChannel(view.bytes, view.byteCount, f, channel, range.frame, range.frames);
    std::vector<double> played = DecodeChannel(seq->bytes.data(), seq->bytes.size(), f, channel, span->frame, span->frames);
    return ResponseFromSweep(heard, played, f.sampleRate, SweepStartHz, seq->sweepEndHz);
}
