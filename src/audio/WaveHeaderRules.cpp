// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/WaveHeaderRules.h"

WaveResult CheckPrepareHeader(const WaveHeader* header, std::uint32_t headerSize)
{
    return header == nullptr || headerSize < sizeof(WaveHeader) ? WaveErrInvalidParam : WaveNoError;
}

WaveResult CheckUnprepareHeader(const WaveHeader* header, std::uint32_t headerSize)
{
    if (WaveResult refusal = CheckPrepareHeader(header, headerSize))
        return refusal;
    return (header->flags.load() & WaveHeaderInQueue) ? WaveErrStillPlaying : WaveNoError;
}

WaveResult CheckHeaderBuffer(const WaveHeader* header, std::uint32_t headerSize)
{
    if (WaveResult refusal = CheckPrepareHeader(header, headerSize))
        return refusal;
    return header->data == nullptr || header->bufferLength == 0 ? WaveErrInvalidParam : WaveNoError;
}

WaveResult CheckQueueHeader(const WaveHeader* header, bool inBackEndQueue)
{
    std::uint32_t flags = header->flags.load();
    if (!(flags & WaveHeaderPrepared))
        return WaveErrUnprepared;
    if ((flags & WaveHeaderInQueue) || inBackEndQueue)
        return WaveErrStillPlaying;
    return WaveNoError;
}

void MarkHeaderPrepared(WaveHeader& header)
{
    header.flags.fetch_or(WaveHeaderPrepared);
}

void MarkHeaderUnprepared(WaveHeader& header)
{
    header.flags.fetch_and(~WaveHeaderPrepared);
}

void MarkHeaderQueued(WaveHeader& header, WaveDirection direction)
{
    if (direction == WaveDirection::Input)
        header.bytesRecorded.store(0, std::memory_order_relaxed);
    std::uint32_t flags = header.flags.load();
    header.flags.store((flags & ~WaveHeaderDone) | WaveHeaderInQueue);
}

void MarkHeaderDone(WaveHeader& header, std::uint32_t bytes)
{
    header.bytesRecorded.store(bytes, std::memory_order_relaxed);
    std::uint32_t flags = header.flags.load();
    header.flags.store((flags & ~WaveHeaderInQueue) | WaveHeaderDone, std::memory_order_release);
}
