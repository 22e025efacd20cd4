// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform-audio interface beneath the wave devices: device counts and
// capability records per direction, open in a PCM or extensible format,
// buffer headers that are prepared and queued, and the stream controls.
// One process-wide instance is current; a front end or a test replaces it
// as a whole (the virtual back end, ALSA, or both through the composite).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ScopedInstall.h"
#include "platform/Services.h"

// Result codes, cut to 16 bits as the device layer hands them out. The values
// are the platform's multimedia result codes; the names are ours, so that
// <mmsystem.h>'s macros of the same meaning never collide with them.
using WaveResult = std::uint16_t;

constexpr WaveResult WaveNoError = 0;
constexpr WaveResult WaveErrUnspecified = 1;
constexpr WaveResult WaveErrBadDeviceId = 2;
constexpr WaveResult WaveErrNotEnabled = 3;
constexpr WaveResult WaveErrAllocated = 4;
constexpr WaveResult WaveErrInvalidHandle = 5;
constexpr WaveResult WaveErrNoDriver = 6;
constexpr WaveResult WaveErrNoMemory = 7;
constexpr WaveResult WaveErrNotSupported = 8;
constexpr WaveResult WaveErrBadErrorNumber = 9;
constexpr WaveResult WaveErrInvalidFlag = 10;
constexpr WaveResult WaveErrInvalidParam = 11;
constexpr WaveResult WaveErrHandleBusy = 12;
constexpr WaveResult WaveErrBadFormat = 32;
constexpr WaveResult WaveErrStillPlaying = 33;
constexpr WaveResult WaveErrUnprepared = 34;

enum class WaveDirection : std::uint16_t { Output = 1, Input = 2 };

// Header flags. Only WaveHeaderDone is read by the device layer; a back end sets
// it from its own thread once the whole buffer is recorded or played out.
constexpr std::uint32_t WaveHeaderDone = 0x01;
constexpr std::uint32_t WaveHeaderPrepared = 0x02;
constexpr std::uint32_t WaveHeaderBeginLoop = 0x04;
constexpr std::uint32_t WaveHeaderEndLoop = 0x08;
constexpr std::uint32_t WaveHeaderInQueue = 0x10;

// Loop count that asks a looping output buffer to repeat until reset.
constexpr std::uint32_t WaveLoopForever = 0x80000000u;

// One buffer handed to a device. The caller owns `data`; it must stay valid
// until the buffer is done or the device is reset or closed.
struct WaveHeader {
    std::uint8_t* data = nullptr;
    std::uint32_t bufferLength = 0;
    // Written by the back end before it sets WaveHeaderDone (release), so a
    // caller that saw the flag (acquire) reads the final count.
    std::atomic<std::uint32_t> bytesRecorded{0};
    std::uintptr_t user = 0;
    std::atomic<std::uint32_t> flags{WaveHeaderDone};
    std::uint32_t loops = 0;
    void* reserved = nullptr;
};

// Standard-format bits of a capability record: 11.025, 22.05 and 44.1 kHz,
// each as mono 8-bit, stereo 8-bit, mono 16-bit, stereo 16-bit.
constexpr std::uint32_t WaveFormat1M08 = 0x001;
constexpr std::uint32_t WaveFormat1S08 = 0x002;
constexpr std::uint32_t WaveFormat1M16 = 0x004;
constexpr std::uint32_t WaveFormat1S16 = 0x008;
constexpr std::uint32_t WaveFormat2M08 = 0x010;
constexpr std::uint32_t WaveFormat2S08 = 0x020;
constexpr std::uint32_t WaveFormat2M16 = 0x040;
constexpr std::uint32_t WaveFormat2S16 = 0x080;
constexpr std::uint32_t WaveFormat4M08 = 0x100;
constexpr std::uint32_t WaveFormat4S08 = 0x200;
constexpr std::uint32_t WaveFormat4M16 = 0x400;
constexpr std::uint32_t WaveFormat4S16 = 0x800;
constexpr std::uint32_t WaveStandardFormatsAll = 0xFFF;

// The capability record of one device.
constexpr std::size_t WaveProductNameLength = 32; // 31 characters and a terminator
struct WaveDeviceCaps {
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = 0;
    char productName[WaveProductNameLength] = {};
    std::uint32_t formats = 0;
    std::uint16_t channels = 0;
};

// Format descriptions, laid out byte for byte as the devices send them.
constexpr std::uint16_t WaveFormatTagPcm = 1;
constexpr std::uint16_t WaveFormatTagExtensible = 0xFFFE;

// The plain PCM description (16 bytes, no size member).
struct PcmWaveFormat {
    std::uint16_t formatTag;
    std::uint16_t channels;
    std::uint32_t samplesPerSec;
    std::uint32_t avgBytesPerSec;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
};
static_assert(sizeof(PcmWaveFormat) == 16);

struct WaveGuid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
    bool operator==(const WaveGuid&) const = default;
};

// {00000001-0000-0010-8000-00AA00389B71}
constexpr WaveGuid WaveSubtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// The extensible description (40 bytes): the PCM members, a size member of 22,
// then valid bits, channel mask and sub-format.
struct ExtensibleWaveFormat {
    std::uint16_t formatTag;
    std::uint16_t channels;
    std::uint32_t samplesPerSec;
    std::uint32_t avgBytesPerSec;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
    std::uint16_t cbSize;
    std::uint16_t validBitsPerSample;
    std::uint32_t channelMask;
    WaveGuid subFormat;
};
static_assert(sizeof(ExtensibleWaveFormat) == 40);
static_assert(offsetof(ExtensibleWaveFormat, validBitsPerSample) == 18);
static_assert(offsetof(ExtensibleWaveFormat, subFormat) == 24);

constexpr std::uint16_t ExtensibleFormatExtraBytes = 22;
constexpr std::uint32_t WaveSpeakerFrontLeft = 0x1;
constexpr std::uint32_t WaveSpeakerFrontRight = 0x2;

// Open flags: no callback, or notifications to a window (which no back end
// here sends: the devices are polled).
constexpr std::uint32_t WaveCallbackNull = 0;
constexpr std::uint32_t WaveCallbackWindow = 0x10000;

// The handle of an open device; 0 is none.
using WaveHandle = std::uintptr_t;

// What a back end knows of one device beyond the 16-bit codes: the host
// call that last failed there and the host's own words for it, whether the
// device went away for good, and the xruns its last stream recovered from.
// For standard error and JSON only; the report never shows it.
struct WaveHostDetail {
    std::string deviceName; // the host's name of the device ("hw:1,0"); empty when unknown
    std::string call;       // the failing host call ("snd_pcm_hw_params_set_rate"); empty when none failed
    int error = 0;          // the host's error number for that call (a positive errno for ALSA)
    std::string text;       // the host's text for it ("Invalid argument")
    bool lost = false;      // the device disappeared while it was open
    std::uint64_t xruns = 0;      // overruns or underruns recovered during the last stream
    std::uint64_t framesLost = 0; // frames dropped by those xruns (input) or not played in time (output)
                                  // (ALSA: counted on the stream's clock from the gap each xrun left)
};

// What the host states of one device without streaming from it: its own
// name for the device and, where the host has one, the configuration space
// the device offers (ALSA: snd_pcm_hw_params_any on a handle opened without
// automatic conversion). For --list and the device names a user may give;
// the capability record stays the dialog's.
struct WaveHostSpace {
    bool known = false;         // false: the host states none (or it could not be had)
    std::string failure;        // why not, in the host's words ("snd_pcm_open: Device or resource busy")
    std::vector<std::string> access;  // "MMAP_INTERLEAVED", "RW_INTERLEAVED", ...
    std::vector<std::string> formats; // the host's sample format names ("S16_LE")
    unsigned channelsMin = 0, channelsMax = 0;
    unsigned rateMin = 0, rateMax = 0;           // Hz, the interval as stated (not every rate in it need open)
    unsigned long periodMin = 0, periodMax = 0;  // frames
    unsigned long bufferMin = 0, bufferMax = 0;  // frames
    unsigned periodsMin = 0, periodsMax = 0;
};

// Division of work. Every back end calls the shared checks first:
// ReadWaveFormat (WaveFormatRules.h) in Open, and the header rules
// (WaveHeaderRules.h) in PrepareHeader, UnprepareHeader and QueueBuffer,
// which also move the header flags. A back end must still: refuse what its
// device does not do (8), a device already open (4) and unknown handles
// (5); say whether it already holds a header being queued; take a queued
// buffer's address and length at queue time; set WaveHeaderDone only once the
// whole buffer is recorded or has been heard; hand every pending buffer back
// on Reset; and let no exception out (NoThrow, backends/NoThrow.h: a failed
// allocation is WaveErrNoMemory). No operation of the interface shows a
// message: the device layer (WaveDevice.h) decides what the user sees.
class CWaveApi {
public:
    virtual ~CWaveApi() = default;

    // Devices of the direction, at most 0xFFFF; 0 when there are none.
    virtual std::uint16_t GetDeviceCount(WaveDirection direction) = 0;
    // Fills `caps` (a product name of at most 31 bytes, cut at a character
    // boundary). WaveNoError; WaveErrBadDeviceId for a number beyond
    // the count; WaveErrNoMemory; or the back end's code for a failed query.
    virtual WaveResult GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps) = 0;

    // `format` points at a PcmWaveFormat or an ExtensibleWaveFormat, told
    // apart by its format tag. Succeeds only in exactly that format:
    // WaveNoError with `handle` set; otherwise `handle` is 0 and the
    // code is WaveErrBadDeviceId (no such device), WaveErrInvalidParam (no
    // format), WaveErrNotSupported (a format outside the rules or one the
    // device does not take), WaveErrAllocated (open already), WaveErrNoMemory,
    // WaveErrNoDriver (the device cannot be reached) or WaveErrUnspecified.
    // An output plays what is queued at once unless paused.
    virtual WaveResult Open(WaveDirection direction, WaveHandle& handle, std::uint32_t device, const void* format,
                            WindowHandle callbackWindow, std::uintptr_t instance, std::uint32_t flags) = 0;
    // WaveNoError when released; WaveErrStillPlaying while buffers
    // are queued (Reset first); WaveErrInvalidHandle for an unknown handle,
    // so a second Close changes nothing.
    virtual WaveResult Close(WaveHandle handle) = 0;

    // Sets WaveHeaderPrepared: WaveNoError; WaveErrInvalidParam for a null
    // or short header; WaveErrInvalidHandle; WaveErrNoMemory.
    virtual WaveResult PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) = 0;
    // Clears WaveHeaderPrepared: as PrepareHeader, and WaveErrStillPlaying while
    // the header is queued.
    virtual WaveResult UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) = 0;

    // Queues a buffer: written for output, added for input; WaveHeaderDone is
    // cleared and WaveHeaderInQueue set. WaveNoError; WaveErrInvalidParam for
    // a null or short header or a null or empty buffer; WaveErrUnprepared (34)
    // without WaveHeaderPrepared; WaveErrStillPlaying (33) for a header queued
    // already; WaveErrInvalidHandle; WaveErrNoMemory.
    virtual WaveResult QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) = 0;

    // Input: begin recording into the queued buffers. Output: hold playback,
    // and let it go on. WaveNoError (also when already in that state);
    // WaveErrInvalidHandle for an unknown handle or the wrong direction; or
    // the back end's code for a device that refused.
    virtual WaveResult Start(WaveHandle handle) = 0;
    virtual WaveResult Pause(WaveHandle handle) = 0;
    virtual WaveResult Restart(WaveHandle handle) = 0;
    // Stops the stream and hands every pending buffer back marked done (an
    // input's front buffer keeps its recorded count); an input stops, an
    // output keeps its paused or playing state. WaveNoError, also for
    // a device that was lost; WaveErrInvalidHandle.
    virtual WaveResult Reset(WaveHandle handle) = 0;

    // Called on the caller's thread whenever it polls a buffer, so that a back
    // end without a thread of its own can bring the stream up to the current
    // time. Back ends with a worker thread need do nothing.
    virtual void Update(WaveHandle handle) { (void)handle; }

    // The detail of device `device` of the direction (numbered as in
    // GetDeviceCaps): kept after its handle is closed, replaced by the next
    // open of the same device. All empty for back ends that keep none, for
    // a number beyond the list, and when its copy cannot be had.
    virtual WaveHostDetail HostDetail(WaveDirection direction, std::uint32_t device)
    {
        (void)direction;
        (void)device;
        return {};
    }

    // The host's own name of device `device` (ALSA: the PCM name, "hw:1,0");
    // empty for back ends without one and for a number beyond the list.
    virtual std::string HostDeviceName(WaveDirection direction, std::uint32_t device)
    {
        (void)direction;
        (void)device;
        return {};
    }
    // The configuration space the host states for the device; `known` false
    // for back ends that state none, with `failure` saying why when the
    // host was asked and could not answer (a busy or vanished device).
    virtual WaveHostSpace HostDeviceSpace(WaveDirection direction, std::uint32_t device)
    {
        (void)direction;
        (void)device;
        return {};
    }
    // Lists a device that the host can open by the name `hostName` (an ALSA
    // PCM name such as "plughw:1,0" that the listing leaves out) after the
    // others of its back end, so that a user may name any device the host
    // knows. True when it was added or is listed already under that host
    // name; false when the host does not know or cannot open it, or for back
    // ends that name no devices. Adding moves the numbers of the devices of
    // later back ends: list again afterwards.
    virtual bool AddHostDevice(WaveDirection direction, const std::string& hostName)
    {
        (void)direction;
        (void)hostName;
        return false;
    }
};

// The current wave API. Never null: the program's default (the composite of
// ALSA and the virtual devices) is built on first use.
CWaveApi& WaveApi();

// Makes `api` current (null restores the default) and returns the previous
// one, or null when the default was current. The caller keeps ownership.
CWaveApi* SetWaveApi(CWaveApi* api);

// Installs a wave API for a scope and puts the previous one back afterwards.
using CScopedWaveApi = CScopedInstall<CWaveApi, SetWaveApi>;
