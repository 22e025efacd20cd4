// SPDX-License-Identifier: GPL-3.0-or-later
// Everything a whole-program test needs, installed for one scope: fake
// services on a virtual clock, the virtual wave devices and the in-memory
// dialog toolkit.
#pragma once

#include <optional>
#include <vector>

#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"
#include "support/MemoryWindow.h"

// The fake services, also noting which window each keyboard peek asked about.
class CSessionServices : public CFakeServices {
public:
    std::optional<std::uint32_t> PeekKey(WindowHandle window) override
    {
        peekWindows.push_back(window);
        return CFakeServices::PeekKey(window);
    }
    std::vector<WindowHandle> peekWindows;
};

class CTestSession {
public:
    CSessionServices services;
    CVirtualWaveApi waveApi;
    CMemoryToolkit toolkit;

    VirtualDevice& Input(std::uint32_t index = 0) { return waveApi.Device(WaveDirection::Input, index); }
    VirtualDevice& Output(std::uint32_t index = 0) { return waveApi.Device(WaveDirection::Output, index); }

private:
    CScopedServices servicesScope{services};
    CScopedWaveApi waveApiScope{waveApi};
    CScopedDialogToolkit toolkitScope{toolkit};
};
