// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's stimulus and its follower. The output plays a cosine of
// SoakToneHz at SoakToneAmplitude on every channel, from frame 0 at its
// peak, so its first frame marks the start; the input's first channel is
// followed block by block: each block's tone is fitted (level, offset and
// phase, through a Hann window) and every sample is predicted from the
// blocks before it, so a missing, repeated or zeroed stretch, a click or a
// level step is found where it starts, to the frame.
//
// The latency is the tone's phase delay in frames (the onset chooses the
// period); it moves with the clocks' drift, whose slope over the input's
// frames is the drift: latency = L + n d / (1 + d) for capture frame n.
// A glitch that moves the stimulus (the latency) starts a new piece of that
// line with the same slope. How far the stimulus moved is told exactly for
// silence that came in (its length), and from the phase alone only modulo
// the tone's period otherwise, unless an xrun of the input said how many
// frames it lost there (NoteLoss). A glitch that an xrun near it explains
// (the input's jump by its frames, the output's silence of its length) is
// marked so.
#pragma once

#include <cstdint>
#include <vector>

#include "measure/soak/SoakFits.h"
#include "measure/soak/SoakResult.h"

// 101 Hz shares no factor with any rate's 1000-frame multiple, so the tone
// repeats only after a second; its period (475 frames at 48 kHz) is the
// span within which a jump's length is read from the phase alone.
constexpr std::uint32_t SoakToneHz = 101;
constexpr double SoakToneAmplitude = 0.5; // -6 dBFS
// Below this level (-60 dBFS) the stimulus is not heard.
constexpr double SoakHeardAmplitude = 1e-3;

// The stimulus, frame after frame, in the output's format.
class CSoakStimulus {
public:
    CSoakStimulus(std::uint32_t sampleRate, std::uint16_t channels, std::uint16_t bytesPerSample,
                  std::uint16_t validBits);
    // Writes the next `frames` frames to `out` (frames x channels x bytes).
    void Fill(std::uint8_t* out, std::uint32_t frames);

private:
    std::uint32_t rate;
    std::uint16_t channels, width, validBits;
    std::uint64_t next = 0;
};

// What one block told.
struct SoakToneBlock {
    bool heard = false;           // the stimulus is followed (its onset was found)
    bool latencyValid = false;    // the block gave a latency point
    double latencyFrames = 0;
    double seconds = 0;           // the block's centre, on the input's frames
    std::vector<SoakEvent> events; // glitches found (kind, frame, frames, shift, levelDb)
};

class CToneFollower {
public:
    CToneFollower(std::uint32_t sampleRate, std::uint16_t validBits);

    // The next block of the input's first channel (fractions of full scale),
    // its first sample being capture frame `first`. Blocks must follow one
    // another; up to 2^20 samples each.
    void Process(const double* samples, std::size_t count, std::uint64_t first, SoakToneBlock& out);
    // An xrun of the input or the output lost `frames` frames when the
    // input had recorded about `frame` frames: a jump (input) or a silence
    // (output) found near it is that xrun's.
    void NoteLoss(WaveDirection direction, std::uint64_t frame, std::uint64_t frames);

    bool Heard() const { return state != State::Listening; }
    // The drift of the input's clock against the output's so far, in ppm.
    SoakEstimate DriftPpm() const;

private:
    enum class State { Listening, Onset, Warming, Following, Disturbed };
    struct Fit {
        double amplitude = 0;
        double offset = 0;   // the block's mean
        double phaseLag = 0; // the latency modulo the period, in frames, at the centre
    };
    struct Exceed {
        std::size_t count = 0;
        std::size_t first = 0;
        std::size_t last = 0;
        double sumSquares = 0;
    };

    double Angle(std::uint64_t frame) const;
    Fit FitBlock(const double* y, std::size_t n, std::uint64_t first) const;
    Exceed Compare(const double* y, std::size_t n, std::uint64_t first, double lagAtCentre, double centre,
                   double amplitude, double offset, double threshold) const;
    double Threshold(double amplitude) const;
    double Slope() const; // latency frames per input frame
    double Wrap(double frames) const;

    void Listen(const double* y, std::size_t n, std::uint64_t first, SoakToneBlock& out);
    void Follow(const double* y, std::size_t n, std::uint64_t first, SoakToneBlock& out);
    void Resolve(const double* y, std::size_t n, std::uint64_t first, const Fit& fit, SoakToneBlock& out);
    void CountQuiet(const double* y, std::size_t from, std::size_t to);
    SoakEvent Classify(double moved, std::uint64_t length, std::size_t blockFrames);
    void Transient(const double* y, std::size_t n, std::uint64_t first, const Exceed& e, SoakToneBlock& out);
    void Point(double latency, double centre, SoakToneBlock& out);
    void KeepPrevious(const double* y, std::size_t n, std::uint64_t first);
    SoakEvent Glitch(SoakEventKind kind, std::uint64_t frame, std::uint64_t frames) const;

    std::uint32_t rate;
    double omega;
    double period;
    double lsb;
    State state = State::Listening;
    // The latency at frame `latencyAt`, and the tone's level and offset.
    double latency = 0;
    double latencyAt = 0;
    double amplitude = 0;
    double offset = 0;
    double noise = 0; // RMS of what the prediction leaves in clean blocks
    int warmBlocks = 0;
    // A disturbance that has not ended by the end of its block.
    std::uint64_t disturbedFrom = 0;
    int disturbedBlocks = 0;
    bool disturbedSilent = true;
    std::uint64_t disturbedQuiet = 0; // samples at the offset within it
    std::uint64_t disturbedCount = 0;
    // Each direction's latest reported loss, until a glitch takes it.
    struct Loss {
        std::uint64_t frame = 0;
        std::uint64_t frames = 0;
    } inputLoss, outputLoss;
    bool Near(const Loss& loss, std::uint64_t reach) const;
    std::vector<double> previous;
    std::uint64_t previousFirst = 0;
    CPiecewiseSlope drift;
};
