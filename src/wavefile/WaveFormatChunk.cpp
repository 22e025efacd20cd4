// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/WaveFormatChunk.h"

#include <cstdio>
#include <limits>

#include "core/LittleEndian.h"

namespace {

constexpr std::size_t PlainBytes = 14;      // tag, channels, rate, bytes a second, block align
constexpr std::size_t WithBitsBytes = 16;   // ... and bits per sample
constexpr std::size_t ExtensibleBytes = 40; // ... cbSize, valid bits, channel mask, sub-format
constexpr std::uint16_t ExtensibleExtra = 22;
constexpr std::uint32_t MaxRate = std::numeric_limits<std::int32_t>::max();

// Every sub-format GUID of a tag shares these last twelve bytes; the first
// four hold the tag.
constexpr std::uint8_t GuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::string Hex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

const char* TagName(std::uint16_t tag)
{
    switch (tag) {
    case 0x0002: return " (ADPCM)";
    case 0x0006: return " (A-law)";
    case 0x0007: return " (mu-law)";
    case 0x0011: return " (IMA ADPCM)";
    case 0x0031: return " (GSM 6.10)";
    case 0x0050: return " (MPEG audio)";
    case 0x0055: return " (MPEG layer 3)";
    default: return "";
    }
}

std::string GuidText(const std::uint8_t* g)
{
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", GetUInt32(g),
                  GetUInt16(g + 4), GetUInt16(g + 6), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

// The tag an extensible chunk's sub-format stands for; 0 when it is no
// tag's GUID.
std::uint16_t SubFormatTag(const std::uint8_t* guid)
{
    for (int i = 0; i < 12; ++i)
        if (guid[4 + i] != GuidTail[i])
            return 0;
    std::uint32_t tag = GetUInt32(guid);
    return tag <= 0xFFFF ? static_cast<std::uint16_t>(tag) : 0;
}

bool Refuse(std::string& why, std::string text)
{
    why = std::move(text);
    return false;
}

// The sample type and sizes, once the tag is known to be PCM or float.
bool CheckSizes(std::uint16_t tag, std::uint16_t bits, std::uint16_t blockAlign, WaveSampleLayout& layout,
                std::string& why)
{
    const bool isFloat = tag == WaveTagFloat;
    if (bits == 0)
        return Refuse(why, "0 bits per sample");
    if (isFloat && bits != 32 && bits != 64)
        return Refuse(why, std::to_string(bits) + "-bit float samples are not read (32 or 64 bits are)");
    if (!isFloat && bits > 32)
        return Refuse(why, std::to_string(bits) + "-bit integer samples are not read (8 to 32 bits are)");
    const auto container = static_cast<std::uint16_t>((bits + 7) / 8);
    const std::uint32_t frameBytes = std::uint32_t{layout.channels} * container;
    if (blockAlign != frameBytes)
        return Refuse(why, "block align " + std::to_string(blockAlign) + " does not fit " +
                               std::to_string(layout.channels) + " channel" + (layout.channels == 1 ? "" : "s") +
                               " of " + std::to_string(8 * container) + "-bit samples (" +
                               std::to_string(frameBytes) + " bytes a frame)");
    layout.type = isFloat ? WaveSampleType::Float : WaveSampleType::Integer;
    layout.containerBytes = container;
    layout.validBits = bits;
    return true;
}

} // namespace

bool ParseWaveFormatChunk(const std::uint8_t* bytes, std::size_t size, WaveSampleLayout& layout, std::string& why)
{
    layout = WaveSampleLayout{};
    if (bytes == nullptr || size < PlainBytes)
        return Refuse(why, "a fmt chunk of " + std::to_string(size) + " bytes is too short (16 are needed)");
    std::uint16_t tag = GetUInt16(bytes);
    layout.channels = GetUInt16(bytes + 2);
    layout.sampleRate = GetUInt32(bytes + 4);
    const std::uint16_t blockAlign = GetUInt16(bytes + 12);
    // The oldest form states no bits: its block align alone sizes the samples.
    std::uint16_t bits = size >= WithBitsBytes ? GetUInt16(bytes + 14)
                         : layout.channels > 0 && blockAlign % layout.channels == 0
                             ? static_cast<std::uint16_t>(8 * (blockAlign / layout.channels))
                             : 0;
    std::uint16_t validBits = 0;
    if (tag == WaveTagExtensible) {
        if (size < ExtensibleBytes)
            return Refuse(why, "an extensible fmt chunk of " + std::to_string(size) +
                                   " bytes is too short (40 are needed)");
        const std::uint16_t extra = GetUInt16(bytes + 16);
        if (extra < ExtensibleExtra)
            return Refuse(why, "an extensible fmt chunk stating " + std::to_string(extra) +
                                   " extra bytes (22 are needed)");
        validBits = GetUInt16(bytes + 18);
        layout.channelMask = GetUInt32(bytes + 20);
        layout.extensible = true;
        tag = SubFormatTag(bytes + 24);
        if (tag != WaveTagPcm && tag != WaveTagFloat)
            return Refuse(why, "extensible sub-format {" + GuidText(bytes + 24) + "} is not PCM or float");
    } else if (tag != WaveTagPcm && tag != WaveTagFloat) {
        return Refuse(why, "format tag " + Hex(tag, 4) + TagName(tag) + " is not PCM or float");
    }
    if (layout.channels == 0)
        return Refuse(why, "0 channels");
    if (layout.sampleRate == 0)
        return Refuse(why, "sample rate 0");
    if (layout.sampleRate > MaxRate)
        return Refuse(why, "sample rate " + std::to_string(layout.sampleRate) + " Hz is beyond " +
                               std::to_string(MaxRate) + " Hz");
    if (!CheckSizes(tag, bits, blockAlign, layout, why))
        return false;
    if (layout.type == WaveSampleType::Float) {
        layout.validBits = static_cast<std::uint16_t>(layout.ContainerBits());
        return true;
    }
    // Valid bits of 0 in an extensible header state nothing: the whole sample.
    if (validBits > bits)
        return Refuse(why, std::to_string(validBits) + " valid bits stated in " + std::to_string(bits) +
                               "-bit samples");
    if (validBits > 0)
        layout.validBits = validBits;
    layout.validBitsStated = layout.validBits < layout.ContainerBits();
    return true;
}

std::string DescribeSampleLayout(const WaveSampleLayout& layout)
{
    std::string text = std::to_string(layout.ContainerBits()) + "-bit " +
                       (layout.type == WaveSampleType::Float ? "float" : "integer");
    if (layout.validBitsStated)
        text += " (" + std::to_string(layout.validBits) + " valid bits)";
    return text;
}
