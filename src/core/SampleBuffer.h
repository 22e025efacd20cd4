// SPDX-License-Identifier: GPL-3.0-or-later
// One contiguous block of interleaved sample frames with its format, a frame
// position for sequential reading and writing, and the end of the data
// written so far. The base of the wave file; knows nothing of devices or files.
// No operation shows a message; failures are the 0 results and `failed`.
#pragma once

#include <cstdint>

#include "core/SampleFormat.h"
#include "core/ZeroBlock.h"

class CSampleBuffer {
public:
    // 16-bit mono at 44100 Hz with no block; the first Resize allocates one.
    CSampleBuffer();
    // Takes the format as it is and allocates `frameCount` zero-filled frames
    // (with the wait cursor). 0 frames allocate nothing and do not fail; a
    // size beyond 32 bits or a failed allocation sets `failed` and leaves
    // no block.
    CSampleBuffer(std::uint32_t frameCount, CSampleFormat format);
    // Not virtual: buffers are always destroyed through their own type.
    ~CSampleBuffer() = default;

    CSampleBuffer(const CSampleBuffer&) = delete;
    CSampleBuffer& operator=(const CSampleBuffer&) = delete;

    CSampleFormat GetFormat() const { return format; }

    // 1 when the block now holds `frames` frames (growth zero-filled, a
    // shrink keeps the leading bytes; position and end of data are clamped);
    // 0 when it cannot, with the old block unchanged. Without a block yet, a
    // failed first allocation also sets `failed`.
    int Resize(std::uint32_t frames);

    // Copies from the position and advances by the whole frames copied;
    // whatever the block cannot supply is zeroed. 1 when read; 0, with
    // nothing copied, for a null destination, no block, or a position on
    // or past the last frame.
    int Read(std::uint8_t* destination, std::uint32_t byteCount);
    // Copies to the position, all or nothing, advances and moves the end of
    // data. 1 when written; 0 for a null source, no block, or more bytes
    // than the block holds from the position.
    int Write(const std::uint8_t* source, std::uint32_t byteCount);

    // Move to `frame` (kept when beyond the frame count) or by `frames`
    // (stopping on the last frame); both return the new position.
    std::uint32_t SetPosition(std::uint32_t frame);
    std::uint32_t Advance(std::uint32_t frames);
    // Called with every new position; a file-backed buffer follows it.
    virtual void Seek(std::uint32_t frame);

    // Stores one sample in the width's byte layout and steps the position
    // by one. 1 when stored; 0 without a block, for a frame or channel
    // outside the buffer (channel 1 of mono is channel 0), a width outside
    // 1..4, or an 8-bit value beyond ±255.
    int PutSample(std::int32_t value, std::uint32_t frame, std::uint16_t channel);
    // The width's silence value in frames [first, end) (clamped to the
    // buffer), or from `first` to the end; nothing for an empty range.
    void FillSilence(std::uint32_t first, std::uint32_t end);
    void FillSilenceFrom(std::uint32_t first);

    // Sizes in the buffer's format; BytesToFrames drops a partial frame
    // and is 0 for a format without channels or bytes.
    std::uint32_t FramesToBytes(std::uint32_t frames) const;
    std::uint32_t BytesToFrames(std::uint32_t bytes) const;

    std::uint32_t GetByteSize() const { return byteSize; }
    std::uint8_t* GetData() const { return block.Data(); }

    bool IsFailed() const { return failed != 0; }
    bool IsModified() const { return modified != 0; }
    std::uint32_t GetFrameCount() const { return frameCount; }
    std::uint32_t GetPosition() const { return position; }
    std::uint32_t GetDataEnd() const { return dataEnd; }

protected:
    // FramesToBytes without the 32-bit wrap-around, for bounds checks and sizes.
    std::uint64_t FrameOffset(std::uint64_t frames) const;

    int failed = 0;
    int modified = 1;
    CZeroBlock block;
    CSampleFormat format;
    std::uint32_t byteSize = 0;
    std::uint32_t frameCount = 0;
    std::uint32_t position = 0;
    std::uint32_t dataEnd = 0;
};
