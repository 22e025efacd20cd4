// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/WaveDevice.h"

#include <new>

namespace {

const char* const DeviceIoFail = "IDS_DEVICE_IO_FAIL";
const char* const NoSoundCard = "IDS_NO_SOUND_CARD";
const char* const OutOfMemory = "IDS_OUT_OF_MEMORY";

constexpr std::uint32_t HeaderSize = sizeof(WaveHeader);

// Both front channels are named even for mono, as the devices always have.
constexpr std::uint32_t ExtensibleChannelMask = WaveSpeakerFrontLeft | WaveSpeakerFrontRight;

void ShowFailure(const char* key)
{
    Services().ShowMessage(key, MessageIcon::Error);
}

void MakeIdle(WaveHeader& header)
{
    header.data = nullptr;
    header.bufferLength = 0;
    header.bytesRecorded.store(0, std::memory_order_relaxed);
    header.flags.store(WaveHeaderDone, std::memory_order_release);
    header.loops = 0;
}

} // namespace

CWaveDevice::CWaveDevice(std::int32_t index, WaveDirection deviceDirection)
    : direction(deviceDirection), deviceIndex(index), maxFormat(44100, 1, 2), minFormat(44100, 1, 2),
      format(44100, 1, 2)
{
    if (WaveApi().GetDeviceCount(direction) == 0)
        deviceIndex = -1;
    minFormat.Set(11025, 1, 1);
    maxFormat.Set(44100, 2, 2);
    format.Set(44100, 2, 2);
    ProbeCapabilities();
    AllocateHeaders();
    if (preRollRequired && preRollBlock.Allocate(PreRollLength))
        preRollBuffer = preRollBlock.Data();
}

CWaveDevice::~CWaveDevice()
{
    CWaveDevice::Close();
    // The headers' memory goes with headerBlocks; the header type needs no destructor.
}

void CWaveDevice::AllocateHeaders()
{
    for (std::uint16_t slot = 0; slot < WaveSlotCount; ++slot) {
        if (!headerBlocks[slot].Allocate(sizeof(WaveHeader))) {
            ShowFailure(OutOfMemory);
            headerAllocFailed = 1;
            return;
        }
        headers[slot] = new (headerBlocks[slot].Data()) WaveHeader;
        MakeIdle(*headers[slot]);
        prepared[slot] = 0;
    }
}

void CWaveDevice::ResetHeaders()
{
    for (WaveHeader* header : headers) {
        if (header != nullptr)
            MakeIdle(*header);
    }
}

void CWaveDevice::SetFormat(std::int32_t sampleRate, std::uint16_t channels, std::uint16_t bytesPerSample)
{
    format.Set(sampleRate, channels, bytesPerSample);
    formatRepaired = sampleRate == 0 || channels < 1 || channels > 2 || bytesPerSample < 1 || bytesPerSample > 4;
    IsFormatSupported(format);
}

int CWaveDevice::IsFormatSupported(CSampleFormat)
{
    return 1;
}

int CWaveDevice::IsFormatSupported(std::int32_t, std::uint16_t, std::uint16_t)
{
    return 1;
}

void CWaveDevice::CheckDeviceCount()
{
    std::uint16_t count = WaveApi().GetDeviceCount(direction);
    if (count == 0) {
        ShowFailure(NoSoundCard);
        deviceIndex = -1;
    } else if (deviceIndex > std::int32_t{count} - 1) {
        deviceIndex = count - 1;
    }
}

WaveResult CWaveDevice::Open(WindowHandle callbackWindow, std::uint16_t validBits)
{
    PcmWaveFormat description{};
    description.formatTag = WaveFormatTagPcm;
    description.channels = format.channels;
    description.samplesPerSec = static_cast<std::uint32_t>(format.sampleRate);
    description.avgBytesPerSec =
        static_cast<std::uint32_t>(format.sampleRate) * format.channels * format.bytesPerSample;
    description.blockAlign = static_cast<std::uint16_t>(format.channels * format.bytesPerSample);
    // The valid bits stand where the container bits would; a device refuses
    // them unless they fill the block.
    description.bitsPerSample = validBits;
    return OpenWith(&description, callbackWindow);
}

WaveResult CWaveDevice::OpenExtended(WindowHandle callbackWindow, std::uint16_t validBits)
{
    ExtensibleWaveFormat description{};
    description.formatTag = WaveFormatTagExtensible;
    description.channels = format.channels;
    description.samplesPerSec = static_cast<std::uint32_t>(format.sampleRate);
    description.avgBytesPerSec =
        static_cast<std::uint32_t>(format.sampleRate) * format.channels * format.bytesPerSample;
    description.blockAlign = static_cast<std::uint16_t>(format.channels * format.bytesPerSample);
    description.bitsPerSample = static_cast<std::uint16_t>(format.bitsPerSample);
    description.cbSize = ExtensibleFormatExtraBytes;
    description.validBitsPerSample = validBits;
    description.channelMask = ExtensibleChannelMask;
    description.subFormat = WaveSubtypePcm;
    return OpenWith(&description, callbackWindow);
}

WaveResult CWaveDevice::OpenWith(const void* description, WindowHandle callbackWindow)
{
    // Every early return says why nothing was opened: a caller that only
    // looks at the code must not take it for success.
    if (headerAllocFailed)
        return WaveErrNoMemory;
    CheckDeviceCount();
    if (deviceIndex == -1)
        return WaveErrBadDeviceId;
    if (isOpen)
        Close();
    for (int& slotPrepared : prepared)
        slotPrepared = 0;
    if (formatRepaired)
        return WaveErrNotSupported;

    std::uint32_t flags = callbackWindow != nullptr ? WaveCallbackWindow : WaveCallbackNull;
    CWaveApi& api = WaveApi();
    handle = 0;
    WaveResult result = api.Open(direction, handle, static_cast<std::uint32_t>(deviceIndex), description,
                                 callbackWindow, 0, flags);
    isOpen = result == WaveNoError;
    // An output waits for Restart whatever it was given; the answer does not matter.
    if (direction == WaveDirection::Output)
        api.Pause(handle);
    return result;
}

int CWaveDevice::QueueBuffer(std::uint8_t* data, std::uint32_t length, std::uint16_t slot, bool loop,
                             WaveResult* resultCode)
{
    WaveResult scratch = WaveNoError;
    if (resultCode == nullptr)
        resultCode = &scratch;
    bool input = direction == WaveDirection::Input;

    // "DAL" cards need a block of silence ahead of the first transfer after
    // each open; it is tried once, whether or not it can be queued.
    if (preRollRequired && !preRollSent) {
        preRollSent = 1;
        if (preRollBuffer != nullptr)
            QueueBuffer(preRollBuffer, preRollLength, 2, false, nullptr);
    }

    if (!isOpen) {
        ShowFailure(DeviceIoFail);
        return 0;
    }
    if (slot >= WaveSlotCount || deviceIndex == -1 || handle == 0 || data == nullptr || length == 0)
        return 0;

    WaveHeader& header = *headers[slot];
    header.data = data;
    header.bufferLength = length;
    if (input)
        header.bytesRecorded.store(0, std::memory_order_relaxed);
    else
        header.user = 0;
    // Overwriting the flags also drops the back end's prepared mark, which is
    // why a reused slot meets WaveErrUnprepared below and is prepared again.
    header.flags.store(loop ? WaveHeaderBeginLoop | WaveHeaderEndLoop : 0, std::memory_order_relaxed);
    header.loops = loop ? WaveLoopForever : 0;

    CWaveApi& api = WaveApi();
    if (!prepared[slot]) {
        *resultCode = api.PrepareHeader(handle, &header, HeaderSize);
        if (*resultCode != WaveNoError) {
            ShowFailure(DeviceIoFail);
            if (input)
                Close();
            return 0;
        }
        prepared[slot] = 1;
    }

    *resultCode = api.QueueBuffer(handle, &header, HeaderSize);
    if (*resultCode == WaveNoError)
        return 1;
    if (*resultCode == WaveErrUnprepared) {
        api.PrepareHeader(handle, &header, HeaderSize);
        *resultCode = api.QueueBuffer(handle, &header, HeaderSize);
        if (*resultCode == WaveNoError)
            return 1;
        ShowFailure(DeviceIoFail);
        return 0;
    }
    ShowFailure(DeviceIoFail);
    if (input)
        Close();
    return 0;
}

int CWaveDevice::IsBufferDone(std::uint16_t slot)
{
    // Out-of-range slots hold no buffer, so there is nothing to wait for.
    if (slot >= WaveSlotCount || headers[slot] == nullptr)
        return 1;
    if (isOpen && handle != 0)
        WaveApi().Update(handle);
    return (headers[slot]->flags.load(std::memory_order_acquire) & WaveHeaderDone) != 0 ? 1 : 0;
}

void CWaveDevice::Close()
{
    if (headerAllocFailed || !isOpen || deviceIndex == -1 || handle == 0)
        return;
    CWaveApi& api = WaveApi();
    if (direction == WaveDirection::Output)
        api.Pause(handle);
    api.Reset(handle);
    for (std::uint16_t slot = 0; slot < WaveSlotCount; ++slot) {
        if (prepared[slot])
            api.UnprepareHeader(handle, headers[slot], HeaderSize);
        prepared[slot] = 0;
    }
    api.Close(handle);
    if (direction == WaveDirection::Input)
        started = 0;
    ResetHeaders();
    isOpen = 0;
    preRollSent = 0;
    handle = 0;
}

int CWaveOutDevice::AddBuffer(std::uint8_t* data, std::uint32_t length, std::uint16_t slot, int loop,
                              WaveResult* resultCode)
{
    return QueueBuffer(data, length, slot, loop != 0, resultCode);
}

int CWaveOutDevice::Restart(WaveResult* resultCode)
{
    if (!isOpen || deviceIndex == -1 || handle == 0)
        return 0;
    WaveResult result = WaveApi().Restart(handle);
    if (resultCode != nullptr)
        *resultCode = result;
    if (result == WaveNoError)
        return 1;
    ShowFailure(DeviceIoFail);
    Close();
    return 0;
}

int CWaveInDevice::AddBuffer(std::uint8_t* data, std::uint32_t length, std::uint16_t slot, WaveResult* resultCode)
{
    return QueueBuffer(data, length, slot, false, resultCode);
}

int CWaveInDevice::Start(WaveResult* resultCode)
{
    if (!isOpen || deviceIndex == -1 || handle == 0)
        return 0;
    if (started)
        return 0;
    WaveResult result = WaveApi().Start(handle);
    if (resultCode != nullptr)
        *resultCode = result;
    if (result == WaveNoError) {
        startTime = Services().TickCount();
        started = 1;
        return 1;
    }
    ShowFailure(DeviceIoFail);
    Close();
    started = 1;
    return 0;
}
