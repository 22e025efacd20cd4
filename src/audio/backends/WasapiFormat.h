// SPDX-License-Identifier: GPL-3.0-or-later
// The format description an exclusive-mode WASAPI stream is opened with,
// built from the device layer's: the Standard API mode's plain PCM
// description becomes a WAVEFORMATEX (18 bytes, cbSize 0), the Extended
// mode's extensible one a WAVEFORMATEXTENSIBLE (40 bytes) with its valid
// bits, channel mask and sub-format as given. Nothing is adjusted: a
// driver that takes one form and refuses the other is what the two modes
// tell apart.
#pragma once

#include <cstdint>
#include <vector>

// The description's bytes, little-endian as the platform lays them out;
// empty for a null `format` or a tag other than PCM or extensible (the
// caller has checked the description with ReadWaveFormat before).
std::vector<std::uint8_t> WasapiFormatBytes(const void* format);
