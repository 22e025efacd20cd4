// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeskTestSupport.h"

#include <QSettings>
#include <QTest>

#include <cmath>
#include <vector>

#include "desk/MeasureWindow.h"
#include "support/ScratchDir.h"

QApplication& DeskTestApplication()
{
    static int argc = 1;
    static char name[] = "test_desk_window";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: other statics may still use Qt while the process ends.
    static QApplication* application = [] {
        auto* app = new QApplication(argc, argv);
        QApplication::setOrganizationName("Tallowmere");
        QApplication::setApplicationName("tallowmere-measure-test");
        return app;
    }();
    return *application;
}

CPrivateSettings::CPrivateSettings(const std::string& directory)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(directory));
    QSettings().clear();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}

bool ListDevicesAndWait(CMeasureWindow& window)
{
    return window.ListDevices() && WaitUntil([&] { return !window.Listing(); });
}

namespace {

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void Put16(std::vector<std::uint8_t>& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

} // namespace

bool WriteSineWave(const std::string& path, double hz, double seconds, int rate)
{
    const std::uint32_t frames = static_cast<std::uint32_t>(seconds * rate);
    const std::uint32_t dataBytes = frames * 4;
    std::vector<std::uint8_t> b;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    Put32(b, 36 + dataBytes);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(b, 16);
    Put16(b, 1);
    Put16(b, 2);
    Put32(b, static_cast<std::uint32_t>(rate));
    Put32(b, static_cast<std::uint32_t>(rate) * 4);
    Put16(b, 4);
    Put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, dataBytes);
    for (std::uint32_t f = 0; f < frames; ++f) {
        const auto v = static_cast<std::int16_t>(std::lround(16384 * std::sin(2 * M_PI * hz * f / rate)));
        Put16(b, static_cast<std::uint16_t>(v));
        Put16(b, static_cast<std::uint16_t>(v));
    }
    return WriteAll(path, b);
}
