// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ListedDevices.h"

#include <cctype>

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::vector<ListedDevice> ListWaveDevices(CWaveApi& api, WaveDirection direction)
{
    std::vector<ListedDevice> devices;
    const std::uint16_t count = api.GetDeviceCount(direction);
    for (std::uint32_t id = 0; id < count; ++id) {
        WaveDeviceCaps caps;
        if (api.GetDeviceCaps(direction, id, caps) != WaveNoError)
            continue;
        caps.productName[WaveProductNameLength - 1] = '\0';
        devices.push_back({id, caps.productName, caps});
    }
    return devices;
}

int FindListedDevice(const std::vector<ListedDevice>& devices, const std::string& wanted)
{
    const bool digits = !wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos;
    // Five digits at most, so the number always fits; longer ones are names.
    if (digits && wanted.size() <= 5 && std::stoi(wanted) < static_cast<int>(devices.size()))
        return std::stoi(wanted);
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t i = 0; i < devices.size(); ++i)
            if (pass == 0 ? devices[i].name == wanted : SameIgnoringCase(devices[i].name, wanted))
                return static_cast<int>(i);
    return -1;
}

std::int32_t ListedDeviceId(const std::vector<ListedDevice>& devices, std::int32_t position)
{
    if (position < 0 || static_cast<std::size_t>(position) >= devices.size())
        return -1;
    return static_cast<std::int32_t>(devices[static_cast<std::size_t>(position)].id);
}
