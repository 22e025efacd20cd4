// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/loopback/ToneMeasures.h"

#include <cmath>
#include <complex>
#include <numbers>

#include "analysis/SignalAnalyzer.h"
#include "analysis/Window.h"

namespace {

// 1 dB.
constexpr double SwapMargin = 1.1220184543019633;

double Db(double ratio)
{
    return ratio > 0 && std::isfinite(ratio) ? 20 * std::log10(ratio) : NoFigure;
}

// The analysis library's figures for a located part of the capture.
bool AnalysePart(const CaptureView& view, StimulusPart part, SignalAnalysis& out, CaptureRange& range)
{
    const PartSpan* span = view.sequence == nullptr ? nullptr : view.sequence->Find(part);
    if (span == nullptr || !view.Locate(*span, PartGuardShare, range))
        return false;
    out = AnalyseSamples(view.At(range), view.Size(range), view.sequence->format, view.sequence->validBits);
    return out.ok && out.channel.size() == view.sequence->format.channels;
}

// The 1 kHz level of each channel over a part of the capture (or, with
// `played`, of the sequence itself at the part's own frames).
bool LevelsIn(const CaptureView& view, const PartSpan& span, bool played, std::vector<double>& levels)
{
    const LoopbackSequence& seq = *view.sequence;
    CaptureRange range;
    if (played) {
        const auto guard = static_cast<std::uint64_t>(static_cast<double>(span.frames) * PartGuardShare);
        range = {span.frame + guard, span.frames - 2 * guard};
    } else if (!view.Locate(span, PartGuardShare, range)) {
        return false;
    }
    const std::uint8_t* bytes = played ? seq.bytes.data() : view.bytes;
    const std::size_t size = played ? seq.bytes.size() : view.byteCount;
    levels.clear();
    for (std::uint16_t c = 0; c < seq.format.channels; ++c)
        levels.push_back(
            LevelAt(DecodeChannel(bytes, size, seq.format, c, range.frame, range.frames), ToneHz, seq.format.sampleRate));
    return true;
}

} // namespace

double LevelAt(const std::vector<double>& x, double hz, std::int32_t rate)
{
    if (x.empty() || rate <= 0)
        return NoFigure;
    const std::vector<double> w = MakeWindow(x.size());
    const double step = 2 * std::numbers::pi * hz / rate;
    std::complex<double> sum = 0;
    double weight = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sum += w[i] * x[i] * std::polar(1.0, -step * static_cast<double>(i));
        weight += w[i];
    }
    return weight > 0 ? 2 * std::abs(sum) / weight : NoFigure;
}

bool MeasureGain(const CaptureView& view, std::vector<double>& gainDb)
{
    gainDb.clear();
    const PartSpan* span = view.sequence == nullptr ? nullptr : view.sequence->Find(StimulusPart::Tone);
    std::vector<double> heard, played;
    if (span == nullptr || !LevelsIn(view, *span, false, heard) || !LevelsIn(view, *span, true, played))
        return false;
    for (std::size_t c = 0; c < heard.size(); ++c)
        gainDb.push_back(Db(heard[c] / played[c]));
    return true;
}

bool MeasureThdN(const CaptureView& view, std::vector<double>& thdnDb)
{
    thdnDb.clear();
    SignalAnalysis a;
    CaptureRange range;
    if (!AnalysePart(view, StimulusPart::Tone, a, range))
        return false;
    for (const auto& c : a.channel)
        thdnDb.push_back(c.tone.thdnDb);
    return true;
}

bool MeasureDynamicRange(const CaptureView& view, std::vector<double>& rangeDb)
{
    rangeDb.clear();
    SignalAnalysis a;
    CaptureRange range;
    if (!AnalysePart(view, StimulusPart::QuietTone, a, range))
        return false;
    for (const auto& c : a.channel) {
        // The tone's own level, not the nominal -60, so a chain's gain does not count.
        const bool near1k = c.tone.isTone && std::fabs(c.tone.frequencyHz - ToneHz) < 0.05 * ToneHz;
        rangeDb.push_back(near1k ? -(c.tone.levelDbfs + c.tone.thdnDb) : NoFigure);
    }
    return true;
}

bool MeasureNoiseFloor(const CaptureView& view, std::vector<double>& floorDbfs)
{
    floorDbfs.clear();
    SignalAnalysis a;
    CaptureRange range;
    if (!AnalysePart(view, StimulusPart::Silence, a, range))
        return false;
    for (const auto& c : a.channel)
        floorDbfs.push_back(c.silent || !std::isfinite(c.rmsDbfs) ? NoFigure : c.rmsDbfs);
    return true;
}

bool MeasureCrosstalk(const CaptureView& view, CrosstalkResult& out)
{
    out = CrosstalkResult{};
    if (view.sequence == nullptr || view.sequence->format.channels < 2)
        return false;
    const std::uint16_t channels = view.sequence->format.channels;
    for (std::uint16_t d = 0; d < channels; ++d) {
        const PartSpan* span = view.sequence->Find(StimulusPart::Crosstalk, d);
        std::vector<double> levels;
        if (span == nullptr || !LevelsIn(view, *span, false, levels))
            return false;
        // Another channel counts as where the signal went only when it is
        // clearly louder than the one driven: equally loud is a leak.
        std::uint16_t loudest = d;
        for (std::uint16_t c = 0; c < channels; ++c)
            if (levels[c] > levels[loudest] * SwapMargin)
                loudest = c;
        std::vector<double> row;
        for (std::uint16_t c = 0; c < channels; ++c)
            row.push_back(Db(levels[c] / levels[d]));
        out.levelDb.push_back(row);
        out.mapping.push_back(loudest);
        out.swapped = out.swapped || loudest != d;
    }
    return true;
}

bool FindDropouts(const CaptureView& view, std::vector<Dropout>& dropouts, std::uint64_t& count)
{
    dropouts.clear();
    count = 0;
    bool searched = false;
    for (StimulusPart part : {StimulusPart::Sweep, StimulusPart::Tone}) {
        if (view.sequence == nullptr || view.sequence->Find(part) == nullptr)
            continue; // a sequence built without it
        SignalAnalysis a;
        CaptureRange range;
        if (!AnalysePart(view, part, a, range))
            return false;
        searched = true;
        count += a.dropoutCount;
        const std::int32_t rate = view.sequence->format.sampleRate;
        for (Dropout d : a.dropouts) {
            d.frame += range.frame;
            d.positionMs = 1000.0 * static_cast<double>(d.frame) / rate;
            dropouts.push_back(d);
        }
    }
    return searched;
}
