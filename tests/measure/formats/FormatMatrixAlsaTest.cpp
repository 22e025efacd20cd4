// SPDX-License-Identifier: GPL-3.0-or-later
// The format matrix on real alsa-lib, against the test plugin's configured
// truths: the accepts matrix of a device with a capability set equals it
// cell for cell in both directions, with alsa-lib's own call and words for
// each refusal; and through the converting cables the transparent level
// names what the "server" did: resampled at 44.1 kHz on a 48 kHz server,
// truncated at 24 valid bits on its 16-bit path, transparent in its own
// format, and noise added on the dithering one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "AlsaTestConfig.h"
#include "audio/backends/AlsaWaveApi.h"
#include "measure/formats/FormatMatrix.h"
#include "measure/formats/FormatMatrixText.h"

namespace {

class FormatMatrixAlsaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { alsatest::Install(true); }
    static void TearDownTestSuite() { alsatest::Remove(); }

    std::int32_t Find(CAlsaWaveApi& api, WaveDirection direction, const std::string& pcm)
    {
        std::vector<AlsaDeviceEntry> list = api.Devices(direction);
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].pcmName == pcm)
                return static_cast<std::int32_t>(i);
        ADD_FAILURE() << pcm << " is not listed";
        return -1;
    }
};

TEST_F(FormatMatrixAlsaTest, AcceptsMatrixEqualsTheCapabilitySet)
{
    CAlsaWaveApi api;
    FormatMatrixRequest request;
    request.input = Find(api, WaveDirection::Input, "narrow");
    request.output = Find(api, WaveDirection::Output, "narrow");
    FormatMatrixResult result;
    ASSERT_EQ(RunFormatMatrix(api, request, result), 1);
    ASSERT_EQ(result.devices.size(), 2u);
    for (const FormatDeviceMatrix& m : result.devices) {
        EXPECT_EQ(m.hostName, "narrow");
        ASSERT_EQ(m.cells.size(), 312u);
        std::size_t accepted = 0;
        for (const FormatCell& cell : m.cells) {
            const FormatKey& k = cell.key;
            SCOPED_TRACE(std::to_string(k.sampleRate) + "/" + std::to_string(k.channels) + "/" +
                         std::to_string(k.width.validBits) + "in" + std::to_string(k.width.bits) +
                         (k.extended ? " ext" : " std"));
            const bool rules = !k.extended && k.width.validBits != k.width.bits;
            const bool listed = std::find(alsatest::NarrowRates.begin(), alsatest::NarrowRates.end(), k.sampleRate) !=
                                    alsatest::NarrowRates.end() &&
                                k.channels == 2 && (k.width == FormatWidth{16, 16} || k.width == FormatWidth{24, 24} ||
                                                    k.width == FormatWidth{24, 20});
            EXPECT_EQ(cell.accept.Accepted(), listed && !rules);
            accepted += cell.accept.Accepted();
            if (cell.accept.Accepted() || rules)
                continue;
            EXPECT_EQ(cell.accept.code, WaveErrNotSupported);
            EXPECT_EQ(cell.accept.host.error, EINVAL);
            EXPECT_EQ(cell.accept.host.call.rfind("snd_pcm_hw_params", 0), 0u) << cell.accept.host.call;
        }
        // 3 rates x (16/16 and 24/24 in both descriptions, 20/24 extended).
        EXPECT_EQ(accepted, 3u * 5);
    }
    std::string text = FormatMatrixText(result);
    EXPECT_NE(text.find("(snd_pcm_hw_params_set_rate: Invalid argument)"), std::string::npos) << text;
}

TEST_F(FormatMatrixAlsaTest, TransparentLevelNamesWhatTheServerDid)
{
    CAlsaWaveApi api;
    struct Row {
        const char* device;
        FormatKey key;
        const char* mark;
    };
    const Row rows[] = {
        {"server", {44100, 2, {16, 16}, false}, "R"},
        {"server", {48000, 2, {32, 24}, true}, "Q"},
        {"server", {48000, 2, {16, 16}, true}, "T"},
        {"dither", {48000, 1, {16, 16}, false}, "N"},
        {"narrowloop", {96000, 1, {32, 32}, true}, "T"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.device) + " " + std::to_string(row.key.sampleRate));
        FormatMatrixRequest request;
        request.input = Find(api, WaveDirection::Input, row.device);
        request.output = Find(api, WaveDirection::Output, row.device);
        request.level = FormatLevel::Transparent;
        request.rates = {row.key.sampleRate};
        request.channelCounts = {row.key.channels};
        request.widths = {row.key.width};
        request.descriptions = {row.key.extended};
        FormatMatrixResult result;
        ASSERT_EQ(RunFormatMatrix(api, request, result), 1);
        ASSERT_EQ(result.loop.size(), 1u);
        EXPECT_EQ(FormatLoopMark(result.loop[0].verdict), row.mark);
    }
}

} // namespace
