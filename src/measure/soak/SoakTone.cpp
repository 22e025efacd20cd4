// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/soak/SoakTone.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "core/SampleCodec.h"

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;
// Blocks fitted after the onset before any is judged: the drift's slope is
// known by then.
constexpr int WarmBlocks = 3;
// A disturbance longer than this many blocks loses the stimulus: it is
// logged and followed again from where it comes back.
constexpr int LongestDisturbance = 50;
// The stimulus moved when the phase says more than this many frames.
constexpr double ShiftTolerance = 0.05;
// A silence's length as read from its samples may be this many frames off
// its true length, where a filter or a resampler smeared its edges.
constexpr double SilenceEdgeFrames = 4;

// The tone's angle at frame m, exact however long the run: 2 pi (f m mod R) / R.
double ToneAngle(std::uint64_t m, std::uint32_t rate)
{
    return TwoPi * static_cast<double>((m % rate) * SoakToneHz % rate) / rate;
}

} // namespace

CSoakStimulus::CSoakStimulus(std::uint32_t sampleRate, std::uint16_t channelCount, std::uint16_t bytesPerSample,
                             std::uint16_t valid)
    : rate(sampleRate), channels(channelCount), width(bytesPerSample), validBits(valid)
{
}

void CSoakStimulus::Fill(std::uint8_t* out, std::uint32_t frames)
{
    // A rotation from the block's exact angle: no error builds up over hours.
    std::complex<double> z = std::polar(SoakToneAmplitude, ToneAngle(next, rate));
    const std::complex<double> step = std::polar(1.0, TwoPi * SoakToneHz / rate);
    // Every channel carries the same sample: it is quantised once a frame.
    for (std::uint32_t i = 0; i < frames; ++i, z *= step) {
        StoreFraction(out, z.real(), width, validBits);
        for (std::size_t b = width; b < std::size_t{channels} * width; ++b)
            out[b] = out[b - width];
        out += std::size_t{channels} * width;
    }
    next += frames;
}

CToneFollower::CToneFollower(std::uint32_t sampleRate, std::uint16_t validBits)
    : rate(sampleRate), omega(TwoPi * SoakToneHz / sampleRate), period(static_cast<double>(sampleRate) / SoakToneHz),
      lsb(std::ldexp(1.0, 1 - std::clamp<int>(validBits, 1, 32)))
{
}

double CToneFollower::Angle(std::uint64_t frame) const
{
    return ToneAngle(frame, rate);
}

double CToneFollower::Wrap(double frames) const
{
    return frames - period * std::round(frames / period);
}

double CToneFollower::Slope() const
{
    return drift.HasSlope() ? drift.Slope() / rate : 0;
}

double CToneFollower::Threshold(double level) const
{
    // Six times what the prediction leaves in clean blocks, four steps of
    // the valid bits, and a thousandth of the tone for the prediction's own
    // error over a block.
    return 6 * noise + 4 * lsb + 1e-3 * level;
}

SoakEstimate CToneFollower::DriftPpm() const
{
    SoakEstimate e;
    if (!drift.HasSlope() || drift.Count() < 3)
        return e;
    // latency = L + n d / (1 + d): the slope per input frame is q = d / (1 + d).
    const double q = drift.Slope() / rate;
    e.valid = true;
    e.value = q / (1 - q) * 1e6;
    e.uncertainty = drift.SlopeError() / rate * 1e6;
    return e;
}

CToneFollower::Fit CToneFollower::FitBlock(const double* y, std::size_t n, std::uint64_t first) const
{
    // The block against the tone's own angle through a Hann window: the
    // tone's complex level, whose angle is its phase delay at the centre.
    std::complex<double> z = std::polar(1.0, -Angle(first));
    const std::complex<double> step = std::polar(1.0, -omega);
    std::complex<double> w = 1, wStep = std::polar(1.0, TwoPi / static_cast<double>(n));
    std::complex<double> sum = 0;
    double weights = 0, mean = 0;
    for (std::size_t i = 0; i < n; ++i, z *= step, w *= wStep) {
        const double hann = 0.5 - 0.5 * w.real();
        sum += hann * y[i] * z;
        mean += hann * y[i];
        weights += hann;
    }
    Fit fit;
    if (weights <= 0)
        return fit;
    fit.amplitude = 2 * std::abs(sum) / weights;
    fit.offset = mean / weights;
    // arg = -omega (lag) at the window's centre, against the angle at `first`:
    // the sum carries the angle of frame first + centre less the lag.
    fit.phaseLag = Wrap(-std::arg(sum) / omega);
    return fit;
}

CToneFollower::Exceed CToneFollower::Compare(const double* y, std::size_t n, std::uint64_t first,
                                             double lagAtCentre, double centre, double level, double mean,
                                             double threshold) const
{
    // The prediction: level cos(angle(m) - omega lag(m)) + mean, with the lag
    // moving along the drift's slope.
    const double slope = Slope();
    const double lag0 = lagAtCentre + slope * (static_cast<double>(first) - centre);
    std::complex<double> z = std::polar(level, Angle(first) - omega * lag0);
    const std::complex<double> step = std::polar(1.0, omega * (1 - slope));
    Exceed e;
    for (std::size_t i = 0; i < n; ++i, z *= step) {
        const double r = y[i] - mean - z.real();
        e.sumSquares += r * r;
        if (std::abs(r) > threshold) {
            if (e.count++ == 0)
                e.first = i;
            e.last = i;
        }
    }
    return e;
}

void CToneFollower::Process(const double* y, std::size_t n, std::uint64_t first, SoakToneBlock& out)
{
    out = SoakToneBlock{};
    out.seconds = (static_cast<double>(first) + static_cast<double>(n) / 2) / rate;
    if (n == 0)
        return;
    if (state == State::Listening || state == State::Onset)
        Listen(y, n, first, out);
    else
        Follow(y, n, first, out);
    out.heard = Heard();
    KeepPrevious(y, n, first);
}

void CToneFollower::KeepPrevious(const double* y, std::size_t n, std::uint64_t first)
{
    previous.assign(y, y + n);
    previousFirst = first;
}

void CToneFollower::NoteLoss(WaveDirection direction, std::uint64_t frame, std::uint64_t frames)
{
    (direction == WaveDirection::Input ? inputLoss : outputLoss) = {frame, frames};
}

bool CToneFollower::Near(const Loss& loss, std::uint64_t reach) const
{
    return loss.frames > 0 && loss.frame + reach >= disturbedFrom && loss.frame <= disturbedFrom + reach;
}

void CToneFollower::Point(double lag, double centre, SoakToneBlock& out)
{
    latency = lag;
    latencyAt = centre;
    drift.Add(centre / rate, lag);
    out.latencyValid = true;
    out.latencyFrames = lag;
}

void CToneFollower::Listen(const double* y, std::size_t n, std::uint64_t first, SoakToneBlock& out)
{
    const Fit fit = FitBlock(y, n, first);
    if (fit.amplitude < SoakHeardAmplitude) {
        state = State::Listening;
        return;
    }
    if (state == State::Listening) {
        // The onset is in this block or at its end: the next one gives the
        // tone's full level to find it by.
        state = State::Onset;
        return;
    }
    // The stimulus starts at its peak: the first sample past half the level.
    std::int64_t onset = -1;
    for (std::size_t i = 0; i < previous.size() && onset < 0; ++i)
        if (std::abs(previous[i] - fit.offset) > fit.amplitude / 2)
            onset = static_cast<std::int64_t>(previousFirst + i);
    for (std::size_t i = 0; i < n && onset < 0; ++i)
        if (std::abs(y[i] - fit.offset) > fit.amplitude / 2)
            onset = static_cast<std::int64_t>(first + i);
    const double centre = static_cast<double>(first) + static_cast<double>(n - 1) / 2;
    // The whole periods come from the onset, the fraction from the phase.
    const double lag = fit.phaseLag + period * std::round((static_cast<double>(onset) - fit.phaseLag) / period);
    amplitude = fit.amplitude;
    offset = fit.offset;
    const Exceed own = Compare(y, n, first, lag, centre, amplitude, offset, 1e300);
    noise = std::sqrt(own.sumSquares / static_cast<double>(n));
    warmBlocks = 1;
    state = State::Warming;
    Point(lag, centre, out);
}

void CToneFollower::Follow(const double* y, std::size_t n, std::uint64_t first, SoakToneBlock& out)
{
    const double centre = static_cast<double>(first) + static_cast<double>(n - 1) / 2;
    const double predicted = latency + Slope() * (centre - latencyAt);
    const Fit fit = FitBlock(y, n, first);
    if (state == State::Warming) {
        // Not judged yet: the fits give the slope the prediction needs.
        const double lag = predicted + Wrap(fit.phaseLag - predicted);
        const Exceed own = Compare(y, n, first, lag, centre, fit.amplitude, fit.offset, 1e300);
        if (fit.amplitude < SoakHeardAmplitude)
            return; // not back yet after the stimulus was lost
        noise = std::max(noise, std::sqrt(own.sumSquares / static_cast<double>(n)));
        amplitude = fit.amplitude;
        offset = fit.offset;
        Point(lag, centre, out);
        if (++warmBlocks >= WarmBlocks)
            state = State::Following;
        return;
    }
    if (state == State::Disturbed) {
        Resolve(y, n, first, fit, out);
        return;
    }
    const Exceed e = Compare(y, n, first, predicted, centre, amplitude, offset, Threshold(amplitude));
    if (e.count == 0) {
        const double lag = predicted + Wrap(fit.phaseLag - predicted);
        noise = 0.9 * noise + 0.1 * std::sqrt(e.sumSquares / static_cast<double>(n));
        amplitude = fit.amplitude;
        offset = fit.offset;
        Point(lag, centre, out);
        return;
    }
    // Over well before the block's end, and the tone as predicted after it:
    // a disturbance in place.
    if (n - 1 - e.last >= std::max<std::size_t>(n / 4, static_cast<std::size_t>(period))) {
        Transient(y, n, first, e, out);
        return;
    }
    state = State::Disturbed;
    disturbedFrom = first + e.first;
    disturbedBlocks = 1;
    disturbedQuiet = 0;
    disturbedCount = 0;
}

void CToneFollower::CountQuiet(const double* y, std::size_t from, std::size_t to)
{
    const double threshold = Threshold(amplitude);
    for (std::size_t i = from; i < to; ++i)
        disturbedQuiet += std::abs(y[i] - offset) <= threshold ? 1 : 0;
    disturbedCount += to > from ? to - from : 0;
}

SoakEvent CToneFollower::Glitch(SoakEventKind kind, std::uint64_t frame, std::uint64_t frames) const
{
    SoakEvent event;
    event.kind = kind;
    event.direction = WaveDirection::Input;
    event.frame = frame;
    event.frames = frames;
    event.seconds = static_cast<double>(frame) / rate;
    return event;
}

void CToneFollower::Transient(const double* y, std::size_t n, std::uint64_t first, const Exceed& e,
                              SoakToneBlock& out)
{
    // Silence in place: the run of samples at the offset around the
    // samples that missed the prediction.
    const double threshold = Threshold(amplitude);
    auto quiet = [&](std::size_t i) { return std::abs(y[i] - offset) <= threshold; };
    std::size_t begin = e.first, end = e.last + 1;
    std::size_t quietCount = 0;
    for (std::size_t i = begin; i < end; ++i)
        quietCount += quiet(i) ? 1 : 0;
    const bool silent = quietCount * 10 >= (end - begin) * 9;
    if (silent) {
        while (begin > 0 && quiet(begin - 1))
            --begin;
        while (end < n && quiet(end))
            ++end;
    }
    out.events.push_back(Glitch(silent ? SoakEventKind::Dropout : SoakEventKind::Discontinuity, first + begin,
                                end - begin));
}

void CToneFollower::Resolve(const double* y, std::size_t n, std::uint64_t first, const Fit& fit,
                            SoakToneBlock& out)
{
    const double centre = static_cast<double>(first) + static_cast<double>(n - 1) / 2;
    const double predicted = latency + Slope() * (centre - latencyAt);
    const double lag = predicted + Wrap(fit.phaseLag - predicted);
    const double threshold = Threshold(fit.amplitude);
    const Exceed own = Compare(y, n, first, lag, centre, fit.amplitude, fit.offset, threshold);
    const bool back = fit.amplitude > amplitude / 4 && own.count == 0;
    // The block before this one, from where the disturbance began in it.
    const bool adjoining = previousFirst + previous.size() == first && first > disturbedFrom;
    const std::size_t from =
        adjoining && disturbedFrom > previousFirst ? static_cast<std::size_t>(disturbedFrom - previousFirst) : 0;
    if (!back) {
        // Still disturbed: the block before is wholly inside the disturbance.
        if (adjoining)
            CountQuiet(previous.data(), from, previous.size());
        if (++disturbedBlocks <= LongestDisturbance)
            return;
    }
    // The disturbance ended after the last sample of the block before that
    // the new fit does not predict, and after any silence there.
    std::uint64_t end = first;
    if (back && adjoining) {
        const Exceed before = Compare(previous.data() + from, previous.size() - from, previousFirst + from, lag,
                                      centre, fit.amplitude, fit.offset, threshold);
        std::size_t stop = before.count == 0 ? from : from + before.last + 1;
        while (stop < previous.size() && std::abs(previous[stop] - offset) <= Threshold(amplitude))
            ++stop;
        end = previousFirst + stop;
        CountQuiet(previous.data(), from, stop);
    }
    const std::uint64_t length = end > disturbedFrom ? end - disturbedFrom : 0;
    // Silence, but for the edges a filter or an interpolation smears.
    disturbedSilent = disturbedCount > 0 && disturbedQuiet * 10 >= disturbedCount * 9;
    out.events.push_back(Classify(Wrap(fit.phaseLag - predicted), length, n));
    const double shift = out.events.back().shift;
    const double levelDb = 20 * std::log10(std::max(fit.amplitude, 1e-12) / amplitude);
    if (back && std::abs(levelDb) > 1) {
        SoakEvent step = Glitch(SoakEventKind::LevelStep, end, 0);
        step.levelDb = levelDb;
        out.events.push_back(step);
    }
    drift.Break();
    if (!back) {
        // The stimulus is lost: followed again, from the prediction, once it is heard.
        state = State::Warming;
        warmBlocks = 0;
        return;
    }
    amplitude = fit.amplitude;
    offset = fit.offset;
    state = State::Following;
    Point(predicted + shift + Wrap(fit.phaseLag - predicted - shift), centre, out);
}

SoakEvent CToneFollower::Classify(double moved, std::uint64_t length, std::size_t blockFrames)
{
    SoakEvent event = Glitch(SoakEventKind::Discontinuity, disturbedFrom, length);
    const double silentLength = static_cast<double>(length);
    // What the buffers in between hold (three slots a side) and the latency.
    const std::uint64_t reach = 6 * static_cast<std::uint64_t>(blockFrames) + length +
                                static_cast<std::uint64_t>(std::max(0.0, latency));
    if (disturbedSilent && std::abs(moved) < ShiftTolerance) {
        event.kind = SoakEventKind::Dropout;
    } else if (disturbedSilent && length > 0 && std::abs(Wrap(moved - silentLength)) <= SilenceEdgeFrames) {
        // Silence came in and the stimulus went on where it stopped: the
        // latency grew by the silence, to the fraction the phase gives.
        event.kind = SoakEventKind::Gap;
        event.shift = silentLength + Wrap(moved - silentLength);
        event.frames = static_cast<std::uint64_t>(std::llround(event.shift));
        // A sound server may put in more silence than the frames the back
        // end counted lost: near the output's xrun, it is that xrun's.
        if (Near(outputLoss, reach)) {
            event.explained = true;
            outputLoss = {};
        }
    } else if (std::abs(moved) >= ShiftTolerance) {
        event.kind = disturbedSilent ? SoakEventKind::Gap : SoakEventKind::Jump;
        event.shift = moved;
        event.shiftExact = false;
        // An input that lost frames near here says how many: the latency
        // fell by that many, the phase giving the fraction.
        if (Near(inputLoss, reach)) {
            const double whole = -static_cast<double>(inputLoss.frames);
            event.shift = whole + Wrap(moved - whole);
            event.shiftExact = true;
            event.explained = true;
            inputLoss = {};
        } else if (Near(outputLoss, reach)) {
            event.explained = true;
            outputLoss = {};
        }
        if (event.kind == SoakEventKind::Jump)
            event.frames = static_cast<std::uint64_t>(std::llround(std::abs(event.shift)));
    }
    return event;
}
