// SPDX-License-Identifier: GPL-3.0-or-later
// The main dialog, template 102: the parameter controls, the "Run Test..."
// button, the status line and the progress bar, and everything that lives
// longer than one test: the parameters, the recording buffer, the outcome
// flags and the report. Its test operations (ReadTestParameters.cpp,
// TestSequence.cpp, BuildTestTone.cpp, SaveRecording.cpp) drive the pure
// parts of src/sequence/, which know nothing of the dialog.
#pragma once

#include <cstdint>
#include <string>

#include "audio/ListedDevices.h"
#include "core/ZeroBlock.h"
#include "sequence/Report.h"
#include "sequence/TestParameters.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"

// Where the minimised dialog draws its icon: centred in the client area, the
// divisions truncating toward zero (so a too-small client gives negatives).
struct IconPoint {
    int x;
    int y;
    bool operator==(const IconPoint&) const = default;
};
IconPoint MinimisedIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

class CTesterDlg : public CDialog {
public:
    CTesterDlg();
    ~CTesterDlg() override;

    bool OnInitDialog() override;
    // Start values of the controls and the two device lists (ListWaveDevices).
    void InitControls();

    // The icon handling a toolkit asks for: the icon to draw while minimised
    // or dragged (0 when none was loaded) and where to draw it.
    int OnQueryDragIcon() const { return appIcon; }
    IconPoint OnPaintIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight) const
    {
        return MinimisedIconPosition(clientWidth, clientHeight, iconWidth, iconHeight);
    }

    // The test operations, in the order a run uses them. None shows a
    // message of its own: the devices and the wave file show theirs.
    //
    // The "Run Test..." handler: the whole run with the button disabled.
    // Asks the tone question ("Notice", Yes/No) when the recording neither
    // completed nor was cancelled; No ends the run with no results dialog.
    void OnRunTest();
    // Parameters from the controls, a new recordBuffer of bufferBytes bytes
    // filled with silence (absent when the size is unusable or cannot be
    // had, silently), and a new report holding only the header.
    void ReadTestParameters();
    // One device test each, appending its section to the report and its
    // codes to RecordResults() or PlaybackResults(). True only when the
    // buffer was recorded or played to its end; false at once, with nothing
    // appended, when there is no recordBuffer; false when cancelled (Esc,
    // then TestCancelled() is true), when the open, the queue or the start
    // failed, and for a device whose buffer never completes until Esc.
    bool RunRecordTest();
    // The 1 kHz tone over the whole recordBuffer (nothing without one), with
    // its status line and progress.
    void BuildTestTone();
    bool RunPlaybackTest();
    // The results dialog over a copy of the report, run modally.
    void ShowResults();
    // Writes the recording to a WAVE file; asked for by the results dialog.
    // Shows nothing of its own: the wave file shows its failures. Without a
    // recording buffer it writes nothing.
    void SaveRecording(const std::string& path);
    // Whether the last SaveRecording wrote the whole recording under its
    // name: false without a buffer, when the wave file's block could not be
    // had or its Save returned 0. The dialogs do not read it; front ends that
    // must not report a lost file as saved do.
    bool LastSaveSucceeded() const { return lastSaveSucceeded; }

    // The devices the two boxes list, in their order, as InitControls found
    // them; each entry carries the device number its position stands for.
    const std::vector<ListedDevice>& ListedDevices(WaveDirection direction) const
    {
        return direction == WaveDirection::Input ? inputDevices : outputDevices;
    }
    // The device number a test opens for the selection the parameters hold
    // (the listed entry's own number), -1 when no listed device is selected.
    std::int32_t SelectedDeviceId(WaveDirection direction) const;

    // What a front end reads after a run.
    const std::string& ReportText() const { return reportText; }
    const TestParameters& Parameters() const { return parameters; }
    bool HasRecordBuffer() const { return recordBuffer.IsAllocated(); }
    const std::uint8_t* RecordBufferData() const { return recordBuffer.Data(); }
    std::size_t RecordBufferSize() const { return recordBuffer.Size(); }
    bool RecordComplete() const { return recordComplete; }
    bool PlaybackComplete() const { return playbackComplete; }
    bool TestCancelled() const { return testCancelled; }
    // The codes of the last record and playback tests; all ResultNotTested
    // for a test that did not run.
    const DeviceTestResults& RecordResults() const { return recordResults; }
    const DeviceTestResults& PlaybackResults() const { return playbackResults; }

    CComboBox apiModeBox;
    CButton runTestButton;
    CStatic statusText;
    CProgressCtrl progressBar;
    CEdit durationEdit;
    CComboBox outputDeviceBox;
    CComboBox inputDeviceBox;
    CEdit validBitsEdit;
    CEdit precisionEdit;
    CEdit sampleRateEdit;
    CEdit channelsEdit;

    TestParameters parameters;
    // Absent (not allocated) before the first run and after a failed
    // allocation; filled with the width's silence when allocated.
    CZeroBlock recordBuffer;
    bool recordComplete = false;
    bool playbackComplete = false;
    bool testCancelled = false;
    std::string reportText;
    int appIcon = 0;

    DeviceTestResults recordResults;
    DeviceTestResults playbackResults;
    bool lastSaveSucceeded = false;
    std::vector<ListedDevice> inputDevices;
    std::vector<ListedDevice> outputDevices;

protected:
    void DoDataExchange() override;

private:
    // The parameter controls' contents, as ReadTestParameters reads them.
    ParameterInputs ReadParameterInputs() const;
    void SetStatus(const char* text);
};
