// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ResultsDlg.h"

#include <utility>

#include "ui/Templates.h"
#include "ui/TesterDlg.h"

CResultsDlg::CResultsDlg(CTesterDlg* ownerDialog, std::string reportText)
    : CDialog(ResultsDialogTemplate(), ownerDialog), resultsText(std::move(reportText)), ownerDialog(ownerDialog)
{
    MapCommand(IdCopyResults, [this] { OnCopyToClipboard(); });
    MapCommand(IdSaveRecording, [this] { OnSaveToWaveFile(); });
}

void CResultsDlg::DoDataExchange()
{
    reportEdit.Bind(Window(), IdReportEdit);
}

bool CResultsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The report's labels end with a tab, so its values line up at these stops.
    reportEdit.SetTabStops(ReportTabStops);
    reportEdit.SetMargins(ReportMarginPixels, ReportMarginPixels);
    reportEdit.SetWindowText(resultsText);
    return true;
}

void CResultsDlg::OnCopyToClipboard()
{
    // The report as it came from the test, whatever was edited in the box;
    // a busy clipboard fails silently.
    Services().SetClipboardText(Handle(), resultsText);
}

void CResultsDlg::OnSaveToWaveFile()
{
    std::optional<std::string> path = Services().AskSaveFileName(Handle(), WaveFileExtension, WaveFileFilter);
    if (!path)
        return;
    // The path is kept whole: a cut one would write a file the user never named.
    if (ownerDialog)
        ownerDialog->SaveRecording(*path);
}
