// SPDX-License-Identifier: GPL-3.0-or-later
// The interface thread while a check records at 192 kHz in stereo with
// 32-bit samples, in real time on the virtual input: a probe timer asks for
// the event loop every 5 ms and notes the longest wait, and how much of it
// the interface thread itself was busy (on a loaded machine a wait also
// holds the time the thread was not scheduled at all). The meters must move
// at least 20 times a second and the thread never be kept busy past 50 ms,
// including the analysis after the recording.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <memory>

#include "DeskTestSupport.h"
#include "audio/backends/VirtualWaveApi.h"
#include "desk/FormatPanel.h"
#include "desk/InputView.h"
#include "desk/LevelMeters.h"
#include "desk/MeasureWindow.h"
#include "support/ScratchDir.h"

namespace {

TEST(LatencyProbe, TheWindowAnswersWhileA192kStereo32BitRecordingIsMetered)
{
    DeskTestApplication();
    CScratchDir scratch{"tallowmere-probe"};
    CPrivateSettings settings(scratch.File("settings"));
    CDeskServices services; // the real clock: the recording takes its time
    CScopedServices servicesScope{services};
    CScopedVirtualWaveApi virtualApi;
    CMeasureWindow window(services);
    window.show();
    ASSERT_TRUE(ListDevicesAndWait(window));
    CFormatPanel& panel = *window.FormatPanel();
    panel.ChannelsBox()->setValue(2);
    panel.RateBox()->setCurrentText("192000");
    panel.BitsBox()->setCurrentText("32");
    panel.ValidBitsBox()->setValue(32);
    CInputView& view = *window.InputView();
    view.SecondsBox()->setValue(2);

    auto busyMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    };
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    double lastBusy = busyMs(), longestBusy = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const double busy = busyMs();
        longest = std::max(longest, now - last);
        longestBusy = std::max(longestBusy, busy - lastBusy);
        last = now;
        lastBusy = busy;
    });
    clock.start();
    probe.start();
    ASSERT_TRUE(view.StartCheck());
    const qint64 started = clock.elapsed();
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CInputView::State::Recording; }, 20000));
    const double seconds = (clock.elapsed() - started) / 1000.0;
    probe.stop();

    ASSERT_EQ(view.CurrentState(), CInputView::State::Shown) << view.StatusText().toStdString();
    EXPECT_EQ(view.Outcome().analysis.frames, 384000u);
    const double perSecond = view.Meters()->Updates() / std::max(2.0, seconds);
    std::printf("meters: %d updates in %.2f s (%.1f a second); longest wait of the event loop %lld ms, "
                "of which the interface thread was busy %.1f ms\n",
                view.Meters()->Updates(), seconds, perSecond, static_cast<long long>(longest), longestBusy);
    EXPECT_GE(view.Meters()->Updates(), 2 * 20);
    EXPECT_LE(longestBusy, 50);
    // A blocking call (a recording waited for on this thread) would stall it
    // for seconds; this bound holds even on a crowded machine.
    EXPECT_LE(longest, 500);
}

} // namespace
