// SPDX-License-Identifier: GPL-3.0-or-later
// What the analysis of one stretch of interleaved PCM found: levels, clipping,
// silence, the dominant tone, the valid bits really carried, how the channels
// relate and where the signal dropped out. Plain data; SignalAnalyzer.h fills it.
//
// Conventions used by every figure:
// - Full scale is the container's: 128 for 8-bit (unsigned, centred on 128),
//   2^15, 2^23 and 2^31 for 16-, 24- and 32-bit two's complement. The
//   program's own 8-bit silence (127) therefore reads as a DC offset of -1,
//   and its 32-bit tone (range +-2^30) peaks at -6.02 dBFS.
// - Peak and tone levels are peak-referenced (a sine touching full scale is
//   0 dBFS); RMS and the noise floor are RMS-referenced, as sox reports them
//   (that sine's RMS is -3.01 dBFS).
// - A figure that does not exist for the signal (the level of silence, the
//   tone of noise) is NaN; writers print it as "-" or null.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

inline constexpr double NoFigure = std::numeric_limits<double>::quiet_NaN();

enum class ChannelRelation {
    Mono,        // one channel: nothing to compare
    Identical,   // every frame holds the same sample in both channels
    OneSilent,   // exactly one channel is digital silence
    BothSilent,  // both are digital silence, at different values
    Independent, // anything else
    NotCompared, // more than two channels that are not all identical
    DitherApart, // two channels never further apart than dither (DitherSteps steps)
};

enum class DropoutKind {
    ZeroRun,       // the signal fell to exact zero for a while and came back
    Discontinuity, // a sample the tone's own course does not predict (a phase slip, a glitch)
};

struct Dropout {
    std::uint16_t channel = 0; // 0-based
    std::uint64_t frame = 0;   // first frame affected
    std::uint64_t frames = 0;  // length (1 for a discontinuity)
    double positionMs = NoFigure;
    DropoutKind kind = DropoutKind::ZeroRun;
};

// The dominant component of the channel's averaged spectrum.
struct ToneFigures {
    bool isTone = false;          // the strongest component carries at least half the AC power
    double frequencyHz = NoFigure; // interpolated between bins
    double levelDbfs = NoFigure;   // peak-referenced level of that component
    double thdnDb = NoFigure;      // (harmonics + noise) / fundamental, tones only
    double snrDb = NoFigure;       // fundamental / noise without harmonics, tones only
    double noiseFloorDbfs = NoFigure; // the median bin spread over the whole band, RMS-referenced
};

struct ChannelAnalysis {
    // Sample values as stored (8-bit: 0..255); the peak is the one further
    // from the centre.
    std::int32_t minSample = 0;
    std::int32_t maxSample = 0;
    std::int32_t peakSample = 0;
    double peakDbfs = NoFigure;
    double rmsDbfs = NoFigure;
    double dcOffset = 0;          // mean distance from the centre, in sample steps
    double dcOffsetFraction = 0;  // the same as a fraction of full scale (sox's "DC offset")
    double crestFactorDb = NoFigure;

    // Samples at or beyond the extremes of the requested valid precision.
    std::uint64_t clippedSamples = 0;
    std::uint64_t clipRuns = 0;
    std::uint64_t longestClipRun = 0;

    bool silent = false; // every sample holds one value
    // Not digital silence, but no sample further from the centre than
    // DitherSteps steps of the valid precision: dither or an idle input's
    // noise, silence at dither level (no dropouts are sought in it).
    bool ditherLevel = false;
    // Frames of zero (8-bit: 128, or the program's own 127) before the
    // signal starts and after it ends.
    std::uint64_t leadingSilenceFrames = 0;
    std::uint64_t trailingSilenceFrames = 0;

    int validBitsCarried = 0; // container bits above the lowest bit ever set; 0 for all zero

    ToneFigures tone;
    std::uint64_t dropoutCount = 0;
};

struct SignalAnalysis {
    bool ok = false;
    std::string error; // why not, when !ok

    int channels = 0;
    std::int32_t sampleRate = 0;
    int containerBits = 0;
    int requestedValidBits = 0;
    std::uint64_t frames = 0;
    double durationSeconds = NoFigure;

    int validBitsCarried = 0;       // over all channels
    bool validBitsMismatch = false; // carried differs from requested (not judged on all-zero signals)
    ChannelRelation relation = ChannelRelation::Mono;

    std::vector<ChannelAnalysis> channel;
    // The first MaxDropoutsKept dropouts over all channels, in the order found.
    std::vector<Dropout> dropouts;
    std::uint64_t dropoutCount = 0;

    // For pictures: the averaged spectrum per channel, bin i at i * binHz, in
    // dBFS as a tone's level reads (the peak level of a sine in that bin; a
    // tone's top bin gives its levelDbfs); and the waveform as min/max pairs
    // of full-scale fractions, framesPerColumn frames each.
    double binHz = NoFigure;
    std::vector<std::vector<float>> spectrumDbfs;
    std::uint64_t framesPerColumn = 0;
    std::vector<std::vector<float>> overviewMin;
    std::vector<std::vector<float>> overviewMax;
};

inline constexpr std::size_t MaxDropoutsKept = 256;

const char* ChannelRelationName(ChannelRelation relation);
const char* DropoutKindName(DropoutKind kind);
