#include "audio/backends/AlsaWaveApi.h"

// First cut: lists no devices. Enumeration and streams follow.
class CAlsaStream {};

CAlsaWaveApi::CAlsaWaveApi() = default;
CAlsaWaveApi::~CAlsaWaveApi() = default;
void CAlsaWaveApi::Refresh() {}
std::vector<AlsaDeviceEntry> CAlsaWaveApi::Devices(WaveDirection direction)
{
    std::lock_guard lock(mutex);
    return direction == WaveDirection::Input ? inputs : outputs;
}
std::uint16_t CAlsaWaveApi::GetDeviceCount(WaveDirection direction)
{
    return static_cast<std::uint16_t>(Devices(direction).size());
}
WaveResult CAlsaWaveApi::GetDeviceCaps(WaveDirection, std::uint32_t, WaveDeviceCaps&) { return MMSYSERR_BADDEVICEID; }
WaveResult CAlsaWaveApi::Open(WaveDirection, WaveHandle& handle, std::uint32_t, const void*, WindowHandle,
                              std::uintptr_t, std::uint32_t)
{
    handle = 0;
    return MMSYSERR_BADDEVICEID;
}
WaveResult CAlsaWaveApi::Close(WaveHandle) { return MMSYSERR_INVALHANDLE; }
WaveResult CAlsaWaveApi::PrepareHeader(WaveHandle, WaveHeader*, std::uint32_t) { return MMSYSERR_INVALHANDLE; }
WaveResult CAlsaWaveApi::UnprepareHeader(WaveHandle, WaveHeader*, std::uint32_t) { return MMSYSERR_INVALHANDLE; }
WaveResult CAlsaWaveApi::QueueBuffer(WaveHandle, WaveHeader*, std::uint32_t) { return MMSYSERR_INVALHANDLE; }
WaveResult CAlsaWaveApi::Start(WaveHandle) { return MMSYSERR_INVALHANDLE; }
WaveResult CAlsaWaveApi::Pause(WaveHandle) { return MMSYSERR_INVALHANDLE; }
WaveResult CAlsaWaveApi::Restart(WaveHandle) { return MMSYSERR_INVALHANDLE; }
WaveResult CAlsaWaveApi::Reset(WaveHandle) { return MMSYSERR_INVALHANDLE; }
WaveResult AlsaErrorToResult(int, bool) { return MMSYSERR_ERROR; }
