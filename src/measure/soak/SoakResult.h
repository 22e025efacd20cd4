// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's result model: every event with its time, the latency, drift
// and level over time, each device's true rate and the summary the table,
// the JSON, the plot and a window show. Its size does not grow with the
// run's length: the series are thinned as they fill, and past
// SoakEventsKept events only the counts go on (the log has them all).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/WaveApi.h"
#include "measure/soak/SoakRequest.h"

constexpr std::size_t SoakEventsKept = 10000;
constexpr std::size_t SoakSeriesPoints = 1024;

enum class SoakEventKind {
    Xrun,          // the back end mended an over- or underrun: direction, frames lost
    Starved,       // every slot of a device was back before the soak requeued one: frames may be lost
    Dropout,       // the stimulus was digital silence in place, then went on where it would have been
    Gap,           // silence came in, and the stimulus went on where it had stopped (latency grew by its length)
    Jump,          // the stimulus went on elsewhere: frames missing (shift < 0) or repeated (shift > 0)
    Discontinuity, // the stimulus was disturbed and went on unchanged (a click, noise)
    LevelStep,     // the stimulus came back more than 1 dB louder or softer
    Silence,       // record-only: a run of digital silence inside a stream that is not silent
    DeviceLost,    // the device went away for good: the soak ends
    DeviceFailed,  // a device step failed: the soak ends
};

// "xrun", "starved", "dropout", ...; never null.
const char* SoakEventKindName(SoakEventKind kind);

struct SoakEvent {
    SoakEventKind kind = SoakEventKind::Xrun;
    WaveDirection direction = WaveDirection::Input;
    double seconds = 0;          // since the start: the captured frame's time, or the poll's for xruns
    std::int64_t wallMs = 0;     // the wall clock at that time, milliseconds since 1970
    std::uint64_t frame = 0;     // the input's frame (glitches), or the device's frames moved so far
    std::uint64_t frames = 0;    // the length: frames lost, silent, or shifted
    double shift = 0;            // Jump and Gap: the latency's change in frames (Jump: modulo the tone's
                                 // period unless an xrun gave the count)
    bool shiftExact = true;      // false when the shift is only known modulo the period
    double levelDb = 0;          // LevelStep: the change in dB
    bool explained = false;      // a glitch that an xrun at the same time explains
    WaveResult code = WaveNoError; // DeviceFailed: the wave API's code
    std::string detail;          // DeviceLost and DeviceFailed: the step or the host's words
};

// A value over time, thinned to at most SoakSeriesPoints buckets: when full,
// neighbours merge and each bucket spans twice the time.
class CSoakSeries {
public:
    struct Point {
        double seconds = 0; // the bucket's first time
        double min = 0;
        double max = 0;
        double last = 0;
    };
    void Add(double seconds, double value);
    const std::vector<Point>& Points() const { return points; }
    double BucketSeconds() const { return bucket; }

private:
    std::vector<Point> points;
    double bucket = 0; // 0 until the first merge: one point per value
};

// A rate or a drift with its standard uncertainty.
struct SoakEstimate {
    bool valid = false;
    double value = 0;
    double uncertainty = 0;
};

struct SoakDeviceClock {
    bool streamed = false;
    std::uint64_t frames = 0;       // moved through its buffers
    std::uint64_t xruns = 0;        // reported by the back end during the soak
    std::uint64_t framesLost = 0;
    SoakEstimate rateHz;            // against the monotonic clock, frames lost included
    double RatePpm(int nominal) const { return rateHz.valid ? (rateHz.value / nominal - 1) * 1e6 : 0; }
};

enum class SoakOutcome {
    Completed,    // ran for the duration asked
    Cancelled,    // ended by Esc, Ctrl-C or the front end before the duration asked
    DeviceFailed, // a device failed or was lost (the events say which)
    Refused,      // the request cannot be run (error says why); nothing was opened
};

struct SoakRun {
    SoakMode mode = SoakMode::FullDuplex;
    SoakFormat format;
    SoakDevice input;
    SoakDevice output;
    double durationSeconds = 0;
    std::uint32_t blockFrames = 0;
    std::int64_t startWallMs = 0;

    SoakOutcome outcome = SoakOutcome::Completed;
    std::string error;
    double elapsedSeconds = 0;

    std::vector<SoakEvent> events; // the first SoakEventsKept
    std::uint64_t eventCount = 0;
    std::uint64_t xruns = 0;
    std::uint64_t glitches = 0; // glitches no xrun explains

    SoakDeviceClock inputClock;
    SoakDeviceClock outputClock;

    // Full duplex: the stimulus heard, the latency (frames of the input less
    // the output's frame it holds), its extremes and the drift.
    bool stimulusHeard = false;
    double latencyFrames = 0; // now
    double latencyMinFrames = 0;
    double latencyMaxFrames = 0;
    SoakEstimate driftPpm; // the input's clock against the output's
    CSoakSeries latencyMs;
    CSoakSeries drift;     // the drift so far, in ppm
    // Record-only: the level of the input's first channel in dBFS.
    bool levelSeen = false;
    double levelMinDbfs = 0;
    double levelMaxDbfs = 0;
    CSoakSeries levelDbfs;

    std::vector<std::string> failedChecks;
    std::string plotPath;
    std::string plotError;

    double LatencyWanderMs() const { return (latencyMaxFrames - latencyMinFrames) * 1000 / format.sampleRate; }
};

// The checks the limits ask for, each failure in words ("xruns 3 > 0");
// a drift that could not be measured fails --max-drift-ppm, a latency never
// found fails --max-latency-wander.
std::vector<std::string> CheckSoak(const SoakRun& run, const SoakLimits& limits);
