// SPDX-License-Identifier: GPL-3.0-or-later
// The wave API contract on the ALSA back end, over the hermetic
// configuration's paced device in real time.
#include "AlsaTestConfig.h"
#include "WaveApiContract.h"
#include "audio/backends/AlsaWaveApi.h"

namespace {

class CAlsaContractBackEnd : public CRealTimeContractClock {
public:
    static constexpr const char* Name = "Alsa";

    CAlsaContractBackEnd() : installed((alsatest::Install(), true)) {}
    ~CAlsaContractBackEnd() = default;

    CWaveApi& Api() { return api; }
    std::uint32_t Device(WaveDirection direction)
    {
        std::vector<AlsaDeviceEntry> list = api.Devices(direction);
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].pcmName == "paced")
                return static_cast<std::uint32_t>(i);
        }
        ADD_FAILURE() << "paced not listed";
        return 0;
    }
    PcmWaveFormat Format() { return {WaveFormatTagPcm, 2, 16000, 64000, 4, 16}; }
    // The paced device takes no 8-bit samples.
    PcmWaveFormat RefusedFormat() { return {WaveFormatTagPcm, 2, 16000, 32000, 2, 8}; }

private:
    bool installed;
    CAlsaWaveApi api;
};

// The configuration outlives every case of this process.
class CAlsaConfigEnvironment : public ::testing::Environment {
public:
    void TearDown() override { alsatest::Remove(); }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new CAlsaConfigEnvironment);

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Alsa, WaveApiContract, CAlsaContractBackEnd, WaveBackEndName);
