// SPDX-License-Identifier: GPL-3.0-or-later
// The accepts matrix of one input and one output of the ALSA test plugin
// (2 channel counts x 13 rates x 6 widths x 2 descriptions = 312
// combinations per direction), each combination opened and closed through
// the wave devices, beside `arecord --dump-hw-params` on the same device.
// The device states a capability set whose rates leave gaps inside the
// interval its parameter space shows; at the end the matrix's answers are
// set beside the ones alsa-lib's own tests on one open handle give
// (snd_pcm_hw_params_test_*), which cannot see such a gap.
// Then the delivers level on the same device and the transparent level on a
// cable of the plugin with a capability set, at 48 kHz: the time per
// accepted combination (bound 0.5 s).
#include <benchmark/benchmark.h>

#include <alsa/asoundlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "audio/backends/AlsaWaveApi.h"
#include "measure/formats/FormatMatrix.h"

namespace {

void InstallConfiguration()
{
    std::filesystem::create_directories(TALLOWMERE_BENCH_DIR);
    const std::string path = std::string(TALLOWMERE_BENCH_DIR) + "/asound.conf";
    std::ofstream(path) << "pcm_type.tallowtest { lib \"" TALLOWMERE_BENCH_PLUGIN "\" }\n"
                           "pcm.narrow {\n  type tallowtest\n  rates [ 44100 48000 96000 192000 ]\n"
                           "  formats [ \"S16_LE\" \"S24_3LE\" \"S32_LE\" ]\n  channels [ 2 ]\n"
                           "  hint { show on description \"Narrow test device\" }\n}\n"
                           "pcm.narrowloop {\n  type tallowtest\n  loopback \"benchcable\"\n  loopdelay 480\n"
                           "  rates [ 48000 96000 ]\n  formats [ \"S16_LE\" \"S32_LE\" ]\n"
                           "  hint { show on description \"Narrow loopback device\" }\n}\n";
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
}

double fastest = -1;
FormatMatrixResult lastResult;

void BM_AcceptsMatrix(benchmark::State& state)
{
    CAlsaWaveApi api;
    FormatMatrixRequest request;
    request.input = 0;
    request.output = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (RunFormatMatrix(api, request, lastResult) != 1)
            state.SkipWithError("the matrix was not taken");
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        fastest = fastest < 0 || seconds < fastest ? seconds : fastest;
    }
    std::size_t cells = 0;
    for (const FormatDeviceMatrix& m : lastResult.devices)
        cells += m.cells.size();
    state.counters["combinations"] = static_cast<double>(cells);
}
BENCHMARK(BM_AcceptsMatrix)->Unit(benchmark::kMillisecond)->Iterations(5);

// Seconds per combination that was run at the level (accepted by both ends).
double perAccepted[2] = {-1, -1};

std::int32_t Listed(CAlsaWaveApi& api, WaveDirection direction, const std::string& pcm)
{
    const std::vector<AlsaDeviceEntry> list = api.Devices(direction);
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].pcmName == pcm)
            return static_cast<std::int32_t>(i);
    return -1;
}

void BM_LevelAt48k(benchmark::State& state)
{
    const bool transparent = state.range(0) != 0;
    CAlsaWaveApi api;
    FormatMatrixRequest request;
    request.level = transparent ? FormatLevel::Transparent : FormatLevel::Delivers;
    request.rates = {48000};
    const char* pcm = transparent ? "narrowloop" : "narrow";
    request.input = Listed(api, WaveDirection::Input, pcm);
    request.output = Listed(api, WaveDirection::Output, pcm);
    FormatMatrixResult result;
    std::size_t accepted = 0;
    double best = -1;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (RunFormatMatrix(api, request, result) != 1 || result.devices.size() != 2)
            state.SkipWithError("the matrix was not taken");
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        accepted = 0;
        for (std::size_t i = 0; i < result.devices[0].cells.size(); ++i)
            accepted += result.devices[0].cells[i].accept.Accepted() && result.devices[1].cells[i].accept.Accepted();
        best = best < 0 || seconds < best ? seconds : best;
    }
    state.counters["accepted"] = static_cast<double>(accepted);
    if (accepted > 0)
        perAccepted[transparent] = best / static_cast<double>(accepted);
}
BENCHMARK(BM_LevelAt48k)->Arg(0)->Arg(1)->ArgNames({"transparent"})->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_DumpHwParams(benchmark::State& state)
{
    for (auto _ : state) {
        int status = std::system("arecord -D narrow --dump-hw-params -d 1 /dev/null >/dev/null 2>&1");
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_DumpHwParams)->Unit(benchmark::kMillisecond)->Iterations(5);

snd_pcm_format_t ContainerFormat(std::uint16_t bits)
{
    return bits == 8 ? SND_PCM_FORMAT_U8 : bits == 16 ? SND_PCM_FORMAT_S16_LE
                                       : bits == 24 ? SND_PCM_FORMAT_S24_3LE : SND_PCM_FORMAT_S32_LE;
}

// alsa-lib's own tests on one handle for each cell whose description the
// device is really asked about; the cells where they say otherwise.
int Disagreements(const FormatDeviceMatrix& m, int& asked)
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "narrow", m.direction == WaveDirection::Input ? SND_PCM_STREAM_CAPTURE
                                                                           : SND_PCM_STREAM_PLAYBACK,
                     SND_PCM_NONBLOCK) < 0)
        return -1;
    snd_pcm_hw_params_t* all = nullptr;
    snd_pcm_hw_params_t* trial = nullptr;
    snd_pcm_hw_params_malloc(&all);
    snd_pcm_hw_params_malloc(&trial);
    snd_pcm_hw_params_any(pcm, all);
    int differ = 0;
    for (const FormatCell& cell : m.cells) {
        if (cell.accept.byRules || !cell.key.extended)
            continue;
        ++asked;
        snd_pcm_hw_params_copy(trial, all);
        bool takes = snd_pcm_hw_params_set_format(pcm, trial, ContainerFormat(cell.key.width.bits)) >= 0 &&
                     snd_pcm_hw_params_set_channels(pcm, trial, cell.key.channels) >= 0 &&
                     snd_pcm_hw_params_test_rate(pcm, trial, cell.key.sampleRate, 0) >= 0;
        differ += takes != cell.accept.Accepted();
    }
    snd_pcm_hw_params_free(trial);
    snd_pcm_hw_params_free(all);
    snd_pcm_close(pcm);
    return differ;
}

} // namespace

int main(int argc, char** argv)
{
    InstallConfiguration();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nAccepts matrix, one input and one output of the test plugin, fastest run: %.3f s (bound 5 s)\n",
                fastest);
    std::printf("Delivers level, 48 kHz, fastest run: %.3f s per accepted combination (bound 0.5 s)\n",
                perAccepted[0]);
    std::printf("Transparent level, 48 kHz, fastest run: %.3f s per accepted combination (bound 0.5 s)\n",
                perAccepted[1]);
    std::fflush(stdout);
    std::system("arecord -D narrow --dump-hw-params -d 1 /dev/null 2>&1 | sed -n '/^HW Params/,/^TICK_TIME/p'");
    for (const FormatDeviceMatrix& m : lastResult.devices) {
        int asked = 0;
        int differ = Disagreements(m, asked);
        std::printf("%s: the tests on one open handle differ from opening each combination in %d of %d cells\n",
                    m.direction == WaveDirection::Input ? "Input" : "Output", differ, asked);
    }
    return 0;
}
