// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "core/SampleBuffer.h"
#include "core/ZeroBlock.h"
#include "support/FakeServices.h"

namespace {

std::vector<std::uint8_t> Bytes(const CSampleBuffer& buffer)
{
    return {buffer.GetData(), buffer.GetData() + buffer.GetByteSize()};
}

std::vector<std::uint8_t> Ramp(std::size_t n, std::uint8_t start = 1)
{
    std::vector<std::uint8_t> v(n);
    std::iota(v.begin(), v.end(), start);
    return v;
}

// A stereo 16-bit buffer: 4 bytes a frame.
CSampleBuffer Stereo16(std::uint32_t frames)
{
    return CSampleBuffer(frames, CSampleFormat(44100, 2, 2));
}

class SampleBufferTest : public ::testing::Test {
protected:
    CFakeServicesScope services;
};

TEST_F(SampleBufferTest, DefaultBufferHasNoBlockAndRefusesData)
{
    CSampleBuffer buffer;
    CSampleFormat f = buffer.GetFormat();
    EXPECT_EQ(f.sampleRate, 44100);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.bytesPerSample, 2);
    EXPECT_FALSE(buffer.IsFailed());
    EXPECT_TRUE(buffer.IsModified());
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetByteSize(), 0u);

    std::uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(buffer.Read(bytes, 4), 0);
    EXPECT_EQ(buffer.Write(bytes, 4), 0);
    EXPECT_EQ(buffer.PutSample(1, 0, 0), 0);
    EXPECT_TRUE(services.fake.cursorChanges.empty());
}

TEST_F(SampleBufferTest, SizedConstructionZeroFillsUnderTheWaitCursor)
{
    CSampleBuffer buffer = Stereo16(100);
    EXPECT_FALSE(buffer.IsFailed());
    EXPECT_EQ(buffer.GetFrameCount(), 100u);
    EXPECT_EQ(buffer.GetByteSize(), 400u);
    EXPECT_EQ(buffer.GetPosition(), 0u);
    EXPECT_EQ(buffer.GetDataEnd(), 0u);
    auto bytes = Bytes(buffer);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(services.fake.cursorChanges, (std::vector{CursorShape::Wait, CursorShape::Arrow}));
}

TEST_F(SampleBufferTest, ZeroFramesAllocateNothing)
{
    CSampleBuffer buffer(0, CSampleFormat(44100, 2, 2));
    EXPECT_FALSE(buffer.IsFailed());
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_TRUE(services.fake.cursorChanges.empty());
}

TEST_F(SampleBufferTest, ByteSizesBeyond32BitsFailInsteadOfWrapping)
{
    // 0x40000001 stereo 32-bit frames would be 8 GiB + 8 bytes; wrapped to 32
    // bits it would be an 8-byte block.
    CSampleBuffer huge(0x40000001u, CSampleFormat(44100, 2, 4));
    EXPECT_TRUE(huge.IsFailed());
    EXPECT_EQ(huge.GetData(), nullptr);
    EXPECT_EQ(huge.GetFrameCount(), 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(huge.Write(&byte, 1), 0);

    CSampleBuffer empty; // 16-bit mono: 0x80000001 frames need 4 GiB + 2 bytes
    EXPECT_EQ(empty.Resize(0x80000001u), 0);
    EXPECT_TRUE(empty.IsFailed());
}

TEST_F(SampleBufferTest, AllocationFailureSetsFailed)
{
    std::size_t old = CZeroBlock::Limit();
    CZeroBlock::SetLimit(1000);
    CSampleBuffer tooBig = Stereo16(1000);
    CSampleBuffer grown = Stereo16(10);
    EXPECT_EQ(grown.Resize(1000), 0); // a failed growth keeps the old block
    CZeroBlock::SetLimit(old);

    EXPECT_TRUE(tooBig.IsFailed());
    EXPECT_EQ(tooBig.GetData(), nullptr);
    EXPECT_FALSE(grown.IsFailed());
    EXPECT_EQ(grown.GetFrameCount(), 10u);
    EXPECT_EQ(grown.GetByteSize(), 40u);
}

TEST_F(SampleBufferTest, WriteFillingTheBlockCountsEveryFrame)
{
    CSampleBuffer buffer = Stereo16(10);
    auto source = Ramp(40);
    ASSERT_EQ(buffer.Write(source.data(), 40), 1);
    EXPECT_EQ(Bytes(buffer), source);
    EXPECT_EQ(buffer.GetPosition(), 9u); // the position stops on the last frame
    EXPECT_EQ(buffer.GetDataEnd(), 10u); // but the last frame is data
}

TEST_F(SampleBufferTest, WriteIsAllOrNothing)
{
    CSampleBuffer buffer = Stereo16(10);
    auto first = Ramp(8);
    ASSERT_EQ(buffer.Write(first.data(), 8), 1); // frames 0 and 1
    EXPECT_EQ(buffer.GetPosition(), 2u);
    EXPECT_EQ(buffer.GetDataEnd(), 2u);

    auto before = Bytes(buffer);
    auto tooMuch = Ramp(33, 100); // 32 bytes remain
    auto sourceCopy = tooMuch;
    EXPECT_EQ(buffer.Write(tooMuch.data(), 33), 0);
    EXPECT_EQ(Bytes(buffer), before);
    EXPECT_EQ(buffer.GetPosition(), 2u);
    EXPECT_EQ(buffer.GetDataEnd(), 2u);
    EXPECT_EQ(tooMuch, sourceCopy);

    EXPECT_EQ(buffer.Write(nullptr, 4), 0);
    EXPECT_EQ(buffer.Write(tooMuch.data(), 32), 1);
    EXPECT_EQ(buffer.GetDataEnd(), 10u);
}

TEST_F(SampleBufferTest, WriteDoesNotLowerDataEnd)
{
    CSampleBuffer buffer = Stereo16(10);
    auto source = Ramp(24);
    buffer.Write(source.data(), 24);
    buffer.SetPosition(1);
    buffer.Write(source.data(), 4);
    EXPECT_EQ(buffer.GetPosition(), 2u);
    EXPECT_EQ(buffer.GetDataEnd(), 6u);
}

TEST_F(SampleBufferTest, ReadCopiesAndZeroFillsTheShortfall)
{
    CSampleBuffer buffer = Stereo16(10);
    auto source = Ramp(40);
    buffer.Write(source.data(), 40);

    buffer.SetPosition(7);
    std::vector<std::uint8_t> out(20, 0xEE);
    ASSERT_EQ(buffer.Read(out.data(), 20), 1);
    std::vector<std::uint8_t> expected(source.begin() + 28, source.end());
    expected.resize(20, 0);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(buffer.GetPosition(), 9u);
}

TEST_F(SampleBufferTest, ReadNeverStartsOnTheLastFrame)
{
    CSampleBuffer buffer = Stereo16(10);
    buffer.SetPosition(9);
    std::vector<std::uint8_t> out(4, 0xEE);
    EXPECT_EQ(buffer.Read(out.data(), 4), 0);
    EXPECT_EQ(out, std::vector<std::uint8_t>(4, 0xEE));
    buffer.SetPosition(0);
    EXPECT_EQ(buffer.Read(nullptr, 4), 0);

    CSampleBuffer single = Stereo16(1);
    EXPECT_EQ(single.Read(out.data(), 4), 0);
}

TEST_F(SampleBufferTest, PositionIsClamped)
{
    CSampleBuffer buffer = Stereo16(10);
    EXPECT_EQ(buffer.SetPosition(10), 10u); // the frame count itself is accepted
    EXPECT_EQ(buffer.SetPosition(11), 10u); // beyond it the position stays
    buffer.SetPosition(3);
    EXPECT_EQ(buffer.Advance(4), 7u);
    EXPECT_EQ(buffer.Advance(100), 9u);
    EXPECT_EQ(buffer.Advance(0xFFFFFFFFu), 9u); // no wrap-around

    CSampleBuffer empty;
    EXPECT_EQ(empty.Advance(5), 0u);
}

// A subclass that records every Seek, as a file-backed buffer would move its file.
class CSeekLog : public CSampleBuffer {
public:
    using CSampleBuffer::CSampleBuffer;
    void Seek(std::uint32_t frame) override
    {
        seeks.push_back(frame);
        CSampleBuffer::Seek(frame);
    }
    std::vector<std::uint32_t> seeks;
};

TEST_F(SampleBufferTest, PositionChangesGoThroughTheVirtualSeek)
{
    CSeekLog buffer(10, CSampleFormat(44100, 1, 2));
    buffer.SetPosition(4);
    buffer.SetPosition(50);
    buffer.Advance(100);
    auto source = Ramp(4);
    buffer.SetPosition(0);
    buffer.Write(source.data(), 4);
    EXPECT_EQ(buffer.seeks, (std::vector<std::uint32_t>{4, 4, 9, 0, 2}));
}

TEST_F(SampleBufferTest, PutSampleStoresEachWidthLittleEndian)
{
    struct Case {
        std::uint16_t width;
        std::int32_t value;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {1, 255, {0xFF}},
        {1, 127, {0x7F}},
        {1, -1, {0xFF}},
        {2, 0x1234, {0x34, 0x12}},
        {2, -2, {0xFE, 0xFF}},
        {3, 0x123456, {0x56, 0x34, 0x12}},
        {3, -8388607, {0x01, 0x00, 0x80}},
        {4, 0x40000000, {0x00, 0x00, 0x00, 0x40}},
        {4, -1073741824, {0x00, 0x00, 0x00, 0xC0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width << " value " << c.value);
        CSampleBuffer buffer(4, CSampleFormat(44100, 2, c.width));
        ASSERT_EQ(buffer.PutSample(c.value, 2, 1), 1);
        // frame 2, channel 1 of a stereo buffer; nothing else touched
        std::vector<std::uint8_t> expected(buffer.GetByteSize(), 0);
        std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + (2 * 2 + 1) * c.width);
        EXPECT_EQ(Bytes(buffer), expected);
    }
}

TEST_F(SampleBufferTest, PutSampleRefusals)
{
    CSampleBuffer eight(4, CSampleFormat(8000, 1, 1));
    EXPECT_EQ(eight.PutSample(256, 0, 0), 0);
    EXPECT_EQ(eight.PutSample(-256, 0, 0), 0);
    EXPECT_EQ(eight.PutSample(5, 4, 0), 0); // frame beyond the block
    EXPECT_EQ(eight.PutSample(5, 0, 2), 0); // channel beyond the frame
    EXPECT_EQ(Bytes(eight), std::vector<std::uint8_t>(4, 0));
    EXPECT_EQ(eight.GetPosition(), 0u);

    CSampleBuffer stereo = Stereo16(4);
    EXPECT_EQ(stereo.PutSample(1, 3, 2), 0); // would land in the next frame or past the block
    EXPECT_EQ(stereo.PutSample(1, 3, 0xFFFF), 0);
}

TEST_F(SampleBufferTest, PutSampleOnMonoTakesChannelOneAsZero)
{
    CSampleBuffer mono(3, CSampleFormat(44100, 1, 2));
    ASSERT_EQ(mono.PutSample(0x0102, 1, 1), 1);
    EXPECT_EQ(Bytes(mono), (std::vector<std::uint8_t>{0, 0, 0x02, 0x01, 0, 0}));
}

TEST_F(SampleBufferTest, PutSampleStepsThePositionOncePerSample)
{
    CSampleBuffer buffer = Stereo16(10);
    buffer.PutSample(1, 5, 0);
    buffer.PutSample(1, 5, 1);
    EXPECT_EQ(buffer.GetPosition(), 2u); // two samples, whatever frame they went to
    EXPECT_EQ(buffer.GetDataEnd(), 2u);
    EXPECT_TRUE(buffer.IsModified());
}

TEST_F(SampleBufferTest, FillSilenceUsesTheWidthsSilenceAndRaisesDataEnd)
{
    CSampleBuffer eight(6, CSampleFormat(8000, 2, 1));
    eight.FillSilence(2, 4);
    EXPECT_EQ(Bytes(eight), (std::vector<std::uint8_t>{0, 0, 0, 0, 127, 127, 127, 127, 0, 0, 0, 0}));
    EXPECT_EQ(eight.GetDataEnd(), 4u);
    EXPECT_EQ(eight.GetPosition(), 4u); // four samples stored

    CSampleBuffer sixteen = Stereo16(4);
    auto source = Ramp(16);
    sixteen.Write(source.data(), 16);
    sixteen.FillSilenceFrom(2);
    auto bytes = Bytes(sixteen);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8), std::vector<std::uint8_t>(source.begin(), source.begin() + 8));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 8, bytes.end()), std::vector<std::uint8_t>(8, 0));
}

TEST_F(SampleBufferTest, FillSilenceAtAndBeyondTheEnd)
{
    CSampleBuffer buffer(10, CSampleFormat(8000, 1, 1));
    buffer.FillSilence(10, 20); // stores nothing, yet marks the data up to the end
    EXPECT_EQ(Bytes(buffer), std::vector<std::uint8_t>(10, 0));
    EXPECT_EQ(buffer.GetDataEnd(), 10u);

    CSampleBuffer other(10, CSampleFormat(8000, 1, 1));
    other.FillSilence(11, 20);
    other.FillSilence(5, 5);
    EXPECT_EQ(other.GetDataEnd(), 0u);
}

TEST_F(SampleBufferTest, ResizeGrowsZeroFilledAndShrinksWithClamps)
{
    CSampleBuffer buffer = Stereo16(4);
    auto source = Ramp(16);
    buffer.Write(source.data(), 16);
    services.fake.cursorChanges.clear();

    ASSERT_EQ(buffer.Resize(8), 1);
    EXPECT_EQ(buffer.GetFrameCount(), 8u);
    EXPECT_EQ(buffer.GetByteSize(), 32u);
    auto grown = Bytes(buffer);
    EXPECT_EQ(std::vector<std::uint8_t>(grown.begin(), grown.begin() + 16), source);
    EXPECT_EQ(std::vector<std::uint8_t>(grown.begin() + 16, grown.end()), std::vector<std::uint8_t>(16, 0));
    EXPECT_EQ(services.fake.cursorChanges, (std::vector{CursorShape::Wait, CursorShape::Arrow}));

    buffer.SetPosition(6);
    services.fake.cursorChanges.clear();
    ASSERT_EQ(buffer.Resize(2), 1);
    EXPECT_TRUE(services.fake.cursorChanges.empty()); // only growth waits
    EXPECT_EQ(buffer.GetPosition(), 2u); // clamped to the count, not count - 1
    EXPECT_EQ(buffer.GetDataEnd(), 2u);
    EXPECT_EQ(Bytes(buffer), std::vector<std::uint8_t>(source.begin(), source.begin() + 8));
}

TEST_F(SampleBufferTest, ResizeToTheSameByteSizeChangesNothing)
{
    // 4 stereo 16-bit frames are 16 bytes; so are 8 frames once the format
    // says mono, but the frame count must not follow.
    CSampleBuffer buffer = Stereo16(4);
    ASSERT_EQ(buffer.Resize(4), 1);
    EXPECT_EQ(buffer.GetFrameCount(), 4u);
}

TEST_F(SampleBufferTest, FirstResizeAllocatesAZeroFilledBlock)
{
    CSampleBuffer buffer;
    ASSERT_EQ(buffer.Resize(5), 1);
    EXPECT_EQ(buffer.GetFrameCount(), 5u);
    EXPECT_EQ(Bytes(buffer), std::vector<std::uint8_t>(10, 0));
    std::uint8_t two[2] = {9, 9};
    EXPECT_EQ(buffer.Write(two, 2), 1);
}

TEST_F(SampleBufferTest, ByteFrameConversions)
{
    CSampleBuffer buffer(0, CSampleFormat(44100, 2, 3));
    EXPECT_EQ(buffer.FramesToBytes(10), 60u);
    EXPECT_EQ(buffer.BytesToFrames(65), 10u);
    EXPECT_EQ(buffer.FramesToBytes(0x80000000u), 0u); // a 32-bit product, as documented
}

} // namespace
