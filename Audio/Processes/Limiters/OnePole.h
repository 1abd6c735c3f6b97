#pragma once
// One-pole smoothing coefficients. A one-pole smoother runs y += (x - y) * k;
// the coefficient for an angular frequency w (radians per sample) is
//
//     c = 2 - cos(w),  k = 1 - c + sqrt(c^2 - 1).
//
// With d = c - 1 = 1 - cos(w) = 2 sin^2(w / 2) this is k = sqrt(d (d + 2)) - d,
// which is the same value without the cancellation of 1 - cos(w) at the very
// small w of long time constants at high sample rates.
//
// Cut-off form: w = 2 pi f / SR. Time-constant form: w = 2 pi / (SR t).
// The clamped forms limit w to at most pi before the cosine, so very short
// times or cut-offs above Nyquist give the largest stable coefficient
// (sqrt(8) - 2) instead of folding back.
//
// These run when parameters change, never per sample.

#include <algorithm>
#include <cmath>
#include <numbers>

inline double onePoleCoefW(double w) {
    const double s = std::sin(0.5 * w);
    const double d = 2.0 * s * s;
    return std::sqrt(d * (d + 2.0)) - d;
}

inline double onePoleCoefWClamped(double w) { return onePoleCoefW(std::min(w, std::numbers::pi)); }

// Coefficient for a cut-off frequency f (Hz) at sample rate sr.
inline double onePoleCoefFreq(double f, double sr) { return onePoleCoefW(2.0 * std::numbers::pi * f / sr); }
inline double onePoleCoefFreqClamped(double f, double sr) {
    return onePoleCoefWClamped(2.0 * std::numbers::pi * f / sr);
}

// Coefficient for a time constant t (seconds) at sample rate sr.
inline double onePoleCoefTime(double t, double sr) { return onePoleCoefW(2.0 * std::numbers::pi / (sr * t)); }
inline double onePoleCoefTimeClamped(double t, double sr) {
    return onePoleCoefWClamped(2.0 * std::numbers::pi / (sr * t));
}
