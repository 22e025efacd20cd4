// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's cost. The follower's work on one block (100 ms and 7 frames)
// of a 384 kHz stereo 32-bit capture: the first channel decoded, fitted and
// predicted, against the block's own 100 ms. Then a real-time full-duplex
// soak at 48 kHz stereo 24-bit on the test plugin's loop pair, its CPU time
// (this process's, alsa-lib's worker threads and the plugin included) as a
// share of one core, beside arecord and aplay streaming the same format on
// the plugin for as long, in the same run.
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
#include <string>
#include <vector>

#include "audio/backends/AlsaWaveApi.h"
#include "core/SampleCodec.h"
#include "measure/soak/SoakSession.h"
#include "measure/soak/SoakTone.h"

namespace {

constexpr double SoakSeconds = 10;

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

// A real-time soak on the loop pair; its CPU share of one core.
double SoakShare(SoakRun& run)
{
    CAlsaWaveApi api;
    SoakRequest request;
    request.format = {2, 48000, 24, 24, false};
    request.durationSeconds = SoakSeconds;
    request.input = {0, "loop"};
    request.output = {0, "loop"};
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    RunSoakSession(api, request, {}, run);
    getrusage(RUSAGE_SELF, &after);
    return (CpuSeconds(after) - CpuSeconds(before)) / run.elapsedSeconds;
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
    const double soak = SoakShare(run);
    const double peers = PeersShare();
    std::printf("\nFull-duplex soak, 48 kHz stereo 24-bit on the test plugin's loop pair, %.0f s: %.2f %% of one core "
                "(bound 2 %%), %llu events, latency wander %.3f ms\n",
                run.elapsedSeconds, 100 * soak, static_cast<unsigned long long>(run.eventCount),
                run.stimulusHeard ? run.LatencyWanderMs() : std::nan(""));
    std::printf("arecord + aplay on the test plugin, same format and time: %.2f %% of one core\n", 100 * peers);
    return 0;
}
