// SPDX-License-Identifier: GPL-3.0-or-later
// Dropouts in one channel, fed block by block with centred samples (8-bit:
// stored value - 128), in fixed memory whatever the length.
//
// Two searches run side by side:
// - A predictor for a tone: a sine obeys x[n] = a x[n-1] - x[n-2] with
//   a = 2 cos w, so the residual of that prediction stays at the noise of
//   the signal. `a` is fitted per stretch of StretchFrames as the median of
//   the samples' own ratios, and the threshold is a multiple of the median
//   distance of the residual from its median (never below a floor of a few
//   steps of the valid precision). Medians ignore the glitches themselves,
//   so however often a gap or phase slip repeats, the threshold stays at the
//   signal's noise and every one of them stands out. A burst of residual is
//   one dropout: a run of zeros when it starts on one (shorter than the
//   zero-run search's minimum), a discontinuity otherwise.
// - Runs of exact zeros of at least MinimumZeroRun frames inside the signal,
//   whatever the signal (noise has no prediction to break).
// Neither search looks at a stretch whose peak is at most DitherSteps steps
// of the valid precision: dither and the noise of an idle input are not a
// signal that can drop out. A signal that starts after leading zeros or
// ends in trailing zeros has no dropout there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/SignalAnalysis.h"

// Peaks at most this many steps of the valid precision are dither level.
inline constexpr std::int32_t DitherSteps = 4;

class CDropoutDetector {
public:
    // The length of one fitted stretch.
    static constexpr std::size_t StretchFrames = 256;

    // containerBits/validBits: the step of the valid precision is
    // 2^(containerBits - validBits) container units. sampleRate <= 0: no
    // positions in ms. unsignedStorage: 8-bit, where -1 (the program's own
    // silence, 127) counts as zero too.
    CDropoutDetector(int containerBits, int validBits, std::int32_t sampleRate, bool unsignedStorage);

    // The next `count` samples (any number; blocks of a few thousand are
    // cheapest).
    void Add(const std::int32_t* values, std::size_t count);

    // Closes the search: a burst or zero run still open at the end is the
    // signal ending, not a dropout. Returns the dropouts found, in order, at
    // most MaxDropoutsKept (channel field 0); `count` receives them all.
    std::vector<Dropout> Finish(std::uint64_t& count);

    // The shortest run of zeros that the zero-run search counts: 16 frames
    // and a quarter of a millisecond.
    std::uint64_t MinimumZeroRun() const { return minZeroRun; }

private:
    struct Burst {
        bool open = false;
        std::uint64_t first = 0;      // first frame flagged, or the zero run's start
        std::uint64_t last = 0;       // last frame flagged or zero
        bool zeros = false;           // starts on a run of zeros
        bool zerosOpen = false;       // that run reaches the end of what was added
        std::uint64_t zeroFrames = 0; // its length so far
    };

    // Frames from..to of the block of `count`; false when at dither level.
    bool Stretch(const std::int32_t* values, std::size_t count, std::size_t from, std::size_t to);
    // Fits the stretch in `sample` (m frames after two of history) and fills
    // `residual`; returns the threshold, `centre` the residual's median.
    double Predict(std::size_t m, double peak, double& centre);
    // The standard deviation of r[0..m) left of `skip`, `centre` its median.
    double Spread(const double* r, const char* skip, std::size_t m, double& centre) const;
    // a for the stretch s[2..m+2) (s[0], s[1] its history) left of `skip`,
    // and the position in it where that a holds.
    double FitCoefficient(const double* s, const char* skip, std::size_t m, double peak, double& at) const;
    void Flag(const std::int32_t* values, std::size_t count, std::size_t index);
    void CloseBurst();
    void ScanZeroRuns(const std::int32_t* values, std::size_t count, bool loud);
    void EndZeroRun(std::uint64_t resumeFrame);
    void DropDiscontinuitiesWithin(std::uint64_t first, std::uint64_t last);
    void AddDropout(std::uint64_t frame, std::uint64_t frames, DropoutKind kind);
    bool IsZero(std::int32_t v) const { return v == 0 || (unsignedStorage && v == -1); }

    double step;
    double ditherLimit;
    std::int32_t sampleRate;
    bool unsignedStorage;
    std::uint64_t minZeroRun;

    std::uint64_t added = 0; // frames before the block being scanned
    double history1 = 0; // x[n-1] and x[n-2] before the stretch
    double history2 = 0;
    double coefficient = 2; // the last fitted a
    bool signalSeen = false;
    std::uint64_t signalFrom = 0; // first non-zero frame
    std::uint64_t trailingZeros = 0; // zeros at the end of what was added
    bool previousLoud = false;
    Burst burst;

    // Zero-run search: the run under way, whether signal came before it,
    // and the frames after the last counted run where bursts belong to it.
    std::uint64_t zeroRun = 0;
    std::uint64_t zeroRunStart = 0;
    bool loudBeforeRun = false;
    std::uint64_t mutedFrom = 0;
    std::uint64_t mutedUntil = 0;

    // One stretch's working space, filled before it is read: held in the
    // detector and left unset.
    std::array<double, StretchFrames> residual;
    std::array<double, StretchFrames + 2> sample;
    std::array<char, StretchFrames> suspect; // residuals left out of the stretch's fit
    std::vector<Dropout> found;
    std::uint64_t dropoutCount = 0;
};
