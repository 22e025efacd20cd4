// SPDX-License-Identifier: GPL-3.0-or-later
// The soak on real alsa-lib against the test plugin's truths, in real time:
// a device whose clock runs 10 % fast is read at that rate, and xruns
// the device makes on demand (a stall longer than its buffer) are logged in
// their direction at their time. A private configuration names only these
// devices.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "audio/backends/AlsaWaveApi.h"
#include "measure/soak/SoakSession.h"

namespace {

namespace fs = std::filesystem;

class SoakAlsaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        directory = fs::path(TALLOWMERE_ALSA_TEST_DIR) / ("soak-" + std::to_string(getpid()));
        fs::create_directories(directory);
        const fs::path config = directory / "asound.conf";
        std::ofstream out(config);
        out << "pcm_type.tallowtest { lib \"" TALLOWMERE_ALSA_TEST_PLUGIN "\" }\n"
               "pcm.drifting {\n  type tallowtest\n  ppm 100000\n"
               "  hint { show on description \"Drifting test device\" }\n}\n"
               "pcm.stalling {\n  type tallowtest\n  stall 600\n  stallms 700\n"
               "  hint { show on description \"Stalling test device\" }\n}\n";
        out.close();
        setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    SoakRequest Request(CAlsaWaveApi& api, SoakMode mode, const std::string& pcm)
    {
        SoakRequest request;
        request.mode = mode;
        request.format = {2, 48000, 16, 16, false};
        request.durationSeconds = 2;
        request.pollMs = 2;
        const WaveDirection direction = mode == SoakMode::PlayOnly ? WaveDirection::Output : WaveDirection::Input;
        std::vector<AlsaDeviceEntry> list = api.Devices(direction);
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].pcmName == pcm)
                (mode == SoakMode::PlayOnly ? request.output : request.input) = {static_cast<std::uint32_t>(i), pcm};
        return request;
    }

    static inline fs::path directory;
};

TEST_F(SoakAlsaTest, DriftingClockIsReadAtItsRate)
{
    CAlsaWaveApi api;
    for (SoakMode mode : {SoakMode::RecordOnly, SoakMode::PlayOnly}) {
        SCOPED_TRACE(SoakModeName(mode));
        SoakRun run;
        ASSERT_TRUE(RunSoakSession(api, Request(api, mode, "drifting"), {}, run)) << run.error;
        EXPECT_EQ(run.outcome, SoakOutcome::Completed) << run.error;
        EXPECT_EQ(run.xruns, 0u);
        const SoakDeviceClock& clock = mode == SoakMode::RecordOnly ? run.inputClock : run.outputClock;
        ASSERT_TRUE(clock.rateHz.valid);
        // Read from when the slots come back on a real, busy clock: good to
        // a few thousand ppm over two seconds, so 10 % stands clear of a
        // true clock.
        const double uncertaintyPpm = clock.rateHz.uncertainty / 48000 * 1e6;
        EXPECT_NEAR(clock.RatePpm(48000), 100000, 3 * uncertaintyPpm + 100);
        EXPECT_LT(uncertaintyPpm, 20000);
    }
}

TEST_F(SoakAlsaTest, XrunsOnDemandAreLoggedAtTheirTime)
{
    CAlsaWaveApi api;
    for (SoakMode mode : {SoakMode::RecordOnly, SoakMode::PlayOnly}) {
        SCOPED_TRACE(SoakModeName(mode));
        SoakRun run;
        ASSERT_TRUE(RunSoakSession(api, Request(api, mode, "stalling"), {}, run)) << run.error;
        ASSERT_GE(run.xruns, 1u);
        const SoakEvent* xrun = nullptr;
        for (const SoakEvent& e : run.events)
            if (e.kind == SoakEventKind::Xrun && xrun == nullptr)
                xrun = &e;
        ASSERT_NE(xrun, nullptr);
        EXPECT_EQ(xrun->direction, mode == SoakMode::RecordOnly ? WaveDirection::Input : WaveDirection::Output);
        // The stall starts 0.6 s in and ends 0.7 s later, when the device finds it behind.
        EXPECT_GE(xrun->seconds, 0.6);
        EXPECT_LE(xrun->seconds, 1.3 + 0.2);
        EXPECT_GT(xrun->frames, 0u);
    }
}

} // namespace
