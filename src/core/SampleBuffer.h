// One contiguous block of interleaved sample frames with its format, a frame
// position for sequential reading and writing, and the end of the data
// written so far. The base of the wave file; knows nothing of devices or files.
#pragma once

#include <cstdint>

#include "core/SampleFormat.h"
#include "core/ZeroBlock.h"

class CSampleBuffer {
public:
    // 16-bit mono at 44100 Hz with no block; the first Resize allocates one.
    CSampleBuffer();
    // Takes the format as it is and allocates `frameCount` zero-filled frames.
    // `failed` tells whether the allocation succeeded.
    CSampleBuffer(std::uint32_t frameCount, CSampleFormat format);
    // Not virtual: buffers are always destroyed through their own type.
    ~CSampleBuffer() = default;

    CSampleBuffer(const CSampleBuffer&) = delete;
    CSampleBuffer& operator=(const CSampleBuffer&) = delete;

    CSampleFormat GetFormat() const { return format; }

    int Resize(std::uint32_t frames);

    // Copies from the position; whatever the block cannot supply is zeroed.
    int Read(std::uint8_t* destination, std::uint32_t byteCount);
    // Copies to the position, all or nothing.
    int Write(const std::uint8_t* source, std::uint32_t byteCount);

    std::uint32_t SetPosition(std::uint32_t frame);
    std::uint32_t Advance(std::uint32_t frames);
    virtual void Seek(std::uint32_t frame);

    int PutSample(std::int32_t value, std::uint32_t frame, std::uint16_t channel);
    void FillSilence(std::uint32_t first, std::uint32_t end);
    void FillSilenceFrom(std::uint32_t first);

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
