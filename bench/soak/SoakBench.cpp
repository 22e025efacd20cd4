// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's cost. The follower's work on one block (100 ms and 7 frames)
// of a 384 kHz stereo 32-bit capture: the first channel decoded, fitted and
// predicted, against the block's own 100 ms. Then a real-time full-duplex
// soak at 48 kHz stereo 24-bit on the test plugin's loop pair, its CPU time
// (this process's, alsa-lib's worker threads and the plugin included) as a
// share of one core, beside arecord and aplay streaming the same format on
// the plugin for as long, in the same run. The soak's share is given whole
// and from its first status on (the steady state an hours-long soak runs
// in, without opening the devices and the first touches of the cable's
// ring), with the part of it the session's own thread took.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "audio/backends/AlsaWaveApi.h"
#include "core/SampleCodec.h"
#include "measure/soak/SoakSession.h"
#include "measure/soak/SoakTone.h"

namespace {

constexpr double SoakSeconds = 20;

void InstallConfiguration()
{
    std::filesystem::create_directories(TALLOWMERE_BENCH_DIR);
    const std::string path = std::string(TALLOWMERE_BENCH_DIR) + "/asound.conf";
    std::ofstream(path) << "pcm_type.tallowtest { lib \"" TALLOWMERE_BENCH_PLUGIN "\" }\n"
                           "pcm.loop {\n  type tallowtest\n  loopback \"cable\"\n  loopdelay 720\n"
                           "  hint { show on description \"Loopback test device\" }\n}\n"
                           "pcm.paced {\n  type tallowtest\n}\n";
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
}

void BM_FollowBlock384k(benchmark::State& state)
{
    constexpr std::uint32_t rate = 384000;
    const std::uint32_t frames = rate / 10 + 7;
    // A second of the stimulus as the input would record it, stereo 32-bit.
    std::vector<std::uint8_t> capture(std::size_t{rate} * 2 * 4);
    CSoakStimulus stimulus(rate, 2, 4, 32);
    stimulus.Fill(capture.data(), rate);
    CToneFollower follower(rate, 32);
    std::vector<double> first(frames);
    SoakToneBlock out;
    std::uint64_t at = 0;
    for (auto _ : state) {
        const std::uint8_t* block = capture.data() + (at % (rate - frames)) * 8;
        for (std::uint32_t i = 0; i < frames; ++i)
            first[i] = LoadFraction(block + std::size_t{i} * 8, 4);
        follower.Process(first.data(), frames, at, out);
        at += frames;
    }
    state.counters["blockMs"] = 1000.0 * frames / rate;
}
BENCHMARK(BM_FollowBlock384k)->Unit(benchmark::kMillisecond);

double CpuSeconds(const rusage& u)
{
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return CpuSeconds(usage);
}

double MonotonicSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Shares of one core: the process's and the session thread's alone.
struct Share {
    double process = 0;
    double session = 0;
};

struct CpuMark {
    double at = MonotonicSeconds();
    double process = CpuSeconds(RUSAGE_SELF);
    double session = CpuSeconds(RUSAGE_THREAD);

    Share Since(const CpuMark& start) const
    {
        return {(process - start.process) / (at - start.at), (session - start.session) / (at - start.at)};
    }
};

// A real-time soak on the loop pair: its share whole and from the first status on.
void SoakShare(SoakRun& run, Share& whole, Share& steady)
{
    CAlsaWaveApi api;
    SoakRequest request;
    request.format = {2, 48000, 24, 24, false};
    request.durationSeconds = SoakSeconds;
    request.input = {0, "loop"};
    request.output = {0, "loop"};
    std::optional<CpuMark> firstStatus;
    SoakHooks hooks;
    hooks.onStatus = [&](const SoakRun&) {
        if (!firstStatus)
            firstStatus.emplace();
    };
    const CpuMark start;
    RunSoakSession(api, request, hooks, run);
    const CpuMark end;
    whole = end.Since(start);
    steady = firstStatus ? end.Since(*firstStatus) : Share{};
}

// arecord and aplay on the plugin for as long, in the same format; their
// CPU share together.
double PeersShare()
{
    const std::string seconds = std::to_string(static_cast<int>(SoakSeconds));
    const std::string format = " -f S24_3LE -c 2 -r 48000 -d " + seconds + " -q ";
    const std::string commands[] = {"arecord -D paced" + format + "/dev/null",
                                    "aplay -D paced -t raw" + format + "/dev/zero"};
    double cpu = 0;
    std::vector<pid_t> children;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& command : commands) {
        pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        cpu += CpuSeconds(usage);
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return cpu / elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    InstallConfiguration();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SoakRun run;
    Share whole, steady;
    SoakShare(run, whole, steady);
    const double peers = PeersShare();
    std::printf("\nFull-duplex soak, 48 kHz stereo 24-bit on the test plugin's loop pair, %.0f s, poll step %u ms: "
                "%.2f %% of one core (bound 2 %%), %.2f %% from the first status on, the session's thread "
                "%.2f %% and %.2f %%; %llu events, latency wander %.3f ms\n",
                run.elapsedSeconds, SoakRequest{}.pollMs, 100 * whole.process, 100 * steady.process,
                100 * whole.session, 100 * steady.session, static_cast<unsigned long long>(run.eventCount),
                run.stimulusHeard ? run.LatencyWanderMs() : std::nan(""));
    std::printf("arecord + aplay on the test plugin, same format and time: %.2f %% of one core\n", 100 * peers);
    return 0;
}
