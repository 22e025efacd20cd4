// SPDX-License-Identifier: GPL-3.0-or-later
// The format matrix: which formats a device really takes, through the same
// wave devices as the record and playback test. A session tries every
// combination of rate, channel count, container and valid bits, and
// description (Standard or Extended) on an input and an output device, at
// one of three levels:
//   - accepts: the device opens in exactly that format, or the open's code
//     and the host's own words for the refusal are kept;
//   - delivers: a short recording is not silent, carries the valid bits
//     asked (the lowest valid bit is set somewhere), has no gap of exact
//     silence and no xrun; a short playback is done on time;
//   - transparent: with the output wired back to the input, a pseudo-random
//     sequence using every valid bit comes back bit for bit; otherwise the
//     verdict names what the path did (FormatLoop.h).
// A request in, progress and cancel through a callback, a result model out;
// nothing here knows a terminal or a dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/WaveApi.h"

enum class FormatLevel { Accepts, Delivers, Transparent };

// A sample width: the container's bits and the valid bits within it.
struct FormatWidth {
    std::uint16_t bits = 16;
    std::uint16_t validBits = 16;
    bool operator==(const FormatWidth&) const = default;
};

// One combination of the matrix.
struct FormatKey {
    std::uint32_t sampleRate = 48000;
    std::uint16_t channels = 2;
    FormatWidth width;
    bool extended = false; // the extensible description, else the plain PCM one
    bool operator==(const FormatKey&) const = default;
};

// The rates and widths every session tries; a request may add rates.
const std::vector<std::uint32_t>& StandardMatrixRates();
const std::vector<FormatWidth>& StandardMatrixWidths();

struct FormatMatrixProgress {
    std::size_t done = 0;  // combinations finished
    std::size_t total = 0; // combinations the session will try
    WaveDirection direction = WaveDirection::Input;
    FormatKey key;         // the combination about to be tried
};

struct FormatMatrixRequest {
    // Wave API device numbers; -1 leaves the direction out. The
    // transparent level needs both: the output wired back to the input.
    std::int32_t input = -1;
    std::int32_t output = -1;
    std::vector<std::uint32_t> rates = StandardMatrixRates();
    std::vector<std::uint16_t> channelCounts = {1, 2};
    std::vector<FormatWidth> widths = StandardMatrixWidths();
    std::vector<bool> descriptions = {false, true}; // Standard, Extended
    FormatLevel level = FormatLevel::Accepts;
    // Called before each combination; false cancels the session (what was
    // taken is kept). May be empty.
    std::function<bool(const FormatMatrixProgress&)> onProgress;
    // The window whose keys the loop runs peek (Esc cancels them).
    WindowHandle window = nullptr;
};

// The open of one combination on one device.
struct FormatAcceptance {
    bool tried = false;
    WaveResult code = WaveNoError; // 0: open in exactly that format
    // Refused by the wave API's own description rules before any host was
    // asked (a plain PCM description cannot carry fewer valid bits than its
    // container); the host detail is then empty.
    bool byRules = false;
    WaveHostDetail host; // the host's call and words for a refusal
    bool Accepted() const { return tried && code == WaveNoError; }
    // A refusal of the format (8) is a finding; any other code is a failure.
    bool Refused() const { return tried && code == WaveErrNotSupported; }
    bool Failed() const { return tried && code != WaveNoError && code != WaveErrNotSupported; }
};

// A short recording or playback in one accepted combination.
struct FormatDelivery {
    bool run = false;
    // A device step failed (queue or start): its code; the rest is empty.
    WaveResult stepCode = WaveNoError;
    bool done = false;            // the buffer was done before the time-out
    std::uint32_t expectedMs = 0; // its length
    std::uint32_t elapsedMs = 0;  // from the start to the done flag
    // Input only.
    bool silent = false;            // every sample is the silence value
    std::uint16_t bitsCarried = 0;  // valid bits down to the lowest ever set
    std::uint64_t gaps = 0;         // runs of exact silence inside the signal
    // Both: xruns the host mended during the buffer.
    std::uint64_t xruns = 0;

    bool OnTime() const;
    // Everything the level asks of the direction.
    bool Delivered(WaveDirection direction, std::uint16_t validBits) const;
};

// What came back over the loop in one combination both devices accepted.
struct FormatLoopVerdict {
    bool run = false;
    // The full-duplex run did not complete: a device step failed (its code),
    // or the capture was cut short.
    bool runFailed = false;
    WaveResult stepCode = WaveNoError;
    bool heard = false;         // the sequence was found in the capture
    bool transparent = false;   // bit for bit after alignment
    std::int64_t lagFrames = 0; // where it was found
    double gainDb = 0;          // level of what came back against what was played
    bool gain = false;          // level changed
    bool resampled = false;     // the difference is the band's top cut or smeared
    bool truncated = false;     // low bits lost
    std::uint16_t bitsCarried = 0;
    bool noise = false;         // noise added (dither, or other audio mixed in)
    bool swapped = false;       // channels swapped
};

struct FormatCell {
    FormatKey key;
    FormatAcceptance accept;
    FormatDelivery delivery;
};

// One device's matrix, cells in the order the session tried them.
struct FormatDeviceMatrix {
    WaveDirection direction = WaveDirection::Input;
    std::int32_t device = -1;
    std::string name;     // the capability record's name
    std::string hostName; // the host's name of it ("hw:1,0"), when known
    std::vector<FormatCell> cells;
};

struct FormatLoopCell {
    FormatKey key;
    FormatLoopVerdict verdict;
};

struct FormatMatrixResult {
    FormatLevel level = FormatLevel::Accepts;
    std::vector<FormatDeviceMatrix> devices; // the input first, then the output
    std::vector<FormatLoopCell> loop;        // transparent level: one per combination both accepted
    bool cancelled = false;                  // stopped by the callback or Esc; what was taken is kept
    std::uint32_t elapsedMs = 0;

    // A device failed other than by refusing a format (an open code other
    // than 0 and 8, or a failed step of a delivery or loop run).
    bool DeviceFailed() const;
};

// Runs the request over `api` (current for the call). The devices are
// constructed once per direction and opened once per combination. Returns
// 1 when every combination was tried, 0 when the session was cancelled or
// the request was empty or named no device (nothing tried). Messages are
// the wave devices' own; the session shows none itself. Nothing throws
// except std::bad_alloc.
int RunFormatMatrix(CWaveApi& api, const FormatMatrixRequest& request, FormatMatrixResult& result);

// "accepts", "delivers", "transparent".
const char* FormatLevelName(FormatLevel level);
