// SPDX-License-Identifier: GPL-3.0-or-later
// The wave API contract on the WinMM back end, in real time: on Windows the
// machine's first devices, under Wine its ALSA driver over the test
// preset's private null device.
#include "UnderWine.h"
#include "WaveApiContract.h"
#include "audio/backends/WinMmWaveApi.h"

namespace {

class CWinMmContractBackEnd : public CRealTimeContractClock {
public:
    static constexpr const char* Name = "WinMm";

    // Wine's audio path mixes in shared mode over whatever ALSA device it
    // is given; a Windows driver gives every need.
    static const char* Lacks(ContractNeed need)
    {
        if (!UnderWine())
            return nullptr;
        switch (need) {
        case ContractNeed::PacedDevices:
            return "under Wine the test configuration's ALSA null device moves data faster than real time";
        case ContractNeed::ExclusiveDevices:
            return "Wine's mixer lets any number of opens share a device";
        case ContractNeed::FormatRefusals:
            return "Wine's mixer converts every well-formed format, so none is refused";
        case ContractNeed::CloseRefusedWhileQueued:
            return "Wine closes a device that still has buffers queued";
        }
        return nullptr;
    }

    CWaveApi& Api() { return api; }
    std::uint32_t Device(WaveDirection) { return 0; }
    PcmWaveFormat Format() { return {WaveFormatTagPcm, 2, 16000, 64000, 4, 16}; }
    // No driver takes 8-bit samples at a rate this low.
    PcmWaveFormat RefusedFormat() { return {WaveFormatTagPcm, 2, 100, 200, 2, 8}; }

private:
    CWinMmWaveApi api;
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(WinMm, WaveApiContract, CWinMmContractBackEnd, WaveBackEndName);
