// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ListedDevices.h"

#include <algorithm>
#include <cctype>

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Lower(x) == Lower(y);
           });
}

bool HasPartIgnoringCase(const std::string& text, const std::string& part)
{
    return !part.empty() && std::search(text.begin(), text.end(), part.begin(), part.end(), [](char x, char y) {
                                return Lower(x) == Lower(y);
                            }) != text.end();
}

bool AllDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The first entry the test holds for, or -1.
template <typename Test> int FirstWhere(const std::vector<ListedDevice>& devices, Test test)
{
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (test(devices[i]))
            return static_cast<int>(i);
    return -1;
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
        devices.push_back({id, caps.productName, caps, api.HostDeviceName(direction, id)});
    }
    return devices;
}

ListedDeviceMatch MatchListedDevice(const std::vector<ListedDevice>& devices, const std::string& wanted)
{
    ListedDeviceMatch match;
    // Five digits at most, so the number always fits; longer ones are names.
    if (AllDigits(wanted) && wanted.size() <= 5 && std::stoi(wanted) < static_cast<int>(devices.size())) {
        match.position = std::stoi(wanted);
        return match;
    }
    const auto exactName = [&](const ListedDevice& d) { return d.name == wanted; };
    const auto exactHost = [&](const ListedDevice& d) { return !d.hostName.empty() && d.hostName == wanted; };
    const auto eitherIgnoringCase = [&](const ListedDevice& d) {
        return SameIgnoringCase(d.name, wanted) || (!d.hostName.empty() && SameIgnoringCase(d.hostName, wanted));
    };
    for (int found : {FirstWhere(devices, exactName), FirstWhere(devices, exactHost),
                      FirstWhere(devices, eitherIgnoringCase)})
        if (found >= 0) {
            match.position = found;
            return match;
        }
    if (AllDigits(wanted))
        return match;
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (HasPartIgnoringCase(devices[i].name, wanted) || HasPartIgnoringCase(devices[i].hostName, wanted))
            match.candidates.push_back(static_cast<int>(i));
    if (match.candidates.size() == 1)
        match.position = match.candidates.front();
    return match;
}

int FindListedDevice(const std::vector<ListedDevice>& devices, const std::string& wanted)
{
    return MatchListedDevice(devices, wanted).position;
}

bool ListHostDeviceNamed(CWaveApi& api, WaveDirection direction, const std::string& wanted)
{
    const ListedDeviceMatch match = MatchListedDevice(ListWaveDevices(api, direction), wanted);
    if (match.position >= 0 || match.Ambiguous() || AllDigits(wanted))
        return false;
    return api.AddHostDevice(direction, wanted);
}

std::int32_t ListedDeviceId(const std::vector<ListedDevice>& devices, std::int32_t position)
{
    if (position < 0 || static_cast<std::size_t>(position) >= devices.size())
        return -1;
    return static_cast<std::int32_t>(devices[static_cast<std::size_t>(position)].id);
}
