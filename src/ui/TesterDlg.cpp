// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TesterDlg.h"

#include "audio/WaveApi.h"
#include "ui/Templates.h"

namespace {

constexpr const char* StandardModeText = "Standard API wave format";
constexpr const char* ExtendedModeText = "Extended API wave format";

// The box shows the names; the entries keep the device numbers a selection
// stands for, since a device left out moves later ones up the list.
void FillDeviceList(CComboBox& box, const std::vector<ListedDevice>& devices)
{
    for (const ListedDevice& device : devices)
        box.AddString(device.name.c_str());
}

} // namespace

IconPoint MinimisedIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight)
{
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

// The icon is a resource the toolkit draws; "loading" it names it.
CTesterDlg::CTesterDlg() : CDialog(MainDialogTemplate(), nullptr), appIcon(AppIconId)
{
    MapCommand(IdRunTest, [this] { OnRunTest(); });
}

// recordBuffer frees itself; the icon is shared and not destroyed.
CTesterDlg::~CTesterDlg() = default;

void CTesterDlg::DoDataExchange()
{
    CDialogWindow* window = Window();
    apiModeBox.Bind(window, IdApiMode);
    runTestButton.Bind(window, IdRunTest);
    statusText.Bind(window, IdStatus);
    progressBar.Bind(window, IdProgress);
    durationEdit.Bind(window, IdDuration);
    outputDeviceBox.Bind(window, IdOutputDevice);
    inputDeviceBox.Bind(window, IdInputDevice);
    validBitsEdit.Bind(window, IdValidBits);
    precisionEdit.Bind(window, IdPrecision);
    sampleRateEdit.Bind(window, IdSampleRate);
    channelsEdit.Bind(window, IdChannels);
}

bool CTesterDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (CDialogWindow* window = Window(); window && appIcon != 0) {
        window->SetIcon(appIcon, true);
        window->SetIcon(appIcon, false);
    }
    InitControls();
    // The toolkit gives the focus to the first tab stop, the channels edit.
    return true;
}

void CTesterDlg::InitControls()
{
    channelsEdit.SetWindowText("1");
    sampleRateEdit.SetWindowText("44100");
    precisionEdit.SetWindowText("16");
    validBitsEdit.SetWindowText("16");
    durationEdit.SetWindowText("4");
    inputDevices = ListWaveDevices(WaveApi(), WaveDirection::Input);
    FillDeviceList(inputDeviceBox, inputDevices);
    inputDeviceBox.SetCurSel(0);
    outputDevices = ListWaveDevices(WaveApi(), WaveDirection::Output);
    FillDeviceList(outputDeviceBox, outputDevices);
    outputDeviceBox.SetCurSel(0);
    apiModeBox.AddString(StandardModeText);
    apiModeBox.AddString(ExtendedModeText);
    apiModeBox.SetCurSel(0);
    statusText.SetWindowText("Ready");
    progressBar.SetPos(0);
}

std::int32_t CTesterDlg::SelectedDeviceId(WaveDirection direction) const
{
    return direction == WaveDirection::Input ? ListedDeviceId(inputDevices, parameters.inputDeviceIndex)
                                             : ListedDeviceId(outputDevices, parameters.outputDeviceIndex);
}

void CTesterDlg::SetStatus(const char* text)
{
    statusText.SetWindowText(text);
}
