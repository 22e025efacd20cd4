// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/Verdicts.h"

#include <algorithm>
#include <cmath>

#include "analysis/AnalysisText.h"
#include "analysis/CheckWords.h"

namespace {

std::string ChannelList(const std::vector<std::size_t>& channels)
{
    std::string text;
    for (std::size_t i = 0; i < channels.size(); ++i)
        text += (i == 0 ? "" : i + 1 == channels.size() ? " and " : ", ") + std::to_string(channels[i] + 1);
    return (channels.size() == 1 ? "channel " : "channels ") + text;
}

Verdict SignalVerdict(const SignalAnalysis& a, std::vector<std::size_t>& live)
{
    std::vector<std::size_t> silent, dither;
    for (std::size_t c = 0; c < a.channel.size(); ++c) {
        if (a.channel[c].silent)
            silent.push_back(c);
        else if (a.channel[c].ditherLevel)
            dither.push_back(c);
        else
            live.push_back(c);
    }
    if (live.empty() && dither.empty())
        return {"Signal", VerdictState::Bad, "Digital silence: every sample holds one value, nothing was recorded"};
    if (live.empty())
        return {"Signal", VerdictState::Bad, "Silence at dither level: no sample above the noise of the last bits"};
    if (!silent.empty() || !dither.empty()) {
        std::vector<std::size_t> quiet = silent;
        quiet.insert(quiet.end(), dither.begin(), dither.end());
        std::sort(quiet.begin(), quiet.end());
        return {"Signal", VerdictState::Warning, "A signal, but " + ChannelList(quiet) + " silent"};
    }
    return {"Signal", VerdictState::Good, "A signal in every channel"};
}

Verdict LevelVerdict(const SignalAnalysis& a, const std::vector<std::size_t>& live)
{
    if (live.empty())
        return {"Level", VerdictState::Neutral, "No level: no channel carries a signal"};
    double loudest = -1e9, quietest = 1e9;
    for (std::size_t c : live) {
        loudest = std::max(loudest, a.channel[c].peakDbfs);
        quietest = std::min(quietest, a.channel[c].rmsDbfs);
    }
    const std::string figures = "peak " + FormatFigure(loudest, 1) + " dBFS, RMS down to " +
                                FormatFigure(quietest, 1) + " dBFS";
    if (quietest < TooQuietDbfs)
        return {"Level", VerdictState::Warning, "Too quiet: " + figures};
    return {"Level", VerdictState::Good, figures};
}

Verdict ClippingVerdict(const SignalAnalysis& a)
{
    std::uint64_t samples = 0;
    std::vector<std::size_t> channels;
    for (std::size_t c = 0; c < a.channel.size(); ++c)
        if (a.channel[c].clippedSamples > 0) {
            samples += a.channel[c].clippedSamples;
            channels.push_back(c);
        }
    if (samples == 0)
        return {"Clipping", VerdictState::Good, "None: no sample reached full scale"};
    return {"Clipping", VerdictState::Bad,
            "Clipped: " + std::to_string(samples) + " samples at full scale in " + ChannelList(channels)};
}

Verdict ValidBitsVerdict(const SignalAnalysis& a)
{
    const std::string carried = std::to_string(a.validBitsCarried) + " of " + std::to_string(a.requestedValidBits) +
                                " valid bits carried";
    if (a.validBitsCarried == 0)
        return {"Valid bits", VerdictState::Neutral, "Not judged: every sample is zero"};
    if (a.validBitsCarried < a.requestedValidBits)
        return {"Valid bits", VerdictState::Bad, carried + ": the lowest bits never change"};
    if (a.validBitsMismatch)
        return {"Valid bits", VerdictState::Warning, carried + ": bits below the valid precision are set"};
    return {"Valid bits", VerdictState::Good, carried};
}

Verdict DropoutVerdict(const SignalAnalysis& a, const std::vector<std::size_t>& live)
{
    if (live.empty())
        return {"Dropouts", VerdictState::Neutral, "Not sought: there is no signal"};
    if (a.dropoutCount == 0)
        return {"Dropouts", VerdictState::Good, "None found"};
    std::string text = std::to_string(a.dropoutCount) + (a.dropoutCount == 1 ? " dropout" : " dropouts");
    if (!a.dropouts.empty() && std::isfinite(a.dropouts.front().positionMs))
        text += ", the first at " + FormatFigure(a.dropouts.front().positionMs / 1000, 3) + " s";
    return {"Dropouts", VerdictState::Bad, text};
}

Verdict ToneVerdict(const SignalAnalysis& a)
{
    std::vector<std::size_t> tones;
    for (std::size_t c = 0; c < a.channel.size(); ++c)
        if (a.channel[c].tone.isTone)
            tones.push_back(c);
    if (tones.empty())
        return {"Tone", VerdictState::Neutral, "No tone: the signal is not one sine"};
    auto figures = [](const ToneFigures& t) {
        return FormatFigure(t.frequencyHz, 1) + " Hz at " + FormatFigure(t.levelDbfs, 1) + " dBFS, THD+N " +
               FormatFigure(t.thdnDb, 1) + " dB";
    };
    // Channels that carry the same tone are told once, with the worst THD+N.
    const ToneFigures& first = a.channel[tones.front()].tone;
    ToneFigures worst = first;
    bool same = tones.size() == a.channel.size();
    for (std::size_t c : tones) {
        const ToneFigures& t = a.channel[c].tone;
        same = same && std::fabs(t.frequencyHz - first.frequencyHz) < 0.05 &&
               std::fabs(t.levelDbfs - first.levelDbfs) < 0.05;
        if (t.thdnDb > worst.thdnDb)
            worst.thdnDb = t.thdnDb;
    }
    if (same)
        return {"Tone", VerdictState::Good,
                figures(worst) + (a.channel.size() > 1 ? " in every channel" : "")};
    std::string text;
    for (std::size_t c : tones)
        text += (text.empty() ? "" : "; ") + CheckChannelName(c) + ": " + figures(a.channel[c].tone);
    return {"Tone", VerdictState::Good, text};
}

} // namespace

std::vector<Verdict> JudgeAnalysis(const SignalAnalysis& a)
{
    if (!a.ok)
        return {{"Signal", VerdictState::Bad, "Not analysed: " + a.error}};
    std::vector<std::size_t> live;
    std::vector<Verdict> verdicts;
    verdicts.push_back(SignalVerdict(a, live));
    verdicts.push_back(LevelVerdict(a, live));
    verdicts.push_back(ClippingVerdict(a));
    verdicts.push_back(ValidBitsVerdict(a));
    verdicts.push_back(DropoutVerdict(a, live));
    verdicts.push_back(ToneVerdict(a));
    return verdicts;
}

const char* VerdictStateName(VerdictState state)
{
    switch (state) {
    case VerdictState::Good: return "good";
    case VerdictState::Warning: return "warning";
    case VerdictState::Bad: return "bad";
    case VerdictState::Neutral: return "neutral";
    }
    return "unknown";
}
