// SPDX-License-Identifier: GPL-3.0-or-later
// The WASAPI pieces on fake interfaces: the format descriptions byte for
// byte against the platform's own structures, the HRESULT mapping, and the
// stream pump feeding and draining the device layer's buffers.
#include <windows.h>

#include <audioclient.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/WaveHeaderRules.h"
#include "audio/backends/WasapiFormat.h"
#include "audio/backends/WasapiResult.h"
#include "audio/backends/WasapiStream.h"

namespace {

TEST(WasapiFormat, PlainDescriptionIsAWaveFormatExWithNoExtraBytes)
{
    PcmWaveFormat plain{WaveFormatTagPcm, 2, 48000, 192000, 4, 16};
    std::vector<std::uint8_t> bytes = WasapiFormatBytes(&plain);
    ASSERT_EQ(bytes.size(), sizeof(WAVEFORMATEX));
    WAVEFORMATEX platform;
    std::memcpy(&platform, bytes.data(), sizeof platform);
    EXPECT_EQ(platform.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(platform.nChannels, 2);
    EXPECT_EQ(platform.nSamplesPerSec, 48000u);
    EXPECT_EQ(platform.nAvgBytesPerSec, 192000u);
    EXPECT_EQ(platform.nBlockAlign, 4);
    EXPECT_EQ(platform.wBitsPerSample, 16);
    EXPECT_EQ(platform.cbSize, 0);
}

TEST(WasapiFormat, ExtensibleDescriptionIsAWaveFormatExtensibleWithItsValidBits)
{
    ExtensibleWaveFormat extensible{WaveFormatTagExtensible, 2, 96000, 768000, 8, 32,
                                    ExtensibleFormatExtraBytes, 24, WaveSpeakerFrontLeft | WaveSpeakerFrontRight,
                                    WaveSubtypePcm};
    std::vector<std::uint8_t> bytes = WasapiFormatBytes(&extensible);
    ASSERT_EQ(bytes.size(), sizeof(WAVEFORMATEXTENSIBLE));
    WAVEFORMATEXTENSIBLE platform;
    std::memcpy(&platform, bytes.data(), sizeof platform);
    EXPECT_EQ(platform.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(platform.Format.cbSize, 22);
    EXPECT_EQ(platform.Samples.wValidBitsPerSample, 24);
    EXPECT_EQ(platform.dwChannelMask, static_cast<DWORD>(SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT));
    EXPECT_TRUE(IsEqualGUID(platform.SubFormat, KSDATAFORMAT_SUBTYPE_PCM));
}

TEST(WasapiFormat, UnknownTagGivesNoDescription)
{
    PcmWaveFormat floating{3, 2, 48000, 384000, 8, 32};
    EXPECT_TRUE(WasapiFormatBytes(&floating).empty());
    EXPECT_TRUE(WasapiFormatBytes(nullptr).empty());
}

TEST(WasapiResult, RefusalsMapToTheCodesTheReportWords)
{
    struct Row {
        HRESULT hr;
        WaveResult code;
        const char* text;
    } rows[] = {
        {AUDCLNT_E_UNSUPPORTED_FORMAT, WaveErrNotSupported, "AUDCLNT_E_UNSUPPORTED_FORMAT (0x88890008)"},
        {AUDCLNT_E_DEVICE_IN_USE, WaveErrAllocated, "AUDCLNT_E_DEVICE_IN_USE (0x8889000A)"},
        {AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED, WaveErrNotEnabled, "AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED (0x8889000E)"},
        {AUDCLNT_E_DEVICE_INVALIDATED, WaveErrNoDriver, "AUDCLNT_E_DEVICE_INVALIDATED (0x88890004)"},
        {E_OUTOFMEMORY, WaveErrNoMemory, nullptr},
        {E_INVALIDARG, WaveErrInvalidParam, nullptr},
        {HRESULT_FROM_WIN32(ERROR_NOT_FOUND), WaveErrBadDeviceId, nullptr},
        {E_FAIL, WaveErrUnspecified, nullptr},
        {S_FALSE, WaveNoError, nullptr},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(WaveResultOfHresult(row.hr), row.code) << std::hex << row.hr;
        if (row.text != nullptr) {
            EXPECT_EQ(HresultText(row.hr), row.text);
        }
    }
    EXPECT_NE(HresultText(E_OUTOFMEMORY).find("(0x8007000E)"), std::string::npos);
    EXPECT_TRUE(HresultMeansLost(AUDCLNT_E_DEVICE_INVALIDATED));
    EXPECT_FALSE(HresultMeansLost(AUDCLNT_E_UNSUPPORTED_FORMAT));
}

// An endpoint buffer that plays `consume` frames between two pump calls.
class CFakeRender : public IAudioClient, public IAudioRenderClient {
public:
    explicit CFakeRender(UINT32 frames, UINT32 blockAlign) : buffer(frames * blockAlign), align(blockAlign), size(frames) {}
    // IUnknown: the test owns the object.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    // IAudioClient: only what the pump calls answers.
    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE, DWORD, REFERENCE_TIME, REFERENCE_TIME,
                                         const WAVEFORMATEX*, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override { *frames = size; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* padding) override { *padding = queued; return paddingResult; }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX*, WAVEFORMATEX**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Start() override { ++starts; return S_OK; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { queued = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetService(REFIID, void**) override { return E_NOTIMPL; }
    // IAudioRenderClient
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override
    {
        if (frames > size - queued)
            return AUDCLNT_E_BUFFER_TOO_LARGE;
        *data = buffer.data();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD) override
    {
        played.insert(played.end(), buffer.begin(), buffer.begin() + frames * align);
        queued += frames;
        return S_OK;
    }
    // The device plays `frames` of what is queued.
    void Play(UINT32 frames) { queued -= std::min(queued, frames); }

    std::vector<BYTE> buffer;
    std::vector<BYTE> played; // every byte released, silence included
    UINT32 align, size, queued = 0;
    int starts = 0;
    HRESULT paddingResult = S_OK;
};

TEST(WasapiStream, OutputBufferIsDoneOnlyAfterItsLastFrameLeftTheEndpoint)
{
    CFakeRender device(8, 2);
    CWasapiStream stream(&device, &device, nullptr, 2, 8);
    std::uint8_t data[12] = {1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6}; // 6 frames
    WaveHeader header;
    header.data = data;
    header.bufferLength = sizeof data;
    MarkHeaderPrepared(header);
    MarkHeaderQueued(header, WaveDirection::Output);
    stream.Queue(&header);
    ASSERT_EQ(stream.Start(), S_OK); // pre-fills the whole buffer: 6 frames and 2 of silence
    EXPECT_EQ(device.starts, 1);
    ASSERT_EQ(device.played.size(), 16u);
    EXPECT_EQ(0, std::memcmp(device.played.data(), data, sizeof data));
    EXPECT_EQ(device.played[12], 0);
    const char* call = nullptr;
    device.Play(5);
    ASSERT_EQ(stream.Pump(call), S_OK);
    EXPECT_FALSE(header.flags.load() & WaveHeaderDone) << "one frame is still in the endpoint's buffer";
    device.Play(1);
    ASSERT_EQ(stream.Pump(call), S_OK);
    EXPECT_TRUE(header.flags.load() & WaveHeaderDone);
    EXPECT_FALSE(stream.HasPending());
}

TEST(WasapiStream, FailedCallIsNamed)
{
    CFakeRender device(8, 2);
    CWasapiStream stream(&device, &device, nullptr, 2, 8);
    ASSERT_EQ(stream.Start(), S_OK);
    device.paddingResult = AUDCLNT_E_DEVICE_INVALIDATED;
    const char* call = nullptr;
    EXPECT_EQ(stream.Pump(call), AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_STREQ(call, "IAudioClient::GetCurrentPadding");
}

} // namespace
