// SPDX-License-Identifier: GPL-3.0-or-later
// The signals a loopback run plays, as full-scale fractions of one channel,
// and the sequence that strings them together with gaps of silence into one
// interleaved PCM buffer whose every part has a known place.
//
// The sequence, in order: the alignment marker, the sweep, the 1 kHz tone,
// the -60 dBFS tone, silence, then (two channels only) one part per channel
// with that channel alone driven by the 1 kHz tone. Every part but the
// crosstalk ones drives all channels alike. A sequence built for some
// measures only leaves out the parts no chosen measure reads; the marker
// is always first.
#pragma once

#include <cstdint>
#include <vector>

#include "core/SampleFormat.h"

inline constexpr double ToneHz = 1000;
inline constexpr double ToneDbfs = -6;      // leaves room for a chain with gain
inline constexpr double QuietToneDbfs = -60;
inline constexpr double MarkerDbfs = -6;
inline constexpr double SweepDbfs = -6;
inline constexpr double SweepStartHz = 20;
inline constexpr double SweepTopShare = 0.45; // of the rate

// Pseudo-random binary sequence of +-amplitude, the same on every run: its
// autocorrelation has one sharp peak, so a correlation finds it to the frame.
std::vector<double> MakeMarker(std::size_t frames, double dbfs = MarkerDbfs);

// Exponential sine sweep from startHz to endHz over `frames` frames, starting
// at phase 0: x(t) = A sin(2 pi f1 L (e^(t/L) - 1)), L = T / ln(f2 / f1).
std::vector<double> MakeSweep(std::int32_t rate, std::size_t frames, double startHz, double endHz,
                              double dbfs = SweepDbfs);

// The sweep's inverse filter: the sweep reversed in time, its amplitude
// falling by 6 dB per octave of the frequency it is at, so the sweep
// convolved with it is a band-limited impulse at frame `frames - 1`.
std::vector<double> MakeInverseSweep(std::int32_t rate, std::size_t frames, double startHz, double endHz);

// A sine of `dbfs` peak level (0 dBFS touches full scale), phase 0 at frame 0.
std::vector<double> MakeTone(std::int32_t rate, std::size_t frames, double hz, double dbfs);

enum class StimulusPart { Marker, Sweep, Tone, QuietTone, Silence, Crosstalk };

struct PartSpan {
    StimulusPart part = StimulusPart::Silence;
    std::uint64_t frame = 0;  // first frame in the sequence
    std::uint64_t frames = 0;
    std::uint16_t drivenChannel = 0; // Crosstalk only
};

// Lengths of the parts in seconds.
struct SequenceTiming {
    double markerSeconds = 0.085;
    double gapSeconds = 0.1;
    double sweepSeconds = 1.0;
    double toneSeconds = 0.5;
    double quietToneSeconds = 0.5;
    double silenceSeconds = 0.5;
    double crosstalkSeconds = 0.25;
};

// The measures a sequence is built for; each brings the parts it reads.
// The latency needs only the marker, which every sequence has.
struct MeasureSelection {
    bool response = true;  // the sweep
    bool thd = true;       // the 1 kHz tone: gain, THD+N
    bool noise = true;     // the -60 dBFS tone and the silence: dynamic range, noise floor
    bool crosstalk = true; // a part per channel driving it alone; two channels only

    bool operator==(const MeasureSelection&) const = default;
};

struct LoopbackSequence {
    CSampleFormat format{48000, 1, 2};
    MeasureSelection selection; // what was built: crosstalk off for one channel
    int validBits = 16;
    std::vector<std::uint8_t> bytes; // interleaved PCM, as played
    std::uint64_t frames = 0;
    std::vector<PartSpan> parts;     // in the order played
    double sweepEndHz = 0;

    // The first part of that kind (for Crosstalk: driving that channel);
    // nullptr when the sequence has none.
    const PartSpan* Find(StimulusPart part, std::uint16_t drivenChannel = 0) const;
};

inline constexpr double MaxPartSeconds = 60;
inline constexpr double MaxSequenceSeconds = 600;

// Builds the sequence for the format and valid precision (0: the whole
// container), with the parts the selection needs (every part without one).
// Returns false, with `out` empty, when a part or gap would be shorter than
// the measures need (under 10 ms), a part longer than MaxPartSeconds, or
// the whole longer than MaxSequenceSeconds; only the parts played count.
bool BuildSequence(const CSampleFormat& format, int validBits, const SequenceTiming& timing,
                   const MeasureSelection& selection, LoopbackSequence& out);
bool BuildSequence(const CSampleFormat& format, int validBits, const SequenceTiming& timing, LoopbackSequence& out);
