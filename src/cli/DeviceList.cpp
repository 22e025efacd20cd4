// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DeviceList.h"

#include "audio/ListedDevices.h"

#include <cstdio>

namespace {

struct RateBits {
    const char* rate;
    std::uint32_t bits[4];
};

// The four formats of each rate, in the order the bits are laid out.
constexpr RateBits rateBits[] = {
    {"11025 Hz", {WaveFormat1M08, WaveFormat1S08, WaveFormat1M16, WaveFormat1S16}},
    {"22050 Hz", {WaveFormat2M08, WaveFormat2S08, WaveFormat2M16, WaveFormat2S16}},
    {"44100 Hz", {WaveFormat4M08, WaveFormat4S08, WaveFormat4M16, WaveFormat4S16}},
};
constexpr const char* formatNames[] = {"8-bit mono", "8-bit stereo", "16-bit mono", "16-bit stereo"};

void ListDirection(std::string& out, CWaveApi& api, WaveDirection direction)
{
    const bool input = direction == WaveDirection::Input;
    out += input ? "Input devices:\n" : "Output devices:\n";
    int position = 0;
    for (const ListedDevice& device : ListWaveDevices(api, direction)) {
        const WaveDeviceCaps& caps = device.caps;
        char line[160];
        std::snprintf(line, sizeof line, "  %d: %s (%s, %u channel%s, id %04X:%04X, driver %u.%u)\n", position,
                      caps.productName, input ? "input" : "output", caps.channels, caps.channels == 1 ? "" : "s",
                      caps.manufacturerId, caps.productId, (caps.driverVersion >> 8) & 0xFF,
                      caps.driverVersion & 0xFF);
        out += line;
        std::string formats = DescribeFormats(caps.formats);
        for (std::size_t start = 0; start < formats.size();) {
            std::size_t end = formats.find('\n', start);
            out += "       " + formats.substr(start, end - start) + "\n";
            start = end == std::string::npos ? formats.size() : end + 1;
        }
        ++position;
    }
    if (position == 0)
        out += "  (none)\n";
}

} // namespace

std::string DescribeFormats(std::uint32_t formats)
{
    std::string out;
    for (const RateBits& rate : rateBits) {
        std::string names;
        for (int i = 0; i < 4; ++i)
            if (formats & rate.bits[i])
                names += (names.empty() ? "" : ", ") + std::string(formatNames[i]);
        if (!names.empty())
            out += (out.empty() ? "" : "\n") + std::string(rate.rate) + ": " + names;
    }
    return out.empty() ? "standard formats: none claimed" : out;
}

std::string FormatDeviceList(CWaveApi& api)
{
    std::string out;
    ListDirection(out, api, WaveDirection::Input);
    ListDirection(out, api, WaveDirection::Output);
    return out;
}
