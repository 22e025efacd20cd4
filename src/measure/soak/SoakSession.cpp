// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/soak/SoakSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "audio/WaveDevice.h"
#include "core/SampleCodec.h"
#include "measure/soak/SoakContinuity.h"
#include "measure/soak/SoakFits.h"
#include "measure/soak/SoakPlotModule.h"
#include "measure/soak/SoakTone.h"
#include "measure/svg/MeasureSvg.h"
#include "measure/svg/SoakSvg.h"
#include "sequence/Report.h"

namespace {

constexpr std::uint32_t StatusEveryMs = 1000;

bool Plays(SoakMode mode)
{
    return mode != SoakMode::RecordOnly;
}

bool Records(SoakMode mode)
{
    return mode != SoakMode::PlayOnly;
}

const char* CheckRequest(const SoakRequest& r)
{
    const SoakFormat& f = r.format;
    if (f.channels < 1 || f.channels > 2)
        return "the soak streams one or two channels";
    if (f.bits != 8 && f.bits != 16 && f.bits != 24 && f.bits != 32)
        return "the container must be 8, 16, 24 or 32 bits";
    if (f.validBits < 1 || f.validBits > f.bits)
        return "the valid bits must be 1 to the container's bits";
    if (f.sampleRate < static_cast<int>(4 * SoakToneHz) || f.sampleRate > 384000)
        return "the rate must be 404 to 384000 Hz";
    if (!(r.durationSeconds >= 0) || r.durationSeconds > 1e7)
        return "the duration must be 0 (until cancelled) to 10000000 seconds";
    if (r.blockMs < 10 || r.blockMs > 1000 || r.pollMs < 1 || r.pollMs * 2 > r.blockMs)
        return "a slot of 10 to 1000 ms and a poll step of at most half a slot are needed";
    return nullptr;
}

std::int64_t WallMsNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// One device's slots and what it has moved.
struct Slots {
    std::vector<std::uint8_t> memory; // WaveSlotCount buffers, one after another
    std::uint32_t bytes = 0;          // per slot
    std::uint16_t next = 0;           // the slot that comes back next
    std::uint64_t frames = 0;
    WaveHostDetail baseline;
    CLineFit rate;

    std::uint8_t* Slot(std::uint16_t slot) { return memory.data() + std::size_t{slot} * bytes; }
};

class CSoak {
public:
    CSoak(const SoakRequest& r, const SoakHooks& h, SoakRun& out) : request(r), hooks(h), run(out) {}

    bool Prepare();
    void Run();

private:
    bool Open();
    bool QueueAll();
    bool Start();
    bool Poll();
    bool DrainInput(double seconds);
    bool DrainOutput(double seconds);
    void Analyse(std::uint64_t first, std::uint32_t frames);
    bool CheckHost(WaveDirection direction, Slots& slots, SoakDeviceClock& clock, double seconds);
    void Starved(WaveDirection direction, std::uint64_t frame, double seconds);
    void Emit(SoakEvent event);
    bool Fail(WaveDirection direction, const char* step, WaveResult code);
    void Finish();
    std::int32_t Id(WaveDirection direction) const
    {
        return static_cast<std::int32_t>(direction == WaveDirection::Input ? request.input.id : request.output.id);
    }

    const SoakRequest& request;
    const SoakHooks& hooks;
    SoakRun& run;
    std::uint16_t blockAlign = 0;
    std::unique_ptr<CWaveInDevice> input;
    std::unique_ptr<CWaveOutDevice> output;
    Slots in, out;
    std::unique_ptr<CSoakStimulus> stimulus;
    std::unique_ptr<CToneFollower> follower;
    std::unique_ptr<CContinuity> continuity;
    std::vector<double> firstChannel;
    bool latencySeen = false;
    std::uint32_t lastTick = 0;
    std::uint64_t elapsedMs = 0;
    std::uint64_t previousPollMs = 0;
    std::uint64_t nextStatusMs = StatusEveryMs;
};

bool CSoak::Prepare()
{
    const SoakFormat& f = request.format;
    blockAlign = static_cast<std::uint16_t>(f.channels * f.bits / 8);
    // Seven frames more than the slot's milliseconds, so the slots' ends
    // walk across the poll steps and the rates are not held to their grid.
    run.blockFrames = static_cast<std::uint32_t>(std::uint64_t{static_cast<std::uint32_t>(f.sampleRate)} *
                                                 request.blockMs / 1000) + 7;
    const std::uint32_t bytes = run.blockFrames * blockAlign;
    try {
        for (Slots* slots : {&in, &out}) {
            const bool used = slots == &in ? Records(request.mode) : Plays(request.mode);
            if (!used)
                continue;
            slots->bytes = bytes;
            slots->memory.assign(std::size_t{bytes} * WaveSlotCount, 0);
        }
        firstChannel.resize(run.blockFrames);
        const auto rate = static_cast<std::uint32_t>(f.sampleRate);
        const auto valid = static_cast<std::uint16_t>(f.validBits);
        if (Plays(request.mode))
            stimulus = std::make_unique<CSoakStimulus>(rate, static_cast<std::uint16_t>(f.channels),
                                                       static_cast<std::uint16_t>(f.bits / 8), valid);
        if (request.mode == SoakMode::FullDuplex)
            follower = std::make_unique<CToneFollower>(rate, valid);
        if (request.mode == SoakMode::RecordOnly)
            continuity = std::make_unique<CContinuity>(rate);
        if (Records(request.mode))
            input = std::make_unique<CWaveInDevice>(static_cast<std::int32_t>(request.input.id));
        if (Plays(request.mode))
            output = std::make_unique<CWaveOutDevice>(static_cast<std::int32_t>(request.output.id));
        return true;
    } catch (const std::bad_alloc&) {
        run.error = "no memory for the buffers";
        return false;
    }
}

bool CSoak::Fail(WaveDirection direction, const char* step, WaveResult code)
{
    SoakEvent event;
    event.kind = SoakEventKind::DeviceFailed;
    event.direction = direction;
    event.code = code;
    event.detail = step;
    event.seconds = static_cast<double>(elapsedMs) / 1000;
    event.frame = (direction == WaveDirection::Input ? in : out).frames;
    run.outcome = SoakOutcome::DeviceFailed;
    run.error = std::string(direction == WaveDirection::Input ? "the input's " : "the output's ") + step +
                " failed with code " + std::to_string(code) + " (" + ResultCodeText(code) + ")";
    Emit(event);
    return false;
}

bool CSoak::Open()
{
    const SoakFormat& f = request.format;
    for (CWaveDevice* device : {static_cast<CWaveDevice*>(input.get()), static_cast<CWaveDevice*>(output.get())}) {
        if (device == nullptr)
            continue;
        device->SetFormat(f.sampleRate, static_cast<std::uint16_t>(f.channels), static_cast<std::uint16_t>(f.bits / 8));
        const auto valid = static_cast<std::uint16_t>(f.validBits);
        if (WaveResult code = f.extended ? device->OpenExtended(nullptr, valid) : device->Open(nullptr, valid))
            return Fail(device->GetDirection(), "open", code);
    }
    return true;
}

bool CSoak::QueueAll()
{
    for (std::uint16_t slot = 0; slot < WaveSlotCount; ++slot) {
        WaveResult code = WaveNoError;
        if (input && input->AddBuffer(in.Slot(slot), in.bytes, slot, &code) != 1)
            return Fail(WaveDirection::Input, "queue", code);
        if (output) {
            stimulus->Fill(out.Slot(slot), run.blockFrames);
            code = WaveNoError;
            if (output->AddBuffer(out.Slot(slot), out.bytes, slot, 0, &code) != 1)
                return Fail(WaveDirection::Output, "queue", code);
        }
    }
    return true;
}

bool CSoak::Start()
{
    // Each device's count of xruns so far: the soak reports its own.
    if (input)
        in.baseline = WaveApi().HostDetail(WaveDirection::Input, request.input.id);
    if (output)
        out.baseline = WaveApi().HostDetail(WaveDirection::Output, request.output.id);
    run.startWallMs = WallMsNow();
    if (hooks.onStart)
        hooks.onStart(run);
    WaveResult code = WaveNoError;
    if (input && input->Start(&code) != 1)
        return Fail(WaveDirection::Input, "start", code);
    code = WaveNoError;
    if (output && output->Restart(&code) != 1)
        return Fail(WaveDirection::Output, "start", code);
    lastTick = Services().TickCount();
    return true;
}

void CSoak::Emit(SoakEvent event)
{
    event.wallMs = run.startWallMs + static_cast<std::int64_t>(std::llround(event.seconds * 1000));
    ++run.eventCount;
    if (event.kind == SoakEventKind::Xrun)
        ++run.xruns;
    const bool glitch = event.kind == SoakEventKind::Dropout || event.kind == SoakEventKind::Gap ||
                        event.kind == SoakEventKind::Jump || event.kind == SoakEventKind::Discontinuity ||
                        event.kind == SoakEventKind::LevelStep || event.kind == SoakEventKind::Silence;
    if (glitch && !event.explained)
        ++run.glitches;
    if (run.events.size() < SoakEventsKept)
        run.events.push_back(event);
    if (hooks.onEvent)
        hooks.onEvent(event, run);
}

bool CSoak::CheckHost(WaveDirection direction, Slots& slots, SoakDeviceClock& clock, double seconds)
{
    const WaveHostDetail detail = WaveApi().HostDetail(direction, static_cast<std::uint32_t>(Id(direction)));
    if (detail.lost) {
        SoakEvent event;
        event.kind = SoakEventKind::DeviceLost;
        event.direction = direction;
        event.seconds = seconds;
        event.frame = slots.frames;
        event.detail = detail.text;
        run.outcome = SoakOutcome::DeviceFailed;
        run.error = std::string(direction == WaveDirection::Input ? "the input" : "the output") + " was lost" +
                    (detail.text.empty() ? "" : ": " + detail.text);
        Emit(event);
        return false;
    }
    const std::uint64_t xruns = detail.xruns - std::min(detail.xruns, slots.baseline.xruns);
    const std::uint64_t lost = detail.framesLost - std::min(detail.framesLost, slots.baseline.framesLost);
    if (xruns > clock.xruns) {
        const std::uint64_t batch = xruns - clock.xruns;
        SoakEvent event;
        event.kind = SoakEventKind::Xrun;
        event.direction = direction;
        event.seconds = seconds;
        event.frame = slots.frames;
        event.frames = lost - std::min(lost, clock.framesLost);
        // Several mended within one poll step are logged as one, with their count.
        event.detail = batch > 1 ? std::to_string(batch) + " xruns" : "";
        if (follower)
            follower->NoteLoss(direction, in.frames, event.frames);
        clock.xruns = xruns;
        clock.framesLost = lost;
        Emit(event);
        run.xruns += batch - 1; // Emit counted one
    }
    clock.xruns = xruns;
    clock.framesLost = lost;
    return true;
}

void CSoak::Starved(WaveDirection direction, std::uint64_t frame, double seconds)
{
    SoakEvent event;
    event.kind = SoakEventKind::Starved;
    event.direction = direction;
    event.seconds = seconds;
    event.frame = frame;
    Emit(event);
}

void CSoak::Analyse(std::uint64_t first, std::uint32_t frames)
{
    const std::uint8_t* block = in.Slot(in.next);
    const int width = request.format.bits / 8;
    // LoadFraction's value, with its power of two taken once a block.
    const double scale = std::ldexp(1.0, 1 - 8 * width);
    for (std::uint32_t i = 0; i < frames; ++i)
        firstChannel[i] = LoadSample(block + std::size_t{i} * blockAlign, width) * scale;
    std::vector<SoakEvent> events;
    if (continuity) {
        continuity->Process(firstChannel.data(), frames, first, events);
        const double level = continuity->LevelDbfs();
        if (std::isfinite(level)) {
            run.levelMinDbfs = run.levelSeen ? std::min(run.levelMinDbfs, level) : level;
            run.levelMaxDbfs = run.levelSeen ? std::max(run.levelMaxDbfs, level) : level;
            run.levelSeen = true;
            run.levelDbfs.Add(static_cast<double>(first) / request.format.sampleRate, level);
        }
    }
    if (follower) {
        SoakToneBlock result;
        follower->Process(firstChannel.data(), frames, first, result);
        events = std::move(result.events);
        run.stimulusHeard = follower->Heard();
        if (result.latencyValid) {
            run.latencyFrames = result.latencyFrames;
            run.latencyMinFrames = latencySeen ? std::min(run.latencyMinFrames, result.latencyFrames) : result.latencyFrames;
            run.latencyMaxFrames = latencySeen ? std::max(run.latencyMaxFrames, result.latencyFrames) : result.latencyFrames;
            latencySeen = true;
            run.latencyMs.Add(result.seconds, result.latencyFrames * 1000 / request.format.sampleRate);
            run.driftPpm = follower->DriftPpm();
            if (run.driftPpm.valid)
                run.drift.Add(result.seconds, run.driftPpm.value);
        }
    }
    for (SoakEvent& event : events)
        Emit(std::move(event));
}

bool CSoak::DrainInput(double seconds)
{
    int done = 0;
    for (std::uint16_t slot = 0; slot < WaveSlotCount; ++slot)
        done += input->IsBufferDone(slot);
    if (done == WaveSlotCount)
        Starved(WaveDirection::Input, in.frames, seconds);
    if (!CheckHost(WaveDirection::Input, in, run.inputClock, seconds))
        return false;
    while (input->IsBufferDone(in.next)) {
        const WaveHeader* header = input->GetHeader(in.next);
        const std::uint32_t bytes = std::min(header->bytesRecorded.load(std::memory_order_acquire), in.bytes);
        const std::uint32_t frames = bytes / blockAlign;
        Analyse(in.frames, frames);
        in.frames += frames;
        WaveResult code = WaveNoError;
        if (input->AddBuffer(in.Slot(in.next), in.bytes, in.next, &code) != 1)
            return Fail(WaveDirection::Input, "queue", code);
        in.next = static_cast<std::uint16_t>((in.next + 1) % WaveSlotCount);
        in.rate.Add(seconds, static_cast<double>(in.frames + run.inputClock.framesLost));
    }
    return true;
}

bool CSoak::DrainOutput(double seconds)
{
    int done = 0;
    for (std::uint16_t slot = 0; slot < WaveSlotCount; ++slot)
        done += output->IsBufferDone(slot);
    if (done == WaveSlotCount)
        Starved(WaveDirection::Output, out.frames, seconds);
    if (!CheckHost(WaveDirection::Output, out, run.outputClock, seconds))
        return false;
    while (output->IsBufferDone(out.next)) {
        out.frames += run.blockFrames;
        stimulus->Fill(out.Slot(out.next), run.blockFrames);
        WaveResult code = WaveNoError;
        if (output->AddBuffer(out.Slot(out.next), out.bytes, out.next, 0, &code) != 1)
            return Fail(WaveDirection::Output, "queue", code);
        out.next = static_cast<std::uint16_t>((out.next + 1) % WaveSlotCount);
        out.rate.Add(seconds, static_cast<double>(out.frames + run.outputClock.framesLost));
    }
    return true;
}

bool CSoak::Poll()
{
    Services().Sleep(request.pollMs);
    const std::uint32_t now = Services().TickCount();
    elapsedMs += static_cast<std::uint32_t>(now - lastTick); // right across the 32-bit wrap
    lastTick = now;
    run.elapsedSeconds = static_cast<double>(elapsedMs) / 1000;
    // A slot seen done now came back at some time since the last poll.
    const double seconds = static_cast<double>(elapsedMs + previousPollMs) / 2000;
    previousPollMs = elapsedMs;
    if (output && !DrainOutput(seconds))
        return false;
    if (input && !DrainInput(seconds))
        return false;
    if (elapsedMs >= nextStatusMs) {
        nextStatusMs = elapsedMs + StatusEveryMs;
        if (hooks.onStatus)
            hooks.onStatus(run);
    }
    const std::optional<std::uint32_t> key = Services().PeekKey(nullptr);
    const bool cancel = (key && *key == KeyEscape) || (hooks.cancelRequested && hooks.cancelRequested());
    const bool timeUp = request.durationSeconds > 0 && run.elapsedSeconds >= request.durationSeconds;
    if (timeUp) {
        run.outcome = SoakOutcome::Completed;
        return false;
    }
    if (cancel) {
        run.outcome = request.durationSeconds > 0 ? SoakOutcome::Cancelled : SoakOutcome::Completed;
        if (run.outcome == SoakOutcome::Cancelled)
            run.error = "the soak was cancelled";
        return false;
    }
    return true;
}

void CSoak::Run()
{
    if (Open() && QueueAll() && Start())
        while (Poll()) {
        }
    if (output)
        output->Close();
    if (input)
        input->Close();
    Finish();
}

void CSoak::Finish()
{
    for (auto [slots, clock] : {std::pair{&in, &run.inputClock}, std::pair{&out, &run.outputClock}}) {
        clock->streamed = slots->bytes > 0;
        clock->frames = slots->frames;
        if (slots->rate.Count() >= 3) {
            clock->rateHz.valid = true;
            clock->rateHz.value = slots->rate.Slope();
            clock->rateHz.uncertainty = slots->rate.SlopeError();
        }
    }
    if (follower)
        run.driftPpm = follower->DriftPpm();
    run.failedChecks = CheckSoak(run, request.limits);
    if (request.plotPath) {
        // A name ending in .svg asks for the program's own SVG (every build has it).
        const bool svg = IsSvgPath(*request.plotPath);
        if (svg ? SaveSvg(SoakSvg(run, "plot"), *request.plotPath, run.plotError)
                : WriteSoakPlotThroughModule(run, *request.plotPath, run.plotError))
            run.plotPath = *request.plotPath;
    }
}

} // namespace

const char* SoakModeName(SoakMode mode)
{
    switch (mode) {
    case SoakMode::FullDuplex: return "full duplex";
    case SoakMode::RecordOnly: return "record only";
    case SoakMode::PlayOnly: return "play only";
    }
    return "soak";
}

bool RunSoakSession(CWaveApi& api, const SoakRequest& request, const SoakHooks& hooks, SoakRun& run)
{
    run = SoakRun{};
    run.mode = request.mode;
    run.format = request.format;
    run.input = request.input;
    run.output = request.output;
    run.durationSeconds = request.durationSeconds;
    if (const char* refusal = CheckRequest(request)) {
        run.outcome = SoakOutcome::Refused;
        run.error = refusal;
        return false;
    }
    CScopedWaveApi scope(api);
    CSoak soak(request, hooks, run);
    if (!soak.Prepare()) {
        run.outcome = SoakOutcome::Refused;
        return false;
    }
    soak.Run();
    return true;
}
