// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/WaveFormatRules.h"

#include <cstring>

namespace {

bool IsContainerWidth(std::uint16_t bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bits per sample must fill the block exactly; compared without division so
// that a zero channel count or an uneven block cannot slip through.
bool FillsBlock(std::uint16_t bits, std::uint16_t blockAlign, std::uint16_t channels)
{
    return channels != 0 && std::uint32_t{bits} * channels == 8u * blockAlign;
}

} // namespace

WaveResult ReadWaveFormat(const void* format, WaveFormatInfo& info)
{
    info = WaveFormatInfo{};
    if (format == nullptr)
        return WaveErrInvalidParam;

    PcmWaveFormat pcm;
    std::memcpy(&pcm, format, sizeof pcm);
    info.channels = pcm.channels;
    info.sampleRate = pcm.samplesPerSec;
    info.blockAlign = pcm.blockAlign;

    if (pcm.formatTag == WaveFormatTagPcm) {
        if (!IsContainerWidth(pcm.bitsPerSample) || !FillsBlock(pcm.bitsPerSample, pcm.blockAlign, pcm.channels))
            return WaveErrNotSupported;
        info.containerBytes = pcm.bitsPerSample / 8;
        info.validBits = pcm.bitsPerSample;
        return WaveNoError;
    }
    if (pcm.formatTag != WaveFormatTagExtensible)
        return WaveErrNotSupported;

    // The size member decides how much may be read: check it before the rest.
    std::uint16_t cbSize = 0;
    std::memcpy(&cbSize, static_cast<const std::uint8_t*>(format) + offsetof(ExtensibleWaveFormat, cbSize),
                sizeof cbSize);
    if (cbSize < ExtensibleFormatExtraBytes)
        return WaveErrNotSupported;
    ExtensibleWaveFormat extensible;
    std::memcpy(&extensible, format, sizeof extensible);
    info.extensible = true;
    if (!IsContainerWidth(extensible.bitsPerSample) ||
        !FillsBlock(extensible.bitsPerSample, extensible.blockAlign, extensible.channels))
        return WaveErrNotSupported;
    if (extensible.validBitsPerSample < 1 || extensible.validBitsPerSample > extensible.bitsPerSample)
        return WaveErrNotSupported;
    if (!(extensible.subFormat == WaveSubtypePcm))
        return WaveErrNotSupported;
    info.containerBytes = extensible.bitsPerSample / 8;
    info.validBits = extensible.validBitsPerSample;
    return WaveNoError;
}

std::vector<std::uint8_t> WaveFormatBytes(const void* format)
{
    if (format == nullptr)
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(format);
    PcmWaveFormat pcm;
    std::memcpy(&pcm, format, sizeof pcm);
    std::size_t size = sizeof pcm;
    if (pcm.formatTag == WaveFormatTagExtensible) {
        std::uint16_t cbSize = 0;
        std::memcpy(&cbSize, bytes + offsetof(ExtensibleWaveFormat, cbSize), sizeof cbSize);
        size = offsetof(ExtensibleWaveFormat, validBitsPerSample) +
               (cbSize < ExtensibleFormatExtraBytes ? cbSize : ExtensibleFormatExtraBytes);
    }
    return std::vector<std::uint8_t>(bytes, bytes + size);
}
