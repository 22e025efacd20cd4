// SPDX-License-Identifier: GPL-3.0-or-later
// CTesterDlg::ReadTestParameters: the first step of every run.
#include <cstring>

#include "sequence/OsVersion.h"
#include "sequence/Report.h"
#include "ui/TesterDlg.h"

ParameterInputs CTesterDlg::ReadParameterInputs() const
{
    ParameterInputs inputs;
    inputs.channelsText = channelsEdit.GetWindowText(ParameterTextLimit);
    inputs.sampleRateText = sampleRateEdit.GetWindowText(ParameterTextLimit);
    inputs.precisionText = precisionEdit.GetWindowText(ParameterTextLimit);
    inputs.validBitsText = validBitsEdit.GetWindowText(ParameterTextLimit);
    inputs.inputDeviceIndex = inputDeviceBox.GetCurSel();
    inputs.inputDeviceName = inputDeviceBox.GetWindowText(DeviceNameLimit);
    inputs.outputDeviceIndex = outputDeviceBox.GetCurSel();
    inputs.outputDeviceName = outputDeviceBox.GetWindowText(DeviceNameLimit);
    inputs.apiMode = apiModeBox.GetCurSel();
    inputs.durationText = durationEdit.GetWindowText(ParameterTextLimit);
    return inputs;
}

void CTesterDlg::ReadTestParameters()
{
    // The header quotes the texts as typed, not the converted numbers.
    ParameterInputs inputs = ReadParameterInputs();
    parameters = DeriveTestParameters(inputs);

    // Filled with silence, so a recording cut short never saves stale memory
    // or, in 8 bits, full-scale negative samples. A size that cannot be a
    // buffer leaves it absent, as a failed allocation does.
    // The block comes zero-filled: only 8-bit silence needs writing.
    recordBuffer.Free();
    const std::uint8_t silence = SilenceByte(parameters.bytesPerSample);
    if (IsBufferSizeUsable(parameters.bufferBytes) &&
        recordBuffer.Allocate(static_cast<std::size_t>(parameters.bufferBytes)) && silence != 0)
        std::memset(recordBuffer.Data(), silence, recordBuffer.Size());

    reportText.clear();
    reportText += ReportHeader(OperatingSystemLine(), inputs);
}
