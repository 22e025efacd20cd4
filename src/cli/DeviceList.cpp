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

std::string Range(unsigned long low, unsigned long high)
{
    return low == high ? std::to_string(low) : std::to_string(low) + "-" + std::to_string(high);
}

std::string Joined(const std::vector<std::string>& words)
{
    std::string out;
    for (const std::string& word : words)
        out += (out.empty() ? "" : " ") + word;
    return out.empty() ? "none" : out;
}

// The host's name and configuration space, as the host states them.
void ListHostLines(std::string& out, const std::string& hostName, const WaveHostSpace& space)
{
    const std::string indent = "       ";
    out += indent + "ALSA PCM: " + hostName + "\n";
    if (!space.known) {
        out += indent + "configuration space: not stated" + (space.failure.empty() ? "" : " (" + space.failure + ")") +
               "\n";
        return;
    }
    out += indent + "access: " + Joined(space.access) + "\n";
    out += indent + "formats: " + Joined(space.formats) + "\n";
    out += indent + "channels: " + Range(space.channelsMin, space.channelsMax) + "\n";
    // An interval: a rate inside it need not open (--formats tries each).
    out += indent + "rates: " + Range(space.rateMin, space.rateMax) + " Hz\n";
    out += indent + "period: " + Range(space.periodMin, space.periodMax) + " frames, buffer: " +
           Range(space.bufferMin, space.bufferMax) + " frames, periods: " + Range(space.periodsMin, space.periodsMax) +
           "\n";
}

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
        const bool hosted = !device.hostName.empty();
        if (hosted) {
            ListHostLines(out, device.hostName, api.HostDeviceSpace(direction, device.id));
            // The record knows three rates at 8 and 16 bits, whatever the
            // device does: it is what the dialog is told, no more.
            out += "       the dialog's capability record (11025, 22050 and 44100 Hz at 8 and 16 bits only):\n";
        }
        std::string formats = DescribeFormats(caps.formats);
        for (std::size_t start = 0; start < formats.size();) {
            std::size_t end = formats.find('\n', start);
            out += (hosted ? "         " : "       ") + formats.substr(start, end - start) + "\n";
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

std::string ListedDeviceError(WaveDirection direction, const std::vector<ListedDevice>& devices,
                              const std::string& wanted)
{
    const bool input = direction == WaveDirection::Input;
    const char* which = input ? "input" : "output";
    const std::string flag = input ? "--input: " : "--output: ";
    const ListedDeviceMatch match = MatchListedDevice(devices, wanted);
    const bool digits = wanted.find_first_not_of("0123456789") == std::string::npos;
    if (match.Ambiguous()) {
        std::string text = flag + "'" + wanted + "' names " + std::to_string(match.candidates.size()) + " " +
                           which + " devices:";
        for (std::size_t i = 0; i < match.candidates.size(); ++i) {
            const ListedDevice& d = devices[static_cast<std::size_t>(match.candidates[i])];
            text += (i == 0 ? " " : ", ") + std::to_string(match.candidates[i]) + " '" + d.name + "'" +
                    (d.hostName.empty() || d.hostName == d.name ? "" : " (" + d.hostName + ")");
        }
        return text + "; give more of the name, or its position";
    }
    return flag + "no " + which + " device " + (digits ? "at position " : "named ") + "'" + wanted +
           "' (" + std::to_string(devices.size()) + " listed; see --list)";
}

std::string FormatDeviceList(CWaveApi& api)
{
    std::string out;
    ListDirection(out, api, WaveDirection::Input);
    ListDirection(out, api, WaveDirection::Output);
    return out;
}
