// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/formats/FormatMatrix.h"

#include <memory>

#include "audio/FullDuplexRun.h"
#include "audio/WaveDevice.h"
#include "measure/formats/FormatLoop.h"
#include "measure/formats/FormatRuns.h"
#include "measure/formats/FormatSamples.h"
#include "platform/Services.h"

namespace {

// The transparent level's sequence and the room around it for the path's
// delay: the first frames searched, the rest compared.
constexpr std::uint32_t LoopSequenceMs = 60;
constexpr std::uint32_t LoopSlackMs = 200;
// A shorter pause before the start than the test's 250 ms (the sequence is
// searched for wherever it lies, but a sound server wants a moment to link
// the new streams) and fine steps, so a run lasts little more than its
// capture.
constexpr std::uint32_t LoopSettleMs = 100;
constexpr std::uint32_t LoopPollMs = 10;

std::vector<FormatKey> Keys(const FormatMatrixRequest& request)
{
    std::vector<FormatKey> keys;
    for (bool extended : request.descriptions)
        for (std::uint16_t channels : request.channelCounts)
            for (const FormatWidth& width : request.widths)
                for (std::uint32_t rate : request.rates)
                    keys.push_back({rate, channels, width, extended});
    return keys;
}

FormatLoopVerdict RunLoop(CWaveApi& api, const FormatMatrixRequest& request, const FormatKey& key, bool& cancelled)
{
    const std::uint32_t frames = std::max<std::uint32_t>(2048, key.sampleRate / 1000 * LoopSequenceMs);
    const std::uint64_t frameBytes = std::uint64_t{key.width.bits / 8u} * key.channels;
    std::vector<std::uint8_t> sequence = BuildMatrixSequence(key, frames);
    FullDuplexRequest run;
    run.inputDevice = request.input;
    run.outputDevice = request.output;
    run.sampleRate = static_cast<std::int32_t>(key.sampleRate);
    run.channels = key.channels;
    run.bytesPerSample = static_cast<std::uint16_t>(key.width.bits / 8);
    run.validBits = key.width.validBits;
    run.extended = key.extended;
    run.stimulus = sequence;
    run.captureBytes = (frames + std::uint64_t{key.sampleRate} * LoopSlackMs / 1000) * frameBytes;
    run.window = request.window;
    run.settleMs = LoopSettleMs;
    run.pollMs = LoopPollMs;
    FullDuplexResult result;
    RunFullDuplex(api, run, result);
    cancelled = result.outcome == FullDuplexOutcome::Cancelled;
    if (result.outcome == FullDuplexOutcome::Completed || result.outcome == FullDuplexOutcome::PlaybackUnfinished)
        return JudgeLoop(key, sequence, result.capture);
    FormatLoopVerdict verdict;
    verdict.run = !cancelled;
    verdict.runFailed = !cancelled;
    verdict.stepCode = result.outcome == FullDuplexOutcome::Failed ? result.code : WaveNoError;
    return verdict;
}

struct Session {
    CWaveApi& api;
    const FormatMatrixRequest& request;
    FormatMatrixResult& result;
    std::unique_ptr<CWaveInDevice> input;
    std::unique_ptr<CWaveOutDevice> output;
    std::size_t done = 0;
    std::size_t total = 0;

    FormatDeviceMatrix* Matrix(WaveDirection direction)
    {
        for (FormatDeviceMatrix& m : result.devices)
            if (m.direction == direction)
                return &m;
        return nullptr;
    }

    bool Proceed(WaveDirection direction, const FormatKey& key)
    {
        if (request.onProgress && !request.onProgress({done, total, direction, key}))
            return false;
        ++done;
        return true;
    }

    // One direction's open, and the short run when the level asks for it.
    bool Try(WaveDirection direction, const FormatKey& key)
    {
        FormatDeviceMatrix* matrix = Matrix(direction);
        if (matrix == nullptr)
            return true;
        if (!Proceed(direction, key))
            return false;
        CWaveDevice& device = direction == WaveDirection::Input ? static_cast<CWaveDevice&>(*input) : *output;
        FormatCell cell{key, TryFormat(api, device, key), {}};
        if (matrix->hostName.empty() && device.GetDeviceIndex() >= 0)
            matrix->hostName =
                api.HostDetail(direction, static_cast<std::uint32_t>(device.GetDeviceIndex())).deviceName;
        matrix->cells.push_back(std::move(cell));
        return true;
    }

    // The delivers level of the key's cells that were accepted, both
    // directions at once.
    void Deliver(const FormatKey& key)
    {
        auto accepted = [&](WaveDirection direction) -> FormatDelivery* {
            FormatDeviceMatrix* m = Matrix(direction);
            if (m == nullptr || m->cells.empty() || !(m->cells.back().key == key) ||
                !m->cells.back().accept.Accepted())
                return nullptr;
            return &m->cells.back().delivery;
        };
        FormatDelivery* in = accepted(WaveDirection::Input);
        FormatDelivery* out = accepted(WaveDirection::Output);
        if (in != nullptr || out != nullptr)
            DeliverFormats(api, input.get(), output.get(), key, in, out);
    }

    // The loop run of a combination both ends took; false when Esc ended it.
    bool TryLoop(const FormatKey& key)
    {
        const FormatDeviceMatrix* in = Matrix(WaveDirection::Input);
        const FormatDeviceMatrix* out = Matrix(WaveDirection::Output);
        if (in == nullptr || out == nullptr || !in->cells.back().accept.Accepted() ||
            !out->cells.back().accept.Accepted())
            return true;
        bool cancelled = false;
        FormatLoopVerdict verdict = RunLoop(api, request, key, cancelled);
        if (cancelled)
            return false;
        result.loop.push_back({key, verdict});
        return true;
    }
};

void AddMatrix(FormatMatrixResult& result, WaveDirection direction, const CWaveDevice& device)
{
    FormatDeviceMatrix matrix;
    matrix.direction = direction;
    matrix.device = device.GetDeviceIndex();
    matrix.name = device.GetDeviceName();
    result.devices.push_back(std::move(matrix));
}

} // namespace

const std::vector<std::uint32_t>& StandardMatrixRates()
{
    static const std::vector<std::uint32_t> rates = {8000,  11025, 16000,  22050,  32000,  44100, 48000,
                                                     88200, 96000, 176400, 192000, 352800, 384000};
    return rates;
}

const std::vector<FormatWidth>& StandardMatrixWidths()
{
    static const std::vector<FormatWidth> widths = {{8, 8}, {16, 16}, {24, 24}, {24, 20}, {32, 32}, {32, 24}};
    return widths;
}

bool FormatDelivery::OnTime() const
{
    // Done neither at once (nothing paced it) nor well after its length.
    return done && elapsedMs + 50 >= expectedMs && elapsedMs <= expectedMs + FormatDeliveryGraceMs;
}

bool FormatDelivery::Delivered(WaveDirection direction, std::uint16_t validBits) const
{
    if (!run || stepCode != WaveNoError || !OnTime() || xruns != 0)
        return false;
    return direction == WaveDirection::Output || (!silent && bitsCarried >= validBits && gaps == 0);
}

bool FormatMatrixResult::DeviceFailed() const
{
    for (const FormatDeviceMatrix& m : devices)
        for (const FormatCell& cell : m.cells)
            if (cell.accept.Failed() || (cell.delivery.run && cell.delivery.stepCode != WaveNoError))
                return true;
    for (const FormatLoopCell& cell : loop)
        if (cell.verdict.runFailed)
            return true;
    return false;
}

const char* FormatLevelName(FormatLevel level)
{
    switch (level) {
    case FormatLevel::Delivers: return "delivers";
    case FormatLevel::Transparent: return "transparent";
    default: return "accepts";
    }
}

int RunFormatMatrix(CWaveApi& api, const FormatMatrixRequest& request, FormatMatrixResult& result)
{
    result = FormatMatrixResult{};
    result.level = request.level;
    CScopedWaveApi current(api);
    const std::uint32_t begin = Services().TickCount();
    Session session{api, request, result, nullptr, nullptr};
    auto exists = [&](WaveDirection direction, std::int32_t device) {
        return device >= 0 && device < api.GetDeviceCount(direction);
    };
    if (exists(WaveDirection::Input, request.input)) {
        session.input = std::make_unique<CWaveInDevice>(request.input);
        AddMatrix(result, WaveDirection::Input, *session.input);
    }
    if (exists(WaveDirection::Output, request.output)) {
        session.output = std::make_unique<CWaveOutDevice>(request.output);
        AddMatrix(result, WaveDirection::Output, *session.output);
    }
    std::vector<FormatKey> keys = Keys(request);
    if (keys.empty() || result.devices.empty() ||
        (request.level == FormatLevel::Transparent && result.devices.size() != 2))
        return 0;
    session.total = keys.size() * result.devices.size();
    for (const FormatKey& key : keys) {
        if (!session.Try(WaveDirection::Input, key) || !session.Try(WaveDirection::Output, key) ||
            (request.level == FormatLevel::Transparent && !session.TryLoop(key))) {
            result.cancelled = true;
            break;
        }
        if (request.level == FormatLevel::Delivers)
            session.Deliver(key);
    }
    result.elapsedMs = Services().TickCount() - begin;
    return result.cancelled ? 0 : 1;
}
