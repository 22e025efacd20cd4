// SPDX-License-Identifier: GPL-3.0-or-later
// CTesterDlg::ShowResults and SaveRecording: the results dialog over the
// report, and the recording written as a WAVE file at its request.
#include <algorithm>
#include <limits>

#include "core/SampleFormat.h"
#include "ui/ResultsDlg.h"
#include "ui/TesterDlg.h"
#include "wavefile/WaveFile.h"

void CTesterDlg::ShowResults()
{
    CResultsDlg results(this, reportText);
    results.DoModal();
}

void CTesterDlg::SaveRecording(const std::string& path)
{
    lastSaveSucceeded = false;
    if (!recordBuffer.IsAllocated())
        return;
    // Odd channel counts and widths are repaired by the format; the recording
    // then does not fit the file's block and the data chunk stays empty.
    CSampleFormat format(parameters.sampleRate, static_cast<std::uint16_t>(parameters.channels),
                         static_cast<std::uint16_t>(parameters.bytesPerSample));
    // A negative frame count (negative rate) must not turn into a huge one.
    auto frames = static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(parameters.frameCount, 0, std::numeric_limits<std::uint32_t>::max()));
    CWaveFile file(frames, format);
    // Without its block the file would be saved with no samples at all.
    const bool blockAllocated = !file.IsFailed();
    file.Write(recordBuffer.Data(), static_cast<std::uint32_t>(recordBuffer.Size()));
    file.SetFileName(path);
    lastSaveSucceeded = file.Save() == 1 && blockAllocated;
}
