// SPDX-License-Identifier: GPL-3.0-or-later
// Under an address-space limit the virtual output's record of what it
// played stops short, and says so, instead of ending the program.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>

#include "audio/WaveDevice.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TALLOWMERE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TALLOWMERE_SANITIZED 1
#endif
#endif

namespace {

#ifndef TALLOWMERE_SANITIZED
std::uint64_t AddressSpaceBytes()
{
    unsigned long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%lu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    return std::uint64_t{pages} * 4096u;
}

// Sets a soft limit for a scope and restores the old one.
class CAddressSpaceLimit {
public:
    explicit CAddressSpaceLimit(std::uint64_t bytes)
    {
        getrlimit(RLIMIT_AS, &saved);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        applied = setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~CAddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved); }
    bool applied = false;

private:
    rlimit saved{};
};
#endif

TEST(VirtualMemoryTest, PlayedRecordStopsShortWhenMemoryRunsOut)
{
#ifdef TALLOWMERE_SANITIZED
    GTEST_SKIP() << "the sanitizers' shadow memory needs the address space a limit would take";
#else
    CFakeServicesScope services;
    CScopedVirtualWaveApi wave;
    wave.api.playedLimit = std::numeric_limits<std::size_t>::max();
    // 96 s of 32-bit stereo at 192 kHz; never written, so it costs address
    // space only.
    constexpr std::uint32_t bytes = 192000u * 8u * 96u;
    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes]);
    CWaveOutDevice device(0);
    device.SetFormat(192000, 2, 4);
    ASSERT_EQ(device.Open(nullptr, 32), WaveNoError);
    ASSERT_EQ(device.AddBuffer(data.get(), bytes, 0, 0), 1);
    ASSERT_EQ(device.Restart(), 1);
    {
        // Room for a record of a quarter of the buffer, not for all of it.
        CAddressSpaceLimit limit(AddressSpaceBytes() + bytes / 2);
        ASSERT_TRUE(limit.applied);
        for (int second = 0; second < 100 && !device.IsBufferDone(0); ++second)
            services.fake.Sleep(1000);
    }
    const VirtualDevice& output = wave.api.Device(WaveDirection::Output, 0);
    EXPECT_EQ(device.IsBufferDone(0), 1);
    EXPECT_TRUE(output.playedIncomplete);
    EXPECT_LT(output.played.size(), bytes);
    device.Close();
    EXPECT_TRUE(services.fake.messages.empty());
#endif
}

} // namespace
