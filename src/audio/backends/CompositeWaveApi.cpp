// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/CompositeWaveApi.h"

#include <cstdio>
#include <cstring>


CCompositeWaveApi::CCompositeWaveApi(std::vector<std::unique_ptr<CWaveApi>> apis) : backEnds(std::move(apis)) {}

std::uint16_t CCompositeWaveApi::GetDeviceCount(WaveDirection direction)
{
    std::uint32_t count = 0;
    for (auto& backEnd : backEnds)
        count += backEnd->GetDeviceCount(direction);
    return static_cast<std::uint16_t>(count > 0xFFFF ? 0xFFFF : count);
}

CWaveApi* CCompositeWaveApi::Locate(WaveDirection direction, std::uint32_t& device)
{
    for (auto& backEnd : backEnds) {
        std::uint32_t count = backEnd->GetDeviceCount(direction);
        if (device < count)
            return backEnd.get();
        device -= count;
    }
    return nullptr;
}

WaveResult CCompositeWaveApi::GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps)
{
    CWaveApi* backEnd = Locate(direction, device);
    if (backEnd == nullptr)
        return WaveErrBadDeviceId;
    return backEnd->GetDeviceCaps(direction, device, caps);
}

WaveHostDetail CCompositeWaveApi::HostDetail(WaveDirection direction, std::uint32_t device)
{
    CWaveApi* backEnd = Locate(direction, device);
    return backEnd == nullptr ? WaveHostDetail{} : backEnd->HostDetail(direction, device);
}

std::string CCompositeWaveApi::HostDeviceName(WaveDirection direction, std::uint32_t device)
{
    CWaveApi* backEnd = Locate(direction, device);
    return backEnd == nullptr ? std::string() : backEnd->HostDeviceName(direction, device);
}

WaveHostSpace CCompositeWaveApi::HostDeviceSpace(WaveDirection direction, std::uint32_t device)
{
    CWaveApi* backEnd = Locate(direction, device);
    return backEnd == nullptr ? WaveHostSpace{} : backEnd->HostDeviceSpace(direction, device);
}

bool CCompositeWaveApi::AddHostDevice(WaveDirection direction, const std::string& hostName)
{
    for (auto& backEnd : backEnds)
        if (backEnd->AddHostDevice(direction, hostName))
            return true;
    return false;
}

WaveResult CCompositeWaveApi::Open(WaveDirection direction, WaveHandle& handle, std::uint32_t device,
                                   const void* format, WindowHandle callbackWindow, std::uintptr_t instance,
                                   std::uint32_t flags)
{
    handle = 0;
    CWaveApi* backEnd = Locate(direction, device);
    if (backEnd == nullptr)
        return WaveErrBadDeviceId;
    WaveHandle inner = 0;
    WaveResult result = backEnd->Open(direction, inner, device, format, callbackWindow, instance, flags);
    if (result != WaveNoError)
        return result;
    std::lock_guard lock(mutex);
    handle = nextHandle++;
    routes[handle] = Route{backEnd, inner};
    return WaveNoError;
}

bool CCompositeWaveApi::Find(WaveHandle handle, Route& route)
{
    std::lock_guard lock(mutex);
    auto found = routes.find(handle);
    if (found == routes.end())
        return false;
    route = found->second;
    return true;
}

WaveResult CCompositeWaveApi::Close(WaveHandle handle)
{
    Route route{};
    if (!Find(handle, route))
        return WaveErrInvalidHandle;
    WaveResult result = route.backEnd->Close(route.inner);
    if (result == WaveNoError) {
        std::lock_guard lock(mutex);
        routes.erase(handle);
    }
    return result;
}

WaveResult CCompositeWaveApi::PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    Route route{};
    return Find(handle, route) ? route.backEnd->PrepareHeader(route.inner, header, headerSize)
                               : WaveErrInvalidHandle;
}

WaveResult CCompositeWaveApi::UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    Route route{};
    return Find(handle, route) ? route.backEnd->UnprepareHeader(route.inner, header, headerSize)
                               : WaveErrInvalidHandle;
}

WaveResult CCompositeWaveApi::QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    Route route{};
    return Find(handle, route) ? route.backEnd->QueueBuffer(route.inner, header, headerSize)
                               : WaveErrInvalidHandle;
}

WaveResult CCompositeWaveApi::Start(WaveHandle handle)
{
    Route route{};
    return Find(handle, route) ? route.backEnd->Start(route.inner) : WaveErrInvalidHandle;
}

WaveResult CCompositeWaveApi::Pause(WaveHandle handle)
{
    Route route{};
    return Find(handle, route) ? route.backEnd->Pause(route.inner) : WaveErrInvalidHandle;
}

WaveResult CCompositeWaveApi::Restart(WaveHandle handle)
{
    Route route{};
    return Find(handle, route) ? route.backEnd->Restart(route.inner) : WaveErrInvalidHandle;
}

WaveResult CCompositeWaveApi::Reset(WaveHandle handle)
{
    Route route{};
    return Find(handle, route) ? route.backEnd->Reset(route.inner) : WaveErrInvalidHandle;
}

void CCompositeWaveApi::Update(WaveHandle handle)
{
    Route route{};
    if (Find(handle, route))
        route.backEnd->Update(route.inner);
}

AudioBackEndChoice AudioBackEndFromText(const char* value, const char* platformName,
                                        AudioBackEndChoice platformChoice)
{
    return AudioBackEndFromText(value, platformName, platformChoice, nullptr, platformChoice);
}

AudioBackEndChoice AudioBackEndFromText(const char* value, const char* firstName, AudioBackEndChoice firstChoice,
                                        const char* secondName, AudioBackEndChoice secondChoice)
{
    if (value == nullptr)
        return AudioBackEndChoice::Auto;
    if (std::strcmp(value, firstName) == 0)
        return firstChoice;
    if (secondName != nullptr && std::strcmp(value, secondName) == 0)
        return secondChoice;
    if (std::strcmp(value, "virtual") == 0)
        return AudioBackEndChoice::Virtual;
    // A misspelt choice must not pass unnoticed: the lists would silently
    // hold other devices than the user asked for.
    if (*value != '\0' && std::strcmp(value, "auto") != 0)
        std::fprintf(stderr, "tallowmere: TALLOWMERE_AUDIO=%s is not %s%s%s, virtual or auto; using auto\n", value,
                     firstName, secondName != nullptr ? ", " : "", secondName != nullptr ? secondName : "");
    return AudioBackEndChoice::Auto;
}
