// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/loopback/Stimulus.h"

#include <cmath>
#include <numbers>
#include <random>

#include "analysis/loopback/PcmSamples.h"

namespace {

double Amplitude(double dbfs)
{
    return std::pow(10.0, dbfs / 20);
}

double SweepRate(double durationSeconds, double startHz, double endHz)
{
    return durationSeconds / std::log(endHz / startHz);
}

} // namespace

std::vector<double> MakeMarker(std::size_t frames, double dbfs)
{
    // mt19937's output is fixed by the standard, so every build plays the same marker.
    std::mt19937 bits(0x7a11);
    const double a = Amplitude(dbfs);
    std::vector<double> out(frames);
    for (auto& x : out)
        x = (bits() & 1U) != 0 ? a : -a;
    return out;
}

std::vector<double> MakeSweep(std::int32_t rate, std::size_t frames, double startHz, double endHz, double dbfs)
{
    std::vector<double> out(frames);
    if (rate <= 0 || frames == 0 || !(startHz > 0) || !(endHz > startHz))
        return out;
    const double duration = static_cast<double>(frames) / rate;
    const double l = SweepRate(duration, startHz, endHz);
    const double a = Amplitude(dbfs);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        out[i] = a * std::sin(2 * std::numbers::pi * startHz * l * std::expm1(t / l));
    }
    return out;
}

std::vector<double> MakeInverseSweep(std::int32_t rate, std::size_t frames, double startHz, double endHz)
{
    std::vector<double> sweep = MakeSweep(rate, frames, startHz, endHz, 0);
    std::vector<double> out(frames);
    if (rate <= 0 || frames == 0 || !(startHz > 0) || !(endHz > startHz))
        return out;
    const double l = SweepRate(static_cast<double>(frames) / rate, startHz, endHz);
    // The sweep dwells on each octave as long as the one before, so its
    // energy per hertz falls with frequency; the inverse gives it back.
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = sweep[frames - 1 - i] * std::exp(-static_cast<double>(i) / rate / l);
    return out;
}

std::vector<double> MakeTone(std::int32_t rate, std::size_t frames, double hz, double dbfs)
{
    std::vector<double> out(frames);
    if (rate <= 0)
        return out;
    const double a = Amplitude(dbfs);
    const double step = 2 * std::numbers::pi * hz / rate;
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = a * std::sin(step * static_cast<double>(i));
    return out;
}

const PartSpan* LoopbackSequence::Find(StimulusPart part, std::uint16_t drivenChannel) const
{
    for (const auto& p : parts)
        if (p.part == part && (part != StimulusPart::Crosstalk || p.drivenChannel == drivenChannel))
            return &p;
    return nullptr;
}

namespace {

struct SequenceWriter {
    LoopbackSequence& seq;
    std::vector<std::vector<double>> channels;
    std::size_t gap;

    // Appends `signal` on the channels chosen (all, or just `only`), then a gap.
    void Add(StimulusPart part, const std::vector<double>& signal, int only = -1)
    {
        PartSpan span;
        span.part = part;
        span.frame = channels[0].size();
        span.frames = signal.size();
        span.drivenChannel = only < 0 ? 0 : static_cast<std::uint16_t>(only);
        for (std::size_t c = 0; c < channels.size(); ++c) {
            const bool driven = only < 0 || static_cast<int>(c) == only;
            if (driven)
                channels[c].insert(channels[c].end(), signal.begin(), signal.end());
            else
                channels[c].resize(channels[c].size() + signal.size(), 0.0);
            channels[c].resize(channels[c].size() + gap, 0.0);
        }
        seq.parts.push_back(span);
    }
};

} // namespace

namespace {

// A part's length if it is played, else nothing.
struct PlannedPart {
    bool played;
    double seconds;
};

// The length check over the parts played, each with the gap after it.
bool TimingFits(const PlannedPart (&parts)[6], double gapSeconds, int crosstalkParts)
{
    if (!(gapSeconds >= 0.01))
        return false;
    double total = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        const double s = parts[i].seconds;
        if (!parts[i].played)
            continue;
        if (!(s >= 0.01) || !(s <= MaxPartSeconds))
            return false;
        total += (s + gapSeconds) * (i == 5 ? crosstalkParts : 1);
    }
    return total <= MaxSequenceSeconds;
}

} // namespace

bool BuildSequence(const CSampleFormat& format, int validBits, const SequenceTiming& timing,
                   const MeasureSelection& selection, LoopbackSequence& out)
{
    out = LoopbackSequence{};
    const std::int32_t rate = format.sampleRate;
    if (rate <= 0 || format.channels < 1)
        return false;
    MeasureSelection built = selection;
    built.crosstalk = selection.crosstalk && format.channels > 1;
    const PlannedPart parts[6] = {{true, timing.markerSeconds},      {built.response, timing.sweepSeconds},
                                  {built.thd, timing.toneSeconds},    {built.noise, timing.quietToneSeconds},
                                  {built.noise, timing.silenceSeconds}, {built.crosstalk, timing.crosstalkSeconds}};
    if (!TimingFits(parts, timing.gapSeconds, format.channels))
        return false;
    auto frames = [rate](double seconds) { return static_cast<std::size_t>(std::llround(seconds * rate)); };

    out.format = format;
    out.selection = built;
    out.validBits = EffectiveValidBits(format, validBits);
    out.sweepEndHz = SweepTopShare * rate;
    SequenceWriter w{out, std::vector<std::vector<double>>(format.channels), frames(timing.gapSeconds)};
    w.Add(StimulusPart::Marker, MakeMarker(frames(timing.markerSeconds)));
    if (built.response)
        w.Add(StimulusPart::Sweep, MakeSweep(rate, frames(timing.sweepSeconds), SweepStartHz, out.sweepEndHz));
    if (built.thd)
        w.Add(StimulusPart::Tone, MakeTone(rate, frames(timing.toneSeconds), ToneHz, ToneDbfs));
    if (built.noise) {
        w.Add(StimulusPart::QuietTone, MakeTone(rate, frames(timing.quietToneSeconds), ToneHz, QuietToneDbfs));
        w.Add(StimulusPart::Silence, std::vector<double>(frames(timing.silenceSeconds), 0.0));
    }
    if (built.crosstalk) {
        const auto tone = MakeTone(rate, frames(timing.crosstalkSeconds), ToneHz, ToneDbfs);
        for (int c = 0; c < format.channels; ++c)
            w.Add(StimulusPart::Crosstalk, tone, c);
    }
    out.bytes = EncodeFrames(w.channels, format, out.validBits);
    out.frames = w.channels[0].size();
    return true;
}

bool BuildSequence(const CSampleFormat& format, int validBits, const SequenceTiming& timing, LoopbackSequence& out)
{
    return BuildSequence(format, validBits, timing, MeasureSelection{}, out);
}
