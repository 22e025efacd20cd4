// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows program: Win32 services and dialog boxes, the wave API chosen
// by TALLOWMERE_AUDIO, and the application object, which runs the main
// dialog until it closes.
// Lean: the full header's multimedia names clash with the wave API's own.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "audio/WaveApi.h"
#include "audio/backends/CompositeWaveApi.h"
#include "ui/TesterApp.h"
#include "ui/win32/Win32DialogToolkit.h"
#include "ui/win32/Win32Services.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // The progress bar's class exists only once the common controls are asked for.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    CWin32Services services;
    CScopedServices servicesScope(services);
    CWin32DialogToolkit toolkit;
    CScopedDialogToolkit toolkitScope(toolkit);
    std::unique_ptr<CWaveApi> waveApi = CreateWaveApi(AudioBackEndFromEnvironment());
    CScopedWaveApi waveApiScope(*waveApi);

    CTesterApp app;
    app.InitInstance();
    return 0;
}
