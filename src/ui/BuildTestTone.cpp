// SPDX-License-Identifier: GPL-3.0-or-later
// CTesterDlg::BuildTestTone: the tone that replaces a failed recording.
#include <span>

#include "sequence/TestTone.h"
#include "ui/TesterDlg.h"

namespace {

class CProgressBarShow : public CToneProgress {
public:
    explicit CProgressBarShow(CProgressCtrl& bar) : bar(bar) {}
    void Show(int position) override { bar.SetPos(position); }

private:
    CProgressCtrl& bar;
};

} // namespace

void CTesterDlg::BuildTestTone()
{
    if (!recordBuffer.IsAllocated())
        return;
    // Esc is not read here: a key pressed meanwhile waits for the playback
    // test's polling, which cancels the playback.
    statusText.SetWindowText("Building 1 kHz tone... Press <Esc> to cancel.");
    if (parameters.frameCount == 0)
        return;
    CProgressBarShow progress(progressBar);
    WriteTestTone(std::span<std::uint8_t>(recordBuffer.Data(), recordBuffer.Size()), parameters, &progress);
    progressBar.SetPos(0);
    statusText.SetWindowText("Ready");
}
