// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis of a 100-second 192 kHz stereo 32-bit recording (153.6 MB)
// through --analyze-file's path, beside `sox FILE -n stats` on the same file
// in the same run. Ends with the medians, their ratio (goal: sox at least
// 3 times slower) and the memory the analysis held.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "measure/WaveFileAnalysis.h"
#include "platform/Services.h"

namespace {

struct Workspace {
    Workspace()
    {
        const char* base = std::getenv("TALLOWMERE_BENCH_DIR");
        std::string pattern =
            std::string(base ? base : std::filesystem::temp_directory_path().string()) + "/tallowmere-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        dir = pattern;
        wave = dir + "/recording.wav";
        // A tone with its second harmonic and a little noise: every part of
        // the analysis has work to do.
        std::string make = "sox -D -n -r 192000 -c 2 -b 32 -e signed " + wave +
                           " synth 100 sine 1000 sine 2000 whitenoise remix 1v0.5,2v0.01,3v0.001 1v0.5,2v0.01,3v0.001"
                           " 2>/dev/null";
        ok = std::system(make.c_str()) == 0;
    }
    ~Workspace()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string dir;
    std::string wave;
    bool ok = false;
};

Workspace& Files()
{
    static Workspace w;
    return w;
}

std::map<std::string, std::vector<double>> seconds;
std::size_t analysisBytes = 0;

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void BM_AnalyseFile(benchmark::State& state)
{
    if (!Files().ok) {
        state.SkipWithError("sox could not make the recording");
        return;
    }
    for (auto _ : state) {
        double start = Now();
        WaveFileAnalysis a = AnalyseWaveFile(Files().wave, 32);
        seconds["analysis"].push_back(Now() - start);
        if (!a.ok)
            state.SkipWithError(a.error.c_str());
        analysisBytes = a.analysisBytes;
        benchmark::DoNotOptimize(a);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 153600000);
}

void BM_SoxStats(benchmark::State& state)
{
    if (!Files().ok) {
        state.SkipWithError("sox could not make the recording");
        return;
    }
    const std::string command = "sox " + Files().wave + " -n stats 2>/dev/null";
    for (auto _ : state) {
        double start = Now();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("sox failed");
        seconds["sox"].push_back(Now() - start);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 153600000);
}

// Alternating, so both see the same machine load.
BENCHMARK(BM_AnalyseFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)->Repetitions(3);
BENCHMARK(BM_SoxStats)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)->Repetitions(3);

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Files();
    benchmark::RunSpecifiedBenchmarks();
    double ours = Median(seconds["analysis"]);
    double sox = Median(seconds["sox"]);
    rusage self{};
    rusage children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    if (ours > 0 && sox > 0)
        std::printf("analysis %.1f ms, sox stats %.1f ms (medians): sox / analysis = %.2f (goal: at least 3)\n",
                    ours * 1000, sox * 1000, sox / ours);
    std::printf("memory held by the analysis: %.2f MiB; peak resident: this program %.1f MiB, sox %.1f MiB\n",
                analysisBytes / 1048576.0, self.ru_maxrss / 1024.0, children.ru_maxrss / 1024.0);
    benchmark::Shutdown();
    return 0;
}
