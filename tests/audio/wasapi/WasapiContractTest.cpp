// SPDX-License-Identifier: GPL-3.0-or-later
// The wave API contract on the WASAPI back end in exclusive mode, in real
// time: on Windows the machine's first endpoints, under Wine its ALSA
// driver over the test preset's private null device.
#include "UnderWine.h"
#include "WaveApiContract.h"
#include "audio/backends/WasapiWaveApi.h"

namespace {

class CWasapiContractBackEnd : public CRealTimeContractClock {
public:
    static constexpr const char* Name = "Wasapi";

    // Under Wine an exclusive stream goes straight to the ALSA device (no
    // mixer), but the test preset's device is ALSA's null plugin; a Windows
    // driver gives every need.
    static const char* Lacks(ContractNeed need)
    {
        if (!UnderWine())
            return nullptr;
        switch (need) {
        case ContractNeed::PacedDevices:
            return "under Wine the test configuration's ALSA null device moves data faster than real time";
        case ContractNeed::FormatRefusals:
            return "the test configuration's ALSA null device takes every rate and sample size Wine asks of it";
        case ContractNeed::ExclusiveDevices:
        case ContractNeed::CloseRefusedWhileQueued:
            break;
        }
        return nullptr;
    }

    CWaveApi& Api() { return api; }
    std::uint32_t Device(WaveDirection) { return 0; }
    PcmWaveFormat Format() { return {WaveFormatTagPcm, 2, 16000, 64000, 4, 16}; }
    // No driver takes 8-bit samples at a rate this low.
    PcmWaveFormat RefusedFormat() { return {WaveFormatTagPcm, 2, 100, 200, 2, 8}; }

private:
    CWasapiWaveApi api;
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Wasapi, WaveApiContract, CWasapiContractBackEnd, WaveBackEndName);
