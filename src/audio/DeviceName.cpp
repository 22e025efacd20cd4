// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/DeviceName.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// A UTF-8 character has at most three continuation bytes; backing off
// further would only eat bytes that are no character anyway.
constexpr std::size_t MaxContinuationBytes = 3;

} // namespace

std::string CutDeviceName(std::string_view name, std::size_t limit)
{
    if (name.size() <= limit)
        return std::string(name);
    std::size_t cut = limit;
    std::size_t backedOff = 0;
    while (cut > 0 && backedOff <= MaxContinuationBytes && IsContinuationByte(name[cut])) {
        --cut;
        ++backedOff;
    }
    // Landed on the lead byte of the character that did not fit: it goes too.
    // A run longer than any character is no character: cut at the limit.
    if (backedOff > MaxContinuationBytes)
        cut = limit;
    return std::string(name.substr(0, cut));
}

void SetProductName(WaveDeviceCaps& caps, std::string_view name)
{
    std::string cut = CutDeviceName(name);
    std::memset(caps.productName, 0, sizeof caps.productName);
    std::memcpy(caps.productName, cut.data(), std::min(cut.size(), sizeof caps.productName - 1));
}
