// SPDX-License-Identifier: GPL-3.0-or-later
// What every back end accepts as a format description, and the plain numbers
// it stands for. Kept in one place so that all back ends refuse alike.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/WaveApi.h"

struct WaveFormatInfo {
    bool extensible = false;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t containerBytes = 0;
    std::uint16_t validBits = 0;
    std::uint16_t blockAlign = 0;
};

// Reads a PCM or extensible description. WaveErrInvalidParam for a null
// pointer; WaveErrNotSupported for any description outside the rules:
// PCM with 8, 16, 24 or 32 bits per sample equal to 8 x block align /
// channels; extensible with such container bits, valid bits from 1 to the
// container bits, a size member of at least 22 and the PCM sub-format.
WaveResult ReadWaveFormat(const void* format, WaveFormatInfo& info);

// The bytes of the description as the caller laid them out (16 for PCM,
// 18 + size member for extensible, at most 40 of them), for inspection.
std::vector<std::uint8_t> WaveFormatBytes(const void* format);
