// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/WasapiResult.h"

#include <windows.h>

#include <audioclient.h>

#include <cstdio>

namespace {

struct HresultName {
    HRESULT value;
    const char* name;
    WaveResult code;
};

constexpr HresultName AudioHresults[] = {
    {AUDCLNT_E_NOT_INITIALIZED, "AUDCLNT_E_NOT_INITIALIZED", WaveErrUnspecified},
    {AUDCLNT_E_ALREADY_INITIALIZED, "AUDCLNT_E_ALREADY_INITIALIZED", WaveErrUnspecified},
    {AUDCLNT_E_WRONG_ENDPOINT_TYPE, "AUDCLNT_E_WRONG_ENDPOINT_TYPE", WaveErrBadDeviceId},
    {AUDCLNT_E_DEVICE_INVALIDATED, "AUDCLNT_E_DEVICE_INVALIDATED", WaveErrNoDriver},
    {AUDCLNT_E_NOT_STOPPED, "AUDCLNT_E_NOT_STOPPED", WaveErrUnspecified},
    {AUDCLNT_E_BUFFER_TOO_LARGE, "AUDCLNT_E_BUFFER_TOO_LARGE", WaveErrUnspecified},
    {AUDCLNT_E_OUT_OF_ORDER, "AUDCLNT_E_OUT_OF_ORDER", WaveErrUnspecified},
    {AUDCLNT_E_UNSUPPORTED_FORMAT, "AUDCLNT_E_UNSUPPORTED_FORMAT", WaveErrNotSupported},
    {AUDCLNT_E_INVALID_SIZE, "AUDCLNT_E_INVALID_SIZE", WaveErrInvalidParam},
    {AUDCLNT_E_DEVICE_IN_USE, "AUDCLNT_E_DEVICE_IN_USE", WaveErrAllocated},
    {AUDCLNT_E_BUFFER_OPERATION_PENDING, "AUDCLNT_E_BUFFER_OPERATION_PENDING", WaveErrUnspecified},
    {AUDCLNT_E_THREAD_NOT_REGISTERED, "AUDCLNT_E_THREAD_NOT_REGISTERED", WaveErrUnspecified},
    {AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED, "AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED", WaveErrNotEnabled},
    {AUDCLNT_E_ENDPOINT_CREATE_FAILED, "AUDCLNT_E_ENDPOINT_CREATE_FAILED", WaveErrNoDriver},
    {AUDCLNT_E_SERVICE_NOT_RUNNING, "AUDCLNT_E_SERVICE_NOT_RUNNING", WaveErrNoDriver},
    {AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED, "AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED", WaveErrUnspecified},
    {AUDCLNT_E_EXCLUSIVE_MODE_ONLY, "AUDCLNT_E_EXCLUSIVE_MODE_ONLY", WaveErrUnspecified},
    {AUDCLNT_E_BUFDURATION_PERIOD_NOT_EQUAL, "AUDCLNT_E_BUFDURATION_PERIOD_NOT_EQUAL", WaveErrUnspecified},
    {AUDCLNT_E_EVENTHANDLE_NOT_SET, "AUDCLNT_E_EVENTHANDLE_NOT_SET", WaveErrUnspecified},
    {AUDCLNT_E_INCORRECT_BUFFER_SIZE, "AUDCLNT_E_INCORRECT_BUFFER_SIZE", WaveErrUnspecified},
    {AUDCLNT_E_BUFFER_SIZE_ERROR, "AUDCLNT_E_BUFFER_SIZE_ERROR", WaveErrUnspecified},
    {AUDCLNT_E_CPUUSAGE_EXCEEDED, "AUDCLNT_E_CPUUSAGE_EXCEEDED", WaveErrUnspecified},
    {AUDCLNT_E_BUFFER_ERROR, "AUDCLNT_E_BUFFER_ERROR", WaveErrUnspecified},
    {AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED, "AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED", WaveErrUnspecified},
    {AUDCLNT_E_INVALID_DEVICE_PERIOD, "AUDCLNT_E_INVALID_DEVICE_PERIOD", WaveErrUnspecified},
    {AUDCLNT_E_RESOURCES_INVALIDATED, "AUDCLNT_E_RESOURCES_INVALIDATED", WaveErrNoDriver},
    {AUDCLNT_E_ENGINE_FORMAT_LOCKED, "AUDCLNT_E_ENGINE_FORMAT_LOCKED", WaveErrNotSupported},
};

// The MMDevice API's answer for an endpoint that is not there.
constexpr HRESULT NotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

const HresultName* Find(HRESULT hresult)
{
    for (const HresultName& entry : AudioHresults)
        if (entry.value == hresult)
            return &entry;
    return nullptr;
}

std::string SystemText(HRESULT hresult)
{
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(hresult), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.'))
        --n;
    return n > 0 ? std::string(text, n) : "unknown error";
}

} // namespace

WaveResult WaveResultOfHresult(std::int32_t hresult)
{
    if (SUCCEEDED(hresult))
        return WaveNoError;
    if (const HresultName* entry = Find(hresult))
        return entry->code;
    switch (hresult) {
    case E_OUTOFMEMORY:
        return WaveErrNoMemory;
    case E_INVALIDARG:
    case E_POINTER:
        return WaveErrInvalidParam;
    case NotFound:
        return WaveErrBadDeviceId;
    default:
        return WaveErrUnspecified;
    }
}

std::string HresultText(std::int32_t hresult)
{
    char value[16];
    std::snprintf(value, sizeof value, "0x%08lX", static_cast<unsigned long>(static_cast<std::uint32_t>(hresult)));
    const HresultName* entry = Find(hresult);
    return (entry != nullptr ? std::string(entry->name) : SystemText(hresult)) + " (" + value + ")";
}

bool HresultMeansLost(std::int32_t hresult)
{
    return hresult == AUDCLNT_E_DEVICE_INVALIDATED || hresult == AUDCLNT_E_RESOURCES_INVALIDATED ||
           hresult == AUDCLNT_E_SERVICE_NOT_RUNNING;
}
