// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis of interleaved PCM in a CSampleFormat, in one streaming pass:
// feed the bytes in pieces of any size (frames may straddle pieces), then
// Finish. Memory is fixed at construction (a few MiB at most), whatever the
// length fed (a signal that runs past a short expected length takes one
// block more). Any channel count the format's field holds is analysed (a
// file's may be past the one or two CSampleFormat's constructor keeps to).
//
// Results: Finish() gives ok = false with `error` when the analysis could not
// be set up or fed (no memory, FFTW refused a plan) or when no whole frame
// was fed; otherwise every figure of SignalAnalysis.h. Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "analysis/SignalAnalysis.h"
#include "core/SampleFormat.h"

class CSignalAnalyzer {
public:
    // requestedValidBits: the valid precision the signal was meant to carry
    // (clipping is judged at its extremes, the carried bits against it);
    // 0 or more than the container means the whole container.
    // expectedFrames: the length when known (spreads the spectrum's segments
    // and sizes the overview); 0 when not.
    CSignalAnalyzer(const CSampleFormat& format, int requestedValidBits, std::uint64_t expectedFrames = 0);
    ~CSignalAnalyzer();
    CSignalAnalyzer(const CSignalAnalyzer&) = delete;
    CSignalAnalyzer& operator=(const CSignalAnalyzer&) = delete;

    // Takes the next bytes of interleaved frames.
    void Feed(const std::uint8_t* bytes, std::size_t byteCount);

    // The figures for everything fed. Call once.
    SignalAnalysis Finish();

    // Bytes of memory held for the analysis (buffers, spectra, FFT).
    std::size_t MemoryBytes() const;

private:
    struct State;
    std::unique_ptr<State> state;
    std::string setupError;
};

// One whole buffer at once.
SignalAnalysis AnalyseSamples(const std::uint8_t* bytes, std::size_t byteCount, const CSampleFormat& format,
                              int requestedValidBits);
