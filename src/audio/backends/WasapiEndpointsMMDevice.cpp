// SPDX-License-Identifier: GPL-3.0-or-later
// The MMDevice API as the WASAPI back end's source of endpoints.
#include <initguid.h> // the property keys' and interfaces' ids, defined here

#include "audio/backends/WasapiEndpoints.h"

#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>

namespace {

std::string Utf8(const wchar_t* text)
{
    if (text == nullptr)
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

EDataFlow FlowOf(WaveDirection direction)
{
    return direction == WaveDirection::Output ? eRender : eCapture;
}

template <class T>
void Release(T*& p)
{
    if (p != nullptr)
        p->Release();
    p = nullptr;
}

class CMMDeviceEndpoints : public CWasapiEndpoints {
public:
    explicit CMMDeviceEndpoints(HRESULT& error)
    {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        // RPC_E_CHANGED_MODE: the thread is in another apartment already;
        // the audio objects work from either.
        initialised = SUCCEEDED(hr);
        error = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                 reinterpret_cast<void**>(&enumerator));
        if (FAILED(error))
            enumerator = nullptr;
        for (WaveDirection direction : {WaveDirection::Output, WaveDirection::Input})
            ids[Slot(direction)] = Enumerate(direction, lists[Slot(direction)]);
    }
    ~CMMDeviceEndpoints() override
    {
        Release(enumerator);
        if (initialised)
            CoUninitialize();
    }
    CMMDeviceEndpoints(const CMMDeviceEndpoints&) = delete;
    CMMDeviceEndpoints& operator=(const CMMDeviceEndpoints&) = delete;

    std::vector<WasapiEndpoint> List(WaveDirection direction) override { return lists[Slot(direction)]; }

    HRESULT Activate(WaveDirection direction, std::uint32_t index, IAudioClient*& client, const char*& call) override
    {
        client = nullptr;
        const std::vector<std::wstring>& known = ids[Slot(direction)];
        if (enumerator == nullptr || index >= known.size()) {
            call = "IMMDeviceEnumerator::GetDevice";
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        IMMDevice* device = nullptr;
        HRESULT hr = enumerator->GetDevice(known[index].c_str(), &device);
        if (FAILED(hr)) {
            call = "IMMDeviceEnumerator::GetDevice";
            return hr;
        }
        hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client));
        Release(device);
        if (FAILED(hr)) {
            client = nullptr;
            call = "IMMDevice::Activate";
        }
        return hr;
    }

private:
    static std::size_t Slot(WaveDirection direction) { return direction == WaveDirection::Output ? 0 : 1; }

    std::vector<std::wstring> Enumerate(WaveDirection direction, std::vector<WasapiEndpoint>& list)
    {
        std::vector<std::wstring> found;
        IMMDeviceCollection* collection = nullptr;
        UINT count = 0;
        if (enumerator == nullptr ||
            FAILED(enumerator->EnumAudioEndpoints(FlowOf(direction), DEVICE_STATE_ACTIVE, &collection)) ||
            FAILED(collection->GetCount(&count))) {
            Release(collection);
            return found;
        }
        for (UINT i = 0; i < count; ++i) {
            IMMDevice* device = nullptr;
            LPWSTR id = nullptr;
            if (FAILED(collection->Item(i, &device)) || FAILED(device->GetId(&id))) {
                Release(device);
                continue;
            }
            list.push_back({FriendlyName(device), Utf8(id)});
            found.emplace_back(id);
            CoTaskMemFree(id);
            Release(device);
        }
        Release(collection);
        return found;
    }

    static std::string FriendlyName(IMMDevice* device)
    {
        IPropertyStore* store = nullptr;
        if (FAILED(device->OpenPropertyStore(STGM_READ, &store)))
            return {};
        PROPVARIANT value;
        PropVariantInit(&value);
        std::string name;
        if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR)
            name = Utf8(value.pwszVal);
        PropVariantClear(&value);
        Release(store);
        return name;
    }

    bool initialised = false;
    IMMDeviceEnumerator* enumerator = nullptr;
    std::vector<WasapiEndpoint> lists[2];
    std::vector<std::wstring> ids[2];
};

} // namespace

std::unique_ptr<CWasapiEndpoints> CreateMMDeviceEndpoints(HRESULT& error)
{
    return std::make_unique<CMMDeviceEndpoints>(error);
}
