// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SampleBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include "platform/Services.h"

namespace {

constexpr std::uint64_t MaxBlockBytes = std::numeric_limits<std::uint32_t>::max();

} // namespace

CSampleBuffer::CSampleBuffer() : format(44100, 1, 2) {}

CSampleBuffer::CSampleBuffer(std::uint32_t frames, CSampleFormat sampleFormat) : format(sampleFormat)
{
    if (frames == 0)
        return;
    // A size that does not fit the 32-bit byte count is an allocation failure,
    // never a smaller block.
    std::uint64_t bytes = FrameOffset(frames);
    bool allocated = false;
    if (bytes <= MaxBlockBytes) {
        CWaitCursor waitCursor;
        allocated = block.Allocate(static_cast<std::size_t>(bytes));
    }
    if (!allocated) {
        failed = 1;
        return;
    }
    frameCount = frames;
    byteSize = static_cast<std::uint32_t>(bytes);
}

std::uint64_t CSampleBuffer::FrameOffset(std::uint64_t frames) const
{
    return std::uint64_t{format.bytesPerSample} * format.channels * frames;
}

std::uint32_t CSampleBuffer::FramesToBytes(std::uint32_t frames) const
{
    return static_cast<std::uint32_t>(FrameOffset(frames));
}

std::uint32_t CSampleBuffer::BytesToFrames(std::uint32_t bytes) const
{
    if (format.channels == 0 || format.bytesPerSample == 0)
        return 0;
    return bytes / format.channels / format.bytesPerSample;
}

int CSampleBuffer::Resize(std::uint32_t frames)
{
    std::uint64_t wanted = FrameOffset(frames);
    if (!block.IsAllocated()) {
        // A first block is zero-filled too, so stale memory never reaches a file.
        bool allocated = false;
        if (wanted <= MaxBlockBytes) {
            std::optional<CWaitCursor> waitCursor;
            if (wanted > 0)
                waitCursor.emplace();
            allocated = block.Allocate(static_cast<std::size_t>(wanted));
        }
        if (!allocated) {
            failed = 1;
            return 0;
        }
        if (wanted == 0)
            return 1;
    } else {
        if (wanted == byteSize)
            return 1;
        if (wanted > MaxBlockBytes)
            return 0;
        if (wanted > byteSize) {
            CWaitCursor waitCursor;
            if (!block.Resize(static_cast<std::size_t>(wanted)))
                return 0;
        } else if (!block.Resize(static_cast<std::size_t>(wanted))) {
            return 0; // a failed shrink keeps the old block whole
        }
    }
    auto bytes = static_cast<std::uint32_t>(wanted);
    byteSize = bytes;
    frameCount = frames;
    position = std::min(position, frames);
    dataEnd = std::min(dataEnd, frames);
    return 1;
}

int CSampleBuffer::Read(std::uint8_t* destination, std::uint32_t byteCount)
{
    if (!destination || !block.IsAllocated())
        return 0;
    // The last frame is never a starting point for a read.
    if (position >= frameCount - 1u)
        return 0;
    std::uint64_t offset = FrameOffset(position);
    std::uint64_t available = offset < byteSize ? byteSize - offset : 0;
    auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(available, byteCount));
    if (n > 0)
        std::memcpy(destination, block.Data() + offset, n);
    std::memset(destination + n, 0, byteCount - n);
    Advance(BytesToFrames(n));
    return 1;
}

int CSampleBuffer::Write(const std::uint8_t* source, std::uint32_t byteCount)
{
    if (!source || !block.IsAllocated())
        return 0;
    std::uint64_t offset = FrameOffset(position);
    std::uint64_t available = offset < byteSize ? byteSize - offset : 0;
    if (byteCount > available)
        return 0;
    if (byteCount > 0)
        std::memcpy(block.Data() + offset, source, byteCount);
    // Every frame written counts towards the data, including the last one,
    // even though the position itself stops on the last frame.
    std::uint64_t writtenEnd = std::min<std::uint64_t>(std::uint64_t{position} + BytesToFrames(byteCount), frameCount);
    Advance(BytesToFrames(byteCount));
    modified = 1;
    dataEnd = std::max({dataEnd, position, static_cast<std::uint32_t>(writtenEnd)});
    return 1;
}

std::uint32_t CSampleBuffer::SetPosition(std::uint32_t frame)
{
    if (frame <= frameCount)
        position = frame;
    Seek(position);
    return position;
}

std::uint32_t CSampleBuffer::Advance(std::uint32_t frames)
{
    std::uint64_t next = std::uint64_t{position} + frames;
    if (next >= frameCount)
        next = frameCount > 0 ? frameCount - 1u : 0u;
    position = static_cast<std::uint32_t>(next);
    Seek(position);
    return position;
}

void CSampleBuffer::Seek(std::uint32_t frame)
{
    position = frame;
}

int CSampleBuffer::PutSample(std::int32_t value, std::uint32_t frame, std::uint16_t channel)
{
    if (!block.IsAllocated() || frame >= frameCount)
        return 0;
    if (format.channels == 1 && channel == 1)
        channel = 0;
    if (channel >= format.channels)
        return 0;
    const std::uint16_t width = format.bytesPerSample;
    if (width < 1 || width > 4)
        return 0;
    if (width == 1 && std::llabs(std::int64_t{value}) > 255)
        return 0;
    std::uint64_t offset = FrameOffset(frame) + std::uint64_t{channel} * width;
    if (offset + width > byteSize)
        return 0;

    auto stored = static_cast<std::uint32_t>(width == 3 ? PackSample24(value) : value);
    std::uint8_t* target = block.Data() + offset;
    for (std::uint16_t i = 0; i < width; ++i)
        target[i] = static_cast<std::uint8_t>(stored >> (8 * i));

    // One step per stored sample, whatever frame was addressed.
    ++position;
    dataEnd = std::max(dataEnd, position);
    modified = 1;
    return 1;
}

void CSampleBuffer::FillSilence(std::uint32_t first, std::uint32_t end)
{
    if (first >= end || first > frameCount)
        return;
    end = std::min(end, frameCount);
    for (std::uint32_t frame = first; frame < end; ++frame) {
        PutSample(format.zeroValue, frame, 0);
        if (format.channels == 2)
            PutSample(format.zeroValue, frame, 1);
    }
    modified = 1;
    dataEnd = std::max(dataEnd, end);
}

void CSampleBuffer::FillSilenceFrom(std::uint32_t first)
{
    FillSilence(first, frameCount);
}
