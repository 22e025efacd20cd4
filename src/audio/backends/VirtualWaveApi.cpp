// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/VirtualWaveApi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/DeviceName.h"
#include "audio/WaveHeaderRules.h"
#include "audio/backends/NoThrow.h"
#include "audio/backends/TestSignal.h"
#include "platform/Services.h"

WaveResult VirtualFailure::Take()
{
    if (next.empty())
        return always;
    WaveResult code = next.front();
    next.pop_front();
    return code;
}

namespace {

template <typename List, typename Value>
bool Listed(const List& list, Value value)
{
    return list.empty() || std::find(list.begin(), list.end(), value) != list.end();
}

// The device's range and its capability set.
bool Takes(const VirtualDevice& device, const WaveFormatInfo& info)
{
    return info.channels >= device.minChannels && info.channels <= device.maxChannels &&
           info.sampleRate >= device.minRate && info.sampleRate <= device.maxRate &&
           Listed(device.rates, info.sampleRate) && Listed(device.channelCounts, info.channels) &&
           Listed(device.containerBytes, info.containerBytes) && info.validBits <= device.significantBits;
}

} // namespace

CVirtualWaveApi::CVirtualWaveApi()
    : inputs{DefaultInput(), LoopbackInput()}, outputs{DefaultOutput(), LoopbackOutput()}
{
}

VirtualDevice CVirtualWaveApi::MakeDevice(const std::string& name, std::uint32_t formats, std::uint16_t productId)
{
    VirtualDevice device;
    device.name = name;
    device.formats = formats;
    device.productId = productId;
    return device;
}

VirtualDevice CVirtualWaveApi::DefaultInput()
{
    return MakeDevice(VirtualInputName, WaveStandardFormatsAll, VirtualInputProductId);
}

VirtualDevice CVirtualWaveApi::DefaultOutput()
{
    return MakeDevice(VirtualOutputName, WaveStandardFormatsAll, VirtualOutputProductId);
}

VirtualDevice CVirtualWaveApi::LoopbackInput()
{
    VirtualDevice device = MakeDevice(VirtualLoopbackInputName, WaveStandardFormatsAll, VirtualLoopbackInputProductId);
    device.loopback = true;
    return device;
}

VirtualDevice CVirtualWaveApi::LoopbackOutput()
{
    VirtualDevice device =
        MakeDevice(VirtualLoopbackOutputName, WaveStandardFormatsAll, VirtualLoopbackOutputProductId);
    device.loopback = true;
    return device;
}

void CVirtualWaveApi::SetDevices(WaveDirection direction, std::vector<VirtualDevice> devices)
{
    Devices(direction) = std::move(devices);
}

std::vector<VirtualDevice>& CVirtualWaveApi::Devices(WaveDirection direction)
{
    return direction == WaveDirection::Input ? inputs : outputs;
}

std::uint16_t CVirtualWaveApi::GetDeviceCount(WaveDirection direction)
{
    return static_cast<std::uint16_t>(std::min<std::size_t>(Devices(direction).size(), 0xFFFF));
}

WaveResult CVirtualWaveApi::GetDeviceCaps(WaveDirection direction, std::uint32_t index, WaveDeviceCaps& caps)
{
    if (index >= GetDeviceCount(direction))
        return WaveErrBadDeviceId;
    VirtualDevice& device = Device(direction, index);
    if (WaveResult failure = device.capsQuery.Take())
        return failure;
    caps = WaveDeviceCaps{};
    caps.manufacturerId = device.manufacturerId;
    caps.productId = device.productId;
    caps.driverVersion = device.driverVersion;
    SetProductName(caps, device.name);
    caps.formats = device.formats;
    caps.channels = device.maxChannels;
    return WaveNoError;
}

WaveHostDetail CVirtualWaveApi::HostDetail(WaveDirection direction, std::uint32_t index)
{
    if (index >= GetDeviceCount(direction))
        return {};
    try {
        return Device(direction, index).hostDetail;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

WaveResult CVirtualWaveApi::Open(WaveDirection direction, WaveHandle& handle, std::uint32_t index,
                                 const void* format, WindowHandle, std::uintptr_t, std::uint32_t)
{
    handle = 0;
    if (index >= GetDeviceCount(direction))
        return WaveErrBadDeviceId;
    return NoThrow([&] {
        VirtualDevice& device = Device(direction, index);
        device.calls.push_back("Open");
        device.openedFormats.push_back(WaveFormatBytes(format));
        if (WaveResult failure = device.open.Take())
            return failure;
        WaveFormatInfo info;
        if (WaveResult refusal = ReadWaveFormat(format, info))
            return refusal;
        if (!Takes(device, info))
            return WaveErrNotSupported;
        if (device.isOpen)
            return WaveErrAllocated;

        // The allocations come before any state changes, so a failed one
        // leaves the device as it was.
        WaveHandle opened = nextHandle;
        if (device.loopback)
            OpenLoopback(direction, opened, info);
        Stream& stream = streams.emplace(opened, Stream{direction, index, info, {}}).first->second;
        if (device.loopback)
            SetLoopbackClock(stream);
        ++nextHandle;
        handle = opened;
        device.isOpen = true;
        device.played.clear();
        device.playedIncomplete = false;
        // An output plays as soon as it is written to, unless paused.
        if (direction == WaveDirection::Output)
            Run(stream);
        return WaveNoError;
    });
}

void CVirtualWaveApi::OpenLoopback(WaveDirection direction, WaveHandle opened, const WaveFormatInfo& format)
{
    if (direction == WaveDirection::Output) {
        loop.BeginPlayback(format, loopbackChain);
        loopFeeder = opened;
    } else {
        loop.BeginCapture(format, loopbackChain);
        loopListener = opened;
    }
}

void CVirtualWaveApi::SetLoopbackClock(Stream& stream)
{
    const bool input = stream.direction == WaveDirection::Input;
    stream.clock = input ? loopbackChain.InputClock() : loopbackChain.OutputClock();
    const auto kind = input ? VirtualGlitch::Kind::Overrun : VirtualGlitch::Kind::Underrun;
    for (const VirtualGlitch& g : loopbackChain.glitches)
        if (g.kind == kind)
            stream.xruns.push_back(g);
    std::sort(stream.xruns.begin(), stream.xruns.end(),
              [](const VirtualGlitch& a, const VirtualGlitch& b) { return a.frame < b.frame; });
}

CVirtualWaveApi::Stream* CVirtualWaveApi::Find(WaveHandle handle)
{
    auto found = streams.find(handle);
    return found == streams.end() ? nullptr : &found->second;
}

void CVirtualWaveApi::Log(Stream& stream, const char* call, const WaveHeader* header)
{
    std::string entry = call;
    if (header != nullptr)
        entry += " " + std::to_string(header->bufferLength);
    DeviceOf(stream).calls.push_back(std::move(entry));
}

WaveResult CVirtualWaveApi::Close(WaveHandle handle)
{
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    return NoThrow([&] {
        VirtualDevice& device = DeviceOf(*stream);
        Log(*stream, "Close");
        Advance(*stream);
        if (!stream->queue.empty())
            return WaveErrStillPlaying;
        device.isOpen = false;
        streams.erase(handle);
        // What the output played last stays in the cable until it is heard;
        // an input that waited for this output starts on its own now.
        if (handle == loopFeeder) {
            loopFeeder = 0;
            if (Stream* listener = Find(loopListener); listener != nullptr && listener->waitingForFeeder)
                Run(*listener);
        }
        if (handle == loopListener)
            loopListener = 0;
        return WaveNoError;
    });
}

WaveResult CVirtualWaveApi::PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    return NoThrow([&] {
        Log(*stream, "Prepare", header);
        if (WaveResult refusal = CheckPrepareHeader(header, headerSize))
            return refusal;
        if (WaveResult failure = DeviceOf(*stream).prepare.Take())
            return failure;
        MarkHeaderPrepared(*header);
        return WaveNoError;
    });
}

WaveResult CVirtualWaveApi::UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    return NoThrow([&] {
        Log(*stream, "Unprepare", header);
        if (WaveResult refusal = CheckUnprepareHeader(header, headerSize))
            return refusal;
        MarkHeaderUnprepared(*header);
        return WaveNoError;
    });
}

WaveResult CVirtualWaveApi::QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    return NoThrow([&] {
        Log(*stream, "Queue", header);
        if (WaveResult refusal = CheckHeaderBuffer(header, headerSize))
            return refusal;
        if (WaveResult failure = DeviceOf(*stream).queue.Take())
            return failure;
        bool held = std::any_of(stream->queue.begin(), stream->queue.end(),
                                [header](const Queued& entry) { return entry.header == header; });
        if (WaveResult refusal = CheckQueueHeader(header, held))
            return refusal;
        // Bring the stream up to now first, so the new buffer only gets what
        // happens from here on.
        Advance(*stream);
        bool looping = (header->flags.load() & WaveHeaderBeginLoop) && stream->direction == WaveDirection::Output;
        bool first = stream->queue.empty();
        stream->queue.push_back({header, header->data, header->bufferLength, looping, header->loops});
        if (first) {
            stream->filled = 0;
            stream->loopsLeft = header->loops;
        }
        MarkHeaderQueued(*header, stream->direction);
        return WaveNoError;
    });
}

WaveResult CVirtualWaveApi::Start(WaveHandle handle)
{
    Stream* stream = Find(handle);
    if (stream == nullptr || stream->direction != WaveDirection::Input)
        return WaveErrInvalidHandle;
    return NoThrow([&] {
        Log(*stream, "Start");
        if (WaveResult failure = DeviceOf(*stream).start.Take())
            return failure;
        if (!stream->running)
            Run(*stream);
        return WaveNoError;
    });
}

WaveResult CVirtualWaveApi::Pause(WaveHandle handle)
{
    Stream* stream = Find(handle);
    if (stream == nullptr || stream->direction != WaveDirection::Output)
        return WaveErrInvalidHandle;
    return NoThrow([&] {
        Log(*stream, "Pause");
        if (WaveResult failure = DeviceOf(*stream).pause.Take())
            return failure;
        Halt(*stream);
        return WaveNoError;
    });
}

WaveResult CVirtualWaveApi::Restart(WaveHandle handle)
{
    Stream* stream = Find(handle);
    if (stream == nullptr || stream->direction != WaveDirection::Output)
        return WaveErrInvalidHandle;
    return NoThrow([&] {
        Log(*stream, "Restart");
        if (WaveResult failure = DeviceOf(*stream).start.Take())
            return failure;
        if (!stream->running)
            Run(*stream);
        return WaveNoError;
    });
}

WaveResult CVirtualWaveApi::Reset(WaveHandle handle)
{
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    // The log entry is the only allocation; a reset must hand the buffers
    // back even when it cannot be had.
    NoThrow([&] {
        Log(*stream, "Reset");
        return WaveNoError;
    });
    Advance(*stream);
    // An input stops; an output keeps its paused or playing state.
    if (stream->direction == WaveDirection::Input)
        Halt(*stream);
    bool front = true;
    for (const Queued& entry : stream->queue) {
        bool partlyRecorded = front && stream->direction == WaveDirection::Input;
        MarkHeaderDone(*entry.header, partlyRecorded ? stream->filled : 0);
        front = false;
    }
    stream->queue.clear();
    stream->filled = 0;
    return WaveNoError;
}

void CVirtualWaveApi::Update(WaveHandle handle)
{
    if (Stream* stream = Find(handle))
        Advance(*stream);
}

void CVirtualWaveApi::Run(Stream& stream)
{
    stream.running = true;
    stream.waitingForFeeder = false;
    stream.runStartTick = Services().TickCount();
    stream.framesAtRunStart = stream.framePosition;
    if (!DeviceOf(stream).loopback)
        return;
    const std::uint64_t ticks = LoopTicksNow();
    stream.loopAtRunStart = LoopFrame(ticks, stream);
    Stream* feeder = Find(loopFeeder);
    Stream* listener = Find(loopListener);
    if (&stream == listener && feeder != nullptr && !feeder->running) {
        // The output that feeds the cable is held: the input starts with it.
        stream.waitingForFeeder = true;
    } else if (&stream == feeder && listener != nullptr && listener->waitingForFeeder) {
        // Both ends begin at one loop frame, however much time the caller
        // took between the two starts, so the capture does not depend on it.
        listener->waitingForFeeder = false;
        listener->runStartTick = stream.runStartTick;
        listener->loopAtRunStart = LoopFrame(ticks, *listener);
    }
}

std::uint64_t CVirtualWaveApi::LoopTicksNow()
{
    std::uint32_t now = Services().TickCount();
    if (!loopClockStarted) {
        loopClockStarted = true;
        loopLastTick = now;
    }
    // Unsigned difference: right across the wrap of the 32-bit tick count.
    loopTicks += static_cast<std::uint32_t>(now - loopLastTick);
    loopLastTick = now;
    return loopTicks;
}

std::uint64_t CVirtualWaveApi::LoopFrame(std::uint64_t ticks, const Stream& stream)
{
    const std::uint32_t rate = stream.format.sampleRate;
    if (stream.clock == 1)
        return ticks * rate / 1000;
    // A clock off its rate: the frames that clock has counted by then.
    return static_cast<std::uint64_t>(std::floor(static_cast<long double>(ticks) * rate * stream.clock / 1000));
}

bool CVirtualWaveApi::TakeXrun(Stream& stream, std::uint64_t& target)
{
    if (stream.nextXrun >= stream.xruns.size() || stream.xruns[stream.nextXrun].frame > stream.framePosition)
        return false;
    // The stream's clock runs on while no frame moves through its buffers:
    // the input loses them, the output plays silence meanwhile.
    const std::uint32_t frames = stream.xruns[stream.nextXrun++].frames;
    stream.loopAtRunStart += frames;
    target = target > frames ? target - frames : 0;
    WaveHostDetail& detail = DeviceOf(stream).hostDetail;
    ++detail.xruns;
    detail.framesLost += frames;
    return true;
}

void CVirtualWaveApi::Halt(Stream& stream)
{
    Advance(stream);
    stream.running = false;
    stream.waitingForFeeder = false;
}

void CVirtualWaveApi::Advance(Stream& stream)
{
    if (!DeviceOf(stream).loopback) {
        AdvanceStream(stream, 0);
        return;
    }
    // Both ends move together to one reading of the clock, the output first,
    // so the input records what was played by then whichever end the caller
    // polls, and neither end sees a tick the other has not.
    const std::uint64_t ticks = LoopTicksNow();
    Stream* feeder = Find(loopFeeder);
    Stream* listener = Find(loopListener);
    if (feeder != nullptr)
        AdvanceStream(*feeder, ticks);
    if (listener != nullptr)
        AdvanceStream(*listener, ticks);
    if (&stream != feeder && &stream != listener)
        AdvanceStream(stream, ticks);
    bool listening = listener != nullptr && listener->running && !listener->waitingForFeeder &&
                     !DeviceOf(*listener).buffersNeverComplete;
    loop.Trim(listening, listening ? listener->loopAtRunStart + listener->framePosition - listener->framesAtRunStart : 0);
}

void CVirtualWaveApi::AdvanceStream(Stream& stream, std::uint64_t loopTicks)
{
    if (!stream.running || stream.waitingForFeeder || DeviceOf(stream).buffersNeverComplete)
        return;
    std::uint64_t target = 0;
    if (DeviceOf(stream).loopback) {
        // On the loop's clock, so that streams started at one tick stay in
        // step frame for frame (an xrun moves the start on by its frames).
        const std::uint64_t reached = stream.framesAtRunStart + LoopFrame(loopTicks, stream);
        target = reached > stream.loopAtRunStart ? reached - stream.loopAtRunStart : 0;
    } else {
        // Unsigned difference: right across the wrap of the 32-bit tick count.
        std::uint32_t elapsed = Services().TickCount() - stream.runStartTick;
        target = stream.framesAtRunStart + std::uint64_t{elapsed} * stream.format.sampleRate / 1000;
    }
    while (stream.framePosition < target && !stream.queue.empty()) {
        if (TakeXrun(stream, target))
            continue;
        const Queued& buffer = stream.queue.front();
        WaveHeader& header = *buffer.header;
        std::uint32_t blockAlign = stream.format.blockAlign;
        std::uint32_t framesLeft = (buffer.length - stream.filled) / blockAlign;
        std::uint64_t until = target;
        if (stream.nextXrun < stream.xruns.size())
            until = std::min(until, stream.xruns[stream.nextXrun].frame);
        auto frames = static_cast<std::uint32_t>(std::min<std::uint64_t>(framesLeft, until - stream.framePosition));
        MoveFrames(stream, buffer, frames);
        if ((buffer.length - stream.filled) / blockAlign > 0)
            continue;
        // The whole buffer is through (a trailing partial frame never moves).
        if (buffer.looping && stream.loopsLeft > 1) {
            --stream.loopsLeft;
            stream.filled = 0;
            if (framesLeft == 0)
                break; // a loop of no whole frames would never end
            continue;
        }
        MarkHeaderDone(header, stream.filled);
        stream.queue.pop_front();
        stream.filled = 0;
        if (!stream.queue.empty())
            stream.loopsLeft = stream.queue.front().loops;
    }
    // Time with nothing queued passes unrecorded, or in silence.
    if (stream.queue.empty())
        stream.framePosition = std::max(stream.framePosition, target);
}

void CVirtualWaveApi::MoveFrames(Stream& stream, const Queued& buffer, std::uint32_t frames)
{
    std::uint32_t bytes = frames * stream.format.blockAlign;
    std::uint8_t* at = buffer.data + stream.filled;
    VirtualDevice& device = DeviceOf(stream);
    std::uint64_t loopFrame = stream.loopAtRunStart + stream.framePosition - stream.framesAtRunStart;
    if (stream.direction == WaveDirection::Input) {
        if (device.loopback)
            loop.Record(at, loopFrame, stream.framePosition, frames);
        else
            WriteTestSignal(at, stream.framePosition, frames, stream.format);
    } else {
        KeepPlayed(device, at, bytes);
        if (device.loopback && &stream == Find(loopFeeder))
            loop.Play(loopFrame, at, frames);
    }
    stream.filled += bytes;
    stream.framePosition += frames;
}

void CVirtualWaveApi::KeepPlayed(VirtualDevice& device, const std::uint8_t* data, std::size_t bytes)
{
    if (device.playedIncomplete)
        return;
    std::size_t room = playedLimit > device.played.size() ? playedLimit - device.played.size() : 0;
    if (bytes > room)
        device.playedIncomplete = true;
    // The record is for inspection only: when it cannot grow it stops, and
    // the playback it records goes on.
    try {
        device.played.insert(device.played.end(), data, data + std::min(bytes, room));
    } catch (const std::bad_alloc&) {
        device.playedIncomplete = true;
    }
}
