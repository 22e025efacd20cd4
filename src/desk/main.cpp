// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-measure: the measurement window. Its services keep the device
// layer's messages for the window to show; the wave API is chosen by
// TALLOWMERE_AUDIO as for the test dialog. A WAVE file named on the command
// line is analysed at once and followed.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <memory>

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
    QApplication::setWindowIcon(QIcon::fromTheme("tallowmere", QIcon(":/tallowmere-measure/tallowmere-32.png")));

    QCommandLineParser parser;
    parser.setApplicationDescription("Measures what a sound card records and plays: live levels and the signal's "
                                     "verdict, the loopback, the format matrix.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "A WAVE file to analyse, followed while the window is open.", "[FILE.wav]");
    parser.process(application);

    CDeskServices services;
    CScopedServices servicesScope(services);
    std::unique_ptr<CWaveApi> waveApi = CreateWaveApi(AudioBackEndFromEnvironment());
    CScopedWaveApi waveApiScope(*waveApi);

    int status = 0;
    {
        CMeasureWindow window(services);
        window.show();
        if (!parser.positionalArguments().isEmpty())
            window.OpenWaveFile(parser.positionalArguments().first());
        status = QApplication::exec();
    }
    return status;
}
