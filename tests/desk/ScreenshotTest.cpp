// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of docs/images: each view after a run on the virtual
// devices, grabbed as the window draws itself. Written only when
// TALLOWMERE_DESK_SCREENSHOTS names a directory (scripts/desk-screenshots.sh
// runs it at 100 % and 200 %); the other tests hold the views' states, so
// the suite skips these half-minute runs.
#include <gtest/gtest.h>

#include <QPixmap>

#include <memory>

#include "DeskTestSupport.h"
#include "audio/backends/VirtualLoopback.h"
#include "audio/backends/VirtualWaveApi.h"
#include "desk/FormatPanel.h"
#include "desk/FormatsView.h"
#include "desk/InputView.h"
#include "desk/LoopbackView.h"
#include "desk/MeasureWindow.h"
#include "desk/SoakView.h"
#include "support/ScratchDir.h"

namespace {

TEST(Screenshots, EveryViewAfterARun)
{
    const QString target = qEnvironmentVariable("TALLOWMERE_DESK_SCREENSHOTS");
    if (target.isEmpty())
        GTEST_SKIP() << "TALLOWMERE_DESK_SCREENSHOTS names no directory";
    DeskTestApplication();
    CScratchDir scratch{"tallowmere-shots"};
    CPrivateSettings settings(scratch.File("settings"));
    CFastClockServices services;
    CScopedServices servicesScope{services};
    CScopedVirtualWaveApi virtualApi;
    // A cable with the faults a real one has, so the pictures show them.
    virtualApi.api.loopbackChain.noiseDbfs = -100;
    virtualApi.api.loopbackChain.harmonicDb = -70;
    virtualApi.api.loopbackChain.tiltDb = -0.5;
    CMeasureWindow window(services);
    window.resize(1100, 780);
    window.show();
    ASSERT_TRUE(ListDevicesAndWait(window));
    const QString suffix = QApplication::primaryScreen()->devicePixelRatio() > 1.5 ? "-200" : "";
    auto shoot = [&](const QString& name) {
        QApplication::processEvents();
        const QPixmap shot = window.grab();
        EXPECT_TRUE(shot.save(target + "/measure-" + name + suffix + ".png"));
    };

    window.FormatPanel()->ChannelsBox()->setValue(2);
    window.FormatPanel()->RateBox()->setCurrentText("48000");
    ASSERT_TRUE(window.InputView()->StartCheck());
    ASSERT_TRUE(WaitUntil([&] { return window.InputView()->CurrentState() == CInputView::State::Shown; }));
    shoot("input");

    window.FormatPanel()->InputBox()->setCurrentIndex(1);
    window.FormatPanel()->OutputBox()->setCurrentIndex(1);
    window.Views()->setCurrentWidget(window.LoopbackView());
    window.LoopbackView()->ThdnLimit()->setText("-60");
    ASSERT_TRUE(window.LoopbackView()->StartRun());
    ASSERT_TRUE(WaitUntil([&] { return window.LoopbackView()->CurrentState() != CLoopbackView::State::Running; },
                          60000));
    shoot("loopback");

    window.Views()->setCurrentWidget(window.FormatsView());
    window.FormatsView()->LevelBox()->setCurrentIndex(2);
    // A plain cable, with an input that carries 24 bits at most.
    virtualApi.api.loopbackChain = VirtualLoopbackChain{};
    virtualApi.api.Device(WaveDirection::Input, 1).significantBits = 24;
    virtualApi.api.Device(WaveDirection::Input, 1).rates = {44100, 48000, 96000, 192000};
    ASSERT_TRUE(window.FormatsView()->StartMatrix());
    ASSERT_TRUE(WaitUntil([&] { return window.FormatsView()->CurrentState() != CFormatsView::State::Running; },
                          120000));
    window.FormatsView()->Grids()->setCurrentIndex(2);
    if (auto* grid = qobject_cast<QTableWidget*>(window.FormatsView()->Grids()->currentWidget()))
        grid->setCurrentCell(9, 4);
    shoot("formats");

    // A minute's soak through a cable whose input clock drifts, with a jump,
    // an overrun and an underrun on the way.
    std::string error;
    ASSERT_TRUE(ParseVirtualLoopbackChain("latency=1000,noise=-100,drift=40,skip=960000+200,overrun=1920000+1024,"
                                          "underrun=2400000+2048",
                                          virtualApi.api.loopbackChain, error)) << error;
    virtualApi.api.playedLimit = 0;
    window.Views()->setCurrentWidget(window.SoakView());
    window.SoakView()->DurationBox()->setValue(1);
    window.SoakView()->UnitBox()->setCurrentIndex(1);
    window.SoakView()->XrunLimit()->setText("0");
    ASSERT_TRUE(window.SoakView()->StartSoak());
    ASSERT_TRUE(WaitUntil([&] { return window.SoakView()->CurrentState() != CSoakView::State::Running; }, 60000));
    shoot("soak");
}

} // namespace
