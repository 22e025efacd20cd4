// SPDX-License-Identifier: GPL-3.0-or-later
// The "Test Results" dialog, template 129: the report in a text box, copied
// to the clipboard or, through the main dialog, saved as a recording.
#pragma once

#include <string>

#include "ui/Controls.h"
#include "ui/Dialog.h"

class CTesterDlg;

// The tab stops of the report box in dialog units, and its margins in pixels.
constexpr int ReportTabStops[] = {100, 140, 240, 340};
constexpr int ReportMarginPixels = 2;

// What the save-file dialog is asked for.
constexpr const char* WaveFileExtension = "wav";
constexpr const char* WaveFileFilter = "Wave Files (*.wav)";

class CResultsDlg : public CDialog {
public:
    CResultsDlg(CTesterDlg* ownerDialog, std::string reportText);

    bool OnInitDialog() override;
    void OnCopyToClipboard();
    void OnSaveToWaveFile();

    const std::string& ResultsText() const { return resultsText; }

    CEdit reportEdit;

protected:
    void DoDataExchange() override;

private:
    std::string resultsText;
    CTesterDlg* ownerDialog;
};
