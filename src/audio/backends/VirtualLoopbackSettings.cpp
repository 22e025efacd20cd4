// SPDX-License-Identifier: GPL-3.0-or-later
// The loopback chain as TALLOWMERE_VIRTUAL_LOOPBACK spells it.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string_view>

#include "audio/backends/VirtualLoopback.h"

namespace {

template <typename Number>
bool ReadWhole(std::string_view text, Number& value)
{
    const char* end = text.data() + text.size();
    auto [stop, failure] = std::from_chars(text.data(), end, value);
    return failure == std::errc{} && stop == end && !text.empty();
}

// A number (a level in dB, a clock's ppm) from `low` to `high`; with `offAllowed`, -inf or off for none.
bool ReadLevel(std::string_view text, double low, double high, bool offAllowed, double& value)
{
    if (offAllowed && (text == "-inf" || text == "off")) {
        value = -std::numeric_limits<double>::infinity();
        return true;
    }
    // from_chars would take "inf" and "nan" as well: only plain numbers here.
    if (text.find_first_not_of("+-.0123456789eE") != std::string_view::npos)
        return false;
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double read = 0;
    if (!ReadWhole(text, read) || !(read >= low && read <= high))
        return false;
    value = read;
    return true;
}

bool ReadDropout(std::string_view text, VirtualLoopbackChain& chain)
{
    std::size_t plus = text.find('+');
    VirtualDropout dropout;
    if (plus == std::string_view::npos || !ReadWhole(text.substr(0, plus), dropout.frame) ||
        !ReadWhole(text.substr(plus + 1), dropout.frames) || dropout.frames == 0 ||
        dropout.frames > VirtualLoopbackMaxLatencyFrames || chain.dropouts.size() >= VirtualLoopbackMaxDropouts)
        return false;
    chain.dropouts.push_back(dropout);
    return true;
}

bool ReadGlitch(std::string_view text, VirtualGlitch::Kind kind, VirtualLoopbackChain& chain)
{
    std::size_t plus = text.find('+');
    VirtualGlitch glitch;
    glitch.kind = kind;
    if (plus == std::string_view::npos || !ReadWhole(text.substr(0, plus), glitch.frame) ||
        !ReadWhole(text.substr(plus + 1), glitch.frames) || glitch.frames == 0 ||
        glitch.frames > VirtualLoopbackMaxLatencyFrames || chain.glitches.size() >= VirtualLoopbackMaxGlitches)
        return false;
    chain.glitches.push_back(glitch);
    return true;
}

// One name=value setting; false when the name is unknown or the value bad.
bool ReadSetting(std::string_view name, std::string_view value, bool hasValue, VirtualLoopbackChain& chain)
{
    if (name == "swap") {
        chain.swapChannels = true;
        return !hasValue;
    }
    if (!hasValue)
        return false;
    if (name == "latency")
        return ReadWhole(value, chain.latencyFrames) && chain.latencyFrames <= VirtualLoopbackMaxLatencyFrames;
    if (name == "gain")
        return ReadLevel(value, -120, 40, false, chain.gainDb);
    if (name == "noise")
        return ReadLevel(value, -200, 0, true, chain.noiseDbfs);
    if (name == "harmonic")
        return ReadLevel(value, -200, 0, true, chain.harmonicDb);
    if (name == "crosstalk")
        return ReadLevel(value, -200, 0, true, chain.crosstalkDb);
    if (name == "tilt")
        return ReadLevel(value, -VirtualLoopbackMaxTiltDb, VirtualLoopbackMaxTiltDb, false, chain.tiltDb);
    if (name == "seed")
        return ReadWhole(value, chain.seed);
    if (name == "dropout")
        return ReadDropout(value, chain);
    if (name == "drift")
        return ReadLevel(value, -VirtualLoopbackMaxPpm, VirtualLoopbackMaxPpm, false, chain.driftPpm);
    if (name == "outrate")
        return ReadLevel(value, -VirtualLoopbackMaxPpm, VirtualLoopbackMaxPpm, false, chain.outputPpm);
    if (name == "skip")
        return ReadGlitch(value, VirtualGlitch::Kind::Skip, chain);
    if (name == "repeat")
        return ReadGlitch(value, VirtualGlitch::Kind::Repeat, chain);
    if (name == "overrun")
        return ReadGlitch(value, VirtualGlitch::Kind::Overrun, chain);
    if (name == "underrun")
        return ReadGlitch(value, VirtualGlitch::Kind::Underrun, chain);
    if (name == "server")
        return ReadWhole(value, chain.serverRate) && chain.serverRate >= 1000 && chain.serverRate <= 384000;
    if (name == "bits")
        return ReadWhole(value, chain.serverBits) && chain.serverBits >= 1 && chain.serverBits <= 32;
    return false;
}

} // namespace

bool ParseVirtualLoopbackChain(const char* text, VirtualLoopbackChain& chain, std::string& error)
{
    try {
        VirtualLoopbackChain read;
        std::string_view rest = text == nullptr ? std::string_view{} : std::string_view{text};
        // Every comma separates two settings, so an empty one is refused too.
        for (bool more = !rest.empty(); more;) {
            std::size_t comma = rest.find(',');
            more = comma != std::string_view::npos;
            std::string_view setting = rest.substr(0, comma);
            rest = more ? rest.substr(comma + 1) : std::string_view{};
            std::size_t equals = setting.find('=');
            std::string_view name = setting.substr(0, equals);
            std::string_view value = equals == std::string_view::npos ? std::string_view{} : setting.substr(equals + 1);
            if (!ReadSetting(name, value, equals != std::string_view::npos, read)) {
                error = "\"" + std::string(setting) + "\" is not a loopback setting in range";
                return false;
            }
        }
        chain = std::move(read);
        return true;
    } catch (const std::bad_alloc&) {
        error = "no memory to read the settings";
        return false;
    }
}

VirtualLoopbackChain VirtualLoopbackChainFromEnvironment()
{
    const char* text = std::getenv("TALLOWMERE_VIRTUAL_LOOPBACK");
    VirtualLoopbackChain chain;
    std::string error;
    // A misspelt setting must not pass unnoticed: the measures would be held
    // to a chain other than the one the user asked for.
    if (!ParseVirtualLoopbackChain(text, chain, error))
        std::fprintf(stderr, "tallowmere: TALLOWMERE_VIRTUAL_LOOPBACK=%s: %s; using the plain loopback\n", text,
                     error.c_str());
    return chain;
}
