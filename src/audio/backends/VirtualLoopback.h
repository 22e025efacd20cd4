// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual loopback cable: what the virtual loopback output plays comes
// back at the virtual loopback input after a set latency, through a chain of
// known impairments, so a loopback measure can be held to a known truth.
//
// The chain, per frame, on full-scale fractions (a container's full scale is
// 2^(bits-1); 8-bit samples are centred on 128), in this order:
//   1. decode the output's frame s = n - latencyFrames, where n is the frame
//      the input records, both counted on the loop's clock (below); a frame
//      the output did not play (before it started, while paused or idle,
//      after it ended) is silence;
//   1a. a sound server's resampling (serverRate set and not the stream's
//      rate R): frame s becomes (1 - a) x[s] + a x[s - 1] with
//      a = frac(s serverRate / R), the round trip of a linear interpolator at
//      the server's phase (frames whole on the server's clock pass unchanged);
//   2. third harmonic, memoryless: h(x) = x + k (4 x^3 / R^2 - 3 x), with
//      k = 10^(harmonicDb / 20) and R = 10^(VirtualHarmonicReferenceDbfs / 20).
//      That is R T3(x / R) scaled by k: a sine of peak R comes back with its
//      fundamental untouched and a third harmonic exactly harmonicDb below
//      it; a sine of peak A gets k A^3 / R^2 of third harmonic and its
//      fundamental scaled by 1 + 3 k (A^2 / R^2 - 1);
//   3. tilt, a first-order FIR: y[s] = g (h[s] + c h[s-1]). With
//      w1 = 2 pi 1000 / rate and wt = 2 pi 0.45, c is the one value in
//      (-1, 1) for which 20 log10(|1 + c e^-j wt| / |1 + c e^-j w1|) is
//      tiltDb, and g = 1 / |1 + c e^-j w1|: the response is exactly 0 dB at
//      1 kHz and tiltDb at 0.45 x rate (c > 0 falls towards the top, c < 0
//      rises). Where no such c exists at the rate (0.45 x rate not above
//      1 kHz, or a tilt steeper than one pole-free zero can give: +-12 dB is
//      in reach from 22050 Hz up), the chain has no tilt;
//   4. gain: times 10^(gainDb / 20);
//   5. crosstalk: channels 0 and 1 each get the other, before this step,
//      times 10^(crosstalkDb / 20);
//   6. swap: channels 0 and 1 trade places;
//   7. the input's channel i takes chain channel min(i, output channels - 1);
//   8. noise: white Gaussian of RMS 10^(noiseDbfs / 20), one draw per sample
//      recorded, from a generator seeded with `seed` at each open of the
//      input (splitmix64 into Box-Muller), so a capture repeats exactly;
//   9. dropouts: the input's frames frame .. frame + frames - 1, counted on
//      its stream clock from its open (with a buffer queued before the start,
//      the frame's index in the capture), become digital silence;
//   9a. glitches in the cable, on the same count: from a skip's frame on the
//      input hears the output `frames` frames later (those frames are lost),
//      from a repeat's frame on `frames` earlier (the frames before it come
//      again); both hold for the rest of the stream, added up;
//  10. encode in the input's container and valid bits (fewer when the
//      server's precision serverBits is lower): round(v 2^(valid-1))
//      half away from zero, clamped to the valid range, shifted up into the
//      container, 8-bit stored around 128.
// Channel steps 5 and 6 need two channels; a mono chain skips them. Output and
// input may differ in width, valid bits and channels; at different rates the
// cable carries nothing and the input records silence plus noise.
//
// The loop's clock: loop frame f of a stream at rate r is the time
// f x 1000 / r ms after the first tick the virtual back end saw. The clock is
// read once per call on either end and both ends move to that one reading,
// the output first, so what the input records does not depend on which end
// is polled, nor when. With both started at one tick the input's frame n
// holds the output's frame n - latencyFrames. An input started while the
// output is held (opened paused, or paused, as the full-duplex run opens it)
// waits for the output and starts at the output's tick: the two starts
// count as one, however long the caller took between them, so the same
// settings give the same capture frame for frame. An output started earlier
// than the input takes the ticks between the starts off the latency (each
// start rounded down to a frame on that clock); a running input that an
// output joins later hears it that much later.
//
// Clocks that are off (soak truths): the output's clock runs `outputPpm`
// fast against the system's (the services' ticks), and the input's runs
// `driftPpm` fast against the output's, so it moves frames at
// rate x (1 + outputPpm / 1e6) x (1 + driftPpm / 1e6). Each end counts its
// loop frames on its own clock; the input's loop frame n holds the output's
// n / (1 + driftPpm / 1e6) - latencyFrames, read between output frames by a
// four-point cubic (Lagrange) interpolation of the chain's steps 1 to 4.
// With no drift the frames are taken whole, as above.
//
// Xruns at set frames of a stream (frames moved through its buffers since
// its open): an overrun of the input at frame F loses `frames` frames there
// (the capture goes on with what was played that much later, and its
// buffers fill that much later); an underrun of the output at frame F
// stalls it for `frames` frames (the cable carries silence meanwhile, and
// what follows plays that much later). Each adds one xrun and its frames
// to the device's hostDetail (xruns, framesLost), as a real back end counts
// the xruns it recovered from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "audio/WaveFormatRules.h"

inline constexpr const char* VirtualLoopbackInputName = "Tallowmere Virtual Loopback In";
inline constexpr const char* VirtualLoopbackOutputName = "Tallowmere Virtual Loopback Out";
constexpr std::uint16_t VirtualLoopbackInputProductId = 3;
constexpr std::uint16_t VirtualLoopbackOutputProductId = 4;

// The peak at which the third harmonic has exactly its set level: the level
// of the loopback measures' 1 kHz tone.
constexpr double VirtualHarmonicReferenceDbfs = -6;

// Limits the parser holds values to; a chain set directly has its latency cut
// to the maximum and its tilt to the range.
constexpr std::uint32_t VirtualLoopbackMaxLatencyFrames = 3840000; // 10 s at the highest rate
constexpr double VirtualLoopbackMaxTiltDb = 12;
constexpr std::size_t VirtualLoopbackMaxDropouts = 64;

struct VirtualDropout {
    std::uint64_t frame = 0;
    std::uint32_t frames = 0;
};

// A glitch or an xrun at a frame of a stream, `frames` long.
struct VirtualGlitch {
    enum class Kind { Skip, Repeat, Overrun, Underrun } kind = Kind::Skip;
    std::uint64_t frame = 0;
    std::uint32_t frames = 0;
};
constexpr std::size_t VirtualLoopbackMaxGlitches = 64;
constexpr double VirtualLoopbackMaxPpm = 10000;

struct VirtualLoopbackChain {
    std::uint32_t latencyFrames = 256;
    double gainDb = 0;
    double noiseDbfs = -std::numeric_limits<double>::infinity();   // RMS of added white noise; -inf none
    double harmonicDb = -std::numeric_limits<double>::infinity();  // third harmonic below the signal; -inf none
    double tiltDb = 0;             // dB at 0.45 x rate relative to 1 kHz; 0 none
    std::vector<VirtualDropout> dropouts{}; // frames zeroed in the capture
    bool swapChannels = false;
    double crosstalkDb = -std::numeric_limits<double>::infinity(); // leakage between channels; -inf none
    std::uint32_t seed = 1;
    // A sound server in the cable: its rate (0: none, nothing resampled) and
    // its precision in bits (0: none, the input's valid bits kept).
    std::uint32_t serverRate = 0;
    std::uint16_t serverBits = 0;
    // Clocks off their rate and glitches at set frames (see above).
    double driftPpm = 0;
    double outputPpm = 0;
    std::vector<VirtualGlitch> glitches{};

    // The input's and the output's clocks against the system's, as factors
    // of the nominal rate.
    double InputClock() const { return OutputClock() * (1 + driftPpm / 1e6); }
    double OutputClock() const { return 1 + outputPpm / 1e6; }
};

// Reads a chain from comma-separated settings (the syntax of
// TALLOWMERE_VIRTUAL_LOOPBACK): latency=FRAMES (0 to the maximum),
// gain=DB (-120 to 40), noise=DBFS, harmonic=DB and crosstalk=DB (-200 to 0,
// or -inf/off), tilt=DB (-12 to 12), seed=N (32-bit), dropout=FRAME+FRAMES
// (1 to the maximum latency of frames; may repeat, up to 64), swap, a
// server's server=RATE (1000 to 384000) and bits=N (1 to 32), the clocks'
// drift=PPM and outrate=PPM (-10000 to 10000), and skip=, repeat=,
// overrun= and underrun=FRAME+FRAMES (as a dropout; up to 64 in all).
// Settings not named keep the plain chain's values; null or empty text is the
// plain chain. Returns true and sets `chain`; false with `error` naming the
// bad setting, `chain` untouched.
bool ParseVirtualLoopbackChain(const char* text, VirtualLoopbackChain& chain, std::string& error);

// The chain TALLOWMERE_VIRTUAL_LOOPBACK sets; the plain chain when it is
// unset, or, named on standard error, when it does not parse.
VirtualLoopbackChain VirtualLoopbackChainFromEnvironment();

// The cable itself: a ring of what the output played, in the output's
// format, holding no more than the input can still ask for (the latency
// plus what the output played since the input last recorded).
class CVirtualLoop {
public:
    // The output side opens: the ring starts empty in that format.
    void BeginPlayback(const WaveFormatInfo& format, const VirtualLoopbackChain& chain);
    // The input side opens: its chain is fixed and its noise reseeded.
    void BeginCapture(const WaveFormatInfo& format, const VirtualLoopbackChain& chain);

    // `frames` frames the output plays, the first at loop frame `loopFrame`.
    void Play(std::uint64_t loopFrame, const std::uint8_t* data, std::uint32_t frames);
    // Fills `frames` frames of the input, the first at loop frame `loopFrame`
    // (on the input's clock) and at frame `captureFrame` of the input's
    // stream clock.
    void Record(std::uint8_t* out, std::uint64_t loopFrame, std::uint64_t captureFrame, std::uint32_t frames);
    // Drops what nobody can ask for any more; `listenerNext` is the next loop
    // frame (on the input's clock) a running input records (none: no input
    // is moving).
    void Trim(bool listening, std::uint64_t listenerNext);

    std::size_t HeldBytes() const { return ring.size(); }
    // The ring could not grow: what the output played meanwhile is lost and
    // the input records silence there.
    bool lost = false;

private:
    std::uint64_t Reach() const;
    double Source(std::int64_t frame, std::uint16_t channel) const;
    double Resampled(std::int64_t frame, std::uint16_t channel) const;
    double Shaped(std::int64_t frame, std::uint16_t channel) const;
    double Chained(std::int64_t frame, std::uint16_t channel) const;
    void ChainFrame(std::uint64_t loopFrame, std::uint64_t captureFrame, std::uint16_t sources);
    double Noise();
    bool InDropout(std::uint64_t captureFrame) const;
    std::int64_t GlitchOffset(std::uint64_t captureFrame) const;
    // Frames held beyond the latency for the interpolation and the repeats.
    static std::uint64_t ExtraReach(const VirtualLoopbackChain& settings);
    void Keep(std::size_t bytes);

    // What the output played, from loop frame `ringFirst` on.
    std::deque<std::uint8_t> ring;
    std::uint64_t ringFirst = 0;
    WaveFormatInfo played{};
    std::uint32_t playLatency = 0;
    std::uint64_t reachExtra = 0;

    WaveFormatInfo recorded{};
    VirtualLoopbackChain chain;
    double gain = 1;
    double harmonic = 0;
    double tiltC = 0;
    double tiltGain = 1;
    double leak = 0;
    double noise = 0;
    // Output frames per input frame: 1 / (1 + drift); exactly 1 without it.
    double inputToOutput = 1;
    std::uint64_t random = 0;
    bool spareNoiseHeld = false;
    double spareNoise = 0;
    std::vector<double> frameValues;
};
