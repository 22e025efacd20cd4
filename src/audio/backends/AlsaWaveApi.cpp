// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/AlsaWaveApi.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "audio/DeviceName.h"
#include "audio/WaveHeaderRules.h"
#include "audio/backends/AlsaHostSpace.h"
#include "audio/backends/AlsaStream.h"
#include "audio/backends/NoThrow.h"

namespace {

snd_pcm_stream_t StreamOf(WaveDirection direction)
{
    return direction == WaveDirection::Input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
}

// Opened only to see whether it is there; a busy device is there.
bool PcmExists(const char* name, WaveDirection direction)
{
    snd_pcm_t* pcm = nullptr;
    int error = snd_pcm_open(&pcm, name, StreamOf(direction), SND_PCM_NONBLOCK);
    if (error == 0)
        snd_pcm_close(pcm);
    return error == 0 || error == -EBUSY || error == -EAGAIN;
}

// Conversion-only plugins that the configuration describes but that are no
// device of their own.
bool IsConversionPlugin(const std::string& name)
{
    static const char* const plugins[] = {"null", "default", "sysdefault", "upmix", "vdownmix",
                                          "lavrate", "samplerate", "speexrate", "speex", "plug"};
    for (const char* plugin : plugins) {
        if (name == plugin)
            return true;
    }
    return false;
}

void ListCards(WaveDirection direction, std::vector<AlsaDeviceEntry>& list)
{
    snd_ctl_card_info_t* cardInfo = nullptr;
    snd_pcm_info_t* pcmInfo = nullptr;
    snd_ctl_card_info_malloc(&cardInfo);
    snd_pcm_info_malloc(&pcmInfo);
    int card = -1;
    while (cardInfo != nullptr && pcmInfo != nullptr && snd_card_next(&card) == 0 && card >= 0) {
        std::string ctlName = "hw:" + std::to_string(card);
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, ctlName.c_str(), 0) < 0)
            continue;
        if (snd_ctl_card_info(ctl, cardInfo) == 0) {
            std::string cardName = snd_ctl_card_info_get_name(cardInfo);
            int device = -1;
            while (snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
                snd_pcm_info_set_device(pcmInfo, static_cast<unsigned>(device));
                snd_pcm_info_set_subdevice(pcmInfo, 0);
                snd_pcm_info_set_stream(pcmInfo, StreamOf(direction));
                if (snd_ctl_pcm_info(ctl, pcmInfo) < 0)
                    continue; // no device of this direction
                std::string name = cardName + ": " + snd_pcm_info_get_name(pcmInfo);
                list.push_back({ctlName + "," + std::to_string(device), CutDeviceName(name), true});
            }
        }
        snd_ctl_close(ctl);
    }
    snd_pcm_info_free(pcmInfo);
    snd_ctl_card_info_free(cardInfo);
}

// PCMs that the configuration names and describes (its own devices, sound
// servers), without the per-card variants such as "front:CARD=...".
void ListDescribedPcms(WaveDirection direction, std::vector<AlsaDeviceEntry>& list)
{
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0)
        return;
    const char* wanted = direction == WaveDirection::Input ? "Input" : "Output";
    for (void** hint = hints; *hint != nullptr; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* description = snd_device_name_get_hint(*hint, "DESC");
        char* io = snd_device_name_get_hint(*hint, "IOID");
        if (name != nullptr && std::strchr(name, ':') == nullptr && !IsConversionPlugin(name) &&
            (io == nullptr || std::strcmp(io, wanted) == 0)) {
            // A sound server's plugin is described whether or not its server
            // runs; list it only when it can be opened, as a card is only
            // listed when it is there.
            if (PcmExists(name, direction)) {
                std::string product = description != nullptr ? description : name;
                product = product.substr(0, product.find('\n'));
                list.push_back({name, CutDeviceName(product), false});
            }
        }
        std::free(name);
        std::free(description);
        std::free(io);
    }
    snd_device_name_free_hint(hints);
}

std::vector<AlsaDeviceEntry> ListDevices(WaveDirection direction)
{
    std::vector<AlsaDeviceEntry> list;
    if (PcmExists("default", direction))
        list.push_back({"default", "Default ALSA device", false});
    ListCards(direction, list);
    ListDescribedPcms(direction, list);
    return list;
}

// The twelve standard formats, tested on a copy of the device's full
// parameter space each, without starting it.
std::uint32_t TestStandardFormats(const std::string& pcmName, WaveDirection direction)
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, pcmName.c_str(), StreamOf(direction),
                     SND_PCM_NONBLOCK | SND_PCM_NO_AUTO_RESAMPLE | SND_PCM_NO_AUTO_CHANNELS |
                         SND_PCM_NO_AUTO_FORMAT) < 0)
        return 0;
    snd_pcm_hw_params_t* all = nullptr;
    snd_pcm_hw_params_t* trial = nullptr;
    snd_pcm_hw_params_malloc(&all);
    snd_pcm_hw_params_malloc(&trial);
    std::uint32_t formats = 0;
    if (all != nullptr && trial != nullptr && snd_pcm_hw_params_any(pcm, all) >= 0) {
        static const unsigned rates[] = {11025, 22050, 44100};
        int bit = 0;
        for (unsigned rate : rates) {
            for (snd_pcm_format_t sampleFormat : {SND_PCM_FORMAT_U8, SND_PCM_FORMAT_S16_LE}) {
                for (unsigned channels : {1u, 2u}) {
                    // Bit order within a rate: mono 8, stereo 8, mono 16, stereo 16.
                    int position = bit + (sampleFormat == SND_PCM_FORMAT_S16_LE ? 2 : 0) + (channels == 2 ? 1 : 0);
                    snd_pcm_hw_params_copy(trial, all);
                    if (snd_pcm_hw_params_set_rate_resample(pcm, trial, 0) >= 0 &&
                        snd_pcm_hw_params_set_access(pcm, trial, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
                        snd_pcm_hw_params_set_format(pcm, trial, sampleFormat) >= 0 &&
                        snd_pcm_hw_params_set_channels(pcm, trial, channels) >= 0 &&
                        snd_pcm_hw_params_set_rate(pcm, trial, rate, 0) >= 0)
                        formats |= 1u << position;
                }
            }
            bit += 4;
        }
    }
    snd_pcm_hw_params_free(trial);
    snd_pcm_hw_params_free(all);
    snd_pcm_close(pcm);
    return formats;
}

// alsa-lib reports every failed probe on standard error; the result codes
// already say what went wrong, so it stays quiet unless asked to speak.
void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

} // namespace

WaveResult AlsaErrorToResult(int error, bool formatStep)
{
    switch (-error) {
    case 0: return WaveNoError;
    case ENOENT: return WaveErrBadDeviceId;
    case EBUSY:
    case EAGAIN: return WaveErrAllocated;
    case ENODEV:
    case ENXIO: return WaveErrNoDriver;
    case ENOMEM: return WaveErrNoMemory;
    case EINVAL: return formatStep ? WaveErrNotSupported : WaveErrInvalidParam;
    default: return WaveErrUnspecified;
    }
}

CAlsaWaveApi::CAlsaWaveApi()
{
    if (std::getenv("TALLOWMERE_ALSA_DEBUG") == nullptr)
        snd_lib_error_set_handler(QuietAlsaError);
    // Looking at a JACK device must never start a JACK server.
    setenv("JACK_NO_START_SERVER", "1", 0);
    Refresh();
}

CAlsaWaveApi::~CAlsaWaveApi()
{
    std::map<WaveHandle, Opened> open;
    {
        std::lock_guard lock(mutex);
        open.swap(streams);
    }
    open.clear(); // each stream resets and closes itself
}

void CAlsaWaveApi::Refresh()
{
    // Without the memory for new lists the old ones stay (empty at first).
    try {
        std::vector<AlsaDeviceEntry> newInputs = ListDevices(WaveDirection::Input);
        std::vector<AlsaDeviceEntry> newOutputs = ListDevices(WaveDirection::Output);
        std::lock_guard lock(mutex);
        inputs.swap(newInputs);
        outputs.swap(newOutputs);
    } catch (const std::bad_alloc&) {
    }
}

std::vector<AlsaDeviceEntry> CAlsaWaveApi::Devices(WaveDirection direction)
{
    std::lock_guard lock(mutex);
    return direction == WaveDirection::Input ? inputs : outputs;
}

std::uint16_t CAlsaWaveApi::GetDeviceCount(WaveDirection direction)
{
    std::lock_guard lock(mutex);
    std::size_t count = (direction == WaveDirection::Input ? inputs : outputs).size();
    return static_cast<std::uint16_t>(count > 0xFFFF ? 0xFFFF : count);
}

WaveResult CAlsaWaveApi::GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps)
{
    return NoThrow([&] {
        std::vector<AlsaDeviceEntry> list = Devices(direction);
        if (device >= list.size())
            return WaveErrBadDeviceId;
        caps = WaveDeviceCaps{};
        SetProductName(caps, list[device].productName);
        caps.driverVersion = SND_LIB_VERSION;
        caps.formats = TestStandardFormats(list[device].pcmName, direction);
        caps.channels = 2;
        return WaveNoError;
    });
}

WaveResult CAlsaWaveApi::Open(WaveDirection direction, WaveHandle& handle, std::uint32_t device, const void* format,
                              WindowHandle, std::uintptr_t, std::uint32_t)
{
    handle = 0;
    return NoThrow([&] { return OpenStream(direction, handle, device, format); });
}

WaveResult CAlsaWaveApi::OpenStream(WaveDirection direction, WaveHandle& handle, std::uint32_t device,
                                    const void* format)
{
    std::vector<AlsaDeviceEntry> list = Devices(direction);
    if (device >= list.size())
        return WaveErrBadDeviceId;
    WaveFormatInfo info;
    if (WaveResult refusal = ReadWaveFormat(format, info))
        return refusal;
    std::shared_ptr<CAlsaStream> stream;
    WaveHostDetail detail;
    WaveResult result = CAlsaStream::Open(list[device].pcmName, direction, info, stream, detail);
    std::lock_guard lock(mutex);
    DeviceKey key{direction, device};
    details[key] = std::move(detail);
    if (result != WaveNoError)
        return result;
    // Room for the handle first: a stream that cannot be listed is closed
    // again by its destructor.
    auto& opened = streams[nextHandle];
    opened = Opened{std::move(stream), key};
    handle = nextHandle++;
    return WaveNoError;
}

std::shared_ptr<CAlsaStream> CAlsaWaveApi::Find(WaveHandle handle)
{
    std::lock_guard lock(mutex);
    auto found = streams.find(handle);
    return found == streams.end() ? nullptr : found->second.stream;
}

WaveResult CAlsaWaveApi::Close(WaveHandle handle)
{
    std::shared_ptr<CAlsaStream> stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    WaveResult result = stream->Close();
    if (result == WaveNoError) {
        std::lock_guard lock(mutex);
        auto found = streams.find(handle);
        if (found != streams.end()) {
            // The detail outlives the handle, with the stream's last xruns.
            NoThrow([&] {
                details[found->second.device] = stream->Detail();
                return WaveNoError;
            });
            streams.erase(found);
        }
    }
    return result;
}

WaveHostDetail CAlsaWaveApi::HostDetail(WaveDirection direction, std::uint32_t device)
{
    try {
        std::shared_ptr<CAlsaStream> live;
        {
            std::lock_guard lock(mutex);
            for (const auto& [handle, opened] : streams) {
                if (opened.device == DeviceKey{direction, device})
                    live = opened.stream;
            }
            if (live == nullptr) {
                auto found = details.find({direction, device});
                return found == details.end() ? WaveHostDetail{} : found->second;
            }
        }
        return live->Detail();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string CAlsaWaveApi::HostDeviceName(WaveDirection direction, std::uint32_t device)
{
    try {
        std::lock_guard lock(mutex);
        const std::vector<AlsaDeviceEntry>& list = direction == WaveDirection::Input ? inputs : outputs;
        return device < list.size() ? list[device].pcmName : std::string();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

WaveHostSpace CAlsaWaveApi::HostDeviceSpace(WaveDirection direction, std::uint32_t device)
{
    try {
        std::string name = HostDeviceName(direction, device);
        return name.empty() ? WaveHostSpace{} : ReadAlsaHostSpace(name, direction);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

bool CAlsaWaveApi::AddHostDevice(WaveDirection direction, const std::string& hostName)
{
    try {
        {
            std::lock_guard lock(mutex);
            for (const AlsaDeviceEntry& entry : direction == WaveDirection::Input ? inputs : outputs)
                if (entry.pcmName == hostName)
                    return true;
        }
        // Opened outside the lock: a sound server may take its time.
        if (hostName.empty() || !PcmExists(hostName.c_str(), direction))
            return false;
        std::lock_guard lock(mutex);
        (direction == WaveDirection::Input ? inputs : outputs)
            .push_back({hostName, CutDeviceName(hostName), hostName.rfind("hw:", 0) == 0});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

WaveResult CAlsaWaveApi::PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    if (Find(handle) == nullptr)
        return WaveErrInvalidHandle;
    if (WaveResult refusal = CheckPrepareHeader(header, headerSize))
        return refusal;
    MarkHeaderPrepared(*header);
    return WaveNoError;
}

WaveResult CAlsaWaveApi::UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    if (Find(handle) == nullptr)
        return WaveErrInvalidHandle;
    if (WaveResult refusal = CheckUnprepareHeader(header, headerSize))
        return refusal;
    MarkHeaderUnprepared(*header);
    return WaveNoError;
}

WaveResult CAlsaWaveApi::QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    std::shared_ptr<CAlsaStream> stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    if (WaveResult refusal = CheckHeaderBuffer(header, headerSize))
        return refusal;
    // The stream checks the header's state under its own lock, against
    // what it holds.
    return stream->Queue(header);
}

WaveResult CAlsaWaveApi::Start(WaveHandle handle)
{
    std::shared_ptr<CAlsaStream> stream = Find(handle);
    return stream != nullptr ? stream->Start() : WaveErrInvalidHandle;
}

WaveResult CAlsaWaveApi::Pause(WaveHandle handle)
{
    std::shared_ptr<CAlsaStream> stream = Find(handle);
    return stream != nullptr ? stream->Pause() : WaveErrInvalidHandle;
}

WaveResult CAlsaWaveApi::Restart(WaveHandle handle)
{
    std::shared_ptr<CAlsaStream> stream = Find(handle);
    return stream != nullptr ? stream->Restart() : WaveErrInvalidHandle;
}

WaveResult CAlsaWaveApi::Reset(WaveHandle handle)
{
    std::shared_ptr<CAlsaStream> stream = Find(handle);
    return stream != nullptr ? stream->Reset() : WaveErrInvalidHandle;
}
