// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows device lists: WASAPI's, then WinMM's, then the virtual ones,
// each platform name saying its interface, narrowed by TALLOWMERE_AUDIO.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/backends/CompositeWaveApi.h"
#include "audio/backends/VirtualWaveApi.h"
#include "audio/backends/WasapiWaveApi.h"
#include "audio/backends/WinMmWaveApi.h"

namespace {

// TALLOWMERE_AUDIO read after setting it to `value` (empty: unset), and
// what was written on standard error meanwhile.
AudioBackEndChoice ChoiceFor(const char* value, std::string& said)
{
    _putenv_s("TALLOWMERE_AUDIO", value);
    testing::internal::CaptureStderr();
    AudioBackEndChoice choice = AudioBackEndFromEnvironment();
    said = testing::internal::GetCapturedStderr();
    _putenv_s("TALLOWMERE_AUDIO", "");
    return choice;
}

TEST(WindowsBackEnds, ChoiceNamesEitherInterfaceOrTheVirtualDevices)
{
    struct Row {
        const char* value;
        AudioBackEndChoice expected;
    } rows[] = {{"", AudioBackEndChoice::Auto},         {"auto", AudioBackEndChoice::Auto},
                {"wasapi", AudioBackEndChoice::Wasapi}, {"winmm", AudioBackEndChoice::WinMm},
                {"virtual", AudioBackEndChoice::Virtual}};
    std::string said;
    for (const Row& row : rows) {
        EXPECT_EQ(ChoiceFor(row.value, said), row.expected) << row.value;
        EXPECT_EQ(said, "") << row.value;
    }
    for (const char* unknown : {"alsa", "WASAPI"}) {
        EXPECT_EQ(ChoiceFor(unknown, said), AudioBackEndChoice::Auto);
        EXPECT_EQ(said, std::string("tallowmere: TALLOWMERE_AUDIO=") + unknown +
                            " is not wasapi, winmm, virtual or auto; using auto\n");
    }
}

bool NameBegins(CWaveApi& api, std::uint32_t device, const char* prefix)
{
    WaveDeviceCaps caps;
    return api.GetDeviceCaps(WaveDirection::Input, device, caps) == WaveNoError &&
           std::strncmp(caps.productName, prefix, std::strlen(prefix)) == 0;
}

TEST(WindowsBackEnds, WasapiDevicesComeFirstThenWinMmsThenTheVirtualOnes)
{
    const std::uint16_t wasapi = CWasapiWaveApi().GetDeviceCount(WaveDirection::Input);
    const std::uint16_t winmm = CWinMmWaveApi().GetDeviceCount(WaveDirection::Input);
    // Wine lists one endpoint each way, through either interface.
    if (wasapi == 0 || winmm == 0)
        GTEST_SKIP() << "no input endpoint on this machine";
    std::unique_ptr<CWaveApi> all = CreateWaveApi(AudioBackEndChoice::Auto);
    ASSERT_EQ(all->GetDeviceCount(WaveDirection::Input), wasapi + winmm + 2);
    EXPECT_TRUE(NameBegins(*all, 0, WasapiNamePrefix));
    EXPECT_TRUE(NameBegins(*all, wasapi, WinMmNamePrefix));
    EXPECT_TRUE(NameBegins(*all, wasapi + winmm, VirtualInputName));

    EXPECT_EQ(CreateWaveApi(AudioBackEndChoice::Wasapi)->GetDeviceCount(WaveDirection::Input), wasapi);
    std::unique_ptr<CWaveApi> winmmOnly = CreateWaveApi(AudioBackEndChoice::WinMm);
    EXPECT_EQ(winmmOnly->GetDeviceCount(WaveDirection::Input), winmm);
    EXPECT_TRUE(NameBegins(*winmmOnly, 0, WinMmNamePrefix));
    std::unique_ptr<CWaveApi> virtualOnly = CreateWaveApi(AudioBackEndChoice::Virtual);
    EXPECT_EQ(virtualOnly->GetDeviceCount(WaveDirection::Input), 2);
    EXPECT_TRUE(NameBegins(*virtualOnly, 0, VirtualInputName));
}

TEST(WindowsBackEnds, OnlyWinMmDevicesAnswerForTheAudioEngine)
{
    // Wine says it is Windows 10, so WinMM goes through the shared engine.
    const std::string note = AudioEngineAnswerNote(std::string(WinMmNamePrefix) + "In: default");
    EXPECT_EQ(note, "its answers are the Windows audio engine's, which converts formats, not the card's; "
                    "the WASAPI device asks the driver");
    for (const std::string& other : {std::string(WasapiNamePrefix) + "In: default", std::string(VirtualInputName),
                                    std::string("In: WinMM: default"), std::string()})
        EXPECT_EQ(AudioEngineAnswerNote(other), "") << other;
}

} // namespace
