// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform-audio interface of Windows (winmm.dll) behind the wave API:
// the platform numbers and names the devices, opens them in exactly the
// description the device layer built, and fills or plays the buffers from
// its own threads.
//
// Results are the platform's MMRESULT codes cut to 16 bits, passed through
// unchanged, with these exceptions decided here before the platform is
// called:
// - a handle this object did not open (or already closed) gives
//   WaveErrInvalidHandle (5);
// - a null header, a header size below sizeof(WaveHeader), or a format that
//   is neither WaveFormatTagPcm nor WaveFormatTagExtensible gives
//   WaveErrInvalidParam (11);
// - queueing a header that was not prepared on that handle gives
//   WaveErrUnprepared (34), as the platform would.
//
// Each prepared WaveHeader gets a platform WAVEHDR of its own, owned here,
// which the platform writes while the buffer is queued. The WaveHeader's
// flags and bytesRecorded mirror it after every call on that handle and on
// Update, so WaveHeaderDone seen by the device layer is the platform's own bit;
// bytesRecorded is stored before the flags (release).
//
// Devices open with WAVE_FORMAT_DIRECT, so a driver is not given a format
// converted by the platform's mapper; the open fails with the platform's
// code (WaveErrBadFormat, 32) instead.
//
// Destroying the object resets and closes every device still open, so the
// platform never writes into a freed WAVEHDR.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "audio/WaveApi.h"

class CWinMmWaveApi : public CWaveApi {
public:
    CWinMmWaveApi();
    ~CWinMmWaveApi() override;
    CWinMmWaveApi(const CWinMmWaveApi&) = delete;
    CWinMmWaveApi& operator=(const CWinMmWaveApi&) = delete;

    // waveOutGetNumDevs/waveInGetNumDevs, 0xFFFF when larger.
    std::uint16_t GetDeviceCount(WaveDirection direction) override;
    // waveOutGetDevCapsA/waveInGetDevCapsA: name, ids, driver version,
    // dwFormats and channels as the platform gives them.
    WaveResult GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps) override;
    // waveOutOpen/waveInOpen; `callbackWindow` is an HWND when flags hold
    // WaveCallbackWindow. An output is paused by the device layer, not here.
    WaveResult Open(WaveDirection direction, WaveHandle& handle, std::uint32_t device, const void* format,
                    WindowHandle callbackWindow, std::uintptr_t instance, std::uint32_t flags) override;
    // waveOutClose/waveInClose; the handle stays open when the platform refuses.
    WaveResult Close(WaveHandle handle) override;
    WaveResult PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    // The platform's WAVEHDR is released only when the platform unprepared it.
    WaveResult UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    // waveOutWrite/waveInAddBuffer.
    WaveResult QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    // waveInStart; WaveErrInvalidHandle on an output.
    WaveResult Start(WaveHandle handle) override;
    // waveOutPause/waveOutRestart; WaveErrInvalidHandle on an input.
    WaveResult Pause(WaveHandle handle) override;
    WaveResult Restart(WaveHandle handle) override;
    // waveOutReset/waveInReset: every queued buffer comes back done.
    WaveResult Reset(WaveHandle handle) override;
    // Mirrors the platform's WAVEHDRs of the handle into their WaveHeaders.
    void Update(WaveHandle handle) override;
    // The product name, and the last call that failed on the device with
    // its code and the platform's text for it (waveOutGetErrorTextA).
    WaveHostDetail HostDetail(WaveDirection direction, std::uint32_t device) override;

    struct Stream; // the platform handle and the WAVEHDRs, in WinMmWaveApi.cpp

private:
    Stream* Find(WaveHandle handle);
    void Fail(WaveDirection direction, std::uint32_t device, const char* call, unsigned result);
    void Fail(const Stream& stream, const char* call, unsigned result);
    // Runs one stream control of the platform (`call` names it) on an open
    // stream of the direction: WaveErrInvalidHandle for any other handle,
    // else the platform's code, recorded as the device's last failure.
    WaveResult Control(WaveHandle handle, WaveDirection direction, const char* call, unsigned (*control)(Stream&));

    std::mutex mutex;
    std::map<WaveHandle, std::unique_ptr<Stream>> streams;
    std::map<std::pair<WaveDirection, std::uint32_t>, WaveHostDetail> details;
    WaveHandle nextHandle = 1;
};
