#include "Tools/Render/Measure.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "Tools/Render/TruePeak.h"

#ifdef TAMBLOR_RENDER_EBUR128
#include <ebur128.h>
#else
#include "Tools/Render/LoudnessMeter.h"
#endif

namespace render {

double toDecibels(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

namespace {

double truePeak16x(const CAudioBuffer& buf) {
    double peak = 0.0;
    for (const std::vector<double>& ch : buf.channels) peak = std::max(peak, CTruePeak16::peak(ch));
    return toDecibels(peak);
}

}  // namespace

#ifdef TAMBLOR_RENDER_EBUR128

double integratedLoudness(const std::vector<const CAudioBuffer*>& parts) {
    double v = -std::numeric_limits<double>::infinity();
    if (parts.empty()) return v;
    const auto channels = unsigned(parts.front()->channels.size());
    const double rate = parts.front()->sampleRate;
    if (!channels || rate < 1.0) return v;
    ebur128_state* st = ebur128_init(channels, static_cast<unsigned long>(rate), EBUR128_MODE_I);
    if (!st) return v;
    constexpr size_t kChunk = 4096;
    std::vector<double> inter(kChunk * channels);
    for (const CAudioBuffer* part : parts) {
        const CAudioBuffer& buf = *part;
        if (buf.channels.size() != channels) continue;
        for (size_t done = 0; done < buf.frames(); done += kChunk) {
            const size_t n = std::min(kChunk, buf.frames() - done);
            for (size_t i = 0; i < n; ++i)
                for (unsigned c = 0; c < channels; ++c) inter[i * channels + c] = buf.channels[c][done + i];
            ebur128_add_frames_double(st, inter.data(), n);
        }
    }
    double l = 0.0;
    if (ebur128_loudness_global(st, &l) == EBUR128_SUCCESS) v = l;
    ebur128_destroy(&st);
    return v;
}

CSignalFigures measureSignal(const CAudioBuffer& buf) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    CSignalFigures f{-std::numeric_limits<double>::infinity(), kNaN, toDecibels(0.0), toDecibels(0.0),
                     toDecibels(0.0)};
    const auto channels = unsigned(buf.channels.size());
    if (!channels || buf.sampleRate < 1.0) return f;
    ebur128_state* st = ebur128_init(channels, static_cast<unsigned long>(buf.sampleRate),
                                     EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_SAMPLE_PEAK |
                                         EBUR128_MODE_TRUE_PEAK);
    if (!st) return f;
    constexpr size_t kChunk = 4096;
    std::vector<double> inter(kChunk * channels);
    for (size_t done = 0; done < buf.frames(); done += kChunk) {
        const size_t n = std::min(kChunk, buf.frames() - done);
        for (size_t i = 0; i < n; ++i)
            for (unsigned c = 0; c < channels; ++c) inter[i * channels + c] = buf.channels[c][done + i];
        ebur128_add_frames_double(st, inter.data(), n);
    }
    double v = 0.0;
    if (ebur128_loudness_global(st, &v) == EBUR128_SUCCESS) f.integrated = v;
    if (ebur128_loudness_range(st, &v) == EBUR128_SUCCESS) f.loudnessRange = v;
    double sp = 0.0, tp = 0.0;
    for (unsigned c = 0; c < channels; ++c) {
        if (ebur128_sample_peak(st, c, &v) == EBUR128_SUCCESS) sp = std::max(sp, v);
        if (ebur128_true_peak(st, c, &v) == EBUR128_SUCCESS) tp = std::max(tp, v);
    }
    f.samplePeak = toDecibels(sp);
    f.truePeak = toDecibels(std::max(tp, sp));
    f.truePeak16x = truePeak16x(buf);
    ebur128_destroy(&st);
    return f;
}

#else

CSignalFigures measureSignal(const CAudioBuffer& buf) {
    CLoudnessMeter meter(int(buf.channels.size()), buf.sampleRate);
    std::vector<const double*> ptrs;
    for (const auto& ch : buf.channels) ptrs.push_back(ch.data());
    meter.process(ptrs.data(), buf.frames());
    return {meter.integratedLoudness(), std::numeric_limits<double>::quiet_NaN(), toDecibels(meter.samplePeak()),
            toDecibels(meter.truePeak()), truePeak16x(buf)};
}

double integratedLoudness(const std::vector<const CAudioBuffer*>& parts) {
    if (parts.empty()) return -std::numeric_limits<double>::infinity();
    CLoudnessMeter meter(int(parts.front()->channels.size()), parts.front()->sampleRate);
    for (const CAudioBuffer* part : parts) {
        if (part->channels.size() != parts.front()->channels.size()) continue;
        std::vector<const double*> ptrs;
        for (const auto& ch : part->channels) ptrs.push_back(ch.data());
        meter.process(ptrs.data(), part->frames());
    }
    return meter.integratedLoudness();
}

#endif

double integratedLoudness(const CAudioBuffer& buf) { return integratedLoudness(std::vector<const CAudioBuffer*>{&buf}); }

double maxGainReduction(const CAudioBuffer& in, const CAudioBuffer& out, double staticGainDb) {
    const double gain = std::pow(10.0, staticGainDb / 20.0);
    constexpr double kGate = 0.01;  // -40 dBFS
    const size_t window = std::max<size_t>(1, size_t(std::lround(0.01 * in.sampleRate)));
    const size_t channels = std::min(in.channels.size(), out.channels.size());
    double worst = 1.0;  // largest ratio of expected to actual output peak
    for (size_t c = 0; c < channels; ++c) {
        const std::vector<double>& x = in.channels[c];
        const std::vector<double>& y = out.channels[c];
        const size_t frames = std::min(x.size(), y.size());
        for (size_t start = 0; start < frames; start += window) {
            const size_t end = std::min(frames, start + window);
            double px = 0.0, py = 0.0;
            for (size_t i = start; i < end; ++i) {
                px = std::max(px, std::fabs(x[i]));
                py = std::max(py, std::fabs(y[i]));
            }
            const double expected = px * gain;
            if (expected < kGate || py <= 0.0 || !std::isfinite(expected) || !std::isfinite(py)) continue;
            worst = std::max(worst, expected / py);
        }
    }
    return toDecibels(worst);
}

COvers countOvers(const CAudioBuffer& out, double ceilingDb) {
    const double ceiling = std::pow(10.0, ceilingDb / 20.0);
    COvers o;
    double peak = 0.0;
    for (const std::vector<double>& ch : out.channels) {
        bool inRun = false;
        for (double v : ch) {
            const double a = std::fabs(v);
            peak = std::max(peak, a);
            const bool over = a > ceiling;
            if (over) ++o.samples;
            if (over && !inRun) ++o.runs;
            inRun = over;
        }
    }
    o.maxOvershootDb = toDecibels(peak) - ceilingDb;

    double truePeak = 0.0;
    std::vector<double> framePeaks;
    for (const std::vector<double>& ch : out.channels) {
        CTruePeak16::framePeaks(ch, &framePeaks);
        bool inRun = false;
        for (size_t i = 0; i < framePeaks.size(); ++i) {
            truePeak = std::max(truePeak, framePeaks[i]);
            const bool over = framePeaks[i] > ceiling;
            if (over && !inRun) {
                ++o.truePeakRuns;
                o.truePeakOverAt.push_back(i);
            }
            inRun = over;
        }
    }
    std::sort(o.truePeakOverAt.begin(), o.truePeakOverAt.end());
    o.truePeakOverDb = toDecibels(truePeak) - ceilingDb;
    return o;
}

}  // namespace render
