// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/formats/FormatRuns.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "audio/WaveFormatRules.h"
#include "measure/formats/FormatSamples.h"
#include "platform/Services.h"

namespace {

constexpr std::uint32_t PollMs = 10;
// A run of exact silence inside the signal this long is a gap (as the
// analysis counts dropouts): at least 16 samples and a quarter millisecond.
constexpr std::uint32_t GapSamples = 16;

// The description the device sends for the key, to ask the rules first.
bool RulesRefuse(const FormatKey& key)
{
    const auto bytes = static_cast<std::uint16_t>(key.width.bits / 8);
    const auto block = static_cast<std::uint16_t>(bytes * key.channels);
    WaveFormatInfo info;
    if (key.extended) {
        ExtensibleWaveFormat f{WaveFormatTagExtensible, key.channels, key.sampleRate, key.sampleRate * block, block,
                               key.width.bits, ExtensibleFormatExtraBytes, key.width.validBits,
                               WaveSpeakerFrontLeft | WaveSpeakerFrontRight, WaveSubtypePcm};
        return ReadWaveFormat(&f, info) != WaveNoError;
    }
    PcmWaveFormat f{WaveFormatTagPcm, key.channels, key.sampleRate, key.sampleRate * block, block,
                    key.width.validBits};
    return ReadWaveFormat(&f, info) != WaveNoError;
}

WaveResult OpenAs(CWaveDevice& device, const FormatKey& key)
{
    device.SetFormat(static_cast<std::int32_t>(key.sampleRate), key.channels,
                     static_cast<std::uint16_t>(key.width.bits / 8));
    return key.extended ? device.OpenExtended(nullptr, key.width.validBits) : device.Open(nullptr, key.width.validBits);
}

void JudgeRecording(const FormatKey& key, const std::vector<std::uint8_t>& bytes, std::uint32_t recorded,
                    FormatDelivery& d)
{
    const auto width = static_cast<std::uint16_t>(key.width.bits / 8);
    const std::size_t samples = recorded / width;
    std::uint32_t any = 0;
    bool varies = false;
    const std::int32_t first = samples > 0 ? LoadAlignedSample(bytes.data(), width) : 0;
    for (std::size_t i = 0; i < samples; ++i) {
        std::int32_t v = LoadAlignedSample(&bytes[i * width], width);
        any |= static_cast<std::uint32_t>(v);
        varies = varies || v != first;
    }
    d.silent = !varies;
    d.bitsCarried = any == 0 ? 0 : static_cast<std::uint16_t>(32 - std::countr_zero(any));
    const std::uint32_t gapFrames = std::max<std::uint32_t>(GapSamples, key.sampleRate / 4000);
    for (std::uint16_t c = 0; c < key.channels; ++c) {
        // Zero runs between the channel's first and last sound.
        std::size_t run = 0;
        bool sounded = false;
        for (std::size_t i = c; i < samples; i += key.channels) {
            if (LoadAlignedSample(&bytes[i * width], width) != 0) {
                if (sounded && run >= gapFrames)
                    ++d.gaps;
                sounded = true;
                run = 0;
            } else {
                ++run;
            }
        }
    }
}

} // namespace

FormatAcceptance TryFormat(CWaveApi& api, CWaveDevice& device, const FormatKey& key)
{
    FormatAcceptance a;
    a.tried = true;
    a.code = OpenAs(device, key);
    device.Close();
    if (a.code == WaveNoError)
        return a;
    a.byRules = RulesRefuse(key);
    if (!a.byRules && device.GetDeviceIndex() >= 0)
        a.host = api.HostDetail(device.GetDirection(), static_cast<std::uint32_t>(device.GetDeviceIndex()));
    return a;
}

namespace {

// One direction's short run inside DeliverFormats.
struct DeliveryRun {
    CWaveDevice& device;
    CWaveInDevice* input; // null for the output
    CWaveOutDevice* output;
    FormatDelivery& d;
    std::vector<std::uint8_t> buffer;

    // Opens, queues the buffer; false with the step's code when that failed.
    bool Queue(const FormatKey& key)
    {
        d = FormatDelivery{};
        d.run = true;
        d.expectedMs = FormatDeliveryMs;
        const std::size_t frameBytes = std::size_t{key.width.bits / 8u} * key.channels;
        const std::uint32_t frames = key.sampleRate * FormatDeliveryMs / 1000;
        buffer = input != nullptr ? std::vector<std::uint8_t>(frames * frameBytes) : BuildMatrixSequence(key, frames);
        // Played a tenth as loud: whoever listens hears a short hiss.
        if (output != nullptr) {
            const auto width = static_cast<std::uint16_t>(key.width.bits / 8);
            for (std::size_t i = 0; i + width <= buffer.size(); i += width)
                StoreAlignedSample(&buffer[i], LoadAlignedSample(&buffer[i], width) / 10, width);
        }
        if ((d.stepCode = OpenAs(device, key)) != WaveNoError)
            return false;
        const auto length = static_cast<std::uint32_t>(buffer.size());
        const int queued = input != nullptr ? input->AddBuffer(buffer.data(), length, 0, &d.stepCode)
                                            : output->AddBuffer(buffer.data(), length, 0, 0, &d.stepCode);
        return Failed(queued);
    }

    bool Start() { return Failed(input != nullptr ? input->Start(&d.stepCode) : output->Restart(&d.stepCode)); }

    // Closes the device after a failed step; true when the step went well.
    bool Failed(int succeeded)
    {
        if (succeeded)
            return true;
        if (d.stepCode == WaveNoError)
            d.stepCode = WaveErrUnspecified;
        device.Close();
        return false;
    }

    void Finish(CWaveApi& api, const FormatKey& key)
    {
        const WaveHeader* header = device.GetHeader(0);
        const std::uint32_t recorded = header != nullptr ? header->bytesRecorded.load() : 0;
        device.Close();
        if (input != nullptr)
            JudgeRecording(key, buffer,
                           std::min<std::uint32_t>(recorded, static_cast<std::uint32_t>(buffer.size())), d);
        d.xruns = api.HostDetail(device.GetDirection(), static_cast<std::uint32_t>(device.GetDeviceIndex())).xruns;
    }
};

} // namespace

void DeliverFormats(CWaveApi& api, CWaveInDevice* input, CWaveOutDevice* output, const FormatKey& key,
                    FormatDelivery* inputDelivery, FormatDelivery* outputDelivery)
{
    std::vector<DeliveryRun> runs;
    runs.reserve(2);
    if (input != nullptr && inputDelivery != nullptr)
        runs.push_back({*input, input, nullptr, *inputDelivery, {}});
    if (output != nullptr && outputDelivery != nullptr)
        runs.push_back({*output, nullptr, output, *outputDelivery, {}});
    // Both queued before either starts, then started one right after the
    // other, so they run side by side for the same FormatDeliveryMs.
    std::vector<DeliveryRun*> queued;
    for (DeliveryRun& run : runs)
        if (run.Queue(key))
            queued.push_back(&run);
    std::vector<DeliveryRun*> going;
    for (DeliveryRun* run : queued)
        if (run->Start())
            going.push_back(run);
    const std::uint32_t begin = Services().TickCount();
    for (std::size_t pending = going.size(); pending > 0;) {
        pending = 0;
        const std::uint32_t elapsed = Services().TickCount() - begin;
        for (DeliveryRun* run : going) {
            if (!run->d.done && (run->d.done = run->device.IsBufferDone(0) != 0))
                run->d.elapsedMs = elapsed;
            if (!run->d.done) {
                run->d.elapsedMs = elapsed;
                pending += elapsed <= FormatDeliveryMs + FormatDeliveryGraceMs;
            }
        }
        if (pending > 0)
            Services().Sleep(PollMs);
    }
    for (DeliveryRun* run : going)
        run->Finish(api, key);
}
