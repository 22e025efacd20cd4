// SPDX-License-Identifier: GPL-3.0-or-later
// The card probe: flags from the card table in both directions, the order in
// which rows override each other, the format bits and the 24-bit best format.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/WaveDevice.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

struct Flags {
    int genericOutput = 1;
    int sb16 = 0;
    int preRoll = 0;
    int darlaGinaLayla = 0;
    int pocket = 0;
    int emu8710 = 0;
    int stSeries = 0;
    int generic = 1;
    bool operator==(const Flags&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Flags& f)
{
    return out << "{genericOutput " << f.genericOutput << ", sb16 " << f.sb16 << ", preRoll " << f.preRoll
               << ", dgl " << f.darlaGinaLayla << ", pocket " << f.pocket << ", emu " << f.emu8710 << ", st "
               << f.stSeries << ", generic " << f.generic << "}";
}

struct Row {
    const char* name;
    Flags output;
    Flags input;
};

Flags Generic0() { Flags f; f.generic = 0; return f; }
Flags With(Flags f, int Flags::*member, int value) { f.*member = value; return f; }

const Flags Default{};
const Flags NotGeneric = Generic0();
const Flags Sb16 = With(Default, &Flags::sb16, 1);
const Flags Dal = With(NotGeneric, &Flags::preRoll, 1);
const Flags MultiTrackIn = With(NotGeneric, &Flags::darlaGinaLayla, 1);
const Flags MultiTrackOut = With(MultiTrackIn, &Flags::genericOutput, 0);
const Flags Pocket = With(NotGeneric, &Flags::pocket, 1);
const Flags Emu = With(NotGeneric, &Flags::emu8710, 1);
const Flags EmuInput = With(Default, &Flags::emu8710, 1);
const Flags StSeries = With(NotGeneric, &Flags::stSeries, 1);
const Flags Pd96Out = With(StSeries, &Flags::genericOutput, 0);

const Row rows[] = {
    {"SB16 Audio", Sb16, Sb16},
    {"Tahiti Card", NotGeneric, NotGeneric},
    {"Tropez Plus", NotGeneric, NotGeneric},
    {"Pinnacle Pro", NotGeneric, NotGeneric},
    {"Fiji", NotGeneric, NotGeneric},
    {"TBS Montego", Default, Default},
    {"DAL CardD", Dal, Dal},
    {"CardDeluxe 1", NotGeneric, NotGeneric},
    {"Audiotrix Pro", NotGeneric, NotGeneric},
    {"My Antex Card", NotGeneric, NotGeneric},
    {"Generic Windows Sound System", NotGeneric, NotGeneric},
    {"Darla24", MultiTrackOut, MultiTrackIn},
    {"Gina Wave", MultiTrackOut, MultiTrackIn},
    {"Layla 20", MultiTrackOut, MultiTrackIn},
    {"PCXPOCKET v2", Pocket, Pocket},
    {"POCKET", Pocket, Pocket},
    {"VXPOCKET 440", Pocket, Pocket},
    {"ST_NVHII", Emu, Emu},
    {"EMU8710 Wave", Emu, EmuInput},
    {"ST SoundBuster", StSeries, StSeries},
    {"ST190", StSeries, StSeries},
    {"ST191 x", StSeries, StSeries},
    {"ST192", StSeries, StSeries},
    {"ST193", StSeries, StSeries},
    {"ST210", StSeries, StSeries},
    {"ST219", StSeries, StSeries},
    {"ST220", StSeries, StSeries},
    {"Pd96 Out", Pd96Out, Default},
    // Overrides and near misses.
    {"TBS on Windows Sound System", NotGeneric, NotGeneric},
    {"sb16 lower case", Default, Default},
    {"My SB16", Default, Default},
    {"ST 190", Default, Default},
    {"Layl", Default, Default},
};

class ProbeTest : public ::testing::Test {
protected:
    CFakeServicesScope services;
    CScopedVirtualWaveApi wave;

    void UseDevice(WaveDirection direction, const std::string& name, std::uint32_t formats = 0xFFF)
    {
        wave.api.SetDevices(direction, {CVirtualWaveApi::MakeDevice(name, formats, 0x1234)});
    }

    static Flags FlagsOf(const CWaveDevice& d)
    {
        return {d.IsGenericOutputCard(), d.IsSb16Card(),    d.IsPreRollRequired(), d.IsDarlaGinaLaylaCard(),
                d.IsPocketCard(),        d.IsEmu8710Card(), d.IsStSeriesCard(),    d.IsGenericCard()};
    }
};

TEST_F(ProbeTest, CardTableInBothDirections)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UseDevice(WaveDirection::Output, row.name);
        UseDevice(WaveDirection::Input, row.name);
        CWaveOutDevice output(0);
        CWaveInDevice input(0);
        EXPECT_EQ(FlagsOf(output), row.output);
        EXPECT_EQ(FlagsOf(input), row.input);
        EXPECT_STREQ(output.GetDeviceName(), row.name);
        // Only "DAL" cards get the pre-roll block.
        EXPECT_EQ(output.GetPreRollBuffer() != nullptr, row.output.preRoll == 1);
    }
    EXPECT_TRUE(services.fake.messages.empty());
}

TEST_F(ProbeTest, Sb16WithEveryFormat)
{
    UseDevice(WaveDirection::Output, "SB16", 0xFFF);
    CWaveOutDevice device(0);
    const CSampleFormat& min = device.GetMinFormat();
    EXPECT_EQ(min.sampleRate, 5000);
    EXPECT_EQ(min.channels, 2);
    EXPECT_EQ(min.bytesPerSample, 2);
    EXPECT_EQ(min.bitsPerSample, 16);
    EXPECT_EQ(min.maxValue, 32767);
    EXPECT_EQ(min.minValue, -32767);
    const CSampleFormat& max = device.GetMaxFormat();
    EXPECT_EQ(max.sampleRate, 44100);
    EXPECT_EQ(max.channels, 2);
    EXPECT_EQ(max.bytesPerSample, 3);
    EXPECT_EQ(max.bitsPerSample, 24);
    EXPECT_EQ(max.maxValue, 8388607);
    EXPECT_EQ(max.minValue, -8388607);
    EXPECT_EQ(max.zeroValue, 0);
}

struct FormatCase {
    const char* name;
    std::uint32_t formats;
    std::int32_t rate;
    std::uint16_t channels;
};

TEST_F(ProbeTest, FormatBitsSetRateAndChannelsOfTheBestFormat)
{
    const FormatCase cases[] = {
        {"Card", 0x000, 44100, 1},      {"Card", 0x001, 44100, 1}, {"Card", 0x010, 22050, 1},
        {"Card", 0x020, 22050, 2},      {"Card", 0x080, 22050, 2}, {"Card", 0x040, 22050, 1},
        {"Card", 0x0F0, 22050, 2},      {"Card", 0x110, 44100, 1}, {"Card", 0x002, 44100, 2},
        {"SB16", 0x000, 45000, 1},      {"SB16", 0x004, 45000, 1}, {"SB16", 0x400, 44100, 1},
        {"SB16", 0x020, 22050, 2},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " 0x" << std::hex << c.formats);
        UseDevice(WaveDirection::Input, c.name, c.formats);
        CWaveInDevice device(0);
        const CSampleFormat& max = device.GetMaxFormat();
        EXPECT_EQ(max.sampleRate, c.rate);
        EXPECT_EQ(max.channels, c.channels);
        EXPECT_EQ(max.bytesPerSample, 3); // whatever the driver claims
        EXPECT_EQ(max.bitsPerSample, 24);
    }
}

TEST_F(ProbeTest, IdentityIsCopiedAndA31CharacterNameKept)
{
    std::string name(31, 'N');
    name[0] = 'A';
    wave.api.SetDevices(WaveDirection::Output, {CVirtualWaveApi::MakeDevice(name, 0xFFF, 0xBEEF)});
    wave.api.Device(WaveDirection::Output, 0).manufacturerId = 0xFFFE;
    wave.api.Device(WaveDirection::Output, 0).driverVersion = 0x12345678;
    CWaveOutDevice device(0);
    EXPECT_EQ(std::string(device.GetDeviceName()), name);
    EXPECT_EQ(device.GetDeviceName()[31], '\0');
    EXPECT_EQ(device.GetManufacturerId(), 0xFFFEu);
    EXPECT_EQ(device.GetProductId(), 0xBEEFu);
    EXPECT_EQ(device.GetDriverVersion(), 0x12345678u);
}

TEST_F(ProbeTest, FailedQueryKeepsTheDefaultsAndShowsAPlainMessage)
{
    UseDevice(WaveDirection::Input, "DAL CardD");
    wave.api.Device(WaveDirection::Input, 0).capsQuery.always = WaveErrNoDriver;
    CWaveInDevice device(0);
    EXPECT_EQ(services.fake.messages,
              (std::vector<CFakeServices::Message>{{"IDS_DEVICE_IO_FAIL", MessageIcon::None}}));
    EXPECT_EQ(FlagsOf(device), Default);
    EXPECT_STREQ(device.GetDeviceName(), "");
    EXPECT_EQ(device.GetMaxFormat().sampleRate, 44100);
    EXPECT_EQ(device.GetMaxFormat().channels, 2);
    EXPECT_EQ(device.GetMaxFormat().bytesPerSample, 2);
    EXPECT_EQ(device.GetMinFormat().sampleRate, 11025);
    EXPECT_EQ(device.GetMinFormat().channels, 1);
    EXPECT_EQ(device.GetMinFormat().bytesPerSample, 1);
    // The device can still be opened.
    EXPECT_EQ(device.Open(nullptr, 16), WaveNoError);
}

} // namespace
