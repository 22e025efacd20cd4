// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program: Qt services and windows, the wave API chosen by
// TALLOWMERE_AUDIO, and the application object, which runs the main dialog
// until it closes.
#include <QApplication>

#include <csignal>

#include "audio/WaveApi.h"
#include "audio/backends/CompositeWaveApi.h"
#include "ui/TerminationSignals.h"
#include "ui/TesterApp.h"
#include "ui/qt/AppIcon.h"
#include "ui/qt/QtDialogToolkit.h"
#include "ui/qt/QtServices.h"

int main(int argc, char* argv[])
{
    // A save cut short by a signal leaves no temporary file beside its target.
    InstallTerminationHandlers({{SIGTERM, EndOnTerminationSignal},
                                {SIGHUP, EndOnTerminationSignal},
                                {SIGINT, EndOnTerminationSignal}});
    QApplication application(argc, argv);
    QApplication::setWindowIcon(AppIcon());
    // The dialogs end the program, not the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);

    CQtServices services;
    CScopedServices servicesScope(services);
    CQtDialogToolkit toolkit;
    CScopedDialogToolkit toolkitScope(toolkit);
    std::unique_ptr<CWaveApi> waveApi = CreateWaveApi(AudioBackEndFromEnvironment());
    CScopedWaveApi waveApiScope(*waveApi);

    CTesterApp app;
    app.InitInstance();
    return 0;
}
