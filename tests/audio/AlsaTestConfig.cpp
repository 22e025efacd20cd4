// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlsaTestConfig.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

namespace alsatest {

namespace fs = std::filesystem;

namespace {

fs::path directory;

std::string Plugin(const char* name, const std::string& options)
{
    return std::string("pcm.") + name + " {\n  type tallowtest\n  lock \"" + (directory / name).string() +
           ".lock\"\n" + options + "}\n";
}

// No lock: the playback end and the capture end are opened side by side.
std::string Loop(const char* name, const char* cable, long delay, const char* description)
{
    std::string text = std::string("pcm.") + name + " {\n  type tallowtest\n  loopback \"" + cable +
                       "\"\n  loopdelay " + std::to_string(delay) + "\n";
    if (description != nullptr)
        text += std::string("  hint { show on description \"") + description + "\" }\n";
    return text + "}\n";
}

std::string Hint(bool listed, const char* description)
{
    return listed ? std::string("  hint { show on description \"") + description + "\" }\n" : std::string();
}

// The format matrix's devices (the truths are in AlsaTestConfig.h).
std::string FormatDevices(bool listed)
{
    std::string narrowRates, loopRates;
    for (unsigned rate : NarrowRates)
        narrowRates += " " + std::to_string(rate);
    for (unsigned rate : NarrowLoopRates)
        loopRates += " " + std::to_string(rate);
    return "pcm.narrow {\n  type tallowtest\n  rates [" + narrowRates +
           " ]\n  formats [ \"S16_LE\" \"S24_3LE\" ]\n  channels [ 2 ]\n" + Hint(listed, "Narrow test device") +
           "}\n"
           "pcm.narrowloop {\n  type tallowtest\n  loopback \"narrowcable\"\n  loopdelay 480\n  rates [" +
           loopRates + " ]\n  formats [ \"S16_LE\" \"S32_LE\" ]\n" + Hint(listed, "Narrow loopback device") +
           "}\n"
           "pcm.server {\n  type tallowtest\n  loopback \"servercable\"\n  loopdelay 480\n  serverrate " +
           std::to_string(ServerRate) + "\n  serverbits " + std::to_string(ServerBits) + "\n" +
           Hint(listed, "Server test device") +
           "}\n"
           "pcm.dither {\n  type tallowtest\n  loopback \"dithercable\"\n  loopdelay 480\n  dither 1\n" +
           Hint(listed, "Dithering server device") + "}\n";
}

} // namespace

fs::path InFile() { return directory / "in.raw"; }
fs::path OutFile() { return directory / "out.raw"; }

const fs::path& Install(bool listFormatDevices)
{
    if (!directory.empty())
        return directory;
    directory = fs::path(TALLOWMERE_ALSA_TEST_DIR) / ("run-" + std::to_string(getpid()));
    fs::create_directories(directory);
    fs::path config = directory / "asound.conf";
    std::ofstream out(config);
    out << "pcm.testcap {\n"
           "  type file\n"
           "  slave.pcm { type null }\n"
           "  file \"/dev/null\"\n"
           "  infile \"" << InFile().string() << "\"\n"
           "  format \"raw\"\n"
           "  hint { show on description \"Test capture|IOIDInput\" }\n"
           "}\n"
           "pcm.testplay {\n"
           "  type file\n"
           "  slave.pcm { type null }\n"
           "  file \"" << OutFile().string() << "\"\n"
           "  format \"raw\"\n"
           "  hint { show on description \"Test playback|IOIDOutput\" }\n"
           "}\n"
           // Described, but it cannot open: like a sound server that is not running.
           "pcm.deadserver {\n"
           "  type file\n"
           "  slave.pcm { type null }\n"
           "  file \"/dev/null\"\n"
           "  infile \"/nonexistent/tallowmere/in.raw\"\n"
           "  format \"raw\"\n"
           "  hint { show on description \"Server that is not running|IOIDInput\" }\n"
           "}\n"
           "pcm_type.tallowtest { lib \"" TALLOWMERE_ALSA_TEST_PLUGIN "\" }\n"
        << Plugin("paced", "  hint { show on description \"Paced test device, a name longer than thirty-one\" }\n")
        << Plugin("unplugged", "  unplug 30\n") << Plugin("suspending", "  suspend 50\n")
        << Plugin("sticky", "  stickydelay 150\n") << Plugin("stalling", "  stall 100\n  stallms 800\n")
        << Plugin("servergone", "  gone 30\n") << Loop("loop", "cable", LoopDelayFrames, "Loopback test device")
        << Loop("loopother", "cable", LoopDelayFrames + 1, nullptr) << Loop("loopfar", "far", 1L << 21, nullptr)
        << "pcm.loopnocable {\n  type tallowtest\n  loopdelay 10\n}\n" << FormatDevices(listFormatDevices);
    out.close();
    // The capture device opens only when its input file exists; tests
    // write its content before they record.
    std::ofstream(InFile()).close();
    // Hermetic: the system's own devices and defaults do not exist here.
    setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    return directory;
}

void Remove()
{
    std::error_code ignored;
    if (!directory.empty())
        fs::remove_all(directory, ignored);
    directory.clear();
}

} // namespace alsatest
