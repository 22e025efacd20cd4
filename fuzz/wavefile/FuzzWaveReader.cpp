// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a file for the read-only WAVE reader (--analyze-file's): the
// header either says why it is refused or describes a layout the reader
// promises, and the frames it then hands out are exactly those the input
// holds. The reader allocates nothing for what a file states; the read
// buffer here is capped at 1 MiB whatever the frame's size.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzFile.h"
#include "wavefile/WaveReader.h"

namespace {

constexpr std::size_t ReadCeiling = 1u << 20;

void Require(bool holds)
{
    if (!holds)
        std::abort();
}

void CheckLayout(const WaveSampleLayout& l)
{
    Require(l.channels >= 1);
    Require(l.sampleRate >= 1 && l.sampleRate <= INT_MAX);
    if (l.type == WaveSampleType::Float)
        Require(l.containerBytes == 4 || l.containerBytes == 8);
    else
        Require(l.containerBytes >= 1 && l.containerBytes <= 4);
    Require(l.validBits >= 1 && l.validBits <= l.ContainerBits());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzFile input(data, size);
    CWaveReader reader;
    if (!reader.Open(input.name)) {
        RequireReason(true);
        Require(!reader.Error().empty());
        return 0;
    }
    const WaveSampleLayout& layout = reader.Layout();
    CheckLayout(layout);
    const std::uint32_t frameBytes = layout.FrameBytes();
    Require(reader.Frames() >= 1 && reader.Frames() <= reader.StatedFrames());
    Require(reader.Frames() * frameBytes <= size);

    // Reads of a count taken from the input, to the end.
    const std::size_t wanted = 1 + (size > 0 ? data[size - 1] % 16 : 0);
    const std::size_t count = std::max<std::size_t>(1, std::min(wanted, ReadCeiling / frameBytes));
    std::vector<std::uint8_t> buffer(count * frameBytes);
    std::uint64_t total = 0;
    for (std::int64_t n; (n = reader.Read(buffer.data(), count)) != 0;) {
        Require(n > 0 && static_cast<std::uint64_t>(n) <= count);
        total += static_cast<std::uint64_t>(n);
    }
    Require(total == reader.Frames() && reader.Position() == reader.Frames());
    return 0;
}
