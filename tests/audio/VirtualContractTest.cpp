// SPDX-License-Identifier: GPL-3.0-or-later
// The wave API contract on the virtual back end, on the test's virtual clock.
#include "WaveApiContract.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

class CVirtualContractBackEnd {
public:
    static constexpr const char* Name = "Virtual";

    CWaveApi& Api() { return wave.api; }
    std::uint32_t Device(WaveDirection) { return 0; }
    PcmWaveFormat Format() { return {WaveFormatTagPcm, 2, 16000, 64000, 4, 16}; }
    // Below the virtual devices' 1000 Hz.
    PcmWaveFormat RefusedFormat() { return {WaveFormatTagPcm, 2, 999, 3996, 4, 16}; }
    void Elapse(std::uint32_t milliseconds) { services.fake.Sleep(milliseconds); }
    std::uint64_t Now() { return services.fake.TickCount(); }

private:
    CFakeServicesScope services;
    CScopedVirtualWaveApi wave;
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Virtual, WaveApiContract, CVirtualContractBackEnd, WaveBackEndName);
