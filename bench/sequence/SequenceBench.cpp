// SPDX-License-Identifier: GPL-3.0-or-later
// The test tone at its largest (100 s, 192 kHz, stereo, 32-bit) through the
// main dialog, beside the bare sample formula in a loop and sox synthesising
// the same tone; and a whole default test on the virtual devices in real time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "audio/backends/VirtualWaveApi.h"
#include "sequence/TestTone.h"
#include "ui/Templates.h"
#include "ui/TesterDlg.h"

namespace {

constexpr std::int32_t ToneRate = 192000;
constexpr std::int32_t ToneChannels = 2;
constexpr std::int32_t ToneWidth = 4;
constexpr std::int32_t ToneSeconds = 100;
constexpr std::int64_t ToneFrames = std::int64_t{ToneRate} * ToneSeconds;

// The fastest iteration of each benchmark, for the comparison printed at the
// end: on a shared machine the minimum is the figure least touched by others.
std::map<std::string, double> secondsPerRun;

class CFastest {
public:
    void Start() { start = std::chrono::steady_clock::now(); }
    void Stop()
    {
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        fastest = fastest < 0 || seconds < fastest ? seconds : fastest;
    }
    double fastest = -1;

private:
    std::chrono::steady_clock::time_point start;
};

// A window that keeps just enough state for the main dialog to run: texts,
// combo items and selections, and a count of progress updates.
class CBenchWindow : public CDialogWindow {
public:
    WindowHandle Handle() override { return this; }
    std::string GetControlText(int id) override { return texts[id]; }
    void SetControlText(int id, const std::string& text) override { texts[id] = text; }
    void EnableControl(int, bool) override {}
    bool IsControlEnabled(int) override { return true; }
    void SetFocus(int) override {}
    int ComboAddString(int id, const std::string& text) override
    {
        items[id].push_back(text);
        return static_cast<int>(items[id].size()) - 1;
    }
    int ComboSetCurSel(int id, int index) override
    {
        bool inRange = index >= 0 && index < static_cast<int>(items[id].size());
        selection[id] = inRange ? index : -1;
        texts[id] = inRange ? items[id][static_cast<std::size_t>(index)] : std::string();
        return selection[id];
    }
    int ComboGetCurSel(int id) override { return selection.count(id) ? selection[id] : -1; }
    int ComboGetCount(int id) override { return static_cast<int>(items[id].size()); }
    void SetProgressPos(int, int) override { ++progressUpdates; }
    void SetEditTabStops(int, std::span<const int>) override {}
    void SetEditMargins(int, int, int) override {}
    void SetIcon(int, bool) override {}
    void EndDialog(int result) override { ended = result; }

    std::map<int, std::string> texts;
    std::map<int, std::vector<std::string>> items;
    std::map<int, int> selection;
    long progressUpdates = 0;
    int ended = 0;
};

// Presses "Run Test...", closes the results, closes the main dialog.
class CRunOnceToolkit : public CDialogToolkit {
public:
    int RunModal(CDialog& dialog, CDialog*) override
    {
        CBenchWindow window;
        dialog.Attach(&window);
        dialog.OnInitDialog();
        if (dialog.Template().id == MainDialogTemplateId) {
            dialog.OnCommand(IdRunTest);
            main = dynamic_cast<CTesterDlg*>(&dialog);
            report = main->ReportText();
            complete = main->RecordComplete() && main->PlaybackComplete();
        }
        dialog.OnCommand(IdCancel);
        dialog.Attach(nullptr);
        return window.ended;
    }
    CTesterDlg* main = nullptr;
    std::string report;
    bool complete = false;
};

void Record(benchmark::State& state, const std::string& name, double fastest)
{
    secondsPerRun[name] = fastest;
    state.counters["fastest ms"] = fastest * 1000;
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(ToneFrames) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void BM_BuildTestTone(benchmark::State& state)
{
    CTesterDlg dialog;
    CBenchWindow window;
    dialog.statusText.Bind(&window, IdStatus);
    dialog.progressBar.Bind(&window, IdProgress);
    dialog.parameters.sampleRate = ToneRate;
    dialog.parameters.channels = ToneChannels;
    dialog.parameters.bytesPerSample = ToneWidth;
    dialog.parameters.precisionBits = ToneWidth * 8;
    dialog.parameters.durationSeconds = ToneSeconds;
    dialog.parameters.frameCount = ToneFrames;
    dialog.parameters.bufferBytes = ToneFrames * ToneChannels * ToneWidth;
    if (!dialog.recordBuffer.Allocate(static_cast<std::size_t>(dialog.parameters.bufferBytes))) {
        state.SkipWithError("no memory for the tone");
        return;
    }
    // Touch every page first, as the bare loop's buffer is.
    std::memset(dialog.recordBuffer.Data(), 0, dialog.recordBuffer.Size());
    CFastest timer;
    for (auto _ : state) {
        timer.Start();
        dialog.BuildTestTone();
        timer.Stop();
        benchmark::DoNotOptimize(dialog.recordBuffer.Data());
        benchmark::ClobberMemory();
    }
    state.counters["progress updates"] = static_cast<double>(window.progressUpdates / state.iterations());
    Record(state, "BuildTestTone", timer.fastest);
}

// The sample formula and the byte stores alone: no progress, no format, no checks.
void BM_BareToneLoop(benchmark::State& state)
{
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(ToneFrames * ToneChannels * ToneWidth));
    CFastest timer;
    for (auto _ : state) {
        timer.Start();
        std::uint8_t* out = buffer.data();
        for (std::int64_t i = 0; i < ToneFrames; ++i) {
            auto value = static_cast<std::uint32_t>(ToneSample(i, ToneRate, 0x40000000, 0));
            for (int c = 0; c < ToneChannels; ++c) {
                out[0] = static_cast<std::uint8_t>(value);
                out[1] = static_cast<std::uint8_t>(value >> 8);
                out[2] = static_cast<std::uint8_t>(value >> 16);
                out[3] = static_cast<std::uint8_t>(value >> 24);
                out += 4;
            }
        }
        timer.Stop();
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    Record(state, "bare loop", timer.fastest);
}

// sox's own synthesiser writing the same format (0.99 of half full scale).
void BM_SoxTone(benchmark::State& state)
{
    const std::string command = "sox -n -r " + std::to_string(ToneRate) + " -c " + std::to_string(ToneChannels) +
                                " -b 32 -e signed-integer -t raw /dev/null synth " + std::to_string(ToneSeconds) +
                                " sine 1000 vol 0.495";
    if (std::system("command -v sox >/dev/null 2>&1") != 0) {
        state.SkipWithError("sox is not installed");
        return;
    }
    CFastest timer;
    for (auto _ : state) {
        timer.Start();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("sox failed");
            return;
        }
        timer.Stop();
    }
    Record(state, "sox", timer.fastest);
}

// A whole default test (4 s recording, 4 s playback) on the virtual devices,
// in real time: what the sequence costs beyond the recording and playback.
void BM_WholeDefaultTestRealTime(benchmark::State& state)
{
    CVirtualWaveApi api;
    CScopedWaveApi apiScope(api);
    CRunOnceToolkit toolkit;
    CScopedDialogToolkit toolkitScope(toolkit);
    double total = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        CTesterDlg dialog;
        dialog.DoModal();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!toolkit.complete) {
            state.SkipWithError("the test did not complete");
            return;
        }
    }
    double perRun = total / static_cast<double>(state.iterations());
    state.counters["seconds"] = perRun;
    state.counters["limit"] = 2 * 4 + 1.3;
    state.counters["within"] = perRun <= 2 * 4 + 1.3 ? 1 : 0;
    secondsPerRun["whole test"] = perRun;
}

BENCHMARK(BM_BuildTestTone)->Unit(benchmark::kMillisecond)->Iterations(7)->UseRealTime();
BENCHMARK(BM_BareToneLoop)->Unit(benchmark::kMillisecond)->Iterations(7)->UseRealTime();
BENCHMARK(BM_SoxTone)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WholeDefaultTestRealTime)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    auto has = [](const char* name) { return secondsPerRun.count(name) != 0; };
    if (has("BuildTestTone") && has("bare loop"))
        std::printf("BuildTestTone / bare loop: %.3f (fastest runs; goal: at most 1.2)\n",
                    secondsPerRun["BuildTestTone"] / secondsPerRun["bare loop"]);
    if (has("BuildTestTone") && has("sox"))
        std::printf("BuildTestTone / sox:       %.3f (fastest runs; goal: below 1)\n",
                    secondsPerRun["BuildTestTone"] / secondsPerRun["sox"]);
    if (has("whole test"))
        std::printf("whole default test:        %.3f s (goal: at most 9.3 s)\n", secondsPerRun["whole test"]);
    return 0;
}
