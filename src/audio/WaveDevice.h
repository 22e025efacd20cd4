// SPDX-License-Identifier: GPL-3.0-or-later
// One waveform-audio device in one direction, made for one test step: learns
// the device's capabilities at construction, opens it in the test format
// (plain PCM or extensible description), queues the caller's buffers in up to
// three slots, starts or releases the stream and answers whether a buffer is
// done. Failures are shown at once through the services as bare message keys;
// the wave API's result codes are handed back unchanged.
#pragma once

#include <cstdint>

#include "audio/WaveApi.h"
#include "core/SampleFormat.h"
#include "core/ZeroBlock.h"
#include "platform/Services.h"

constexpr std::uint32_t PreRollLength = 10000;
constexpr std::uint16_t WaveSlotCount = 3;

class CWaveDevice {
public:
    // Counts the devices (none: index -1, no message), probes the capability
    // record (a failed query shows "IDS_DEVICE_IO_FAIL" without icon and
    // keeps the defaults) and allocates the headers (a failure shows
    // "IDS_OUT_OF_MEMORY" and sets headerAllocFailed) and, for "DAL" cards,
    // the pre-roll block (a failure leaves it null, silently).
    CWaveDevice(std::int32_t deviceIndex, WaveDirection direction);
    // Not virtual: devices are destroyed through their own type.
    ~CWaveDevice();
    CWaveDevice(const CWaveDevice&) = delete;
    CWaveDevice& operator=(const CWaveDevice&) = delete;

    // The format the next open uses, repaired as CSampleFormat repairs it
    // (a repaired format makes the open give 8). No result, no message.
    void SetFormat(std::int32_t sampleRate, std::uint16_t channels, std::uint16_t bytesPerSample);
    // Always 1: the device is asked at open, not before.
    int IsFormatSupported(CSampleFormat format);
    int IsFormatSupported(std::int32_t sampleRate, std::uint16_t bytesPerSample, std::uint16_t channels);

    // Standard mode: a PCM description whose bits per sample are `validBits`.
    // Closes an open device first; an output is paused after the open.
    // Returns the wave API's code unchanged (0 open; 8 a format the device
    // does not take; 4 busy; ...), without a message. Without opening:
    // WaveErrNoMemory when the headers are missing, WaveErrBadDeviceId when
    // no device is usable ("IDS_NO_SOUND_CARD" shown when there is none),
    // WaveErrNotSupported when SetFormat had to repair its arguments.
    WaveResult Open(WindowHandle callbackWindow, std::uint16_t validBits);
    // Extended mode: the container bits, with `validBits` given separately;
    // results as Open.
    WaveResult OpenExtended(WindowHandle callbackWindow, std::uint16_t validBits);

    // 1 when the slot's buffer is done (WaveHeaderDone), when the slot is beyond 2
    // or has no header, and for every slot after Close; else 0. No message.
    int IsBufferDone(std::uint16_t slot);
    // Pauses an output, resets, unprepares the prepared slots, closes and
    // makes the headers idle and done. No result, no message; does nothing
    // when not open, so a second Close is harmless.
    virtual void Close();

    // The capability record and the state, for the caller and for tests.
    const char* GetDeviceName() const { return deviceName; }
    std::uint32_t GetManufacturerId() const { return manufacturerId; }
    std::uint32_t GetProductId() const { return productId; }
    std::uint32_t GetDriverVersion() const { return driverVersion; }
    const CSampleFormat& GetMaxFormat() const { return maxFormat; }
    const CSampleFormat& GetMinFormat() const { return minFormat; }
    const CSampleFormat& GetFormat() const { return format; }
    int IsGenericOutputCard() const { return genericOutputCard; }
    int IsSb16Card() const { return sb16Card; }
    int IsPreRollRequired() const { return preRollRequired; }
    int IsDarlaGinaLaylaCard() const { return darlaGinaLaylaCard; }
    int IsPocketCard() const { return pocketCard; }
    int IsEmu8710Card() const { return emu8710Card; }
    int IsStSeriesCard() const { return stSeriesCard; }
    int IsGenericCard() const { return genericCard; }
    int IsPreRollSent() const { return preRollSent; }
    const std::uint8_t* GetPreRollBuffer() const { return preRollBuffer; }
    int IsHeaderAllocFailed() const { return headerAllocFailed; }
    int IsStarted() const { return started; }
    int IsOpen() const { return isOpen; }
    int IsPrepared(std::uint16_t slot) const { return prepared[slot]; }
    WaveDirection GetDirection() const { return direction; }
    std::int32_t GetDeviceIndex() const { return deviceIndex; }
    const WaveHeader* GetHeader(std::uint16_t slot) const { return headers[slot]; }
    WaveHandle GetHandle() const { return handle; }
    std::uint32_t GetStartTime() const { return startTime; }

protected:
    void CheckDeviceCount();
    void AllocateHeaders();
    void ResetHeaders();
    void ProbeCapabilities();

    // The steps both derived AddBuffers share; `loop` only for output.
    int QueueBuffer(std::uint8_t* data, std::uint32_t length, std::uint16_t slot, bool loop,
                    WaveResult* resultCode);

    int preRollSent = 0;
    std::uint8_t* preRollBuffer = nullptr;
    std::uint32_t preRollLength = PreRollLength;
    int genericOutputCard = 1;
    int sb16Card = 0;
    int preRollRequired = 0;
    int darlaGinaLaylaCard = 0;
    int pocketCard = 0;
    int emu8710Card = 0;
    int stSeriesCard = 0;
    int genericCard = 1;
    int headerAllocFailed = 0;
    int started = 0;
    WaveDirection direction;
    WaveHeader* headers[WaveSlotCount] = {nullptr, nullptr, nullptr};
    int prepared[WaveSlotCount] = {0, 0, 0};
    int isOpen = 0;
    std::int32_t deviceIndex;
    CSampleFormat maxFormat;
    CSampleFormat minFormat;
    CSampleFormat format;
    char deviceName[WaveProductNameLength] = {};
    std::uint32_t manufacturerId = 0;
    std::uint32_t productId = 0;
    std::uint32_t driverVersion = 0;
    WaveHandle handle = 0;
    std::uint32_t startTime = 0;

private:
    WaveResult OpenWith(const void* description, WindowHandle callbackWindow);

    // The memory behind the headers and the pre-roll block; it stays at one
    // address for the device's life.
    CZeroBlock headerBlocks[WaveSlotCount];
    CZeroBlock preRollBlock;
    // SetFormat's arguments had to be repaired, so the format to open is not
    // the one asked for.
    bool formatRepaired = false;
};

class CWaveOutDevice final : public CWaveDevice {
public:
    explicit CWaveOutDevice(std::int32_t deviceIndex) : CWaveDevice(deviceIndex, WaveDirection::Output) {}

    // Queues `data` in `slot` (after the "DAL" pre-roll in slot 2, once per
    // open). 1 queued, with 0 in `resultCode`. 0 not queued: on a device not
    // open, with "IDS_DEVICE_IO_FAIL"; for slot ≥ 3, no handle, null data or
    // length 0, silently and `resultCode` untouched; when the prepare or the
    // write fails (a 34 is retried once after a new prepare), with
    // "IDS_DEVICE_IO_FAIL" and the wave API's code in `resultCode`; the
    // device stays open.
    int AddBuffer(std::uint8_t* data, std::uint32_t length, std::uint16_t slot, int loop,
                  WaveResult* resultCode = nullptr);
    // Releases the playback that Open left paused. 1 playing; 0 silently
    // when not open; 0 with "IDS_DEVICE_IO_FAIL" and the device closed when
    // the wave API refuses (its code in `resultCode`).
    int Restart(WaveResult* resultCode = nullptr);
};

class CWaveInDevice final : public CWaveDevice {
public:
    explicit CWaveInDevice(std::int32_t deviceIndex) : CWaveDevice(deviceIndex, WaveDirection::Input) {}

    // As the output's AddBuffer, except that a failed prepare or a first
    // failed add other than 34 also closes the device.
    int AddBuffer(std::uint8_t* data, std::uint32_t length, std::uint16_t slot, WaveResult* resultCode = nullptr);
    // Starts recording. 1 started; 0 silently when not open or started
    // already; 0 with "IDS_DEVICE_IO_FAIL", the device closed and `started`
    // still set when the wave API refuses (its code in `resultCode`).
    int Start(WaveResult* resultCode = nullptr);
};
