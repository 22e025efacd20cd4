// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in virtual audio device: always present, deterministic, driven by
// the services' clock. Its inputs record the test signal (TestSignal.h) in
// the requested format; its outputs keep what they played. Tests configure
// any device list and inject every failure a real device can give.
// After each default device comes a loopback one: what the loopback output
// plays, the loopback input records, through the chain of VirtualLoopback.h.
//
// No thread of its own: the stream advances to the current tick count on
// each call, and on Update when the caller polls a buffer. With the real
// clock that is real time; with a test's virtual clock a long recording
// completes as soon as the test has slept long enough.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "audio/WaveApi.h"
#include "audio/WaveFormatRules.h"
#include "audio/backends/VirtualLoopback.h"

// Names and identities of the default pair (documented in docs/ARCHITECTURE.md).
inline constexpr const char* VirtualInputName = "Tallowmere Virtual Input";
inline constexpr const char* VirtualOutputName = "Tallowmere Virtual Output";
constexpr std::uint16_t VirtualManufacturerId = 0x7A11;
constexpr std::uint16_t VirtualInputProductId = 1;
constexpr std::uint16_t VirtualOutputProductId = 2;
constexpr std::uint32_t VirtualDriverVersion = 0x0100;

// Codes a test arranges for one kind of call: the queued ones first, one per
// call, then `always` for every later call (0: the call works normally).
struct VirtualFailure {
    std::deque<WaveResult> next;
    WaveResult always = WaveNoError;

    WaveResult Take();
};

struct VirtualDevice {
    // Capability record.
    std::string name;
    std::uint16_t manufacturerId = VirtualManufacturerId;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = VirtualDriverVersion;
    std::uint32_t formats = WaveStandardFormatsAll;

    // What the device does; anything else is refused with WaveErrNotSupported.
    std::uint16_t minChannels = 1;
    std::uint16_t maxChannels = 2;
    std::uint32_t minRate = 1000;
    std::uint32_t maxRate = 384000;
    // A capability set, as a driver states it: a list that is not empty
    // holds all that opens of its kind (rates, channel counts, container
    // bytes), and valid bits above significantBits are refused as well.
    std::vector<std::uint32_t> rates;
    std::vector<std::uint16_t> channelCounts;
    std::vector<std::uint16_t> containerBytes;
    std::uint16_t significantBits = 32;

    // Injected failures.
    VirtualFailure capsQuery;
    VirtualFailure open;
    VirtualFailure prepare;
    VirtualFailure queue;   // add (input) or write (output)
    VirtualFailure start;   // start (input) or restart (output)
    VirtualFailure pause;
    // The stream never moves, so no queued buffer is ever done.
    bool buffersNeverComplete = false;
    // One end of the loopback cable: an input records what the open loopback
    // output plays (the latest opened one, when a test lists several) instead
    // of the test signal.
    bool loopback = false;

    // What HostDetail hands out for this device, as a test sets it; each
    // xrun the loopback chain injects adds to its xruns and framesLost.
    WaveHostDetail hostDetail;

    // What happened, for inspection: one entry per call ("Open", "Prepare
    // 4000", "Queue 4000", "Start", "Pause", "Restart", "Reset",
    // "Unprepare 4000", "Close"), the bytes of every open's format
    // description, everything the output played, and the open state.
    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> openedFormats;
    std::vector<std::uint8_t> played;
    // `played` stops short of what was played: it reached playedLimit, or
    // the memory to grow it could not be had. Playback itself goes on.
    bool playedIncomplete = false;
    bool isOpen = false;
};

class CVirtualWaveApi : public CWaveApi {
public:
    // Per direction the default device, then the loopback one.
    CVirtualWaveApi();

    static VirtualDevice MakeDevice(const std::string& name, std::uint32_t formats = WaveStandardFormatsAll,
                                    std::uint16_t productId = 0);
    static VirtualDevice DefaultInput();
    static VirtualDevice DefaultOutput();
    static VirtualDevice LoopbackInput();
    static VirtualDevice LoopbackOutput();

    // Replaces the device list of a direction. Close open devices first.
    void SetDevices(WaveDirection direction, std::vector<VirtualDevice> devices);
    std::vector<VirtualDevice>& Devices(WaveDirection direction);
    VirtualDevice& Device(WaveDirection direction, std::uint32_t index) { return Devices(direction).at(index); }

    // The most bytes an output keeps in `played`; more are dropped (and
    // playedIncomplete says so).
    std::size_t playedLimit = 64u << 20;

    // The loopback cable's impairments, read when a loopback device opens.
    // The program sets them from TALLOWMERE_VIRTUAL_LOOPBACK.
    VirtualLoopbackChain loopbackChain;
    // The bytes the cable holds now (what the input may still record), and
    // whether memory ran out for it (the input then records silence).
    std::size_t LoopbackHeldBytes() const { return loop.HeldBytes(); }
    bool LoopbackLost() const { return loop.lost; }

    std::uint16_t GetDeviceCount(WaveDirection direction) override;
    WaveResult GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps) override;
    WaveResult Open(WaveDirection direction, WaveHandle& handle, std::uint32_t device, const void* format,
                    WindowHandle callbackWindow, std::uintptr_t instance, std::uint32_t flags) override;
    WaveResult Close(WaveHandle handle) override;
    WaveResult PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    WaveResult UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    WaveResult QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    WaveResult Start(WaveHandle handle) override;
    WaveResult Pause(WaveHandle handle) override;
    WaveResult Restart(WaveHandle handle) override;
    WaveResult Reset(WaveHandle handle) override;
    void Update(WaveHandle handle) override;
    // The device's hostDetail; all empty for a number beyond the list.
    WaveHostDetail HostDetail(WaveDirection direction, std::uint32_t device) override;

private:
    // A queued buffer as it was handed over: the caller may rewrite the
    // header of a slot in flight, which must not move what is filled.
    struct Queued {
        WaveHeader* header;
        std::uint8_t* data;
        std::uint32_t length;
        bool looping;
        std::uint32_t loops;
    };

    struct Stream {
        WaveDirection direction;
        std::uint32_t device;
        WaveFormatInfo format;
        std::deque<Queued> queue;
        std::uint32_t filled = 0;       // bytes of the front buffer done so far
        std::uint32_t loopsLeft = 0;    // further passes of a looping front buffer
        bool running = false;
        std::uint32_t runStartTick = 0;
        std::uint64_t framesAtRunStart = 0;
        std::uint64_t framePosition = 0; // frames moved since open
        std::uint64_t loopAtRunStart = 0; // the loop's clock at runStartTick (loopback devices)
        // A loopback input started while its output was held: it moves
        // nothing until the output starts, and then starts with it.
        bool waitingForFeeder = false;
        // A loopback end's clock against the system's (a factor of the
        // rate), and its xruns still to come, by frame.
        double clock = 1;
        std::vector<VirtualGlitch> xruns{};
        std::size_t nextXrun = 0;
    };

    Stream* Find(WaveHandle handle);
    void Log(Stream& stream, const char* call, const WaveHeader* header = nullptr);
    VirtualDevice& DeviceOf(const Stream& stream) { return Device(stream.direction, stream.device); }
    void Advance(Stream& stream);
    void AdvanceStream(Stream& stream, std::uint64_t loopTicks);
    // The loop's clock brought up to now, in milliseconds, and a reading of
    // it in frames at a rate.
    std::uint64_t LoopTicksNow();
    static std::uint64_t LoopFrame(std::uint64_t ticks, const Stream& stream);
    // Applies the xrun due at the stream's frame, if any; false when none is.
    bool TakeXrun(Stream& stream, std::uint64_t& target);
    void OpenLoopback(WaveDirection direction, WaveHandle opened, const WaveFormatInfo& format);
    void SetLoopbackClock(Stream& stream);
    void Run(Stream& stream);
    void Halt(Stream& stream);
    void MoveFrames(Stream& stream, const Queued& buffer, std::uint32_t frames);
    void KeepPlayed(VirtualDevice& device, const std::uint8_t* data, std::size_t bytes);

    std::vector<VirtualDevice> inputs;
    std::vector<VirtualDevice> outputs;
    std::map<WaveHandle, Stream> streams;
    WaveHandle nextHandle = 1;

    // The cable between the loopback devices, the streams at its ends, and
    // its clock: milliseconds since the first tick seen, in 64 bits.
    CVirtualLoop loop;
    WaveHandle loopFeeder = 0;
    WaveHandle loopListener = 0;
    bool loopClockStarted = false;
    std::uint32_t loopLastTick = 0;
    std::uint64_t loopTicks = 0;
};

// Installs a virtual wave API (the default pair until the test configures
// it) as the current one for a scope.
class CScopedVirtualWaveApi {
public:
    CVirtualWaveApi api;

private:
    CScopedWaveApi scope{api};
};
