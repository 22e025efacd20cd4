// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-measure: the measurement window. Its services keep the device
// layer's messages for the window to show; the wave API is chosen by
// TALLOWMERE_AUDIO as for the test dialog. The window shows first: the wave
// API is brought up (ALSA's enumeration) and the devices listed (their
// capability queries) on the session thread after it. A WAVE file named on
// the command line is analysed once they are, and followed.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <memory>
#include <optional>

#include "audio/WaveApi.h"
#include "audio/backends/CompositeWaveApi.h"
#include "desk/DeskServices.h"
#include "desk/MeasureWindow.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Tallowmere");
    QApplication::setApplicationName("tallowmere-measure");
    QApplication::setApplicationVersion(TALLOWMERE_VERSION);
    QApplication::setDesktopFileName("tallowmere-measure");
    // The built-in icon at once; the icon theme's, found by a search of its
    // folders, once the window is up.
    const QIcon builtInIcon(":/tallowmere-measure/tallowmere-32.png");
    QApplication::setWindowIcon(builtInIcon);

    QCommandLineParser parser;
    parser.setApplicationDescription("Measures what a sound card records and plays: live levels and the signal's "
                                     "verdict, the loopback, the format matrix, the soak.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "A WAVE file to analyse, followed while the window is open.", "[FILE.wav]");
    parser.process(application);

    CDeskServices services;
    CScopedServices servicesScope(services);
    // Made on the session thread; they outlive the window, which waits for
    // that thread as it closes.
    std::unique_ptr<CWaveApi> waveApi;
    std::optional<CScopedWaveApi> waveApiScope;
    const QString file = parser.positionalArguments().value(0);

    int status = 0;
    {
        CMeasureWindow window(services);
        window.show();
        auto bringUp = [&waveApi, &waveApiScope] {
            waveApi = CreateWaveApi(AudioBackEndFromEnvironment());
            waveApiScope.emplace(*waveApi);
        };
        window.ListDevices(bringUp, [&window, file, builtInIcon] {
            QApplication::setWindowIcon(QIcon::fromTheme("tallowmere", builtInIcon));
            if (!file.isEmpty())
                window.OpenWaveFile(file);
        });
        status = QApplication::exec();
    }
    return status;
}
