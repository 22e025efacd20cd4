// SPDX-License-Identifier: GPL-3.0-or-later
// The choice of Linux back ends from TALLOWMERE_AUDIO.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "audio/backends/CompositeWaveApi.h"
#include "audio/backends/VirtualWaveApi.h"

namespace {

TEST(CompositeWaveApiTest, EnvironmentNarrowsTheBackEnds)
{
    const char* saved = std::getenv("TALLOWMERE_AUDIO");
    std::string previous = saved != nullptr ? saved : "";
    setenv("TALLOWMERE_AUDIO", "virtual", 1);
    EXPECT_EQ(AudioBackEndFromEnvironment(), AudioBackEndChoice::Virtual);
    setenv("TALLOWMERE_AUDIO", "alsa", 1);
    EXPECT_EQ(AudioBackEndFromEnvironment(), AudioBackEndChoice::Alsa);
    setenv("TALLOWMERE_AUDIO", "auto", 1);
    EXPECT_EQ(AudioBackEndFromEnvironment(), AudioBackEndChoice::Auto);
    unsetenv("TALLOWMERE_AUDIO");
    EXPECT_EQ(AudioBackEndFromEnvironment(), AudioBackEndChoice::Auto);
    if (saved != nullptr)
        setenv("TALLOWMERE_AUDIO", previous.c_str(), 1);

    std::unique_ptr<CWaveApi> onlyVirtual = CreateWaveApi(AudioBackEndChoice::Virtual);
    EXPECT_EQ(onlyVirtual->GetDeviceCount(WaveDirection::Input), 2);
    WaveDeviceCaps caps;
    ASSERT_EQ(onlyVirtual->GetDeviceCaps(WaveDirection::Input, 0, caps), WaveNoError);
    EXPECT_STREQ(caps.productName, VirtualInputName);
    ASSERT_EQ(onlyVirtual->GetDeviceCaps(WaveDirection::Input, 1, caps), WaveNoError);
    EXPECT_STREQ(caps.productName, VirtualLoopbackInputName);
}

} // namespace
