#include "ProductSignals.h"

#include <algorithm>
#include <numbers>
#include <random>

namespace product {

namespace {
constexpr double kPi = std::numbers::pi;
}

Stereo sine(double rate, double seconds, double freq, double amplitude) {
    Stereo s(size_t(seconds * rate));
    for (size_t i = 0; i < s.size(); ++i) s.l[i] = s.r[i] = amplitude * std::sin(2.0 * kPi * freq * double(i) / rate);
    return s;
}

Stereo impulse(size_t length, size_t at, double amplitude) {
    Stereo s(length);
    s.l[at] = s.r[at] = amplitude;
    return s;
}

Stereo programMix(double rate, double seconds, uint32_t seed) {
    const size_t n = size_t(seconds * rate);
    Stereo s(n);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> white(-1.0, 1.0);
    const double beat = 60.0 / 128.0;
    const double bassNotes[] = {55.0, 55.0, 65.41, 49.0};
    const double chords[2][4] = {{220.0, 261.63, 329.63, 392.0}, {196.0, 246.94, 293.66, 349.23}};
    double bassState = 0.0, bassPhase = 0.0, prevNoise = 0.0;
    const double bassK = 1.0 - std::exp(-2.0 * kPi * 400.0 / rate);
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        const double inBeat = std::fmod(t, beat);
        const int beatNo = int(t / beat);
        const double inEighth = std::fmod(t, beat / 2.0);
        // Kick: a falling sine with a click at its onset.
        const double kickF = 50.0 + 70.0 * std::exp(-inBeat / 0.03);
        const double kick = 0.9 * std::exp(-inBeat / 0.15) * std::sin(2.0 * kPi * kickF * inBeat) +
                            0.35 * std::exp(-inBeat / 0.003) * std::sin(2.0 * kPi * 3000.0 * inBeat);
        // Snare on beats 2 and 4: noise and a tone.
        const double noise = white(rng);
        double snare = 0.0;
        if (beatNo % 2 == 1)
            snare = 0.55 * std::exp(-inBeat / 0.08) * noise + 0.3 * std::exp(-inBeat / 0.05) * std::sin(2.0 * kPi * 200.0 * inBeat);
        // Hats on the eighths: differentiated noise.
        const double hat = 0.25 * std::exp(-inEighth / 0.02) * (noise - prevNoise);
        prevNoise = noise;
        // Bass: a low-passed saw.
        const double bf = bassNotes[(beatNo / 2) % 4];
        bassPhase += bf / rate;
        bassPhase -= std::floor(bassPhase);
        bassState += (2.0 * bassPhase - 1.0 - bassState) * bassK;
        const double bass = 0.45 * bassState;
        // Pad: a chord, detuned between the channels.
        double padL = 0.0, padR = 0.0;
        for (double f : chords[(beatNo / 8) % 2]) {
            padL += 0.06 * std::sin(2.0 * kPi * f * t);
            padR += 0.06 * std::sin(2.0 * kPi * f * 1.003 * t + 0.7);
        }
        s.l[i] = kick + 1.1 * snare + 0.6 * hat + bass + padL;
        s.r[i] = kick + 0.9 * snare + 1.2 * hat + bass + padR;
    }
    const double peak = samplePeak(s);
    for (size_t i = 0; i < n; ++i) {
        s.l[i] *= 0.95 / peak;
        s.r[i] *= 0.95 / peak;
    }
    return s;
}

double samplePeak(const Stereo& s, size_t from) {
    double p = 0.0;
    for (size_t i = from; i < s.size(); ++i) p = std::max({p, std::fabs(s.l[i]), std::fabs(s.r[i])});
    return p;
}

double truePeak4x(const Stereo& s, size_t from) {
    // Windowed-sinc interpolation: 32 taps per phase, Blackman window.
    constexpr int kTaps = 32, kFactor = 4, kLen = kTaps * kFactor;
    static const std::vector<double> h = [] {
        std::vector<double> c(kLen);
        for (int k = 0; k < kLen; ++k) {
            const double x = (double(k) - double(kLen) / 2.0) / double(kFactor);
            const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
            const double w = 0.42 - 0.5 * std::cos(2.0 * kPi * k / kLen) + 0.08 * std::cos(4.0 * kPi * k / kLen);
            c[size_t(k)] = sinc * w;
        }
        return c;
    }();
    double peak = samplePeak(s, from);
    for (const std::vector<double>* ch : {&s.l, &s.r}) {
        const std::vector<double>& x = *ch;
        for (size_t n = std::max(from, size_t(kTaps)); n < x.size(); ++n)
            for (int p = 1; p < kFactor; ++p) {
                double y = 0.0;
                for (int k = 0; k < kTaps; ++k) y += x[n - size_t(k)] * h[size_t(k * kFactor + p)];
                peak = std::max(peak, std::fabs(y));
            }
    }
    return peak;
}

double maxStep(const Stereo& s, size_t from, size_t to) {
    double m = 0.0;
    for (size_t i = std::max(from, size_t(1)); i < std::min(to, s.size()); ++i)
        m = std::max({m, std::fabs(s.l[i] - s.l[i - 1]), std::fabs(s.r[i] - s.r[i - 1])});
    return m;
}

size_t peakPosition(const Stereo& s) {
    size_t at = 0;
    for (size_t i = 0; i < s.size(); ++i)
        if (std::fabs(s.l[i]) > std::fabs(s.l[at])) at = i;
    return at;
}

double mean(const std::vector<double>& x, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) sum += x[i];
    return to > from ? sum / double(to - from) : 0.0;
}

double rms(const Stereo& s, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) sum += s.l[i] * s.l[i] + s.r[i] * s.r[i];
    return to > from ? std::sqrt(sum / double(2 * (to - from))) : 0.0;
}

size_t firstNonFinite(const Stereo& s, size_t from) {
    for (size_t i = from; i < s.size(); ++i)
        if (!std::isfinite(s.l[i]) || !std::isfinite(s.r[i])) return i;
    return s.size();
}

Stereo slice(const Stereo& s, size_t from, size_t n) {
    Stereo out;
    out.l.assign(s.l.begin() + long(from), s.l.begin() + long(from + n));
    out.r.assign(s.r.begin() + long(from), s.r.begin() + long(from + n));
    return out;
}

}  // namespace product
