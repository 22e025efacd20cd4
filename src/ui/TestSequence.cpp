// SPDX-License-Identifier: GPL-3.0-or-later
// CTesterDlg's test sequence: the "Run Test..." handler, and the record and
// playback tests with their polling loop. Everything blocks the user-interface
// thread; the only input taken while a device runs is one key per step.
#include <optional>

#include "audio/WaveDevice.h"
#include "sequence/Progress.h"
#include "sequence/Report.h"
#include "ui/TesterDlg.h"

namespace {

constexpr const char* ToneQuestion = "Recording test failed.  Do you want to run the playback test with a 1kHz tone?";
constexpr const char* ToneQuestionTitle = "Notice";

// The texts that tell the two device tests apart.
struct DeviceTestTexts {
    const char* running;
    const char* cancelled;
    const char* complete;
    DeviceSectionKind section;
};

constexpr DeviceTestTexts recordTexts{"Recording...   Press <Esc> to cancel", "Recording Cancelled",
                                      "Recording Complete", DeviceSectionKind::Input};
constexpr DeviceTestTexts playbackTexts{"Playing...   Press <Esc> to cancel", "Playback Cancelled",
                                        "Playback Complete", DeviceSectionKind::Output};

// One device test from opening to the report section. `queue` and `start`
// are the direction's AddBuffer and Start/Restart; `complete` is the
// direction's outcome flag.
template <typename Device, typename Queue, typename Start>
bool RunDeviceTest(CTesterDlg& dialog, std::int32_t deviceIndex, const std::string& deviceName,
                   const DeviceTestTexts& texts, bool& complete, DeviceTestResults& results, Queue queue,
                   Start start)
{
    const TestParameters& p = dialog.parameters;
    results = DeviceTestResults{};
    results.tested = true;
    dialog.testCancelled = false;
    complete = false;

    Device device(deviceIndex);
    device.SetFormat(p.sampleRate, static_cast<std::uint16_t>(p.channels),
                     static_cast<std::uint16_t>(p.bytesPerSample));
    dialog.statusText.SetWindowText("Opening Device...");

    const auto validBits = static_cast<std::uint16_t>(p.validBits);
    if (p.apiMode == static_cast<std::int32_t>(ApiMode::Standard))
        results.openResult = device.Open(nullptr, validBits);
    else if (p.apiMode == static_cast<std::int32_t>(ApiMode::Extended))
        results.openResult = device.OpenExtended(nullptr, validBits);

    if (results.openResult == 0) {
        Services().Sleep(SettleDelayMs);
        if (queue(device, results.queueResult) == 1) {
            dialog.statusText.SetWindowText(texts.running);
            if (start(device, results.startResult) == 1) {
                bool stop = false;
                for (std::int32_t step = 1;; ++step) {
                    Services().Sleep(PollIntervalMs);
                    dialog.progressBar.SetPos(PollProgress(step, p.durationSeconds));
                    // Any key is taken off the queue; only Esc means anything.
                    std::optional<std::uint32_t> key = Services().PeekKey(dialog.Handle());
                    if (key && *key == KeyEscape) {
                        dialog.statusText.SetWindowText(texts.cancelled);
                        complete = false;
                        dialog.testCancelled = true;
                        stop = true;
                    }
                    if (device.IsBufferDone(0) == 1) {
                        dialog.statusText.SetWindowText(texts.complete);
                        complete = true;
                        break;
                    }
                    if (stop)
                        break;
                }
            } else {
                // A device that never started has recorded or played nothing;
                // its closing marks the buffer done, which must not count.
                results.startFailed = true;
            }
        }
    }

    device.Close();
    Services().Sleep(SettleDelayMs);
    dialog.statusText.SetWindowText("Ready");
    dialog.progressBar.SetPos(0);
    dialog.reportText += DeviceSection(texts.section, deviceName, results, dialog.testCancelled);
    return complete;
}

} // namespace

void CTesterDlg::OnRunTest()
{
    runTestButton.EnableWindow(false);
    ReadTestParameters();
    testCancelled = false;
    recordComplete = false;
    playbackComplete = false;
    recordResults = DeviceTestResults{};
    playbackResults = DeviceTestResults{};

    RunRecordTest();
    if (!testCancelled) {
        if (!recordComplete) {
            if (!Services().AskYesNo(Handle(), ToneQuestion, ToneQuestionTitle)) {
                runTestButton.EnableWindow(true);
                return;
            }
            BuildTestTone();
        }
        testCancelled = false;
        RunPlaybackTest();
    }
    ShowResults();
    runTestButton.EnableWindow(true);
}

bool CTesterDlg::RunRecordTest()
{
    if (!recordBuffer.IsAllocated())
        return false;
    auto length = static_cast<std::uint32_t>(recordBuffer.Size());
    return RunDeviceTest<CWaveInDevice>(
        *this, SelectedDeviceId(WaveDirection::Input), parameters.inputDeviceName, recordTexts, recordComplete, recordResults,
        [&](CWaveInDevice& device, WaveResult& code) { return device.AddBuffer(recordBuffer.Data(), length, 0, &code); },
        [](CWaveInDevice& device, WaveResult& code) { return device.Start(&code); });
}

bool CTesterDlg::RunPlaybackTest()
{
    if (!recordBuffer.IsAllocated())
        return false;
    auto length = static_cast<std::uint32_t>(recordBuffer.Size());
    return RunDeviceTest<CWaveOutDevice>(
        *this, SelectedDeviceId(WaveDirection::Output), parameters.outputDeviceName, playbackTexts, playbackComplete,
        playbackResults,
        [&](CWaveOutDevice& device, WaveResult& code) {
            return device.AddBuffer(recordBuffer.Data(), length, 0, 0, &code);
        },
        [](CWaveOutDevice& device, WaveResult& code) { return device.Restart(&code); });
}
