// Format acceptance shared by every back end, the virtual back end's own
// behaviour (limits, busy, reset, the test signal, real time), and the
// composite's numbering and choice of back ends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/WaveDevice.h"
#include "audio/WaveFormatRules.h"
#include "audio/backends/CompositeWaveApi.h"
#include "audio/backends/TestSignal.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

PcmWaveFormat Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign, std::uint16_t bits)
{
    return {WAVE_FORMAT_PCM, channels, rate, rate * blockAlign, blockAlign, bits};
}

ExtensibleWaveFormat Extensible(std::uint16_t channels, std::uint16_t container, std::uint16_t valid)
{
    ExtensibleWaveFormat f{};
    f.formatTag = WAVE_FORMAT_EXTENSIBLE;
    f.channels = channels;
    f.samplesPerSec = 48000;
    f.blockAlign = static_cast<std::uint16_t>(channels * container / 8);
    f.avgBytesPerSec = 48000u * f.blockAlign;
    f.bitsPerSample = container;
    f.cbSize = ExtensibleFormatExtraBytes;
    f.validBitsPerSample = valid;
    f.channelMask = 3;
    f.subFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return f;
}

TEST(WaveFormatRulesTest, PcmNeedsAContainerWidthThatFillsTheBlock)
{
    WaveFormatInfo info;
    for (std::uint16_t bits : {8, 16, 24, 32}) {
        PcmWaveFormat f = Pcm(2, 44100, static_cast<std::uint16_t>(bits / 4), bits);
        EXPECT_EQ(ReadWaveFormat(&f, info), MMSYSERR_NOERROR) << bits;
        EXPECT_EQ(info.containerBytes, bits / 8);
        EXPECT_EQ(info.validBits, bits);
    }
    PcmWaveFormat twenty = Pcm(2, 44100, 6, 20);
    PcmWaveFormat mismatch = Pcm(2, 44100, 4, 24);
    PcmWaveFormat noChannels = Pcm(0, 44100, 0, 16);
    PcmWaveFormat otherTag = Pcm(1, 44100, 2, 16);
    otherTag.formatTag = 3;
    for (const PcmWaveFormat* f : {&twenty, &mismatch, &noChannels, &otherTag})
        EXPECT_EQ(ReadWaveFormat(f, info), MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(ReadWaveFormat(nullptr, info), MMSYSERR_INVALPARAM);
}

TEST(WaveFormatRulesTest, ExtensibleCarriesValidBitsWithinTheContainer)
{
    WaveFormatInfo info;
    ExtensibleWaveFormat ok = Extensible(1, 24, 20);
    ASSERT_EQ(ReadWaveFormat(&ok, info), MMSYSERR_NOERROR);
    EXPECT_TRUE(info.extensible);
    EXPECT_EQ(info.containerBytes, 3);
    EXPECT_EQ(info.validBits, 20);
    EXPECT_EQ(WaveFormatBytes(&ok).size(), 40u);

    ExtensibleWaveFormat noValid = Extensible(2, 16, 0);
    ExtensibleWaveFormat tooMany = Extensible(2, 16, 17);
    ExtensibleWaveFormat oddContainer = Extensible(2, 20, 20);
    ExtensibleWaveFormat floatData = Extensible(2, 32, 32);
    floatData.subFormat.data1 = 3;
    ExtensibleWaveFormat shortSize = Extensible(2, 16, 16);
    shortSize.cbSize = 0;
    for (const ExtensibleWaveFormat* f : {&noValid, &tooMany, &oddContainer, &floatData, &shortSize})
        EXPECT_EQ(ReadWaveFormat(f, info), MMSYSERR_NOTSUPPORTED);
}

TEST(TestSignalTest, SineWellInsideFullScaleQuantisedToTheValidBits)
{
    std::int32_t peak = 0;
    for (std::uint64_t frame = 0; frame < 48000; ++frame)
        peak = std::max(peak, TestSignalValue(frame, 48000, 16, 16));
    EXPECT_EQ(peak, 16384); // half of full scale
    EXPECT_EQ(TestSignalValue(0, 48000, 24, 24), 0);
    for (std::uint64_t frame = 0; frame < 200; ++frame)
        EXPECT_EQ(TestSignalValue(frame, 44100, 24, 20) % 16, 0);

    WaveFormatInfo eightBit{false, 2, 8000, 1, 8, 2};
    std::uint8_t bytes[8];
    WriteTestSignal(bytes, 0, 4, eightBit);
    EXPECT_EQ(bytes[0], 128); // silence of unsigned samples at phase 0
    EXPECT_EQ(bytes[2], bytes[3]);
    EXPECT_GT(bytes[2], 128);
}

class VirtualWaveApiTest : public ::testing::Test {
protected:
    CFakeServicesScope services;
    CVirtualWaveApi api;
};

TEST_F(VirtualWaveApiTest, DefaultPairIsListedWithItsIdentity)
{
    ASSERT_EQ(api.GetDeviceCount(WaveDirection::Input), 1);
    ASSERT_EQ(api.GetDeviceCount(WaveDirection::Output), 1);
    WaveDeviceCaps caps;
    ASSERT_EQ(api.GetDeviceCaps(WaveDirection::Input, 0, caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.productName, VirtualInputName);
    EXPECT_EQ(caps.formats, WaveStandardFormatsAll);
    EXPECT_EQ(caps.manufacturerId, VirtualManufacturerId);
    ASSERT_EQ(api.GetDeviceCaps(WaveDirection::Output, 0, caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.productName, VirtualOutputName);
    EXPECT_EQ(api.GetDeviceCaps(WaveDirection::Output, 1, caps), MMSYSERR_BADDEVICEID);
}

TEST_F(VirtualWaveApiTest, RatesAndChannelsOutsideTheDeviceAreRefused)
{
    WaveHandle handle = 0;
    for (auto f : {Pcm(1, 999, 2, 16), Pcm(1, 384001, 2, 16), Pcm(3, 44100, 6, 16)})
        EXPECT_EQ(api.Open(WaveDirection::Input, handle, 0, &f, nullptr, 0, 0), MMSYSERR_NOTSUPPORTED);
    for (auto f : {Pcm(1, 1000, 2, 16), Pcm(2, 384000, 8, 32)}) {
        ASSERT_EQ(api.Open(WaveDirection::Input, handle, 0, &f, nullptr, 0, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(api.Close(handle), MMSYSERR_NOERROR);
    }
}

TEST_F(VirtualWaveApiTest, OpenDeviceIsBusyAndResetHandsBuffersBack)
{
    PcmWaveFormat f = Pcm(1, 8000, 1, 8);
    WaveHandle handle = 0, second = 0;
    ASSERT_EQ(api.Open(WaveDirection::Input, handle, 0, &f, nullptr, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(api.Open(WaveDirection::Input, second, 0, &f, nullptr, 0, 0), MMSYSERR_ALLOCATED);
    EXPECT_EQ(second, 0u);

    std::vector<std::uint8_t> a(800), b(800);
    WaveHeader headers[2];
    headers[0].data = a.data();
    headers[0].bufferLength = 800;
    headers[1].data = b.data();
    headers[1].bufferLength = 800;
    for (WaveHeader& h : headers) {
        h.flags = 0;
        ASSERT_EQ(api.PrepareHeader(handle, &h, sizeof h), MMSYSERR_NOERROR);
        ASSERT_EQ(api.QueueBuffer(handle, &h, sizeof h), MMSYSERR_NOERROR);
        EXPECT_EQ(api.QueueBuffer(handle, &h, sizeof h), WAVERR_STILLPLAYING);
    }
    ASSERT_EQ(api.Start(handle), MMSYSERR_NOERROR);
    services.fake.Sleep(25);
    api.Update(handle);
    EXPECT_EQ(headers[0].flags & WHDR_DONE, 0u);
    EXPECT_EQ(api.UnprepareHeader(handle, &headers[0], sizeof(WaveHeader)), WAVERR_STILLPLAYING);
    EXPECT_EQ(api.Close(handle), WAVERR_STILLPLAYING);
    ASSERT_EQ(api.Reset(handle), MMSYSERR_NOERROR);
    for (WaveHeader& h : headers)
        EXPECT_EQ(h.flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    // Input is stopped by reset: nothing more is recorded.
    services.fake.Sleep(1000);
    api.Update(handle);
    EXPECT_EQ(api.Close(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(api.Reset(handle), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualWaveApiTest, TicksWrappingAroundDoNotStallTheStream)
{
    services.fake.now = 0xFFFFFF00u;
    CScopedWaveApi scope(api);
    CWaveInDevice device(0);
    device.SetFormat(1000, 1, 1);
    ASSERT_EQ(device.Open(nullptr, 8), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> data(1000);
    ASSERT_EQ(device.AddBuffer(data.data(), 1000, 0), 1);
    ASSERT_EQ(device.Start(), 1);
    services.fake.Sleep(999);
    EXPECT_EQ(device.IsBufferDone(0), 0);
    services.fake.Sleep(1);
    EXPECT_EQ(device.IsBufferDone(0), 1);
}

// The program's real clock: the recording must take its full second.
TEST(VirtualRealTimeTest, OneSecondRecordingTakesAtLeastOneSecond)
{
    CScopedVirtualWaveApi wave;
    CWaveInDevice device(0);
    device.SetFormat(8000, 1, 2);
    ASSERT_EQ(device.Open(nullptr, 16), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> data(8000 * 2);
    ASSERT_EQ(device.AddBuffer(data.data(), static_cast<std::uint32_t>(data.size()), 0), 1);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(device.Start(), 1);
    while (!device.IsBufferDone(0)) {
        Services().Sleep(10);
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }
    EXPECT_GE(Services().TickCount() - device.GetStartTime(), 1000u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(999));
}

TEST(CompositeWaveApiTest, NumbersDevicesOfEachBackEndInTurn)
{
    CFakeServicesScope services;
    auto first = std::make_unique<CVirtualWaveApi>();
    auto second = std::make_unique<CVirtualWaveApi>();
    first->SetDevices(WaveDirection::Input, {CVirtualWaveApi::MakeDevice("A0"), CVirtualWaveApi::MakeDevice("A1")});
    first->SetDevices(WaveDirection::Output, {});
    CVirtualWaveApi* secondApi = second.get();
    std::vector<std::unique_ptr<CWaveApi>> backEnds;
    backEnds.push_back(std::move(first));
    backEnds.push_back(std::move(second));
    CCompositeWaveApi composite(std::move(backEnds));

    EXPECT_EQ(composite.GetDeviceCount(WaveDirection::Input), 3);
    EXPECT_EQ(composite.GetDeviceCount(WaveDirection::Output), 1);
    WaveDeviceCaps caps;
    ASSERT_EQ(composite.GetDeviceCaps(WaveDirection::Input, 1, caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.productName, "A1");
    ASSERT_EQ(composite.GetDeviceCaps(WaveDirection::Input, 2, caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.productName, VirtualInputName);
    EXPECT_EQ(composite.GetDeviceCaps(WaveDirection::Input, 3, caps), MMSYSERR_BADDEVICEID);

    // A whole session through the composite reaches the right back end.
    CScopedWaveApi scope(composite);
    CWaveOutDevice device(0);
    EXPECT_STREQ(device.GetDeviceName(), VirtualOutputName);
    device.SetFormat(8000, 1, 1);
    ASSERT_EQ(device.Open(nullptr, 8), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> tone(80, 0x42);
    ASSERT_EQ(device.AddBuffer(tone.data(), 80, 0, 0), 1);
    ASSERT_EQ(device.Restart(), 1);
    services.fake.Sleep(10);
    EXPECT_EQ(device.IsBufferDone(0), 1);
    device.Close();
    EXPECT_EQ(secondApi->Device(WaveDirection::Output, 0).played, tone);
    EXPECT_FALSE(secondApi->Device(WaveDirection::Output, 0).isOpen);
}

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
    EXPECT_EQ(onlyVirtual->GetDeviceCount(WaveDirection::Input), 1);
    WaveDeviceCaps caps;
    ASSERT_EQ(onlyVirtual->GetDeviceCaps(WaveDirection::Input, 0, caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.productName, VirtualInputName);
}

} // namespace
