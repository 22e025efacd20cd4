// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/formats/FormatSamples.h"

std::int32_t LoadAlignedSample(const std::uint8_t* p, std::uint16_t bytes)
{
    std::uint32_t u = 0;
    for (std::uint16_t b = 0; b < bytes; ++b)
        u |= static_cast<std::uint32_t>(p[b]) << (8 * (4 - bytes + b));
    if (bytes == 1)
        u ^= 0x80000000u;
    return static_cast<std::int32_t>(u);
}

void StoreAlignedSample(std::uint8_t* p, std::int32_t value, std::uint16_t bytes)
{
    auto u = static_cast<std::uint32_t>(value);
    if (bytes == 1)
        u ^= 0x80000000u;
    for (std::uint16_t b = 0; b < bytes; ++b)
        p[b] = static_cast<std::uint8_t>(u >> (8 * (4 - bytes + b)));
}

std::vector<std::uint8_t> BuildMatrixSequence(const FormatKey& key, std::uint32_t frames)
{
    const std::uint16_t bytes = key.width.bits / 8;
    const int valid = key.width.validBits >= 1 && key.width.validBits <= key.width.bits ? key.width.validBits : 8 * bytes;
    // Values in steps of the lowest valid bit, up to 0.7 of full scale.
    const std::int64_t steps = static_cast<std::int64_t>(0.7 * static_cast<double>(std::int64_t{1} << (valid - 1)));
    const int shift = 32 - valid;
    std::vector<std::uint8_t> out(std::size_t{frames} * key.channels * bytes);
    for (std::uint16_t c = 0; c < key.channels; ++c) {
        std::uint64_t state = 0x243F6A8885A308D3ull + c * 0x9E3779B97F4A7C15ull;
        for (std::uint32_t i = 0; i < frames; ++i) {
            // xorshift64*: cheap and the same everywhere.
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            std::uint64_t r = (state * 0x2545F4914F6CDD1Dull) >> 11;
            std::int64_t v = static_cast<std::int64_t>(r % static_cast<std::uint64_t>(2 * steps + 1)) - steps;
            auto aligned = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << shift);
            StoreAlignedSample(&out[(std::size_t{i} * key.channels + c) * bytes], aligned, bytes);
        }
    }
    return out;
}
