#include "Audio/Filters/FIRDesign.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

// Unrounded half length R^2 l / f / 8 (0 for unusable arguments).
double halfLengthReal(double rate, double length, double freq) {
    if (!(rate > 0.0) || !(freq > 0.0) || !(length > 0.0)) return 0.0;
    const double nr = rate * rate * length / freq * 0.125;
    return std::isfinite(nr) ? nr : 0.0;
}

double shapeExponent(double power) { return power >= 0.0 ? 1.0 + 4.0 * power : 1.0 / (1.0 - 4.0 * power); }

}  // namespace

double firDesignRate(double fixsr, double sampleRate) { return fixsr >= 0.5 ? kFIRFixedDesignRate : sampleRate; }

double firBesselI0(double x) {
    const double ax = std::fabs(x);
    if (ax < 3.75) {
        const double t = (x / 3.75) * (x / 3.75);
        return 1.0 +
               t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813)))));
    }
    const double t = 3.75 / ax;
    return std::exp(ax) / std::sqrt(ax) *
           (0.39894228 +
            t * (0.01328592 +
                 t * (0.00225319 +
                      t * (-0.00157565 +
                           t * (0.00916281 +
                                t * (-0.02057706 + t * (0.02635537 + t * (-0.01647633 + t * 0.00392377))))))));
}

// ---------------------------------------------------------------- low-pass

size_t firLowPassLength(double rate, double length, double freq) {
    if (!(rate > 0.0) || !(freq > 0.0)) return 0;
    return 2 * size_t(std::round(halfLengthReal(rate, length, freq))) + 1;
}

int designFIRLowPass(std::span<double> taps, double rate, double length, double freq, double beta) {
    const size_t count = firLowPassLength(rate, length, freq);
    if (count == 0 || taps.size() < count) return 0;
    const double nr = halfLengthReal(rate, length, freq);
    const size_t half = (count - 1) / 2;
    const double wc = 2.0 * kPi * freq / rate;
    beta = std::clamp(beta, 1.0, 350.0);
    const double i0Beta = firBesselI0(beta);

    taps[half] = wc / kPi;
    // sin(n wc) by the recurrence s(n) = 2 cos(wc) s(n-1) - s(n-2).
    const double twoCos = 2.0 * std::cos(wc);
    double sPrev = 0.0, s = std::sin(wc);
    for (size_t n = 1; n <= half; ++n) {
        const double r = double(n) / nr;
        const double window = r * r <= 1.0 ? firBesselI0(beta * std::sqrt(1.0 - r * r)) / i0Beta : 0.0;
        const double h = s / (double(n) * kPi) * window;
        taps[half + n] = h;
        taps[half - n] = h;
        const double sNext = twoCos * s - sPrev;
        sPrev = s;
        s = sNext;
    }
    return int(half);
}

CFIRKernel designFIRLowPass(double rate, double length, double freq, double beta) {
    CFIRKernel k;
    k.taps.resize(firLowPassLength(rate, length, freq));
    k.latency = designFIRLowPass(k.taps, rate, length, freq, beta);
    return k;
}

// ---------------------------------------------------------------- transient

bool firTransientTypeValid(int type) { return type >= kFIRTransientClassic && type <= kFIRTransientAsymm; }

size_t firTransientLength(double rate, double length) {
    const double l = std::round(rate * length);
    return l >= 1.0 && std::isfinite(l) ? size_t(l) : 0;
}

int designFIRTransient(std::span<double> taps, double rate, double length, double power, int type) {
    const size_t count = firTransientLength(rate, length);
    if (count == 0 || taps.size() < count || !firTransientTypeValid(type)) return 0;
    const double p = shapeExponent(power);
    const double l1 = double(count + 1);
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double k = double(i + 1);
        double base;
        switch (type) {
            case kFIRTransientClassic: base = std::sin(k * kPi / l1); break;
            case kFIRTransientSharp: base = 1.0 - std::sin(k * kPi / (2.0 * l1)); break;
            default: base = 0.5 * std::sin(2.0 * kPi * k / l1 - kPi / 2.0) + 0.5; break;
        }
        taps[i] = std::pow(base, p);
        sum += taps[i];
    }
    const double scale = 1.0 / std::fabs(sum);
    for (size_t i = 0; i < count; ++i) taps[i] *= scale;
    return int(count - 1);
}

CFIRKernel designFIRTransient(double rate, double length, double power, int type) {
    CFIRKernel k;
    if (!firTransientTypeValid(type)) return k;
    k.taps.resize(firTransientLength(rate, length));
    k.latency = designFIRTransient(k.taps, rate, length, power, type);
    return k;
}
