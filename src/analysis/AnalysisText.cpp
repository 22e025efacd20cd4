// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/AnalysisText.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

// mingw-w64's own printf (the Windows builds') is checked as GNU's, not as
// the C runtime's.
#if defined(__MINGW32__)
std::string Line(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
std::string Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

std::string Line(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string ToneLine(const ToneFigures& t)
{
    if (!t.isTone)
        return "no tone; noise floor " + FormatFigure(t.noiseFloorDbfs, 1) + " dBFS";
    return "tone " + FormatFigure(t.frequencyHz, 2) + " Hz at " + FormatFigure(t.levelDbfs, 2) + " dBFS, THD+N " +
           FormatFigure(t.thdnDb, 1) + " dB, SNR " + FormatFigure(t.snrDb, 1) + " dB, noise floor " +
           FormatFigure(t.noiseFloorDbfs, 1) + " dBFS";
}

const char* SilenceWords(const ChannelAnalysis& c)
{
    if (c.silent)
        return "digital silence";
    return c.ditherLevel ? "silence at dither level" : "not silent";
}

void ChannelLines(std::vector<std::string>& lines, const ChannelAnalysis& c, std::size_t index)
{
    if (c.silent && std::isnan(c.peakDbfs)) {
        // Every sample at the centre: there is no level to give in dB.
        lines.push_back(Line("Channel %zu: digital silence (every sample %d), DC %s (%s of full scale)", index + 1,
                             c.peakSample, FormatFigure(c.dcOffset, 2).c_str(),
                             FormatFigure(c.dcOffsetFraction, 6).c_str()));
    } else {
        lines.push_back(Line("Channel %zu: peak %s dBFS (sample %d), RMS %s dBFS, DC %s (%s of full scale), crest %s dB",
                         index + 1, FormatFigure(c.peakDbfs, 2).c_str(), c.peakSample,
                         FormatFigure(c.rmsDbfs, 2).c_str(), FormatFigure(c.dcOffset, 2).c_str(),
                         FormatFigure(c.dcOffsetFraction, 6).c_str(), FormatFigure(c.crestFactorDb, 2).c_str()));
    }
    lines.push_back(Line("  clipped %llu samples in %llu runs (longest %llu); %s; leading silence %llu, trailing %llu "
                         "frames",
                         static_cast<unsigned long long>(c.clippedSamples),
                         static_cast<unsigned long long>(c.clipRuns),
                         static_cast<unsigned long long>(c.longestClipRun),
                         SilenceWords(c),
                         static_cast<unsigned long long>(c.leadingSilenceFrames),
                         static_cast<unsigned long long>(c.trailingSilenceFrames)));
    lines.push_back("  " + ToneLine(c.tone));
    lines.push_back(Line("  %d valid bits carried, %llu dropouts", c.validBitsCarried,
                         static_cast<unsigned long long>(c.dropoutCount)));
}

} // namespace

std::string FormatFigure(double value, int decimals)
{
    if (std::isnan(value) || std::isinf(value))
        return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string AnalysisText(const SignalAnalysis& a, const std::string& title, bool checksSet,
                         const std::vector<std::string>& failedChecks, const std::string& lineEnd)
{
    std::vector<std::string> lines;
    lines.push_back("Analysis of " + title);
    if (!a.ok) {
        lines.push_back("Not analysed: " + a.error);
    } else {
        lines.push_back(Line("Frames: %llu (%s s) at %d Hz, %d channel%s, %d-bit container",
                             static_cast<unsigned long long>(a.frames), FormatFigure(a.durationSeconds, 3).c_str(),
                             a.sampleRate, a.channels, a.channels == 1 ? "" : "s", a.containerBits));
        lines.push_back(Line("Valid bits: %d carried, %d requested%s", a.validBitsCarried, a.requestedValidBits,
                             a.validBitsMismatch ? " (MISMATCH)" : ""));
        lines.push_back(std::string("Channels: ") + ChannelRelationName(a.relation));
        for (std::size_t c = 0; c < a.channel.size(); ++c)
            ChannelLines(lines, a.channel[c], c);
        bool dither = false;
        for (const ChannelAnalysis& c : a.channel)
            dither = dither || c.ditherLevel;
        // Gaps and slips are sought in a signal, not in dither.
        lines.push_back(Line("Dropouts: %llu%s", static_cast<unsigned long long>(a.dropoutCount),
                             dither ? " (none are sought in silence at dither level)" : ""));
        for (std::size_t i = 0; i < a.dropouts.size() && i < 10; ++i) {
            const Dropout& d = a.dropouts[i];
            lines.push_back(Line("  channel %u at %s ms: %s of %llu frames", d.channel + 1u,
                                 FormatFigure(d.positionMs, 1).c_str(), DropoutKindName(d.kind),
                                 static_cast<unsigned long long>(d.frames)));
        }
        if (a.dropoutCount > 10)
            lines.push_back("  ... (--json lists up to " + std::to_string(MaxDropoutsKept) + ")");
    }
    if (checksSet) {
        if (failedChecks.empty())
            lines.push_back("Signal checks: passed");
        for (const std::string& f : failedChecks)
            lines.push_back("Signal check failed: " + f);
    }
    std::string text;
    for (const std::string& l : lines)
        text += l + lineEnd;
    return text;
}
