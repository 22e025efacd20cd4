// SPDX-License-Identifier: GPL-3.0-or-later
// The device lists the user sees: the devices of several back ends in turn
// (the platform's first, then the virtual ones), numbered in that order per direction.
// Each call goes to the back end that owns the device or the handle.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WaveApi.h"

class CCompositeWaveApi : public CWaveApi {
public:
    // Back ends in listing order; the composite owns them.
    explicit CCompositeWaveApi(std::vector<std::unique_ptr<CWaveApi>> backEnds);

    std::uint16_t GetDeviceCount(WaveDirection direction) override;
    WaveResult GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps) override;
    WaveResult Open(WaveDirection direction, WaveHandle& handle, std::uint32_t device, const void* format,
                    WindowHandle callbackWindow, std::uintptr_t instance, std::uint32_t flags) override;
    WaveResult Close(WaveHandle handle) override;
    WaveResult PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    WaveResult UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    WaveResult QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    WaveResult Start(WaveHandle handle) override;
    WaveResult Pause(WaveHandle handle) override;
    WaveResult Restart(WaveHandle handle) override;
    WaveResult Reset(WaveHandle handle) override;
    void Update(WaveHandle handle) override;
    WaveHostDetail HostDetail(WaveDirection direction, std::uint32_t device) override;
    std::string HostDeviceName(WaveDirection direction, std::uint32_t device) override;
    WaveHostSpace HostDeviceSpace(WaveDirection direction, std::uint32_t device) override;
    // Asks each back end in listing order; the first that adds it wins.
    bool AddHostDevice(WaveDirection direction, const std::string& hostName) override;

private:
    struct Route {
        CWaveApi* backEnd;
        WaveHandle inner;
    };

    // The back end holding device `device` of the direction, and the device's
    // number there; null when the number is beyond every list.
    CWaveApi* Locate(WaveDirection direction, std::uint32_t& device);
    bool Find(WaveHandle handle, Route& route);

    std::vector<std::unique_ptr<CWaveApi>> backEnds;
    std::mutex mutex;
    std::map<WaveHandle, Route> routes;
    WaveHandle nextHandle = 1;
};

// Which back ends the program lists, from TALLOWMERE_AUDIO: one of the
// platform's own ("alsa" on Linux; "wasapi" or "winmm" on Windows),
// "virtual", or "auto" (all; also when unset, and, named on standard error,
// when unknown or naming the other platform's back end). Defined per
// platform (PlatformWaveApi*.cpp).
enum class AudioBackEndChoice { Auto, Alsa, Virtual, WinMm, Wasapi };
AudioBackEndChoice AudioBackEndFromEnvironment();

constexpr const char* WinMmNamePrefix = "WinMM: ";

// The program's wave API for that choice: the platform's devices first, then
// the virtual ones. On Windows the WASAPI devices (exclusive mode) come
// before WinMM's, whose names then begin with WinMmNamePrefix.
std::unique_ptr<CWaveApi> CreateWaveApi(AudioBackEndChoice choice);

// What a device's answers stand for, when they are not the card's: on
// Windows Vista and later, for a device named with WinMmNamePrefix, "its
// answers are the Windows audio engine's, which converts formats, not the
// card's; the WASAPI device asks the driver". "" for every other device and
// on every other system. Defined per platform.
std::string AudioEngineAnswerNote(const std::string& deviceName);

// The choice named by `value` (TALLOWMERE_AUDIO; null when unset), where
// `platformName` names the platform's back end `platformChoice`.
AudioBackEndChoice AudioBackEndFromText(const char* value, const char* platformName,
                                        AudioBackEndChoice platformChoice);

// The same where the platform has two back ends of its own: `firstName`
// names `firstChoice`, `secondName` `secondChoice`.
AudioBackEndChoice AudioBackEndFromText(const char* value, const char* firstName, AudioBackEndChoice firstChoice,
                                        const char* secondName, AudioBackEndChoice secondChoice);
