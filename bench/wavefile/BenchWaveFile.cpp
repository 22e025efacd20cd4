// SPDX-License-Identifier: GPL-3.0-or-later
// Wave-file throughput on a 100-second 192 kHz stereo 32-bit recording
// (153.6 MB), beside `cp` of the same file and `sox` writing the same raw
// samples as a WAVE file, all measured in the same run.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Services.h"
#include "wavefile/WaveFile.h"

namespace {

constexpr std::int32_t Rate = 192000;
constexpr std::uint16_t Channels = 2;
constexpr std::uint16_t Width = 4;
constexpr std::uint32_t Frames = Rate * 100;
constexpr std::int64_t DataBytes = std::int64_t{Frames} * Channels * Width;

class CQuietServices : public CDefaultServices {
public:
    void ShowMessage(const std::string& text, MessageIcon) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
};

// One directory and one recording for the whole run.
struct Workspace {
    Workspace()
    {
        SetServices(&services);
        const char* base = std::getenv("TALLOWMERE_BENCH_DIR");
        std::string pattern = std::string(base ? base : std::filesystem::temp_directory_path().string()) + "/tallowmere-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        dir = pattern;
        wave = dir + "/recording.wav";
        raw = dir + "/recording.raw";
        CWaveFile recording(Frames, CSampleFormat(Rate, Channels, Width), dir);
        std::uint32_t seed = 1;
        std::uint8_t* data = recording.GetData();
        for (std::int64_t i = 0; i < DataBytes; ++i) {
            seed = seed * 1664525u + 1013904223u;
            data[i] = static_cast<std::uint8_t>(seed >> 24);
        }
        recording.Write(data, static_cast<std::uint32_t>(DataBytes));
        recording.SetFileName(wave);
        if (!recording.Save())
            std::abort();
        std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char*>(data), DataBytes);
    }
    ~Workspace()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string File(const char* name) const { return dir + "/" + name; }

    CQuietServices services;
    std::string dir;
    std::string wave;
    std::string raw;
};

Workspace& Space()
{
    static Workspace space;
    return space;
}

// Resident memory now and the peak since the last reset, in bytes.
std::int64_t StatusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atoll(line.c_str() + std::strlen(field)) * 1024;
    return -1;
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Before the timed calls of every operation alike: write out what earlier
// operations left dirty, so none inherits another's write-back, then one
// untimed call, since the first call after another operation pays for
// memory it has not touched yet (on this virtual machine several times the
// steady cost), which says more about the machine than the operation.
template <typename Call>
void WarmUp(Call call)
{
    ::sync();
    if (!call())
        std::fprintf(stderr, "warm-up call failed\n");
}

void Run(benchmark::State& state, const std::string& command)
{
    WarmUp([&] { return std::system(command.c_str()) == 0; });
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError(("failed: " + command).c_str());
    state.SetBytesProcessed(state.iterations() * DataBytes);
}

void BM_CpCopy(benchmark::State& state)
{
    Run(state, "cp '" + Space().wave + "' '" + Space().File("cp.wav") + "'");
}

void BM_SoxWriteRaw(benchmark::State& state)
{
    Run(state, "sox -t raw -r 192000 -e signed -b 32 -c 2 '" + Space().raw + "' '" + Space().File("sox.wav") + "'");
}

void BM_Save(benchmark::State& state)
{
    CWaveFile recording(Frames, CSampleFormat(Rate, Channels, Width), Space().dir);
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(DataBytes), 0x5A);
    recording.Write(samples.data(), static_cast<std::uint32_t>(DataBytes));
    recording.SetFileName(Space().File("saved.wav"));
    WarmUp([&] { return recording.Save() == 1; });
    for (auto _ : state)
        if (!recording.Save())
            state.SkipWithError("Save failed");
    state.SetBytesProcessed(state.iterations() * DataBytes);
}

void BM_Load(benchmark::State& state)
{
    WarmUp([] { return !CWaveFile(Space().wave, WaveFileMode::MemoryMode, false, Space().dir).IsFailed(); });
    std::int64_t peakOver = 0;
    for (auto _ : state) {
        std::int64_t before = StatusBytes("VmRSS:");
        ResetPeak();
        CWaveFile loaded(Space().wave, WaveFileMode::MemoryMode, false, Space().dir);
        if (loaded.IsFailed() || loaded.GetByteSize() != DataBytes)
            state.SkipWithError("Load failed");
        peakOver = std::max(peakOver, StatusBytes("VmHWM:") - before);
    }
    state.SetBytesProcessed(state.iterations() * DataBytes);
    state.counters["peak_MB"] = static_cast<double>(peakOver) / 1e6;
    state.counters["peak_over_file_MB"] = static_cast<double>(peakOver - DataBytes - 44) / 1e6;
}

void BM_CopyFileBytes(benchmark::State& state)
{
    WarmUp([] { return CWaveFile::CopyFileBytes(Space().wave, Space().File("bytes.wav")) == 1; });
    for (auto _ : state)
        if (!CWaveFile::CopyFileBytes(Space().wave, Space().File("bytes.wav")))
            state.SkipWithError("CopyFileBytes failed");
    state.SetBytesProcessed(state.iterations() * DataBytes);
}

void BM_CopyWaveFile(benchmark::State& state)
{
    CWaveFile copier(CSampleFormat(Rate, Channels, Width), false, Space().dir);
    WarmUp([&] { return copier.CopyWaveFile(Space().wave, Space().File("copy.wav"), Frames) == 1; });
    std::int64_t peakOver = 0;
    for (auto _ : state) {
        std::int64_t before = StatusBytes("VmRSS:");
        ResetPeak();
        if (!copier.CopyWaveFile(Space().wave, Space().File("copy.wav"), Frames))
            state.SkipWithError("CopyWaveFile failed");
        peakOver = std::max(peakOver, StatusBytes("VmHWM:") - before);
    }
    state.SetBytesProcessed(state.iterations() * DataBytes);
    state.counters["peak_MB"] = static_cast<double>(peakOver) / 1e6;
}

// The console table, then each operation against `cp` from the same run.
// Medians and minimums: on a shared machine the minimum is the figure least
// disturbed by others, the median the typical one.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    using benchmark::ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run>& reports) override
    {
        benchmark::ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports)
            if (run.run_type == Run::RT_Aggregate && !run.error_occurred)
                times[run.run_name.function_name][run.aggregate_name] = run.GetAdjustedRealTime();
    }

    void Finalize() override
    {
        benchmark::ConsoleReporter::Finalize();
        auto cp = times.find("BM_CpCopy");
        if (cp == times.end() || cp->second["median"] <= 0 || cp->second["min"] <= 0)
            return;
        std::printf("\nAgainst cp in this run (median ratio, minimum ratio; times min-median-max in ms):\n");
        for (auto& [name, stats] : times)
            std::printf("  %-18s %5.2fx  %5.2fx   %6.1f %6.1f %6.1f\n", name.c_str(), stats["median"] / cp->second["median"],
                        stats["min"] / cp->second["min"], stats["min"], stats["median"], stats["max"]);
    }

private:
    std::map<std::string, std::map<std::string, double>> times;
};

double Smallest(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

double Largest(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

} // namespace

// Three repetitions of five timed calls each.
#define WAVE_BENCHMARK(name)                                                                              \
    BENCHMARK(name)                                                                                       \
        ->Unit(benchmark::kMillisecond)                                                                   \
        ->UseRealTime()                                                                                   \
        ->Iterations(5)                                                                                   \
        ->Repetitions(3)                                                                                  \
        ->ComputeStatistics("min", Smallest)                                                              \
        ->ComputeStatistics("max", Largest)                                                               \
        ->ReportAggregatesOnly(true)

WAVE_BENCHMARK(BM_CpCopy);
WAVE_BENCHMARK(BM_SoxWriteRaw);
WAVE_BENCHMARK(BM_Save);
WAVE_BENCHMARK(BM_Load);
WAVE_BENCHMARK(BM_CopyFileBytes);
WAVE_BENCHMARK(BM_CopyWaveFile);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Space();
    CRatioReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
