// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveTestFiles.h"

#include <numeric>

Bytes U16(std::uint16_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

Bytes U32(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

Bytes Text(const char* fourCC)
{
    return Bytes(fourCC, fourCC + 4);
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes ChunkStated(const Bytes& id, std::uint32_t statedSize, const Bytes& payload)
{
    Bytes chunk = Join({id, U32(statedSize), payload});
    if (payload.size() % 2)
        chunk.push_back(0);
    return chunk;
}

Bytes Chunk(const Bytes& id, const Bytes& payload)
{
    return ChunkStated(id, static_cast<std::uint32_t>(payload.size()), payload);
}

Bytes Riff(const Bytes& payload)
{
    return Chunk(Text("RIFF"), Join({Text("WAVE"), payload}));
}

Bytes Fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
          std::uint16_t bits)
{
    return Join({U16(tag), U16(channels), U32(rate), U32(rate * blockAlign), U16(blockAlign), U16(bits)});
}

Bytes Ramp(std::size_t n, std::uint8_t start)
{
    Bytes bytes(n);
    std::iota(bytes.begin(), bytes.end(), start);
    return bytes;
}

Bytes CalibrationBytes(std::uint8_t start)
{
    return Ramp(1020, start);
}
