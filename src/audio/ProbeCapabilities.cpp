// SPDX-License-Identifier: GPL-3.0-or-later
// The capability probe: the device's record from the wave API, the quirks of
// particular cards recognised by product name, and the best format.
#include <cstring>

#include "audio/WaveDevice.h"

namespace {

bool BeginsWith(const char* name, const char* text)
{
    return std::strncmp(name, text, std::strlen(text)) == 0;
}

bool Contains(const char* name, const char* text)
{
    return std::strstr(name, text) != nullptr;
}

// Rows whose only effect is that the card is not a generic one.
const char* const NonGenericPrefixes[] = {"Tahiti", "Tropez", "Pinnacle", "Fiji"};
const char* const LaterNonGenericPrefixes[] = {"CardDeluxe", "Audiotrix"};
const char* const NonGenericSubstrings[] = {"Antex", "Windows Sound System"};
const char* const MultiTrackPrefixes[] = {"Darla", "Gina", "Layla"};
const char* const PocketPrefixes[] = {"PCXPOCKET", "POCKET", "VXPOCKET"};
const char* const StSeriesPrefixes[] = {"ST SoundBuster", "ST190", "ST191", "ST192", "ST193",
                                        "ST210",          "ST219", "ST220"};

constexpr std::uint32_t Any16BitFormat = 0xCCC;
constexpr std::uint32_t Any22kHzFormat = 0x0F0;
constexpr std::uint32_t Any44kHzFormat = 0xF00;
constexpr std::uint32_t AnyStereoFormat = 0xAAA;

} // namespace

void CWaveDevice::ProbeCapabilities()
{
    if (deviceIndex == -1)
        return;
    WaveDeviceCaps caps;
    if (WaveApi().GetDeviceCaps(direction, static_cast<std::uint32_t>(deviceIndex), caps) != WaveNoError) {
        Services().ShowMessage("IDS_DEVICE_IO_FAIL", MessageIcon::None);
        return;
    }
    char name[WaveProductNameLength];
    std::memcpy(name, caps.productName, sizeof name);
    name[WaveProductNameLength - 1] = '\0';
    bool output = direction == WaveDirection::Output;

    // Every row is tested in order; a later match overrides an earlier one.
    if (BeginsWith(name, "SB16")) {
        minFormat = maxFormat;
        sb16Card = 1;
        minFormat.sampleRate = 5000;
        maxFormat.sampleRate = 45000;
        genericCard = 1;
    }
    for (const char* prefix : NonGenericPrefixes) {
        if (BeginsWith(name, prefix))
            genericCard = 0;
    }
    if (BeginsWith(name, "TBS"))
        genericCard = 1;
    if (BeginsWith(name, "DAL")) {
        preRollRequired = 1;
        genericCard = 0;
    }
    for (const char* prefix : LaterNonGenericPrefixes) {
        if (BeginsWith(name, prefix))
            genericCard = 0;
    }
    for (const char* text : NonGenericSubstrings) {
        if (Contains(name, text))
            genericCard = 0;
    }
    for (const char* prefix : MultiTrackPrefixes) {
        if (BeginsWith(name, prefix)) {
            darlaGinaLaylaCard = 1;
            if (output)
                genericOutputCard = 0;
            genericCard = 0;
        }
    }
    for (const char* prefix : PocketPrefixes) {
        if (BeginsWith(name, prefix)) {
            pocketCard = 1;
            genericCard = 0;
        }
    }
    if (BeginsWith(name, "ST_NVHII")) {
        emu8710Card = 1;
        genericCard = 0;
    }
    if (BeginsWith(name, "EMU8710")) {
        emu8710Card = 1;
        if (output)
            genericCard = 0;
    }
    for (const char* prefix : StSeriesPrefixes) {
        if (BeginsWith(name, prefix)) {
            genericCard = 0;
            stSeriesCard = 1;
        }
    }
    if (output && BeginsWith(name, "Pd96")) {
        genericOutputCard = 0;
        genericCard = 0;
        stSeriesCard = 1;
    }

    std::uint32_t formats = caps.formats;
    if (formats & Any16BitFormat) {
        maxFormat.bytesPerSample = 2;
        maxFormat.bitsPerSample = 16;
        maxFormat.maxValue = 32767;
        maxFormat.minValue = -32767;
        maxFormat.zeroValue = 0;
    }
    if (formats & Any22kHzFormat)
        maxFormat.sampleRate = 22050;
    if (formats & Any44kHzFormat)
        maxFormat.sampleRate = 44100;
    maxFormat.channels = (formats & AnyStereoFormat) ? 2 : 1;

    // The best format is always taken to be 24-bit: every device is asked for
    // it and the answer is always yes.
    if (IsFormatSupported(44100, 3, 2)) {
        maxFormat.bytesPerSample = 3;
        maxFormat.bitsPerSample = 24;
        maxFormat.maxValue = 8388607;
        maxFormat.minValue = -8388607;
        maxFormat.zeroValue = 0;
    }

    std::memcpy(deviceName, name, sizeof deviceName);
    manufacturerId = caps.manufacturerId;
    productId = caps.productId;
    driverVersion = caps.driverVersion;
}
