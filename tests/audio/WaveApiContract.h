// SPDX-License-Identifier: GPL-3.0-or-later
// The contract every wave back end keeps, as one typed suite. A back end
// plugs in with a fixture class and one line in its own test file:
//
//   INSTANTIATE_TYPED_TEST_SUITE_P(Alsa, WaveApiContract, CAlsaContractBackEnd, WaveBackEndName);
//
// The fixture class is default-constructible and gives:
//   static constexpr const char* Name      shown in the test names
//   CWaveApi& Api()                        the back end, current for the test
//   std::uint32_t Device(WaveDirection)    a device that moves data in real
//                                          (or virtual) time and is busy
//                                          while open
//   PcmWaveFormat Format()                 16-bit stereo 16 kHz, which it takes
//   PcmWaveFormat RefusedFormat()          a well-formed format it refuses
//   void Elapse(std::uint32_t ms)          lets that much time pass
//   std::uint64_t Now()                    the time that Elapse moves, in ms
//                                          (CRealTimeContractClock gives both
//                                          for devices in real time)
// and, where its platform cannot give all that the cases need, also
//   static const char* Lacks(ContractNeed) why it cannot give that need
//                                          here; nullptr when it can
// A case whose need is lacking is skipped with that reason. Without Lacks
// every need holds.
// Polling goes through Api().Update(handle), as the devices poll.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "audio/WaveApi.h"

enum class ContractNeed {
    PacedDevices,            // data moves at the format's rate, not faster
    ExclusiveDevices,        // an open device is busy for a second open
    FormatRefusals,          // a format the device lacks is refused, not converted
    CloseRefusedWhileQueued, // a device with buffers queued stays open
};

// Elapse and Now for a back end whose devices run in real time.
class CRealTimeContractClock {
public:
    void Elapse(std::uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
    std::uint64_t Now()
    {
        using namespace std::chrono;
        return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
};

template <typename BackEnd>
class WaveApiContract : public ::testing::Test {
protected:
    BackEnd backEnd;

    CWaveApi& Api() { return backEnd.Api(); }

    // Why the back end cannot give one of `needs` here; empty when it gives all.
    static std::string Lacking(std::initializer_list<ContractNeed> needs)
    {
        if constexpr (requires { BackEnd::Lacks(ContractNeed::PacedDevices); }) {
            for (ContractNeed need : needs) {
                if (const char* reason = BackEnd::Lacks(need))
                    return reason;
            }
        }
        return {};
    }

    WaveHandle Open(WaveDirection direction)
    {
        PcmWaveFormat format = backEnd.Format();
        WaveHandle handle = 0;
        EXPECT_EQ(Api().Open(direction, handle, backEnd.Device(direction), &format, nullptr, 0, 0), WaveNoError);
        return handle;
    }

    // A header over `data`, prepared on `handle`.
    void Prepare(WaveHandle handle, WaveHeader& header, std::vector<std::uint8_t>& data)
    {
        header.data = data.data();
        header.bufferLength = static_cast<std::uint32_t>(data.size());
        header.flags = 0;
        ASSERT_EQ(Api().PrepareHeader(handle, &header, sizeof header), WaveNoError);
    }

    bool IsDone(WaveHandle handle, const WaveHeader& header)
    {
        Api().Update(handle);
        return (header.flags.load(std::memory_order_acquire) & WaveHeaderDone) != 0;
    }

    // Milliseconds until `header` is done, polled in 5 ms steps; -1 after 10 s.
    int MillisecondsUntilDone(WaveHandle handle, const WaveHeader& header)
    {
        for (int waited = 0; waited <= 10000; waited += 5) {
            if (IsDone(handle, header))
                return waited;
            backEnd.Elapse(5);
        }
        return -1;
    }

    // Frames of Format() in `milliseconds`, as bytes.
    static std::vector<std::uint8_t> Buffer(std::uint32_t milliseconds)
    {
        return std::vector<std::uint8_t>(16u * milliseconds * 4u, 0x11);
    }
};

TYPED_TEST_SUITE_P(WaveApiContract);

TYPED_TEST_P(WaveApiContract, ResetHandsEveryBufferBack)
{
    if (std::string reason = this->Lacking({ContractNeed::PacedDevices, ContractNeed::CloseRefusedWhileQueued}); !reason.empty())
        GTEST_SKIP() << reason;
    WaveHandle handle = this->Open(WaveDirection::Input);
    std::vector<std::uint8_t> first = this->Buffer(2000), second = this->Buffer(2000);
    WaveHeader headers[2];
    this->Prepare(handle, headers[0], first);
    this->Prepare(handle, headers[1], second);
    for (WaveHeader& header : headers)
        ASSERT_EQ(this->Api().QueueBuffer(handle, &header, sizeof header), WaveNoError);
    ASSERT_EQ(this->Api().Start(handle), WaveNoError);
    this->backEnd.Elapse(200);
    EXPECT_FALSE(this->IsDone(handle, headers[0]));
    EXPECT_EQ(this->Api().Close(handle), WaveErrStillPlaying);
    EXPECT_EQ(this->Api().UnprepareHeader(handle, &headers[0], sizeof(WaveHeader)), WaveErrStillPlaying);

    ASSERT_EQ(this->Api().Reset(handle), WaveNoError);
    for (WaveHeader& header : headers) {
        EXPECT_EQ(header.flags.load() & (WaveHeaderDone | WaveHeaderInQueue), WaveHeaderDone);
        EXPECT_EQ(this->Api().UnprepareHeader(handle, &header, sizeof header), WaveNoError);
    }
    // The front buffer keeps what was recorded into it, the other nothing.
    EXPECT_GT(headers[0].bytesRecorded.load(), 0u);
    EXPECT_LT(headers[0].bytesRecorded.load(), first.size());
    EXPECT_EQ(headers[1].bytesRecorded.load(), 0u);
    EXPECT_EQ(this->Api().Close(handle), WaveNoError);
}

// Each row breaks one header rule; the code is the rule's.
TYPED_TEST_P(WaveApiContract, HeaderRulesGiveTheirCodes)
{
    WaveHandle handle = this->Open(WaveDirection::Output);
    ASSERT_EQ(this->Api().Pause(handle), WaveNoError);
    std::vector<std::uint8_t> data = this->Buffer(100);

    WaveHeader queued;
    this->Prepare(handle, queued, data);
    ASSERT_EQ(this->Api().QueueBuffer(handle, &queued, sizeof queued), WaveNoError);

    WaveHeader unprepared, noData, empty, shortHeader;
    unprepared.data = noData.data = empty.data = shortHeader.data = data.data();
    unprepared.bufferLength = noData.bufferLength = shortHeader.bufferLength = 400;
    noData.data = nullptr;
    for (WaveHeader* header : {&unprepared, &noData, &empty, &shortHeader})
        header->flags = 0;
    for (WaveHeader* header : {&noData, &empty, &shortHeader})
        ASSERT_EQ(this->Api().PrepareHeader(handle, header, sizeof *header), 0);

    struct Row {
        const char* rule;
        WaveHeader* header;
        std::uint32_t headerSize;
        WaveResult code;
    };
    const Row rows[] = {
        {"queued again", &queued, sizeof(WaveHeader), WaveErrStillPlaying},
        {"not prepared", &unprepared, sizeof(WaveHeader), WaveErrUnprepared},
        {"no buffer", &noData, sizeof(WaveHeader), WaveErrInvalidParam},
        {"empty buffer", &empty, sizeof(WaveHeader), WaveErrInvalidParam},
        {"short header", &shortHeader, 8, WaveErrInvalidParam},
        {"no header", nullptr, sizeof(WaveHeader), WaveErrInvalidParam},
    };
    for (const Row& row : rows)
        EXPECT_EQ(this->Api().QueueBuffer(handle, row.header, row.headerSize), row.code) << row.rule;
    EXPECT_EQ(this->Api().PrepareHeader(handle, nullptr, sizeof(WaveHeader)), WaveErrInvalidParam);

    ASSERT_EQ(this->Api().Reset(handle), WaveNoError);
    EXPECT_EQ(this->Api().Close(handle), WaveNoError);
}

TYPED_TEST_P(WaveApiContract, ASecondOpenOfAnOpenDeviceIsBusy)
{
    if (std::string reason = this->Lacking({ContractNeed::ExclusiveDevices}); !reason.empty())
        GTEST_SKIP() << reason;
    for (WaveDirection direction : {WaveDirection::Input, WaveDirection::Output}) {
        WaveHandle handle = this->Open(direction);
        PcmWaveFormat format = this->backEnd.Format();
        WaveHandle second = 0;
        std::uint32_t device = this->backEnd.Device(direction);
        EXPECT_EQ(this->Api().Open(direction, second, device, &format, nullptr, 0, 0), WaveErrAllocated);
        EXPECT_EQ(second, 0u);
        ASSERT_EQ(this->Api().Close(handle), WaveNoError);
        ASSERT_EQ(this->Api().Open(direction, second, device, &format, nullptr, 0, 0), WaveNoError);
        EXPECT_EQ(this->Api().Close(second), WaveNoError);
    }
}

TYPED_TEST_P(WaveApiContract, FormatsTheDeviceDoesNotTakeAreRefused)
{
    if (std::string reason = this->Lacking({ContractNeed::FormatRefusals}); !reason.empty())
        GTEST_SKIP() << reason;
    PcmWaveFormat refused = this->backEnd.RefusedFormat();
    // 20 bits cannot fill a 3-byte container in a plain description.
    PcmWaveFormat twentyBits{WaveFormatTagPcm, 2, 16000, 16000 * 6, 6, 20};
    for (const PcmWaveFormat* format : {&refused, &twentyBits}) {
        WaveHandle handle = 0;
        EXPECT_EQ(this->Api().Open(WaveDirection::Output, handle, this->backEnd.Device(WaveDirection::Output), format,
                                   nullptr, 0, 0),
                  WaveErrNotSupported)
            << format->bitsPerSample << " bits at " << format->samplesPerSec;
        EXPECT_EQ(handle, 0u);
    }
}

TYPED_TEST_P(WaveApiContract, PlaybackIsDoneOnlyAfterItsLastFrame)
{
    if (std::string reason = this->Lacking({ContractNeed::PacedDevices}); !reason.empty())
        GTEST_SKIP() << reason;
    WaveHandle handle = this->Open(WaveDirection::Output);
    std::vector<std::uint8_t> data = this->Buffer(300);
    WaveHeader header;
    this->Prepare(handle, header, data);
    std::uint64_t start = this->backEnd.Now();
    ASSERT_EQ(this->Api().QueueBuffer(handle, &header, sizeof header), WaveNoError);
    this->backEnd.Elapse(150);
    // A loaded machine may have slept far longer than asked.
    if (this->backEnd.Now() - start < 250) {
        EXPECT_FALSE(this->IsDone(handle, header));
    }
    ASSERT_NE(this->MillisecondsUntilDone(handle, header), -1);
    EXPECT_GE(this->backEnd.Now() - start, 290u);
    EXPECT_EQ(this->Api().Close(handle), WaveNoError);
}

TYPED_TEST_P(WaveApiContract, CloseIsIdempotent)
{
    WaveHandle handle = this->Open(WaveDirection::Input);
    ASSERT_EQ(this->Api().Close(handle), WaveNoError);
    EXPECT_EQ(this->Api().Close(handle), WaveErrInvalidHandle);
    EXPECT_EQ(this->Api().Reset(handle), WaveErrInvalidHandle);
    WaveHeader header;
    EXPECT_EQ(this->Api().PrepareHeader(handle, &header, sizeof header), WaveErrInvalidHandle);
    EXPECT_EQ(this->Api().Close(0), WaveErrInvalidHandle);
}

REGISTER_TYPED_TEST_SUITE_P(WaveApiContract, ResetHandsEveryBufferBack, HeaderRulesGiveTheirCodes,
                            ASecondOpenOfAnOpenDeviceIsBusy, FormatsTheDeviceDoesNotTakeAreRefused,
                            PlaybackIsDoneOnlyAfterItsLastFrame, CloseIsIdempotent);

// Names the instantiation's cases after the back end.
struct WaveBackEndName {
    template <typename BackEnd>
    static std::string GetName(int)
    {
        return BackEnd::Name;
    }
};
