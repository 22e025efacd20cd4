// SPDX-License-Identifier: GPL-3.0-or-later
// Device names as the capability record holds them: at most 31 bytes, cut
// where a UTF-8 character begins, so a report or JSON that shows the name
// never carries half a character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "audio/WaveApi.h"

constexpr std::size_t WaveProductNameBytes = WaveProductNameLength - 1;

// The longest prefix of `name` of at most `limit` bytes that does not end
// inside a multi-byte character. Bytes that are not UTF-8 are kept as they
// are (a run of stray continuation bytes is cut like a character).
std::string CutDeviceName(std::string_view name, std::size_t limit = WaveProductNameBytes);

// Writes the cut name into the record's product name, zero-filling the rest.
void SetProductName(WaveDeviceCaps& caps, std::string_view name);
