// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/WaveHeaderRules.h"

WaveResult CheckPrepareHeader(const WaveHeader* header, std::uint32_t headerSize)
{
    return header == nullptr || headerSize < sizeof(WaveHeader) ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

WaveResult CheckUnprepareHeader(const WaveHeader* header, std::uint32_t headerSize)
{
    if (WaveResult refusal = CheckPrepareHeader(header, headerSize))
        return refusal;
    return (header->flags.load() & WHDR_INQUEUE) ? WAVERR_STILLPLAYING : MMSYSERR_NOERROR;
}

WaveResult CheckHeaderBuffer(const WaveHeader* header, std::uint32_t headerSize)
{
    if (WaveResult refusal = CheckPrepareHeader(header, headerSize))
        return refusal;
    return header->data == nullptr || header->bufferLength == 0 ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

WaveResult CheckQueueHeader(const WaveHeader* header, bool inBackEndQueue)
{
    std::uint32_t flags = header->flags.load();
    if (!(flags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if ((flags & WHDR_INQUEUE) || inBackEndQueue)
        return WAVERR_STILLPLAYING;
    return MMSYSERR_NOERROR;
}

void MarkHeaderPrepared(WaveHeader& header)
{
    header.flags.fetch_or(WHDR_PREPARED);
}

void MarkHeaderUnprepared(WaveHeader& header)
{
    header.flags.fetch_and(~WHDR_PREPARED);
}

void MarkHeaderQueued(WaveHeader& header, WaveDirection direction)
{
    if (direction == WaveDirection::Input)
        header.bytesRecorded.store(0, std::memory_order_relaxed);
    std::uint32_t flags = header.flags.load();
    header.flags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
}

void MarkHeaderDone(WaveHeader& header, std::uint32_t bytes)
{
    header.bytesRecorded.store(bytes, std::memory_order_relaxed);
    std::uint32_t flags = header.flags.load();
    header.flags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
}
