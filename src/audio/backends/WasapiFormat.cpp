// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/WasapiFormat.h"

#include <cstring>

#include "audio/WaveApi.h"

namespace {

// WAVEFORMATEX: the 16 bytes of the plain description and a size member.
constexpr std::size_t PlainDescriptionBytes = sizeof(PcmWaveFormat) + sizeof(std::uint16_t);

} // namespace

std::vector<std::uint8_t> WasapiFormatBytes(const void* format)
{
    if (format == nullptr)
        return {};
    std::uint16_t tag = 0;
    std::memcpy(&tag, format, sizeof tag);
    if (tag == WaveFormatTagPcm) {
        // The size member stays 0: no bytes follow a plain description.
        std::vector<std::uint8_t> bytes(PlainDescriptionBytes, 0);
        std::memcpy(bytes.data(), format, sizeof(PcmWaveFormat));
        return bytes;
    }
    if (tag == WaveFormatTagExtensible) {
        std::vector<std::uint8_t> bytes(sizeof(ExtensibleWaveFormat));
        std::memcpy(bytes.data(), format, bytes.size());
        return bytes;
    }
    return {};
}
