// SPDX-License-Identifier: GPL-3.0-or-later
// The WASAPI pieces on fake interfaces: the format descriptions byte for
// byte against the platform's own structures, the HRESULT mapping, the
// exclusive-mode initialisation and the stream pump feeding and draining
// the device layer's buffers.
#include <windows.h>

#include <audioclient.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/WaveHeaderRules.h"
#include "audio/backends/WasapiExclusive.h"
#include "audio/backends/WasapiFormat.h"
#include "audio/backends/WasapiResult.h"
#include "audio/backends/WasapiStream.h"
#include "FakeAudioClient.h"

namespace {

// The Standard API mode's description, read from its 16 bytes alone.
TEST(WasapiFormat, PlainDescriptionIsTheWaveFormatExBytesWithNoExtraBytes)
{
    PcmWaveFormat plain{WaveFormatTagPcm, 2, 48000, 192000, 4, 16};
    WAVEFORMATEX expected{};
    expected.wFormatTag = WAVE_FORMAT_PCM;
    expected.nChannels = 2;
    expected.nSamplesPerSec = 48000;
    expected.nAvgBytesPerSec = 192000;
    expected.nBlockAlign = 4;
    expected.wBitsPerSample = 16;
    expected.cbSize = 0;
    std::vector<std::uint8_t> bytes = WasapiFormatBytes(&plain);
    ASSERT_EQ(bytes.size(), sizeof expected);
    EXPECT_EQ(0, std::memcmp(bytes.data(), &expected, sizeof expected));
}

TEST(WasapiFormat, ExtensibleDescriptionIsTheWaveFormatExtensibleBytesWithItsValidBits)
{
    ExtensibleWaveFormat extensible{WaveFormatTagExtensible, 2, 96000, 768000, 8, 32,
                                    ExtensibleFormatExtraBytes, 24, WaveSpeakerFrontLeft | WaveSpeakerFrontRight,
                                    WaveSubtypePcm};
    WAVEFORMATEXTENSIBLE expected{};
    expected.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    expected.Format.nChannels = 2;
    expected.Format.nSamplesPerSec = 96000;
    expected.Format.nAvgBytesPerSec = 768000;
    expected.Format.nBlockAlign = 8;
    expected.Format.wBitsPerSample = 32;
    expected.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    expected.Samples.wValidBitsPerSample = 24;
    expected.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    expected.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    std::vector<std::uint8_t> bytes = WasapiFormatBytes(&extensible);
    ASSERT_EQ(bytes.size(), sizeof expected);
    EXPECT_EQ(0, std::memcmp(bytes.data(), &expected, sizeof expected));
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


// A header over `data`, prepared and queued as the wave API's rules leave it.
void QueueOn(CWasapiStream& stream, WaveHeader& header, std::vector<std::uint8_t>& data, WaveDirection direction)
{
    header.data = data.data();
    header.bufferLength = static_cast<std::uint32_t>(data.size());
    MarkHeaderPrepared(header);
    MarkHeaderQueued(header, direction);
    stream.Queue(&header);
}

bool Done(const WaveHeader& header)
{
    return (header.flags.load() & WaveHeaderDone) != 0;
}

TEST(WasapiStream, OutputBuffersPlayInTurnAndARequeuedOnePlaysAgain)
{
    CFakeRender device(4, 2);
    CWasapiStream stream(&device, &device, nullptr, 2, 4);
    std::vector<std::uint8_t> first{1, 1, 2, 2, 3, 3}, second{7, 7, 8, 8};
    WaveHeader a, b;
    QueueOn(stream, a, first, WaveDirection::Output);
    QueueOn(stream, b, second, WaveDirection::Output);
    ASSERT_EQ(stream.Start(), S_OK);
    const char* call = nullptr;
    device.Play(3);
    ASSERT_EQ(stream.Pump(call), S_OK);
    EXPECT_TRUE(Done(a));
    EXPECT_FALSE(Done(b));
    QueueOn(stream, a, first, WaveDirection::Output); // the device layer's next slot
    for (int i = 0; i < 4; ++i) {
        device.Play(4);
        ASSERT_EQ(stream.Pump(call), S_OK);
    }
    EXPECT_TRUE(Done(a) && Done(b));
    EXPECT_EQ(a.bytesRecorded.load(), 6u);
    // Both in turn, then silence while the device layer had nothing queued,
    // then the requeued buffer; never a stale buffer played twice.
    std::vector<std::uint8_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_GE(device.played.size(), both.size());
    EXPECT_TRUE(std::equal(both.begin(), both.end(), device.played.begin()));
    auto rest = device.played.begin() + static_cast<std::ptrdiff_t>(both.size());
    auto again = std::search(rest, device.played.end(), first.begin(), first.end());
    ASSERT_NE(again, device.played.end());
    auto isSilence = [](std::uint8_t byte) { return byte == 0; };
    EXPECT_TRUE(std::all_of(rest, again, isSilence));
    EXPECT_TRUE(std::all_of(again + static_cast<std::ptrdiff_t>(first.size()), device.played.end(), isSilence));
}

TEST(WasapiStream, InputBuffersFillInTurnFromThePackets)
{
    CFakeCapture device(2);
    CWasapiStream stream(&device, nullptr, &device, 2, 8);
    std::vector<std::uint8_t> first(6), second(4);
    WaveHeader a, b;
    QueueOn(stream, a, first, WaveDirection::Input);
    QueueOn(stream, b, second, WaveDirection::Input);
    ASSERT_EQ(stream.Start(), S_OK);
    device.packets.push_back({{1, 1, 2, 2}, 0});
    device.packets.push_back({{3, 3, 4, 4}, AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY}); // spans both buffers
    device.packets.push_back({{9, 9}, AUDCLNT_BUFFERFLAGS_SILENT});                    // zeros, whatever it holds
    device.packets.push_back({{5, 5, 6, 6}, 0});                                       // no buffer left to take it
    const char* call = nullptr;
    ASSERT_EQ(stream.Pump(call), S_OK);
    EXPECT_TRUE(Done(a) && Done(b));
    EXPECT_EQ(a.bytesRecorded.load(), 6u);
    EXPECT_EQ(b.bytesRecorded.load(), 4u);
    EXPECT_EQ(first, (std::vector<std::uint8_t>{1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(second, (std::vector<std::uint8_t>{4, 4, 0, 0}));
    EXPECT_EQ(stream.FramesDropped(), 2u);
    EXPECT_EQ(stream.Discontinuities(), 1u);
}

TEST(WasapiStream, NothingMovesUntilStarted)
{
    CFakeCapture device(2);
    CWasapiStream stream(&device, nullptr, &device, 2, 8);
    std::vector<std::uint8_t> data(4);
    WaveHeader header;
    QueueOn(stream, header, data, WaveDirection::Input);
    device.packets.push_back({{1, 1, 2, 2}, 0});
    const char* call = nullptr;
    ASSERT_EQ(stream.Pump(call), S_OK);
    EXPECT_FALSE(Done(header));
    EXPECT_EQ(device.packets.size(), 1u);
}

TEST(WasapiStream, ResetStopsAndHandsEveryBufferBackTheInputsFrontKeepingItsCount)
{
    CFakeCapture input(2);
    CWasapiStream recording(&input, nullptr, &input, 2, 8);
    std::vector<std::uint8_t> first(8), second(8);
    WaveHeader a, b;
    QueueOn(recording, a, first, WaveDirection::Input);
    QueueOn(recording, b, second, WaveDirection::Input);
    ASSERT_EQ(recording.Start(), S_OK);
    input.packets.push_back({{1, 1, 2, 2}, 0});
    const char* call = nullptr;
    ASSERT_EQ(recording.Pump(call), S_OK);
    ASSERT_EQ(recording.Reset(), S_OK);
    EXPECT_EQ(input.stops, 1);
    EXPECT_EQ(input.resets, 1);
    EXPECT_FALSE(recording.Running());
    EXPECT_FALSE(recording.HasPending());
    EXPECT_TRUE(Done(a) && Done(b));
    EXPECT_EQ(a.bytesRecorded.load(), 4u);
    EXPECT_EQ(b.bytesRecorded.load(), 0u);

    CFakeRender output(8, 2);
    CWasapiStream playing(&output, &output, nullptr, 2, 8);
    std::vector<std::uint8_t> data(4, 5);
    WaveHeader header;
    QueueOn(playing, header, data, WaveDirection::Output);
    ASSERT_EQ(playing.Start(), S_OK);
    ASSERT_EQ(playing.Reset(), S_OK);
    EXPECT_TRUE(Done(header));
    EXPECT_EQ(output.queued, 0u);
    // Started again, it plays from an empty endpoint buffer.
    QueueOn(playing, header, data, WaveDirection::Output);
    ASSERT_EQ(playing.Start(), S_OK);
    EXPECT_EQ(output.starts, 2);
    output.Play(8);
    ASSERT_EQ(playing.Pump(call), S_OK);
    EXPECT_TRUE(Done(header));
}

// Endpoints with `count` fresh clients, the first answering `first`.
std::unique_ptr<CFakeEndpoints> Clients(std::size_t count)
{
    auto endpoints = std::make_unique<CFakeEndpoints>();
    for (std::size_t i = 0; i < count; ++i)
        endpoints->clients.push_back(std::make_unique<CFakeAudioClient>());
    return endpoints;
}

HRESULT Initialise(CFakeEndpoints& endpoints, WasapiExclusiveMode& mode, const char*& call)
{
    PcmWaveFormat plain{WaveFormatTagPcm, 2, 48000, 192000, 4, 16};
    std::vector<std::uint8_t> bytes = WasapiFormatBytes(&plain);
    IAudioClient* client = nullptr;
    endpoints.Activate(WaveDirection::Output, 0, client, call);
    return InitialiseExclusive(endpoints, WaveDirection::Output, 0, client,
                               reinterpret_cast<const WAVEFORMATEX*>(bytes.data()), mode, call);
}

TEST(WasapiExclusive, EventDrivenAtTheDevicePeriodWhenTheDriverTakesIt)
{
    auto endpoints = Clients(1);
    WasapiExclusiveMode mode;
    const char* call = nullptr;
    ASSERT_EQ(Initialise(*endpoints, mode, call), S_OK);
    const auto& calls = endpoints->clients[0]->initializeCalls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].mode, AUDCLNT_SHAREMODE_EXCLUSIVE);
    EXPECT_EQ(calls[0].flags, static_cast<DWORD>(AUDCLNT_STREAMFLAGS_EVENTCALLBACK));
    EXPECT_EQ(calls[0].duration, 100000);
    EXPECT_EQ(calls[0].period, 100000);
    EXPECT_TRUE(mode.eventDriven);
}

TEST(WasapiExclusive, AnIdleDeviceRefusingEventsAsBusyIsAskedForATimerDrivenStream)
{
    auto endpoints = Clients(2);
    endpoints->clients[0]->initializeResult = AUDCLNT_E_DEVICE_IN_USE;
    WasapiExclusiveMode mode;
    const char* call = nullptr;
    ASSERT_EQ(Initialise(*endpoints, mode, call), S_OK);
    EXPECT_EQ(endpoints->clients[0]->releases, 1) << "a client whose Initialize failed is not used again";
    const auto& calls = endpoints->clients[1]->initializeCalls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].flags, 0u);
    EXPECT_EQ(calls[0].duration, WasapiTimerBufferPeriods * 100000);
    EXPECT_FALSE(mode.eventDriven);

    // A device truly busy says so twice, and the refusal stands.
    auto busy = Clients(2);
    for (auto& client : busy->clients)
        client->initializeResult = AUDCLNT_E_DEVICE_IN_USE;
    EXPECT_EQ(Initialise(*busy, mode, call), AUDCLNT_E_DEVICE_IN_USE);
    EXPECT_STREQ(call, "IAudioClient::Initialize");
}

TEST(WasapiExclusive, AFormatTheDriverRefusesIsNeverInitialised)
{
    for (HRESULT answer : {AUDCLNT_E_UNSUPPORTED_FORMAT, S_FALSE}) {
        auto endpoints = Clients(1);
        endpoints->clients[0]->formatResult = answer;
        WasapiExclusiveMode mode;
        const char* call = nullptr;
        EXPECT_EQ(Initialise(*endpoints, mode, call), AUDCLNT_E_UNSUPPORTED_FORMAT);
        EXPECT_STREQ(call, "IAudioClient::IsFormatSupported");
        EXPECT_TRUE(endpoints->clients[0]->initializeCalls.empty());
    }
}

TEST(WasapiExclusive, AnAligningDriverIsAskedAgainOnANewClientAtItsSize)
{
    auto endpoints = Clients(2);
    endpoints->clients[0]->initializeResult = AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
    endpoints->clients[0]->size = 512; // frames at 48 kHz: 106667 in 100 ns units
    WasapiExclusiveMode mode;
    const char* call = nullptr;
    ASSERT_EQ(Initialise(*endpoints, mode, call), S_OK);
    const auto& calls = endpoints->clients[1]->initializeCalls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].duration, 106667);
    EXPECT_EQ(calls[0].period, 106667);
    EXPECT_EQ(mode.period, 106667);
}

} // namespace
